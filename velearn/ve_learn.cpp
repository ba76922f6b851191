#include "velearn/ve_learn.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "link/conversions.h"
#include "link/runtime_frame.h"

namespace zrm {

struct VeLearn::Grid {
  std::array<std::array<std::uint32_t, LEARN_GRID_COLUMNS>, LEARN_GRID_ROWS> value{};
  std::array<std::array<std::uint32_t, LEARN_GRID_COLUMNS>, LEARN_GRID_ROWS> count{};
};

int VeLearnMap(std::uint8_t mapGauge) {
  const int map = static_cast<int>(mapGauge * 0.3125 + 20 + 0.5);
  return map > 100 ? 100 : map;
}

int VeLearnTps(std::uint8_t tpsRaw) { return static_cast<int>(tpsRaw * 0.390625 + 0.5); }

GridPosition LearnGridPosition(const std::uint8_t* frame, bool extended) {
  GridPosition p{};
  p.column = VeLearnMap(FrameByte(frame, field::mapGauge)) - 20;
  if (p.column < 0) p.column = 0;
  const int rpmFine = FrameByte(frame, field::rpmFine);
  p.row = rpmFine - 16;
  if (p.row < 0) p.row = 0;
  if (extended && rpmFine >= 240) p.row = FrameByte(frame, field::rpmHigh) + 32;
  return p;
}

TableCell HighlightCellFor(int gridRow, int gridColumn) {
  TableCell cell{};
  // The nearest MAP column; halfway rounds up.
  if (gridColumn < 52)
    cell.column = static_cast<int>((gridColumn + 2.5) / 5) + 1;
  else
    cell.column = (gridColumn + 5 - 50) / 10 + 11;
  // The nearest RPM row, by the table's three row spacings.
  if (gridRow < 68)
    cell.row = (gridRow + 2) / 4 + 1;
  else if (gridRow < 136)
    cell.row = (gridRow + 4 - 72) / 8 + 18;
  else
    cell.row = (gridRow + 8 - 144) / 16 + 26;
  return cell;
}

std::uint32_t CorrectionFromAverage(std::uint32_t average, int input) {
  const double gain = input == LEARN_INPUT_WB ? GAIN_WB : GAIN_BLM;
  // Signed: an average below 128 pulls the factor below 1.0.
  const double c = std::trunc((static_cast<double>(average) - 128.0) * gain + 128.0);
  if (c < CORRECTION_MIN) return CORRECTION_MIN;
  if (c > CORRECTION_MAX) return CORRECTION_MAX;
  return static_cast<std::uint32_t>(c);
}

const char* VeViewTitle(int view) {
  switch (view) {
    case VE_VIEW_LEARNED: return "New Learned BIN Values in Percent ";
    case VE_VIEW_CORRECTIONS: return "    Corrections in Percent        ";
    default: return " Original BIN Values in Percent   ";
  }
}

std::string VeHeaderLine(const VeTable& axes) {
  std::string line = "RPM/MAP";
  char cell[16];
  for (int col = 1; col <= VE_MAP_COLUMNS; ++col) {
    std::snprintf(cell, sizeof cell, "%3d ", static_cast<int>(axes[0][col]));
    line += cell;
  }
  return line;
}

std::string VeCellText(const VeLearnSnapshot& s, int view, int row, int column) {
  char cell[24];
  if (view == VE_VIEW_CORRECTIONS) {
    const std::uint32_t c = s.correction[row][column];
    if (c == 0) return "  . ";
    std::snprintf(cell, sizeof cell, "%3d ", static_cast<int>((c / 128.0 - 1) * 100));
  } else {
    const VeTable& table = view == VE_VIEW_LEARNED ? s.learned : s.base;
    std::snprintf(cell, sizeof cell, "%3d ", static_cast<int>(table[row][column] * 0.390625 + 0.5));
  }
  return cell;
}

std::string VeRowLine(const VeLearnSnapshot& s, int view, int row) {
  char head[24];
  std::snprintf(head, sizeof head, "%4d   ", static_cast<int>(s.base[row][0]));
  std::string line = head;
  for (int col = 1; col <= VE_MAP_COLUMNS; ++col) line += VeCellText(s, view, row, col);
  return line;
}

VeLearn::VeLearn(VistrelSettings& settings, const RuntimeRecord& record, PlatformServices* services,
                 const PreferredChannels* preferred)
    : settings_(settings),
      record_(record),
      services_(services),
      preferred_(preferred),
      grid_(std::make_unique<Grid>()),
      smoother_(std::make_unique<SmootherState>()) {
  SetVeTableAxes(base_, false);
  SetVeTableAxes(learned_.table, false);
  SetVeTableAxes(correction_, false);
  ReloadSettings();
}

VeLearn::~VeLearn() = default;

void VeLearn::ReloadSettings() {
  tempLow_.store(settings_.learnTempLow, std::memory_order_relaxed);
  tempHigh_.store(settings_.learnTempHigh, std::memory_order_relaxed);
  learnInput_.store(settings_.learnInput, std::memory_order_relaxed);
  updateDivisor_.store(settings_.updateDivisor, std::memory_order_relaxed);
  smoothFactor_.store(settings_.smoothFactor, std::memory_order_relaxed);
  autoSaveMinutes_.store(settings_.autoVeMinutes, std::memory_order_relaxed);
  autoSaveOn_.store(settings_.autoVeSave, std::memory_order_relaxed);
}

int VeLearn::VeLearnFrame(const std::uint8_t* frame, int active) {
  bool paint = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    VeLearnFrameLocked(frame);
    ++refreshCounter_;
    if (refreshCounter_ > updateDivisor_.load(std::memory_order_relaxed) && active == 1) {
      refreshCounter_ = 0;
      // The paint recomputes the corrections; without a window they are
      // recomputed here, so the table is the same either way.
      ComputeLocked();
      paint = true;
    } else if (++computeCounter_ >= COMPUTE_EVERY_FRAMES) {
      computeCounter_ = 0;
      ComputeLocked();
    }
  }
  if (paint && drawDisplay) drawDisplay();
  return 0;
}

