// The trip computer without a window: counter arithmetic, the start-up
// phases, accumulation with the minimum BPC and the high-RPM correction, the
// display values in both unit systems, the digit split, and what the painters
// draw (only the digits that changed, the PE/lean box).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "displays/trip_computer.h"
#include "displays/trip_digits.h"
#include "link/runtime_frame.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Fills and texts, in order.
struct Op {
  bool fill;
  int l, t, r, b;
  Colour colour;
  std::string text;
};

class OpCanvas : public Canvas {
 public:
  void SetFont(FontId) override {}
  void SetTextColour(Colour c) override { text_ = c; }
  void SetBackColour(Colour) override {}
  void SetTransparentText(bool) override {}
  void SetPen(Colour c, int, PenStyle) override { pen_ = c; }
  void SetNullPen() override {}
  void SetBrush(Colour) override {}
  void SetNullBrush() override {}
  void Text(int x, int y, std::string_view t, TextAlign) override { ops.push_back({false, x, y, 0, 0, text_, std::string(t)}); }
  int TextWidth(std::string_view t) override { return static_cast<int>(t.size()) * 8; }
  int TextHeight() override { return 12; }
  void Line(int x1, int y1, int x2, int y2) override { lines.push_back({true, x1, y1, x2, y2, pen_, {}}); }
  void Polyline(const CanvasPoint*, int) override {}
  void Rectangle(int, int, int, int) override {}
  void FillRect(int l, int t, int r, int b, Colour c) override { ops.push_back({true, l, t, r, b, c, {}}); }
  void Ellipse(int, int, int, int) override {}
  void Arc(int, int, int, int, int, int, int, int) override {}
  void SetPixel(int, int, Colour) override {}
  void InvertRect(int, int, int, int) override {}
  void ScrollRect(int, int, int, int, int, int) override {}

  // Fills that cover the glyph area at (x, y) exactly as its background.
  int GlyphsDrawnAt(int x, int y) const {
    int n = 0;
    for (const Op& op : ops)
      if (op.fill && op.l == x && op.t == y && op.colour == COLOUR_BACKGROUND) ++n;
    return n;
  }
  const Op* TextAt(int x, int y) const {
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
      if (!it->fill && it->l == x && it->t == y) return &*it;
    return nullptr;
  }

  std::vector<Op> ops;
  std::vector<Op> lines;

 private:
  Colour text_ = 0, pen_ = 0;
};

class TestSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override {
    ++draws;
    painter(canvas);
  }
  void InvalidateAll() override { ++invalidations; }
  OpCanvas canvas;
  int draws = 0;
  int invalidations = 0;
};

// A frame with the trip computer's inputs.
struct TripInput {
  int vss = 0;
  int pw = 0;
  int bpcHigh = 43;
  int bpcLow = 0;
  int flow = 144;
  std::uint8_t status3 = 0;
  std::uint8_t status13 = 0;
  int mapGauge = 0;
};

Bytes TripFrameBytes(const TripInput& in) {
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::vssPulseCount] = static_cast<std::uint8_t>(in.vss & 0xFF);
  f[field::fuelPulseCount] = static_cast<std::uint8_t>(in.pw & 0xFF);
  f[field::bpc] = static_cast<std::uint8_t>(in.bpcHigh);
  f[field::bpc + 1] = static_cast<std::uint8_t>(in.bpcLow);
  f[field::tripByte249] = static_cast<std::uint8_t>(in.flow);
  f[field::statusByte3] = in.status3;
  f[field::statusByte13] = in.status13;
  f[field::mapGauge] = static_cast<std::uint8_t>(in.mapGauge);
  // Firmware 2.0 without a calibration: the fixed 2002 pulses per mile.
  return f;
}

class TripTest : public ::testing::Test {
 protected:
  TripTest() {
    settings.updateDivisor = 0;
    record.engineRunning = 1;
    record.cylinders = 8;
    record.rpm = 2000;
    trip.ReloadSettings();
  }
  void Feed(const TripInput& in, int active = 0) {
    Bytes f = TripFrameBytes(in);
    trip.TripFrame(f.data(), active);
  }
  // n frames, the counters advancing by dv and dp each.
  void FeedSteady(int n, int dv, int dp, int active = 0) {
    for (int i = 0; i < n; ++i) {
      input.vss += dv;
      input.pw += dp;
      Feed(input, active);
    }
  }

