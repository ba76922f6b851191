// The Canvas on a QImage keeps the Windows programs' drawing rules: text by
// its cell's top-left corner over an opaque box, lines without their end
// point, shapes without their right and bottom edge, counter-clockwise arcs,
// inversion and scrolling. Also the fonts and the 8-bit texts.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/fonts.h"
#include "gui/qt_canvas.h"
#include "gui_test_support.h"

namespace zrm {
namespace {

using test::PixelAt;

constexpr Colour WHITE = 0xFFFFFF;
constexpr Colour INK = 0x102030;
constexpr Colour PAPER = 0x00C000;

struct CanvasFixture : ::testing::Test {
  QImage image{120, 80, QImage::Format_RGB32};
  void SetUp() override { image.fill(ToQRgb(WHITE)); }

  // Every pixel of the rectangle [l, r) x [t, b) has one of the colours.
  bool AllOf(int l, int t, int r, int b, std::vector<Colour> colours) const {
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x)
        if (std::find(colours.begin(), colours.end(), PixelAt(image, x, y)) == colours.end()) return false;
    return true;
  }
  int Count(Colour colour) const {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += PixelAt(image, x, y) == colour;
    return n;
  }
};

TEST_F(CanvasFixture, OpaqueTextFillsItsCellFromTheTopLeftCorner) {
  QtCanvas canvas(image);
  canvas.SetFont(FontId::Small);
  canvas.SetTextColour(INK);
  canvas.SetBackColour(PAPER);
  const int w = canvas.TextWidth("Hg 7");
  const int h = canvas.TextHeight();
  EXPECT_EQ(h, 14);  // the small font's cell
  EXPECT_EQ(w, 4 * canvas.TextWidth("W"));  // fixed pitch
  canvas.Text(20, 10, "Hg 7");
  EXPECT_TRUE(AllOf(20, 10, 20 + w, 10 + h, {INK, PAPER}));
  EXPECT_GT(Count(INK), 10);
  EXPECT_EQ(Count(INK) + Count(PAPER), w * h);
  // Nothing outside the cell.
  EXPECT_TRUE(AllOf(0, 0, 120, 10, {WHITE}));
  EXPECT_TRUE(AllOf(20 + w, 0, 120, 80, {WHITE}));
  EXPECT_TRUE(AllOf(0, 10 + h, 120, 80, {WHITE}));
}

TEST_F(CanvasFixture, TransparentTextLeavesTheBackground) {
  QtCanvas canvas(image);
  canvas.SetTextColour(INK);
  canvas.SetBackColour(PAPER);
  canvas.SetTransparentText(true);
  canvas.Text(10, 10, "Hg");
  EXPECT_EQ(Count(PAPER), 0);
  EXPECT_GT(Count(INK), 5);
  EXPECT_TRUE(AllOf(0, 0, 120, 80, {INK, WHITE}));  // no antialiased shades
}

TEST_F(CanvasFixture, RightAlignedAndCentredTextEndWhereAsked) {
  QtCanvas probe(image);
  probe.SetFont(FontId::List);
  const int w = probe.TextWidth("1234");
  for (TextAlign align : {TextAlign::Right, TextAlign::Centre}) {
    SCOPED_TRACE(static_cast<int>(align));
    image.fill(ToQRgb(WHITE));
    QtCanvas canvas(image);
    canvas.SetFont(FontId::List);
    canvas.SetTextColour(INK);
    canvas.SetBackColour(PAPER);
    canvas.Text(90, 20, "1234", align);
    const int left = align == TextAlign::Right ? 90 - w : 90 - w / 2;
    const QImage drawn = image.copy(left, 20, w, canvas.TextHeight());
    EXPECT_TRUE(AllOf(left, 20, left + w, 20 + canvas.TextHeight(), {INK, PAPER}));
    EXPECT_TRUE(AllOf(0, 0, left, 80, {WHITE}));
    EXPECT_TRUE(AllOf(left + w, 0, 120, 80, {WHITE}));
    // The same glyphs as the left-aligned text at that corner.
    image.fill(ToQRgb(WHITE));
    canvas.Text(left, 20, "1234");
    EXPECT_EQ(image.copy(left, 20, w, canvas.TextHeight()), drawn);
  }
}

TEST_F(CanvasFixture, LinesLeaveOutTheirEndPoint) {
  struct Case {
    int x1, y1, x2, y2;
    std::vector<std::pair<int, int>> on;
    std::pair<int, int> end;
  };
  const Case cases[] = {
      {10, 10, 20, 10, {{10, 10}, {15, 10}, {19, 10}}, {20, 10}},
      {30, 40, 30, 30, {{30, 40}, {30, 31}}, {30, 30}},
      {50, 5, 55, 10, {{50, 5}, {52, 7}, {54, 9}}, {55, 10}},
      {90, 20, 80, 20, {{90, 20}, {81, 20}}, {80, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x1);
    image.fill(ToQRgb(WHITE));
    QtCanvas canvas(image);
    canvas.SetPen(INK, 1);
    canvas.Line(c.x1, c.y1, c.x2, c.y2);
    for (auto [x, y] : c.on) EXPECT_EQ(PixelAt(image, x, y), INK) << x << "," << y;
    EXPECT_EQ(PixelAt(image, c.end.first, c.end.second), WHITE);
    const int length = std::max(std::abs(c.x2 - c.x1), std::abs(c.y2 - c.y1));
    EXPECT_EQ(Count(INK), length);
  }
}

TEST_F(CanvasFixture, PolylineDrawsItsCornersButNotItsLastPoint) {
  QtCanvas canvas(image);
  canvas.SetPen(INK, 1);
  const CanvasPoint points[] = {{10, 10}, {20, 10}, {20, 20}};
  canvas.Polyline(points, 3);
  EXPECT_EQ(PixelAt(image, 20, 10), INK);
  EXPECT_EQ(PixelAt(image, 20, 19), INK);
  EXPECT_EQ(PixelAt(image, 20, 20), WHITE);
  EXPECT_EQ(Count(INK), 20);
}

TEST_F(CanvasFixture, DottedPenRunsThreeOnThreeOff) {
  QtCanvas canvas(image);
  canvas.SetPen(INK, 1, PenStyle::Dot);
  canvas.Line(0, 5, 14, 5);
  std::string row;
  for (int x = 0; x <= 14; ++x) row += PixelAt(image, x, 5) == INK ? '#' : '.';
  EXPECT_EQ(row, "###...###...##.");
}

TEST_F(CanvasFixture, WidePensCentreOnTheLine) {
  QtCanvas canvas(image);
  canvas.SetPen(INK, 3);
  canvas.Line(50, 10, 50, 60);
  EXPECT_EQ(PixelAt(image, 48, 30), WHITE);
  EXPECT_EQ(PixelAt(image, 49, 30), INK);
  EXPECT_EQ(PixelAt(image, 50, 30), INK);
  EXPECT_EQ(PixelAt(image, 51, 30), INK);
  EXPECT_EQ(PixelAt(image, 52, 30), WHITE);
  // Drawn again in another colour, the same line covers it all.
  canvas.SetPen(PAPER, 3);
  canvas.Line(50, 10, 50, 60);
  EXPECT_EQ(Count(INK), 0);
}

TEST_F(CanvasFixture, RectanglesLeaveOutTheirRightAndBottomEdge) {
  QtCanvas canvas(image);
  canvas.SetPen(INK, 1);
  canvas.SetBrush(PAPER);
  canvas.Rectangle(10, 10, 20, 15);
  EXPECT_TRUE(AllOf(10, 10, 20, 11, {INK}));  // top row
  EXPECT_TRUE(AllOf(10, 14, 20, 15, {INK}));  // bottom row is 14
  EXPECT_TRUE(AllOf(10, 10, 11, 15, {INK}));
  EXPECT_TRUE(AllOf(19, 10, 20, 15, {INK}));
  EXPECT_TRUE(AllOf(11, 11, 19, 14, {PAPER}));
  EXPECT_EQ(Count(INK) + Count(PAPER), 10 * 5);

  image.fill(ToQRgb(WHITE));
  canvas.FillRect(30, 30, 33, 32, INK);
  EXPECT_EQ(Count(INK), 6);
  EXPECT_TRUE(AllOf(30, 30, 33, 32, {INK}));

  // A null brush keeps the inside; a null pen leaves the fill alone.
  image.fill(ToQRgb(WHITE));
  canvas.SetNullBrush();
  canvas.Rectangle(40, 40, 50, 50);
  EXPECT_TRUE(AllOf(41, 41, 49, 49, {WHITE}));
  EXPECT_EQ(Count(INK), 36);
  image.fill(ToQRgb(WHITE));
  canvas.SetNullPen();
  canvas.SetBrush(PAPER);
  canvas.Rectangle(40, 40, 50, 50);
  EXPECT_EQ(Count(PAPER), 100);
}

TEST_F(CanvasFixture, WideRectangleOutlinesSpreadAlikeOnEverySide) {
  struct Case {
    int width;
    int out, in;  // pixels beyond and within the edge pixels
  };
  const Case cases[] = {{2, 1, 0}, {3, 1, 1}, {4, 2, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    image.fill(ToQRgb(WHITE));
    QtCanvas canvas(image);
    canvas.SetPen(INK, c.width);
    canvas.SetNullBrush();
    canvas.Rectangle(20, 20, 60, 50);  // edge pixels 20 and 59, 20 and 49
    const int l = 20 - c.out, t = 20 - c.out, r = 60 + c.out, b = 50 + c.out;
    const int hl = 21 + c.in, ht = 21 + c.in, hr = 59 - c.in, hb = 49 - c.in;
    EXPECT_EQ(Count(INK), (r - l) * (b - t) - (hr - hl) * (hb - ht));
    EXPECT_TRUE(AllOf(l, t, r, ht, {INK}));
    EXPECT_TRUE(AllOf(l, hb, r, b, {INK}));
    EXPECT_TRUE(AllOf(l, t, hl, b, {INK}));
    EXPECT_TRUE(AllOf(hr, t, r, b, {INK}));
    EXPECT_TRUE(AllOf(hl, ht, hr, hb, {WHITE}));
  }
}

TEST_F(CanvasFixture, EllipseFitsInsideItsBox) {
  QtCanvas canvas(image);
  canvas.SetPen(INK, 1);
  canvas.SetBrush(PAPER);
  canvas.Ellipse(10, 10, 30, 30);
  // Touches every side of [10, 29] and nothing beyond.
  EXPECT_TRUE(AllOf(0, 0, 120, 10, {WHITE}));
  EXPECT_TRUE(AllOf(0, 30, 120, 80, {WHITE}));
  EXPECT_TRUE(AllOf(0, 0, 10, 80, {WHITE}));
  EXPECT_TRUE(AllOf(30, 0, 120, 80, {WHITE}));
  EXPECT_EQ(PixelAt(image, 10, 20), INK);
  EXPECT_EQ(PixelAt(image, 29, 20), INK);
  EXPECT_EQ(PixelAt(image, 20, 10), INK);
  EXPECT_EQ(PixelAt(image, 20, 29), INK);
  EXPECT_EQ(PixelAt(image, 20, 20), PAPER);
  // Symmetric about the box's middle line, as the box is.
  for (int y = 10; y < 30; ++y)
    for (int x = 10; x < 30; ++x) ASSERT_EQ(PixelAt(image, x, y), PixelAt(image, 39 - x, y)) << x << "," << y;
}

TEST_F(CanvasFixture, ArcRunsCounterClockwiseFromStartRayToEndRay) {
  // The circle through the outermost pixels of [0, 40]: top (20, 0), left
  // (0, 20), bottom (20, 40), right (40, 20).
  struct Case {
    const char* name;
    int xs, ys, xe, ye;
    CanvasPoint on, off;
  };
  const Case cases[] = {
      {"right to left: the upper half", 60, 20, 0, 20, {20, 0}, {20, 40}},
      {"left to right: the lower half", 0, 20, 60, 20, {20, 40}, {20, 0}},
      {"bottom to top: the right half", 20, 60, 20, 0, {40, 20}, {0, 20}},
      {"top to bottom: the left half", 20, 0, 20, 60, {0, 20}, {40, 20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image.fill(ToQRgb(WHITE));
    QtCanvas canvas(image);
    canvas.SetPen(INK, 1);
    canvas.Arc(0, 0, 41, 41, c.xs, c.ys, c.xe, c.ye);
    EXPECT_EQ(PixelAt(image, c.on.x, c.on.y), INK);
    EXPECT_EQ(PixelAt(image, c.off.x, c.off.y), WHITE);
    EXPECT_TRUE(AllOf(41, 0, 120, 80, {WHITE}));
    EXPECT_GT(Count(INK), 50);
    EXPECT_LT(Count(INK), 90);  // about half of the circle's 113 or so pixels
  }
}

TEST_F(CanvasFixture, QuarterArcsKeepToTheirQuarter) {
  struct Case {
    const char* name;
    int xs, ys, xe, ye;
    int l, t, r, b;  // the quarter of [0, 40] that holds the arc
  };
  const Case cases[] = {
      {"right to top", 60, 20, 20, -40, 20, 0, 41, 21},
      {"top to left", 20, -40, -40, 20, 0, 0, 21, 21},
      {"left to bottom", -40, 20, 20, 60, 0, 20, 21, 41},
      {"bottom to right", 20, 60, 60, 20, 20, 20, 41, 41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image.fill(ToQRgb(WHITE));
    QtCanvas canvas(image);
    canvas.SetPen(INK, 1);
    canvas.Arc(0, 0, 41, 41, c.xs, c.ys, c.xe, c.ye);
    const int all = Count(INK);
    EXPECT_GT(all, 20);
    EXPECT_LT(all, 40);
    int inside = 0;
    for (int y = c.t; y < c.b; ++y)
      for (int x = c.l; x < c.r; ++x) inside += PixelAt(image, x, y) == INK;
    EXPECT_EQ(inside, all);
  }
}

TEST_F(CanvasFixture, SetPixelAndInvertRect) {
  QtCanvas canvas(image);
  canvas.SetPixel(5, 6, INK);
  EXPECT_EQ(PixelAt(image, 5, 6), INK);
  EXPECT_EQ(Count(INK), 1);
  canvas.InvertRect(4, 4, 8, 8);
  EXPECT_EQ(PixelAt(image, 5, 6), 0xEFDFCFu);
  EXPECT_EQ(PixelAt(image, 4, 4), 0x000000u);
  EXPECT_EQ(PixelAt(image, 8, 8), WHITE);
  EXPECT_EQ(PixelAt(image, 3, 4), WHITE);
  canvas.InvertRect(4, 4, 8, 8);
  EXPECT_EQ(PixelAt(image, 5, 6), INK);
  EXPECT_EQ(Count(WHITE), 120 * 80 - 1);
}

TEST_F(CanvasFixture, ScrollRectMovesInsideTheRectangleAndUncoversBackground) {
  QtCanvas canvas(image, COLOUR_BACKGROUND);
  // Rows 10..29 of the rectangle x 10..49 carry their row number in blue.
  for (int y = 10; y < 30; ++y) canvas.FillRect(10, y, 50, y + 1, RgbColour(0, 0, y));
  canvas.FillRect(10, 30, 50, 31, INK);  // just below the rectangle
  canvas.ScrollRect(10, 10, 50, 30, 0, -5);
  for (int y = 10; y < 25; ++y) EXPECT_EQ(PixelAt(image, 20, y), RgbColour(0, 0, y + 5)) << y;
  EXPECT_TRUE(AllOf(10, 25, 50, 30, {COLOUR_BACKGROUND}));
  EXPECT_TRUE(AllOf(10, 30, 50, 31, {INK}));  // outside: untouched
  EXPECT_TRUE(AllOf(0, 0, 120, 10, {WHITE}));

  // Sideways: content leaving the rectangle is gone.
  canvas.FillRect(60, 40, 70, 41, INK);
  canvas.FillRect(70, 40, 80, 41, PAPER);
  canvas.ScrollRect(60, 40, 80, 41, 10, 0);
  EXPECT_TRUE(AllOf(60, 40, 70, 41, {COLOUR_BACKGROUND}));
  EXPECT_TRUE(AllOf(70, 40, 80, 41, {INK}));
  EXPECT_TRUE(AllOf(80, 40, 120, 41, {WHITE}));
}

TEST(Windows1252, HighCodesMapToTheirCharacters) {
  struct Case {
    const char* bytes;
    char16_t expected;
  };
  const Case cases[] = {
      {"\x80", u'\u20AC'}, {"\x92", u'\u2019'}, {"\x9F", u'\u0178'}, {"\x81", u'\u0081'},
      {"\xB0", u'\u00B0'}, {"\xE9", u'\u00E9'}, {"A", u'A'},        {"\xFF", u'\u00FF'},
  };
  for (const Case& c : cases) {
    const QString s = FromWindows1252(c.bytes);
    ASSERT_EQ(s.size(), 1) << c.bytes;
    EXPECT_EQ(s.at(0).unicode(), c.expected) << static_cast<int>(static_cast<unsigned char>(c.bytes[0]));
  }
  EXPECT_EQ(FromWindows1252(" 50 \xB0" "C "), QString::fromUtf8(" 50 \u00B0C "));
}

TEST(Fonts, CellHeightsFacesAndWeights) {
  struct Case {
    FontId id;
    int cell;
    const char* family;
    bool bold;
    bool fixed;
  };
  const Case cases[] = {
      {FontId::Small, 14, "Liberation Mono", false, true},   {FontId::List, 17, "Liberation Mono", false, true},
      {FontId::Title, 24, "Liberation Sans", false, false},  {FontId::Value, 28, "Liberation Sans", true, false},
      {FontId::OemFixed, 12, "Liberation Mono", false, true}, {FontId::Normal, 13, "Liberation Sans", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    const QFont& font = FontFor(c.id);
    const QFontMetrics metrics(font);
    EXPECT_EQ(FontCellHeight(c.id), c.cell);
    // The largest pixel size whose cell fits: one more would not.
    EXPECT_LE(metrics.height(), c.cell);
    QFont larger = font;
    larger.setPixelSize(font.pixelSize() + 1);
    EXPECT_GT(QFontMetrics(larger).height(), c.cell);
    EXPECT_EQ(QFontInfo(font).family(), c.family);
    EXPECT_EQ(font.bold(), c.bold);
    EXPECT_EQ(metrics.horizontalAdvance("iiii") == metrics.horizontalAdvance("WWWW"), c.fixed);
  }
}

}  // namespace
}  // namespace zrm
