// Where the configuration file lies: the Windows command-line rule and the
// rule of our platforms.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "config/config_location.h"
#include "platform/paths.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::TempDir;

TEST(ConfigLocationTest, CommandLineRuleKeepsTheFolderOfTheQuotedPath) {
  const std::string a1005(1005, 'a');
  struct Case {
    std::string commandLine;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"\"C:\\Tools\\vistrel.exe\" ", "C:\\Tools\\ZRM_Vistrel.cfg"},
      {"\"C:\\vistrel.exe\" ", "C:\\ZRM_Vistrel.cfg"},
      {"\"\\\\server\\share\\v.exe\" ", "\\\\server\\share\\ZRM_Vistrel.cfg"},
      // The closing quote and blank are cut blindly: with no blank behind the
      // quote the name loses a character, which the folder does not mind.
      {"\"C:\\Tools\\vistrel.exe\"", "C:\\Tools\\ZRM_Vistrel.cfg"},
      {"\"vistrel.exe\" ", std::nullopt},
      {"\"", std::nullopt},
      {"", std::nullopt},
      // Not the usual form: no configuration rather than a path cut out of the
      // executable's own name.
      {"C:\\Tools\\vistrel.exe", std::nullopt},
      // Only the first 1012 characters count: of those the last two are cut,
      // so a backslash at index 1009 is kept and one at index 1010 is not.
      {"\"C:\\" + a1005 + "\\b\\c.exe\" ", "C:\\" + a1005 + "\\ZRM_Vistrel.cfg"},
      {"\"C:\\" + a1005 + "a\\b\\c.exe\" ", "C:\\ZRM_Vistrel.cfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine.substr(0, 40));
    EXPECT_EQ(ConfigPathFromCommandLine(c.commandLine, "ZRM_Vistrel.cfg"), c.expected);
  }
}

TEST(ConfigLocationTest, PortableRulePrefersTheProgramFolder) {
  struct Case {
    std::string executableFolder;
    bool writable;
    std::string userFolder;
    std::string expected;
  };
  const Case cases[] = {
      {"/opt/zrm/bin/", true, "/home/u/.config/zrm/", "/opt/zrm/bin/ZRM_Utility.cfg"},
      {"/opt/zrm/bin/", false, "/home/u/.config/zrm/", "/home/u/.config/zrm/ZRM_Utility.cfg"},
      {"", true, "/home/u/.config/zrm/", "/home/u/.config/zrm/ZRM_Utility.cfg"},
      {"/opt/zrm/bin/", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseConfigPath(c.executableFolder, c.writable, c.userFolder, "ZRM_Utility.cfg"), c.expected);
  }
}

TEST(ConfigLocationTest, ExecutableFolderHoldsThisTest) {
  std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
#ifdef _WIN32
  EXPECT_EQ(folder.substr(1, 2), ":\\");
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(std::filesystem::exists(folder + "test_config_location.exe"));
#else
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "test_config_location"));
#endif
}

TEST(ConfigLocationTest, WritableFolderIsProbedWithoutLeavingFiles) {
  TempDir dir;
  EXPECT_TRUE(FolderIsWritable(dir.path()));
  EXPECT_TRUE(FolderIsWritable(dir.path() + "/"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_FALSE(FolderIsWritable(dir.File("missing")));
  EXPECT_FALSE(FolderIsWritable(""));
#ifndef _WIN32
  // Refuses every create, even where access() says yes (as it does for root).
  EXPECT_FALSE(FolderIsWritable("/proc"));
#endif
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    Set(name, value);
  }
  ~ScopedEnv() { Set(name_, old_ ? old_->c_str() : nullptr); }

 private:
  static void Set(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");  // an empty value removes it
#else
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
#endif
  }

  const char* name_;
  std::optional<std::string> old_;
};

#ifdef _WIN32
TEST(ConfigLocationTest, UserConfigFolderIsZrmInAppData) {
  TempDir appData;
  {
    ScopedEnv env("APPDATA", appData.path().c_str());
    const std::string expected = appData.path() + "\\ZRM\\";
    EXPECT_EQ(UserConfigFolder(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected));
    EXPECT_EQ(UserConfigFolder(), expected);  // an existing folder is kept
  }
  ScopedEnv unset("APPDATA", nullptr);
  EXPECT_EQ(UserConfigFolder(), "");
}
#else
TEST(ConfigLocationTest, UserConfigFolderFollowsXdgThenHome) {
  TempDir xdg;
  TempDir home;
  struct Case {
    const char* xdg;
    std::string expected;
  };
  const std::string xdgPath = xdg.path();
  const Case cases[] = {
      {xdgPath.c_str(), xdgPath + "/zrm/"},
      {nullptr, home.path() + "/.config/zrm/"},
      {"", home.path() + "/.config/zrm/"},
      {"relative/config", home.path() + "/.config/zrm/"},  // relative values are ignored
  };
  ScopedEnv homeEnv("HOME", home.path().c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xdg == nullptr ? "unset" : c.xdg);
    ScopedEnv xdgEnv("XDG_CONFIG_HOME", c.xdg);
    EXPECT_EQ(UserConfigFolder(), c.expected);
    EXPECT_TRUE(std::filesystem::is_directory(c.expected));
  }
}
#endif

TEST(ConfigLocationTest, ConfigLiesBesideAWritableProgramButIsNotIt) {
  std::string path = LocateConfigFile("ZRM_Vistrel.cfg");
  ASSERT_TRUE(FolderIsWritable(ExecutableFolder()));  // the build folder
  EXPECT_EQ(path, ExecutableFolder() + "ZRM_Vistrel.cfg");
#ifndef _WIN32
  EXPECT_NE(std::filesystem::path(path), std::filesystem::read_symlink("/proc/self/exe"));
#endif
}

TEST(ConfigLocationTest, AnInstalledProgramIsKnownByItsMarkerBesideItsBinFolder) {
  TempDir prefix;
  std::filesystem::create_directories(prefix.File("bin"));
  const std::string bin = prefix.File("bin/");
  EXPECT_FALSE(IsInstalledProgram(bin));  // a build folder, or a copy somewhere
  std::filesystem::create_directories(prefix.File("share/zrm"));
  EXPECT_FALSE(IsInstalledProgram(bin));  // the folder alone is no marker
  test::WriteFileText(prefix.File("share/zrm/installed"), "installed\n");
  EXPECT_TRUE(IsInstalledProgram(bin));
  EXPECT_FALSE(IsInstalledProgram(""));
}

}  // namespace
}  // namespace zrm
