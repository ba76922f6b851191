// ZRM_Utility's window offscreen: the table selection by mouse and the copy
// to the system clipboard, the injection-type switch, the number fields and
// the configuration file written at exit.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <cmath>
#include <string>

#include "apps/utility/utility_window.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "test_support.h"

namespace zrm {
namespace {

class CountingServices : public QtServices {
 public:
  void Beep(unsigned) override { ++beeps; }
  int beeps = 0;
};

class UtilityWindowTest : public ::testing::Test {
 protected:
  // A window over a configuration file holding `config`.
  void Open(const std::string& config) {
    test::WriteFileText(path_, config);
    UtilityStartOptions options;
    options.configPath = path_;
    window_ = std::make_unique<UtilityWindow>(options, services_);
    window_->show();
    QApplication::setActiveWindow(window_.get());
    ASSERT_TRUE(test::PumpUntil([this] { return window_->isVisible(); }));
    test::Pump(20);
  }

  void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton) { Click(at, at, button); }
  void Click(QPoint press, QPoint release, Qt::MouseButton button = Qt::LeftButton) {
    QWidget* view = window_->SurfaceView();
    QMouseEvent down(QEvent::MouseButtonPress, press, view->mapToGlobal(press), button, button, Qt::NoModifier);
    QApplication::sendEvent(view, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, release, view->mapToGlobal(release), button, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(view, &up);
    test::Pump(10);
  }

  // A key as the user types it, into the control that has the focus.
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = QString()) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window_.get();
    QKeyEvent override(QEvent::ShortcutOverride, key, modifiers, text);
    QApplication::sendEvent(target, &override);
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
    test::Pump(10);
  }
  void Type(const char* text) {
    for (const char* c = text; *c; ++c) Key(QChar(*c).toUpper().unicode(), Qt::NoModifier, QString(QChar(*c)));
  }

  void Focus(QWidget* control) {
    control->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(test::PumpUntil([control] { return control->hasFocus(); }));
    test::Pump(10);
  }

  QString Clipboard() const { return QGuiApplication::clipboard()->text(); }

  test::TempDir dir_;
  std::string path_ = dir_.File("ZRM_Utility.cfg");
  CountingServices services_;
  std::unique_ptr<UtilityWindow> window_;
};

TEST_F(UtilityWindowTest, SelectVacColumnAndCopyWithCtrlC) {
  Open("[BPCVACREF] 1\n[BPCTPVERSION] 5\n");
  QGuiApplication::clipboard()->setText("before");
  EXPECT_FALSE(window_->CopyAction()->isEnabled());

  Click(QPoint(340, 300));
  EXPECT_EQ(window_->Selected(), BpcTable::Vac);
  EXPECT_TRUE(window_->CopyAction()->isEnabled());
  // The column is shown inverted: the background there is its inverse.
  const QImage image = window_->Surface().Image();
  EXPECT_EQ(test::PixelAt(image, 304, 92), RgbColour(255 - 220, 255 - 220, 255 - 220));
  EXPECT_EQ(test::PixelAt(image, 300, 92), COLOUR_BACKGROUND);

  Key(Qt::Key_C, Qt::ControlModifier);
  // Editor version 5: the last row first; values above 255 copied as they are.
  EXPECT_EQ(Clipboard(), QString("416\r\n337\r\n291\r\n260\r\n237\r\n219\r\n205\r\n193\r\n183\r\n175\r\n167\r\n"
                                 "161\r\n155\r\n149\r\n145\r\n140\r\n136\r\n"));
}

TEST_F(UtilityWindowTest, BoostColumnFromANumberFieldAndEmptyCopyWithoutSelection) {
  Open("[BPCVACREF] 1\n[BPCMAPBAR] 2\n");
  // The focus in a number field: Ctrl+C still copies the table.
  Focus(window_->Field(NumberField::Flow));
  Click(QPoint(530, 100));
  ASSERT_EQ(window_->Selected(), BpcTable::Boost);
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(Clipboard(), QString(" 94\r\n 96\r\n 99\r\n102\r\n106\r\n109\r\n113\r\n118\r\n123\r\n129\r\n136\r\n"));

  // Press in one column, release in the other: no selection, Copy greyed,
  // and a copy leaves an empty text.
  Click(QPoint(530, 100), QPoint(340, 100));
  EXPECT_EQ(window_->Selected(), BpcTable::None);
  EXPECT_FALSE(window_->CopyAction()->isEnabled());
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasText());
  EXPECT_EQ(Clipboard(), QString());

  // Entering a number field clears a selection.
  Click(QPoint(340, 100));
  ASSERT_EQ(window_->Selected(), BpcTable::Vac);
  Focus(window_->Field(NumberField::Displacement));
  EXPECT_EQ(window_->Selected(), BpcTable::None);
}

