// vistrel against the simulated ECM over a pseudo-terminal: the port as the
// user picks it (the CommPort menu, a device path of any length), the port
// line and the controller line of the status panel while data flows.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QSlider>

#include "apps/vistrel/main_window.h"
#include "flash/message_window.h"
#include "gui/qt_canvas.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "shell/status_panel.h"
#include "gui_test_support.h"
#include "link/frame_processor.h"
#include "scripted_services.h"
#include "shell/main_menu.h"
#include "sim/sim_ecm.h"
#include "test_support.h"

namespace zrm {
namespace {

struct PortFixture : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<sim::SimEcm> ecm;
  QtServices qtServices;
  test::ScriptedServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;
  std::string tty;

  void SetUp() override {
    tty = dir.File("tty");
    sim::SimOptions options;
    options.linkPath = tty;
    ecm = std::make_unique<sim::SimEcm>(options);
    ASSERT_EQ(ecm->Start(), 0);
    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] " + tty + "\r\r\n");
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, qtServices);
    window->show();
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
  }

  void TearDown() override {
    if (window) window->close();
    window.reset();
    app.reset();
    if (ecm) ecm->Stop();
  }

  bool FramesFlow(int more = 20) {
    const int frames = app->processor.record.goodFrames.load();
    return test::PumpUntil([&] { return app->processor.record.goodFrames.load() > frames + more; }, 5000);
  }
};

// The port picked on the window thread reaches the port line, which the
// CommThread (open and close) and the DisplayThread (every shown frame) draw
// from their own copy.
TEST_F(PortFixture, PortPickedWhileDataFlowsReachesThePortLine) {
  ASSERT_TRUE(FramesFlow());
  EXPECT_EQ(window->CollectStatus().port, tty);
  window->Command(CommPortCommand(5));
  EXPECT_EQ(app->settings.port, "COM5");
  EXPECT_EQ(window->CollectStatus().port, "COM5");
  EXPECT_TRUE(test::PumpUntil([&] { return app->link.PortName() == SerialDevicePath("COM5"); }));
  window->Command(CommPortCommand(6));
  EXPECT_EQ(window->CollectStatus().port, "COM6");
}

// The controller line appears once data flows, without a whole-window paint.
TEST_F(PortFixture, ControllerLineIsDrawnWhenTheLinkComesAlive) {
  ASSERT_TRUE(test::PumpUntil([&] { return app->processor.record.linkAlive.load() != 0; }, 5000));
  ASSERT_TRUE(FramesFlow(10));
  ASSERT_NE(ControllerLineText(window->CollectStatus()).find("ZRM"), std::string::npos);
  auto inked = [&] {
    const QImage image = window->Surface().Image();
    int dark = 0;
    for (int y = 534; y < 550; ++y)
      for (int x = 280; x < 700; ++x)
        if (test::PixelAt(image, x, y) == COLOUR_TEXT) ++dark;
    return dark;
  };
  EXPECT_TRUE(test::PumpUntil([&] { return inked() > 20; }, 3000));
}

// The CommPort menu lists the devices afresh when it opens, checks the current
// port, and takes any device path through its last item; a path too long for
// [PORT] is refused with a message.
TEST_F(PortFixture, CommPortMenuChecksTheCurrentPortAndTakesAnyDevicePath) {
  QMenu* menu = window->PortMenu();
  ASSERT_NE(menu, nullptr);
  auto open = [&] {
    emit menu->aboutToShow();
    QApplication::processEvents();
  };
  auto find = [&](const QString& text) -> QAction* {
    for (QAction* a : menu->actions())
      if (a->text() == text) return a;
    return nullptr;
  };
  auto checked = [&] {
    QStringList texts;
    for (QAction* a : menu->actions())
      if (a->isChecked()) texts << a->text();
    return texts;
  };
  open();
  const int count = menu->actions().size();
  open();
  EXPECT_EQ(menu->actions().size(), count);  // rebuilt, not added to
  EXPECT_EQ(checked(), QStringList{QString::fromStdString(tty)});

  window->Command(CommPortCommand(12));
  open();
  EXPECT_EQ(checked(), QStringList{"COM12"});

  // Back to the simulator's link through the path item.
  QAction* pathItem = find("&Device Path...");
  ASSERT_NE(pathItem, nullptr);
  window->askDevicePath = [&](std::string* path) {
    *path = "  " + tty + " ";
    return true;
  };
  pathItem->trigger();
  EXPECT_EQ(app->settings.port, tty);
  EXPECT_TRUE(FramesFlow());
  open();
  EXPECT_EQ(checked(), QStringList{QString::fromStdString(tty)});

  const std::string tooLong = "/dev/serial/by-id/" + std::string(240, 'x');
  window->askDevicePath = [&](std::string* path) {
    *path = tooLong;
    return true;
  };
  find("&Device Path...")->trigger();
  EXPECT_EQ(app->settings.port, tty);
  EXPECT_EQ(services.messages, std::vector<std::string>{"CommPort: A device path may be at most 255 characters long."});
  window->askDevicePath = [&](std::string*) { return false; };
  find("&Device Path...")->trigger();
  EXPECT_EQ(app->settings.port, tty);
}

