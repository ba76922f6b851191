// The trip computer: distance, fuel used and fuel economy from the ECM's two
// rolling 8-bit counters.
//
// The speed-sensor pulse counter (frame byte 166) and the injector pulse-width
// accumulator (byte 241) both wrap at 256; the increments between frames are
// summed into two double totals ([TOTALVSS], [TOTALPW]) while the engine runs,
// the pulse width scaled by the smallest base pulse constant (BPC) seen so
// that a richer calibration cell does not count as more fuel. A history of the
// last 68 frames gives the instantaneous economy.
//
// After each reset or engine stop the first 5 frames are ignored (the counters
// are still settling), frames 6 to 74 only fill the history, and accumulation
// starts with frame 75.
//
// The model takes every frame (TripFrame, DisplayThread); the painters draw
// the static layer on a window paint (PaintTrip) and, every (divisor + 1)-th
// frame while the display is shown, only the digits that changed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

#include "displays/preferred_channels.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "link/runtime_record.h"
#include "platform/canvas.h"
#include "shell/vistrel_config.h"

namespace zrm {

constexpr int TRIP_HISTORY_SIZE = 68;
constexpr int TRIP_FIRST_FRAME = 6;         // frames before this one are ignored
constexpr int TRIP_HISTORY_FRAMES = 74;     // accumulation starts after this many
constexpr int TRIP_NO_BPC = 255;            // minimum BPC after a reset
constexpr double TRIP_PW_FACTOR = 0.00390630961;
constexpr double TRIP_FLOW_DIVISOR = 14400.0;
constexpr double TRIP_KM_PER_MILE = 1.609344;
constexpr double TRIP_LITRES_PER_GALLON = 3.785;
constexpr double TRIP_ECONOMY_LIMIT = 99.9;

struct TripHistoryEntry {
  std::uint32_t vss = 0;  // speed pulse counter
  std::uint32_t pw = 0;   // pulse-width accumulator
  std::uint32_t rpm = 0;
  std::uint32_t bpc = 0;  // rounded base pulse constant
};

// The MAP bar of the trip display, one per MAP sensor range (1-, 2-, 3-bar).
struct TripMapBar {
  int offset;         // frame byte
  Conversion convert;
  int min, max, step;
  int x, y, height;
};

inline constexpr std::array<TripMapBar, 3> TRIP_MAP_BARS = {{
    {field::mapGauge, ToMapGaugeKpa, 20, 100, 20, 400, 300, 171},
    {field::mapRaw, ToMap2BarKpa, 20, 200, 20, 400, 95, 376},
    {field::mapRaw, ToMap3BarKpa, 20, 300, 40, 400, 95, 376},
}};

// The bar of a MAP sensor range; an unknown range is taken as 1-bar.
const TripMapBar& TripMapBarFor(int mapSensorBars);

// The row (below the bar's top) of the bar's top edge for a value clamped to
// the scale: height - 1 at the minimum, -1 at the maximum. The bar fills the
// rows below it down to row `height`.
int TripMapBarTop(const TripMapBar& bar, double value);

// Increment of an 8-bit rolling counter from `older` to `newer` (0 to 255).
std::uint32_t CounterIncrement(std::uint32_t newer, std::uint32_t older);

// The RPM above which the ECM's pulse-width count falls short, by cylinder
// count; 0 for a count without one.
int HighRpmThreshold(int cylinders);

// (rpm / T - 1) x dp when the current RPM exceeds the threshold T, else 0.
double HighRpmCorrection(double dp, double rpm, int currentRpm, int cylinders);

// dp scaled by minimum BPC / BPC. A BPC of 0 (no calibration streamed) leaves
// dp as it is rather than dividing by zero.
double ScaledPulseWidth(double dp, int minBpc, int bpc);

// Values the display shows (unsigned, as drawn before the digit split).
struct TripValues {
  std::uint32_t instant = 0;   // whole MPG or km/L
  std::uint32_t average = 0;   // tenths
  std::uint32_t distance = 0;  // tenths of a mile or km
  std::uint32_t fuel = 0;      // hundredths of a gallon or litre
  std::uint32_t rpm = 0;
  std::uint32_t afr = 0;       // wideband AFR in tenths
  bool pe = false;
  bool lean = false;
  double mapKpa = 0.0;
};

struct TripTotals {
  double vss = 0.0;        // [TOTALVSS]
  double pw = 0.0;         // [TOTALPW]
  int vssPpm = 0;          // [BFRVSSPPM]
  int flowConstant = 0;    // [BFRFLWCNST]
};

// The trip computer's whole state.
struct TripState {
  std::array<TripHistoryEntry, TRIP_HISTORY_SIZE> history{};  // oldest first
  TripTotals totals;
  int minBpc = TRIP_NO_BPC;
  int bpc = 0;        // of the newest frame
  int rpm = 0;        // the dispatcher's current RPM
  int cylinders = 0;
  std::uint8_t statusByte3 = 0;
  std::uint8_t statusByte13 = 0;
  int mapBars = 1;
  std::uint8_t mapByte = 0;
  int callCounter = 0;
  int historyReady = 0;
  int refreshCounter = 0;
  TripValues values;
};

// TripFrame's accumulation (without the drawing): returns true when the frame
// got past the history filling, so the display may refresh.
bool TripAccumulate(TripState& state, const std::uint8_t* frame, const RuntimeRecord& record);

// The display values from the totals and the history. `metric` is
// [KPHORMPH]. A pulses-per-mile or flow constant of 0 (after a reset, before
// the next frame sets them) shows 0 for the economies and the distance instead
// of a division by zero.
void ComputeTrip(TripState& state, int metric);

// The texts zrmtool prints for what the display shows.
struct TripReadout {
  std::uint32_t instant;
  std::uint32_t averageWhole, averageTenths;
  bool distanceWhole;  // above 9999 tenths: whole units, the point blanked
  std::uint32_t distanceUnits, distanceTenths;
  std::uint32_t fuelWhole, fuelHundredths;
};
TripReadout ReadTripDigits(const TripValues& values);

class TripComputer {
 public:
  // The totals and the two calibration values start from the settings (the
  // configuration's [TOTALVSS], [TOTALPW], [BFRVSSPPM], [BFRFLWCNST]).
  TripComputer(const VistrelSettings& settings, const RuntimeRecord& record, SurfaceAccess& surface,
               const PreferredChannels* preferred = nullptr);

