#include "displays/knock_map.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <utility>

#include "link/runtime_frame.h"

namespace zrm {

namespace {

constexpr const char* KNOCK_TITLES[4] = {
    "Average Spark Retard in Degrees",
    " Peak Spark Retard in Degrees  ",
    " Total Spark Retard in Degrees ",
    "     Total Knock in Counts     ",
};

constexpr int TITLE_X = 270, TITLE_Y = 50;
constexpr int HEADER_Y = 110;
constexpr int ROW_Y = 120, ROW_STEP = 13;
constexpr int STANDARD_HEADER_X = 172, STANDARD_ROW_X = 180, STANDARD_BOX_BASE = 193;
constexpr int BOOST_HEADER_X = 178, BOOST_ROW_X = 194, BOOST_BOX_BASE = 207;
constexpr int CELL_STEP = 32;

std::string CellText(std::uint32_t value) {
  char text[16];
  if (value == 0) {
    std::snprintf(text, sizeof text, "  %c ", '.');
  } else {
    std::snprintf(text, sizeof text, "%3u ", value / 100);
  }
  return text;
}

std::string Number(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void AddCapped(std::uint32_t& cell, std::uint32_t v) { cell = std::min(cell + v, KNOCK_CELL_CAP); }

// Stores one knock frame's events `d` (hundredths) and retard into the four
// grids of a set at `cell`.
template <typename Grid>
void StoreKnock(std::array<Grid, 4>& grids, const KnockCell& cell, std::uint32_t d, std::uint32_t retard) {
  const auto r = static_cast<std::size_t>(cell.row);
  const auto c = static_cast<std::size_t>(cell.column);
  AddCapped(grids[KNOCK_COUNTS][r][c], d);
  if (retard == 0) return;
  const std::uint32_t v = std::min(retard + 50, KNOCK_CELL_CAP);
  std::uint32_t& average = grids[KNOCK_AVERAGE][r][c];
  average = average == 0 ? v : (average + v) >> 1;
  std::uint32_t& peak = grids[KNOCK_PEAK][r][c];
  peak = std::max(peak, v);
  AddCapped(grids[KNOCK_TOTAL][r][c], v);
}

}  // namespace

int KnockMapKpa(std::uint8_t mapGauge) { return std::min(static_cast<int>(mapGauge * 0.3125 + 20 + 0.5), 100); }

KnockBoost KnockBoostFor(int mapSensorBars, std::uint8_t mapRaw, int map) {
  double m;
  double limit;
  if (mapSensorBars == 2) {
    m = mapRaw * 0.7705 + 8;
    limit = 100;
  } else if (mapSensorBars == 3) {
    m = mapRaw * 1.2335 + 1.1;
    limit = 200;
  } else {
    return {0, map};
  }
  int boost = static_cast<int>(std::min(m - 100 + 0.5, limit));
  if (boost < 1) boost = 0;
  return {boost, boost > 0 ? static_cast<int>(m + 0.5) : map};
}

static int KnockRpmStep(int rpm) { return std::clamp(rpm, 400, 6375) / 25; }

KnockCell StandardKnockCell(int rpm, int map) {
  const int q = KnockRpmStep(rpm);
  const int c = map - 20;
  KnockCell cell;
  // Below 72 kPa the columns are 10 kPa apart, above it 5 kPa.
  cell.column = map < 72 ? (c + 5) / 10 + 1 : static_cast<int>((c + 2.5 - 55.5) / 5 + 7);
  // Below 2600 RPM the rows are 200 RPM apart, above it 400 RPM.
  cell.row = q < 104 ? (q - 16 + 4) / 8 + 1 : (q - 16 + 8 - 96) / 16 + 12;
  return cell;
}

KnockCell BoostKnockCell(int rpm, int boost, int mapSensorBars) {
  KnockCell cell;
  cell.row = (KnockRpmStep(rpm) + 8) / 16 + 1;
  if (mapSensorBars == 2) {
    cell.column = (boost + 5) / 10 + 1;
  } else if (mapSensorBars == 3) {
    cell.column = (boost / 2 + 5) / 10 + 1;
  } else {
    cell.column = 1;
  }
  return cell;
}

std::uint16_t KnockCounterAdvance(std::uint16_t previous, std::uint16_t current) {
  // The ECM's counter wraps from 65535 to 0 without counting the step as one.
  if (current >= previous) return static_cast<std::uint16_t>(current - previous);
  return static_cast<std::uint16_t>(65535 - previous + current);
}

std::uint32_t KnockRetardHundredths(std::uint8_t sparkRetard) {
  return static_cast<std::uint32_t>(sparkRetard * 0.17578125 * 100);
}

void InitKnockState(KnockState& state) {
  for (StandardGrid& grid : state.standard) {
    grid = {};
    for (std::size_t c = 0; c < KNOCK_MAP_COLUMNS.size(); ++c) grid[0][c + 1] = KNOCK_MAP_COLUMNS[c];
    for (std::size_t r = 0; r < KNOCK_STANDARD_RPM.size(); ++r) grid[r + 1][0] = KNOCK_STANDARD_RPM[r];
  }
  for (BoostGrid& grid : state.boost) {
    grid = {};
    for (std::size_t c = 0; c < KNOCK_BOOST_COLUMNS_KPA.size(); ++c) grid[0][c + 1] = KNOCK_BOOST_COLUMNS_KPA[c];
    for (std::size_t r = 0; r < KNOCK_BOOST_RPM.size(); ++r) grid[r + 1][0] = KNOCK_BOOST_RPM[r];
  }
}

void KnockAccumulate(KnockState& s, const std::uint8_t* frame, const RuntimeRecord& record) {
  s.rpm = record.rpm.load(std::memory_order_relaxed);
  s.mapSensorBars = record.mapSensorBars.load(std::memory_order_relaxed);
  s.map = KnockMapKpa(FrameByte(frame, field::mapGauge));
  const KnockBoost boost = KnockBoostFor(s.mapSensorBars, FrameByte(frame, field::mapRaw), s.map);
  s.boostKpa = boost.boost;
  s.shownMap = boost.shownMap;

  const std::uint16_t counter = FrameWord(frame, field::knockCount);
  if (record.engineRunning.load(std::memory_order_relaxed) == 0) {
    // No events are counted across an engine stop.
    s.previousCounter = counter;
    return;
  }

  s.standardCell = StandardKnockCell(s.rpm, s.map);
  s.boostCell = BoostKnockCell(s.rpm, s.boostKpa, s.mapSensorBars);

  std::uint16_t d = KnockCounterAdvance(s.previousCounter, counter);
  s.previousCounter = counter;
  if (d != 0) {
    // Counts below one event are dropped, not carried over.
    d = static_cast<std::uint16_t>(d / KNOCK_COUNTS_PER_EVENT);
    s.eventsTotal = static_cast<std::uint16_t>(s.eventsTotal + d);
    d = static_cast<std::uint16_t>(d * 100);
  }

  const bool standard = s.mapSensorBars == 1 || FrameByte(frame, field::boostRaw) == 0;
  s.inBoost = standard ? 0 : 1;
  if (d == 0) return;
  const std::uint32_t retard = KnockRetardHundredths(FrameByte(frame, field::sparkRetard));
  if (standard) {
    StoreKnock(s.standard, s.standardCell, d, retard);
  } else {
    StoreKnock(s.boost, s.boostCell, d, retard);
  }
}

void ClearKnockCells(KnockState& state) {
  for (StandardGrid& grid : state.standard) {
    for (int r = 1; r < KNOCK_STANDARD_ROWS; ++r)
      for (int c = 1; c < KNOCK_STANDARD_COLUMNS; ++c) grid[r][c] = 0;
  }
  for (BoostGrid& grid : state.boost) {
    for (int r = 1; r < KNOCK_BOOST_ROWS; ++r)
      for (int c = 1; c < KNOCK_BOOST_COLUMNS; ++c) grid[r][c] = 0;
  }
  state.eventsTotal = 0;
}

std::vector<KnockText> KnockMapTexts(const KnockState& s) {
  std::vector<KnockText> texts;
  const int view = std::clamp(s.view, 0, 3);
  texts.push_back({TITLE_X, TITLE_Y, KNOCK_TITLES[view]});
  if (s.gridShown == KNOCK_STANDARD) {
    const StandardGrid& grid = s.standard[static_cast<std::size_t>(view)];
    std::string header = "RPM/MAP";
    for (int c = 1; c < KNOCK_STANDARD_COLUMNS; ++c) header += Number("%3d ", static_cast<int>(grid[0][c]));
    texts.push_back({STANDARD_HEADER_X, HEADER_Y, header, 7});
    for (int r = 1; r < KNOCK_STANDARD_ROWS; ++r) {
      std::string row = Number("%4d  ", static_cast<int>(grid[r][0]));
      for (int c = 1; c < KNOCK_STANDARD_COLUMNS; ++c) row += CellText(grid[r][c]);
      texts.push_back({STANDARD_ROW_X, ROW_Y + ROW_STEP * r, row, 6});
    }
  } else {
    const BoostGrid& grid = s.boost[static_cast<std::size_t>(view)];
    std::string header = "RPM/MAP ";
    for (int c = 1; c < KNOCK_BOOST_COLUMNS; ++c) {
      int label = static_cast<int>(grid[0][c]);
      if (s.mapSensorBars == 3) label = label * 2 - 100;  // a 3-bar sensor reads twice the boost
      header += Number("%3d ", label);
    }
    texts.push_back({BOOST_HEADER_X, HEADER_Y, header, 8});
    for (int r = 1; r < KNOCK_BOOST_ROWS; ++r) {
      std::string row = Number("%4d  ", static_cast<int>(grid[r][0]));
      for (int c = 1; c < KNOCK_BOOST_COLUMNS; ++c) row += CellText(grid[r][c]);
      texts.push_back({BOOST_ROW_X, ROW_Y + ROW_STEP * r, row, 6});
    }
  }
  return texts;
}

KnockHighlight KnockHighlightFor(const KnockState& s) {
  const auto view = static_cast<std::size_t>(std::clamp(s.view, 0, 3));
  KnockHighlight h{};
  h.green = s.inBoost == s.gridShown;
  if (s.gridShown == KNOCK_STANDARD) {
    const KnockCell& cell = s.standardCell;
    h.left = CELL_STEP * cell.column + STANDARD_BOX_BASE;
    h.top = ROW_STEP * cell.row + ROW_Y + 1;
    h.text = CellText(s.standard[view][static_cast<std::size_t>(cell.row)][static_cast<std::size_t>(cell.column)]);
  } else {
    const KnockCell& cell = s.boostCell;
    h.left = CELL_STEP * cell.column + BOOST_BOX_BASE;
    h.top = ROW_STEP * cell.row + ROW_Y + 1;
    h.text = CellText(s.boost[view][static_cast<std::size_t>(cell.row)][static_cast<std::size_t>(cell.column)]);
  }
  return h;
}

KnockMap::KnockMap(const VistrelSettings& settings, const RuntimeRecord& record, SurfaceAccess& surface)
    : settingsSource_(settings), record_(record), surface_(surface) {
  InitKnockState(state_);
  updateDivisor_ = settings.updateDivisor;
}

void KnockMap::ReloadSettings() {
  std::lock_guard lock(mutex_);
  updateDivisor_ = settingsSource_.updateDivisor;
}

int KnockMap::KnockFrame(const std::uint8_t* frame, int active) {
  bool draw = false;
  {
    std::lock_guard lock(mutex_);
    KnockAccumulate(state_, frame, record_);
    eventsTotal_.store(state_.eventsTotal, std::memory_order_relaxed);
    if (state_.refreshCounter < INT_MAX) ++state_.refreshCounter;
    if (state_.refreshCounter > updateDivisor_ && active == 1) {
      state_.refreshCounter = 0;
      draw = true;
    }
  }
  if (draw) {
    surface_.DrawValues([this](Canvas& canvas) {
      if (paintStatusValues) paintStatusValues(canvas);
      canvas.SetBackColour(COLOUR_BACKGROUND);
      PaintKnockMap(canvas);
    });
  }
  return 0;
}

void KnockMap::PaintKnockMap(Canvas& canvas) {
  std::lock_guard lock(mutex_);
  canvas.SetFont(FontId::List);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  for (const KnockText& t : KnockMapTexts(state_)) {
    if (t.head == 0) {
      canvas.Text(t.x, t.y, t.text);
      continue;
    }
    // The line's whole width is cleared as its opaque text would clear it,
    // then the pieces go right to left, each without its trailing blanks: a
    // font wider than the pitch then only covers the leading blanks of the
    // piece after it, and nothing of a highlight box is left behind.
    canvas.FillRect(t.x, t.y, t.x + static_cast<int>(t.text.size()) * KNOCK_CHARACTER_PITCH,
                    t.y + canvas.TextHeight(), COLOUR_BACKGROUND);
    std::vector<std::pair<std::size_t, std::size_t>> pieces{{0, static_cast<std::size_t>(t.head)}};
    for (std::size_t at = pieces[0].second; at < t.text.size(); at += KNOCK_CELL_CHARACTERS)
      pieces.push_back({at, KNOCK_CELL_CHARACTERS});
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
      std::string piece = t.text.substr(it->first, it->second);
      while (piece.size() > 1 && piece.back() == ' ') piece.pop_back();
      canvas.Text(t.x + static_cast<int>(it->first) * KNOCK_CHARACTER_PITCH, t.y, piece);
    }
  }
  canvas.Text(50, 410, Number("rpm: %4d  ", state_.rpm));
  canvas.Text(50, 429, Number("map: %4d  ", state_.shownMap));
  if (record_.engineRunning.load(std::memory_order_relaxed) == 1) {
    const KnockHighlight h = KnockHighlightFor(state_);
    canvas.FillRect(h.left, h.top, h.left + KNOCK_BOX_WIDTH, h.top + KNOCK_BOX_HEIGHT, h.green ? KNOCK_GREEN : KNOCK_YELLOW);
    canvas.SetTransparentText(true);
    canvas.Text(h.left + 3, h.top - 1, h.text);
    canvas.SetTransparentText(false);
  }
}

void KnockMap::DrawKnockFrame(Canvas& canvas) {
  std::lock_guard lock(mutex_);
  const bool standard = state_.gridShown == KNOCK_STANDARD;
  canvas.SetPen(COLOUR_TEXT, 1);
  // The top edge leaves a gap under the shown tab, so the tab opens onto the grid.
  const CanvasPoint frame[] = {{standard ? 259 : 349, 105}, {626, 105}, {628, 107}, {628, 422},
                               {626, 424}, {167, 424}, {165, 422}, {165, 103}};
  canvas.Polyline(frame, 8);
  if (!standard) canvas.Line(165, 105, 251, 105);
  const CanvasPoint standardTab[] = {{165, 105}, {165, 81}, {169, 77}, {251, 77}, {255, 81}, {255, 101}, {259, 105}};
  canvas.Polyline(standardTab, standard ? 7 : 6);
  const CanvasPoint boostTab[] = {{255, 101}, {255, 81}, {259, 77}, {341, 77}, {345, 81}, {345, 101}, {349, 105}};
  canvas.Polyline(boostTab, 7);
  if (!standard) canvas.Line(251, 105, 255, 101);
  canvas.SetFont(FontId::List);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  canvas.Text(175, 83, "Standard");
  canvas.Text(277, 83, "Boost");
}

void KnockMap::PaintKnockDisplay(Canvas& canvas) {
  ReloadSettings();
  DrawKnockFrame(canvas);
  PaintKnockMap(canvas);
}

void KnockMap::ClearKnockMap() {
  std::lock_guard lock(mutex_);
  ClearKnockCells(state_);
  eventsTotal_.store(0, std::memory_order_relaxed);
}

void KnockMap::SetView(int view) {
  std::lock_guard lock(mutex_);
  state_.view = std::clamp(view, 0, 3);
}

void KnockMap::SetGridShown(int grid) {
  std::lock_guard lock(mutex_);
  state_.gridShown = grid == KNOCK_BOOST ? KNOCK_BOOST : KNOCK_STANDARD;
}

KnockState KnockMap::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

}  // namespace zrm
