#include "displays/gauge_display.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

namespace zrm {

namespace {

constexpr double KPA_TO_PSI = 0.145037738;

const NoPreferredChannels NO_PREFERRED_CHANNELS;

constexpr Colour DIAL_RIM = 0x0A0A0A;
constexpr Colour DIAL_ARC = 0xFF9046;
constexpr Colour REDLINE_COLOUR = 0x0A3FD2;
constexpr Colour TICK_COLOUR = 0x000000;
constexpr Colour FINE_TICK_COLOUR = 0x0A0A0A;
constexpr int MAJOR_TICK_INNER = 66;
constexpr int HALF_TICK_INNER = 70;
constexpr int FINE_TICK_INNER = 73;
constexpr int SPEED_LABEL_RADIUS = 91;
constexpr int RPM_LABEL_RADIUS = 90;
constexpr int DIAL_LABEL_RISE = 6;
constexpr int UNIT_TEXT_Y = 232;
constexpr int UNIT_CHAR_WIDTH = 14;
constexpr int DIAL_VALUE_Y = 248;
constexpr int SPEED_VALUE_BASE = 280;
constexpr int RPM_VALUE_BASE = 518;

constexpr int VALUE_COLUMN_RIGHT = 770;
constexpr int VALUE_COLUMN_LEFT = 640;
constexpr int INT_Y = 145;
constexpr int BLM_Y = 175;
constexpr int AFR_Y = 205;
constexpr int WIDEBAND_Y = 235;
constexpr int DEVICE_Y = 265;
constexpr int FUEL_LEFT = 20;
constexpr int FUEL_VALUE_RIGHT = 135;
constexpr int GEAR_X = 405;
constexpr int GEAR_Y = 145;

// snprintf into a string; the formats are the display's own.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return {};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  return text;
}

void TextIn(Canvas& canvas, FontId font, Colour back) {
  canvas.SetFont(font);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(back);
  canvas.SetTransparentText(false);
}

}  // namespace

CanvasPoint DialPoint(int cx, int cy, double angleDeg, double radius) {
  const double t = (360.0 - angleDeg) * std::numbers::pi / 180.0;
  return {static_cast<int>(cx + std::sin(t) * radius), static_cast<int>(cy + std::cos(t) * radius)};
}

double ValueAngle(double v, double range) {
  if (range <= 0.0) return DIAL_START_ANGLE;
  return std::min(v, range) / range * (DIAL_END_ANGLE - DIAL_START_ANGLE) + DIAL_START_ANGLE;
}

// Each step is the angle of one label step's value, so that a label stands
// where the needle points for it even when the full scale is not a whole
// number of steps (190 mph: 180 at 300.8 degrees, the scale runs on to 315).
DialScale SpeedometerScale(int speedRange) {
  // Above 180 the labels go in twenties so that they do not crowd.
  const bool doubled = speedRange >= 181;
  const int labelStep = doubled ? 20 : 10;
  const int count = (doubled ? speedRange / 2 : speedRange) / 10;
  return {count, count > 0 ? 270.0 * labelStep / speedRange : 0.0, labelStep};
}

DialScale TachometerScale(int rpmRange) {
  const int count = rpmRange / 1000;
  return {count, count > 0 ? 270.0 * 1000 / rpmRange : 0.0, 1};
}

int BarLevel(double value, int scaleMin, int scaleMax) {
  if (scaleMax <= scaleMin) return BAR_SPAN - 1;
  const double v = std::clamp(value, static_cast<double>(scaleMin), static_cast<double>(scaleMax));
  return BAR_SPAN - RoundHalfUp((v - scaleMin) / (scaleMax - scaleMin) * BAR_SPAN) - 1;
}

int BarScaleRow(int value, int scaleMin, int scaleMax) { return BarLevel(value, scaleMin, scaleMax) + 1; }

bool LampOn(const LampRow& lamp, const std::uint8_t* frame) {
  return ((FrameByte(frame, lamp.offset) & lamp.mask) != 0) != lamp.invert;
}

BoostReading BoostForSensor(int mapSensorBars, std::uint8_t boostRaw) {
  switch (mapSensorBars) {
    case 2: return {ToBoost2BarKpa(boostRaw) * KPA_TO_PSI, true, 0, 15, 5};
    case 3: return {ToBoost3BarKpa(boostRaw) * KPA_TO_PSI, true, 0, 30, 10};
    default: return {0.0, false, 0, 0, 0};
  }
}