  // The status panel's values, drawn before the trip values on every refresh.
  std::function<void(Canvas&)> paintStatusValues;

  // DisplayThread, every frame; active is 1 while the trip display is shown.
  int TripFrame(const std::uint8_t* frame, int active);

  // "Clear Data" (window thread).
  void ResetTrip();
  // The engine stopped, or playback started or stopped: the history starts
  // again, the totals stay.
  void TripEngineStopped();

  // Window paint of the display's body (after the status panel and the title);
  // also takes the settings the DisplayThread uses from then on.
  void PaintTrip(Canvas& canvas);
  void ReloadSettings();

  // Runs ComputeTrip and returns what the display would show.
  TripValues ComputeValues();
  TripTotals Totals() const;
  // Copies the totals into the settings, for the configuration file.
  void StoreTotals(VistrelSettings& settings) const;
  TripState State() const;

 private:
  struct DigitSlot {
    int x;
    int cached = -1;  // glyph drawn last; -1: none since the last full paint
  };
  enum Glyph { GLYPH_BLANK = 10, GLYPH_POINT = 11, GLYPH_POINT_BLANK = 12 };

  void ReadSettingsLocked();
  void DrawTripStatic(Canvas& canvas);
  void DrawValuesLocked(Canvas& canvas, bool force);
  void DrawInstant(Canvas& canvas, bool force);
  void DrawAverage(Canvas& canvas, bool force);
  void DrawRpm(Canvas& canvas, bool force);
  void DrawDistance(Canvas& canvas, bool force);
  void DrawFuel(Canvas& canvas, bool force);
  void DrawAfr(Canvas& canvas, bool force);
  bool DrawMapBar(Canvas& canvas);
  void DrawPeLean(Canvas& canvas);
  void DrawLarge(Canvas& canvas, DigitSlot& slot, int y, int glyph, bool force);
  void DrawSmall(Canvas& canvas, DigitSlot& slot, int y, int glyph, bool force);

  const VistrelSettings& settingsSource_;
  const RuntimeRecord& record_;
  SurfaceAccess& surface_;
  const PreferredChannels& preferred_;

  mutable std::mutex mutex_;
  TripState state_;
  int metric_ = 0;
  int updateDivisor_ = 3;
  bool showWideband_ = false;

  std::array<DigitSlot, 2> instantSlots_{{{187}, {267}}};
  std::array<DigitSlot, 4> averageSlots_{{{460}, {540}, {600}, {640}}};
  std::array<DigitSlot, 4> rpmSlots_{{{26}, {106}, {186}, {266}}};
  std::array<DigitSlot, 5> distanceSlots_{{{440}, {520}, {600}, {660}, {700}}};
  std::array<DigitSlot, 4> afrSlots_{{{116}, {156}, {196}, {212}}};
  std::array<DigitSlot, 6> fuelSlots_{{{480}, {520}, {560}, {600}, {616}, {656}}};
  int boxState_ = 0;         // 0 none, 1 lean cruise, 2 PE
  int mapBarsDrawn_ = 0;     // MAP sensor range of the last static paint
  std::array<int, 3> barTop_{};  // previous top per range
};

}  // namespace zrm
