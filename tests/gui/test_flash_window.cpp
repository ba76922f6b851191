// vistrel's flash window offscreen, wired into the main window and talking to
// the simulated ECM over a pseudo-terminal: the controls and their settings,
// the keyboard filter, Apply on a worker with the lines appearing one by one
// and input refused, and the state restored when the window closes.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <deque>

#include "apps/vistrel/flash_window.h"
#include "apps/vistrel/main_window.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "link/frame_source.h"
#include "platform/clock.h"
#include "shell/main_menu.h"
#include "sim/flash_loader.h"
#include "sim/sim_ecm.h"
#include "scripted_services.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::ScriptedServices;

Bytes MakeBin() {
  Bytes bin(16384);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>(i * 29 + 3);
  std::memcpy(&bin[2], "ZRMF", 4);
  return bin;
}

struct FlashWindowFixture : ::testing::Test {
  test::TempDir dir;
  std::shared_ptr<sim::SimFlashLoader> loader;
  std::unique_ptr<sim::SimEcm> ecm;
  QtServices qtServices;
  ScriptedServices services;
  std::unique_ptr<VistrelApp> app;
  std::unique_ptr<MainWindow> window;
  FlashWindow* flash = nullptr;

  void SetUp() override {
    sim::FlashLoaderOptions loaderOptions;
    loaderOptions.flashFile = dir.File("flash.img");
    loader = std::make_shared<sim::SimFlashLoader>(loaderOptions);
    ASSERT_EQ(loader->Open(), 0);
    sim::SimOptions options;
    options.linkPath = dir.File("tty");
    ecm = std::make_unique<sim::SimEcm>(options);
    ecm->SetLoader(loader);
    ASSERT_EQ(ecm->Start(), 0);

    test::WriteFileText(dir.File("ZRM_Vistrel.cfg"), "[PORT] " + dir.File("tty") + "\r\r\n[FLSHBANK] 3\r\r\n");
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({dir.File("ZRM_Vistrel.cfg"), true});
    window = std::make_unique<MainWindow>(*app, qtServices);
    flash = &window->Flash();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(test::PumpUntil([this] { return window->isActiveWindow(); }));
    app->StartThreads();
    window->SwitchDisplay(CMD_VISTREL);
    ASSERT_TRUE(test::PumpUntil([this] { return app->link.PortRunning(); }, 5000));
    test::Pump(150);  // the link's own "stream on" leaves the slot first
  }

  void TearDown() override {
    if (window) {
      window->SwitchDisplay(CMD_VISTREL);
      window->close();
    }
    flash = nullptr;
    window.reset();
    app.reset();
    if (ecm) ecm->Stop();
  }

  QAbstractButton* Button(FlashControlId id) { return qobject_cast<QAbstractButton*>(flash->Control(id)); }

  void Key(QWidget* target, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(type, key, modifiers);
    QApplication::sendEvent(target, &event);
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> texts;
    for (const MessageLine& line : flash->Messages().Shown()) {
      std::string t = line.text;
      t.erase(t.find_last_not_of(' ') + 1);
      texts.push_back(t);
    }
    return texts;
  }
};

TEST_F(FlashWindowFixture, OpeningPlacesTheControlsAndParksTheStreamUntilClosed) {
  app->settings.flashAction = FLASH_ACTION_READ;
  window->SwitchDisplay(CMD_FLASH);
  ASSERT_TRUE(flash->IsOpen());
  for (const FlashControl& row : FLASH_CONTROLS) {
    SCOPED_TRACE(row.text);
    QWidget* control = flash->Control(row.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), window->SurfaceView());
    EXPECT_EQ(control->geometry(), QRect(row.x, row.y, row.width, row.height));
    EXPECT_TRUE(control->isVisible());
    EXPECT_EQ(control->layoutDirection() == Qt::RightToLeft, row.textOnLeft);
    EXPECT_EQ(control->isEnabled(), FlashControlEnabled(row.id, FLASH_ACTION_READ));
  }
  EXPECT_TRUE(Button(FlashControlId::Bank3)->isChecked());
  EXPECT_FALSE(Button(FlashControlId::Bank0)->isChecked());
  EXPECT_TRUE(Button(FlashControlId::ReadBank)->isChecked());
  EXPECT_TRUE(Button(FlashControlId::Verify)->isChecked());
  EXPECT_FALSE(Button(FlashControlId::Verify)->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), flash->Control(FlashControlId::Bank3));
  EXPECT_EQ(app->sources.FrameSource(), SOURCE_IDLE);
  EXPECT_TRUE(app->link.LogPaused());

  window->SwitchDisplay(CMD_VISTREL);
  EXPECT_FALSE(flash->IsOpen());
  EXPECT_EQ(flash->Control(FlashControlId::Apply), nullptr);
  EXPECT_EQ(app->sources.FrameSource(), SOURCE_LIVE);
  EXPECT_FALSE(app->link.LogPaused());
}

