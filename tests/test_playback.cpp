// Playback of a data log through the DisplayThread's turns and the frame
// processing: the dialog and path keys, the progress range and steps, pause,
// BackUp with its catch-up, the end of the file, [PBSPD], stopping, and the
// exclusion of logging.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/runtime_frame.h"
#include "link/serial_link.h"
#include "logs/data_log.h"
#include "logs/playback.h"
#include "platform/clock.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kIndexOffset = 120;  // where a test frame carries its number

// Frame `index` of a drive with the engine running, 17 frames a second from
// run time 100 s.
Bytes WireFrameAt(int index) {
  Bytes payload(273, 0);
  payload[field::statusByte1] = 0x80;
  const int runTime = 100 + index / 17;
  payload[field::runTimeSec] = static_cast<std::uint8_t>(runTime >> 8);
  payload[field::runTimeSec + 1] = static_cast<std::uint8_t>(runTime & 0xFF);
  payload[kIndexOffset] = static_cast<std::uint8_t>(index >> 8);
  payload[kIndexOffset + 1] = static_cast<std::uint8_t>(index & 0xFF);
  return test::WireFrame(payload);
}

Bytes Frames(int count) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) {
    Bytes f = WireFrameAt(i);
    bytes.insert(bytes.end(), f.begin(), f.end());
  }
  return bytes;
}

struct Message {
  std::string caption, text;
};

struct ScriptedServices : PlatformServices {
  std::vector<Message> messages;
  std::vector<FileDialogRequest> dialogs;
  std::string answer;  // empty: cancel
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon) override {
    messages.push_back({caption, text});
  }
  void Beep(unsigned) override {}
  bool ChooseFile(const FileDialogRequest& request, std::string* path) override {
    dialogs.push_back(request);
    if (answer.empty()) return false;
    *path = answer;
    return true;
  }
};

struct PlaybackFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedServices services;
  VistrelSettings settings;
  ConfigFile config = MakeVistrelConfig(dir.File("ZRM_Vistrel.cfg"), settings, &services);
  // What the callbacks below record into: declared first, so it outlives the
  // log and the playback whose destructors still call them.
  std::vector<int> gauge, trip;  // frame numbers each display saw
  std::vector<std::string> events;
  int atEndCalls = 0;
  int progressCalls = 0;
  bool portIsOpen = false;

  SerialLink link;  // never started: the port stays closed, the ring empty
  FrameSources sources{&link};
  FrameProcessor processor{sources};
  DisplayThread display{processor, sources, &link};
  DataLog log{link, config, settings, services};
  Playback playback{sources, processor, display, log, config, settings, services};

  void SetUp() override {
    processor.SetDisplayUpdate(DISPLAY_GAUGE, [this](const std::uint8_t* f, int) {
      gauge.push_back(f[kIndexOffset] * 256 + f[kIndexOffset + 1]);
    });
    processor.SetDisplayUpdate(DISPLAY_TRIP, [this](const std::uint8_t* f, int) {
      trip.push_back(f[kIndexOffset] * 256 + f[kIndexOffset + 1]);
    });
    processor.displayMode.store(MODE_GAUGE);
    settings.playbackDelay = 0;
    log.playbackActive = [this] { return playback.PlaybackActive(); };
    log.onStateChanged = [this] { events.push_back("log"); };
    playback.onStateChanged = [this] { events.push_back("state"); };
    playback.tripRefreshReset = [this] { events.push_back("trip"); };
    playback.disconnectPort = [this] { events.push_back("disconnect"); };
    playback.reconnectPort = [this] { events.push_back("reconnect"); };
    playback.portOpen = [this] { return portIsOpen; };
    playback.closeBankSelector = [this] { events.push_back("close bank"); };
    playback.openBankSelector = [this] { events.push_back("open bank"); };
    playback.switchToGauge = [this] { events.push_back("gauge"); };
    playback.onAtEnd = [this] { ++atEndCalls; };
    playback.onProgressStep = [this] { ++progressCalls; };
  }

  int Play(const std::string& name, const Bytes& bytes) {
    test::WriteFileBytes(dir.File(name), bytes);
    services.answer = dir.File(name);
    return playback.StartPlayback();
  }
  // Turns until `count` more frames reached the gauge display, never past the end.
  void PlayFrames(std::size_t count) {
    const std::size_t target = gauge.size() + count;
    for (int turns = 0; gauge.size() < target && !playback.PlaybackAtEnd() && turns < 10000; ++turns) display.Turn();
    ASSERT_EQ(gauge.size(), target);
  }
  void PlayToEnd() {
    for (int turns = 0; !playback.PlaybackAtEnd() && turns < 10000; ++turns) display.Turn();
    ASSERT_TRUE(playback.PlaybackAtEnd());
  }
  std::int64_t Position() { return sources.playback.Stream()->Tell(); }
};

