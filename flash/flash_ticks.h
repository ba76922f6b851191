// FlashTicks: the 100 ms clock of the flash link's time limits, advanced by a
// timer thread while the flash window is open (vistrel) or for the program's
// whole life (the update utility).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace zrm {

constexpr int FLASH_TICK_MS = 100;

class FlashTickTimer {
 public:
  FlashTickTimer() = default;
  ~FlashTickTimer();
  FlashTickTimer(const FlashTickTimer&) = delete;
  FlashTickTimer& operator=(const FlashTickTimer&) = delete;

  // Resets the counter to 0 and starts ticking; a running timer restarts.
  void Start();
  // Stops ticking; the counter keeps its value.
  void Stop();
  bool Running() const { return thread_.joinable(); }

  std::uint32_t Ticks() const { return ticks_.load(std::memory_order_acquire); }
  const std::atomic<std::uint32_t>& Counter() const { return ticks_; }

 private:
  void Run();

  std::atomic<std::uint32_t> ticks_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace zrm
