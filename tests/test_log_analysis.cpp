// The analysis view file and the two dump forms over a small hand-built log:
// a recording head, markers and time stamps inside and between frames, a bad
// frame, a time text cut by 0xFF inside a frame and one cut by the end of the
// file. Expected texts are worked out from the record and column formats.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <unistd.h>
#include <string>
#include <vector>

#include "analysis/log_export.h"
#include "analysis/view_file.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "analysis_log_fixture.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::BaseFrame;
using test::ChannelSettings;
using test::HandBuiltLog;
using test::WireFrame;

// Units as each test wants them; restored afterwards.
class UnitScope {
 public:
  UnitScope(int kph, int celsius) : kph_(SpeedUnit()), scale_(TemperatureScale()) {
    SetSpeedUnit(kph);
    SetTemperatureScale(celsius);
  }
  ~UnitScope() {
    SetSpeedUnit(kph_);
    SetTemperatureScale(scale_);
  }

 private:
  int kph_, scale_;
};

class LogAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath = dir.File("run.dat");
    test::WriteFileBytes(logPath, HandBuiltLog());
  }
  test::TempDir dir;
  std::string logPath;
};

std::vector<std::string> ViewRows(ViewFile& view) {
  std::vector<std::string> rows;
  char record[VIEW_RECORD_SIZE];
  for (long r = 0; view.Read(r, record) == 0; ++r) rows.emplace_back(record, VIEW_RECORD_SIZE);
  return rows;
}

TEST_F(LogAnalysisTest, ViewRecordsOfEveryGoodFrame) {
  UnitScope units(0, 1);
  ViewFile view;
  ASSERT_EQ(view.Create(dir.path() + "/"), 0);
  int steps = 0;
  ASSERT_EQ(BuildViewFile(logPath, view, ChannelSettings(), [&steps] { ++steps; }), AnalysisResult::Ok);
  // Kind, pulses, ppm, run time, RPM, speed, MAP, TPS, CTS, IAT, O2, G/S,
  // SA, sPW, aPW, DC, blank, AE DE PE DC CL LN, INT, BLM, IAC, WB, aePW.
  const std::vector<std::string> expected = {
      // The head's own time stamp precedes the first frame of a recording.
      "2 10   4004 0:01:05 2000  35  85  50  80  20  442  25 21 15.6  7.8  26  Y N N Y Y N 128 131  40 15.0  3.91 \r\n",
      "1 12   4004 0:01:05 2000  35  85  50  80  20  442  25 21 15.6  7.8  26  Y N N Y Y N 128 131  40 15.0  3.91 \r\n",
      "2 15   2002 0:01:06 2000  35  47  50  80  20  442  25 21 15.6  7.8  52  Y N N Y Y N 128 131  40 15.0  3.91 \r\n",
      "0 20   4004 0:01:07 2000  35  85  50  80  20  442  25 21 15.6  7.8  26  Y N N Y Y N 128 131  40 15.0  3.91 \r\n",
  };
  EXPECT_EQ(ViewRows(view), expected);
  EXPECT_EQ(view.Size(), 4 * VIEW_RECORD_SIZE);
  EXPECT_EQ(steps, 0);  // fewer than 17 rows
}

TEST_F(LogAnalysisTest, ViewFollowsTheUnitSwitches) {
  UnitScope units(1, 0);  // km/h, Fahrenheit
  ViewFile view;
  ASSERT_EQ(view.Create(dir.path() + "/"), 0);
  ASSERT_EQ(BuildViewFile(logPath, view, VistrelSettings{}), AnalysisResult::Ok);
  char record[VIEW_RECORD_SIZE];
  ASSERT_EQ(view.Read(3, record), 0);
  // 56.33 km/h, 176 F and 68 F; no wideband channel reads 0.0.
  EXPECT_EQ(std::string(record, VIEW_RECORD_SIZE),
            "0 20   4004 0:01:07 2000  56  85  50 176  68  442  25 21 15.6  7.8  26  Y N N Y Y N 128 131  40  0.0  3.91 \r\n");
}

