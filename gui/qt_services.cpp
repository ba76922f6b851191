#include "gui/qt_services.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "gui/qt_canvas.h"

namespace zrm {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString FileDialogFilter(const std::string& description, const std::string& patterns) {
  QString shown = FromWindows1252(description);
  QString list = FromWindows1252(patterns);
  list.replace(QLatin1Char(';'), QLatin1Char(' '));
  const QString tail = QStringLiteral("(") + list + QStringLiteral(")");
  if (shown.endsWith(tail)) return shown;
  return shown + QStringLiteral(" ") + tail;
}

QtServices::QtServices(QWidget* owner) : owner_(owner) {}

void QtServices::SetOwner(QWidget* owner) { owner_ = owner; }

void QtServices::OnWindowThread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
}

void QtServices::ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) {
  OnWindowThread([&] {
    QMessageBox box(BoxIcon(icon), FromWindows1252(caption), FromWindows1252(text), QMessageBox::Ok, owner_);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
  });
}

void QtServices::Beep(unsigned /*type*/) {
  // Nothing to wait for: the DisplayThread's knock beep goes on at once.
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::AutoConnection);
}

bool QtServices::Ask(const std::string& caption, const std::string& text) {
  bool yes = false;
  OnWindowThread([&] {
    QMessageBox box(QMessageBox::Question, FromWindows1252(caption), FromWindows1252(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    yes = box.exec() == QMessageBox::Yes;
  });
  return yes;
}

bool QtServices::ChooseFile(const FileDialogRequest& request, std::string* path) {
  bool chosen = false;
  OnWindowThread([&] {
    QFileDialog dialog(owner_, FromWindows1252(request.title), QFile::decodeName(request.initialFolder.c_str()));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!request.save && request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList filters;
    for (const auto& [description, patterns] : request.filters) filters << FileDialogFilter(description, patterns);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    if (!request.initialName.empty()) dialog.selectFile(QFile::decodeName(request.initialName.c_str()));
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return;
    if (path != nullptr) *path = QFile::encodeName(files.first()).toStdString();
    chosen = true;
  });
  return chosen;
}

}  // namespace zrm
