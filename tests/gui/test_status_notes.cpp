// What the status panel tells a driver at a glance, through vistrel's window:
// an open port gone silent ("No Data", the gauges empty), the confirmation of
// a logging key, and a paused or finished playback with its bar at the end.
// The panel's notes run on the window's clock, which the tests set.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>

#include "apps/vistrel/main_window.h"
#include "displays/gauge_display.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "link/frame_processor.h"
#include "scripted_services.h"
#include "shell/main_menu.h"
#include "sim/sim_ecm.h"
#include "test_support.h"

namespace zrm {
namespace {

// Pixels of `colour` in a rectangle of the window's surface.
int CountColour(const QImage& image, int left, int top, int right, int bottom, Colour colour) {
  int count = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (test::PixelAt(image, x, y) == colour) ++count;
  return count;
}

struct NotesFixture : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<sim::SimEcm> ecm;
  QtServices qtServices;
  test::ScriptedServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;
  std::int64_t now = 1000;

  // `port` empty: the simulated ECM's link; else a port that does not open.
  void Start(const std::string& port, const std::string& moreConfig = "") {
    std::string config = port;
    if (port.empty()) {
      sim::SimOptions options;
      options.linkPath = dir.File("tty");
      ecm = std::make_unique<sim::SimEcm>(options);
      ASSERT_EQ(ecm->Start(), 0);
      config = options.linkPath;
    }
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] " + config + "\r\r\n" + moreConfig);
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, qtServices);
    window->clock = [this] { return now; };
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
  }

  void TearDown() override {
    if (window) window->close();
    window.reset();
    app.reset();
    if (ecm) ecm->Stop();
  }

  std::uint64_t Frames() const { return app->processor.record.goodFrames.load(); }
  bool FramesFlow(int more = 20) {
    const std::uint64_t frames = Frames();
    return test::PumpUntil([&] { return Frames() > frames + more; }, 5000);
  }
  // True once no frame has come for `quietMs` of real time.
  bool FramesStop(int quietMs = 400) {
    std::uint64_t frames = Frames();
    for (int i = 0; i < 50; ++i) {
      test::Pump(quietMs);
      if (Frames() == frames) return true;
      frames = Frames();
    }
    return false;
  }
  void Key(int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(window->SurfaceView(), &press);
  }
  QImage Shown() {
    test::Pump(100);  // the queued repaint
    return window->Surface().Image();
  }
};

// The ECM stops streaming while the port stays open: two seconds later the
// port line says "No Data" in the warning colour and the gauges hold no
// values; frames again bring back "Open" and the values.
TEST_F(NotesFixture, SilentOpenPortShowsNoDataAndEmptyGaugesUntilFramesCome) {
  Start("");
  ASSERT_TRUE(test::PumpUntil([&] { return app->portOpen.load() != 0; }, 5000));
  ASSERT_TRUE(FramesFlow());
  window->PollStatusNotes();
  // The speedometer's needle, the port line's state.
  const auto needle = [&](const QImage& image) { return CountColour(image, 205, 140, 360, 300, NEEDLE_COLOUR); };
  const auto warnedPort = [&](const QImage& image) { return CountColour(image, 60, 120, 150, 136, COLOUR_WARNING); };
  // The IGN and PMP bars' level.
  const auto ignition = [&](const QImage& image) { return CountColour(image, 30, 330, 80, 510, BarColour(4)); };
  const QImage live = Shown();
  ASSERT_GT(needle(live), 20);
  ASSERT_GT(ignition(live), 100);
  EXPECT_EQ(warnedPort(live), 0);
  EXPECT_FALSE(window->CollectStatus().portNoData);

  for (int i = 0; i < 50 && app->link.TxMsXmit(0) != 0; ++i) test::Pump(20);
  ASSERT_TRUE(FramesStop());
  // Every poll so far was at the clock's first reading, the last frame's too.
  window->PollStatusNotes();
  EXPECT_FALSE(window->NoData());
  now += NO_DATA_AFTER_MS - 1;
  window->PollStatusNotes();
  EXPECT_FALSE(window->NoData());
  now += 1;
  window->PollStatusNotes();
  ASSERT_TRUE(window->NoData());
  EXPECT_TRUE(window->CollectStatus().portNoData);
  EXPECT_TRUE(window->CollectStatus().portOpen);
  const QImage silent = Shown();
  EXPECT_GT(warnedPort(silent), 20);
  EXPECT_EQ(needle(silent), 0);
  EXPECT_EQ(ignition(silent), 0);

  for (int i = 0; i < 50 && app->link.TxMsXmit(1) != 0; ++i) test::Pump(20);
  ASSERT_TRUE(FramesFlow());
  now += 250;
  window->PollStatusNotes();
  EXPECT_FALSE(window->NoData());
  ASSERT_TRUE(test::PumpUntil([&] { return needle(window->Surface().Image()) > 20; }, 3000));
  EXPECT_GT(ignition(Shown()), 100);
  // "Open" again, drawn over a cleared field: no warning colour is left.
  EXPECT_EQ(warnedPort(Shown()), 0);
}

