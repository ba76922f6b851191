// The spark-knock map without a window: the 16-bit counter and its 63
// divisor, cell boundaries on both grids, grid choice, the per-cell values and
// their caps, clearing, and the texts and highlight the painter draws.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "displays/knock_map.h"
#include "link/runtime_frame.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

class NoSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>&) override { ++draws; }
  void InvalidateAll() override {}
  int draws = 0;
};

struct KnockInput {
  int counter = 0;
  int retard = 0;
  int mapGauge = 0;  // 20 kPa
  int mapRaw = 0;
  int boostRaw = 0;
};

Bytes KnockFrameBytes(const KnockInput& in) {
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::knockCount] = static_cast<std::uint8_t>(in.counter >> 8);
  f[field::knockCount + 1] = static_cast<std::uint8_t>(in.counter & 0xFF);
  f[field::sparkRetard] = static_cast<std::uint8_t>(in.retard);
  f[field::mapGauge] = static_cast<std::uint8_t>(in.mapGauge);
  f[field::mapRaw] = static_cast<std::uint8_t>(in.mapRaw);
  f[field::boostRaw] = static_cast<std::uint8_t>(in.boostRaw);
  return f;
}

class KnockTest : public ::testing::Test {
 protected:
  KnockTest() {
    record.engineRunning = 1;
    record.rpm = 400;
    record.mapSensorBars = 1;
  }
  // A frame with the engine stopped: the previous counter takes its value.
  void Prime(int counter) {
    record.engineRunning = 0;
    Feed({counter});
    record.engineRunning = 1;
  }
  void Feed(const KnockInput& in, int active = 0) {
    Bytes f = KnockFrameBytes(in);
    knock.KnockFrame(f.data(), active);
  }
  std::uint32_t Standard(int view, int row, int column) const {
    return knock.State().standard[static_cast<std::size_t>(view)][static_cast<std::size_t>(row)]
                                 [static_cast<std::size_t>(column)];
  }
  std::uint32_t Boost(int view, int row, int column) const {
    return knock.State().boost[static_cast<std::size_t>(view)][static_cast<std::size_t>(row)]
                              [static_cast<std::size_t>(column)];
  }

  VistrelSettings settings;
  RuntimeRecord record;
  NoSurface surface;
  KnockMap knock{settings, record, surface};
};

TEST(KnockCounter, AdvanceAndEvents) {
  struct Case {
    int previous, current, advance, events;
  } cases[] = {
      {100, 226, 126, 2},     // 126 / 63
      {100, 150, 50, 0},      // below one event
      {65000, 10, 545, 8},    // 65535 - 65000 + 10, not 65536
      {65535, 0, 0, 0},       // the wrap itself is not a step
      {0, 65535, 65535, 1040},
      {7, 7, 0, 0},
  };
  for (const Case& c : cases) {
    const std::uint16_t d =
        KnockCounterAdvance(static_cast<std::uint16_t>(c.previous), static_cast<std::uint16_t>(c.current));
    EXPECT_EQ(d, c.advance) << c.previous << " -> " << c.current;
    EXPECT_EQ(d / KNOCK_COUNTS_PER_EVENT, c.events);
  }
}

TEST(KnockCells, StandardBoundaries) {
  struct Case {
    int rpm, map, row, column;
  } cases[] = {
      {400, 72, 1, 6},     // 72 kPa: the 70 column
      {400, 73, 1, 7},     // 73 kPa: the 75 column
      {400, 98, 1, 12},    // 98 kPa: the 100 column
      {400, 100, 1, 12},
      {400, 20, 1, 1},
      {400, 24, 1, 1},
      {400, 25, 1, 2},
      {400, 71, 1, 6},
      {2500, 50, 12, 4},   // 2500 and 2999 RPM: the 2800 row
      {2999, 50, 12, 4},
      {3000, 50, 13, 4},   // the 3200 row
      {2499, 50, 11, 4},
      {200, 50, 1, 4},     // below 400 counts as 400
      {6375, 50, 21, 4},
      {9000, 50, 21, 4},
      {499, 50, 1, 4},
      {500, 50, 2, 4},
  };
  for (const Case& c : cases) {
    const KnockCell cell = StandardKnockCell(c.rpm, c.map);
    EXPECT_EQ(cell.row, c.row) << c.rpm << " RPM, " << c.map << " kPa";
    EXPECT_EQ(cell.column, c.column) << c.rpm << " RPM, " << c.map << " kPa";
  }
}

