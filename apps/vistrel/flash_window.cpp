#include "apps/vistrel/flash_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <thread>

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/vistrel_app.h"
#include "config/config_file.h"
#include "gui/qt_canvas.h"
#include "gui/retained_surface.h"
#include "link/frame_source.h"
#include "shell/main_menu.h"

namespace zrm {

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

bool IsMoveKey(int key) {
  return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
         key == Qt::Key_Escape;
}

QuestionAnswer AskWithBox(QWidget* owner, const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, FromWindows1252(caption), FromWindows1252(text),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  switch (box.exec()) {
    case QMessageBox::Yes: return QuestionAnswer::Yes;
    case QMessageBox::No: return QuestionAnswer::No;
    default: return QuestionAnswer::Cancel;
  }
}

}  // namespace

FlashWindow::FlashWindow(MainWindow& window, VistrelApp& app, PlatformServices& services)
    : window_(window),
      app_(app),
      services_(services),
      transport_(app.link, ticks_.Counter()),
      messages_(MessageWindowLayout::Vistrel(), &window.Surface()),
      protocol_(transport_, FlashProtocolSettings::Vistrel(), &messages_) {
  askYesNoCancel = [this](const std::string& caption, const std::string& text) {
    return AskWithBox(&window_, caption, text);
  };
}

FlashWindow::~FlashWindow() {
  if (open_) Close();
}

QWidget* FlashWindow::Control(FlashControlId id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void FlashWindow::Open() {
  if (open_) return;
  // Raw logging pauses and the DisplayThread lets go of the ring, which the
  // flash link then reads alone.
  previousLogPaused_ = app_.link.SetLogPaused(1);
  previousSource_ = app_.sources.SetFrameSource(SOURCE_IDLE);
  CreateControls();
  ticks_.Start();
  open_ = true;
  if (QWidget* bank = Control(BankControl(app_.settings.flashBank))) bank->setFocus(Qt::OtherFocusReason);
}

void FlashWindow::Close() {
  if (!open_) return;
  open_ = false;
  // Later, not now: Close may run inside a control's own signal.
  for (auto& [id, control] : controls_) {
    control->hide();
    control->deleteLater();
  }
  controls_.clear();
  tabRing_.clear();
  if (banks_) banks_->deleteLater();
  if (actions_) actions_->deleteLater();
  banks_ = nullptr;
  actions_ = nullptr;
  ticks_.Stop();
  app_.sources.SetFrameSource(previousSource_);
  app_.link.SetLogPaused(previousLogPaused_);
}

void FlashWindow::CreateControls() {
  QWidget* parent = window_.SurfaceView();
  const VistrelSettings& s = app_.settings;
  banks_ = new QButtonGroup(this);
  actions_ = new QButtonGroup(this);
  QPalette palette = parent->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(COLOUR_BACKGROUND)));
  palette.setColor(QPalette::WindowText, QColor(ToQRgb(COLOUR_TEXT)));

  for (const FlashControl& row : FLASH_CONTROLS) {
    QWidget* control = nullptr;
    const QString text = QString::fromLatin1(row.text);
    switch (row.kind) {
      case FlashControlKind::GroupBox:
        control = new QGroupBox(text, parent);
        break;
      case FlashControlKind::RadioButton:
        control = new QRadioButton(text, parent);
        break;
      case FlashControlKind::CheckBox:
        control = new QCheckBox(text, parent);
        break;
      case FlashControlKind::PushButton:
        control = new QPushButton(text, parent);
        break;
    }
    control->setGeometry(row.x, row.y, row.width, row.height);
    control->setPalette(palette);
    if (row.textOnLeft) control->setLayoutDirection(Qt::RightToLeft);
    controls_[row.id] = control;
    if (row.kind != FlashControlKind::GroupBox) {
      control->setFocusPolicy(Qt::StrongFocus);
      control->installEventFilter(this);
      tabRing_.push_back(control);
    }
    auto* button = qobject_cast<QAbstractButton*>(control);
    const FlashControlId id = row.id;
    if (BankOfControl(id) >= 0) {
      banks_->addButton(button, BankOfControl(id));
    } else if (id == FlashControlId::ProgramBank || id == FlashControlId::ReadBank) {
      actions_->addButton(button, id == FlashControlId::ProgramBank ? FLASH_ACTION_PROGRAM : FLASH_ACTION_READ);
    } else if (button) {
      connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    }
  }
  if (QAbstractButton* bank = banks_->button(s.flashBank)) bank->setChecked(true);
  if (QAbstractButton* action = actions_->button(s.flashAction)) action->setChecked(true);
  qobject_cast<QAbstractButton*>(Control(FlashControlId::Verify))->setChecked(s.flashVerify == 1);
  qobject_cast<QAbstractButton*>(Control(FlashControlId::SetBankActive))->setChecked(s.flashSetBank == 1);
  // Connected after the start states are set, so only the user's changes count.
  connect(banks_, &QButtonGroup::idToggled, this, [this](int bank, bool checked) {
    if (checked) OnCommand(BankControl(bank));
  });
  connect(actions_, &QButtonGroup::idToggled, this, [this](int action, bool checked) {
    if (checked) OnCommand(action == FLASH_ACTION_PROGRAM ? FlashControlId::ProgramBank : FlashControlId::ReadBank);
  });
  UpdateEnabled();
  for (auto& [id, control] : controls_) control->show();
}

