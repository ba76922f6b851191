// The retained surface: the DisplayThread's drawing reaches the window
// through queued calls, repaint requests are run once, and a full repaint
// erases before the static layer.
#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <thread>

#include "gui/retained_surface.h"
#include "gui_test_support.h"

namespace zrm {
namespace {

using test::PixelAt;

constexpr Colour STATIC_INK = 0x204060;
constexpr Colour VALUE_INK = 0x0A3FD2;

struct SurfaceFixture : ::testing::Test {
  RetainedSurface surface{200, 100};
  SurfaceWidget widget{surface};
  int staticPaints = 0;

  void SetUp() override {
    widget.SetStaticPainter([this](Canvas& canvas) {
      ++staticPaints;
      canvas.FillRect(0, 0, 50, 50, STATIC_INK);
    });
    widget.resize(200, 100);
    widget.show();
    ASSERT_TRUE(test::PumpUntil([this] { return staticPaints == 1; }));
  }
  Colour Shown(int x, int y) { return PixelAt(widget.grab().toImage(), x, y); }
};

TEST_F(SurfaceFixture, FirstPaintDrawsTheStaticLayerOnTheBackground) {
  const QImage image = surface.Image();
  EXPECT_EQ(PixelAt(image, 10, 10), STATIC_INK);
  EXPECT_EQ(PixelAt(image, 100, 80), COLOUR_BACKGROUND);
  EXPECT_EQ(Shown(10, 10), STATIC_INK);
  EXPECT_EQ(Shown(100, 80), COLOUR_BACKGROUND);
}

TEST_F(SurfaceFixture, ValuesDrawnOnAnotherThreadReachTheWindow) {
  std::thread display([this] {
    for (int i = 0; i < 50; ++i) {
      surface.DrawValues([i](Canvas& canvas) { canvas.FillRect(60 + i, 60, 61 + i, 70, VALUE_INK); });
    }
  });
  test::PumpUntil([] { return false; }, 100);
  display.join();
  test::Pump(50);
  EXPECT_EQ(PixelAt(surface.Image(), 60, 65), VALUE_INK);
  EXPECT_EQ(PixelAt(surface.Image(), 109, 65), VALUE_INK);
  EXPECT_EQ(Shown(60, 65), VALUE_INK);
  EXPECT_EQ(Shown(109, 65), VALUE_INK);
  EXPECT_EQ(Shown(10, 10), STATIC_INK);
  // Drawing values never repaints the static layer.
  EXPECT_EQ(staticPaints, 1);
}

TEST_F(SurfaceFixture, RepaintRequestsRunTheStaticLayerOnceAndEraseFirst) {
  surface.DrawValues([](Canvas& canvas) { canvas.FillRect(150, 20, 160, 30, VALUE_INK); });
  std::thread display([this] {
    for (int i = 0; i < 5; ++i) surface.InvalidateAll();
  });
  display.join();
  ASSERT_TRUE(test::PumpUntil([this] { return staticPaints == 2; }));
  test::Pump(50);
  EXPECT_EQ(staticPaints, 2);
  // The value drawn before the repaint is gone; the static layer is back.
  EXPECT_EQ(PixelAt(surface.Image(), 155, 25), COLOUR_BACKGROUND);
  EXPECT_EQ(Shown(155, 25), COLOUR_BACKGROUND);
  EXPECT_EQ(Shown(10, 10), STATIC_INK);
  // A later request is served again.
  surface.InvalidateAll();
  ASSERT_TRUE(test::PumpUntil([this] { return staticPaints == 3; }));
}

TEST_F(SurfaceFixture, ImageIsASnapshot) {
  const QImage before = surface.Image();
  surface.DrawValues([](Canvas& canvas) { canvas.FillRect(0, 0, 200, 100, VALUE_INK); });
  EXPECT_EQ(PixelAt(before, 100, 80), COLOUR_BACKGROUND);
  EXPECT_EQ(PixelAt(surface.Image(), 100, 80), VALUE_INK);
}

TEST(RetainedSurface, DrawsWithoutAWidgetAndKeepsItsSize) {
  RetainedSurface surface(800, 600);
  surface.InvalidateAll();
  surface.DrawValues([](Canvas& canvas) { canvas.SetPixel(794, 546, VALUE_INK); });
  test::Pump(20);
  const QImage image = surface.Image();
  EXPECT_EQ(image.width(), 800);
  EXPECT_EQ(image.height(), 600);
  EXPECT_EQ(PixelAt(image, 794, 546), VALUE_INK);
  EXPECT_EQ(PixelAt(image, 0, 0), COLOUR_BACKGROUND);
}

}  // namespace
}  // namespace zrm
