// VE learn's BIN reading and writing over arbitrary files. The read is
// compared with the cells taken straight from the bytes at the table's
// offsets (cells past the end keep what they held). A file VE learn accepts
// (the BIN check passes) is written as VE learn writes it, to a new
// destination: the new file is the source's 16384 bytes with only the
// identifier, the sum, the table rows and the extension changed, its sum is
// the 16-bit sum of bytes 8 to the end, and it reads back as the table
// written. Writing the same table onto that destination again changes
// nothing.
#include <cstdio>
#include <cstring>
#include <vector>

#include "flash/zrm_bin.h"
#include "fuzz/fuzz_support.h"
#include "velearn/bin_ve_table.h"

namespace {

using namespace zrm;
using zrm::fuzz::Check;

constexpr std::uint32_t UNTOUCHED = 0x12345;

VeTable Filled(std::uint32_t value) {
  VeTable t;
  for (auto& row : t) row.fill(value);
  return t;
}

// The cells as the layout places them, straight from the bytes.
VeTable ExpectedRead(const std::uint8_t* data, std::size_t size, bool& extended) {
  VeTable t = Filled(UNTOUCHED);
  auto take = [&](std::size_t offset, int firstRow, int rows) {
    for (int i = 0; i < rows * VE_MAP_COLUMNS; ++i) {
      if (offset + static_cast<std::size_t>(i) >= size) return;
      t[firstRow + i / VE_MAP_COLUMNS][1 + i % VE_MAP_COLUMNS] = data[offset + static_cast<std::size_t>(i)];
    }
  };
  take(BIN_VE_LOW_OFFSET, 1, BIN_VE_LOW_ROWS - 1);
  take(BIN_VE_HIGH_OFFSET, BIN_VE_LOW_ROWS, BIN_VE_HIGH_ROWS);
  extended = size > BIN_VERSION_MINOR_OFFSET && data[BIN_VERSION_MAJOR_OFFSET] >= 2 && data[BIN_VERSION_MINOR_OFFSET] >= 2;
  if (extended) take(BIN_VE_EXTENSION_OFFSET, VE_ROWS_EXTENDED - BIN_VE_EXTENSION_ROWS + 1, BIN_VE_EXTENSION_ROWS);
  return t;
}

void MarkRows(std::vector<std::uint8_t>& written, std::size_t offset, int rows) {
  for (std::size_t i = 0; i < static_cast<std::size_t>(rows * VE_MAP_COLUMNS); ++i) written[offset + i] = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string source = zrm::fuzz::ScratchPath("source.bin");
  static const std::string destination = zrm::fuzz::ScratchPath("learned.bin");
  zrm::fuzz::WriteFileOrDie(source, data, size);

  VeTable read = Filled(UNTOUCHED);
  bool extended = true;
  Check(ReadVeCells(source, read, extended) == 0, "a readable file's cells read");
  bool expectedExtended = false;
  Check(read == ExpectedRead(data, size, expectedExtended), "the cells read are the bytes at the table's offsets");
  Check(extended == expectedExtended, "the extended table follows the version bytes");

  zrm::fuzz::SilentServices services;
  const int id = IsZrmBin(source, &services);
  if (id < 0) return 0;
  // A BIN too short to hold its version bytes is read as the standard
  // table, but its padded copy would carry 0xFF 0xFF there.
  if (size <= BIN_VERSION_MINOR_OFFSET) return 0;

  // The learned table: the cells read, changed by the input's own bytes.
  VeTable learned = read;
  for (int row = 1; row <= VE_ROWS_EXTENDED; ++row) {
    for (int col = 1; col <= VE_MAP_COLUMNS; ++col) {
      const std::size_t k = static_cast<std::size_t>(row * VE_TABLE_COLUMNS + col);
      learned[row][col] = (learned[row][col] + data[k % size] + static_cast<std::uint32_t>(row)) & 0xFF;
    }
  }

  std::remove(destination.c_str());
  std::vector<std::uint8_t> image;
  Check(LoadDestinationImage(source, destination, image) == 0, "a new destination starts from the source");
  PlaceVeTable(image, learned, extended, id);
  Check(ReplaceFileContents(destination, image) == 0, "the learned BIN is written");
  const std::string written = zrm::fuzz::ReadFileOrDie(destination);
  Check(written.size() == static_cast<std::size_t>(BIN_IMAGE_SIZE), "the learned BIN is 16384 bytes");
  const auto* out = reinterpret_cast<const std::uint8_t*>(written.data());

  const int newId = (id + 1) & 0xFFFF;
  Check(out[0] == (newId >> 8) && out[1] == (newId & 0xFF), "the identifier is the source's + 1");
  unsigned sum = 0;
  for (std::size_t i = BIN_CHECKSUM_FROM; i < written.size(); ++i) sum += out[i];
  Check(out[BIN_CHECKSUM_OFFSET] == ((sum >> 8) & 0xFF) && out[BIN_CHECKSUM_OFFSET + 1] == (sum & 0xFF),
        "the sum at offset 6 covers bytes 8 to the end");

  // Everything else is the source's, padded with 0xFF.
  std::vector<std::uint8_t> changed(written.size(), 0);  // bytes, not bits: read for every byte of every input
  changed[0] = changed[1] = changed[BIN_CHECKSUM_OFFSET] = changed[BIN_CHECKSUM_OFFSET + 1] = true;
  MarkRows(changed, BIN_VE_LOW_OFFSET, BIN_VE_LOW_ROWS);
  MarkRows(changed, BIN_VE_HIGH_OFFSET, extended ? BIN_VE_HIGH_ROWS - 1 : BIN_VE_HIGH_ROWS);
  if (extended) {
    MarkRows(changed, BIN_VE_EXTENSION_OFFSET, BIN_VE_EXTENSION_ROWS);
    changed[BIN_VE_EXTENSION_MARK_OFFSET] = true;
    Check(out[BIN_VE_EXTENSION_MARK_OFFSET] == BIN_VE_EXTENSION_MARK, "the extension carries its mark");
  }
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (changed[i]) continue;
    Check(out[i] == (i < size ? data[i] : 0xFF), "bytes outside the table are the source's");
  }

  VeTable back = Filled(UNTOUCHED);
  bool backExtended = !extended;
  Check(ReadVeCells(destination, back, backExtended) == 0, "the learned BIN reads");
  Check(backExtended == extended, "the learned BIN keeps the table's kind");
  for (int row = 1; row <= VeRowCount(extended); ++row) {
    for (int col = 1; col <= VE_MAP_COLUMNS; ++col)
      Check(back[row][col] == learned[row][col], "the learned BIN reads back as the table written");
  }

  // Learning on into the same destination with the same table.
  std::vector<std::uint8_t> again;
  Check(LoadDestinationImage(source, destination, again) == 0, "an existing destination is read");
  Check(again.size() == written.size() && std::memcmp(again.data(), out, written.size()) == 0,
        "the destination is read as it was written");
  PlaceVeTable(again, learned, extended, id);
  Check(again.size() == written.size() && std::memcmp(again.data(), out, written.size()) == 0,
        "placing the same table again changes nothing");
  return 0;
}
