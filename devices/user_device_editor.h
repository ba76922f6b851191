// The User Device dialog's rules without its window: the list of
// entries and which entry each list position stands for, the texts an entry
// loads into the fields, storing the fields back, deleting an entry, and the
// per-keystroke filters of the number fields.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "shell/vistrel_config.h"

namespace zrm {

constexpr int USER_DEVICE_NAME_MAX = 48;
constexpr int USER_DEVICE_UNIT_MAX = 4;
constexpr int USER_DEVICE_VOLTS_MAX = 5;  // characters of a volts field
constexpr int USER_DEVICE_VALUE_MAX = 9;  // characters of a unit-value field
constexpr int USER_DEVICE_PRECISION_MAX = 4;
constexpr const char* USER_DEVICE_FREE_NAME = "-Available Device Entry-";
constexpr const char* USER_DEVICE_NEW_NAME_PROMPT = "Put New Device Name Here";
constexpr const char* USER_DEVICE_MODIFIED_CAPTION = "Warning!";
constexpr const char* USER_DEVICE_MODIFIED_TEXT = "This device entry has been modified.\n\nDo you want to save the changes?";

// The texts of the fields, as the dialog shows them.
struct UserDeviceFields {
  std::string name;
  std::string unit;
  std::string voltJ, unitJ;  // first calibration row
  std::string voltK, unitK;  // second calibration row
  std::string precision;
};

// The list: the entry numbers in list order. An entry whose name is empty is
// left out, so a position is not always its entry number; the dialog maps
// through this table.
std::vector<int> UserDeviceListEntries(const std::array<UserDeviceSettings, USER_DEVICE_COUNT>& devices);

// The label beside each volts field: "Volts for %s of  " with the unit.
std::string VoltsLabel(const std::string& unit);

// Loading an entry: the name if active, else "Put New Device Name Here";
// volts "%.3f", unit values "%.4f", precision "%d".
UserDeviceFields LoadUserDeviceFields(const UserDeviceSettings& device);

// Storing an entry: active 1, name and unit cut to their lengths, each volts
// text validated and stored in millivolts, each unit value validated and
// stored x 10000, precision at most 4; width unchanged. The fields receive
// the validated texts.
void StoreUserDeviceFields(UserDeviceFields& fields, UserDeviceSettings& device);

// Delete: the free entry (width 4, precision 4).
void ResetUserDevice(UserDeviceSettings& device);

// The whole part of a number text times 10^decimals, exactly as its digits
// say (a validated "%.3f" or "%.4f" text): "1.235" with 3 gives 1235.
long long ScaledTextValue(const std::string& text, int decimals);

// Per-keystroke filter of a volts or unit-value field: digits, one decimal
// point and a leading minus sign are kept, anything else is removed. True
// when something was removed (the dialog beeps). `cursor`, when given, is
// moved left by the characters removed before it.
bool FilterNumberText(std::string& text, int* cursor = nullptr);
// True when a volts or unit-value text holds only what the filter keeps: the
// dialog refuses a typed character (with a beep) that would make it false.
bool NumberTextValid(const std::string& text);
// The precision field: digits only.
bool FilterDigitsText(std::string& text, int* cursor = nullptr);
// On leaving the precision field: above 4 becomes "4". -1 when changed.
int ValidatePrecision(std::string& text);

}  // namespace zrm
