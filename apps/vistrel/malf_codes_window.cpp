#include "apps/vistrel/malf_codes_window.h"

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/vistrel_app.h"

namespace zrm {

MalfCodesWindow::MalfCodesWindow(MainWindow& main, VistrelApp& app)
    : main_(main), app_(app), surface_(MALF_WINDOW_WIDTH, MALF_WINDOW_HEIGHT) {
  // Only called while the window is open; the surface outlives every window.
  app_.processor.hooks.malfCodesFrame = [this](const std::uint8_t* frame) { model_.MalfCodesFrame(frame, &surface_); };
  main_.hooks.malfCodesOpen = [this] { return IsOpen(); };
  main_.hooks.openMalfCodes = [this] { Open(); };
  main_.hooks.closeMalfCodes = [this] { Close(); };
}

MalfCodesWindow::~MalfCodesWindow() {
  Destroy();
  app_.processor.hooks.malfCodesFrame = nullptr;
  main_.hooks.malfCodesOpen = nullptr;
  main_.hooks.openMalfCodes = nullptr;
  main_.hooks.closeMalfCodes = nullptr;
}

void MalfCodesWindow::Open() {
  if (window_) {
    window_->Flash();
    return;
  }
  VistrelSettings& s = app_.settings;
  window_ = new ToolWindow(main_, surface_, "Malfunction Codes", {&s.malfunctionX, &s.malfunctionY, &s.malfunctionOpen});
  window_->View()->SetStaticPainter([this](Canvas& canvas) { model_.PaintMalfCodes(canvas); });
  window_->onUserClose = [this] { Destroy(); };
  window_->show();
  app_.processor.malfCodesOpen.store(true, std::memory_order_release);
}

void MalfCodesWindow::Close() { Destroy(); }

void MalfCodesWindow::Destroy() {
  app_.processor.malfCodesOpen.store(false, std::memory_order_release);
  if (!window_) return;
  window_->StorePosition();
  delete window_.data();
}

}  // namespace zrm
