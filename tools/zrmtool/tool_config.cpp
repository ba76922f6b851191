#include "tools/zrmtool/tool_config.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "config/config_location.h"
#include "link/conversions.h"
#include "logs/offline_pass.h"

namespace zrm::tool {

int LoadToolConfig(int& argc, char** argv, ToolConfig& out, PlatformServices* services) {
  std::string path;
  bool named = false;
  int kept = 0;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--config") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "zrmtool: --config needs a file\n");
        return -1;
      }
      path = argv[++i];
      named = true;
      continue;
    }
    argv[kept++] = argv[i];
  }
  argc = kept;

  std::error_code ec;
  if (named) {
    if (!std::filesystem::is_regular_file(path, ec)) {
      std::fprintf(stderr, "zrmtool: cannot read configuration '%s'\n", path.c_str());
      return -1;
    }
  } else {
    path = LocateConfigFile(VISTREL_CONFIG_NAME);
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) path.clear();
  }
  // A missing file is never created here: the settings keep their start values.
  out.config = MakeVistrelConfig(path, out.settings, services);
  if (!path.empty()) LoadConfig(out.config);
  SetTemperatureScale(out.settings.temperatureScale);
  SetSpeedUnit(out.settings.speedInKph);
  out.devices.SetUp();
  return 0;
}

void AttachUserDevices(ToolConfig& config, OfflinePass& pass) {
  UserDevices* devices = &config.devices;
  pass.processor.hooks.updateUserDevices = [devices](const std::uint8_t* frame, int all) {
    devices->UpdateUserDevices(frame, all);
  };
}

}  // namespace zrm::tool