  VistrelSettings settings;
  RuntimeRecord record;
  TestSurface surface;
  TripComputer trip{settings, record, surface};
  TripInput input;
};

TEST(TripCounters, IncrementWrapsAt256) {
  struct Case {
    std::uint32_t newer, older, want;
  } cases[] = {{4, 250, 10}, {10, 5, 5}, {0, 255, 1}, {255, 0, 255}, {7, 7, 0}};
  for (const Case& c : cases) EXPECT_EQ(CounterIncrement(c.newer, c.older), c.want) << c.newer << " " << c.older;
}

TEST(TripCounters, HighRpmCorrectionByCylinders) {
  struct Case {
    int cylinders;
    int currentRpm;
    double rpm;
    double dp;
    double want;
  } cases[] = {
      {8, 3000, 3000, 100, 25.0},   // (3000 / 2400 - 1) x dp
      {8, 2400, 2400, 100, 0.0},    // at the threshold nothing
      {4, 6000, 6000, 10, 2.5},     // 6000 / 4800 - 1 = 0.25
      {2, 9601, 19200, 4, 4.0},     // 19200 / 9600 - 1 = 1
      {6, 3601, 7200, 8, 8.0},
      {8, 3000, 1200, 10, -5.0},    // the current RPM decides, the argument scales
      {8, 2000, 4800, 10, 0.0},     // below the threshold the argument does not matter
      {1, 9000, 9000, 10, 0.0},     // counts without a threshold
      {9, 9000, 9000, 10, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(HighRpmCorrection(c.dp, c.rpm, c.currentRpm, c.cylinders), c.want)
        << c.cylinders << " cylinders at " << c.currentRpm;
  }
  EXPECT_EQ(HighRpmThreshold(3), 7200);
  EXPECT_EQ(HighRpmThreshold(5), 4200);
  EXPECT_EQ(HighRpmThreshold(7), 3000);
}

TEST(TripDigits, SplitClampsTheLeadingDigit) {
  EXPECT_EQ(SplitDigits(1234, 3)[0], 9);
  EXPECT_EQ(SplitDigits(1234, 3)[1], 3);
  EXPECT_EQ(SplitDigits(1234, 3)[2], 4);
  EXPECT_EQ(SplitDigits(7, 4)[0], 0);
  EXPECT_EQ(SplitDigits(7, 4)[3], 7);
  EXPECT_EQ(SplitDigits(10203, 5)[2], 2);
}

TEST(TripDigits, GlyphTablesHaveTheirShapes) {
  for (const LargeGlyph& g : LARGE_DIGITS)
    for (const char* row : g) EXPECT_EQ(std::strlen(row), 7u);
  for (const SmallGlyph& g : SMALL_DIGITS)
    for (const char* row : g) EXPECT_EQ(std::strlen(row), 4u);
  EXPECT_STREQ(LARGE_DIGITS[7][1], "^....##");
  EXPECT_STREQ(LARGE_POINT[6], ".##.");
  EXPECT_STREQ(SMALL_POINT[3], "_.");
  EXPECT_EQ(GlyphCellCharacter('#'), 0xDB);
  EXPECT_EQ(GlyphCellCharacter('_'), 0xDC);
  EXPECT_EQ(GlyphCellCharacter('^'), 0xDF);
  EXPECT_EQ(GlyphCellCharacter('.'), 0x20);
}

TEST_F(TripTest, FirstFiveFramesIgnoredThenHistoryThenAccumulation) {
  // Frames 1 to 5 leave the history alone.
  FeedSteady(5, 3, 2);
  EXPECT_EQ(trip.State().history.back().vss, 0u);
  // Frame 6 is the first history entry; up to frame 74 nothing accumulates
  // even though the engine runs.
  FeedSteady(69, 3, 2);
  EXPECT_EQ(trip.State().history.back().vss, static_cast<std::uint32_t>(74 * 3 % 256));
  EXPECT_EQ(trip.State().historyReady, 0);
  EXPECT_DOUBLE_EQ(trip.Totals().vss, 0.0);
  // Frames 75 to 80 each add one increment.
  FeedSteady(6, 3, 2);
  EXPECT_EQ(trip.State().historyReady, 1);
  EXPECT_DOUBLE_EQ(trip.Totals().vss, 18.0);
  EXPECT_DOUBLE_EQ(trip.Totals().pw, 12.0);  // 8 cylinders at 2000 RPM: below the threshold
}

TEST_F(TripTest, SpeedCounterFrom250To4AddsTen) {
  input.vss = 240;
  FeedSteady(74, 0, 0);
  input.vss = 250;
  Feed(input);  // frame 75: 240 -> 250
  input.vss = 4;
  Feed(input);  // 250 -> 4 across the wrap
  EXPECT_DOUBLE_EQ(trip.Totals().vss, 20.0);
}

TEST_F(TripTest, PulseWidthScaledByTheSmallestBpcSeen) {
  FeedSteady(74, 0, 0);
  FeedSteady(1, 0, 10);  // BPC 43 is the minimum: 10 x 43 / 43
  input.bpcHigh = 86;
  FeedSteady(1, 0, 10);  // 10 x 43 / 86 = 5
  input.bpcHigh = 42;
  input.bpcLow = 0x80;  // rounds up to 43
  FeedSteady(1, 0, 10);
  EXPECT_DOUBLE_EQ(trip.Totals().pw, 25.0);
  EXPECT_EQ(trip.State().minBpc, 43);
}

TEST_F(TripTest, HighRpmAddsToThePulseWidthTotal) {
  record.rpm = 3000;  // 8 cylinders: 0.25 dp more
  FeedSteady(74, 0, 0);
  FeedSteady(4, 0, 8);
  EXPECT_DOUBLE_EQ(trip.Totals().pw, 4 * 10.0);
}

TEST_F(TripTest, NothingAccumulatesWhileTheEngineIsStopped) {
  record.engineRunning = 0;
  FeedSteady(100, 5, 5);
  EXPECT_DOUBLE_EQ(trip.Totals().vss, 0.0);
  EXPECT_EQ(trip.State().history.back().vss, static_cast<std::uint32_t>(500 % 256));
}

TEST_F(TripTest, EngineStopRestartsTheHistoryAndKeepsTheTotals) {
  FeedSteady(80, 1, 1);
  const double before = trip.Totals().vss;
  EXPECT_DOUBLE_EQ(before, 6.0);
  trip.TripEngineStopped();
  EXPECT_EQ(trip.State().minBpc, TRIP_NO_BPC);
  FeedSteady(74, 1, 1);
  EXPECT_DOUBLE_EQ(trip.Totals().vss, before);
  FeedSteady(1, 1, 1);
  EXPECT_DOUBLE_EQ(trip.Totals().vss, before + 1);
}

TEST_F(TripTest, CalibrationFromEveryFrame) {
  Bytes f = TripFrameBytes(input);
  f[field::firmwareByte] = 2;
  f[field::vssPpmRaw] = 460 >> 8;  // 920920 / 460 = 2002
  f[field::vssPpmRaw + 1] = 460 & 0xFF;
  f[field::tripByte249] = 77;
  for (int i = 0; i < 6; ++i) trip.TripFrame(f.data(), 0);
  EXPECT_EQ(trip.Totals().vssPpm, 2002);
  EXPECT_EQ(trip.Totals().flowConstant, 77);
  f[field::vssPpmRaw] = 0;
  f[field::vssPpmRaw + 1] = 100;  // 9209.2 rounds to 9209
  trip.TripFrame(f.data(), 0);
  EXPECT_EQ(trip.Totals().vssPpm, 9209);
  f[field::firmwareByte] = 1;  // before 2.2 the speed sensor is fixed
  trip.TripFrame(f.data(), 0);
  EXPECT_EQ(trip.Totals().vssPpm, 2002);
}

// ComputeTrip from a state set up by hand.
TripState StateWith(double vss, double pw, int ppm, int flow) {
  TripState s;
  s.totals = {vss, pw, ppm, flow};
  s.minBpc = 43;
  s.bpc = 43;
  return s;
}

// A history whose 67 intervals each advance by dv and dp.
void SteadyHistory(TripState& s, std::uint32_t dv, std::uint32_t dp) {
  for (int i = 0; i < TRIP_HISTORY_SIZE; ++i) {
    s.history[static_cast<std::size_t>(i)].vss = (i * dv) % 256;
    s.history[static_cast<std::size_t>(i)].pw = (i * dp) % 256;
  }
}

TEST(TripCompute, InstantEconomyCases) {
  struct Case {
    const char* name;
    std::uint32_t dv, dp;
    int metric;
    std::uint32_t want;
  } cases[] = {
      // No fuel in the window: 99.9 shows as 99, or 99.9 x 1.609344 / 3.785 = 42.47 km/L.
      {"no fuel", 3, 0, 0, 99},
      {"no fuel metric", 3, 0, 1, 42},
      // 670 pulses = 0.3347 mi on 67 counts = 0.002617 gal: 127.9, held at 99.9.
      {"above the limit", 10, 1, 0, 99},
      // With 670 pulses per mile, 67 pulses = 0.1 mi; 134 counts x 0.00390630961
      // x 0.01 = 0.0052345 gal; 0.1 / 0.0052345 + 0.5 = 19.60 -> 19 MPG,
      // 19.60 x 1.609344 / 3.785 = 8.33 -> 8 km/L.
      {"mid range", 1, 2, 0, 19},
      {"mid range metric", 1, 2, 1, 8},
  };
  for (const Case& c : cases) {
    TripState s = StateWith(0, 0, c.dv == 1 ? 670 : 2002, 144);
    SteadyHistory(s, c.dv, c.dp);
    ComputeTrip(s, c.metric);
    EXPECT_EQ(s.values.instant, c.want) << c.name;
  }
}

TEST(TripCompute, DistanceFuelAndAverageInBothUnits) {
  // 20020 pulses at 2002 per mile: 10.0 miles. 10000 counts x 0.00390630961
  // x 0.01 = 0.390631 gal: 39.06 + 0.5 -> 39 hundredths; average 10 / 0.390631
  // x 10 + 0.5 = 256.5 -> 256 tenths.
  TripState s = StateWith(20020, 10000, 2002, 144);
  ComputeTrip(s, 0);
  EXPECT_EQ(s.values.distance, 100u);
  EXPECT_EQ(s.values.fuel, 39u);
  EXPECT_EQ(s.values.average, 256u);
  // Metric: 100 x 1.609344 = 160.9 -> 160; 39 x 3.785 = 147.6 -> 147;
  // 256 x 1.609344 / 3.785 = 108.8 -> 108.
  TripState m = StateWith(20020, 10000, 2002, 144);
  ComputeTrip(m, 1);
  EXPECT_EQ(m.values.distance, 160u);
  EXPECT_EQ(m.values.fuel, 147u);
  EXPECT_EQ(m.values.average, 108u);
}

TEST(TripCompute, WithoutFuelTheAverageKeepsItsValue) {
  TripState s = StateWith(20020, 0, 2002, 144);
  s.values.average = 123;
  ComputeTrip(s, 0);
  EXPECT_EQ(s.values.average, 123u);
  EXPECT_EQ(s.values.fuel, 0u);
  EXPECT_EQ(s.values.distance, 100u);
}

TEST(TripCompute, NoCalibrationShowsZeroInsteadOfDividing) {
  // As after "Clear Data": pulses per mile and flow constant are 0 until the
  // next frame; totals carried over from elsewhere must not become NaN.
  TripState s = StateWith(5000, 3000, 0, 0);
  SteadyHistory(s, 2, 3);
  ComputeTrip(s, 0);
  EXPECT_EQ(s.values.distance, 0u);
  EXPECT_EQ(s.values.average, 0u);
  EXPECT_EQ(s.values.instant, 0u);
  EXPECT_EQ(s.values.fuel, 0u);
}

TEST(TripCompute, FlagsAndMapBar) {
  struct Case {
    std::uint8_t status13, status3;
    bool pe, lean;
  } cases[] = {{0x80, 0x00, true, false}, {0x80, 0x04, true, false}, {0x00, 0x04, false, true},
               {0x7F, 0xFB, false, false}};
  for (const Case& c : cases) {
    TripState s = StateWith(0, 0, 2002, 144);
    s.statusByte13 = c.status13;
    s.statusByte3 = c.status3;
    ComputeTrip(s, 0);
    EXPECT_EQ(s.values.pe, c.pe);
    EXPECT_EQ(s.values.lean, c.lean);
  }
  TripState s = StateWith(0, 0, 2002, 144);
  s.mapBars = 2;
  s.mapByte = 100;  // 100 x 0.7705 + 8 = 85.05 kPa
  ComputeTrip(s, 0);
  EXPECT_DOUBLE_EQ(s.values.mapKpa, 85.05);
  EXPECT_EQ(TripMapBarTop(TripMapBarFor(1), 20.0), 170);
  EXPECT_EQ(TripMapBarTop(TripMapBarFor(1), 500.0), -1);
  // 3-bar: (160 - 20) / 280 x 376 = 188 -> top 376 - 188 - 1.
  EXPECT_EQ(TripMapBarTop(TripMapBarFor(3), 160.0), 187);
}

TEST(TripReadoutDigits, AsTheDisplayShowsThem) {
  TripValues v;
  v.instant = 7;
  v.average = 54;
  v.distance = 12345;  // 1234.5 miles: whole miles, no point
  v.fuel = 1207;
  TripReadout r = ReadTripDigits(v);
  EXPECT_EQ(r.instant, 7u);
  EXPECT_EQ(r.averageWhole, 5u);
  EXPECT_EQ(r.averageTenths, 4u);
  EXPECT_TRUE(r.distanceWhole);
  EXPECT_EQ(r.distanceUnits, 1234u);
  EXPECT_EQ(r.fuelWhole, 12u);
  EXPECT_EQ(r.fuelHundredths, 7u);
  v.distance = 9999;
  r = ReadTripDigits(v);
  EXPECT_FALSE(r.distanceWhole);
  EXPECT_EQ(r.distanceUnits, 999u);
  EXPECT_EQ(r.distanceTenths, 9u);
  v.average = 1234;  // beyond three digits the leading one stays at 9
  EXPECT_EQ(ReadTripDigits(v).averageWhole, 93u);
}

TEST_F(TripTest, ResetClearsTotalsAndCalibration) {
  FeedSteady(100, 4, 4);
  ASSERT_GT(trip.Totals().vss, 0.0);
  trip.ResetTrip();
  const TripState s = trip.State();
  EXPECT_DOUBLE_EQ(s.totals.vss, 0.0);
  EXPECT_DOUBLE_EQ(s.totals.pw, 0.0);
  EXPECT_EQ(s.totals.vssPpm, 0);
  EXPECT_EQ(s.totals.flowConstant, 0);
  EXPECT_EQ(s.minBpc, TRIP_NO_BPC);
  EXPECT_EQ(s.callCounter, 0);
  const TripValues v = trip.ComputeValues();
  EXPECT_EQ(v.distance, 0u);
  EXPECT_EQ(v.average, 0u);
  EXPECT_EQ(v.fuel, 0u);
  EXPECT_EQ(v.instant, 99u);  // an empty history: no fuel in the window
}

TEST_F(TripTest, TotalsComeFromAndGoBackToTheSettings) {
  settings.totalVss = 2002000.0;
  settings.totalPw = 5.5;
  settings.tripVssPpm = 2002;
  settings.tripFlowConstant = 144;
  TripComputer fromConfig(settings, record, surface);
  EXPECT_EQ(fromConfig.ComputeValues().distance, 10000u);  // 1000.0 miles
  VistrelSettings out;
  fromConfig.StoreTotals(out);
  EXPECT_DOUBLE_EQ(out.totalVss, 2002000.0);
  EXPECT_DOUBLE_EQ(out.totalPw, 5.5);
  EXPECT_EQ(out.tripVssPpm, 2002);
  EXPECT_EQ(out.tripFlowConstant, 144);
}

TEST_F(TripTest, DrawsEveryDivisorPlusOneFramesWhileShown) {
  settings.updateDivisor = 3;
  trip.ReloadSettings();
  FeedSteady(74, 1, 1, 1);
  EXPECT_EQ(surface.draws, 0);  // the history is still filling
  FeedSteady(8, 1, 1, 1);
  EXPECT_EQ(surface.draws, 2);  // frames 78 and 82
  FeedSteady(8, 1, 1, 0);
  EXPECT_EQ(surface.draws, 2);  // not shown: no drawing
}

TEST_F(TripTest, OnlyChangedDigitsAreRedrawn) {
  FeedSteady(74, 0, 0);
  input.status13 = 0x80;
  FeedSteady(1, 0, 0, 1);  // first draw: every digit position is new
  const int rpmThousands = surface.canvas.GlyphsDrawnAt(26, 302);
  EXPECT_EQ(rpmThousands, 1);
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(187, 122), 1);
  surface.canvas.ops.clear();
  FeedSteady(1, 0, 0, 1);  // nothing moved
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(26, 302), 0);
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(266, 302), 0);
  EXPECT_EQ(surface.canvas.TextAt(375, 527), nullptr);  // the PE box stays as it is
  record.rpm = 2010;
  FeedSteady(1, 0, 0, 1);
  // 2000 -> 2010: only the tens digit changes.
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(26, 302), 0);
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(106, 302), 0);
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(186, 302), 1);
  EXPECT_EQ(surface.canvas.GlyphsDrawnAt(266, 302), 0);
}

