// The configuration file reader and writer, through the three programs' key
// tables and through small tables of its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "flashupdate/flashupdate_config.h"
#include "fuelcalc/utility_config.h"
#include "shell/vistrel_config.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;
using namespace std::string_literals;

struct RecordingServices : PlatformServices {
  struct Message {
    std::string caption;
    std::string text;
    MessageIcon icon;
  };
  std::vector<Message> messages;
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override {
    messages.push_back({caption, text, icon});
  }
  void Beep(unsigned) override {}
};

// How a file's lines end on disk.
struct LineStyle {
  const char* name;
  const char* end;
};
constexpr LineStyle VISTREL_STYLE{"CR CR LF", "\r\r\n"};
constexpr LineStyle UTILITY_STYLE{"CR LF", "\r\n"};
const std::vector<LineStyle> BOTH_STYLES{VISTREL_STYLE, UTILITY_STYLE};

std::string JoinLines(const std::vector<std::string>& lines, const char* end) {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// Each LF of the text replaced by the given line end.
std::string WithLineEnds(const std::string& text, const char* end) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += end;
    else out += c;
  }
  return out;
}

// Reads the file bytes with vistrel's table into settings that start as given.
VistrelSettings ReadVistrel(const std::string& bytes, VistrelSettings settings = {}) {
  TempDir dir;
  std::string path = dir.File(VISTREL_CONFIG_NAME);
  WriteFileText(path, bytes);
  RecordingServices services;
  ConfigFile file = MakeVistrelConfig(path, settings, &services);
  EXPECT_EQ(LoadConfig(file), 0);
  EXPECT_TRUE(services.messages.empty());
  return settings;
}

// ---------------------------------------------------------------------------
// Building blocks

TEST(ConfigFileTest, FindConfigKeyMatchesWholeKeyInFirstColumn) {
  std::int32_t a = 0, ab = 0, dotted = 0;
  std::vector<ConfigKey> keys{IntegerKey("[A]", 0, 9, "0", a), IntegerKey("[AB]", 0, 9, "0", ab),
                              IntegerKey("[A.B]", 0, 9, "0", dotted)};
  struct Case {
    const char* line;
    int expected;
  };
  const Case cases[] = {
      {"[A] 1", 0},     {"[AB] 1", 1},  {"[A.B]x", 2}, {"[A]] 1", 0},  {"[A]", 0},
      {"[ABC] 1", -1},  {"[a] 1", -1},  {" [A] 1", -1}, {"x[A] 1", -1}, {"[A 1", -1},
      {"", -1},         {"]", -1},      {"[B] [A]", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindConfigKey(keys, c.line), c.expected) << '"' << c.line << '"';
  }
}

TEST(ConfigFileTest, TrimSpacesRemovesWhiteSpaceAtBothEnds) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"  a b \r\n", "a b"}, {"", ""}, {"\t\n\v\f\r ", ""}, {"abc", "abc"}, {"\tC:\\x y\\\r", "C:\\x y\\"},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    TrimSpaces(text);
    EXPECT_EQ(text, c.out) << '"' << c.in << '"';
  }
}

TEST(ConfigFileTest, IntegerConversionFollowsAtoi) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"42", 42},
      {"  -17x", -17},
      {"+5\n", 5},
      {"\r\n\t 12", 12},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"0x10", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-99999999999999999999", std::numeric_limits<std::int32_t>::min()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseConfigInteger(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ConfigFileTest, RealConversionFollowsAtof) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"1.5", 1.5},   {" -2.25e2", -225.0}, {"+3", 3.0},   {"  7.5\r\n", 7.5}, {".5", 0.5},
      {"5.", 5.0},    {"abc", 0.0},         {"", 0.0},     {"+-1", 0.0},       {"0x1p4", 16.0},
      {"1e999", inf}, {"-1e999", -inf},     {"1e-999", 0.0}, {"12abc", 12.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseConfigReal(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ConfigFileTest, RealsAreWrittenWithSixDecimals) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0.000000"},          {-12.5, "-12.500000"}, {2.0 / 3.0, "0.666667"},
      {1e20, "100000000000000000000.000000"}, {-0.0000004, "-0.000000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatConfigReal(c.value), c.text);
  }
}

