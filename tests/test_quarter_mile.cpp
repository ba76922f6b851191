// Drag-strip figures from hand-made view records: pulses, pulses per mile and
// speed are all the computation reads, so each record carries just those (and
// a run time) in their columns.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analysis/quarter_mile.h"
#include "test_support.h"

namespace zrm {
namespace {

struct Row {
  int pulses;  // the rolling 8-bit count
  int ppm;
  int speed;
  char kind = ROW_NORMAL;
};

// A record with the pulse count at column 1, pulses per mile at 5-10, the run
// time at 12, RPM at 20 and the speed at 25; blanks elsewhere.
std::string Record(const Row& row, int index) {
  char text[128];
  std::snprintf(text, sizeof text, "%c%3d %6d 0:%02d:%02d %4d %3d ", row.kind, row.pulses, row.ppm, index / 60 % 60,
                index % 60, 2000, row.speed);
  std::string r(text);
  r.resize(VIEW_RECORD_SIZE - 2, ' ');
  return r + "\r\n";
}

class QuarterMileTest : public ::testing::Test {
 protected:
  void Load(const std::vector<Row>& rows) {
    ASSERT_EQ(view.Create(dir.path() + "/"), 0);
    for (std::size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(view.Append(Record(rows[i], static_cast<int>(i)).c_str()), 0);
  }
  test::TempDir dir;
  ViewFile view;
};

// A steady pull: `step` pulses per record (8-bit count), speed start + n.
std::vector<Row> Pull(int records, int step, int ppm, int startSpeed, int firstCount = 0) {
  std::vector<Row> rows;
  for (int n = 0; n <= records; ++n) rows.push_back({(firstCount + n * step) % 256, ppm, n == 0 ? 0 : startSpeed + n});
  return rows;
}

TEST_F(QuarterMileTest, SixtyFootAtFortySixPulsesOf4004) {
  // 5280 / 4004 x 45 = 59.34 ft, x 46 = 60.66 ft: the 46th record passes.
  Load(Pull(80, 1, 4004, 10));
  const QuarterMileResults r = ComputeQuarterMile(view, 0, 0);
  EXPECT_DOUBLE_EQ(r.sixtyFootTime, 46 / 17.0);
  EXPECT_DOUBLE_EQ(r.zeroToSixtyTime, 50 / 17.0);  // 10 + 50 mph
  EXPECT_EQ(r.threeThirtyFootTime, 0.0);           // 80 pulses are 105.5 ft
}

TEST_F(QuarterMileTest, WholeQuarterWithTrapsAndTheRollingCount) {
  // 10 pulses of 4004 a mile per record: 13.187 ft. Speeds 41, 42, ... mph.
  //   60 ft:   n = 5 (65.9 ft)          330 ft: n = 26 (342.9; n = 25 is 329.7)
  //   1/8 trap from 594 ft: n = 46;     1/8 mile (660 ft): n = 51, mean of 86..91 = 88.5
  //   1/4 trap from 1254 ft: n = 96;    1/4 mile (1320 ft): n = 101, mean of 136..141 = 138.5
  //   0-60 mph: n = 20
  // The count wraps at 256 about every 26 records.
  Load(Pull(130, 10, 4004, 40));
  const QuarterMileResults r = ComputeQuarterMile(view, 0, 0);
  EXPECT_DOUBLE_EQ(r.zeroToSixtyTime, 20 / 17.0);
  EXPECT_DOUBLE_EQ(r.sixtyFootTime, 5 / 17.0);
  EXPECT_DOUBLE_EQ(r.threeThirtyFootTime, 26 / 17.0);
  EXPECT_DOUBLE_EQ(r.eighthMileTime, 51 / 17.0);
  EXPECT_DOUBLE_EQ(r.eighthMileSpeed, 88.5);
  EXPECT_DOUBLE_EQ(r.quarterMileTime, 101 / 17.0);
  EXPECT_DOUBLE_EQ(r.quarterMileSpeed, 138.5);
  EXPECT_EQ(r.startTime, "0:00:00");
}

TEST_F(QuarterMileTest, LaunchFromALaterRowCountsFromThere) {
  // Ten rows of cruising first; from row 10 the same pull as above.
  std::vector<Row> rows;
  for (int i = 0; i < 10; ++i) rows.push_back({(i * 37) % 256, 4004, 70});
  for (const Row& row : Pull(130, 10, 4004, 40, 200)) rows.push_back(row);
  Load(rows);
  const QuarterMileResults r = ComputeQuarterMile(view, 10, 0);
  EXPECT_DOUBLE_EQ(r.sixtyFootTime, 5 / 17.0);
  EXPECT_DOUBLE_EQ(r.quarterMileTime, 101 / 17.0);
  EXPECT_DOUBLE_EQ(r.quarterMileSpeed, 138.5);
  EXPECT_EQ(r.startTime, "0:00:10");
  // From row 0 the cruise counts: 0-60 at once.
  EXPECT_DOUBLE_EQ(ComputeQuarterMile(view, 0, 0).zeroToSixtyTime, 1 / 17.0);
}

TEST_F(QuarterMileTest, CountFrom250To4AddsTen) {
  // 5280 pulses a mile: one foot per pulse. 250 -> 4 is 10 pulses; the total
  // first passes 60 at the 7th record (70 ft).
  Load({{250, 5280, 0}, {4, 5280, 5}, {14, 5280, 5}, {24, 5280, 5}, {34, 5280, 5}, {44, 5280, 5}, {54, 5280, 5},
        {64, 5280, 5}});
  EXPECT_DOUBLE_EQ(ComputeQuarterMile(view, 0, 0).sixtyFootTime, 7 / 17.0);
}

TEST_F(QuarterMileTest, KilometresPerHour) {
  // 96 km/h is short of 60 mph (96.56064), 100 passes; 161 km/h in the trap
  // is 100.04 mph. 50 ft a record: trap from n = 12, 1/8 mile at n = 14.
  std::vector<Row> rows = {{0, 5280, 0}, {50, 5280, 96}, {100, 5280, 100}};
  for (int n = 3; n <= 30; ++n) rows.push_back({(n * 50) % 256, 5280, 161});
  Load(rows);
  const QuarterMileResults r = ComputeQuarterMile(view, 0, 1);
  EXPECT_DOUBLE_EQ(r.zeroToSixtyTime, 2 / 17.0);
  EXPECT_DOUBLE_EQ(r.eighthMileTime, 14 / 17.0);
  EXPECT_NEAR(r.eighthMileSpeed, 161 / 1.609344, 1e-9);
  char shown[16];
  std::snprintf(shown, sizeof shown, "%3.0f", r.eighthMileSpeed);
  EXPECT_STREQ(shown, "100");
  // Read as mph the same records pass 60 at the first one.
  EXPECT_DOUBLE_EQ(ComputeQuarterMile(view, 0, 0).zeroToSixtyTime, 1 / 17.0);
}

TEST_F(QuarterMileTest, LogEndingAtAThousandFeet) {
  std::vector<Row> rows;
  for (int n = 0; n <= 20; ++n) rows.push_back({(n * 50) % 256, 5280, n == 0 ? 0 : 70});
  Load(rows);
  const QuarterMileResults r = ComputeQuarterMile(view, 0, 0);
  EXPECT_DOUBLE_EQ(r.eighthMileTime, 14 / 17.0);
  EXPECT_DOUBLE_EQ(r.eighthMileSpeed, 70.0);
  EXPECT_EQ(r.quarterMileTime, 0.0);
  EXPECT_EQ(r.quarterMileSpeed, 0.0);
}

TEST_F(QuarterMileTest, ZeroPulsesPerMileLeavesTheDistance) {
  // The second record has no calibration: its 40 pulses count, but the
  // distance stays at 30 ft until a calibrated record: 70 ft at the third.
  Load({{0, 5280, 0}, {30, 5280, 20}, {70, 0, 20}, {70, 5280, 20}});
  EXPECT_DOUBLE_EQ(ComputeQuarterMile(view, 0, 0).sixtyFootTime, 3 / 17.0);
}

TEST_F(QuarterMileTest, LaunchRowOutsideTheView) {
  Load(Pull(10, 10, 4004, 40));
  const QuarterMileResults r = ComputeQuarterMile(view, 11, 0);
  EXPECT_EQ(r.sixtyFootTime, 0.0);
  EXPECT_EQ(r.startTime, "");
  // The last row has nothing after it.
  EXPECT_EQ(ComputeQuarterMile(view, 10, 0).sixtyFootTime, 0.0);
}

TEST_F(QuarterMileTest, FindsEveryLaunchFromAStandstill) {
  std::vector<Row> rows;
  auto stand = [&rows](int records) {
    const int count = rows.empty() ? 0 : rows.back().pulses;
    for (int i = 0; i < records; ++i) rows.push_back({count, 4004, 0});
  };
  auto pull = [&rows](int records, int topSpeed) {
    int count = rows.back().pulses;
    for (int i = 1; i <= records; ++i) {
      count = (count + 7) % 256;
      rows.push_back({count, 4004, std::min(topSpeed, i * 3)});
    }
  };
  stand(5);
  pull(40, 90);  // launch at row 4, reaches 60
  stand(5);      // a standstill
  pull(12, 90);  // launch at row 49, never reaches 60 (36 mph)
  stand(5);
  pull(40, 90);  // launch at row 66
  Load(rows);
  EXPECT_EQ(FindLaunches(view, 0), (std::vector<long>{4, 66}));
  // In km/h terms the speeds are low: nothing reaches 96.56.
  EXPECT_TRUE(FindLaunches(view, 1).empty());
}

}  // namespace
}  // namespace zrm
