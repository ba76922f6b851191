// The Preferences dialog driven with keys and clicks, offscreen: the General
// Setup page's controls and Apply rules, the CTS unit switch, the update
// rate, the ADC Channels page (combo texts, preferred boxes, DIY-WB kept),
// tab changes, Apply, OK and Cancel, and the configuration file they leave.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>

#include "apps/vistrel/preferences_dialog.h"
#include "settings_dialog_support.h"

namespace zrm {
namespace {

struct PreferencesDialogTest : test::SettingsDialogFixture {
  std::unique_ptr<PreferencesDialog> dialog;
  int applied = 0;

  void Open() {
    dialog = std::make_unique<PreferencesDialog>(*app, nullptr);
    dialog->onApplied = [this] { ++applied; };
    Show(*dialog);
  }
  template <typename W = QWidget>
  W* General(int id) const {
    return qobject_cast<W*>(dialog->General()->Control(id));
  }
  template <typename W = QWidget>
  W* Channel(int id) const {
    return qobject_cast<W*>(dialog->Channels()->Control(id));
  }
  QPushButton* Button(int id) const { return dialog->findChild<QPushButton*>(QString::number(id)); }
  void Retype(int id, const QString& text) {
    QLineEdit* edit = General<QLineEdit>(id);
    Click(edit);
    edit->selectAll();
    Type(text);
  }
  void Finish(int button) {
    Click(Button(button));
    ASSERT_TRUE(test::PumpUntil([this] { return !dialog->isVisible(); }, 1000));
  }
  void ToTab(int index) {
    QTabBar* tabs = dialog->Tabs();
    Click(tabs);  // focus
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(index).center());
    test::Pump(10);
    ASSERT_EQ(dialog->CurrentPage(), index);
  }
};

TEST_F(PreferencesDialogTest, GeneralPageShowsTheSettings) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "Preferences");
  ASSERT_EQ(dialog->Tabs()->count(), 2);
  EXPECT_EQ(dialog->Tabs()->tabText(0), "General Setup");
  EXPECT_EQ(dialog->Tabs()->tabText(1), "ADC Channels");
  EXPECT_EQ(dialog->CurrentPage(), 0);
  EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), General(GEN_BLM));
  EXPECT_TRUE(General<QRadioButton>(GEN_BLM)->isChecked());
  EXPECT_TRUE(General<QRadioButton>(GEN_CELSIUS)->isChecked());
  EXPECT_EQ(General<QLabel>(GEN_CTS_LOW_UNIT)->text(), QString::fromUtf8("\xC2\xB0" "C"));
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_LOW)->text(), "75");
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_HIGH)->text(), "110");
  EXPECT_EQ(General<QLineEdit>(GEN_SMOOTH)->text(), "5");
  EXPECT_EQ(General<QSlider>(GEN_TRACKBAR)->value(), 50);
  EXPECT_EQ(General<QSlider>(GEN_TRACKBAR)->tickInterval(), 10);
  auto* rate = General<QComboBox>(GEN_UPDATE_RATE);
  ASSERT_EQ(rate->count(), 4);
  EXPECT_EQ(rate->itemText(0), "  4 Times a Second");
  EXPECT_EQ(rate->itemText(1), "  6 Times a Second");
  EXPECT_EQ(rate->itemText(2), "  9 Times a Second");
  EXPECT_EQ(rate->itemText(3), "17 Times a Second");
  EXPECT_EQ(rate->currentIndex(), 0);
  // AutoUpdate is shown disabled and unchecked, with its edit and labels.
  EXPECT_FALSE(General(GEN_AUTO_UPDATE)->isEnabled());
  EXPECT_FALSE(General<QCheckBox>(GEN_AUTO_UPDATE)->isChecked());
  EXPECT_FALSE(General(GEN_AUTO_MINUTES)->isEnabled());
  EXPECT_FALSE(General(GEN_AUTO_EVERY)->isEnabled());
  EXPECT_FALSE(General(GEN_AUTO_MINUTES_LABEL)->isEnabled());
  EXPECT_EQ(General<QLineEdit>(GEN_AUTO_MINUTES)->text(), "");
  EXPECT_TRUE(General<QCheckBox>(GEN_KNOCK_ALERT)->isChecked());
  EXPECT_FALSE(General<QCheckBox>(GEN_ENTER_PAUSE)->isChecked());
  EXPECT_TRUE(General<QRadioButton>(GEN_STICK)->isChecked());
  EXPECT_TRUE(General<QRadioButton>(GEN_MPH)->isChecked());
  EXPECT_EQ(General<QLineEdit>(GEN_SPEED_RANGE)->text(), "120");
  EXPECT_EQ(General<QLineEdit>(GEN_RPM_RANGE)->text(), "7000");
  EXPECT_EQ(General<QLineEdit>(GEN_REDLINE)->text(), "5800");
  Finish(PREF_CANCEL);
}

