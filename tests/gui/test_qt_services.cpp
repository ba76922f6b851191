// Message boxes, questions and file dialogs: called from the DisplayThread
// or the window thread, they are shown on the window thread with the texts,
// icon, owner and file choices asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <thread>

#include "gui/qt_services.h"
#include "gui_test_support.h"

namespace zrm {
namespace {

// Answers modal dialogs as they come up: `answer` gets each one once and
// closes it.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal == last_) return;
      last_ = modal;
      answer_(modal);
    });
    timer_.start(20);
  }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
  QWidget* last_ = nullptr;
};

// Runs `call` on a thread of its own while the window thread turns.
void RunOffWindowThread(const std::function<void()>& call) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    call();
    done = true;
  });
  const bool finished = test::PumpUntil([&] { return done.load(); }, 10000);
  worker.join();
  EXPECT_TRUE(finished);
}

TEST(QtServices, MessageFromAnotherThreadShowsOnTheWindowThread) {
  QWidget owner;
  QtServices services(&owner);
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool onWindowThread = false, topmost = false;
  QWidget* parent = nullptr;
  ModalAnswerer answerer([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    topmost = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    parent = box->parentWidget();
    onWindowThread = QThread::currentThread() == QApplication::instance()->thread();
    box->button(QMessageBox::Ok)->click();
  });
  RunOffWindowThread(
      [&] { services.ShowMessage("File Open Error", "Can not open Data Logging File \xB0", MessageIcon::Error); });
  EXPECT_EQ(title, "File Open Error");
  EXPECT_EQ(text, QString::fromUtf8("Can not open Data Logging File \u00B0"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_TRUE(topmost);
  EXPECT_EQ(parent, &owner);
  EXPECT_TRUE(onWindowThread);
}

TEST(QtServices, AskAnswersYesOrNo) {
  QtServices services;
  for (QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::No}) {
    SCOPED_TRACE(button);
    QString text;
    ModalAnswerer answerer([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      text = box->text();
      EXPECT_EQ(box->icon(), QMessageBox::Question);
      box->button(button)->click();
    });
    // Once from the DisplayThread's side, once on the window thread.
    bool yes = !(button == QMessageBox::Yes);
    RunOffWindowThread([&] { yes = services.Ask("VE Learn", "Save the learned table?"); });
    EXPECT_EQ(yes, button == QMessageBox::Yes);
    EXPECT_EQ(text, "Save the learned table?");
  }
  ModalAnswerer answerer([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
  EXPECT_TRUE(services.Ask("Here", "On the window thread?"));
}

TEST(QtServices, FilterRowsAsQtShowsThem) {
  struct Case {
    const char* description;
    const char* patterns;
    const char* shown;
  };
  const Case cases[] = {
      {"Data Log Files (*.dat)", "*.dat", "Data Log Files (*.dat)"},
      {"Logs", "*.dat;*.log", "Logs (*.dat *.log)"},
      {"All Files (*.*)", "*.*", "All Files (*.*)"},
      {"BIN", "*.bin", "BIN (*.bin)"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileDialogFilter(c.description, c.patterns), c.shown);
}

TEST(QtServices, SaveDialogTakesTheRequestAndAddsTheExtension) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QtServices services;
  FileDialogRequest request;
  request.save = true;
  request.title = "Save Data Log";
  request.filters = {{"Data Log Files (*.dat)", "*.dat"}, {"All Files (*.*)", "*.*"}};
  request.initialFolder = QFile::encodeName(dir.path()).toStdString();
  request.initialName = "run1";
  request.defaultExtension = "dat";
  request.overwritePrompt = true;

  QStringList filters;
  QString title, folder;
  ModalAnswerer answerer([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    title = dialog->windowTitle();
    folder = dialog->directory().absolutePath();
    static_cast<QDialog*>(dialog)->accept();  // as the Save button does
  });
  std::string path;
  bool chosen = false;
  RunOffWindowThread([&] { chosen = services.ChooseFile(request, &path); });
  ASSERT_TRUE(chosen);
  EXPECT_EQ(QString::fromStdString(path), QDir(dir.path()).filePath("run1.dat"));
  EXPECT_EQ(filters, (QStringList{"Data Log Files (*.dat)", "All Files (*.*)"}));
  EXPECT_EQ(title, "Save Data Log");
  EXPECT_EQ(folder, QDir(dir.path()).absolutePath());
}

TEST(QtServices, OverwritePromptAsksBeforeReplacing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile existing(QDir(dir.path()).filePath("run1.dat"));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.close();
  FileDialogRequest request;
  request.save = true;
  request.filters = {{"Data Log Files (*.dat)", "*.dat"}};
  request.initialFolder = QFile::encodeName(dir.path()).toStdString();
  request.initialName = "run1.dat";
  request.defaultExtension = "dat";
  QtServices services;
  for (bool prompt : {true, false}) {
    SCOPED_TRACE(prompt);
    request.overwritePrompt = prompt;
    int questions = 0;
    ModalAnswerer answerer([&](QWidget* w) {
      if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
        // The question, if any, comes up inside accept().
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); });
      } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
        ++questions;
        box->button(QMessageBox::Yes)->click();
      }
    });
    std::string path;
    EXPECT_TRUE(services.ChooseFile(request, &path));
    EXPECT_EQ(QString::fromStdString(path), existing.fileName());
    EXPECT_EQ(questions, prompt ? 1 : 0);
  }
}

TEST(QtServices, CancelledDialogChoosesNothing) {
  QtServices services;
  FileDialogRequest request;
  request.mustExist = true;
  request.filters = {{"BIN Files (*.bin)", "*.bin"}};
  ModalAnswerer answerer([](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    dialog->reject();
  });
  std::string path = "unchanged";
  EXPECT_FALSE(services.ChooseFile(request, &path));
  EXPECT_EQ(path, "unchanged");
}

}  // namespace
}  // namespace zrm