int VeLearn::VeLearnFrameLocked(const std::uint8_t* frame) {
  ++tally_.frames;
  const bool extended = learned_.extended;
  const int map = VeLearnMap(FrameByte(frame, field::mapGauge));
  const int tps = VeLearnTps(FrameByte(frame, field::tpsRaw));
  position_ = LearnGridPosition(frame, extended);
  map_ = map;
  sampleStored_ = false;

  if (!Learning()) {
    Refuse(REFUSED_NOT_LEARNING);
    return 0;
  }
  if (record_.engineRunning.load(std::memory_order_relaxed) == 0) {
    Refuse(REFUSED_ENGINE_OFF);
    return 0;
  }

  auto updatePrevious = [this, map, tps] {
    previousMap_ = map;
    previousTps_ = tps;
  };
  auto refuse = [this, &updatePrevious](VeLearnRefusal reason) {
    updatePrevious();
    Refuse(reason);
    return 0;
  };

  const double coolant = ToTemperature(FrameByte(frame, field::ctsRaw));
  if (coolant < tempLow_.load(std::memory_order_relaxed) || coolant > tempHigh_.load(std::memory_order_relaxed))
    return refuse(REFUSED_COOLANT);
  if (FrameBit(frame, field::statusByte13, 6) || FrameBit(frame, field::statusByte13, 4)) {
    holdOff_ = TRANSIENT_HOLD_OFF_FRAMES;
    return refuse(REFUSED_TRANSIENT);
  }
  if (holdOff_ > 0) {
    --holdOff_;
    return refuse(REFUSED_TRANSIENT);
  }
  if (std::abs(map - previousMap_) > MAX_MAP_STEP || std::abs(tps - previousTps_) > MAX_TPS_STEP)
    return refuse(REFUSED_STEP);
  if (FrameByte(frame, field::rpmFine) * 25 < 400) return refuse(REFUSED_LOW_RPM);
  const int bars = record_.mapSensorBars.load(std::memory_order_relaxed);
  if ((bars == 2 || bars == 3) && FrameByte(frame, field::boostRaw) > 0) {
    Refuse(REFUSED_BOOST);  // the previous MAP and TPS stay
    return 0;
  }

  const std::uint32_t blm = FrameByte(frame, field::blm);
  std::uint32_t sample = 0;
  if (learnInput_.load(std::memory_order_relaxed) == LEARN_INPUT_BLM) {
    if (!FrameBit(frame, field::statusByte14, 1)) return refuse(REFUSED_LOOP);
    const std::uint32_t integrator = FrameByte(frame, field::integrator);
    if ((blm > 128 && integrator < 124) || (blm < 128 && integrator > 132)) {
      Refuse(REFUSED_INTEGRATOR);  // the previous MAP and TPS stay
      return 0;
    }
    sample = blm;
  } else {
    if (FrameBit(frame, field::statusByte14, 7)) return refuse(REFUSED_LOOP);
    if (blm != 128) {
      blmWarning_ = true;
      return refuse(REFUSED_BLM_NOT_128);
    }
    const int commanded = FrameByte(frame, field::commandedAfr);
    if (commanded == 0) {
      sampleStored_ = true;  // shown as stored, though nothing is
      return refuse(REFUSED_NO_COMMANDED_AFR);
    }
    const PreferredChannels* preferred = preferred_.load(std::memory_order_acquire);
    const double afr = preferred ? preferred->Wideband().value : 0.0;
    const double ratio = std::trunc(afr / (commanded / 10.0) * 128 + 0.5);
    // A reading below zero (a device misread) teaches nothing rather than wrapping.
    sample = ratio > 0 ? static_cast<std::uint32_t>(ratio) : 0;
  }

  std::uint32_t& value = grid_->value[position_.row][position_.column];
  value = value == 0 ? sample : (value + sample) >> 1;
  ++grid_->count[position_.row][position_.column];
  sampleStored_ = true;
  ++tally_.samples;
  updatePrevious();
  return 0;
}

std::uint32_t VeLearn::CellCorrection(std::uint32_t rpm, std::uint32_t map) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CellCorrectionLocked(rpm, map);
}

