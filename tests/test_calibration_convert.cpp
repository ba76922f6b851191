// The calibration conversion to the 2.7 layout, the new file it writes, the
// 2.0 message, the offline output name and the firmware image check.
//
// Expected bytes are written out here from the conversion rules, byte by
// byte, on a calibration whose every other byte is a known background.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "flash/zrm_bin.h"
#include "flashupdate/calibration_convert.h"
#include "flashupdate/firmware_image.h"
#include "scripted_services.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint8_t Background(int i) { return static_cast<std::uint8_t>(i * 7 + 3); }

// A calibration of the layout with the background everywhere, the header
// and the given bytes.
Bytes MakeCalibration(int layout, const std::map<int, int>& set) {
  Bytes k(4096);
  for (int i = 0; i < 4096; ++i) k[static_cast<std::size_t>(i)] = Background(i);
  k[0] = 0x12;
  k[1] = 0x34;
  std::memcpy(&k[2], "ZRMF", 4);
  k[8] = 'V';
  k[9] = static_cast<std::uint8_t>(layout >> 8);
  k[10] = static_cast<std::uint8_t>(layout & 0xFF);
  for (auto [offset, value] : set) k[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value);
  return k;
}

void SetRange(std::map<int, int>& bytes, int first, const std::vector<int>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) bytes[first + static_cast<int>(i)] = values[i];
}

std::vector<int> Counting(int from, int count) {
  std::vector<int> v;
  for (int i = 0; i < count; ++i) v.push_back(from + i);
  return v;
}

std::vector<int> Repeat(const std::vector<int>& row, int times) {
  std::vector<int> v;
  for (int t = 0; t < times; ++t) v.insert(v.end(), row.begin(), row.end());
  return v;
}

// Sum of K[8..4095] in 16 bits.
int Sum(const Bytes& k) {
  int sum = 0;
  for (int i = 8; i < 4096; ++i) sum += k[static_cast<std::size_t>(i)];
  return sum & 0xFFFF;
}

struct ConvertCase {
  const char* name;
  int layout;
  std::map<int, int> input;     // bytes set before conversion
  std::map<int, int> expected;  // bytes that must differ from the input afterwards (6 and 7 apart)
};

// The 2.0 rows and tables shared by both 2.0 cases.
std::map<int, int> Version20Tables(std::map<int, int> m) {
  SetRange(m, 449, Counting(1, 14));
  SetRange(m, 463, Counting(21, 14));
  SetRange(m, 2937, Counting(41, 11));
  SetRange(m, 2948, Counting(61, 11));
  return m;
}

std::map<int, int> Version20Expected(std::map<int, int> m) {
  m[8] = 0x56;
  m[9] = 2;
  m[10] = 7;
  m[534] = 0x80;
  m[1232] = 0x00;
  m[1245] = 0x01;
  m[1246] = 0xCC;
  SetRange(m, 2324, {0x00, 0x5C, 0x00, 0x4F});
  m[3586] = 14;
  SetRange(m, 3587, Counting(1, 14));
  SetRange(m, 3601, Repeat(Counting(21, 14), 4));
  SetRange(m, 463, std::vector<int>(14, 0));
  m[3657] = 11;
  SetRange(m, 3658, Counting(41, 11));
  SetRange(m, 3669, Repeat(Counting(61, 11), 4));
  SetRange(m, 2948, std::vector<int>(11, 0));
  m[2420] = 5;
  SetRange(m, 2438, {0x01, 0xFF, 0x07, 0xFF});
  return m;
}

std::map<int, int> With(std::map<int, int> m, std::initializer_list<std::pair<const int, int>> more) {
  for (auto [k, v] : more) m[k] = v;
  return m;
}