std::vector<int> Range(int first, int last) {
  std::vector<int> v;
  for (int i = first; i <= last; ++i) v.push_back(i);
  return v;
}

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

TEST(PlaybackProgress, RangeIsOneStepPerSecondOfStreamPlusFive) {
  struct Case {
    std::int64_t size;
    int range;
  };
  const Case cases[] = {{0, 5}, {4708, 5}, {4709, 6}, {9418, 7}, {10000, 7}, {14126, 7}, {14127, 8},
                        {1000000, 217}, {-1, 5}};
  for (const Case& c : cases) EXPECT_EQ(PlaybackProgressRange(c.size), c.range) << c.size;
}

TEST(PlaybackMenu, LoggingAndPlaybackExcludeEachOther) {
  struct Case {
    bool log, playback;
    LogMenuItems items;
  };
  const Case cases[] = {
      {false, false, {true, false, true, false}},
      {true, false, {false, true, true, false}},
      {false, true, {false, false, false, true}},
  };
  for (const Case& c : cases) EXPECT_EQ(LogMenuState(c.log, c.playback), c.items) << c.log << c.playback;
}

TEST_F(PlaybackFixture, StartPlaysEveryFrameThenMarksTheEndAndStopRestoresTheLiveStream) {
  settings.playback = {"/logs/last.dat", "last.dat", "/logs/"};
  // A time stamp and a marker inside frames are removed by the reader.
  Bytes bytes = Frames(60);
  const std::string stamp = "TIME: 12/09/2026 - 21:43:07";
  const std::string mark = "MARK000TIME: 12/09/2026 - 21:43:08";
  bytes.insert(bytes.begin() + 277 * 10 + 150, stamp.begin(), stamp.end());
  bytes.insert(bytes.begin() + 277 * 40 + 20, mark.begin(), mark.end());
  ASSERT_EQ(Play("drive.dat", bytes), 0);

  ASSERT_EQ(services.dialogs.size(), 1u);
  const FileDialogRequest& r = services.dialogs[0];
  EXPECT_EQ(r.title, "Select File to Playback");
  using Filters = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(r.filters, (Filters{{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}}));
  EXPECT_EQ(r.initialName, "last.dat");
  EXPECT_EQ(r.initialFolder, "/logs/");
  EXPECT_EQ(r.defaultExtension, "dat");
  EXPECT_FALSE(r.save);

  EXPECT_TRUE(playback.PlaybackActive());
  EXPECT_FALSE(playback.PlaybackAtEnd());
  EXPECT_EQ(playback.FileSize(), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(playback.ProgressRange(), static_cast<int>(bytes.size()) / 4709 + 5);
  EXPECT_EQ(playback.PlaybackFileName(), "drive.dat");
  EXPECT_EQ(sources.FrameSource(), SOURCE_PLAYBACK);
  EXPECT_TRUE(processor.playbackRunning.load());
  EXPECT_EQ(events, (std::vector<std::string>{"state", "trip", "disconnect"}));
  const FilePathTriple chosen{dir.File("drive.dat"), "drive.dat", dir.path() + "/"};
  EXPECT_EQ(settings.playback, chosen);
  VistrelSettings reread;
  ConfigFile rereadConfig = MakeVistrelConfig(config.path, reread, nullptr);
  LoadConfig(rereadConfig);
  EXPECT_EQ(reread.playback, chosen);
  EXPECT_EQ(LogMenuState(log.LogActive(), playback.PlaybackActive()), (LogMenuItems{false, false, false, true}));

  PlayFrames(60);
  // One step per 17 frames.
  EXPECT_EQ(playback.ProgressPosition(), 3);
  EXPECT_EQ(progressCalls, 3);
  EXPECT_EQ(atEndCalls, 0);
  PlayToEnd();
  EXPECT_EQ(gauge, Range(0, 59));
  EXPECT_EQ(trip, Range(0, 59));
  // The end of the file fills the bar: its range counts bytes, not frames.
  EXPECT_EQ(playback.ProgressPosition(), playback.ProgressRange());
  EXPECT_EQ(progressCalls, 3);
  EXPECT_EQ(atEndCalls, 1);
  EXPECT_EQ(processor.record.engineRunning.load(), 1);
  // At the end BackUp does nothing: the source yields no frames after it.
  playback.BackUpClick();
  EXPECT_EQ(playback.BackUpCount(), 0);
  EXPECT_EQ(processor.catchUpActive.load(), 0);

  events.clear();
  playback.StopPlayback();
  EXPECT_FALSE(playback.PlaybackActive());
  EXPECT_FALSE(playback.PlaybackAtEnd());
  EXPECT_EQ(sources.FrameSource(), SOURCE_LIVE);
  EXPECT_TRUE(sources.playback.EndOfFile());
  EXPECT_EQ(sources.playback.Stream(), nullptr);
  EXPECT_FALSE(processor.playbackRunning.load());
  EXPECT_EQ(processor.record.engineRunning.load(), 0);
  EXPECT_EQ(playback.ProgressRange(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"state", "trip", "reconnect"}));
  EXPECT_EQ(LogMenuState(log.LogActive(), playback.PlaybackActive()), (LogMenuItems{true, false, true, false}));
  events.clear();
  playback.StopPlayback();  // nothing runs: nothing happens
  EXPECT_TRUE(events.empty());
}