void FlashWindow::UpdateEnabled() {
  for (auto& [id, control] : controls_) control->setEnabled(FlashControlEnabled(id, app_.settings.flashAction));
}

void FlashWindow::OnCommand(FlashControlId id) {
  VistrelSettings& s = app_.settings;
  if (banks_ && banks_->checkedId() >= 0) s.flashBank = static_cast<std::int16_t>(banks_->checkedId());
  switch (id) {
    case FlashControlId::ProgramBank:
    case FlashControlId::ReadBank:
      s.flashAction = static_cast<std::int16_t>(id == FlashControlId::ProgramBank ? FLASH_ACTION_PROGRAM
                                                                                    : FLASH_ACTION_READ);
      UpdateEnabled();
      RedrawFileNames();
      break;
    case FlashControlId::Verify:
    case FlashControlId::SetBankActive: {
      const bool on = qobject_cast<QAbstractButton*>(Control(id))->isChecked();
      (id == FlashControlId::Verify ? s.flashVerify : s.flashSetBank) = on ? 1 : 0;
      break;
    }
    case FlashControlId::SelectBin: {
      const bool stored = s.flashAction == FLASH_ACTION_PROGRAM ? SelectProgramFile(s, services_)
                                                                 : SelectReadFile(s, services_, askYesNoCancel);
      if (stored) {
        SaveConfig(app_.config);
        RedrawFileNames();
      }
      if (QWidget* select = Control(FlashControlId::SelectBin)) select->setFocus(Qt::OtherFocusReason);
      break;
    }
    case FlashControlId::Close: {
      // Leaving the mode destroys this button; the switch runs after its click.
      MainWindow* window = &window_;
      QMetaObject::invokeMethod(window, [window] { window->Command(CMD_VISTREL); }, Qt::QueuedConnection);
      break;
    }
    case FlashControlId::Apply:
      Apply();
      if (QWidget* bank = Control(BankControl(s.flashBank))) bank->setFocus(Qt::OtherFocusReason);
      break;
    default:
      break;
  }
}

void FlashWindow::Apply() {
  FlashApply(app_.settings, protocol_, messages_, services_,
             [this](const std::function<int()>& operation) { return RunOnWorker(operation); });
}

int FlashWindow::RunOnWorker(const std::function<int()>& operation) {
  busy_.store(true);
  qApp->installEventFilter(this);
  std::atomic<int> result{-1};
  QEventLoop loop;
  std::thread worker([&] {
    result.store(operation());
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // Paints and the lines' queued shows go on; input is refused by the filter.
  loop.exec();
  worker.join();
  qApp->removeEventFilter(this);
  busy_.store(false);
  return result.load();
}

void FlashWindow::RedrawFileNames() {
  const VistrelSettings& s = app_.settings;
  window_.Surface().DrawValues([&s](Canvas& canvas) { PaintFlashFileNames(canvas, s); });
}

void FlashWindow::Paint(Canvas& canvas) { PaintFlashWindow(canvas, app_.settings, messages_); }

void FlashWindow::MoveFocus(bool backwards) {
  if (tabRing_.empty()) return;
  const int count = static_cast<int>(tabRing_.size());
  int at = -1;
  for (int i = 0; i < count; ++i) {
    if (tabRing_[static_cast<std::size_t>(i)]->hasFocus()) at = i;
  }
  for (int step = 1; step <= count; ++step) {
    int next = at < 0 ? (backwards ? count - step : step - 1)
                      : ((at + (backwards ? -step : step)) % count + count) % count;
    QWidget* control = tabRing_[static_cast<std::size_t>(next)];
    if (control->isEnabled() && control->isVisible()) {
      control->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
      return;
    }
  }
}

bool FlashWindow::RefuseInput(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != &window_) return false;
  if (event->type() == QEvent::Close) {
    event->ignore();  // the operation finishes first
    return true;
  }
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();  // taken here, so no menu shortcut fires
    return true;
  }
  return IsUserInput(event->type());
}

bool FlashWindow::FilterKey(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  if (std::find(tabRing_.begin(), tabRing_.end(), watched) == tabRing_.end()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Shift) {
    shiftDown_ = event->type() == QEvent::KeyPress;
    return false;
  }
  if (!IsMoveKey(key->key())) return false;
  if (event->type() == QEvent::KeyPress) MoveFocus(shiftDown_ || key->key() == Qt::Key_Backtab);
  return true;  // the key-up is swallowed as well
}

bool FlashWindow::eventFilter(QObject* watched, QEvent* event) {
  if (busy_.load()) return RefuseInput(watched, event);
  return FilterKey(watched, event);
}

}  // namespace zrm
