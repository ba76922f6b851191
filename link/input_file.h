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

  // 0, or -1 when the file cannot be opened.
  int Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // The next byte, or -1 at the end of the file (or on a read error).
  int Next() {
    if (pos_ < len_) return buffer_[pos_++];
    return Refill();
  }

  // Position of the next byte from the start of the file.
  std::int64_t Tell() const { return base_ + static_cast<std::int64_t>(pos_); }
  // Moves to an absolute position; 0, or -1 when the position is not valid.
  int Seek(std::int64_t position);
  // Moves by a relative amount (negative: back); clamped at the start.
  int SeekBy(std::int64_t delta) { return Seek(Tell() + delta < 0 ? 0 : Tell() + delta); }
  // Size of the file in bytes, or -1.
  std::int64_t Size() const;

 private:
  int Refill();

  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::int64_t base_ = 0;  // file position of buffer_[0]
};

}  // namespace zrm
