#include "shell/general_page.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "link/conversions.h"

namespace zrm {

GeneralPageValues InitGeneralPage(const VistrelSettings& s) {
  GeneralPageValues page;
  page.trackbar = std::clamp(100 - s.playbackDelay, 0, 100);
  page.celsius = s.temperatureScale == 1;
  page.celsiusShown = page.celsius;
  page.ctsLow = std::to_string(s.learnTempLow);
  page.ctsHigh = std::to_string(s.learnTempHigh);
  page.wideband = s.learnInput == 1;
  page.smoothFactor = std::to_string(s.smoothFactor);
  // AutoUpdate is shown disabled and unchecked; its minutes edit stays empty.
  page.autoUpdate = false;
  page.autoMinutes.clear();
  page.updateRate = std::clamp(s.updateRate, 0, static_cast<int>(UPDATE_RATE_TEXTS.size()) - 1);
  page.knockAlert = s.knockAlert == 1;
  page.enterPause = s.enterPauses == 1;
  page.saveTrip = s.saveTrip == 1;
  page.automatic = s.transType == 1;
  page.kph = s.speedInKph == 1;
  page.speedRange = std::to_string(s.speedRange);
  page.rpmRange = std::to_string(s.rpmRange);
  page.redline = std::to_string(s.redline);
  return page;
}

std::int32_t EditNumber(const std::string& text) {
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<std::int32_t>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

std::int32_t ConvertCtsValue(std::int32_t value, bool toCelsius) {
  const double converted = toCelsius ? FahrenheitToCelsius(value) : CelsiusToFahrenheit(value);
  return static_cast<std::int32_t>(converted + 0.5);
}

bool SwitchCtsUnit(GeneralPageValues& page, bool toCelsius) {
  page.celsius = toCelsius;
  if (page.celsiusShown == toCelsius) return false;
  page.ctsLow = std::to_string(ConvertCtsValue(EditNumber(page.ctsLow), toCelsius));
  page.ctsHigh = std::to_string(ConvertCtsValue(EditNumber(page.ctsHigh), toCelsius));
  page.celsiusShown = toCelsius;
  return true;
}

bool ApplyGeneralPage(const GeneralPageValues& page, VistrelSettings& s) {
  bool layoutChanged = false;
  s.playbackDelay = 100 - page.trackbar;
  // The CTS limits are corrected into their ranges when the file is written.
  s.learnTempLow = EditNumber(page.ctsLow);
  s.learnTempHigh = EditNumber(page.ctsHigh);
  s.smoothFactor = std::clamp(EditNumber(page.smoothFactor), 0, 20);
  s.autoVeSave = page.autoUpdate ? 1 : 0;
  s.autoVeMinutes = EditNumber(page.autoMinutes);  // empty: 0, raised to 1 by the next save
  s.updateRate = page.updateRate;
  s.updateDivisor = UpdateDivisorForRate(page.updateRate);
  s.knockAlert = page.knockAlert ? 1 : 0;
  s.enterPauses = page.enterPause ? 1 : 0;
  s.saveTrip = page.saveTrip ? 1 : 0;
  s.transType = page.automatic ? 1 : 0;
  const std::int32_t scale = page.celsius ? 1 : 0;
  if (scale != s.temperatureScale) layoutChanged = true;
  s.temperatureScale = scale;
  s.learnInput = page.wideband ? 1 : 0;
  const std::int32_t kph = page.kph ? 1 : 0;
  if (kph != s.speedInKph) layoutChanged = true;
  s.speedInKph = kph;
  s.redline = std::clamp(EditNumber(page.redline), 0, 8000);
  s.speedRange = (std::clamp(EditNumber(page.speedRange), 10, 340) + 5) / 10 * 10;
  s.rpmRange = (std::clamp(EditNumber(page.rpmRange), 1000, 8000) + 500) / 1000 * 1000;
  return layoutChanged;
}

}  // namespace zrm
