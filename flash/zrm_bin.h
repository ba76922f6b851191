// The calibration BIN of this ECM: its header test and the image a bank read
// writes.
//
// Header: [0..1] calibration identifier (big-endian), [2..5] "ZRMF",
// [6..7] calibration sum (high first), [8] 'V', [9..10] layout version.
// Only the four magic characters decide whether a file is a BIN of this ECM.
//
// Image of a bank read, 16384 bytes: the 4096-byte calibration, 11520 bytes
// of 0xFF where the firmware lies, and a 768-byte trailer:
//   0..95 FF, 96..511 00 (263 = 16), 512..527 FF, 528..543 "    ZRM Flash   ",
//   544..623 FF, 624..678 our 55-character notice, 679..767 FF.
// The update utility's trailer has 103 = 13 and 263 = 00.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/services.h"

namespace zrm {

constexpr char ZRM_BIN_MAGIC[] = "ZRMF";
constexpr int BIN_FILE_SIZE = 16384;
constexpr int BIN_FILLER_SIZE = 11520;
constexpr int BIN_TRAILER_SIZE = 768;
constexpr int BIN_NOTICE_SIZE = 55;
constexpr char BIN_TRAILER_NAME[] = "    ZRM Flash   ";
constexpr char BIN_NOTICE[] = "Calibration image read from a ZRM Flash ECM bank.      ";
static_assert(sizeof BIN_NOTICE - 1 == BIN_NOTICE_SIZE, "the notice fills its 55 bytes");

constexpr const char* BIN_INCORRECT_CAPTION = "Incorrect BIN File";
constexpr const char* BIN_INCORRECT_TEXT = "Not an ZRM Flash BIN!";
// A file that ends inside its calibration (the first 4096 bytes).
constexpr const char* BIN_TOO_SHORT_TEXT = "BIN File Too Short (a calibration is 4096 bytes)";
// A message box without an icon: a value outside the named icons, which the
// dialogs show bare.
constexpr MessageIcon MESSAGE_NO_ICON = MessageIcon::None;

enum class TrailerKind { BankRead, FirmwareUpdate };

std::array<std::uint8_t, BIN_TRAILER_SIZE> BinTrailer(TrailerKind kind);

// Bytes 2 to 5 of the header are "ZRMF".
bool HasZrmMagic(const std::uint8_t* header, std::size_t length);

// The file's calibration identifier (0..65535); -1 when it cannot be opened
// or closed; -2 after telling the user (through `services`, when given) that
// it is not a BIN of this ECM.
int IsZrmBin(const std::string& path, PlatformServices* services);

// The file opens and ends before its calibration (4096 bytes) does.
bool BinShorterThanCalibration(const std::string& path);

}  // namespace zrm
