#include "platform/temp_file.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace zrm {

std::string TemporaryFolder() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length > MAX_PATH) return ".\\";
  std::string folder(buffer, length);
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

std::FILE* CreateTemporaryFile(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "w+b");
  if (!file) _close(fd);
  return file;
}

}  // namespace zrm
