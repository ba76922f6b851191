// The real link end to end: termios port, CommThread, StreamRing, frame
// reader and frame processing against the simulated ECM on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/runtime_frame.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "sim/drive_script.h"
#include "sim/sim_ecm.h"
#include "sim/sim_wire.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kStreamOn{0x52, 0x58, 0x01, 0x00, 0xAB};
const Bytes kStreamOff{0x52, 0x58, 0x00, 0x00, 0xAA};

using test::WaitFor;

int CountPackets(const sim::SimEcm& ecm, const Bytes& packet) {
  int n = 0;
  for (const auto& p : ecm.Packets()) n += Bytes(p.begin(), p.end()) == packet;
  return n;
}

struct E2eFixture : ::testing::Test {
  test::TempDir dir;
  std::string linkPath = dir.File("ttyZRM");
  std::unique_ptr<sim::SimEcm> ecm;
  SerialLink link;
  FrameSources sources{&link};
  FrameProcessor processor{sources};
  DisplayThread display{processor, sources, &link};

  void StartSim(sim::SimOptions options = {}) {
    options.linkPath = linkPath;
    ecm = std::make_unique<sim::SimEcm>(options);
    ASSERT_EQ(ecm->Start(), 0);
  }
  void TearDown() override {
    display.Stop();
    link.Stop();
    if (ecm) ecm->Stop();
  }
};

TEST_F(E2eFixture, FramesArriveAndStreamCommandsReachTheEcmByteExact) {
  StartSim();
  display.Start();
  link.Start();
  link.RequestPort(PORT_OPEN, linkPath.c_str());
  ASSERT_TRUE(WaitFor([&] { return processor.record.goodFrames.load() >= 17; }, 5000));
  EXPECT_EQ(processor.badFrames.load(), 0u);
  EXPECT_EQ(processor.record.linkAlive.load(), 1);
  EXPECT_EQ(CountPackets(*ecm, kStreamOn), 1);

  link.RequestPort(PORT_CLOSE, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link.RequestPending() && !link.PortOpen(); }, 2000));
  ASSERT_TRUE(WaitFor([&] { return !ecm->Streaming(); }, 2000));
  // Exactly the two packets, in order, and nothing else on the line.
  Bytes expected = kStreamOn;
  expected.insert(expected.end(), kStreamOff.begin(), kStreamOff.end());
  EXPECT_EQ(ecm->ReceivedBytes(), expected);
}

TEST_F(E2eFixture, VanishedDeviceIsReopenedAndTheStreamResumes) {
  sim::SimOptions options;
  options.vanishAfterSeconds = 1.0;
  options.vanishForSeconds = 1.5;
  StartSim(options);
  display.Start();
  link.Start();
  link.RequestPort(PORT_OPEN, linkPath.c_str());
  ASSERT_TRUE(WaitFor([&] { return processor.record.goodFrames.load() >= 5; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return !ecm->LinkPresent(); }, 3000));
  const std::uint64_t attemptsAtVanish = link.OpenAttempts();
  const int framesAtVanish = processor.record.goodFrames.load();
  ASSERT_TRUE(WaitFor([&] { return ecm->LinkPresent(); }, 4000));
  // Re-opened by the back-off, told to stream again, and frames flow.
  ASSERT_TRUE(WaitFor([&] { return processor.record.goodFrames.load() > framesAtVanish + 17; }, 8000));
  EXPECT_GT(link.OpenAttempts(), attemptsAtVanish + 1);
  EXPECT_EQ(CountPackets(*ecm, kStreamOn), 2);
}