TEST(KnockCells, MapAndBoostReadings) {
  // mapGauge x 0.3125 + 20, rounded, capped at 100.
  EXPECT_EQ(KnockMapKpa(166), 72);  // 71.875
  EXPECT_EQ(KnockMapKpa(170), 73);  // 73.125
  EXPECT_EQ(KnockMapKpa(250), 98);  // 98.125
  EXPECT_EQ(KnockMapKpa(255), 100);  // 99.69
  // 2-bar: mapRaw 200 reads 162.1 kPa: 62 kPa of boost, shown MAP 162.
  KnockBoost b = KnockBoostFor(2, 200, 50);
  EXPECT_EQ(b.boost, 62);
  EXPECT_EQ(b.shownMap, 162);
  // 3-bar: 200 reads 247.8 kPa: 148 (148.3) of boost; 255 reads 315.6: held at 200.
  b = KnockBoostFor(3, 200, 50);
  EXPECT_EQ(b.boost, 148);
  EXPECT_EQ(b.shownMap, 248);
  EXPECT_EQ(KnockBoostFor(3, 255, 50).boost, 200);
  // Below the atmosphere there is no boost and the gauge MAP is shown.
  b = KnockBoostFor(2, 100, 60);  // 85.05 kPa
  EXPECT_EQ(b.boost, 0);
  EXPECT_EQ(b.shownMap, 60);
  EXPECT_EQ(KnockBoostFor(1, 255, 60).boost, 0);

  struct Case {
    int rpm, boost, bars, row, column;
  } cases[] = {
      {400, 0, 2, 2, 1},     {2000, 62, 2, 6, 7},  {6375, 100, 2, 17, 11}, {4000, 148, 3, 11, 8},
      {4000, 200, 3, 11, 11}, {4000, 50, 1, 11, 1},  {300, 14, 2, 2, 2},
  };
  for (const Case& c : cases) {
    const KnockCell cell = BoostKnockCell(c.rpm, c.boost, c.bars);
    EXPECT_EQ(cell.row, c.row) << c.rpm << " RPM, " << c.boost << " kPa boost";
    EXPECT_EQ(cell.column, c.column) << c.rpm << " RPM, " << c.boost << " kPa boost";
  }
}

TEST_F(KnockTest, EventsDividedBy63AndNotCarriedOver) {
  Prime(100);
  Feed({226});  // 2 events, stored as 200
  EXPECT_EQ(knock.EventsTotal(), 2);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 1, 1), 200u);
  Feed({276});  // 50: nothing
  Feed({326});  // another 50: still nothing, the first 50 are gone
  EXPECT_EQ(knock.EventsTotal(), 2);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 1, 1), 200u);
}

TEST_F(KnockTest, CounterDroppingCountsAcrossTheWrap) {
  Prime(65000);
  Feed({10});
  EXPECT_EQ(knock.EventsTotal(), 8);
}

TEST_F(KnockTest, NoEventsAcrossAnEngineStop) {
  Prime(1000);
  record.engineRunning = 0;
  Feed({3000});
  Feed({5000});
  record.engineRunning = 1;
  Feed({5000});
  EXPECT_EQ(knock.EventsTotal(), 0);
  Feed({5063});
  EXPECT_EQ(knock.EventsTotal(), 1);
}

