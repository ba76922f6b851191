// The gauge display painted on the retained surface, checked by pixel:
// needles, lamps, bar levels, the temperature bars, the red arc, and the
// one repaint a boost-scale change asks for.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "displays/gauge_display.h"
#include "gui/qt_canvas.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PixelAt;

constexpr Colour LAMP_GREEN = 0x0ADC14;
constexpr Colour OUTLINE = 0x141414;

Bytes QuietFrame() {
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::statusByte6] = 0x80;  // fuel enabled
  return f;
}

struct GaugePixels : ::testing::Test {
  VistrelSettings settings;
  RuntimeRecord record;
  RetainedSurface surface{800, 600};
  GaugeDisplay gauge{settings, record, surface};

  void SetUp() override {
    SetSpeedUnit(0);
    settings.updateDivisor = 0;
    PaintWindow();
  }

  // What the window paint does for the gauge display.
  void PaintWindow() {
    surface.PaintStatic([this](Canvas& canvas) {
      gauge.PaintGaugeStatic(canvas);
      gauge.PaintGaugeValues(canvas);
    });
  }
  void Frame(const Bytes& f) { gauge.GaugeFrame(f.data(), 1); }
  Colour At(int x, int y) const { return PixelAt(surface.Image(), x, y); }

  bool RectIs(int l, int t, int r, int b, Colour colour) const {
    const QImage image = surface.Image();
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x)
        if (PixelAt(image, x, y) != colour) return false;
    return true;
  }

  // Pixels of `colour` in the ring between two radii and two dial angles.
  int CountInSector(int cx, double fromAngle, double toAngle, double r0, double r1, Colour colour) const {
    const QImage image = surface.Image();
    int n = 0;
    for (int y = DIAL_Y - 80; y <= DIAL_Y + 80; ++y) {
      for (int x = cx - 80; x <= cx + 80; ++x) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - DIAL_Y;
        const double r = std::hypot(dx, dy);
        if (r < r0 || r > r1) continue;
        // Dial angles run clockwise from straight down.
        double a = std::atan2(-dx, dy) * 180.0 / 3.14159265358979;
        if (a < 0) a += 360.0;
        if (a >= fromAngle && a <= toAngle && PixelAt(image, x, y) == colour) ++n;
      }
    }
    return n;
  }
};

// A shorter value leaves nothing of a longer one: after wide values then
// narrow ones the window is what the narrow ones alone paint. The label
// "cAFR:" keeps its colon.
TEST_F(GaugePixels, ShorterValuesLeaveNothingBehind) {
  Bytes wide = QuietFrame();
  wide[field::vehicleSpeed] = 85;
  wide[field::tpsRaw] = 255;
  wide[field::integrator] = 128;
  wide[field::blm] = 200;
  wide[field::commandedAfr] = 147;
  Bytes narrow = QuietFrame();
  narrow[field::commandedAfr] = 95;
  Frame(wide);
  Frame(narrow);

  VistrelSettings freshSettings = settings;
  RuntimeRecord freshRecord;
  RetainedSurface freshSurface{800, 600};
  GaugeDisplay fresh{freshSettings, freshRecord, freshSurface};
  freshSurface.PaintStatic([&](Canvas& canvas) {
    fresh.PaintGaugeStatic(canvas);
    fresh.PaintGaugeValues(canvas);
  });
  fresh.GaugeFrame(narrow.data(), 1);
  const QImage got = surface.Image();
  const QImage expected = freshSurface.Image();
  int differing = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x)
      if (got.pixel(x, y) != expected.pixel(x, y)) ++differing;
  EXPECT_EQ(differing, 0);

  // The colon of "cAFR:" is still there beside a wide value.
  Frame(wide);
  QImage labelOnly(800, 600, QImage::Format_RGB32);
  QtCanvas canvas(labelOnly);
  canvas.FillRect(0, 0, 800, 600, COLOUR_BACKGROUND);
  canvas.SetFont(FontId::Value);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.Text(640, 205, "cAFR:");
  const int colonRight = 640 + canvas.TextWidth("cAFR:");
  const QImage now = surface.Image();
  for (int y = 205; y < 205 + canvas.TextHeight(); ++y)
    for (int x = 640; x < colonRight; ++x)
      if (PixelAt(labelOnly, x, y) == COLOUR_TEXT) {
        ASSERT_EQ(PixelAt(now, x, y), COLOUR_TEXT) << x << "," << y;
      }
}

