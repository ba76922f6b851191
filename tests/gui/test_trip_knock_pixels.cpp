// The trip computer and the spark-knock map painted on the retained surface,
// checked by pixel (a digit's cells, the distance point, the PE box, the
// highlighted knock cell), and their controls in the main window (positions,
// clicks, the totals saved with the configuration, keys passed on).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

#include "apps/vistrel/knock_view.h"
#include "apps/vistrel/main_window.h"
#include "apps/vistrel/trip_view.h"
#include "displays/gauge_display.h"
#include "displays/knock_map.h"
#include "displays/trip_computer.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "link/runtime_frame.h"
#include "shell/main_menu.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PixelAt;

constexpr Colour INK = COLOUR_TEXT;
constexpr Colour PAPER = COLOUR_BACKGROUND;

// The centre of character cell (column, row) of a glyph at (x, y), moved
// `dy` pixels down from the cell's top.
struct Cell {
  int x, y;
};
Cell CellAt(int x, int y, int column, int row, int dy = 6) { return {x + column * 8 + 4, y + row * 12 + dy}; }

struct TripPixels : ::testing::Test {
  VistrelSettings settings;
  RuntimeRecord record;
  RetainedSurface surface{800, 600};
  TripComputer trip{settings, record, surface};

  void SetUp() override {
    settings.updateDivisor = 0;
    record.engineRunning = 1;
    record.cylinders = 8;
  }
  void Paint() {
    surface.PaintStatic([this](Canvas& canvas) { trip.PaintTrip(canvas); });
  }
  void Frames(int n, std::uint8_t status13 = 0) {
    Bytes f(FRAME_PAYLOAD_SIZE, 0);
    f[field::statusByte13] = status13;
    f[field::bpc] = 43;
    f[field::tripByte249] = 144;
    for (int i = 0; i < n; ++i) trip.TripFrame(f.data(), 1);
  }
  Colour At(Cell c) const { return PixelAt(surface.Image(), c.x, c.y); }
  Colour At(int x, int y) const { return PixelAt(surface.Image(), x, y); }
};

TEST_F(TripPixels, RpmDigitCellsAndBlankThousands) {
  record.rpm = 5562;
  Paint();
  Frames(75);  // the first refresh after the history has filled
  // "5": ####### / ##..... x2 / ####### / .....## x2 / ####### at (26, 302).
  EXPECT_EQ(At(CellAt(26, 302, 0, 0)), INK);
  EXPECT_EQ(At(CellAt(26, 302, 6, 0)), INK);
  EXPECT_EQ(At(CellAt(26, 302, 1, 1)), INK);
  EXPECT_EQ(At(CellAt(26, 302, 2, 1)), PAPER);
  EXPECT_EQ(At(CellAt(26, 302, 6, 2)), PAPER);
  EXPECT_EQ(At(CellAt(26, 302, 0, 4)), PAPER);
  EXPECT_EQ(At(CellAt(26, 302, 6, 4)), INK);
  EXPECT_EQ(At(CellAt(26, 302, 3, 6)), INK);
  // "2" at 266: its fifth row is ##.....
  EXPECT_EQ(At(CellAt(266, 302, 0, 4)), INK);
  EXPECT_EQ(At(CellAt(266, 302, 6, 4)), PAPER);
  // The cells touch: a full block fills its whole 8 x 12 cell.
  EXPECT_EQ(At(26, 302), INK);
  EXPECT_EQ(At(26 + 55, 302 + 11), INK);
  EXPECT_EQ(At(26 + 56, 302 + 11), PAPER);

  record.rpm = 562;  // the thousands digit goes blank
  Frames(1);
  EXPECT_EQ(At(CellAt(26, 302, 0, 0)), PAPER);
  EXPECT_EQ(At(CellAt(26, 302, 6, 6)), PAPER);
  EXPECT_EQ(At(CellAt(106, 302, 0, 0)), INK);  // the 5 of 562
}

