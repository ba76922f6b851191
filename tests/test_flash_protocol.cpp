// The flash link on a scripted transport: packets byte for byte, the
// receiver's hunt, limits and checks, and the pauses of the runtime commands,
// with time that passes only when the protocol pauses.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "flash/flash_protocol.h"
#include "flash/message_window.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Ring, slot and clock of a scripted line. Bytes arrive at set times; the
// clock moves only in Pause, so a limit of seconds costs no real time.
class ScriptedTransport : public FlashTransport {
 public:
  int QueueTransmit(const std::uint8_t* bytes, int length) override {
    ++queueCalls;
    if (refuse.count(queueCalls)) {
      events.push_back("refused");
      return -1;
    }
    Bytes packet(bytes, bytes + length);
    sent.push_back(packet);
    events.push_back("tx " + std::to_string(packet[1]));
    if (responder) {
      Bytes answer = responder(packet);
      if (!answer.empty()) Arrive(nowMs + 3, answer);
    }
    return 0;
  }
  int RingCount() override {
    Deliver();
    return static_cast<int>(ring.size());
  }
  int RingGetByte() override {
    Deliver();
    if (ring.empty()) return -1;
    int b = ring.front();
    ring.pop_front();
    return b;
  }
  int RingPeekByte() override {
    Deliver();
    return ring.empty() ? -1 : ring.front();
  }
  void RequestRingFlush() override {
    Deliver();
    ring.clear();
    events.push_back("flush");
  }
  std::uint32_t FlashTicks() override { return static_cast<std::uint32_t>(nowMs / 100); }
  void Pause(int milliseconds) override {
    // The receiver's polls are many; only the commands' pauses are events.
    if (milliseconds >= 10 && milliseconds != 20) events.push_back("pause " + std::to_string(milliseconds));
    nowMs += milliseconds;
  }

  // Bytes that reach the ring at `atMs`.
  void Arrive(long atMs, const Bytes& bytes) {
    for (std::uint8_t b : bytes) arrivals.emplace(atMs, b);
  }
  // Bytes spread out at the line's speed, starting at `atMs`.
  void ArriveAtLineSpeed(long atMs, const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) arrivals.emplace(atMs + static_cast<long>(i * 1000 / 5760), bytes[i]);
  }

  long nowMs = 0;
  std::deque<std::uint8_t> ring;
  std::multimap<long, std::uint8_t> arrivals;
  std::vector<Bytes> sent;
  std::vector<std::string> events;
  std::set<int> refuse;  // QueueTransmit calls (from 1) that the slot refuses
  int queueCalls = 0;
  std::function<Bytes(const Bytes&)> responder;

 private:
  void Deliver() {
    while (!arrivals.empty() && arrivals.begin()->first <= nowMs) {
      ring.push_back(arrivals.begin()->second);
      arrivals.erase(arrivals.begin());
    }
  }
};

struct LoggedLine {
  Colour colour;
  std::string text;
};

class RecordedMessages : public MessageSink {
 public:
  int LogMessage(Colour background, std::string_view text) override {
    lines.push_back({background, std::string(text)});
    return 0;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& l : lines) texts.push_back(l.text);
    return texts;
  }
  std::vector<LoggedLine> lines;
};

