// The CommThread against a scripted port: requests, the runtime commands
// around opens and closes, the back-off, the transmit slot and the log hooks.
#include <gtest/gtest.h>

#include <thread>

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_link.h"
#include "platform/clock.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What the scripted port saw and what it will answer; shared with the test
// after the link owns the port.
struct PortScript {
  std::mutex m;
  int failOpens = 0;            // opens that fail before one succeeds
  std::vector<std::string> opened;  // device paths of every attempt
  std::vector<std::int64_t> attemptTimes;
  std::deque<std::uint8_t> incoming;
  Bytes written;
  bool readError = false;
  std::atomic<bool> holdWrites{false};  // a write in progress until released
  std::atomic<bool> writeHeld{false};   // the CommThread is in such a write
  std::function<void()> atReadError;  // runs as the line error is found
  bool isOpen = false;
  int closes = 0;
};

class FakePort : public SerialPort {
 public:
  explicit FakePort(PortScript* s) : s_(s) {}
  int Open(const std::string& path, const SerialOptions&) override {
    std::lock_guard<std::mutex> lock(s_->m);
    s_->opened.push_back(path);
    s_->attemptTimes.push_back(MonotonicMs());
    if (s_->failOpens > 0) {
      --s_->failOpens;
      return -1;
    }
    s_->isOpen = true;
    return 0;
  }
  void Close() override {
    std::lock_guard<std::mutex> lock(s_->m);
    s_->isOpen = false;
    ++s_->closes;
  }
  bool IsOpen() const override {
    std::lock_guard<std::mutex> lock(s_->m);
    return s_->isOpen;
  }
  int ReadByte(std::uint8_t* byte) override {
    std::unique_lock<std::mutex> lock(s_->m);
    if (s_->readError) {
      s_->readError = false;
      std::function<void()> hook = std::move(s_->atReadError);
      lock.unlock();
      if (hook) hook();
      return -1;
    }
    if (s_->incoming.empty()) return 0;
    *byte = s_->incoming.front();
    s_->incoming.pop_front();
    return 1;
  }
  int Write(const std::uint8_t* bytes, std::size_t length) override {
    while (s_->holdWrites.load()) {
      s_->writeHeld.store(true);
      SleepMs(1);
    }
    s_->writeHeld.store(false);
    std::lock_guard<std::mutex> lock(s_->m);
    s_->written.insert(s_->written.end(), bytes, bytes + length);
    return 0;
  }

 private:
  PortScript* s_;
};

const Bytes kStreamOn{0x52, 0x58, 0x01, 0x00, 0xAB};
const Bytes kStreamOff{0x52, 0x58, 0x00, 0x00, 0xAA};

using test::WaitFor;

struct LinkFixture : ::testing::Test {
  PortScript script;
  std::vector<int> portStates;
  std::mutex stateMutex;
  std::unique_ptr<SerialLink> link;
  // The window asks for a close just as the CommThread closes the port.
  std::atomic<bool> closeAtNextClose{false};

  void Make(LinkSettings settings = LinkSettings::Vistrel()) {
    link = std::make_unique<SerialLink>(settings, std::make_unique<FakePort>(&script));
    link->showPortState = [this](int open) {
      {
        std::lock_guard<std::mutex> lock(stateMutex);
        portStates.push_back(open);
      }
      if (open == 0 && closeAtNextClose.exchange(false)) link->RequestPort(PORT_CLOSE, nullptr);
    };
    link->localTime = [] { return std::string("12/09/2026 - 21:43:07"); };
    link->Start();
  }
  Bytes Written() {
    std::lock_guard<std::mutex> lock(script.m);
    return script.written;
  }
  void Feed(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(script.m);
    script.incoming.insert(script.incoming.end(), bytes.begin(), bytes.end());
  }
  bool IncomingEmpty() {
    std::lock_guard<std::mutex> lock(script.m);
    return script.incoming.empty();
  }
};

