// The flash-bank selector: the bank under the mouse, the click rules, the
// highlight and the lit square.
#include <gtest/gtest.h>

#include <vector>

#include "displays/bank_selector.h"
#include "recording_canvas.h"

namespace zrm {
namespace {

struct Shape {
  int left, top, right, bottom;
  Colour colour;
  PenStyle style;
};

class ShapeCanvas : public test::RecordingCanvas {
 public:
  void SetPen(Colour c, int width, PenStyle style) override {
    test::RecordingCanvas::SetPen(c, width, style);
    pen_ = c;
    style_ = style;
  }
  void Rectangle(int l, int t, int r, int b) override { rects.push_back({l, t, r, b, pen_, style_}); }
  void FillRect(int l, int t, int r, int b, Colour c) override { fills.push_back({l, t, r, b, c, PenStyle::Solid}); }
  std::vector<Shape> rects;
  std::vector<Shape> fills;

 private:
  Colour pen_ = 0;
  PenStyle style_ = PenStyle::Solid;
};

TEST(BankSelector, BankUnderTheCursor) {
  struct Case {
    int x;
    int bank;
    bool highlighted;
  } cases[] = {
      {0, NO_BANK, false}, {21, NO_BANK, false}, {22, 0, true},  {71, 0, true},  {72, 1, true},
      {171, 2, true},      {172, 3, true},       {421, 7, true}, {422, 8, false}, {440, 8, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BankUnderCursor(c.x), c.bank) << c.x;
    EXPECT_EQ(BankHighlighted(BankUnderCursor(c.x)), c.highlighted) << c.x;
  }
}

TEST(BankSelector, ClickRules) {
  struct Case {
    const char* name;
    int down, up;
    int bank;
  } cases[] = {
      {"press and release on bank 3", 180, 200, 3},
      {"press on bank 2, release on bank 3", 150, 180, NO_BANK},
      {"same spot on bank 0", 22, 22, 0},
      {"left of the squares", 21, 21, NO_BANK},
      {"press outside, release on bank 0", 10, 30, NO_BANK},
      {"bank 7 at its right edge", 400, 421, 7},
      {"422 to 425 is bank 8", 423, 425, NO_BANK},
      {"release beyond 425", 424, 426, NO_BANK},
      {"press on 7, release on 8", 420, 423, NO_BANK},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BankClicked(c.down, c.up), c.bank) << c.name;
    BankSelector selector;
    selector.MouseDown(c.down);
    EXPECT_EQ(selector.MouseUp(c.up), c.bank) << c.name;
  }
  // A release without a press (the press was in another window) chooses nothing.
  BankSelector selector;
  EXPECT_EQ(selector.MouseUp(200), NO_BANK);
  selector.MouseDown(200);
  EXPECT_EQ(selector.MouseUp(200), 3);
  EXPECT_EQ(selector.MouseUp(200), NO_BANK);
}

TEST(BankSelector, HighlightFollowsTheMouse) {
  BankSelector selector;
  ShapeCanvas c;
  selector.MouseMove(c, 100);  // bank 1
  ASSERT_EQ(c.rects.size(), 1u);
  EXPECT_EQ(c.rects[0].left, 73);
  EXPECT_EQ(c.rects[0].top, 4);
  EXPECT_EQ(c.rects[0].right, 122);  // outline on column 121 (50 b + 71) and row 75
  EXPECT_EQ(c.rects[0].bottom, 76);
  EXPECT_EQ(c.rects[0].style, PenStyle::Dot);
  EXPECT_EQ(c.rects[0].colour, BANK_HIGHLIGHT);

  selector.MouseMove(c, 110);  // still bank 1: nothing drawn
  EXPECT_EQ(c.rects.size(), 1u);

  selector.MouseMove(c, 430);  // bank 8: the old one erased, none drawn
  ASSERT_EQ(c.rects.size(), 2u);
  EXPECT_EQ(c.rects[1].left, 73);
  EXPECT_EQ(c.rects[1].colour, COLOUR_BACKGROUND);
  EXPECT_EQ(c.rects[1].style, PenStyle::Solid);
  EXPECT_EQ(selector.HoverBank(), 8);

  selector.MouseMove(c, 30);  // bank 0 drawn
  ASSERT_EQ(c.rects.size(), 3u);
  EXPECT_EQ(c.rects[2].left, 23);
  selector.MouseLeave(c);
  ASSERT_EQ(c.rects.size(), 4u);
  EXPECT_EQ(c.rects[3].colour, COLOUR_BACKGROUND);
  EXPECT_EQ(selector.HoverBank(), NO_BANK);
}

TEST(BankSelector, PaintLightsTheActiveBank) {
  BankSelector selector;
  ShapeCanvas c;
  selector.PaintBankSelector(c, 5);
  ASSERT_EQ(c.fills.size(), 8u);
  for (int k = 0; k < 8; ++k) {
    const Shape& f = c.fills[static_cast<std::size_t>(k)];
    EXPECT_EQ(f.left, 25 + 50 * k);
    EXPECT_EQ(f.top, 10);
    EXPECT_EQ(f.right - f.left, 45);
    EXPECT_EQ(f.colour, k == 5 ? BANK_ACTIVE : BANK_INACTIVE) << k;
  }
  const test::DrawnText* label = c.TextAt(50 * 7 + 43, 58);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text, "7");
  EXPECT_EQ(label->font, FontId::List);

  ShapeCanvas refresh;
  BankSelector::RefreshBanks(refresh, 2);
  ASSERT_EQ(refresh.fills.size(), 8u);
  EXPECT_EQ(refresh.fills[2].colour, BANK_ACTIVE);
  EXPECT_EQ(refresh.fills[5].colour, BANK_INACTIVE);
}

}  // namespace
}  // namespace zrm
