#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace zrm::fuzz {

namespace {

// Kept in plain storage so that it outlives the strings at exit.
char scratchFolder[64];

void RemoveScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchFolder, ignored);
}

}  // namespace

std::string ScratchPath(const char* name) {
  static std::string folder = [] {
    // Memory-backed when there is one: the writers sync every file they
    // replace, which on a disk would cap a target at tens of inputs a second.
    char shm[] = "/dev/shm/zrm-fuzz-XXXXXX";
    char tmp[] = "/tmp/zrm-fuzz-XXXXXX";
    const char* made = mkdtemp(shm);
    if (made == nullptr) made = mkdtemp(tmp);
    if (made == nullptr) Fail("cannot make a scratch folder");
    std::strncpy(scratchFolder, made, sizeof scratchFolder - 1);
    std::atexit(RemoveScratchFolder);
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
