#include "sim/versioned_banks.h"

#include <cstdlib>
#include <cstring>

#include "sim/synthetic_firmware.h"

namespace zrm::sim {

namespace {

constexpr std::size_t BANK_BYTES = 16384;
constexpr std::size_t CAL_BYTES = 4096;
constexpr std::size_t KEY_OFFSET = 103 * 128;

}  // namespace

const BankVersion* FindBankVersion(const std::string& name) {
  for (const BankVersion& version : BANK_VERSIONS)
    if (name == version.name) return &version;
  return nullptr;
}

std::vector<std::uint8_t> VersionedBank(int bank, int layout, std::uint16_t key) {
  std::vector<std::uint8_t> image(BANK_BYTES);
  std::uint32_t x = 0x9E3779B9u * static_cast<std::uint32_t>(bank + 1) + static_cast<std::uint32_t>(layout) * 7919u + key;
  for (std::size_t i = 0; i < BANK_BYTES; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    image[i] = static_cast<std::uint8_t>(x);
  }
  image[0] = static_cast<std::uint8_t>(0x30 + (layout & 0xFF));
  image[1] = static_cast<std::uint8_t>(bank);
  std::memcpy(&image[2], "ZRMF", 4);
  image[8] = 'V';
  image[9] = static_cast<std::uint8_t>(layout >> 8);
  image[10] = static_cast<std::uint8_t>(layout & 0xFF);
  if (bank % 2 == 0) image[518] = 0x23;
  image[2973] = static_cast<std::uint8_t>(bank % 2 == 0 ? image[2973] | 0x80 : image[2973] & 0x7F);
  if (bank % 3 == 0) image[2320] = 0xFF;
  unsigned sum = 0;
  for (std::size_t i = 8; i < CAL_BYTES; ++i) sum += image[i];
  image[6] = static_cast<std::uint8_t>(sum >> 8 & 0xFF);
  image[7] = static_cast<std::uint8_t>(sum & 0xFF);

  if (key == 0x767C) {
    const std::vector<std::uint8_t> firmware = SyntheticFirmwareImage();
    std::memcpy(&image[CAL_BYTES], firmware.data(), firmware.size());
  }
  image[KEY_OFFSET] = static_cast<std::uint8_t>(key & 0xFF);
  image[KEY_OFFSET + 1] = static_cast<std::uint8_t>(key >> 8);
  return image;
}

bool ParseBankChoice(const std::string& text, int* bank, std::vector<std::uint8_t>* contents) {
  if (text.size() < 3 || text[0] < '0' || text[0] > '7' || text[1] != ':') return false;
  const std::string rest = text.substr(2);
  const std::size_t colon = rest.find(':');
  const BankVersion* version = FindBankVersion(rest.substr(0, colon));
  if (version == nullptr) return false;
  std::uint16_t key = version->key;
  if (colon != std::string::npos) {
    const std::string hex = rest.substr(colon + 1);
    if (hex.empty() || hex.size() > 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
    key = static_cast<std::uint16_t>(std::strtoul(hex.c_str(), nullptr, 16));
  }
  *bank = text[0] - '0';
  *contents = VersionedBank(*bank, version->layout, key);
  return true;
}

}  // namespace zrm::sim
