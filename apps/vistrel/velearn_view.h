// The VE learn display (mode 3) in the main window and VE learn's File menu
// commands: the model, its painter in the static layer and from the frame
// update, the view buttons and "Clear Data", the "&Learn VE..." and stop
// items, the status panel's LearnVE line and the write at exit.
#pragma once

#include <QGroupBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include "velearn/ve_learn.h"

namespace zrm {

class Canvas;
class MainWindow;
class VistrelApp;

class VeLearnView : public QObject {
  Q_OBJECT

 public:
  // Made before the DisplayThread starts.
  VeLearnView(MainWindow& main, VistrelApp& app);
  ~VeLearnView() override;

  VeLearn& Model() { return veLearn_; }
  QRadioButton* ViewButton(int view) const { return views_[view]; }
  QPushButton* ClearButton() const { return clear_; }
  QGroupBox* GroupBox() const { return group_; }

 private:
  void CreateControls();
  void RemoveControls();
  void ChooseView(int view);
  void ShowMenu(bool learning);
  void Paint(Canvas& canvas, bool computeFirst);

  MainWindow& main_;
  VistrelApp& app_;
  VeLearn veLearn_;
  QPointer<QGroupBox> group_;
  QPointer<QRadioButton> views_[3];
  QPointer<QPushButton> clear_;
};

}  // namespace zrm
