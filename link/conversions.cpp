#include "link/conversions.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

#include "link/runtime_frame.h"

namespace zrm {

namespace {

std::atomic<int> temperatureScale{1};
std::atomic<int> speedUnit{0};

constexpr double KPA_TO_PSI = 0.145037738;
constexpr double KM_PER_MILE = 1.609344;

// The ECM's speed-sensor constant: pulses per mile times its raw value.
constexpr double PPM_NUMERATOR = 920920.0;
// Pulses per mile of firmware that does not report its own.
constexpr int DEFAULT_PULSES_PER_MILE = 2002;

// Reference-period RPM: K = 7864320 / cylinders, truncated, and the value the
// slowest period (65535) gives, at or below which the result is not real.
struct PeriodRow {
  int cylinders;
  std::int32_t k;
  int minimum;
};
constexpr PeriodRow PERIOD_TABLE[] = {
    {4, 1966080, 30}, {5, 1572864, 24}, {6, 1310720, 20}, {7, 1123474, 17}, {8, 983040, 15},
};
constexpr int PERIOD_RPM_LIMIT = 9999;

// With asynchronous injection the ECM fires on a fixed clock.
constexpr double ASYNC_PERIOD_MS = 12.5;
constexpr double DUTY_LIMIT = 255.0;

}  // namespace

void SetTemperatureScale(int scale) { temperatureScale.store(scale, std::memory_order_release); }
int TemperatureScale() { return temperatureScale.load(std::memory_order_acquire); }
void SetSpeedUnit(int unit) { speedUnit.store(unit, std::memory_order_release); }
int SpeedUnit() { return speedUnit.load(std::memory_order_acquire); }

double ToPercent256(std::uint16_t raw) { return raw * 0.390625; }
double ToO2Millivolts(std::uint16_t raw) { return raw * 4.42; }
double ToPulsesPerMile(std::uint16_t raw) { return raw == 0 ? 0.0 : PPM_NUMERATOR / raw; }
double RpmBy12_5(std::uint16_t raw) { return raw * 12.5; }
double RpmBy25(std::uint16_t raw) { return raw * 25.0; }
double RpmBy31_25(std::uint16_t raw) { return raw * 31.25; }
double ToSpeedUnit(std::uint16_t raw) { return SpeedUnit() == 1 ? raw * KM_PER_MILE : raw; }
double ToMapGaugeKpa(std::uint16_t raw) { return raw * 0.3125 + 20.0; }
double ToMap1BarKpa(std::uint16_t raw) { return raw * 0.369 + 10.415; }
double ToMap2BarKpa(std::uint16_t raw) { return raw * 0.7705 + 8.0; }
double ToMap3BarKpa(std::uint16_t raw) { return raw * 1.2335 + 1.1; }
double ToBoost2BarKpa(std::uint16_t raw) { return raw * 0.625; }
double ToBoost3BarKpa(std::uint16_t raw) { return raw * 1.2335; }
double ToVacuum(std::uint16_t raw) { return 80.0 - raw * 0.3125; }
double ToTenths(std::uint16_t raw) { return raw / 10.0; }
double ToAdvanceDeg(std::uint16_t raw) { return raw * 0.3515625; }
double ToRetardDeg(std::uint16_t raw) { return raw * 0.17578125; }
double ToPulseMs(std::uint16_t raw) { return raw * 0.0152587890625; }
double ToCelsius(std::uint16_t raw) { return raw * 0.75 - 40.0; }
double ToFahrenheit(std::uint16_t raw) { return raw * 1.35 - 40.0; }
double Identity(std::uint16_t raw) { return raw; }

double ToTemperature(std::uint16_t raw) {
  switch (TemperatureScale()) {
    case 0: return ToFahrenheit(raw);
    case 1: return ToCelsius(raw);
    default: return 0.0;
  }
}

double CelsiusToFahrenheit(double celsius) { return celsius * 1.8 + 32.0; }
double FahrenheitToCelsius(double fahrenheit) { return (fahrenheit - 32.0) / 1.8; }

int RoundHalfUp(double v) {
  // Half away from zero on both sides: truncating v + 0.5 would turn -40.0
  // into -39.
  const double shifted = v < 0.0 ? v - 0.5 : v + 0.5;
  if (std::isnan(shifted)) return 0;
  if (shifted >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (shifted <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(shifted);
}

int CylinderCount(const std::uint8_t* frame) { return FrameByte(frame, field::configByte) & 0x0F; }
bool IsMultiPort(const std::uint8_t* frame) { return FrameBit(frame, field::configByte, 4); }

int MapSensorBars(const std::uint8_t* frame) {
  if (FrameBit(frame, field::configByte, 7)) return 2;
  if (FrameBit(frame, field::configByte, 6)) return 3;
  return 1;
}

int FirmwareMinor(const std::uint8_t* frame) { return FrameByte(frame, field::firmwareByte) & 0x0F; }
bool IsFlashController(const std::uint8_t* frame) { return FrameBit(frame, field::bankByte, 7); }
int FlashBank(const std::uint8_t* frame) { return FrameByte(frame, field::bankByte) & 0x07; }

int ComputeRpm(const std::uint8_t* frame) {
  const int low = FrameByte(frame, field::rpmLow);
  if (low == 0) {
    const std::int32_t period = FrameWord(frame, field::refPeriod);
    if (period == 0) return 0;
    const int cylinders = CylinderCount(frame);
    for (const PeriodRow& row : PERIOD_TABLE) {
      if (row.cylinders != cylinders) continue;
      const int rpm = static_cast<int>(row.k / period);
      if (rpm <= row.minimum || rpm >= PERIOD_RPM_LIMIT) return 0;
      return rpm;
    }
    return 0;
  }
  const int coarse = FrameByte(frame, field::rpmCoarse);
  if (coarse == 0) return static_cast<int>(RpmBy12_5(low));
  if (coarse == 255) {
    const int fine = FrameByte(frame, field::rpmFine);
    // The fine byte tops out at 255 x 25; firmware 2.2 on carries the high
    // range in its own byte.
    if (fine == 255 && FirmwareMinor(frame) >= 2) {
      return static_cast<int>(RpmBy31_25(FrameByte(frame, field::rpmHigh)));
    }
    return static_cast<int>(RpmBy25(fine));
  }
  return static_cast<int>(RpmBy12_5(coarse)) + 400;
}

double ComputeDutyCycle(const std::uint8_t* frame) {
  double pulseMs;
  double periodMs;
  if (FrameBit(frame, field::statusByte14, 4)) {
    pulseMs = ToPulseMs(FrameWord(frame, field::actualPw));
    periodMs = ASYNC_PERIOD_MS;
  } else {
    const int rpm = ComputeRpm(frame);
    // A stopped engine has no injection period.
    if (rpm == 0) return 0.0;
    pulseMs = ToPulseMs(FrameWord(frame, field::basePw));
    const double secondsPerRev = 60.0 / rpm;
    if (!IsMultiPort(frame)) {
      // Throttle-body injectors fire with the cylinder events, so their
      // period shortens as cylinders are added.
      const double cylindersPerFour = CylinderCount(frame) / 4.0;
      if (cylindersPerFour == 0.0) return 0.0;
      periodMs = secondsPerRev / cylindersPerFour * 1000.0;
    } else {
      periodMs = secondsPerRev * 1000.0;
      // Sequential fire injects once per engine cycle, every second turn.
      if (FrameBit(frame, field::firmwareByte, 7)) periodMs *= 2.0;
    }
  }
  const double duty = pulseMs / periodMs * 100.0;
  if (!(duty < DUTY_LIMIT)) return DUTY_LIMIT;
  return duty;
}

double ManifoldKpa(const std::uint8_t* frame) {
  const std::uint16_t raw = FrameByte(frame, field::mapRaw);
  switch (MapSensorBars(frame)) {
    case 2: return ToMap2BarKpa(raw);
    case 3: return ToMap3BarKpa(raw);
    default: return ToMap1BarKpa(raw);
  }
}

double BoostPsi(const std::uint8_t* frame) {
  const std::uint16_t raw = FrameByte(frame, field::boostRaw);
  switch (MapSensorBars(frame)) {
    case 2: return ToBoost2BarKpa(raw) * KPA_TO_PSI;
    case 3: return ToBoost3BarKpa(raw) * KPA_TO_PSI;
    default: return 0.0;
  }
}

MapGaugeScale TripMapGauge(const std::uint8_t* frame) {
  switch (MapSensorBars(frame)) {
    case 2: return {ToMap2BarKpa(FrameByte(frame, field::mapRaw)), 20, 200, 20};
    case 3: return {ToMap3BarKpa(FrameByte(frame, field::mapRaw)), 20, 300, 40};
    default: return {ToMapGaugeKpa(FrameByte(frame, field::mapGauge)), 20, 100, 20};
  }
}

double ThrottleChange(const std::uint8_t* frame) {
  const int now = FrameByte(frame, field::tpsRaw);
  const int before = FrameByte(frame, field::tpsPrevRaw);
  if (now <= before) return 0.0;
  return ToPercent256(static_cast<std::uint16_t>(now - before));
}

std::string TransmissionText(const std::uint8_t* frame, int transType) {
  if (transType == 1) {
    if (FrameBit(frame, field::statusByte15, 4)) return "P/N";
    if (FrameBit(frame, field::statusByte5, 5)) return "  D";
    return " OD";
  }
  return std::to_string(std::min<int>(FrameByte(frame, field::gear), 9));
}

int BpcShown(const std::uint8_t* frame) {
  const int high = FrameByte(frame, field::bpc);
  const int low = FrameByte(frame, field::bpc + 1);
  return low >= 128 ? high + 1 : high;
}

int NitrousPercent(const std::uint8_t* frame) {
  return RoundHalfUp((FrameWord(frame, field::nitrousRaw) & 0x7FF) / 20.47);
}

int PulsesPerMile(const std::uint8_t* frame) {
  const std::uint16_t raw = FrameWord(frame, field::vssPpmRaw);
  if (FirmwareMinor(frame) < 2 || raw == 0) return DEFAULT_PULSES_PER_MILE;
  return RoundHalfUp(ToPulsesPerMile(raw));
}

double AdcVolts(const std::uint8_t* frame, int n) {
  if (n < 0 || n > 7) return 0.0;
  return FrameWord(frame, field::adcChannel(n)) * 0.004887585532746823 + 0.004;
}

RunTime SplitRunTime(const std::uint8_t* frame) {
  const int total = FrameWord(frame, field::runTimeSec);
  return {total / 3600, total % 3600 / 60, total % 60};
}

}  // namespace zrm
