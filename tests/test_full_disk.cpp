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