TEST_F(PreferencesDialogTest, RadioButtonsEnableApplyOnlyForAnotherValue) {
  Open();
  Click(General(GEN_BLM));  // already BLM
  Click(General(GEN_MPH));
  Click(General(GEN_STICK));
  EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
  Click(General(GEN_WB));
  EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
  Finish(PREF_CANCEL);
  EXPECT_EQ(app->settings.learnInput, 0);  // Cancel does not apply the page
}

TEST_F(PreferencesDialogTest, DigitsOnlyInTheNumberEdits) {
  Open();
  Retype(GEN_SPEED_RANGE, "1a2-0");
  EXPECT_EQ(General<QLineEdit>(GEN_SPEED_RANGE)->text(), "120");
  EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
  Finish(PREF_CANCEL);
}

TEST_F(PreferencesDialogTest, OkStoresLimitedAndRoundedScales) {
  Open();
  Retype(GEN_SPEED_RANGE, "336");
  Retype(GEN_RPM_RANGE, "7600");
  Retype(GEN_REDLINE, "9000");
  Retype(GEN_SMOOTH, "25");
  Click(General(GEN_ENTER_PAUSE));
  Click(General(GEN_AUTO));
  Click(General(GEN_WB));
  Finish(PREF_OK);
  EXPECT_FALSE(dialog->LayoutChanged());
  EXPECT_EQ(app->settings.speedRange, 340);
  EXPECT_EQ(Saved("[MPHRANGE]"), "340");
  EXPECT_EQ(Saved("[RPMRANGE]"), "8000");
  EXPECT_EQ(Saved("[RDLN]"), "8000");
  EXPECT_EQ(Saved("[SMOOTHFAC]"), "20");
  EXPECT_EQ(Saved("[ENTERPAUSE]"), "1");
  EXPECT_EQ(Saved("[TRANSTYPE]"), "1");
  EXPECT_EQ(Saved("[LRNINP]"), "1");
  EXPECT_EQ(Saved("[AUTOVSAVE]"), "0");
  EXPECT_EQ(Saved("[AUTOVTIME]"), "1");  // the empty edit gives 0, raised by the save
}

TEST_F(PreferencesDialogTest, CtsEditsFollowTheTemperatureUnit) {
  Load("[TEMPERSCALE] 0\r\r\n[LRNLWR] 176\r\r\n[LRNUPR] 212\r\r\n");
  Open();
  EXPECT_TRUE(General<QRadioButton>(GEN_FAHRENHEIT)->isChecked());
  Click(General(GEN_CELSIUS));
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_LOW)->text(), "80");
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_HIGH)->text(), "100");
  EXPECT_EQ(General<QLabel>(GEN_CTS_LOW_UNIT)->text(), QString::fromUtf8("\xC2\xB0" "C"));
  EXPECT_EQ(General<QLabel>(GEN_CTS_HIGH_UNIT)->text(), QString::fromUtf8("\xC2\xB0" "C"));
  EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
  Click(General(GEN_CELSIUS));  // the unit already shown: nothing changes
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_LOW)->text(), "80");
  Finish(PREF_OK);
  EXPECT_TRUE(dialog->LayoutChanged());
  EXPECT_EQ(Saved("[TEMPERSCALE]"), "1");
  EXPECT_EQ(Saved("[LRNLWR]"), "80");
  EXPECT_EQ(Saved("[LRNUPR]"), "100");

  Open();
  Click(General(GEN_FAHRENHEIT));
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_LOW)->text(), "176");
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_HIGH)->text(), "212");
  EXPECT_EQ(General<QLabel>(GEN_CTS_LOW_UNIT)->text(), QString::fromUtf8("\xC2\xB0" "F"));
  Finish(PREF_CANCEL);
}

