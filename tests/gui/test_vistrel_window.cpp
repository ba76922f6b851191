// vistrel's main window offscreen: menu states after display switches, the
// keys that switch displays, and the configuration written at shutdown.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>

#include "apps/vistrel/main_window.h"
#include "gui/qt_services.h"
#include "link/frame_processor.h"
#include "shell/main_menu.h"
#include "test_support.h"

namespace zrm {
namespace {

struct WindowFixture : ::testing::Test {
  test::TempDir dir;
  QtServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;

  void Start(const std::string& config) {
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), config);
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, services);
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
  }
  // No such device here: the port stays closed and is retried.
  void SetUp() override { Start("[PORT] COM39\r\r\n"); }
  void TearDown() override {
    if (window) window->close();
    window.reset();
    app.reset();
  }

  bool Enabled(int command) const { return window->Action(command)->isEnabled(); }
  void Type(char key) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + (key - '0'), Qt::NoModifier, QString(QChar(key)));
    QApplication::sendEvent(window->SurfaceView(), &press);
  }
};

TEST_F(WindowFixture, MenuStatesFollowTheDisplay) {
  EXPECT_EQ(window->DisplayMode(), MODE_GAUGE);
  // Initial states of the file menu and the grayed current display.
  EXPECT_FALSE(Enabled(CMD_VISTREL));
  EXPECT_FALSE(Enabled(CMD_CLOSE_DATALOG));
  EXPECT_FALSE(Enabled(CMD_STOP_PLAYBACK));
  EXPECT_FALSE(Enabled(CMD_STOP_LEARN_VE));
  EXPECT_FALSE(Enabled(CMD_QUICK_LABEL));
  EXPECT_TRUE(Enabled(CMD_DATALOG));

  struct Step {
    int command;
    int mode;
    std::vector<int> grayed;
  };
  const Step steps[] = {
      {CMD_TRIP_INFO, MODE_TRIP, {CMD_TRIP_INFO}},
      {CMD_QUICK_SPK, MODE_KNOCK, {CMD_SPK_KNOCK}},
      {CMD_DIAGNOSTIC, MODE_DIAGNOSTICS, {CMD_DIAGNOSTIC}},
      {CMD_FLASH, MODE_FLASH, {CMD_FLASH, CMD_MALF_CODES, CMD_BANK_SELECT}},
      {CMD_ANALYSIS, MODE_ANALYSIS, {CMD_ANALYSIS, CMD_MALF_CODES, CMD_BANK_SELECT}},
      {CMD_VISTREL, MODE_GAUGE, {CMD_VISTREL}},
  };
  const int items[] = {CMD_VISTREL, CMD_TRIP_INFO, CMD_VE_LEARN, CMD_SPK_KNOCK, CMD_MALF_CODES,
                       CMD_BANK_SELECT, CMD_FLASH, CMD_ANALYSIS, CMD_DIAGNOSTIC};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.command);
    window->SwitchDisplay(step.command);
    EXPECT_EQ(window->DisplayMode(), step.mode);
    for (int item : items) {
      bool shouldBeGrayed = std::find(step.grayed.begin(), step.grayed.end(), item) != step.grayed.end();
      EXPECT_EQ(Enabled(item), !shouldBeGrayed) << "item " << item;
    }
    // The analysis display keeps the DisplayThread parked; the others release it.
    EXPECT_EQ(app->displayThread.displayHold.load(), step.mode == MODE_ANALYSIS);
  }
}

TEST_F(WindowFixture, NumberKeysSwitchDisplaysOutsideAnalysisAndFlash) {
  const struct {
    char key;
    int mode;
  } keys[] = {{'3', MODE_VELEARN}, {'2', MODE_TRIP}, {'4', MODE_KNOCK}, {'5', MODE_DIAGNOSTICS}, {'1', MODE_GAUGE}};
  for (const auto& k : keys) {
    Type(k.key);
    EXPECT_EQ(window->DisplayMode(), k.mode) << k.key;
  }
  EXPECT_FALSE(Enabled(CMD_VISTREL));
  Type('3');
  EXPECT_FALSE(Enabled(CMD_VE_LEARN));
  EXPECT_TRUE(Enabled(CMD_VISTREL));

  window->SwitchDisplay(CMD_ANALYSIS);
  Type('3');
  EXPECT_EQ(window->DisplayMode(), MODE_ANALYSIS);
  window->SwitchDisplay(CMD_FLASH);
  Type('1');
  EXPECT_EQ(window->DisplayMode(), MODE_FLASH);
}

TEST_F(WindowFixture, ShutdownWritesTheConfigurationWithThePosition) {
  window->move(100, 120);
  QApplication::processEvents();
  app->settings.redline = 9000;  // out of range: saved as its limit
  window->close();
  const std::string saved = test::ReadFileText(dir.File("ZRM_Vistrel.cfg"));
  EXPECT_NE(saved.find("[ID] ZRM Flash Vistrel Display\r\r\n"), std::string::npos);
  EXPECT_NE(saved.find("[PORT] COM39\r\r\n"), std::string::npos);
  EXPECT_NE(saved.find("[XPOSHWND] 100\r\r\n"), std::string::npos);
  EXPECT_NE(saved.find("[YPOSHWND] 120\r\r\n"), std::string::npos);
  EXPECT_NE(saved.find("[RDLN] 8000\r\r\n"), std::string::npos);
  EXPECT_NE(saved.find("[AD7FPPREF] 0\r\r\n"), std::string::npos);
}

TEST_F(WindowFixture, StartsWhereItWasLeft) {
  window->close();
  window.reset();
  app.reset();
  Start("[PORT] COM3\r\r\n[XPOSHWND] 40\r\r\n[YPOSHWND] 50\r\r\n");
  EXPECT_EQ(window->frameGeometry().x(), 40);
  EXPECT_EQ(window->frameGeometry().y(), 50);
  EXPECT_EQ(app->link.PortName(), SerialDevicePath("COM3"));
}

}  // namespace
}  // namespace zrm
