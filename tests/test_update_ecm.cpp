// The firmware update of every bank against the simulated loader: over a
// real pseudo-terminal and the update utility's link (lines, files, banks,
// packets), and through an in-memory line for the fault sweep, which fails
// each loader command in turn and checks that every run is wholly done or
// reported failed and that a second run completes with the calibrations of
// the first.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "flash/flash_ticks.h"
#include "flash/link_transport.h"
#include "flash/zrm_bin.h"
#include "flashupdate/update_ecm.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "scripted_services.h"
#include "sim/flash_loader.h"
#include "sim/sim_ecm.h"
#include "sim/synthetic_firmware.h"
#include "sim/versioned_banks.h"
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
constexpr Colour GREEN = MESSAGE_SUCCESS_RESULT;
constexpr Colour RED = MESSAGE_FAILURE_RESULT;

Bytes Calibration(const Bytes& image) { return Bytes(image.begin(), image.begin() + 4096); }

// The update utility's 16384-byte file around a calibration.
Bytes UpdateFileImage(const Bytes& calibration) {
  Bytes image(calibration.begin(), calibration.begin() + 4096);
  image.resize(4096 + 11520, 0xFF);
  Bytes trailer(768, 0xFF);
  for (int i = 96; i < 512; ++i) trailer[static_cast<std::size_t>(i)] = 0;
  trailer[103] = 0x13;
  std::memcpy(&trailer[528], "    ZRM Flash   ", 16);
  std::memcpy(&trailer[624], BIN_NOTICE, 55);
  image.insert(image.end(), trailer.begin(), trailer.end());
  return image;
}

Bytes Converted(Bytes calibration) {
  ConvertCalibrationBytes(calibration.data());
  return calibration;
}

// A bank after its update: the converted calibration and the new firmware.
Bytes UpdatedBank(const Bytes& oldCalibration, const Bytes& firmware) {
  Bytes bank = Converted(Calibration(oldCalibration));
  bank.insert(bank.end(), firmware.begin(), firmware.end());
  return bank;
}

bool ReadOnly(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
}

// The banks the update meets: one of every version, an alternative 2.4 key,
// an unknown key and one already updated.
struct BankSpec {
  const char* version;
  std::uint16_t key;
  const char* line;  // nullptr: no version line
};
constexpr BankSpec BANKS[8] = {
    {"2.0", 0x1470, "Bank has V 2.0, updating"}, {"2.1", 0x7670, "Bank has V 2.1, updating"},
    {"2.2", 0x7676, "Bank has V 2.2, updating"}, {"2.4", 0x76F3, "Bank has V 2.4, updating"},
    {"2.5", 0x76F0, "Bank has V 2.5, updating"}, {"2.6", 0x1234, nullptr},
    {"2.7", 0x767C, "Bank Already Updated"},     {"2.6", 0x7671, "Bank has V 2.6, updating"},
};

Bytes SpecBank(int bank) {
  return sim::VersionedBank(bank, sim::FindBankVersion(BANKS[bank].version)->layout, BANKS[bank].key);
}

// The loader commands of one bank's programming, as the sequence gives them.
void AppendProgramming(std::vector<sim::LoaderCommand>& out, int bank, bool skipped, bool sst) {
  const auto b = static_cast<std::uint8_t>(bank);
  out.push_back({SL_INFO, b});
  out.push_back({SL_REQUEST_PAGE, 103});
  if (skipped) return;
  out.push_back({SL_REQUEST_VERSION, 0x20});
  if (sst) {
    for (int s = 0; s < 4; ++s) out.push_back({SL_ERASE_SECTOR, static_cast<std::uint8_t>(bank * 4 + s)});
  }
  for (int page = 0; page < 32; ++page) out.push_back({SL_PROGRAM_PAGE, static_cast<std::uint8_t>(page)});
  out.push_back({SL_REQUEST_CAL, b});
  for (int page = 32; page < 128; ++page) {
    if (page != 103) out.push_back({SL_PROGRAM_PAGE, static_cast<std::uint8_t>(page)});
  }
  out.push_back({SL_PROGRAM_PAGE, 103});
  out.push_back({SL_REQUEST_BIN, b});
}

// ---- over the pseudo-terminal ----

struct UpdateFixture : ::testing::Test {
  test::TempDir dir;
  std::shared_ptr<sim::SimFlashLoader> loader;
  std::unique_ptr<sim::SimEcm> ecm;
  std::unique_ptr<SerialLink> link;
  FlashTickTimer ticks;
  std::unique_ptr<LinkFlashTransport> transport;
  RecordedMessages messages;
  std::unique_ptr<FlashProtocol> protocol;
  test::ScriptedServices services;
  UpdateRunState run;
  FirmwareImage image;
  std::string folder;

