#include "config/config_location.h"

#include <filesystem>

#include "platform/paths.h"

namespace zrm {

namespace {

// The Windows programs copy the command line into a buffer of this many characters.
constexpr std::size_t COMMAND_LINE_COPY = 1012;

}  // namespace

std::optional<std::string> ConfigPathFromCommandLine(std::string_view commandLine, std::string_view fileName) {
  if (commandLine.empty() || commandLine.front() != '"') return std::nullopt;
  std::string_view copy = commandLine.substr(0, COMMAND_LINE_COPY);
  copy.remove_prefix(1);
  copy.remove_suffix(copy.size() < 2 ? copy.size() : 2);
  std::size_t lastBackslash = copy.rfind('\\');
  if (lastBackslash == std::string_view::npos) return std::nullopt;
  std::string path(copy.substr(0, lastBackslash + 1));
  path += fileName;
  return path;
}

std::string ChooseConfigPath(const std::string& executableFolder, bool executableFolderWritable,
                             const std::string& userConfigFolder, std::string_view fileName) {
  if (fileName.empty()) return {};
  std::string folder = !executableFolder.empty() && executableFolderWritable ? executableFolder : userConfigFolder;
  if (folder.empty()) return {};
  return folder + std::string(fileName);
}

bool IsInstalledProgram(const std::string& executableFolder) {
  std::error_code ec;
  return !executableFolder.empty() &&
         std::filesystem::is_regular_file(executableFolder + "../share/zrm/installed", ec);
}

std::string LocateConfigFile(std::string_view fileName) {
  std::string executableFolder = ExecutableFolder();
  // An installed program's folder is the system's, whoever may write to it.
  bool writable = !executableFolder.empty() && FolderIsWritable(executableFolder) &&
                  !IsInstalledProgram(executableFolder);
  // The user's folder is only looked up (and created) when it is needed.
  std::string userFolder = writable ? std::string() : UserConfigFolder();
  return ChooseConfigPath(executableFolder, writable, userFolder, fileName);
}

}  // namespace zrm
