// What the fuzz targets share: a silent stand-in for the platform services,
// a private scratch folder per process, and a way to write an input to a file
// for the readers that take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/services.h"

namespace zrm::fuzz {

class SilentServices : public PlatformServices {
 public:
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override { ++messages; }
  void Beep(unsigned) override {}
  int messages = 0;
};

// A file in this process's scratch folder (made on first use, mode 0700).
std::string ScratchPath(const char* name);

// Writes the bytes to the path, replacing it; aborts on failure (the target
// would test nothing otherwise).
void WriteFileOrDie(const std::string& path, const std::uint8_t* data, std::size_t size);

std::string ReadFileOrDie(const std::string& path);

// Stops the fuzzer with a message when a property does not hold.
[[noreturn]] void Fail(const char* what);
inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

}  // namespace zrm::fuzz
