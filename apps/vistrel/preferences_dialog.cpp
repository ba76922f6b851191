#include "apps/vistrel/preferences_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>

#include "apps/vistrel/vistrel_app.h"
#include "devices/user_devices.h"

namespace zrm {
namespace {

const QString DEGREES_C = QString::fromUtf8("\xC2\xB0" "C");
const QString DEGREES_F = QString::fromUtf8("\xC2\xB0" "F");

QString Q(const std::string& text) { return QString::fromStdString(text); }

template <typename W>
W* Named(W* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  return label;
}

QRadioButton* AddRadio(QWidget* parent, int id, const QString& text, int x, int y) {
  auto* radio = Named(new QRadioButton(text, parent), id);
  radio->move(x, y);
  return radio;
}

QCheckBox* AddCheck(QWidget* parent, int id, const QString& text, int x, int y) {
  auto* box = Named(new QCheckBox(text, parent), id);
  box->move(x, y);
  return box;
}

// Two radio buttons that exclude each other (and no others).
void Pair(QWidget* owner, QRadioButton* a, QRadioButton* b) {
  auto* group = new QButtonGroup(owner);
  group->addButton(a);
  group->addButton(b);
}

}  // namespace

// ---------------------------------------------------------------------------
// "General Setup"

GeneralSetupPage::GeneralSetupPage(VistrelApp& app, QWidget* parent)
    : QWidget(parent), app_(app), values_(InitGeneralPage(app.settings)) {
  // Left column: VE learn, display update, playback rate.
  auto* learn = new QGroupBox("VE Learn", this);
  learn->setGeometry(8, 4, 266, 176);
  blm_ = AddRadio(learn, GEN_BLM, "BLM", 14, 24);
  wb_ = AddRadio(learn, GEN_WB, "WB", 90, 24);
  Pair(this, blm_, wb_);
  AddLabel(learn, "Minimum CTS:", 14, 58);
  ctsLow_ = AddNumberEdit(learn, GEN_CTS_LOW, 130, 54, 54);
  ctsLowUnit_ = Named(AddLabel(learn, DEGREES_C, 192, 58), GEN_CTS_LOW_UNIT);
  AddLabel(learn, "Maximum CTS:", 14, 88);
  ctsHigh_ = AddNumberEdit(learn, GEN_CTS_HIGH, 130, 84, 54);
  ctsHighUnit_ = Named(AddLabel(learn, DEGREES_C, 192, 88), GEN_CTS_HIGH_UNIT);
  AddLabel(learn, "Smoothing Factor:", 14, 118);
  smooth_ = AddNumberEdit(learn, GEN_SMOOTH, 130, 114, 54);
  autoUpdate_ = AddCheck(learn, GEN_AUTO_UPDATE, "AutoUpdate:", 14, 146);
  auto* every = Named(AddLabel(learn, "Every. . .", 116, 148), GEN_AUTO_EVERY);
  autoMinutes_ = AddNumberEdit(learn, GEN_AUTO_MINUTES, 172, 144, 34);
  auto* minutes = Named(AddLabel(learn, "Minutes", 212, 148), GEN_AUTO_MINUTES_LABEL);

  auto* update = new QGroupBox("Display Update", this);
  update->setGeometry(8, 186, 266, 60);
  updateRate_ = Named(new QComboBox(update), GEN_UPDATE_RATE);
  updateRate_->setGeometry(14, 24, 238, 26);

  auto* rate = new QGroupBox("Playback Rate", this);
  rate->setGeometry(8, 252, 266, 84);
  trackbar_ = Named(new QSlider(Qt::Horizontal, rate), GEN_TRACKBAR);
  trackbar_->setGeometry(14, 22, 238, 30);
  AddLabel(rate, "Slow", 14, 56);
  AddLabel(rate, "Fast", 222, 56);

  // Right column: alarms and keys, units and scales.
  const int lx = 290;
  const int cx = 450;
  AddLabel(this, "Knock Alert Sound:", lx, 12);
  knockAlert_ = AddCheck(this, GEN_KNOCK_ALERT, "Enable", cx, 10);
  AddLabel(this, "ENTER to Pause Datalog:", lx, 40);
  enterPause_ = AddCheck(this, GEN_ENTER_PAUSE, "Enable", cx, 38);
  AddLabel(this, "Save/Reload Trip Data:", lx, 68);
  saveTrip_ = AddCheck(this, GEN_SAVE_TRIP, "Enable", cx, 66);
  AddLabel(this, "Gear Indicator:", lx, 100);
  stick_ = AddRadio(this, GEN_STICK, "Stick", cx, 98);
  auto_ = AddRadio(this, GEN_AUTO, "Auto", cx + 60, 98);
  Pair(this, stick_, auto_);
  AddLabel(this, "Temperature Scales:", lx, 130);
  celsius_ = AddRadio(this, GEN_CELSIUS, DEGREES_C, cx, 128);
  fahrenheit_ = AddRadio(this, GEN_FAHRENHEIT, DEGREES_F, cx + 60, 128);
  Pair(this, celsius_, fahrenheit_);
  AddLabel(this, "Speedometer Scale:", lx, 160);
  kph_ = AddRadio(this, GEN_KPH, "KPH", cx, 158);
  mph_ = AddRadio(this, GEN_MPH, "MPH", cx + 60, 158);
  Pair(this, kph_, mph_);
  AddLabel(this, "Max Speedometer:", lx, 198);
  speedRange_ = AddNumberEdit(this, GEN_SPEED_RANGE, cx, 194, 60);
  AddLabel(this, "Max Tachometer:", lx, 230);
  rpmRange_ = AddNumberEdit(this, GEN_RPM_RANGE, cx, 226, 60);
  AddLabel(this, "Tachometer Redline:", lx, 262);
  redline_ = AddNumberEdit(this, GEN_REDLINE, cx, 258, 60);

  // Initialisation, in the dialog's own order.
  trackbar_->setRange(0, 100);
  trackbar_->setTickInterval(10);
  trackbar_->setTickPosition(QSlider::TicksBelow);
  trackbar_->setValue(values_.trackbar);
  (values_.celsius ? celsius_ : fahrenheit_)->setChecked(true);
  ctsLowUnit_->setText(values_.celsiusShown ? DEGREES_C : DEGREES_F);
  ctsHighUnit_->setText(values_.celsiusShown ? DEGREES_C : DEGREES_F);
  ctsLow_->setText(Q(values_.ctsLow));
  ctsHigh_->setText(Q(values_.ctsHigh));
  (values_.wideband ? wb_ : blm_)->setChecked(true);
  smooth_->setText(Q(values_.smoothFactor));
  autoUpdate_->setChecked(false);
  for (QWidget* w : std::initializer_list<QWidget*>{autoUpdate_, autoMinutes_, every, minutes}) w->setEnabled(false);
  for (int i = static_cast<int>(UPDATE_RATE_TEXTS.size()) - 1; i >= 0; --i)
    updateRate_->insertItem(0, UPDATE_RATE_TEXTS[static_cast<std::size_t>(i)]);
  updateRate_->setCurrentIndex(values_.updateRate);
  knockAlert_->setChecked(values_.knockAlert);
  enterPause_->setChecked(values_.enterPause);
  saveTrip_->setChecked(values_.saveTrip);
  (values_.automatic ? auto_ : stick_)->setChecked(true);
  (values_.kph ? kph_ : mph_)->setChecked(true);
  speedRange_->setText(Q(values_.speedRange));
  rpmRange_->setText(Q(values_.rpmRange));
  redline_->setText(Q(values_.redline));
  blm_->setFocus();

  QWidget* order[] = {blm_,     wb_,       ctsLow_,    ctsHigh_,     smooth_,     autoUpdate_, autoMinutes_,
                      updateRate_, trackbar_, knockAlert_, enterPause_, saveTrip_,   stick_,      auto_,
                      celsius_, fahrenheit_, kph_,     mph_,        speedRange_, rpmRange_,   redline_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // Changes enable Apply; the radio buttons only when they pick a value
  // other than the stored one.
  for (QLineEdit* edit : {ctsLow_, ctsHigh_, smooth_, autoMinutes_, speedRange_, rpmRange_, redline_})
    connect(edit, &QLineEdit::textEdited, this, [this] { emit changed(); });
  connect(updateRate_, &QComboBox::activated, this, [this] { emit changed(); });
  connect(trackbar_, &QSlider::valueChanged, this, [this] { emit changed(); });
  for (QCheckBox* box : {knockAlert_, enterPause_, saveTrip_})
    connect(box, &QCheckBox::clicked, this, [this] { emit changed(); });
  auto radio = [this](QRadioButton* button, std::function<bool()> differs) {
    connect(button, &QRadioButton::clicked, this, [this, differs] {
      if (differs()) emit changed();
    });
  };
  const VistrelSettings& s = app_.settings;
  radio(blm_, [&s] { return s.learnInput == 1; });
  radio(wb_, [&s] { return s.learnInput == 0; });
  radio(stick_, [&s] { return s.transType == 1; });
  radio(auto_, [&s] { return s.transType == 0; });
  radio(kph_, [&s] { return s.speedInKph == 0; });
  radio(mph_, [&s] { return s.speedInKph == 1; });
  connect(celsius_, &QRadioButton::clicked, this, [this] { SwitchUnit(true); });
  connect(fahrenheit_, &QRadioButton::clicked, this, [this] { SwitchUnit(false); });
  connect(autoUpdate_, &QCheckBox::clicked, this, [this](bool checked) { OnAutoUpdateClicked(checked); });
}

QLineEdit* GeneralSetupPage::AddNumberEdit(QWidget* parent, int id, int x, int y, int width) {
  auto* edit = Named(new QLineEdit(parent), id);
  edit->setGeometry(x, y, width, 24);
  edit->setMaxLength(5);
  // Digits only, as an ES_NUMBER edit.
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
  return edit;
}

QWidget* GeneralSetupPage::Control(int id) const { return findChild<QWidget*>(QString::number(id)); }

void GeneralSetupPage::SwitchUnit(bool toCelsius) {
  values_.ctsLow = ctsLow_->text().toStdString();
  values_.ctsHigh = ctsHigh_->text().toStdString();
  if (!SwitchCtsUnit(values_, toCelsius)) return;
  ctsLow_->setText(Q(values_.ctsLow));
  ctsHigh_->setText(Q(values_.ctsHigh));
  ctsLowUnit_->setText(toCelsius ? DEGREES_C : DEGREES_F);
  ctsHighUnit_->setText(toCelsius ? DEGREES_C : DEGREES_F);
  emit changed();
}

void GeneralSetupPage::OnAutoUpdateClicked(bool checked) {
  // Reached only if the box is ever enabled: the warning of dialog 133.
  if (checked && app_.settings.autoVeShowWarning == 1) {
    QDialog warning(this);
    warning.setWindowTitle("Warning!");
    warning.setFixedSize(420, 170);
    auto* text = new QLabel(
        "The AutoUpdate option is ONLY to be used with a real time emulation update utility.  This is a tool such as "
        "the EmUtility from TunerPro.",
        &warning);
    text->setWordWrap(true);
    text->setGeometry(14, 10, 392, 70);
    auto* skip = Named(new QCheckBox("Check box to skip this warning", &warning), GEN_KNOCK_ALERT);
    skip->move(14, 88);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &warning);
    buttons->setGeometry(14, 124, 392, 32);
    connect(buttons, &QDialogButtonBox::accepted, &warning, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &warning, &QDialog::reject);
    warning.exec();
    if (skip->isChecked()) app_.settings.autoVeShowWarning = 0;
  }
  emit changed();
}

GeneralPageValues GeneralSetupPage::Read() const {
  GeneralPageValues v = values_;
  v.wideband = wb_->isChecked();
  v.ctsLow = ctsLow_->text().toStdString();
  v.ctsHigh = ctsHigh_->text().toStdString();
  v.smoothFactor = smooth_->text().toStdString();
  v.autoUpdate = autoUpdate_->isChecked();
  v.autoMinutes = autoMinutes_->text().toStdString();
  v.updateRate = updateRate_->currentIndex();
  v.trackbar = trackbar_->value();
  v.knockAlert = knockAlert_->isChecked();
  v.enterPause = enterPause_->isChecked();
  v.saveTrip = saveTrip_->isChecked();
  v.automatic = !stick_->isChecked();
  v.celsius = celsius_->isChecked();
  v.kph = kph_->isChecked();
  v.speedRange = speedRange_->text().toStdString();
  v.rpmRange = rpmRange_->text().toStdString();
  v.redline = redline_->text().toStdString();
  return v;
}

bool GeneralSetupPage::Apply() { return ApplyGeneralPage(Read(), app_.settings); }

// ---------------------------------------------------------------------------
// "ADC Channels"

AdcChannelsPage::AdcChannelsPage(VistrelApp& app, QWidget* parent)
    : QWidget(parent), app_(app), list_(app.userDevices.AvailableDevices()) {
  page_ = InitChannelPage(list_, app_.settings.adcChannels);
  const int deviceX = 70;
  const int filterX = 360;
  const int wbX = 490;
  const int fuelX = 530;
  AddLabel(this, "Device", deviceX, 8);
  AddLabel(this, "Filter", filterX, 8);
  AddLabel(this, "Preferred:", wbX, 0);
  AddLabel(this, "WB", wbX + 4, 16);
  AddLabel(this, "Fuel", fuelX + 2, 16);
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const int y = 36 + n * 36;
    AddLabel(this, QString("ADC %1:").arg(n), 10, y + 4);
    QComboBox* device = Named(new QComboBox(this), CHAN_DEVICE[static_cast<std::size_t>(n)]);
    device->setGeometry(deviceX, y, 280, 26);
    device->setMaxVisibleItems(20);
    for (const AvailableDevice& d : list_) device->addItem(Q(d.name));
    device->setCurrentIndex(page_[static_cast<std::size_t>(n)].device);
    QComboBox* filter = Named(new QComboBox(this), CHAN_FILTER + n);
    filter->setGeometry(filterX, y, 120, 26);
    for (int position = 0; position < FILTER_CHOICES; ++position) filter->addItem(Q(FilterChoiceText(position)));
    filter->setCurrentIndex(page_[static_cast<std::size_t>(n)].filterPosition);
    QPushButton* wb = Named(new QPushButton("::::", this), CHAN_WB + n);
    wb->setCheckable(true);
    wb->setGeometry(wbX, y, 32, 26);
    QPushButton* fuel = Named(new QPushButton("::::", this), CHAN_FUEL + n);
    fuel->setCheckable(true);
    fuel->setGeometry(fuelX, y, 32, 26);
    for (QPushButton* b : {wb, fuel}) b->setAutoDefault(false);
    devices_[static_cast<std::size_t>(n)] = device;
    filters_[static_cast<std::size_t>(n)] = filter;
    wb_[static_cast<std::size_t>(n)] = wb;
    fuel_[static_cast<std::size_t>(n)] = fuel;

    connect(device, &QComboBox::activated, this, [this, n](int position) {
      page_[static_cast<std::size_t>(n)].device = position;
      emit changed();
    });
    connect(filter, &QComboBox::activated, this, [this, n](int position) {
      page_[static_cast<std::size_t>(n)].filterPosition = position;
      emit changed();
    });
    connect(wb, &QPushButton::clicked, this,
            [this, n](bool checked) { OnPreferredClicked(PreferredColumn::Wideband, n, checked); });
    connect(fuel, &QPushButton::clicked, this,
            [this, n](bool checked) { OnPreferredClicked(PreferredColumn::FuelPressure, n, checked); });
  }
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const std::size_t i = static_cast<std::size_t>(n);
    if (n > 0) setTabOrder(fuel_[i - 1], devices_[i]);
    setTabOrder(devices_[i], filters_[i]);
    setTabOrder(filters_[i], wb_[i]);
    setTabOrder(wb_[i], fuel_[i]);
  }
  ShowPreferred();
}

