// ZRM_Utility's persisted inputs and the key table of ZRM_Utility.cfg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "platform/services.h"

namespace zrm {

constexpr const char* UTILITY_CONFIG_NAME = "ZRM_Utility.cfg";
constexpr const char* UTILITY_CONFIG_ID = "ZRM Utility";

struct UtilitySettings {
  std::int32_t mainWindowX = -1;     // [XPOSHWND] -1 centres the window
  std::int32_t mainWindowY = -1;     // [YPOSHWND]
  std::int32_t injectionType = 0;    // [BPCINJTYPE] 0 TBI, 1 MPFI
  std::int32_t cylinders = 8;        // [BPCCYLINDER]
  std::int32_t vacuumReference = 0;  // [BPCVACREF]
  std::int32_t displacement = 350;   // [BPCDISPLACEMENT] cubic inches
  std::int32_t fuelPressure = 130;   // [BPCFUELPSI] tenths of psi
  std::int32_t injectorCount = 2;    // [BPCNUMINJECTOR] TBI only
  std::int32_t injectorFlow = 610;   // [BPCINJECTORFLOW] tenths of pounds per hour
  std::int32_t mapBar = 1;           // [BPCMAPBAR]
  std::int32_t editorVersion = 4;    // [BPCTPVERSION] 4 or 5; its fallback is 5
  bool operator==(const UtilitySettings&) const = default;
};

// The ordered key table of ZRM_Utility.cfg with its rows bound to the settings.
std::vector<ConfigKey> BuildUtilityKeys(UtilitySettings& settings);

// ZRM_Utility's configuration file at the path: LF lines (CR LF on disk),
// reals range-checked, nothing to do after reading.
ConfigFile MakeUtilityConfig(std::string path, UtilitySettings& settings, PlatformServices* services);

}  // namespace zrm