TEST_F(LogAnalysisTest, TenFramesMakeTenRecords) {
  std::vector<std::uint8_t> log;
  for (int i = 0; i < 10; ++i) {
    std::vector<std::uint8_t> w = WireFrame(BaseFrame(1, i));
    log.insert(log.end(), w.begin(), w.end());
  }
  test::WriteFileBytes(logPath, log);
  ViewFile view;
  ASSERT_EQ(view.Create(dir.path() + "/"), 0);
  ASSERT_EQ(BuildViewFile(logPath, view, VistrelSettings{}), AnalysisResult::Ok);
  EXPECT_EQ(view.Size(), 1090);
  EXPECT_EQ(view.Rows(), 10);
}

const char* const kCsvHeader =
    "RUNTIME,RPM,MPH,MAP,PSI,BRO,VAC,VE%,TPS,CTS,IAT,I/C,O2,G/S,SA,Rt,KnkCt,sPW,aPW,DC%,Sf,Ay,Ae,De,Id,Hw,Pe,Dc,Cl,Ln,"
    "Fn,Ac,Tc,Cp,Eg,Gr,Cl,INT,BLM,BPC,IAC,N2%,cAFR,WB,dTPS,tpsAE,dMAP,mapAE,aePW,WB_0,PSI_1,\r\n";

// The CSV row of the base frame up to the flags, and from the gear on, with
// the two channel columns given.
std::string CsvRow(const char* time, const char* map, const char* psi, const char* dc, const char* sf,
                   const char* psi1) {
  return std::string(time) + ",2000, 35," + map + "," + psi + ",101, 60, 78, 50, 80, 20, 35, 442, 25,21, 4,  258,15.625, 7.81," +
         dc + "," + sf + ",N,Y,N,Y,Y,N,Y,Y,N,Y,N,N,N,Y,  3, 2,128,131, 43, 40,100,14.7,15.0, 3.1, 0.992,25.0, 0.000, 3.906,15.0," +
         psi1 + ",\r\n";
}

TEST_F(LogAnalysisTest, CsvWithHeaderEverySecondAndMarkerLines) {
  UnitScope units(0, 1);
  const std::string out = DumpOutputPath(logPath, true);
  EXPECT_EQ(out, dir.File("run.csv"));
  long rows = 0;
  ASSERT_EQ(ExportLog(logPath, out, ChannelSettings(), {ExportForm::Csv, false}, {}, &rows), AnalysisResult::Ok);
  EXPECT_EQ(rows, 4);
  // The pressure channel is filtered at 50 % from the empty frame's 0.0:
  // 7.52, 11.29, 13.17, 14.11 psi, in a column as wide as "PSI_1".
  const std::string expected = std::string("TimeStamp:  12/06/2026 - 06:20:00\r\n") + kCsvHeader +
                               CsvRow("00:01:05", " 85", "  4", " 26", "Y", "  7.5") +
                               "Marker: 003 @  12/06/2026 - 06:21:10\r\n" +
                               CsvRow("00:01:05", " 85", "  4", " 26", "Y", " 11.3") +
                               "TimeStamp:  12/06/2026 - 06:21:11\r\n" + kCsvHeader +
                               CsvRow("00:01:06", " 47", "  0", " 52", "N", " 13.2") + kCsvHeader +
                               CsvRow("00:01:07", " 85", "  4", " 26", "Y", " 14.1");
  EXPECT_EQ(test::ReadFileText(out), expected);
}

TEST_F(LogAnalysisTest, TextDumpWithSingleHeader) {
  UnitScope units(0, 1);
  const std::string out = DumpOutputPath(logPath, false);
  EXPECT_EQ(out, dir.File("run.ZRM"));
  ASSERT_EQ(ExportLog(logPath, out, ChannelSettings(), {ExportForm::Text, true}), AnalysisResult::Ok);
  const std::string header =
      "RUNTIME   RPM MPH MAP PSI BRO VAC VE% TPS CTS IAT I/C   O2 G/S SA Rt KnkCt   sPW    aPW DC% Sf Ay Ae De Id Hw "
      "Pe Dc Cl Ln Fn Ac Tc Cp Eg   Gr Cl INT BLM BPC IAC N2% cAFR  WB  dTPS  tpsAE dMAP  mapAE   aePW  WB_0 PSI_1 \r\n";
  // Blank separators, an extra blank before the flags and before the
  // channels, two blanks after each flag.
  auto row = [](const char* time, const char* map, const char* psi, const char* dc, const char* sf, const char* psi1) {
    return std::string(time) + " 2000  35 " + map + " " + psi + " 101  60  78  50  80  20  35  442  25 21  4   258 15.625  7.81 " +
           dc + "  " + sf + "  N  Y  N  Y  Y  N  Y  Y  N  Y  N  N  N  Y    3  2 128 131  43  40 100 14.7 15.0  3.1  0.992 25.0  0.000  3.906  15.0 " +
           psi1 + " \r\n";
  };
  const std::string expected = header + row("00:01:05", " 85", "  4", " 26", "Y", "  7.5") +
                               row("00:01:05", " 85", "  4", " 26", "Y", " 11.3") +
                               row("00:01:06", " 47", "  0", " 52", "N", " 13.2") +
                               row("00:01:07", " 85", "  4", " 26", "Y", " 14.1");
  EXPECT_EQ(test::ReadFileText(out), expected);
}