  void Start(bool sst) {
    folder = dir.File("bins/");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    image.bytes = sim::SyntheticFirmwareImage();
    sim::FlashLoaderOptions loaderOptions;
    loaderOptions.sst = sst;
    loader = std::make_shared<sim::SimFlashLoader>(loaderOptions);
    ASSERT_EQ(loader->Open(), 0);
    for (int b = 0; b < 8; ++b) ASSERT_EQ(loader->SetBank(b, SpecBank(b)), 0);
    sim::SimOptions options;
    options.linkPath = dir.File("tty");
    ecm = std::make_unique<sim::SimEcm>(options);
    ecm->SetLoader(loader);
    ASSERT_EQ(ecm->Start(), 0);
    link = std::make_unique<SerialLink>(LinkSettings::FlashUpdate());
    link->Start();
    link->RequestPort(PORT_OPEN, options.linkPath.c_str());
    ASSERT_TRUE(test::WaitFor([&] { return link->PortRunning(); }, 5000));
    ticks.Start();
    transport = std::make_unique<LinkFlashTransport>(*link, ticks.Counter());
    protocol = std::make_unique<FlashProtocol>(*transport, FlashProtocolSettings::FlashUpdate(), &messages);
  }

  void TearDown() override {
    ticks.Stop();
    if (link) {
      link->RequestPort(PORT_CLOSE, nullptr);
      test::WaitFor([&] { return !link->RequestPending(); }, 1000);
      link->Stop();
    }
    if (ecm) ecm->Stop();
  }

  int Update() {
    UpdateEnvironment environment;
    environment.folder = folder;
    environment.image = &image;
    environment.convert.services = &services;
    environment.convert.run = &run;
    environment.convert.pause = SleepMs;
    return RunUpdate(*protocol, messages, environment);
  }

  // The message lines, for a failure's report.
  std::string Dump() const {
    std::string text;
    for (const Line& line : messages.lines) text += "\n  " + line.text;
    return text;
  }
};

TEST_F(UpdateFixture, UpdatesEveryBankKeepingTheOldCalibrations) {
  Start(false);
  // Bank 0's old file is left from an earlier attempt: it wins over the bank.
  Bytes earlier = SpecBank(0);
  earlier[100] ^= 0xFF;
  test::WriteFileBytes(OldBankFile(folder, 0), UpdateFileImage(earlier));
  std::vector<Bytes> before;
  for (int b = 0; b < 8; ++b) before.push_back(loader->Bank(b));

  ASSERT_EQ(Update(), 0) << Dump();

  std::vector<Line> expected = {{G, "Updating your ZRM Flash ECM"}, {G, "Reading Calibrations"}};
  for (int b = 0; b < 8; ++b) {
    expected.push_back({G, "Bank #: " + std::to_string(b) + " "});
    expected.push_back({G, b == 0 ? "    -Calibration Exists-" : "Bank Read Successful"});
  }
  expected.push_back({G, "Creating New Calibrations"});
  for (int b = 0; b < 8; ++b) expected.push_back({G, "Bank #: " + std::to_string(b) + " "});
  expected.push_back({G, "Programming Banks..."});
  for (int b = 0; b < 8; ++b) {
    expected.push_back({G, "Bank #: " + std::to_string(b) + " "});
    if (BANKS[b].line) expected.push_back({G, BANKS[b].line});
    if (b != 6) expected.push_back({GREEN, "Bank Updated/Verified Successfully"});
  }
  expected.push_back({G, "ZRM Flash Update Completed..."});
  expected.push_back({G, ""});
  expected.push_back({GREEN, "    -Update Successful-"});
  EXPECT_EQ(messages.lines, expected);

  // Runtime packets: stream off and loader on, nothing else.
  const auto packets = ecm->Packets();
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0][1], 'X');
  EXPECT_EQ(packets[0][2], 0);
  EXPECT_EQ(packets[1][1], 'F');

  std::vector<sim::LoaderCommand> commands;
  for (int b = 1; b < 8; ++b) {
    commands.push_back({SL_INFO, static_cast<std::uint8_t>(b)});
    commands.push_back({SL_REQUEST_CAL, static_cast<std::uint8_t>(b)});
  }
  for (int b = 0; b < 8; ++b) AppendProgramming(commands, b, b == 6, false);
  commands.push_back({SL_STOP, 0x20});
  EXPECT_EQ(loader->Commands(), commands);

  for (int b = 0; b < 8; ++b) {
    const Bytes oldCalibration = b == 0 ? earlier : before[static_cast<std::size_t>(b)];
    EXPECT_EQ(test::ReadFileBytes(OldBankFile(folder, b)), UpdateFileImage(oldCalibration)) << b;
    if (b != 0) {
      EXPECT_TRUE(ReadOnly(OldBankFile(folder, b))) << b;
    }
    EXPECT_EQ(test::ReadFileBytes(NewBankFile(folder, b)), UpdateFileImage(Converted(Calibration(oldCalibration))))
        << b;
    // The updated bank 6 was left as it was.
    const Bytes want = b == 6 ? before[6] : UpdatedBank(oldCalibration, image.bytes);
    EXPECT_EQ(loader->Bank(b), want) << b;
  }
  // One 2.0 calibration among them: its message once.
  EXPECT_EQ(services.messages.size(), 1u);
}

