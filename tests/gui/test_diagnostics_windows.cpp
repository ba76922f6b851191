// The sensor diagnostics display and the two tool windows in vistrel's main
// window, offscreen: pixels of the values, the chart and the lamps as frames
// come in, the windows' places and open flags across a restart, the bank
// click rules with the mouse, and a click that the simulated ECM obeys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdlib>

#include "apps/vistrel/bank_selector_window.h"
#include "apps/vistrel/main_window.h"
#include "apps/vistrel/malf_codes_window.h"
#include "displays/diagnostics_display.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "link/runtime_frame.h"
#include "shell/main_menu.h"
#include "sim/sim_ecm.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::PixelAt;
using test::PumpUntil;

struct Frame {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(FRAME_PAYLOAD_SIZE, 0);
  Frame& Set(int offset, int value) {
    bytes[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value);
    return *this;
  }
};

// Whether any pixel of the rectangle (right and bottom excluded) has the colour.
bool AnyPixel(const QImage& image, int left, int top, int right, int bottom, Colour colour) {
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (PixelAt(image, x, y) == colour) return true;
    }
  }
  return false;
}

void Mouse(QWidget* target, QEvent::Type type, int x, int y) {
  const QPointF local(x, y);
  const QPointF global = target->mapToGlobal(local);
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
  QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void Click(QWidget* target, int downX, int upX) {
  Mouse(target, QEvent::MouseButtonPress, downX, 30);
  Mouse(target, QEvent::MouseMove, upX, 30);
  Mouse(target, QEvent::MouseButtonRelease, upX, 30);
}

struct ToolWindowFixture : ::testing::Test {
  test::TempDir dir;
  QtServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;

  void Stop() {
    if (window) window->close();  // saves the configuration
    window.reset();
    app.reset();
  }
  void Start(const std::string& config) {
    Stop();
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), config);
    Restart();
  }
  // A new program on the configuration file as the last one left it.
  void Restart() {
    Stop();
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, services);
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
  }
  // No such device here: the port stays closed, and the test feeds the frames.
  void SetUp() override { Start("[PORT] COM39\r\r\n"); }
  void TearDown() override { Stop(); }

  std::string Saved() const { return test::ReadFileText(dir.File("ZRM_Vistrel.cfg")); }
  bool SavedHas(const std::string& line) const { return Saved().find(line + "\r\r\n") != std::string::npos; }
  MalfCodesWindow& Malf() { return window->MalfCodesTool(); }
  BankSelectorWindow& Banks() { return window->BankSelectorTool(); }
};

TEST_F(ToolWindowFixture, DiagnosticsValuesAndTheChartsNewestSegment) {
  window->SwitchDisplay(CMD_DIAGNOSTIC);
  RetainedSurface& surface = window->Surface();
  // The static layer is in once the chart's frame is.
  ASSERT_TRUE(PumpUntil([&] { return PixelAt(surface.Image(), CHART_LEFT, 400) == COLOUR_TEXT; }));
  const QImage before = surface.Image();
  // Before any frame the millivolts read "      0": one digit at the right edge.
  EXPECT_FALSE(AnyPixel(before, 100, 254, 132, 282, COLOUR_TEXT));
  EXPECT_TRUE(AnyPixel(before, 132, 254, 150, 282, COLOUR_TEXT));

  Frame f;
  f.Set(field::o2Raw, 100);  // 442 mV: row 521 - 85 = 436
  app->processor.ProcessFrame(f.bytes.data());
  app->processor.ProcessFrame(f.bytes.data());
  const QImage image = surface.Image();
  // The newest segment lies level on row 436 from x 763 to 766; the one
  // before it rose from the floor and has moved 4 pixels left.
  for (int x = 763; x <= 766; ++x) EXPECT_EQ(PixelAt(image, x, 436), CHART_O2_COLOUR) << x;
  EXPECT_NE(PixelAt(image, 767, 436), CHART_O2_COLOUR);
  EXPECT_EQ(PixelAt(image, 759, 521), CHART_O2_COLOUR);
  EXPECT_NE(PixelAt(image, 763, 521), CHART_O2_COLOUR);
  // "    442" ends at x 150 in the value font, row 254: its digits are dark,
  // nothing right of 150 is drawn before the unit at 160.
  EXPECT_TRUE(AnyPixel(image, 100, 254, 132, 282, COLOUR_TEXT));
  EXPECT_FALSE(AnyPixel(image, 150, 254, 160, 282, COLOUR_TEXT));
  if (const char* shots = std::getenv("ZRM_TEST_SCREENSHOTS")) window->grab().save(QString(shots) + "/diagnostics.png");
}