TEST_F(LinkFixture, OpenSendsStreamOnAndCloseStreamOffFirst) {
  Make();
  link->RequestPort(PORT_OPEN, "COM12");
  ASSERT_TRUE(WaitFor([&] { return Written() == kStreamOn; }));
  EXPECT_TRUE(link->PortRunning());
  EXPECT_EQ(script.opened.front(), SerialDevicePath("COM12"));

  link->RequestPort(PORT_CLOSE, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link->RequestPending(); }));
  Bytes expected = kStreamOn;
  expected.insert(expected.end(), kStreamOff.begin(), kStreamOff.end());
  EXPECT_EQ(Written(), expected);
  EXPECT_FALSE(link->PortOpen());
  std::lock_guard<std::mutex> lock(stateMutex);
  EXPECT_EQ(portStates, (std::vector<int>{1, 0}));
}

TEST_F(LinkFixture, UpdateUtilityVariantSendsNoRuntimeCommands) {
  Make(LinkSettings::FlashUpdate());
  link->RequestPort(PORT_OPEN, "COM1");
  ASSERT_TRUE(WaitFor([&] { return link->PortRunning(); }));
  std::int64_t before = MonotonicMs();
  link->RequestPort(PORT_REOPEN, "COM1");
  EXPECT_LT(MonotonicMs() - before, 60);  // no pause before the re-open
  ASSERT_TRUE(WaitFor([&] { return link->PortRunning() && !link->RequestPending(); }));
  SleepMs(20);
  EXPECT_TRUE(Written().empty());
}

TEST_F(LinkFixture, TransmitSlotRefusals) {
  Make();
  Bytes packet(256, 0x11);
  EXPECT_EQ(link->QueueTransmit(packet.data(), 256), -1);  // port not running
  link->RequestPort(PORT_OPEN, "COM3");
  ASSERT_TRUE(WaitFor([&] { return Written() == kStreamOn; }));
  Bytes tooLong(257, 0x22);
  EXPECT_EQ(link->QueueTransmit(tooLong.data(), 257), -1);
  // While the CommThread is still writing the first packet the slot is busy.
  script.holdWrites.store(true);
  EXPECT_EQ(link->QueueTransmit(packet.data(), 256), 0);
  EXPECT_EQ(link->QueueTransmit(packet.data(), 256), -1);
  script.holdWrites.store(false);
  ASSERT_TRUE(WaitFor([&] { return Written().size() == 5 + 256; }));
  EXPECT_EQ(link->QueueTransmit(packet.data(), 256), 0);  // free again
  ASSERT_TRUE(WaitFor([&] { return Written().size() == 5 + 512; }));
}

TEST(LinkBackoff, DelaySequences) {
  struct Case {
    const char* name;
    LinkSettings settings;
    std::vector<int> waits;
  };
  const Case cases[] = {
      {"vistrel", LinkSettings::Vistrel(), {250, 500, 1000, 2000, 4000, 5000, 5000, 5000}},
      {"update utility", LinkSettings::FlashUpdate(), {250, 500, 1000, 2000, 4000, 8000, 125, 250, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int delay = 125;
    for (int expected : c.waits) {
      delay = SerialLink::NextReopenDelay(delay, c.settings);
      EXPECT_EQ(delay, expected);
    }
  }
}

TEST_F(LinkFixture, AbsentDeviceIsRetriedWithBackoffAndNewName) {
  script.failOpens = 4;
  Make();
  link->RequestPort(PORT_OPEN, "COM4");
  // After the first failure and two waits, the user picks another port.
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(script.m);
    return script.opened.size() >= 3;
  }));
  link->RequestPort(PORT_REOPEN, "COM7");
  ASSERT_TRUE(WaitFor([&] { return Written() == kStreamOn; }, 6000));
  std::lock_guard<std::mutex> lock(script.m);
  ASSERT_EQ(script.opened.size(), 5u);
  EXPECT_EQ(script.opened[0], SerialDevicePath("COM4"));
  EXPECT_EQ(script.opened.back(), SerialDevicePath("COM7"));
  // 125 ms before the first retry, then 250, 500 and 1000 ms.
  const int expectedGaps[] = {125, 250, 500, 1000};
  for (int i = 0; i < 4; ++i) {
    std::int64_t gap = script.attemptTimes[i + 1] - script.attemptTimes[i];
    EXPECT_GE(gap, expectedGaps[i]) << "gap " << i;
    EXPECT_LT(gap, expectedGaps[i] + 150) << "gap " << i;
  }
}

