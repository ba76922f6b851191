#include "apps/utility/utility_window.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <map>

#include "apps/utility/utility_boxes.h"
#include "config/config_location.h"
#include "fuelcalc/bpc_painter.h"
#include "gui/fonts.h"
#include "gui/qt_canvas.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"

namespace zrm {

namespace {

// The client area: an 800 x 600 window less its caption, menu bar and frame.
constexpr int CLIENT_WIDTH = 794;
constexpr int CLIENT_HEIGHT = 551;

struct GroupRow {
  const char* title;
  int x, y, width, height;
};

constexpr GroupRow GROUPS[] = {
    {"Injection Type", 20, 40, 170, 46},       {"Cylinders", 20, 97, 170, 46},
    {"Displacement", 20, 154, 170, 46},        {"Fuel Pressure", 20, 211, 170, 46},
    {"Injector Flow Rate", 20, 268, 170, 46},  {"Number of Injectors", 20, 325, 170, 46},
    {"Map Sensor, Bar", 20, 382, 170, 46},     {"Tuner Pro Version", 20, 439, 170, 46},
    {"", 20, 496, 170, 46},
};

enum class RadioGroup { Injection, Cylinders, Injectors, MapBar, Editor };

struct RadioRow {
  RadioGroup group;
  const char* groupTitle;
  const char* text;
  int id;  // the input's value when this button is checked
  int x, y, width, height;
};

// In tab order, with the number fields and the check box between them.
constexpr RadioRow RADIOS_TOP[] = {
    {RadioGroup::Injection, "Injection Type", "TBI", 0, 40, 60, 50, 20},
    {RadioGroup::Injection, "Injection Type", "MPFI", 1, 115, 60, 54, 20},
    {RadioGroup::Cylinders, "Cylinders", "4", 4, 40, 117, 30, 20},
    {RadioGroup::Cylinders, "Cylinders", "6", 6, 90, 117, 30, 20},
    {RadioGroup::Cylinders, "Cylinders", "8", 8, 140, 117, 30, 20},
};
constexpr RadioRow RADIOS_BOTTOM[] = {
    {RadioGroup::Injectors, "Number of Injectors", "2", 2, 40, 345, 30, 20},
    {RadioGroup::Injectors, "Number of Injectors", "4", 4, 90, 345, 30, 20},
    {RadioGroup::Injectors, "Number of Injectors", "8", 8, 140, 345, 30, 20},
    {RadioGroup::MapBar, "Map Sensor, Bar", "1", 1, 40, 402, 30, 20},
    {RadioGroup::MapBar, "Map Sensor, Bar", "2", 2, 90, 402, 30, 20},
    {RadioGroup::MapBar, "Map Sensor, Bar", "3", 3, 140, 402, 30, 20},
    {RadioGroup::Editor, "Tuner Pro Version", "4", 4, 52, 459, 30, 20},
    {RadioGroup::Editor, "Tuner Pro Version", "5", 5, 127, 459, 30, 20},
};

struct FieldRow {
  NumberField field;
  int x, y, width, height;
  int maxChars;
  int scale;  // stored value = number read x scale, truncated
};

constexpr FieldRow FIELDS[] = {
    {NumberField::Displacement, 40, 176, 40, 16, 3, 1},
    {NumberField::Pressure, 32, 233, 40, 16, 4, 10},
    {NumberField::Flow, 40, 290, 40, 16, 4, 10},
};

const FieldRow& RowOf(NumberField field) { return FIELDS[static_cast<int>(field)]; }

void SetChecked(QButtonGroup* group, int id) {
  if (QAbstractButton* button = group->button(id)) button->setChecked(true);
}

// Clears every button of an exclusive group.
void ClearGroup(QButtonGroup* group) {
  group->setExclusive(false);
  for (QAbstractButton* button : group->buttons()) button->setChecked(false);
  group->setExclusive(true);
}

std::int32_t& FieldTarget(UtilitySettings& s, NumberField field) {
  switch (field) {
    case NumberField::Displacement: return s.displacement;
    case NumberField::Pressure: return s.fuelPressure;
    case NumberField::Flow: return s.injectorFlow;
  }
  return s.displacement;
}

}  // namespace

UtilityWindow::UtilityWindow(const UtilityStartOptions& options, QtServices& services)
    : services_(&services), surface_(std::make_unique<RetainedSurface>(800, 600)) {
  const std::string path = options.configPath.empty() ? LocateConfigFile(UTILITY_CONFIG_NAME) : options.configPath;
  config_ = MakeUtilityConfig(path, settings_, &services);
  LoadConfig(config_);

  services.SetOwner(this);
  setWindowTitle("ZRM_Utility");
  setWindowIcon(UtilityIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  view_ = new SurfaceWidget(*surface_, this);
  view_->setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  view_->setFocusPolicy(Qt::NoFocus);
  view_->installEventFilter(this);
  view_->SetStaticPainter([this](Canvas& canvas) { PaintBpcWindow(canvas, settings_, results_, selected_); });
  setCentralWidget(view_);
  BuildMenus();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  CreateControls();

  if (settings_.mainWindowX != -1) {
    move(settings_.mainWindowX, settings_.mainWindowY);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->geometry();
    move(desk.width() / 2 - 400, desk.height() / 2 - 300);
  }
  ComputeBpc();
}

UtilityWindow::~UtilityWindow() = default;

QWidget* UtilityWindow::SurfaceView() const { return view_; }

QLineEdit* UtilityWindow::Field(NumberField field) const { return fields_[static_cast<int>(field)]; }

QAbstractButton* UtilityWindow::Button(const char* group, const char* text) const {
  if (std::string(group) == "Fuel Pressure" && std::string(text) == "VacRef") return vacRef_;
  auto it = buttons_.find(std::string(group) + "/" + text);
  return it == buttons_.end() ? nullptr : it->second;
}

void UtilityWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("&File");
  connect(file->addAction("E&xit"), &QAction::triggered, this, &QWidget::close);
  QMenu* edit = bar->addMenu("&Edit");
  copyAction_ = edit->addAction("&Copy");
  copyAction_->setEnabled(false);
  connect(copyAction_, &QAction::triggered, this, [this] { CopyBpcTable(); });
  QMenu* help = bar->addMenu("&Help");
  connect(help->addAction("&Help..."), &QAction::triggered, this, [this] { ShowHelp(); });
  connect(help->addAction("&About..."), &QAction::triggered, this, [this] { ShowAbout(); });
}

void UtilityWindow::CreateControls() {
  QPalette palette = view_->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(COLOUR_BACKGROUND)));
  palette.setColor(QPalette::WindowText, QColor(ToQRgb(COLOUR_TEXT)));
  palette.setColor(QPalette::ButtonText, QColor(ToQRgb(COLOUR_TEXT)));
  // Group boxes first, so the controls lie over them.
  for (const GroupRow& row : GROUPS) {
    auto* box = new QGroupBox(QString::fromLatin1(row.title), view_);
    box->setGeometry(row.x, row.y, row.width, row.height);
    box->setPalette(palette);
    box->setFocusPolicy(Qt::NoFocus);
    if (std::string(row.title) == "Number of Injectors") injectorBox_ = box;
  }

  auto makeGroup = [this] {
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    return group;
  };
  injection_ = makeGroup();
  cylinders_ = makeGroup();
  injectors_ = makeGroup();
  mapBar_ = makeGroup();
  editor_ = makeGroup();
  auto groupOf = [this](RadioGroup g) {
    switch (g) {
      case RadioGroup::Injection: return injection_;
      case RadioGroup::Cylinders: return cylinders_;
      case RadioGroup::Injectors: return injectors_;
      case RadioGroup::MapBar: return mapBar_;
      case RadioGroup::Editor: return editor_;
    }
    return injection_;
  };
  auto prepare = [this, &palette](QWidget* control) {
    control->setPalette(palette);
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(this);
    control->show();
  };
  auto addRadios = [&](const auto& rows) {
    for (const RadioRow& row : rows) {
      auto* button = new QRadioButton(QString::fromLatin1(row.text), view_);
      button->setGeometry(row.x, row.y, row.width, row.height);
      groupOf(row.group)->addButton(button, row.id);
      buttons_[std::string(row.groupTitle) + "/" + row.text] = button;
      prepare(button);
      const bool injection = row.group == RadioGroup::Injection;
      const bool mpfi = row.id == 1;
      connect(button, &QAbstractButton::clicked, this, [this, injection, mpfi] {
        if (injection) OnInjectionType(mpfi);
        ReadButtons();
      });
    }
  };

  addRadios(RADIOS_TOP);
  for (const FieldRow& row : FIELDS) {
    auto* field = new QLineEdit(view_);
    field->setGeometry(row.x, row.y, row.width, row.height);
    field->setFrame(false);
    field->setTextMargins(0, 0, 0, 0);
    field->setFont(FontFor(FontId::ListBold));
    field->setPalette(palette);
    fields_[static_cast<int>(row.field)] = field;
    prepare(field);
    const NumberField which = row.field;
    connect(field, &QLineEdit::textEdited, this, [this, which] { OnFieldEdited(which); });
    if (row.field == NumberField::Pressure) {
      vacRef_ = new QCheckBox("VacRef", view_);
      vacRef_->setGeometry(118, 231, 65, 20);
      prepare(vacRef_);
      connect(vacRef_, &QAbstractButton::clicked, this, [this] { ReadButtons(); });
    }
  }
  addRadios(RADIOS_BOTTOM);
  calculate_ = new QPushButton("Calculate", view_);
  calculate_->setGeometry(55, 509, 100, 24);
  prepare(calculate_);
  connect(calculate_, &QAbstractButton::clicked, this, [this] { ReadButtons(); });

  // The controls show the inputs as read.
  Field(NumberField::Displacement)->setText(QString::fromStdString(DisplacementFieldText(settings_.displacement)));
  Field(NumberField::Pressure)->setText(QString::fromStdString(TenthsFieldText(settings_.fuelPressure)));
  Field(NumberField::Flow)->setText(QString::fromStdString(TenthsFieldText(settings_.injectorFlow)));
  SetChecked(injection_, settings_.injectionType);
  SetChecked(cylinders_, settings_.cylinders);
  SetChecked(injectors_, settings_.injectorCount);
  SetChecked(mapBar_, settings_.mapBar);
  SetChecked(editor_, settings_.editorVersion);
  vacRef_->setChecked(settings_.vacuumReference == 1);
  if (settings_.injectionType == 1) {
    // As after a switch to MPFI: no regulator reference, no injector choice.
    vacRef_->setChecked(false);
    vacRef_->setEnabled(false);
    settings_.vacuumReference = 0;
    SetInjectorGroupEnabled(false);
  }
}

