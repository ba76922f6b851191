// The gauge display's model and painters without a window: needle geometry,
// scales, bar levels, lamps, boost scale, gear text, the update rate, and
// what each layer draws where.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "displays/gauge_display.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Every call a painter makes, in order.
struct Op {
  enum Kind { TEXT, LINE, RECTANGLE, FILL, ELLIPSE, ARC } kind;
  int a, b, c, d;  // text: x, y; shapes: left/top/right/bottom or line ends
  std::string text;
  TextAlign align = TextAlign::Left;
  FontId font = FontId::Normal;
  Colour colour = 0;  // text colour, pen colour, or fill colour
  Colour back = 0;
  int penWidth = 0;
  std::array<int, 4> arcRays{};
};

class RecordingCanvas : public Canvas {
 public:
  void SetFont(FontId f) override { font_ = f; }
  void SetTextColour(Colour c) override { text_ = c; }
  void SetBackColour(Colour c) override { back_ = c; }
  void SetTransparentText(bool) override {}
  void SetPen(Colour c, int width, PenStyle) override {
    pen_ = c;
    penWidth_ = width;
  }
  void SetNullPen() override { penWidth_ = 0; }
  void SetBrush(Colour c) override { brush_ = c; }
  void SetNullBrush() override {}
  void Text(int x, int y, std::string_view t, TextAlign align) override {
    Op op{Op::TEXT, x, y, 0, 0, std::string(t)};
    op.align = align;
    op.font = font_;
    op.colour = text_;
    op.back = back_;
    ops.push_back(op);
  }
  int TextWidth(std::string_view t) override { return static_cast<int>(t.size()) * 8; }
  int TextHeight() override { return 12; }
  void Line(int x1, int y1, int x2, int y2) override { ops.push_back(Shape(Op::LINE, x1, y1, x2, y2, pen_)); }
  void Polyline(const CanvasPoint*, int) override {}
  void Rectangle(int l, int t, int r, int b) override { ops.push_back(Shape(Op::RECTANGLE, l, t, r, b, pen_)); }
  void FillRect(int l, int t, int r, int b, Colour c) override { ops.push_back(Shape(Op::FILL, l, t, r, b, c)); }
  void Ellipse(int l, int t, int r, int b) override { ops.push_back(Shape(Op::ELLIPSE, l, t, r, b, brush_)); }
  void Arc(int l, int t, int r, int b, int xs, int ys, int xe, int ye) override {
    Op op = Shape(Op::ARC, l, t, r, b, pen_);
    op.arcRays = {xs, ys, xe, ye};
    ops.push_back(op);
  }
  void SetPixel(int, int, Colour) override {}
  void InvertRect(int, int, int, int) override {}
  void ScrollRect(int, int, int, int, int, int) override {}

  std::vector<Op> Of(Op::Kind kind) const {
    std::vector<Op> out;
    for (const Op& op : ops)
      if (op.kind == kind) out.push_back(op);
    return out;
  }
  const Op* TextAt(int x, int y) const {
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
      if (it->kind == Op::TEXT && it->a == x && it->b == y) return &*it;
    return nullptr;
  }
  bool HasText(const std::string& text) const {
    return std::any_of(ops.begin(), ops.end(), [&](const Op& op) { return op.kind == Op::TEXT && op.text == text; });
  }

  std::vector<Op> ops;

 private:
  Op Shape(Op::Kind kind, int a, int b, int c, int d, Colour colour) const {
    Op op{kind, a, b, c, d, {}};
    op.colour = colour;
    op.penWidth = penWidth_;
    return op;
  }
  FontId font_ = FontId::Normal;
  Colour text_ = 0, back_ = 0, pen_ = 0, brush_ = 0;
  int penWidth_ = 1;
};

// A surface that paints straight into a recording canvas and counts the
// window's repaint requests.
class RecordingSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override {
    ++draws;
    painter(canvas);
  }
  void InvalidateAll() override { ++invalidates; }
  RecordingCanvas canvas;
  int draws = 0;
  int invalidates = 0;
};

constexpr int BarIndex(const char* label, int filter = SHOW_ALWAYS) {
  for (std::size_t i = 0; i < BAR_GAUGES.size(); ++i) {
    if (std::string_view(BAR_GAUGES[i].label) == label && BAR_GAUGES[i].temperatureFilter == filter)
      return static_cast<int>(i);
  }
  return -1;
}

