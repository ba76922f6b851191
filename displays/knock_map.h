// The spark-knock map: where in the engine's operating range knock occurs.
//
// The ECM's 16-bit knock counter advances by 63 per knock event. For every
// frame in which it has advanced while the engine runs, the new events and the
// current spark retard are added to the cell of the current RPM and load, on
// one of two sets of grids: standard (RPM x MAP up to 100 kPa) or boost (RPM x
// boost pressure, with a 2- or 3-bar sensor while boostRaw is not 0). Each set
// keeps average, peak and total retard (hundredths of a degree) and the knock
// count (hundredths of a count), every cell capped at 25500.
//
// Row 0 of a grid holds its column labels and column 0 its row labels, so a
// grid carries its own axes.
//
// The model takes every frame (KnockFrame, DisplayThread); the painter
// (PaintKnockMap) draws the title, the grid of the current view and the
// current cell's highlight, on a window paint and every (divisor + 1)-th frame
// while the display is shown.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/runtime_record.h"
#include "platform/canvas.h"
#include "shell/vistrel_config.h"

namespace zrm {

constexpr int KNOCK_STANDARD_ROWS = 22;
constexpr int KNOCK_STANDARD_COLUMNS = 13;
constexpr int KNOCK_BOOST_ROWS = 18;
constexpr int KNOCK_BOOST_COLUMNS = 12;
constexpr std::uint32_t KNOCK_CELL_CAP = 25500;
constexpr int KNOCK_COUNTS_PER_EVENT = 63;

enum KnockViewKind { KNOCK_AVERAGE = 0, KNOCK_PEAK = 1, KNOCK_TOTAL = 2, KNOCK_COUNTS = 3 };
enum KnockGridKind { KNOCK_STANDARD = 0, KNOCK_BOOST = 1 };

inline constexpr std::array<int, 12> KNOCK_MAP_COLUMNS = {20, 30, 40, 50, 60, 70, 75, 80, 85, 90, 95, 100};
inline constexpr std::array<int, 21> KNOCK_STANDARD_RPM = {400,  600,  800,  1000, 1200, 1400, 1600,
                                                           1800, 2000, 2200, 2400, 2800, 3200, 3600,
                                                           4000, 4400, 4800, 5200, 5600, 6000, 6375};
inline constexpr std::array<int, 11> KNOCK_BOOST_COLUMNS_KPA = {100, 110, 120, 130, 140, 150,
                                                                160, 170, 180, 190, 200};
inline constexpr std::array<int, 17> KNOCK_BOOST_RPM = {0,    400,  800,  1200, 1600, 2000, 2400, 2800, 3200,
                                                        3600, 4000, 4400, 4800, 5200, 5600, 6000, 6375};

using StandardGrid = std::array<std::array<std::uint32_t, KNOCK_STANDARD_COLUMNS>, KNOCK_STANDARD_ROWS>;
using BoostGrid = std::array<std::array<std::uint32_t, KNOCK_BOOST_COLUMNS>, KNOCK_BOOST_ROWS>;

struct KnockCell {
  int row = 1;
  int column = 1;
};

// Pure functions of the cell choice and the counter arithmetic.
int KnockMapKpa(std::uint8_t mapGauge);  // whole kPa, capped at 100
struct KnockBoost {
  int boost;     // kPa above 100, 0 when below 1
  int shownMap;  // the MAP shown: absolute while in boost, else `map`
};
KnockBoost KnockBoostFor(int mapSensorBars, std::uint8_t mapRaw, int map);
KnockCell StandardKnockCell(int rpm, int map);
KnockCell BoostKnockCell(int rpm, int boost, int mapSensorBars);
// Counter advance from `previous` to `current` as the ECM's counter wraps.
std::uint16_t KnockCounterAdvance(std::uint16_t previous, std::uint16_t current);
// Spark retard in hundredths of a degree.
std::uint32_t KnockRetardHundredths(std::uint8_t sparkRetard);

// The grids and counters of the knock map.
struct KnockState {
  std::array<StandardGrid, 4> standard{};  // by KnockViewKind
  std::array<BoostGrid, 4> boost{};
  std::uint16_t previousCounter = 0;
  std::uint16_t eventsTotal = 0;
  int map = 0;
  int shownMap = 0;
  int boostKpa = 0;
  int rpm = 0;
  int mapSensorBars = 1;
  KnockCell standardCell;
  KnockCell boostCell;
  int inBoost = 0;
  int view = KNOCK_AVERAGE;
  int gridShown = KNOCK_STANDARD;
  int refreshCounter = 0;
};

// Empty grids with their axes.
void InitKnockState(KnockState& state);
// KnockFrame's accumulation (steps up to the refresh).
void KnockAccumulate(KnockState& state, const std::uint8_t* frame, const RuntimeRecord& record);
// Every cell of the eight grids and the events total to 0; axes and the
// previous counter stay.
void ClearKnockCells(KnockState& state);

// One text of the map as PaintKnockMap draws it. A grid line is its label
// (`head` characters) followed by 4-character cells; the painter places each
// cell on the map's 8-pixel character pitch, so the cells line up with the
// highlight boxes (32 pixels apart) whatever the list font's width.
struct KnockText {
  int x, y;
  std::string text;
  int head = 0;  // 0: one text as it is
};
constexpr int KNOCK_CHARACTER_PITCH = 8;
constexpr int KNOCK_CELL_CHARACTERS = 4;
// The view title, the header and every grid row of the shown view and grid.
std::vector<KnockText> KnockMapTexts(const KnockState& state);
// The highlighted cell's box: left, top (29 x 15), the text redrawn in it.
struct KnockHighlight {
  int left, top;
  bool green;
  std::string text;
};
KnockHighlight KnockHighlightFor(const KnockState& state);

constexpr Colour KNOCK_GREEN = RgbColour(20, 220, 10);
constexpr Colour KNOCK_YELLOW = RgbColour(255, 255, 0);
constexpr int KNOCK_BOX_WIDTH = 29;
constexpr int KNOCK_BOX_HEIGHT = 15;

class KnockMap {
 public:
  KnockMap(const VistrelSettings& settings, const RuntimeRecord& record, SurfaceAccess& surface);

  // The status panel's values, drawn before the map on every refresh.
  std::function<void(Canvas&)> paintStatusValues;

  // DisplayThread, every frame; active is 1 while the knock map is shown.
  int KnockFrame(const std::uint8_t* frame, int active);

  // Window paint of the display's body (after the status panel and the
  // title): the tab frame and the map. Also takes the update divisor.
  void PaintKnockDisplay(Canvas& canvas);
  void DrawKnockFrame(Canvas& canvas);
  void PaintKnockMap(Canvas& canvas);

  void ClearKnockMap();
  void SetView(int view);
  void SetGridShown(int grid);
  void ReloadSettings();

  // Knock events since start or "Clear Data", for the gauge display.
  int EventsTotal() const { return eventsTotal_.load(std::memory_order_relaxed); }
  KnockState State() const;

 private:
  const VistrelSettings& settingsSource_;
  const RuntimeRecord& record_;
  SurfaceAccess& surface_;
  mutable std::mutex mutex_;
  KnockState state_;
  int updateDivisor_ = 3;
  std::atomic<int> eventsTotal_{0};
};

}  // namespace zrm
