#include "apps/vistrel/user_device_dialog.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "apps/vistrel/vistrel_app.h"
#include "devices/user_devices.h"

namespace zrm {
namespace {

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

QLabel* AddLabel(QWidget* parent, const char* text, int x, int y, int width = 0) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  if (width > 0) label->setFixedWidth(width);
  return label;
}

}  // namespace

UserDeviceDialog::UserDeviceDialog(VistrelApp& app, int& lastEntry, QWidget* parent)
    : QDialog(parent), app_(app), lastEntry_(lastEntry) {
  setWindowTitle("User Device");
  setFixedSize(440, 300);

  AddLabel(this, "Select Entry to Add/Edit/Delete:", 14, 10);
  list_ = new QComboBox(this);
  list_->setObjectName(QString::number(UD_LIST));
  list_->setGeometry(14, 30, 412, 24);
  list_->setMaxVisibleItems(16);

  AddLabel(this, "Device Name:", 14, 70);
  name_ = AddEdit(UD_NAME, 120, 66, 306, USER_DEVICE_NAME_MAX);
  AddLabel(this, "Unit Name:", 14, 102);
  unit_ = AddEdit(UD_UNIT, 120, 98, 60, USER_DEVICE_UNIT_MAX);

  AddLabel(this, "Calibration points:", 14, 134);
  voltJ_ = AddEdit(UD_VOLT_J, 14, 154, 64, USER_DEVICE_VOLTS_MAX);
  labelJ_ = AddLabel(this, "", 86, 158, 150);
  labelJ_->setObjectName(QString::number(UD_LABEL_J));
  unitJ_ = AddEdit(UD_UNIT_J, 240, 154, 100, USER_DEVICE_VALUE_MAX);
  voltK_ = AddEdit(UD_VOLT_K, 14, 186, 64, USER_DEVICE_VOLTS_MAX);
  labelK_ = AddLabel(this, "", 86, 190, 150);
  labelK_->setObjectName(QString::number(UD_LABEL_K));
  unitK_ = AddEdit(UD_UNIT_K, 240, 186, 100, USER_DEVICE_VALUE_MAX);

  AddLabel(this, "Places to right of decimal point (in output):", 14, 226);
  precision_ = AddEdit(UD_PRECISION, 300, 222, 30, 1);

  apply_ = new QPushButton("Apply", this);
  apply_->setObjectName(QString::number(UD_APPLY));
  apply_->setGeometry(120, 260, 90, 28);
  delete_ = new QPushButton("Delete", this);
  delete_->setObjectName(QString::number(UD_DELETE));
  delete_->setGeometry(226, 260, 90, 28);
  close_ = new QPushButton("Close", this);
  close_->setObjectName(QString::number(UD_CLOSE));
  close_->setGeometry(332, 260, 90, 28);
  for (QPushButton* button : {apply_, delete_, close_}) button->setAutoDefault(false);

  setTabOrder(list_, name_);
  setTabOrder(name_, unit_);
  setTabOrder(unit_, voltJ_);
  setTabOrder(voltJ_, unitJ_);
  setTabOrder(unitJ_, voltK_);
  setTabOrder(voltK_, unitK_);
  setTabOrder(unitK_, precision_);
  setTabOrder(precision_, apply_);
  setTabOrder(apply_, delete_);
  setTabOrder(delete_, close_);

  for (QLineEdit* edit : {name_, unit_, voltJ_, unitJ_, voltK_, unitK_, precision_})
    connect(edit, &QLineEdit::textEdited, this, [this] { OnEdited(); });
  connect(unit_, &QLineEdit::textEdited, this, [this] { OnUnitEdited(); });
  // What reaches a number field other than by a typed key (a paste) is
  // filtered the same way.
  for (QLineEdit* edit : {voltJ_, unitJ_, voltK_, unitK_, precision_}) {
    connect(edit, &QLineEdit::textEdited, this, [this, edit] {
      std::string text = Text(edit);
      int cursor = edit->cursorPosition();
      const bool removed = edit == precision_ ? FilterDigitsText(text, &cursor) : FilterNumberText(text, &cursor);
      if (!removed) return;
      app_.Services().Beep(BEEP_EXCLAMATION);
      edit->setText(Q(text));
      edit->setCursorPosition(cursor);
    });
  }
  for (QLineEdit* edit : {voltJ_, unitJ_, voltK_, unitK_, precision_}) edit->installEventFilter(this);
  connect(list_, &QComboBox::activated, this, [this](int position) { OnListActivated(position); });
  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
  connect(delete_, &QPushButton::clicked, this, [this] { OnDelete(); });
  connect(close_, &QPushButton::clicked, this, [this] { reject(); });

  FillList();
  int position = 0;
  for (std::size_t i = 0; i < listEntries_.size(); ++i)
    if (listEntries_[i] == lastEntry_) position = static_cast<int>(i);
  list_->setCurrentIndex(listEntries_.empty() ? -1 : position);
  LoadEntry(listEntries_.empty() ? -1 : listEntries_[static_cast<std::size_t>(position)]);
}