constexpr int TPS = BarIndex("TPS");
constexpr int BST = BarIndex("BST");
constexpr int KNK = BarIndex("KNK  ");
constexpr int CTS_C = BarIndex("CTS", SHOW_CELSIUS);
constexpr int CTS_F = BarIndex("CTS", SHOW_FAHRENHEIT);
constexpr int FUEL_CUT = 20;
constexpr int SES = static_cast<int>(STATUS_LAMPS.size());

Bytes QuietFrame() {
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::statusByte6] = 0x80;  // fuel enabled, so FuelCut is dark
  return f;
}

struct GaugeFixture : ::testing::Test {
  VistrelSettings settings;
  RuntimeRecord record;
  RecordingSurface surface;
  int knocks = 0;
  GaugeDisplay gauge{settings, record, surface, [this] { return knocks; }};

  void SetUp() override {
    SetSpeedUnit(0);
    settings.updateDivisor = 0;
    gauge.ReloadSettings();
  }
  void TearDown() override { SetSpeedUnit(0); }
};

TEST(GaugeGeometry, DialPointsRunClockwiseFromStraightDown) {
  struct Case {
    double angle, radius;
    int x, y;
  };
  // sin 45 deg x 63.08 = 44.604; points are truncated toward zero.
  const Case cases[] = {
      {180, 76, 280, 134},   {270, 76, 356, 210},    {225, 76, 333, 156},    {135, 100, 209, 139},
      {45, 63.08, 235, 254}, {315, 63.08, 324, 254}, {180, 63.08, 280, 146},
  };
  for (const Case& c : cases) {
    const CanvasPoint p = DialPoint(280, 210, c.angle, c.radius);
    EXPECT_EQ(p.x, c.x) << "angle " << c.angle << " radius " << c.radius;
    EXPECT_EQ(p.y, c.y) << "angle " << c.angle << " radius " << c.radius;
  }
}

TEST(GaugeGeometry, ValueAnglesAreHeldAtTheEndOfTheScale) {
  struct Case {
    double value, range, angle;
  };
  const Case cases[] = {
      {0, 120, 45},    {60, 120, 180},    {120, 120, 315}, {200, 120, 315},
      {3500, 7000, 180}, {8000, 7000, 315}, {30, 0, 45},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(ValueAngle(c.value, c.range), c.angle) << c.value << "/" << c.range;
}

TEST(GaugeGeometry, DialScalesDivideThe270Degrees) {
  struct Case {
    int range;
    bool speed;
    int count, labelStep;
  };
  const Case cases[] = {
      {120, true, 12, 10}, {180, true, 18, 10}, {190, true, 9, 20}, {340, true, 17, 20}, {10, true, 1, 10},
      {7000, false, 7, 1}, {8000, false, 8, 1}, {1000, false, 1, 1},
  };
  for (const Case& c : cases) {
    const DialScale s = c.speed ? SpeedometerScale(c.range) : TachometerScale(c.range);
    EXPECT_EQ(s.count, c.count) << c.range;
    EXPECT_EQ(s.labelStep, c.labelStep) << c.range;
    EXPECT_LE(s.stepAngle * s.count, 270.0 + 1e-9) << c.range;
  }
  EXPECT_EQ(TachometerScale(500).count, 0);
}

// Every label stands where the needle points for its value, whatever the
// full scale: at 190 mph the last label, 180, is at 300.8 degrees, not at the
// end of the scale.
TEST(GaugeGeometry, DialLabelsStandWhereTheNeedlePointsForTheirValue) {
  for (int range = 10; range <= 340; ++range) {
    const DialScale s = SpeedometerScale(range);
    ASSERT_GT(s.count, 0) << range;
    EXPECT_LE(s.count * s.labelStep, range) << range;
    EXPECT_GT((s.count + 1) * s.labelStep, range) << range;
    for (int k = 0; k <= s.count; ++k) {
      EXPECT_NEAR(DIAL_START_ANGLE + k * s.stepAngle, ValueAngle(k * s.labelStep, range), 1e-9)
          << range << " mph, label " << k * s.labelStep;
    }
  }
  for (int range = 1000; range <= 8000; range += 50) {
    const DialScale s = TachometerScale(range);
    EXPECT_LE(s.count * 1000, range) << range;
    for (int k = 0; k <= s.count; ++k) {
      EXPECT_NEAR(DIAL_START_ANGLE + k * s.stepAngle, ValueAngle(k * 1000.0, range), 1e-9)
          << range << " rpm, label " << k;
    }
  }
  EXPECT_NEAR(DIAL_START_ANGLE + SpeedometerScale(190).count * SpeedometerScale(190).stepAngle, 300.7894736842, 1e-6);
}

TEST(GaugeGeometry, BarLevelsSpan171RowsAndClamp) {
  struct Case {
    double value;
    int min, max, level;
  };
  const Case cases[] = {
      {0, 0, 100, 170},  {100, 0, 100, -1},  {50, 0, 100, 84},  {25, 0, 100, 127}, {-30, 0, 100, 170},
      {400, 0, 100, -1}, {20, 20, 100, 170}, {60, 20, 100, 84}, {50, -20, 120, 84}, {7.5, 0, 15, 84},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BarLevel(c.value, c.min, c.max), c.level) << c.value << " in " << c.min << ".." << c.max;
  }
  EXPECT_EQ(BarScaleRow(100, 0, 100), 0);
  EXPECT_EQ(BarScaleRow(0, 0, 100), 171);
}

