// The malfunction-codes window's lamps: which frame bit lights which lamp,
// where each lamp sits, and that a frame refills only the lamps that changed.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "displays/malf_codes.h"
#include "link/runtime_frame.h"
#include "recording_canvas.h"

namespace zrm {
namespace {

struct Fill {
  int left, top, right, bottom;
  Colour colour;
};

class FillCanvas : public test::RecordingCanvas {
 public:
  void FillRect(int l, int t, int r, int b, Colour c) override { fills.push_back({l, t, r, b, c}); }
  std::vector<Fill> fills;
};

class RecordingSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override {
    draws.emplace_back();
    painter(draws.back());
  }
  void InvalidateAll() override {}
  std::vector<FillCanvas> draws;
};

// The lamp at a row label and column (0 to 2).
int LampOf(const char* label, int column) {
  for (std::size_t row = 0; row < MALF_CODE_ROWS.size(); ++row) {
    if (std::string(MALF_CODE_ROWS[row].label) == label) return static_cast<int>(row) * MALF_COLUMNS + column;
  }
  return -1;
}

std::set<int> LitLamps(const std::vector<std::pair<int, int>>& bytes) {
  std::vector<std::uint8_t> frame(FRAME_PAYLOAD_SIZE, 0);
  for (auto [offset, value] : bytes) frame[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value);
  std::set<int> lit;
  for (int i = 0; i < MALF_LAMP_COUNT; ++i) {
    if (MalfLampOn(MalfLampAt(i), frame.data())) lit.insert(i);
  }
  return lit;
}

TEST(MalfCodes, FrameBitsLightTheirLamps) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> bytes;
    std::set<int> lit;
  } cases[] = {
      {"nothing set", {}, {}},
      {"18 = 0x81: first lamps of DRP and VSS", {{18, 0x81}}, {LampOf("DRP    12", 0), LampOf("VSS    24", 0)}},
      {"224 = 0x01: third lamp of VSS only", {{224, 0x01}}, {LampOf("VSS    24", 2)}},
      {"21 = 0x40: second O2 lamp", {{21, 0x40}}, {LampOf("O2     13", 1)}},
      {"19 = 0x80: IAT HI", {{19, 0x80}}, {LampOf("IAT HI 25", 0)}},
      // Byte 19 bits 0x40, 0x20, 0x04, 0x02 carry no code.
      {"19 = 0x66: no code", {{19, 0x66}}, {}},
      {"22 = 0x11: MAP HI and EST, second column", {{22, 0x11}}, {LampOf("MAP HI 33", 1), LampOf("EST    42", 1)}},
      {"226 = 0x80: ESC third", {{226, 0x80}}, {LampOf("ESC    43", 2)}},
      {"23 = 0x01: ADU second", {{23, 0x01}}, {LampOf("ADU    55", 1)}},
      {"225 = 0x08: MAP LO third", {{225, 0x08}}, {LampOf("MAP LO 34", 2)}},
      // Bytes beside the groups light nothing.
      {"17, 24, 223, 227 set", {{17, 0xFF}, {24, 0xFF}, {223, 0xFF}, {227, 0xFF}}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(LitLamps(c.bytes), c.lit) << c.name;

  // Every byte of the three groups all set: every lamp lit.
  std::vector<std::pair<int, int>> all;
  for (int b : {18, 19, 20, 21, 22, 23, 224, 225, 226}) all.emplace_back(b, 0xFF);
  EXPECT_EQ(LitLamps(all).size(), static_cast<std::size_t>(MALF_LAMP_COUNT));
}

TEST(MalfCodes, LampPlaces) {
  const MalfLamp first = MalfLampAt(0);
  EXPECT_STREQ(first.label, "DRP    12");
  EXPECT_EQ(first.x, 80);
  EXPECT_EQ(first.y, 10);
  const MalfLamp adu3 = MalfLampAt(LampOf("ADU    55", 2));
  EXPECT_EQ(adu3.label, nullptr);  // the label goes with the first lamp only
  EXPECT_EQ(adu3.x, 120);
  EXPECT_EQ(adu3.y, 295);
  EXPECT_EQ(adu3.frameByte, 226);
}

TEST(MalfCodes, PaintAndChangedLampsOnly) {
  MalfCodes codes;
  RecordingSurface surface;
  std::vector<std::uint8_t> frame(FRAME_PAYLOAD_SIZE, 0);
  frame[18] = 0x81;
  codes.MalfCodesFrame(frame.data(), &surface);
  ASSERT_EQ(surface.draws.size(), 1u);
  ASSERT_EQ(surface.draws[0].fills.size(), 2u);
  const Fill& drp = surface.draws[0].fills[0];
  EXPECT_EQ(drp.left, 80);
  EXPECT_EQ(drp.top, 10);
  EXPECT_EQ(drp.right, 93);
  EXPECT_EQ(drp.bottom, 19);
  EXPECT_EQ(drp.colour, MALF_LAMP_ON);

  // Unchanged: nothing drawn.
  codes.MalfCodesFrame(frame.data(), &surface);
  EXPECT_EQ(surface.draws.size(), 1u);

  // One goes off.
  frame[18] = 0x01;
  codes.MalfCodesFrame(frame.data(), &surface);
  ASSERT_EQ(surface.draws.size(), 2u);
  ASSERT_EQ(surface.draws[1].fills.size(), 1u);
  EXPECT_EQ(surface.draws[1].fills[0].colour, MALF_LAMP_OFF);
  EXPECT_TRUE(codes.LampState(LampOf("VSS    24", 0)));
  EXPECT_FALSE(codes.LampState(0));

  // The paint: every label once in the small font at (10, y - 2), every lamp filled.
  FillCanvas paint;
  codes.PaintMalfCodes(paint);
  EXPECT_EQ(paint.texts.size(), MALF_CODE_ROWS.size());
  const test::DrawnText* label = paint.TextAt(10, 293);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text, "ADU    55");
  EXPECT_EQ(label->font, FontId::Small);
  EXPECT_EQ(paint.fills.size(), static_cast<std::size_t>(MALF_LAMP_COUNT));
  int on = 0;
  for (const Fill& f : paint.fills) on += f.colour == MALF_LAMP_ON;
  EXPECT_EQ(on, 1);
}

}  // namespace
}  // namespace zrm
