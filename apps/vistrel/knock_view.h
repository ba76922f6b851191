// The spark-knock map in the main window: display mode 4's body, its "Display"
// group of four view radio buttons, "Clear Data", and the "Standard" and
// "Boost" tabs, with the knock map's tie to the frame processing.
#pragma once

#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <memory>

#include "displays/knock_map.h"

namespace zrm {

class MainWindow;
class VistrelApp;

class KnockView {
 public:
  KnockView(MainWindow& window, VistrelApp& app);
  ~KnockView();
  KnockView(const KnockView&) = delete;
  KnockView& operator=(const KnockView&) = delete;

  KnockMap& Model() { return *model_; }
  QRadioButton* ViewButton(int view) const { return views_[static_cast<std::size_t>(view)]; }
  QPushButton* ClearButton() const { return clear_; }
  QPushButton* StandardTab() const { return standardTab_; }
  QPushButton* BoostTab() const { return boostTab_; }

 private:
  void CreateControls();
  void RemoveControls();
  void ChooseView(int view);
  void ChooseGrid(int grid);
  void ClearData();

  MainWindow& window_;
  VistrelApp& app_;
  std::unique_ptr<KnockMap> model_;
  QPointer<QGroupBox> group_;
  std::array<QPointer<QRadioButton>, 4> views_;
  QPointer<QPushButton> clear_;
  QPointer<QPushButton> standardTab_;
  QPointer<QPushButton> boostTab_;
};

}  // namespace zrm
