// Per-frame processing: engine-running state, display order and flags,
// catch-up after a playback step-back, the beep and the indicator steps; and
// the DisplayThread's playback turns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/runtime_frame.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(bool running, int runTimeSec, int sparkRetard = 0, int bank = 0) {
  Bytes f(273, 0);
  if (running) f[field::statusByte1] = 0x80;
  f[field::runTimeSec] = static_cast<std::uint8_t>(runTimeSec >> 8);
  f[field::runTimeSec + 1] = static_cast<std::uint8_t>(runTimeSec & 0xFF);
  f[field::sparkRetard] = static_cast<std::uint8_t>(sparkRetard);
  f[field::configByte] = 0x08;  // 8 cylinders, throttle body, 1-bar
  f[field::bankByte] = static_cast<std::uint8_t>(0x80 | bank);
  return f;
}

struct RecordingServices : PlatformServices {
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
  void Beep(unsigned type) override { beeps.push_back(type); }
  std::vector<unsigned> beeps;
};

struct ProcessorFixture : ::testing::Test {
  FrameSources sources{nullptr};
  FrameProcessor processor{sources};
  std::vector<std::string> calls;  // "<display>:<active>"
  int stops = 0;

  void SetUp() override {
    const char* names[DISPLAY_KINDS] = {"trip", "gauge", "velearn", "knock", "diag"};
    for (int k = 0; k < DISPLAY_KINDS; ++k) {
      processor.SetDisplayUpdate(static_cast<DisplayKind>(k), [this, name = std::string(names[k])](
                                                                  const std::uint8_t*, int active) {
        calls.push_back(name + ":" + std::to_string(active));
      });
    }
    processor.hooks.tripEngineStopped = [this] { ++stops; };
  }
};

TEST_F(ProcessorFixture, EngineRunsOnThe35thFrameWithTheFlagAndStops) {
  for (int i = 1; i <= 34; ++i) {
    processor.ProcessFrame(Frame(true, 100 + i / 17).data());
    ASSERT_EQ(processor.record.engineRunning.load(), 0) << "frame " << i;
  }
  processor.ProcessFrame(Frame(true, 103).data());
  EXPECT_EQ(processor.record.engineRunning.load(), 1);
  EXPECT_EQ(processor.record.linkAlive.load(), 1);

  // Each stop condition ends the running state and tells the trip computer.
  struct Stop {
    const char* name;
    Bytes frame;
  };
  Bytes status0 = Frame(true, 200);
  status0[field::statusByte0] = 0x10;
  const Stop stopsCases[] = {{"flag clear", Frame(false, 200)}, {"statusByte0 bit 4", status0},
                             {"run time 0", Frame(true, 0)}};
  int expectedStops = 0;
  for (const Stop& c : stopsCases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 35; ++i) processor.ProcessFrame(Frame(true, 300).data());
    ASSERT_EQ(processor.record.engineRunning.load(), 1);
    processor.ProcessFrame(c.frame.data());
    EXPECT_EQ(processor.record.engineRunning.load(), 0);
    EXPECT_EQ(stops, ++expectedStops);
  }
}

TEST_F(ProcessorFixture, FramesWithoutTheFlagDoNotResetTheConfirmCount) {
  processor.ProcessFrame(Frame(true, 10).data());  // candidate
  for (int i = 0; i < 20; ++i) processor.ProcessFrame(Frame(true, 10).data());
  for (int i = 0; i < 5; ++i) processor.ProcessFrame(Frame(false, 10).data());
  for (int i = 0; i < 13; ++i) processor.ProcessFrame(Frame(true, 10).data());
  EXPECT_EQ(processor.record.engineRunning.load(), 0);
  processor.ProcessFrame(Frame(true, 10).data());
  EXPECT_EQ(processor.record.engineRunning.load(), 1);
}

TEST_F(ProcessorFixture, NoCandidateAfterSixteenHours) {
  for (int i = 0; i < 50; ++i) processor.ProcessFrame(Frame(true, 16 * 3600 + 5).data());
  EXPECT_EQ(processor.record.engineRunning.load(), 0);
}

