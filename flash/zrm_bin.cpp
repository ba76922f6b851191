#include "flash/zrm_bin.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "flash/flash_protocol.h"

namespace zrm {

std::array<std::uint8_t, BIN_TRAILER_SIZE> BinTrailer(TrailerKind kind) {
  std::array<std::uint8_t, BIN_TRAILER_SIZE> trailer;
  trailer.fill(0xFF);
  for (int i = 96; i < 512; ++i) trailer[static_cast<std::size_t>(i)] = 0x00;
  if (kind == TrailerKind::BankRead) {
    trailer[263] = 0x16;
  } else {
    trailer[103] = 0x13;
  }
  std::memcpy(&trailer[528], BIN_TRAILER_NAME, 16);
  std::memcpy(&trailer[624], BIN_NOTICE, BIN_NOTICE_SIZE);
  return trailer;
}

bool HasZrmMagic(const std::uint8_t* header, std::size_t length) {
  return length >= 6 && std::memcmp(header + 2, ZRM_BIN_MAGIC, 4) == 0;
}

int IsZrmBin(const std::string& path, PlatformServices* services) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  std::uint8_t header[6] = {};
  const std::size_t got = std::fread(header, 1, sizeof header, file);
  if (std::fclose(file) != 0) return -1;
  if (!HasZrmMagic(header, got)) {
    if (services) services->ShowMessage(BIN_INCORRECT_CAPTION, BIN_INCORRECT_TEXT, MESSAGE_NO_ICON);
    return -2;
  }
  return (header[0] << 8) | header[1];
}

bool BinShorterThanCalibration(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<std::uint8_t> calibration(CALIBRATION_SIZE);
  const std::size_t got = std::fread(calibration.data(), 1, calibration.size(), file);
  std::fclose(file);
  return got < calibration.size();
}

}  // namespace zrm
