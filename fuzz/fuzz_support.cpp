#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace zrm::fuzz {

std::string ScratchPath(const char* name) {
  static std::string folder = [] {
    char pattern[] = "/tmp/zrm-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) Fail("cannot make a scratch folder");
    return std::string(made);
  }();
  return folder + "/" + name;
}

void WriteFileOrDie(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot write a scratch file");
  if (size > 0 && std::fwrite(data, 1, size, f) != size) Fail("short write of a scratch file");
  if (std::fclose(f) != 0) Fail("cannot close a scratch file");
}

std::string ReadFileOrDie(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read a scratch file");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz property failed: %s\n", what);
  std::abort();
}

}  // namespace zrm::fuzz