TEST_F(GaugePixels, NeedlesPointAtTheirValuesAndStopAtTheEnd) {
  Bytes f = QuietFrame();
  f[field::vehicleSpeed] = 60;  // half of 120: straight up
  record.rpm = 3500;            // half of 7000
  Frame(f);
  for (int cx : {SPEEDO_X, TACHO_X}) {
    SCOPED_TRACE(cx);
    for (int y = 150; y < 205; y += 5) EXPECT_EQ(At(cx, y), NEEDLE_COLOUR) << y;
    EXPECT_NE(At(cx, 142), NEEDLE_COLOUR);  // beyond the tip at 146
    EXPECT_EQ(At(cx - 3, 170), DIAL_FACE);
    EXPECT_EQ(At(cx + 3, 170), DIAL_FACE);
  }
  // The needle at rest (angle 45) is gone.
  const CanvasPoint rest = DialPoint(SPEEDO_X, DIAL_Y, 45, 40);
  EXPECT_EQ(At(rest.x, rest.y), DIAL_FACE);

  // 200 on a 120 scale stays at 315 degrees; the old needle is erased.
  f[field::vehicleSpeed] = 200;
  Frame(f);
  for (double r : {20.0, 40.0, 60.0}) {
    const CanvasPoint p = DialPoint(SPEEDO_X, DIAL_Y, 315, r);
    EXPECT_EQ(At(p.x, p.y), NEEDLE_COLOUR) << r;
    const CanvasPoint beyond = DialPoint(SPEEDO_X, DIAL_Y, 300, r);
    EXPECT_EQ(At(beyond.x, beyond.y), DIAL_FACE) << r;
  }
  EXPECT_EQ(At(SPEEDO_X, 170), DIAL_FACE);
  EXPECT_EQ(CountInSector(SPEEDO_X, 325, 360, 20, 60, NEEDLE_COLOUR), 0);
  EXPECT_GT(CountInSector(SPEEDO_X, 310, 320, 20, 60, NEEDLE_COLOUR), 80);
}

