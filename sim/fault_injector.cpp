#include "sim/fault_injector.h"

namespace zrm::sim {

FaultInjector::FaultInjector(std::uint32_t seed, const FaultOptions& options)
    : options_(options), random_(seed) {}

int FaultInjector::Uniform(int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(random_);
}

void FaultInjector::Apply(std::vector<std::uint8_t>& frame) {
  if (frame.empty()) return;
  if (options_.flip && OneIn(8)) {
    std::size_t at = static_cast<std::size_t>(Uniform(0, static_cast<int>(frame.size()) - 1));
    frame[at] = static_cast<std::uint8_t>(frame[at] ^ (1u << Uniform(0, 7)));
  }
  if (options_.drop && OneIn(8)) {
    int lose = Uniform(1, 3);
    for (int i = 0; i < lose && !frame.empty(); ++i)
      frame.erase(frame.begin() + Uniform(0, static_cast<int>(frame.size()) - 1));
  }
  if (options_.noise && OneIn(4)) {
    int count = Uniform(1, 24);
    for (int i = 0; i < count; ++i) {
      int pick = Uniform(0, 9);
      std::uint8_t b = pick == 0 ? 0x55 : pick == 1 ? 0xAA : static_cast<std::uint8_t>(Uniform(0, 255));
      frame.push_back(b);
    }
  }
}

bool FaultInjector::Stalled(std::int64_t nowMs) {
  if (!options_.stall) return false;
  if (stallStartMs_ < 0) {
    stallStartMs_ = nowMs + Uniform(5000, 15000);
    stallEndMs_ = stallStartMs_ + Uniform(1000, 2000);
  }
  while (nowMs >= stallEndMs_) {
    stallStartMs_ = stallEndMs_ + Uniform(5000, 15000);
    stallEndMs_ = stallStartMs_ + Uniform(1000, 2000);
  }
  return nowMs >= stallStartMs_ && nowMs < stallEndMs_;
}

}  // namespace zrm::sim
