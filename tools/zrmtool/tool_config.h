// vistrel's configuration as the offline commands use it: the file named with
// --config, else the one beside zrmtool (or in the user's folder), else the
// start values. The unit switches are applied as vistrel applies them.
#pragma once

#include <string>

#include "config/config_file.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"

namespace zrm::tool {

struct ToolConfig {
  VistrelSettings settings;
  ConfigFile config;
};

// Removes "--config FILE" from argv (argc updated). 0, or -1 when --config has
// no value or FILE cannot be read (message printed).
int LoadToolConfig(int& argc, char** argv, ToolConfig& out, PlatformServices* services);

}  // namespace zrm::tool
