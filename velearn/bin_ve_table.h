// The VE table inside a calibration BIN, as VE learn reads and writes it.
//
// All numbers are big-endian; VE cells are one byte each, 14 per row (MAP
// ascending), rows by RPM ascending.
//
//   0     2    calibration identifier (a write stores the source's + 1)
//   6     2    checksum: the 16-bit sum of every byte from offset 8 to the
//              end of the file (the whole file, not only the calibration)
//   9, 10 1+1  layout version; both 2 or more: the extended VE table
//   12    238  low-RPM table, 17 rows 400..2000 RPM
//   253   224  high-RPM table, 16 rows 2000..6375 RPM (extended: the first
//              15 rows, 2000..6000, are used; 463..476 stay as they are)
//   3587  70   extension of the extended table: 6000, 6500 .. 8000 RPM
//   3657  1    11 once the extension has been written
//
// The 2000-RPM row sits in both the low and the high table and is read from
// the high one; in the extended table the 6000-RPM row sits in the high
// table and in the extension and is read from the extension.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "velearn/ve_table.h"

namespace zrm {

constexpr int BIN_VE_LOW_OFFSET = 12;
constexpr int BIN_VE_LOW_ROWS = 17;
constexpr int BIN_VE_HIGH_OFFSET = 253;
constexpr int BIN_VE_HIGH_ROWS = 16;
constexpr int BIN_VE_EXTENSION_OFFSET = 3587;
constexpr int BIN_VE_EXTENSION_ROWS = 5;
constexpr int BIN_VE_EXTENSION_MARK_OFFSET = 3657;
constexpr std::uint8_t BIN_VE_EXTENSION_MARK = 11;
constexpr int BIN_CHECKSUM_OFFSET = 6;
constexpr int BIN_CHECKSUM_FROM = 8;
constexpr int BIN_VERSION_MAJOR_OFFSET = 9;
constexpr int BIN_VERSION_MINOR_OFFSET = 10;
constexpr int BIN_IMAGE_SIZE = 16384;

// True when both version bytes are 2 or more.
bool HasExtendedVeTable(std::uint8_t versionMajor, std::uint8_t versionMinor);

// Reads the VE cells of a BIN file into rows 1..32 (1..35 when extended) of
// `table`, leaving the axes alone; cells past the end of a short file keep
// what they held. 0, or -1 when the file cannot be opened, positioned or
// closed.
int ReadVeCells(const std::string& path, VeTable& table, bool& extended);

// The 16-bit sum of image[8..end].
std::uint16_t BinChecksum(const std::vector<std::uint8_t>& image);

// Writes the identifier (calibrationId + 1), the table rows, the extension
// with its mark when extended, and the checksum into `image`, which grows
// with zeros when it is too short for a row (as writing past the end of a
// file would).
void PlaceVeTable(std::vector<std::uint8_t>& image, const VeTable& learned, bool extended, int calibrationId);

// The image a write starts from: the destination's bytes when it can be
// read, else a new image of the source's first 16384 bytes padded with 0xFF.
// 0, or -1 when neither can be read.
int LoadDestinationImage(const std::string& sourcePath, const std::string& destinationPath,
                         std::vector<std::uint8_t>& image);

// Steps of replacing a file, for checks that make one of them fail.
enum class ReplaceStep { Create, Write, Commit };
// True: the step is to fail.
using ReplaceFault = std::function<bool(ReplaceStep)>;

// Writes `bytes` into a new file beside `path` (through a link, beside the
// file it names), puts it on the disk and renames it over the old one in one
// step; an existing file keeps its permissions. 0, or -1 with the old file
// untouched and no new file left behind.
int ReplaceFileContents(const std::string& path, const std::vector<std::uint8_t>& bytes,
                        const ReplaceFault& fault = {});

}  // namespace zrm
