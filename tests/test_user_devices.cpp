// User devices and ADC channels: the conversions of every row
// type, the curve bands and ends, the filter, the edit validations, the
// channel states, the preferred readings and the dropping of stale channels.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/adc_channels.h"
#include "devices/user_devices.h"
#include "devices/wideband_curves.h"
#include "link/runtime_frame.h"

namespace zrm {
namespace {

using Frame = std::array<std::uint8_t, FRAME_PAYLOAD_SIZE>;

Frame FrameWithCounts(int channel, int counts) {
  Frame f{};
  f[static_cast<std::size_t>(257 + 2 * channel)] = static_cast<std::uint8_t>(counts >> 8);
  f[static_cast<std::size_t>(258 + 2 * channel)] = static_cast<std::uint8_t>(counts & 0xFF);
  return f;
}

// ---- Input voltage ----------------------------------------------------------

TEST(ChannelVolts, CountsFromTheBigEndianPairOfTheChannel) {
  EXPECT_DOUBLE_EQ(AdcCountsToVolts(0), 0.004);
  EXPECT_DOUBLE_EQ(AdcCountsToVolts(1023), 1023 * 0.004887585532746823 + 0.004);
  EXPECT_NEAR(AdcCountsToVolts(1023), 5.004, 1e-12);
  for (int channel = 0; channel < 8; ++channel) {
    Frame f = FrameWithCounts(channel, 0x0203);
    EXPECT_DOUBLE_EQ(ChannelVolts(f.data(), channel), 515 * 0.004887585532746823 + 0.004) << channel;
    for (int other = 0; other < 8; ++other) {
      if (other != channel) {
        EXPECT_DOUBLE_EQ(ChannelVolts(f.data(), other), 0.004);
      }
    }
  }
}

// ---- Wideband rows ----------------------------------------------------------

struct WidebandCase {
  int row;
  double volts;
  double afr;
};

class WidebandRows : public ::testing::TestWithParam<WidebandCase> {};

TEST_P(WidebandRows, ConvertAsTabled) {
  const WidebandCase& c = GetParam();
  EXPECT_NEAR(BuiltInDeviceValue(DEVICE_WIDEBAND, c.row, c.volts), c.afr, 1e-9)
      << "row " << c.row << " at " << c.volts << " V";
}

INSTANTIATE_TEST_SUITE_P(
    AllRows, WidebandRows,
    ::testing::Values(
        // No device.
        WidebandCase{0, 2.5, 0.0},
        // Linear rows, unclamped.
        WidebandCase{1, 0.0, 10.0}, WidebandCase{1, 2.5, 15.0}, WidebandCase{1, 5.0, 20.0},
        WidebandCase{4, 1.0, 12.0}, WidebandCase{5, 5.0, 16.0}, WidebandCase{5, 0.0, 9.0},
        WidebandCase{6, 3.0, 16.0}, WidebandCase{7, 5.0, 3.008 * 5 + 7.35}, WidebandCase{7, 0.0, 7.35},
        WidebandCase{8, 4.0, 18.0}, WidebandCase{10, 5.0, 19.6}, WidebandCase{10, 0.0, 9.6},
        WidebandCase{11, 5.0, 18.0}, WidebandCase{11, 2.5, 14.0}, WidebandCase{1, 5.004, 20.008},
        // DIY-WB: two segments, 0 at or below 1 V, 25.5 from 3 V.
        WidebandCase{2, 0.5, 0.0}, WidebandCase{2, 1.0, 0.0},
        WidebandCase{2, 2.5, 14.7}, WidebandCase{2, 3.0, 25.5}, WidebandCase{2, 4.9, 25.5},
        WidebandCase{2, 1.5, 1.0 / ((2.5 - 1.5) * 0.028340964 + 0.06802721088435375)},
        WidebandCase{2, 2.75, 1.0 / ((2.5 - 2.75) * 0.049034882 + 0.06802721088435375)},
        // Curves.
        WidebandCase{12, 0.39, 0.0}, WidebandCase{12, 3.15, 25.5}, WidebandCase{12, 0.42, 10.0},
        WidebandCase{12, 0.44, 10.1}, WidebandCase{13, 2.917, 20.0}, WidebandCase{13, 1.18, 0.0},
        WidebandCase{3, 0.8, 10.0}, WidebandCase{3, 3.1, 20.0}, WidebandCase{3, 3.11, 25.5},
        WidebandCase{9, 0.41, 10.0}, WidebandCase{9, 3.13, 20.0}, WidebandCase{9, 0.40, 0.0},
        WidebandCase{14, 0.4, 9.6}, WidebandCase{14, 3.14, 19.2}, WidebandCase{15, 1.19, 9.6},
        WidebandCase{15, 2.92, 19.2}, WidebandCase{15, 2.93, 25.5}));

TEST(WidebandRows, TtOneAtCounts512) {
  const double v = AdcCountsToVolts(512);
  EXPECT_NEAR(BuiltInDeviceValue(DEVICE_WIDEBAND, 1, v), 15.01, 0.005);
  EXPECT_NEAR(BuiltInDeviceValue(DEVICE_WIDEBAND, 1, v), 2 * (512 * 5.0 / 1023 + 0.004) + 10, 1e-12);
}

TEST(WidebandRows, NegativeAndNotANumberReadZero) {
  // A linear row below 0 V cannot come from a frame, but the rule holds.
  EXPECT_EQ(BuiltInDeviceValue(DEVICE_WIDEBAND, 1, -6.0), 0.0);
  EXPECT_EQ(BuiltInDeviceValue(DEVICE_WIDEBAND, 12, std::nan("")), 0.0);
  EXPECT_EQ(BuiltInDeviceValue(DEVICE_WIDEBAND, 99, 2.0), 0.0);
  EXPECT_EQ(BuiltInDeviceValue(DEVICE_USER, 1, 2.0), 0.0);
}

// ---- Curves: the bands as the tables give them --------------------------------

// The Part's wording, literally: V below row 1 reads 0, above row 101 reads
// 25.5, else the first row k with lower <= V < upper.
double ReferenceCurve(const std::array<CurvePoint, CURVE_POINTS>& p, double v) {
  if (v < p[1].volts) return 0.0;
  if (v > p[101].volts) return 25.5;
  for (int k = 1; k <= 101; ++k) {
    const double lower = p[k].volts - (p[k].volts - p[k - 1].volts) / 2;
    const double upper = p[k].volts + (p[k + 1].volts - p[k].volts) / 2;
    if (lower <= v && v < upper) return p[k].afr;
  }
  return -1.0;  // no band: would be a gap
}

TEST(WidebandCurves, RowZeroAndClosingPair) {
  for (CurveId id : {CurveId::WB0, CurveId::WB1, CurveId::ZNL, CurveId::FJO, CurveId::WB0a, CurveId::WB1a}) {
    const auto& p = CurvePoints(id);
    EXPECT_EQ(p[0].afr, 0.0);
    EXPECT_EQ(p[0].volts, 0.0);
    EXPECT_EQ(p[102].afr, 25.5);
    EXPECT_EQ(p[102].volts, 99.9);
    for (int k = 1; k < 102; ++k) EXPECT_LE(p[k - 1].volts, p[k].volts) << k;
  }
}

TEST(WidebandCurves, BaseCurvesRunTenToTwentyByTenths) {
  for (CurveId id : {CurveId::WB0, CurveId::WB1, CurveId::ZNL, CurveId::FJO}) {
    const auto& p = CurvePoints(id);
    for (int k = 1; k <= 101; ++k) EXPECT_NEAR(p[k].afr, 10.0 + 0.1 * (k - 1), 1e-9) << k;
  }
}

TEST(WidebandCurves, VariantsShareTheVoltagesOfTheirBase) {
  const auto& wb0 = CurvePoints(CurveId::WB0);
  const auto& wb0a = CurvePoints(CurveId::WB0a);
  const auto& wb1 = CurvePoints(CurveId::WB1);
  const auto& wb1a = CurvePoints(CurveId::WB1a);
  for (int k = 0; k < CURVE_POINTS; ++k) {
    EXPECT_EQ(wb0[k].volts, wb0a[k].volts);
    EXPECT_EQ(wb1[k].volts, wb1a[k].volts);
    EXPECT_EQ(wb0a[k].afr, wb1a[k].afr);
  }
  // Some values repeat: rows 11 and 12 are both 10.6.
  EXPECT_EQ(wb0a[11].afr, 10.6);
  EXPECT_EQ(wb0a[12].afr, 10.6);
  EXPECT_EQ(wb0a[1].afr, 9.6);
  EXPECT_EQ(wb0a[101].afr, 19.2);
}

TEST(WidebandCurves, SpotRowsOfEachTable) {
  struct Spot {
    CurveId id;
    int row;
    double volts;
  };
  const Spot spots[] = {{CurveId::WB0, 1, 0.4},     {CurveId::WB0, 49, 2.5},    {CurveId::WB0, 79, 2.92},
                        {CurveId::WB0, 80, 2.92},   {CurveId::WB0, 101, 3.14},  {CurveId::WB1, 1, 1.19},
                        {CurveId::WB1, 65, 2.666},  {CurveId::WB1, 101, 2.92},  {CurveId::ZNL, 1, 0.41},
                        {CurveId::ZNL, 98, 3.105},  {CurveId::ZNL, 101, 3.13},  {CurveId::FJO, 1, 0.8},
                        {CurveId::FJO, 48, 2.5},    {CurveId::FJO, 101, 3.1}};
  for (const Spot& s : spots) EXPECT_EQ(CurvePoints(s.id)[s.row].volts, s.volts) << s.row;
}

TEST(WidebandCurves, LaterRowWinsAtEqualVoltage) {
  // WB0 rows 79 and 80 both sit at 2.92 V (17.8 and 17.9).
  EXPECT_NEAR(CurveAfr(CurveId::WB0, 2.92), 17.9, 1e-9);
  EXPECT_NEAR(CurveAfr(CurveId::WB0, 2.915), 17.8, 1e-9);
  EXPECT_NEAR(CurveAfr(CurveId::WB0, 2.9299), 17.9, 1e-9);
  EXPECT_NEAR(CurveAfr(CurveId::WB0, 2.93), 18.0, 1e-9);
  // WB1 rows 68 and 69 at 2.69 V.
  EXPECT_NEAR(CurveAfr(CurveId::WB1, 2.69), 16.8, 1e-9);
  // WB0a repeats an AFR, not a voltage: both rows keep their bands.
  EXPECT_NEAR(CurveAfr(CurveId::WB0a, 0.98), 10.6, 1e-9);
  EXPECT_NEAR(CurveAfr(CurveId::WB0a, 1.03), 10.6, 1e-9);
}

TEST(WidebandCurves, EveryCountAgreesWithTheWordingOfThePart) {
  for (CurveId id : {CurveId::WB0, CurveId::WB1, CurveId::ZNL, CurveId::FJO, CurveId::WB0a, CurveId::WB1a}) {
    const auto& p = CurvePoints(id);
    for (int counts = 0; counts <= 1023; ++counts) {
      const double v = AdcCountsToVolts(counts);
      EXPECT_EQ(CurveAfr(id, v), ReferenceCurve(p, v)) << counts;
    }
    // Every band edge, and just either side of it.
    for (int k = 1; k <= 101; ++k) {
      for (double v : {p[k].volts, (p[k].volts + p[k + 1].volts) / 2, std::nextafter(p[k].volts, 0.0),
                       std::nextafter(p[k].volts, 9.0)}) {
        if (v > p[101].volts) continue;
        EXPECT_EQ(CurveAfr(id, v), ReferenceCurve(p, v)) << k << " " << v;
      }
    }
  }
}

// ---- Pressure rows -----------------------------------------------------------

struct PressureCase {
  int row;
  double volts;
  double psi;
};

class PressureRows : public ::testing::TestWithParam<PressureCase> {};

TEST_P(PressureRows, ConvertWithTheirLimits) {
  const PressureCase& c = GetParam();
  EXPECT_NEAR(BuiltInDeviceValue(DEVICE_PRESSURE, c.row, c.volts), c.psi, 1e-9)
      << "row " << c.row << " at " << c.volts << " V";
}

INSTANTIATE_TEST_SUITE_P(
    AllRows, PressureRows,
    ::testing::Values(PressureCase{0, 3.0, 0.0},
                      // 0.5 - 4.5 V rows: 0 below 0.5 V, the full scale from 4.5 V, 99.9 at most.
                      PressureCase{1, 0.3, 0.0}, PressureCase{1, 0.5, 0.0}, PressureCase{1, 2.5, 7.5},
                      PressureCase{1, 4.5, 15.0}, PressureCase{1, 5.0, 15.0}, PressureCase{2, 2.5, 15.0},
                      PressureCase{2, 4.9, 30.0}, PressureCase{3, 2.5, 50.0}, PressureCase{3, 4.4, 97.5},
                      PressureCase{3, 4.5, 99.9}, PressureCase{3, 5.0, 99.9},
                      // BM_fp.
                      PressureCase{4, 1.0, 0.0}, PressureCase{4, 1.004, 0.0},
                      PressureCase{4, 3.004, 2.0 * 24.908668}, PressureCase{4, 5.004, 99.634672},
                      PressureCase{4, 5.1, 99.9},
                      // 0-5V.
                      PressureCase{5, 0.004, 0.024}, PressureCase{5, 2.5, 15.0}, PressureCase{5, 5.0, 30.0},
                      PressureCase{5, 5.004, 30.0},
                      // 1-5V.
                      PressureCase{6, 0.5, 0.0}, PressureCase{6, 1.0, 0.0}, PressureCase{6, 3.0, 50.0},
                      PressureCase{6, 4.996, 99.9}, PressureCase{6, 5.004, 99.9}));

// ---- User devices -------------------------------------------------------------

UserDeviceSettings Device(int voltJ, int unitJ, int voltK, int unitK, int width = 4, int precision = 1) {
  UserDeviceSettings d;
  d.active = 1;
  d.name = "Test";
  d.unit = "kPa";
  d.voltJ = voltJ;
  d.unitJ = unitJ;
  d.voltK = voltK;
  d.unitK = unitK;
  d.width = width;
  d.precision = precision;
  return d;
}

struct UserCase {
  int voltJ, unitJ, voltK, unitK;
  double volts;
  double value;
};

class UserDeviceLine : public ::testing::TestWithParam<UserCase> {};

TEST_P(UserDeviceLine, ClampedStraightLine) {
  const UserCase& c = GetParam();
  EXPECT_NEAR(UserDeviceValue(Device(c.voltJ, c.unitJ, c.voltK, c.unitK), c.volts), c.value, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserDeviceLine,
    ::testing::Values(UserCase{500, 0, 4500, 1000000, 2.5, 50.0}, UserCase{500, 0, 4500, 1000000, 0.2, 0.0},
                      UserCase{500, 0, 4500, 1000000, 4.9, 100.0},
                      // The line always rises from the smaller voltage to the larger.
                      UserCase{500, 1000000, 4500, 0, 0.5, 0.0}, UserCase{500, 1000000, 4500, 0, 4.5, 100.0},
                      UserCase{4500, 0, 500, 1000000, 1.5, 25.0},
                      // Negative unit values.
                      UserCase{0, -5000000, 5000, 5000000, 2.5, 0.0}, UserCase{0, -5000000, 5000, 5000000, 0.0, -500.0},
                      // Equal voltages: the lower value below, the upper one from that voltage on.
                      UserCase{2500, 0, 2500, 1000000, 2.4, 0.0}, UserCase{2500, 0, 2500, 1000000, 2.5, 100.0},
                      UserCase{2500, 1000000, 2500, 0, 2.6, 100.0}, UserCase{2500, 300000, 2500, 300000, 4.0, 30.0},
                      // Equal unit values: a flat line.
                      UserCase{0, 200000, 5000, 200000, 3.3, 20.0}));

TEST(UserDeviceLine, EqualVoltagesGiveNoNotANumber) {
  for (int counts = 0; counts <= 1023; counts += 31) {
    const double v = UserDeviceValue(Device(1000, -20000, 1000, 40000), AdcCountsToVolts(counts));
    EXPECT_FALSE(std::isnan(v));
    EXPECT_TRUE(v == -2.0 || v == 4.0) << v;
  }
}

TEST(UserDeviceText, WidthPlusPrecisionPlusOne) {
  EXPECT_EQ(FormatUserDeviceValue(Device(0, 0, 5000, 1000000, 4, 1), 50.0), "  50.0");
  EXPECT_EQ(FormatUserDeviceValue(Device(0, 0, 5000, 1000000, 4, 4), 2.5), "   2.5000");
  EXPECT_EQ(FormatUserDeviceValue(Device(0, 0, 5000, 1000000, 2, 0), 7.6), "  8");
  EXPECT_EQ(FormatUserDeviceValue(Device(0, 0, 5000, 1000000, 0, 2), -3.456), "-3.46");
}

TEST(UserDeviceText, WidthAndPrecisionFromTheFileAreLimitedToFifteenCharacters) {
  // [UDnWIDTH] and [UDnPRECI] may each be 10: field 21 would overflow.
  for (int width = 0; width <= 10; ++width) {
    for (int precision = 0; precision <= 10; ++precision) {
      for (double v : {0.0, 9999.9999, -999.9999, 123.456}) {
        const std::string text = FormatUserDeviceValue(Device(0, 0, 5000, 1000000, width, precision), v);
        EXPECT_LE(text.size(), 15u) << width << " " << precision << " " << v;
        if (width + precision + 1 <= 15) {
          char expect[64];
          std::snprintf(expect, sizeof expect, "%*.*f", width + precision + 1, precision, v);
          EXPECT_EQ(text, expect);
        }
      }
    }
  }
  EXPECT_EQ(FormatUserDeviceValue(Device(0, 0, 5000, 1000000, 10, 10), 1.5), "   1.5000000000");
  // Out-of-range values from a hand-edited file are limited to their keys.
  EXPECT_EQ(FormatUserDeviceValue(Device(0, 0, 5000, 1000000, -3, 99), 1.5), "1.5000000000");
}

// ---- Filter -------------------------------------------------------------------

struct FilterCase {
  int filter;
  double previous, sample, result;
};

class FilterWeights : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterWeights, WeightOfTheNewSample) {
  const FilterCase& c = GetParam();
  EXPECT_NEAR(FilterChannelValue(c.filter, c.previous, c.sample), c.result, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Weights, FilterWeights,
                         ::testing::Values(FilterCase{100, 5.0, 9.0, 9.0}, FilterCase{150, 5.0, 9.0, 9.0},
                                           FilterCase{0, 0.0, 100.0, 1.0}, FilterCase{1, 0.0, 100.0, 1.0},
                                           FilterCase{-20, 0.0, 100.0, 1.0}, FilterCase{50, 10.0, 20.0, 15.0},
                                           FilterCase{10, 10.0, 20.0, 11.0}, FilterCase{90, 10.0, 20.0, 19.0},
                                           FilterCase{99, 0.0, 100.0, 99.0}));

// ---- Edit validation ----------------------------------------------------------

struct ValidationCase {
  const char* text;
  const char* result;
  int code;
};

class VoltsValidation : public ::testing::TestWithParam<ValidationCase> {};
TEST_P(VoltsValidation, ClampsAndRewrites) {
  std::string text = GetParam().text;
  EXPECT_EQ(ValidateVolts(text), GetParam().code) << GetParam().text;
  EXPECT_EQ(text, GetParam().result) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(
    Texts, VoltsValidation,
    ::testing::Values(ValidationCase{"7", "5.000", -1}, ValidationCase{"5", "5.000", 0},
                      ValidationCase{"5.0001", "5.000", -1}, ValidationCase{"", "0.000", -1},
                      ValidationCase{"-1", "0.000", -1}, ValidationCase{"1.23", "1.230", 0},
                      ValidationCase{"2.5", "2.500", 0}, ValidationCase{"0", "0.000", 0},
                      ValidationCase{"1.2345", "1.235", 0}, ValidationCase{"1.2344", "1.234", 0},
                      ValidationCase{"0.0004", "0.000", 0},
                      ValidationCase{"4.9999", "5.000", 0}, ValidationCase{".5", "0.500", 0}));

class UnitValidation : public ::testing::TestWithParam<ValidationCase> {};
TEST_P(UnitValidation, ClampsAndRewrites) {
  std::string text = GetParam().text;
  EXPECT_EQ(ValidateUnitValue(text), GetParam().code) << GetParam().text;
  EXPECT_EQ(text, GetParam().result) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(
    Texts, UnitValidation,
    ::testing::Values(ValidationCase{"100", "100.0000", 0}, ValidationCase{"10000", "9999.9999", -1},
                      ValidationCase{"9999.9999", "9999.9999", 0}, ValidationCase{"-1000", "-999.9999", -1},
                      ValidationCase{"-999.9999", "-999.9999", 0}, ValidationCase{"", "0.0000", -1},
                      ValidationCase{"-2.5", "-2.5000", 0}, ValidationCase{"1.23456", "1.2346", 0},
                      ValidationCase{"-1.23456", "-1.2346", 0}, ValidationCase{"0", "0.0000", 0},
                      ValidationCase{"-0", "0.0000", 0}));

// ---- Device list, channel states and conversion ----------------------------------

VistrelSettings SettingsWithDevices() {
  VistrelSettings s;
  s.userDevices[2] = Device(500, 0, 4500, 1000000, 4, 1);
  s.userDevices[2].name = "Boost sensor";
  s.userDevices[2].unit = "psi";
  s.userDevices[5] = Device(0, 0, 5000, 500000, 3, 2);
  s.userDevices[5].name = "Oil pressure gauge";
  s.userDevices[5].unit = "bar";
  return s;
}

TEST(DeviceList, NoneWidebandPressureThenActiveUserDevices) {
  VistrelSettings s = SettingsWithDevices();
  UserDevices devices(s);
  devices.BuildAvailableDevices();
  const std::vector<AvailableDevice> list = devices.AvailableDevices();
  ASSERT_EQ(list.size(), 1u + 15 + 6 + 2);
  EXPECT_EQ(list[0].type, -1);
  EXPECT_EQ(list[0].index, -1);
  EXPECT_EQ(list[0].name, "None");
  for (int row = 1; row <= 15; ++row) {
    EXPECT_EQ(list[row].type, 0);
    EXPECT_EQ(list[row].index, row);
    EXPECT_EQ(list[row].instance, WIDEBAND_DEVICES[row].id);
    EXPECT_EQ(list[row].name, WIDEBAND_DEVICES[row].name);
  }
  for (int row = 1; row <= 6; ++row) {
    EXPECT_EQ(list[15 + row].type, 1);
    EXPECT_EQ(list[15 + row].index, row);
    EXPECT_EQ(list[15 + row].instance, PRESSURE_DEVICES[row].id);
  }
  EXPECT_EQ(list[22].type, 2);
  EXPECT_EQ(list[22].index, 2);
  EXPECT_EQ(list[22].instance, 2);
  EXPECT_EQ(list[22].name, "Boost sensor");
  EXPECT_EQ(list[23].index, 5);
  EXPECT_EQ(list[1].instance, list[2].instance);  // TT-1 and DIY-WB share ID 1
}

TEST(ChannelStates, LabelsPreferredAndReset) {
  VistrelSettings s = SettingsWithDevices();
  s.adcChannels[0] = {0, 1, 2, "DIY-WB Non-Linear", 100, 1, 0};
  s.adcChannels[3] = {1, 2, 3, "Pressure  100 psi (0.5 - 4.5V)  ", 50, 0, 1};
  s.adcChannels[6] = {2, 5, 5, "Oil pressure gauge", 100, 0, 0};
  UserDevices devices(s);
  devices.SetUp();
  auto states = devices.ChannelStates();
  EXPECT_EQ(states[0].active, 1);
  EXPECT_EQ(states[0].label, "WB_0");
  EXPECT_EQ(states[3].label, "PSI_3");
  EXPECT_EQ(states[6].label, " bar_6");
  EXPECT_EQ(states[1].active, 0);
  EXPECT_EQ(devices.PreferredWidebandChannel(), 0);
  EXPECT_EQ(devices.PreferredWidebandName(), "DIY-WB Non-L");  // the first 12 characters
  EXPECT_EQ(devices.PreferredFuelPressureChannel(), 3);
  EXPECT_EQ(devices.PreferredFuelPressureName(), "Pressure  10");
  EXPECT_TRUE(devices.HasWideband());
  EXPECT_TRUE(devices.HasFuelPressure());
  EXPECT_EQ(devices.Wideband().channel, 0);
  EXPECT_EQ(devices.FuelPressure().name, "Pressure  10");
}

TEST(ChannelStates, LaterPreferredChannelOverridesEarlier) {
  VistrelSettings s;
  s.adcChannels[1] = {0, 3, 4, "AEM", 100, 1, 1};
  s.adcChannels[4] = {0, 4, 6, "PLX", 100, 1, 0};
  UserDevices devices(s);
  devices.SetUp();
  EXPECT_EQ(devices.PreferredWidebandChannel(), 4);
  EXPECT_EQ(devices.PreferredWidebandName(), "PLX");
  EXPECT_EQ(devices.PreferredFuelPressureChannel(), 1);
}

TEST(UpdateUserDevices, PreferredOnlyUnlessAll) {
  VistrelSettings s = SettingsWithDevices();
  s.adcChannels[0] = {0, 1, 1, "TT-1", 100, 1, 0};
  s.adcChannels[1] = {1, 2, 3, "P100", 100, 0, 1};
  s.adcChannels[2] = {2, 2, 2, "Boost sensor", 100, 0, 0};
  UserDevices devices(s);
  devices.SetUp();
  Frame f{};
  auto put = [&f](int channel, int counts) {
    f[257 + 2 * channel] = static_cast<std::uint8_t>(counts >> 8);
    f[258 + 2 * channel] = static_cast<std::uint8_t>(counts & 0xFF);
  };
  put(0, 512);
  put(1, 511);
  put(2, 511);
  devices.UpdateUserDevices(f.data(), 0);
  EXPECT_NEAR(devices.PreferredWidebandValue(), 15.01, 0.005);
  EXPECT_NEAR(devices.PreferredFuelPressureValue(), (AdcCountsToVolts(511) - 0.5) * 25.0, 1e-9);
  EXPECT_EQ(devices.ChannelState(0).valueText, "15.0");
  EXPECT_EQ(devices.ChannelState(2).valueText, "");  // not converted with "all" 0
  EXPECT_EQ(devices.ChannelState(2).value, 0.0);

  devices.UpdateUserDevices(f.data(), 1);
  const AdcChannelState user = devices.ChannelState(2);
  EXPECT_NEAR(user.value, (AdcCountsToVolts(511) * 1000 - 500) / 4000 * 100, 1e-9);
  EXPECT_EQ(user.valueText, "  50.0");
  EXPECT_EQ(user.label, " psi_2");
  EXPECT_EQ(user.displayWidth, 6);

  const std::vector<ChannelReading> columns = devices.ActiveChannels();
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0].channel, 0);
  EXPECT_EQ(columns[0].label, "WB_0");
  EXPECT_EQ(columns[0].valueText, "15.0");
  EXPECT_EQ(columns[0].displayWidth, 4);
  EXPECT_EQ(columns[1].label, "PSI_1");
  EXPECT_EQ(columns[1].displayWidth, 5);
  EXPECT_EQ(columns[2].name, "Boost sensor");
}

TEST(UpdateUserDevices, FilterFollowsFramesAndRestartsOnRebuild) {
  VistrelSettings s;
  s.adcChannels[5] = {1, 3, 5, "0-5V", 50, 0, 1};
  UserDevices devices(s);
  devices.SetUp();
  Frame f = FrameWithCounts(5, 1023);
  devices.UpdateUserDevices(f.data(), 0);
  EXPECT_NEAR(devices.PreferredFuelPressureValue(), 15.0, 1e-9);
  devices.UpdateUserDevices(f.data(), 0);
  EXPECT_NEAR(devices.PreferredFuelPressureValue(), 22.5, 1e-9);
  devices.BuildChannelStates();
  EXPECT_EQ(devices.ChannelState(5).value, 0.0);
  EXPECT_EQ(devices.ChannelState(5).valueText, "");
  devices.UpdateUserDevices(f.data(), 0);
  EXPECT_NEAR(devices.PreferredFuelPressureValue(), 15.0, 1e-9);
}

TEST(UpdateUserDevices, EmptyFrameGivesTheColumnWidths) {
  VistrelSettings s = SettingsWithDevices();
  s.adcChannels[7] = {2, 5, 5, "Oil pressure gauge", 100, 0, 0};
  UserDevices devices(s);
  devices.SetUp();
  Frame f{};
  devices.UpdateUserDevices(f.data(), 1);
  const AdcChannelState st = devices.ChannelState(7);
  EXPECT_EQ(st.valueText, "  0.04");  // width 3 + precision 2 + 1; 4 mV of 5000 for 50.0
  EXPECT_EQ(st.displayWidth, 6);
}

TEST(DropStale, DeletedUserDeviceClearsItsChannelAndPreferredChoice) {
  VistrelSettings s = SettingsWithDevices();
  s.adcChannels[0] = {2, 2, 2, "Boost sensor", 40, 1, 0};
  s.adcChannels[1] = {2, 5, 5, "Old name", 100, 0, 1};
  UserDevices devices(s);
  devices.SetUp();
  // The dialog deletes entry 2 and renames entry 5.
  s.userDevices[2] = UserDeviceSettings{};
  s.userDevices[5].name = "Oil";
  devices.BuildAvailableDevices();
  devices.DropStaleUserDeviceChannels();
  EXPECT_EQ(devices.PreferredWidebandChannel(), -1);
  devices.BuildChannelStates();
  const AdcChannelSettings cleared = s.adcChannels[0];
  EXPECT_EQ(cleared.type, -1);
  EXPECT_EQ(cleared.index, 0);
  EXPECT_EQ(cleared.instance, 0);
  EXPECT_EQ(cleared.filter, 100);
  EXPECT_EQ(cleared.wbPreferred, 0);
  EXPECT_EQ(cleared.fpPreferred, 0);
  EXPECT_EQ(cleared.name, "None");
  EXPECT_EQ(s.adcChannels[1].name, "Oil");
  EXPECT_EQ(s.adcChannels[1].fpPreferred, 1);
  EXPECT_FALSE(devices.HasWideband());
  EXPECT_TRUE(devices.HasFuelPressure());
  EXPECT_EQ(devices.FuelPressure().name, "Oil");
  EXPECT_EQ(devices.ChannelState(0).active, 0);
}

}  // namespace
}  // namespace zrm
