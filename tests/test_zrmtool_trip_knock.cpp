// zrmtool trip and zrmtool knock end to end: small logs built byte by byte,
// run through the program, and compared with results worked out from the
// trip computer's and knock map's formulas by hand (shown beside each).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

#ifdef ZRMTOOL_PATH

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Quote(const std::string& s) { return test::ShellQuote(s); }

// A payload with the engine flag, 100 s of run time and more, 8 cylinders,
// a 1-bar sensor and firmware 2.2; the rest is set per frame.
Bytes BasePayload(int index) {
  Bytes p(273, 0);
  p[1] = 0x80;  // statusByte1: engine running
  const int run = 100 + index / 17;
  p[235] = static_cast<std::uint8_t>(run >> 8);
  p[236] = static_cast<std::uint8_t>(run & 0xFF);
  p[204] = 0x08;  // 8 cylinders, throttle body, 1-bar
  p[54] = 0x02;   // firmware 2.2
  return p;
}

void SetRpm3000(Bytes& p) {
  p[31] = 1;    // rpmLow not 0: the byte encodings
  p[27] = 208;  // 208 x 12.5 + 400 = 3000
}

// 200 frames at 3000 RPM; the speed counter advances 200 and the pulse-width
// accumulator 90 per frame (both wrap at 256), BPC 0x2A80 (43), flow
// constant 144, 460 for 920920 / 460 = 2002 pulses per mile. A recording
// head and a time stamp between two frames are in the file as in a real log.
Bytes TripLog() {
  Bytes log;
  test::AppendText(log, "TIME:  01/02/2024 - 10:00:00[ID] ZRM Flash Vistrel Display\r\n");
  for (int i = 1; i <= 200; ++i) {
    Bytes p = BasePayload(i);
    SetRpm3000(p);
    p[106] = 0x2A;
    p[107] = 0x80;
    p[249] = 144;
    p[127] = 460 >> 8;
    p[128] = 460 & 0xFF;
    p[166] = static_cast<std::uint8_t>((i * 200) & 0xFF);
    p[241] = static_cast<std::uint8_t>((i * 90) & 0xFF);
    const Bytes wire = test::WireFrame(p);
    log.insert(log.end(), wire.begin(), wire.end());
    if (i == 120) test::AppendText(log, "TIME:  01/02/2024 - 10:00:07");
  }
  return log;
}

class ZrmtoolTripKnock : public ::testing::Test {
 protected:
  std::string Run(const std::string& args, int* status = nullptr) {
    std::string out;
    const int rc = test::RunCommand(Quote(ZRMTOOL_PATH) + " " + args + " 2>/dev/null", &out);
    if (status) *status = rc;
    return out;
  }
  std::string Config(const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    test::WriteFileText(path, text);
    return path;
  }
  test::TempDir dir;
};

TEST_F(ZrmtoolTripKnock, TripOfAKnownLog) {
  const std::string log = dir.File("trip.dat");
  test::WriteFileBytes(log, TripLog());
  const std::string config = Config("plain.cfg", "[UPDATERATE] 0\r\n");
  int status = -1;
  const std::string out = Run("trip " + Quote(log) + " --config " + Quote(config), &status);
  EXPECT_EQ(status, 0);
  // The engine is confirmed running on frame 35; the trip computer ignores
  // frames 1-5, fills its history with 6-74 and accumulates 75-200: 126
  // frames of 200 pulses and 90 counts, each count plus (3000 / 2400 - 1) x 90
  // = 22.5 for 8 cylinders above 2400 RPM.
  //   [TOTALVSS] = 126 x 200 = 25200, [TOTALPW] = 126 x 112.5 = 14175
  //   miles 25200 / 2002 = 12.587 -> 126 tenths; gallons 14175 x 0.00390630961
  //   x 144 / 14400 = 0.55372 -> 55 hundredths; average 12.587 / 0.55372 x 10
  //   + 0.5 = 227.8 -> 227 tenths
  //   instant over the last 67 intervals: (13400 / 2002) / (7537.5 x
  //   0.00390630961 x 0.01) + 0.5 = 23.23 -> 23
  EXPECT_EQ(out,
            "instant 23 mpg\n"
            "average 22.7 mpg\n"
            "distance 12.6 mi\n"
            "fuel 0.55 gal\n"
            "totals vss 25200.000000 pw 14175.000000\n");
}

TEST_F(ZrmtoolTripKnock, TripMetricFromSavedTotals) {
  const std::string log = dir.File("trip.dat");
  test::WriteFileBytes(log, TripLog());
  const std::string config = Config("metric.cfg",
                                    "[KPHORMPH] 1\r\n[SAVETRIP] 1\r\n[TOTALPW] 100000.000000\r\n"
                                    "[TOTALVSS] 2002000.000000\r\n");
  const std::string out = Run("trip " + Quote(log) + " --config " + Quote(config));
  // Totals 2027200 and 114175: 1012.587 miles -> 10126 tenths, x 1.609344 =
  // 16296 tenths of a km: above 9999, whole km without the point, 1629.
  // 4.46003 gal -> 446 hundredths, x 3.785 = 1688 (16.88 L). Average
  // 1012.587 / 4.46003 x 10 + 0.5 -> 2270 tenths of MPG, x 1.609344 / 3.785 =
  // 965 (96.5 km/L). Instant 23.23 x 1.609344 / 3.785 = 9.88 -> 9 km/L.
  EXPECT_EQ(out,
            "instant 9 km/L\n"
            "average 96.5 km/L\n"
            "distance 1629 km\n"
            "fuel 16.88 L\n"
            "totals vss 2027200.000000 pw 114175.000000\n");
}

