#include "sim/synthetic_firmware.h"

namespace zrm::sim {

std::vector<std::uint8_t> SyntheticFirmwareImage() {
  constexpr std::size_t SIZE = 12288;
  constexpr std::size_t KEY_OFFSET = (103 - 32) * 128;
  std::vector<std::uint8_t> image(SIZE);
  std::uint32_t x = 0x27B0u;
  for (std::size_t i = 0; i < SIZE; ++i) {
    x = x * 1664525u + 1013904223u;
    image[i] = static_cast<std::uint8_t>(x >> 24);
  }
  image[KEY_OFFSET] = 0x7C;
  image[KEY_OFFSET + 1] = 0x76;
  return image;
}

}  // namespace zrm::sim