std::string GearText(const std::uint8_t* frame, int transType) {
  if (transType == 1) {
    if (FrameBit(frame, field::statusByte15, 4)) return " P/N ";
    if (FrameBit(frame, field::statusByte5, 5)) return "   D   ";
    return " OD ";
  }
  return Format("  %1d  ", std::min<int>(FrameByte(frame, field::gear), 9));
}

int DialValueLeft(int base, int length) { return base - 5 * (length / 2); }

GaugeDisplay::GaugeDisplay(const VistrelSettings& settings, const RuntimeRecord& record, SurfaceAccess& surface,
                           std::function<int()> knockCount, const PreferredChannels* preferred)
    : settingsSource_(settings),
      record_(record),
      surface_(surface),
      knockCount_(std::move(knockCount)),
      preferred_(preferred != nullptr ? *preferred : NO_PREFERRED_CHANNELS) {
  for (std::size_t i = 0; i < BAR_GAUGES.size(); ++i) {
    bars_[i].scaleMin = BAR_GAUGES[i].scaleMin;
    bars_[i].scaleMax = BAR_GAUGES[i].scaleMax;
    bars_[i].scaleStep = BAR_GAUGES[i].scaleStep;
  }
  speedTip_ = DialPoint(SPEEDO_X, DIAL_Y, DIAL_START_ANGLE, NEEDLE_LENGTH);
  rpmTip_ = DialPoint(TACHO_X, DIAL_Y, DIAL_START_ANGLE, NEEDLE_LENGTH);
  gear_ = "  0  ";
  std::lock_guard lock(mutex_);
  ReadSettingsLocked();
}

void GaugeDisplay::ReloadSettings() {
  std::lock_guard lock(mutex_);
  ReadSettingsLocked();
}

void GaugeDisplay::ReadSettingsLocked() {
  const VistrelSettings& s = settingsSource_;
  settings_ = {s.speedRange, s.rpmRange,  s.redline,       s.speedInKph,
               s.temperatureScale, s.transType, s.updateDivisor};
  showWideband_ = preferred_.HasWideband();
  showFuelPressure_ = preferred_.HasFuelPressure();
}

bool GaugeDisplay::BarShown(const BarGaugeRow& row) const {
  return row.temperatureFilter == SHOW_ALWAYS || row.temperatureFilter == settings_.temperatureScale;
}

int GaugeDisplay::GaugeFrame(const std::uint8_t* frame, int active) {
  // Asked before the lock: the knock map keeps its own.
  const int knocks = knockCount_ ? knockCount_() : 0;
  bool repaintAll = false;
  bool draw = false;
  {
    std::lock_guard lock(mutex_);
    speed_ = static_cast<int>(ToSpeedUnit(FrameByte(frame, field::vehicleSpeed)));
    rpm_ = record_.rpm.load(std::memory_order_relaxed);
    integrator_ = FrameByte(frame, field::integrator);
    blm_ = FrameByte(frame, field::blm);
    commandedAfr_ = FrameByte(frame, field::commandedAfr);
    gear_ = GearText(frame, settings_.transType);

    for (std::size_t i = 0; i < BAR_GAUGES.size(); ++i) {
      const BarGaugeRow& row = BAR_GAUGES[i];
      Bar& bar = bars_[i];
      switch (row.offset) {
        case BAR_BOOST: {
          const BoostReading boost =
              BoostForSensor(record_.mapSensorBars.load(std::memory_order_relaxed), FrameByte(frame, field::boostRaw));
          bar.value = boost.psi;
          if (boost.hasScale) {
            bar.scaleMin = boost.scaleMin;
            bar.scaleMax = boost.scaleMax;
            bar.scaleStep = boost.scaleStep;
            // The scale is part of the static layer.
            if (boost.scaleMax != boostScaleDrawn_) repaintAll = true;
            boostScaleDrawn_ = boost.scaleMax;
          }
          break;
        }
        case BAR_DUTY_CYCLE: bar.value = ComputeDutyCycle(frame); break;
        case BAR_KNOCK: bar.value = knocks; break;
        default: {
          const std::uint16_t raw = row.twoByte ? FrameWord(frame, row.offset) : FrameByte(frame, row.offset);
          bar.value = row.convert(raw);
          break;
        }
      }
    }

    for (std::size_t i = 0; i < STATUS_LAMPS.size(); ++i) lamps_[i].state = LampOn(STATUS_LAMPS[i], frame);
    lamps_[STATUS_LAMPS.size()].state = LampOn(SES_LAMP, frame);

    if (frameCount_ < INT_MAX) ++frameCount_;
    if (frameCount_ > settings_.updateDivisor && active == 1) {
      frameCount_ = 0;
      draw = true;
    }
  }
  if (repaintAll) surface_.InvalidateAll();
  if (draw) {
    surface_.DrawValues([this](Canvas& canvas) {
      if (paintStatusValues) paintStatusValues(canvas);
      PaintGaugeValues(canvas);
    });
  }
  return 0;
}