TEST_F(TripPixels, SmallDigitHalfBlocks) {
  settings.totalVss = 0;
  settings.totalPw = 17920;  // 17920 x 0.00390630961 x 0.01 = 0.70 gal + 0.5 -> 70 hundredths
  settings.tripVssPpm = 2002;
  settings.tripFlowConstant = 144;
  TripComputer full(settings, record, surface);
  surface.PaintStatic([&full](Canvas& canvas) { full.PaintTrip(canvas); });
  // Fuel digits 0 0 0 . 7 0: the "7" at 616: ____ / ^..# / ...# x2.
  EXPECT_EQ(At(CellAt(616, 432, 0, 0, 2)), PAPER);  // upper half of a lower half block
  EXPECT_EQ(At(CellAt(616, 432, 0, 0, 9)), INK);
  EXPECT_EQ(At(CellAt(616, 432, 0, 1, 2)), INK);   // lower half of an upper half block
  EXPECT_EQ(At(CellAt(616, 432, 0, 1, 9)), PAPER);
  EXPECT_EQ(At(CellAt(616, 432, 3, 3)), INK);
  EXPECT_EQ(At(CellAt(616, 432, 0, 3)), PAPER);
  // The small point at 600: only the lower half of its last row's first cell.
  EXPECT_EQ(At(CellAt(600, 432, 0, 3, 9)), INK);
  EXPECT_EQ(At(CellAt(600, 432, 0, 3, 2)), PAPER);
  EXPECT_EQ(At(CellAt(600, 432, 1, 3, 9)), PAPER);
}

TEST_F(TripPixels, DistancePointBlankedAboveNineThousandNineHundredNinetyNineTenths) {
  settings.tripVssPpm = 2002;
  settings.tripFlowConstant = 144;
  settings.totalVss = 999.9 * 2002;
  TripComputer near(settings, record, surface);
  surface.PaintStatic([&near](Canvas& canvas) { near.PaintTrip(canvas); });
  EXPECT_EQ(At(CellAt(660, 302, 1, 6)), INK);  // " ## " on the last row
  EXPECT_EQ(At(CellAt(660, 302, 0, 6)), PAPER);
  settings.totalVss = 1234.5 * 2002;
  TripComputer far(settings, record, surface);
  surface.PaintStatic([&far](Canvas& canvas) { far.PaintTrip(canvas); });
  EXPECT_EQ(At(CellAt(660, 302, 1, 6)), PAPER);
  EXPECT_EQ(At(CellAt(700, 302, 0, 0)), INK);  // the last digit, 4: ##.....
}

TEST_F(TripPixels, PeBoxThenLeanCruiseThenNothing) {
  Paint();
  Frames(75, 0x80);
  const Colour red = RgbColour(232, 32, 32);
  EXPECT_EQ(At(230, 515), red);
  EXPECT_EQ(At(570, 546), red);
  EXPECT_EQ(At(210, 530), PAPER);  // cleared, outside the red fill
  // "PE MODE" in the background colour on the red.
  int light = 0;
  for (int x = 375; x < 375 + 56; ++x)
    for (int y = 527; y < 540; ++y) light += At(x, y) == PAPER ? 1 : 0;
  EXPECT_GT(light, 0);

  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::statusByte3] = 0x04;
  trip.TripFrame(f.data(), 1);
  EXPECT_EQ(At(230, 515), PAPER);
  EXPECT_EQ(At(205, 522), INK);  // the lean-cruise bar
  EXPECT_EQ(At(205, 545), PAPER);

  f[field::statusByte3] = 0;
  trip.TripFrame(f.data(), 1);
  EXPECT_EQ(At(205, 522), PAPER);
}