// TAB and SPACE while logging: the "Logging: " line confirms the marker's
// number as the log holds it, or the time stamp, for two seconds.
TEST_F(NotesFixture, LoggingKeysAreConfirmedForTwoSeconds) {
  Start("COM39");
  services.choices.push_back(dir.File("drive.dat"));
  window->Command(CMD_DATALOG);
  ASSERT_TRUE(app->dataLog.LogActive());
  EXPECT_EQ(window->CollectStatus().logNote, "");

  const auto loggingLine = [&] { return CountColour(Shown(), 60, 142, 131, 158, COLOUR_TEXT); };
  // The CommThread has written it (the keys come slower than its passes).
  const auto logged = [&](const std::string& mark) {
    return test::PumpUntil(
        [&] { return test::ReadFileText(dir.File("drive.dat")).find(mark + "TIME: ") != std::string::npos; }, 3000);
  };
  const int plain = loggingLine();  // "  ON   "
  Key(Qt::Key_Tab, "\t");
  EXPECT_EQ(window->CollectStatus().logNote, "MARK 000");
  EXPECT_TRUE(logged("MARK000"));
  Key(Qt::Key_Tab, "\t");
  EXPECT_EQ(window->CollectStatus().logNote, "MARK 001");
  EXPECT_TRUE(logged("MARK001"));
  EXPECT_GT(loggingLine(), plain);
  now += 1000;
  Key(Qt::Key_Space, " ");
  EXPECT_EQ(window->CollectStatus().logNote, "Time Stamp");
  now += LOG_NOTE_MS - 1;
  window->PollStatusNotes();
  EXPECT_EQ(window->CollectStatus().logNote, "Time Stamp");
  now += 1;
  window->PollStatusNotes();
  EXPECT_EQ(window->CollectStatus().logNote, "");
  // Back to "  ON   " over a cleared field.
  EXPECT_EQ(loggingLine(), plain);

  // ENTER's pause is not hidden behind a confirmation.
  app->settings.enterPauses = 1;
  Key(Qt::Key_Tab, "\t");
  EXPECT_EQ(window->CollectStatus().logNote, "MARK 002");
  EXPECT_TRUE(logged("MARK002"));
  Key(Qt::Key_Return, "\r");
  EXPECT_TRUE(window->CollectStatus().logPaused);
  EXPECT_GT(CountColour(Shown(), 60, 142, 131, 158, COLOUR_WARNING), 10);

  window->Command(CMD_CLOSE_DATALOG);
  EXPECT_EQ(window->CollectStatus().logNote, "");

  // A new recording counts its markers from 000 again.
  services.choices.push_back(dir.File("drive.dat"));
  window->Command(CMD_DATALOG);
  ASSERT_TRUE(app->dataLog.LogActive());
  EXPECT_EQ(window->CollectStatus().logNote, "");
  Key(Qt::Key_Tab, "\t");
  EXPECT_EQ(window->CollectStatus().logNote, "MARK 000");
}

// A paused playback says so on the "Playback: " line; at the end of the file
// the progress bar is full and the line says " EOF   ".
TEST_F(NotesFixture, PausedPlaybackIsShownAndTheBarEndsFull) {
  Start("COM39", "[PBSPD] 100\r\r\n");
  std::vector<std::uint8_t> log;
  for (int i = 0; i < 120; ++i) {
    std::vector<std::uint8_t> payload(273, 0);
    payload[236] = static_cast<std::uint8_t>(i / 17);
    const std::vector<std::uint8_t> wire = test::WireFrame(payload);
    log.insert(log.end(), wire.begin(), wire.end());
  }
  // A recording's head comes before its frames.
  const std::string head = "TIME: 12/09/2026 - 21:43:07[ID] ZRM Flash Vistrel Display\r\n";
  log.insert(log.begin(), head.begin(), head.end());
  test::WriteFileBytes(dir.File("run.dat"), log);
  services.choices.push_back(dir.File("run.dat"));
  window->Command(CMD_PLAYBACK);
  ASSERT_TRUE(app->playback.PlaybackActive());

  QPushButton* pause = nullptr;
  for (QPushButton* b : window->SurfaceView()->findChildren<QPushButton*>())
    if (b->text() == "Pause") pause = b;
  ASSERT_NE(pause, nullptr);
  const auto playbackLine = [&] { return CountColour(Shown(), 60, 160, 131, 176, COLOUR_WARNING); };
  EXPECT_EQ(playbackLine(), 0);  // "  ON   "
  pause->click();
  EXPECT_TRUE(window->CollectStatus().playbackPaused);
  EXPECT_GT(playbackLine(), 10);  // "  Pause"
  pause->click();
  EXPECT_FALSE(window->CollectStatus().playbackPaused);
  EXPECT_EQ(playbackLine(), 0);

  app->playback.SetRateFromTrackbar(100);  // as fast as it goes
  ASSERT_TRUE(test::PumpUntil([&] { return app->playback.PlaybackAtEnd(); }, 10000));
  QProgressBar* progress = window->SurfaceView()->findChild<QProgressBar*>();
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->maximum(), static_cast<int>(log.size()) / 4709 + 5);
  EXPECT_TRUE(test::PumpUntil([&] { return progress->value() == progress->maximum(); }, 2000))
      << progress->value() << " of " << progress->maximum();
  EXPECT_GT(playbackLine(), 10);  // " EOF   "
}

}  // namespace
}  // namespace zrm