void GaugeDisplay::PaintDialFace(Canvas& canvas, int cx) const {
  canvas.SetPen(DIAL_RIM, 2);
  canvas.SetBrush(DIAL_FACE);
  canvas.Ellipse(cx - DIAL_RADIUS, DIAL_Y - DIAL_RADIUS, cx + DIAL_RADIUS, DIAL_Y + DIAL_RADIUS);
  // The arc runs counter-clockwise on the screen, so from the end of the
  // scale back over the top to its start.
  const int r = DIAL_RADIUS - 1;
  const CanvasPoint from = DialPoint(cx, DIAL_Y, DIAL_END_ANGLE, r);
  const CanvasPoint to = DialPoint(cx, DIAL_Y, DIAL_START_ANGLE, r);
  canvas.SetPen(DIAL_ARC, 2);
  canvas.Arc(cx - r, DIAL_Y - r, cx + r, DIAL_Y + r, from.x, from.y, to.x, to.y);
}

// Major ticks from the rim inwards at every step, half ticks between them.
static void PaintMajorAndHalfTicks(Canvas& canvas, int cx, const DialScale& scale) {
  canvas.SetPen(TICK_COLOUR, 2);
  for (int k = 0; k <= scale.count; ++k) {
    const double a = DIAL_START_ANGLE + k * scale.stepAngle;
    const CanvasPoint outer = DialPoint(cx, DIAL_Y, a, DIAL_RADIUS);
    const CanvasPoint inner = DialPoint(cx, DIAL_Y, a, MAJOR_TICK_INNER);
    canvas.Line(outer.x, outer.y, inner.x, inner.y);
  }
  for (int k = 0; k < scale.count; ++k) {
    const double a = DIAL_START_ANGLE + (k + 0.5) * scale.stepAngle;
    const CanvasPoint outer = DialPoint(cx, DIAL_Y, a, DIAL_RADIUS);
    const CanvasPoint inner = DialPoint(cx, DIAL_Y, a, HALF_TICK_INNER);
    canvas.Line(outer.x, outer.y, inner.x, inner.y);
  }
}

void GaugeDisplay::PaintSpeedometerScale(Canvas& canvas) const {
  const DialScale scale = SpeedometerScale(settings_.speedRange);
  PaintMajorAndHalfTicks(canvas, SPEEDO_X, scale);
  TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
  for (int k = 0; k <= scale.count; ++k) {
    const CanvasPoint p = DialPoint(SPEEDO_X, DIAL_Y, DIAL_START_ANGLE + k * scale.stepAngle, SPEED_LABEL_RADIUS);
    canvas.Text(p.x, p.y - DIAL_LABEL_RISE, Format("%d", k * scale.labelStep), TextAlign::Centre);
  }
  const std::string unit = settings_.speedInKph == 1 ? "KPH" : "MPH";
  TextIn(canvas, FontId::Normal, DIAL_FACE);
  canvas.Text(SPEEDO_X - static_cast<int>(unit.size()) * UNIT_CHAR_WIDTH / 2, UNIT_TEXT_Y, unit);
}

