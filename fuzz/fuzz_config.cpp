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
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  configs.read = Settings{};
  ApplyConfigBytes(configs.readFile, input);
  const std::string saved = FormatConfigBytes(configs.readFile);
  // Reals are stored with six decimals: a file may hold more, and what reads
  // back is the value as saved.
  for (const ConfigKey& row : configs.readFile.keys) {
    if (auto* real = std::get_if<double*>(&row.target)) **real = ParseConfigReal(FormatConfigReal(**real));
  }
  configs.again = Settings{};
  ApplyConfigBytes(configs.againFile, saved);
  zrm::fuzz::Check(configs.again == configs.read, "every saved value reads back unchanged");
  zrm::fuzz::Check(FormatConfigBytes(configs.againFile) == saved, "a saved configuration is a fixed point");

  // One input in eight also goes through real files: what is read and written
  // must not depend on whether the bytes came from memory or from a file.
  if (size % 8 != 0) return;
  static const std::string in = zrm::fuzz::ScratchPath((std::string(name) + ".in").c_str());
  static const std::string out = zrm::fuzz::ScratchPath((std::string(name) + ".out").c_str());
  zrm::fuzz::WriteFileOrDie(in, data, size);
  configs.again = Settings{};
  configs.againFile.path = in;
  LoadConfig(configs.againFile);
  // Compared as formatted: formatting puts the values into their limits, as
  // it did to the settings read from memory.
  zrm::fuzz::Check(FormatConfigBytes(configs.againFile) == saved, "a file reads as its bytes do");
  configs.againFile.path = out;
  zrm::fuzz::Check(SaveConfig(configs.againFile) == 0, "configuration saves");
  zrm::fuzz::Check(zrm::fuzz::ReadFileOrDie(out) == saved, "a saved file holds the bytes formatted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RoundTrip<VistrelSettings>("vistrel", MakeVistrelConfig, data, size);
  RoundTrip<FlashUpdateSettings>("flashupdate", MakeFlashUpdateConfig, data, size);
  RoundTrip<UtilitySettings>("utility", MakeUtilityConfig, data, size);
  return 0;
}