TEST_F(LinkFixture, CloseDuringBackoffEndsTheRetries) {
  script.failOpens = 1000;
  Make();
  link->RequestPort(PORT_OPEN, "COM4");
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(script.m);
    return script.opened.size() >= 2;
  }));
  link->RequestPort(PORT_CLOSE, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link->RequestPending(); }));
  std::size_t attempts;
  {
    std::lock_guard<std::mutex> lock(script.m);
    attempts = script.opened.size();
  }
  SleepMs(700);
  std::lock_guard<std::mutex> lock(script.m);
  EXPECT_EQ(script.opened.size(), attempts);
  EXPECT_FALSE(link->PortRunning());
}

// A close posted while the CommThread waits out a long back-off (an absent
// device, at exit) is served at once, not after the wait: the program's exit
// waits for it.
TEST_F(LinkFixture, CloseDuringALongBackoffIsServedAtOnce) {
  script.failOpens = 1000;
  Make();
  link->RequestPort(PORT_OPEN, "COM4");
  // Four failed attempts: the wait before the next is a second or more.
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(script.m);
    return script.opened.size() >= 5;
  }, 5000));
  const std::int64_t posted = MonotonicMs();
  link->RequestPort(PORT_CLOSE, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !link->RequestPending(); }, 5000));
  EXPECT_LT(MonotonicMs() - posted, 400);
}

TEST_F(LinkFixture, LineErrorReopensAndStreamResumes) {
  Make();
  link->RequestPort(PORT_OPEN, "COM5");
  ASSERT_TRUE(WaitFor([&] { return Written() == kStreamOn; }));
  {
    std::lock_guard<std::mutex> lock(script.m);
    script.readError = true;
  }
  ASSERT_TRUE(WaitFor([&] { return Written().size() == 10; }));
  Bytes expected = kStreamOn;
  expected.insert(expected.end(), kStreamOn.begin(), kStreamOn.end());
  EXPECT_EQ(Written(), expected);
  Feed({1, 2, 3});
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 3; }));
  EXPECT_EQ(link->RingGetByte(), 1);
}

// A request the window posts while the CommThread is serving another (the
// close half of a re-open, a line error) is served afterwards, never
// overwritten: a close asked for then leaves the port closed.
TEST_F(LinkFixture, ARequestPostedWhileAnotherIsServedIsNotLost) {
  enum class During { Reopen, LineError };
  for (During during : {During::Reopen, During::LineError}) {
    SCOPED_TRACE(during == During::Reopen ? "during a re-open" : "at a line error");
    Make(LinkSettings::FlashUpdate());
    link->RequestPort(PORT_OPEN, "COM4");
    ASSERT_TRUE(WaitFor([&] { return link->PortRunning(); }));
    if (during == During::Reopen) {
      closeAtNextClose.store(true);
      link->RequestPort(PORT_REOPEN, "COM4");
    } else {
      std::lock_guard<std::mutex> lock(script.m);
      script.atReadError = [this] { link->RequestPort(PORT_CLOSE, nullptr); };
      script.readError = true;
    }
    EXPECT_TRUE(WaitFor([&] {
      std::lock_guard<std::mutex> lock(script.m);
      return !link->RequestPending() && !script.isOpen && script.opened.size() >= 1 && !script.readError;
    }));
    EXPECT_FALSE(link->PortRunning());
    link->Stop();
    link.reset();
  }
}

