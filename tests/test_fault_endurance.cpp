// Faults a tuner meets at the track, repeated until a leak or a lost byte
// would show: an adapter pulled and plugged back a hundred times, and a
// recorder killed outright at random moments.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "link/frame_reader.h"
#include "link/frame_source.h"
#include "link/input_file.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "sim/drive_script.h"
#include "sim/sim_ecm.h"
#include "test_support.h"

namespace zrm {
namespace {

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// The descriptors that stay: the fewest seen over 100 ms. The simulator opens
// its terminal's far end for a moment now and then; a leak never goes away.
int LastingDescriptors() {
  int fewest = OpenDescriptors();
  for (int i = 0; i < 20; ++i) {
    SleepMs(5);
    fewest = std::min(fewest, OpenDescriptors());
  }
  return fewest;
}

// Bytes the link has taken since the call, draining the ring as a reader would.
bool StreamFlows(SerialLink& link, int bytes) {
  int got = 0;
  return test::WaitFor(
      [&] {
        while (link.RingGetByte() >= 0) ++got;
        return got >= bytes;
      },
      5000);
}

TEST(FaultEndurance, AnAdapterPulledAHundredTimesResumesEveryTimeAndLeaksNoDescriptor) {
  test::TempDir dir;
  sim::SimOptions options;
  options.linkPath = dir.File("tty");
  sim::SimEcm ecm(options);
  ASSERT_EQ(ecm.Start(), 0);
  SerialLink link;
  link.Start();
  link.RequestPort(PORT_OPEN, options.linkPath.c_str());
  ASSERT_TRUE(StreamFlows(link, 2 * FRAME_WIRE_SIZE));
  const int descriptors = LastingDescriptors();
  const std::uint64_t opensBefore = link.OpenAttempts();

  for (int round = 1; round <= 100; ++round) {
    SCOPED_TRACE(round);
    ecm.Stop();  // pulled: the terminal and its link are gone
    ASSERT_TRUE(test::WaitFor([&] { return !link.PortRunning(); }, 5000));
    ASSERT_EQ(ecm.Start(), 0);  // plugged back at the same path
    ASSERT_TRUE(StreamFlows(link, 2 * FRAME_WIRE_SIZE)) << "the stream did not resume";
  }
  EXPECT_GE(link.OpenAttempts() - opensBefore, 100u);
  EXPECT_EQ(LastingDescriptors(), descriptors);
  link.RequestPort(PORT_CLOSE, nullptr);
  ASSERT_TRUE(test::WaitFor([&] { return !link.RequestPending(); }));
  link.Stop();
  ecm.Stop();
}

// The payload of the last whole frame in a log; false when it has none.
bool LastFrameIn(const std::string& path, std::uint8_t* last) {
  InputFile file;
  if (file.Open(path) != 0) return false;
  FileSource source;
  source.idleAfterEnd = false;
  source.SetStream(true, &file);
  std::uint8_t frame[273];
  FrameTexts texts;
  bool any = false;
  for (int r; (r = ReadFrame(source, frame, texts)) != FRAME_NO_DATA;) {
    if (r != FRAME_OK) continue;
    std::copy(frame, frame + 273, last);
    any = true;
  }
  return any;
}

TEST(FaultEndurance, ARecorderKilledOutrightKeepsAllButItsLastSecond) {
  test::TempDir dir;
  sim::SimOptions options;
  options.linkPath = dir.File("tty");
  sim::SimEcm ecm(options);
  ASSERT_EQ(ecm.Start(), 0);
  std::mt19937 random(20261210);
  for (int run = 0; run < 4; ++run) {
    SCOPED_TRACE(run);
    const std::string log = dir.File("run" + std::to_string(run) + ".dat");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      execl(ZRMTOOL_PATH, ZRMTOOL_PATH, "record", options.linkPath.c_str(), log.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    // Frames the ECM has put on the line, by time.
    std::vector<std::pair<std::int64_t, std::uint64_t>> sent;
    const std::int64_t killAt = MonotonicMs() + 1500 + static_cast<std::int64_t>(random() % 2500);
    while (MonotonicMs() < killAt) {
      sent.emplace_back(MonotonicMs(), ecm.FramesSent());
      SleepMs(5);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::uint64_t sentBySecondBeforeKill = 0;
    for (const auto& [t, frames] : sent)
      if (t <= killAt - 1000) sentBySecondBeforeKill = frames;
    ASSERT_GT(sentBySecondBeforeKill, 0u);
    // Which frame of the drive the last one on the disk is: the script is
    // deterministic, so the simulator's frames can be made again.
    std::uint8_t last[273];
    ASSERT_TRUE(LastFrameIn(log, last));
    const std::uint64_t total = ecm.FramesSent();
    std::int64_t lastIndex = -1;
    for (std::uint64_t i = 0; i <= total && lastIndex < 0; ++i) {
      sim::Payload payload;
      sim::FillDriveFrame(i, options.seed, 0, payload);
      if (std::equal(payload.begin(), payload.end(), last)) lastIndex = static_cast<std::int64_t>(i);
    }
    ASSERT_GE(lastIndex, 0) << "the last frame on the disk is no frame of the drive";
    // Every frame sent a second before the kill is on the disk (the one in
    // flight across that moment aside).
    EXPECT_GE(lastIndex + 2, static_cast<std::int64_t>(sentBySecondBeforeKill))
        << "last frame on disk " << lastIndex << ", frames sent a second before the kill " << sentBySecondBeforeKill;
  }
  ecm.Stop();
}

}  // namespace
}  // namespace zrm
