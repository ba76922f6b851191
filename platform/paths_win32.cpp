#include "platform/paths.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace zrm {

namespace {

std::string WithTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

}  // namespace

std::string ExecutableFolder() {
  char buffer[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(sizeof buffer));
  if (length == 0 || length >= sizeof buffer) return {};
  std::string path(buffer, length);
  std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string::npos) return {};
  return path.substr(0, separator + 1);
}

bool FolderIsWritable(const std::string& folder) {
  if (folder.empty()) return false;
  // A probe file created new and deleted on close settles it; attributes and
  // access lists alone do not tell whether a create succeeds.
  static std::atomic<unsigned> counter{0};
  std::string probe = WithTrailingBackslash(folder) + ".zrm-probe-" + std::to_string(GetCurrentProcessId()) +
                      "-" + std::to_string(counter.fetch_add(1));
  HANDLE handle = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

std::string UserConfigFolder() {
  const char* appData = std::getenv("APPDATA");
  if (appData == nullptr || appData[0] == '\0') return {};
  std::string folder = WithTrailingBackslash(appData) + "ZRM";
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return {};
  return folder + "\\";
}

}  // namespace zrm