TEST_F(UpdateFixture, SstChipsEraseTheBanksFourSectorsBeforeProgramming) {
  Start(true);
  ASSERT_EQ(Update(), 0) << Dump();
  std::vector<sim::LoaderCommand> commands;
  for (int b = 0; b < 8; ++b) {
    commands.push_back({SL_INFO, static_cast<std::uint8_t>(b)});
    commands.push_back({SL_REQUEST_CAL, static_cast<std::uint8_t>(b)});
  }
  for (int b = 0; b < 8; ++b) AppendProgramming(commands, b, b == 6, true);
  commands.push_back({SL_STOP, 0x20});
  EXPECT_EQ(loader->Commands(), commands);
  for (int b = 0; b < 8; ++b) {
    if (b == 6) continue;
    EXPECT_EQ(loader->Bank(b), UpdatedBank(SpecBank(b), image.bytes)) << b;
  }
  EXPECT_EQ(messages.lines.back(), (Line{GREEN, "    -Update Successful-"}));
}

TEST_F(UpdateFixture, ABadImageFailsBeforeAnythingIsSent) {
  Start(false);
  image.bytes.resize(12000);
  EXPECT_EQ(Update(), -1);
  EXPECT_TRUE(loader->Commands().empty());
  EXPECT_TRUE(ecm->Packets().empty());
  EXPECT_EQ(messages.lines.back(), (Line{RED, "     -Update Failed-"}));
}

#ifdef ZRMTOOL_PATH
// zrmtool firmware-update end to end: the lines it prints, its exit status,
// and a refused image that sends nothing.
TEST(ZrmtoolFirmwareUpdate, UpdatesTheSimulatedEcmAndRefusesABadImage) {
  test::TempDir dir;
  auto loader = std::make_shared<sim::SimFlashLoader>(sim::FlashLoaderOptions{});
  ASSERT_EQ(loader->Open(), 0);
  for (int b = 0; b < 8; ++b) ASSERT_EQ(loader->SetBank(b, SpecBank(b)), 0);
  sim::SimOptions options;
  options.linkPath = dir.File("tty");
  sim::SimEcm ecm(options);
  ecm.SetLoader(loader);
  ASSERT_EQ(ecm.Start(), 0);
  test::WriteFileBytes(dir.File("short.img"), Bytes(12287, 0));
  test::WriteFileBytes(dir.File("fw.img"), sim::SyntheticFirmwareImage());
  const std::string tool = std::string(ZRMTOOL_PATH) + " firmware-update " + options.linkPath + " --dir " + dir.path();

  std::string out;
  EXPECT_EQ(test::RunCommand(tool + " --image " + dir.File("short.img") + " 2>/dev/null", &out), 1);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(loader->Commands().empty());

  out.clear();
  EXPECT_EQ(test::RunCommand(tool + " --image " + dir.File("fw.img") + " 2>/dev/null", &out), 0);
  const std::string opening = "Updating your ZRM Flash ECM\nReading Calibrations\nBank #: 0 \nBank Read Successful\n";
  EXPECT_EQ(out.substr(0, opening.size()), opening);
  const std::string ending = "ZRM Flash Update Completed...\n\n    -Update Successful-\n";
  ASSERT_GE(out.size(), ending.size());
  EXPECT_EQ(out.substr(out.size() - ending.size()), ending);
  for (int b = 0; b < 8; ++b) {
    const Bytes want = b == 6 ? SpecBank(6) : UpdatedBank(SpecBank(b), sim::SyntheticFirmwareImage());
    EXPECT_EQ(loader->Bank(b), want) << b;
  }
  ecm.Stop();
}
#endif

// ---- the fault sweep, through an in-memory line ----