void GaugeDisplay::PaintTachometerScale(Canvas& canvas) const {
  if (settings_.rpmRange > 0) {
    const double redline = static_cast<double>(settings_.redline) / settings_.rpmRange * 270.0 + DIAL_START_ANGLE;
    if (redline < DIAL_END_ANGLE) {
      const int r = DIAL_RADIUS - 1;
      const CanvasPoint from = DialPoint(TACHO_X, DIAL_Y, DIAL_END_ANGLE, r);
      const CanvasPoint to = DialPoint(TACHO_X, DIAL_Y, redline, r);
      canvas.SetPen(REDLINE_COLOUR, 2);
      canvas.Arc(TACHO_X - r, DIAL_Y - r, TACHO_X + r, DIAL_Y + r, from.x, from.y, to.x, to.y);
    }
  }
  const DialScale scale = TachometerScale(settings_.rpmRange);
  PaintMajorAndHalfTicks(canvas, TACHO_X, scale);
  canvas.SetPen(FINE_TICK_COLOUR, 1);
  for (int k = 0; k < 10 * scale.count; ++k) {
    const double a = DIAL_START_ANGLE + k * scale.stepAngle / 10.0;
    const CanvasPoint outer = DialPoint(TACHO_X, DIAL_Y, a, DIAL_RADIUS);
    const CanvasPoint inner = DialPoint(TACHO_X, DIAL_Y, a, FINE_TICK_INNER);
    canvas.Line(outer.x, outer.y, inner.x, inner.y);
  }
  TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
  for (int k = 0; k <= scale.count; ++k) {
    const CanvasPoint p = DialPoint(TACHO_X, DIAL_Y, DIAL_START_ANGLE + k * scale.stepAngle, RPM_LABEL_RADIUS);
    canvas.Text(p.x, p.y - DIAL_LABEL_RISE, Format("%d", k * scale.labelStep), TextAlign::Centre);
  }
  TextIn(canvas, FontId::Normal, DIAL_FACE);
  canvas.Text(TACHO_X - 3 * UNIT_CHAR_WIDTH / 2, UNIT_TEXT_Y, "RPM");
}

void GaugeDisplay::PaintBarStatic(Canvas& canvas, const BarGaugeRow& row, const Bar& bar, bool level) const {
  const int x = row.x;
  const int y = BAR_TOP;
  canvas.SetPen(COLOUR_TEXT, 2);
  canvas.SetNullBrush();
  canvas.Rectangle(x - 2, y - 2, x + 11, y + 173);
  canvas.FillRect(x - 1, y - 1, x + 10, y + 172, DIAL_FACE);

  TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
  if (!row.secondBar && bar.scaleStep > 0) {
    canvas.SetPen(COLOUR_TEXT, 1);
    const int half = canvas.TextHeight() / 2;
    for (int v = bar.scaleMax; v >= bar.scaleMin; v -= bar.scaleStep) {
      const int tickY = y + BarScaleRow(v, bar.scaleMin, bar.scaleMax);
      canvas.Line(x - 8, tickY, x - 2, tickY);
      canvas.Text(x - 12, tickY - half, Format(" %2d", v), TextAlign::Right);
    }
  }
  if (row.secondBar) {
    canvas.Text(x - 16, y + 193, row.label);
  } else {
    canvas.Text(x - 10, y + 179, row.label);
  }
  if (row.unit[0] != '\0') canvas.Text(x - 6, y - 26, row.unit);
  if (level && bar.drawnLevel < BAR_SPAN) {
    canvas.FillRect(x - 1, y + bar.drawnLevel + 1, x + 10, y + BAR_SPAN + 1, BarColour(row.colourIndex));
  }
}

void GaugeDisplay::PaintGaugeStatic(Canvas& canvas, bool levels) {
  std::lock_guard lock(mutex_);
  ReadSettingsLocked();

  PaintDialFace(canvas, SPEEDO_X);
  PaintDialFace(canvas, TACHO_X);
  PaintSpeedometerScale(canvas);
  PaintTachometerScale(canvas);

  for (std::size_t i = 0; i < BAR_GAUGES.size(); ++i) {
    if (BarShown(BAR_GAUGES[i])) PaintBarStatic(canvas, BAR_GAUGES[i], bars_[i], levels);
  }

  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
  for (std::size_t i = 0; i < STATUS_LAMPS.size(); ++i) {
    const LampRow& row = STATUS_LAMPS[i];
    // The outline's corners are (x - 1, y - 1) and (x + 13, y + 9), around the lamp.
    canvas.Rectangle(row.x - 1, row.y - 1, row.x + LAMP_WIDTH + 1, row.y + LAMP_HEIGHT + 1);
    canvas.Text(row.x - 4, row.y - 4, row.label, TextAlign::Right);
    lamps_[i].drawn = -1;
  }
  canvas.Rectangle(SES_LAMP.x - 1, SES_LAMP.y - 1, SES_LAMP.x + SES_WIDTH + 1, SES_LAMP.y + SES_HEIGHT + 1);
  canvas.Text(SES_LAMP.x + SES_WIDTH, SES_LAMP.y - 20, SES_LAMP.label, TextAlign::Right);
  lamps_[STATUS_LAMPS.size()].drawn = -1;

  canvas.Text(387, 127, "Gear");
  TextIn(canvas, FontId::Value, COLOUR_BACKGROUND);
  canvas.Text(VALUE_COLUMN_LEFT, INT_Y, "INT:  ");
  canvas.Text(VALUE_COLUMN_LEFT, BLM_Y, "BLM:  ");
  canvas.Text(VALUE_COLUMN_LEFT, AFR_Y, "cAFR: ");
  if (showWideband_) {
    const PreferredReading wb = preferred_.Wideband();
    canvas.Text(VALUE_COLUMN_LEFT, WIDEBAND_Y, "WB:   ");
    TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
    canvas.Text(VALUE_COLUMN_LEFT, DEVICE_Y, Format("%s  Ch: %d", wb.name.c_str(), wb.channel));
  }
  if (showFuelPressure_) {
    const PreferredReading fuel = preferred_.FuelPressure();
    TextIn(canvas, FontId::Value, COLOUR_BACKGROUND);
    canvas.Text(FUEL_LEFT, WIDEBAND_Y, "Fuel:   ");
    TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
    canvas.Text(FUEL_LEFT, DEVICE_Y, Format("%s  Ch: %d  ", fuel.name.c_str(), fuel.channel));
  }
}