TEST(ConfigFileTest, TextModeTranslatesLineEnds) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  // Reading: CR LF gives LF, a lone CR stays, Ctrl-Z ends the input.
  const Case reads[] = {
      {"a\r\nb", "a\nb"},   {"a\r\r\nb", "a\r\nb"}, {"a\rb\r", "a\rb\r"},
      {"a\nb", "a\nb"},     {"a\x1a\r\nb", "a"},    {"\r\n\r\n", "\n\n"},
  };
  for (const Case& c : reads) EXPECT_EQ(TextModeRead(c.bytes), c.text);
  // Writing: every LF becomes CR LF, so a formatted CR LF lands as CR CR LF.
  const Case writes[] = {{"a\r\nb\r\r\n", "a\nb\r\n"}, {"\r\n\r\n", "\n\n"}, {"a\rb", "a\rb"}};
  for (const Case& c : writes) EXPECT_EQ(TextModeWrite(c.text), c.bytes);
}

// ---------------------------------------------------------------------------
// Reading vistrel's keys

TEST(ConfigFileTest, NumbersAreRangeCheckedAgainstTheirFallback) {
  using Get = long long (*)(const VistrelSettings&);
  struct Case {
    std::vector<std::string> lines;
    Get get;
    long long expected;
  };
  const Get redline = [](const VistrelSettings& s) -> long long { return s.redline; };
  const Case cases[] = {
      {{"[RDLN] 9000"}, redline, 6400},  // the fallback, not the limit
      {{"[RDLN] 8000"}, redline, 8000},
      {{"[RDLN] 0"}, redline, 0},
      {{"[RDLN] -1"}, redline, 6400},
      {{"[RDLN] 99999999999"}, redline, 6400},
      {{"[RDLN] abc"}, redline, 0},  // no digits read as 0, which is in range
      {{"[RDLN]   +7000xyz"}, redline, 7000},
      {{"[RDLN]7500"}, redline, 500},  // the character behind the key is skipped, whatever it is
      {{"[RDLN]"}, redline, 0},
      {{"[rdln] 100"}, redline, 5800},
      {{" [RDLN] 100"}, redline, 5800},
      {{"[RDLN ] 100"}, redline, 5800},
      {{"RDLN] 100"}, redline, 5800},
      {{"[RDLN] 100", "[RDLN] 200"}, redline, 200},
      {{"[RDLN] 100", "\x1a", "[RDLN] 200"}, redline, 100},  // Ctrl-Z ends the text
      {{"[ID] 7", "[RDLN] 100"}, redline, 100},
      {{"[AUTOVSAVE] 1"}, [](const VistrelSettings& s) -> long long { return s.autoVeSave; }, 0},
      {{"[AUTOVTIME] 60"}, [](const VistrelSettings& s) -> long long { return s.autoVeMinutes; }, 60},
      {{"[LRNLWR] 221"}, [](const VistrelSettings& s) -> long long { return s.learnTempLow; }, 80},
      {{"[KNOCKALERT] 2"}, [](const VistrelSettings& s) -> long long { return s.knockAlert; }, 0},
      {{"[AUTOVSHOW] -5"}, [](const VistrelSettings& s) -> long long { return s.autoVeShowWarning; }, 0},
      {{"[PBSPD] 0"}, [](const VistrelSettings& s) -> long long { return s.playbackDelay; }, 0},
      {{"[TEMPERSCALE] 0"}, [](const VistrelSettings& s) -> long long { return s.temperatureScale; }, 0},
      {{"[KPHORMPH] 1"}, [](const VistrelSettings& s) -> long long { return s.speedInKph; }, 1},
      {{"[ACTVMALF] 2"}, [](const VistrelSettings& s) -> long long { return s.malfunctionOpen; }, -1},
      {{"[XPOSHWND] 1281"}, [](const VistrelSettings& s) -> long long { return s.mainWindowX; }, -1},
      {{"[YPOSHWND] 1024"}, [](const VistrelSettings& s) -> long long { return s.mainWindowY; }, 1024},
      {{"[FLSHBANK] 7"}, [](const VistrelSettings& s) -> long long { return s.flashBank; }, 7},
      {{"[FLSHVERIFY] 0"}, [](const VistrelSettings& s) -> long long { return s.flashVerify; }, 0},
      // Range checked as a 32-bit value before the low 16 bits (which would be 2) are kept.
      {{"[FLSHACTION] 65538"}, [](const VistrelSettings& s) -> long long { return s.flashAction; }, 1},
      {{"[UD15PRECI] 11"}, [](const VistrelSettings& s) -> long long { return s.userDevices[15].precision; }, 3},
      {{"[UD3VOLTK] 2500"}, [](const VistrelSettings& s) -> long long { return s.userDevices[3].voltK; }, 2500},
      {{"[UD1UNITK] -9999999"}, [](const VistrelSettings& s) -> long long { return s.userDevices[1].unitK; },
       -9999999},
      {{"[UD9ACTIVE] 1"}, [](const VistrelSettings& s) -> long long { return s.userDevices[9].active; }, 1},
      {{"[AD7TYPE] 2"}, [](const VistrelSettings& s) -> long long { return s.adcChannels[7].type; }, 2},
      {{"[AD7TYPE] 101"}, [](const VistrelSettings& s) -> long long { return s.adcChannels[7].type; }, -1},
      {{"[AD0FILTER] 50"}, [](const VistrelSettings& s) -> long long { return s.adcChannels[0].filter; }, 50},
      {{"[AD4FPPREF] 1"}, [](const VistrelSettings& s) -> long long { return s.adcChannels[4].fpPreferred; }, 1},
      {{"[UPDATERATE] 0"}, [](const VistrelSettings& s) -> long long { return s.updateDivisor; }, 3},
      {{"[UPDATERATE] 1"}, [](const VistrelSettings& s) -> long long { return s.updateDivisor; }, 2},
      {{"[UPDATERATE] 2"}, [](const VistrelSettings& s) -> long long { return s.updateDivisor; }, 1},
      {{"[UPDATERATE] 3"}, [](const VistrelSettings& s) -> long long { return s.updateDivisor; }, 0},
      {{"[UPDATERATE] 4"}, [](const VistrelSettings& s) -> long long { return s.updateDivisor; }, 3},
  };
  for (const LineStyle& style : BOTH_STYLES) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(style.name) + ": " + c.lines.front());
      EXPECT_EQ(c.get(ReadVistrel(JoinLines(c.lines, style.end))), c.expected);
    }
  }
}

