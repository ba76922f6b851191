// The sensor diagnostics display without a window: the sensor table, the
// values and texts of a frame, the chart rows and segment, and what each
// draw redraws.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "displays/diagnostics_display.h"
#include "displays/sensor_table.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "recording_canvas.h"

namespace zrm {
namespace {

struct Scroll {
  int left, top, right, bottom, dx, dy;
};

// Records texts and lines (base class) and the scrolls.
class ChartCanvas : public test::RecordingCanvas {
 public:
  void ScrollRect(int l, int t, int r, int b, int dx, int dy) override { scrolls.push_back({l, t, r, b, dx, dy}); }
  std::vector<Scroll> scrolls;
};

// Draws the value layer onto one recording canvas, fresh for every draw.
class RecordingSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override {
    draws.emplace_back();
    painter(draws.back());
  }
  void InvalidateAll() override { ++invalidations; }
  std::vector<ChartCanvas> draws;
  int invalidations = 0;
};

class FixedWideband : public PreferredChannels {
 public:
  bool HasWideband() const override { return true; }
  PreferredReading Wideband() const override { return {"TT-1 WB", 0, afr}; }
  bool HasFuelPressure() const override { return false; }
  PreferredReading FuelPressure() const override { return {}; }
  double afr = 14.7;
};

struct Frame {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(FRAME_PAYLOAD_SIZE, 0);
  Frame& Set(int offset, int value) {
    bytes[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value);
    return *this;
  }
  const std::uint8_t* data() const { return bytes.data(); }
};

TEST(SensorTable, FixedPointsAndTheLineBetweenThem) {
  struct Case {
    int counts;
    int value;
  } cases[] = {
      {0, 255}, {5, 255}, {11, 255}, {12, 253}, {13, 247}, {14, 240}, {15, 237}, {128, 119},
      {248, 24}, {249, 22}, {250, 20}, {251, 13}, {252, 10}, {253, 7}, {254, 3}, {255, 0},
      // 237 - 118 * 57 / 113 = 177.48
      {72, 177},
      // 119 - 95 * 60 / 120 = 71.5, rounded up
      {188, 72},
      // Beyond the table: held at its ends.
      {-3, 255}, {300, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SensorTemperatureByte(c.counts), c.value) << c.counts;
}

TEST(SensorTable, NeverRises) {
  const auto& table = SensorTable();
  for (int i = 1; i < SENSOR_TABLE_SIZE; ++i) {
    EXPECT_LE(table[static_cast<std::size_t>(i)], table[static_cast<std::size_t>(i - 1)]) << i;
  }
}

TEST(Diagnostics, ValuesAndTextsOfAFrame) {
  SetSpeedUnit(0);
  Frame f;
  f.Set(field::vehicleSpeed, 60)
      .Set(field::mapRaw, 100)   // 1-bar: 100 x 0.369 + 10.415 = 47.315 kPa
      .Set(field::tpsCounts, 51)  // 1.0 V
      .Set(field::ctsCounts, 188)  // table 72: 14 C, 57.2 F
      .Set(field::iatCounts, 255)  // table 0: -40 both
      .Set(field::o2Raw, 100);     // 442 mV
  const DiagnosticsValues v = ReadDiagnostics(f.data(), 2150);
  struct Case {
    DiagnosticsField field;
    const char* text;
  } cases[] = {
      {DIAG_RPM, "   2150"},         {DIAG_SPEED, "     60"},         {DIAG_MAP_COUNTS, "    100"},
      {DIAG_MAP_KPA, "   47.3"},     {DIAG_MAP_VOLTS, "    2.0"},     {DIAG_TPS_COUNTS, "     51"},
      {DIAG_TPS_VOLTS, "    1.0"},   {DIAG_CTS_COUNTS, "    188"},    {DIAG_CTS_CELSIUS, "   14.0"},
      {DIAG_CTS_FAHRENHEIT, "   57.2"}, {DIAG_IAT_COUNTS, "    255"},  {DIAG_IAT_CELSIUS, "   -40.0"},
      {DIAG_IAT_FAHRENHEIT, "   -40.0"}, {DIAG_O2_COUNTS, "    100"},  {DIAG_O2_MILLIVOLTS, "    442"},
  };
  for (const Case& c : cases) EXPECT_EQ(DiagnosticsText(v, c.field), c.text) << c.field;

  // A 2-bar sensor reads the same counts on its own scale, and km/h round half up.
  SetSpeedUnit(1);
  f.Set(field::configByte, 0x80);
  const DiagnosticsValues kph = ReadDiagnostics(f.data(), 0);
  EXPECT_EQ(DiagnosticsText(kph, DIAG_MAP_KPA), "   85.0");  // 100 x 0.7705 + 8
  EXPECT_EQ(DiagnosticsText(kph, DIAG_SPEED), "     97");   // 96.56
  SetSpeedUnit(0);
}

TEST(Diagnostics, O2MillivoltsAreTruncated) {
  Frame f;
  f.Set(field::o2Raw, 3);  // 13.26
  EXPECT_EQ(ReadDiagnostics(f.data(), 0).o2Millivolts, 13);
  f.Set(field::o2Raw, 255);  // 1127.1
  EXPECT_EQ(ReadDiagnostics(f.data(), 0).o2Millivolts, 1127);
}

TEST(Diagnostics, ChartRows) {
  struct Case {
    double value;
    int o2Y;   // for millivolts
    int afrY;  // for an AFR
  } cases[] = {
      {0, 521, 521},       // the floor; AFR 0 is held at 10
      {442, 521 - 85, 330},  // 84.53 rounds to 85; AFR held at 20
      {1000, 330, 330},
      {1200, 330, 330},    // held at 1000 mV / 20 AFR
      {-5, 521, 521},
      {14.7, 521 - 3, 521 - 90},  // 2.81 -> 3; 4.7 x 19.125 = 89.89 -> 90
      {25, 521 - 5, 330},         // 4.78 -> 5; an AFR of 25 draws at 20
      {10.5, 521 - 2, 521 - 10},  // 2.008 -> 2; 9.5625 -> 10
  };
  for (const Case& c : cases) {
    EXPECT_EQ(O2ChartY(c.value), c.o2Y) << c.value;
    EXPECT_EQ(AfrChartY(c.value), c.afrY) << c.value;
  }
}

TEST(Diagnostics, ShownFrameRedrawsOnlyChangedValuesAndAdvancesTheChart) {
  RuntimeRecord record;
  RecordingSurface surface;
  FixedWideband wideband;
  DiagnosticsDisplay display(record, surface, &wideband);
  int statusDraws = 0;
  display.paintStatusValues = [&](Canvas&) { ++statusDraws; };

  Frame f;
  display.DiagnosticsFrame(f.data(), 0);
  EXPECT_TRUE(surface.draws.empty());
  ChartCanvas full;
  display.PaintDiagnostics(full);
  display.PaintDiagnosticsValues(full);
  // The static layer with a wideband: both scales, both legends.
  ASSERT_NE(full.TextAt(153, 305), nullptr);
  EXPECT_EQ(full.TextAt(153, 305)->text, "NB O2");
  EXPECT_EQ(full.TextAt(153, 305)->colour, CHART_O2_COLOUR);
  ASSERT_NE(full.TextAt(218, 305), nullptr);
  EXPECT_EQ(full.TextAt(218, 305)->colour, CHART_AFR_COLOUR);
  EXPECT_EQ(full.TextAt(78, 532)->text, "Seconds:");
  EXPECT_EQ(full.TextAt(280, 60)->text, "RPM:      ");
  EXPECT_EQ(full.TextAt(540, 60)->text, "MPH:");
  // Every value drawn once, right-aligned at its place, in the value font.
  const test::DrawnText* rpm = full.TextAt(410, 60);
  ASSERT_NE(rpm, nullptr);
  EXPECT_EQ(rpm->text, "      0");
  EXPECT_EQ(rpm->align, TextAlign::Right);
  EXPECT_EQ(rpm->font, FontId::Value);
  EXPECT_EQ(full.TextAt(670, 142)->text, "   151.2");  // count 0: table 255

  f.Set(field::o2Raw, 100);
  record.rpm.store(900);
  wideband.afr = 14.7;
  display.DiagnosticsFrame(f.data(), 1);
  ASSERT_EQ(surface.draws.size(), 1u);
  EXPECT_EQ(statusDraws, 1);
  {
    const ChartCanvas& c = surface.draws[0];
    // RPM, O2 counts and O2 mV changed; nothing else is drawn again.
    std::vector<std::pair<int, int>> places;
    for (const auto& t : c.texts) places.emplace_back(t.x, t.y);
    EXPECT_EQ(places, (std::vector<std::pair<int, int>>{{410, 60}, {150, 224}, {150, 254}}));
    EXPECT_EQ(c.TextAt(150, 254)->text, "    442");
    // The chart moves 4 pixels left inside its frame, then the new segments
    // run from the last rows (the floor at first) at x 763 to 767.
    ASSERT_EQ(c.scrolls.size(), 1u);
    EXPECT_EQ(c.scrolls[0].dx, -4);
    EXPECT_EQ(c.scrolls[0].left, 89);
    EXPECT_EQ(c.scrolls[0].right, 772);
    bool o2 = false, afr = false;
    for (const auto& l : c.lines) {
      if (l.colour == CHART_O2_COLOUR) {
        o2 = true;
        EXPECT_EQ(l.x1, 763);
        EXPECT_EQ(l.x2, 767);
        EXPECT_EQ(l.y1, 521);
        EXPECT_EQ(l.y2, 436);
      }
      if (l.colour == CHART_AFR_COLOUR) {
        afr = true;
        EXPECT_EQ(l.y1, 521);
        EXPECT_EQ(l.y2, 431);
      }
    }
    EXPECT_TRUE(o2);
    EXPECT_TRUE(afr);
  }

  // The same frame again: no value text, the traces go on from their rows.
  display.DiagnosticsFrame(f.data(), 1);
  ASSERT_EQ(surface.draws.size(), 2u);
  EXPECT_TRUE(surface.draws[1].texts.empty());
  for (const auto& l : surface.draws[1].lines) {
    if (l.colour == CHART_O2_COLOUR) {
      EXPECT_EQ(l.y1, 436);
    }
  }

  // Not shown: the values are taken, nothing is drawn.
  f.Set(field::o2Raw, 0);
  display.DiagnosticsFrame(f.data(), 0);
  EXPECT_EQ(surface.draws.size(), 2u);
  EXPECT_EQ(display.Values().o2Counts, 0);

  // A full paint draws every value again.
  ChartCanvas again;
  display.PaintDiagnostics(again);
  display.PaintDiagnosticsValues(again);
  EXPECT_EQ(again.TextAt(410, 60)->text, "    900");
  EXPECT_EQ(again.TextAt(150, 224)->text, "      0");
}

TEST(Diagnostics, WithoutAWidebandNoAfrTraceOrScale) {
  RuntimeRecord record;
  RecordingSurface surface;
  DiagnosticsDisplay display(record, surface);
  ChartCanvas full;
  display.PaintDiagnostics(full);
  EXPECT_EQ(full.TextAt(218, 305), nullptr);
  EXPECT_EQ(full.TextAt(44, 305), nullptr);
  Frame f;
  display.DiagnosticsFrame(f.data(), 1);
  for (const auto& l : surface.draws.at(0).lines) EXPECT_NE(l.colour, CHART_AFR_COLOUR);
}

}  // namespace
}  // namespace zrm