// The ECM on an in-memory line: runtime packets are taken as the ECM takes
// them (F enters the loader), loader packets go to the simulated loader, its
// answers to the ring. The clock moves only in pauses, so a silent loader
// costs no real time.
class LoopbackLine : public FlashTransport {
 public:
  explicit LoopbackLine(sim::SimFlashLoader& loader) : loader_(loader) {}

  int QueueTransmit(const std::uint8_t* bytes, int length) override {
    if (length > 256) return -1;
    OnTransmit(bytes, length);
    if (inLoader_) {
      std::vector<std::uint8_t> reply;
      if (!loader_.Receive(bytes, static_cast<std::size_t>(length), &reply)) inLoader_ = false;
      ring_.insert(ring_.end(), reply.begin(), reply.end());
    } else if (length == 5 && bytes[0] == 0x52) {
      runtime.push_back(bytes[1]);
      if (bytes[1] == 'F') {
        loader_.Enter();
        inLoader_ = true;
      }
    }
    return 0;
  }
  int RingCount() override { return static_cast<int>(ring_.size()); }
  int RingGetByte() override {
    if (ring_.empty()) return -1;
    const int byte = ring_.front();
    ring_.pop_front();
    return byte;
  }
  int RingPeekByte() override { return ring_.empty() ? -1 : ring_.front(); }
  void RequestRingFlush() override { ring_.clear(); }
  std::uint32_t FlashTicks() override { return static_cast<std::uint32_t>(nowMs_ / 100); }
  void Pause(int milliseconds) override { nowMs_ += milliseconds; }

  std::function<void(const std::uint8_t*, int)> OnTransmit = [](const std::uint8_t*, int) {};
  std::vector<std::uint8_t> runtime;

 private:
  sim::SimFlashLoader& loader_;
  std::deque<std::uint8_t> ring_;
  bool inLoader_ = false;
  std::int64_t nowMs_ = 0;
};

// The sweep writes sixteen files, each put on the disk, per run and runs
// some thousands of times: in memory where the machine offers a memory file
// system, as the sweep is about the order of steps, not the disk.
class SweepDir {
 public:
  SweepDir() {
    char shm[] = "/dev/shm/zrm-sweep-XXXXXX";
    if (::mkdtemp(shm) != nullptr) {
      path_ = shm;
    } else {
      fallback_ = std::make_unique<test::TempDir>();
      path_ = fallback_->path();
    }
  }
  ~SweepDir() {
    if (!fallback_) std::filesystem::remove_all(path_);
  }
  std::string Folder() const { return path_ + "/"; }

 private:
  std::string path_;
  std::unique_ptr<test::TempDir> fallback_;
};

struct SweepRun {
  int result;
  std::vector<Line> lines;
  std::size_t commands;   // loader commands taken
  std::size_t readbacks;  // of which read-backs (calibration, page, whole bank)
};

struct SweepFixture : ::testing::Test {
  FirmwareImage image;
  SweepFixture() { image.bytes = sim::SyntheticFirmwareImage(); }

  static std::shared_ptr<sim::SimFlashLoader> MakeLoader(bool sst) {
    sim::FlashLoaderOptions options;
    options.sst = sst;
    auto loader = std::make_shared<sim::SimFlashLoader>(options);
    for (int b = 0; b < 8; ++b) loader->SetBank(b, SpecBank(b));
    return loader;
  }

  SweepRun Run(sim::SimFlashLoader& loader, const std::string& folder, bool checkOldFilesFirst = false) {
    LoopbackLine line(loader);
    RecordedMessages messages;
    if (checkOldFilesFirst) {
      // Every old file is complete and read-only before the first erase or
      // page write reaches the ECM.
      line.OnTransmit = [&](const std::uint8_t* bytes, int length) {
        if (length == 133 && (bytes[1] == SL_PROGRAM_PAGE || bytes[1] == SL_ERASE_SECTOR)) {
          for (int b = 0; b < 8; ++b) {
            const std::string path = OldBankFile(folder, b);
            ASSERT_EQ(test::ReadFileBytes(path).size(), 16384u) << b;
            ASSERT_TRUE(ReadOnly(path)) << b;
          }
        }
      };
    }
    FlashProtocol protocol(line, FlashProtocolSettings::FlashUpdate(), &messages);
    test::ScriptedServices services;
    UpdateRunState run;
    UpdateEnvironment environment;
    environment.folder = folder;
    environment.image = &image;
    environment.convert.services = &services;
    environment.convert.run = &run;
    const std::size_t before = loader.Commands().size();
    const int result = RunUpdate(protocol, messages, environment);
    const auto commands = loader.Commands();
    std::size_t readbacks = 0;
    for (std::size_t i = before; i < commands.size(); ++i) {
      const std::uint8_t code = commands[i].code;
      if (code == SL_REQUEST_CAL || code == SL_REQUEST_PAGE || code == SL_REQUEST_BIN) ++readbacks;
    }
    return {result, messages.lines, commands.size() - before, readbacks};
  }

