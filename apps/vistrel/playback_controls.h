// The playback controls on the main window: "Pause" in every display while
// playback runs, "<-BackUp" and the rate trackbar in the gauge display only,
// and the progress bar for as long as playback runs.
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

namespace zrm {

class MainWindow;
class Playback;

// A push button that reports the second click of a double click on its own,
// as the Windows button does (a click, then a double-click notification).
class DoubleClickButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 signals:
  void doubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class PlaybackControls {
 public:
  PlaybackControls(MainWindow& window, QWidget* parent, Playback& playback);

  // The controls a display mode has while playback runs.
  void Create(int mode);
  // All of them, unless the target display is the gauge display.
  void Remove(bool keepForGauge);
  void CreateProgressBar();
  void RemoveProgressBar();
  void ShowProgress();
  void ShowPaused();

  QPushButton* PauseButton() const { return pause_; }
  QPushButton* BackUpButton() const { return backUp_; }
  QSlider* RateTrackbar() const { return rate_; }
  QProgressBar* ProgressBar() const { return progress_; }

 private:
  MainWindow& window_;
  QWidget* parent_;
  Playback& playback_;
  QPointer<QPushButton> pause_;
  QPointer<DoubleClickButton> backUp_;
  QPointer<QSlider> rate_;
  QPointer<QProgressBar> progress_;
};

}  // namespace zrm
