// The User Device dialog (template 138): the sixteen user devices,
// edited one entry at a time. The rules (what an entry loads, how it is
// stored, the filters of the number fields) are devices/user_device_editor's;
// this dialog places the controls, reacts to keys and clicks, and on closing
// rebuilds the device list and channel states and saves the configuration.
#pragma once

#include <QDialog>
#include <vector>

#include "devices/user_device_editor.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zrm {

class VistrelApp;

// Control identifiers of template 138.
constexpr int UD_LIST = 1009;
constexpr int UD_NAME = 1018;
constexpr int UD_UNIT = 1019;
constexpr int UD_VOLT_J = 1020;
constexpr int UD_LABEL_J = 1049;
constexpr int UD_UNIT_J = 1013;
constexpr int UD_VOLT_K = 1014;
constexpr int UD_LABEL_K = 1050;
constexpr int UD_UNIT_K = 1021;
constexpr int UD_PRECISION = 1023;
constexpr int UD_APPLY = 1040;
constexpr int UD_DELETE = 1041;
constexpr int UD_CLOSE = 2;

class UserDeviceDialog : public QDialog {
  Q_OBJECT

 public:
  // `lastEntry` is the entry last edited in this run; the dialog opens on it
  // and updates it.
  UserDeviceDialog(VistrelApp& app, int& lastEntry, QWidget* parent);

  // After the dialog has closed: an entry was applied or deleted.
  bool DevicesChanged() const { return devicesChanged_; }

  // The controls, by their identifiers (tests).
  QWidget* Control(int id) const;
  int CurrentEntry() const { return entry_; }
  bool Modified() const { return modified_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;  // Close, Esc and the window's close box

 private:
  QLineEdit* AddEdit(int id, int x, int y, int width, int maxLength);
  void FillList();
  void LoadEntry(int entry);
  UserDeviceFields ReadFields() const;
  void ShowFields(const UserDeviceFields& fields);
  void StoreEntry();
  void SetListText(int entry, const std::string& text);
  void OnListActivated(int position);
  void OnApply();
  void OnDelete();
  void OnEdited();
  void OnUnitEdited();
  void AskToSave();
  void ValidateOnLeaving(QLineEdit* edit);

  VistrelApp& app_;
  int& lastEntry_;
  std::vector<int> listEntries_;  // list position -> entry number
  int entry_ = -1;
  bool modified_ = false;
  bool devicesChanged_ = false;
  bool closing_ = false;

  QComboBox* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QLineEdit* voltJ_ = nullptr;
  QLineEdit* unitJ_ = nullptr;
  QLineEdit* voltK_ = nullptr;
  QLineEdit* unitK_ = nullptr;
  QLineEdit* precision_ = nullptr;
  QLabel* labelJ_ = nullptr;
  QLabel* labelK_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace zrm
