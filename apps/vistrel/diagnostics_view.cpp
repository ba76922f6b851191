#include "apps/vistrel/diagnostics_view.h"

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/vistrel_app.h"
#include "gui/retained_surface.h"
#include "shell/status_panel.h"

namespace zrm {

DiagnosticsView::DiagnosticsView(MainWindow& main, VistrelApp& app, const PreferredChannels* preferred)
    : main_(main), app_(app), display_(app.processor.record, main.Surface(), preferred) {
  display_.paintStatusValues = [this](Canvas& canvas) { PaintStatusValues(canvas, main_.CollectStatus()); };
  main_.modeViews[MODE_DIAGNOSTICS].paint = [this](Canvas& canvas) {
    display_.PaintDiagnostics(canvas);
    display_.PaintDiagnosticsValues(canvas);
  };
  app_.processor.SetDisplayUpdate(DISPLAY_DIAGNOSTICS, [this](const std::uint8_t* frame, int active) {
    display_.DiagnosticsFrame(frame, active);
  });
}

DiagnosticsView::~DiagnosticsView() {
  app_.processor.SetDisplayUpdate(DISPLAY_DIAGNOSTICS, nullptr);
  main_.modeViews[MODE_DIAGNOSTICS].paint = nullptr;
}

}  // namespace zrm