  // Every bank holds the update of its original calibration (bank 6 was
  // updated before and keeps what it had), and the files say the same.
  void ExpectAllUpdated(sim::SimFlashLoader& loader, const std::string& folder, const std::string& what) {
    for (int b = 0; b < 8; ++b) {
      const Bytes original = SpecBank(b);
      const Bytes want = b == 6 ? original : UpdatedBank(original, image.bytes);
      ASSERT_EQ(loader.Bank(b), want) << what << " bank " << b;
      ASSERT_EQ(test::ReadFileBytes(OldBankFile(folder, b)), UpdateFileImage(original)) << what << " bank " << b;
    }
  }

  // Fails loader command (or read-back answer) N = first, first + 1, ...
  // until the update completes; returns how many runs failed.
  int Sweep(sim::LoaderFaultKind kind, bool sst, int first) {
    int failures = 0;
    for (int n = first;; ++n) {
      const std::string what = "fault " + std::to_string(static_cast<int>(kind)) + " at " + std::to_string(n);
      SweepDir dir;
      const std::string folder = dir.Folder();
      auto loader = MakeLoader(sst);
      loader->SetFault({kind, n});
      const SweepRun first_ = Run(*loader, folder);
      EXPECT_FALSE(first_.lines.empty());
      if (first_.result == 0) {
        EXPECT_EQ(first_.lines.back(), (Line{GREEN, "    -Update Successful-"})) << what;
        ExpectAllUpdated(*loader, folder, what);
        // A fault that hit nothing: the sweep has passed the last command.
        const std::size_t count = kind == sim::LoaderFaultKind::Readback ? first_.readbacks : first_.commands;
        const bool hit = count >= static_cast<std::size_t>(n);
        if (!hit) break;
        continue;
      }
      ++failures;
      EXPECT_EQ(first_.result, -1);
      EXPECT_EQ(first_.lines.back(), (Line{RED, "     -Update Failed-"})) << what;
      // Old files that were written hold the banks as they were.
      for (int b = 0; b < 8; ++b) {
        const Bytes saved = test::ReadFileBytes(OldBankFile(folder, b));
        if (!saved.empty()) {
          EXPECT_EQ(saved, UpdateFileImage(SpecBank(b))) << what << " bank " << b;
        }
      }
      loader->SetFault({});
      const SweepRun second = Run(*loader, folder);
      EXPECT_EQ(second.result, 0) << what << ": " << second.lines.back();
      ExpectAllUpdated(*loader, folder, what + ", second run");
      if (::testing::Test::HasFailure()) break;  // one broken step is enough to read
      if (n > 2000) break;                        // never reached: a run has about 950 commands
    }
    return failures;
  }
};

TEST_F(SweepFixture, OldFilesAreCompleteBeforeAnyBankIsTouched) {
  test::TempDir dir;
  auto loader = MakeLoader(true);
  const SweepRun run = Run(*loader, dir.path() + "/", true);
  EXPECT_EQ(run.result, 0);
}

struct SweepCase {
  const char* name;
  sim::LoaderFaultKind kind;
  bool sst;
  int first;
};

class FaultSweep : public SweepFixture, public ::testing::WithParamInterface<SweepCase> {};

TEST_P(FaultSweep, EveryStepFailsCleanlyAndASecondRunCompletes) {
  const SweepCase& c = GetParam();
  EXPECT_GT(Sweep(c.kind, c.sst, c.first), 0);
}

// A read-back fault spoils a byte under a correct answer sum; while the old
// calibrations are read (the first eight read-backs) nothing can tell, so the
// read-back sweep starts with the update's own verifications.
INSTANTIATE_TEST_SUITE_P(
    Steps, FaultSweep,
    ::testing::Values(SweepCase{"refuse", sim::LoaderFaultKind::Refuse, false, 1},
                      SweepCase{"refuse_sst", sim::LoaderFaultKind::Refuse, true, 1},
                      SweepCase{"silence", sim::LoaderFaultKind::Silence, false, 1},
                      SweepCase{"checksum", sim::LoaderFaultKind::Checksum, false, 1},
                      SweepCase{"truncate", sim::LoaderFaultKind::Truncate, false, 1},
                      SweepCase{"readback", sim::LoaderFaultKind::Readback, false, 9}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zrm
