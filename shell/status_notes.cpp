#include "shell/status_notes.h"

#include <cstdio>

namespace zrm {

bool StreamWatch::Poll(std::int64_t nowMs, std::uint64_t frames, bool portOpen) {
  if (!polled_ || portOpen != portOpen_ || frames != frames_) lastSignMs_ = nowMs;
  polled_ = true;
  portOpen_ = portOpen;
  frames_ = frames;
  const bool noData = portOpen && nowMs - lastSignMs_ >= NO_DATA_AFTER_MS;
  return noData_.exchange(noData, std::memory_order_acq_rel) != noData;
}

void LogKeyNote::Marker(std::int64_t nowMs, int number) {
  shownAtMs_ = nowMs;
  shown_.store(number < 0 ? 0 : number % 1000, std::memory_order_release);
}

void LogKeyNote::TimeStamp(std::int64_t nowMs) {
  shownAtMs_ = nowMs;
  shown_.store(NOTE_TIME_STAMP, std::memory_order_release);
}

bool LogKeyNote::Expire(std::int64_t nowMs) {
  if (shown_.load(std::memory_order_acquire) == NOTE_NONE || nowMs - shownAtMs_ < LOG_NOTE_MS) return false;
  shown_.store(NOTE_NONE, std::memory_order_release);
  return true;
}

std::string LogKeyNote::Text() const {
  const int shown = shown_.load(std::memory_order_acquire);
  if (shown == NOTE_NONE) return {};
  if (shown == NOTE_TIME_STAMP) return "Time Stamp";
  char text[16];
  std::snprintf(text, sizeof text, "MARK %03d", shown);
  return text;
}

}  // namespace zrm