QWidget* AdcChannelsPage::Control(int id) const { return findChild<QWidget*>(QString::number(id)); }

void AdcChannelsPage::ShowPreferred() {
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const std::size_t i = static_cast<std::size_t>(n);
    wb_[i]->setChecked(page_[i].wbPreferred);
    fuel_[i]->setChecked(page_[i].fpPreferred);
  }
}

void AdcChannelsPage::OnPreferredClicked(PreferredColumn column, int channel, bool checked) {
  ClickPreferred(page_, column, channel, checked);
  ShowPreferred();
  emit changed();
}

void AdcChannelsPage::Apply() {
  // The combo boxes are read as they stand (a keyboard change included).
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const std::size_t i = static_cast<std::size_t>(n);
    page_[i].device = devices_[i]->currentIndex();
    page_[i].filterPosition = filters_[i]->currentIndex();
  }
  ApplyChannelPage(page_, list_, app_.settings.adcChannels);
}

// ---------------------------------------------------------------------------
// The dialog

PreferencesDialog::PreferencesDialog(VistrelApp& app, QWidget* parent) : QDialog(parent), app_(app) {
  setWindowTitle("Preferences");
  setFixedSize(608, 440);
  tabs_ = Named(new QTabBar(this), PREF_TABS);
  tabs_->addTab("General Setup");
  tabs_->addTab("ADC Channels");
  tabs_->setGeometry(10, 8, 588, 26);
  // The page area: 14,34 inside the dialog, the tab control's size less 6 and 28.
  auto* frame = new QGroupBox(this);
  frame->setGeometry(10, 30, 588, 362);
  frame->lower();
  pageArea_ = new QWidget(this);
  pageArea_->setGeometry(14, 34, 588 - 6, 384 - 28);

  ok_ = Named(new QPushButton("OK", this), PREF_OK);
  cancel_ = Named(new QPushButton("Cancel", this), PREF_CANCEL);
  apply_ = Named(new QPushButton("Apply", this), PREF_APPLY);
  ok_->setGeometry(328, 400, 84, 28);
  cancel_->setGeometry(420, 400, 84, 28);
  apply_->setGeometry(512, 400, 84, 28);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });

  apply_->setEnabled(false);
  layoutChanged_ = false;
  tabs_->setCurrentIndex(0);
  CreatePage(0);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { OnTabChanged(index); });
  // The keys of a property sheet: Ctrl+Tab and Ctrl+PgDn to the next tab,
  // Ctrl+Shift+Tab and Ctrl+PgUp back.
  const struct {
    QKeySequence keys;
    int step;
  } tabKeys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                 {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                 {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
                 {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                 {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
  for (const auto& key : tabKeys) {
    auto* shortcut = new QShortcut(key.keys, this);
    const int step = key.step;
    connect(shortcut, &QShortcut::activated, this, [this, step] {
      const int count = tabs_->count();
      tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
    });
  }
}

void PreferencesDialog::CreatePage(int index) {
  pageIndex_ = index;
  QWidget* page;
  if (index == 0) {
    general_ = new GeneralSetupPage(app_, pageArea_);
    connect(general_, &GeneralSetupPage::changed, this, [this] { apply_->setEnabled(true); });
    page = general_;
  } else {
    channels_ = new AdcChannelsPage(app_, pageArea_);
    connect(channels_, &AdcChannelsPage::changed, this, [this] {
      layoutChanged_ = true;
      apply_->setEnabled(true);
    });
    page = channels_;
  }
  page->setGeometry(0, 0, pageArea_->width(), pageArea_->height());
  page->show();
  // Tab order: the tab bar, the page's controls, OK, Cancel, Apply.
  QWidget* first = index == 0 ? general_->Control(GEN_BLM) : channels_->Control(CHAN_DEVICE[0]);
  QWidget* last = index == 0 ? general_->Control(GEN_REDLINE) : channels_->Control(CHAN_FUEL + ADC_CHANNEL_COUNT - 1);
  setTabOrder(tabs_, first);
  setTabOrder(last, ok_);
  setTabOrder(ok_, cancel_);
  setTabOrder(cancel_, apply_);
  first->setFocus();
}

void PreferencesDialog::ApplyPage() {
  if (pageIndex_ == 0 && general_ != nullptr) {
    if (general_->Apply()) layoutChanged_ = true;
  } else if (pageIndex_ == 1 && channels_ != nullptr) {
    channels_->Apply();
  }
}

void PreferencesDialog::OnTabChanged(int index) {
  if (index == pageIndex_) return;
  ApplyPage();
  // The page left is closed; the values it had stay in memory.
  delete general_;
  general_ = nullptr;
  delete channels_;
  channels_ = nullptr;
  CreatePage(index);
}

void PreferencesDialog::OnApply() {
  apply_->setEnabled(false);
  ApplyPage();
  SaveConfig(app_.config);
  app_.PublishSettings();
  app_.userDevices.BuildChannelStates();
  if (onApplied) onApplied();
}

void PreferencesDialog::Finish() {
  if (finished_) return;
  finished_ = true;
  app_.PublishSettings();
  app_.userDevices.BuildChannelStates();
}

void PreferencesDialog::accept() {
  if (finished_) return;
  ApplyPage();
  SaveConfig(app_.config);
  Finish();
  QDialog::accept();
}

void PreferencesDialog::reject() {
  if (finished_) return;
  Finish();
  QDialog::reject();
}

}  // namespace zrm