TEST(ConfigFileTest, TextValuesAreTrimmedAndLengthChecked) {
  using Get = std::string (*)(const VistrelSettings&);
  struct Case {
    std::string file;
    Get get;
    std::string expected;
  };
  const Get port = [](const VistrelSettings& s) { return s.port; };
  const Get dataLog = [](const VistrelSettings& s) { return s.dataLog.path; };
  const Get dataLogName = [](const VistrelSettings& s) { return s.dataLog.name; };
  const Get userName = [](const VistrelSettings& s) { return s.userDevices[2].name; };
  const Get userUnit = [](const VistrelSettings& s) { return s.userDevices[2].unit; };
  const std::string x1023(1023, 'x');
  const Case cases[] = {
      {"[PORT] COM12   \r\n", port, "COM12"},
      {"[PORT]    COM3\t \r\r\n", port, "COM3"},
      {"[PORT]\r\r\n", port, ""},
      {"[PORT] CO\0M5\r\n"s, port, "CO"},  // the line is a C string
      {"[PORT] COM4", port, "COM4"},
      // The limit counts the value, never the line end, whichever way the
      // line ends.
      {"[DLOG] " + x1023 + "\r\n", dataLog, x1023},
      {"[DLOG] " + x1023 + "\r\r\n", dataLog, x1023},
      {"[DLOG] " + x1023 + "x\r\r\n", dataLog, "C:\\"},
      {"[DLOGNAME] " + x1023 + "x\r\r\n", dataLogName, ""},
      {"[UD2NAME] " + std::string(49, 'n') + "\r\r\n", userName, std::string(49, 'n')},
      {"[UD2NAME] " + std::string(50, 'n') + "\r\n", userName, "-Available Device Entry-"},
      {"[UD2UNIT] psi\r\r\n", userUnit, "psi"},
      {"[UD2UNIT] bars\r\r\n", userUnit, "bars"},
      {"[UD2UNIT] kgcm2\r\r\n", userUnit, "kgcm2"},
      {"[UD2UNIT] kg/cm2\r\r\n", userUnit, "NEW"},
      // Blanks around a value are not part of it.
      {"[UD2UNIT]   bar  \r\r\n", userUnit, "bar"},
      {"[AD1NAME] Wideband 1\r\n", [](const VistrelSettings& s) { return s.adcChannels[1].name; }, "Wideband 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    EXPECT_EQ(c.get(ReadVistrel(c.file)), c.expected);
  }
}

// A port name holds a device path of up to 255 characters (a link under
// /dev/serial/by-id/ is longer than the old 32), however the line ends.
TEST(ConfigFileTest, PortHoldsLongDevicePaths) {
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  for (const char* end : {"\r\r\n", "\r\n", ""}) {
    SCOPED_TRACE(std::string(end).size());
    EXPECT_EQ(ReadVistrel("[PORT] " + byId + end).port, byId);
    EXPECT_EQ(ReadVistrel("[PORT] " + std::string(255, 'p') + end).port, std::string(255, 'p'));
    EXPECT_EQ(ReadVistrel("[PORT] " + std::string(256, 'p') + end).port, "COM2");
  }
}

// Every text the program may hold, up to its longest, survives a save and the
// next start, in both of vistrel's line styles (its own file and a data log's
// copy) and in the update utility's file.
TEST(ConfigFileTest, TextsAtTheirLongestReadBackUnchanged) {
  VistrelSettings vistrel;
  vistrel.port = std::string(255, 'p');
  vistrel.dataLog = {std::string(1023, 'd'), std::string(1023, 'n'), std::string(1023, 'f')};
  for (int n = 0; n < USER_DEVICE_COUNT; ++n) {
    vistrel.userDevices[static_cast<std::size_t>(n)].name = std::string(49, static_cast<char>('A' + n));
    vistrel.userDevices[static_cast<std::size_t>(n)].unit = std::string(static_cast<std::size_t>(1 + n % 5), 'u');
  }
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    vistrel.adcChannels[static_cast<std::size_t>(n)].name = std::string(49, static_cast<char>('a' + n));
  }
  TempDir dir;
  {
    VistrelSettings back;
    SaveConfig(MakeVistrelConfig(dir.File(VISTREL_CONFIG_NAME), vistrel, nullptr));
    LoadConfig(MakeVistrelConfig(dir.File(VISTREL_CONFIG_NAME), back, nullptr));
    EXPECT_EQ(back, vistrel);
  }
  {
    // The copy at the head of a data log ends its lines in CR LF, unwritten
    // by text mode.
    std::string copy;
    WriteConfigEntries(MakeVistrelConfig("", vistrel, nullptr), copy);
    EXPECT_EQ(ReadVistrel(copy), vistrel);
  }
  {
    FlashUpdateSettings flashUpdate{std::string(255, 'q'), 1, 2, {}};
    FlashUpdateSettings back;
    SaveConfig(MakeFlashUpdateConfig(dir.File(FLASHUPDATE_CONFIG_NAME), flashUpdate, nullptr));
    LoadConfig(MakeFlashUpdateConfig(dir.File(FLASHUPDATE_CONFIG_NAME), back, nullptr));
    EXPECT_EQ(back, flashUpdate);
  }
}