TEST(GaugeTables, FormatsMatchTheirDecimalFlagAndBarsKeepTheirPlaces) {
  for (const BarGaugeRow& row : BAR_GAUGES) {
    const std::string format = row.format;
    EXPECT_EQ(format.find('f') != std::string::npos, row.decimal) << row.label;
    EXPECT_EQ(row.convert == nullptr, row.offset < 0) << row.label;
    EXPECT_EQ((row.scaleMax - row.scaleMin) % row.scaleStep, 0) << row.label;
  }
  // A second bar stands 13 pixels right of the bar whose scale it shares.
  for (std::size_t i = 1; i < BAR_GAUGES.size(); ++i) {
    if (!BAR_GAUGES[i].secondBar) continue;
    EXPECT_EQ(BAR_GAUGES[i].x, BAR_GAUGES[i - 1].x + 13) << BAR_GAUGES[i].label;
    EXPECT_EQ(BAR_GAUGES[i].scaleMax, BAR_GAUGES[i - 1].scaleMax) << BAR_GAUGES[i].label;
  }
}

TEST(GaugeLamps, StatesFollowTheirBitsAndFuelCutIsInverted) {
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  EXPECT_TRUE(LampOn(STATUS_LAMPS[FUEL_CUT], f.data()));
  EXPECT_FALSE(LampOn(STATUS_LAMPS[0], f.data()));
  f[field::statusByte6] = 0x80;
  f[field::statusByte1] = 0x80;
  EXPECT_FALSE(LampOn(STATUS_LAMPS[FUEL_CUT], f.data()));
  EXPECT_TRUE(LampOn(STATUS_LAMPS[0], f.data()));
  f[field::statusByte1] = 0x7F;  // every other bit of the byte
  EXPECT_FALSE(LampOn(STATUS_LAMPS[0], f.data()));
  f[field::statusByte11] = 0x01;
  EXPECT_TRUE(LampOn(SES_LAMP, f.data()));
}

TEST(GaugeBoost, SensorRangeSetsValueAndScale) {
  const BoostReading one = BoostForSensor(1, 100);
  EXPECT_FALSE(one.hasScale);
  EXPECT_EQ(one.psi, 0.0);
  const BoostReading two = BoostForSensor(2, 100);
  EXPECT_TRUE(two.hasScale);
  EXPECT_NEAR(two.psi, 62.5 * 0.145037738, 1e-9);
  EXPECT_EQ(two.scaleMax, 15);
  EXPECT_EQ(two.scaleStep, 5);
  const BoostReading three = BoostForSensor(3, 100);
  EXPECT_NEAR(three.psi, 123.35 * 0.145037738, 1e-9);
  EXPECT_EQ(three.scaleMax, 30);
  EXPECT_EQ(three.scaleStep, 10);
}

TEST(GaugeGear, TextByTransmissionType) {
  struct Case {
    int transType, gear, byte15, byte5;
    const char* text;
  };
  const Case cases[] = {
      {0, 3, 0, 0, "  3  "},          {0, 12, 0, 0, "  9  "},        {0, 0, 0x10, 0x20, "  0  "},
      {1, 3, 0x10, 0x20, " P/N "},    {1, 3, 0, 0x20, "   D   "},    {1, 3, 0, 0, " OD "},
      {1, 3, 0xEF, 0xDF, " OD "},
  };
  for (const Case& c : cases) {
    Bytes f(FRAME_PAYLOAD_SIZE, 0);
    f[field::gear] = static_cast<std::uint8_t>(c.gear);
    f[field::statusByte15] = static_cast<std::uint8_t>(c.byte15);
    f[field::statusByte5] = static_cast<std::uint8_t>(c.byte5);
    EXPECT_EQ(GearText(f.data(), c.transType), c.text) << c.transType << " " << c.gear;
  }
}