TEST_F(FlashWindowFixture, ClicksChangeTheSettings) {
  window->SwitchDisplay(CMD_FLASH);
  Button(FlashControlId::Bank6)->click();
  EXPECT_EQ(app->settings.flashBank, 6);
  Button(FlashControlId::Verify)->click();
  EXPECT_EQ(app->settings.flashVerify, 0);
  Button(FlashControlId::SetBankActive)->click();
  EXPECT_EQ(app->settings.flashSetBank, 0);
  Button(FlashControlId::ReadBank)->click();
  EXPECT_EQ(app->settings.flashAction, FLASH_ACTION_READ);
  EXPECT_FALSE(Button(FlashControlId::Verify)->isEnabled());
  EXPECT_TRUE(flash->Control(FlashControlId::ReadFileGroup)->isEnabled());
  EXPECT_FALSE(flash->Control(FlashControlId::ProgramFileGroup)->isEnabled());
  Button(FlashControlId::ProgramBank)->click();
  EXPECT_EQ(app->settings.flashAction, FLASH_ACTION_PROGRAM);
  EXPECT_TRUE(Button(FlashControlId::Verify)->isEnabled());

  // A chosen program file is kept, saved and shown in its line.
  test::WriteFileBytes(dir.File("cal.bin"), MakeBin());
  services.choices = {dir.File("cal.bin")};
  Button(FlashControlId::SelectBin)->click();
  EXPECT_EQ(app->settings.flashBin.name, "cal.bin");
  EXPECT_NE(test::ReadFileText(dir.File("ZRM_Vistrel.cfg")).find("[FLSHBINFILE] cal.bin"), std::string::npos);
  EXPECT_EQ(QApplication::focusWidget(), flash->Control(FlashControlId::SelectBin));

  // Close leaves for the gauge display once its click is over.
  Button(FlashControlId::Close)->click();
  EXPECT_TRUE(test::PumpUntil([this] { return window->DisplayMode() == MODE_GAUGE; }));
  EXPECT_FALSE(flash->IsOpen());
}

TEST_F(FlashWindowFixture, TabEnterAndEscapeMoveTheFocusShiftGoesBack) {
  app->settings.flashBank = 0;
  window->SwitchDisplay(CMD_FLASH);
  auto focused = [] { return QApplication::focusWidget(); };
  ASSERT_EQ(focused(), flash->Control(FlashControlId::Bank0));
  Key(focused(), QEvent::KeyPress, Qt::Key_Tab);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Bank1));
  Key(focused(), QEvent::KeyPress, Qt::Key_Return);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Bank2));
  Key(focused(), QEvent::KeyPress, Qt::Key_Escape);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Bank3));
  Key(focused(), QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
  Key(focused(), QEvent::KeyPress, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Bank2));
  Key(focused(), QEvent::KeyRelease, Qt::Key_Shift);
  Key(focused(), QEvent::KeyPress, Qt::Key_Tab);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Bank3));
  EXPECT_EQ(app->settings.flashBank, 0);  // moving the focus chose nothing

  // Disabled controls are passed over; the last wraps to the first.
  Button(FlashControlId::ReadBank)->click();
  flash->Control(FlashControlId::SelectBin)->setFocus();
  Key(focused(), QEvent::KeyPress, Qt::Key_Tab);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::SetBankActive));
  flash->Control(FlashControlId::Apply)->setFocus();
  Key(focused(), QEvent::KeyPress, Qt::Key_Tab);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Bank0));
  flash->MoveFocus(true);
  EXPECT_EQ(focused(), flash->Control(FlashControlId::Apply));
}

