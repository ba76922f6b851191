#include "platform/durable_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace zrm {

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) RemoveFile(temporary_);
  temporary_.clear();
}

int ReplacingFile::Open(const std::string& path) {
  namespace fs = std::filesystem;
  Discard();
  failed_ = false;
  error_ = 0;
  std::error_code ec;
  // Through a link the file it names is replaced, not the link.
  target_ = path;
  if (fs::is_symlink(path, ec)) {
    fs::path resolved = fs::canonical(path, ec);
    if (ec) {
      errno = ENOENT;
      return -1;
    }
    target_ = resolved.string();
  }
  if (fs::is_directory(target_, ec)) {
    errno = EISDIR;
    return -1;
  }
  // A name of our own beside the target, taken exclusively.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = target_ + ".new" + (attempt ? std::to_string(attempt) : std::string());
    file_ = CreateFileExclusive(name);
    if (file_ != nullptr) {
      temporary_ = name;
      return 0;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

void ReplacingFile::Write(const void* data, std::size_t size) {
  if (failed_ || size == 0) return;
  if (file_ == nullptr || std::fwrite(data, 1, size, file_) != size) {
    failed_ = true;
    error_ = file_ == nullptr ? EBADF : errno;
  }
}

int ReplacingFile::Commit() {
  namespace fs = std::filesystem;
  if (file_ == nullptr) {
    errno = EBADF;
    return -1;
  }
  bool ok = !failed_;
  if (SyncFile(file_) != 0 && ok) {
    ok = false;
    error_ = errno;
  }
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    error_ = errno;
  }
  file_ = nullptr;
  std::error_code ec;
  const fs::file_status old = fs::status(target_, ec);
  if (ok && !ec && fs::exists(old)) fs::permissions(temporary_, old.permissions(), fs::perm_options::replace, ec);
  if (ok && ReplaceFile(temporary_, target_) != 0) {
    ok = false;
    error_ = errno;
  }
  if (!ok) {
    Discard();
    errno = error_ ? error_ : EIO;
    return -1;
  }
  temporary_.clear();
  SyncFolderOf(target_);
  return 0;
}

int WriteFileReplacing(const std::string& path, const void* data, std::size_t size) {
  ReplacingFile file;
  if (file.Open(path) != 0) return -1;
  file.Write(data, size);
  return file.Commit();
}

}  // namespace zrm