TEST_F(E2eFixture, FullRingKeepsTheOldestBytes) {
  StartSim();
  link.Start();  // nobody consumes
  link.RequestPort(PORT_OPEN, linkPath.c_str());
  ASSERT_TRUE(WaitFor([&] { return link.RingCount() == STREAM_RING_SIZE - 1; }, 8000));
  const std::uint64_t sentWhenFull = ecm->FramesSent();
  ASSERT_TRUE(WaitFor([&] { return ecm->FramesSent() > sentWhenFull + 17; }, 3000));
  EXPECT_EQ(link.RingCount(), STREAM_RING_SIZE - 1);

  // The ring holds the first bytes that arrived: whole frames of the script
  // from the first one received on, without a gap. The CommThread ends first,
  // so that nothing refills the ring while it is drained.
  link.Stop();
  Bytes ring;
  for (int b; (b = link.RingGetByte()) >= 0;) ring.push_back(static_cast<std::uint8_t>(b));
  ASSERT_EQ(ring.size(), static_cast<std::size_t>(STREAM_RING_SIZE - 1));
  // The port may have opened in the middle of a frame.
  const Bytes sync{0x55, 0xAA};
  auto start = std::search(ring.begin(), ring.end(), sync.begin(), sync.end());
  ASSERT_LT(start - ring.begin(), 277);
  ring.erase(ring.begin(), start);
  std::uint64_t first = 0;
  bool found = false;
  for (std::uint64_t i = 0; i < 2000 && !found; ++i) {
    sim::Payload payload;
    sim::FillDriveFrame(i, ecm->Options().seed, 0, payload);
    Bytes wire = sim::EncodeFrame(payload);
    if (std::equal(wire.begin(), wire.end(), ring.begin())) {
      first = i;
      found = true;
    }
  }
  ASSERT_TRUE(found);
  Bytes expected;
  for (std::uint64_t i = first; expected.size() < ring.size(); ++i) {
    sim::Payload payload;
    sim::FillDriveFrame(i, ecm->Options().seed, 0, payload);
    Bytes wire = sim::EncodeFrame(payload);
    expected.insert(expected.end(), wire.begin(), wire.end());
  }
  expected.resize(ring.size());
  EXPECT_EQ(ring, expected);
}

TEST_F(E2eFixture, FlushWhileTheDisplayThreadConsumesLeavesTheRingEmpty) {
  StartSim();
  display.Start();
  link.Start();
  link.RequestPort(PORT_OPEN, linkPath.c_str());
  ASSERT_TRUE(WaitFor([&] { return processor.record.goodFrames.load() >= 10; }, 5000));
  // Flushes land while frames are being read; none may tear the count.
  std::atomic<bool> done{false};
  std::atomic<int> worst{0};
  std::thread watcher([&] {
    while (!done.load()) worst.store(std::max(worst.load(), link.RingCount()));
  });
  for (int i = 0; i < 50; ++i) {
    link.RequestRingFlush();
    SleepMs(7);
  }
  // Stream off: the ECM stops and the ring is flushed after it.
  link.TxMsXmit(0);
  // On a starved machine the packet and the flush after it take their time.
  EXPECT_TRUE(WaitFor([&] { return !ecm->Streaming() && link.RingCount() == 0; }, 3000));
  done.store(true);
  watcher.join();
  EXPECT_EQ(link.RingCount(), 0);
  EXPECT_LT(worst.load(), 2 * 4709);  // never more than the stream of a second or two
  EXPECT_FALSE(ecm->Streaming());
}

TEST_F(E2eFixture, MonitorPrintsASecondLineAndClosesTheNormalWay) {
  StartSim();
  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " monitor " + linkPath + " --seconds 3", &out), 0);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(out.substr(at, end - at));
  // A line each second once frames flow (three when they flow from the
  // start), then the counts.
  ASSERT_GE(lines.size(), 3u) << out;
  ASSERT_LE(lines.size(), 4u) << out;
  const std::regex second(R"(\d\d:\d\d:\d\d rpm \d+ speed \d+ map \d+ clt -?\d+)");
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], second)) << lines[i];
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines.back(), m, std::regex(R"(frames (\d+) bad (\d+))"))) << lines.back();
  EXPECT_GE(std::stoi(m[1]), 34);  // about 17 a second
  EXPECT_EQ(m[2], "0");
  // Stream on after the open, stream off before the close, nothing else.
  Bytes expected = kStreamOn;
  expected.insert(expected.end(), kStreamOff.begin(), kStreamOff.end());
  EXPECT_EQ(ecm->ReceivedBytes(), expected);
}

}  // namespace
}  // namespace zrm