TEST_F(FlashWindowFixture, ApplyWithoutAFileSaysSo) {
  window->SwitchDisplay(CMD_FLASH);
  Button(FlashControlId::Apply)->click();
  EXPECT_EQ(services.messages, std::vector<std::string>{"File Error: Need a Program Bank BIN Name"});
  EXPECT_TRUE(loader->Commands().empty());
}

TEST_F(FlashWindowFixture, ApplyProgramsWhileTheWindowShowsEachLineAndRefusesInput) {
  const Bytes bin = MakeBin();
  test::WriteFileBytes(dir.File("cal.bin"), bin);
  app->settings.flashBin = {dir.File("cal.bin"), "cal.bin", dir.path() + "/"};
  window->SwitchDisplay(CMD_FLASH);

  std::vector<std::size_t> seen;
  bool triedInput = false;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!flash->Busy()) return;
    seen.push_back(flash->Messages().Shown().size());
    if (triedInput) return;
    triedInput = true;
    // A click on Read Bank, a close of the window: both refused meanwhile.
    QWidget* read = flash->Control(FlashControlId::ReadBank);
    const QPointF at(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, read->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, read->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(read, &press);
    QApplication::sendEvent(read, &release);
    window->close();
  });
  sampler.start(15);
  Button(FlashControlId::Apply)->click();  // returns when the operation has ended
  sampler.stop();

  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 8u);
  const std::vector<std::string> head{"Bank Flash Program Starting", "Flash Bank Set", "Bank Verify Starting",
                                      "Bank Programmed Successfully", "", "    -Flashing Successful-", ""};
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 7), head);
  EXPECT_NE(lines[7].find(" Second(s)"), std::string::npos) << lines[7];
  const Bytes bank = loader->Bank(3);
  EXPECT_EQ(Bytes(bank.begin(), bank.begin() + 4096), Bytes(bin.begin(), bin.begin() + 4096));

  // The lines came one by one while the operation ran: what the window
  // showed while busy only grew, and started well short of the whole. (How
  // far it got before the last sample depends on how fast the simulator
  // answers, so that is not asked.)
  ASSERT_FALSE(seen.empty());
  EXPECT_LE(seen.front(), 2u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LT(seen.front(), lines.size());
  EXPECT_TRUE(triedInput);
  EXPECT_EQ(app->settings.flashAction, FLASH_ACTION_PROGRAM);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), flash->Control(FlashControlId::Bank3));

  // On the surface: the green result line and the grey elapsed line.
  ASSERT_TRUE(test::PumpUntil([this] {
    return test::PixelAt(window->Surface().Image(), 336, 321 + 17 * 5 + 8) == MESSAGE_SUCCESS_RESULT;
  }));
  EXPECT_EQ(test::PixelAt(window->Surface().Image(), 336, 321 + 17 * 2 + 8), MESSAGE_NORMAL);

  // A repaint replays the same lines.
  window->RepaintAll();
  test::Pump(100);
  EXPECT_EQ(test::PixelAt(window->Surface().Image(), 336, 321 + 17 * 5 + 8), MESSAGE_SUCCESS_RESULT);
}

// The ECM leaves its loader silent; leaving the flash display with the port
// open tells it to stream again, so the gauges come back to life without the
// port being picked again.
TEST_F(FlashWindowFixture, LeavingAfterAnOperationBringsTheStreamBack) {
  test::WriteFileBytes(dir.File("cal.bin"), MakeBin());
  app->settings.flashBin = {dir.File("cal.bin"), "cal.bin", dir.path() + "/"};
  app->settings.flashVerify = 0;
  window->SwitchDisplay(CMD_FLASH);
  Button(FlashControlId::Apply)->click();
  const std::vector<std::string> lines = Lines();
  ASSERT_NE(std::find(lines.begin(), lines.end(), "    -Flashing Successful-"), lines.end());
  EXPECT_FALSE(ecm->Streaming());

  window->SwitchDisplay(CMD_VISTREL);
  EXPECT_TRUE(app->link.PortOpen());
  const std::uint64_t sent = ecm->FramesSent();
  EXPECT_TRUE(test::PumpUntil([&] { return ecm->Streaming() && ecm->FramesSent() > sent + 3; }, 3000));
  // And the frames reach the displays.
  const int frames = app->processor.record.goodFrames.load();
  EXPECT_TRUE(test::PumpUntil([&] { return app->processor.record.goodFrames.load() > frames + 3; }, 3000));
}

}  // namespace
}  // namespace zrm
