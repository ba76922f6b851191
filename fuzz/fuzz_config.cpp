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

// One program's two configurations, made once: building the key table for
// every input would cost more than reading the file. Each input starts from
// fresh settings assigned in place, so the tables keep pointing at them.
template <class Settings>
struct Configs {
  template <class Make>
  explicit Configs(Make make)
      : readFile(make(std::string(), read, &services)), againFile(make(std::string(), again, &services)) {}
  zrm::fuzz::SilentServices services;
  Settings read;
  Settings again;
  ConfigFile readFile;
  ConfigFile againFile;
};

template <class Settings, class Make>
void RoundTrip(const char* name, Make make, const std::uint8_t* data, std::size_t size) {
  static Configs<Settings> configs(make);
  static const std::string in = zrm::fuzz::ScratchPath((std::string(name) + ".in").c_str());
  static const std::string first = zrm::fuzz::ScratchPath((std::string(name) + ".1").c_str());
  static const std::string second = zrm::fuzz::ScratchPath((std::string(name) + ".2").c_str());
  zrm::fuzz::WriteFileOrDie(in, data, size);

  configs.read = Settings{};
  configs.readFile.path = in;
  LoadConfig(configs.readFile);
  configs.readFile.path = first;
  zrm::fuzz::Check(SaveConfig(configs.readFile) == 0, "configuration saves");

  configs.again = Settings{};
  configs.againFile.path = first;
  LoadConfig(configs.againFile);
  zrm::fuzz::Check(configs.again == configs.read, "every saved value reads back unchanged");
  configs.againFile.path = second;
  zrm::fuzz::Check(SaveConfig(configs.againFile) == 0, "configuration saves again");
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
