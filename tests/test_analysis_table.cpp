// The analysis table's state and drawing (rows, colours, scrolling, the
// selection kept in the view file, "Find Mark") and the quarter-mile graph's
// pixel rules and traces, on recording canvases.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analysis/analysis_table.h"
#include "analysis/quarter_graph.h"
#include "recording_canvas.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::DrawnLine;
using test::DrawnText;
using test::RecordingCanvas;

// A record: kind, pulses, run time 0:mm:ss from `second`, RPM, speed, TPS
// at 33, O2 at 45 and AFR at 96.
std::string Record(char kind, int second, int rpm = 2000, int speed = 30, int pulses = 0) {
  char text[160];
  std::snprintf(text, sizeof text, "%c%3d %6d 0:%02d:%02d %4d %3d %3d %3d %3d %3d %4d ", kind, pulses, 4004,
                second / 60 % 60, second % 60, rpm, speed, 50, 40, 80, 20, 442);
  std::string r(text);
  r.resize(96, ' ');
  r += "14.7 ";
  r.resize(VIEW_RECORD_SIZE - 2, ' ');
  return r + "\r\n";
}

class AnalysisTableTest : public ::testing::Test {
 protected:
  // Rows of `count` records, 17 a second; markers and stamps where given.
  void Load(long count, const std::vector<std::pair<long, char>>& kinds = {}) {
    ASSERT_EQ(view.Create(dir.path() + "/"), 0);
    for (long i = 0; i < count; ++i) {
      char kind = ROW_NORMAL;
      for (auto [row, k] : kinds)
        if (row == i) kind = k;
      ASSERT_EQ(view.Append(Record(kind, static_cast<int>(i / 17), 2000, 30, static_cast<int>(i % 256)).c_str()), 0);
    }
    table.Attach(&view);
  }
  char KindOf(long row) {
    char record[VIEW_RECORD_SIZE];
    EXPECT_EQ(view.Read(row, record), 0);
    return record[0];
  }
  test::TempDir dir;
  ViewFile view;
  AnalysisTable table;
};

TEST(RowColours, ByKindAndBySecond) {
  EXPECT_EQ(RowColour(Record(ROW_NORMAL, 64).c_str()), 0xF0F0F0u);  // 0:01:04, even
  EXPECT_EQ(RowColour(Record(ROW_NORMAL, 65).c_str()), 0xDCDCDCu);
  EXPECT_EQ(RowColour(Record(ROW_MARKER, 65).c_str()), 0x71F7F5u);
  EXPECT_EQ(RowColour(Record(ROW_STAMP, 65).c_str()), 0x67F567u);
  EXPECT_EQ(RowColour(Record(ROW_SELECTED, 65).c_str()), 0xF56767u);
}

TEST(TableHeader, UnitsInTheLowerLine) {
  EXPECT_EQ(TableHeaderLower(1, 0),
            " h:mm:ss  RPM KPH KPa   %  \xB0" "F  \xB0" "F   mV Sec  \xB0   mS   mS   %   DE  DC  LN INT BLM IAC  AFR    mS");
  EXPECT_EQ(TableHeaderLower(0, 1).substr(0, 17), " h:mm:ss  RPM MPH");
}

TEST_F(AnalysisTableTest, ScrollRangeAndMoves) {
  Load(100);
  EXPECT_EQ(table.ScrollMax(), 74);  // range 0..99, page 26
  struct Step {
    ScrollRequest request;
    long track;
    long top;
  } steps[] = {
      {ScrollRequest::LineUp, 0, 0},     {ScrollRequest::LineDown, 0, 1}, {ScrollRequest::PageDown, 0, 27},
      {ScrollRequest::PageDown, 0, 53},  {ScrollRequest::PageDown, 0, 74}, {ScrollRequest::LineDown, 0, 74},
      {ScrollRequest::EndScroll, 0, 74}, {ScrollRequest::PageUp, 0, 48},  {ScrollRequest::Track, 10, 10},
      {ScrollRequest::Bottom, 0, 74},    {ScrollRequest::Top, 0, 0},
  };
  for (const Step& s : steps) {
    table.Scroll(s.request, s.track);
    EXPECT_EQ(table.TopRow(), s.top) << static_cast<int>(s.request);
    EXPECT_EQ(table.ScrollPosition(), s.top);
  }
}