TEST_F(KnockTest, RetardValuesPerCell) {
  record.rpm = 2500;
  KnockInput in{0, 0, 166};  // 72 kPa: row 12, column 6
  Feed(in);
  in.counter = 63;  // retard byte 0: counts only
  Feed(in);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 12, 6), 100u);
  EXPECT_EQ(Standard(KNOCK_AVERAGE, 12, 6), 0u);
  EXPECT_EQ(Standard(KNOCK_TOTAL, 12, 6), 0u);
  in.counter = 126;
  in.retard = 57;  // 10.02 degrees: 1001 + 50
  Feed(in);
  EXPECT_EQ(Standard(KNOCK_AVERAGE, 12, 6), 1051u);
  EXPECT_EQ(Standard(KNOCK_PEAK, 12, 6), 1051u);
  EXPECT_EQ(Standard(KNOCK_TOTAL, 12, 6), 1051u);
  in.counter = 189;
  in.retard = 114;  // 20.04 degrees: 2003 + 50
  Feed(in);
  EXPECT_EQ(Standard(KNOCK_AVERAGE, 12, 6), (1051u + 2053u) >> 1);
  EXPECT_EQ(Standard(KNOCK_PEAK, 12, 6), 2053u);
  EXPECT_EQ(Standard(KNOCK_TOTAL, 12, 6), 3104u);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 12, 6), 300u);
  in.counter = 252;
  in.retard = 57;
  Feed(in);
  EXPECT_EQ(Standard(KNOCK_PEAK, 12, 6), 2053u);  // the peak stays
  EXPECT_EQ(KnockRetardHundredths(57), 1001u);
  EXPECT_EQ(KnockRetardHundredths(1), 17u);
  EXPECT_EQ(KnockRetardHundredths(255), 4482u);
}

TEST_F(KnockTest, CellsCappedAndCountsWrapAtSixteenBits) {
  KnockInput in{0, 255};
  Feed(in);
  in.counter = 63 * 300;  // 300 events: 30000 hundredths, capped
  Feed(in);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 1, 1), 25500u);
  for (int i = 0; i < 8; ++i) {
    in.counter += 63;
    Feed(in);
  }
  EXPECT_EQ(Standard(KNOCK_TOTAL, 1, 1), 25500u);  // 9 x 4532 capped
  EXPECT_EQ(Standard(KNOCK_PEAK, 1, 1), 4532u);

  // 660 events: 66000 hundredths kept to 16 bits are 464.
  record.rpm = 6375;
  Prime(0);
  KnockInput wrap{0, 0};
  wrap.counter = 63 * 660;
  Feed(wrap);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 21, 1), 464u);
}

TEST_F(KnockTest, GridChoice) {
  // 2-bar, boostRaw 0: the standard grid even though mapRaw reads 162 kPa.
  record.mapSensorBars = 2;
  record.rpm = 2000;
  KnockInput in{0, 57, 100, 200, 0};
  Feed(in);
  in.counter = 63;
  Feed(in);
  KnockState s = knock.State();
  EXPECT_EQ(s.inBoost, 0);
  EXPECT_EQ(s.shownMap, 162);
  EXPECT_EQ(Standard(KNOCK_COUNTS, s.standardCell.row, s.standardCell.column), 100u);
  // The boost grid shown: its highlight is yellow, the frame went elsewhere.
  knock.SetGridShown(KNOCK_BOOST);
  EXPECT_FALSE(KnockHighlightFor(knock.State()).green);
  // boostRaw set: the boost grid and its cell.
  in.boostRaw = 40;
  in.counter = 126;
  Feed(in);
  s = knock.State();
  EXPECT_EQ(s.inBoost, 1);
  EXPECT_EQ(Boost(KNOCK_COUNTS, 6, 7), 100u);
  EXPECT_EQ(Boost(KNOCK_AVERAGE, 6, 7), 1051u);
  EXPECT_TRUE(KnockHighlightFor(s).green);
  // A 1-bar sensor never uses the boost grid.
  record.mapSensorBars = 1;
  in.counter = 189;
  Feed(in);
  EXPECT_EQ(knock.State().inBoost, 0);
}

