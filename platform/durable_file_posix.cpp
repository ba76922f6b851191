#include "platform/durable_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace zrm {

std::FILE* CreateFileExclusive(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(path.c_str());
  }
  return file;
}

int SyncFile(std::FILE* file) {
  if (file == nullptr || std::fflush(file) != 0) return -1;
  return ::fsync(::fileno(file)) == 0 ? 0 : -1;
}

int SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int result = ::fsync(fd) == 0 ? 0 : -1;
  ::close(fd);
  return result;
}

int MakeFileReadOnly(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  const mode_t mode = info.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH) & 07777;
  return ::chmod(path.c_str(), mode) == 0 ? 0 : -1;
}

int ReplaceFile(const std::string& source, const std::string& target) {
  return std::rename(source.c_str(), target.c_str()) == 0 ? 0 : -1;
}

int PublishFileExclusive(const std::string& source, const std::string& target) {
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  // A file system without the exclusive rename: a link fails on an existing
  // name just the same.
  if (::link(source.c_str(), target.c_str()) != 0) return -1;
  ::unlink(source.c_str());
  return 0;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : -1; }

}  // namespace zrm
