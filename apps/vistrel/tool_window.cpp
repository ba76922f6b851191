#include "apps/vistrel/tool_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include "apps/vistrel/main_window.h"

namespace zrm {

namespace {

constexpr int FLASH_STEP_MS = 120;

void FocusMainWindow(MainWindow& main) {
  main.activateWindow();
  if (QWidget* view = main.SurfaceView()) view->setFocus();
}

}  // namespace

ToolWindow::ToolWindow(MainWindow& main, RetainedSurface& surface, const char* title, ToolWindowKeys keys)
    : QDialog(&main, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      main_(main),
      keys_(keys) {
  setWindowTitle(title);
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  view_ = new SurfaceWidget(surface, this);
  view_->setFixedSize(surface.Width(), surface.Height());
  view_->setFocusPolicy(Qt::NoFocus);
  view_->setMouseTracking(true);
  view_->installEventFilter(this);
  setFixedSize(surface.Width(), surface.Height());
  if (*keys_.left != -1) move(*keys_.left, *keys_.top);
  *keys_.open = 1;
}

void ToolWindow::StorePosition() {
  if (!isVisible() || isMinimized()) return;
  *keys_.left = pos().x();
  *keys_.top = pos().y();
}

void ToolWindow::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  StorePosition();
}

void ToolWindow::TakeFocus() {
  // Not while the About or Help box is up.
  if (QApplication::activeModalWidget() != nullptr) return;
  activateWindow();
  setFocus();
}

void ToolWindow::ReturnFocus() { FocusMainWindow(main_); }

void ToolWindow::Flash() {
  TakeFocus();
  QPointer<ToolWindow> self(this);
  MainWindow* main = &main_;
  QTimer::singleShot(FLASH_STEP_MS, main, [main] { FocusMainWindow(*main); });
  QTimer::singleShot(2 * FLASH_STEP_MS, main, [self] {
    if (self) self->TakeFocus();
  });
  QTimer::singleShot(3 * FLASH_STEP_MS, main, [main] { FocusMainWindow(*main); });
}

bool ToolWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape) {
        reject();
        return true;
      }
      // The display keys and the logging keys belong to the main window; it
      // sorts out which ones it acts on.
      if (QWidget* view = main_.SurfaceView()) {
        QCoreApplication::postEvent(view, new QKeyEvent(QEvent::KeyPress, key->key(), key->modifiers(), key->text()));
      }
      return true;
    }
    case QEvent::Enter:
      TakeFocus();
      break;
    case QEvent::Leave:
      if (onMouseLeave) onMouseLeave();
      ReturnFocus();
      break;
    default:
      break;
  }
  return QDialog::event(event);
}

bool ToolWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && onMouse) {
    switch (event->type()) {
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() != QEvent::MouseMove && mouse->button() != Qt::LeftButton) break;
        const QPoint p = mouse->position().toPoint();
        onMouse(event->type(), p.x(), p.y());
        break;
      }
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void ToolWindow::reject() {
  if (closedByUser_) return;
  closedByUser_ = true;
  *keys_.open = 0;
  StorePosition();
  hide();
  ReturnFocus();
  if (onUserClose) {
    // The owner deletes this window; let the event that closed it finish first.
    QTimer::singleShot(0, &main_, onUserClose);
  }
}

// The close box is the window's Cancel. The program closes a tool window by
// deleting it, which keeps the open key.
void ToolWindow::closeEvent(QCloseEvent* event) {
  reject();
  event->accept();
}

}  // namespace zrm
