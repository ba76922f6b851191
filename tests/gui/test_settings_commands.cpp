// The settings dialogs reached from vistrel's main window: "Pre&ferences..."
// and "&User Devices..." open their modal dialogs, a unit change lays the
// displays out again, and the user devices reach the frame processing and
// the gauge display's wideband and fuel-pressure readings.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <array>

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/preferences_dialog.h"
#include "apps/vistrel/user_device_dialog.h"
#include "gui/qt_services.h"
#include "gui_test_support.h"
#include "link/runtime_frame.h"
#include "shell/main_menu.h"
#include "test_support.h"

namespace zrm {
namespace {

struct SettingsCommands : ::testing::Test {
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
    window->SwitchDisplay(CMD_VISTREL);
  }
  void TearDown() override {
    if (window) window->close();
    window.reset();
    app.reset();
  }
  // Runs `step` on the modal dialog once it is up.
  static void WhenModal(std::function<void(QWidget*)> step) {
    QTimer::singleShot(0, [step] {
      test::PumpUntil([] { return QApplication::activeModalWidget() != nullptr; }, 2000);
      step(QApplication::activeModalWidget());
    });
  }
  static void Press(QWidget* dialog, int id) {
    auto* button = dialog->findChild<QPushButton*>(QString::number(id));
    ASSERT_NE(button, nullptr);
    button->click();
  }
};

TEST_F(SettingsCommands, PreferencesFromTheMenuLaysOutAfterAUnitChange) {
  Start("[PORT] COM39\r\r\n");
  int layouts = 0;
  window->onLayOutDisplays.push_back([&layouts] { ++layouts; });
  QString title;
  WhenModal([&title](QWidget* dialog) {
    title = dialog->windowTitle();
    auto* kph = dialog->findChild<QWidget*>(QString::number(GEN_KPH));
    ASSERT_NE(kph, nullptr);
    static_cast<QAbstractButton*>(kph)->click();
    Press(dialog, PREF_OK);
  });
  window->Action(CMD_PREFERENCES)->trigger();
  EXPECT_EQ(title, "Preferences");
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(app->settings.speedInKph, 1);

  // Cancel without a change: no new layout.
  WhenModal([](QWidget* dialog) { Press(dialog, PREF_CANCEL); });
  window->Command(CMD_PREFERENCES);
  EXPECT_EQ(layouts, 1);
}

TEST_F(SettingsCommands, UserDevicesFromTheMenu) {
  Start("[PORT] COM39\r\r\n");
  int layouts = 0;
  window->onLayOutDisplays.push_back([&layouts] { ++layouts; });
  QString title;
  WhenModal([&title](QWidget* dialog) {
    title = dialog->windowTitle();
    Press(dialog, UD_CLOSE);
  });
  window->Action(CMD_USER_DEVICES)->trigger();
  EXPECT_EQ(title, "User Device");
  EXPECT_EQ(layouts, 0);  // nothing changed

  WhenModal([](QWidget* dialog) {
    Press(dialog, UD_DELETE);
    Press(dialog, UD_CLOSE);
  });
  window->Command(CMD_USER_DEVICES);
  EXPECT_EQ(layouts, 1);
}

TEST_F(SettingsCommands, FrameProcessingFeedsTheGaugeReadings) {
  Start(
      "[PORT] COM39\r\r\n"
      "[AD2TYPE] 0\r\r\n[AD2INSTA] 1\r\r\n[AD2INDEX] 1\r\r\n[AD2NAME] TT-1 WB\r\r\n[AD2WBPREF] 1\r\r\n"
      "[AD6TYPE] 1\r\r\n[AD6INSTA] 3\r\r\n[AD6INDEX] 5\r\r\n[AD6NAME] 0-5V fuel\r\r\n[AD6FPPREF] 1\r\r\n");
  std::array<std::uint8_t, FRAME_PAYLOAD_SIZE> frame{};
  frame[257 + 4] = 0x02;  // channel 2: 512 counts
  frame[257 + 12] = 0x01;  // channel 6: 256 counts
  app->processor.ProcessFrame(frame.data());
  EXPECT_NEAR(app->userDevices.PreferredWidebandValue(), 15.01, 0.005);
  EXPECT_NEAR(app->userDevices.PreferredFuelPressureValue(), 6 * (256 * 5.0 / 1023 + 0.004), 1e-9);
  const PreferredChannels& preferred = app->userDevices;
  EXPECT_TRUE(preferred.HasWideband());
  EXPECT_EQ(preferred.Wideband().channel, 2);
  EXPECT_EQ(preferred.Wideband().name, "TT-1 WB");
  EXPECT_EQ(preferred.FuelPressure().name, "0-5V fuel");
  EXPECT_EQ(preferred.FuelPressure().channel, 6);
}

}  // namespace
}  // namespace zrm
