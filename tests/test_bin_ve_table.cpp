// The VE table in a BIN: where each row is read from and written to in the
// standard and the extended layout, the identifier and checksum of a write,
// a new destination made from the source and padded with 0xFF, the bytes a
// write must keep, and a write that fails at any step leaving the old
// destination whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/runtime_record.h"
#include "scripted_services.h"
#include "test_support.h"
#include "velearn/bin_ve_table.h"
#include "velearn/smoother.h"
#include "velearn/ve_learn.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes MakeBin(int id, bool extended, std::size_t size = 16384) {
  Bytes bin(size);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>((i * 7 + 3) & 0xFF);
  bin[0] = static_cast<std::uint8_t>(id >> 8);
  bin[1] = static_cast<std::uint8_t>(id & 0xFF);
  bin[2] = 'Z';
  bin[3] = 'R';
  bin[4] = 'M';
  bin[5] = 'F';
  bin[9] = 2;
  bin[10] = extended ? 2 : 1;  // 2.1 is not extended: both bytes must be 2 or more
  return bin;
}

// The independent reading of the layout: the file offset of VE cell (row, col).
std::size_t StandardOffset(int row, int col) {
  return row <= 16 ? 12 + (row - 1) * 14 + (col - 1) : 253 + (row - 17) * 14 + (col - 1);
}
std::size_t ExtendedOffset(int row, int col) {
  return row <= 30 ? StandardOffset(row, col) : 3587 + (row - 31) * 14 + (col - 1);
}

std::uint16_t SumFrom8(const Bytes& b) {
  unsigned sum = 0;
  for (std::size_t i = 8; i < b.size(); ++i) sum += b[i];
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

struct Fixture {
  Fixture() { settings.smoothFactor = 0; }
  test::TempDir dir;
  VistrelSettings settings;
  RuntimeRecord record;
  test::ScriptedServices services;
  VeLearn ve{settings, record, &services};
};

TEST(BinVeTable, ExtendedWhenBothVersionBytesAreTwoOrMore) {
  EXPECT_TRUE(HasExtendedVeTable(2, 2));
  EXPECT_TRUE(HasExtendedVeTable(3, 9));
  EXPECT_FALSE(HasExtendedVeTable(2, 1));
  EXPECT_FALSE(HasExtendedVeTable(1, 5));
}

TEST(BinVeTable, ReadStandardAndExtendedLayouts) {
  for (bool extended : {false, true}) {
    SCOPED_TRACE(extended);
    Fixture f;
    const Bytes bin = MakeBin(0x0203, extended);
    test::WriteFileBytes(f.dir.File("a.bin"), bin);
    ASSERT_EQ(f.ve.ReadBinVeTable(f.dir.File("a.bin")), 0);
    const VeLearnSnapshot s = f.ve.Snapshot(false);
    EXPECT_EQ(s.extended, extended);
    const int rows = extended ? 35 : 32;
    for (int row = 1; row <= rows; ++row) {
      for (int col = 1; col <= 14; ++col) {
        const std::size_t at = extended ? ExtendedOffset(row, col) : StandardOffset(row, col);
        ASSERT_EQ(s.base[row][col], bin[at]) << "row " << row << " col " << col;
      }
    }
    EXPECT_EQ(s.base[32][0], extended ? 6500u : 6375u);
    EXPECT_EQ(s.base[17][0], 2000u);
    EXPECT_EQ(s.base[0][14], 100u);
  }
}

TEST(BinVeTable, ReadFailsForAMissingFile) {
  Fixture f;
  EXPECT_EQ(f.ve.ReadBinVeTable(f.dir.File("none.bin")), -1);
}

// A learned table with values that differ by row and column.
void FillLearned(Fixture& f, const std::string& path) {
  ASSERT_EQ(f.ve.BeginLearning(path, f.dir.File("out.bin"), 0x0203), 0);
  for (int row = 1; row <= 35; ++row)
    for (int col = 1; col <= 14; ++col) f.ve.SetBaseVe(row, col, static_cast<std::uint32_t>((row * 16 + col) & 0xFF));
  f.ve.ClearVeLearnData();  // learned := base
}

TEST(BinVeTable, WriteIntoANewDestinationFromAShortSource) {
  for (bool extended : {false, true}) {
    SCOPED_TRACE(extended);
    Fixture f;
    const Bytes source = MakeBin(0x12FF, extended, 4000);
    test::WriteFileBytes(f.dir.File("src.bin"), source);
    FillLearned(f, f.dir.File("src.bin"));
    ASSERT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 0x12FF), 0);
    const Bytes out = test::ReadFileBytes(f.dir.File("out.bin"));
    ASSERT_EQ(out.size(), 16384u);

    // Every byte, from an independent model of the write.
    Bytes expected(16384, 0xFF);
    std::copy(source.begin(), source.end(), expected.begin());
    expected[0] = 0x13;
    expected[1] = 0x00;
    for (int row = 1; row <= 17; ++row)
      for (int col = 1; col <= 14; ++col) expected[12 + (row - 1) * 14 + (col - 1)] = (row * 16 + col) & 0xFF;
    const int lastHigh = extended ? 31 : 32;
    for (int row = 17; row <= lastHigh; ++row)
      for (int col = 1; col <= 14; ++col) expected[253 + (row - 17) * 14 + (col - 1)] = (row * 16 + col) & 0xFF;
    if (extended) {
      for (int row = 31; row <= 35; ++row)
        for (int col = 1; col <= 14; ++col) expected[3587 + (row - 31) * 14 + (col - 1)] = (row * 16 + col) & 0xFF;
      expected[3657] = 11;
    }
    const std::uint16_t sum = SumFrom8(expected);
    expected[6] = static_cast<std::uint8_t>(sum >> 8);
    expected[7] = static_cast<std::uint8_t>(sum & 0xFF);
    EXPECT_EQ(out, expected);

    EXPECT_EQ((out[6] << 8) | out[7], SumFrom8(out));
    EXPECT_EQ(out[4000], 0xFF);
    EXPECT_EQ(out[16383], 0xFF);
    if (extended) {
      for (std::size_t i = 463; i <= 476; ++i) EXPECT_EQ(out[i], source[i]) << i;
    }
  }
}

