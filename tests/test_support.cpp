#include "test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

namespace zrm::test {

TempDir::TempDir() {
  std::random_device rd;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / ("zrm-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::uint8_t> WireFrame(const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> wire;
  wire.reserve(payload.size() + 4);
  wire.push_back(0x55);
  wire.push_back(0xAA);
  unsigned sum = 0xFF;
  for (std::uint8_t b : payload) {
    sum += b;
    wire.push_back(b);
  }
  wire.push_back(static_cast<std::uint8_t>((sum >> 8) & 0xFF));
  wire.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return wire;
}

void AppendText(std::vector<std::uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

std::string ShellQuote(const std::string& argument) {
#ifdef _WIN32
  return "\"" + argument + "\"";  // paths hold no quote on Windows
#else
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

int RunCommand(const std::string& command, std::string* output) {
#ifdef _WIN32
  // cmd.exe takes the line and drops its outermost pair of quotes; binary
  // mode keeps the program's bytes as written.
  std::FILE* pipe = _popen(("\"" + command + "\"").c_str(), "rb");
#else
  std::FILE* pipe = popen(command.c_str(), "r");
#endif
  if (!pipe) return -1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    if (output) output->append(buffer, n);
  }
#ifdef _WIN32
  return _pclose(pipe);  // the exit code itself
#else
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

bool WaitFor(const std::function<bool()>& pred, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pred();
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace zrm::test
