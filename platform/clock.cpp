#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace zrm {

void SleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string LocalTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%4d - %02d:%02d:%02d", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace zrm
