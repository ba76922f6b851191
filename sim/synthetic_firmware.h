// A SYNTHETIC firmware image for the simulated ECM and the tests only.
//
// The real 2.7-B firmware is data the ECM's maker supplies with the update
// utility. This stand-in has the real image's shape and nothing of its
// contents: 12288 bytes for pages 32 to 127 of a bank, a counting pattern,
// and the 2.7-B key 7C 76 at the start of page 103 (image offset 9088), so
// the update utility accepts it and a simulated bank that holds it reports
// itself as updated. It must never be put into a real ECM.
#pragma once

#include <cstdint>
#include <vector>

namespace zrm::sim {

constexpr const char* SYNTHETIC_FIRMWARE_NAME = "SYNTHETIC_ZRM_FlashUpdate.img";

std::vector<std::uint8_t> SyntheticFirmwareImage();

}  // namespace zrm::sim
