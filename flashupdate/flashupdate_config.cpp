#include "flashupdate/flashupdate_config.h"

#include <utility>

namespace zrm {

std::vector<ConfigKey> BuildFlashUpdateKeys(FlashUpdateSettings& s) {
  std::vector<ConfigKey> keys;
  keys.push_back(IdentificationKey("[ID]", FLASHUPDATE_CONFIG_ID));
  keys.push_back(TextKey("[PORT]", PORT_NAME_LONGEST, "COM2", s.port));
  keys.push_back(IntegerKey("[XPOSHWND]", -1, 1280, "-1", s.mainWindowX));
  keys.push_back(IntegerKey("[YPOSHWND]", -1, 1024, "-1", s.mainWindowY));
  keys.push_back(TextKey("[FLSHBIN]", 1023, "C:\\", s.flashBin.path));
  keys.push_back(TextKey("[FLSHBINFILE]", 1023, "", s.flashBin.name));
  keys.push_back(TextKey("[FLSHBINPATH]", 1023, "", s.flashBin.folder));
  return keys;
}

ConfigFile MakeFlashUpdateConfig(std::string path, FlashUpdateSettings& settings, PlatformServices* services) {
  ConfigFile file;
  file.path = std::move(path);
  file.lineEnd = ConfigLineEnd::Lf;
  file.checkRealRange = true;
  file.keys = BuildFlashUpdateKeys(settings);
  file.services = services;
  return file;
}

}  // namespace zrm