// 100 frames, 1-bar: 2500 RPM at 72 kPa (mapGauge 166) with the knock
// counter at 1000, then
//   frame 50: 1126 (2 events), retard byte 57 -> 1001 + 50 = 1051
//   frame 60: 1315 (3 events), retard byte 114 -> 2003 + 50 = 2053
//   frame 80: 1630 (5 events), retard 0, 6000 RPM at 20 kPa
// The first two land in row 12 (2800), column 6 (70): Counts 500, Average
// (1051 + 2053) >> 1 = 1552, Peak 2053, Total 3104; the third in row 20
// (6000), column 1 (20): Counts 500 only.
Bytes KnockLog() {
  Bytes log;
  for (int i = 1; i <= 100; ++i) {
    Bytes p = BasePayload(i);
    int counter = 1000;
    if (i >= 50) counter = 1126;
    if (i >= 60) counter = 1315;
    if (i >= 80) counter = 1630;
    p[115] = static_cast<std::uint8_t>(counter >> 8);
    p[116] = static_cast<std::uint8_t>(counter & 0xFF);
    if (i == 50) p[119] = 57;
    if (i == 60) p[119] = 114;
    p[31] = 1;
    if (i == 80) {
      p[27] = 255;  // rpmFine x 25 = 6000
      p[28] = 240;
      p[38] = 0;
    } else {
      p[27] = 168;  // 168 x 12.5 + 400 = 2500
      p[38] = 166;  // 71.875 kPa, rounds to 72
    }
    const Bytes wire = test::WireFrame(p);
    log.insert(log.end(), wire.begin(), wire.end());
  }
  return log;
}

std::string Row(const std::string& label, const std::vector<std::string>& cells) {
  std::string row = label + "  ";
  for (const std::string& c : cells) row += c;
  while (!row.empty() && row.back() == ' ') row.pop_back();
  return row;
}

std::string StandardMap(const std::string& title, int row12col6, int row20col1) {
  static const int rpm[21] = {400,  600,  800,  1000, 1200, 1400, 1600, 1800, 2000, 2200, 2400,
                              2800, 3200, 3600, 4000, 4400, 4800, 5200, 5600, 6000, 6375};
  std::string out = title + "\nRPM/MAP 20  30  40  50  60  70  75  80  85  90  95 100\n";
  for (int r = 1; r <= 21; ++r) {
    std::vector<std::string> cells(12, "  . ");
    char text[8];
    if (r == 12 && row12col6 >= 0) {
      std::snprintf(text, sizeof text, "%3d ", row12col6);
      cells[5] = text;
    }
    if (r == 20 && row20col1 >= 0) {
      std::snprintf(text, sizeof text, "%3d ", row20col1);
      cells[0] = text;
    }
    char label[8];
    std::snprintf(label, sizeof label, "%4d", rpm[r - 1]);
    out += Row(label, cells) + "\n";
  }
  return out;
}

TEST_F(ZrmtoolTripKnock, KnockViewsOfAKnownLog) {
  const std::string log = dir.File("knock.dat");
  test::WriteFileBytes(log, KnockLog());
  const std::string config = Config("plain.cfg", "[UPDATERATE] 0\r\n");
  const std::string base = "knock " + Quote(log) + " --config " + Quote(config);
  int status = -1;
  EXPECT_EQ(Run(base, &status), StandardMap("Average Spark Retard in Degrees", 15, -1) + "events 10\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Run(base + " --view peak"), StandardMap(" Peak Spark Retard in Degrees", 20, -1) + "events 10\n");
  EXPECT_EQ(Run(base + " --view total --grid standard"),
            StandardMap(" Total Spark Retard in Degrees", 31, -1) + "events 10\n");
  EXPECT_EQ(Run(base + " --view counts"), StandardMap("     Total Knock in Counts", 5, 5) + "events 10\n");

  std::string boost = "     Total Knock in Counts\nRPM/MAP 100 110 120 130 140 150 160 170 180 190 200\n";
  static const int rpm[17] = {0, 400, 800, 1200, 1600, 2000, 2400, 2800, 3200, 3600, 4000, 4400, 4800, 5200, 5600,
                              6000, 6375};
  for (int r : rpm) {
    char label[8];
    std::snprintf(label, sizeof label, "%4d", r);
    boost += Row(label, std::vector<std::string>(11, "  . ")) + "\n";
  }
  EXPECT_EQ(Run(base + " --grid boost --view counts"), boost + "events 10\n");
}

TEST_F(ZrmtoolTripKnock, BadArguments) {
  const std::string log = dir.File("knock.dat");
  test::WriteFileBytes(log, KnockLog());
  int status = 0;
  Run("knock " + Quote(log) + " --view sideways", &status);
  EXPECT_EQ(status, 2);
  Run("knock " + Quote(log) + " --grid", &status);
  EXPECT_EQ(status, 2);
  Run("knock", &status);
  EXPECT_EQ(status, 2);
  Run("trip " + Quote(log) + " extra", &status);
  EXPECT_EQ(status, 2);
  Run("trip " + Quote(dir.File("missing.dat")), &status);
  EXPECT_EQ(status, 1);
  Run("knock " + Quote(dir.path()), &status);  // a folder is not a log
  EXPECT_EQ(status, 1);
  Run("trip " + Quote(log) + " --config " + Quote(dir.File("none.cfg")), &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace zrm

#endif  // ZRMTOOL_PATH
