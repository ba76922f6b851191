#include "flash/flash_ticks.h"

#include <chrono>

namespace zrm {

FlashTickTimer::~FlashTickTimer() { Stop(); }

void FlashTickTimer::Start() {
  Stop();
  ticks_.store(0, std::memory_order_release);
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void FlashTickTimer::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void FlashTickTimer::Run() {
  // Ticks fall due on a fixed schedule from the start, so a late wake-up does
  // not push every later tick back.
  using Clock = std::chrono::steady_clock;
  Clock::time_point due = Clock::now();
  std::unique_lock lock(mutex_);
  for (;;) {
    due += std::chrono::milliseconds(FLASH_TICK_MS);
    if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
    ticks_.fetch_add(1, std::memory_order_acq_rel);
  }
}

}  // namespace zrm
