// ZRM_Utility's one window: the input group boxes down the left side, the
// two BPC tables and "Misc Data" drawn on the retained surface, the table
// selection by mouse and the copy to the system clipboard.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

#include "config/config_file.h"
#include "fuelcalc/bpc.h"
#include "fuelcalc/utility_config.h"
#include "platform/services.h"

class QAbstractButton;
class QAction;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zrm {

class RetainedSurface;
class SurfaceWidget;
class QtServices;

struct UtilityStartOptions {
  // Configuration file; empty: beside the program, else the user's folder.
  std::string configPath;
};

enum class NumberField { Displacement, Pressure, Flow };

class UtilityWindow : public QMainWindow {
 public:
  // Reads the configuration, creates the controls from the inputs and
  // computes the tables. Message boxes of `services` are owned by this window.
  UtilityWindow(const UtilityStartOptions& options, QtServices& services);
  ~UtilityWindow() override;

  // Recomputes every result from the inputs and redraws the result area.
  void ComputeBpc();
  // Puts the selected table on the clipboard as text (an empty text when
  // none is selected).
  void CopyBpcTable();

  const UtilitySettings& Settings() const { return settings_; }
  const BpcResults& Results() const { return results_; }
  BpcTable Selected() const { return selected_; }
  const ConfigFile& Config() const { return config_; }
  RetainedSurface& Surface() { return *surface_; }
  QWidget* SurfaceView() const;
  QLineEdit* Field(NumberField field) const;
  QAction* CopyAction() const { return copyAction_; }
  // A control by its caption's group and text, e.g. ("Injection Type", "MPFI").
  QAbstractButton* Button(const char* group, const char* text) const;
  QCheckBox* VacRef() const { return vacRef_; }
  // The window position is stored only when the window is not minimised.
  void StorePosition();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void CreateControls();
  // Every radio button and the check box into the inputs, then ComputeBpc.
  void ReadButtons();
  void OnInjectionType(bool mpfi);
  void SetInjectorGroupEnabled(bool enabled);
  void OnFieldEdited(NumberField field);
  void OnFieldLeft(NumberField field);
  void Select(BpcTable table);
  bool HandleKey(QKeyEvent* key);
  void ShowHelp();
  void ShowAbout();

  PlatformServices* services_;
  UtilitySettings settings_;
  ConfigFile config_;
  BpcResults results_;
  BpcTable selected_ = BpcTable::None;
  BpcTable pressedColumn_ = BpcTable::None;
  std::unique_ptr<RetainedSurface> surface_;
  SurfaceWidget* view_ = nullptr;
  QAction* copyAction_ = nullptr;
  QButtonGroup* injection_ = nullptr;
  QButtonGroup* cylinders_ = nullptr;
  QButtonGroup* injectors_ = nullptr;
  QWidget* injectorBox_ = nullptr;
  QButtonGroup* mapBar_ = nullptr;
  QButtonGroup* editor_ = nullptr;
  QCheckBox* vacRef_ = nullptr;
  QPushButton* calculate_ = nullptr;
  QLineEdit* fields_[3] = {};
  std::map<std::string, QAbstractButton*> buttons_;  // by "group/text"
  bool closing_ = false;
  bool shown_ = false;
};

}  // namespace zrm
