#include "devices/adc_channels.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zrm {

double DiyWidebandAfr(double volts) {
  constexpr double AFR_14_7 = 0.06802721088435375;  // 1 / 14.7: 2.5 V reads 14.7
  if (volts <= 1.0) return 0.0;
  if (volts <= 2.5) return 1.0 / ((2.5 - volts) * 0.028340964 + AFR_14_7);
  if (volts < 3.0) return 1.0 / ((2.5 - volts) * 0.049034882 + AFR_14_7);
  return 25.5;
}

double WidebandAfr(int row, double volts) {
  if (row < 0 || row >= static_cast<int>(WIDEBAND_DEVICES.size())) return 0.0;
  const WidebandRow& r = WIDEBAND_DEVICES[static_cast<std::size_t>(row)];
  switch (r.kind) {
    case WidebandKind::None: return 0.0;
    case WidebandKind::Linear: return r.slope * volts + r.offset;
    case WidebandKind::DiyNonLinear: return DiyWidebandAfr(volts);
    case WidebandKind::Curve: return CurveAfr(r.curve, volts);
  }
  return 0.0;
}

double PressurePsi(int row, double volts) {
  if (row < 0 || row >= static_cast<int>(PRESSURE_DEVICES.size())) return 0.0;
  const PressureRow& r = PRESSURE_DEVICES[static_cast<std::size_t>(row)];
  constexpr double CEILING = 99.9;
  double p = 0.0;
  switch (r.kind) {
    case PressureKind::None:
      return 0.0;
    case PressureKind::HalfToFourHalf:
      p = (volts - 0.5) * r.fullScale / 4.0;
      if (p <= 0.0) p = 0.0;
      if (p >= r.fullScale) p = r.fullScale;
      if (p >= CEILING) p = CEILING;
      return p;
    case PressureKind::BmFp:
      p = (volts - 1.004) * 24.908668;
      if (p <= 0.0) p = 0.0;
      if (p >= CEILING) p = CEILING;
      return p;
    case PressureKind::ZeroToFive:
      p = 6.0 * volts;
      if (p >= r.fullScale) p = r.fullScale;
      return p;
    case PressureKind::OneToFive:
      p = (volts - 1.0) * 25.0;
      if (p <= 0.0) p = 0.0;
      if (p >= CEILING) p = CEILING;
      return p;
  }
  return 0.0;
}

double BuiltInDeviceValue(int type, int row, double volts) {
  double v = 0.0;
  if (type == DEVICE_WIDEBAND) {
    v = WidebandAfr(row, volts);
  } else if (type == DEVICE_PRESSURE) {
    v = PressurePsi(row, volts);
  }
  if (std::isnan(v) || v < 0.0) return 0.0;
  return v;
}

std::vector<AvailableDevice> BuildDeviceList(const std::array<UserDeviceSettings, USER_DEVICE_COUNT>& devices) {
  std::vector<AvailableDevice> list;
  list.reserve(AVAILABLE_DEVICE_MAX);
  list.push_back({DEVICE_NONE, -1, 0, "None"});
  for (std::size_t row = 1; row < WIDEBAND_DEVICES.size(); ++row)
    list.push_back({DEVICE_WIDEBAND, WIDEBAND_DEVICES[row].row, WIDEBAND_DEVICES[row].id, WIDEBAND_DEVICES[row].name});
  for (std::size_t row = 1; row < PRESSURE_DEVICES.size(); ++row)
    list.push_back({DEVICE_PRESSURE, PRESSURE_DEVICES[row].row, PRESSURE_DEVICES[row].id, PRESSURE_DEVICES[row].name});
  for (int n = 0; n < USER_DEVICE_COUNT; ++n) {
    const UserDeviceSettings& d = devices[static_cast<std::size_t>(n)];
    if (d.active != 1) continue;
    // The instance of a user device is its number.
    list.push_back({DEVICE_USER, n, n, d.name.substr(0, 51)});
  }
  return list;
}

std::string FilterChoiceText(int position) {
  if (position < 0) position = 0;
  if (position > FILTER_CHOICES - 1) position = FILTER_CHOICES - 1;
  const int shown = position * 10;
  char text[32];
  if (shown == 0) {
    std::snprintf(text, sizeof text, "   %3d %%    (fast)", shown);
  } else if (shown == 100) {
    std::snprintf(text, sizeof text, "   %3d %%  (slow)", shown);
  } else {
    std::snprintf(text, sizeof text, "   %3d %%", shown);
  }
  return text;
}

int FilterChoicePosition(int filter) {
  int position = (100 - filter) / 10;
  if (position < 0) position = 0;
  if (position > FILTER_CHOICES - 1) position = FILTER_CHOICES - 1;
  return position;
}

int FilterFromChoiceText(const std::string& text) { return 100 - std::atoi(text.c_str()); }

int DeviceChoiceFor(const std::vector<AvailableDevice>& list, const AdcChannelSettings& channel) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const AvailableDevice& d = list[i];
    if (d.type == channel.type && d.instance == channel.instance && d.index == channel.index)
      return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    const AvailableDevice& d = list[i];
    if (d.type == channel.type && d.instance == channel.instance) return static_cast<int>(i);
  }
  return 0;
}

ChannelPage InitChannelPage(const std::vector<AvailableDevice>& list,
                            const std::array<AdcChannelSettings, ADC_CHANNEL_COUNT>& channels) {
  ChannelPage page{};
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const AdcChannelSettings& c = channels[static_cast<std::size_t>(n)];
    ChannelPageRow& row = page[static_cast<std::size_t>(n)];
    row.device = DeviceChoiceFor(list, c);
    row.filterPosition = FilterChoicePosition(c.filter);
    row.wbPreferred = c.wbPreferred == 1;
    row.fpPreferred = c.fpPreferred == 1;
  }
  return page;
}

void ClickPreferred(ChannelPage& page, PreferredColumn column, int channel, bool checked) {
  if (channel < 0 || channel >= ADC_CHANNEL_COUNT) return;
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    ChannelPageRow& row = page[static_cast<std::size_t>(n)];
    bool& box = column == PreferredColumn::Wideband ? row.wbPreferred : row.fpPreferred;
    box = n == channel ? checked : (checked ? false : box);
  }
}

void ApplyChannelPage(const ChannelPage& page, const std::vector<AvailableDevice>& list,
                      std::array<AdcChannelSettings, ADC_CHANNEL_COUNT>& channels) {
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    const ChannelPageRow& row = page[static_cast<std::size_t>(n)];
    AdcChannelSettings& c = channels[static_cast<std::size_t>(n)];
    if (row.device >= 0 && row.device < static_cast<int>(list.size())) {
      const AvailableDevice& d = list[static_cast<std::size_t>(row.device)];
      c.type = d.type;
      c.index = d.index;
      c.instance = d.instance;
      c.name = d.name;
    }
    c.filter = FilterFromChoiceText(FilterChoiceText(row.filterPosition));
    c.wbPreferred = row.wbPreferred ? 1 : 0;
    c.fpPreferred = row.fpPreferred ? 1 : 0;
  }
}

}  // namespace zrm