TEST_F(TripPixels, MapBarFollowsTheValue) {
  Paint();
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::mapGauge] = 128;  // 60 kPa: half of 20..100, 171 / 2 + 0.5 = 86 rows
  for (int i = 0; i < 75; ++i) trip.TripFrame(f.data(), 1);
  // 1-bar bar at x 400, top 300, 171 rows: top edge at row 171 - 86 - 1 = 84.
  EXPECT_EQ(At(404, 300 + 85), INK);
  EXPECT_EQ(At(404, 300 + 84), PAPER);
  EXPECT_EQ(At(404, 300 + 171), INK);
  f[field::mapGauge] = 0;  // 20 kPa: only the bottom row
  trip.TripFrame(f.data(), 1);
  EXPECT_EQ(At(404, 300 + 170), PAPER);
  EXPECT_EQ(At(404, 300 + 171), INK);
}

struct KnockPixels : ::testing::Test {
  VistrelSettings settings;
  RuntimeRecord record;
  RetainedSurface surface{800, 600};
  KnockMap knock{settings, record, surface};

  void SetUp() override {
    record.engineRunning = 1;
    record.rpm = 2500;
    record.mapSensorBars = 2;
  }
  void Frame(int counter, int retard, int boostRaw, int active = 0) {
    Bytes f(FRAME_PAYLOAD_SIZE, 0);
    f[field::knockCount] = static_cast<std::uint8_t>(counter >> 8);
    f[field::knockCount + 1] = static_cast<std::uint8_t>(counter & 0xFF);
    f[field::sparkRetard] = static_cast<std::uint8_t>(retard);
    f[field::mapGauge] = 166;  // 72 kPa
    f[field::mapRaw] = 200;    // 2-bar: 62 kPa of boost
    f[field::boostRaw] = static_cast<std::uint8_t>(boostRaw);
    knock.KnockFrame(f.data(), active);
  }
  void Paint() {
    surface.PaintStatic([this](Canvas& canvas) { knock.PaintKnockDisplay(canvas); });
  }
  Colour At(int x, int y) const { return PixelAt(surface.Image(), x, y); }
  int InkIn(int l, int t, int r, int b) const {
    const QImage image = surface.Image();
    int n = 0;
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x) n += PixelAt(image, x, y) == INK ? 1 : 0;
    return n;
  }
};

TEST_F(KnockPixels, HighlightedCellGreenWithItsValue) {
  Frame(0, 0, 0);
  Frame(126, 57, 0);  // standard grid, row 12 (2800), column 6 (70): 10 degrees
  Paint();
  const Colour green = RgbColour(20, 220, 10);
  const int left = 32 * 6 + 193;
  const int top = 13 * 12 + 121;
  EXPECT_EQ(At(left + 1, top + 1), green);
  EXPECT_EQ(At(left + 28, top + 14), green);
  EXPECT_NE(At(left + 29, top + 7), green);
  EXPECT_GT(InkIn(left, top, left + 29, top + 15), 10);  // " 10 " over the box
  // The neighbouring cell is not highlighted.
  EXPECT_NE(At(left + 32 + 1, top + 1), green);

  // The highlight moves on with the next refresh and leaves nothing behind.
  settings.updateDivisor = 0;
  knock.ReloadSettings();
  record.rpm = 4000;
  Frame(126, 0, 0, 1);
  const QImage image = surface.Image();
  int left_over = 0;
  for (int y = top; y < top + 15; ++y)
    for (int x = left; x < left + 29; ++x) left_over += PixelAt(image, x, y) == green ? 1 : 0;
  EXPECT_EQ(left_over, 0);
  EXPECT_EQ(At(left + 1, 13 * 15 + 121 + 1), green);  // row 15 (4000)
}