TEST_F(PreferencesDialogTest, CelsiusToFahrenheitOfTheStartValues) {
  Open();
  Click(General(GEN_FAHRENHEIT));
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_LOW)->text(), "167");
  EXPECT_EQ(General<QLineEdit>(GEN_CTS_HIGH)->text(), "230");
  Finish(PREF_CANCEL);
}

TEST_F(PreferencesDialogTest, SeventeenTimesASecondRepaintsEveryFrame) {
  Open();
  Choose(General<QComboBox>(GEN_UPDATE_RATE), 3);
  EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
  Click(dialog->ApplyButton());
  EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
  EXPECT_EQ(applied, 1);
  EXPECT_TRUE(dialog->isVisible());  // Apply leaves the dialog open
  EXPECT_EQ(app->settings.updateRate, 3);
  EXPECT_EQ(app->settings.updateDivisor, 0);
  EXPECT_EQ(Saved("[UPDATERATE]"), "3");
  Finish(PREF_CANCEL);
}

TEST_F(PreferencesDialogTest, SpeedUnitAloneLaysOutTheDisplaysAgain) {
  Open();
  Click(General(GEN_KPH));
  EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
  Finish(PREF_OK);
  EXPECT_TRUE(dialog->LayoutChanged());
  EXPECT_EQ(Saved("[KPHORMPH]"), "1");
}

TEST_F(PreferencesDialogTest, TabChangeKeepsTheValueInMemoryButCancelDoesNotWriteIt) {
  Open();
  Retype(GEN_REDLINE, "4500");
  ToTab(1);
  EXPECT_EQ(dialog->General(), nullptr);  // one page at a time
  EXPECT_EQ(app->settings.redline, 4500);
  Finish(PREF_CANCEL);
  EXPECT_EQ(app->settings.redline, 4500);
  EXPECT_EQ(Saved("[RDLN]"), "<none>");  // no file written
}

TEST_F(PreferencesDialogTest, ChannelPageTextsAndSelection) {
  Open();
  ToTab(1);
  auto* device = Channel<QComboBox>(CHAN_DEVICE[0]);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->count(), 22);
  EXPECT_EQ(device->itemText(0), "None");
  EXPECT_EQ(device->itemText(2), "DIY-WB Non-Linear");
  EXPECT_EQ(device->itemText(21), "1-5V:     0-100 psi (1.0 - 5.0V) ");
  EXPECT_EQ(device->currentIndex(), 0);
  auto* filter = Channel<QComboBox>(CHAN_FILTER + 0);
  ASSERT_EQ(filter->count(), 11);
  EXPECT_EQ(filter->itemText(0), "     0 %    (fast)");
  EXPECT_EQ(filter->itemText(5), "    50 %");
  EXPECT_EQ(filter->itemText(10), "   100 %  (slow)");
  EXPECT_EQ(filter->currentIndex(), 0);
  for (int n = 0; n < 8; ++n) {
    auto* wb = Channel<QPushButton>(CHAN_WB + n);
    auto* fuel = Channel<QPushButton>(CHAN_FUEL + n);
    ASSERT_NE(wb, nullptr);
    ASSERT_NE(fuel, nullptr);
    EXPECT_EQ(wb->text(), "::::");
    EXPECT_TRUE(wb->isCheckable());
    EXPECT_FALSE(wb->isChecked());
  }
  EXPECT_EQ(Channel(CHAN_DEVICE[2])->objectName(), "1011");
  Finish(PREF_CANCEL);
}

