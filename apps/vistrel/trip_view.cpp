#include "apps/vistrel/trip_view.h"

#include "apps/vistrel/main_window.h"
#include "gui/retained_surface.h"
#include "platform/clock.h"
#include "shell/status_panel.h"

namespace zrm {

TripView::TripView(MainWindow& window, VistrelApp& app, const PreferredChannels* preferred)
    : window_(window), app_(app) {
  model_ = std::make_unique<TripComputer>(app_.settings, app_.processor.record, window_.Surface(), preferred);
  model_->paintStatusValues = [this](Canvas& canvas) { PaintStatusValues(canvas, window_.CollectStatus()); };

  ModeView& view = window_.modeViews[MODE_TRIP];
  view.paint = [this](Canvas& canvas) { model_->PaintTrip(canvas); };
  view.createControls = [this] { CreateControls(); };
  view.removeControls = [this] { RemoveControls(); };

  app_.processor.SetDisplayUpdate(DISPLAY_TRIP,
                                  [this](const std::uint8_t* frame, int active) { model_->TripFrame(frame, active); });
  app_.processor.hooks.tripEngineStopped = [this] { model_->TripEngineStopped(); };
  // Playback starting or stopping is an engine stop for the trip computer.
  app_.playback.tripRefreshReset = [this] { model_->TripEngineStopped(); };
  // The totals live with the DisplayThread; every configuration write takes them.
  app_.config.beforeWriting = [this] { model_->StoreTotals(app_.settings); };
  window_.onLayOutDisplays.push_back([this] { model_->ReloadSettings(); });
}

TripView::~TripView() {
  app_.config.beforeWriting = nullptr;
  app_.playback.tripRefreshReset = nullptr;
  app_.processor.hooks.tripEngineStopped = nullptr;
  app_.processor.SetDisplayUpdate(DISPLAY_TRIP, nullptr);
  window_.modeViews[MODE_TRIP] = {};
  delete clear_;
}

void TripView::CreateControls() {
  if (clear_) return;
  clear_ = new QPushButton("Clear Data", window_.SurfaceView());
  clear_->setGeometry(705, 74, 80, 30);
  clear_->setFocusPolicy(Qt::StrongFocus);
  QObject::connect(clear_, &QPushButton::clicked, clear_, [this] { ClearData(); });
  window_.InstallKeyForwarding(clear_);
  clear_->show();
}

void TripView::RemoveControls() { delete clear_; }

void TripView::ClearData() {
  model_->ResetTrip();
  SleepMs(1);
  window_.RepaintAll();
  window_.SurfaceView()->setFocus();
}

}  // namespace zrm