TEST_F(LogAnalysisTest, AutomaticKphFahrenheitColumns) {
  UnitScope units(1, 0);
  VistrelSettings s;
  s.transType = 1;
  const std::string out = dir.File("auto.csv");
  ASSERT_EQ(ExportLog(logPath, out, s, {ExportForm::Csv, true}), AnalysisResult::Ok);
  const std::string text = test::ReadFileText(out);
  // KPH in the header and no channel columns; 56 km/h, 176/68/95 F, drive.
  const std::string header =
      "RUNTIME,RPM,KPH,MAP,PSI,BRO,VAC,VE%,TPS,CTS,IAT,I/C,O2,G/S,SA,Rt,KnkCt,sPW,aPW,DC%,Sf,Ay,Ae,De,Id,Hw,Pe,Dc,Cl,Ln,"
      "Fn,Ac,Tc,Cp,Eg,Gr,Cl,INT,BLM,BPC,IAC,N2%,cAFR,WB,dTPS,tpsAE,dMAP,mapAE,aePW,\r\n";
  const std::string first =
      "00:01:05,2000, 56, 85,  4,101, 60, 78, 50,176, 68, 95, 442, 25,21, 4,  258,15.625, 7.81, 26,Y,N,Y,N,Y,Y,N,Y,Y,N,Y,"
      "N,N,N,Y,  D, 2,128,131, 43, 40,100,14.7, 0.0, 3.1, 0.992,25.0, 0.000, 3.906,\r\n";
  EXPECT_EQ(text.substr(0, header.size() + first.size()), header + first);
}