TEST_F(TripTest, PeBoxAndLeanCruise) {
  FeedSteady(74, 0, 0);
  input.status13 = 0x80;
  FeedSteady(1, 0, 0, 1);
  const Op* pe = surface.canvas.TextAt(375, 527);
  ASSERT_NE(pe, nullptr);
  EXPECT_EQ(pe->text, "PE MODE");
  EXPECT_EQ(pe->colour, COLOUR_BACKGROUND);
  bool red = false;
  for (const Op& op : surface.canvas.ops)
    red |= op.fill && op.l == 225 && op.t == 512 && op.r == 575 && op.b == 550 && op.colour == RgbColour(232, 32, 32);
  EXPECT_TRUE(red);
  surface.canvas.ops.clear();
  input.status13 = 0;
  input.status3 = 0x04;
  FeedSteady(1, 0, 0, 1);
  const Op* lean = surface.canvas.TextAt(360, 526);
  ASSERT_NE(lean, nullptr);
  EXPECT_EQ(lean->text, "Lean Cruise");
  surface.canvas.ops.clear();
  input.status3 = 0;
  FeedSteady(1, 0, 0, 1);
  ASSERT_FALSE(surface.canvas.ops.empty());
  bool cleared = false;
  for (const Op& op : surface.canvas.ops)
    cleared |= op.fill && op.l == 200 && op.t == 512 && op.r == 600 && op.b == 550 && op.colour == COLOUR_BACKGROUND;
  EXPECT_TRUE(cleared);
}