TEST_F(PlaybackFixture, StopReopensOnlyAClosedPortAndTheWantedBankSelector) {
  struct Case {
    bool portOpen;
    int actvfbnk;
    bool selectorOpen;
    std::vector<std::string> tail;  // calls after "state", "trip"
  };
  const Case cases[] = {
      {false, 0, false, {"reconnect"}},
      {true, 0, false, {}},
      {true, 1, false, {"open bank"}},
      {false, 1, true, {"reconnect"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.portOpen << c.actvfbnk << c.selectorOpen);
    ASSERT_EQ(Play("short.dat", Frames(3)), 0);
    events.clear();
    portIsOpen = c.portOpen;
    settings.flashBankOpen = c.actvfbnk;
    processor.bankSelectorOpen.store(c.selectorOpen);
    playback.StopPlayback();
    std::vector<std::string> expected{"state", "trip"};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(events, expected);
  }
  // An open selector is closed when playback starts.
  processor.bankSelectorOpen.store(true);
  events.clear();
  ASSERT_EQ(Play("short.dat", Frames(3)), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"state", "trip", "disconnect", "close bank"}));
}

TEST_F(PlaybackFixture, PauseHoldsThePositionUntilToggledBack) {
  ASSERT_EQ(Play("pause.dat", Frames(40)), 0);
  EXPECT_FALSE(playback.PlaybackPaused());
  PlayFrames(10);
  EXPECT_TRUE(playback.TogglePause());
  EXPECT_TRUE(playback.PlaybackPaused());
  const std::int64_t at = Position();
  for (int i = 0; i < 20; ++i) display.Turn();
  EXPECT_EQ(gauge.size(), 10u);
  EXPECT_EQ(Position(), at);
  EXPECT_FALSE(playback.TogglePause());
  PlayFrames(1);
  EXPECT_EQ(gauge.back(), 10);
}

