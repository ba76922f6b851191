// The Preferences dialog (template 139) with its two pages, "General Setup"
// (template 130) and "ADC Channels" (template 140).
// Only one page exists at a time; a tab change applies the page left to the
// settings in memory and creates the other afresh. The rules are in
// shell/general_page and devices/adc_channels; these classes place the
// controls and move values between them and those rules.
#pragma once

#include <QDialog>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "devices/adc_channels.h"
#include "shell/general_page.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabBar;

namespace zrm {

class VistrelApp;

// Control identifiers of the three templates.
constexpr int PREF_TABS = 1051;
constexpr int PREF_OK = 1;
constexpr int PREF_CANCEL = 2;
constexpr int PREF_APPLY = 1053;

constexpr int GEN_TRACKBAR = 1000;
constexpr int GEN_CELSIUS = 1006;
constexpr int GEN_FAHRENHEIT = 1007;
constexpr int GEN_UPDATE_RATE = 1009;
constexpr int GEN_BLM = 1011;
constexpr int GEN_WB = 1012;
constexpr int GEN_CTS_LOW = 1013;
constexpr int GEN_CTS_HIGH = 1014;
constexpr int GEN_KNOCK_ALERT = 1015;
constexpr int GEN_REDLINE = 1018;
constexpr int GEN_SPEED_RANGE = 1019;
constexpr int GEN_RPM_RANGE = 1020;
constexpr int GEN_SMOOTH = 1021;
constexpr int GEN_AUTO_MINUTES = 1023;
constexpr int GEN_AUTO_UPDATE = 1024;
constexpr int GEN_CTS_LOW_UNIT = 1025;
constexpr int GEN_CTS_HIGH_UNIT = 1026;
constexpr int GEN_AUTO_EVERY = 1027;
constexpr int GEN_KPH = 1029;
constexpr int GEN_MPH = 1030;
constexpr int GEN_STICK = 1031;
constexpr int GEN_AUTO = 1032;
constexpr int GEN_AUTO_MINUTES_LABEL = 1033;
constexpr int GEN_ENTER_PAUSE = 1039;
constexpr int GEN_SAVE_TRIP = 1040;

// Device combo boxes of channels 0 to 7, filter combo boxes 1056 + n, the
// preferred check boxes 1081 + n (WB) and 1089 + n (Fuel).
constexpr std::array<int, ADC_CHANNEL_COUNT> CHAN_DEVICE = {1054, 1055, 1011, 1012, 1013, 1014, 1015, 1016};
constexpr int CHAN_FILTER = 1056;
constexpr int CHAN_WB = 1081;
constexpr int CHAN_FUEL = 1089;

// "General Setup".
class GeneralSetupPage : public QWidget {
  Q_OBJECT

 public:
  GeneralSetupPage(VistrelApp& app, QWidget* parent);
  // ApplyGeneralPage; true when a unit changed.
  bool Apply();
  QWidget* Control(int id) const;

 signals:
  void changed();  // Apply becomes enabled

 private:
  QLineEdit* AddNumberEdit(QWidget* parent, int id, int x, int y, int width);
  GeneralPageValues Read() const;
  void SwitchUnit(bool toCelsius);
  void OnAutoUpdateClicked(bool checked);

  VistrelApp& app_;
  GeneralPageValues values_;
  QRadioButton *blm_, *wb_, *celsius_, *fahrenheit_, *kph_, *mph_, *stick_, *auto_;
  QLineEdit *ctsLow_, *ctsHigh_, *smooth_, *autoMinutes_, *speedRange_, *rpmRange_, *redline_;
  QLabel *ctsLowUnit_, *ctsHighUnit_;
  QCheckBox *autoUpdate_, *knockAlert_, *enterPause_, *saveTrip_;
  QComboBox* updateRate_;
  QSlider* trackbar_;
};

// "ADC Channels".
class AdcChannelsPage : public QWidget {
  Q_OBJECT

 public:
  AdcChannelsPage(VistrelApp& app, QWidget* parent);
  void Apply();
  QWidget* Control(int id) const;

 signals:
  void changed();  // Apply enabled, and the displays are laid out again

 private:
  void OnPreferredClicked(PreferredColumn column, int channel, bool checked);
  void ShowPreferred();

  VistrelApp& app_;
  std::vector<AvailableDevice> list_;
  ChannelPage page_{};
  std::array<QComboBox*, ADC_CHANNEL_COUNT> devices_{};
  std::array<QComboBox*, ADC_CHANNEL_COUNT> filters_{};
  std::array<QPushButton*, ADC_CHANNEL_COUNT> wb_{};
  std::array<QPushButton*, ADC_CHANNEL_COUNT> fuel_{};
};

class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  PreferencesDialog(VistrelApp& app, QWidget* parent);

  // After closing: the main window lays out its displays again.
  bool LayoutChanged() const { return layoutChanged_; }
  // Apply was pressed: the main window repaints with its background erased.
  std::function<void()> onApplied;

  int CurrentPage() const { return pageIndex_; }
  GeneralSetupPage* General() const { return general_; }
  AdcChannelsPage* Channels() const { return channels_; }
  QTabBar* Tabs() const { return tabs_; }
  QPushButton* ApplyButton() const { return apply_; }

 protected:
  void reject() override;  // Cancel, Esc, the close box
  void accept() override;  // OK

 private:
  void CreatePage(int index);
  void ApplyPage();
  void OnTabChanged(int index);
  void OnApply();
  void Finish();

  VistrelApp& app_;
  QTabBar* tabs_ = nullptr;
  QWidget* pageArea_ = nullptr;
  GeneralSetupPage* general_ = nullptr;
  AdcChannelsPage* channels_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* apply_ = nullptr;
  int pageIndex_ = 0;
  bool layoutChanged_ = false;
  bool finished_ = false;
};

}  // namespace zrm