TEST_F(AnalysisTableTest, ClickSelectsAndBelowTheLastRowClears) {
  Load(10, {{3, ROW_MARKER}});
  // Row 3 is at y 104 + 3 x 17 = 155..171.
  EXPECT_TRUE(table.Click(100, 160, 103, 163));
  EXPECT_EQ(table.SelectedRow(), 3);
  EXPECT_EQ(KindOf(3), ROW_SELECTED);
  // Moved 5 pixels: not a click.
  EXPECT_FALSE(table.Click(100, 130, 105, 130));
  EXPECT_EQ(table.SelectedRow(), 3);
  // Another row: the marker's kind comes back.
  EXPECT_TRUE(table.Click(100, 130, 100, 130));
  EXPECT_EQ(table.SelectedRow(), 1);
  EXPECT_EQ(KindOf(3), ROW_MARKER);
  EXPECT_EQ(KindOf(1), ROW_SELECTED);
  // Below the last of ten rows: no selection, and no "9" left in the file.
  EXPECT_TRUE(table.Click(100, 104 + 12 * 17, 100, 104 + 12 * 17));
  EXPECT_EQ(table.SelectedRow(), -1);
  EXPECT_EQ(KindOf(1), ROW_NORMAL);
  // Outside the text area nothing happens.
  EXPECT_FALSE(table.Click(780, 200, 780, 200));
  EXPECT_EQ(table.RowAt(10, 546), 25);  // the bottom edge still belongs to row 25
}

TEST_F(AnalysisTableTest, FindMarkStopsAtMarksStampsAndTheSelection) {
  Load(200, {{0, ROW_STAMP}, {40, ROW_MARKER}, {90, ROW_STAMP}});
  table.Select(120);
  EXPECT_EQ(table.FindNextMark(), FindMarkResult::Found);
  EXPECT_EQ(table.TopRow(), 40);
  EXPECT_EQ(table.FindNextMark(), FindMarkResult::Found);
  EXPECT_EQ(table.TopRow(), 90);
  EXPECT_EQ(table.FindNextMark(), FindMarkResult::Found);
  EXPECT_EQ(table.TopRow(), 120);
  EXPECT_EQ(table.FindNextMark(), FindMarkResult::EndOfFile);  // nothing after 120
  table.Scroll(ScrollRequest::Bottom);
  EXPECT_EQ(table.FindNextMark(), FindMarkResult::EndOfFile);  // the last page
  AnalysisTable none;
  EXPECT_EQ(none.FindNextMark(), FindMarkResult::NoLog);
}

TEST_F(AnalysisTableTest, PaintsTwentySixRowsFromColumnEleven) {
  Load(30, {{5, ROW_MARKER}});
  table.Scroll(ScrollRequest::LineDown);
  RecordingCanvas canvas;
  table.Paint(canvas, "a_rather_long_log_file_name_of_40_chars.dat", 0, 1);
  const DrawnText* name = canvas.TextAt(20, 8);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->text, "a_rather_long_log_file_name_of");  // 30 characters
  ASSERT_NE(canvas.TextAt(3, 70), nullptr);
  ASSERT_NE(canvas.TextAt(3, 84), nullptr);
  // Row 0 of the table is view row 1: 0:00:00, even second.
  const DrawnText* first = canvas.TextAt(3, 104);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text, Record(ROW_NORMAL, 0, 2000, 30, 1).substr(11, 96));
  EXPECT_EQ(first->back, 0xF0F0F0u);
  EXPECT_EQ(canvas.TextAt(3, 104 + 4 * 17)->back, 0x71F7F5u);  // view row 5
  EXPECT_EQ(canvas.TextAt(3, 104 + 15 * 17)->back, 0xF0F0F0u);  // view row 16, 0:00:00
  EXPECT_EQ(canvas.TextAt(3, 104 + 16 * 17)->back, 0xDCDCDCu);  // view row 17, 0:00:01
}

TEST_F(AnalysisTableTest, ShortViewLeavesBlankRows) {
  Load(3);
  RecordingCanvas canvas;
  table.PaintRows(canvas);
  EXPECT_EQ(canvas.TextAt(3, 104 + 2 * 17)->text.substr(0, 8), " 0:00:00");
  EXPECT_EQ(canvas.TextAt(3, 104 + 3 * 17)->text, std::string(96, ' '));
  EXPECT_EQ(canvas.TextAt(3, 104 + 3 * 17)->back, COLOUR_BACKGROUND);
}

