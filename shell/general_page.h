// The "General Setup" page of the preferences dialog without its
// window: the page's values as its controls hold them, filled from the
// settings, the CTS unit switch, and ApplyGeneralPage with its order, limits
// and roundings. The Qt page only places the controls and moves values
// between them and this struct.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "shell/vistrel_config.h"

namespace zrm {

// The update-rate combo box, list position 0 to 3 (the leading blanks are
// part of the texts).
inline constexpr std::array<const char*, 4> UPDATE_RATE_TEXTS = {
    "  4 Times a Second", "  6 Times a Second", "  9 Times a Second", "17 Times a Second"};

struct GeneralPageValues {
  bool wideband = false;        // "WB" checked, else "BLM"
  std::string ctsLow;           // edit 1013
  std::string ctsHigh;          // edit 1014
  bool celsiusShown = true;     // the unit the CTS edits are in
  std::string smoothFactor;     // edit 1021
  bool autoUpdate = false;      // check box 1024 (disabled)
  std::string autoMinutes;      // edit 1023 (disabled, never filled)
  int updateRate = 0;           // combo box 1009 position
  int trackbar = 50;            // trackbar 1000 position, 0 to 100
  bool knockAlert = false;      // 1015
  bool enterPause = false;      // 1039
  bool saveTrip = false;        // 1040
  bool automatic = false;       // "Auto" checked, else "Stick"
  bool celsius = true;          // "°C" checked, else "°F"
  bool kph = false;             // "KPH" checked, else "MPH"
  std::string speedRange;       // edit 1019
  std::string rpmRange;         // edit 1020
  std::string redline;          // edit 1018
};

// The page initialisation from the settings.
GeneralPageValues InitGeneralPage(const VistrelSettings& settings);

// A number edit read as a whole number: an empty or non-numeric edit reads 0,
// a leading minus is taken, and a number too large for 32 bits is limited.
std::int32_t EditNumber(const std::string& text);

// One CTS value converted for the unit switch: (x - 32) / 1.8 to Celsius,
// x x 1.8 + 32 to Fahrenheit, + 0.5 and the whole part kept.
std::int32_t ConvertCtsValue(std::int32_t value, bool toCelsius);

// A click on "°C" (toCelsius) or "°F": when the page shows the other unit
// both CTS edits are converted and the page shows the new unit. True when
// something changed (Apply is then enabled).
bool SwitchCtsUnit(GeneralPageValues& page, bool toCelsius);

// ApplyGeneralPage, step by step in the dialog's order. Returns true when the
// temperature or the speed unit changed (the main window lays out its
// displays again).
bool ApplyGeneralPage(const GeneralPageValues& page, VistrelSettings& settings);

}  // namespace zrm
