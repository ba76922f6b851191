// The "1/4 Mile Graph" window's drawing: the results, the legend and the four
// axis scales, the grid, the RPM, speed, O2 and TPS traces from the launch
// row with marker and time-stamp ticks, the cursor line and its readout.
// Everything is read from the view records; the window adds the scroll bar.
//
//   x = 111 + frames x (3 pixels, or 2 when the 1/4 mile took over 13.3 s)
//   y = 504 - whole part of (h + 0.5), h by trace (RPM / 20.83, mph x 3, ...)
#pragma once

#include <string>

#include "analysis/quarter_mile.h"
#include "platform/canvas.h"

namespace zrm {

constexpr int GRAPH_WIDTH = 800;
constexpr int GRAPH_HEIGHT = 600;
constexpr int PLOT_LEFT = 110;
constexpr int PLOT_TOP = 120;
constexpr int PLOT_RIGHT = 794;
constexpr int PLOT_BOTTOM = 506;
constexpr int PLOT_X0 = 111;        // x of the launch row
constexpr int PLOT_BASELINE = 504;  // y of a value of 0
constexpr int CURSOR_START_X = 122;
constexpr int CURSOR_MIN_X = 112;
constexpr int CURSOR_MAX_X = 792;
constexpr int CURSOR_GRAB = 5;  // the resize cursor shows this close to the line
constexpr int GRAPH_SCROLL_X = 110;
constexpr int GRAPH_SCROLL_Y = 507;
constexpr int GRAPH_SCROLL_WIDTH = 684;
constexpr int GRAPH_SCROLL_HEIGHT = 18;

constexpr Colour TRACE_RPM = 0xF00A0A;
constexpr Colour TRACE_SPEED = 0x0A700A;
constexpr Colour TRACE_O2 = 0x0A0AF0;
constexpr Colour TRACE_TPS = 0xF00AF0;
constexpr Colour GRID_COLOUR = RgbColour(190, 190, 190);

// 3 pixels a frame, or 2 when the 1/4 mile took longer than 13.3 s.
int PixelsPerFrame(double quarterMileTime);

// Heights in pixels above the baseline, before rounding.
double RpmHeight(int rpm);
double SpeedHeight(int speed, int speedInKph);
double WidebandHeight(double afr);
double NarrowBandHeight(int millivolts);
double TpsHeight(int tps);
// The y of a height: 504 - whole part of (h + 0.5).
int PlotY(double height);

struct QuarterGraphState {
  std::string fileName;
  QuarterMileResults results;
  long topRow = 0;
  int cursorX = CURSOR_START_X;
  bool wideband = false;  // a preferred wideband channel exists
  int speedInKph = 0;
};

// The row under the cursor line.
long CursorRow(const QuarterGraphState& state);

// The whole window but its scroll bar, the cursor inverted last.
void PaintQuarterGraph(Canvas& canvas, ViewFile& view, const QuarterGraphState& state);
// The cursor line, drawn by inverting (drawing it twice removes it).
void InvertCursorLine(Canvas& canvas, int cursorX);
// The readout's values for `row`: nothing when the row is past the end.
void ShowCursorReadout(Canvas& canvas, ViewFile& view, long row, bool wideband);

}  // namespace zrm
