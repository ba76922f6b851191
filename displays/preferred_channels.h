// The user devices that stand for the wideband (AFR) and the fuel-pressure
// (psi) readings, as the displays see them. The gauge display asks on the
// window thread (names, for its static layer) and on the DisplayThread
// (values), so an implementation answers from both.
#pragma once

#include <string>

namespace zrm {

struct PreferredReading {
  std::string name;  // the user device's name
  int channel = 0;   // its analogue input
  double value = 0.0;
};

class PreferredChannels {
 public:
  virtual ~PreferredChannels() = default;
  virtual bool HasWideband() const = 0;
  virtual PreferredReading Wideband() const = 0;
  virtual bool HasFuelPressure() const = 0;
  virtual PreferredReading FuelPressure() const = 0;
};

// No device configured for either reading.
class NoPreferredChannels : public PreferredChannels {
 public:
  bool HasWideband() const override { return false; }
  PreferredReading Wideband() const override { return {}; }
  bool HasFuelPressure() const override { return false; }
  PreferredReading FuelPressure() const override { return {}; }
};

}  // namespace zrm