// A display key or a logging key typed while a display's control has the
// focus acts once, whether or not the control takes the key too.
TEST_F(PortFixture, KeysOnAControlActOnce) {
  int switches = 0;
  std::string logKeys;
  app->settings.malfunctionOpen = 1;  // every display switch reopens the codes window: counted
  window->hooks.malfCodesOpen = [] { return false; };
  window->hooks.openMalfCodes = [&] { ++switches; };
  window->hooks.logOpen = [] { return true; };
  window->hooks.logKey = [&](char key) { logKeys += key; };
  auto* slider = new QSlider(Qt::Horizontal, window->SurfaceView());
  slider->show();
  window->InstallKeyForwarding(slider);
  slider->setFocus();
  auto type = [&](int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(slider, &press);
    test::Pump(50);
  };
  type(Qt::Key_3, "3");
  EXPECT_EQ(window->DisplayMode(), MODE_VELEARN);
  EXPECT_EQ(switches, 1);
  type(Qt::Key_Space, " ");
  type(Qt::Key_Return, "\r");
  EXPECT_EQ(logKeys, " \r");
  delete slider;
}

// The port line's field is cleared before a name is drawn (a shorter name
// leaves nothing of a longer one) and a long path stays right of its label.
TEST(PortLine, ClearedFirstAndKeptInItsField) {
  QImage before(200, 150, QImage::Format_RGB32);
  QImage fresh(200, 150, QImage::Format_RGB32);
  QtCanvas canvas(before);
  QtCanvas freshCanvas(fresh);
  for (QtCanvas* c : {&canvas, &freshCanvas}) {
    c->FillRect(0, 0, 200, 150, COLOUR_BACKGROUND);
    StatusPanelValues v;
    v.port = "COM3";
    PaintStatusPanel(*c, v);
  }
  PaintPortLine(canvas, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", true);
  // Nothing of the long name left of the label's end.
  canvas.SetFont(FontId::Normal);
  const int labelEnd = 10 + canvas.TextWidth("Port: ");
  for (int y = 120; y < 120 + canvas.TextHeight(); ++y)
    for (int x = 0; x < labelEnd; ++x)
      ASSERT_EQ(before.pixel(x, y), fresh.pixel(x, y)) << x << "," << y;
  PaintPortLine(canvas, "COM3", false);
  PaintPortLine(freshCanvas, "COM3", false);
  EXPECT_EQ(before, fresh);
}

// The flash message window's lines stay inside its clipping rectangle: a
// full line is cut at the right edge and its colour reaches that edge.
TEST(FlashMessages, LinesAreCutAtTheClippingRectangle) {
  const MessageWindowLayout layout = MessageWindowLayout::Vistrel();
  QImage image(800, 600, QImage::Format_RGB32);
  QtCanvas canvas(image);
  canvas.FillRect(0, 0, 800, 600, COLOUR_BACKGROUND);
  const QImage before = image.copy();
  PaintMessageLine(canvas, layout, 0, {MESSAGE_SUCCESS_RESULT, std::string(48, 'W')});
  for (int y = 0; y < 600; ++y)
    for (int x = layout.clip.right; x < 800; ++x) ASSERT_EQ(image.pixel(x, y), before.pixel(x, y)) << x << "," << y;
  EXPECT_EQ(test::PixelAt(image, layout.clip.right - 1, layout.top + 1), MESSAGE_SUCCESS_RESULT);
}

// A thread that cannot be created ends the start with the "CreateThread
// failed" box (caption "display" for the first) and exit status 0, not with an
// abort. Thread stacks as large as the address space allows leave the system
// no room for one, while the program itself still starts.
TEST(VistrelStart, AThreadThatCannotBeCreatedIsReportedAndTheProgramEndsWithStatusZero) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space for its shadow memory than the limit leaves";
#endif
  test::TempDir dir;
  test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] COM39\r\r\n");
  const std::string err = dir.File("err.txt");
  const std::string script =
      "(ulimit -s 3000000 && ulimit -v 2500000 && QT_QPA_PLATFORM=offscreen exec " + std::string(VISTREL_PATH) +
      " --config " + dir.File("ZRM_Vistrel.cfg") + " 2>" + err + ") & PID=$!; " +
      "for i in $(seq 300); do grep -q 'CreateThread failed' " + err + " 2>/dev/null && break; " +
      "kill -0 $PID 2>/dev/null || break; sleep 0.1; done; kill -TERM $PID 2>/dev/null; wait $PID";
  EXPECT_EQ(test::RunCommand(script, nullptr), 0);
  const std::string said = test::ReadFileText(err);
  EXPECT_NE(said.find("vistrel: CreateThread failed (display)"), std::string::npos) << said;
  EXPECT_EQ(said.find("terminate"), std::string::npos) << said;
}

}  // namespace
}  // namespace zrm
