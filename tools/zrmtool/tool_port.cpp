#include "tools/zrmtool/tool_port.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/serial_port.h"

namespace zrm::tool {

bool PortNameUsable(const char* command, const char* port) {
  const std::string device = SerialDevicePath(port);
  if (device.empty()) {
    std::fprintf(stderr, "zrmtool %s: '%s' does not name a device in /dev\n", command, port);
    return false;
  }
  if (IsNonDevicePath(device)) {
    std::fprintf(stderr, "zrmtool %s: '%s' is not a serial port (not a terminal device)\n", command, port);
    return false;
  }
  return true;
}

void ReportPortNeverOpened(const char* command, const char* port) {
  const std::string device = std::filesystem::path(SerialDevicePath(port)).lexically_normal().string();
  if (device == port) {
    std::fprintf(stderr, "zrmtool %s: port '%s' did not open\n", command, port);
  } else {
    std::fprintf(stderr, "zrmtool %s: port '%s' (%s) did not open\n", command, port, device.c_str());
  }
}

bool ParseSeconds(const char* text, long* value, long smallest) {
  constexpr long kLongest = 1000000000L;
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (*end != '\0') return false;
  if (errno == ERANGE || v > kLongest) v = kLongest;
  if (v < smallest) return false;
  *value = v;
  return true;
}

}  // namespace zrm::tool
