// The configuration readers and writers of the three programs over arbitrary
// files: reading never fails hard, and what is written reads back the same
// and is a fixed point (save, load, save gives the same bytes).
#include "config/config_file.h"
#include "flashupdate/flashupdate_config.h"
#include "fuelcalc/utility_config.h"
#include "fuzz/fuzz_support.h"
#include "shell/vistrel_config.h"

namespace {

using namespace zrm;

template <class Settings, class Make>
void RoundTrip(const char* name, Make make, const std::uint8_t* data, std::size_t size) {
  zrm::fuzz::SilentServices services;
  const std::string in = zrm::fuzz::ScratchPath((std::string(name) + ".in").c_str());
  const std::string first = zrm::fuzz::ScratchPath((std::string(name) + ".1").c_str());
  const std::string second = zrm::fuzz::ScratchPath((std::string(name) + ".2").c_str());
  zrm::fuzz::WriteFileOrDie(in, data, size);

  Settings read;
  LoadConfig(make(in, read, &services));
  zrm::fuzz::Check(SaveConfig(make(first, read, &services)) == 0, "configuration saves");

  Settings again;
  LoadConfig(make(first, again, &services));
  zrm::fuzz::Check(again == read, "every saved value reads back unchanged");
  zrm::fuzz::Check(SaveConfig(make(second, again, &services)) == 0, "configuration saves again");
  zrm::fuzz::Check(zrm::fuzz::ReadFileOrDie(first) == zrm::fuzz::ReadFileOrDie(second),
                   "a saved configuration is a fixed point");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RoundTrip<VistrelSettings>("vistrel", MakeVistrelConfig, data, size);
  RoundTrip<FlashUpdateSettings>("flashupdate", MakeFlashUpdateConfig, data, size);
  RoundTrip<UtilitySettings>("utility", MakeUtilityConfig, data, size);
  return 0;
}