const std::vector<ConvertCase>& Cases() {
  static const std::vector<ConvertCase> cases = {
      // 2.0, bit 7 of K[2973] set: 100 -> 80, 254 -> 203, the D0 41 37 table.
      {"v20_bit7", 0x0000,
       Version20Tables({{2320, 100}, {2322, 254}, {2973, 0x80}, {518, 0x23}}),
       With(Version20Expected({}),
            {{2320, 80}, {2322, 203}, {518, 0x37}, {2328, 0xD0}, {2329, 0x41}, {2330, 0x37}, {2331, 0x23},
             {2332, 0x0F}, {2333, 0x05}, {2334, 0}, {2335, 0}, {2336, 0}, {2337, 0}, {2338, 0}, {2339, 0},
             {2340, 0}, {2341, 0}, {2342, 0}})},
      // 2.0, bit 7 clear: 0xFF stays, 50 -> 40, the D0 F0 DC table; K[518]
      // other than 0x23 stays.
      {"v20_other", 0x0000,
       Version20Tables({{2320, 0xFF}, {2322, 50}, {2973, 0x7F}, {518, 0x22}}),
       With(Version20Expected({}),
            {{2320, 0xFF}, {2322, 40}, {2328, 0xD0}, {2329, 0xF0}, {2330, 0xDC}, {2331, 0xB4}, {2332, 0x8C},
             {2333, 0x64}, {2334, 0x50}, {2335, 0x14}, {2336, 0x14}, {2337, 0x0A}, {2338, 0}, {2339, 0},
             {2340, 0}, {2341, 0}, {2342, 0}})},
      // 2.2: K[2420] and the four bytes at 2438, nothing of 2.0.
      {"v22", 0x0202, {{2320, 100}, {518, 0x23}},
       {{9, 2}, {10, 7}, {2420, 5}, {2438, 0x01}, {2439, 0xFF}, {2440, 0x07}, {2441, 0xFF}, {518, 0x37}}},
      // 2.1 and 2.5: the four bytes at 2438 only.
      {"v21", 0x0201, {{518, 0x23}},
       {{9, 2}, {10, 7}, {2438, 0x01}, {2439, 0xFF}, {2440, 0x07}, {2441, 0xFF}, {518, 0x37}}},
      {"v25", 0x0205, {},
       {{9, 2}, {10, 7}, {2438, 0x01}, {2439, 0xFF}, {2440, 0x07}, {2441, 0xFF}}},
      // 2.6: the version bytes, the K[518] rule and the sum only.
      {"v26", 0x0206, {{518, 0x23}}, {{9, 2}, {10, 7}, {518, 0x37}}},
      // 2.7 again: the K[518] rule and the sum only.
      {"v27", 0x0207, {{518, 0x23}}, {{518, 0x37}}},
  };
  return cases;
}

