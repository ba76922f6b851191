// Every value each program writes reads back unchanged: all keys of the three
// configurations at their lower and upper limits (texts at their longest),
// saved, loaded into fresh settings and saved again to the same bytes.
#include <gtest/gtest.h>

#include <string>

#include "config/config_file.h"
#include "flashupdate/flashupdate_config.h"
#include "fuelcalc/utility_config.h"
#include "shell/vistrel_config.h"
#include "test_support.h"

namespace zrm {
namespace {

enum class Limit { Low, High };

// A text of exactly `length` characters with blanks inside it only.
std::string TextOfLength(int length, char first) {
  std::string text;
  for (int i = 0; i < length; ++i) text += (i % 7 == 3 && i + 1 < length) ? ' ' : static_cast<char>(first + i % 26);
  return text;
}

void SetEveryKey(const std::vector<ConfigKey>& keys, Limit limit) {
  for (const ConfigKey& row : keys) {
    const std::int32_t value = limit == Limit::Low ? row.low : row.high;
    if (auto* integer = std::get_if<std::int32_t*>(&row.target)) {
      **integer = value;
    } else if (auto* shortValue = std::get_if<std::int16_t*>(&row.target)) {
      **shortValue = static_cast<std::int16_t>(value);
    } else if (auto* text = std::get_if<std::string*>(&row.target)) {
      **text = limit == Limit::Low ? std::string() : TextOfLength(row.low, 'A');
    } else if (auto* real = std::get_if<double*>(&row.target)) {
      // Reals are written with six decimals: values that have no more.
      **real = limit == Limit::Low ? -123456789.125 : 987654321012.5;
    }
  }
}

template <class Settings, class Make, class Keys>
void RoundTrip(const char* name, Make make, Keys keys) {
  test::TempDir dir;
  for (Limit limit : {Limit::Low, Limit::High}) {
    SCOPED_TRACE(std::string(name) + (limit == Limit::Low ? " low" : " high"));
    Settings written;
    SetEveryKey(keys(written), limit);
    ConfigFile file = make(dir.File("first.cfg"), written, nullptr);
    ASSERT_EQ(SaveConfig(file), 0);
    // What reading does after the keys (the trip totals kept or cleared,
    // derived values) applies to what was written as well.
    if (file.afterReading) file.afterReading();

    Settings read;
    LoadConfig(make(dir.File("first.cfg"), read, nullptr));
    EXPECT_TRUE(read == written);
    // Saved again, the values give the same bytes as the written ones do.
    ASSERT_EQ(SaveConfig(make(dir.File("second.cfg"), read, nullptr)), 0);
    ASSERT_EQ(SaveConfig(make(dir.File("expected.cfg"), written, nullptr)), 0);
    EXPECT_EQ(test::ReadFileText(dir.File("second.cfg")), test::ReadFileText(dir.File("expected.cfg")));
  }
}

TEST(ConfigRoundTrip, EveryKeyOfEveryProgramAtItsLimitsReadsBackUnchanged) {
  RoundTrip<VistrelSettings>("vistrel", MakeVistrelConfig, BuildVistrelKeys);
  RoundTrip<FlashUpdateSettings>("update", MakeFlashUpdateConfig, BuildFlashUpdateKeys);
  RoundTrip<UtilitySettings>("utility", MakeUtilityConfig, BuildUtilityKeys);
}

TEST(ConfigRoundTrip, ATextReadWithoutALineEndIsAFixedPoint) {
  test::TempDir dir;
  // The last key of a file cut after its value, at its longest.
  const std::string port(255, 'p');
  test::WriteFileText(dir.File("cut.cfg"), "[PORT] /" + port.substr(1));
  VistrelSettings read;
  LoadConfig(MakeVistrelConfig(dir.File("cut.cfg"), read, nullptr));
  EXPECT_EQ(read.port, "/" + port.substr(1));
  ASSERT_EQ(SaveConfig(MakeVistrelConfig(dir.File("a.cfg"), read, nullptr)), 0);
  VistrelSettings again;
  LoadConfig(MakeVistrelConfig(dir.File("a.cfg"), again, nullptr));
  EXPECT_EQ(again.port, read.port);
  ASSERT_EQ(SaveConfig(MakeVistrelConfig(dir.File("b.cfg"), again, nullptr)), 0);
  EXPECT_EQ(test::ReadFileText(dir.File("a.cfg")), test::ReadFileText(dir.File("b.cfg")));
}

}  // namespace
}  // namespace zrm
