// The gauge display: speedometer and tachometer dials, 17 bar gauges, 23
// status lamps and the "SES" lamp, the gear and the INT, BLM and AFR texts.
//
// The model takes every frame (GaugeFrame, DisplayThread); the painters draw
// a static layer on a window paint (PaintGaugeStatic, window thread) and a
// value layer that changes only what moved since the last draw
// (PaintGaugeValues): a needle is erased and redrawn, a bar gains or loses
// the rows between its old and new level, a lamp is filled when it changes.
// The two layers share the drawn levels and states, so a static paint
// resets them (lamps to "never drawn", bars redrawn to their drawn level).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "displays/preferred_channels.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "link/runtime_record.h"
#include "platform/canvas.h"
#include "shell/vistrel_config.h"

namespace zrm {

// Sources of a bar gauge that are not a frame field.
constexpr int BAR_DUTY_CYCLE = -1;
constexpr int BAR_BOOST = -2;
constexpr int BAR_KNOCK = -3;  // the knock map's count

// Temperature filter of a bar: shown always, or only with one [TEMPERSCALE].
constexpr int SHOW_ALWAYS = -1;
constexpr int SHOW_CELSIUS = 1;
constexpr int SHOW_FAHRENHEIT = 0;

struct BarGaugeRow {
  const char* label;
  const char* unit;  // empty: no unit text
  int offset;        // frame offset, or BAR_DUTY_CYCLE, BAR_BOOST, BAR_KNOCK
  bool twoByte;      // a big-endian pair at offset
  Conversion convert;
  const char* format;  // Windows-1252
  bool decimal;        // printed as a double; else rounded to an integer
  int dx, dy;          // value text at (x + dx, y - dy)
  int scaleMin, scaleMax, scaleStep;
  int x;
  int temperatureFilter;
  int colourIndex;
  bool secondBar;  // shares the scale of the bar to its left, draws none
};

constexpr int BAR_TOP = 340;
constexpr int BAR_LEVEL_EMPTY = 171;  // the level of a bar never drawn
constexpr int BAR_SPAN = 171;         // pixel rows between the scale's ends

inline constexpr std::array<BarGaugeRow, 17> BAR_GAUGES = {{
    {"IGN", "", field::ignitionVolts, false, ToTenths, " %4.1f V ", true, -6, 41, 0, 20, 5, 40, SHOW_ALWAYS, 4, false},
    {" PMP", "", field::pumpVolts, false, ToTenths, " %4.1f V ", true, 0, 25, 0, 20, 5, 53, SHOW_ALWAYS, 4, true},
    {"CTS", "", field::ctsRaw, false, ToCelsius, " %2d \xB0" "C ", false, 4, 41, -20, 120, 20, 109, SHOW_CELSIUS, 0, false},
    {"  IAT", "", field::iatRaw, false, ToCelsius, " %2d \xB0" "C ", false, 6, 25, -20, 120, 20, 122, SHOW_CELSIUS, 0, true},
    {"CTS", "", field::ctsRaw, false, ToFahrenheit, " %3d \xB0" "F ", false, 4, 41, -5, 245, 25, 109, SHOW_FAHRENHEIT, 0,
     false},
    {"  IAT", "", field::iatRaw, false, ToFahrenheit, " %3d \xB0" "F ", false, 6, 25, -5, 245, 25, 122, SHOW_FAHRENHEIT,
     0, true},
    {"  SA", "Deg", field::sparkAdvance, false, ToAdvanceDeg, " %2d ", false, 2, 41, 0, 60, 10, 180, SHOW_ALWAYS, 2, false},
    {"KNK  ", "Cnt", BAR_KNOCK, false, nullptr, "  %4d  ", false, 0, 41, 0, 1024, 128, 241, SHOW_ALWAYS, 1, false},
    {"SaRt ", "Deg", field::sparkRetard, false, ToRetardDeg, " %3d ", false, 0, 41, 0, 20, 5, 292, SHOW_ALWAYS, 1, false},
    {"TPS", " %", field::tpsRaw, false, ToPercent256, " %3d ", false, 0, 41, 0, 100, 20, 348, SHOW_ALWAYS, 2, false},
    {"MAP", "KPa", field::mapGauge, false, ToMapGaugeKpa, " %3d ", false, 0, 41, 20, 100, 10, 404, SHOW_ALWAYS, 2, false},
    {" IAC", "Stps", field::iacSteps, false, Identity, " %3d ", false, 0, 41, 0, 200, 25, 460, SHOW_ALWAYS, 4, false},
    {"sPW", "mS", field::basePw, true, ToPulseMs, " %4.1f ", true, -2, 41, 0, 15, 5, 532, SHOW_ALWAYS, 5, false},
    {"aPW", "mS", field::actualPw, true, ToPulseMs, " %4.1f ", true, -2, 41, 0, 15, 5, 588, SHOW_ALWAYS, 5, false},
    {" DC", " %", BAR_DUTY_CYCLE, false, nullptr, " %3d ", false, 0, 41, 0, 100, 20, 644, SHOW_ALWAYS, 5, false},
    {"BST", "PSI", BAR_BOOST, false, nullptr, " %2d ", false, 0, 41, 0, 15, 5, 700, SHOW_ALWAYS, 1, false},
    {" O2", "mV", field::o2Raw, false, ToO2Millivolts, " %4d ", false, 0, 41, 0, 1000, 250, 768, SHOW_ALWAYS, 4, false},
}};

struct LampRow {
  const char* label;
  int offset;
  std::uint8_t mask;
  bool invert;  // on while the bit is clear
  int x, y;
  int onColourIndex;
};

constexpr int LAMP_WIDTH = 13;
constexpr int LAMP_HEIGHT = 9;
constexpr int SES_WIDTH = 25;
constexpr int SES_HEIGHT = 17;
constexpr Colour LAMP_OFF = 0x0A500A;
constexpr Colour SES_OFF = 0x0A0A50;

inline constexpr std::array<LampRow, 23> STATUS_LAMPS = {{
    {"Running", field::statusByte1, 0x80, false, 220, 40, 0},
    {"ClsdThrt", field::statusByte3, 0x08, false, 220, 58, 0},
    {"Idle", field::statusByte2, 0x80, false, 220, 76, 0},
    {"Valet", field::statusByte252, 0x80, false, 220, 94, 0},
    {"ClsdLp", field::statusByte14, 0x80, false, 296, 40, 0},
    {"BLM Ln", field::statusByte14, 0x02, false, 296, 58, 0},
    {"LeanCr", field::statusByte3, 0x04, false, 296, 76, 0},
    {"CCP", field::statusByte6, 0x01, false, 296, 94, 0},
    {"AE", field::statusByte13, 0x40, false, 372, 40, 0},
    {"DE", field::statusByte13, 0x10, false, 372, 58, 0},
    {"DFCO", field::statusByte8, 0x08, false, 372, 76, 0},
    {"EGR", field::statusByte180, 0x80, false, 372, 94, 0},
    {"PE", field::statusByte13, 0x80, false, 448, 40, 3},
    {"Async", field::statusByte14, 0x10, false, 448, 58, 0},
    {"Launch", field::statusByte6, 0x04, false, 448, 76, 0},
    {"S/F", field::firmwareByte, 0x80, false, 448, 94, 0},
    {"TCC", field::statusByte5, 0x80, false, 524, 40, 0},
    {"Shift", field::statusByte5, 0x10, false, 524, 58, 0},
    {"N2O", field::statusByte6, 0x08, false, 524, 76, 0},
    {"Fan", field::statusByte5, 0x01, false, 524, 94, 0},
    {"FuelCut", field::statusByte6, 0x80, true, 600, 40, 0},
    {"A/C Rq", field::statusByte15, 0x08, false, 600, 58, 4},
    {"A/C On", field::statusByte5, 0x08, false, 600, 76, 2},
}};

inline constexpr LampRow SES_LAMP = {"SES", field::statusByte11, 0x01, false, 394, 266, 1};

// Bar colours by index: 1 red, 2 blue, 3 yellow, 4 orange, 5 green, any
// other red-orange.
constexpr Colour BarColour(int index) {
  switch (index) {
    case 1: return 0x1414F5;
    case 2: return 0xE10A14;
    case 3: return 0x1EFFFF;
    case 4: return 0x0099FF;
    case 5: return 0x0ADC14;
    default: return 0x0A3FD2;
  }
}

// Lamp on colours by index: 0 green, 1 red, 2 blue, 3 yellow, 4 orange.
constexpr Colour LampOnColour(int index) {
  switch (index) {
    case 1: return 0x1414F5;
    case 2: return 0xE10A14;
    case 3: return 0x1EFFFF;
    case 4: return 0x0099FF;
    default: return 0x0ADC14;
  }
}

// Dials.
constexpr int SPEEDO_X = 280;
constexpr int TACHO_X = 520;
constexpr int DIAL_Y = 210;
constexpr int DIAL_RADIUS = 76;
constexpr double NEEDLE_LENGTH = 63.08;
constexpr double DIAL_START_ANGLE = 45.0;  // value 0, lower left
constexpr double DIAL_END_ANGLE = 315.0;   // full range, lower right
constexpr Colour DIAL_FACE = 0xEBEBEB;
constexpr Colour NEEDLE_COLOUR = 0x0A3FD2;

// The point at `angleDeg` on a dial (clockwise from straight down) and
// `radius` from its centre, truncated to pixels.
CanvasPoint DialPoint(int cx, int cy, double angleDeg, double radius);

// The angle of value v on a dial of full scale `range`: above the range the
// needle stays at the end of the scale. A range of 0 or less gives the start.
double ValueAngle(double v, double range);

// The major-tick division of a dial: `count` steps of `stepAngle` degrees
// from the start, labelled 0, labelStep, 2 labelStep, ..., each at the angle
// of its own value (the last may stand short of the scale's end). A range
// too small for one step gives count 0.
struct DialScale {
  int count;
  double stepAngle;
  int labelStep;
};
DialScale SpeedometerScale(int speedRange);
DialScale TachometerScale(int rpmRange);

// The level of a bar for a value (clamped to the scale): 170 at the minimum,
// -1 at the maximum. A bar at level L shows its colour on rows L + 1 to 171
// below its top.
int BarLevel(double value, int scaleMin, int scaleMax);

// The row (below the bar's top) where a scale value's tick sits.
int BarScaleRow(int value, int scaleMin, int scaleMax);

bool LampOn(const LampRow& lamp, const std::uint8_t* frame);

// Boost in psi by the MAP sensor's range; a 2-bar or 3-bar sensor also sets
// the BST scale (hasScale), a 1-bar sensor reads 0 and leaves it.
struct BoostReading {
  double psi;
  bool hasScale;
  int scaleMin, scaleMax, scaleStep;
};
BoostReading BoostForSensor(int mapSensorBars, std::uint8_t boostRaw);

// [TRANSTYPE] 0: the gear number (at most 9); 1: " P/N ", "   D   " or " OD ".
std::string GearText(const std::uint8_t* frame, int transType);

// The left edge of a dial's value text: 5 pixels per half of its length
// left of the base.
int DialValueLeft(int base, int length);

class GaugeDisplay {
 public:
  // knockCount gives the knock map's count (none reads 0); preferred names the
  // wideband and fuel-pressure devices (none: neither is shown).
  GaugeDisplay(const VistrelSettings& settings, const RuntimeRecord& record, SurfaceAccess& surface,
               std::function<int()> knockCount = {}, const PreferredChannels* preferred = nullptr);

