#include "flashupdate/firmware_image.h"

#include <cstdio>

namespace zrm {

const FirmwareKeyRow* FindFirmwareKey(std::uint16_t key) {
  for (const FirmwareKeyRow& row : FIRMWARE_KEYS)
    if (row.key == key) return &row;
  return nullptr;
}

int CheckFirmwareImage(const std::vector<std::uint8_t>& bytes, std::string* error) {
  if (bytes.size() != static_cast<std::size_t>(FIRMWARE_IMAGE_SIZE)) {
    *error = "The firmware image is not " + std::to_string(FIRMWARE_IMAGE_SIZE) + " bytes long";
    return -1;
  }
  const std::size_t keyOffset = static_cast<std::size_t>(FIRMWARE_KEY_PAGE - FIRMWARE_FIRST_PAGE) * 128;
  if (FirmwareKeyOf(&bytes[keyOffset]) != FIRMWARE_KEY_UPDATED) {
    *error = "The firmware image does not carry the version 2.7-B key at page 103";
    return -1;
  }
  return 0;
}

int LoadFirmwareImage(const std::string& path, FirmwareImage* image, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "Can not open the firmware image " + path;
    return -1;
  }
  // One byte more than an image holds, so that a longer file is seen as such.
  std::vector<std::uint8_t> bytes(FIRMWARE_IMAGE_SIZE + 1);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) {
    *error = "Can not read the firmware image " + path;
    return -1;
  }
  bytes.resize(got);
  std::string problem;
  if (CheckFirmwareImage(bytes, &problem) != 0) {
    *error = problem + ": " + path;
    return -1;
  }
  image->bytes = std::move(bytes);
  return 0;
}

}  // namespace zrm
