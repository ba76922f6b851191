// Bank Program and Read against the simulated ECM's loader over a real
// pseudo-terminal and the real serial link: the lines, the loader commands,
// the bank and the file after each operation, and sweeps that fail each step
// in turn. Also the zrmtool bank commands end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flash/bank_procedures.h"
#include "flash/flash_ticks.h"
#include "flash/link_transport.h"
#include "flash/zrm_bin.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "sim/flash_loader.h"
#include "sim/sim_ecm.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Line {
  Colour colour;
  std::string text;
  bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
  char colour[16];
  std::snprintf(colour, sizeof colour, "%06X", line.colour);
  return out << colour << " '" << line.text << "'";
}

class RecordedMessages : public MessageSink {
 public:
  int LogMessage(Colour background, std::string_view text) override {
    lines.push_back({background, std::string(text)});
    return 0;
  }
  std::vector<Line> lines;
};

constexpr Colour G = MESSAGE_NORMAL;
constexpr Colour Y = MESSAGE_FAILURE;

// The link's transport with its Nth transmit (from 1) refused, as when the
// slot is still busy.
class RefusingTransport : public FlashTransport {
 public:
  RefusingTransport(FlashTransport& inner, SerialLink& link) : inner_(inner), link_(link) {}
  int QueueTransmit(const std::uint8_t* bytes, int length) override {
    if (++calls == refuseCall) return -1;
    // The protocol's pauses give the CommThread time to empty the slot; on a
    // starved test machine it may not have run yet. These tests are about the
    // sequences, so a packet waits for the slot instead of being refused.
    link_.WaitForTransmitSlot(2000);
    return inner_.QueueTransmit(bytes, length);
  }
  int RingCount() override { return inner_.RingCount(); }
  int RingGetByte() override { return inner_.RingGetByte(); }
  int RingPeekByte() override { return inner_.RingPeekByte(); }
  void RequestRingFlush() override { inner_.RequestRingFlush(); }
  std::uint32_t FlashTicks() override { return inner_.FlashTicks(); }
  void Pause(int milliseconds) override { inner_.Pause(milliseconds); }
  int calls = 0;
  int refuseCall = 0;

 private:
  FlashTransport& inner_;
  SerialLink& link_;
};

// Disk files whose Nth write (from 1) fails.
class FailingWrites : public BinFiles {
 public:
  class Stream : public BinStream {
   public:
    Stream(std::unique_ptr<BinStream> inner, FailingWrites& owner) : inner_(std::move(inner)), owner_(owner) {}
    std::size_t Read(std::uint8_t* bytes, std::size_t count) override { return inner_->Read(bytes, count); }
    std::size_t Write(const std::uint8_t* bytes, std::size_t count) override {
      if (++owner_.writes == owner_.failWrite) return inner_->Write(bytes, count / 2);
      return inner_->Write(bytes, count);
    }
    int Rewind() override { return inner_->Rewind(); }
    int Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<BinStream> inner_;
    FailingWrites& owner_;
  };
  std::unique_ptr<BinStream> OpenForReading(const std::string& path) override {
    return std::make_unique<Stream>(DiskBinFiles().OpenForReading(path), *this);
  }
  std::unique_ptr<BinStream> OpenForWriting(const std::string& path) override {
    auto inner = DiskBinFiles().OpenForWriting(path);
    if (!inner) return nullptr;
    return std::make_unique<Stream>(std::move(inner), *this);
  }
  int Replace(const std::string& from, const std::string& to) override { return DiskBinFiles().Replace(from, to); }
  int Remove(const std::string& path) override { return DiskBinFiles().Remove(path); }
  int writes = 0;
  int failWrite = 0;
};

// The names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A calibration file of this ECM with contents unlike any factory bank.
Bytes MakeBin(std::uint32_t seed) {
  Bytes bin(BIN_FILE_SIZE);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bin) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  bin[0] = 0x31;
  bin[1] = 0x07;
  std::memcpy(&bin[2], "ZRMF", 4);
  return bin;
}

Bytes Calibration(const Bytes& image) { return Bytes(image.begin(), image.begin() + CALIBRATION_SIZE); }
Bytes Firmware(const Bytes& image) { return Bytes(image.begin() + CALIBRATION_SIZE, image.end()); }

Bytes ExpectedReadImage(const Bytes& bank) {
  Bytes image = Calibration(bank);
  image.resize(CALIBRATION_SIZE + BIN_FILLER_SIZE, 0xFF);
  const auto trailer = BinTrailer(TrailerKind::BankRead);
  image.insert(image.end(), trailer.begin(), trailer.end());
  return image;
}

