// Runtime frame fields, engineering conversions and the values derived from
// a whole frame.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "link/conversions.h"
#include "link/runtime_frame.h"

namespace zrm {
namespace {

using Frame = std::array<std::uint8_t, FRAME_PAYLOAD_SIZE>;

constexpr double EPS = 1e-9;

void PutWord(Frame& frame, int offset, std::uint16_t value) {
  frame[offset] = static_cast<std::uint8_t>(value >> 8);
  frame[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// Every test starts and ends with the unit switches at their start values,
// whatever order the tests run in.
class Conversions : public ::testing::Test {
 protected:
  void SetUp() override { Restore(); }
  void TearDown() override { Restore(); }
  static void Restore() {
    SetTemperatureScale(1);
    SetSpeedUnit(0);
  }
};

TEST(ConversionSwitches, StartAsCelsiusAndMilesPerHour) {
  EXPECT_EQ(TemperatureScale(), 1);
  EXPECT_EQ(SpeedUnit(), 0);
}

TEST_F(Conversions, EveryConversionByTable) {
  struct Row {
    const char* name;
    Conversion convert;
    std::uint16_t raw;
    int temperScale;
    int speedUnit;
    double expected;
  };
  const Row rows[] = {
      {"ToPercent256 full scale", ToPercent256, 256, 1, 0, 100.0},
      {"ToPercent256 one step", ToPercent256, 1, 1, 0, 0.390625},
      {"ToO2Millivolts", ToO2Millivolts, 100, 1, 0, 442.0},
      {"ToPulsesPerMile", ToPulsesPerMile, 460, 1, 0, 2002.0},
      {"ToPulsesPerMile half", ToPulsesPerMile, 1840, 1, 0, 500.5},
      {"ToPulsesPerMile zero", ToPulsesPerMile, 0, 1, 0, 0.0},
      {"RpmBy12_5", RpmBy12_5, 80, 1, 0, 1000.0},
      {"RpmBy12_5 half step", RpmBy12_5, 1, 1, 0, 12.5},
      {"RpmBy25", RpmBy25, 255, 1, 0, 6375.0},
      {"RpmBy31_25", RpmBy31_25, 200, 1, 0, 6250.0},
      {"ToSpeedUnit mph", ToSpeedUnit, 100, 1, 0, 100.0},
      {"ToSpeedUnit km/h", ToSpeedUnit, 100, 1, 1, 160.9344},
      {"ToSpeedUnit unknown unit stays mph", ToSpeedUnit, 100, 1, 2, 100.0},
      {"ToMapGaugeKpa zero", ToMapGaugeKpa, 0, 1, 0, 20.0},
      {"ToMapGaugeKpa full", ToMapGaugeKpa, 256, 1, 0, 100.0},
      {"ToMap1BarKpa", ToMap1BarKpa, 100, 1, 0, 47.315},
      {"ToMap2BarKpa", ToMap2BarKpa, 200, 1, 0, 162.1},
      {"ToMap3BarKpa", ToMap3BarKpa, 200, 1, 0, 247.8},
      {"ToBoost2BarKpa", ToBoost2BarKpa, 160, 1, 0, 100.0},
      {"ToBoost3BarKpa", ToBoost3BarKpa, 100, 1, 0, 123.35},
      {"ToVacuum zero", ToVacuum, 0, 1, 0, 80.0},
      {"ToVacuum", ToVacuum, 64, 1, 0, 60.0},
      {"ToTenths", ToTenths, 125, 1, 0, 12.5},
      {"ToAdvanceDeg full", ToAdvanceDeg, 256, 1, 0, 90.0},
      {"ToAdvanceDeg step", ToAdvanceDeg, 1, 1, 0, 0.3515625},
      {"ToRetardDeg full", ToRetardDeg, 256, 1, 0, 45.0},
      {"ToRetardDeg step", ToRetardDeg, 1, 1, 0, 0.17578125},
      {"ToPulseMs", ToPulseMs, 1024, 1, 0, 15.625},
      {"ToPulseMs step", ToPulseMs, 1, 1, 0, 0.0152587890625},
      {"ToTemperature Celsius", ToTemperature, 160, 1, 0, 80.0},
      {"ToTemperature Celsius zero", ToTemperature, 0, 1, 0, -40.0},
      {"ToTemperature Fahrenheit", ToTemperature, 160, 0, 0, 176.0},
      {"ToTemperature unknown scale", ToTemperature, 160, 2, 0, 0.0},
      {"ToTemperature negative scale", ToTemperature, 160, -1, 0, 0.0},
      {"ToCelsius ignores the scale", ToCelsius, 160, 0, 0, 80.0},
      {"ToFahrenheit ignores the scale", ToFahrenheit, 160, 1, 0, 176.0},
      {"Identity", Identity, 65535, 1, 0, 65535.0},
  };
  for (const Row& row : rows) {
    SetTemperatureScale(row.temperScale);
    SetSpeedUnit(row.speedUnit);
    EXPECT_NEAR(row.convert(row.raw), row.expected, EPS) << row.name;
  }
}

TEST_F(Conversions, SwitchesReadBackWhatWasSet) {
  SetTemperatureScale(0);
  SetSpeedUnit(1);
  EXPECT_EQ(TemperatureScale(), 0);
  EXPECT_EQ(SpeedUnit(), 1);
}

TEST(ConversionUnits, CelsiusAndFahrenheitBothWays) {
  struct Row {
    double celsius;
    double fahrenheit;
  };
  const Row rows[] = {{100.0, 212.0}, {0.0, 32.0}, {-40.0, -40.0}, {37.0, 98.6}, {80.0, 176.0}};
  for (const Row& row : rows) {
    EXPECT_NEAR(CelsiusToFahrenheit(row.celsius), row.fahrenheit, EPS) << row.celsius;
    EXPECT_NEAR(FahrenheitToCelsius(row.fahrenheit), row.celsius, EPS) << row.fahrenheit;
  }
}

// Whole numbers are the nearest, halves away from zero: a cold -40.0 reads
// -40, not -39, and -1.0 reads -1, not 0.
TEST(ConversionRounding, NearestWholeNumberHalvesAwayFromZero) {
  struct Row {
    double value;
    int expected;
  };
  const Row rows[] = {
      {2.5, 3},    {2.4999, 2}, {0.0, 0},     {-0.4, 0},          {-0.6, -1},
      {-1.0, -1},  {-1.6, -2},  {-2.5, -3},   {-2.4999, -2},      {-40.0, -40},
      {-39.5, -40}, {99.5, 100}, {1e12, INT_MAX}, {-1e12, INT_MIN},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Row& row : rows) EXPECT_EQ(RoundHalfUp(row.value), row.expected) << row.value;
  // The coldest coolant reading in each unit.
  SetTemperatureScale(1);
  EXPECT_EQ(RoundHalfUp(ToTemperature(0)), -40);
  SetTemperatureScale(0);
  EXPECT_EQ(RoundHalfUp(ToTemperature(0)), -40);
  SetTemperatureScale(1);
}

TEST(RuntimeFrame, BytesWordsAndBits) {
  Frame frame{};
  frame[field::refPeriod] = 0x07;
  frame[field::refPeriod + 1] = 0xAE;
  frame[FRAME_PAYLOAD_SIZE - 2] = 0x12;
  frame[FRAME_PAYLOAD_SIZE - 1] = 0x34;
  frame[field::statusByte14] = 0xA5;

  EXPECT_EQ(FrameWord(frame.data(), field::refPeriod), 1966);
  EXPECT_EQ(FrameByte(frame.data(), field::refPeriod), 0x07);
  EXPECT_EQ(FrameWord(frame.data(), field::adcChannel(7)), 0x1234);

  const bool expectedBits[8] = {true, false, true, false, false, true, false, true};
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(FrameBit(frame.data(), field::statusByte14, bit), expectedBits[bit]) << bit;
  }
}

TEST(RuntimeRecord, ConfigFirmwareAndBankBytes) {
  struct Row {
    std::uint8_t config, firmware, bank;
    int cylinders;
    bool multiPort;
    int bars;
    int minor;
    bool flash;
    int flashBank;
  };
  const Row rows[] = {
      {0x00, 0x00, 0x00, 0, false, 1, 0, false, 0},
      {0x18, 0x82, 0x85, 8, true, 1, 2, true, 5},
      {0x46, 0x0F, 0x07, 6, false, 3, 15, false, 7},
      {0x84, 0x71, 0xF8, 4, false, 2, 1, true, 0},
      {0xDF, 0xFF, 0xFF, 15, true, 2, 15, true, 7},
  };
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::configByte] = row.config;
    frame[field::firmwareByte] = row.firmware;
    frame[field::bankByte] = row.bank;
    const std::uint8_t* f = frame.data();
    SCOPED_TRACE(::testing::Message() << "config " << int(row.config) << " firmware "
                                      << int(row.firmware) << " bank " << int(row.bank));
    EXPECT_EQ(CylinderCount(f), row.cylinders);
    EXPECT_EQ(IsMultiPort(f), row.multiPort);
    EXPECT_EQ(MapSensorBars(f), row.bars);
    EXPECT_EQ(FirmwareMinor(f), row.minor);
    EXPECT_EQ(IsFlashController(f), row.flash);
    EXPECT_EQ(FlashBank(f), row.flashBank);
  }
}

TEST(RuntimeRecord, ComputeRpm) {
  struct Row {
    const char* name;
    std::uint8_t config, firmware;
    std::uint16_t refPeriod;
    std::uint8_t rpmLow, rpmCoarse, rpmFine, rpmHigh;
    int expected;
  };
  const Row rows[] = {
      {"4 cyl period", 0x04, 0x02, 1966, 0, 0, 0, 0, 1000},
      {"4 cyl slowest period is the minimum", 0x04, 0x02, 65535, 0, 0, 0, 0, 0},
      {"4 cyl one above the minimum", 0x04, 0x02, 63421, 0, 0, 0, 0, 31},
      {"4 cyl too fast", 0x04, 0x02, 196, 0, 0, 0, 0, 0},
      {"4 cyl fastest kept", 0x04, 0x02, 197, 0, 0, 0, 0, 9980},
      {"period 0", 0x04, 0x02, 0, 0, 0, 0, 0, 0},
      {"5 cyl period", 0x05, 0x02, 1572, 0, 0, 0, 0, 1000},
      {"5 cyl slowest", 0x05, 0x02, 65535, 0, 0, 0, 0, 0},
      {"5 cyl above minimum", 0x05, 0x02, 62914, 0, 0, 0, 0, 25},
      {"6 cyl period", 0x06, 0x02, 1310, 0, 0, 0, 0, 1000},
      {"6 cyl slowest", 0x06, 0x02, 65535, 0, 0, 0, 0, 0},
      {"6 cyl above minimum", 0x06, 0x02, 62415, 0, 0, 0, 0, 21},
      {"7 cyl period", 0x07, 0x02, 1123, 0, 0, 0, 0, 1000},
      {"7 cyl constant is truncated", 0x07, 0x02, 44939, 0, 0, 0, 0, 24},
      {"7 cyl slowest", 0x07, 0x02, 65535, 0, 0, 0, 0, 0},
      {"7 cyl above minimum", 0x07, 0x02, 62415, 0, 0, 0, 0, 18},
      {"8 cyl period", 0x08, 0x02, 983, 0, 0, 0, 0, 1000},
      {"8 cyl slowest", 0x08, 0x02, 65535, 0, 0, 0, 0, 0},
      {"8 cyl above minimum", 0x08, 0x02, 61440, 0, 0, 0, 0, 16},
      {"8 cyl among other config bits", 0xD8, 0x02, 983, 0, 0, 0, 0, 1000},
      {"3 cyl unknown", 0x03, 0x02, 1966, 0, 0, 0, 0, 0},
      {"0 cyl unknown", 0x00, 0x02, 1966, 0, 0, 0, 0, 0},
      {"9 cyl unknown", 0x09, 0x02, 983, 0, 0, 0, 0, 0},
      {"12 cyl unknown", 0x0C, 0x02, 983, 0, 0, 0, 0, 0},
      {"coarse byte plus 400", 0x04, 0x02, 1966, 10, 40, 0, 0, 900},
      {"coarse 0 uses rpmLow", 0x04, 0x02, 1966, 10, 0, 0, 0, 125},
      {"rpmLow truncated", 0x04, 0x02, 0, 1, 0, 0, 0, 12},
      {"coarse truncated before the 400", 0x04, 0x02, 0, 1, 1, 0, 0, 412},
      {"coarse 254 not limited", 0x04, 0x02, 0, 10, 254, 0, 0, 3575},
      {"high range on firmware 2.2", 0x04, 0x02, 0, 10, 255, 255, 200, 6250},
      {"fine byte on firmware 2.1", 0x04, 0x01, 0, 10, 255, 255, 200, 6375},
      {"sequential bit is not the version", 0x04, 0x82, 0, 10, 255, 255, 200, 6250},
      {"high bits do not raise 2.1", 0x04, 0x81, 0, 10, 255, 255, 200, 6375},
      {"fine below 255 on firmware 2.2", 0x04, 0x02, 0, 10, 255, 254, 200, 6350},
      {"high range truncated", 0x04, 0x0F, 0, 10, 255, 255, 255, 7968},
      {"byte path ignores the cylinder count", 0x00, 0x02, 0, 10, 40, 0, 0, 900},
  };
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::configByte] = row.config;
    frame[field::firmwareByte] = row.firmware;
    PutWord(frame, field::refPeriod, row.refPeriod);
    frame[field::rpmLow] = row.rpmLow;
    frame[field::rpmCoarse] = row.rpmCoarse;
    frame[field::rpmFine] = row.rpmFine;
    frame[field::rpmHigh] = row.rpmHigh;
    EXPECT_EQ(ComputeRpm(frame.data()), row.expected) << row.name;
  }
}

