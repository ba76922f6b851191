// The VE learn display's painter: cell texts of the three views, the header,
// title and row positions, the highlight box and its colour (only while the
// engine runs), the warning and overflow texts, rpm and map, and the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "displays/velearn_display.h"
#include "recording_canvas.h"

namespace zrm {
namespace {

struct Fill {
  int left, top, right, bottom;
  Colour colour;
  std::size_t textsBefore;  // how many texts were drawn before it
};

class Canvas2 : public test::RecordingCanvas {
 public:
  void FillRect(int l, int t, int r, int b, Colour c) override { fills.push_back({l, t, r, b, c, texts.size()}); }
  void Polyline(const CanvasPoint* p, int n) override { outline.assign(p, p + n); }
  std::vector<Fill> fills;
  std::vector<CanvasPoint> outline;
};

// The fills in a colour of their own: the highlight box, not the clearing of a field.
std::vector<Fill> Highlights(const Canvas2& canvas) {
  std::vector<Fill> out;
  for (const Fill& f : canvas.fills)
    if (f.colour != COLOUR_BACKGROUND) out.push_back(f);
  return out;
}

// A table line as an 8-pixel font would show it: every text drawn at y,
// placed by its x, later texts over earlier ones; trailing blanks dropped.
std::string Line(const test::RecordingCanvas& canvas, int y) {
  std::string line;
  for (const auto& t : canvas.texts) {
    if (t.y != y || t.transparent) continue;
    const std::size_t at = static_cast<std::size_t>((t.x - 160) / 8);
    if (line.size() < at + t.text.size()) line.resize(at + t.text.size(), ' ');
    line.replace(at, t.text.size(), t.text);
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

VeLearnSnapshot Tables(bool extended) {
  VeLearnSnapshot s;
  SetVeTableAxes(s.base, extended);
  SetVeTableAxes(s.learned, extended);
  SetVeTableAxes(s.correction, extended);
  s.extended = extended;
  return s;
}

TEST(VeLearnDisplay, CellTexts) {
  struct Case {
    int view;
    std::uint32_t value;
    const char* text;
  };
  // VE percent: truncate(v x 100 / 256 + 0.5); correction: truncate((c / 128 - 1) x 100).
  const Case cases[] = {
      {VE_VIEW_ORIGINAL, 128, " 50 "},  {VE_VIEW_ORIGINAL, 255, "100 "}, {VE_VIEW_ORIGINAL, 0, "  0 "},
      {VE_VIEW_LEARNED, 77, " 30 "},    // 30.08
      {VE_VIEW_CORRECTIONS, 0, "  . "}, {VE_VIEW_CORRECTIONS, 128, "  0 "}, {VE_VIEW_CORRECTIONS, 144, " 12 "},
      {VE_VIEW_CORRECTIONS, 112, "-12 "}, {VE_VIEW_CORRECTIONS, 130, "  1 "}, {VE_VIEW_CORRECTIONS, 127, "  0 "},
  };
  for (const Case& c : cases) {
    VeLearnSnapshot s = Tables(false);
    s.base[5][3] = c.view == VE_VIEW_ORIGINAL ? c.value : 1;
    s.learned[5][3] = c.view == VE_VIEW_LEARNED ? c.value : 2;
    s.correction[5][3] = c.view == VE_VIEW_CORRECTIONS ? c.value : 3;
    EXPECT_EQ(VeCellText(s, c.view, 5, 3), c.text) << c.view << " " << c.value;
  }
}

TEST(VeLearnDisplay, HeaderTitleAndRows) {
  for (int view : {VE_VIEW_ORIGINAL, VE_VIEW_LEARNED, VE_VIEW_CORRECTIONS}) {
    for (bool extended : {false, true}) {
      SCOPED_TRACE(view * 10 + extended);
      Canvas2 canvas;
      VeLearnSnapshot s = Tables(extended);
      PaintVeLearnDisplay(canvas, s, {view, false, 0});
      const test::DrawnText* header = canvas.TextAt(160, 54);
      ASSERT_NE(header, nullptr);
      EXPECT_EQ(Line(canvas, 54), "RPM/MAP 20  25  30  35  40  45  50  55  60  65  70  80  90 100");
      EXPECT_EQ(header->font, FontId::List);
      EXPECT_EQ(header->colour, COLOUR_TEXT);
      EXPECT_EQ(header->back, COLOUR_BACKGROUND);
      EXPECT_FALSE(header->transparent);

      const char* titles[] = {" Original BIN Values in Percent   ", "New Learned BIN Values in Percent ",
                              "    Corrections in Percent        "};
      const int titleX[] = {271, 266, 271};
      const test::DrawnText* title = canvas.TextAt(titleX[view], 32);
      ASSERT_NE(title, nullptr);
      EXPECT_EQ(title->text, titles[view]);

      const int rows = extended ? 35 : 32;
      const std::string empty = view == VE_VIEW_CORRECTIONS ? "  .   .   .   .   .   .   .   .   .   .   .   .   .   ."
                                                            : "  0   0   0   0   0   0   0   0   0   0   0   0   0   0";
      EXPECT_EQ(Line(canvas, 60 + 13 * rows), (extended ? "8000   " : "6375   ") + empty);
      EXPECT_EQ(Line(canvas, 60 + 13 * 32), (extended ? "6500   " : "6375   ") + empty);
      EXPECT_EQ(Line(canvas, 73), " 400   " + empty);
      EXPECT_EQ(canvas.TextAt(160, 60 + 13 * (rows + 1)), nullptr);
    }
  }
}

TEST(VeLearnDisplay, HighlightOnlyWhileRunningGreenWhenStored) {
  struct Case {
    bool running;
    bool stored;
    int gridRow, gridColumn;
    int row, column;  // the cell, by hand
  };
  const Case cases[] = {
      {false, true, 64, 52, 17, 11},
      {true, true, 64, 52, 17, 11},   // 2000 RPM, 72 kPa -> 70 kPa
      {true, false, 68, 55, 18, 12},  // 2100 RPM -> 2200, 75 kPa -> 80
      {true, true, 0, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row * 100 + c.column);
    Canvas2 canvas;
    VeLearnSnapshot s = Tables(false);
    s.gridRow = c.gridRow;
    s.gridColumn = c.gridColumn;
    s.sampleStored = c.stored;
    s.base[c.row][c.column] = 200;  // 78.1 -> 78
    PaintVeLearnDisplay(canvas, s, {VE_VIEW_ORIGINAL, c.running, 0});
    if (!c.running) {
      EXPECT_TRUE(Highlights(canvas).empty());
      for (const auto& t : canvas.texts) EXPECT_FALSE(t.transparent);
      continue;
    }
    const std::vector<Fill> highlights = Highlights(canvas);
    ASSERT_EQ(highlights.size(), 1u);
    const int left = 32 * c.column + 181, top = 13 * c.row + 61;
    EXPECT_EQ(highlights[0].left, left);
    EXPECT_EQ(highlights[0].top, top);
    EXPECT_EQ(highlights[0].right, left + 29);
    EXPECT_EQ(highlights[0].bottom, top + 15);
    EXPECT_EQ(highlights[0].colour, c.stored ? RgbColour(20, 220, 10) : RgbColour(255, 255, 0));
    const test::DrawnText* cell = canvas.TextAt(left + 3, top - 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell->transparent);
    EXPECT_EQ(cell->text, " 78 ");
    // The same text sits in the row at that position.
    ASSERT_NE(canvas.TextAt(left + 3, top - 1 - 0), nullptr);
    EXPECT_EQ(Line(canvas, 60 + 13 * c.row).substr((left + 3 - 160) / 8, 4), " 78 ");
  }
}

TEST(VeLearnDisplay, WarningOverflowRpmAndMap) {
  Canvas2 canvas;
  VeLearnSnapshot s = Tables(false);
  s.blmWarning = true;
  s.overflow = {"Overflow on VE:", "1000 RPM   ", "40 KPa   "};
  s.map = 63;
  PaintVeLearnDisplay(canvas, s, {VE_VIEW_CORRECTIONS, false, 2150});
  ASSERT_NE(canvas.TextAt(160, 517), nullptr);
  EXPECT_EQ(canvas.TextAt(160, 517)->text, "BLM not at 128 while in WB learn mode. Force open loop mode.");
  EXPECT_EQ(canvas.TextAt(674, 294)->text, "Overflow on VE:");
  EXPECT_EQ(canvas.TextAt(699, 314)->text, "1000 RPM   ");
  EXPECT_EQ(canvas.TextAt(699, 330)->text, "40 KPa   ");
  EXPECT_EQ(canvas.TextAt(50, 410)->text, "rpm: 2150  ");
  EXPECT_EQ(canvas.TextAt(50, 429)->text, "map:   63  ");

  Canvas2 quiet;
  s.blmWarning = false;
  s.overflow[0].clear();
  PaintVeLearnDisplay(quiet, s, {VE_VIEW_CORRECTIONS, false, 0});
  EXPECT_EQ(quiet.TextAt(160, 517), nullptr);
  EXPECT_EQ(quiet.TextAt(674, 294), nullptr);
  EXPECT_EQ(quiet.TextAt(699, 314), nullptr);
}

// Each overflow text's field is cleared before the next paint draws in it,
// over the whole of what was drawn there: when no cell overflows any more,
// or another with shorter axis values does, nothing of the old text is left.
// The clearing keeps right of the frame's edge at 664.
TEST(VeLearnDisplay, OverflowTextsLeaveNothingBehind) {
  const std::array<std::string, 3> wide = {"Overflow on VE:", "6375 RPM   ", "100 KPa   "};
  const std::array<std::string, 3> none = {"", "6375 RPM   ", "100 KPa   "};
  const std::array<std::string, 3> narrow = {"Overflow on VE:", "400 RPM   ", "20 KPa   "};
  for (const auto& after : {none, narrow}) {
    SCOPED_TRACE(after[0].empty() ? "no overflow" : "shorter overflow");
    Canvas2 canvas;
    VeLearnSnapshot s = Tables(false);
    s.overflow = wide;
    PaintVeLearnDisplay(canvas, s, {VE_VIEW_LEARNED, false, 0});
    std::vector<test::DrawnText> old;
    for (const CanvasPoint at : VE_OVERFLOW_PLACES) {
      ASSERT_NE(canvas.TextAt(at.x, at.y), nullptr);
      old.push_back(*canvas.TextAt(at.x, at.y));
    }
    canvas.fills.clear();
    canvas.texts.clear();
    s.overflow = after;
    PaintVeLearnDisplay(canvas, s, {VE_VIEW_LEARNED, false, 0});
    for (const test::DrawnText& t : old) {
      const int right = t.x + canvas.TextWidth(t.text);
      const bool cleared = std::any_of(canvas.fills.begin(), canvas.fills.end(), [&](const Fill& f) {
        return f.colour == COLOUR_BACKGROUND && f.left <= t.x && f.right >= right && f.top <= t.y &&
               f.bottom >= t.y + canvas.TextHeight();
      });
      EXPECT_TRUE(cleared) << t.text;
    }
    // A text shown now is drawn after its field is cleared, not wiped by it.
    for (const CanvasPoint at : VE_OVERFLOW_PLACES) {
      if (after[0].empty()) {
        EXPECT_EQ(canvas.TextAt(at.x, at.y), nullptr);
        continue;
      }
      const auto text = std::find_if(canvas.texts.begin(), canvas.texts.end(),
                                     [&](const test::DrawnText& t) { return t.x == at.x && t.y == at.y; });
      ASSERT_NE(text, canvas.texts.end());
      for (const Fill& f : canvas.fills) {
        if (f.top == at.y) {
          EXPECT_LE(f.textsBefore, static_cast<std::size_t>(text - canvas.texts.begin()));
        }
      }
    }
    for (const Fill& f : canvas.fills) {
      if (f.top >= 294 && f.top < 346) {
        EXPECT_GT(f.left, 664) << f.left << "," << f.top;
      }
    }
  }
}

// The table stays inside its frame, with its columns under their boxes, in a
// list font of 9 pixels a character as well as 8: no opaque text inside the
// frame reaches its right edge at 664, and no opaque text drawn later covers
// a digit of a cell drawn before it.
TEST(VeLearnDisplay, WiderFontKeepsTheFrameAndTheDigits) {
  Canvas2 canvas;
  VeLearnSnapshot s = Tables(false);
  for (int row = 1; row <= 32; ++row)
    for (int col = 1; col <= 14; ++col) s.base[row][col] = 255;  // "100" everywhere
  PaintVeLearnDisplay(canvas, s, {VE_VIEW_ORIGINAL, false, 0});
  const int charWidth = 9;
  for (std::size_t i = 0; i < canvas.texts.size(); ++i) {
    const test::DrawnText& t = canvas.texts[i];
    if (t.y < 50 || t.y > 538 || t.x >= 664 || t.transparent) continue;
    EXPECT_LE(t.x + static_cast<int>(t.text.size()) * charWidth, 664) << t.text << " at " << t.x << "," << t.y;
    for (std::size_t j = 0; j < i; ++j) {
      const test::DrawnText& before = canvas.texts[j];
      if (before.y != t.y) continue;
      for (std::size_t k = 0; k < before.text.size(); ++k) {
        if (before.text[k] == ' ') continue;
        const int left = before.x + static_cast<int>(k) * charWidth;
        const bool covered = left + charWidth > t.x && left < t.x + static_cast<int>(t.text.size()) * charWidth;
        EXPECT_FALSE(covered) << "'" << before.text << "' under '" << t.text << "' at y " << t.y;
      }
    }
  }
}

TEST(VeLearnDisplay, FrameOutline) {
  Canvas2 canvas;
  DrawVeLearnFrame(canvas);
  const std::vector<std::pair<int, int>> expected = {{152, 50},  {662, 50},  {664, 52}, {664, 536}, {662, 538},
                                                     {152, 538}, {150, 536}, {150, 52}, {152, 50}};
  ASSERT_EQ(canvas.outline.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(canvas.outline[i].x, expected[i].first);
    EXPECT_EQ(canvas.outline[i].y, expected[i].second);
  }
}

}  // namespace
}  // namespace zrm