TEST_F(KnockTest, ClearKeepsAxesAndThePreviousCounter) {
  Feed({0});
  Feed({630, 57});
  ASSERT_EQ(knock.EventsTotal(), 10);
  knock.ClearKnockMap();
  EXPECT_EQ(knock.EventsTotal(), 0);
  EXPECT_EQ(Standard(KNOCK_COUNTS, 1, 1), 0u);
  EXPECT_EQ(Standard(KNOCK_AVERAGE, 0, 12), 100u);  // axis
  EXPECT_EQ(Standard(KNOCK_AVERAGE, 21, 0), 6375u);
  EXPECT_EQ(Boost(KNOCK_PEAK, 0, 11), 200u);
  EXPECT_EQ(Boost(KNOCK_PEAK, 1, 0), 0u);
  EXPECT_EQ(Boost(KNOCK_PEAK, 17, 0), 6375u);
  Feed({630});  // same counter as before the clear: nothing new
  EXPECT_EQ(knock.EventsTotal(), 0);
}

TEST_F(KnockTest, TextsOfTheStandardGrid) {
  record.rpm = 2500;
  Feed({0, 0, 166});
  Feed({126, 57, 166});
  knock.SetView(KNOCK_PEAK);
  const std::vector<KnockText> texts = KnockMapTexts(knock.State());
  ASSERT_EQ(texts.size(), 23u);
  EXPECT_EQ(texts[0].text, " Peak Spark Retard in Degrees  ");
  EXPECT_EQ(texts[0].x, 270);
  EXPECT_EQ(texts[0].y, 50);
  EXPECT_EQ(texts[1].text, "RPM/MAP 20  30  40  50  60  70  75  80  85  90  95 100 ");
  EXPECT_EQ(texts[1].x, 172);
  EXPECT_EQ(texts[1].y, 110);
  EXPECT_EQ(texts[2].text, " 400    .   .   .   .   .   .   .   .   .   .   .   . ");
  EXPECT_EQ(texts[2].x, 180);
  EXPECT_EQ(texts[2].y, 133);
  // Row 12 (2800 RPM), column 6: 1051 shows as 10.
  EXPECT_EQ(texts[13].text, "2800    .   .   .   .   .  10   .   .   .   .   .   . ");
  EXPECT_EQ(texts[13].y, 120 + 13 * 12);
  EXPECT_EQ(texts[22].text.substr(0, 6), "6375  ");
  const KnockHighlight h = KnockHighlightFor(knock.State());
  EXPECT_EQ(h.left, 32 * 6 + 193);
  EXPECT_EQ(h.top, 13 * 12 + 121);
  EXPECT_TRUE(h.green);
  EXPECT_EQ(h.text, " 10 ");
}

TEST_F(KnockTest, TextsOfTheBoostGrid) {
  knock.SetGridShown(KNOCK_BOOST);
  knock.SetView(KNOCK_COUNTS);
  record.mapSensorBars = 3;
  Feed({0});
  std::vector<KnockText> texts = KnockMapTexts(knock.State());
  ASSERT_EQ(texts.size(), 19u);
  EXPECT_EQ(texts[0].text, "     Total Knock in Counts     ");
  // A 3-bar sensor labels the columns 100, 120, ... 300.
  EXPECT_EQ(texts[1].text, "RPM/MAP 100 120 140 160 180 200 220 240 260 280 300 ");
  EXPECT_EQ(texts[1].x, 178);
  EXPECT_EQ(texts[2].text, "   0    .   .   .   .   .   .   .   .   .   .   . ");
  EXPECT_EQ(texts[2].x, 194);
  record.mapSensorBars = 2;
  Feed({0});
  texts = KnockMapTexts(knock.State());
  EXPECT_EQ(texts[1].text, "RPM/MAP 100 110 120 130 140 150 160 170 180 190 200 ");
  EXPECT_EQ(KnockHighlightFor(knock.State()).left, 32 * 1 + 207);
}

TEST_F(KnockTest, DrawsEveryDivisorPlusOneFramesWhileShown) {
  settings.updateDivisor = 1;
  knock.ReloadSettings();
  for (int i = 0; i < 6; ++i) Feed({0}, 1);
  EXPECT_EQ(surface.draws, 3);
  for (int i = 0; i < 6; ++i) Feed({0}, 0);
  EXPECT_EQ(surface.draws, 3);
}

}  // namespace
}  // namespace zrm
