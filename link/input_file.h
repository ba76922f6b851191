// A log file read byte by byte through a large buffer, with the relative and
// absolute seeks that playback and the frame reader's step-back need.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zrm {

class InputFile {
 public:
  InputFile() : buffer_(1 << 16) {}
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // 0, or -1 (errno set) when the file cannot be opened or is not a regular
  // file (EISDIR for a folder, EINVAL for a FIFO or a device).
  int Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // The next byte, or -1 at the end of the file or on a read error
  // (ReadError() tells them apart).
  int Next() {
    if (pos_ < len_) return buffer_[pos_++];
    return Refill();
  }

  // The bytes buffered after the next one's position (n 0 when the buffer is
  // used up: Next() then refills), for readers that scan in blocks.
  const std::uint8_t* Window(std::size_t* n) const {
    *n = len_ - pos_;
    return buffer_.data() + pos_;
  }
  // Takes k bytes of the window (k at most its size).
  void Advance(std::size_t k) { pos_ += k; }

  // Position of the next byte from the start of the file.
  std::int64_t Tell() const { return base_ + static_cast<std::int64_t>(pos_); }
  // Moves to an absolute position; 0, or -1 when the position is not valid.
  int Seek(std::int64_t position);
  // Moves by a relative amount (negative: back); clamped at the start.
  int SeekBy(std::int64_t delta) { return Seek(Tell() + delta < 0 ? 0 : Tell() + delta); }
  // Size of the file in bytes, or -1.
  std::int64_t Size() const;
  // The data ended on a read error rather than at the end of the file.
  bool ReadError() const { return readError_; }

 private:
  int Refill();

  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::int64_t base_ = 0;  // file position of buffer_[0]
  bool readError_ = false;
};

// The reason an Open failed, from its errno: a FIFO or a device is "not a
// regular file" rather than the system's "Invalid argument".
const char* OpenErrorText(int error);

}  // namespace zrm
