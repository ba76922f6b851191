// ZRM_FlashUpdate's persisted settings and the key table of ZRM_FlashUpdate.cfg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "platform/services.h"

namespace zrm {

constexpr const char* FLASHUPDATE_CONFIG_NAME = "ZRM_FlashUpdate.cfg";
constexpr const char* FLASHUPDATE_CONFIG_ID = "ZRM Flash Update";

struct FlashUpdateSettings {
  std::string port;                // [PORT]; empty until a file or the menu names one
  std::int32_t mainWindowX = -1;   // [XPOSHWND] -1 centres the window
  std::int32_t mainWindowY = -1;   // [YPOSHWND]
  FilePathTriple flashBin;         // [FLSHBIN] [FLSHBINFILE] [FLSHBINPATH]
  bool operator==(const FlashUpdateSettings&) const = default;
};

// The ordered key table of ZRM_FlashUpdate.cfg with its rows bound to the settings.
std::vector<ConfigKey> BuildFlashUpdateKeys(FlashUpdateSettings& settings);

// ZRM_FlashUpdate's configuration file at the path: LF lines (CR LF on disk),
// reals range-checked, nothing to do after reading.
ConfigFile MakeFlashUpdateConfig(std::string path, FlashUpdateSettings& settings, PlatformServices* services);

}  // namespace zrm