TEST(RuntimeRecord, DutyCycle) {
  struct Row {
    const char* name;
    std::uint8_t config, firmware, status14;
    std::uint16_t refPeriod, basePw, actualPw;
    double expected;
  };
  // Periods 1966 (4 cyl), 1310 (6 cyl) and 983 (8 cyl) are all 1000 RPM,
  // 60 ms a turn; basePw 1024 is 15.625 ms.
  const Row rows[] = {
      {"async fixed period", 0x14, 0x02, 0x10, 1966, 1024, 512, 62.5},
      {"async with the engine stopped", 0x14, 0x02, 0x10, 0, 1024, 512, 62.5},
      {"async just below the limit", 0x14, 0x02, 0x10, 1966, 0, 2088, 254.8828125},
      {"async just above the limit", 0x14, 0x02, 0x10, 1966, 0, 2089, 255.0},
      {"async largest pulse", 0x14, 0x02, 0x10, 1966, 0, 65535, 255.0},
      {"throttle body 4 cyl", 0x04, 0x02, 0x00, 1966, 1024, 0, 15.625 / 60.0 * 100.0},
      {"throttle body 6 cyl", 0x06, 0x02, 0x00, 1310, 1024, 0, 15.625 / 40.0 * 100.0},
      {"throttle body 8 cyl", 0x08, 0x02, 0x00, 983, 1024, 0, 15.625 / 30.0 * 100.0},
      {"throttle body ignores sequential", 0x08, 0x82, 0x00, 983, 1024, 0, 15.625 / 30.0 * 100.0},
      {"multi-port 8 cyl", 0x18, 0x02, 0x00, 983, 1024, 0, 15.625 / 60.0 * 100.0},
      {"multi-port 4 cyl", 0x14, 0x02, 0x00, 1966, 1024, 0, 15.625 / 60.0 * 100.0},
      {"multi-port sequential", 0x18, 0x82, 0x00, 983, 1024, 0, 15.625 / 120.0 * 100.0},
      {"other status14 bits are not async", 0x18, 0x02, 0xEF, 983, 1024, 512, 15.625 / 60.0 * 100.0},
      {"engine stopped", 0x18, 0x02, 0x00, 0, 1024, 512, 0.0},
      {"unknown cylinder count is RPM 0", 0x13, 0x02, 0x00, 1966, 1024, 512, 0.0},
      {"largest base pulse clamps", 0x18, 0x02, 0x00, 983, 65535, 0, 255.0},
      {"no pulse", 0x18, 0x02, 0x00, 983, 0, 512, 0.0},
  };
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::configByte] = row.config;
    frame[field::firmwareByte] = row.firmware;
    frame[field::statusByte14] = row.status14;
    PutWord(frame, field::refPeriod, row.refPeriod);
    PutWord(frame, field::basePw, row.basePw);
    PutWord(frame, field::actualPw, row.actualPw);
    EXPECT_NEAR(ComputeDutyCycle(frame.data()), row.expected, EPS) << row.name;
  }
}

