// Small helpers shared by the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zrm::test {

// A fresh private folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A runtime frame as it goes on the wire: sync pair, payload, checksum.
std::vector<std::uint8_t> WireFrame(const std::vector<std::uint8_t>& payload);

// Appends text bytes to a byte vector.
void AppendText(std::vector<std::uint8_t>& bytes, const std::string& text);

// One argument of a command line for RunCommand or std::system, quoted for
// the platform's shell (sh, or cmd.exe on Windows).
std::string ShellQuote(const std::string& argument);

// Runs a command line through the shell; returns its exit status and fills
// `output` with what it wrote to standard output.
int RunCommand(const std::string& command, std::string* output);

// Polls `pred` every 2 ms until it holds or `ms` milliseconds have passed;
// the last answer of `pred`.
bool WaitFor(const std::function<bool()>& pred, int ms = 3000);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileText(const std::string& path);

}  // namespace zrm::test