TEST_F(PlaybackFixture, BackUpReplaysToTheGaugesAloneUntilTheCatchUpTarget) {
  ASSERT_EQ(Play("backup.dat", Frames(120)), 0);
  PlayFrames(80);  // frames 0..79; frame 79 is the 12th of run second 104
  playback.BackUpClick();
  EXPECT_EQ(playback.BackUpCount(), 2);
  EXPECT_EQ(processor.catchUpActive.load(), 1);
  EXPECT_EQ(processor.catchUpSeconds.load(), 104);
  EXPECT_EQ(processor.catchUpFrames.load(), 11);

  // Two units back: 34 frames, to frame 46, processed at once; the same turn
  // then plays on.
  const std::size_t before = gauge.size();
  display.Turn();
  EXPECT_EQ(playback.BackUpCount(), 0);
  ASSERT_EQ(gauge.size(), before + 2);
  EXPECT_EQ(gauge[before], 46);
  PlayToEnd();
  EXPECT_EQ(gauge, Concat({Range(0, 79), Range(46, 119)}));
  // The trip computer sees every stretch once.
  EXPECT_EQ(trip, Range(0, 119));
  EXPECT_EQ(processor.catchUpActive.load(), 0);
  // The replayed frames do not move the bar: 120 frames, 7 steps; then the
  // end fills it.
  EXPECT_EQ(progressCalls, 7);
  EXPECT_EQ(playback.ProgressPosition(), playback.ProgressRange());
}

TEST_F(PlaybackFixture, ClickThenDoubleClickStepsBackEightUnitsFromOneTarget) {
  ASSERT_EQ(Play("double.dat", Frames(200)), 0);
  PlayFrames(180);  // frame 179: second 110, 9th frame of it
  playback.BackUpClick();
  processor.ProcessFrame(WireFrameAt(190).data() + 2);  // a later frame shown meanwhile
  playback.BackUpDoubleClick();
  EXPECT_EQ(playback.BackUpCount(), 8);
  // The target stays where the first click put it.
  EXPECT_EQ(processor.catchUpSeconds.load(), 110);
  EXPECT_EQ(processor.catchUpFrames.load(), 9);
  const std::size_t before = gauge.size();
  display.Turn();
  // 8 x 4709 bytes are 136 frames back from the position after frame 179.
  ASSERT_GT(gauge.size(), before);
  EXPECT_EQ(gauge[before], 180 - 136);
}

TEST_F(PlaybackFixture, StepBackFurtherThanTheStartRestartsAtTheFirstByte) {
  // 14 bytes without a sync pair, then frames: after 18 frames the position
  // is 5000, and 5000 - 2 x 4709 is negative.
  Bytes bytes(14, 0x11);
  Bytes frames = Frames(40);
  bytes.insert(bytes.end(), frames.begin(), frames.end());
  ASSERT_EQ(Play("start.dat", bytes), 0);
  PlayFrames(18);
  ASSERT_EQ(Position(), 5000);
  playback.BackUpClick();
  const std::size_t before = gauge.size();
  display.Turn();
  ASSERT_EQ(gauge.size(), before + 2);
  EXPECT_EQ(gauge[before], 0);
  EXPECT_EQ(gauge[before + 1], 1);
  EXPECT_EQ(Position(), 14 + 2 * 277);
}

TEST_F(PlaybackFixture, RateTrackbarSetsTheDelayAfterEachFrame) {
  struct Case {
    int position;
    int pbspd;
    std::uint64_t sleepMs;  // after one played frame
  };
  const Case cases[] = {{100, 0, 0}, {50, 50, 57}, {0, 100, 107}, {150, 0, 0}, {-5, 100, 107}, {99, 1, 8}};
  ASSERT_EQ(Play("rate.dat", Frames(20)), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    playback.SetRateFromTrackbar(c.position);
    EXPECT_EQ(settings.playbackDelay, c.pbspd);
    EXPECT_EQ(playback.RateTrackbarPosition(), 100 - c.pbspd);
    const std::uint64_t before = display.playbackSleepMs.load();
    const std::int64_t start = MonotonicMs();
    PlayFrames(1);
    EXPECT_EQ(display.playbackSleepMs.load() - before, c.sleepMs);
    EXPECT_GE(MonotonicMs() - start, static_cast<std::int64_t>(c.sleepMs));
  }
  // A value from the preferences reaches the DisplayThread, kept within 0..100.
  settings.playbackDelay = 250;
  playback.ApplyPlaybackDelay();
  EXPECT_EQ(settings.playbackDelay, 100);
  EXPECT_EQ(display.pbSpd.load(), 100);
  EXPECT_EQ(playback.RateTrackbarPosition(), 0);
}

