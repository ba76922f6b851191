#include "devices/user_device_editor.h"

#include <cstdio>
#include <cstdlib>

#include "devices/user_devices.h"

namespace zrm {

std::vector<int> UserDeviceListEntries(const std::array<UserDeviceSettings, USER_DEVICE_COUNT>& devices) {
  std::vector<int> entries;
  for (int n = 0; n < USER_DEVICE_COUNT; ++n)
    if (!devices[static_cast<std::size_t>(n)].name.empty()) entries.push_back(n);
  return entries;
}

std::string VoltsLabel(const std::string& unit) { return "Volts for " + unit + " of  "; }

namespace {

std::string Scaled(long long value, int decimals) {
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const bool negative = value < 0;
  const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
  char text[64];
  std::snprintf(text, sizeof text, "%s%llu.%0*llu", negative ? "-" : "", magnitude / scale, decimals,
                magnitude % scale);
  return text;
}

}  // namespace

UserDeviceFields LoadUserDeviceFields(const UserDeviceSettings& d) {
  UserDeviceFields f;
  f.name = d.active == 1 ? d.name : USER_DEVICE_NEW_NAME_PROMPT;
  f.unit = d.unit;
  // millivolts / 1000 as "%.3f" and value / 10000 as "%.4f": exact in decimal.
  f.voltJ = Scaled(d.voltJ, 3);
  f.voltK = Scaled(d.voltK, 3);
  f.unitJ = Scaled(d.unitJ, 4);
  f.unitK = Scaled(d.unitK, 4);
  f.precision = std::to_string(d.precision);
  return f;
}

long long ScaledTextValue(const std::string& text, int decimals) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    negative = text[at] == '-';
    ++at;
  }
  long long whole = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && whole < 100000000000LL)
    whole = whole * 10 + (text[at++] - '0');
  long long fraction = 0;
  int digits = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < decimals) {
      fraction = fraction * 10 + (text[at++] - '0');
      ++digits;
    }
  }
  for (; digits < decimals; ++digits) fraction *= 10;
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const long long value = whole * scale + fraction;
  return negative ? -value : value;
}

void StoreUserDeviceFields(UserDeviceFields& f, UserDeviceSettings& d) {
  d.active = 1;
  d.name = f.name.substr(0, USER_DEVICE_NAME_MAX);
  d.unit = f.unit.substr(0, USER_DEVICE_UNIT_MAX);
  ValidateVolts(f.voltJ);
  ValidateVolts(f.voltK);
  ValidateUnitValue(f.unitJ);
  ValidateUnitValue(f.unitK);
  d.voltJ = static_cast<std::int32_t>(ScaledTextValue(f.voltJ, 3));
  d.voltK = static_cast<std::int32_t>(ScaledTextValue(f.voltK, 3));
  d.unitJ = static_cast<std::int32_t>(ScaledTextValue(f.unitJ, 4));
  d.unitK = static_cast<std::int32_t>(ScaledTextValue(f.unitK, 4));
  ValidatePrecision(f.precision);
  d.precision = std::atoi(f.precision.c_str());
  if (d.precision > USER_DEVICE_PRECISION_MAX) d.precision = USER_DEVICE_PRECISION_MAX;
  if (d.precision < 0) d.precision = 0;
}

void ResetUserDevice(UserDeviceSettings& d) {
  d.active = 0;
  d.name = USER_DEVICE_FREE_NAME;
  d.unit = "NEW";
  d.voltJ = 0;
  d.voltK = 5000;
  d.unitJ = 0;
  d.unitK = 1000000;
  d.width = 4;
  d.precision = 4;
}

bool FilterNumberText(std::string& text, int* cursor) {
  const int at = cursor != nullptr ? *cursor : 0;
  std::string kept;
  bool point = false;
  bool removed = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    bool keep = false;
    if (c >= '0' && c <= '9') {
      keep = true;
    } else if (c == '.' && !point) {
      keep = point = true;
    } else if (c == '-' && kept.empty()) {
      keep = true;
    }
    if (keep) {
      kept += c;
    } else {
      removed = true;
      if (cursor != nullptr && static_cast<int>(i) < at) --*cursor;
    }
  }
  text = kept;
  return removed;
}

bool NumberTextValid(const std::string& text) {
  std::string copy = text;
  return !FilterNumberText(copy);
}

bool FilterDigitsText(std::string& text, int* cursor) {
  const int at = cursor != nullptr ? *cursor : 0;
  std::string kept;
  bool removed = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      kept += text[i];
    } else {
      removed = true;
      if (cursor != nullptr && static_cast<int>(i) < at) --*cursor;
    }
  }
  text = kept;
  return removed;
}

int ValidatePrecision(std::string& text) {
  if (std::atoi(text.c_str()) > USER_DEVICE_PRECISION_MAX) {
    text = std::to_string(USER_DEVICE_PRECISION_MAX);
    return -1;
  }
  return 0;
}

}  // namespace zrm