TEST(RuntimeRecord, PressuresBySensorRange) {
  struct Row {
    const char* name;
    std::uint8_t config;
    double kpa, psi, gaugeKpa;
    int low, high, step;
  };
  // mapRaw 100, boostRaw 100, mapGauge 128 in every row.
  const Row rows[] = {
      {"1-bar", 0x04, 47.315, 0.0, 60.0, 20, 100, 20},
      {"2-bar", 0x84, 85.05, 62.5 * 0.145037738, 85.05, 20, 200, 20},
      {"3-bar", 0x44, 124.45, 123.35 * 0.145037738, 124.45, 20, 300, 40},
      {"both bits read as 2-bar", 0xC4, 85.05, 62.5 * 0.145037738, 85.05, 20, 200, 20},
  };
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::configByte] = row.config;
    frame[field::mapRaw] = 100;
    frame[field::boostRaw] = 100;
    frame[field::mapGauge] = 128;
    SCOPED_TRACE(row.name);
    EXPECT_NEAR(ManifoldKpa(frame.data()), row.kpa, EPS);
    EXPECT_NEAR(BoostPsi(frame.data()), row.psi, EPS);
    const MapGaugeScale gauge = TripMapGauge(frame.data());
    EXPECT_NEAR(gauge.kpa, row.gaugeKpa, EPS);
    EXPECT_EQ(gauge.low, row.low);
    EXPECT_EQ(gauge.high, row.high);
    EXPECT_EQ(gauge.step, row.step);
  }
}