TEST_F(GaugeFixture, FrameStoresBarValuesFromTheirSources) {
  Bytes f = QuietFrame();
  f[field::tpsRaw] = 128;
  f[field::basePw] = 0x03;  // 0x0300 = 768 / 65.536 = 11.72 ms
  f[field::basePw + 1] = 0x00;
  f[field::ctsRaw] = 120;
  knocks = 321;
  gauge.GaugeFrame(f.data(), 0);
  EXPECT_DOUBLE_EQ(gauge.BarValue(TPS), 50.0);
  EXPECT_NEAR(gauge.BarValue(BarIndex("sPW")), 768 / 65.536, 1e-9);
  EXPECT_NEAR(gauge.BarValue(CTS_C), 50.0, 1e-9);
  EXPECT_NEAR(gauge.BarValue(CTS_F), 122.0, 1e-9);
  EXPECT_DOUBLE_EQ(gauge.BarValue(KNK), 321.0);
  EXPECT_FALSE(gauge.LampState(FUEL_CUT));
  f[field::statusByte6] = 0;
  gauge.GaugeFrame(f.data(), 0);
  EXPECT_TRUE(gauge.LampState(FUEL_CUT));
}

TEST_F(GaugeFixture, DrawsOnEveryDivisorPlusOneFrameOnlyWhileActive) {
  const Bytes f = QuietFrame();
  for (int divisor : {3, 2, 1, 0}) {
    SCOPED_TRACE(divisor);
    settings.updateDivisor = divisor;
    gauge.ReloadSettings();
    // Inactive frames count but never draw; the first active frame after
    // them draws at once.
    const int before = surface.draws;
    for (int i = 0; i < 10; ++i) gauge.GaugeFrame(f.data(), 0);
    EXPECT_EQ(surface.draws, before);
    gauge.GaugeFrame(f.data(), 1);
    EXPECT_EQ(surface.draws, before + 1);
    for (int i = 0; i < 4 * (divisor + 1); ++i) gauge.GaugeFrame(f.data(), 1);
    EXPECT_EQ(surface.draws, before + 5);
  }
}

TEST_F(GaugeFixture, StatusValuesAreDrawnBeforeTheGaugeValues) {
  gauge.paintStatusValues = [](Canvas& canvas) { canvas.Text(1, 2, "status", TextAlign::Left); };
  gauge.GaugeFrame(QuietFrame().data(), 1);
  ASSERT_EQ(surface.draws, 1);
  ASSERT_FALSE(surface.canvas.ops.empty());
  EXPECT_EQ(surface.canvas.ops.front().text, "status");
  EXPECT_GT(surface.canvas.ops.size(), 1u);
}

TEST_F(GaugeFixture, BoostScaleChangeAsksForOneRepaint) {
  const Bytes f = QuietFrame();
  record.mapSensorBars = 1;
  gauge.GaugeFrame(f.data(), 0);
  EXPECT_EQ(surface.invalidates, 0);
  EXPECT_EQ(gauge.BarScaleMax(BST), 15);
  record.mapSensorBars = 2;
  for (int i = 0; i < 5; ++i) gauge.GaugeFrame(f.data(), 0);
  EXPECT_EQ(surface.invalidates, 1);  // the first 2-bar frame
  record.mapSensorBars = 3;
  for (int i = 0; i < 5; ++i) gauge.GaugeFrame(f.data(), 1);
  EXPECT_EQ(surface.invalidates, 2);
  EXPECT_EQ(gauge.BarScaleMax(BST), 30);
  // A 1-bar frame keeps the last scale.
  record.mapSensorBars = 1;
  gauge.GaugeFrame(f.data(), 1);
  EXPECT_EQ(surface.invalidates, 2);
  EXPECT_EQ(gauge.BarScaleMax(BST), 30);

  // The static layer then draws the 0..30 scale.
  RecordingCanvas canvas;
  gauge.PaintGaugeStatic(canvas);
  const int x = BAR_GAUGES[BST].x;
  for (const char* label : {" 30", " 20", " 10", "  0"}) {
    bool found = false;
    for (const Op& op : canvas.Of(Op::TEXT)) found |= op.a == x - 12 && op.text == label;
    EXPECT_TRUE(found) << label;
  }
  for (const Op& op : canvas.Of(Op::TEXT)) EXPECT_FALSE(op.a == x - 12 && op.text == " 15");
}