// The columns as the format table gives them, written with printf, for any
// frame: every field of random frames in both units and both forms.
std::string ReferenceRow(const std::uint8_t* f, bool csv, int transType, double wb) {
  auto byte = [f](int o) { return static_cast<int>(f[o]); };
  auto word = [f](int o) { return f[o] * 256 + f[o + 1]; };
  auto bit = [f](int o, int b) { return ((f[o] >> b) & 1) ? 'Y' : 'N'; };
  const char c = csv ? ',' : ' ';
  const int bars = (f[field::configByte] & 0x80) ? 2 : (f[field::configByte] & 0x40) ? 3 : 1;
  const double kpa = bars == 2 ? byte(field::mapRaw) * 0.7705 + 8 : bars == 3 ? byte(field::mapRaw) * 1.2335 + 1.1
                                                                              : byte(field::mapRaw) * 0.369 + 10.415;
  const double temp = TemperatureScale() == 1 ? 0.75 : 1.35;
  const double ms = 0.0152587890625;
  char t[1024];
  int n = std::snprintf(t, sizeof t, "%02d:%02d:%02d%c%4d%c%3.0f%c%3.0f%c", word(field::runTimeSec) / 3600,
                        word(field::runTimeSec) % 3600 / 60, word(field::runTimeSec) % 60, c, ComputeRpm(f), c,
                        SpeedUnit() == 1 ? byte(field::vehicleSpeed) * 1.609344 : byte(field::vehicleSpeed), c, kpa, c);
  if (bars == 1) {
    n += std::snprintf(t + n, sizeof t - n, "  0%c", c);
  } else {
    n += std::snprintf(t + n, sizeof t - n, "%3.0f%c",
                       byte(field::boostRaw) * (bars == 2 ? 0.625 : 1.2335) * 0.145037738, c);
  }
  n += std::snprintf(t + n, sizeof t - n, "%3.0f%c%3.0f%c%3.0f%c%3.0f%c%3.0f%c%3.0f%c%3.0f%c%4.0f%c%3d%c%2.0f%c%2.0f%c%5d%c%6.3f%c%5.2f%c%3d%c",
                     byte(field::baroRaw) * 0.369 + 10.415, c, 80 - byte(field::vacuumRaw) * 0.3125, c,
                     byte(field::veRaw) * 0.390625, c, byte(field::tpsRaw) * 0.390625, c,
                     byte(field::ctsRaw) * temp - 40, c, byte(field::iatRaw) * temp - 40, c,
                     byte(field::intercoolerTempRaw) * temp - 40, c, byte(field::o2Raw) * 4.42, c,
                     byte(field::airflowGs), c, byte(field::sparkAdvance) * 0.3515625, c,
                     byte(field::sparkRetard) * 0.17578125, c, word(field::knockCount), c,
                     std::min(word(field::basePw) * ms, 99.0), c, std::min(word(field::actualPw) * ms, 99.9), c,
                     static_cast<int>(ComputeDutyCycle(f)), c);
  if (!csv) t[n++] = ' ';
  const std::pair<int, int> flags[] = {{54, 7}, {14, 4}, {13, 6}, {13, 4}, {2, 7}, {3, 2}, {13, 7}, {8, 3},
                                       {14, 7}, {14, 1}, {5, 0},  {5, 3},  {5, 7}, {6, 0}, {180, 7}};
  for (auto [o, b] : flags) n += std::snprintf(t + n, sizeof t - n, "%c%s", bit(o, b), csv ? "," : "  ");
  if (transType == 1) {
    n += std::snprintf(t + n, sizeof t - n, "%s%c",
                       (f[15] & 0x10) ? "P/N" : (f[5] & 0x20) ? "  D" : " OD", c);
  } else {
    n += std::snprintf(t + n, sizeof t - n, "%3d%c", std::min(byte(field::gear), 9), c);
  }
  const int bpc = byte(field::bpc) + (byte(field::bpc + 1) >= 128 ? 1 : 0);
  const double dtps = byte(field::tpsRaw) > byte(field::tpsPrevRaw)
                          ? (byte(field::tpsRaw) - byte(field::tpsPrevRaw)) * 0.390625 : 0.0;
  n += std::snprintf(t + n, sizeof t - n, "%2d%c%3d%c%3d%c%3d%c%3d%c%3d%c%4.1f%c%4.1lf%c%4.1f%c%6.3f%c%4.1f%c%6.3f%c%6.3f%c",
                     std::min(byte(field::closedLoopState), 2), c, byte(field::integrator), c, byte(field::blm), c,
                     bpc, c, byte(field::iacSteps), c, static_cast<int>((word(field::nitrousRaw) & 0x7FF) / 20.47 + 0.5), c,
                     byte(field::commandedAfr) / 10.0, c, wb, c, dtps, c, std::min(byte(field::tpsAePw) * ms, 99.9), c,
                     byte(field::deltaMapRaw) * 0.3125 + 20 - 20.0, c, std::min(byte(field::mapAePw) * ms, 99.9), c,
                     std::min(word(field::aePw) * ms, 99.9), c);
  if (!csv) t[n++] = ' ';
  return std::string(t, static_cast<std::size_t>(n));
}

TEST(ExportColumns, RandomFramesMatchTheFormats) {
  std::mt19937 rng(11);
  for (int units = 0; units < 4; ++units) {
    UnitScope scope(units & 1, units >> 1);
    for (int i = 0; i < 3000; ++i) {
      std::vector<std::uint8_t> f(FRAME_PAYLOAD_SIZE);
      for (auto& b : f) b = static_cast<std::uint8_t>(rng());
      if (i % 3 == 0) f[field::runTimeSec] = 0;  // short run times too
      const bool csv = i % 2 == 0;
      const int trans = (i / 2) % 2;
      const double wb = (rng() % 3000) / 100.0 - 5.0;
      ASSERT_EQ(ExportRow(f.data(), csv, trans, wb, {}), ReferenceRow(f.data(), csv, trans, wb)) << i;
    }
  }
}

TEST(TransmissionColumn, AutomaticStates) {
  struct Case {
    int status15, status5;
    const char* text;
  } cases[] = {{0x10, 0x20, "P/N,"}, {0x00, 0x20, "  D,"}, {0x00, 0x00, " OD,"}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> f = BaseFrame(1, 0);
    f[field::statusByte15] = static_cast<std::uint8_t>(c.status15);
    f[field::statusByte5] = static_cast<std::uint8_t>(c.status5);
    const std::string row = ExportRow(f.data(), true, 1, 0.0, {});
    // Gr follows the 15 flags of the CSV row.
    EXPECT_NE(row.find(std::string(",Y,") + c.text + " 2,"), std::string::npos) << row;
  }
}

