// Logging and playback through vistrel's window: the menu items, the
// playback controls per display, the logging keys, and the status line.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include "apps/vistrel/main_window.h"
#include "gui/qt_services.h"
#include "link/frame_processor.h"
#include "platform/clock.h"
#include "shell/main_menu.h"
#include "gui_test_support.h"
#include "scripted_services.h"
#include "test_support.h"

namespace zrm {
namespace {


std::vector<std::uint8_t> Frames(int count) {
  std::vector<std::uint8_t> log;
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint8_t> payload(273, 0);
    payload[235] = static_cast<std::uint8_t>((i / 17) >> 8);
    payload[236] = static_cast<std::uint8_t>((i / 17) & 0xFF);
    payload[204] = 0x08;
    std::vector<std::uint8_t> wire = test::WireFrame(payload);
    log.insert(log.end(), wire.begin(), wire.end());
  }
  return log;
}

struct LoggingFixture : ::testing::Test {
  test::TempDir dir;
  test::ScriptedServices services;
  QtServices windowServices;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] COM39\r\r\n[PBSPD] 0\r\r\n");
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, windowServices);
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
  }
  void TearDown() override {
    window->close();
    window.reset();
    app.reset();
  }
  bool Enabled(int command) const { return window->Action(command)->isEnabled(); }
  template <class T>
  T* Child(const QString& text) const {
    for (T* w : window->SurfaceView()->findChildren<T*>()) {
      if (text.isEmpty() || w->property("text").toString() == text) return w;
    }
    return nullptr;
  }
  void Key(int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(window->SurfaceView(), &press);
  }
};

TEST_F(LoggingFixture, PlaybackControlsFollowTheDisplayAndGoWithStop) {
  test::WriteFileBytes(dir.File("run.dat"), Frames(400));
  services.choices.push_back(dir.File("run.dat"));
  window->Command(CMD_PLAYBACK);
  ASSERT_TRUE(app->playback.PlaybackActive());
  EXPECT_FALSE(Enabled(CMD_PLAYBACK));
  EXPECT_TRUE(Enabled(CMD_STOP_PLAYBACK));
  EXPECT_FALSE(Enabled(CMD_DATALOG));

  QPushButton* pause = Child<QPushButton>("Pause");
  QPushButton* backUp = Child<QPushButton>("<-BackUp");
  QSlider* rate = Child<QSlider>("");
  QProgressBar* progress = Child<QProgressBar>("");
  ASSERT_NE(pause, nullptr);
  ASSERT_NE(backUp, nullptr);
  ASSERT_NE(rate, nullptr);
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(pause->geometry(), QRect(710, 43, 70, 20));
  EXPECT_EQ(backUp->geometry(), QRect(710, 71, 70, 20));
  EXPECT_EQ(rate->geometry(), QRect(635, 99, 150, 22));
  EXPECT_EQ(progress->geometry(), QRect(612, 17, 173, 9));
  EXPECT_EQ(progress->maximum(), 400 * 277 / 4709 + 5);
  EXPECT_EQ(rate->value(), 100);  // [PBSPD] 0

  // Frames are played through the displays.
  ASSERT_TRUE(test::PumpUntil([&] { return app->processor.record.goodFrames.load() > 50; }, 5000));

  // Another display keeps only "Pause"; the key reaches the window from the button.
  pause->setFocus();
  QKeyEvent two(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");
  QApplication::sendEvent(pause, &two);
  ASSERT_TRUE(test::PumpUntil([&] { return window->DisplayMode() == MODE_TRIP; }, 2000));
  EXPECT_NE(Child<QPushButton>("Pause"), nullptr);
  EXPECT_EQ(Child<QPushButton>("<-BackUp"), nullptr);
  EXPECT_EQ(Child<QSlider>(""), nullptr);

  Child<QPushButton>("Pause")->click();
  EXPECT_TRUE(app->playback.PlaybackPaused());
  EXPECT_TRUE(Child<QPushButton>("Pause")->isChecked());

  window->Command(CMD_STOP_PLAYBACK);
  EXPECT_FALSE(app->playback.PlaybackActive());
  EXPECT_EQ(Child<QPushButton>("Pause"), nullptr);
  EXPECT_EQ(Child<QProgressBar>(""), nullptr);
  EXPECT_TRUE(Enabled(CMD_PLAYBACK));
  EXPECT_FALSE(Enabled(CMD_STOP_PLAYBACK));
  EXPECT_EQ(app->sources.FrameSource(), SOURCE_LIVE);
}

TEST_F(LoggingFixture, LogMenuKeysAndStatus) {
  services.choices.push_back(dir.File("new.dat"));
  window->Command(CMD_DATALOG);
  ASSERT_TRUE(app->dataLog.LogActive());
  EXPECT_TRUE(Enabled(CMD_CLOSE_DATALOG));
  EXPECT_FALSE(Enabled(CMD_DATALOG));
  EXPECT_EQ(window->CollectStatus().fileName, "new.dat");
  EXPECT_EQ(app->settings.dataLog.path, dir.File("new.dat"));

  // The logging keys work from the window while a log is open.
  app->settings.enterPauses = 1;
  Key(Qt::Key_Return, "\r");
  EXPECT_TRUE(app->dataLog.LogPaused());
  EXPECT_TRUE(window->CollectStatus().logPaused);
  Key(Qt::Key_Space, " ");
  EXPECT_FALSE(app->dataLog.LogPaused());
  Key(Qt::Key_Tab, "\t");

  window->Command(CMD_CLOSE_DATALOG);
  EXPECT_FALSE(app->dataLog.LogActive());
  EXPECT_TRUE(Enabled(CMD_DATALOG));
  // The head, then (with the port closed) nothing but the stamp and marker.
  const std::string text = test::ReadFileText(dir.File("new.dat"));
  ASSERT_EQ(text.rfind("TIME: ", 0), 0u);
  EXPECT_NE(text.find("[ID] ZRM Flash Vistrel Display\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\r\r\n"), std::string::npos);  // CR LF lines in a log
}

}  // namespace
}  // namespace zrm