TEST_F(GaugeFixture, TemperatureScaleChoosesTheBars) {
  Bytes f = QuietFrame();
  f[field::ctsRaw] = 120;  // 50 C, 122 F
  f[field::iatRaw] = 80;   // 20 C, 68 F
  gauge.GaugeFrame(f.data(), 0);
  struct Case {
    int scale;
    const char* top;
    const char* bottom;
    const char* cts;
    const char* iat;
    const char* hiddenTop;
  };
  const Case cases[] = {
      {1, " 120", " -20", " 50 \xB0" "C ", " 20 \xB0" "C ", " 245"},
      {0, " 245", " -5", " 122 \xB0" "F ", "  68 \xB0" "F ", " 100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale);
    settings.temperatureScale = c.scale;
    RecordingCanvas canvas;
    gauge.PaintGaugeStatic(canvas);
    gauge.PaintGaugeValues(canvas);
    auto scaleLabel = [&](const char* text) {
      for (const Op& op : canvas.Of(Op::TEXT))
        if (op.a == 109 - 12 && op.text == text && op.align == TextAlign::Right) return true;
      return false;
    };
    EXPECT_TRUE(scaleLabel(c.top));
    EXPECT_TRUE(scaleLabel(c.bottom));
    EXPECT_FALSE(scaleLabel(c.hiddenTop));
    const Op* cts = canvas.TextAt(109 + 4, BAR_TOP - 41);
    ASSERT_NE(cts, nullptr);
    EXPECT_EQ(cts->text, c.cts);
    const Op* iat = canvas.TextAt(122 + 6, BAR_TOP - 25);
    ASSERT_NE(iat, nullptr);
    EXPECT_EQ(iat->text, c.iat);
    // The second bar has no scale of its own, and its label sits lower.
    EXPECT_NE(canvas.TextAt(122 - 16, BAR_TOP + 193), nullptr);
    for (const Op& op : canvas.Of(Op::TEXT)) EXPECT_NE(op.a, 122 - 12) << op.text;
  }
}

TEST_F(GaugeFixture, RedArcRunsFromTheRedlineToTheEndOfTheScale) {
  struct Case {
    int redline;
    bool arc;
  };
  const Case cases[] = {{5800, true}, {0, true}, {7000, false}, {7500, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.redline);
    settings.redline = c.redline;
    settings.rpmRange = 7000;
    RecordingCanvas canvas;
    gauge.PaintGaugeStatic(canvas);
    std::vector<Op> red;
    for (const Op& op : canvas.Of(Op::ARC))
      if (op.colour == 0x0A3FD2) red.push_back(op);
    ASSERT_EQ(red.size(), c.arc ? 1u : 0u);
    if (!c.arc) continue;
    const Op& arc = red[0];
    EXPECT_EQ(arc.penWidth, 2);
    // Counter-clockwise on the screen: from the end of the scale back to the redline.
    const CanvasPoint from = DialPoint(TACHO_X, DIAL_Y, 315, 75);
    const CanvasPoint to = DialPoint(TACHO_X, DIAL_Y, c.redline / 7000.0 * 270 + 45, 75);
    EXPECT_EQ(arc.arcRays, (std::array<int, 4>{from.x, from.y, to.x, to.y}));
    EXPECT_EQ(arc.a, TACHO_X - 75);
    EXPECT_EQ(arc.c, TACHO_X + 75);
  }
}

TEST_F(GaugeFixture, StaticLayerDrawsFacesTicksAndLabels) {
  settings.speedRange = 200;
  settings.speedInKph = 1;
  RecordingCanvas canvas;
  gauge.PaintGaugeStatic(canvas);
  const std::vector<Op> faces = canvas.Of(Op::ELLIPSE);
  ASSERT_EQ(faces.size(), 2u);
  EXPECT_EQ(faces[0].a, 204);
  EXPECT_EQ(faces[0].d, 286);
  EXPECT_EQ(faces[1].a, 444);
  EXPECT_EQ(faces[0].colour, DIAL_FACE);
  // 200 km/h: 10 steps of 27 degrees, labelled in twenties.
  int majors = 0, halves = 0, fines = 0;
  for (const Op& op : canvas.Of(Op::LINE)) {
    if (op.colour == 0x000000 && op.penWidth == 2) {
      const double r = std::hypot(op.c - op.a, op.d - op.b);
      (r > 8 ? majors : halves) += 1;
    }
    if (op.colour == 0x0A0A0A && op.penWidth == 1) ++fines;
  }
  EXPECT_EQ(majors, 11 + 8);  // speedometer and tachometer
  EXPECT_EQ(halves, 10 + 7);
  EXPECT_EQ(fines, 70);
  const CanvasPoint last = DialPoint(SPEEDO_X, DIAL_Y, 315, 91);
  const Op* label = canvas.TextAt(last.x, last.y - 6);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text, "200");
  EXPECT_EQ(label->align, TextAlign::Centre);
  const Op* unit = canvas.TextAt(280 - 21, 232);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->text, "KPH");
  EXPECT_EQ(unit->back, DIAL_FACE);
  const Op* seven = canvas.TextAt(DialPoint(TACHO_X, DIAL_Y, 315, 90).x, DialPoint(TACHO_X, DIAL_Y, 315, 90).y - 6);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(seven->text, "7");
  const Op* ses = canvas.TextAt(394 + 25, 266 - 20);
  ASSERT_NE(ses, nullptr);
  EXPECT_EQ(ses->text, "SES");
  const Op* fuelCut = canvas.TextAt(600 - 4, 40 - 4);
  ASSERT_NE(fuelCut, nullptr);
  EXPECT_EQ(fuelCut->text, "FuelCut");
  EXPECT_EQ(fuelCut->align, TextAlign::Right);
  const Op* intLabel = canvas.TextAt(640, 145);
  ASSERT_NE(intLabel, nullptr);
  EXPECT_EQ(intLabel->font, FontId::Value);
  // Without preferred devices there is no wideband or fuel-pressure text.
  EXPECT_EQ(canvas.TextAt(640, 235), nullptr);
  EXPECT_EQ(canvas.TextAt(20, 235), nullptr);
}

