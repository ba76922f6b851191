#include "platform/temp_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zrm {

std::string TemporaryFolder() {
  std::string folder;
  if (const char* dir = std::getenv("TMPDIR"); dir && dir[0] == '/') folder = dir;
  if (folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::FILE* CreateTemporaryFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  // Nameless from here on: nobody else can open it, and it vanishes with the
  // last descriptor, also when the program ends without closing it.
  ::unlink(path.c_str());
  std::FILE* file = ::fdopen(fd, "w+b");
  if (!file) {
    int saved = errno;
    ::close(fd);
    errno = saved;
  }
  return file;
}

}  // namespace zrm
