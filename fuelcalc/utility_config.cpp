#include "fuelcalc/utility_config.h"

#include <utility>

namespace zrm {

std::vector<ConfigKey> BuildUtilityKeys(UtilitySettings& s) {
  std::vector<ConfigKey> keys;
  keys.push_back(IdentificationKey("[ID]", UTILITY_CONFIG_ID));
  keys.push_back(IntegerKey("[XPOSHWND]", -1, 1280, "-1", s.mainWindowX));
  keys.push_back(IntegerKey("[YPOSHWND]", -1, 1024, "-1", s.mainWindowY));
  keys.push_back(IntegerKey("[BPCINJTYPE]", 0, 1, "0", s.injectionType));
  keys.push_back(IntegerKey("[BPCCYLINDER]", 0, 8, "8", s.cylinders));
  keys.push_back(IntegerKey("[BPCVACREF]", 0, 1, "0", s.vacuumReference));
  keys.push_back(IntegerKey("[BPCDISPLACEMENT]", 0, 800, "350", s.displacement));
  keys.push_back(IntegerKey("[BPCFUELPSI]", 0, 1000, "130", s.fuelPressure));
  keys.push_back(IntegerKey("[BPCNUMINJECTOR]", 0, 8, "2", s.injectorCount));
  keys.push_back(IntegerKey("[BPCINJECTORFLOW]", 0, 2000, "610", s.injectorFlow));
  keys.push_back(IntegerKey("[BPCMAPBAR]", 1, 3, "1", s.mapBar));
  keys.push_back(IntegerKey("[BPCTPVERSION]", 4, 5, "5", s.editorVersion));
  return keys;
}

ConfigFile MakeUtilityConfig(std::string path, UtilitySettings& settings, PlatformServices* services) {
  ConfigFile file;
  file.path = std::move(path);
  file.lineEnd = ConfigLineEnd::Lf;
  file.checkRealRange = true;
  file.keys = BuildUtilityKeys(settings);
  file.services = services;
  return file;
}

}  // namespace zrm
