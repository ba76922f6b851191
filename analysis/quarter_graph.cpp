#include "analysis/quarter_graph.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zrm {

namespace {

constexpr double SLOW_RUN_SECONDS = 13.3;
constexpr double RPM_PER_PIXEL = 20.8333333;
constexpr int READOUT_LEFT = 660, READOUT_TOP = 5, READOUT_RIGHT = 760, READOUT_BOTTOM = 109;
constexpr int READOUT_VALUE_X = 705;
constexpr int READOUT_TIME_X = 734;
constexpr int TICK_TOP = 485;
constexpr int TICK_BOTTOM = 503;
constexpr int TRACE_STOP_X = 790;
constexpr double FIFTH_GRID = 38.2;
constexpr Colour TICK_MARKER = 0x71F7F5;
constexpr Colour TICK_STAMP = 0x67F567;
constexpr int LABEL_HALF_HEIGHT = 7;  // axis labels are centred on their value's y

void Label(Canvas& canvas, int x, int y, const char* text, TextAlign align = TextAlign::Left) {
  canvas.Text(x, y, text, align);
}

std::string Field(const char* record, int column, int width) { return std::string(record + column, width); }

}  // namespace

int PixelsPerFrame(double quarterMileTime) { return quarterMileTime > SLOW_RUN_SECONDS ? 2 : 3; }

double RpmHeight(int rpm) { return rpm / RPM_PER_PIXEL; }

double SpeedHeight(int speed, int speedInKph) {
  if (speedInKph == 1) return std::min(speed, 204) * 1.86;
  return std::min(speed, 127) * 3.0;
}

double WidebandHeight(double afr) { return (std::clamp(afr, 10.0, 20.0) - 10.0) * FIFTH_GRID; }
double NarrowBandHeight(int millivolts) { return std::min(millivolts, 1000) / 10.0 * 3.82; }
double TpsHeight(int tps) { return tps * 3.82; }
int PlotY(double height) { return PLOT_BASELINE - static_cast<int>(height + 0.5); }

long CursorRow(const QuarterGraphState& state) {
  return state.topRow + (state.cursorX - PLOT_X0) / PixelsPerFrame(state.results.quarterMileTime);
}

void InvertCursorLine(Canvas& canvas, int cursorX) {
  canvas.InvertRect(cursorX, PLOT_TOP + 1, cursorX + 1, PLOT_BASELINE + 1);
}

void ShowCursorReadout(Canvas& canvas, ViewFile& view, long row, bool wideband) {
  char record[VIEW_RECORD_SIZE];
  if (view.Read(row, record) != 0) return;
  canvas.SetFont(FontId::List);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  auto value = [&canvas](int y, int x, const std::string& text) {
    canvas.Text(x, y, std::string(text.size(), ' '), TextAlign::Right);
    canvas.Text(x, y, text, TextAlign::Right);
  };
  value(10, READOUT_VALUE_X, Field(record, VIEW_COL_RPM, 4));
  value(30, READOUT_VALUE_X, Field(record, VIEW_COL_SPEED, 3));
  value(50, READOUT_VALUE_X, wideband ? Field(record, VIEW_COL_AFR, 4) : Field(record, VIEW_COL_O2, 4));
  value(70, READOUT_VALUE_X, Field(record, VIEW_COL_TPS, 3));
  value(90, READOUT_TIME_X, Field(record, VIEW_COL_RUNTIME, 7));
}

