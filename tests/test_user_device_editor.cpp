// The User Device dialog's rules without its window: loading and storing an
// entry, delete, the list's entry numbers, and the number-field filters.
#include <gtest/gtest.h>

#include <string>

#include "devices/user_device_editor.h"

namespace zrm {
namespace {

TEST(UserDeviceEditor, LoadsAFreeEntryWithThePrompt) {
  UserDeviceSettings d;
  const UserDeviceFields f = LoadUserDeviceFields(d);
  EXPECT_EQ(f.name, "Put New Device Name Here");
  EXPECT_EQ(f.unit, "NEW");
  EXPECT_EQ(f.voltJ, "0.000");
  EXPECT_EQ(f.voltK, "5.000");
  EXPECT_EQ(f.unitJ, "0.0000");
  EXPECT_EQ(f.unitK, "100.0000");
  EXPECT_EQ(f.precision, "4");
  EXPECT_EQ(VoltsLabel(f.unit), "Volts for NEW of  ");
}

TEST(UserDeviceEditor, LoadsAnActiveEntry) {
  UserDeviceSettings d;
  d.active = 1;
  d.name = "Oil";
  d.unit = "bar";
  d.voltJ = 1235;
  d.voltK = 4999;
  d.unitJ = -125;
  d.unitK = 99999999;
  d.precision = 0;
  const UserDeviceFields f = LoadUserDeviceFields(d);
  EXPECT_EQ(f.name, "Oil");
  EXPECT_EQ(f.voltJ, "1.235");
  EXPECT_EQ(f.voltK, "4.999");
  EXPECT_EQ(f.unitJ, "-0.0125");
  EXPECT_EQ(f.unitK, "9999.9999");
  EXPECT_EQ(f.precision, "0");
}

TEST(UserDeviceEditor, StoresValidatedFieldsExactly) {
  UserDeviceSettings d;
  d.width = 7;
  UserDeviceFields f{"A name that is longer than forty-eight characters in all", "kPa+", "1.235", "-12.5", "7",
                     "10000", "9"};
  StoreUserDeviceFields(f, d);
  EXPECT_EQ(d.active, 1);
  EXPECT_EQ(d.name, "A name that is longer than forty-eight character");
  EXPECT_EQ(d.name.size(), 48u);
  EXPECT_EQ(d.unit, "kPa+");
  EXPECT_EQ(d.voltJ, 1235);
  EXPECT_EQ(d.voltK, 5000);
  EXPECT_EQ(d.unitJ, -125000);
  EXPECT_EQ(d.unitK, 99999999);
  EXPECT_EQ(d.precision, 4);
  EXPECT_EQ(d.width, 7);  // not changed by the dialog
  EXPECT_EQ(f.voltK, "5.000");
  EXPECT_EQ(f.unitK, "9999.9999");
  EXPECT_EQ(f.precision, "4");
  // Every millivolt from 0 to 5000 round-trips through its text.
  for (int mv = 0; mv <= 5000; ++mv) {
    UserDeviceSettings e;
    e.voltJ = mv;
    UserDeviceFields g = LoadUserDeviceFields(e);
    StoreUserDeviceFields(g, e);
    ASSERT_EQ(e.voltJ, mv);
  }
}

TEST(UserDeviceEditor, DeleteGivesTheFreeEntry) {
  UserDeviceSettings d;
  d.active = 1;
  d.name = "X";
  d.unit = "Y";
  d.voltJ = 1;
  d.voltK = 2;
  d.unitJ = 3;
  d.unitK = 4;
  d.width = 9;
  d.precision = 1;
  ResetUserDevice(d);
  EXPECT_EQ(d, UserDeviceSettings{});
}

TEST(UserDeviceEditor, ListLeavesOutEmptyNamesAndKeepsEntryNumbers) {
  std::array<UserDeviceSettings, USER_DEVICE_COUNT> devices{};
  devices[1].name = "";
  devices[7].name = "";
  const std::vector<int> entries = UserDeviceListEntries(devices);
  ASSERT_EQ(entries.size(), 14u);
  EXPECT_EQ(entries[0], 0);
  EXPECT_EQ(entries[1], 2);
  EXPECT_EQ(entries[5], 6);
  EXPECT_EQ(entries[6], 8);
  EXPECT_EQ(entries[13], 15);
}

struct FilterCase {
  const char* typed;
  const char* kept;
  bool removed;
};

class NumberFilter : public ::testing::TestWithParam<FilterCase> {};
TEST_P(NumberFilter, DigitsOnePointLeadingMinus) {
  std::string text = GetParam().typed;
  EXPECT_EQ(FilterNumberText(text), GetParam().removed);
  EXPECT_EQ(text, GetParam().kept);
  EXPECT_EQ(NumberTextValid(GetParam().typed), !GetParam().removed);
}
INSTANTIATE_TEST_SUITE_P(Texts, NumberFilter,
                         ::testing::Values(FilterCase{"1.2.3", "1.23", true}, FilterCase{"-2.5", "-2.5", false},
                                           FilterCase{"2-5", "25", true}, FilterCase{"--1", "-1", true},
                                           FilterCase{"1e3", "13", true}, FilterCase{"", "", false},
                                           FilterCase{"-", "-", false}, FilterCase{".5", ".5", false},
                                           FilterCase{" 4", "4", true}, FilterCase{"4,5", "45", true}));

TEST(NumberFilter, CursorFollowsTheRemovedCharacters) {
  std::string text = "1.2.3";
  int cursor = 4;  // after the second point
  FilterNumberText(text, &cursor);
  EXPECT_EQ(cursor, 3);
  std::string digits = "a1b";
  cursor = 3;
  EXPECT_TRUE(FilterDigitsText(digits, &cursor));
  EXPECT_EQ(digits, "1");
  EXPECT_EQ(cursor, 1);
}

TEST(PrecisionField, AboveFourBecomesFour) {
  std::string text = "9";
  EXPECT_EQ(ValidatePrecision(text), -1);
  EXPECT_EQ(text, "4");
  text = "3";
  EXPECT_EQ(ValidatePrecision(text), 0);
  EXPECT_EQ(text, "3");
  text = "";
  EXPECT_EQ(ValidatePrecision(text), 0);
}

TEST(ScaledText, WholePartTimesTenToTheDecimals) {
  EXPECT_EQ(ScaledTextValue("1.235", 3), 1235);
  EXPECT_EQ(ScaledTextValue("0.290", 3), 290);
  EXPECT_EQ(ScaledTextValue("-999.9999", 4), -9999999);
  EXPECT_EQ(ScaledTextValue("5", 3), 5000);
  EXPECT_EQ(ScaledTextValue("1.23456", 4), 12345);
  EXPECT_EQ(ScaledTextValue("", 4), 0);
}

}  // namespace
}  // namespace zrm