QLineEdit* UserDeviceDialog::AddEdit(int id, int x, int y, int width, int maxLength) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::number(id));
  edit->setGeometry(x, y, width, 24);
  edit->setMaxLength(maxLength);
  return edit;
}

QWidget* UserDeviceDialog::Control(int id) const { return findChild<QWidget*>(QString::number(id)); }

void UserDeviceDialog::FillList() {
  list_->clear();
  listEntries_ = UserDeviceListEntries(app_.settings.userDevices);
  for (int entry : listEntries_) list_->addItem(Q(app_.settings.userDevices[static_cast<std::size_t>(entry)].name));
}

void UserDeviceDialog::ShowFields(const UserDeviceFields& f) {
  name_->setText(Q(f.name));
  unit_->setText(Q(f.unit));
  voltJ_->setText(Q(f.voltJ));
  unitJ_->setText(Q(f.unitJ));
  voltK_->setText(Q(f.voltK));
  unitK_->setText(Q(f.unitK));
  precision_->setText(Q(f.precision));
  labelJ_->setText(Q(VoltsLabel(f.unit)));
  labelK_->setText(Q(VoltsLabel(f.unit)));
}

UserDeviceFields UserDeviceDialog::ReadFields() const {
  UserDeviceFields f;
  f.name = Text(name_);
  f.unit = Text(unit_);
  f.voltJ = Text(voltJ_);
  f.unitJ = Text(unitJ_);
  f.voltK = Text(voltK_);
  f.unitK = Text(unitK_);
  f.precision = Text(precision_);
  return f;
}

void UserDeviceDialog::LoadEntry(int entry) {
  entry_ = entry;
  const bool any = entry >= 0 && entry < USER_DEVICE_COUNT;
  for (QWidget* w : std::initializer_list<QWidget*>{name_, unit_, voltJ_, unitJ_, voltK_, unitK_, precision_, delete_})
    w->setEnabled(any);
  if (any) {
    lastEntry_ = entry;
    ShowFields(LoadUserDeviceFields(app_.settings.userDevices[static_cast<std::size_t>(entry)]));
  }
  apply_->setEnabled(false);
  modified_ = false;
  if (any) {
    name_->setFocus();
    name_->selectAll();
  }
}

void UserDeviceDialog::StoreEntry() {
  if (entry_ < 0 || entry_ >= USER_DEVICE_COUNT) return;
  UserDeviceFields fields = ReadFields();
  UserDeviceSettings& device = app_.settings.userDevices[static_cast<std::size_t>(entry_)];
  StoreUserDeviceFields(fields, device);
  SetListText(entry_, device.name);
  devicesChanged_ = true;
}

void UserDeviceDialog::SetListText(int entry, const std::string& text) {
  for (std::size_t i = 0; i < listEntries_.size(); ++i)
    if (listEntries_[i] == entry) list_->setItemText(static_cast<int>(i), Q(text));
}

