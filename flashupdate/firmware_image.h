// The firmware the update puts into every bank: 12288 bytes, the contents of
// pages 32 to 127 of a bank (bank offsets 4096 to 16383). The ECM's maker
// supplies it as a file beside the utility; it is checked before anything is
// sent to the ECM.
//
// Page 103 carries the firmware key in its first two bytes, low byte first:
// a bank whose page 103 starts 7C 76 reports key 0x767C, version 2.7-B.
// Image offset of page p: (p - 32) * 128, so page 103 starts at 9088.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zrm {

constexpr const char* FIRMWARE_IMAGE_NAME = "ZRM_FlashUpdate.img";
constexpr int FIRMWARE_IMAGE_SIZE = 12288;
constexpr int FIRMWARE_FIRST_PAGE = 32;
constexpr int FIRMWARE_KEY_PAGE = 103;
constexpr std::uint16_t FIRMWARE_KEY_UPDATED = 0x767C;

// The key in the first two bytes of page 103 (low byte first).
inline std::uint16_t FirmwareKeyOf(const std::uint8_t* page103) {
  return static_cast<std::uint16_t>(page103[1] << 8 | page103[0]);
}

// One row of the known firmware keys: the line printed for it and whether
// the bank is skipped (already updated).
struct FirmwareKeyRow {
  std::uint16_t key;
  const char* line;
  bool skip;
};

constexpr FirmwareKeyRow FIRMWARE_KEYS[] = {
    {0x1470, "Bank has V 2.0, updating", false}, {0x7670, "Bank has V 2.1, updating", false},
    {0x7676, "Bank has V 2.2, updating", false}, {0x767A, "Bank has V 2.4, updating", false},
    {0x76F3, "Bank has V 2.4, updating", false}, {0x76F0, "Bank has V 2.5, updating", false},
    {0x7671, "Bank has V 2.6, updating", false}, {0x767C, "Bank Already Updated", true},
};

// The row of a key, or nullptr for a key not in the table (updated silently).
const FirmwareKeyRow* FindFirmwareKey(std::uint16_t key);

struct FirmwareImage {
  std::vector<std::uint8_t> bytes;  // FIRMWARE_IMAGE_SIZE once checked
  // The 128 bytes of a firmware page (32..127).
  const std::uint8_t* Page(int page) const {
    return bytes.data() + static_cast<std::size_t>(page - FIRMWARE_FIRST_PAGE) * 128;
  }
};

// 0 when the bytes are a firmware image (the size and the key of page 103),
// else -1 with *error saying what is wrong.
int CheckFirmwareImage(const std::vector<std::uint8_t>& bytes, std::string* error);

// Reads and checks the image file. 0 with *image filled, or -1 with *error.
int LoadFirmwareImage(const std::string& path, FirmwareImage* image, std::string* error);

}  // namespace zrm
