// The VE learn display in vistrel's window, offscreen: its controls at their
// places, the view buttons, "Clear Data", the highlight cell's colour from
// fed frames, and the File menu items of a start and a stop.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/velearn_view.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "link/frame_processor.h"
#include "link/runtime_frame.h"
#include "shell/main_menu.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A running engine at 2000 RPM (grid row 64) and 60 kPa (grid column 40),
// closed loop with block learn, BLM 140: a BLM sample once past the start.
Bytes Running(std::uint8_t cts = 173) {
  Bytes p(FRAME_PAYLOAD_SIZE, 0);
  p[field::statusByte1] = 0x80;
  p[field::runTimeSec + 1] = 30;
  p[field::mapGauge] = 128;
  p[field::tpsRaw] = 51;
  p[field::rpmFine] = 80;
  p[field::ctsRaw] = cts;
  p[field::statusByte14] = 0x82;
  p[field::blm] = 140;
  p[field::integrator] = 128;
  return p;
}

Bytes MakeBin(int id) {
  Bytes bin(16384, 0x80);
  bin[0] = static_cast<std::uint8_t>(id >> 8);
  bin[1] = static_cast<std::uint8_t>(id & 0xFF);
  bin[2] = 'Z';
  bin[3] = 'R';
  bin[4] = 'M';
  bin[5] = 'F';
  return bin;
}

struct VeLearnWindow : ::testing::Test {
  test::TempDir dir;
  QtServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] COM39\r\r\n[UPDATERATE] 3\r\r\n[SMOOTHFAC] 0\r\r\n");
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, services);
    window->show();
    window->SwitchDisplay(CMD_VE_LEARN);
  }
  void TearDown() override {
    if (window) window->close();
    window.reset();
    app.reset();
  }
  VeLearnView& View() { return window->VeLearnTool(); }
  void Feed(const Bytes& frame) { app->processor.ProcessFrame(frame.data()); }
  Colour At(int x, int y) { return test::PixelAt(window->Surface().Image(), x, y); }
  // Learning from a BIN without the dialogs.
  void Learn() {
    test::WriteFileBytes(dir.File("src.bin"), MakeBin(5));
    ASSERT_EQ(View().Model().BeginLearning(dir.File("src.bin"), dir.File("dst.bin"), 5), 0);
  }
};

TEST_F(VeLearnWindow, ControlsAtTheirPlaces) {
  ASSERT_EQ(window->DisplayMode(), MODE_VELEARN);
  ASSERT_NE(View().GroupBox(), nullptr);
  EXPECT_EQ(View().GroupBox()->title(), "Display");
  EXPECT_EQ(View().GroupBox()->geometry(), QRect(675, 80, 105, 120));
  const char* texts[] = {"Orig", "New", "Corectns"};
  for (int v = 0; v < 3; ++v) {
    QRadioButton* radio = View().ViewButton(v);
    ASSERT_NE(radio, nullptr);
    EXPECT_EQ(radio->text(), texts[v]);
    EXPECT_EQ(radio->geometry(), QRect(685, 100 + 30 * v, 80, 30));
    EXPECT_EQ(radio->isChecked(), v == 0);
  }
  ASSERT_NE(View().ClearButton(), nullptr);
  EXPECT_EQ(View().ClearButton()->text(), "Clear Data");
  EXPECT_EQ(View().ClearButton()->geometry(), QRect(686, 220, 80, 30));

  // Another display removes them; coming back makes them with the view kept.
  View().ViewButton(2)->click();
  EXPECT_EQ(View().Model().view.load(), VE_VIEW_CORRECTIONS);
  window->SwitchDisplay(CMD_VISTREL);
  EXPECT_EQ(View().ViewButton(0), nullptr);
  EXPECT_EQ(View().ClearButton(), nullptr);
  window->SwitchDisplay(CMD_QUICK_VE);
  ASSERT_NE(View().ViewButton(2), nullptr);
  EXPECT_TRUE(View().ViewButton(2)->isChecked());
}

TEST_F(VeLearnWindow, HighlightGreenWhenStoredYellowWhenNot) {
  Learn();
  // The 2000 RPM row (17) and the 60 kPa column (9): box at
  // (32 x 9 + 181, 13 x 17 + 61) = (469, 282), 29 x 15.
  const int left = 469, top = 282;
  // 34 frames to confirm the engine, one MAP step from the start's 0, one
  // sample; [UPDATERATE] 3 draws every frame.
  for (int i = 0; i < 36; ++i) Feed(Running());
  ASSERT_EQ(app->processor.record.engineRunning.load(), 1);
  ASSERT_EQ(View().Model().Tally().samples, 1u);
  ASSERT_TRUE(test::PumpUntil([&] { return At(left + 1, top + 1) == RgbColour(20, 220, 10); }))
      << std::hex << At(left + 1, top + 1);
  EXPECT_EQ(At(left + 27, top + 13), RgbColour(20, 220, 10));

  Feed(Running(100));  // cold: turned away
  ASSERT_TRUE(test::PumpUntil([&] { return At(left + 1, top + 1) == RgbColour(255, 255, 0); }))
      << std::hex << At(left + 1, top + 1);
}

TEST_F(VeLearnWindow, ClearDataEmptiesTheGrid) {
  Learn();
  View().Model().SetLearnCell(64, 40, 140, 5);
  View().ClearButton()->click();
  EXPECT_EQ(View().Model().LearnValue(64, 40), 0u);
}

TEST_F(VeLearnWindow, StartAndStopSetTheMenu) {
  QAction* learn = window->Action(CMD_LEARN_VE);
  QAction* stop = window->Action(CMD_STOP_LEARN_VE);
  EXPECT_TRUE(learn->isEnabled());
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_EQ(stop->text(), "St&op Learn VE");

  Learn();
  View().Model().menuChanged(true);
  EXPECT_FALSE(learn->isEnabled());
  EXPECT_TRUE(stop->isEnabled());
  EXPECT_EQ(stop->text(), "St&op VeLearn");
  EXPECT_TRUE(window->CollectStatus().veLearnRunning);

  window->Command(CMD_STOP_LEARN_VE);
  EXPECT_FALSE(View().Model().Learning());
  EXPECT_TRUE(learn->isEnabled());
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_EQ(stop->text(), "St&op VeLearn");
  EXPECT_EQ(test::ReadFileBytes(dir.File("dst.bin")).size(), 16384u);
}

TEST_F(VeLearnWindow, ExitWritesTheTable) {
  Learn();
  window->close();
  window.reset();
  EXPECT_EQ(test::ReadFileBytes(dir.File("dst.bin")).size(), 16384u);
}

}  // namespace
}  // namespace zrm