TEST_F(ProcessorFixture, DisplayOrderAndActiveFlagPerMode) {
  struct Case {
    int mode;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {MODE_TRIP, {"trip:1", "gauge:0", "velearn:0", "knock:0", "diag:0"}},
      {MODE_GAUGE, {"gauge:1", "trip:0", "velearn:0", "knock:0", "diag:0"}},
      {MODE_VELEARN, {"velearn:1", "gauge:0", "trip:0", "knock:0", "diag:0"}},
      {MODE_KNOCK, {"knock:1", "gauge:0", "trip:0", "velearn:0", "diag:0"}},
      {MODE_DIAGNOSTICS, {"diag:1", "gauge:0", "trip:0", "velearn:0", "knock:0"}},
      {MODE_ANALYSIS, {}},
      {MODE_FLASH, {}},
      {MODE_NONE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    calls.clear();
    processor.displayMode.store(c.mode);
    processor.ProcessFrame(Frame(false, 5).data());
    EXPECT_EQ(calls, c.calls);
  }
}

TEST_F(ProcessorFixture, CatchUpFeedsOnlyTheCurrentGaugeUntilTheTargetIsReached) {
  processor.displayMode.store(MODE_GAUGE);
  processor.playbackRunning.store(true);
  int progressSteps = 0;
  processor.hooks.playbackProgressStep = [&] { ++progressSteps; };
  // Engine running, 17 frames a second from second 100 to 109.
  for (int s = 100; s < 110; ++s)
    for (int f = 0; f < 17; ++f) processor.ProcessFrame(Frame(true, s).data());
  ASSERT_EQ(processor.record.engineRunning.load(), 1);
  EXPECT_EQ(progressSteps, 10);
  const int stepsBefore = progressSteps;

  // Latest frame: second 109, framesThisSecond 16: the target is 110 / 0.
  processor.StartCatchUp();
  EXPECT_EQ(processor.catchUpSeconds.load(), 110);
  EXPECT_EQ(processor.catchUpFrames.load(), 0);

  calls.clear();
  for (int s = 105; s < 110; ++s)
    for (int f = 0; f < 17; ++f) processor.ProcessFrame(Frame(true, s).data());
  for (const std::string& c : calls) EXPECT_EQ(c, "gauge:1");
  EXPECT_EQ(calls.size(), 5u * 17u);
  EXPECT_EQ(progressSteps, stepsBefore);

  // The first frame of second 110 ends the catch-up (and is still only the gauge's).
  calls.clear();
  processor.ProcessFrame(Frame(true, 110).data());
  EXPECT_EQ(calls, (std::vector<std::string>{"gauge:1"}));
  EXPECT_EQ(processor.catchUpActive.load(), 0);
  calls.clear();
  processor.ProcessFrame(Frame(true, 110).data());
  EXPECT_EQ(calls.size(), 5u);
}

TEST_F(ProcessorFixture, KnockBeepOnlyWhileRunningAndEnabled) {
  RecordingServices services;
  processor.hooks.services = &services;
  processor.ProcessFrame(Frame(true, 1, 12).data());  // not yet running
  EXPECT_TRUE(services.beeps.empty());
  for (int i = 0; i < 35; ++i) processor.ProcessFrame(Frame(true, 1).data());
  processor.ProcessFrame(Frame(true, 1, 12).data());
  processor.ProcessFrame(Frame(true, 1, 12).data());
  EXPECT_EQ(services.beeps, (std::vector<unsigned>{0x30, 0x30}));
  processor.knockAlert.store(0);
  processor.ProcessFrame(Frame(true, 1, 12).data());
  EXPECT_EQ(services.beeps.size(), 2u);
}

TEST_F(ProcessorFixture, ActivityEveryFourthLiveFrameAndWindowRefreshes) {
  int activity = 0;
  std::vector<int> bankRefreshes;
  int malf = 0;
  processor.hooks.activityStep = [&] { ++activity; };
  processor.hooks.refreshBankSelector = [&](int bank) { bankRefreshes.push_back(bank); };
  processor.hooks.malfCodesFrame = [&](const std::uint8_t*) { ++malf; };
  for (int i = 0; i < 9; ++i) processor.ProcessFrame(Frame(false, 1).data());
  EXPECT_EQ(activity, 2);
  EXPECT_EQ(malf, 0);
  EXPECT_TRUE(bankRefreshes.empty());

  processor.malfCodesOpen.store(true);
  processor.bankSelectorOpen.store(true);
  processor.ProcessFrame(Frame(false, 1, 0, 2).data());
  processor.ProcessFrame(Frame(false, 1, 0, 2).data());
  processor.ProcessFrame(Frame(false, 1, 0, 5).data());
  EXPECT_EQ(malf, 3);
  EXPECT_EQ(bankRefreshes, (std::vector<int>{2, 5}));

  processor.playbackRunning.store(true);  // no activity during playback
  for (int i = 0; i < 8; ++i) processor.ProcessFrame(Frame(false, 1).data());
  EXPECT_EQ(activity, 3);
}

TEST_F(ProcessorFixture, FramesThisSecondCountsFromZero) {
  for (int i = 0; i < 3; ++i) processor.ProcessFrame(Frame(false, 3661).data());
  EXPECT_EQ(processor.record.framesThisSecond.load(), 2);
  EXPECT_EQ(processor.record.runHours.load(), 1);
  EXPECT_EQ(processor.record.runMinutes.load(), 1);
  EXPECT_EQ(processor.record.runSeconds.load(), 1);
  processor.ProcessFrame(Frame(false, 3662).data());
  EXPECT_EQ(processor.record.framesThisSecond.load(), 0);
}

TEST(DisplayThreadPlayback, SpeedStepBackAndPause) {
  test::TempDir dir;
  Bytes log;
  for (int i = 0; i < 60; ++i) {
    Bytes w = test::WireFrame(Frame(false, i / 17));
    log.insert(log.end(), w.begin(), w.end());
  }
  test::WriteFileBytes(dir.File("play.dat"), log);
  InputFile file;
  ASSERT_EQ(file.Open(dir.File("play.dat")), 0);

  FrameSources sources(nullptr);
  FrameProcessor processor(sources);
  DisplayThread display(processor, sources, nullptr);
  int ends = 0;
  sources.playback.endHook = [&] { ++ends; };
  sources.SetPlaybackStream(true, &file);
  sources.SetFrameSource(SOURCE_PLAYBACK);

  struct Case {
    int pbSpd;
    std::uint64_t sleepPerFrame;
  };
  for (const Case c : {Case{0, 0}, Case{50, 57}, Case{1, 8}}) {
    SCOPED_TRACE(c.pbSpd);
    display.pbSpd.store(c.pbSpd);
    std::uint64_t framesBefore = display.framesProcessed.load(), sleptBefore = display.playbackSleepMs.load();
    display.Turn();
    display.Turn();
    EXPECT_EQ(display.framesProcessed.load() - framesBefore, 2u);
    EXPECT_EQ(display.playbackSleepMs.load() - sleptBefore, 2 * c.sleepPerFrame);
  }
  EXPECT_EQ(file.Tell(), 6 * 277);

  // A step-back of one second from 6 frames in goes to the start and reads at once.
  display.pbSpd.store(0);
  display.backUpCount.store(1);
  display.Turn();
  EXPECT_EQ(display.backUpCount.load(), 0);
  EXPECT_EQ(file.Tell(), 2 * 277);  // the immediate frame and the turn's own

  display.playbackPaused.store(true);
  std::uint64_t before = display.framesProcessed.load();
  display.Turn();
  EXPECT_EQ(display.framesProcessed.load(), before);
  display.playbackPaused.store(false);

  // 58 frames are left; the turn after them meets the end of the file.
  for (int i = 0; i < 58; ++i) display.Turn();
  EXPECT_EQ(display.framesProcessed.load(), 66u);
  EXPECT_EQ(ends, 0);
  display.Turn();
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(sources.playback.EndOfFile());
}

}  // namespace
}  // namespace zrm