std::vector<std::uint8_t> Codes(const std::vector<sim::LoaderCommand>& commands) {
  std::vector<std::uint8_t> codes;
  for (const auto& c : commands) codes.push_back(c.code);
  return codes;
}

struct BankFixture : ::testing::Test {
  test::TempDir dir;
  std::shared_ptr<sim::SimFlashLoader> loader;
  std::unique_ptr<sim::SimEcm> ecm;
  std::unique_ptr<SerialLink> link;
  FlashTickTimer ticks;
  std::unique_ptr<LinkFlashTransport> linkTransport;
  std::unique_ptr<RefusingTransport> transport;
  RecordedMessages messages;
  std::unique_ptr<FlashProtocol> protocol;

  void Start(bool sst, bool wireSpeed = false) {
    sim::FlashLoaderOptions loaderOptions;
    loaderOptions.flashFile = dir.File("flash.img");
    loaderOptions.sst = sst;
    loader = std::make_shared<sim::SimFlashLoader>(loaderOptions);
    ASSERT_EQ(loader->Open(), 0);
    sim::SimOptions options;
    options.linkPath = dir.File("tty");
    options.wireSpeed = wireSpeed;
    ecm = std::make_unique<sim::SimEcm>(options);
    ecm->SetLoader(loader);
    ASSERT_EQ(ecm->Start(), 0);
    link = std::make_unique<SerialLink>(LinkSettings::Vistrel());
    link->Start();
    link->RequestPort(PORT_OPEN, options.linkPath.c_str());
    for (int i = 0; i < 500 && !link->PortRunning(); ++i) SleepMs(10);
    ASSERT_TRUE(link->PortRunning());
    // The link's own "stream on" leaves the slot first: wait until the ECM has it.
    ASSERT_TRUE(test::WaitFor([&] { return !ecm->Packets().empty(); }));
    ticks.Start();
    linkTransport = std::make_unique<LinkFlashTransport>(*link, ticks.Counter());
    transport = std::make_unique<RefusingTransport>(*linkTransport, *link);
    protocol = std::make_unique<FlashProtocol>(*transport, FlashProtocolSettings::Vistrel(), &messages);
  }

  void TearDown() override {
    ticks.Stop();
    if (link) {
      link->RequestPort(PORT_CLOSE, nullptr);
      for (int i = 0; i < 100 && link->RequestPending(); ++i) SleepMs(10);
      link->Stop();
    }
    if (ecm) ecm->Stop();
  }

  // A fresh run: the bank back to what it was, the loader's fault and
  // records cleared.
  void Reset(int bank, const Bytes& contents, sim::LoaderFault fault = {}) {
    ASSERT_EQ(loader->SetBank(bank, contents), 0);
    loader->SetFault(fault);
    loader->ClearCommands();
    messages.lines.clear();
    transport->calls = 0;
    transport->refuseCall = 0;
  }

  int Program(int bank, const std::string& path, BankOperationOptions options = {}) {
    PrepareBankOperation(*protocol, bank);
    return ProgramBankFromFile(*protocol, options, path, messages);
  }
  int Read(int bank, const std::string& path, BankOperationOptions options = {}, BinFiles& files = DiskBinFiles()) {
    PrepareBankOperation(*protocol, bank);
    return ReadBankToFile(*protocol, options, path, messages, files);
  }

  // The contract of every Program, whatever failed: wholly done and said so,
  // or said to have failed; never success while the bank differs.
  void CheckProgramOutcome(int result, int bank, const Bytes& bin, const Bytes& before) {
    const Bytes after = loader->Bank(bank);
    ASSERT_GE(messages.lines.size(), 3u);
    const Line& last = messages.lines.back();
    EXPECT_EQ(messages.lines[messages.lines.size() - 2], (Line{G, ""}));
    EXPECT_EQ(Firmware(after), Firmware(before));  // the firmware is never touched
    const std::vector<std::uint8_t> codes = Codes(loader->Commands());
    if (result == 0) {
      EXPECT_EQ(last, (Line{MESSAGE_SUCCESS_RESULT, MSG_FLASHING_OK}));
      EXPECT_EQ(Calibration(after), Calibration(bin)) << "success while the bank differs from the file";
      ASSERT_FALSE(codes.empty());
      EXPECT_EQ(codes.back(), SL_STOP);
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(last, (Line{MESSAGE_FAILURE_RESULT, MSG_FLASHING_FAILED}));
      const Line& reason = messages.lines[messages.lines.size() - 3];
      EXPECT_EQ(reason.colour, Y) << reason;
      // No Stop after a failure, unless the Stop itself is what failed.
      if (reason.text != "TxSlStop Failed") {
        for (std::uint8_t c : codes) EXPECT_NE(c, SL_STOP);
      }
    }
  }
};

