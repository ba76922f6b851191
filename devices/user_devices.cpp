#include "devices/user_devices.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "link/runtime_frame.h"

namespace zrm {
namespace {

constexpr std::size_t VALUE_TEXT_MAX = 15;
constexpr std::size_t LABEL_MAX = 11;
constexpr std::size_t PREFERRED_NAME_MAX = 12;
constexpr int PRECISION_MAX = 10;  // [UDnPRECI] 0..10

// The number at the start of an edit text, as atof reads it, but the same in
// every locale: optional blanks, a sign, digits with at most one point.
double TextNumber(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  const char* first = text.data() + at;
  const char* last = text.data() + text.size();
  bool negative = false;
  if (first != last && (*first == '-' || *first == '+')) {
    negative = *first == '-';
    ++first;
  }
  double v = 0.0;
  auto result = std::from_chars(first, last, v, std::chars_format::fixed);
  if (result.ec != std::errc()) v = 0.0;
  return negative ? -v : v;
}

// "%.*f" in every locale.
std::string Fixed(double v, int precision) {
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, precision);
  if (result.ec != std::errc()) return "0";
  return std::string(buffer, result.ptr);
}

// "%*.*f": right-aligned in `width` columns.
std::string FixedWidth(double v, int width, int precision) {
  std::string text = Fixed(v, precision);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace

double AdcCountsToVolts(int counts) { return counts * 0.004887585532746823 + 0.004; }

double ChannelVolts(const std::uint8_t* frame, int channel) {
  if (channel < 0 || channel >= ADC_CHANNEL_COUNT) return 0.0;
  return AdcCountsToVolts(FrameWord(frame, field::adcChannel(channel)));
}

double FilterChannelValue(int filter, double previous, double sample) {
  int w = filter;
  if (w < 1) w = 1;
  if (w >= 100) return sample;
  return w / 100.0 * sample + (100 - w) / 100.0 * previous;
}

double UserDeviceValue(const UserDeviceSettings& d, double volts) {
  const double dV = std::abs(static_cast<double>(d.voltK) - d.voltJ);
  const double dU = std::abs(static_cast<double>(d.unitK) - d.unitJ);
  const double vMin = std::min(d.voltJ, d.voltK);
  const double uMin = std::min(d.unitJ, d.unitK);
  const double uMax = std::max(d.unitJ, d.unitK);
  const double millivolts = volts * 1000.0;
  double u;
  if (dV == 0.0) {
    // Both points at one voltage: a step there, the lower value below it and
    // the upper one from it on.
    u = millivolts < vMin ? uMin : uMax;
  } else {
    u = uMin + dU / dV * (millivolts - vMin);
  }
  if (u >= uMax) u = uMax;
  if (u < uMin) u = uMin;
  return u / 10000.0;
}

std::string FormatUserDeviceValue(const UserDeviceSettings& d, double value) {
  // A value of a user device is at most four digits before the point (the
  // unit values are limited to -999.9999 .. 9999.9999), so a precision of
  // at most 10 and a field of at most 15 keep the text within 15 characters.
  const int precision = std::clamp(d.precision, 0, PRECISION_MAX);
  const int width = std::clamp(d.width, 0, static_cast<int>(VALUE_TEXT_MAX) - precision - 1);
  std::string text = FixedWidth(value, width + precision + 1, precision);
  if (text.size() > VALUE_TEXT_MAX) text.resize(VALUE_TEXT_MAX);  // a value out of every range
  return text;
}

int ValidateVolts(std::string& text) {
  int result = 0;
  double v = TextNumber(text);
  if (v > 5.0) {
    v = 5.0;
    result = -1;
  }
  if (v < 0.0 || text.empty()) {
    v = 0.0;
    result = -1;
  }
  text = Fixed(std::trunc(v * 1000.0 + 0.55) / 1000.0, 3);
  return result;
}

int ValidateUnitValue(std::string& text) {
  int result = 0;
  double v = TextNumber(text);
  if (v > 9999.9999) {
    v = 9999.9999;
    result = -1;
  }
  if (v < -999.9999) {
    v = -999.9999;
    result = -1;
  }
  if (text.empty()) {
    v = 0.0;
    result = -1;
  }
  const double scaled = v >= 0.0 ? std::trunc(v * 10000.0 + 0.55) : std::trunc(v * 10000.0 - 0.55);
  text = Fixed(scaled / 10000.0, 4);
  if (text == "-0.0000") text = "0.0000";
  return result;
}

std::string ChannelLabel(int type, int channel, const std::string& unit) {
  char label[64];
  switch (type) {
    case DEVICE_WIDEBAND: std::snprintf(label, sizeof label, "WB_%d", channel); break;
    case DEVICE_PRESSURE: std::snprintf(label, sizeof label, "PSI_%d", channel); break;
    case DEVICE_USER: std::snprintf(label, sizeof label, "%*s_%d", 4, unit.substr(0, 4).c_str(), channel); break;
    default: label[0] = '\0'; break;
  }
  std::string text = label;
  if (text.size() > LABEL_MAX) text.resize(LABEL_MAX);
  return text;
}

// ---------------------------------------------------------------------------

UserDevices::UserDevices(VistrelSettings& settings) : settings_(settings) {
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) channels_[static_cast<std::size_t>(n)].label.clear();
}

void UserDevices::SetUp() {
  BuildAvailableDevices();
  BuildChannelStates();
}

void UserDevices::BuildAvailableDevices() {
  std::vector<AvailableDevice> list = BuildDeviceList(settings_.userDevices);
  std::lock_guard<std::mutex> lock(mutex_);
  available_ = std::move(list);
}

void UserDevices::BuildChannelStates() {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_ = settings_.userDevices;
  wbChannel_ = -1;
  fpChannel_ = -1;
  wbName_.clear();
  fpName_.clear();
  wbValue_ = 0.0;
  fpValue_ = 0.0;
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const AdcChannelSettings& c = settings_.adcChannels[static_cast<std::size_t>(n)];
    AdcChannelState& s = channels_[static_cast<std::size_t>(n)];
    s = AdcChannelState{};
    if (c.type == DEVICE_NONE) {
      s.active = 0;
      continue;
    }
    s.active = 1;
    s.type = c.type;
    s.instance = c.instance;
    s.index = c.index;
    s.filter = c.filter;
    s.wbPreferred = c.wbPreferred;
    s.fpPreferred = c.fpPreferred;
    if (c.wbPreferred == 1) {
      wbChannel_ = n;
      wbName_ = c.name.substr(0, PREFERRED_NAME_MAX);
    }
    if (c.fpPreferred == 1) {
      fpChannel_ = n;
      fpName_ = c.name.substr(0, PREFERRED_NAME_MAX);
    }
    std::string unit;
    if (c.type == DEVICE_USER && c.index >= 0 && c.index < USER_DEVICE_COUNT)
      unit = devices_[static_cast<std::size_t>(c.index)].unit;
    s.label = ChannelLabel(c.type, n, unit);
    s.value = 0.0;
    s.valueText.clear();
    s.displayWidth = static_cast<std::int32_t>(s.label.size());
  }
}

