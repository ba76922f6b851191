#include "displays/trip_computer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "displays/trip_digits.h"

namespace zrm {

namespace {

const NoPreferredChannels NO_PREFERRED_CHANNELS;

constexpr int LARGE_TOP_ECONOMY = 122;
constexpr int LARGE_TOP_LOWER = 302;
constexpr int SMALL_TOP = 432;
constexpr int DISTANCE_WHOLE_ABOVE = 9999;

constexpr Colour PE_RED = RgbColour(232, 32, 32);
constexpr int BOX_LEFT = 200, BOX_TOP = 512, BOX_RIGHT = 600, BOX_BOTTOM = 550;

// A display value from a double: truncated toward zero, with what cannot be
// shown (not a number, negative) as 0 and what is too large held at the top.
std::uint32_t Shown(double v) {
  if (std::isnan(v) || v <= 0.0) return 0;
  if (v >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(v);
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

}  // namespace

const TripMapBar& TripMapBarFor(int mapSensorBars) {
  if (mapSensorBars == 2) return TRIP_MAP_BARS[1];
  if (mapSensorBars == 3) return TRIP_MAP_BARS[2];
  return TRIP_MAP_BARS[0];
}

int TripMapBarTop(const TripMapBar& bar, double value) {
  const double v = std::clamp(value, static_cast<double>(bar.min), static_cast<double>(bar.max));
  return bar.height - static_cast<int>((v - bar.min) / (bar.max - bar.min) * bar.height + 0.5) - 1;
}

std::uint32_t CounterIncrement(std::uint32_t newer, std::uint32_t older) {
  const std::int64_t d = static_cast<std::int64_t>(newer) - static_cast<std::int64_t>(older);
  return static_cast<std::uint32_t>(d < 0 ? d + 256 : d);
}

int HighRpmThreshold(int cylinders) {
  switch (cylinders) {
    case 2: return 9600;
    case 3: return 7200;
    case 4: return 4800;
    case 5: return 4200;
    case 6: return 3600;
    case 7: return 3000;
    case 8: return 2400;
    default: return 0;
  }
}

double HighRpmCorrection(double dp, double rpm, int currentRpm, int cylinders) {
  const int threshold = HighRpmThreshold(cylinders);
  if (threshold == 0 || currentRpm <= threshold) return 0.0;
  return (rpm / threshold - 1.0) * dp;
}

double ScaledPulseWidth(double dp, int minBpc, int bpc) {
  if (bpc == 0) return dp;
  return dp * minBpc / bpc;
}

bool TripAccumulate(TripState& s, const std::uint8_t* frame, const RuntimeRecord& record) {
  if (s.callCounter < INT_MAX) ++s.callCounter;
  if (s.callCounter < TRIP_FIRST_FRAME) return false;

  std::move(s.history.begin() + 1, s.history.end(), s.history.begin());
  s.rpm = record.rpm.load(std::memory_order_relaxed);
  s.cylinders = record.cylinders.load(std::memory_order_relaxed);
  s.bpc = BpcShown(frame);
  TripHistoryEntry& newest = s.history.back();
  newest.vss = FrameByte(frame, field::vssPulseCount);
  newest.pw = FrameByte(frame, field::fuelPulseCount);
  newest.rpm = static_cast<std::uint32_t>(std::max(s.rpm, 0));
  newest.bpc = static_cast<std::uint32_t>(s.bpc);
  s.totals.flowConstant = FrameByte(frame, field::tripByte249);
  s.totals.vssPpm = PulsesPerMile(frame);
  s.statusByte3 = FrameByte(frame, field::statusByte3);
  s.statusByte13 = FrameByte(frame, field::statusByte13);
  s.mapBars = record.mapSensorBars.load(std::memory_order_relaxed);
  s.mapByte = FrameByte(frame, TripMapBarFor(s.mapBars).offset);

  if (s.callCounter <= TRIP_HISTORY_FRAMES) return false;
  s.historyReady = 1;

  if (record.engineRunning.load(std::memory_order_relaxed) == 1) {
    s.minBpc = std::min(s.minBpc, s.bpc);
    const TripHistoryEntry& previous = s.history[TRIP_HISTORY_SIZE - 2];
    s.totals.vss += CounterIncrement(newest.vss, previous.vss);
    const double dp = CounterIncrement(newest.pw, previous.pw);
    s.totals.pw += ScaledPulseWidth(dp, s.minBpc, s.bpc) + HighRpmCorrection(dp, s.rpm, s.rpm, s.cylinders);
  }
  return true;
}

void ComputeTrip(TripState& s, int metric) {
  const double ppm = s.totals.vssPpm;
  const double flow = s.totals.flowConstant / TRIP_FLOW_DIVISOR;

  double v = 0.0;
  double p = 0.0;
  for (int i = 1; i < TRIP_HISTORY_SIZE; ++i) {
    const TripHistoryEntry& older = s.history[static_cast<std::size_t>(i - 1)];
    const TripHistoryEntry& newer = s.history[static_cast<std::size_t>(i)];
    v += CounterIncrement(newer.vss, older.vss);
    const double dp = CounterIncrement(newer.pw, older.pw);
    p += ScaledPulseWidth(dp, s.minBpc, s.bpc) + HighRpmCorrection(dp, newer.rpm, s.rpm, s.cylinders);
  }

  double economy;
  if (p == 0.0) {
    economy = TRIP_ECONOMY_LIMIT;
  } else if (ppm == 0.0 || flow == 0.0) {
    economy = 0.0;  // no calibration yet: nothing to divide by
  } else {
    economy = std::min((v / ppm) / (p * TRIP_PW_FACTOR * flow) + 0.5, TRIP_ECONOMY_LIMIT);
  }
  s.values.instant = metric == 1 ? Shown(economy * TRIP_KM_PER_MILE / TRIP_LITRES_PER_GALLON) : Shown(economy);

  const double miles = ppm == 0.0 ? 0.0 : s.totals.vss / ppm;
  double gallons = 0.0;
  if (s.totals.pw > 0.0) {
    gallons = s.totals.pw * TRIP_PW_FACTOR * flow;
    std::uint32_t average = 0;
    if (gallons != 0.0 && ppm != 0.0) average = Shown(miles / gallons * 10.0 + 0.5);
    if (metric == 1) average = Shown(average * TRIP_KM_PER_MILE / TRIP_LITRES_PER_GALLON);
    s.values.average = average;
  }

  std::uint32_t distance = Shown(miles * 10.0 + 0.5);
  if (metric == 1) distance = Shown(distance * TRIP_KM_PER_MILE);
  s.values.distance = distance;
  std::uint32_t fuel = Shown(gallons * 100.0 + 0.5);
  if (metric == 1) fuel = Shown(fuel * TRIP_LITRES_PER_GALLON);
  s.values.fuel = fuel;

  s.values.rpm = static_cast<std::uint32_t>(std::max(s.rpm, 0));
  s.values.pe = (s.statusByte13 & 0x80) != 0;
  s.values.lean = !s.values.pe && (s.statusByte3 & 0x04) != 0;
  s.values.mapKpa = TripMapBarFor(s.mapBars).convert(s.mapByte);
}

TripReadout ReadTripDigits(const TripValues& values) {
  TripReadout r{};
  const auto instant = SplitDigits(values.instant, 2);
  r.instant = static_cast<std::uint32_t>(instant[0] * 10 + instant[1]);
  const auto average = SplitDigits(values.average, 3);
  r.averageWhole = static_cast<std::uint32_t>(average[0] * 10 + average[1]);
  r.averageTenths = static_cast<std::uint32_t>(average[2]);
  std::uint32_t distance = values.distance;
  r.distanceWhole = distance > DISTANCE_WHOLE_ABOVE;
  if (r.distanceWhole) distance /= 10;
  const auto d = SplitDigits(distance, 4);
  if (r.distanceWhole) {
    r.distanceUnits = static_cast<std::uint32_t>(d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3]);
  } else {
    r.distanceUnits = static_cast<std::uint32_t>(d[0] * 100 + d[1] * 10 + d[2]);
    r.distanceTenths = static_cast<std::uint32_t>(d[3]);
  }
  const auto fuel = SplitDigits(values.fuel, 5);
  r.fuelWhole = static_cast<std::uint32_t>(fuel[0] * 100 + fuel[1] * 10 + fuel[2]);
  r.fuelHundredths = static_cast<std::uint32_t>(fuel[3] * 10 + fuel[4]);
  return r;
}

TripComputer::TripComputer(const VistrelSettings& settings, const RuntimeRecord& record, SurfaceAccess& surface,
                           const PreferredChannels* preferred)
    : settingsSource_(settings),
      record_(record),
      surface_(surface),
      preferred_(preferred != nullptr ? *preferred : NO_PREFERRED_CHANNELS) {
  state_.totals.vss = settings.totalVss;
  state_.totals.pw = settings.totalPw;
  state_.totals.vssPpm = settings.tripVssPpm;
  state_.totals.flowConstant = settings.tripFlowConstant;
  for (std::size_t i = 0; i < TRIP_MAP_BARS.size(); ++i) barTop_[i] = TRIP_MAP_BARS[i].height;
  std::lock_guard lock(mutex_);
  ReadSettingsLocked();
}

void TripComputer::ReadSettingsLocked() {
  metric_ = settingsSource_.speedInKph == 1 ? 1 : 0;
  updateDivisor_ = settingsSource_.updateDivisor;
  showWideband_ = preferred_.HasWideband();
}

void TripComputer::ReloadSettings() {
  std::lock_guard lock(mutex_);
  ReadSettingsLocked();
}

int TripComputer::TripFrame(const std::uint8_t* frame, int active) {
  bool draw = false;
  {
    std::lock_guard lock(mutex_);
    if (!TripAccumulate(state_, frame, record_)) return 0;
    if (state_.refreshCounter < INT_MAX) ++state_.refreshCounter;
    if (state_.refreshCounter > updateDivisor_ && active == 1) {
      state_.refreshCounter = 0;
      draw = true;
    }
  }
  if (!draw) return 0;

  // Asked outside the lock: the user devices keep their own.
  const bool wideband = preferred_.HasWideband();
  const double reading = wideband ? preferred_.Wideband().value : 0.0;
  bool rangeChanged = false;
  surface_.DrawValues([&](Canvas& canvas) {
    if (paintStatusValues) paintStatusValues(canvas);
    std::lock_guard lock(mutex_);
    state_.values.afr = Shown(std::trunc(reading * 10.0));
    ComputeTrip(state_, metric_);
    canvas.SetTextColour(COLOUR_TEXT);
    canvas.SetBackColour(COLOUR_BACKGROUND);
    canvas.SetFont(FontId::OemFixed);
    canvas.SetTransparentText(false);
    DrawInstant(canvas, false);
    DrawAverage(canvas, false);
    DrawDistance(canvas, false);
    DrawFuel(canvas, false);
    DrawRpm(canvas, false);
    rangeChanged = !DrawMapBar(canvas);
    DrawPeLean(canvas);
    if (wideband) DrawAfr(canvas, false);
  });
  // The bar's scale belongs to the static layer.
  if (rangeChanged) surface_.InvalidateAll();
  return 0;
}

void TripComputer::ResetTrip() {
  std::lock_guard lock(mutex_);
  state_.totals = {};
  state_.history = {};
  state_.values = {};
  state_.rpm = 0;
  state_.bpc = 0;
  state_.statusByte3 = 0;
  state_.minBpc = TRIP_NO_BPC;
  state_.callCounter = 0;
  state_.historyReady = 0;
  state_.refreshCounter = updateDivisor_;
  distanceSlots_[3].cached = -1;
}

void TripComputer::TripEngineStopped() {
  std::lock_guard lock(mutex_);
  state_.refreshCounter = updateDivisor_;
  state_.historyReady = 0;
  state_.callCounter = 0;
  state_.minBpc = TRIP_NO_BPC;
}

TripValues TripComputer::ComputeValues() {
  std::lock_guard lock(mutex_);
  ComputeTrip(state_, metric_);
  return state_.values;
}

TripTotals TripComputer::Totals() const {
  std::lock_guard lock(mutex_);
  return state_.totals;
}

void TripComputer::StoreTotals(VistrelSettings& settings) const {
  std::lock_guard lock(mutex_);
  settings.totalVss = state_.totals.vss;
  settings.totalPw = state_.totals.pw;
  settings.tripVssPpm = state_.totals.vssPpm;
  settings.tripFlowConstant = state_.totals.flowConstant;
}

TripState TripComputer::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

void TripComputer::DrawLarge(Canvas& canvas, DigitSlot& slot, int y, int glyph, bool force) {
  if (!force && slot.cached == glyph) return;
  const LargeGlyph* rows = &LARGE_BLANK;
  if (glyph >= 0 && glyph <= 9) rows = &LARGE_DIGITS[static_cast<std::size_t>(glyph)];
  if (glyph == GLYPH_POINT) rows = &LARGE_POINT;
  if (glyph == GLYPH_POINT_BLANK) rows = &LARGE_POINT_BLANK;
  DrawBlockGlyph(canvas, slot.x, y, rows->data(), LARGE_DIGIT_ROWS, COLOUR_TEXT, COLOUR_BACKGROUND);
  slot.cached = glyph;
}

void TripComputer::DrawSmall(Canvas& canvas, DigitSlot& slot, int y, int glyph, bool force) {
  if (!force && slot.cached == glyph) return;
  const SmallGlyph* rows = &SMALL_POINT;
  if (glyph >= 0 && glyph <= 9) rows = &SMALL_DIGITS[static_cast<std::size_t>(glyph)];
  DrawBlockGlyph(canvas, slot.x, y, rows->data(), SMALL_DIGIT_ROWS, COLOUR_TEXT, COLOUR_BACKGROUND);
  slot.cached = glyph;
}

void TripComputer::DrawInstant(Canvas& canvas, bool force) {
  const auto d = SplitDigits(state_.values.instant, 2);
  DrawLarge(canvas, instantSlots_[0], LARGE_TOP_ECONOMY, d[0] == 0 ? GLYPH_BLANK : d[0], force);
  DrawLarge(canvas, instantSlots_[1], LARGE_TOP_ECONOMY, d[1], force);
}

void TripComputer::DrawAverage(Canvas& canvas, bool force) {
  const auto d = SplitDigits(state_.values.average, 3);
  DrawLarge(canvas, averageSlots_[0], LARGE_TOP_ECONOMY, d[0] == 0 ? GLYPH_BLANK : d[0], force);
  DrawLarge(canvas, averageSlots_[1], LARGE_TOP_ECONOMY, d[1], force);
  DrawLarge(canvas, averageSlots_[2], LARGE_TOP_ECONOMY, GLYPH_POINT, force);
  DrawLarge(canvas, averageSlots_[3], LARGE_TOP_ECONOMY, d[2], force);
}

void TripComputer::DrawRpm(Canvas& canvas, bool force) {
  const auto d = SplitDigits(state_.values.rpm, 4);
  DrawLarge(canvas, rpmSlots_[0], LARGE_TOP_LOWER, d[0] == 0 ? GLYPH_BLANK : d[0], force);
  for (std::size_t i = 1; i < 4; ++i) DrawLarge(canvas, rpmSlots_[i], LARGE_TOP_LOWER, d[i], force);
}

void TripComputer::DrawDistance(Canvas& canvas, bool force) {
  std::uint32_t value = state_.values.distance;
  const bool whole = value > DISTANCE_WHOLE_ABOVE;
  if (whole) value /= 10;
  const auto d = SplitDigits(value, 4);
  DrawLarge(canvas, distanceSlots_[0], LARGE_TOP_LOWER, d[0], force);
  DrawLarge(canvas, distanceSlots_[1], LARGE_TOP_LOWER, d[1], force);
  DrawLarge(canvas, distanceSlots_[2], LARGE_TOP_LOWER, d[2], force);
  DrawLarge(canvas, distanceSlots_[3], LARGE_TOP_LOWER, whole ? GLYPH_POINT_BLANK : GLYPH_POINT, force);
  DrawLarge(canvas, distanceSlots_[4], LARGE_TOP_LOWER, d[3], force);
}

void TripComputer::DrawFuel(Canvas& canvas, bool force) {
  const auto d = SplitDigits(state_.values.fuel, 5);
  DrawSmall(canvas, fuelSlots_[0], SMALL_TOP, d[0], force);
  DrawSmall(canvas, fuelSlots_[1], SMALL_TOP, d[1], force);
  DrawSmall(canvas, fuelSlots_[2], SMALL_TOP, d[2], force);
  DrawSmall(canvas, fuelSlots_[3], SMALL_TOP, GLYPH_POINT, force);
  DrawSmall(canvas, fuelSlots_[4], SMALL_TOP, d[3], force);
  DrawSmall(canvas, fuelSlots_[5], SMALL_TOP, d[4], force);
}

void TripComputer::DrawAfr(Canvas& canvas, bool force) {
  const auto d = SplitDigits(state_.values.afr, 3);
  DrawSmall(canvas, afrSlots_[0], SMALL_TOP, d[0], force);
  DrawSmall(canvas, afrSlots_[1], SMALL_TOP, d[1], force);
  DrawSmall(canvas, afrSlots_[2], SMALL_TOP, GLYPH_POINT, force);
  DrawSmall(canvas, afrSlots_[3], SMALL_TOP, d[2], force);
}

// Returns false, drawing nothing, when the MAP sensor range is not the one
// whose scale the static layer shows.
bool TripComputer::DrawMapBar(Canvas& canvas) {
  if (state_.mapBars != mapBarsDrawn_) return false;
  const TripMapBar& bar = TripMapBarFor(state_.mapBars);
  int& previous = barTop_[static_cast<std::size_t>(&bar - TRIP_MAP_BARS.data())];
  const int top = TripMapBarTop(bar, state_.values.mapKpa);
  if (top > previous) {
    canvas.SetPen(COLOUR_BACKGROUND, 1);
    for (int r = previous + 1; r <= top; ++r) canvas.Line(bar.x - 1, bar.y + r, bar.x + 10, bar.y + r);
  } else if (top < previous) {
    canvas.SetPen(COLOUR_TEXT, 1);
    for (int r = previous; r > top; --r) canvas.Line(bar.x - 1, bar.y + r, bar.x + 10, bar.y + r);
  }
  previous = top;
  return true;
}

void TripComputer::DrawPeLean(Canvas& canvas) {
  const int want = state_.values.pe ? 2 : state_.values.lean ? 1 : 0;
  if (want == boxState_) return;
  canvas.FillRect(BOX_LEFT, BOX_TOP, BOX_RIGHT, BOX_BOTTOM, COLOUR_BACKGROUND);
  canvas.SetFont(FontId::OemFixed);
  if (want == 2) {
    canvas.FillRect(225, 512, 575, 550, PE_RED);
    canvas.SetTransparentText(true);
    canvas.SetTextColour(COLOUR_BACKGROUND);
    canvas.Text(375, 527, "PE MODE");
  } else if (want == 1) {
    canvas.FillRect(200, 520, 600, 540, COLOUR_TEXT);
    canvas.SetTransparentText(true);
    canvas.SetTextColour(COLOUR_BACKGROUND);
    canvas.Text(360, 526, "Lean Cruise");
  }
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  boxState_ = want;
}

void TripComputer::DrawTripStatic(Canvas& canvas) {
  const bool metric = metric_ == 1;
  canvas.SetFont(FontId::OemFixed);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  canvas.Text(219, 218, metric ? "Instant Km/L" : " Instant MPG");
  canvas.Text(540, 218, metric ? "Average Km/L" : " Average MPG");
  canvas.Text(166, 398, "RPM");
  canvas.Text(570, 398, metric ? "  Km Traveled " : "Miles Traveled");
  canvas.Text(554, 492, metric ? " Litres Consumed" : "Gallons Consumed");
  if (showWideband_) canvas.Text(152, 492, "WB AFR");

  const TripMapBar& bar = TripMapBarFor(state_.mapBars);
  const int x = bar.x;
  const int y = bar.y;
  const int h = bar.height;
  if (state_.mapBars != mapBarsDrawn_) {
    canvas.FillRect(x - 50, y - 10, x + 19, y + 392, COLOUR_BACKGROUND);
    mapBarsDrawn_ = state_.mapBars;
  }
  const CanvasPoint outline[] = {{x - 3, y - 2}, {x + 11, y - 2}, {x + 11, y + h + 2}, {x - 2, y + h + 2}, {x - 2, y - 2}};
  canvas.SetPen(COLOUR_TEXT, 2);
  canvas.Polyline(outline, 5);
  canvas.FillRect(x - 1, y - 1, x + 10, y + h + 1, COLOUR_BACKGROUND);
  const int marks = (bar.max - bar.min) / bar.step;
  canvas.SetPen(COLOUR_TEXT, 1);
  for (int i = 0; i <= marks; ++i) {
    const int markY = y + static_cast<int>(static_cast<double>(i) * h / marks + 0.5);
    canvas.Line(x - 8, markY, x - 2, markY);
    canvas.Text(x - 12, markY - 8, Format("%2d", bar.max - i * bar.step), TextAlign::Right);
  }
  canvas.Text(x - 10, y + h + 8, "MAP");
  canvas.Text(x - 8, y + h + 24, "KPa");
  const int top = barTop_[static_cast<std::size_t>(&bar - TRIP_MAP_BARS.data())];
  for (int r = h; r > top; --r) canvas.Line(x - 1, y + r, x + 10, y + r);
}

void TripComputer::DrawValuesLocked(Canvas& canvas, bool force) {
  canvas.SetFont(FontId::OemFixed);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  ComputeTrip(state_, metric_);
  DrawInstant(canvas, force);
  DrawAverage(canvas, force);
  DrawRpm(canvas, force);
  DrawDistance(canvas, force);
  DrawAfr(canvas, force);
  DrawFuel(canvas, force);
  DrawMapBar(canvas);
  DrawPeLean(canvas);
  canvas.SetTextColour(COLOUR_TEXT);
}

void TripComputer::PaintTrip(Canvas& canvas) {
  std::lock_guard lock(mutex_);
  ReadSettingsLocked();
  // The window was erased: the PE/lean box is drawn again if it is due.
  boxState_ = 0;
  DrawTripStatic(canvas);
  DrawValuesLocked(canvas, true);
}

}  // namespace zrm