// ---- the sequences ----

struct ProgramCase {
  bool sst;
  bool verify;
  bool setBank;
  int bank;
};

TEST_F(BankFixture, ProgramSequencesOnEachChipWithEachOption) {
  const ProgramCase cases[] = {
      {false, true, true, 5}, {false, false, true, 1}, {false, true, false, 7}, {false, false, false, 0},
      {true, true, true, 2},  {true, false, false, 6}, {true, true, false, 3},
  };
  bool started = false;
  bool startedSst = false;
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE("sst " + std::to_string(c.sst) + " verify " + std::to_string(c.verify) + " set bank " +
                 std::to_string(c.setBank) + " bank " + std::to_string(c.bank));
    if (!started || startedSst != c.sst) {
      TearDown();
      ecm.reset();
      link.reset();
      std::remove(dir.File("flash.img").c_str());
      Start(c.sst);
      started = true;
      startedSst = c.sst;
    }
    const Bytes bin = MakeBin(static_cast<std::uint32_t>(c.bank + 10 * c.sst));
    test::WriteFileBytes(dir.File("in.bin"), bin);
    const Bytes before = sim::SimFlashLoader::FactoryBank(c.bank);
    Reset(c.bank, before);
    const int bankBefore = ecm->ActiveBank();
    const std::size_t bankPacketsBefore = ecm->Packets().size();

    ASSERT_EQ(Program(c.bank, dir.File("in.bin"), {c.verify, c.setBank}), 0);

    std::vector<Line> expected{{G, "Bank Flash Program Starting"}};
    if (c.setBank) expected.push_back({G, "Flash Bank Set"});
    if (c.verify) expected.push_back({G, "Bank Verify Starting"});
    expected.push_back({G, "Bank Programmed Successfully"});
    expected.push_back({G, ""});
    expected.push_back({MESSAGE_SUCCESS_RESULT, "    -Flashing Successful-"});
    EXPECT_EQ(messages.lines, expected);

    std::vector<sim::LoaderCommand> commands{{SL_INFO, static_cast<std::uint8_t>(c.bank)}, {SL_REQUEST_VERSION, 0x20}};
    if (c.sst) commands.push_back({SL_ERASE_SECTOR, static_cast<std::uint8_t>(c.bank * 4)});
    commands.push_back({SL_INFO, static_cast<std::uint8_t>(c.bank)});
    for (int page = 0; page < 32; ++page) commands.push_back({SL_PROGRAM_PAGE, static_cast<std::uint8_t>(page)});
    if (c.verify) commands.push_back({SL_REQUEST_CAL, static_cast<std::uint8_t>(c.bank)});
    commands.push_back({SL_STOP, 0x20});
    EXPECT_EQ(loader->Commands(), commands);

    // On an SST chip the old contents have cleared bits the file needs set:
    // only an erase before the pages gives the file's bytes.
    const Bytes after = loader->Bank(c.bank);
    EXPECT_EQ(Calibration(after), Calibration(bin));
    EXPECT_EQ(Firmware(after), Firmware(before));

    // Set Bank Active: B twice in runtime mode, and the ECM took the bank.
    std::vector<sim::CommandPacket> packets = ecm->Packets();
    int bankPackets = 0;
    for (std::size_t i = bankPacketsBefore; i < packets.size(); ++i) bankPackets += packets[i][1] == 0x42;
    EXPECT_EQ(bankPackets, c.setBank ? 2 : 0);
    EXPECT_EQ(ecm->ActiveBank(), c.setBank ? c.bank : bankBefore);
  }

  // The banks live in the flash file.
  sim::FlashLoaderOptions again;
  again.flashFile = dir.File("flash.img");
  sim::SimFlashLoader reopened(again);
  ASSERT_EQ(reopened.Open(), 0);
  EXPECT_EQ(reopened.Bank(3), loader->Bank(3));
  EXPECT_EQ(Calibration(reopened.Bank(3)), Calibration(MakeBin(13)));
}

