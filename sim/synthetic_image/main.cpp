// Writes the SYNTHETIC firmware image (sim/synthetic_firmware.h) to a file,
// for the simulated ECM and the tests: zrm_synthetic_image OUT.img
#include <cstdio>
#include <vector>

#include "sim/synthetic_firmware.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zrm_synthetic_image OUT.img\n");
    return 2;
  }
  const std::vector<std::uint8_t> image = zrm::sim::SyntheticFirmwareImage();
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "zrm_synthetic_image: cannot create %s\n", argv[1]);
    return 1;
  }
  const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "zrm_synthetic_image: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