TEST_F(ToolWindowFixture, AFourDigitRpmLeavesItsLabelWhole) {
  window->SwitchDisplay(CMD_DIAGNOSTIC);
  RetainedSurface& surface = window->Surface();
  ASSERT_TRUE(PumpUntil([&] { return PixelAt(surface.Image(), CHART_LEFT, 400) == COLOUR_TEXT; }));
  const QImage before = surface.Image();
  // "RPM:" at (280, 60) in the value font; four digits right-aligned at 410
  // take well under 60 pixels, so the label's columns up to 345 hold only the label.
  ASSERT_TRUE(AnyPixel(before, 280, 60, 345, 88, COLOUR_TEXT));

  Frame f;
  f.Set(field::rpmLow, 100);  // 1250 RPM
  app->processor.ProcessFrame(f.bytes.data());
  const QImage after = surface.Image();
  EXPECT_TRUE(AnyPixel(after, 360, 60, 410, 88, COLOUR_TEXT));  // the digits
  for (int y = 60; y < 88; ++y) {
    for (int x = 280; x < 345; ++x) ASSERT_EQ(PixelAt(after, x, y), PixelAt(before, x, y)) << x << "," << y;
  }

  // A shorter value afterwards leaves no trace of the longer one.
  f.Set(field::rpmLow, 40);  // 500 RPM
  app->processor.ProcessFrame(f.bytes.data());
  const QImage shorter = surface.Image();
  EXPECT_FALSE(AnyPixel(shorter, 345, 60, 365, 88, COLOUR_TEXT));
  EXPECT_TRUE(AnyPixel(shorter, 370, 60, 410, 88, COLOUR_TEXT));
}

TEST_F(ToolWindowFixture, TheWidebandTraceFollowsThePreferredChannel) {
  // Channel 0 is a TT-1 wideband (AFR = 2 V + 10), the preferred one.
  Start("[PORT] COM39\r\r\n[AD0TYPE] 0\r\r\n[AD0INSTA] 1\r\r\n[AD0INDEX] 1\r\r\n[AD0NAME] TT-1 WB\r\r\n"
        "[AD0WBPREF] 1\r\r\n");
  window->SwitchDisplay(CMD_DIAGNOSTIC);
  RetainedSurface& surface = window->Surface();
  ASSERT_TRUE(PumpUntil([&] { return PixelAt(surface.Image(), CHART_LEFT, 400) == COLOUR_TEXT; }));
  EXPECT_TRUE(AnyPixel(surface.Image(), 218, 305, 260, 320, CHART_AFR_COLOUR)) << "the \"WB O2\" legend";

  Frame f;
  f.Set(field::adcChannel(0), 0x02).Set(field::adcChannel(0) + 1, 0x00);  // 512 counts: 2.506 V, AFR 15.01
  app->processor.ProcessFrame(f.bytes.data());
  app->processor.ProcessFrame(f.bytes.data());
  const QImage image = surface.Image();
  // 521 - round(5.01 x 19.125) = 425
  for (int x = 763; x <= 766; ++x) EXPECT_EQ(PixelAt(image, x, 425), CHART_AFR_COLOUR) << x;
}

TEST_F(ToolWindowFixture, MalfunctionLampsLightByTheirBits) {
  window->Command(CMD_MALF_CODES);
  ASSERT_TRUE(Malf().IsOpen());
  EXPECT_TRUE(app->processor.malfCodesOpen.load());
  RetainedSurface& surface = Malf().Surface();
  ASSERT_TRUE(PumpUntil([&] { return PixelAt(surface.Image(), 85, 14) == MALF_LAMP_OFF; }));

  Frame f;
  f.Set(18, 0x81);  // first lamps of "DRP    12" and "VSS    24"
  app->processor.ProcessFrame(f.bytes.data());
  QImage image = surface.Image();
  EXPECT_EQ(PixelAt(image, 85, 14), MALF_LAMP_ON);    // DRP, first
  EXPECT_EQ(PixelAt(image, 80, 115), MALF_LAMP_ON);   // VSS, first, top left
  EXPECT_EQ(PixelAt(image, 92, 123), MALF_LAMP_ON);   // VSS, first, bottom right
  EXPECT_EQ(PixelAt(image, 93, 119), COLOUR_TEXT);    // its outline
  EXPECT_EQ(PixelAt(image, 125, 119), MALF_LAMP_OFF);  // VSS, third

  f.Set(18, 0).Set(224, 0x01);  // the third lamp of "VSS    24" only
  app->processor.ProcessFrame(f.bytes.data());
  image = surface.Image();
  EXPECT_EQ(PixelAt(image, 85, 14), MALF_LAMP_OFF);
  EXPECT_EQ(PixelAt(image, 85, 119), MALF_LAMP_OFF);
  EXPECT_EQ(PixelAt(image, 125, 119), MALF_LAMP_ON);

  // The window shows what the surface holds.
  ASSERT_TRUE(PumpUntil([&] { return PixelAt(Malf().Window()->grab().toImage(), 125, 119) == MALF_LAMP_ON; }));
}