void PaintQuarterGraph(Canvas& canvas, ViewFile& view, const QuarterGraphState& state) {
  const QuarterMileResults& r = state.results;
  const int ppf = PixelsPerFrame(r.quarterMileTime);
  char text[64];
  canvas.FillRect(0, 0, GRAPH_WIDTH, GRAPH_HEIGHT, COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);

  canvas.SetFont(FontId::Title);
  Label(canvas, 331, 6, "Performance");
  canvas.SetFont(FontId::List);
  canvas.Text(20, 8, std::string(30, ' '));
  canvas.Text(20, 8, state.fileName.substr(0, 30));

  // Results, in the proportional font so labels and values keep apart.
  canvas.SetFont(FontId::Normal);
  Label(canvas, 171, 40, "0-60 mph:");
  Label(canvas, 171, 60, "60 foot:");
  Label(canvas, 171, 80, "330 foot:");
  Label(canvas, 321, 40, "1/8 Mile:");
  Label(canvas, 471, 40, "1/4 Mile:");
  auto seconds = [&](int x, int y, double v) {
    std::snprintf(text, sizeof text, "%4.1f sec.", v);
    Label(canvas, x, y, text, TextAlign::Right);
  };
  auto mph = [&](int x, int y, double v) {
    std::snprintf(text, sizeof text, "%3.0f mph", v);
    Label(canvas, x, y, text, TextAlign::Right);
  };
  seconds(299, 40, r.zeroToSixtyTime);
  seconds(299, 60, r.sixtyFootTime);
  seconds(299, 80, r.threeThirtyFootTime);
  seconds(441, 40, r.eighthMileTime);
  mph(441, 60, r.eighthMileSpeed);
  seconds(591, 40, r.quarterMileTime);
  mph(591, 60, r.quarterMileSpeed);

  canvas.SetFont(FontId::Small);
  Label(canvas, 424, 552, "Seconds");
  Label(canvas, 16, 552, "RunTime:");
  Label(canvas, 82, 552, r.startTime.c_str());

  // Legend and scales in the trace colours.
  canvas.SetFont(FontId::Small);
  canvas.SetTextColour(TRACE_TPS);
  Label(canvas, 20, 30, "TPS%");
  for (int i = 0; i <= 10; ++i) {
    std::snprintf(text, sizeof text, "%3d", i * 10);
    Label(canvas, 21, PlotY(i * FIFTH_GRID) - LABEL_HALF_HEIGHT, text, TextAlign::Right);
  }
  canvas.SetTextColour(TRACE_O2);
  Label(canvas, 20, 50, state.wideband ? "O2 WB AFR" : "O2 NB V");
  for (int i = 0; i <= 10; ++i) {
    if (state.wideband) {
      std::snprintf(text, sizeof text, "%d", 10 + i);
    } else if (i < 10) {
      std::snprintf(text, sizeof text, ".%d", i);
    } else {
      std::snprintf(text, sizeof text, "%d", 1);
    }
    Label(canvas, 46, PlotY(i * FIFTH_GRID) - LABEL_HALF_HEIGHT, text, TextAlign::Right);
  }
  canvas.SetTextColour(TRACE_SPEED);
  Label(canvas, 20, 70, state.speedInKph == 1 ? "KPH" : "MPH");
  const int speedLabels = state.speedInKph == 1 ? 10 : 6;
  const int speedStep = state.speedInKph == 1 ? 37 : 60;
  for (int i = 0; i <= speedLabels; ++i) {
    std::snprintf(text, sizeof text, "%3d", i * 20);
    Label(canvas, 77, PLOT_BASELINE - i * speedStep - LABEL_HALF_HEIGHT, text, TextAlign::Right);
  }
  canvas.SetTextColour(TRACE_RPM);
  Label(canvas, 20, 90, "RPM x1000");
  for (int i = 0; i <= 16; ++i) {
    std::snprintf(text, sizeof text, "%d.%d", i / 2, i % 2 * 5);
    Label(canvas, 105, PLOT_BASELINE - i * 24 - LABEL_HALF_HEIGHT, text, TextAlign::Right);
  }
  canvas.SetTextColour(COLOUR_TEXT);

  // Frame, grid and time scale.
  canvas.SetNullBrush();
  canvas.SetPen(COLOUR_TEXT, 2);
  canvas.Rectangle(PLOT_LEFT, PLOT_TOP, PLOT_RIGHT, PLOT_BOTTOM);
  canvas.SetPen(GRID_COLOUR, 1);
  for (int i = 0; i <= 10; ++i) {
    const int y = 503 - static_cast<int>(i * FIFTH_GRID);
    canvas.Line(PLOT_X0, y, PLOT_RIGHT - 1, y);
  }
  const int lastSecond = ppf == 3 ? 13 : 20;
  for (int s = 0; s <= lastSecond; ++s) {
    const int x = PLOT_X0 + s * 17 * ppf;
    canvas.SetPen(GRID_COLOUR, 1);
    canvas.Line(x, PLOT_TOP + 1, x, PLOT_BASELINE + 1);
    canvas.SetPen(COLOUR_TEXT, 1);
    canvas.Line(x, 526, x, 531);
    std::snprintf(text, sizeof text, "%2d", s);
    Label(canvas, x, 530, text, TextAlign::Centre);
  }

  // Traces from the launch row, one step of `ppf` pixels per record, up to
  // the right end of the plot.
  const int rowsShown = (TRACE_STOP_X - PLOT_X0) / ppf + 2;
  std::vector<char> records(static_cast<std::size_t>(rowsShown) * VIEW_RECORD_SIZE);
  const int got = view.ReadRows(state.topRow, rowsShown, records.data());
  const Colour colours[4] = {TRACE_RPM, TRACE_SPEED, TRACE_O2, TRACE_TPS};
  CanvasPoint previous[4] = {};
  int x = PLOT_X0;
  for (int i = 0; i < got; ++i) {
    if (i > 0) {
      if (x >= TRACE_STOP_X - ppf) break;
      x += ppf;
    }
    const ViewRecordValues v = ParseViewRecord(records.data() + static_cast<std::size_t>(i) * VIEW_RECORD_SIZE);
    const CanvasPoint points[4] = {
        {x, PlotY(RpmHeight(v.rpm))},
        {x, PlotY(SpeedHeight(v.speed, state.speedInKph))},
        {x, PlotY(state.wideband ? WidebandHeight(v.afr) : NarrowBandHeight(v.o2))},
        {x, PlotY(TpsHeight(v.tps))},
    };
    if (v.kind == ROW_MARKER || v.kind == ROW_STAMP)
      canvas.FillRect(x - 1, TICK_TOP, x + 2, TICK_BOTTOM + 1, v.kind == ROW_MARKER ? TICK_MARKER : TICK_STAMP);
    if (i > 0) {
      for (int t = 0; t < 4; ++t) {
        canvas.SetPen(colours[t], 1);
        canvas.Line(previous[t].x, previous[t].y, points[t].x, points[t].y);
      }
    }
    std::memcpy(previous, points, sizeof previous);
  }

  // Readout box and cursor.
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  canvas.Rectangle(READOUT_LEFT, READOUT_TOP, READOUT_RIGHT, READOUT_BOTTOM);
  canvas.SetFont(FontId::List);
  Label(canvas, 710, 10, "RPM");
  Label(canvas, 710, 30, state.speedInKph == 1 ? "KPH" : "MPH");
  Label(canvas, 710, 50, state.wideband ? "AFR" : "mV O2");
  Label(canvas, 710, 70, "% TPS");
  ShowCursorReadout(canvas, view, CursorRow(state), state.wideband);
  InvertCursorLine(canvas, state.cursorX);
}

}  // namespace zrm
