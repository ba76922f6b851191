#include "platform/paths.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zrm {

namespace {

std::string WithTrailingSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// Creates the folder and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string ExecutableFolder() {
  char buffer[4096];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return {};
  std::string path(buffer, static_cast<std::size_t>(length));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash + 1);
}

bool FolderIsWritable(const std::string& folder) {
  if (folder.empty() || access(folder.c_str(), W_OK | X_OK) != 0) return false;
  // access() can say yes where a create still fails (read-only mounts seen
  // through some file systems, ACLs), so a probe file settles it. It is created
  // exclusively and never through a link, then removed.
  static std::atomic<unsigned> counter{0};
  std::string probe = WithTrailingSlash(folder) + ".zrm-probe-" + std::to_string(getpid()) + "-" +
                      std::to_string(counter.fetch_add(1));
  int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}

std::string UserConfigFolder() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // Relative values are to be ignored.
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      const passwd* entry = getpwuid(getuid());
      home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/') return {};
    base = WithTrailingSlash(home) + ".config";
  }
  std::string folder = WithTrailingSlash(base) + "zrm";
  if (!MakeFolders(folder)) return {};
  return folder + "/";
}

}  // namespace zrm