class ConvertRules : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertRules, ChangeExactlyTheBytesOfTheirVersion) {
  const ConvertCase& c = GetParam();
  const Bytes before = MakeCalibration(c.layout, c.input);
  Bytes k = before;
  EXPECT_EQ(ConvertCalibrationBytes(k.data()), c.layout);
  for (int i = 0; i < 4096; ++i) {
    if (i == 6 || i == 7) continue;
    const auto e = c.expected.find(i);
    const int want = e != c.expected.end() ? e->second : before[static_cast<std::size_t>(i)];
    ASSERT_EQ(k[static_cast<std::size_t>(i)], want) << c.name << " byte " << i;
  }
  EXPECT_EQ(k[6] << 8 | k[7], Sum(k)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Versions, ConvertRules, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertCalibration, ChecksumOfAKnownCalibration) {
  // V 2.7, every byte from 11 on 0x01: 0x56 + 2 + 7 + 4085 = 4180 = 0x1054.
  Bytes k(4096, 0x01);
  k[8] = 'V';
  k[9] = 2;
  k[10] = 7;
  ConvertCalibrationBytes(k.data());
  EXPECT_EQ(k[6], 0x10);
  EXPECT_EQ(k[7], 0x54);
}

TEST(ConvertCalibration, ConvertingA27ResultAgainChangesNothing) {
  for (const ConvertCase& c : Cases()) {
    Bytes k = MakeCalibration(c.layout, c.input);
    ConvertCalibrationBytes(k.data());
    const Bytes once = k;
    EXPECT_EQ(ConvertCalibrationBytes(k.data()), 0x0207);
    EXPECT_EQ(k, once) << c.name;
  }
}

// The update utility's trailer, from the layout of a BIN image.
Bytes UpdateTrailer() {
  Bytes t(768, 0xFF);
  for (int i = 96; i < 512; ++i) t[static_cast<std::size_t>(i)] = 0x00;
  t[103] = 0x13;
  std::memcpy(&t[528], "    ZRM Flash   ", 16);
  std::memcpy(&t[624], BIN_NOTICE, 55);
  return t;
}

struct FileFixture : ::testing::Test {
  test::TempDir dir;
  test::ScriptedServices services;
  UpdateRunState run;
  ConvertEnvironment Environment() {
    ConvertEnvironment e;
    e.services = &services;
    e.run = &run;
    return e;
  }
  // A 16384-byte BIN around a calibration, as a bank read leaves it.
  std::string WriteBin(const std::string& name, const Bytes& calibration) {
    Bytes bin = calibration;
    bin.resize(16384, 0xA5);
    test::WriteFileBytes(dir.File(name), bin);
    return dir.File(name);
  }
};

TEST_F(FileFixture, NewFileIsTheConvertedCalibrationFillerAndTrailer) {
  const ConvertCase& c = Cases()[2];
  const std::string in = WriteBin("race.bin", MakeCalibration(c.layout, c.input));
  std::string error;
  ASSERT_EQ(ConvertCalibration(in, dir.File("race_new.bin"), &error, Environment()), 0) << error;
  Bytes expected = MakeCalibration(c.layout, c.input);
  ConvertCalibrationBytes(expected.data());  // the bytes are checked rule by rule above
  expected.resize(4096 + 11520, 0xFF);
  const Bytes trailer = UpdateTrailer();
  expected.insert(expected.end(), trailer.begin(), trailer.end());
  EXPECT_EQ(test::ReadFileBytes(dir.File("race_new.bin")), expected);
  EXPECT_TRUE(services.messages.empty());
}

TEST_F(FileFixture, TheVersion20MessageShowsOncePerRun) {
  const std::string v20 = WriteBin("a.bin", MakeCalibration(0x0000, {}));
  const std::string v22 = WriteBin("b.bin", MakeCalibration(0x0202, {}));
  std::string error;
  ASSERT_EQ(ConvertCalibration(v22, dir.File("b_new.bin"), &error, Environment()), 0);
  EXPECT_TRUE(services.messages.empty());
  ASSERT_EQ(ConvertCalibration(v20, dir.File("a_new.bin"), &error, Environment()), 0);
  ASSERT_EQ(ConvertCalibration(v20, dir.File("a_new.bin"), &error, Environment()), 0);
  EXPECT_EQ(services.messages,
            std::vector<std::string>{"-Firmware Update Message-: Since this is a Version 2.0 ZRM Flash ECM, the "
                                     "newly created BIN files MUST be used!"});
  run.version20MessageShown = false;  // the next run of the utility shows it again
  ASSERT_EQ(ConvertCalibration(v20, dir.File("a_new.bin"), &error, Environment()), 0);
  EXPECT_EQ(services.messages.size(), 2u);
}

TEST_F(FileFixture, FailuresNameTheirStepAndKeepAnEarlierNewFile) {
  std::string error;
  EXPECT_EQ(ConvertCalibration(dir.File("missing.bin"), dir.File("x_new.bin"), &error, Environment()), -1);
  EXPECT_EQ(error, "Calibration File Open Failed");

  test::WriteFileBytes(dir.File("short.bin"), Bytes(4095, 0x11));
  EXPECT_EQ(ConvertCalibration(dir.File("short.bin"), dir.File("x_new.bin"), &error, Environment()), -1);
  EXPECT_EQ(error, "Calibration File Read Failure");

  const std::string in = WriteBin("ok.bin", MakeCalibration(0x0206, {}));
  EXPECT_EQ(ConvertCalibration(in, dir.File("no/such/folder/x_new.bin"), &error, Environment()), -1);
  EXPECT_EQ(error, "New Calibration File Open Failed");
  EXPECT_FALSE(test::ReadFileBytes(dir.File("x_new.bin")).size());

  // An earlier new file is replaced whole on success.
  test::WriteFileBytes(dir.File("ok_new.bin"), Bytes(10, 0x42));
  ASSERT_EQ(ConvertCalibration(in, dir.File("ok_new.bin"), &error, Environment()), 0);
  EXPECT_EQ(test::ReadFileBytes(dir.File("ok_new.bin")).size(), 16384u);
}

#ifdef ZRMTOOL_PATH
TEST_F(FileFixture, ZrmtoolConvertBinWritesTheConvertedFile) {
  const ConvertCase& c = Cases()[0];  // 2.0: the most rules at once
  const std::string in = WriteBin("race.bin", MakeCalibration(c.layout, c.input));
  std::string out;
  EXPECT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " convert-bin " + in + " 2>/dev/null", &out), 0);
  EXPECT_EQ(out, std::string(12, ' ') + "New BIN has been Created" + std::string(13, ' ') + "\n");
  // The expected calibration from the rules of the case, byte by byte.
  Bytes expected = MakeCalibration(c.layout, c.input);
  for (auto [offset, value] : c.expected) expected[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value);
  const int sum = Sum(expected);
  expected[6] = static_cast<std::uint8_t>(sum >> 8);
  expected[7] = static_cast<std::uint8_t>(sum & 0xFF);
  expected.resize(4096 + 11520, 0xFF);
  const Bytes trailer = UpdateTrailer();
  expected.insert(expected.end(), trailer.begin(), trailer.end());
  EXPECT_EQ(test::ReadFileBytes(dir.File("race_new.bin")), expected);

  test::WriteFileText(dir.File("notes.txt"), "not a calibration at all");
  out.clear();
  EXPECT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " convert-bin " + dir.File("notes.txt"), &out), 1);
  EXPECT_EQ(out, "Not an ZRM Flash BIN\n");
  EXPECT_TRUE(test::ReadFileBytes(dir.File("notes_new.txt")).empty());
  out.clear();
  EXPECT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " convert-bin " + dir.File("none.bin"), &out), 1);
}
#endif

