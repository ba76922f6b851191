// The analysis display and the 1/4 Mile Graph in vistrel's window, offscreen:
// the controls, the table's row colours, selection by click and double click,
// Find Mark, Dump Log, the scroll keys and wheel, and the graph's traces and
// ticks, as a user drives them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "link/conversions.h"

#include "analysis_log_fixture.h"
#include "apps/vistrel/analysis_view.h"
#include "apps/vistrel/main_window.h"
#include "apps/vistrel/quarter_mile_window.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "scripted_services.h"
#include "shell/main_menu.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::PixelAt;

// Five standing frames, then a pull (10 pulses of 4004 a mile and 40 + n mph
// per frame); a marker before pull frame 20 and a time stamp before 40.
std::vector<std::uint8_t> DragLog() {
  std::vector<std::uint8_t> log;
  auto add = [&log](const std::vector<std::uint8_t>& frame, const std::string& before) {
    test::AppendText(log, before);
    std::vector<std::uint8_t> wire = test::WireFrame(frame);
    log.insert(log.end(), wire.begin(), wire.end());
  };
  for (int i = 0; i < 5; ++i) {
    std::vector<std::uint8_t> f = test::BaseFrame(60, 100);
    f[field::vehicleSpeed] = 0;
    add(f, "");
  }
  for (int n = 1; n <= 130; ++n) {
    std::vector<std::uint8_t> f = test::BaseFrame(60 + (n + 4) / 17, (100 + 10 * n) % 256);
    f[field::vehicleSpeed] = static_cast<std::uint8_t>(40 + n);
    add(f, n == 20 ? "MARK001TIME: 12/06/2026 - 06:21:10" : n == 40 ? "TIME: 12/06/2026 - 06:21:12" : "");
  }
  return log;
}

struct AnalysisFixture : ::testing::Test {
  test::TempDir dir;
  test::ScriptedServices services;
  QtServices windowServices;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] COM39\r\r\n");
    test::WriteFileBytes(dir.File("drag.dat"), DragLog());
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, windowServices);
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_ANALYSIS);
  }
  void TearDown() override {
    window->close();
    window.reset();
    app.reset();
  }
  AnalysisView& View() { return window->Analysis(); }
  QAbstractButton* Button(AnalysisControl id) { return qobject_cast<QAbstractButton*>(View().Control(id)); }
  void ViewDragLog() {
    services.choices.push_back(dir.File("drag.dat"));
    Button(AnalysisControl::ViewLog)->click();
  }
  QImage Shown() {
    test::Pump(50);
    return window->Surface().Image();
  }
  // The background of a table row, at the blank that starts its text.
  Colour RowShade(const QImage& image, int tableRow) { return PixelAt(image, 4, 104 + tableRow * 17 + 8); }
  void Save(const QImage& image, const char* name) {
    if (const char* folder = std::getenv("ZRM_SHOTS")) image.save(QString(folder) + "/" + name);
  }
  void SaveWindow(QWidget* widget, const char* name) {
    if (const char* folder = std::getenv("ZRM_SHOTS")) widget->grab().save(QString(folder) + "/" + name);
  }
};

TEST_F(AnalysisFixture, ControlsAtTheirPlaces) {
  struct Place {
    AnalysisControl id;
    QRect rect;
    const char* text;
  } places[] = {
      {AnalysisControl::ViewLog, {45, 30, 80, 30}, "View Log"},
      {AnalysisControl::DumpLog, {155, 30, 80, 30}, "Dump Log"},
      {AnalysisControl::SingleHeader, {243, 30, 120, 18}, "Single Header"},
      {AnalysisControl::CreateCsv, {243, 46, 120, 18}, "Create .csv"},
      {AnalysisControl::QuarterMile, {485, 30, 80, 30}, "1/4 Mile"},
      {AnalysisControl::FindMark, {595, 30, 80, 30}, "Find Mark"},
  };
  for (const Place& p : places) {
    ASSERT_NE(Button(p.id), nullptr) << p.text;
    EXPECT_EQ(Button(p.id)->geometry(), p.rect) << p.text;
    EXPECT_EQ(Button(p.id)->text(), p.text);
  }
  EXPECT_EQ(window->focusWidget(), Button(AnalysisControl::ViewLog));
  ASSERT_NE(View().ScrollBar(), nullptr);
  EXPECT_FALSE(View().ScrollBar()->isEnabled());
  // Without a log the two commands that need one say so.
  Button(AnalysisControl::QuarterMile)->click();
  Button(AnalysisControl::FindMark)->click();
  EXPECT_EQ(services.messages, (std::vector<std::string>{"No Data Log Opened: Please open a data log...",
                                                         "No Data Log Opened: Please open a data log..."}));
  // The boxes set their keys at once.
  Button(AnalysisControl::CreateCsv)->click();
  EXPECT_EQ(app->settings.analysisCsv, 1);
  // Leaving the display takes the controls away.
  window->SwitchDisplay(CMD_VISTREL);
  test::Pump(20);
  EXPECT_FALSE(View().IsOpen());
}

