// The two pages of the preferences dialog without their windows (Parts 2.4
// and 2.5): ApplyGeneralPage's limits and roundings, the CTS unit switch,
// and the "ADC Channels" page's combo texts, selection rules and apply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/adc_channels.h"
#include "devices/user_devices.h"
#include "shell/general_page.h"

namespace zrm {
namespace {

// ---- General page ---------------------------------------------------------------

struct RangeCase {
  const char* text;
  int stored;
};

class SpeedRange : public ::testing::TestWithParam<RangeCase> {};
TEST_P(SpeedRange, LimitedThenRoundedToTens) {
  VistrelSettings s;
  GeneralPageValues page = InitGeneralPage(s);
  page.speedRange = GetParam().text;
  ApplyGeneralPage(page, s);
  EXPECT_EQ(s.speedRange, GetParam().stored) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Cases, SpeedRange,
                         ::testing::Values(RangeCase{"336", 340}, RangeCase{"334", 330}, RangeCase{"5", 10},
                                           RangeCase{"999", 340}, RangeCase{"", 10}, RangeCase{"120", 120},
                                           RangeCase{"125", 130}, RangeCase{"340", 340}, RangeCase{"10", 10},
                                           RangeCase{"99999999999", 340}));

class RpmRange : public ::testing::TestWithParam<RangeCase> {};
TEST_P(RpmRange, LimitedThenRoundedToThousands) {
  VistrelSettings s;
  GeneralPageValues page = InitGeneralPage(s);
  page.rpmRange = GetParam().text;
  ApplyGeneralPage(page, s);
  EXPECT_EQ(s.rpmRange, GetParam().stored) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Cases, RpmRange,
                         ::testing::Values(RangeCase{"7600", 8000}, RangeCase{"1499", 1000}, RangeCase{"500", 1000},
                                           RangeCase{"7499", 7000}, RangeCase{"7500", 8000}, RangeCase{"9000", 8000},
                                           RangeCase{"", 1000}));

class Redline : public ::testing::TestWithParam<RangeCase> {};
TEST_P(Redline, LimitedToEightThousand) {
  VistrelSettings s;
  GeneralPageValues page = InitGeneralPage(s);
  page.redline = GetParam().text;
  ApplyGeneralPage(page, s);
  EXPECT_EQ(s.redline, GetParam().stored);
}
INSTANTIATE_TEST_SUITE_P(Cases, Redline,
                         ::testing::Values(RangeCase{"9000", 8000}, RangeCase{"5800", 5800}, RangeCase{"", 0},
                                           RangeCase{"8000", 8000}, RangeCase{"0", 0}));

class SmoothFactor : public ::testing::TestWithParam<RangeCase> {};
TEST_P(SmoothFactor, LimitedToTwenty) {
  VistrelSettings s;
  GeneralPageValues page = InitGeneralPage(s);
  page.smoothFactor = GetParam().text;
  ApplyGeneralPage(page, s);
  EXPECT_EQ(s.smoothFactor, GetParam().stored);
}
INSTANTIATE_TEST_SUITE_P(Cases, SmoothFactor,
                         ::testing::Values(RangeCase{"21", 20}, RangeCase{"12", 12}, RangeCase{"", 0},
                                           RangeCase{"0", 0}, RangeCase{"20", 20}));

TEST(GeneralPage, InitialisationFromTheSettings) {
  VistrelSettings s;
  s.playbackDelay = 30;
  s.temperatureScale = 0;
  s.learnTempLow = 176;
  s.learnTempHigh = 212;
  s.learnInput = 1;
  s.updateRate = 2;
  s.knockAlert = 0;
  s.enterPauses = 1;
  s.saveTrip = 1;
  s.transType = 1;
  s.speedInKph = 1;
  s.autoVeSave = 1;
  const GeneralPageValues page = InitGeneralPage(s);
  EXPECT_EQ(page.trackbar, 70);
  EXPECT_FALSE(page.celsius);
  EXPECT_FALSE(page.celsiusShown);
  EXPECT_EQ(page.ctsLow, "176");
  EXPECT_EQ(page.ctsHigh, "212");
  EXPECT_TRUE(page.wideband);
  EXPECT_EQ(page.updateRate, 2);
  EXPECT_FALSE(page.knockAlert);
  EXPECT_TRUE(page.enterPause);
  EXPECT_TRUE(page.saveTrip);
  EXPECT_TRUE(page.automatic);
  EXPECT_TRUE(page.kph);
  EXPECT_FALSE(page.autoUpdate);  // always shown unchecked
  EXPECT_EQ(page.autoMinutes, "");
  EXPECT_EQ(page.speedRange, "120");
  EXPECT_EQ(page.rpmRange, "7000");
  EXPECT_EQ(page.redline, "5800");
}

TEST(GeneralPage, ApplyInOrderWithEveryField) {
  VistrelSettings s;
  GeneralPageValues page = InitGeneralPage(s);
  page.trackbar = 80;
  page.ctsLow = "300";  // limits are applied when the file is written
  page.ctsHigh = "";
  page.updateRate = 3;
  page.knockAlert = false;
  page.enterPause = true;
  page.saveTrip = true;
  page.automatic = true;
  page.wideband = true;
  const bool layout = ApplyGeneralPage(page, s);
  EXPECT_FALSE(layout);
  EXPECT_EQ(s.playbackDelay, 20);
  EXPECT_EQ(s.learnTempLow, 300);
  EXPECT_EQ(s.learnTempHigh, 0);
  EXPECT_EQ(s.updateRate, 3);
  EXPECT_EQ(s.updateDivisor, 0);  // repaint on every frame
  EXPECT_EQ(s.knockAlert, 0);
  EXPECT_EQ(s.enterPauses, 1);
  EXPECT_EQ(s.saveTrip, 1);
  EXPECT_EQ(s.transType, 1);
  EXPECT_EQ(s.learnInput, 1);
  EXPECT_EQ(s.autoVeSave, 0);
  EXPECT_EQ(s.autoVeMinutes, 0);  // the empty edit; the next save raises it to 1
}

TEST(GeneralPage, UpdateDivisorForEachRate) {
  const int divisors[] = {3, 2, 1, 0};
  for (int rate = 0; rate < 4; ++rate) {
    VistrelSettings s;
    GeneralPageValues page = InitGeneralPage(s);
    page.updateRate = rate;
    ApplyGeneralPage(page, s);
    EXPECT_EQ(s.updateDivisor, divisors[rate]);
  }
  EXPECT_STREQ(UPDATE_RATE_TEXTS[0], "  4 Times a Second");
  EXPECT_STREQ(UPDATE_RATE_TEXTS[3], "17 Times a Second");
}

TEST(GeneralPage, UnitChangesAskForANewLayout) {
  VistrelSettings s;
  GeneralPageValues page = InitGeneralPage(s);
  page.kph = true;
  EXPECT_TRUE(ApplyGeneralPage(page, s));
  EXPECT_EQ(s.speedInKph, 1);
  EXPECT_FALSE(ApplyGeneralPage(page, s));
  SwitchCtsUnit(page, false);
  EXPECT_TRUE(ApplyGeneralPage(page, s));
  EXPECT_EQ(s.temperatureScale, 0);
}

TEST(GeneralPage, CtsUnitSwitch) {
  VistrelSettings s;
  s.temperatureScale = 0;
  s.learnTempLow = 176;
  s.learnTempHigh = 212;
  GeneralPageValues page = InitGeneralPage(s);
  EXPECT_TRUE(SwitchCtsUnit(page, true));
  EXPECT_EQ(page.ctsLow, "80");
  EXPECT_EQ(page.ctsHigh, "100");
  EXPECT_FALSE(SwitchCtsUnit(page, true));  // the unit already shown
  EXPECT_EQ(page.ctsLow, "80");

  s.temperatureScale = 1;
  s.learnTempLow = 75;
  s.learnTempHigh = 110;
  page = InitGeneralPage(s);
  EXPECT_TRUE(SwitchCtsUnit(page, false));
  EXPECT_EQ(page.ctsLow, "167");
  EXPECT_EQ(page.ctsHigh, "230");
  EXPECT_EQ(ConvertCtsValue(0, true), -17);  // -17.78 + 0.5, whole part toward zero
  EXPECT_EQ(ConvertCtsValue(33, true), 1);
}

// ---- ADC Channels page -------------------------------------------------------------

TEST(ChannelPage, FilterTexts) {
  EXPECT_EQ(FilterChoiceText(0), "     0 %    (fast)");
  EXPECT_EQ(FilterChoiceText(1), "    10 %");
  EXPECT_EQ(FilterChoiceText(5), "    50 %");
  EXPECT_EQ(FilterChoiceText(9), "    90 %");
  EXPECT_EQ(FilterChoiceText(10), "   100 %  (slow)");
  for (int position = 0; position <= 10; ++position) {
    const int filter = FilterFromChoiceText(FilterChoiceText(position));
    EXPECT_EQ(filter, 100 - 10 * position);
    EXPECT_EQ(FilterChoicePosition(filter), position);
  }
  EXPECT_EQ(FilterChoicePosition(55), 4);  // (100 - 55) / 10 in whole numbers
  EXPECT_EQ(FilterChoicePosition(0), 10);
  EXPECT_EQ(FilterChoicePosition(1), 9);
}

std::vector<AvailableDevice> ListWithUserDevices() {
  std::array<UserDeviceSettings, USER_DEVICE_COUNT> devices{};
  devices[4].active = 1;
  devices[4].name = "Boost";
  return BuildDeviceList(devices);
}

TEST(ChannelPage, DiyWidebandStaysDiyWideband) {
  const std::vector<AvailableDevice> list = ListWithUserDevices();
  AdcChannelSettings diy{0, 1, 2, "DIY-WB Non-Linear", 100, 0, 0};
  AdcChannelSettings tt1{0, 1, 1, "TT-1 WB      (0V=10:1 - 5V=20:1)", 100, 0, 0};
  EXPECT_EQ(DeviceChoiceFor(list, diy), 2);
  EXPECT_EQ(DeviceChoiceFor(list, tt1), 1);

  std::array<AdcChannelSettings, ADC_CHANNEL_COUNT> channels{};
  channels[3] = diy;
  ChannelPage page = InitChannelPage(list, channels);
  EXPECT_EQ(page[3].device, 2);
  ApplyChannelPage(page, list, channels);  // open and apply unchanged
  EXPECT_EQ(channels[3].type, 0);
  EXPECT_EQ(channels[3].index, 2);
  EXPECT_EQ(channels[3].instance, 1);  // the stored instance is still the ID
  EXPECT_EQ(channels[3].name, "DIY-WB Non-Linear");
}

TEST(ChannelPage, SelectionFallsBackToTypeAndIdThenNone) {
  const std::vector<AvailableDevice> list = ListWithUserDevices();
  // No channel: "None" (index -1 in the list, 0 in the file).
  EXPECT_EQ(DeviceChoiceFor(list, AdcChannelSettings{}), 0);
  // A row index that does not match its ID: the first entry with the ID.
  EXPECT_EQ(DeviceChoiceFor(list, AdcChannelSettings{1, 2, 0, "x", 100, 0, 0}), 18);
  // A user device: index and instance are its number.
  EXPECT_EQ(DeviceChoiceFor(list, AdcChannelSettings{2, 4, 4, "Boost", 100, 0, 0}), 22);
  // A user device no longer defined: "None".
  EXPECT_EQ(DeviceChoiceFor(list, AdcChannelSettings{2, 7, 7, "Gone", 100, 0, 0}), 0);
  // Every wideband and pressure row finds itself.
  for (std::size_t i = 1; i < list.size(); ++i) {
    AdcChannelSettings c{list[i].type, list[i].instance, list[i].index, list[i].name, 100, 0, 0};
    EXPECT_EQ(DeviceChoiceFor(list, c), static_cast<int>(i)) << list[i].name;
  }
}

TEST(ChannelPage, AtMostOnePreferredPerColumn) {
  ChannelPage page{};
  ClickPreferred(page, PreferredColumn::Wideband, 2, true);
  ClickPreferred(page, PreferredColumn::FuelPressure, 2, true);
  ClickPreferred(page, PreferredColumn::Wideband, 5, true);
  int wb = 0;
  for (const ChannelPageRow& row : page) wb += row.wbPreferred ? 1 : 0;
  EXPECT_EQ(wb, 1);
  EXPECT_TRUE(page[5].wbPreferred);
  EXPECT_FALSE(page[2].wbPreferred);
  EXPECT_TRUE(page[2].fpPreferred);  // the other column is untouched
  ClickPreferred(page, PreferredColumn::Wideband, 5, false);
  EXPECT_FALSE(page[5].wbPreferred);
  EXPECT_TRUE(page[2].fpPreferred);
}

TEST(ChannelPage, ApplyTakesTheSelectedEntryFilterAndFlags) {
  const std::vector<AvailableDevice> list = ListWithUserDevices();
  std::array<AdcChannelSettings, ADC_CHANNEL_COUNT> channels{};
  ChannelPage page = InitChannelPage(list, channels);
  for (const ChannelPageRow& row : page) {
    EXPECT_EQ(row.device, 0);
    EXPECT_EQ(row.filterPosition, 0);
  }
  page[0].device = 21;  // 1-5V
  page[0].filterPosition = 3;
  page[0].fpPreferred = true;
  page[7].device = 22;  // the user device
  page[7].wbPreferred = true;
  page[7].filterPosition = 10;
  ApplyChannelPage(page, list, channels);
  EXPECT_EQ(channels[0].type, 1);
  EXPECT_EQ(channels[0].index, 6);
  EXPECT_EQ(channels[0].instance, 6);
  EXPECT_EQ(channels[0].filter, 70);
  EXPECT_EQ(channels[0].fpPreferred, 1);
  EXPECT_EQ(channels[0].name, "1-5V:     0-100 psi (1.0 - 5.0V) ");
  EXPECT_EQ(channels[7].type, 2);
  EXPECT_EQ(channels[7].index, 4);
  EXPECT_EQ(channels[7].filter, 0);
  EXPECT_EQ(channels[7].wbPreferred, 1);
  EXPECT_EQ(channels[1].type, -1);
  EXPECT_EQ(channels[1].index, -1);
  EXPECT_EQ(channels[1].name, "None");
}

}  // namespace
}  // namespace zrm
