// Engineering conversions of runtime frame fields, the values derived from a
// whole frame, and the two unit switches.
//
// Every scale factor of the frame lives here; gauges, exports, the trip
// computer, the knock map and VE learn hold these functions as pointers
// instead of keeping their own copies.
#pragma once

#include <cstdint>
#include <string>

namespace zrm {

// A conversion of a raw byte or big-endian pair into engineering units.
using Conversion = double (*)(std::uint16_t raw);

// Unit switches. They are process-wide so that the conversions that read
// them can stay plain function pointers; the window thread writes them,
// the DisplayThread reads them.
// [TEMPERSCALE]: 0 Fahrenheit, 1 Celsius (the start value).
void SetTemperatureScale(int scale);
int TemperatureScale();
// [KPHORMPH]: 0 miles per hour (the start value), 1 kilometres per hour.
void SetSpeedUnit(int unit);
int SpeedUnit();

double ToPercent256(std::uint16_t raw);     // x * 100 / 256
double ToO2Millivolts(std::uint16_t raw);   // x * 4.42
double ToPulsesPerMile(std::uint16_t raw);  // 920920 / x; 0 when x is 0
double RpmBy12_5(std::uint16_t raw);
double RpmBy25(std::uint16_t raw);
double RpmBy31_25(std::uint16_t raw);
double ToSpeedUnit(std::uint16_t raw);      // mph, or km/h by [KPHORMPH]
double ToMapGaugeKpa(std::uint16_t raw);    // x * 0.3125 + 20
double ToMap1BarKpa(std::uint16_t raw);     // x * 0.369 + 10.415
double ToMap2BarKpa(std::uint16_t raw);     // x * 0.7705 + 8
double ToMap3BarKpa(std::uint16_t raw);     // x * 1.2335 + 1.1
double ToBoost2BarKpa(std::uint16_t raw);   // x * 0.625
double ToBoost3BarKpa(std::uint16_t raw);   // x * 1.2335
double ToVacuum(std::uint16_t raw);         // 80 - x * 0.3125
double ToTenths(std::uint16_t raw);         // x / 10
double ToAdvanceDeg(std::uint16_t raw);     // x * 90 / 256
double ToRetardDeg(std::uint16_t raw);      // x * 45 / 256
double ToPulseMs(std::uint16_t raw);        // x / 65.536
double ToTemperature(std::uint16_t raw);    // by [TEMPERSCALE]; 0 for an unknown scale
double ToCelsius(std::uint16_t raw);        // x * 0.75 - 40
double ToFahrenheit(std::uint16_t raw);     // x * 1.35 - 40
double Identity(std::uint16_t raw);

double CelsiusToFahrenheit(double celsius);
double FahrenheitToCelsius(double fahrenheit);

// The system's rounding of values shown or stored as integers: the nearest
// whole number, halves away from zero (2.5 gives 3, -2.5 gives -3, -40.0
// stays -40). Not a number gives 0; values beyond the int range are held at
// its ends.
int RoundHalfUp(double v);

// Values derived from a whole frame; `frame` is the 273-byte payload.

int CylinderCount(const std::uint8_t* frame);   // configByte bits 0-3
bool IsMultiPort(const std::uint8_t* frame);    // configByte bit 4
int MapSensorBars(const std::uint8_t* frame);   // 2, 3 or 1
int FirmwareMinor(const std::uint8_t* frame);   // firmwareByte bits 0-3
bool IsFlashController(const std::uint8_t* frame);  // bankByte bit 7
int FlashBank(const std::uint8_t* frame);       // bankByte bits 0-2

// RPM from the reference period when rpmLow is 0, else from the RPM bytes.
// Period results at or below the slowest period's value, or of 9999 and
// more, are noise and give 0; so does an unknown cylinder count.
int ComputeRpm(const std::uint8_t* frame);

// Injector duty cycle in percent, 0 to 255.
double ComputeDutyCycle(const std::uint8_t* frame);

// Manifold pressure in kPa and boost in psi by the MAP sensor's range; a
// 1-bar sensor has no boost.
double ManifoldKpa(const std::uint8_t* frame);
double BoostPsi(const std::uint8_t* frame);

// The trip display's MAP gauge: its value in kPa and its scale.
struct MapGaugeScale {
  double kpa;
  int low, high, step;
};
MapGaugeScale TripMapGauge(const std::uint8_t* frame);

// Throttle opening since the previous reading in percent; 0 when closing.
double ThrottleChange(const std::uint8_t* frame);

// [TRANSTYPE] 1 (automatic): "P/N", "  D" or " OD"; otherwise the manual
// gear number, at most 9.
std::string TransmissionText(const std::uint8_t* frame, int transType);

// The base pulse constant as shown: high byte, rounded up by the low byte.
int BpcShown(const std::uint8_t* frame);

// Nitrous duty in whole percent from the low 11 bits.
int NitrousPercent(const std::uint8_t* frame);

// Speed-sensor pulses per mile; firmware before 2.2 and a zero calibration
// mean the fixed 2002.
int PulsesPerMile(const std::uint8_t* frame);

// Volts at analogue input n (0 to 7); 0 for any other n.
double AdcVolts(const std::uint8_t* frame, int n);

struct RunTime {
  int hours, minutes, seconds;
};
RunTime SplitRunTime(const std::uint8_t* frame);

}  // namespace zrm