TEST_F(AnalysisFixture, RowColoursSelectionAndFindMark) {
  ViewDragLog();
  ASSERT_EQ(View().Table().Rows(), 135);
  EXPECT_EQ(View().LastProgressRange(), static_cast<int>(DragLog().size() / 4709));
  EXPECT_EQ(View().ScrollBar()->maximum(), 135 - 26);
  EXPECT_EQ(window->focusWidget(), View().ScrollBar());
  ASSERT_EQ(services.requests.size(), 1u);
  EXPECT_EQ(services.requests[0].title, "Select Data Log File to Analyze");
  EXPECT_EQ(app->settings.analysis.name, "drag.dat");

  QImage image = Shown();
  Save(image, "analysis_top.png");
  SaveWindow(window.get(), "analysis_window.png");
  // Rows 0-16 are 0:01:00 (even), rows 17-33 0:01:01 (odd).
  EXPECT_EQ(RowShade(image, 0), 0xF0F0F0u);
  EXPECT_EQ(RowShade(image, 16), 0xF0F0F0u);
  EXPECT_EQ(RowShade(image, 17), 0xDCDCDCu);
  EXPECT_EQ(RowShade(image, 24), 0x71F7F5u);  // the marker before pull frame 20 (view row 24)

  // Page down with the key: rows 26 on; the time stamp row 44 is table row 18.
  QTest::keyClick(View().ScrollBar(), Qt::Key_PageDown);
  EXPECT_EQ(View().Table().TopRow(), 26);
  image = Shown();
  EXPECT_EQ(RowShade(image, 18), 0x67F567u);

  // A click selects; the wheel scrolls one line per notch.
  QTest::mouseClick(window->SurfaceView(), Qt::LeftButton, {}, QPoint(200, 104 + 3 * 17 + 5));
  EXPECT_EQ(View().Table().SelectedRow(), 29);
  image = Shown();
  EXPECT_EQ(RowShade(image, 3), 0xF56767u);
  QWheelEvent wheel(QPointF(300, 300), QPointF(300, 300), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(window->SurfaceView(), &wheel);
  EXPECT_EQ(View().Table().TopRow(), 28);
  EXPECT_EQ(View().ScrollBar()->value(), 28);

  // Find Mark from the top: the marker, the time stamp, the selected row.
  QTest::keyClick(View().ScrollBar(), Qt::Key_Home);
  EXPECT_EQ(View().Table().TopRow(), 0);
  Button(AnalysisControl::FindMark)->click();
  EXPECT_EQ(View().Table().TopRow(), 24);
  Button(AnalysisControl::FindMark)->click();
  EXPECT_EQ(View().Table().TopRow(), 29);  // the selected row comes first
  Button(AnalysisControl::FindMark)->click();
  EXPECT_EQ(View().Table().TopRow(), 44);
  Button(AnalysisControl::FindMark)->click();
  EXPECT_EQ(services.messages.back(), "End of File Reached: Hit the Home key to start over at the beginning");
}

TEST_F(AnalysisFixture, QuarterMileGraphFromTheLaunchRow) {
  ViewDragLog();
  // A double click on the last standing row (view row 4) opens the graph from it.
  QTest::mouseDClick(window->SurfaceView(), Qt::LeftButton, {}, QPoint(200, 104 + 4 * 17 + 5));
  QuarterMileWindow* graph = View().Graph();
  ASSERT_TRUE(graph->IsOpen());
  EXPECT_EQ(graph->windowTitle(), "1/4 Mile Graph");
  EXPECT_EQ(View().Table().TopRow(), 4);
  const QuarterMileResults& r = graph->State().results;
  EXPECT_DOUBLE_EQ(r.sixtyFootTime, 5 / 17.0);
  EXPECT_DOUBLE_EQ(r.quarterMileTime, 101 / 17.0);
  EXPECT_DOUBLE_EQ(r.quarterMileSpeed, 138.5);
  EXPECT_TRUE(test::PumpUntil([&] { return PixelAt(graph->Surface().Image(), 112, 408) == TRACE_RPM; }));
  QImage plot = graph->Surface().Image();
  Save(plot, "quarter_graph.png");
  SaveWindow(graph, "quarter_window.png");
  // 3 pixels a frame: the marker (20 frames on) ticks at x 171, the time
  // stamp (40 on) at 231; 2000 RPM lies at y 408, 50 % TPS at 313.
  EXPECT_EQ(PixelAt(plot, 171, 490), 0x71F7F5u);
  EXPECT_EQ(PixelAt(plot, 231, 490), 0x67F567u);
  EXPECT_EQ(PixelAt(plot, 140, 313), TRACE_TPS);
  // The speed trace climbs: 41 mph a frame after launch, 3 px per mph.
  EXPECT_EQ(PixelAt(plot, 114, 504 - 123), TRACE_SPEED);

  // Dragging the cursor moves the readout to the row under it.
  QTest::mousePress(graph->Plot(), Qt::LeftButton, {}, QPoint(122, 300));
  QTest::mouseMove(graph->Plot(), QPoint(171, 300));
  QTest::mouseRelease(graph->Plot(), Qt::LeftButton, {}, QPoint(171, 300));
  EXPECT_EQ(graph->State().cursorX, 171);
  EXPECT_EQ(CursorRow(graph->State()), 24);

  // The graph's keys scroll the table and the launch row with it.
  QTest::keyClick(graph, Qt::Key_Down);
  EXPECT_EQ(View().Table().TopRow(), 5);
  EXPECT_EQ(graph->State().topRow, 5);
  EXPECT_EQ(graph->ScrollBar()->value(), 5);
  // From row 5 the car is already moving: 60 mph (41 + n) one frame sooner.
  EXPECT_DOUBLE_EQ(graph->State().results.zeroToSixtyTime, 19 / 17.0);

  // Closed and opened again: the same place.
  graph->move(40, 50);
  const QPoint place = graph->pos();
  graph->close();
  EXPECT_FALSE(graph->IsOpen());
  Button(AnalysisControl::QuarterMile)->click();
  EXPECT_TRUE(graph->IsOpen());
  EXPECT_EQ(graph->pos(), place);
}

TEST_F(AnalysisFixture, UnitChangeRebuildsTheViewKeepingTheSelection) {
  ViewDragLog();
  QTest::mouseClick(window->SurfaceView(), Qt::LeftButton, {}, QPoint(200, 104 + 7 * 17 + 5));
  ASSERT_EQ(View().Table().SelectedRow(), 7);
  // km/h from the preferences: row 10 (46 mph) reads 74 km/h afterwards.
  app->settings.speedInKph = 1;
  SetSpeedUnit(1);
  window->LayOutDisplays();
  SetSpeedUnit(0);
  ASSERT_EQ(View().Table().Rows(), 135);
  EXPECT_EQ(View().Table().SelectedRow(), 7);
  char record[VIEW_RECORD_SIZE];
  ASSERT_EQ(View().Table().View()->Read(10, record), 0);
  EXPECT_EQ(std::string(record + VIEW_COL_SPEED, 3), " 74");
  ASSERT_EQ(View().Table().View()->Read(7, record), 0);
  EXPECT_EQ(record[0], ROW_SELECTED);
}

TEST_F(AnalysisFixture, DumpLogWritesBesideTheLog) {
  Button(AnalysisControl::CreateCsv)->click();
  services.choices.push_back(dir.File("drag.dat"));
  Button(AnalysisControl::DumpLog)->click();
  ASSERT_EQ(services.requests.back().title, "Select Data Log File to Create Dump From");
  const std::string csv = test::ReadFileText(dir.File("drag.csv"));
  EXPECT_EQ(csv.rfind("RUNTIME,RPM,MPH,", 0), 0u) << csv.substr(0, 80);
  EXPECT_NE(csv.find("Marker: 001 @  12/06/2026 - 06:21:10\r\n"), std::string::npos);
  EXPECT_EQ(window->focusWidget(), Button(AnalysisControl::DumpLog));
  // Unchecked: the text dump.
  Button(AnalysisControl::CreateCsv)->click();
  services.choices.push_back(dir.File("drag.dat"));
  Button(AnalysisControl::DumpLog)->click();
  EXPECT_TRUE(std::filesystem::exists(dir.File("drag.ZRM")));
  // A log that cannot be read.
  services.choices.push_back(dir.File("gone.dat"));
  Button(AnalysisControl::DumpLog)->click();
  EXPECT_EQ(services.messages.back(), "File Open Error: Can not open Data Log File");
}

}  // namespace
}  // namespace zrm