TEST_F(UtilityWindowTest, MpfiClearsVacRefAndInjectorsAndTbiRestoresTwo) {
  Open("[BPCVACREF] 1\n[BPCNUMINJECTOR] 4\n[BPCFUELPSI] 435\n[BPCINJECTORFLOW] 240\n");
  QAbstractButton* mpfi = window_->Button("Injection Type", "MPFI");
  QAbstractButton* tbi = window_->Button("Injection Type", "TBI");
  QAbstractButton* four = window_->Button("Number of Injectors", "4");
  ASSERT_TRUE(mpfi && tbi && four);
  EXPECT_TRUE(four->isChecked());

  mpfi->click();
  EXPECT_EQ(window_->Settings().injectionType, 1);
  EXPECT_FALSE(window_->VacRef()->isChecked());
  EXPECT_FALSE(window_->VacRef()->isEnabled());
  EXPECT_EQ(window_->Settings().vacuumReference, 0);
  for (const char* n : {"2", "4", "8"}) {
    EXPECT_FALSE(window_->Button("Number of Injectors", n)->isEnabled()) << n;
    EXPECT_FALSE(window_->Button("Number of Injectors", n)->isChecked()) << n;
  }
  // MPFI, 8 cylinders, 350 ci, 43.5 psi, 24.0 #/hr: every row 173.
  EXPECT_EQ(window_->Results().vac[16].value, 173);
  EXPECT_EQ(window_->Results().boost[0].value, 173);

  tbi->click();
  EXPECT_EQ(window_->Settings().injectionType, 0);
  EXPECT_TRUE(window_->VacRef()->isEnabled());
  EXPECT_TRUE(window_->Button("Number of Injectors", "2")->isChecked());
  EXPECT_TRUE(window_->Button("Number of Injectors", "8")->isEnabled());
  EXPECT_EQ(window_->Settings().injectorCount, 2);
}

TEST_F(UtilityWindowTest, NumberFieldFiltersWithABeepAndIsReadOnLeaving) {
  Open("");
  ASSERT_TRUE(test::PumpUntil([this] { return window_->Button("Injection Type", "TBI")->hasFocus(); }));
  QLineEdit* pressure = window_->Field(NumberField::Pressure);
  EXPECT_EQ(pressure->text(), QString("13.0"));
  Focus(pressure);
  ASSERT_TRUE(test::PumpUntil([pressure] { return pressure->selectedText() == "13.0"; }));
  Type("5x8.5.2");
  EXPECT_EQ(pressure->text(), QString("58.5"));
  EXPECT_EQ(services_.beeps, 3);  // the letter, the second point, the fifth character
  EXPECT_EQ(window_->Settings().fuelPressure, 130);  // not read until the field is left

  Key(Qt::Key_Return);  // Enter moves on to the next control
  EXPECT_TRUE(window_->VacRef()->hasFocus());
  EXPECT_EQ(window_->Settings().fuelPressure, 585);
  const double single = 61.0 * std::sqrt(58.5 / 13.0);
  EXPECT_DOUBLE_EQ(window_->Results().singleFlow, single);

  Key(Qt::Key_Escape, Qt::ShiftModifier);  // back again
  EXPECT_TRUE(pressure->hasFocus());
}

TEST_F(UtilityWindowTest, ConfigurationWrittenAtExit) {
  Open("[XPOSHWND] 40\n[YPOSHWND] 30\n[BPCCYLINDER] 6\n");
  EXPECT_TRUE(window_->Button("Cylinders", "6")->isChecked());
  window_->Button("Tuner Pro Version", "5")->click();
  window_->Button("Map Sensor, Bar", "3")->click();
  window_->Button("Cylinders", "4")->click();
  const QPoint at = window_->frameGeometry().topLeft();
  window_->close();
  const std::string written = test::ReadFileText(path_);
  const std::string want = "[ID] ZRM Utility\r\n[XPOSHWND] " + std::to_string(at.x()) + "\r\n[YPOSHWND] " +
                           std::to_string(at.y()) +
                           "\r\n[BPCINJTYPE] 0\r\n[BPCCYLINDER] 4\r\n[BPCVACREF] 0\r\n[BPCDISPLACEMENT] 350\r\n"
                           "[BPCFUELPSI] 130\r\n[BPCNUMINJECTOR] 2\r\n[BPCINJECTORFLOW] 610\r\n[BPCMAPBAR] 3\r\n"
                           "[BPCTPVERSION] 5\r\n";
  EXPECT_EQ(written, want);
}

}  // namespace
}  // namespace zrm
