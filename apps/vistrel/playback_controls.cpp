#include "apps/vistrel/playback_controls.h"

#include <QMouseEvent>

#include "apps/vistrel/main_window.h"
#include "link/frame_processor.h"
#include "logs/playback.h"

namespace zrm {

void DoubleClickButton::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit doubleClicked();
}

PlaybackControls::PlaybackControls(MainWindow& window, QWidget* parent, Playback& playback)
    : window_(window), parent_(parent), playback_(playback) {}

void PlaybackControls::Create(int mode) {
  if (!pause_) {
    pause_ = new QPushButton("Pause", parent_);
    pause_->setCheckable(true);
    pause_->setGeometry(710, 43, 70, 20);
    pause_->setFocusPolicy(Qt::ClickFocus);
    QObject::connect(pause_, &QPushButton::clicked, pause_, [this] {
      playback_.TogglePause();
      ShowPaused();
    });
    window_.InstallKeyForwarding(pause_);
    pause_->show();
  }
  ShowPaused();
  if (mode == MODE_GAUGE) {
    if (!backUp_) {
      backUp_ = new DoubleClickButton("<-BackUp", parent_);
      backUp_->setGeometry(710, 71, 70, 20);
      backUp_->setFocusPolicy(Qt::ClickFocus);
      QObject::connect(backUp_, &QPushButton::clicked, backUp_, [this] { playback_.BackUpClick(); });
      QObject::connect(backUp_, &DoubleClickButton::doubleClicked, backUp_, [this] { playback_.BackUpDoubleClick(); });
      window_.InstallKeyForwarding(backUp_);
      backUp_->show();
    }
    if (!rate_) {
      rate_ = new QSlider(Qt::Horizontal, parent_);
      rate_->setGeometry(635, 99, 150, 22);
      rate_->setRange(0, 100);
      rate_->setTickInterval(10);
      rate_->setTickPosition(QSlider::TicksBelow);
      rate_->setFocusPolicy(Qt::ClickFocus);
      rate_->setValue(playback_.RateTrackbarPosition());
      QObject::connect(rate_, &QSlider::valueChanged, rate_, [this](int position) {
        playback_.SetRateFromTrackbar(position);
      });
      window_.InstallKeyForwarding(rate_);
      rate_->show();
    }
  } else {
    delete backUp_;
    delete rate_;
  }
}

void PlaybackControls::Remove(bool keepForGauge) {
  if (keepForGauge) return;
  delete pause_;
  delete backUp_;
  delete rate_;
}

void PlaybackControls::CreateProgressBar() {
  if (!progress_) {
    progress_ = new QProgressBar(parent_);
    progress_->setGeometry(612, 17, 173, 9);
    progress_->setTextVisible(false);
    progress_->show();
  }
  ShowProgress();
}

void PlaybackControls::RemoveProgressBar() { delete progress_; }

void PlaybackControls::ShowProgress() {
  if (!progress_) return;
  progress_->setRange(0, playback_.ProgressRange());
  progress_->setValue(playback_.ProgressPosition());
}

void PlaybackControls::ShowPaused() {
  if (pause_) pause_->setChecked(playback_.PlaybackPaused());
}

}  // namespace zrm