TEST(RuntimeRecord, ThrottleChange) {
  struct Row {
    std::uint8_t now, before;
    double expected;
  };
  const Row rows[] = {{100, 50, 19.53125}, {50, 100, 0.0}, {77, 77, 0.0}, {255, 0, 99.609375}};
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::tpsRaw] = row.now;
    frame[field::tpsPrevRaw] = row.before;
    EXPECT_NEAR(ThrottleChange(frame.data()), row.expected, EPS)
        << int(row.now) << " after " << int(row.before);
  }
}

TEST(RuntimeRecord, TransmissionText) {
  struct Row {
    int transType;
    std::uint8_t status15, status5, gear;
    const char* expected;
  };
  const Row rows[] = {
      {1, 0x10, 0x20, 3, "P/N"},  {1, 0x00, 0x20, 3, "  D"}, {1, 0x00, 0x00, 3, " OD"},
      {1, 0xEF, 0xDF, 3, " OD"},  {0, 0x10, 0x20, 3, "3"},   {0, 0x00, 0x00, 0, "0"},
      {0, 0x00, 0x00, 9, "9"},    {0, 0x00, 0x00, 10, "9"},  {0, 0x00, 0x00, 255, "9"},
  };
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::statusByte15] = row.status15;
    frame[field::statusByte5] = row.status5;
    frame[field::gear] = row.gear;
    EXPECT_EQ(TransmissionText(frame.data(), row.transType), row.expected)
        << "type " << row.transType << " status15 " << int(row.status15) << " status5 "
        << int(row.status5) << " gear " << int(row.gear);
  }
}