TEST_F(PreferencesDialogTest, DiyWidebandChannelStaysDiyWideband) {
  Open();
  ToTab(1);
  Choose(Channel<QComboBox>(CHAN_DEVICE[0]), 2);  // DIY-WB Non-Linear
  Choose(Channel<QComboBox>(CHAN_FILTER + 0), 3);
  Click(Channel(CHAN_WB + 0));
  Choose(Channel<QComboBox>(CHAN_DEVICE[5]), 18);  // Pressure 100 psi
  Click(Channel(CHAN_FUEL + 5));
  Click(Channel(CHAN_WB + 5));  // the WB column: channel 0 gives way
  EXPECT_FALSE(Channel<QPushButton>(CHAN_WB + 0)->isChecked());
  Click(Channel(CHAN_WB + 0));  // and back
  EXPECT_TRUE(Channel<QPushButton>(CHAN_WB + 0)->isChecked());
  EXPECT_FALSE(Channel<QPushButton>(CHAN_WB + 5)->isChecked());
  EXPECT_TRUE(Channel<QPushButton>(CHAN_FUEL + 5)->isChecked());
  EXPECT_TRUE(dialog->ApplyButton()->isEnabled());
  Finish(PREF_OK);
  EXPECT_TRUE(dialog->LayoutChanged());
  EXPECT_EQ(Saved("[AD0TYPE]"), "0");
  EXPECT_EQ(Saved("[AD0INSTA]"), "1");
  EXPECT_EQ(Saved("[AD0INDEX]"), "2");
  EXPECT_EQ(Saved("[AD0NAME]"), "DIY-WB Non-Linear");
  EXPECT_EQ(Saved("[AD0FILTER]"), "70");
  EXPECT_EQ(Saved("[AD0WBPREF]"), "1");
  EXPECT_EQ(Saved("[AD5TYPE]"), "1");
  EXPECT_EQ(Saved("[AD5INSTA]"), "2");
  EXPECT_EQ(Saved("[AD5INDEX]"), "3");
  EXPECT_EQ(Saved("[AD5FPPREF]"), "1");
  EXPECT_EQ(Saved("[AD1TYPE]"), "-1");
  EXPECT_EQ(app->userDevices.PreferredWidebandChannel(), 0);
  EXPECT_EQ(app->userDevices.PreferredWidebandName(), "DIY-WB Non-L");
  EXPECT_EQ(app->userDevices.PreferredFuelPressureChannel(), 5);

  // Opened and applied again unchanged, the channel is still DIY-WB.
  Open();
  ToTab(1);
  EXPECT_EQ(Channel<QComboBox>(CHAN_DEVICE[0])->currentIndex(), 2);
  EXPECT_EQ(Channel<QComboBox>(CHAN_FILTER + 0)->currentIndex(), 3);
  EXPECT_TRUE(Channel<QPushButton>(CHAN_WB + 0)->isChecked());
  Finish(PREF_OK);
  EXPECT_EQ(Saved("[AD0INDEX]"), "2");
  EXPECT_EQ(Saved("[AD0NAME]"), "DIY-WB Non-Linear");
}

TEST_F(PreferencesDialogTest, KeyboardAloneChoosesAChannelDevice) {
  Open();
  ToTab(1);
  Channel(CHAN_DEVICE[3])->setFocus();
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  Key(Qt::Key_Tab);  // to the filter
  EXPECT_EQ(QApplication::focusWidget(), Channel(CHAN_FILTER + 3));
  Key(Qt::Key_Down);
  Key(Qt::Key_Tab);  // to the WB box
  Key(Qt::Key_Space);
  EXPECT_TRUE(Channel<QPushButton>(CHAN_WB + 3)->isChecked());
  Key(Qt::Key_Return);  // OK is the default button
  ASSERT_TRUE(test::PumpUntil([this] { return !dialog->isVisible(); }, 1000));
  EXPECT_EQ(Saved("[AD3TYPE]"), "0");
  EXPECT_EQ(Saved("[AD3INDEX]"), "2");
  EXPECT_EQ(Saved("[AD3FILTER]"), "90");
  EXPECT_EQ(Saved("[AD3WBPREF]"), "1");
}

TEST_F(PreferencesDialogTest, CtrlTabSwitchesPagesAndTabWalksThePage) {
  Open();
  General(GEN_REDLINE)->setFocus();
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Button(PREF_OK));
  Key(Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(dialog->CurrentPage(), 1);
  EXPECT_EQ(QApplication::focusWidget(), Channel(CHAN_DEVICE[0]));
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Channel(CHAN_FILTER + 0));
  Channel(CHAN_FUEL + 7)->setFocus();
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Button(PREF_OK));
  Key(Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(dialog->CurrentPage(), 0);
  EXPECT_EQ(QApplication::focusWidget(), General(GEN_BLM));
  Key(Qt::Key_Escape);
  ASSERT_TRUE(test::PumpUntil([this] { return !dialog->isVisible(); }, 1000));
}

}  // namespace
}  // namespace zrm