TEST(ConvertedBinName, FollowsTheNameRule) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"/d/cal/race.bin", "/d/cal/race_new.bin"}, {"/d/cal/race", "/d/cal/race_new.bin"},
      {"race.BIN", "race_new.BIN"},               {"/d/v1.2/race", "/d/v1.2/race_new.bin"},
      {"/d/x.tar.bin", "/d/x.tar_new.bin"},       {"/d/cal.dat", "/d/cal_new.dat"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertedBinName(c.in), c.out) << c.in;
}

TEST(FirmwareImageCheck, SizeAndKeyOfPage103) {
  Bytes good(12288, 0x00);
  good[9088] = 0x7C;
  good[9089] = 0x76;
  std::string error;
  EXPECT_EQ(CheckFirmwareImage(good, &error), 0);

  Bytes swapped = good;
  swapped[9088] = 0x76;
  swapped[9089] = 0x7C;
  EXPECT_EQ(CheckFirmwareImage(swapped, &error), -1);
  EXPECT_NE(error.find("key"), std::string::npos) << error;

  for (std::size_t size : {std::size_t{12287}, std::size_t{12289}, std::size_t{16384}}) {
    Bytes sized = good;
    sized.resize(size, 0);
    EXPECT_EQ(CheckFirmwareImage(sized, &error), -1) << size;
    EXPECT_NE(error.find("12288"), std::string::npos) << error;
  }

  test::TempDir dir;
  FirmwareImage image;
  EXPECT_EQ(LoadFirmwareImage(dir.File("none.img"), &image, &error), -1);
  test::WriteFileBytes(dir.File("long.img"), Bytes(12289, 0));
  EXPECT_EQ(LoadFirmwareImage(dir.File("long.img"), &image, &error), -1);
  test::WriteFileBytes(dir.File("fw.img"), good);
  ASSERT_EQ(LoadFirmwareImage(dir.File("fw.img"), &image, &error), 0);
  EXPECT_EQ(image.bytes, good);
  EXPECT_EQ(image.Page(103)[0], 0x7C);
}

TEST(FirmwareKeys, TableOfKnownKeys) {
  struct Case {
    std::uint16_t key;
    const char* line;
    bool skip;
  } cases[] = {
      {0x1470, "Bank has V 2.0, updating", false}, {0x7670, "Bank has V 2.1, updating", false},
      {0x7676, "Bank has V 2.2, updating", false}, {0x767A, "Bank has V 2.4, updating", false},
      {0x76F3, "Bank has V 2.4, updating", false}, {0x76F0, "Bank has V 2.5, updating", false},
      {0x7671, "Bank has V 2.6, updating", false}, {0x767C, "Bank Already Updated", true},
  };
  for (const Case& c : cases) {
    const FirmwareKeyRow* row = FindFirmwareKey(c.key);
    ASSERT_NE(row, nullptr) << c.key;
    EXPECT_STREQ(row->line, c.line);
    EXPECT_EQ(row->skip, c.skip);
  }
  EXPECT_EQ(FindFirmwareKey(0x7C76), nullptr);
  EXPECT_EQ(FindFirmwareKey(0xFFFF), nullptr);
  const std::uint8_t page[2] = {0x7C, 0x76};
  EXPECT_EQ(FirmwareKeyOf(page), 0x767C);
}

}  // namespace
}  // namespace zrm