TEST_F(TripTest, StaticLabelsByUnits) {
  OpCanvas canvas;
  trip.PaintTrip(canvas);
  ASSERT_NE(canvas.TextAt(219, 218), nullptr);
  EXPECT_EQ(canvas.TextAt(219, 218)->text, " Instant MPG");
  EXPECT_EQ(canvas.TextAt(570, 398)->text, "Miles Traveled");
  EXPECT_EQ(canvas.TextAt(554, 492)->text, "Gallons Consumed");
  EXPECT_EQ(canvas.TextAt(152, 492), nullptr);  // no wideband configured
  // The 1-bar MAP scale: 100 at the top, 20 at the bottom (171 rows below).
  EXPECT_EQ(canvas.TextAt(388, 292)->text, "100");
  EXPECT_EQ(canvas.TextAt(388, 300 + 171 - 8)->text, "20");
  settings.speedInKph = 1;
  OpCanvas metric;
  trip.PaintTrip(metric);
  EXPECT_EQ(metric.TextAt(219, 218)->text, "Instant Km/L");
  EXPECT_EQ(metric.TextAt(540, 218)->text, "Average Km/L");
  EXPECT_EQ(metric.TextAt(570, 398)->text, "  Km Traveled ");
  EXPECT_EQ(metric.TextAt(554, 492)->text, " Litres Consumed");
}

TEST_F(TripTest, DistanceAboveNineThousandNineHundredNinetyNineTenthsBlanksThePoint) {
  settings.totalVss = 1234.5 * 2002;
  settings.tripVssPpm = 2002;
  settings.tripFlowConstant = 144;
  TripComputer far(settings, record, surface);
  OpCanvas canvas;
  far.PaintTrip(canvas);
  // The point cell at (660, 302 + 6 x 12): drawn as a blank 4 x 7 glyph, so
  // its last row is not filled.
  bool pointInk = false;
  for (const Op& op : canvas.ops)
    pointInk |= op.fill && op.l == 668 && op.t == 302 + 72 && op.colour == COLOUR_TEXT;
  EXPECT_FALSE(pointInk);
  EXPECT_TRUE(ReadTripDigits(far.ComputeValues()).distanceWhole);
  EXPECT_EQ(ReadTripDigits(far.ComputeValues()).distanceUnits, 1234u);
}

}  // namespace
}  // namespace zrm
