// Where a program's configuration file lies.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zrm {

// The Windows programs' rule: from the command line whose first item is the
// quoted executable path followed by a blank, keep at most 1012 characters,
// drop the opening quote and the closing quote with the blank behind it, and
// put the file name after the last backslash. No configuration (nullopt) when
// no backslash is left, or when the command line does not open with a quote:
// the rule would then cut into the executable's own name.
std::optional<std::string> ConfigPathFromCommandLine(std::string_view commandLine, std::string_view fileName);

// The rule on our platforms, as a pure choice: beside the executable when its
// folder (with trailing separator) is known and writable, else in the user's
// configuration folder; empty when neither is available. The result always
// ends in the file name, so it is never the executable itself.
std::string ChooseConfigPath(const std::string& executableFolder, bool executableFolderWritable,
                             const std::string& userConfigFolder, std::string_view fileName);

// True when the program runs from an installation (cmake --install or the
// package): <folder>/../share/zrm/installed exists beside its bin folder.
// Its configuration then lives in the user's folder.
bool IsInstalledProgram(const std::string& executableFolder);

// ChooseConfigPath applied to the running program (platform/paths.h).
std::string LocateConfigFile(std::string_view fileName);

}  // namespace zrm
