// vistrel's configuration as the offline commands use it: the file named with
// --config, else the one beside zrmtool (or in the user's folder), else the
// start values. The unit switches are applied as vistrel applies them.
#pragma once

#include <string>

#include "config/config_file.h"
#include "devices/user_devices.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"

namespace zrm {
class OfflinePass;
}  // namespace zrm

namespace zrm::tool {

struct ToolConfig {
  VistrelSettings settings;
  ConfigFile config;
  // The user devices and ADC channels of the configuration, set up as vistrel
  // sets them up at start (BuildAvailableDevices, BuildChannelStates).
  UserDevices devices{settings};
};

// The offline pass's frame processing converts the channels once per frame
// (UpdateUserDevices with "all" 0, as vistrel does); an export that writes
// every channel calls config.devices.UpdateUserDevices(frame, 1) itself.
void AttachUserDevices(ToolConfig& config, OfflinePass& pass);

// Removes "--config FILE" from argv (argc updated). 0, or -1 when --config has
// no value or FILE cannot be read (message printed).
int LoadToolConfig(int& argc, char** argv, ToolConfig& out, PlatformServices* services);

}  // namespace zrm::tool