TEST_F(GaugePixels, LampsFillTheirRectanglesInsideTheOutline) {
  struct Case {
    const char* name;
    int byte;
    std::uint8_t value;
    int x, y, w, h;
    Colour on;
    Colour off;
  };
  const Case cases[] = {
      {"FuelCut on while bit 7 is clear", field::statusByte6, 0x00, 600, 40, 13, 9, LAMP_GREEN, LAMP_OFF},
      {"PE", field::statusByte13, 0x80, 448, 40, 13, 9, 0x1EFFFF, LAMP_OFF},
      {"A/C Rq", field::statusByte15, 0x08, 600, 58, 13, 9, 0x0099FF, LAMP_OFF},
      {"A/C On", field::statusByte5, 0x08, 600, 76, 13, 9, 0xE10A14, LAMP_OFF},
      {"SES", field::statusByte11, 0x01, 394, 266, 25, 17, 0x1414F5, SES_OFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes f = QuietFrame();
    Frame(f);
    EXPECT_TRUE(RectIs(c.x, c.y, c.x + c.w, c.y + c.h, c.off));
    f[c.byte] = c.value;
    Frame(f);
    EXPECT_TRUE(RectIs(c.x, c.y, c.x + c.w, c.y + c.h, c.on));
    // The outline stays around the lamp, one pixel out.
    EXPECT_EQ(At(c.x - 1, c.y - 1), OUTLINE);
    EXPECT_EQ(At(c.x + c.w, c.y + c.h), OUTLINE);
    EXPECT_EQ(At(c.x + c.w, c.y), OUTLINE);
    EXPECT_EQ(At(c.x, c.y + c.h), OUTLINE);
    EXPECT_EQ(At(c.x + c.w + 1, c.y + 2), COLOUR_BACKGROUND);
  }
}

TEST_F(GaugePixels, BarsStandAtTheirLevels) {
  struct Step {
    int raw;
    int level;  // BarLevel of raw / 2.56 percent on 0..100
  };
  const Step steps[] = {{128, 84}, {64, 127}, {255, 0}, {0, 170}, {192, 42}};
  const int x = 348;  // TPS, blue
  const Colour blue = BarColour(2);
  for (const Step& s : steps) {
    SCOPED_TRACE(s.raw);
    Bytes f = QuietFrame();
    f[field::tpsRaw] = static_cast<std::uint8_t>(s.raw);
    Frame(f);
    EXPECT_EQ(At(x + 4, BAR_TOP + s.level), DIAL_FACE);
    EXPECT_EQ(At(x + 4, BAR_TOP + s.level + 1), blue);
    EXPECT_TRUE(RectIs(x - 1, BAR_TOP + s.level + 1, x + 10, BAR_TOP + 172, blue));
    EXPECT_TRUE(RectIs(x - 1, BAR_TOP - 1, x + 10, BAR_TOP + s.level + 1, DIAL_FACE));
    EXPECT_EQ(At(x + 10, BAR_TOP + 100), OUTLINE);  // the frame
    EXPECT_EQ(At(x - 2, BAR_TOP + 100), OUTLINE);
  }
  // A window paint redraws the bar as it stood.
  PaintWindow();
  EXPECT_TRUE(RectIs(x - 1, BAR_TOP + 43, x + 10, BAR_TOP + 172, blue));
  EXPECT_TRUE(RectIs(x - 1, BAR_TOP - 1, x + 10, BAR_TOP + 43, DIAL_FACE));
}

// The text as the canvas draws it alone, on the window background.
QImage TextImage(const std::string& text, FontId font) {
  QImage image(200, 40, QImage::Format_RGB32);
  QtCanvas canvas(image);
  canvas.SetFont(font);
  const int w = canvas.TextWidth(text);
  const int h = canvas.TextHeight();
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.Text(0, 0, text);
  return image.copy(0, 0, w, h);
}

TEST_F(GaugePixels, TemperatureScaleShowsCelsiusOrFahrenheitBars) {
  Bytes f = QuietFrame();
  f[field::ctsRaw] = 120;  // 50 C, 122 F
  struct Case {
    int scale;
    const char* shown;
    const char* hidden;
  };
  const Case cases[] = {
      {1, " 50 \xB0" "C ", " 122 \xB0" "F "},
      {0, " 122 \xB0" "F ", " 50 \xB0" "C "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale);
    settings.temperatureScale = c.scale;
    PaintWindow();
    Frame(f);
    const QImage shown = TextImage(c.shown, FontId::Normal);
    const QImage hidden = TextImage(c.hidden, FontId::Normal);
    const QImage image = surface.Image();
    EXPECT_EQ(image.copy(113, 299, shown.width(), shown.height()), shown);
    EXPECT_NE(image.copy(113, 299, hidden.width(), hidden.height()), hidden);
  }
  // The scales differ at the top: 120 against 245.
  settings.temperatureScale = 1;
  PaintWindow();
  const QImage celsius = surface.Image().copy(60, 330, 40, 20);
  settings.temperatureScale = 0;
  PaintWindow();
  EXPECT_NE(surface.Image().copy(60, 330, 40, 20), celsius);
}

TEST_F(GaugePixels, RedArcOnlyBelowTheEndOfTheScale) {
  struct Case {
    int redline;
    bool red;
  };
  const Case cases[] = {{5800, true}, {7000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.redline);
    settings.redline = c.redline;
    settings.rpmRange = 7000;
    PaintWindow();
    const double redAngle = c.redline / 7000.0 * 270 + 45;  // 268.7 for 5800
    const int red = CountInSector(TACHO_X, 275, 312, 70, 78, NEEDLE_COLOUR);
    const int blue = CountInSector(TACHO_X, 275, 312, 70, 78, 0xFF9046);
    EXPECT_EQ(red > 20, c.red);
    EXPECT_EQ(blue > 20, !c.red);
    // Before the redline the arc is blue either way.
    EXPECT_EQ(CountInSector(TACHO_X, 60, redAngle - 5, 70, 78, NEEDLE_COLOUR), 0);
    EXPECT_GT(CountInSector(TACHO_X, 60, 250, 70, 78, 0xFF9046), 100);
  }
}

TEST_F(GaugePixels, BoostScaleChangeRepaintsTheWindowOnce) {
  int staticPaints = 0;
  SurfaceWidget widget(surface);
  widget.SetStaticPainter([&](Canvas& canvas) {
    ++staticPaints;
    gauge.PaintGaugeStatic(canvas);
    gauge.PaintGaugeValues(canvas);
  });
  widget.resize(800, 600);
  widget.show();
  ASSERT_TRUE(test::PumpUntil([&] { return staticPaints == 1; }));
  test::Pump(50);
  ASSERT_EQ(staticPaints, 1);

  Bytes f = QuietFrame();
  f[field::boostRaw] = 100;
  struct Step {
    int bars;
    int frames;
    int paints;
    int scaleMax;
  };
  const Step steps[] = {{1, 3, 1, 15}, {2, 5, 2, 15}, {3, 5, 3, 30}, {3, 5, 3, 30}, {1, 3, 3, 30}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.bars);
    record.mapSensorBars = s.bars;
    for (int i = 0; i < s.frames; ++i) Frame(f);
    test::PumpUntil([&] { return staticPaints == s.paints; }, 1000);
    test::Pump(50);
    EXPECT_EQ(staticPaints, s.paints);
    EXPECT_EQ(gauge.BarScaleMax(static_cast<int>(BAR_GAUGES.size()) - 2), s.scaleMax);
  }
  // The repainted window shows the 0..30 scale's top label at the BST bar.
  const QImage label = TextImage(" 30", FontId::Normal);
  const QImage image = surface.Image();
  bool found = false;
  for (int y = BAR_TOP - 10; y <= BAR_TOP && !found; ++y)
    found = image.copy(700 - 12 - label.width(), y, label.width(), label.height()) == label;
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace zrm
