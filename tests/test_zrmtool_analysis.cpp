// zrmtool export and quarter as a user runs them: the hand-built log and a
// drag run made of frames, the output files, the printed lines and the exit
// codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis_log_fixture.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::RunCommand;

std::string Tool() { return ZRMTOOL_PATH; }

class ZrmtoolAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath = dir.File("run.dat");
    test::WriteFileBytes(logPath, test::HandBuiltLog());
    // Start values but km/h; no channels.
    config = dir.File("ZRM_Vistrel.cfg");
    test::WriteFileText(config, "[ID] ZRM Flash Vistrel Display\r\n[KPHORMPH] 1\r\n[TEMPERSCALE] 1\r\n");
  }
  int Run(const std::string& args, std::string* out) {
    return RunCommand(Tool() + " " + args + " --config " + config + " 2>" + dir.File("stderr.txt"), out);
  }
  std::string Errors() { return test::ReadFileText(dir.File("stderr.txt")); }
  test::TempDir dir;
  std::string logPath, config;
};

TEST_F(ZrmtoolAnalysisTest, ExportWritesBesideTheLog) {
  std::string out;
  ASSERT_EQ(Run("export " + logPath + " --single-header", &out), 0) << Errors();
  EXPECT_EQ(out, "rows 4\n");
  const std::string csv = test::ReadFileText(dir.File("run.csv"));
  // KPH header, then the first row: 35 mph shows as 56 km/h.
  EXPECT_EQ(csv.rfind("RUNTIME,RPM,KPH,MAP,", 0), 0u) << csv;
  EXPECT_NE(csv.find("\r\n00:01:05,2000, 56, 85,  4,101,"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("Marker:"), std::string::npos);

  ASSERT_EQ(Run("export " + logPath + " --text", &out), 0) << Errors();
  const std::string text = test::ReadFileText(dir.File("run.ZRM"));
  EXPECT_EQ(text.rfind("TimeStamp:  12/06/2026 - 06:20:00\r\nRUNTIME   RPM KPH MAP", 0), 0u) << text;
  EXPECT_NE(text.find("Marker: 003 @  12/06/2026 - 06:21:10\r\n00:01:05 2000  56"), std::string::npos);
}

TEST_F(ZrmtoolAnalysisTest, MslHasNamesUnitsAndOneRowPerFrame) {
  std::string out;
  ASSERT_EQ(Run("export " + logPath + " --msl --out " + dir.File("run.msl"), &out), 0) << Errors();
  EXPECT_EQ(out, "rows 4\n");
  const std::string msl = test::ReadFileText(dir.File("run.msl"));
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = msl.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(msl.substr(at, end - at));
  ASSERT_EQ(lines.size(), 2u + 4u + 1u);  // names, units, four rows and the marker line
  EXPECT_EQ(lines[0].rfind("Time\tRunTime\tRPM\tSpeed\tMAP\t", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("s\ts\trpm\tkm/h\tkPa\t", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("0.000\t65\t2000\t56.3\t85.0\t", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3], "MARK 003 -  12/06/2026 - 06:21:10");
  EXPECT_EQ(lines[4].rfind("0.059\t65\t2000\t", 0), 0u) << lines[4];
  // 85.05 kPa is 85.04999... in binary: "85.0". Every row has as many fields
  // as there are names.
  auto fields = [](const std::string& line) { return std::count(line.begin(), line.end(), '\t') + 1; };
  for (std::size_t i : {1u, 2u, 4u, 5u, 6u}) EXPECT_EQ(fields(lines[i]), fields(lines[0])) << i;
}

TEST_F(ZrmtoolAnalysisTest, ExportErrors) {
  std::string out;
  EXPECT_EQ(Run("export " + dir.File("missing.dat"), &out), 1);
  EXPECT_NE(Errors().find("cannot read log"), std::string::npos);
  std::filesystem::create_directory(dir.File("taken.csv"));
  EXPECT_EQ(Run("export " + logPath + " --out " + dir.File("taken.csv"), &out), 1);
  EXPECT_NE(Errors().find("cannot write"), std::string::npos);
  EXPECT_EQ(Run("export " + logPath + " --csv --text", &out), 2);
  EXPECT_EQ(Run("export", &out), 2);
}

// A drag run: five standing frames, then 10 pulses of 4004 a mile and
// 40 + n mph at the n-th frame of the pull, then standing again.
std::vector<std::uint8_t> DragLog() {
  std::vector<std::uint8_t> log;
  auto add = [&log](std::vector<std::uint8_t> frame) {
    std::vector<std::uint8_t> wire = test::WireFrame(frame);
    log.insert(log.end(), wire.begin(), wire.end());
  };
  for (int i = 0; i < 5; ++i) {
    std::vector<std::uint8_t> f = test::BaseFrame(65, 100);
    f[field::vehicleSpeed] = 0;
    add(f);
  }
  for (int n = 1; n <= 120; ++n) {
    std::vector<std::uint8_t> f = test::BaseFrame(65 + n / 17, (100 + 10 * n) % 256);
    f[field::vehicleSpeed] = static_cast<std::uint8_t>(40 + n);
    add(f);
  }
  for (int i = 0; i < 5; ++i) {
    std::vector<std::uint8_t> f = test::BaseFrame(73, (100 + 1200) % 256);
    f[field::vehicleSpeed] = 0;
    add(f);
  }
  return log;
}

TEST_F(ZrmtoolAnalysisTest, QuarterFromARowAndEveryRun) {
  test::WriteFileText(config, "[ID] ZRM Flash Vistrel Display\r\n[KPHORMPH] 0\r\n");
  test::WriteFileBytes(logPath, DragLog());
  // 13.187 ft a frame: 60 ft at n = 5, 330 ft at 26, 1/8 mile at 51 (trap
  // 46..51, 86..91 mph), 1/4 mile at 101 (trap 96..101, 136..141 mph),
  // 60 mph at 20.
  const std::string figures =
      "0-60 mph 1.176 sec\n60 foot 0.294 sec\n330 foot 1.529 sec\n1/8 mile 3.000 sec 88.5 mph\n"
      "1/4 mile 5.941 sec 138.5 mph\n";
  std::string out;
  ASSERT_EQ(Run("quarter " + logPath + " --row 4", &out), 0) << Errors();
  EXPECT_EQ(out, figures);
  out.clear();
  ASSERT_EQ(Run("quarter " + logPath + " --runs", &out), 0) << Errors();
  EXPECT_EQ(out, "run 4 0:01:05\n" + figures);
  // From the last row nothing is reached.
  out.clear();
  ASSERT_EQ(Run("quarter " + logPath + " --row 129", &out), 0) << Errors();
  EXPECT_EQ(out, "0-60 mph 0.000 sec\n60 foot 0.000 sec\n330 foot 0.000 sec\n1/8 mile 0.000 sec 0.0 mph\n"
                 "1/4 mile 0.000 sec 0.0 mph\n");
  EXPECT_EQ(Run("quarter " + logPath + " --row 130", &out), 1);
  EXPECT_NE(Errors().find("past the end"), std::string::npos);
  EXPECT_EQ(Run("quarter " + logPath + " --row -1", &out), 2);
  EXPECT_EQ(Run("quarter " + logPath + " --row 3 --runs", &out), 2);
}

}  // namespace
}  // namespace zrm