void UtilityWindow::SetInjectorGroupEnabled(bool enabled) {
  if (!enabled) ClearGroup(injectors_);
  // The box's caption greys with its buttons; the buttons are not its
  // children, so each is switched too.
  injectorBox_->setEnabled(enabled);
  for (QAbstractButton* button : injectors_->buttons()) button->setEnabled(enabled);
}

void UtilityWindow::OnInjectionType(bool mpfi) {
  const bool wasMpfi = settings_.injectionType == 1;
  if (mpfi && !wasMpfi) {
    vacRef_->setChecked(false);
    vacRef_->setEnabled(false);
    SetInjectorGroupEnabled(false);
  } else if (!mpfi && wasMpfi) {
    vacRef_->setEnabled(true);
    SetInjectorGroupEnabled(true);
    SetChecked(injectors_, 2);
  }
}

void UtilityWindow::ReadButtons() {
  // A group with no button checked (a count the window does not offer, or
  // the injectors under MPFI) keeps its input.
  if (injection_->checkedId() >= 0) settings_.injectionType = injection_->checkedId();
  if (cylinders_->checkedId() >= 0) settings_.cylinders = cylinders_->checkedId();
  if (injectors_->checkedId() >= 0) settings_.injectorCount = injectors_->checkedId();
  if (mapBar_->checkedId() >= 0) settings_.mapBar = mapBar_->checkedId();
  if (editor_->checkedId() >= 0) settings_.editorVersion = editor_->checkedId();
  settings_.vacuumReference = vacRef_->isChecked() ? 1 : 0;
  ComputeBpc();
}