TEST_F(GaugeFixture, ValueLayerMovesNeedlesAndPrintsUnlimitedSpeed) {
  Bytes f = QuietFrame();
  f[field::vehicleSpeed] = 60;
  record.rpm = 3500;
  gauge.GaugeFrame(f.data(), 1);
  std::vector<Op> lines = surface.canvas.Of(Op::LINE);
  ASSERT_GE(lines.size(), 4u);
  // Erase the needle at rest, draw the new one, for each dial.
  const CanvasPoint rest = DialPoint(SPEEDO_X, DIAL_Y, 45, NEEDLE_LENGTH);
  EXPECT_EQ(lines[0].colour, DIAL_FACE);
  EXPECT_EQ(lines[0].penWidth, 3);
  EXPECT_EQ(lines[0].c, rest.x);
  EXPECT_EQ(lines[0].d, rest.y);
  EXPECT_EQ(lines[1].colour, NEEDLE_COLOUR);
  EXPECT_EQ(lines[1].c, 280);
  EXPECT_EQ(lines[1].d, 146);
  EXPECT_EQ(lines[3].c, 520);
  EXPECT_EQ(lines[3].d, 146);
  const Op* speedText = surface.canvas.TextAt(270, 248);
  ASSERT_NE(speedText, nullptr);
  EXPECT_EQ(speedText->text, "  60");
  const Op* rpmText = surface.canvas.TextAt(498, 248);
  ASSERT_NE(rpmText, nullptr);
  EXPECT_EQ(rpmText->text, "  3500   ");

  surface.canvas.ops.clear();
  f[field::vehicleSpeed] = 200;
  gauge.GaugeFrame(f.data(), 1);
  lines = surface.canvas.Of(Op::LINE);
  EXPECT_EQ(lines[0].c, 280);  // the old tip erased
  EXPECT_EQ(lines[0].d, 146);
  EXPECT_EQ(lines[1].c, 324);  // held at 315 degrees
  EXPECT_EQ(lines[1].d, 254);
  ASSERT_NE(surface.canvas.TextAt(270, 248), nullptr);
  EXPECT_EQ(surface.canvas.TextAt(270, 248)->text, " 200");
}