  // The status panel's values, drawn before the gauge values on every draw.
  // Set before the DisplayThread starts.
  std::function<void(Canvas&)> paintStatusValues;

  // DisplayThread, every frame; active is 1 while the gauge display is shown.
  // Returns 0.
  int GaugeFrame(const std::uint8_t* frame, int active);

  // Window paint, in this order. The static paint also takes the settings
  // the DisplayThread uses from then on (ranges, units, update divisor).
  // `levels` false: the bars are drawn empty, for values not to be trusted
  // (an open port that brings no frames).
  void PaintGaugeStatic(Canvas& canvas, bool levels = true);
  void PaintGaugeValues(Canvas& canvas);

  // Reads the settings again without a paint.
  void ReloadSettings();

  // What the model holds; out-of-range indices read 0, -1 or false.
  double BarValue(int row) const;
  int BarDrawnLevel(int row) const;
  int BarScaleMax(int row) const;
  bool LampState(int lamp) const;  // SES is index STATUS_LAMPS.size()
  std::string Gear() const;
  int Speed() const;

 private:
  struct Settings {
    int speedRange, rpmRange, redline, speedInKph, temperatureScale, transType, updateDivisor;
  };
  struct Bar {
    double value = 0.0;
    int drawnLevel = BAR_LEVEL_EMPTY;
    int scaleMin, scaleMax, scaleStep;
  };
  struct Lamp {
    bool state = false;
    int drawn = -1;  // -1: never drawn since the last static paint
  };
  static constexpr int LAMP_COUNT = static_cast<int>(STATUS_LAMPS.size()) + 1;

