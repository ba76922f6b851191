#include "velearn/bin_ve_table.h"

#include <cstdio>

#include "platform/durable_file.h"

namespace zrm {

namespace {

// Reads bytes from the current position into consecutive cells of rows
// firstRow.., 14 per row, until `count` bytes or the end of the file.
void ReadCells(std::FILE* file, VeTable& table, int firstRow, int count) {
  for (int i = 0; i < count; ++i) {
    const int c = std::fgetc(file);
    if (c == EOF) return;
    table[firstRow + i / VE_MAP_COLUMNS][1 + i % VE_MAP_COLUMNS] = static_cast<std::uint32_t>(c);
  }
}

void PutRows(std::vector<std::uint8_t>& image, std::size_t offset, const VeTable& table, int firstRow, int lastRow) {
  const std::size_t end = offset + static_cast<std::size_t>(lastRow - firstRow + 1) * VE_MAP_COLUMNS;
  if (image.size() < end) image.resize(end, 0);
  for (int row = firstRow; row <= lastRow; ++row) {
    for (int col = 1; col <= VE_MAP_COLUMNS; ++col) image[offset++] = static_cast<std::uint8_t>(table[row][col]);
  }
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes.clear();
  std::uint8_t buffer[4096];
  bool ok = true;
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    bytes.insert(bytes.end(), buffer, buffer + got);
    if (got < sizeof buffer) {
      ok = std::ferror(file) == 0;
      break;
    }
  }
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

}  // namespace

bool HasExtendedVeTable(std::uint8_t versionMajor, std::uint8_t versionMinor) {
  return versionMajor >= 2 && versionMinor >= 2;
}

int ReadVeCells(const std::string& path, VeTable& table, bool& extended) {
  extended = false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  auto seekFailed = [file](long offset) {
    if (std::fseek(file, offset, SEEK_SET) == 0) return false;
    std::fclose(file);
    return true;
  };
  if (seekFailed(BIN_VERSION_MAJOR_OFFSET)) return -1;
  const int major = std::fgetc(file);
  const int minor = std::fgetc(file);

  // Rows 1..16 from the low table; its 2000-RPM row comes from the high table.
  if (seekFailed(BIN_VE_LOW_OFFSET)) return -1;
  ReadCells(file, table, 1, (BIN_VE_LOW_ROWS - 1) * VE_MAP_COLUMNS);
  if (seekFailed(BIN_VE_HIGH_OFFSET)) return -1;
  ReadCells(file, table, BIN_VE_LOW_ROWS, BIN_VE_HIGH_ROWS * VE_MAP_COLUMNS);

  if (major != EOF && minor != EOF &&
      HasExtendedVeTable(static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor))) {
    extended = true;
    if (seekFailed(BIN_VE_EXTENSION_OFFSET)) return -1;
    ReadCells(file, table, VE_ROWS_EXTENDED - BIN_VE_EXTENSION_ROWS + 1, BIN_VE_EXTENSION_ROWS * VE_MAP_COLUMNS);
  }
  return std::fclose(file) == 0 ? 0 : -1;
}

std::uint16_t BinChecksum(const std::vector<std::uint8_t>& image) {
  std::uint16_t sum = 0;
  for (std::size_t i = BIN_CHECKSUM_FROM; i < image.size(); ++i) sum = static_cast<std::uint16_t>(sum + image[i]);
  return sum;
}

void PlaceVeTable(std::vector<std::uint8_t>& image, const VeTable& learned, bool extended, int calibrationId) {
  if (image.size() < static_cast<std::size_t>(BIN_CHECKSUM_FROM)) image.resize(BIN_CHECKSUM_FROM, 0);
  const auto id = static_cast<std::uint16_t>(calibrationId + 1);
  image[0] = static_cast<std::uint8_t>(id >> 8);
  image[1] = static_cast<std::uint8_t>(id & 0xFF);

  PutRows(image, BIN_VE_LOW_OFFSET, learned, 1, BIN_VE_LOW_ROWS);
  // The high table from the 2000-RPM row; the extended table stops at its
  // 6000-RPM row and leaves the last row of the high table as it was.
  PutRows(image, BIN_VE_HIGH_OFFSET, learned, BIN_VE_LOW_ROWS, extended ? 31 : VE_ROWS_STANDARD);
  if (extended) {
    PutRows(image, BIN_VE_EXTENSION_OFFSET, learned, VE_ROWS_EXTENDED - BIN_VE_EXTENSION_ROWS + 1, VE_ROWS_EXTENDED);
    if (image.size() <= static_cast<std::size_t>(BIN_VE_EXTENSION_MARK_OFFSET))
      image.resize(BIN_VE_EXTENSION_MARK_OFFSET + 1, 0);
    image[BIN_VE_EXTENSION_MARK_OFFSET] = BIN_VE_EXTENSION_MARK;
  }

  const std::uint16_t sum = BinChecksum(image);
  image[BIN_CHECKSUM_OFFSET] = static_cast<std::uint8_t>(sum >> 8);
  image[BIN_CHECKSUM_OFFSET + 1] = static_cast<std::uint8_t>(sum & 0xFF);
}

int LoadDestinationImage(const std::string& sourcePath, const std::string& destinationPath,
                         std::vector<std::uint8_t>& image) {
  if (std::FILE* existing = std::fopen(destinationPath.c_str(), "rb")) {
    std::fclose(existing);
    return ReadWholeFile(destinationPath, image) ? 0 : -1;
  }
  std::FILE* source = std::fopen(sourcePath.c_str(), "rb");
  if (source == nullptr) return -1;
  image.assign(BIN_IMAGE_SIZE, 0xFF);
  const std::size_t got = std::fread(image.data(), 1, image.size(), source);
  const bool readError = got < image.size() && std::ferror(source) != 0;
  std::fclose(source);
  if (readError) return -1;
  // Past the source's last byte the image stays 0xFF.
  return 0;
}

int ReplaceFileContents(const std::string& path, const std::vector<std::uint8_t>& bytes, const ReplaceFault& fault) {
  auto fails = [&fault](ReplaceStep step) { return fault && fault(step); };
  if (fails(ReplaceStep::Create)) return -1;
  ReplacingFile file;
  if (file.Open(path) != 0) return -1;
  // A file dropped before its commit is removed; the old one stays.
  if (fails(ReplaceStep::Write)) return -1;
  file.Write(bytes.data(), bytes.size());
  if (fails(ReplaceStep::Commit)) return -1;
  return file.Commit();
}

}  // namespace zrm