TEST_F(GaugeFixture, ValueLayerDrawsOnlyWhatChanged) {
  RecordingCanvas staticCanvas;
  gauge.PaintGaugeStatic(staticCanvas);
  Bytes f = QuietFrame();
  f[field::tpsRaw] = 128;  // level 84
  gauge.GaugeFrame(f.data(), 1);
  auto barRows = [&](int x, Colour colour) {
    std::vector<int> rows;
    for (const Op& op : surface.canvas.Of(Op::LINE))
      if (op.a == x - 1 && op.c == x + 10 && op.b == op.d && op.colour == colour) rows.push_back(op.b - BAR_TOP);
    std::sort(rows.begin(), rows.end());
    return rows;
  };
  const int x = BAR_GAUGES[TPS].x;
  std::vector<int> grown = barRows(x, BarColour(2));
  ASSERT_EQ(grown.size(), 171u - 84u);  // rows 85 to 171
  EXPECT_EQ(grown.front(), 85);
  EXPECT_EQ(grown.back(), 171);
  EXPECT_EQ(gauge.BarDrawnLevel(TPS), 84);
  // Lamp fills, apart from the clearing of the value fields.
  auto lampFills = [&] {
    std::vector<Op> fills;
    for (const Op& op : surface.canvas.Of(Op::FILL))
      if (op.colour != COLOUR_BACKGROUND && op.colour != DIAL_FACE) fills.push_back(op);
    return fills;
  };
  EXPECT_EQ(lampFills().size(), STATUS_LAMPS.size() + 1);  // every lamp once

  // Nothing moved: no bar rows, no lamps.
  surface.canvas.ops.clear();
  gauge.GaugeFrame(f.data(), 1);
  EXPECT_TRUE(barRows(x, BarColour(2)).empty());
  EXPECT_TRUE(barRows(x, DIAL_FACE).empty());
  EXPECT_TRUE(lampFills().empty());

  // The bar falls to level 127 and FuelCut comes on.
  surface.canvas.ops.clear();
  f[field::tpsRaw] = 64;
  f[field::statusByte6] = 0;
  gauge.GaugeFrame(f.data(), 1);
  const std::vector<int> cleared = barRows(x, DIAL_FACE);
  ASSERT_EQ(cleared.size(), 127u - 84u);
  EXPECT_EQ(cleared.front(), 85);
  EXPECT_EQ(cleared.back(), 127);
  const std::vector<Op> fills = lampFills();
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].a, 600);
  EXPECT_EQ(fills[0].b, 40);
  EXPECT_EQ(fills[0].c, 613);
  EXPECT_EQ(fills[0].d, 49);
  EXPECT_EQ(fills[0].colour, LampOnColour(0));

  // A static paint makes every lamp draw again and redraws the bar to its level.
  RecordingCanvas again;
  gauge.PaintGaugeStatic(again);
  bool barFilled = false;
  for (const Op& op : again.Of(Op::FILL))
    barFilled |= op.a == x - 1 && op.b == BAR_TOP + 128 && op.d == BAR_TOP + 172 && op.colour == BarColour(2);
  EXPECT_TRUE(barFilled);
  // Drawn without levels (the port brings nothing): every bar is empty.
  RecordingCanvas empty;
  gauge.PaintGaugeStatic(empty, false);
  const auto levelFills = [](const RecordingCanvas& c) {
    std::size_t n = 0;
    for (const Op& op : c.Of(Op::FILL))
      for (const BarGaugeRow& row : BAR_GAUGES)
        if (op.a == row.x - 1 && op.b > BAR_TOP && op.colour != DIAL_FACE) ++n;
    return n;
  };
  ASSERT_GE(levelFills(again), 1u);
  EXPECT_EQ(levelFills(empty), 0u);
  surface.canvas.ops.clear();
  gauge.GaugeFrame(f.data(), 1);
  EXPECT_EQ(lampFills().size(), STATUS_LAMPS.size() + 1);
}

TEST_F(GaugeFixture, TextReadoutsUseTheirFormatsAndPlaces) {
  Bytes f = QuietFrame();
  f[field::integrator] = 128;
  f[field::blm] = 7;
  f[field::commandedAfr] = 147;
  f[field::ignitionVolts] = 138;
  f[field::o2Raw] = 100;  // 442 mV
  f[field::gear] = 4;
  gauge.GaugeFrame(f.data(), 1);
  struct Expect {
    int x, y;
    const char* text;
    TextAlign align;
    FontId font;
    Colour back;
  };
  const Expect expected[] = {
      // The column's values stand in fields cleared from behind their labels.
      {770, 145, "128", TextAlign::Right, FontId::Value, COLOUR_BACKGROUND},
      {770, 175, "7", TextAlign::Right, FontId::Value, COLOUR_BACKGROUND},
      {770, 205, "14.7", TextAlign::Right, FontId::Value, COLOUR_BACKGROUND},
      {405, 145, "  4  ", TextAlign::Centre, FontId::Value, COLOUR_BACKGROUND},
      {34, 299, " 13.8 V ", TextAlign::Left, FontId::Normal, COLOUR_BACKGROUND},
      {768, 299, "  442 ", TextAlign::Left, FontId::Normal, COLOUR_BACKGROUND},
  };
  for (const Expect& e : expected) {
    const Op* t = surface.canvas.TextAt(e.x, e.y);
    ASSERT_NE(t, nullptr) << e.text;
    EXPECT_EQ(t->text, e.text);
    EXPECT_EQ(t->align, e.align) << e.text;
    EXPECT_EQ(t->font, e.font) << e.text;
    EXPECT_EQ(t->colour, COLOUR_TEXT) << e.text;
    EXPECT_EQ(t->back, e.back) << e.text;
  }
}