TEST(DumpOutputName, ExtensionReplacedOrAppended) {
  EXPECT_EQ(DumpOutputPath("/logs/run.dat", true), "/logs/run.csv");
  EXPECT_EQ(DumpOutputPath("/logs/run.dat", false), "/logs/run.ZRM");
  EXPECT_EQ(DumpOutputPath("/logs.old/run", true), "/logs.old/run.csv");
  EXPECT_EQ(DumpOutputPath("C:\\logs.old\\run", false), "C:\\logs.old\\run.ZRM");
  EXPECT_EQ(DumpOutputPath("/logs/run.2026.dat", true), "/logs/run.2026.csv");
}

TEST_F(LogAnalysisTest, FailuresLeaveTheOldOutputWhole) {
  UnitScope units(0, 1);
  // A missing log.
  EXPECT_EQ(ExportLog(dir.File("none.dat"), dir.File("none.csv"), VistrelSettings{}, {}),
            AnalysisResult::LogOpenError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.csv")));
  // A folder in the output's place, and the log itself as the output.
  std::filesystem::create_directory(dir.File("out.csv"));
  EXPECT_EQ(ExportLog(logPath, dir.File("out.csv"), VistrelSettings{}, {}), AnalysisResult::OutputOpenError);
  EXPECT_EQ(ExportLog(logPath, logPath, VistrelSettings{}, {}), AnalysisResult::OutputOpenError);
  EXPECT_EQ(test::ReadFileBytes(logPath), HandBuiltLog());
  // A folder that cannot take the new file: the existing export stays.
  const std::string sub = dir.File("ro");
  std::filesystem::create_directory(sub);
  test::WriteFileText(sub + "/run.csv", "old export\r\n");
  std::filesystem::permissions(sub, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (::access(sub.c_str(), W_OK) != 0) {  // root may write anyway
    EXPECT_EQ(ExportLog(logPath, sub + "/run.csv", VistrelSettings{}, {}), AnalysisResult::OutputOpenError);
    EXPECT_EQ(test::ReadFileText(sub + "/run.csv"), "old export\r\n");
  }
  std::filesystem::permissions(sub, std::filesystem::perms::owner_all);
  // A successful export replaces the old one and leaves nothing beside it.
  ASSERT_EQ(ExportLog(logPath, sub + "/run.csv", VistrelSettings{}, {}), AnalysisResult::Ok);
  EXPECT_NE(test::ReadFileText(sub + "/run.csv"), "old export\r\n");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(sub)) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);
}

TEST(ViewFileTemporary, PrivateAndGoneWhenClosed) {
  test::TempDir dir;
  ViewFile view;
  ASSERT_EQ(view.Create(dir.path() + "/"), 0);
  EXPECT_EQ(view.Name().rfind("$$_zrm$$_", 0), 0u);
#ifndef _WIN32
  // Nothing of it is left in the folder, open or closed (on Windows it is
  // hidden while open and deleted on close).
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
#endif
  char record[VIEW_RECORD_SIZE];
  std::memset(record, 'x', sizeof record);
  record[0] = ROW_MARKER;
  ASSERT_EQ(view.Append(record), 0);
  ASSERT_EQ(view.Append(record), 0);
  ASSERT_EQ(view.SetKind(1, ROW_SELECTED), 0);
  record[0] = ROW_NORMAL;
  ASSERT_EQ(view.Append(record), 0);  // appends after a kind change go to the end
  char back[VIEW_RECORD_SIZE];
  ASSERT_EQ(view.Read(1, back), 0);
  EXPECT_EQ(back[0], ROW_SELECTED);
  ASSERT_EQ(view.Read(2, back), 0);
  EXPECT_EQ(back[0], ROW_NORMAL);
  EXPECT_EQ(view.Read(3, back), -1);
  EXPECT_EQ(view.Rows(), 3);
  view.Close();
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  // A folder that does not exist gives no view file.
  ViewFile second;
  EXPECT_EQ(second.Create(dir.path() + "/no-such-folder/"), -1);
}

}  // namespace
}  // namespace zrm