// Lines are read in pieces of at most 1047 characters; each piece is a line of
// its own, and one that does not begin with a key is ignored.
TEST(ConfigFileTest, LongLinesAreReadInPieces) {
  struct Case {
    std::string file;
    std::int32_t redline;
    std::string dataLog;
  };
  const std::string head = "[DLOG] ";
  const Case cases[] = {
      {head + std::string(1040, 'x') + "[RDLN] 100\r\n", 100, "C:\\"},
      {head + std::string(1039, 'x') + "[RDLN] 100\r\n", 5800, "C:\\"},
      {head + std::string(1040, 'x') + "\r\n[RDLN] 100\r\n", 100, "C:\\"},
      {"[RDLN] 100" + std::string(1036, ' ') + "\r\r\n[DLOG] a\r\r\n", 100, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.size());
    VistrelSettings s = ReadVistrel(c.file);
    EXPECT_EQ(s.redline, c.redline);
    EXPECT_EQ(s.dataLog.path, c.dataLog);
  }
}

TEST(ConfigFileTest, TripTotalsAreTakenAsTheyAreUnlessNotKept) {
  struct Case {
    std::vector<std::string> lines;
    double totalPw;
    double totalVss;
  };
  const Case cases[] = {
      {{"[SAVETRIP] 1", "[TOTALPW] -12.5", "[TOTALVSS] 123456789012.25"}, -12.5, 123456789012.25},
      {{"[SAVETRIP] 1", "[TOTALPW] 1e300", "[TOTALVSS] abc"}, 1e300, 0.0},
      // Past the range of a double there is no value: the keys' fallback.
      {{"[SAVETRIP] 1", "[TOTALPW] 1e999", "[TOTALVSS] -1e999"}, -1.0, -1.0},
      {{"[SAVETRIP] 1", "[TOTALPW] nan", "[TOTALVSS] inf"}, -1.0, -1.0},
      {{"[TOTALPW] 7.25", "[TOTALVSS] 3", "[SAVETRIP] 1"}, 7.25, 3.0},
      {{"[SAVETRIP] 0", "[TOTALPW] 5.5", "[TOTALVSS] 6.5"}, 0.0, 0.0},
      {{"[TOTALPW] 5.5", "[TOTALVSS] 6.5"}, 0.0, 0.0},
      {{"[SAVETRIP] 2", "[TOTALPW] 5.5", "[TOTALVSS] 6.5"}, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines[0] + " " + c.lines[1]);
    VistrelSettings start;
    start.totalPw = 99.0;  // totals left from earlier in the run
    start.totalVss = 98.0;
    VistrelSettings s = ReadVistrel(JoinLines(c.lines, VISTREL_STYLE.end), start);
    EXPECT_EQ(s.totalPw, c.totalPw);
    EXPECT_EQ(s.totalVss, c.totalVss);
  }
}

