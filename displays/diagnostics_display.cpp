#include "displays/diagnostics_display.h"

#include <algorithm>
#include <cstdio>

#include "displays/sensor_table.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"

namespace zrm {

namespace {

const NoPreferredChannels NO_PREFERRED_CHANNELS;

constexpr double VOLTS_PER_COUNT = 0.0196078431372549;  // 5 V over 255 counts
constexpr double O2_PIXELS_PER_10MV = 1.9125;
constexpr double AFR_PIXELS_PER_UNIT = 19.125;

// Inside the chart's frame: what scrolls.
constexpr int PLOT_LEFT = CHART_LEFT + 1;
constexpr int PLOT_TOP = CHART_TOP + 1;
constexpr int PLOT_RIGHT = CHART_RIGHT;    // excluded
constexpr int PLOT_BOTTOM = CHART_BOTTOM;  // excluded

constexpr int MV_SCALE_RIGHT = 84;
constexpr int AFR_SCALE_RIGHT = 44;
constexpr int LEGEND_Y = 305;
constexpr int TIME_AXIS_X = 78;
constexpr int TIME_AXIS_Y = 532;
constexpr int PIXELS_PER_SECOND = 68;

constexpr DiagnosticsFieldPlace kFieldPlaces[DIAG_FIELD_COUNT] = {
    {410, 60},  {670, 60},                           // RPM, speed
    {410, 112}, {410, 142}, {410, 172},              // MAP counts, kPa, volts
    {410, 224}, {410, 254},                          // TPS counts, volts
    {670, 112}, {670, 142}, {670, 172},              // CTS counts, Celsius, Fahrenheit
    {670, 224}, {670, 254}, {670, 284},              // IAT counts, Celsius, Fahrenheit
    {150, 224}, {150, 254},                          // O2 counts, millivolts
};

struct StaticText {
  int x, y;
  const char* text;
};

constexpr StaticText kLabels[] = {
    {280, 60, "RPM:      "},
    {280, 112, "MAP: "},   {420, 112, "Cnt's"}, {420, 142, "KPa  "}, {420, 172, "Volts"},
    {280, 224, "TPS: "},   {420, 224, "Cnt's"}, {420, 254, "Volts"},
    {540, 112, "CTS: "},   {680, 112, "Cnt's"}, {680, 142, "\xB0" "C   "}, {680, 172, "\xB0" "F   "},
    {540, 224, "IAT: "},   {680, 224, "Cnt's"}, {680, 254, "\xB0" "C   "}, {680, 284, "\xB0" "F   "},
    {20, 224, "O2:  "},    {160, 224, "Cnt's"}, {160, 254, "mV   "},
};

// The frames round the value groups: left, top, right, bottom (outline rows and columns).
struct Box {
  int left, top, right, bottom;
};
constexpr Box kBoxes[] = {
    {270, 52, 780, 96},    // RPM and speed
    {270, 104, 526, 204},  // MAP
    {270, 216, 526, 286},  // TPS
    {531, 104, 780, 204},  // CTS
    {531, 216, 780, 316},  // IAT
    {10, 216, 260, 286},   // O2
};

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

void TextIn(Canvas& canvas, FontId font, Colour colour = COLOUR_TEXT) {
  canvas.SetFont(font);
  canvas.SetTextColour(colour);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
}

// Outline with corners (left, top) and (right, bottom).
void Frame(Canvas& canvas, const Box& box) {
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  canvas.Rectangle(box.left, box.top, box.right + 1, box.bottom + 1);
}

int GridY(int step) { return O2ChartY(100.0 * step); }

std::string WithoutLeadingBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

double CountsToVolts(int counts) { return counts * VOLTS_PER_COUNT; }

DiagnosticsValues ReadDiagnostics(const std::uint8_t* frame, int rpm) {
  DiagnosticsValues v;
  v.rpm = rpm;
  v.speed = RoundHalfUp(ToSpeedUnit(FrameByte(frame, field::vehicleSpeed)));
  v.mapCounts = FrameByte(frame, field::mapRaw);
  v.mapKpa = ManifoldKpa(frame);
  v.mapVolts = CountsToVolts(v.mapCounts);
  v.tpsCounts = FrameByte(frame, field::tpsCounts);
  v.tpsVolts = CountsToVolts(v.tpsCounts);
  v.ctsCounts = FrameByte(frame, field::ctsCounts);
  v.ctsCelsius = ToCelsius(SensorTemperatureByte(v.ctsCounts));
  v.ctsFahrenheit = ToFahrenheit(SensorTemperatureByte(v.ctsCounts));
  v.iatCounts = FrameByte(frame, field::iatCounts);
  v.iatCelsius = ToCelsius(SensorTemperatureByte(v.iatCounts));
  v.iatFahrenheit = ToFahrenheit(SensorTemperatureByte(v.iatCounts));
  v.o2Counts = FrameByte(frame, field::o2Raw);
  v.o2Millivolts = static_cast<int>(ToO2Millivolts(static_cast<std::uint16_t>(v.o2Counts)));
  return v;
}

const DiagnosticsFieldPlace& DiagnosticsFieldAt(DiagnosticsField field) {
  return kFieldPlaces[std::clamp(static_cast<int>(field), 0, DIAG_FIELD_COUNT - 1)];
}

std::string DiagnosticsText(const DiagnosticsValues& v, DiagnosticsField field) {
  switch (field) {
    case DIAG_RPM: return Format("   %4d", v.rpm);
    case DIAG_SPEED: return Format("   %4d", v.speed);
    case DIAG_MAP_COUNTS: return Format("   %4d", v.mapCounts);
    case DIAG_MAP_KPA: return Format("   %4.1f", v.mapKpa);
    case DIAG_MAP_VOLTS: return Format("   %4.1f", v.mapVolts);
    case DIAG_TPS_COUNTS: return Format("   %4d", v.tpsCounts);
    case DIAG_TPS_VOLTS: return Format("   %4.1f", v.tpsVolts);
    case DIAG_CTS_COUNTS: return Format("   %4d", v.ctsCounts);
    case DIAG_CTS_CELSIUS: return Format("   %4.1f", v.ctsCelsius);
    case DIAG_CTS_FAHRENHEIT: return Format("   %4.1f", v.ctsFahrenheit);
    case DIAG_IAT_COUNTS: return Format("   %4d", v.iatCounts);
    case DIAG_IAT_CELSIUS: return Format("   %4.1f", v.iatCelsius);
    case DIAG_IAT_FAHRENHEIT: return Format("   %4.1f", v.iatFahrenheit);
    case DIAG_O2_COUNTS: return Format("   %4d", v.o2Counts);
    case DIAG_O2_MILLIVOLTS: return Format("   %4d", v.o2Millivolts);
    default: return {};
  }
}

int O2ChartY(double millivolts) {
  const double mv = std::clamp(millivolts, 0.0, 1000.0);
  return CHART_ZERO_Y - RoundHalfUp(mv / 10.0 * O2_PIXELS_PER_10MV);
}

int AfrChartY(double afr) {
  const double a = std::clamp(afr, 10.0, 20.0);
  return CHART_ZERO_Y - RoundHalfUp((a - 10.0) * AFR_PIXELS_PER_UNIT);
}

DiagnosticsDisplay::DiagnosticsDisplay(const RuntimeRecord& record, SurfaceAccess& surface,
                                       const PreferredChannels* preferred)
    : record_(record),
      surface_(surface),
      preferred_(preferred != nullptr ? *preferred : NO_PREFERRED_CHANNELS) {
  showWideband_ = preferred_.HasWideband();
}

int DiagnosticsDisplay::DiagnosticsFrame(const std::uint8_t* frame, int active) {
  const bool wideband = preferred_.HasWideband();
  const double afr = wideband ? preferred_.Wideband().value : 0.0;
  {
    std::lock_guard lock(mutex_);
    values_ = ReadDiagnostics(frame, record_.rpm.load(std::memory_order_relaxed));
    afr_ = afr;
  }
  // The chart moves on every shown frame, so its time axis holds at 17 frames a second.
  if (active == 1) {
    surface_.DrawValues([this](Canvas& canvas) {
      if (paintStatusValues) paintStatusValues(canvas);
      PaintDiagnosticsValues(canvas);
      PaintChartSegment(canvas);
    });
  }
  return 0;
}

void DiagnosticsDisplay::PaintDiagnostics(Canvas& canvas) {
  std::lock_guard lock(mutex_);
  showWideband_ = preferred_.HasWideband();
  drawn_.fill(std::string());

  for (const Box& box : kBoxes) Frame(canvas, box);
  TextIn(canvas, FontId::Value);
  for (const StaticText& label : kLabels) canvas.Text(label.x, label.y, label.text);
  canvas.Text(540, 60, SpeedUnit() == 1 ? "KPH:" : "MPH:");

  // The chart: frame, grid, scales, legend and time axis.
  Frame(canvas, {CHART_LEFT, CHART_TOP, CHART_RIGHT, CHART_BOTTOM});
  canvas.SetPen(CHART_GRID_COLOUR, 1);
  for (int step = 0; step <= 10; ++step) canvas.Line(PLOT_LEFT, GridY(step), PLOT_RIGHT, GridY(step));

  TextIn(canvas, FontId::Small);
  const int half = canvas.TextHeight() / 2;
  for (int step = 0; step <= 10; ++step) {
    canvas.Text(MV_SCALE_RIGHT, GridY(step) - half, Format("%4d", 100 * step), TextAlign::Right);
    if (showWideband_) {
      canvas.Text(AFR_SCALE_RIGHT, GridY(step) - half, Format("%4.1f", 10.0 + step), TextAlign::Right);
    }
  }
  canvas.Text(MV_SCALE_RIGHT, LEGEND_Y, "mV", TextAlign::Right);
  if (showWideband_) canvas.Text(AFR_SCALE_RIGHT, LEGEND_Y, "AFR", TextAlign::Right);
  canvas.Text(TIME_AXIS_X, TIME_AXIS_Y, "Seconds:");
  for (int n = 10; n >= 1; --n) {
    canvas.Text(TIME_AXIS_X + PIXELS_PER_SECOND * (11 - n), TIME_AXIS_Y, Format("%2d", n));
  }
  TextIn(canvas, FontId::Small, CHART_O2_COLOUR);
  canvas.Text(153, LEGEND_Y, "NB O2");
  if (showWideband_) {
    TextIn(canvas, FontId::Small, CHART_AFR_COLOUR);
    canvas.Text(218, LEGEND_Y, "WB O2");
  }
}

void DiagnosticsDisplay::PaintDiagnosticsValues(Canvas& canvas) {
  std::lock_guard lock(mutex_);
  TextIn(canvas, FontId::Value);
  for (int i = 0; i < DIAG_FIELD_COUNT; ++i) {
    const auto field = static_cast<DiagnosticsField>(i);
    std::string text = DiagnosticsText(values_, field);
    std::string& drawn = drawn_[static_cast<std::size_t>(i)];
    if (text == drawn) continue;
    const DiagnosticsFieldPlace& place = DiagnosticsFieldAt(field);
    // Clear only what the last value covered: the leading blanks of a value
    // reach into the label on its left, and drawn opaque they wipe its colon.
    const int width = std::max(canvas.TextWidth(WithoutLeadingBlanks(text)),
                               canvas.TextWidth(WithoutLeadingBlanks(drawn)));
    canvas.FillRect(place.right - width, place.y, place.right, place.y + canvas.TextHeight(), COLOUR_BACKGROUND);
    canvas.SetTransparentText(true);
    canvas.Text(place.right, place.y, text, TextAlign::Right);
    canvas.SetTransparentText(false);
    drawn = std::move(text);
  }
}

void DiagnosticsDisplay::PaintChartSegment(Canvas& canvas) {
  std::lock_guard lock(mutex_);
  canvas.ScrollRect(PLOT_LEFT, PLOT_TOP, PLOT_RIGHT, PLOT_BOTTOM, -CHART_STEP, 0);
  // The grid goes on across the strip the scroll uncovered.
  canvas.SetPen(CHART_GRID_COLOUR, 1);
  for (int step = 0; step <= 10; ++step) canvas.Line(PLOT_RIGHT - CHART_STEP, GridY(step), PLOT_RIGHT, GridY(step));

  const int o2Y = O2ChartY(values_.o2Millivolts);
  canvas.SetPen(CHART_O2_COLOUR, 1);
  canvas.Line(CHART_SEGMENT_X, o2LastY_, CHART_SEGMENT_END, o2Y);
  o2LastY_ = o2Y;
  if (showWideband_) {
    const int afrY = AfrChartY(afr_);
    canvas.SetPen(CHART_AFR_COLOUR, 1);
    canvas.Line(CHART_SEGMENT_X, afrLastY_, CHART_SEGMENT_END, afrY);
    afrLastY_ = afrY;
  }
}

DiagnosticsValues DiagnosticsDisplay::Values() const {
  std::lock_guard lock(mutex_);
  return values_;
}

double DiagnosticsDisplay::WidebandAfr() const {
  std::lock_guard lock(mutex_);
  return afr_;
}

}  // namespace zrm