void UtilityWindow::OnFieldEdited(NumberField which) {
  QLineEdit* field = Field(which);
  const std::string typed = field->text().toStdString();
  bool removed = false;
  const std::string kept = FilterNumberField(typed, RowOf(which).maxChars, &removed);
  if (!removed) return;
  const int cursor = field->cursorPosition();
  field->setText(QString::fromStdString(kept));
  field->setCursorPosition(std::min(cursor, static_cast<int>(kept.size())));
  services_->Beep(BEEP_EXCLAMATION);
}

void UtilityWindow::OnFieldLeft(NumberField which) {
  FieldTarget(settings_, which) = ReadNumberField(Field(which)->text().toStdString(), RowOf(which).scale);
  ComputeBpc();
}

void UtilityWindow::ComputeBpc() {
  results_ = zrm::ComputeBpc(settings_);
  view_->RepaintAll();
}

void UtilityWindow::Select(BpcTable table) {
  if (table == selected_) return;
  selected_ = table;
  copyAction_->setEnabled(table != BpcTable::None);
  view_->RepaintAll();
}

void UtilityWindow::CopyBpcTable() {
  const std::string text = BpcCopyText(results_, selected_, settings_.editorVersion);
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(QString::fromLatin1(text));
}

void UtilityWindow::ShowHelp() {
  UtilityHelpBox box(this);
  box.exec();
}