TEST_F(ToolWindowFixture, PlacesAndOpenFlagsLastAcrossARestart) {
  window->Command(CMD_MALF_CODES);
  window->Command(CMD_BANK_SELECT);
  ASSERT_TRUE(Malf().IsOpen());
  ASSERT_TRUE(Banks().IsOpen());
  Malf().Window()->move(300, 200);
  Banks().Window()->move(420, 460);
  QApplication::processEvents();

  // Open at exit: reopened at the same places by the first display switch.
  Restart();
  EXPECT_TRUE(SavedHas("[XPOSMALF] 300"));
  EXPECT_TRUE(SavedHas("[YPOSMALF] 200"));
  EXPECT_TRUE(SavedHas("[ACTVMALF] 1"));
  EXPECT_TRUE(SavedHas("[XPOSFBNK] 420"));
  EXPECT_TRUE(SavedHas("[YPOSFBNK] 460"));
  EXPECT_TRUE(SavedHas("[ACTVFBNK] 1"));
  ASSERT_TRUE(Malf().IsOpen());
  ASSERT_TRUE(Banks().IsOpen());
  EXPECT_EQ(Malf().Window()->pos(), QPoint(300, 200));
  EXPECT_EQ(Banks().Window()->pos(), QPoint(420, 460));

  // The analysis display closes both and keeps their flags: a live display reopens them.
  window->SwitchDisplay(CMD_ANALYSIS);
  EXPECT_FALSE(Malf().IsOpen());
  EXPECT_FALSE(Banks().IsOpen());
  EXPECT_FALSE(app->processor.malfCodesOpen.load());
  window->SwitchDisplay(CMD_TRIP_INFO);
  EXPECT_TRUE(Malf().IsOpen());
  EXPECT_TRUE(Banks().IsOpen());

  // Closed by the user (Escape): it stays closed after the next switch and the next start.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(Malf().Window(), &escape);
  ASSERT_TRUE(PumpUntil([&] { return !Malf().IsOpen(); }));
  EXPECT_EQ(app->settings.malfunctionOpen, 0);
  window->SwitchDisplay(CMD_VISTREL);
  EXPECT_FALSE(Malf().IsOpen());
  EXPECT_TRUE(Banks().IsOpen());
  Restart();
  EXPECT_TRUE(SavedHas("[ACTVMALF] 0"));
  EXPECT_FALSE(Malf().IsOpen());
  EXPECT_TRUE(Banks().IsOpen());
}

TEST_F(ToolWindowFixture, KeysTypedInAToolWindowReachTheMainWindow) {
  window->Command(CMD_MALF_CODES);
  ASSERT_TRUE(Malf().IsOpen());
  QKeyEvent five(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, "5");
  QApplication::sendEvent(Malf().Window(), &five);
  EXPECT_TRUE(PumpUntil([&] { return window->DisplayMode() == MODE_DIAGNOSTICS; }));
  EXPECT_TRUE(Malf().IsOpen());

  // Its menu command while it is open flashes the same window rather than making another.
  ToolWindow* open = Malf().Window();
  window->Command(CMD_MALF_CODES);
  test::Pump(450);
  EXPECT_EQ(Malf().Window(), open);
  EXPECT_TRUE(open->isVisible());
}

