#include "link/input_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zrm {

#ifdef _WIN32
#define ZRM_FSEEK _fseeki64
#define ZRM_FTELL _ftelli64
#else
#define ZRM_FSEEK fseeko
#define ZRM_FTELL ftello
#endif

int InputFile::Open(const std::string& path) {
  Close();
  // Only a regular file is a log: a folder reads as nothing, a FIFO would
  // block the open, and /dev/zero never ends.
  std::error_code ec;
  const auto type = std::filesystem::status(path, ec).type();
  if (!ec && type != std::filesystem::file_type::regular) {
    errno = type == std::filesystem::file_type::directory ? EISDIR : EINVAL;
    return -1;
  }
  file_ = std::fopen(path.c_str(), "rb");
  return file_ ? 0 : -1;
}

const char* OpenErrorText(int error) { return error == EINVAL ? "not a regular file" : std::strerror(error); }

void InputFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  pos_ = len_ = 0;
  base_ = 0;
  readError_ = false;
}

int InputFile::Refill() {
  if (!file_) return -1;
  base_ += static_cast<std::int64_t>(len_);
  pos_ = len_ = 0;
  len_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  if (len_ == 0) {
    if (std::ferror(file_)) readError_ = true;
    return -1;
  }
  return buffer_[pos_++];
}

int InputFile::Seek(std::int64_t position) {
  if (!file_ || position < 0) return -1;
  // Within the buffer (the frame reader's short step-backs) no system call is needed.
  if (position >= base_ && position <= base_ + static_cast<std::int64_t>(len_)) {
    pos_ = static_cast<std::size_t>(position - base_);
    return 0;
  }
  if (ZRM_FSEEK(file_, position, SEEK_SET) != 0) return -1;
  base_ = position;
  pos_ = len_ = 0;
  return 0;
}

std::int64_t InputFile::Size() const {
  if (!file_) return -1;
  std::int64_t here = ZRM_FTELL(file_);
  if (ZRM_FSEEK(file_, 0, SEEK_END) != 0) return -1;
  std::int64_t size = ZRM_FTELL(file_);
  ZRM_FSEEK(file_, here, SEEK_SET);
  return size;
}

}  // namespace zrm