TEST_F(BankFixture, ReadSequencesWriteTheWholeImage) {
  Start(false);
  struct Case {
    int bank;
    bool setBank;
  };
  for (const Case& c : {Case{4, true}, Case{0, false}, Case{7, true}}) {
    SCOPED_TRACE(c.bank);
    Bytes contents = MakeBin(static_cast<std::uint32_t>(100 + c.bank));
    Reset(c.bank, contents);
    const std::string out = dir.File("out" + std::to_string(c.bank) + ".bin");
    test::WriteFileBytes(out, Bytes(20000, 0x33));  // an older, longer file is truncated
    ASSERT_EQ(Read(c.bank, out, {true, c.setBank}), 0);

    std::vector<Line> expected{{G, "Bank Read Starting"}};
    if (c.setBank) expected.push_back({G, "Flash Bank Set"});
    expected.push_back({G, "Bank Read Successful"});
    expected.push_back({G, ""});
    expected.push_back({MESSAGE_SUCCESS_RESULT, "    -Read Successful-"});
    EXPECT_EQ(messages.lines, expected);
    EXPECT_EQ(loader->Commands(), (std::vector<sim::LoaderCommand>{{SL_INFO, static_cast<std::uint8_t>(c.bank)},
                                                                   {SL_REQUEST_CAL, static_cast<std::uint8_t>(c.bank)},
                                                                   {SL_STOP, 0x20}}));
    const Bytes file = test::ReadFileBytes(out);
    ASSERT_EQ(file.size(), 16384u);
    EXPECT_EQ(file, ExpectedReadImage(contents));
    const auto trailer = BinTrailer(TrailerKind::BankRead);
    EXPECT_EQ(Bytes(file.end() - 768, file.end()), Bytes(trailer.begin(), trailer.end()));
    EXPECT_EQ(IsZrmBin(out, nullptr), 0x3107);
    if (c.setBank) {
      EXPECT_EQ(ecm->ActiveBank(), c.bank);
    }
  }
}

TEST_F(BankFixture, AByteWrongInTheReadBackFailsTheVerifyAndSendsNoStop) {
  Start(true);
  const Bytes bin = MakeBin(77);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  Reset(1, sim::SimFlashLoader::FactoryBank(1), {sim::LoaderFaultKind::Readback, 1});
  EXPECT_EQ(Program(1, dir.File("in.bin")), -1);
  const std::vector<Line> expected{{G, "Bank Flash Program Starting"},
                                   {G, "Flash Bank Set"},
                                   {G, "Bank Verify Starting"},
                                   {Y, "Verify Failed"},
                                   {G, ""},
                                   {MESSAGE_FAILURE_RESULT, "     -Flashing Failed-"}};
  EXPECT_EQ(messages.lines, expected);
  const auto codes = Codes(loader->Commands());
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.back(), SL_REQUEST_CAL);
  SleepMs(50);
  EXPECT_TRUE(ecm->InLoader());  // left in its loader
}

// A file shorter than the calibration would leave the bank's tail erased and,
// with Verify off, be reported programmed: it is refused before any traffic.
TEST_F(BankFixture, AFileShorterThanItsCalibrationIsRefusedBeforeAnyTraffic) {
  Start(false);
  const Bytes bin = MakeBin(5);
  const Bytes before = sim::SimFlashLoader::FactoryBank(2);
  for (std::size_t size : {std::size_t{0}, std::size_t{6}, std::size_t{1000}, std::size_t{4095}, std::size_t{4096}}) {
    for (bool verify : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (verify ? " verify" : " no verify"));
      test::WriteFileBytes(dir.File("short.bin"), Bytes(bin.begin(), bin.begin() + static_cast<long>(size)));
      Reset(2, before);
      const std::size_t packets = ecm->Packets().size();
      const int result = Program(2, dir.File("short.bin"), {verify, true});
      if (size == CALIBRATION_SIZE) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Calibration(loader->Bank(2)), Calibration(bin));
        continue;
      }
      EXPECT_EQ(result, -1);
      EXPECT_EQ(messages.lines, (std::vector<Line>{{Y, "BIN File Too Short"},
                                                   {G, ""},
                                                   {MESSAGE_FAILURE_RESULT, "     -Flashing Failed-"}}));
      EXPECT_EQ(transport->calls, 0);
      EXPECT_EQ(ecm->Packets().size(), packets);
      EXPECT_EQ(loader->Bank(2), before);
    }
  }
}