TEST_F(LinkFixture, LogGetsEveryByteBeforeTheRingAndTextsInOrder) {
  test::TempDir dir;
  std::FILE* log = std::fopen(dir.File("log.dat").c_str(), "wb");
  ASSERT_NE(log, nullptr);
  Make();
  link->RequestPort(PORT_OPEN, "COM2");
  ASSERT_TRUE(WaitFor([&] { return link->PortRunning(); }));
  link->SetLogStream(1, log);
  Feed({0x55, 0xAA, 0x01});
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 3; }));
  // Both at once: the stamp goes first, the marker on the next pass. The
  // CommThread is held in a write meanwhile, so both wait for it together.
  script.holdWrites.store(true);
  ASSERT_EQ(link->QueueTransmit(kStreamOn.data(), static_cast<int>(kStreamOn.size())), 0);
  ASSERT_TRUE(WaitFor([&] { return script.writeHeld.load(); }));
  link->RequestLogMarker();
  link->RequestLogTimeStamp();
  script.holdWrites.store(false);
  SleepMs(30);
  Feed({0x02});
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 4; }));
  link->SetLogPaused(1);
  Feed({0x03, 0x04});
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 6; }));
  link->RequestLogMarker();  // clears the pause
  SleepMs(30);
  Feed({0x05});
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 7; }));
  link->SetLogStream(0, nullptr);
  SleepMs(20);
  std::fclose(log);

  std::string expected = "\x55\xAA\x01";
  expected += "TIME: 12/09/2026 - 21:43:07";
  expected += "MARK000TIME: 12/09/2026 - 21:43:07";
  expected += '\x02';
  expected += "MARK001TIME: 12/09/2026 - 21:43:07";
  expected += '\x05';
  EXPECT_EQ(test::ReadFileText(dir.File("log.dat")), expected);
}

TEST_F(LinkFixture, LogWriteFailureStopsLoggingButNotTheStream) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  std::atomic<int> reports{0};
  Make();
  link->reportLogWriteError = [&] { reports.fetch_add(1); };
  link->RequestPort(PORT_OPEN, "COM2");
  ASSERT_TRUE(WaitFor([&] { return link->PortRunning(); }));
  link->SetLogStream(1, full);
  Feed({1, 2, 3, 4});
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 4; }));
  EXPECT_FALSE(link->LogEnabled());
  EXPECT_EQ(reports.load(), 1);
  link->SetLogStream(0, nullptr);
  std::fclose(full);
}

TEST_F(LinkFixture, FlushRequestEmptiesTheRing) {
  Make();
  link->RequestPort(PORT_OPEN, "COM2");
  ASSERT_TRUE(WaitFor([&] { return link->PortRunning(); }));
  Feed(Bytes(1000, 0x33));
  ASSERT_TRUE(WaitFor([&] { return IncomingEmpty() && link->RingCount() == 1000; }));
  link->RequestRingFlush();
  ASSERT_TRUE(WaitFor([&] { return link->RingCount() == 0; }));
  EXPECT_EQ(link->RingGetByte(), -1);
}

TEST_F(LinkFixture, TheStreamOffWaitsForAPacketStillBeingSent) {
  Make();
  link->RequestPort(PORT_OPEN, "COM2");
  ASSERT_TRUE(WaitFor([&] { return Written() == kStreamOn; }));
  const Bytes bank{0x52, 0x42, 0x03, 0x00, 0x97};
  script.holdWrites.store(true);  // the line is slow: the bank packet is still going out
  ASSERT_EQ(link->QueueTransmit(bank.data(), static_cast<int>(bank.size())), 0);
  std::thread line([&] {
    SleepMs(50);
    script.holdWrites.store(false);
  });
  link->RequestPort(PORT_CLOSE, nullptr);
  line.join();
  ASSERT_TRUE(WaitFor([&] { return !link->RequestPending(); }));
  Bytes expected = kStreamOn;
  expected.insert(expected.end(), bank.begin(), bank.end());
  expected.insert(expected.end(), kStreamOff.begin(), kStreamOff.end());
  EXPECT_EQ(Written(), expected);
}

TEST_F(LinkFixture, APacketLeftForALostPortDoesNotBlockTheNextStreamOn) {
  Make();
  link->RequestPort(PORT_OPEN, "COM2");
  ASSERT_TRUE(WaitFor([&] { return Written() == kStreamOn; }));
  const Bytes bank{0x52, 0x42, 0x03, 0x00, 0x97};
  {
    std::lock_guard<std::mutex> lock(script.m);
    script.readError = true;
    // Queued just as the line fails: it is meant for the port that is lost.
    script.atReadError = [&] { link->QueueTransmit(bank.data(), static_cast<int>(bank.size())); };
  }
  Bytes twice = kStreamOn;
  twice.insert(twice.end(), kStreamOn.begin(), kStreamOn.end());
  EXPECT_TRUE(WaitFor([&] { return Written() == twice; })) << "the re-opened port is told to stream";
  SleepMs(50);
  EXPECT_EQ(Written(), twice) << "and gets nothing meant for the lost one";
}

}  // namespace
}  // namespace zrm