TEST(QuarterGraphRules, PixelsPerFrameAndHeights) {
  EXPECT_EQ(PixelsPerFrame(13.3), 3);
  EXPECT_EQ(PixelsPerFrame(226 / 17.0), 3);  // 13.29 s
  EXPECT_EQ(PixelsPerFrame(227 / 17.0), 2);  // 13.35 s
  EXPECT_EQ(PixelsPerFrame(13.4), 2);
  EXPECT_EQ(PixelsPerFrame(0.0), 3);          // not reached
  EXPECT_EQ(PlotY(RpmHeight(2000)), 504 - 96);
  EXPECT_EQ(PlotY(SpeedHeight(130, 0)), 504 - 381);           // held at 127 mph
  EXPECT_EQ(PlotY(SpeedHeight(210, 1)), 504 - 379);           // held at 204 km/h: 379.44
  EXPECT_EQ(PlotY(WidebandHeight(9.0)), 504);                 // held at 10
  EXPECT_EQ(PlotY(WidebandHeight(14.7)), 504 - 180);          // 4.7 x 38.2 = 179.54
  EXPECT_EQ(PlotY(NarrowBandHeight(1200)), 504 - 382);        // held at 1000 mV
  EXPECT_EQ(PlotY(TpsHeight(50)), 504 - 191);
}

class QuarterGraphPaint : public AnalysisTableTest {
 protected:
  int Count(const RecordingCanvas& canvas, Colour colour, int* lastX) {
    int n = 0;
    for (const DrawnLine& line : canvas.lines)
      if (line.colour == colour) {
        ++n;
        *lastX = line.x2;
      }
    return n;
  }
};

TEST_F(QuarterGraphPaint, ThreeOrTwoPixelsAFrameAndTheTimeScale) {
  Load(400);
  QuarterGraphState state;
  state.fileName = "run.dat";
  state.results.quarterMileTime = 13.3;
  state.topRow = 2;
  RecordingCanvas fast;
  PaintQuarterGraph(fast, view, state);
  int lastX = 0;
  // Steps of 3 from x 111 while x is below 787: 226 segments per trace.
  EXPECT_EQ(Count(fast, TRACE_RPM, &lastX), 226);
  EXPECT_EQ(lastX, 789);
  int labels = 0;
  for (const DrawnText& t : fast.texts) labels += t.y == 530 ? 1 : 0;
  EXPECT_EQ(labels, 14);
  ASSERT_NE(fast.TextAt(111 + 13 * 51, 530), nullptr);
  EXPECT_EQ(fast.TextAt(111 + 13 * 51, 530)->text, "13");
  // The cursor readout shows row 2 + (122 - 111) / 3 = 5.
  EXPECT_EQ(fast.TextAt(734, 90)->text, "0:00:00");
  EXPECT_EQ(fast.TextAt(705, 10)->text, "2000");
  EXPECT_EQ(fast.TextAt(705, 50)->text, " 442");  // narrow band without a wideband channel

  state.results.quarterMileTime = 13.4;
  state.wideband = true;
  RecordingCanvas slow;
  PaintQuarterGraph(slow, view, state);
  EXPECT_EQ(Count(slow, TRACE_RPM, &lastX), 339);  // steps of 2 while x is below 788
  EXPECT_EQ(lastX, 789);
  labels = 0;
  for (const DrawnText& t : slow.texts) labels += t.y == 530 ? 1 : 0;
  EXPECT_EQ(labels, 21);
  EXPECT_EQ(slow.TextAt(705, 50)->text, "14.7");
  EXPECT_EQ(slow.TextAt(20, 50)->text, "O2 WB AFR");
  // Every RPM segment lies at 2000 RPM: y 408.
  for (const DrawnLine& line : slow.lines)
    if (line.colour == TRACE_RPM) {
      EXPECT_EQ(line.y1, 408);
    }
}

TEST_F(QuarterGraphPaint, ResultsAndTheReadoutPastTheEnd) {
  Load(5);
  QuarterGraphState state;
  state.results.zeroToSixtyTime = 4.647;
  state.results.eighthMileSpeed = 100.04;
  state.results.startTime = "0:01:05";
  state.cursorX = 792;  // row (792 - 111) / 3 = 227: past the end
  RecordingCanvas canvas;
  PaintQuarterGraph(canvas, view, state);
  EXPECT_EQ(canvas.TextAt(299, 40)->text, " 4.6 sec.");
  EXPECT_EQ(canvas.TextAt(299, 60)->text, " 0.0 sec.");
  EXPECT_EQ(canvas.TextAt(441, 60)->text, "100 mph");
  EXPECT_EQ(canvas.TextAt(591, 60)->text, "  0 mph");
  EXPECT_EQ(canvas.TextAt(82, 552)->text, "0:01:05");
  EXPECT_EQ(canvas.TextAt(734, 90), nullptr);
}

}  // namespace
}  // namespace zrm