TEST(ConfigFileTest, MissingFileIsCreatedEmptyAndStartValuesStay) {
  TempDir dir;
  std::string path = dir.File(VISTREL_CONFIG_NAME);
  VistrelSettings settings;
  settings.totalPw = 12.0;  // kept: nothing was read, so the trip totals are not cleared
  settings.updateRate = 2;  // the divisor is not recomputed either
  VistrelSettings expected = settings;
  RecordingServices services;
  ConfigFile file = MakeVistrelConfig(path, settings, &services);

  EXPECT_EQ(LoadConfig(file), 0);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_TRUE(test::ReadFileBytes(path).empty());
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(settings, expected);
  EXPECT_EQ(settings.redline, 5800);
  EXPECT_EQ(settings.userDevices[7].precision, 4);

  // The same file, now present and empty, is read: the after-reading steps run.
  LoadConfig(file);
  EXPECT_EQ(settings.totalPw, 0.0);
  EXPECT_EQ(settings.updateDivisor, 1);

  // The next save writes every key, in table order.
  SaveConfig(file);
  std::string text = TextModeRead(ReadFileText(path));
  std::size_t pos = 0;
  for (const ConfigKey& row : file.keys) {
    ASSERT_EQ(text.compare(pos, row.key.size() + 1, row.key + " "), 0) << row.key;
    pos = text.find('\n', pos) + 1;
  }
  EXPECT_EQ(pos, text.size());
  EXPECT_EQ(file.keys.size(), 59u + 9u * 16u + 7u * 8u);
}

TEST(ConfigFileTest, IdentificationLineIsIgnoredAndRewritten) {
  TempDir dir;
  std::string path = dir.File(VISTREL_CONFIG_NAME);
  WriteFileText(path, "[ID] Someone Else's Program\r\r\n[RDLN] 100\r\r\n");
  VistrelSettings settings;
  ConfigFile file = MakeVistrelConfig(path, settings, nullptr);
  LoadConfig(file);
  EXPECT_EQ(settings.redline, 100);
  SaveConfig(file);
  const std::string head = "[ID] ZRM Flash Vistrel Display\r\r\n[PORT] COM2\r\r\n";
  EXPECT_EQ(ReadFileText(path).substr(0, head.size()), head);
}

// ---------------------------------------------------------------------------
// Writing

