// VE learn's model: the sample filter in its order (which refusals remember
// the frame's MAP and TPS), the grid cell of a frame, averaging, the
// weighted windows of CellCorrection and its count threshold, gains and
// clamps, the corrected table and its overflow, the refresh and compute
// counters, the highlight cell and the destination name proposals.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "link/runtime_record.h"
#include "test_support.h"
#include "velearn/ve_learn.h"

namespace zrm {
namespace {

using Frame = std::array<std::uint8_t, FRAME_PAYLOAD_SIZE>;

// Byte values of the good frame, with the values VE learn sees (by hand):
// mapGauge 128: 128 x 0.3125 + 20.5 = 60.5 -> 60 kPa; mapGauge 176 -> 75.5 -> 75.
// tpsRaw 51: 51 x 0.390625 + 0.5 = 20.42 -> 20 %; tpsRaw 72 -> 28.6 -> 28 %.
// ctsRaw 173 in Celsius: 173 x 0.75 - 40 = 89.75; 160 -> 80.0; 200 -> 110.0.
// rpmFine 80: 80 x 25 = 2000 RPM, grid row 64.
constexpr std::uint8_t MAP_60 = 128;
constexpr std::uint8_t MAP_75 = 176;
constexpr std::uint8_t TPS_20 = 51;

Frame GoodFrame(int input) {
  Frame f{};
  f[field::mapGauge] = MAP_60;
  f[field::tpsRaw] = TPS_20;
  f[field::rpmFine] = 80;
  f[field::ctsRaw] = 173;
  f[field::blm] = input == LEARN_INPUT_BLM ? 130 : 128;
  f[field::integrator] = 128;
  f[field::commandedAfr] = 147;
  f[field::statusByte14] = input == LEARN_INPUT_BLM ? 0x82 : 0x00;  // closed loop + block learn for BLM
  return f;
}

class FixedWideband : public PreferredChannels {
 public:
  bool HasWideband() const override { return true; }
  PreferredReading Wideband() const override { return {"WB", 0, afr}; }
  bool HasFuelPressure() const override { return false; }
  PreferredReading FuelPressure() const override { return {}; }
  double afr = 14.7;
};

// A 16384-byte BIN with the magic and a VE byte pattern.
std::vector<std::uint8_t> MakeBin(int id, bool extended) {
  std::vector<std::uint8_t> bin(16384);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  bin[0] = static_cast<std::uint8_t>(id >> 8);
  bin[1] = static_cast<std::uint8_t>(id & 0xFF);
  bin[2] = 'Z';
  bin[3] = 'R';
  bin[4] = 'M';
  bin[5] = 'F';
  bin[8] = 'V';
  bin[9] = extended ? 2 : 1;
  bin[10] = extended ? 3 : 5;
  return bin;
}

struct Learner {
  explicit Learner(int input, bool extended = false) {
    SetTemperatureScale(1);
    settings.learnTempLow = 80;
    settings.learnTempHigh = 110;
    settings.learnInput = input;
    settings.updateDivisor = 3;
    settings.smoothFactor = 0;
    test::WriteFileBytes(dir.File("src.bin"), MakeBin(0x0102, extended));
    record.engineRunning.store(1);
    record.mapSensorBars.store(1);
    EXPECT_EQ(ve.BeginLearning(dir.File("src.bin"), dir.File("dst.bin"), 0x0102), 0);
  }
  // The refusal counted for one frame, or -1 when it was stored.
  int Feed(const Frame& f, int active = 0) {
    const VeLearnTally before = ve.Tally();
    ve.VeLearnFrame(f.data(), active);
    const VeLearnTally after = ve.Tally();
    if (after.samples != before.samples) return -1;
    for (int r = 0; r < REFUSAL_KINDS; ++r)
      if (after.refused[r] != before.refused[r]) return r;
    return -2;
  }
  test::TempDir dir;
  VistrelSettings settings;
  RuntimeRecord record;
  FixedWideband wideband;
  VeLearn ve{settings, record, nullptr, &wideband};
};

constexpr int STORED = -1;

// The cases whose refusal comes after the step test, with no step.
TEST(VeLearnFilter, StepsAfterTheStepTestAndTheirMemory) {
  struct Case {
    const char* name;
    int input;
    std::function<void(Frame&, RuntimeRecord&)> change;
    int reason;
    bool remembers;  // the frame's TPS becomes the previous TPS
  };
  const Case cases[] = {
      {"375 RPM", LEARN_INPUT_BLM, [](Frame& f, RuntimeRecord&) { f[field::rpmFine] = 15; }, REFUSED_LOW_RPM, true},
      {"400 RPM", LEARN_INPUT_BLM, [](Frame& f, RuntimeRecord&) { f[field::rpmFine] = 16; }, STORED, true},
      {"boost, 2-bar", LEARN_INPUT_BLM,
       [](Frame& f, RuntimeRecord& r) {
         f[field::boostRaw] = 1;
         r.mapSensorBars.store(2);
       },
       REFUSED_BOOST, false},
      {"boost, 3-bar", LEARN_INPUT_BLM,
       [](Frame& f, RuntimeRecord& r) {
         f[field::boostRaw] = 9;
         r.mapSensorBars.store(3);
       },
       REFUSED_BOOST, false},
      {"boost byte, 1-bar", LEARN_INPUT_BLM, [](Frame& f, RuntimeRecord&) { f[field::boostRaw] = 9; }, STORED, true},
      {"block learn off", LEARN_INPUT_BLM, [](Frame& f, RuntimeRecord&) { f[field::statusByte14] = 0x80; },
       REFUSED_LOOP, true},
      {"BLM 130, integrator 123", LEARN_INPUT_BLM, [](Frame& f, RuntimeRecord&) { f[field::integrator] = 123; },
       REFUSED_INTEGRATOR, false},
      {"BLM 130, integrator 124", LEARN_INPUT_BLM, [](Frame& f, RuntimeRecord&) { f[field::integrator] = 124; },
       STORED, true},
      {"BLM 120, integrator 133", LEARN_INPUT_BLM,
       [](Frame& f, RuntimeRecord&) {
         f[field::blm] = 120;
         f[field::integrator] = 133;
       },
       REFUSED_INTEGRATOR, false},
      {"BLM 120, integrator 132", LEARN_INPUT_BLM,
       [](Frame& f, RuntimeRecord&) {
         f[field::blm] = 120;
         f[field::integrator] = 132;
       },
       STORED, true},
      {"BLM 128, integrator 200", LEARN_INPUT_BLM,
       [](Frame& f, RuntimeRecord&) {
         f[field::blm] = 128;
         f[field::integrator] = 200;
       },
       STORED, true},
      {"WB, closed loop", LEARN_INPUT_WB, [](Frame& f, RuntimeRecord&) { f[field::statusByte14] = 0x80; },
       REFUSED_LOOP, true},
      {"WB, BLM 129", LEARN_INPUT_WB, [](Frame& f, RuntimeRecord&) { f[field::blm] = 129; }, REFUSED_BLM_NOT_128,
       true},
      {"WB, no commanded AFR", LEARN_INPUT_WB, [](Frame& f, RuntimeRecord&) { f[field::commandedAfr] = 0; },
       REFUSED_NO_COMMANDED_AFR, true},
      {"WB, block learn bit ignored", LEARN_INPUT_WB, [](Frame& f, RuntimeRecord&) { f[field::statusByte14] = 0x02; },
       STORED, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Learner l(c.input);
    Frame f = GoodFrame(c.input);
    EXPECT_EQ(l.Feed(f), REFUSED_STEP);  // previous MAP 0 at the start
    EXPECT_EQ(l.Feed(f), STORED);

    // The case frame moves TPS by 4 (within the step limit) and trips its test.
    Frame k = GoodFrame(c.input);
    k[field::tpsRaw] = 61;  // 61 x 0.390625 + 0.5 = 24.3 -> 24
    c.change(k, l.record);
    EXPECT_EQ(l.Feed(k), c.reason);

    // A TPS of 28 is a step of 8 from 20 but only 4 from 24.
    l.record.mapSensorBars.store(1);
    Frame next = GoodFrame(c.input);
    next[field::tpsRaw] = 72;
    EXPECT_EQ(l.Feed(next), c.remembers ? STORED : REFUSED_STEP);
  }
}

TEST(VeLearnFilter, RefusalsBeforeTheStepTest) {
  struct Case {
    const char* name;
    std::function<void(Frame&, RuntimeRecord&)> change;
    int reason;
    bool remembers;
  };
  const Case cases[] = {
      {"coolant 79.25", [](Frame& f, RuntimeRecord&) { f[field::ctsRaw] = 159; }, REFUSED_COOLANT, true},
      {"coolant 110.75", [](Frame& f, RuntimeRecord&) { f[field::ctsRaw] = 201; }, REFUSED_COOLANT, true},
      {"coolant 80.0", [](Frame& f, RuntimeRecord&) { f[field::ctsRaw] = 160; }, REFUSED_STEP, true},
      {"coolant 110.0", [](Frame& f, RuntimeRecord&) { f[field::ctsRaw] = 200; }, REFUSED_STEP, true},
      {"engine off", [](Frame&, RuntimeRecord& r) { r.engineRunning.store(0); }, REFUSED_ENGINE_OFF, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Learner l(LEARN_INPUT_BLM);
    Frame f = GoodFrame(LEARN_INPUT_BLM);
    l.Feed(f);
    EXPECT_EQ(l.Feed(f), STORED);
    Frame k = GoodFrame(LEARN_INPUT_BLM);
    k[field::mapGauge] = MAP_75;  // a step, tested only after these
    c.change(k, l.record);
    EXPECT_EQ(l.Feed(k), c.reason);
    l.record.engineRunning.store(1);
    Frame next = GoodFrame(LEARN_INPUT_BLM);
    next[field::mapGauge] = MAP_75;
    EXPECT_EQ(l.Feed(next), c.remembers ? STORED : REFUSED_STEP);
  }
}

TEST(VeLearnFilter, TransientHoldsOffThirtyFourFrames) {
  for (int bit : {4, 6}) {
    SCOPED_TRACE(bit);
    Learner l(LEARN_INPUT_BLM);
    Frame f = GoodFrame(LEARN_INPUT_BLM);
    l.Feed(f);
    Frame flagged = f;
    flagged[field::statusByte13] = static_cast<std::uint8_t>(1 << bit);
    EXPECT_EQ(l.Feed(flagged), REFUSED_TRANSIENT);
    for (int i = 0; i < 34; ++i) ASSERT_EQ(l.Feed(f), REFUSED_TRANSIENT) << "frame " << i;
    EXPECT_EQ(l.Feed(f), STORED);
  }
}

TEST(VeLearnFilter, NothingWhileLearningIsOff) {
  Learner l(LEARN_INPUT_BLM);
  l.ve.StopVeLearn();
  Frame f = GoodFrame(LEARN_INPUT_BLM);
  EXPECT_EQ(l.Feed(f), REFUSED_NOT_LEARNING);
  EXPECT_EQ(l.Feed(f), REFUSED_NOT_LEARNING);
  EXPECT_EQ(l.ve.LearnCount(64, 40), 0u);
}

TEST(VeLearnSamples, WidebandSampleIsMeasuredOverCommanded) {
  struct Case {
    double afr;
    int commanded;
    std::uint32_t sample;  // truncate(afr / (commanded / 10) x 128 + 0.5), by hand
  };
  const Case cases[] = {
      {14.7, 147, 128},  // 128.5 -> 128
      {16.0, 140, 146},  // 146.29 + 0.5 -> 146
      {12.0, 125, 123},  // 122.88 + 0.5 -> 123
      {13.0, 130, 128},
  };
  for (const Case& c : cases) {
    Learner l(LEARN_INPUT_WB);
    l.wideband.afr = c.afr;
    Frame f = GoodFrame(LEARN_INPUT_WB);
    f[field::commandedAfr] = static_cast<std::uint8_t>(c.commanded);
    l.Feed(f);
    EXPECT_EQ(l.Feed(f), STORED);
    EXPECT_EQ(l.ve.LearnValue(64, 40), c.sample) << c.afr << " / " << c.commanded;
  }
}

TEST(VeLearnSamples, BlmWarningSetByWidebandAndClearedByClear) {
  Learner l(LEARN_INPUT_WB);
  Frame f = GoodFrame(LEARN_INPUT_WB);
  f[field::blm] = 127;
  EXPECT_EQ(l.Feed(f), REFUSED_STEP);  // the start's step comes first
  EXPECT_FALSE(l.ve.Snapshot(false).blmWarning);
  EXPECT_EQ(l.Feed(f), REFUSED_BLM_NOT_128);
  EXPECT_TRUE(l.ve.Snapshot(false).blmWarning);
  l.ve.ClearVeLearnData();
  EXPECT_FALSE(l.ve.Snapshot(false).blmWarning);
}

TEST(VeLearnSamples, NoCommandedAfrShowsAsStoredButStoresNothing) {
  Learner l(LEARN_INPUT_WB);
  Frame f = GoodFrame(LEARN_INPUT_WB);
  f[field::commandedAfr] = 0;
  l.Feed(f);
  l.Feed(f);
  EXPECT_TRUE(l.ve.Snapshot(false).sampleStored);
  EXPECT_EQ(l.ve.LearnCount(64, 40), 0u);
  f[field::ctsRaw] = 0;
  l.Feed(f);
  EXPECT_FALSE(l.ve.Snapshot(false).sampleStored);
}

TEST(VeLearnSamples, CellKeepsTheRunningHalfAverage) {
  Learner l(LEARN_INPUT_BLM);
  Frame f = GoodFrame(LEARN_INPUT_BLM);
  f[field::blm] = 120;
  l.Feed(f);  // the start's step
  EXPECT_EQ(l.Feed(f), STORED);
  EXPECT_EQ(l.ve.LearnValue(64, 40), 120u);  // a first sample is taken as it is
  f[field::blm] = 130;
  l.Feed(f);
  EXPECT_EQ(l.ve.LearnValue(64, 40), 125u);  // (120 + 130) / 2
  f[field::blm] = 126;
  l.Feed(f);
  EXPECT_EQ(l.ve.LearnValue(64, 40), 125u);  // (125 + 126) >> 1
  EXPECT_EQ(l.ve.LearnCount(64, 40), 3u);
}

TEST(VeLearnGrid, CellOfAFrame) {
  struct Case {
    std::uint8_t mapGauge, rpmFine, rpmHigh;
    bool extended;
    int row, column;
  };
  const Case cases[] = {
      {255, 80, 0, false, 64, 80},    // 255 x 0.3125 + 20.5 = 100.19 -> 100 kPa
      {0, 80, 0, false, 64, 0},       // 20 kPa, never below
      {16, 80, 0, false, 64, 5},      // 25.5 -> 25 kPa
      {128, 255, 0, false, 239, 40},  // standard: rpmFine - 16
      {128, 10, 0, false, 0, 40},     // not below row 0
      {128, 240, 192, true, 224, 40}, // extended from 6000 RPM: rpmHigh + 32
      {128, 239, 200, true, 223, 40},
      {128, 255, 255, true, 287, 40},
  };
  for (const Case& c : cases) {
    Frame f{};
    f[field::mapGauge] = c.mapGauge;
    f[field::rpmFine] = c.rpmFine;
    f[field::rpmHigh] = c.rpmHigh;
    const GridPosition p = LearnGridPosition(f.data(), c.extended);
    EXPECT_EQ(p.row, c.row) << int(c.rpmFine);
    EXPECT_EQ(p.column, c.column) << int(c.mapGauge);
  }
}

struct Cell {
  int row, column;
  std::uint32_t value, count;
};

TEST(VeLearnCorrections, CellCorrectionWindowsAndThreshold) {
  struct Case {
    const char* name;
    bool extended;
    std::uint32_t rpm, map;
    std::vector<Cell> cells;
    std::uint32_t expected;
  };
  // Centre row r0 = (rpm - 400) / 25, column c0 = map - 20. Weights by hand
  // from the pyramid (Table A) and its stretched form (Table B).
  const std::vector<Case> cases = {
      {"peak weight 5 x count 3 = 15", false, 1000, 40, {{24, 20, 140, 3}}, 140},
      {"peak weight 5 x count 2 + 4 x 1 = 14", false, 1000, 40, {{24, 20, 140, 2}, {23, 20, 140, 1}}, 0},
      {"weighted mean (5 x 140 + 4 x 120) / 9 = 131", false, 1000, 40, {{24, 20, 140, 3}, {25, 20, 120, 3}}, 131},
      {"below 2000 RPM the window is r0 +- 2: edge row weight 3", false, 1000, 40, {{26, 20, 150, 5}}, 150},
      {"below 2000 RPM r0 + 3 is outside", false, 1000, 40, {{27, 20, 150, 100}}, 0},
      {"below 70 kPa c0 + 3 is outside", false, 1000, 65, {{24, 48, 150, 100}}, 0},
      {"from 70 kPa the window is c0 +- 4, edge weight 1", false, 1000, 80, {{24, 64, 150, 15}}, 150},
      {"from 70 kPa c0 + 5 is outside", false, 1000, 80, {{24, 65, 150, 100}}, 0},
      {"2000..3599 RPM: r0 +- 4, edge weight 1", false, 2400, 40, {{84, 20, 110, 15}}, 110},
      {"2000..3599 RPM: r0 + 5 is outside", false, 2400, 40, {{85, 20, 110, 100}}, 0},
      {"2000 RPM is in the middle window", false, 2000, 40, {{60, 20, 110, 15}}, 110},
      {"from 3600 RPM: r0 +- 8, edge weight 1", false, 4000, 40, {{152, 20, 118, 15}}, 118},
      {"from 3600 RPM: r0 + 4 has weight 3", false, 4000, 40, {{148, 20, 118, 5}}, 118},
      {"from 3600 RPM: r0 + 9 is outside", false, 4000, 40, {{153, 20, 118, 100}}, 0},
      {"standard 6375 RPM: r0 = 239", false, 6375, 40, {{239, 20, 135, 3}}, 135},
      {"extended 6500 RPM: r0 = 16 + 224 = 240", true, 6500, 40, {{240, 20, 135, 3}}, 135},
      {"extended 6000 RPM: r0 = 224", true, 6000, 40, {{224, 20, 135, 3}}, 135},
      {"clipped at the grid's corner", false, 400, 20, {{0, 0, 133, 3}}, 133},
      {"clipped at the grid's last column", false, 1000, 100, {{24, 80, 133, 3}}, 133},
      {"cells without a value count nothing", false, 1000, 40, {{24, 20, 0, 50}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Learner l(LEARN_INPUT_BLM, c.extended);
    for (const Cell& cell : c.cells) l.ve.SetLearnCell(cell.row, cell.column, cell.value, cell.count);
    EXPECT_EQ(l.ve.CellCorrection(c.rpm, c.map), c.expected);
  }
}

TEST(VeLearnCorrections, GainsAndClamps) {
  struct Case {
    std::uint32_t average;
    int input;
    std::uint32_t expected;  // truncate((a - 128) x gain + 128), clamped 112..144
  };
  const Case cases[] = {
      {140, LEARN_INPUT_BLM, 136},  // 12 x 0.66667 + 128 = 136.00004
      {140, LEARN_INPUT_WB, 140},
      {200, LEARN_INPUT_BLM, 144},  // 176.0 clamped
      {200, LEARN_INPUT_WB, 144},
      {50, LEARN_INPUT_WB, 112},
      {50, LEARN_INPUT_BLM, 112},  // 76.0 clamped
      {120, LEARN_INPUT_BLM, 122},  // 122.67 truncated
      {128, LEARN_INPUT_BLM, 128},
      {113, LEARN_INPUT_WB, 113},
      {111, LEARN_INPUT_WB, 112},
      {145, LEARN_INPUT_WB, 144},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CorrectionFromAverage(c.average, c.input), c.expected) << c.average << " input " << c.input;
}

TEST(VeLearnCorrections, LearnedTableAndOverflow) {
  Learner l(LEARN_INPUT_WB);
  // Row 7 is 1000 RPM (grid row 24), column 5 is 40 kPa (grid column 20).
  l.ve.SetBaseVe(7, 5, 250);
  l.ve.SetLearnCell(24, 20, 200, 3);  // clamped to 144: 250 x 144 / 128 = 281 -> 255
  // Row 3 is 600 RPM (grid row 8), column 2 is 25 kPa (grid column 5).
  l.ve.SetBaseVe(3, 2, 100);
  l.ve.SetLearnCell(8, 5, 136, 3);  // 100 x 136 >> 7 = 106
  l.ve.SetBaseVe(20, 9, 77);  // no samples near: keeps its value
  l.ve.ClearVeLearnData();
  l.ve.SetLearnCell(24, 20, 200, 3);
  l.ve.SetLearnCell(8, 5, 136, 3);
  l.ve.ComputeVeCorrections();
  VeLearnSnapshot s = l.ve.Snapshot(false);
  EXPECT_EQ(s.correction[7][5], 144u);
  EXPECT_EQ(s.learned[7][5], 255u);
  EXPECT_EQ(s.correction[3][2], 136u);
  EXPECT_EQ(s.learned[3][2], 106u);
  EXPECT_EQ(s.correction[20][9], 0u);
  EXPECT_EQ(s.learned[20][9], 77u);
  EXPECT_EQ(s.overflow[0], "Overflow on VE:");
  EXPECT_EQ(s.overflow[1], "1000 RPM   ");
  EXPECT_EQ(s.overflow[2], "40 KPa   ");

  // Without an overflow the first text is emptied again.
  l.ve.SetLearnCell(24, 20, 128, 3);
  l.ve.ComputeVeCorrections();
  s = l.ve.Snapshot(false);
  EXPECT_EQ(s.overflow[0], "");
  EXPECT_EQ(s.learned[7][5], 250u);

  // A cell whose samples are gone keeps its last correction.
  l.ve.SetLearnCell(8, 5, 0, 0);
  l.ve.ComputeVeCorrections();
  EXPECT_EQ(l.ve.Snapshot(false).learned[3][2], 106u);
}

TEST(VeLearnCounters, ComputeEverySeventeenthFrameWhenNotShown) {
  Learner l(LEARN_INPUT_WB);
  l.ve.StopVeLearn();  // frames only count
  l.ve.ClearVeLearnData();
  l.ve.SetLearnCell(24, 20, 140, 3);
  Frame f{};
  for (int i = 1; i <= 16; ++i) l.ve.VeLearnFrame(f.data(), 0);
  EXPECT_EQ(l.ve.Snapshot(false).correction[7][5], 0u);
  l.ve.VeLearnFrame(f.data(), 0);
  EXPECT_EQ(l.ve.Snapshot(false).correction[7][5], 140u);
}

TEST(VeLearnCounters, ShownDisplayDrawsEveryDivisorPlusOneFrames) {
  for (int divisor : {0, 1, 3}) {
    SCOPED_TRACE(divisor);
    Learner l(LEARN_INPUT_BLM);
    l.settings.updateDivisor = divisor;
    l.ve.ReloadSettings();
    int draws = 0;
    l.ve.drawDisplay = [&draws] { ++draws; };
    Frame f{};
    for (int i = 0; i < 12; ++i) l.ve.VeLearnFrame(f.data(), 1);
    EXPECT_EQ(draws, 12 / (divisor + 1));
    for (int i = 0; i < 12; ++i) l.ve.VeLearnFrame(f.data(), 0);
    EXPECT_EQ(draws, 12 / (divisor + 1));
  }
}

TEST(VeLearnDisplayModel, HighlightCell) {
  struct Case {
    int gridRow, gridColumn;
    int row, column;
  };
  const Case cases[] = {
      {64, 52, 17, 11},  // MAP 72 -> the 70 kPa column
      {64, 55, 17, 12},  // MAP 75 -> 80 kPa (halfway rounds up)
      {64, 2, 17, 1},    // MAP 22 -> 20
      {64, 3, 17, 2},    // MAP 23 -> 25
      {64, 80, 17, 14},  // 100 kPa
      {64, 47, 17, 10},  // 67 -> 65
      {64, 48, 17, 11},  // 68 -> 70
      {0, 0, 1, 1},      // 400 RPM
      {68, 0, 18, 1},    // 2100 RPM -> 2200
      {136, 0, 26, 1},   // 3800 RPM -> 4000
      {240, 0, 32, 1},   // extended 6500 RPM
      {224, 0, 31, 1},   // 6000 RPM
      {239, 0, 32, 1},   // standard 5975 RPM -> 6375
      {287, 0, 35, 1},   // extended 7968.75 RPM -> 8000
      {1, 0, 1, 1},
      {2, 0, 2, 1},      // 450 RPM -> 500 (halfway up)
  };
  for (const Case& c : cases) {
    const TableCell cell = HighlightCellFor(c.gridRow, c.gridColumn);
    EXPECT_EQ(cell.row, c.row) << c.gridRow;
    EXPECT_EQ(cell.column, c.column) << c.gridColumn;
  }
}

TEST(VeLearnNames, DestinationProposals) {
  struct Case {
    const char* source;
    int id;
    const char* proposed;
  };
  const Case cases[] = {
      {"engine_00012.bin", 12, "engine_00013.bin"},
      {"engine_a1.bin", 12, "engine_a1_00013.bin"},
      {"engine", 12, "engine_00013.bin"},
      {"engine_.BIN", 0, "engine_00001.BIN"},
      {"my_car_7.cal", 99, "my_car_00100.cal"},
      {"v1.2_5.bin", 5, "v1.2_00006.bin"},
      {"trim_12a.bin", 65534, "trim_12a_65535.bin"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProposeDestinationName(c.source, c.id), c.proposed) << c.source;
}

TEST(VeLearnNames, ChosenDestinationCompleted) {
  struct Case {
    const char* chosen;
    const char* kept;
  };
  const Case cases[] = {
      {"/d/new.bin", "/d/new.bin"},
      {"/d/new", "/d/new.bin"},
      {"/d/new.", "/d/new.bin"},
      {"/d.x/new", "/d.x/new.bin"},
      {"/d/new.cal", "/d/new.cal"},
  };
  for (const Case& c : cases) EXPECT_EQ(CompleteDestinationPath(c.chosen), c.kept) << c.chosen;
}

}  // namespace
}  // namespace zrm
