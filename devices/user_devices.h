// The user devices and the eight ADC channels: which device each
// analogue input carries, its conversion into engineering units once per
// frame, and the preferred wideband (AFR) and fuel-pressure (psi) readings
// that the displays, the trip computer, the diagnostics, the log analysis and
// VE learn read.
//
// The persisted part lives in VistrelSettings (userDevices, adcChannels);
// UserDevices derives from it the list offered in the channel combo boxes
// (BuildAvailableDevices) and the per-channel runtime states
// (BuildChannelStates), and converts the frames (UpdateUserDevices).
//
// Threads: UpdateUserDevices runs on the DisplayThread (or the thread of an
// offline pass); the builds and the dialogs run on the window thread. The
// derived state is guarded by one lock, so every reader gets a consistent
// copy; the settings themselves are touched on the window thread only.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "devices/adc_channels.h"
#include "displays/preferred_channels.h"
#include "shell/vistrel_config.h"

namespace zrm {

// The runtime image of one channel (rebuilt by BuildChannelStates).
struct AdcChannelState {
  std::int32_t active = 0;  // 1 when a device is assigned
  std::int32_t type = DEVICE_NONE;
  std::int32_t instance = 0;
  std::int32_t index = 0;
  std::int32_t filter = 100;
  std::int32_t wbPreferred = 0;
  std::int32_t fpPreferred = 0;
  std::string label;      // "WB_%d", "PSI_%d" or "%*s_%d" (unit in 4 columns), at most 11 characters
  double value = 0.0;     // filtered, in the device's unit
  std::string valueText;  // at most 15 characters; empty until the first conversion
  std::int32_t displayWidth = 0;  // larger of the lengths of valueText and label
};

// What a reader of one active channel needs, e.g. one export column.
struct ChannelReading {
  int channel = 0;        // 0 to 7
  std::string name;       // the assigned device's name ([ADnNAME])
  std::string label;      // column header text
  double value = 0.0;
  std::string valueText;  // the column text
  int displayWidth = 0;   // the column is "%*s" with this width
};

// -------------------------------------------------------------------------
// Pure functions.

// Input voltage of channel n (0 to 7) of a RuntimeFrame: counts from bytes
// 257 + 2n (high) and 258 + 2n (low), V = counts x 5/1023 + 0.004.
double ChannelVolts(const std::uint8_t* frame, int channel);
double AdcCountsToVolts(int counts);

// Filter weight w in percent of the new sample: below 1 counts as 1, at 100
// or above the sample passes unchanged.
double FilterChannelValue(int filter, double previous, double sample);

// A user device's value at `volts` (clamped straight line through its two
// calibration points, in the device's unit). Two equal calibration voltages:
// the lower unit value below that voltage, the upper one from it on.
double UserDeviceValue(const UserDeviceSettings& device, double volts);

// The value text of a user device: "%*.*f", field width + precision + 1,
// with width and precision limited so that the text fits 15 characters.
std::string FormatUserDeviceValue(const UserDeviceSettings& device, double value);

// The edit validations of the User Device dialog: clamp and reformat `text`
// in place; 0 if it was valid as it stood, -1 if it had to be changed.
int ValidateVolts(std::string& text);
int ValidateUnitValue(std::string& text);

// The channel label: "WB_%d", "PSI_%d", "%*s_%d" with the user device's unit.
std::string ChannelLabel(int type, int channel, const std::string& unit);

// -------------------------------------------------------------------------

class UserDevices : public PreferredChannels {
 public:
  // The settings stay owned by the caller and must outlive this object.
  explicit UserDevices(VistrelSettings& settings);
  UserDevices(const UserDevices&) = delete;
  UserDevices& operator=(const UserDevices&) = delete;

  // The start-up set-up after the configuration is read:
  // BuildAvailableDevices, then BuildChannelStates.
  void SetUp();

  // Window thread. The device list from the tables and the active user devices.
  void BuildAvailableDevices();
  // Window thread. Channel states and preferred inputs from the channel
  // settings; every value restarts from 0.0 with an empty text.
  void BuildChannelStates();
  // Window thread, after the User Device dialog: channels of user devices no
  // longer defined are cleared (and lose a preferred choice), the others
  // take their device's current name.
  void DropStaleUserDeviceChannels();

  // Converts the channels of one RuntimeFrame: with `all` 0 only the
  // preferred wideband and fuel-pressure channels, with `all` 1 every active
  // channel (log export). Call once per frame.
  void UpdateUserDevices(const std::uint8_t* frame, int all);

  // Derived state, copied under the lock.
  std::vector<AvailableDevice> AvailableDevices() const;  // the filled entries only
  std::array<AdcChannelState, ADC_CHANNEL_COUNT> ChannelStates() const;
  AdcChannelState ChannelState(int channel) const;  // out of range: an inactive state
  // Every active channel in channel order (the export's channel columns).
  std::vector<ChannelReading> ActiveChannels() const;

  // The preferred inputs: channel number (-1 none), name (first 12
  // characters of the device name) and the last converted value.
  int PreferredWidebandChannel() const;
  std::string PreferredWidebandName() const;
  double PreferredWidebandValue() const;
  int PreferredFuelPressureChannel() const;
  std::string PreferredFuelPressureName() const;
  double PreferredFuelPressureValue() const;

  // PreferredChannels, for the gauge display and the other displays.
  bool HasWideband() const override;
  PreferredReading Wideband() const override;
  bool HasFuelPressure() const override;
  PreferredReading FuelPressure() const override;

  VistrelSettings& Settings() { return settings_; }
  const VistrelSettings& Settings() const { return settings_; }

 private:
  VistrelSettings& settings_;
  mutable std::mutex mutex_;
  std::vector<AvailableDevice> available_;
  std::array<AdcChannelState, ADC_CHANNEL_COUNT> channels_{};
  // Copies of the user devices as converted, so the DisplayThread does not
  // read the settings the dialog is editing.
  std::array<UserDeviceSettings, USER_DEVICE_COUNT> devices_{};
  int wbChannel_ = -1;
  int fpChannel_ = -1;
  std::string wbName_;
  std::string fpName_;
  double wbValue_ = 0.0;
  double fpValue_ = 0.0;
};

}  // namespace zrm