void UserDevices::DropStaleUserDeviceChannels() {
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    AdcChannelSettings& c = settings_.adcChannels[static_cast<std::size_t>(n)];
    if (c.type != DEVICE_USER) continue;
    const bool defined = c.index >= 0 && c.index < USER_DEVICE_COUNT &&
                         settings_.userDevices[static_cast<std::size_t>(c.index)].active == 1;
    if (!defined) {
      c.type = DEVICE_NONE;
      c.index = 0;
      c.instance = 0;
      c.filter = 100;
      c.wbPreferred = 0;
      c.fpPreferred = 0;
      c.name = "None";
      std::lock_guard<std::mutex> lock(mutex_);
      if (wbChannel_ == n) {
        wbChannel_ = -1;
        wbName_.clear();
      }
      if (fpChannel_ == n) {
        fpChannel_ = -1;
        fpName_.clear();
      }
    } else {
      c.name = settings_.userDevices[static_cast<std::size_t>(c.index)].name;
    }
  }
}

void UserDevices::UpdateUserDevices(const std::uint8_t* frame, int all) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    AdcChannelState& s = channels_[static_cast<std::size_t>(n)];
    if (s.active == 0) continue;
    if (all == 0 && n != wbChannel_ && n != fpChannel_) continue;
    const double volts = ChannelVolts(frame, n);
    double raw = 0.0;
    const UserDeviceSettings* device = nullptr;
    if (s.type == DEVICE_WIDEBAND || s.type == DEVICE_PRESSURE) {
      raw = BuiltInDeviceValue(s.type, s.index, volts);
    } else if (s.type == DEVICE_USER && s.index >= 0 && s.index < USER_DEVICE_COUNT) {
      device = &devices_[static_cast<std::size_t>(s.index)];
      raw = UserDeviceValue(*device, volts);
    }
    s.value = FilterChannelValue(s.filter, s.value, raw);
    if (device != nullptr) {
      s.valueText = FormatUserDeviceValue(*device, s.value);
    } else if (s.type == DEVICE_USER) {
      s.valueText = FixedWidth(s.value, 4 + 4 + 1, 4);
    } else {
      s.valueText = FixedWidth(s.value, 4, 1);
      if (s.valueText.size() > VALUE_TEXT_MAX) s.valueText.resize(VALUE_TEXT_MAX);
    }
    s.displayWidth = static_cast<std::int32_t>(std::max(s.valueText.size(), s.label.size()));
    if (n == wbChannel_) {
      wbValue_ = s.value;
    } else if (n == fpChannel_) {
      fpValue_ = s.value;
    }
  }
}