TEST_F(BankFixture, AFileThatCannotBeOpenedStartsNoTraffic) {
  Start(false);
  Reset(0, sim::SimFlashLoader::FactoryBank(0));
  const std::size_t packets = ecm->Packets().size();
  const std::vector<Line> failed{{Y, "Failed opening BIN File"}, {G, ""}};
  EXPECT_EQ(Program(0, dir.File("missing.bin")), -1);
  std::vector<Line> expected = failed;
  expected.push_back({MESSAGE_FAILURE_RESULT, "     -Flashing Failed-"});
  EXPECT_EQ(messages.lines, expected);
  messages.lines.clear();
  EXPECT_EQ(Read(0, dir.File("no/such/folder/out.bin")), -1);
  expected = failed;
  expected.push_back({MESSAGE_FAILURE_RESULT, "     -Read Failed-"});
  EXPECT_EQ(messages.lines, expected);
  EXPECT_EQ(transport->calls, 0);
  EXPECT_EQ(ecm->Packets().size(), packets);
  EXPECT_TRUE(loader->Commands().empty());
}

TEST_F(BankFixture, AFailedFileWriteStillReleasesTheEcm) {
  Start(false);
  const Bytes contents = MakeBin(9);
  struct Case {
    int failWrite;  // 1 calibration, 2 filler, 3 trailer, 0 none
    std::vector<Line> lines;
    int result;
  };
  const Case cases[] = {
      {1, {{G, "Bank Read Starting"}, {G, "Flash Bank Set"}, {Y, "File Write Failed"}, {G, ""},
           {MESSAGE_FAILURE_RESULT, "     -Read Failed-"}}, -1},
      {2, {{G, "Bank Read Starting"}, {G, "Flash Bank Set"}, {G, "Bank Read Successful"}, {G, ""},
           {MESSAGE_FAILURE_RESULT, "     -Read Failed-"}}, -1},
      {3, {{G, "Bank Read Starting"}, {G, "Flash Bank Set"}, {G, "Bank Read Successful"}, {G, ""},
           {MESSAGE_FAILURE_RESULT, "     -Read Failed-"}}, -1},
      {0, {{G, "Bank Read Starting"}, {G, "Flash Bank Set"}, {G, "Bank Read Successful"}, {G, ""},
           {MESSAGE_SUCCESS_RESULT, "    -Read Successful-"}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failWrite);
    Reset(6, contents);
    FailingWrites files;
    files.failWrite = c.failWrite;
    const std::string out = dir.File("w" + std::to_string(c.failWrite) + ".bin");
    const Bytes old = MakeBin(90);
    test::WriteFileBytes(out, old);
    EXPECT_EQ(Read(6, out, {}, files), c.result);
    EXPECT_EQ(messages.lines, c.lines);
    const auto codes = Codes(loader->Commands());
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), SL_STOP);
    // The BIN that was there stays whole until a read has wholly succeeded.
    EXPECT_EQ(test::ReadFileBytes(out), c.result == 0 ? ExpectedReadImage(contents) : old);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"flash.img", "tty", "w" + std::to_string(c.failWrite) + ".bin"}));
    std::filesystem::remove(out);
  }
}

// ---- fault sweeps ----

TEST_F(BankFixture, ProgramSweepRefusingEachLoaderCommandInTurn) {
  Start(true);
  const Bytes bin = MakeBin(21);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  const Bytes before = sim::SimFlashLoader::FactoryBank(4);
  bool completed = false;
  for (int n = 1; !completed && n <= 60; ++n) {
    SCOPED_TRACE("refuse command " + std::to_string(n));
    Reset(4, before, {sim::LoaderFaultKind::Refuse, n});
    const int result = Program(4, dir.File("in.bin"));
    CheckProgramOutcome(result, 4, bin, before);
    completed = result == 0;
    if (!completed) {
      EXPECT_LE(static_cast<int>(loader->Commands().size()), n);
    }
  }
  EXPECT_TRUE(completed);
}

TEST_F(BankFixture, ProgramSweepSpoilingEachAnswersChecksum) {
  Start(false);
  const Bytes bin = MakeBin(22);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  const Bytes before = sim::SimFlashLoader::FactoryBank(3);
  int n = 1;
  for (; n <= 60; ++n) {
    SCOPED_TRACE("bad checksum on answer " + std::to_string(n));
    Reset(3, before, {sim::LoaderFaultKind::Checksum, n});
    const int result = Program(3, dir.File("in.bin"));
    CheckProgramOutcome(result, 3, bin, before);
    if (result == 0) break;
    // The receiver names the fault just before the step's own line.
    ASSERT_GE(messages.lines.size(), 4u);
    EXPECT_EQ(messages.lines[messages.lines.size() - 4], (Line{Y, "RX Cksum Failure"}));
  }
  EXPECT_EQ(n, 38);  // 37 answers, each spoilt once, then a clean run
}