TEST_F(PlaybackFixture, StartingPlaybackClosesARunningLog) {
  const std::string logPath = dir.File("log.dat");
  ASSERT_EQ(log.OpenDataLog(logPath), 0);
  const auto headSize = std::filesystem::file_size(logPath);
  ASSERT_TRUE(link.LogEnabled());
  ASSERT_EQ(Play("play.dat", Frames(5)), 0);
  EXPECT_FALSE(log.LogActive());
  EXPECT_FALSE(link.LogEnabled());
  EXPECT_EQ(std::filesystem::file_size(logPath), headSize);
  // The log closed before playback took over.
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0], "log");
  EXPECT_EQ(events[1], "state");
  // And no log starts while playback runs.
  services.answer = dir.File("second.dat");
  const std::size_t dialogs = services.dialogs.size();
  EXPECT_EQ(log.StartDataLog(), -1);
  EXPECT_EQ(services.dialogs.size(), dialogs);
}

TEST_F(PlaybackFixture, CancelAndOpenFailureLeaveTheLiveStreamAndTheLog) {
  ASSERT_EQ(log.OpenDataLog(dir.File("log.dat")), 0);
  services.answer.clear();
  EXPECT_EQ(playback.StartPlayback(), -1);
  services.answer = dir.File("missing.dat");
  EXPECT_EQ(playback.StartPlayback(), -1);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].caption, "File Open Error");
  EXPECT_EQ(services.messages[0].text, "Can not open Playback Data File");
  EXPECT_TRUE(log.LogActive());
  EXPECT_TRUE(link.LogEnabled());
  EXPECT_FALSE(playback.PlaybackActive());
  EXPECT_EQ(sources.FrameSource(), SOURCE_LIVE);
  EXPECT_TRUE(events.empty());
  EXPECT_FALSE(std::filesystem::exists(config.path));
}

TEST_F(PlaybackFixture, StartFromAnalysisOrFlashSwitchesFirstAndARepeatShowsNoDialog) {
  services.answer.clear();
  for (int mode : {MODE_ANALYSIS, MODE_FLASH, MODE_TRIP}) {
    events.clear();
    processor.displayMode.store(mode);
    playback.StartPlayback();
    EXPECT_EQ(events, mode == MODE_TRIP ? std::vector<std::string>{} : std::vector<std::string>{"gauge"}) << mode;
  }
  processor.displayMode.store(MODE_GAUGE);
  ASSERT_EQ(Play("once.dat", Frames(3)), 0);
  const std::size_t dialogs = services.dialogs.size();
  EXPECT_EQ(Play("twice.dat", Frames(3)), -1);
  EXPECT_EQ(services.dialogs.size(), dialogs);
  EXPECT_EQ(playback.PlaybackFileName(), "once.dat");
}

TEST_F(PlaybackFixture, StopWhileTheDisplayThreadWaitsAtTheEndReleasesTheFile) {
  ASSERT_EQ(Play("thread.dat", Frames(30)), 0);
  display.Start();
  ASSERT_TRUE([&] {
    for (int i = 0; i < 3000 && !playback.PlaybackAtEnd(); ++i) SleepMs(1);
    return playback.PlaybackAtEnd();
  }());
  playback.StopPlayback();
  EXPECT_EQ(sources.FrameSource(), SOURCE_LIVE);
  // The thread left the hunt over the finished file and turns on the live source.
  const std::uint64_t before = display.framesProcessed.load();
  SleepMs(20);
  display.Stop();
  EXPECT_EQ(display.framesProcessed.load(), before);
  EXPECT_EQ(gauge, Range(0, 29));
}

}  // namespace
}  // namespace zrm
