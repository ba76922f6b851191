// Where a program's own files live.
#pragma once

#include <string>

namespace zrm {

// Absolute folder of the running executable, with a trailing separator; empty
// when it cannot be found.
std::string ExecutableFolder();

// True when a new file can be created in the folder.
bool FolderIsWritable(const std::string& folder);

// The user's configuration folder for the tool set (created when missing), with
// a trailing separator: $XDG_CONFIG_HOME/zrm or ~/.config/zrm on POSIX,
// %APPDATA%\ZRM on Windows.
std::string UserConfigFolder();

}  // namespace zrm
