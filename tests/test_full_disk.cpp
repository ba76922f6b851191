// A disk that fills while a file the user owns is being written: the write
// stops with its message and the file that was there before is left whole.
// The full disk is a file-size limit on this process (root is not stopped by
// permissions, but is by the limit): writes past it fail as on a full disk.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "config/config_file.h"
#include "platform/durable_file.h"
#include "shell/vistrel_config.h"
#include "test_support.h"

namespace zrm {
namespace {

// While it lives, no file of this process grows past `bytes`.
class DiskRoom {
 public:
  explicit DiskRoom(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed process
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~DiskRoom() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

struct CountingServices : PlatformServices {
  std::vector<std::string> texts;
  void ShowMessage(const std::string&, const std::string& text, MessageIcon) override { texts.push_back(text); }
  void Beep(unsigned) override {}
};

TEST(FullDisk, AConfigurationSaveThatRunsOutOfRoomLeavesThePreviousFileWhole) {
  test::TempDir dir;
  const std::string path = dir.File("ZRM_Vistrel.cfg");
  CountingServices services;
  VistrelSettings settings;
  settings.saveTrip = 1;
  settings.totalPw = 1234.5;
  settings.totalVss = 67890.25;
  ASSERT_EQ(SaveConfig(MakeVistrelConfig(path, settings, &services)), 0);
  const std::string before = test::ReadFileText(path);
  ASSERT_GT(before.size(), 2000u);

  settings.totalPw = 99.0;
  {
    DiskRoom room(1000);  // the new file is cut in the middle of its keys
    EXPECT_EQ(SaveConfig(MakeVistrelConfig(path, settings, &services)), -1);
  }
  ASSERT_EQ(services.texts.size(), 1u) << "the failure is reported once";
  EXPECT_NE(services.texts[0].find(path), std::string::npos) << services.texts[0];
  EXPECT_EQ(test::ReadFileText(path), before);

  VistrelSettings loaded;
  LoadConfig(MakeVistrelConfig(path, loaded, &services));
  EXPECT_EQ(loaded.totalPw, 1234.5);
  EXPECT_EQ(loaded.totalVss, 67890.25);
  // Nothing is left beside it.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(FullDisk, AReplacedFileKeepsItsPermissionsAndALinkKeepsPointingAtIt) {
  test::TempDir dir;
  const std::string real = dir.File("real.cfg");
  test::WriteFileText(real, "old");
  std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink(real, dir.File("link.cfg"));
  ASSERT_EQ(WriteFileReplacing(dir.File("link.cfg"), "new text", 8), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.cfg")));
  EXPECT_EQ(test::ReadFileText(real), "new text");
  EXPECT_EQ(std::filesystem::status(real).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
}  // namespace zrm

namespace zrm {
namespace {

const std::string kTool = ZRMTOOL_PATH;

// zrmtool with the disk "full" after `blocks` KiB per file (the shell's file
// size limit; the signal it raises is ignored so the write fails instead).
int ToolOnFullDisk(int blocks, const std::string& args, std::string* out) {
  return test::RunCommand("bash -c 'trap \"\" XFSZ; ulimit -f " + std::to_string(blocks) + "; exec " + kTool + " " +
                              args + "' 2>&1",
                          out);
}

std::vector<std::uint8_t> SmallLog(int frames) {
  std::vector<std::uint8_t> log;
  test::AppendText(log, "TIME: 12/10/2026 - 06:00:00");
  for (int i = 0; i < frames; ++i) {
    std::vector<std::uint8_t> payload(273, 0);
    payload[0] = static_cast<std::uint8_t>(i);  // something that changes
    payload[20] = static_cast<std::uint8_t>(i * 3);
    std::vector<std::uint8_t> frame = test::WireFrame(payload);
    log.insert(log.end(), frame.begin(), frame.end());
  }
  return log;
}

std::vector<std::uint8_t> SourceBin() {
  std::vector<std::uint8_t> bin(16384);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  bin[0] = 0x01;
  bin[1] = 0x02;
  bin[2] = 'Z';
  bin[3] = 'R';
  bin[4] = 'M';
  bin[5] = 'F';
  bin[9] = 2;
  bin[10] = 1;
  return bin;
}

TEST(FullDisk, ExportsBinWritesAndRecordingsThatRunOutOfRoomLeaveEveryEarlierFileWhole) {
  test::TempDir dir;
  const std::string log = dir.File("drive.dat");
  test::WriteFileBytes(log, SmallLog(300));
  const std::string earlier = "the export of an earlier drive\r\n";
  struct Case {
    const char* what;
    std::string target;  // a file of the user's that exists before
    std::string args;
  };
  test::WriteFileBytes(dir.File("src.bin"), SourceBin());
  const Case cases[] = {
      {"csv export", dir.File("drive.csv"), "export " + log + " --out " + dir.File("drive.csv")},
      {"text dump", dir.File("drive.ZRM"), "export " + log + " --text --out " + dir.File("drive.ZRM")},
      {"VE learn BIN", dir.File("dest.bin"), "velearn " + log + " " + dir.File("src.bin") + " " + dir.File("dest.bin")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The user's earlier file: an export, or a BIN of another calibration.
    std::vector<std::uint8_t> before(earlier.begin(), earlier.end());
    if (c.target.ends_with(".bin")) {
      before = SourceBin();
      before[1] = 0x77;
    }
    test::WriteFileBytes(c.target, before);
    std::string out;
    EXPECT_EQ(ToolOnFullDisk(2, c.args, &out), 1) << out;
    EXPECT_EQ(test::ReadFileBytes(c.target), before);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 3) << "nothing is left beside the file: " << out;  // log, src.bin, the target
    std::filesystem::remove(c.target);
  }
  // Recording onto a log that already holds a drive: not even the head fits.
  test::WriteFileText(dir.File("old.dat"), earlier);
  std::string out;
  EXPECT_EQ(ToolOnFullDisk(0, "record /dev/ttyZRMabsent " + dir.File("old.dat") + " --seconds 1", &out), 1) << out;
  EXPECT_EQ(test::ReadFileText(dir.File("old.dat")), earlier);
}

}  // namespace
}  // namespace zrm