std::uint32_t VeLearn::CellCorrectionLocked(std::uint32_t rpm, std::uint32_t map) const {
  int r0 = static_cast<int>((rpm - 400) / 25);
  if (learned_.extended && rpm >= 6000) r0 = static_cast<int>((rpm - 6000) / 31.25) + LEARN_GRID_EXTENDED_ROW;
  const int c0 = static_cast<int>(map) - 20;

  // Window by RPM: half-height and the weight table's rows.
  int halfRows;
  int firstWeightRow;
  const WeightRow* weights;
  if (rpm < 2000) {
    halfRows = 2;
    firstWeightRow = 2;
    weights = WEIGHT_TABLE_A.data();
  } else if (rpm < 3600) {
    halfRows = 4;
    firstWeightRow = 0;
    weights = WEIGHT_TABLE_A.data();
  } else {
    halfRows = 8;
    firstWeightRow = 0;
    weights = WEIGHT_TABLE_B.data();
  }
  const int halfColumns = map < 70 ? 2 : 4;
  const int firstWeightColumn = map < 70 ? 2 : 0;

  std::uint32_t w = 0, s = 0, n = 0;
  for (int dr = -halfRows; dr <= halfRows; ++dr) {
    const int row = r0 + dr;
    if (row < 0 || row >= LEARN_GRID_ROWS) continue;
    for (int dc = -halfColumns; dc <= halfColumns; ++dc) {
      const int col = c0 + dc;
      if (col < 0 || col >= LEARN_GRID_COLUMNS) continue;
      const std::uint32_t value = grid_->value[row][col];
      if (value == 0) continue;
      const std::uint32_t weight = weights[firstWeightRow + dr + halfRows][firstWeightColumn + dc + halfColumns];
      w += weight;
      s += weight * value;
      n += weight * grid_->count[row][col];
    }
  }
  if (n < MIN_WEIGHTED_COUNT || w == 0) return 0;
  return s / w;
}

int VeLearn::ComputeVeCorrections() {
  std::lock_guard<std::mutex> lock(mutex_);
  ComputeLocked();
  return 0;
}

void VeLearn::ComputeLocked() {
  overflow_[0].clear();
  const int rows = VeRowCount(learned_.extended);
  const int input = learnInput_.load(std::memory_order_relaxed);
  for (int row = 1; row <= rows; ++row) {
    for (int col = 1; col <= VE_MAP_COLUMNS; ++col) {
      const std::uint32_t a = CellCorrectionLocked(base_[row][0], base_[0][col]);
      if (a == 0) continue;  // the cell keeps what it had
      const std::uint32_t c = CorrectionFromAverage(a, input);
      correction_[row][col] = c;
      std::uint32_t ve = (c * base_[row][col]) >> 7;
      if (ve > 255) {
        char text[32];
        overflow_[0] = "Overflow on VE:";
        std::snprintf(text, sizeof text, "%d RPM   ", static_cast<int>(base_[row][0]));
        overflow_[1] = text;
        std::snprintf(text, sizeof text, "%d KPa   ", static_cast<int>(base_[0][col]));
        overflow_[2] = text;
        ve = 255;
      }
      learned_.table[row][col] = ve;
    }
  }
}

int VeLearn::ClearVeLearnData() {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked();
  return 0;
}

void VeLearn::ClearLocked() {
  for (int row = 1; row <= VE_ROWS_EXTENDED; ++row) {
    for (int col = 1; col <= VE_MAP_COLUMNS; ++col) {
      learned_.table[row][col] = base_[row][col];
      correction_[row][col] = 0;
    }
  }
  for (auto& row : grid_->value) row.fill(0);
  for (auto& row : grid_->count) row.fill(0);
  blmWarning_ = false;
}

VeLearnSnapshot VeLearn::Snapshot(bool computeFirst) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (computeFirst) ComputeLocked();
  VeLearnSnapshot s;
  s.base = base_;
  s.learned = learned_.table;
  s.correction = correction_;
  s.extended = learned_.extended;
  s.gridRow = position_.row;
  s.gridColumn = position_.column;
  s.sampleStored = sampleStored_;
  s.blmWarning = blmWarning_;
  s.overflow = overflow_;
  s.map = map_;
  return s;
}

VeLearnTally VeLearn::Tally() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tally_;
}

std::uint32_t VeLearn::LearnValue(int row, int column) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return grid_->value[row][column];
}

std::uint32_t VeLearn::LearnCount(int row, int column) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return grid_->count[row][column];
}

void VeLearn::SetLearnCell(int row, int column, std::uint32_t value, std::uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  grid_->value[row][column] = value;
  grid_->count[row][column] = count;
}

void VeLearn::SetBaseVe(int row, int column, std::uint32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  base_[row][column] = value;
}

void VeLearn::SetExtended(bool extended) {
  std::lock_guard<std::mutex> lock(mutex_);
  learned_.extended = extended;
  SetVeTableAxes(base_, extended);
  SetVeTableAxes(learned_.table, extended);
  SetVeTableAxes(correction_, extended);
}

}  // namespace zrm
