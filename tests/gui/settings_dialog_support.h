// Shared by the tests of the User Device and Preferences dialogs: a vistrel
// state read from a configuration file in a temporary folder (no threads),
// key and mouse input as a user gives it, and the values of the file written.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>

#include "apps/vistrel/vistrel_app.h"
#include "gui_test_support.h"
#include "scripted_services.h"
#include "test_support.h"

namespace zrm::test {

struct SettingsDialogFixture : ::testing::Test {
  TempDir dir;
  ScriptedServices services;
  std::unique_ptr<VistrelApp> app;

  std::string ConfigPath() const { return dir.File("ZRM_Vistrel.cfg"); }

  void Load(const std::string& config) {
    app.reset();  // its shutdown saves its configuration: before the new file is written
    if (!config.empty()) WriteFileText(ConfigPath(), config);
    app = std::make_unique<VistrelApp>(&services);
    app->LoadSettings({ConfigPath(), true});
  }
  void SetUp() override { Load(""); }

  // The value of `key` in the configuration file as written, or "<none>".
  std::string Saved(const std::string& key) const {
    const std::string text = ReadFileText(ConfigPath());
    const std::string find = "\n" + key + " ";
    std::size_t at = text.find(find);
    if (at == std::string::npos) return "<none>";
    at += find.size();
    const std::size_t end = text.find('\r', at);
    return text.substr(at, end - at);
  }

  static void Show(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    PumpUntil([&window] { return window.isActiveWindow(); }, 1000);
    Pump(20);
  }
  // Keys to whatever has the focus, as typed.
  static void Type(const QString& text) {
    for (QChar c : text) {
      QWidget* focus = QApplication::focusWidget();
      ASSERT_NE(focus, nullptr);
      QTest::keyClick(focus, c.toLatin1());
    }
  }
  static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key, modifiers);
    Pump(5);
  }
  static void Click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
    Pump(5);
  }
  // Picks a combo box entry with the mouse: open the list, click the row.
  static void Choose(QComboBox* combo, int row);
  static QString TextOf(QWidget* widget) {
    auto* edit = qobject_cast<QLineEdit*>(widget);
    return edit != nullptr ? edit->text() : QString();
  }
};

inline void SettingsDialogFixture::Choose(QComboBox* combo, int row) {
  ASSERT_NE(combo, nullptr);
  Click(combo);
  QAbstractItemView* view = combo->view();
  ASSERT_TRUE(PumpUntil([view] { return view->isVisible(); }, 1000));
  const QModelIndex index = view->model()->index(row, 0);
  view->scrollTo(index);
  // The list ignores a release that comes too soon after it opened (the
  // release of the click that opened it).
  Pump(QApplication::doubleClickInterval() + 50);
  const QRect rect = view->visualRect(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  PumpUntil([view] { return !view->isVisible(); }, 1000);
  Pump(10);
}

}  // namespace zrm::test