void GaugeDisplay::PaintNeedle(Canvas& canvas, int cx, double angle, CanvasPoint* lastTip) {
  canvas.SetPen(DIAL_FACE, 3);
  canvas.Line(cx, DIAL_Y, lastTip->x, lastTip->y);
  const CanvasPoint tip = DialPoint(cx, DIAL_Y, angle, NEEDLE_LENGTH);
  canvas.SetPen(NEEDLE_COLOUR, 3);
  canvas.Line(cx, DIAL_Y, tip.x, tip.y);
  *lastTip = tip;
}

void GaugeDisplay::PaintLamp(Canvas& canvas, const LampRow& row, Lamp& lamp, int width, int height, Colour off) {
  const int state = lamp.state ? 1 : 0;
  if (state == lamp.drawn) return;
  canvas.FillRect(row.x, row.y, row.x + width, row.y + height, lamp.state ? LampOnColour(row.onColourIndex) : off);
  lamp.drawn = state;
}

namespace {

// A value's field is cleared over the widest text it can hold before the text
// is drawn, so a shorter value leaves nothing of a longer one ("0)" after 85).
void ClearedText(Canvas& canvas, int x, int y, const std::string& text, const std::string& widest, Colour back,
                 TextAlign align = TextAlign::Left) {
  const int width = std::max(canvas.TextWidth(widest), canvas.TextWidth(text));
  const int left = align == TextAlign::Right ? x - width : x;
  canvas.FillRect(left, y, left + width, y + canvas.TextHeight(), back);
  canvas.Text(x, y, text, align);
}

// A value beside its label (the right-hand column, the fuel pressure): its
// field runs from behind the label's last character to the value's right
// edge, so the label ("cAFR:", "Fuel:") keeps its colon and a shorter value
// leaves nothing of a longer one.
void ColumnValue(Canvas& canvas, const char* label, int labelX, int right, int y, std::string text) {
  std::string shown = label;
  shown.erase(shown.find_last_not_of(' ') + 1);
  const int left = labelX + canvas.TextWidth(shown) + 2;
  canvas.FillRect(left, y, right, y + canvas.TextHeight(), COLOUR_BACKGROUND);
  text.erase(0, text.find_first_not_of(' '));
  canvas.Text(right, y, text, TextAlign::Right);
}

}  // namespace