// vistrel's file with every setting at its start value, LF for each line end.
std::string VistrelStartFile() {
  std::string text =
      "[ID] ZRM Flash Vistrel Display\n[PORT] COM2\n"
      "[DLOG] \n[DLOGNAME] \n[DLOGPATH] \n[PLAY] \n[PLAYNAME] \n[PLAYPATH] \n"
      "[LEARNVE] \n[LEARNVENAME] \n[LEARNVEPATH] \n[NEWVE] \n[NEWVENAME] \n[NEWVEPATH] \n"
      "[ANALYSIS] \n[ANALYSISNAME] \n[ANALYSISPATH] \n"
      "[TEMPERSCALE] 1\n[LRNLWR] 75\n[LRNUPR] 110\n[LRNINP] 0\n[PBSPD] 50\n[RDLN] 5800\n"
      "[RPMRANGE] 7000\n[MPHRANGE] 120\n[KPHORMPH] 0\n[SMOOTHFAC] 5\n[AUTOVSAVE] 0\n[AUTOVTIME] 5\n"
      "[AUTOVSHOW] 1\n[KNOCKALERT] 1\n[SAVETRIP] 0\n[BFRVSSPPM] 0\n[BFRFLWCNST] 0\n"
      "[TOTALPW] 0.000000\n[TOTALVSS] 0.000000\n"
      "[XPOSMALF] -1\n[YPOSMALF] -1\n[ACTVMALF] 0\n[XPOSFBNK] -1\n[YPOSFBNK] -1\n[ACTVFBNK] 0\n"
      "[XPOSHWND] -1\n[YPOSHWND] -1\n"
      "[FLSHBANK] 0\n[FLSHVERIFY] 1\n[FLSHSETBANK] 1\n[FLSHACTION] 1\n"
      "[FLSHBIN] \n[FLSHBINFILE] \n[FLSHBINPATH] \n[READBIN] \n[READBINFILE] \n[READBINPATH] \n"
      "[ANASHEADER] 0\n[ANA.CSV] 0\n[ENTERPAUSE] 0\n[TRANSTYPE] 0\n[UPDATERATE] 0\n";
  for (int n = 0; n < 16; ++n) {
    std::string ud = "[UD" + std::to_string(n);
    text += ud + "ACTIVE] 0\n" + ud + "NAME] -Available Device Entry-\n" + ud + "UNIT] NEW\n" + ud +
            "VOLTJ] 0\n" + ud + "VOLTK] 5000\n" + ud + "UNITJ] 0\n" + ud + "UNITK] 1000000\n" + ud +
            "WIDTH] 4\n" + ud + "PRECI] 4\n";
  }
  for (int n = 0; n < 8; ++n) {
    std::string ad = "[AD" + std::to_string(n);
    text += ad + "TYPE] -1\n" + ad + "INSTA] 0\n" + ad + "INDEX] 0\n" + ad + "NAME] None\n" + ad +
            "FILTER] 100\n" + ad + "WBPREF] 0\n" + ad + "FPPREF] 0\n";
  }
  return text;
}