TEST_F(KnockPixels, BoostGridHighlightYellowWhenTheFrameWentToTheStandardGrid) {
  Frame(0, 0, 0);
  knock.SetGridShown(KNOCK_BOOST);
  Paint();
  // Boost cell: 2500 RPM -> row (100 + 8) / 16 + 1 = 7, 62 kPa -> column 7.
  const int left = 32 * 7 + 207;
  const int top = 13 * 7 + 121;
  EXPECT_EQ(At(left + 1, top + 1), RgbColour(255, 255, 0));
  Frame(0, 0, 40);  // now the frame goes to the boost grid
  Paint();
  EXPECT_EQ(At(left + 1, top + 1), RgbColour(20, 220, 10));
  // Engine stopped: no highlight at all.
  record.engineRunning = 0;
  Paint();
  EXPECT_EQ(At(left + 1, top + 1), PAPER);
}

TEST_F(KnockPixels, TabFrameOpenTowardsTheShownGrid) {
  Paint();
  // Standard shown: the frame's top edge starts at 259, none under the tab.
  EXPECT_EQ(At(300, 105), INK);
  EXPECT_EQ(At(200, 105), PAPER);
  knock.SetGridShown(KNOCK_BOOST);
  Paint();
  EXPECT_EQ(At(200, 105), INK);
  EXPECT_EQ(At(300, 105), PAPER);
  EXPECT_EQ(At(400, 105), INK);
}

// The window program: controls at their positions, clicks, keys, totals.
struct TripKnockWindow : ::testing::Test {
  test::TempDir dir;
  QtServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;

  void Start(const std::string& config) {
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), config);
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, services);
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
  }
  void Stop() {
    window->close();
    window.reset();
    app.reset();
  }
  void TearDown() override {
    if (window) Stop();
  }
};

