// The sensor diagnostics display (mode 7) in the main window: its painter in
// the static layer, its frame update, and the status panel's values drawn
// with its values. It has no controls.
#pragma once

#include "displays/diagnostics_display.h"

namespace zrm {

class MainWindow;
class VistrelApp;

class DiagnosticsView {
 public:
  // preferred: the wideband reading (none: no AFR trace). Made before the
  // DisplayThread starts.
  DiagnosticsView(MainWindow& main, VistrelApp& app, const PreferredChannels* preferred);
  ~DiagnosticsView();

  DiagnosticsDisplay& Display() { return display_; }

 private:
  MainWindow& main_;
  VistrelApp& app_;
  DiagnosticsDisplay display_;
};

}  // namespace zrm