TEST(ConfigFileTest, EachProgramWritesItsFileByteForByte) {
  TempDir dir;
  VistrelSettings vistrel;
  FlashUpdateSettings flashUpdate;
  UtilitySettings utility;
  struct Case {
    const char* name;
    ConfigFile file;
    std::string expected;
  };
  const Case cases[] = {
      {"vistrel", MakeVistrelConfig(dir.File(VISTREL_CONFIG_NAME), vistrel, nullptr),
       WithLineEnds(VistrelStartFile(), "\r\r\n")},
      {"flash update", MakeFlashUpdateConfig(dir.File(FLASHUPDATE_CONFIG_NAME), flashUpdate, nullptr),
       "[ID] ZRM Flash Update\r\n[PORT] \r\n[XPOSHWND] -1\r\n[YPOSHWND] -1\r\n"
       "[FLSHBIN] \r\n[FLSHBINFILE] \r\n[FLSHBINPATH] \r\n"},
      {"utility", MakeUtilityConfig(dir.File(UTILITY_CONFIG_NAME), utility, nullptr),
       "[ID] ZRM Utility\r\n[XPOSHWND] -1\r\n[YPOSHWND] -1\r\n[BPCINJTYPE] 0\r\n[BPCCYLINDER] 8\r\n"
       "[BPCVACREF] 0\r\n[BPCDISPLACEMENT] 350\r\n[BPCFUELPSI] 130\r\n[BPCNUMINJECTOR] 2\r\n"
       "[BPCINJECTORFLOW] 610\r\n[BPCMAPBAR] 1\r\n[BPCTPVERSION] 4\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SaveConfig(c.file), 0);
    EXPECT_EQ(ReadFileText(c.file.path), c.expected);
  }
}

// The copy in a data log's head is the same text with CR LF line ends.
TEST(ConfigFileTest, DataLogCopyEndsLinesInCrLf) {
  VistrelSettings settings;
  settings.port = "/dev/ttyUSB0";
  ConfigFile file = MakeVistrelConfig("", settings, nullptr);
  std::string copy = "TIME: x";  // entries are appended behind what the stream holds
  WriteConfigEntries(file, copy);
  std::string expected = "TIME: x" + WithLineEnds(VistrelStartFile(), "\r\n");
  expected.replace(expected.find("COM2"), 4, "/dev/ttyUSB0");
  EXPECT_EQ(copy, expected);
}

TEST(ConfigFileTest, WritingCorrectsNumbersIntoTheirLimits) {
  TempDir dir;
  VistrelSettings settings;
  settings.redline = 9000;
  settings.flashBank = 100;
  settings.mainWindowX = -50;
  settings.userDevices[5].unitJ = std::numeric_limits<std::int32_t>::min();
  settings.totalPw = -12.5;  // reals are written as they are
  settings.totalVss = 1e20;
  ConfigFile file = MakeVistrelConfig(dir.File(VISTREL_CONFIG_NAME), settings, nullptr);
  SaveConfig(file);
  std::string text = ReadFileText(file.path);
  for (const char* line : {"\n[RDLN] 8000\r\r\n", "\n[FLSHBANK] 7\r\r\n", "\n[XPOSHWND] -1\r\r\n",
                           "\n[UD5UNITJ] -9999999\r\r\n", "\n[TOTALPW] -12.500000\r\r\n",
                           "\n[TOTALVSS] 100000000000000000000.000000\r\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(settings.redline, 8000);
  EXPECT_EQ(settings.flashBank, 7);
  EXPECT_EQ(settings.mainWindowX, -1);
  EXPECT_EQ(settings.userDevices[5].unitJ, -9999999);
  EXPECT_EQ(settings.totalPw, -12.5);
}

TEST(ConfigFileTest, SavedSettingsReadBackUnchanged) {
  TempDir dir;
  VistrelSettings vistrel;
  vistrel.port = "/dev/serial/by-id/usb-zrm";
  vistrel.dataLog = {"C:\\Logs\\run 1.dat", "run 1.dat", "C:\\Logs\\"};
  vistrel.readBin = {"/home/u/bank.bin", "bank.bin", "/home/u/"};
  vistrel.temperatureScale = 0;
  vistrel.redline = 6200;
  vistrel.speedInKph = 1;
  vistrel.knockAlert = 0;
  vistrel.saveTrip = 1;
  vistrel.totalPw = 1234.5;
  vistrel.totalVss = -0.25;
  vistrel.flashBank = 5;
  vistrel.flashAction = 2;
  vistrel.analysisCsv = 1;
  vistrel.updateRate = 2;
  vistrel.updateDivisor = 1;
  vistrel.userDevices[15] = {1, "Oil pressure", "psi", 500, 4500, 0, 1000000, 3, 1};
  vistrel.adcChannels[3] = {2, 15, 15, "Oil pressure", 40, 0, 1};
  FlashUpdateSettings flashUpdate{"COM7", 100, 200, {"C:\\a.bin", "a.bin", "C:\\"}};
  UtilitySettings utility{10, 20, 1, 6, 1, 305, 435, 4, 1900, 3, 5};

  VistrelSettings vistrelBack;
  FlashUpdateSettings flashUpdateBack;
  UtilitySettings utilityBack;
  struct Case {
    const char* name;
    ConfigFile out;
    ConfigFile in;
  };
  const Case cases[] = {
      {"vistrel", MakeVistrelConfig(dir.File(VISTREL_CONFIG_NAME), vistrel, nullptr),
       MakeVistrelConfig(dir.File(VISTREL_CONFIG_NAME), vistrelBack, nullptr)},
      {"flash update", MakeFlashUpdateConfig(dir.File(FLASHUPDATE_CONFIG_NAME), flashUpdate, nullptr),
       MakeFlashUpdateConfig(dir.File(FLASHUPDATE_CONFIG_NAME), flashUpdateBack, nullptr)},
      {"utility", MakeUtilityConfig(dir.File(UTILITY_CONFIG_NAME), utility, nullptr),
       MakeUtilityConfig(dir.File(UTILITY_CONFIG_NAME), utilityBack, nullptr)},
  };
  for (const Case& c : cases) {
    SaveConfig(c.out);
    LoadConfig(c.in);
  }
  EXPECT_EQ(vistrelBack, vistrel);
  EXPECT_EQ(flashUpdateBack, flashUpdate);
  EXPECT_EQ(utilityBack, utility);
}

TEST(ConfigFileTest, UtilityFallbacksDifferFromStartValues) {
  struct Case {
    std::string file;
    std::string port;
    std::int32_t editorVersion;
  };
  const Case cases[] = {
      {"", "", 4},
      {"[PORT] " + std::string(256, 'p') + "\r\n[BPCTPVERSION] 3\r\n", "COM2", 5},
      {"[PORT] COM9\r\n[BPCTPVERSION] 5\r\n", "COM9", 5},
  };
  for (const Case& c : cases) {
    TempDir dir;
    FlashUpdateSettings flashUpdate;
    UtilitySettings utility;
    ConfigFile flashFile = MakeFlashUpdateConfig(dir.File(FLASHUPDATE_CONFIG_NAME), flashUpdate, nullptr);
    ConfigFile utilityFile = MakeUtilityConfig(dir.File(UTILITY_CONFIG_NAME), utility, nullptr);
    WriteFileText(flashFile.path, c.file);
    WriteFileText(utilityFile.path, c.file);
    LoadConfig(flashFile);
    LoadConfig(utilityFile);
    EXPECT_EQ(flashUpdate.port, c.port);
    EXPECT_EQ(utility.editorVersion, c.editorVersion);
  }
}

// Reals are range-checked on reading and corrected on writing only where the
// file asks for it (the utilities), never in vistrel.
TEST(ConfigFileTest, RealRangeCheckIsOptional) {
  struct Case {
    bool check;
    std::string value;
    double read;
    double afterWrite;
  };
  const Case cases[] = {
      {true, "11", 2.5, 2.5},       {true, "10", 10.0, 10.0},     {true, "-0.5", 2.5, 2.5},
      {true, "0", 0.0, 0.0},        {false, "11", 11.0, 11.0},    {false, "-0.5", -0.5, -0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.check ? "checked " : "unchecked ") + c.value);
    TempDir dir;
    double gain = 1.0;
    ConfigFile file;
    file.path = dir.File("gain.cfg");
    file.checkRealRange = c.check;
    file.keys = {RealKey("[GAIN]", 0, 10, "2.5", gain)};
    WriteFileText(file.path, "[GAIN] " + c.value + "\r\n");
    LoadConfig(file);
    EXPECT_EQ(gain, c.read);
  }
  for (const Case& c : cases) {
    double gain = std::stod(c.value) + 2.0;  // -0.5 becomes 1.5, 11 becomes 13
    ConfigFile file;
    file.checkRealRange = c.check;
    file.keys = {RealKey("[GAIN]", 0, 10, "2.5", gain)};
    std::string out;
    WriteConfigEntries(file, out);
    double expected = c.check ? std::min(10.0, std::max(0.0, std::stod(c.value) + 2.0)) : std::stod(c.value) + 2.0;
    EXPECT_EQ(gain, expected);
    EXPECT_EQ(out, "[GAIN] " + FormatConfigReal(expected) + "\n");
  }
}

TEST(ConfigFileTest, FileThatCannotBeOpenedShowsTheErrorBox) {
  TempDir dir;
  const std::string cases[] = {dir.File("missing/" + std::string(VISTREL_CONFIG_NAME)), dir.path()};
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    VistrelSettings settings;
    settings.redline = 9000;
    VistrelSettings before = settings;
    RecordingServices services;
    ConfigFile file = MakeVistrelConfig(path, settings, &services);

    EXPECT_EQ(LoadConfig(file), 0);
    EXPECT_EQ(SaveConfig(file), -1);  // the save says it failed
    ASSERT_EQ(services.messages.size(), 2u);
    for (const RecordingServices::Message& m : services.messages) {
      EXPECT_EQ(m.caption, "Configuration File Error");
      EXPECT_EQ(m.text, "Can not open Configuration File: \n\n " + path);
      EXPECT_EQ(m.icon, MessageIcon::Information);
    }
    EXPECT_EQ(settings, before);  // the values go on as they were
  }
}

TEST(ConfigFileTest, EmptyPathMeansNoConfiguration) {
  VistrelSettings settings;
  settings.totalPw = 4.0;
  RecordingServices services;
  ConfigFile file = MakeVistrelConfig("", settings, &services);
  EXPECT_EQ(LoadConfig(file), 0);
  EXPECT_EQ(SaveConfig(file), 0);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_EQ(settings.totalPw, 4.0);
}

}  // namespace
}  // namespace zrm