TEST_F(TripKnockWindow, ControlsAtTheirPositions) {
  Start("[PORT] COM39\r\r\n");
  window->SwitchDisplay(CMD_TRIP_INFO);
  QPushButton* clear = window->Trip().ClearButton();
  ASSERT_NE(clear, nullptr);
  EXPECT_EQ(clear->geometry(), QRect(705, 74, 80, 30));
  EXPECT_EQ(clear->text(), "Clear Data");

  window->SwitchDisplay(CMD_SPK_KNOCK);
  EXPECT_EQ(window->Trip().ClearButton(), nullptr);  // the trip's controls went
  KnockView& knock = window->Knock();
  const char* names[] = {"Average", "Peak", "Total", "Counts"};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(knock.ViewButton(i), nullptr);
    EXPECT_EQ(knock.ViewButton(i)->geometry(), QRect(670, 100 + 30 * i, 80, 30));
    EXPECT_EQ(knock.ViewButton(i)->text(), names[i]);
    EXPECT_EQ(knock.ViewButton(i)->isChecked(), i == 0);
  }
  EXPECT_EQ(knock.ClearButton()->geometry(), QRect(670, 250, 80, 30));
  EXPECT_EQ(knock.StandardTab()->geometry(), QRect(169, 81, 82, 20));
  EXPECT_EQ(knock.StandardTab()->text(), "Standard");
  EXPECT_EQ(knock.BoostTab()->geometry(), QRect(259, 81, 82, 20));
  EXPECT_EQ(knock.BoostTab()->text(), "Boost");

  knock.ViewButton(3)->click();
  EXPECT_EQ(knock.Model().State().view, KNOCK_COUNTS);
  // A mouse click near the bottom edge of "Total", away from its circle and
  // text, still chooses it; what lies at each control's centre is the control.
  QWidget* surface = window->SurfaceView();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(surface->childAt(710, 115 + 30 * i), knock.ViewButton(i));
  const QPointF near(10, 27);
  const QPointF global = knock.ViewButton(2)->mapToGlobal(near);
  QMouseEvent press(QEvent::MouseButtonPress, near, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(knock.ViewButton(2), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, near, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(knock.ViewButton(2), &release);
  EXPECT_EQ(knock.Model().State().view, KNOCK_TOTAL);
  EXPECT_EQ(surface->childAt(210, 91), knock.StandardTab());
  EXPECT_EQ(surface->childAt(300, 91), knock.BoostTab());
  knock.ViewButton(3)->click();
  knock.BoostTab()->click();
  EXPECT_EQ(knock.Model().State().gridShown, KNOCK_BOOST);
  knock.StandardTab()->click();
  EXPECT_EQ(knock.Model().State().gridShown, KNOCK_STANDARD);

  // The view survives a trip away and back; its radio button is checked again.
  window->SwitchDisplay(CMD_VISTREL);
  EXPECT_EQ(knock.ViewButton(0), nullptr);
  window->SwitchDisplay(CMD_SPK_KNOCK);
  EXPECT_TRUE(knock.ViewButton(3)->isChecked());
}

TEST_F(TripKnockWindow, KeysOnAFocusedControlSwitchTheDisplay) {
  Start("[PORT] COM39\r\r\n");
  window->SwitchDisplay(CMD_SPK_KNOCK);
  QRadioButton* peak = window->Knock().ViewButton(1);
  peak->setFocus();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");
  QApplication::sendEvent(peak, &press);
  EXPECT_TRUE(test::PumpUntil([this] { return window->DisplayMode() == MODE_TRIP; }));
  QPushButton* clear = window->Trip().ClearButton();
  ASSERT_NE(clear, nullptr);
  clear->setFocus();
  QKeyEvent four(QEvent::KeyPress, Qt::Key_4, Qt::NoModifier, "4");
  QApplication::sendEvent(clear, &four);
  EXPECT_TRUE(test::PumpUntil([this] { return window->DisplayMode() == MODE_KNOCK; }));
}

TEST_F(TripKnockWindow, TotalsSavedAndReloadedWithSaveTrip) {
  Start("[PORT] COM39\r\r\n[SAVETRIP] 1\r\r\n[TOTALVSS] 4004.000000\r\r\n[TOTALPW] 12.500000\r\r\n");
  TripTotals totals = window->Trip().Model().Totals();
  EXPECT_DOUBLE_EQ(totals.vss, 4004.0);
  EXPECT_DOUBLE_EQ(totals.pw, 12.5);
  Stop();
  const std::string saved = test::ReadFileText(dir.File("ZRM_Vistrel.cfg"));
  EXPECT_NE(saved.find("[TOTALVSS] 4004.000000"), std::string::npos);
  EXPECT_NE(saved.find("[TOTALPW] 12.500000"), std::string::npos);

  // "Clear Data" zeroes them, and the next save writes the zeros.
  Start("[PORT] COM39\r\r\n[SAVETRIP] 1\r\r\n[TOTALVSS] 4004.000000\r\r\n[TOTALPW] 12.500000\r\r\n");
  window->SwitchDisplay(CMD_TRIP_INFO);
  window->Trip().ClearButton()->click();
  EXPECT_DOUBLE_EQ(window->Trip().Model().Totals().vss, 0.0);
  Stop();
  const std::string cleared = test::ReadFileText(dir.File("ZRM_Vistrel.cfg"));
  EXPECT_NE(cleared.find("[TOTALVSS] 0.000000"), std::string::npos);
}

TEST_F(TripKnockWindow, KnockGaugeShowsTheEventsTotal) {
  Start("[PORT] COM39\r\r\n");
  app->processor.record.engineRunning = 1;
  Bytes f(FRAME_PAYLOAD_SIZE, 0);
  f[field::knockCount + 1] = 0;
  window->Knock().Model().KnockFrame(f.data(), 0);
  f[field::knockCount] = 0x01;  // 256 counts: 4 events
  window->Knock().Model().KnockFrame(f.data(), 0);
  EXPECT_EQ(window->Knock().Model().EventsTotal(), 4);
  window->Gauge().GaugeFrame(f.data(), 0);
  EXPECT_DOUBLE_EQ(window->Gauge().BarValue(7), 4.0);  // "KNK  " / "Cnt"
}

}  // namespace
}  // namespace zrm
