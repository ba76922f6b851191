#include "platform/durable_file.h"

#include <windows.h>
#include <io.h>

// windows.h maps ReplaceFile to ReplaceFileA; ours is zrm::ReplaceFile.
#undef ReplaceFile

#include <cstdio>

namespace zrm {

std::FILE* CreateFileExclusive(const std::string& path) { return std::fopen(path.c_str(), "wbx"); }

int SyncFile(std::FILE* file) {
  if (file == nullptr || std::fflush(file) != 0) return -1;
  return _commit(_fileno(file)) == 0 ? 0 : -1;
}

int SyncFolderOf(const std::string& path) {
  (void)path;  // NTFS journals its folder entries
  return 0;
}

int MakeFileReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
  return SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY) ? 0 : -1;
}

int ReplaceFile(const std::string& source, const std::string& target) {
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

int PublishFileExclusive(const std::string& source, const std::string& target) {
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

int RemoveFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return DeleteFileA(path.c_str()) ? 0 : -1;
}

}  // namespace zrm