void GaugeDisplay::PaintGaugeValues(Canvas& canvas) {
  std::lock_guard lock(mutex_);

  PaintNeedle(canvas, SPEEDO_X, ValueAngle(speed_, settings_.speedRange), &speedTip_);
  PaintNeedle(canvas, TACHO_X, ValueAngle(rpm_, settings_.rpmRange), &rpmTip_);
  TextIn(canvas, FontId::Normal, DIAL_FACE);
  const std::string speedText = Format(" %3d", speed_);
  ClearedText(canvas, DialValueLeft(SPEED_VALUE_BASE, static_cast<int>(speedText.size())), DIAL_VALUE_Y, speedText,
              " 888", DIAL_FACE);
  const std::string rpmText = Format("  %4d   ", rpm_);
  ClearedText(canvas, DialValueLeft(RPM_VALUE_BASE, static_cast<int>(rpmText.size())), DIAL_VALUE_Y, rpmText,
              "  8888   ", DIAL_FACE);

  TextIn(canvas, FontId::Normal, COLOUR_BACKGROUND);
  for (std::size_t i = 0; i < BAR_GAUGES.size(); ++i) {
    const BarGaugeRow& row = BAR_GAUGES[i];
    if (!BarShown(row)) continue;
    Bar& bar = bars_[i];
    const int level = BarLevel(bar.value, bar.scaleMin, bar.scaleMax);
    // Only the rows between the old and the new level change.
    if (level < bar.drawnLevel) {
      canvas.SetPen(BarColour(row.colourIndex), 1);
      for (int r = bar.drawnLevel; r > level; --r) canvas.Line(row.x - 1, BAR_TOP + r, row.x + 10, BAR_TOP + r);
    } else {
      canvas.SetPen(DIAL_FACE, 1);
      for (int r = bar.drawnLevel + 1; r <= level; ++r) canvas.Line(row.x - 1, BAR_TOP + r, row.x + 10, BAR_TOP + r);
    }
    bar.drawnLevel = level;
    const std::string text = row.decimal ? Format(row.format, bar.value) : Format(row.format, RoundHalfUp(bar.value));
    const std::string widest = row.decimal ? Format(row.format, 88.8) : Format(row.format, 8888);
    ClearedText(canvas, row.x + row.dx, BAR_TOP - row.dy, text, widest, COLOUR_BACKGROUND);
  }

  for (std::size_t i = 0; i < STATUS_LAMPS.size(); ++i) {
    PaintLamp(canvas, STATUS_LAMPS[i], lamps_[i], LAMP_WIDTH, LAMP_HEIGHT, LAMP_OFF);
  }
  PaintLamp(canvas, SES_LAMP, lamps_[STATUS_LAMPS.size()], SES_WIDTH, SES_HEIGHT, SES_OFF);

  TextIn(canvas, FontId::Value, COLOUR_BACKGROUND);
  canvas.Text(GEAR_X, GEAR_Y, gear_, TextAlign::Centre);
  ColumnValue(canvas, "INT:  ", VALUE_COLUMN_LEFT, VALUE_COLUMN_RIGHT, INT_Y, Format("  %3d", integrator_));
  ColumnValue(canvas, "BLM:  ", VALUE_COLUMN_LEFT, VALUE_COLUMN_RIGHT, BLM_Y, Format("  %3d", blm_));
  ColumnValue(canvas, "cAFR: ", VALUE_COLUMN_LEFT, VALUE_COLUMN_RIGHT, AFR_Y, Format("  %4.1f", commandedAfr_ / 10.0));
  if (showWideband_) {
    ColumnValue(canvas, "WB:   ", VALUE_COLUMN_LEFT, VALUE_COLUMN_RIGHT, WIDEBAND_Y,
                Format("  %3.1f", preferred_.Wideband().value));
  }
  if (showFuelPressure_) {
    ColumnValue(canvas, "Fuel:   ", FUEL_LEFT, FUEL_VALUE_RIGHT, WIDEBAND_Y,
                Format("  %3.1f", preferred_.FuelPressure().value));
  }
}

double GaugeDisplay::BarValue(int row) const {
  std::lock_guard lock(mutex_);
  return row >= 0 && row < static_cast<int>(bars_.size()) ? bars_[static_cast<std::size_t>(row)].value : 0.0;
}

int GaugeDisplay::BarDrawnLevel(int row) const {
  std::lock_guard lock(mutex_);
  return row >= 0 && row < static_cast<int>(bars_.size()) ? bars_[static_cast<std::size_t>(row)].drawnLevel : -1;
}

int GaugeDisplay::BarScaleMax(int row) const {
  std::lock_guard lock(mutex_);
  return row >= 0 && row < static_cast<int>(bars_.size()) ? bars_[static_cast<std::size_t>(row)].scaleMax : 0;
}

bool GaugeDisplay::LampState(int lamp) const {
  std::lock_guard lock(mutex_);
  return lamp >= 0 && lamp < LAMP_COUNT && lamps_[static_cast<std::size_t>(lamp)].state;
}

std::string GaugeDisplay::Gear() const {
  std::lock_guard lock(mutex_);
  return gear_;
}

int GaugeDisplay::Speed() const {
  std::lock_guard lock(mutex_);
  return speed_;
}

}  // namespace zrm