std::vector<AvailableDevice> UserDevices::AvailableDevices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return available_;
}

std::array<AdcChannelState, ADC_CHANNEL_COUNT> UserDevices::ChannelStates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return channels_;
}

AdcChannelState UserDevices::ChannelState(int channel) const {
  if (channel < 0 || channel >= ADC_CHANNEL_COUNT) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  return channels_[static_cast<std::size_t>(channel)];
}

std::vector<ChannelReading> UserDevices::ActiveChannels() const {
  std::vector<ChannelReading> readings;
  std::lock_guard<std::mutex> lock(mutex_);
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const AdcChannelState& s = channels_[static_cast<std::size_t>(n)];
    if (s.active == 0) continue;
    ChannelReading r;
    r.channel = n;
    r.name = settings_.adcChannels[static_cast<std::size_t>(n)].name;
    r.label = s.label;
    r.value = s.value;
    r.valueText = s.valueText;
    r.displayWidth = s.displayWidth;
    readings.push_back(std::move(r));
  }
  return readings;
}

int UserDevices::PreferredWidebandChannel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wbChannel_;
}

std::string UserDevices::PreferredWidebandName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wbName_;
}

double UserDevices::PreferredWidebandValue() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wbValue_;
}

int UserDevices::PreferredFuelPressureChannel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fpChannel_;
}

std::string UserDevices::PreferredFuelPressureName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fpName_;
}

double UserDevices::PreferredFuelPressureValue() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fpValue_;
}

bool UserDevices::HasWideband() const { return PreferredWidebandChannel() != -1; }

PreferredReading UserDevices::Wideband() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PreferredReading{wbName_, wbChannel_, wbValue_};
}

bool UserDevices::HasFuelPressure() const { return PreferredFuelPressureChannel() != -1; }

PreferredReading UserDevices::FuelPressure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PreferredReading{fpName_, fpChannel_, fpValue_};
}

}  // namespace zrm
