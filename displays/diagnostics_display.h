// The sensor diagnostics display (display mode 7): raw analog counts of the
// main sensors beside their converted values, and a chart of the narrow-band
// O2 voltage and the wideband air/fuel ratio that scrolls 4 pixels a frame,
// so that 68 pixels are one second of the ECM's 17 frames.
//
// The model takes every frame (DiagnosticsFrame, DisplayThread) and, while
// the display is shown, draws the status panel's values, the values whose
// text changed since they were last drawn, and the chart's newest segment.
// The window paint draws the static layout (PaintDiagnostics) and then every
// value (PaintDiagnosticsValues); the static paint forgets what was drawn so
// the values are all drawn again.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "displays/preferred_channels.h"
#include "link/runtime_record.h"
#include "platform/canvas.h"

namespace zrm {

// What the display shows of one frame.
struct DiagnosticsValues {
  int rpm = 0;
  int speed = 0;  // in the speed unit
  int mapCounts = 0;
  double mapKpa = 0.0;
  double mapVolts = 0.0;
  int tpsCounts = 0;
  double tpsVolts = 0.0;
  int ctsCounts = 0;
  double ctsCelsius = 0.0, ctsFahrenheit = 0.0;
  int iatCounts = 0;
  double iatCelsius = 0.0, iatFahrenheit = 0.0;
  int o2Counts = 0;
  int o2Millivolts = 0;  // truncated
};

// The values of a frame; `rpm` is the RuntimeRecord's.
DiagnosticsValues ReadDiagnostics(const std::uint8_t* frame, int rpm);

// Volts of an analog count on the ECM's 5 V converter.
double CountsToVolts(int counts);

// The value fields, in drawing order: format, right edge, top.
enum DiagnosticsField {
  DIAG_RPM,
  DIAG_SPEED,
  DIAG_MAP_COUNTS,
  DIAG_MAP_KPA,
  DIAG_MAP_VOLTS,
  DIAG_TPS_COUNTS,
  DIAG_TPS_VOLTS,
  DIAG_CTS_COUNTS,
  DIAG_CTS_CELSIUS,
  DIAG_CTS_FAHRENHEIT,
  DIAG_IAT_COUNTS,
  DIAG_IAT_CELSIUS,
  DIAG_IAT_FAHRENHEIT,
  DIAG_O2_COUNTS,
  DIAG_O2_MILLIVOLTS,
  DIAG_FIELD_COUNT
};

struct DiagnosticsFieldPlace {
  int right;
  int y;
};
const DiagnosticsFieldPlace& DiagnosticsFieldAt(DiagnosticsField field);

// The field's text as the display draws it.
std::string DiagnosticsText(const DiagnosticsValues& values, DiagnosticsField field);

// The chart.
constexpr int CHART_LEFT = 88;
constexpr int CHART_TOP = 329;
constexpr int CHART_RIGHT = 772;   // the frame's right column
constexpr int CHART_BOTTOM = 523;  // the frame's bottom row
constexpr int CHART_ZERO_Y = 521;
constexpr int CHART_STEP = 4;
constexpr int CHART_SEGMENT_X = 763;  // the newest segment runs from here ...
constexpr int CHART_SEGMENT_END = 767;  // ... to here
constexpr Colour CHART_O2_COLOUR = 0x0A0AF0;
constexpr Colour CHART_AFR_COLOUR = 0xF00AF0;
constexpr Colour CHART_GRID_COLOUR = 0xA0A0A0;

// The trace rows: millivolts held to 0..1000, AFR to 10..20.
int O2ChartY(double millivolts);
int AfrChartY(double afr);

class DiagnosticsDisplay {
 public:
  // preferred names the wideband device (none: no AFR trace or scale).
  DiagnosticsDisplay(const RuntimeRecord& record, SurfaceAccess& surface,
                     const PreferredChannels* preferred = nullptr);

  // The status panel's values, drawn before the diagnostics values on every
  // draw. Set before the DisplayThread starts.
  std::function<void(Canvas&)> paintStatusValues;

  // DisplayThread, every frame; active is 1 while the display is shown.
  // Returns 0.
  int DiagnosticsFrame(const std::uint8_t* frame, int active);

  // Window paint, in this order.
  void PaintDiagnostics(Canvas& canvas);
  void PaintDiagnosticsValues(Canvas& canvas);

  DiagnosticsValues Values() const;
  double WidebandAfr() const;

 private:
  void PaintChartSegment(Canvas& canvas);

  const RuntimeRecord& record_;
  SurfaceAccess& surface_;
  const PreferredChannels& preferred_;

  mutable std::mutex mutex_;
  bool showWideband_ = false;
  DiagnosticsValues values_{};
  double afr_ = 0.0;
  std::array<std::string, DIAG_FIELD_COUNT> drawn_{};  // empty: not drawn since the static paint
  int o2LastY_ = CHART_ZERO_Y;
  int afrLastY_ = CHART_ZERO_Y;
};

}  // namespace zrm