TEST_F(BankFixture, ProgramSweepRefusingEachTransmitInTurn) {
  Start(false);
  const Bytes bin = MakeBin(23);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  const Bytes before = sim::SimFlashLoader::FactoryBank(5);
  int failures = 0;
  int n = 1;
  for (; n <= 60; ++n) {
    SCOPED_TRACE("refuse transmit " + std::to_string(n));
    Reset(5, before);
    transport->refuseCall = n;
    const int result = Program(5, dir.File("in.bin"));
    CheckProgramOutcome(result, 5, bin, before);
    if (result != 0) ++failures;
    // One of the two B packets may be refused; anything else fails.
    if (n == 2 || n == 3) {
      EXPECT_EQ(result, 0);
    }
    if (transport->calls < n) break;  // nothing was refused: the clean run
  }
  // X, B, B, F, then 37 loader commands.
  EXPECT_EQ(n, 42);
  EXPECT_EQ(failures, 39);
}

TEST_F(BankFixture, ProgramSampledTimeoutsAtLineSpeed) {
  Start(true, true);
  const Bytes bin = MakeBin(24);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  const Bytes before = sim::SimFlashLoader::FactoryBank(2);
  struct Case {
    sim::LoaderFaultKind kind;
    int at;
    const char* receiverLine;
    const char* stepLine;
  };
  const Case cases[] = {
      {sim::LoaderFaultKind::Silence, 1, "RX Timeout 1", "TxSlInfo Failed"},
      {sim::LoaderFaultKind::Truncate, 2, "RX Timeout 2", "TxSlReqstVersion Failed"},
      {sim::LoaderFaultKind::Silence, 3, "RX Timeout 1", "TxSlEraseSector Failed"},
      {sim::LoaderFaultKind::Truncate, 20, "RX Timeout 2", "TxSlPgmPage Failed"},
      {sim::LoaderFaultKind::Truncate, 37, "RX Timeout 2", "TxSlRequestCal Failed"},
      {sim::LoaderFaultKind::Silence, 38, "RX Timeout 1", "TxSlStop Failed"},
      {sim::LoaderFaultKind::None, 1, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " at " + std::to_string(c.at));
    Reset(2, before, {c.kind, c.at});
    const int result = Program(2, dir.File("in.bin"));
    CheckProgramOutcome(result, 2, bin, before);
    if (c.receiverLine) {
      EXPECT_EQ(result, -1);
      ASSERT_GE(messages.lines.size(), 4u);
      EXPECT_EQ(messages.lines[messages.lines.size() - 4], (Line{Y, c.receiverLine}));
      EXPECT_EQ(messages.lines[messages.lines.size() - 3], (Line{Y, c.stepLine}));
    } else {
      EXPECT_EQ(result, 0);
    }
  }
}

TEST_F(BankFixture, ReadSweepFailingEachLoaderAnswerInTurn) {
  Start(false);
  const Bytes contents = MakeBin(31);
  const std::string out = dir.File("sweep.bin");
  for (sim::LoaderFaultKind kind : {sim::LoaderFaultKind::Refuse, sim::LoaderFaultKind::Checksum}) {
    for (int n = 1; n <= 4; ++n) {
      SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + " at " + std::to_string(n));
      Reset(1, contents, {kind, n});
      const Bytes old = MakeBin(static_cast<std::uint32_t>(200 + n));
      test::WriteFileBytes(out, old);
      const int result = Read(1, out);
      const Line& last = messages.lines.back();
      const Bytes file = test::ReadFileBytes(out);
      EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"flash.img", "sweep.bin", "tty"}));
      if (n == 4) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(last, (Line{MESSAGE_SUCCESS_RESULT, "    -Read Successful-"}));
        EXPECT_EQ(file, ExpectedReadImage(contents));
        continue;
      }
      EXPECT_EQ(result, -1);
      EXPECT_EQ(last, (Line{MESSAGE_FAILURE_RESULT, "     -Read Failed-"}));
      // A failed read leaves the BIN that was there as it was.
      EXPECT_EQ(file, old);
      const char* step[] = {"TxSlInfo Failed", "TxSlRequestCal Failed", "TxSlStop Failed  "};
      EXPECT_EQ(messages.lines[messages.lines.size() - 3], (Line{Y, step[n - 1]}));
    }
  }
}