TEST(BinVeTable, IdentifierWrapsAtSixteenBits) {
  Fixture f;
  test::WriteFileBytes(f.dir.File("src.bin"), MakeBin(0xFFFF, false));
  FillLearned(f, f.dir.File("src.bin"));
  ASSERT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 0xFFFF), 0);
  const Bytes out = test::ReadFileBytes(f.dir.File("out.bin"));
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
}

TEST(BinVeTable, ExistingDestinationKeepsItsOtherBytes) {
  Fixture f;
  test::WriteFileBytes(f.dir.File("src.bin"), MakeBin(7, false));
  Bytes old(16384, 0x5A);
  test::WriteFileBytes(f.dir.File("out.bin"), old);
  FillLearned(f, f.dir.File("src.bin"));
  ASSERT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 7), 0);
  const Bytes out = test::ReadFileBytes(f.dir.File("out.bin"));
  ASSERT_EQ(out.size(), 16384u);
  EXPECT_EQ(out[2], 0x5A);     // not the source's magic: the destination is updated
  EXPECT_EQ(out[250], 0x5A);   // between the tables
  EXPECT_EQ(out[5000], 0x5A);
  EXPECT_EQ(out[12], (1 * 16 + 1) & 0xFF);
  EXPECT_EQ(out[1], 8);
  EXPECT_EQ((out[6] << 8) | out[7], SumFrom8(out));
}

TEST(BinVeTable, SmoothedTableIsWrittenWhenAFactorIsSet) {
  Fixture f;
  f.settings.smoothFactor = 3;
  test::WriteFileBytes(f.dir.File("src.bin"), MakeBin(1, false));
  FillLearned(f, f.dir.File("src.bin"));
  LearnedVeTable expected;
  expected.table = f.ve.Snapshot(false).learned;
  expected.extended = false;
  SmootherState state;
  ASSERT_LE(SmoothVeTable(expected, 3.0, state), 0);

  ASSERT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 1), 0);
  const Bytes out = test::ReadFileBytes(f.dir.File("out.bin"));
  for (int row = 1; row <= 32; ++row)
    for (int col = 1; col <= 14; ++col) ASSERT_EQ(out[StandardOffset(row, col)], expected.table[row][col]);
  // The in-memory table is the smoothed one too.
  EXPECT_EQ(f.ve.Snapshot(false).learned, expected.table);
}

TEST(BinVeTable, AFailedWriteLeavesTheOldDestinationWhole) {
  for (ReplaceStep step : {ReplaceStep::Create, ReplaceStep::Write, ReplaceStep::Commit}) {
    SCOPED_TRACE(static_cast<int>(step));
    Fixture f;
    test::WriteFileBytes(f.dir.File("src.bin"), MakeBin(3, true));
    const Bytes old = MakeBin(9, true);
    test::WriteFileBytes(f.dir.File("out.bin"), old);
    FillLearned(f, f.dir.File("src.bin"));
    f.ve.replaceFault = [step](ReplaceStep s) { return s == step; };
    EXPECT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 3), -1);
    EXPECT_EQ(test::ReadFileBytes(f.dir.File("out.bin")), old);
    // Nothing is left behind beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir.path())) {
      (void)entry;
      ++files;
    }
    EXPECT_EQ(files, 2);

    // The same write without the fault succeeds.
    f.ve.replaceFault = nullptr;
    EXPECT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 3), 0);
    EXPECT_NE(test::ReadFileBytes(f.dir.File("out.bin")), old);
  }
}

// A destination reached through a link is written where the link points, and
// keeps its permissions.
TEST(BinVeTable, LinkedDestinationStaysALinkWithItsPermissions) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need an administrator on Windows";
#endif
  namespace fs = std::filesystem;
  Fixture f;
  test::WriteFileBytes(f.dir.File("src.bin"), MakeBin(3, false));
  test::WriteFileBytes(f.dir.File("real.bin"), MakeBin(9, false));
  fs::permissions(f.dir.File("real.bin"), fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(f.dir.File("real.bin"), f.dir.File("out.bin"));
  FillLearned(f, f.dir.File("src.bin"));
  ASSERT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("out.bin"), 3), 0);
  EXPECT_TRUE(fs::is_symlink(f.dir.File("out.bin")));
  EXPECT_EQ(test::ReadFileBytes(f.dir.File("real.bin"))[1], 4);
  EXPECT_EQ(fs::status(f.dir.File("real.bin")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(BinVeTable, UnwritableDestinationFails) {
  Fixture f;
  test::WriteFileBytes(f.dir.File("src.bin"), MakeBin(3, false));
  FillLearned(f, f.dir.File("src.bin"));
  EXPECT_EQ(f.ve.WriteBinVeTable(f.dir.File("src.bin"), f.dir.File("no/such/out.bin"), 3), -1);
  // A missing source with a missing destination: nothing to start from.
  EXPECT_EQ(f.ve.WriteBinVeTable(f.dir.File("gone.bin"), f.dir.File("out.bin"), 3), -1);
  EXPECT_FALSE(std::filesystem::exists(f.dir.File("out.bin")));
}

}  // namespace
}  // namespace zrm