  void ReadSettingsLocked();
  bool BarShown(const BarGaugeRow& row) const;
  void PaintDialFace(Canvas& canvas, int cx) const;
  void PaintSpeedometerScale(Canvas& canvas) const;
  void PaintTachometerScale(Canvas& canvas) const;
  void PaintBarStatic(Canvas& canvas, const BarGaugeRow& row, const Bar& bar, bool level) const;
  void PaintNeedle(Canvas& canvas, int cx, double angle, CanvasPoint* lastTip);
  void PaintLamp(Canvas& canvas, const LampRow& row, Lamp& lamp, int width, int height, Colour off);

  const VistrelSettings& settingsSource_;
  const RuntimeRecord& record_;
  SurfaceAccess& surface_;
  std::function<int()> knockCount_;
  const PreferredChannels& preferred_;

  // The model is shared by the DisplayThread and the window paint.
  mutable std::mutex mutex_;
  Settings settings_{};
  bool showWideband_ = false;
  bool showFuelPressure_ = false;
  int speed_ = 0;
  int rpm_ = 0;
  int integrator_ = 0;
  int blm_ = 0;
  int commandedAfr_ = 0;
  std::string gear_;
  std::array<Bar, BAR_GAUGES.size()> bars_{};
  std::array<Lamp, LAMP_COUNT> lamps_{};
  CanvasPoint speedTip_{};
  CanvasPoint rpmTip_{};
  int frameCount_ = 0;
  int boostScaleDrawn_ = -1;  // none until a 2-bar or 3-bar frame
};

}  // namespace zrm