TEST_F(BankFixture, ReadingEachBankBackGivesWhatWasProgrammed) {
  Start(true, true);
  for (int bank : {0, 7}) {
    SCOPED_TRACE(bank);
    const Bytes bin = MakeBin(static_cast<std::uint32_t>(40 + bank));
    test::WriteFileBytes(dir.File("in.bin"), bin);
    Reset(bank, sim::SimFlashLoader::FactoryBank(bank));
    ASSERT_EQ(Program(bank, dir.File("in.bin")), 0);
    ASSERT_EQ(Read(bank, dir.File("back.bin")), 0);
    EXPECT_EQ(Calibration(test::ReadFileBytes(dir.File("back.bin"))), Calibration(bin));
  }
}

// ---- BIN validation ----

TEST(ZrmBin, OnlyTheFourMagicCharactersDecide) {
  test::TempDir dir;
  struct Recorder : PlatformServices {
    void ShowMessage(const std::string& caption, const std::string& text, MessageIcon) override {
      shown.push_back(caption + ": " + text);
    }
    void Beep(unsigned) override {}
    std::vector<std::string> shown;
  };
  struct Case {
    const char* name;
    Bytes bytes;
    int result;
  };
  const Case cases[] = {
      {"six bytes", {0x12, 0x34, 'Z', 'R', 'M', 'F'}, 0x1234},
      {"whole image", MakeBin(1), 0x3107},
      {"four bytes", {0x12, 0x34, 'Z', 'R'}, -2},
      {"five bytes", {0x12, 0x34, 'Z', 'R', 'M'}, -2},
      {"lower case", {0x12, 0x34, 'z', 'R', 'M', 'F', 0}, -2},
      {"shifted", {0x12, 'Z', 'R', 'M', 'F', 0}, -2},
      {"empty", {}, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFileBytes(dir.File("f.bin"), c.bytes);
    Recorder services;
    EXPECT_EQ(IsZrmBin(dir.File("f.bin"), &services), c.result);
    EXPECT_EQ(services.shown, c.result == -2 ? std::vector<std::string>{"Incorrect BIN File: Not an ZRM Flash BIN!"}
                                             : std::vector<std::string>{});
  }
  Recorder services;
  EXPECT_EQ(IsZrmBin(dir.File("absent.bin"), &services), -1);
  EXPECT_TRUE(services.shown.empty());
}

TEST(ZrmBin, TrailerOfABankReadAndOfAnUpdate) {
  const auto read = BinTrailer(TrailerKind::BankRead);
  const auto update = BinTrailer(TrailerKind::FirmwareUpdate);
  for (int i = 0; i < 768; ++i) {
    SCOPED_TRACE(i);
    std::uint8_t expected = 0xFF;
    if (i >= 96 && i < 512) expected = i == 263 ? 0x16 : 0x00;
    if (i >= 528 && i < 544) expected = static_cast<std::uint8_t>("    ZRM Flash   "[i - 528]);
    if (i >= 624 && i < 679) expected = static_cast<std::uint8_t>(BIN_NOTICE[i - 624]);
    EXPECT_EQ(read[static_cast<std::size_t>(i)], expected);
    if (i == 103) expected = 0x13;
    if (i == 263) expected = 0x00;
    EXPECT_EQ(update[static_cast<std::size_t>(i)], expected);
  }
}

// ---- zrmtool ----

#ifdef ZRMTOOL_PATH

std::vector<std::string> OutputLines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    lines.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST_F(BankFixture, ZrmtoolBankCommandsPrintEveryLine) {
  Start(false);
  const std::string tool = ZRMTOOL_PATH;
  const std::string tty = dir.File("tty");
  // The test's own link holds the port: let it go first.
  link->RequestPort(PORT_CLOSE, nullptr);
  for (int i = 0; i < 100 && link->RequestPending(); ++i) SleepMs(10);

  const Bytes bin = MakeBin(51);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  std::string out;
  ASSERT_EQ(test::RunCommand(tool + " bank-program " + tty + " 6 " + dir.File("in.bin"), &out), 0) << out;
  EXPECT_EQ(OutputLines(out), (std::vector<std::string>{"Bank Flash Program Starting", "Flash Bank Set",
                                                         "Bank Verify Starting", "Bank Programmed Successfully", "",
                                                         "    -Flashing Successful-"}));
  EXPECT_EQ(Calibration(loader->Bank(6)), Calibration(bin));
  EXPECT_EQ(ecm->ActiveBank(), 6);

  out.clear();
  ASSERT_EQ(test::RunCommand(tool + " bank-read " + tty + " 6 " + dir.File("out.bin") + " --no-activate", &out), 0)
      << out;
  EXPECT_EQ(OutputLines(out),
            (std::vector<std::string>{"Bank Read Starting", "Bank Read Successful", "", "    -Read Successful-"}));
  EXPECT_EQ(test::ReadFileBytes(dir.File("out.bin")), ExpectedReadImage(loader->Bank(6)));

  loader->SetFault({sim::LoaderFaultKind::Refuse, 3});
  out.clear();
  EXPECT_EQ(test::RunCommand(tool + " bank-program " + tty + " 1 " + dir.File("in.bin") + " --no-verify --no-activate",
                             &out),
            1);
  EXPECT_EQ(OutputLines(out), (std::vector<std::string>{"Bank Flash Program Starting", "TxSlInfo Failed", "",
                                                         "     -Flashing Failed-"}));

  // Shorter than its calibration: refused before the port is touched.
  test::WriteFileBytes(dir.File("six.bin"), Bytes(bin.begin(), bin.begin() + 6));
  loader->ClearCommands();
  out.clear();
  EXPECT_EQ(test::RunCommand(tool + " bank-program " + tty + " 1 " + dir.File("six.bin") + " --no-verify 2>&1", &out), 1);
  EXPECT_NE(out.find("BIN File Too Short"), std::string::npos) << out;
  EXPECT_TRUE(loader->Commands().empty());

  // Not a BIN of this ECM: refused before the port is touched.
  test::WriteFileBytes(dir.File("other.bin"), Bytes(16384, 0x41));
  loader->ClearCommands();
  out.clear();
  EXPECT_EQ(test::RunCommand(tool + " bank-program " + tty + " 1 " + dir.File("other.bin") + " 2>&1", &out), 1);
  EXPECT_NE(out.find("Not an ZRM Flash BIN!"), std::string::npos) << out;
  EXPECT_TRUE(loader->Commands().empty());

  for (const char* bad : {" bank-read", " bank-read X 8 f.bin", " bank-read X 1 f.bin --no-verify",
                          " bank-program X 1", " bank-program X 1 f.bin extra", " bank-program X 1 f.bin --fast"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(test::RunCommand(tool + bad + " 2>/dev/null", nullptr), 2);
  }
}

TEST(ZrmtoolSim, KeepsItsBanksInTheFlashFileAndInjectsLoaderFaults) {
  test::TempDir dir;
  const std::string tool = ZRMTOOL_PATH;
  const std::string tty = dir.File("tty");
  const Bytes bin = MakeBin(61);
  test::WriteFileBytes(dir.File("in.bin"), bin);
  auto runWithSim = [&](const std::string& simArgs, const std::string& command, std::string* out) {
    const std::string script = tool + " sim --link " + tty + " --flash " + dir.File("flash.img") + simArgs +
                               " >/dev/null 2>&1 & SIM=$!; for i in $(seq 100); do [ -e " + tty +
                               " ] && break; sleep 0.05; done; " + command + "; RC=$?; kill $SIM; wait $SIM; exit $RC";
    return test::RunCommand("sh -c '" + script + "'", out);
  };
  std::string out;
  EXPECT_EQ(runWithSim(" --sst --loader-fault readback", tool + " bank-program " + tty + " 3 " + dir.File("in.bin"), &out),
            1);
  EXPECT_NE(out.find("Verify Failed"), std::string::npos) << out;

  out.clear();
  EXPECT_EQ(runWithSim(" --sst", tool + " bank-program " + tty + " 3 " + dir.File("in.bin"), &out), 0) << out;
  const Bytes flash = test::ReadFileBytes(dir.File("flash.img"));
  ASSERT_EQ(flash.size(), 131072u);
  EXPECT_EQ(Bytes(flash.begin() + 3 * 16384, flash.begin() + 3 * 16384 + 4096), Calibration(bin));
  // The other banks are as the file was made.
  EXPECT_EQ(Bytes(flash.begin() + 2 * 16384, flash.begin() + 3 * 16384), sim::SimFlashLoader::FactoryBank(2));

  EXPECT_EQ(test::RunCommand(tool + " sim --loader-fault sometimes 2>/dev/null", nullptr), 2);
  EXPECT_EQ(test::RunCommand(tool + " sim --loader-fault refuse:0 2>/dev/null", nullptr), 2);
}

#endif

}  // namespace
}  // namespace zrm