// An answer frame built here, independently of the code under test.
Bytes Answer(std::uint8_t type, const Bytes& payload) {
  Bytes frame{0x53, type};
  frame.insert(frame.end(), payload.begin(), payload.end());
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  frame.push_back(static_cast<std::uint8_t>((sum >> 8) & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return frame;
}

Bytes AckPayload(std::uint8_t code, std::uint8_t bank, std::uint8_t page, std::uint8_t echo = 1) {
  Bytes p(12, 0x20);
  p[0] = code;
  p[1] = bank;
  p[2] = page;
  p[3] = 0;
  p[4] = echo;
  p[5] = 0;
  return p;
}

Bytes Ack(std::uint8_t code, std::uint8_t bank = 0, std::uint8_t page = 0, std::uint8_t echo = 1) {
  return Answer(0x41, AckPayload(code, bank, page, echo));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct ProtocolFixture : ::testing::Test {
  ScriptedTransport line;
  RecordedMessages messages;
  FlashProtocol vistrel{line, FlashProtocolSettings::Vistrel(), &messages};
  FlashProtocol update{line, FlashProtocolSettings::FlashUpdate(), &messages};
};

// ---- packets ----

TEST_F(ProtocolFixture, RuntimeCommandsOnTheWire) {
  struct Case {
    const char* name;
    std::function<int(FlashProtocol&)> op;
    std::vector<Bytes> packets;
  };
  const Case cases[] = {
      {"X 0", [](FlashProtocol& p) { return p.TxMsXmit(0); }, {{0x52, 0x58, 0x00, 0x00, 0xAA}}},
      {"X 1", [](FlashProtocol& p) { return p.TxMsXmit(1); }, {{0x52, 0x58, 0x01, 0x00, 0xAB}}},
      {"X 3 masked to 1", [](FlashProtocol& p) { return p.TxMsXmit(3); }, {{0x52, 0x58, 0x01, 0x00, 0xAB}}},
      {"B 3", [](FlashProtocol& p) { return p.TxMsBank(3); },
       {{0x52, 0x42, 0x03, 0x00, 0x97}, {0x52, 0x42, 0x03, 0x00, 0x97}}},
      {"B 11 masked to 3", [](FlashProtocol& p) { return p.TxMsBank(11); },
       {{0x52, 0x42, 0x03, 0x00, 0x97}, {0x52, 0x42, 0x03, 0x00, 0x97}}},
      {"F", [](FlashProtocol& p) { return p.TxMsFlash(); }, {{0x52, 0x46, 0x00, 0x00, 0x98}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line.sent.clear();
    EXPECT_EQ(c.op(vistrel), 0);
    EXPECT_EQ(line.sent, c.packets);
  }
}

Bytes SentFor(ScriptedTransport& line, const std::function<void()>& op) {
  line.sent.clear();
  op();
  return line.sent.empty() ? Bytes{} : line.sent.front();
}

TEST_F(ProtocolFixture, LoaderPacketsOnTheWire) {
  vistrel.currentBank = 0;
  vistrel.p = 25;
  Bytes info = SentFor(line, [&] { vistrel.TxSlInfo(); });
  ASSERT_EQ(info.size(), 133u);
  Bytes expectedInfo(133, 0x20);
  expectedInfo[0] = 0x53;
  expectedInfo[1] = 0x00;
  expectedInfo[2] = 0x20;
  expectedInfo[3] = 0x00;
  expectedInfo[4] = 1;
  expectedInfo[5] = 1;
  expectedInfo[6] = 1;
  expectedInfo[7] = 25;
  expectedInfo[131] = 0x0F;
  expectedInfo[132] = 0xEF;
  EXPECT_EQ(info, expectedInfo);

  Bytes stop = SentFor(line, [&] { vistrel.TxSlStop(0); });
  Bytes expectedStop(133, 0x20);
  expectedStop[0] = 0x53;
  expectedStop[1] = 0x04;
  expectedStop[131] = 0x10;
  expectedStop[132] = 0x77;
  EXPECT_EQ(stop, expectedStop);

  vistrel.currentBank = 2;
  Bytes cal = SentFor(line, [&] { vistrel.TxSlRequestCal(); });
  ASSERT_EQ(cal.size(), 133u);
  EXPECT_EQ(cal[1], 0x01);
  EXPECT_EQ(cal[2], 2);
  EXPECT_EQ(cal[131], 0x10);
  EXPECT_EQ(cal[132], 0x56);
}

TEST_F(ProtocolFixture, PayloadLayoutsOfTheOtherCommands) {
  vistrel.currentBank = 6;
  vistrel.currentPage = 17;
  Bytes erase = SentFor(line, [&] { vistrel.TxSlEraseSector(24); });
  ASSERT_EQ(erase.size(), 133u);
  EXPECT_EQ(erase[1], 6);
  EXPECT_EQ(erase[2], 24);
  EXPECT_EQ(std::string(erase.begin() + 3, erase.begin() + 19), " Erase Sector   ");
  EXPECT_EQ(erase[19], 0x00);
  for (int i = 20; i < 131; ++i) EXPECT_EQ(erase[static_cast<std::size_t>(i)], 0x20) << i;

  Bytes data(128);
  for (int i = 0; i < 128; ++i) data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i);
  Bytes page = SentFor(line, [&] { vistrel.TxSlPgmPage(data.data()); });
  EXPECT_EQ(page[1], 7);
  EXPECT_EQ(page[2], 17);
  EXPECT_EQ(Bytes(page.begin() + 3, page.begin() + 131), data);

  struct Simple {
    std::function<void()> op;
    std::uint8_t code;
    int firstPayload;  // -1: a space like the rest
  };
  const Simple simple[] = {
      {[&] { vistrel.TxSlReqstPage(); }, 2, 17},
      {[&] { vistrel.TxSlRequestBin(); }, 3, 6},
      {[&] { vistrel.TxSlReqstVersion(); }, 5, -1},
  };
  for (const Simple& s : simple) {
    Bytes packet = SentFor(line, s.op);
    ASSERT_EQ(packet.size(), 133u);
    EXPECT_EQ(packet[1], s.code);
    EXPECT_EQ(packet[2], s.firstPayload < 0 ? 0x20 : s.firstPayload);
    for (int i = 3; i < 131; ++i) EXPECT_EQ(packet[static_cast<std::size_t>(i)], 0x20);
    unsigned sum = 0;
    for (int i = 0; i < 131; ++i) sum += packet[static_cast<std::size_t>(i)];
    EXPECT_EQ(packet[131], (sum >> 8) & 0xFF);
    EXPECT_EQ(packet[132], sum & 0xFF);
  }
}

TEST(FlashPackets, BuildersRefuseWhatTheSlotCannotCarry) {
  struct Case {
    const char* name;
    std::function<int(Bytes*)> build;
    int result;
    std::size_t size;
  };
  const Bytes big(260, 0x11);
  const Case cases[] = {
      {"loader code 7", [&](Bytes* p) { return BuildLoaderPacket(7, big.data(), 129, p); }, 0, 133},
      {"loader code 8", [&](Bytes* p) { return BuildLoaderPacket(8, big.data(), 129, p); }, -1, 0},
      {"loader payload 130", [&](Bytes* p) { return BuildLoaderPacket(0, big.data(), 130, p); }, -1, 0},
      {"runtime payload 1", [&](Bytes* p) { return BuildRuntimeCommand(0x58, big.data(), 1, p); }, 0, 5},
      {"runtime payload 2", [&](Bytes* p) { return BuildRuntimeCommand(0x58, big.data(), 2, p); }, -1, 0},
      {"generic 252", [&](Bytes* p) { return BuildLeadPacket(0x53, 9, big.data(), 252, p); }, 0, 256},
      {"generic 253", [&](Bytes* p) { return BuildLeadPacket(0x53, 9, big.data(), 253, p); }, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes packet{1, 2, 3};
    EXPECT_EQ(c.build(&packet), c.result);
    EXPECT_EQ(packet.size(), c.size);
  }
  Bytes generic;
  ASSERT_EQ(BuildLeadPacket(0x52, 0x42, big.data(), 0, &generic), 0);
  EXPECT_EQ(generic, (Bytes{0x52, 0x42, 0x00, 0x94}));
}

TEST(FlashPackets, InfoByteFiveFollowsP) {
  const std::pair<int, int> cases[] = {{0, 0}, {1, 15}, {3, 15}, {15, 15}, {16, 16}, {25, 25}, {200, 200}};
  for (auto [p, expected] : cases) EXPECT_EQ(InfoByteFromP(p), expected) << "P " << p;
}

// ---- runtime commands: order of packets, flushes and pauses ----

TEST_F(ProtocolFixture, RuntimeCommandsPauseAndFlushAsEachProgramDoes) {
  struct Case {
    const char* name;
    std::function<int()> op;
    std::set<int> refuse;
    int result;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {"X 0", [&] { return vistrel.TxMsXmit(0); }, {}, 0, {"tx 88", "pause 60", "flush"}},
      {"X 1", [&] { return vistrel.TxMsXmit(1); }, {}, 0, {"tx 88"}},
      {"X 0 refused", [&] { return vistrel.TxMsXmit(0); }, {1}, -1, {"refused", "pause 60", "flush"}},
      {"B", [&] { return vistrel.TxMsBank(1); }, {}, 0, {"tx 66", "pause 60", "tx 66"}},
      {"B first refused", [&] { return vistrel.TxMsBank(1); }, {1}, 0, {"refused", "pause 60", "tx 66"}},
      {"B second refused", [&] { return vistrel.TxMsBank(1); }, {2}, 0, {"tx 66", "pause 60", "refused"}},
      {"B both refused", [&] { return vistrel.TxMsBank(1); }, {1, 2}, -1, {"refused", "pause 60", "refused"}},
      {"F vistrel", [&] { return vistrel.TxMsFlash(); }, {}, 0,
       {"tx 70", "flush", "pause 120", "flush", "pause 10"}},
      {"F vistrel refused", [&] { return vistrel.TxMsFlash(); }, {1}, -1,
       {"refused", "pause 120", "flush", "pause 10"}},
      {"F update utility", [&] { return update.TxMsFlash(); }, {}, 0, {"tx 70", "flush", "pause 60", "flush"}},
      {"F update utility refused", [&] { return update.TxMsFlash(); }, {1}, -1, {"refused", "pause 60", "flush"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line.events.clear();
    line.queueCalls = 0;
    line.refuse = c.refuse;
    EXPECT_EQ(c.op(), c.result);
    EXPECT_EQ(line.events, c.events);
  }
  EXPECT_TRUE(messages.lines.empty());  // refusals are silent
}

// ---- the receiver ----

struct ReceiveCase {
  const char* name;
  Bytes bytes;       // arriving at once at 0 ms
  int result;
  std::string line;  // the failure line, "" for none
  std::uint8_t type;
};

TEST_F(ProtocolFixture, ReceiverHuntsChecksAndFails) {
  Bytes runtimeNoise = {0x55, 0xAA, 0x10, 0x20, 0x53, 0x10, 0x53};
  Bytes page(129);
  for (int i = 0; i < 129; ++i) page[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 3);
  Bytes badSum = Ack(7, 1, 2);
  badSum.back() ^= 0x01;
  Bytes truncatedSum = Ack(7);
  truncatedSum.pop_back();
  const Bytes ack = Ack(0);
  const Bytes partAck(ack.begin(), ack.begin() + 9);
  const ReceiveCase cases[] = {
      {"clean ack", Ack(0), 0, "", 0x41},
      {"noise first", Concat({runtimeNoise, Ack(0)}), 0, "", 0x41},
      {"doubled lead", Concat({{0x53}, Ack(0)}), 0, "", 0x41},
      {"unknown type costs its byte", Concat({{0x53, 0x99}, Ack(0)}), 0, "", 0x41},
      {"two false starts", Concat({{0x53, 0x44, 0x53, 0x12}, Answer(0x50, page)}), 0, "", 0x50},
      {"refusal is an answer", Answer(0x4E, AckPayload(7, 1, 2)), 0, "", 0x4E},
      {"bad checksum", badSum, -1, "RX Cksum Failure", 0},
      {"silence", {}, -1, "RX Timeout 1", 0},
      {"one byte only", {0x53}, -1, "RX Timeout 1", 0},
      {"payload stops", partAck, -1, "RX Timeout 2", 0},
      {"checksum short", truncatedSum, -1, "RX Timeout 3", 0},
  };
  for (const ReceiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    line = ScriptedTransport();
    messages.lines.clear();
    vistrel.answer.type = 0;
    line.Arrive(0, c.bytes);
    EXPECT_EQ(vistrel.ReceiveAnswer(), c.result);
    if (c.line.empty()) {
      EXPECT_TRUE(messages.lines.empty());
      EXPECT_EQ(vistrel.answer.type, c.type);
    } else {
      ASSERT_EQ(messages.lines.size(), 1u);
      EXPECT_EQ(messages.lines[0].text, c.line);
      EXPECT_EQ(messages.lines[0].colour, MESSAGE_FAILURE);
    }
  }
}

TEST_F(ProtocolFixture, AnswerStateTakesOnlyWhatEachTypeCarries) {
  line.Arrive(0, Ack(7, 5, 9, 1));
  ASSERT_EQ(vistrel.ReceiveAnswer(), 0);
  EXPECT_EQ(vistrel.answer.ackCommand, 7);
  EXPECT_EQ(vistrel.answer.bank, 5);
  EXPECT_EQ(vistrel.answer.page, 9);
  EXPECT_EQ(vistrel.answer.infoEcho, 1);

  Bytes page(129, 0xAB);
  page[0] = 33;
  line.Arrive(line.nowMs, Answer(0x50, page));
  ASSERT_EQ(vistrel.ReceiveAnswer(), 0);
  EXPECT_EQ(vistrel.answer.type, 0x50);
  EXPECT_EQ(vistrel.answer.page, 33);
  EXPECT_EQ(vistrel.answer.bank, 5);  // kept from the Ack
  EXPECT_EQ(vistrel.answer.ackCommand, 7);

  Bytes cal(4097, 0x5C);
  cal[0] = 3;
  line.Arrive(line.nowMs, Answer(0x43, cal));
  ASSERT_EQ(vistrel.ReceiveAnswer(), 0);
  EXPECT_EQ(vistrel.answer.bank, 3);
  EXPECT_EQ(vistrel.answer.page, 33);
  EXPECT_EQ(Bytes(vistrel.answer.buffer.begin(), vistrel.answer.buffer.begin() + 4097), cal);
}

TEST_F(ProtocolFixture, VersionAnswerNamesTheChip) {
  struct Case {
    int offset;
    const char* text;
    bool sst;
  };
  const Case cases[] = {{67, " SST", true}, {66, " SST", false}, {68, " SST", false}, {67, " sst", false},
                        {67, " AT2", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + c.text);
    Bytes text(128, 'x');
    std::memcpy(&text[static_cast<std::size_t>(c.offset)], c.text, 4);
    vistrel.answer.bank = 6;
    line.Arrive(line.nowMs, Answer(0x56, text));
    ASSERT_EQ(vistrel.TxSlReqstVersion(), 0);
    EXPECT_EQ(vistrel.SstChip(), c.sst);
    EXPECT_EQ(vistrel.answer.bank, 6);  // a Version sets only the type
  }
}

// Time of the failure, in ms of the scripted clock, for a line that stays
// silent after `bytes`.
long FailureTimeMs(FlashProtocolSettings settings, const Bytes& bytes, std::string* failureLine) {
  ScriptedTransport line;
  RecordedMessages messages;
  FlashProtocol protocol(line, settings, &messages);
  line.Arrive(0, bytes);
  EXPECT_EQ(protocol.ReceiveAnswer(), -1);
  *failureLine = messages.lines.empty() ? "" : messages.lines.back().text;
  return line.nowMs;
}

TEST(FlashReceiver, EachLimitIsExceededWhenStrictlyMoreTicksPass) {
  struct Case {
    const char* name;
    FlashProtocolSettings settings;
    Bytes bytes;
    const char* line;
    int limitTicks;
  };
  const Bytes ack = Ack(0);
  const Bytes partPayload(ack.begin(), ack.begin() + 5);
  const Bytes noChecksum(ack.begin(), ack.end() - 2);
  const Case cases[] = {
      {"vistrel first bytes", FlashProtocolSettings::Vistrel(), {}, "RX Timeout 1", 10},
      {"update first bytes", FlashProtocolSettings::FlashUpdate(), {}, "RX Timeout 1", 20},
      {"vistrel payload byte", FlashProtocolSettings::Vistrel(), partPayload, "RX Timeout 2", 20},
      {"update payload byte", FlashProtocolSettings::FlashUpdate(), partPayload, "RX Timeout 2", 20},
      {"vistrel checksum", FlashProtocolSettings::Vistrel(), noChecksum, "RX Timeout 3", 20},
      {"update checksum", FlashProtocolSettings::FlashUpdate(), noChecksum, "RX Timeout 3", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string failure;
    const long ms = FailureTimeMs(c.settings, c.bytes, &failure);
    EXPECT_EQ(failure, c.line);
    // More than `limit` ticks means tick limit + 1 has been reached; the
    // receiver sees it within one poll.
    EXPECT_GE(ms, (c.limitTicks + 1) * 100);
    EXPECT_LT(ms, (c.limitTicks + 1) * 100 + 21);
  }
}

TEST(FlashReceiver, EndlessFalseStartsEndInAStreamingFailure) {
  struct Case {
    FlashProtocolSettings settings;
    int overall;
  };
  for (const Case& c : {Case{FlashProtocolSettings::Vistrel(), 20}, Case{FlashProtocolSettings::FlashUpdate(), 30}}) {
    ScriptedTransport line;
    RecordedMessages messages;
    FlashProtocol protocol(line, c.settings, &messages);
    // Frame starts with unknown types and plain noise, 4 bytes every 10 ms.
    for (long t = 0; t < 10000; t += 10) line.Arrive(t, {0x53, 0x77, 0x12, 0x53});
    EXPECT_EQ(protocol.ReceiveAnswer(), -1);
    ASSERT_EQ(messages.lines.size(), 1u);
    EXPECT_EQ(messages.lines[0].text, "RX Streaming Data Failure");
    EXPECT_GE(line.nowMs, (c.overall + 1) * 100);
    EXPECT_LT(line.nowMs, (c.overall + 1) * 100 + 41);
  }
}

TEST(FlashReceiver, AWholeBankAtLineSpeedOutlastsTheHuntLimitAndPasses) {
  ScriptedTransport line;
  RecordedMessages messages;
  FlashProtocol protocol(line, FlashProtocolSettings::Vistrel(), &messages);
  Bytes bank(16385);
  bank[0] = 4;
  for (std::size_t i = 1; i < bank.size(); ++i) bank[i] = static_cast<std::uint8_t>(i * 13 + 1);
  protocol.currentBank = 4;
  line.responder = [&](const Bytes&) { return Bytes{}; };
  line.ArriveAtLineSpeed(5, Answer(0x42, bank));
  EXPECT_EQ(protocol.TxSlRequestBin(), 0);
  EXPECT_GT(line.nowMs, 2800);  // longer than the 2 s hunt limit
  EXPECT_TRUE(messages.lines.empty());
  EXPECT_EQ(Bytes(protocol.answer.buffer.begin(), protocol.answer.buffer.begin() + 16385), bank);
}

// ---- the checks after a valid answer ----

TEST_F(ProtocolFixture, EachCommandAcceptsOnlyItsOwnAnswer) {
  struct Case {
    const char* name;
    std::function<int(FlashProtocol&)> op;
    Bytes answer;
    int result;
  };
  Bytes cal2(4097, 0);
  cal2[0] = 2;
  Bytes cal3 = cal2;
  cal3[0] = 3;
  Bytes page9(129, 0);
  page9[0] = 9;
  Bytes page8 = page9;
  page8[0] = 8;
  Bytes bin2(16385, 0);
  bin2[0] = 2;
  Bytes bin1 = bin2;
  bin1[0] = 1;
  const Bytes page(128, 0x42);
  auto pgm = [&page](FlashProtocol& p) { return p.TxSlPgmPage(page.data()); };
  const Case cases[] = {
      {"info ack", [](FlashProtocol& p) { return p.TxSlInfo(); }, Ack(0, 2, 0, 1), 0},
      {"info echo wrong", [](FlashProtocol& p) { return p.TxSlInfo(); }, Ack(0, 2, 0, 0), -1},
      {"info acks another code", [](FlashProtocol& p) { return p.TxSlInfo(); }, Ack(4, 2, 0, 1), -1},
      {"info refused", [](FlashProtocol& p) { return p.TxSlInfo(); }, Answer(0x4E, AckPayload(0, 2, 0)), -1},
      {"cal of the bank", [](FlashProtocol& p) { return p.TxSlRequestCal(); }, Answer(0x43, cal2), 0},
      {"cal of another bank", [](FlashProtocol& p) { return p.TxSlRequestCal(); }, Answer(0x43, cal3), -1},
      {"cal answered by a page", [](FlashProtocol& p) { return p.TxSlRequestCal(); }, Answer(0x50, page9), -1},
      {"page asked for", [](FlashProtocol& p) { return p.TxSlReqstPage(); }, Answer(0x50, page9), 0},
      {"another page", [](FlashProtocol& p) { return p.TxSlReqstPage(); }, Answer(0x50, page8), -1},
      {"bin of the bank", [](FlashProtocol& p) { return p.TxSlRequestBin(); }, Answer(0x42, bin2), 0},
      {"bin of another bank", [](FlashProtocol& p) { return p.TxSlRequestBin(); }, Answer(0x42, bin1), -1},
      {"stop ack", [](FlashProtocol& p) { return p.TxSlStop(1); }, Ack(4, 2), 0},
      {"stop acked as 7", [](FlashProtocol& p) { return p.TxSlStop(1); }, Ack(7, 2), -1},
      {"version", [](FlashProtocol& p) { return p.TxSlReqstVersion(); }, Answer(0x56, Bytes(128, 'v')), 0},
      {"version answered by an ack", [](FlashProtocol& p) { return p.TxSlReqstVersion(); }, Ack(5), -1},
      {"erase ack", [](FlashProtocol& p) { return p.TxSlEraseSector(8); }, Ack(6, 2), 0},
      {"erase refused", [](FlashProtocol& p) { return p.TxSlEraseSector(8); }, Answer(0x4E, AckPayload(6, 2, 0)), -1},
      {"page ack", pgm, Ack(7, 2, 9), 0},
      {"page acked as erase", pgm, Ack(6, 2, 9), -1},
      {"page of another bank", pgm, Ack(7, 3, 9), -1},
      {"another page acked", pgm, Ack(7, 2, 8), -1},
      {"page refused", pgm, Answer(0x4E, AckPayload(7, 2, 9)), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    line = ScriptedTransport();
    messages.lines.clear();
    vistrel.currentBank = 2;
    vistrel.currentPage = 9;
    const Bytes answer = c.answer;
    line.responder = [answer](const Bytes&) { return answer; };
    EXPECT_EQ(c.op(vistrel), c.result);
    EXPECT_TRUE(messages.lines.empty());  // a failed check says nothing
    EXPECT_EQ(line.sent.size(), 1u);
  }
}

TEST_F(ProtocolFixture, StopWithoutWaitingLeavesTheRingAlone) {
  line.responder = [](const Bytes&) { return Ack(4); };
  EXPECT_EQ(vistrel.TxSlStop(0), 0);
  line.Pause(10);
  EXPECT_EQ(line.RingCount(), 16);
  line.refuse = {2};
  EXPECT_EQ(vistrel.TxSlStop(1), -1);  // refused by the slot: no receive at all
  EXPECT_EQ(line.RingCount(), 16);
  EXPECT_TRUE(messages.lines.empty());
}

TEST_F(ProtocolFixture, ARefusedSlotSendsNothingAndWaitsForNothing) {
  line.refuse = {1};
  line.Arrive(0, Ack(0));
  EXPECT_EQ(vistrel.TxSlInfo(), -1);
  EXPECT_EQ(line.nowMs, 0);
  EXPECT_TRUE(line.sent.empty());
  EXPECT_TRUE(messages.lines.empty());
}

}  // namespace
}  // namespace zrm
