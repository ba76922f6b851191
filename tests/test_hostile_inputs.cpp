// Inputs a user can get wrong: a port name that is a file, a log that is a
// folder, a FIFO or an endless device, configuration values that are no
// numbers, counts too large for the arithmetic. Each gets a clear refusal in
// bounded time, and nothing the user owns is touched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "config/config_file.h"
#include "link/input_file.h"
#include "platform/serial_port.h"
#include "shell/vistrel_config.h"
#include "test_support.h"

namespace zrm {
namespace {

const std::string kTool = ZRMTOOL_PATH;

// Runs zrmtool with a time limit; the exit status, or 124 when it hung.
int Tool(const std::string& args, std::string* out = nullptr, int seconds = 20) {
  std::string ignored;
  return test::RunCommand("timeout -s KILL " + std::to_string(seconds) + " " + kTool + " " + args + " 2>&1",
                          out ? out : &ignored);
}

TEST(HostilePorts, BareNamesStayInDevAndFilesAreNeverOpenedAsPorts) {
  EXPECT_EQ(SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath("serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
  EXPECT_EQ(SerialDevicePath("COM3"), "/dev/ttyS2");
  for (const char* escaping : {"../home/notes.txt", "..", "serial/../../etc/passwd", "a/.."})
    EXPECT_EQ(SerialDevicePath(escaping), "") << escaping;

  test::TempDir dir;
  const std::string notes = dir.File("notes.txt");
  const std::string text = "my tuning notes\n";
  test::WriteFileText(notes, text);
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  EXPECT_TRUE(IsNonDevicePath(notes));
  EXPECT_TRUE(IsNonDevicePath(dir.path()));
  EXPECT_TRUE(IsNonDevicePath(dir.File("fifo")));
  EXPECT_FALSE(IsNonDevicePath(dir.File("absent")));  // may yet appear
  EXPECT_FALSE(IsNonDevicePath("/dev/null"));

  // Regular file, folder, FIFO, and a character device that is no terminal.
  for (const std::string& path : {notes, dir.path(), dir.File("fifo"), std::string("/dev/null")}) {
    auto port = CreateSerialPort();
    EXPECT_EQ(port->Open(path, SerialOptions{}), -1) << path;
    EXPECT_FALSE(port->IsOpen()) << path;
  }
  EXPECT_EQ(test::ReadFileText(notes), text);
}

TEST(HostilePorts, MonitorAndRecordRefuseAFileBeforeTouchingAnything) {
  test::TempDir dir;
  const std::string notes = dir.File("notes.txt");
  test::WriteFileText(notes, "keep me\n");
  std::string out;
  EXPECT_EQ(Tool("monitor " + notes + " --seconds 1", &out), 1);
  EXPECT_NE(out.find("is not a serial port"), std::string::npos) << out;
  EXPECT_EQ(Tool("record " + notes + " " + dir.File("out.dat") + " --seconds 1", &out), 1);
  EXPECT_NE(out.find("is not a serial port"), std::string::npos) << out;
  EXPECT_FALSE(access(dir.File("out.dat").c_str(), F_OK) == 0) << "no log is created for a refused port";
  EXPECT_EQ(Tool("monitor ../" + dir.path() + "/notes.txt --seconds 1", &out), 1);
  EXPECT_EQ(test::ReadFileText(notes), "keep me\n");
}

TEST(HostilePorts, AMonitorThatSawNoFrameFails) {
  std::string out;
  EXPECT_EQ(Tool("monitor /dev/ttyZRMabsent --seconds 1", &out), 1);
  EXPECT_NE(out.find("frames 0 bad 0"), std::string::npos) << out;
  EXPECT_NE(out.find("port '/dev/ttyZRMabsent' did not open"), std::string::npos) << out;
  // A bare name is a device in /dev, whatever the folder the tool runs in:
  // the message names the device it looked for.
  EXPECT_EQ(Tool("monitor ./ttyZRMabsent --seconds 1", &out), 1);
  EXPECT_NE(out.find("port './ttyZRMabsent' (/dev/ttyZRMabsent) did not open"), std::string::npos) << out;
  // A count far beyond any run is held, not overflowed: the run ends on SIGTERM.
  EXPECT_EQ(test::RunCommand("timeout --preserve-status -s TERM 1 " + kTool +
                                 " monitor /dev/ttyZRMabsent --seconds 99999999999999999999 2>&1",
                             &out),
            1);
  EXPECT_NE(out.find("frames 0 bad 0"), std::string::npos) << out;
}

TEST(HostileLogs, FoldersFifosAndDevicesAreRefusedInBoundedTime) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  struct Case {
    std::string path;
    const char* says;
  };
  const Case cases[] = {
      {dir.path(), "Is a directory"},
      {dir.File("fifo"), "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {dir.File("absent.dat"), "No such file"},
  };
  for (const Case& c : cases) {
    InputFile file;
    EXPECT_EQ(file.Open(c.path), -1) << c.path;
    // Every command that reads a log gives the same reason.
    for (const char* command : {"frames ", "trip ", "knock ", "quarter ", "export "}) {
      std::string out;
      EXPECT_EQ(Tool(command + c.path, &out, 10), 1) << command << c.path;
      EXPECT_NE(out.find(c.says), std::string::npos) << command << c.path << ": " << out;
    }
  }
}

TEST(HostileLogs, PathsWithSpacesAndNonAsciiLettersWork) {
  test::TempDir dir;
  const std::string path = dir.File("Rennstrecke Öschersleben 1.dat");
  std::vector<std::uint8_t> bytes = test::WireFrame(std::vector<std::uint8_t>(273, 7));
  test::WriteFileBytes(path, bytes);
  std::string out;
  EXPECT_EQ(Tool("frames '" + path + "'", &out), 0);
  EXPECT_EQ(out, "frames 1 bad 0 marks 0 stamps 0\n");
}

// A log past 2 GB (sparse: the disk holds only its last frame) is read to
// its end in bounded time, and a frame beyond the 2^31st byte is found.
TEST(HostileLogs, ALogPastTwoGigabytesIsReadToItsEnd) {
  test::TempDir dir;
  const std::string path = dir.File("huge.dat");
  const std::vector<std::uint8_t> frame = test::WireFrame(std::vector<std::uint8_t>(273, 9));
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, (off_t{1} << 31) + 1000, SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(frame.data(), 1, frame.size(), f), frame.size());
    ASSERT_EQ(std::fclose(f), 0);
  }
  std::string out;
  EXPECT_EQ(Tool("frames " + path, &out, 120), 0) << out;
  EXPECT_EQ(out, "frames 1 bad 0 marks 0 stamps 0\n");
}

TEST(HostileConfiguration, RealsThatAreNoNumbersTakeTheFallbackAndReadBack) {
  test::TempDir dir;
  const std::string path = dir.File("ZRM_Vistrel.cfg");
  for (const char* bad : {"nan", "-nan", "inf", "-infinity", "1e999"}) {
    test::WriteFileText(path, std::string("[SAVETRIP] 1\r\r\n[TOTALPW] ") + bad + "\r\r\n[TOTALVSS] 12.5\r\r\n");
    VistrelSettings settings;
    LoadConfig(MakeVistrelConfig(path, settings, nullptr));
    EXPECT_EQ(settings.totalPw, -1.0) << bad;  // the key's fallback
    EXPECT_EQ(settings.totalVss, 12.5) << bad;
    ASSERT_EQ(SaveConfig(MakeVistrelConfig(path, settings, nullptr)), 0);
    VistrelSettings again;
    LoadConfig(MakeVistrelConfig(path, again, nullptr));
    EXPECT_EQ(again, settings) << bad;
  }
}

TEST(HostileNumbers, SmoothTakesASubnormalFactorAndRefusesAnInfiniteOne) {
  test::TempDir dir;
  std::string table;
  for (int r = 0; r < 32; ++r) table += "50 50 50 50 50 50 50 50 50 50 50 50 50 50\n";
  test::WriteFileText(dir.File("t.txt"), table);
  std::string out;
  EXPECT_EQ(Tool("smooth --s 1e-310 " + dir.File("t.txt"), &out), 0) << out;
  EXPECT_NE(out.find("code "), std::string::npos);
  EXPECT_EQ(Tool("smooth --s 1e999 " + dir.File("t.txt"), &out), 2);
  EXPECT_NE(out.find("not a finite number"), std::string::npos);
}

}  // namespace
}  // namespace zrm