TEST(RuntimeRecord, WordFieldsShownAsIntegers) {
  struct Row {
    const char* name;
    int (*shown)(const std::uint8_t*);
    int offset;
    std::uint8_t firmware;
    std::uint16_t word;
    int expected;
  };
  const Row rows[] = {
      {"bpc low byte rounds up", BpcShown, field::bpc, 0x02, 0x2A80, 43},
      {"bpc low byte below half", BpcShown, field::bpc, 0x02, 0x2A7F, 42},
      {"bpc zero high byte", BpcShown, field::bpc, 0x02, 0x00FF, 1},
      {"bpc top", BpcShown, field::bpc, 0x02, 0xFF80, 256},
      {"nitrous upper bits ignored", NitrousPercent, field::nitrousRaw, 0x02, 0xF7FF, 100},
      {"nitrous full", NitrousPercent, field::nitrousRaw, 0x02, 0x07FF, 100},
      {"nitrous bit 11 only", NitrousPercent, field::nitrousRaw, 0x02, 0x0800, 0},
      {"nitrous 49.98 rounds up", NitrousPercent, field::nitrousRaw, 0x02, 0x03FF, 50},
      {"nitrous 50.02 rounds down", NitrousPercent, field::nitrousRaw, 0x02, 0x8400, 50},
      {"nitrous 0.49", NitrousPercent, field::nitrousRaw, 0x02, 10, 0},
      {"nitrous 0.54", NitrousPercent, field::nitrousRaw, 0x02, 11, 1},
      {"pulses per mile", PulsesPerMile, field::vssPpmRaw, 0x02, 460, 2002},
      {"pulses per mile half rounds up", PulsesPerMile, field::vssPpmRaw, 0x02, 1840, 501},
      {"pulses per mile rounds down", PulsesPerMile, field::vssPpmRaw, 0x02, 1841, 500},
      {"pulses per mile slowest", PulsesPerMile, field::vssPpmRaw, 0x02, 65535, 14},
      {"pulses per mile zero raw", PulsesPerMile, field::vssPpmRaw, 0x02, 0, 2002},
      {"pulses per mile later firmware", PulsesPerMile, field::vssPpmRaw, 0x0F, 4000, 230},
      {"pulses per mile firmware 2.1", PulsesPerMile, field::vssPpmRaw, 0x01, 4000, 2002},
      {"pulses per mile firmware 2.0", PulsesPerMile, field::vssPpmRaw, 0x00, 4000, 2002},
      {"pulses per mile sequential 2.1", PulsesPerMile, field::vssPpmRaw, 0x81, 4000, 2002},
  };
  for (const Row& row : rows) {
    Frame frame{};
    frame[field::firmwareByte] = row.firmware;
    PutWord(frame, row.offset, row.word);
    EXPECT_EQ(row.shown(frame.data()), row.expected) << row.name;
  }
}