TEST_F(ToolWindowFixture, BankClicksAndTheHighlight) {
  window->Command(CMD_BANK_SELECT);
  ASSERT_TRUE(Banks().IsOpen());
  std::vector<int> sent;
  Banks().sendBank = [&](int bank) {
    sent.push_back(bank);
    return 0;
  };
  QWidget* view = Banks().Window()->View();
  RetainedSurface& surface = Banks().Surface();
  ASSERT_TRUE(PumpUntil([&] { return PixelAt(surface.Image(), 30, 20) == BANK_ACTIVE; }));  // bank 0 streams
  EXPECT_EQ(PixelAt(surface.Image(), 180, 20), BANK_INACTIVE);

  Click(view, 150, 180);  // press on bank 2, release on bank 3
  EXPECT_TRUE(sent.empty());
  Click(view, 180, 200);  // bank 3
  Click(view, 423, 425);  // right of bank 7
  Click(view, 10, 10);    // left of bank 0
  EXPECT_EQ(sent, std::vector<int>{3});

  // The dotted highlight round the bank under the mouse, erased when it leaves.
  Mouse(view, QEvent::MouseMove, 100, 40);  // bank 1: corners (73, 4) and (121, 75)
  QImage image = surface.Image();
  EXPECT_TRUE(AnyPixel(image, 73, 4, 122, 5, BANK_HIGHLIGHT));
  EXPECT_TRUE(AnyPixel(image, 121, 4, 122, 76, BANK_HIGHLIGHT));
  EXPECT_FALSE(AnyPixel(image, 23, 4, 72, 76, BANK_HIGHLIGHT));
  Mouse(view, QEvent::MouseMove, 30, 40);  // bank 0
  image = surface.Image();
  EXPECT_FALSE(AnyPixel(image, 73, 4, 122, 76, BANK_HIGHLIGHT));
  EXPECT_TRUE(AnyPixel(image, 23, 4, 72, 5, BANK_HIGHLIGHT));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(Banks().Window(), &leave);
  EXPECT_FALSE(AnyPixel(surface.Image(), 0, 0, BANK_WINDOW_WIDTH, BANK_WINDOW_HEIGHT, BANK_HIGHLIGHT));

  // A frame with another bank relights the squares.
  Frame f;
  f.Set(field::bankByte, 0x85);
  app->processor.ProcessFrame(f.bytes.data());
  image = surface.Image();
  EXPECT_EQ(PixelAt(image, 25 + 250, 10), BANK_ACTIVE);
  EXPECT_EQ(PixelAt(image, 25 + 250 + 44, 54), BANK_ACTIVE);
  EXPECT_EQ(PixelAt(image, 30, 20), BANK_INACTIVE);
}

TEST_F(ToolWindowFixture, PlaybackClosesTheSelectorWithoutClearingItsFlag) {
  window->Command(CMD_BANK_SELECT);
  ASSERT_TRUE(Banks().IsOpen());
  app->playback.closeBankSelector();
  EXPECT_FALSE(Banks().IsOpen());
  EXPECT_FALSE(app->processor.bankSelectorOpen.load());
  EXPECT_EQ(app->settings.flashBankOpen, 1);
}

// Against the simulated ECM: a click sends B 3 twice and the lit square
// follows the bank the ECM then streams.
TEST(BankSelectorWithEcm, AClickMakesTheBankActive) {
  test::TempDir dir;
  sim::SimOptions options;
  options.linkPath = dir.File("tty");
  sim::SimEcm ecm(options);
  ASSERT_EQ(ecm.Start(), 0);
  test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] " + dir.File("tty") + "\r\r\n");
  QtServices services;
  {
    VistrelApp app(&services);
    app.LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    MainWindow window(app, services);
    window.show();
    app.StartThreads();
    window.SwitchDisplay(CMD_VISTREL);
    window.Command(CMD_BANK_SELECT);
    BankSelectorWindow& banks = window.BankSelectorTool();
    RetainedSurface& surface = banks.Surface();
    ASSERT_TRUE(PumpUntil([&] { return app.processor.record.goodFrames.load() > 3; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return PixelAt(surface.Image(), 30, 20) == BANK_ACTIVE; }, 3000));

    Click(banks.Window()->View(), 180, 190);
    auto bankPackets = [&] {
      int n = 0;
      for (const auto& p : ecm.Packets()) {
        n += std::vector<std::uint8_t>(p.begin(), p.end()) == std::vector<std::uint8_t>{0x52, 0x42, 0x03, 0x00, 0x97};
      }
      return n;
    };
    ASSERT_TRUE(PumpUntil([&] { return bankPackets() == 2; }, 3000)) << bankPackets();
    EXPECT_EQ(ecm.ActiveBank(), 3);
    EXPECT_TRUE(PumpUntil([&] {
      const QImage image = surface.Image();
      return PixelAt(image, 180, 20) == BANK_ACTIVE && PixelAt(image, 30, 20) == BANK_INACTIVE;
    }, 3000));
    window.close();
  }
  ecm.Stop();
}

}  // namespace
}  // namespace zrm