void UtilityWindow::ShowAbout() {
  UtilityAboutBox box(this);
  box.exec();
}

bool UtilityWindow::HandleKey(QKeyEvent* key) {
  if (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier)) {
    CopyBpcTable();
    return true;
  }
  const bool back = (key->modifiers() & Qt::ShiftModifier) != 0;
  switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      focusNextPrevChild(!back);
      return true;
    case Qt::Key_Backtab:
      focusNextPrevChild(false);
      return true;
    default:
      break;
  }
  if (key->text() == QLatin1String("?") || key->text() == QLatin1String("/")) {
    ShowAbout();
    return true;
  }
  return false;
}

bool UtilityWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride: {
      // Ctrl+C belongs to the window in every control, the number fields too.
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier)) {
        event->accept();
        return true;
      }
      break;
    }
    case QEvent::KeyPress:
      if (HandleKey(static_cast<QKeyEvent*>(event))) return true;
      break;
    case QEvent::FocusIn:
      for (int i = 0; i < 3; ++i) {
        if (watched != fields_[i]) continue;
        Select(BpcTable::None);
        // After the click that brought the focus has placed the cursor.
        QTimer::singleShot(0, fields_[i], [field = fields_[i]] {
          if (field->hasFocus()) field->selectAll();
        });
      }
      break;
    case QEvent::FocusOut:
      for (int i = 0; i < 3; ++i) {
        if (watched == fields_[i]) OnFieldLeft(static_cast<NumberField>(i));
      }
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
      if (watched != view_) break;
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = mouse->position().toPoint();
      const BpcTable column = BpcColumnAt(at.x(), at.y());
      if (mouse->button() == Qt::LeftButton) {
        if (event->type() == QEvent::MouseButtonPress) {
          pressedColumn_ = column;
        } else {
          Select(column != BpcTable::None && column == pressedColumn_ ? column : BpcTable::None);
          pressedColumn_ = BpcTable::None;
        }
        return true;
      }
      if (mouse->button() == Qt::RightButton && event->type() == QEvent::MouseButtonPress &&
          column != BpcTable::None && column == selected_) {
        QMenu menu(this);
        connect(menu.addAction("  &Copy  "), &QAction::triggered, this, [this] { CopyBpcTable(); });
        menu.exec(mouse->globalPosition().toPoint());
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void UtilityWindow::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event)) QMainWindow::keyPressEvent(event);
}

void UtilityWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // At start only: a window restored from the task bar keeps its focus.
  if (shown_) return;
  shown_ = true;
  if (QAbstractButton* tbi = Button("Injection Type", "TBI")) tbi->setFocus();
}

void UtilityWindow::StorePosition() {
  if (isMinimized()) return;
  settings_.mainWindowX = frameGeometry().x();
  settings_.mainWindowY = frameGeometry().y();
}

void UtilityWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    StorePosition();
    SaveConfig(config_);
  }
  event->accept();
}

}  // namespace zrm