TEST(RuntimeRecord, AnalogueChannelsInVolts) {
  Frame frame{};
  frame.fill(0xFF);
  for (int n = 0; n < 8; ++n) PutWord(frame, field::adcChannel(n), static_cast<std::uint16_t>(100 * n + 3));
  for (int n = 0; n < 8; ++n) {
    // 1023 counts span 5 V, over a 4 mV offset.
    EXPECT_NEAR(AdcVolts(frame.data(), n), (100 * n + 3) * 5.0 / 1023.0 + 0.004, EPS) << n;
  }
  PutWord(frame, field::adcChannel(7), 1023);
  EXPECT_NEAR(AdcVolts(frame.data(), 7), 5.004, EPS);
  PutWord(frame, field::adcChannel(0), 0);
  EXPECT_NEAR(AdcVolts(frame.data(), 0), 0.004, EPS);
  EXPECT_EQ(AdcVolts(frame.data(), -1), 0.0);
  EXPECT_EQ(AdcVolts(frame.data(), 8), 0.0);
}

TEST(RuntimeRecord, RunTimeSplit) {
  struct Row {
    std::uint16_t seconds;
    int hours, minutes, secs;
  };
  const Row rows[] = {{0, 0, 0, 0}, {59, 0, 0, 59}, {60, 0, 1, 0}, {3600, 1, 0, 0},
                      {3725, 1, 2, 5}, {65535, 18, 12, 15}};
  for (const Row& row : rows) {
    Frame frame{};
    PutWord(frame, field::runTimeSec, row.seconds);
    const RunTime t = SplitRunTime(frame.data());
    EXPECT_EQ(t.hours, row.hours) << row.seconds;
    EXPECT_EQ(t.minutes, row.minutes) << row.seconds;
    EXPECT_EQ(t.seconds, row.secs) << row.seconds;
  }
}

}  // namespace
}  // namespace zrm