void UserDeviceDialog::AskToSave() {
  if (!modified_) return;
  if (app_.Services().Ask(USER_DEVICE_MODIFIED_CAPTION, USER_DEVICE_MODIFIED_TEXT)) StoreEntry();
  modified_ = false;
}

void UserDeviceDialog::OnListActivated(int position) {
  if (position < 0 || position >= static_cast<int>(listEntries_.size())) return;
  AskToSave();
  list_->setCurrentIndex(position);
  LoadEntry(listEntries_[static_cast<std::size_t>(position)]);
}

void UserDeviceDialog::OnApply() {
  if (entry_ < 0) return;
  StoreEntry();
  // The fields show what was stored.
  ShowFields(LoadUserDeviceFields(app_.settings.userDevices[static_cast<std::size_t>(entry_)]));
  for (std::size_t i = 0; i < listEntries_.size(); ++i)
    if (listEntries_[i] == entry_) list_->setCurrentIndex(static_cast<int>(i));
  apply_->setEnabled(false);
  modified_ = false;
  list_->setFocus();
}

void UserDeviceDialog::OnDelete() {
  if (entry_ < 0) return;
  UserDeviceSettings& device = app_.settings.userDevices[static_cast<std::size_t>(entry_)];
  ResetUserDevice(device);
  SetListText(entry_, device.name);
  devicesChanged_ = true;
  LoadEntry(entry_);
}

void UserDeviceDialog::OnEdited() {
  modified_ = true;
  apply_->setEnabled(true);
}

void UserDeviceDialog::OnUnitEdited() {
  labelJ_->setText(Q(VoltsLabel(Text(unit_))));
  labelK_->setText(Q(VoltsLabel(Text(unit_))));
}

void UserDeviceDialog::ValidateOnLeaving(QLineEdit* edit) {
  std::string text = Text(edit);
  int result = 0;
  if (edit == voltJ_ || edit == voltK_) {
    result = ValidateVolts(text);
  } else if (edit == unitJ_ || edit == unitK_) {
    result = ValidateUnitValue(text);
  } else if (edit == precision_) {
    if (ValidatePrecision(text) != 0) {
      app_.Services().Beep(BEEP_EXCLAMATION);
      edit->setText(Q(text));
    }
    return;
  }
  if (result == 0) return;
  app_.Services().Beep(BEEP_EXCLAMATION);
  edit->setText(Q(text));
  // The focus goes back once the change of focus under way has finished.
  QTimer::singleShot(0, edit, [edit] {
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
  });
}

bool UserDeviceDialog::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit == nullptr || closing_) return QDialog::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QString typed = key->text();
    if (typed.size() == 1 && typed.at(0).isPrint() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      // The text as it would be with the character typed over the selection.
      QString candidate = edit->text();
      int at = edit->cursorPosition();
      if (edit->hasSelectedText()) {
        at = edit->selectionStart();
        candidate.remove(at, edit->selectedText().size());
      }
      candidate.insert(at, typed);
      const std::string text = candidate.toStdString();
      bool ok;
      if (edit == precision_) {
        std::string copy = text;
        ok = !FilterDigitsText(copy);
      } else {
        ok = NumberTextValid(text);
      }
      if (!ok) {
        app_.Services().Beep(BEEP_EXCLAMATION);
        return true;  // the character is not taken
      }
    }
  } else if (event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) ValidateOnLeaving(edit);
  }
  return QDialog::eventFilter(watched, event);
}

void UserDeviceDialog::reject() {
  if (closing_) return;
  closing_ = true;
  AskToSave();
  UserDevices& devices = app_.userDevices;
  devices.BuildAvailableDevices();
  devices.DropStaleUserDeviceChannels();
  devices.BuildChannelStates();
  SaveConfig(app_.config);
  QDialog::reject();
}

}  // namespace zrm
