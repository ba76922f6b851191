// The live link sleeps while nothing happens and acts at once when something
// does: over a pseudo-terminal whose far end the test holds, a silent port
// costs the CommThread a wake-up or so a second, a queued packet still goes
// out at once, and the DisplayThread processes a frame as soon as its last
// byte is in, even when nothing follows it.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <vector>

#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/runtime_packet.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/pty.h"
#include "sim/drive_script.h"
#include "sim/sim_wire.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::WaitFor;

// What the port's far end has received within ms.
Bytes ReadFarEnd(PseudoTerminal& far, int ms) {
  Bytes got;
  const std::int64_t end = MonotonicMs() + ms;
  while (MonotonicMs() < end) {
    if (far.WaitInput(static_cast<int>(end - MonotonicMs())) != 1) continue;
    std::uint8_t buffer[512];
    const int n = far.Read(buffer, sizeof buffer);
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

Bytes Frame(std::uint64_t index) {
  sim::Payload payload;
  sim::FillDriveFrame(index, 1, 0, payload);
  return sim::EncodeFrame(payload);
}

struct QuietLinkFixture : ::testing::Test {
  test::TempDir dir;
  std::string path = dir.File("ttyQuiet");
  PseudoTerminal far;
  SerialLink link;
  FrameSources sources{&link};
  FrameProcessor processor{sources};
  DisplayThread display{processor, sources, &link};

  void SetUp() override {
    ASSERT_EQ(far.Open(path), 0);
    link.Start();
    display.Start();
    link.RequestPort(PORT_OPEN, path.c_str());
    ASSERT_TRUE(WaitFor([&] { return link.PortRunning(); }));
    ReadFarEnd(far, 100);  // the stream-on
  }
  void TearDown() override {
    display.Stop();
    link.Stop();
  }
  void Send(const Bytes& bytes) { ASSERT_EQ(far.Write(bytes.data(), bytes.size()), static_cast<int>(bytes.size())); }
};

TEST_F(QuietLinkFixture, ASilentPortLetsTheCommThreadSleepYetAPacketGoesOutAtOnce) {
  const std::uint64_t before = link.Wakeups();
  SleepMs(1000);
  // Asleep on the port: a wake-up or two where polling took a thousand.
  EXPECT_LE(link.Wakeups() - before, 5u);

  const RuntimePacket packet = BuildRuntimePacket(CMD_BANK, 3);
  const std::int64_t queued = MonotonicMs();
  ASSERT_EQ(link.QueueTransmit(packet.data(), RUNTIME_PACKET_SIZE), 0);
  const Bytes got = ReadFarEnd(far, 300);
  EXPECT_EQ(got, Bytes(packet.begin(), packet.end()));
  EXPECT_TRUE(link.WaitForTransmitSlot(10));
  EXPECT_LT(MonotonicMs() - queued, 1000);  // not after the CommThread's own next look
}

TEST_F(QuietLinkFixture, AWholeFrameIsProcessedAtOnceEvenWhenNothingFollows) {
  struct Case {
    const char* what;
    Bytes before;
  };
  const Case cases[] = {
      {"alone", {}},
      {"after noise", {0x13, 0x55, 0x00, 0xAA, 0x55}},
  };
  std::uint64_t index = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint64_t frames = display.framesProcessed.load();
    Bytes bytes = c.before;
    const Bytes frame = Frame(index++);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    Send(bytes);
    // One frame and nothing after it: it must not wait for the next.
    EXPECT_TRUE(WaitFor([&] { return display.framesProcessed.load() == frames + 1; }, 1000));
    EXPECT_EQ(link.RingCount(), 0);
  }
}

TEST_F(QuietLinkFixture, AFrameFedByteByByteIsTakenWhenItsLastByteIsIn) {
  const Bytes frame = Frame(3);
  const std::uint64_t frames = display.framesProcessed.load();
  Send(Bytes(frame.begin(), frame.end() - 1));
  SleepMs(150);
  EXPECT_EQ(display.framesProcessed.load(), frames);  // not before it is whole
  Send(Bytes(frame.end() - 1, frame.end()));
  EXPECT_TRUE(WaitFor([&] { return display.framesProcessed.load() == frames + 1; }, 1000));
}

TEST(LiveFrameNeed, CountsToTheEndOfTheFirstFrameShown) {
  struct Case {
    Bytes shown;
    int need;
  };
  const Case cases[] = {
      {{}, 277},                        // nothing yet: a whole frame
      {{0x55, 0xAA, 1, 2}, 277},        // a frame starts here
      {{7, 7, 0x55, 0xAA}, 279},        // after two bytes of noise
      {{7, 0x55, 0x13, 0x55}, 3 + 277},  // the last byte may begin the pair
      {{0xAA, 0x55}, 1 + 277},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LiveFrameNeed(c.shown.data(), static_cast<int>(c.shown.size())), c.need);
  }
}

}  // namespace
}  // namespace zrm