// Preferred devices: names on the static layer, values on the value layer.
class FixedChannels : public PreferredChannels {
 public:
  bool HasWideband() const override { return true; }
  PreferredReading Wideband() const override { return {"LC-1", 2, 14.68}; }
  bool HasFuelPressure() const override { return true; }
  PreferredReading FuelPressure() const override { return {"Fuel", 5, 43.26}; }
};

TEST(GaugePreferred, WidebandAndFuelPressureAppearWhenConfigured) {
  VistrelSettings settings;
  settings.updateDivisor = 0;
  RuntimeRecord record;
  RecordingSurface surface;
  FixedChannels channels;
  GaugeDisplay gauge(settings, record, surface, {}, &channels);
  RecordingCanvas canvas;
  gauge.PaintGaugeStatic(canvas);
  ASSERT_NE(canvas.TextAt(640, 235), nullptr);
  EXPECT_EQ(canvas.TextAt(640, 235)->text, "WB:   ");
  ASSERT_NE(canvas.TextAt(640, 265), nullptr);
  EXPECT_EQ(canvas.TextAt(640, 265)->text, "LC-1  Ch: 2");
  EXPECT_EQ(canvas.TextAt(640, 265)->font, FontId::Normal);
  ASSERT_NE(canvas.TextAt(20, 265), nullptr);
  EXPECT_EQ(canvas.TextAt(20, 265)->text, "Fuel  Ch: 5  ");
  gauge.GaugeFrame(QuietFrame().data(), 1);
  ASSERT_NE(surface.canvas.TextAt(770, 235), nullptr);
  EXPECT_EQ(surface.canvas.TextAt(770, 235)->text, "14.7");
  ASSERT_NE(surface.canvas.TextAt(135, 235), nullptr);
  EXPECT_EQ(surface.canvas.TextAt(135, 235)->text, "43.3");
}

// Readings set by the test between frames.
class ChangingChannels : public PreferredChannels {
 public:
  bool HasWideband() const override { return true; }
  PreferredReading Wideband() const override { return {"LC-1", 2, wideband}; }
  bool HasFuelPressure() const override { return true; }
  PreferredReading FuelPressure() const override { return {"Fuel", 5, fuel}; }
  double wideband = 0.0;
  double fuel = 0.0;
};

// A preferred device's value stands in a field cleared from behind its label
// to its right edge before it is drawn: after a long value a short one leaves
// no digit of it, and the label's last character stays.
TEST(GaugePreferred, ShorterReadingsLeaveNothingAndKeepTheirLabels) {
  struct Case {
    const char* label;
    int labelX, right, y;
    double ChangingChannels::*reading;
  };
  const Case cases[] = {
      {"WB:", 640, 770, 235, &ChangingChannels::wideband},
      {"Fuel:", 20, 135, 235, &ChangingChannels::fuel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    VistrelSettings settings;
    settings.updateDivisor = 0;
    RuntimeRecord record;
    RecordingSurface surface;
    ChangingChannels channels;
    GaugeDisplay gauge(settings, record, surface, {}, &channels);
    channels.*c.reading = 99.9;
    gauge.GaugeFrame(QuietFrame().data(), 1);
    const Op* wide = surface.canvas.TextAt(c.right, c.y);
    ASSERT_NE(wide, nullptr);
    const int wideLeft = c.right - surface.canvas.TextWidth(wide->text);

    surface.canvas.ops.clear();
    channels.*c.reading = 5.0;
    gauge.GaugeFrame(QuietFrame().data(), 1);
    const Op* narrow = surface.canvas.TextAt(c.right, c.y);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->text, "5.0");
    // The clearing fill comes before the text and spans the old value.
    const Op* clearing = nullptr;
    for (const Op& op : surface.canvas.ops) {
      if (&op == narrow) break;
      if (op.kind == Op::FILL && op.b <= c.y && op.d >= c.y + 12 && op.c >= c.right && op.a < c.right) clearing = &op;
    }
    ASSERT_NE(clearing, nullptr);
    EXPECT_EQ(clearing->colour, COLOUR_BACKGROUND);
    EXPECT_LE(clearing->a, wideLeft);
    EXPECT_GE(clearing->a, c.labelX + surface.canvas.TextWidth(c.label));  // the label keeps its last character
  }
}

}  // namespace
}  // namespace zrm
