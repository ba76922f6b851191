// The BIN checks over arbitrary files: a file is either a BIN of this ECM
// (its identifier 0..65535 returned, the magic present) or refused with the
// user told; it never crashes.
#include "flash/zrm_bin.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = zrm::fuzz::ScratchPath("file.bin");
  zrm::fuzz::WriteFileOrDie(path, data, size);
  zrm::fuzz::SilentServices services;
  const int id = zrm::IsZrmBin(path, &services);
  zrm::fuzz::Check(id >= -2 && id <= 65535, "the identifier is 0..65535 or a failure code");
  if (id >= 0) {
    zrm::fuzz::Check(zrm::HasZrmMagic(data, size), "an accepted BIN carries the magic");
    zrm::fuzz::Check(services.messages == 0, "an accepted BIN shows no message");
  }
  if (id == -2) zrm::fuzz::Check(services.messages == 1, "a refused file is reported once");
  return 0;
}
