// Line faults the simulated ECM can put on its stream, each from a seeded
// generator so a run can be repeated:
//
//   noise  after about one frame in four, 1 to 24 random bytes (a few of them
//          sync bytes, so readers meet false starts)
//   flip   about one frame in eight has one bit flipped (its sum then fails)
//   drop   about one frame in eight loses 1 to 3 bytes
//   stall  every 5 to 15 s the stream pauses for 1 to 2 s
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace zrm::sim {

struct FaultOptions {
  bool noise = false;
  bool flip = false;
  bool drop = false;
  bool stall = false;
};

class FaultInjector {
 public:
  FaultInjector(std::uint32_t seed, const FaultOptions& options);

  // Damages one encoded frame in place as the options say and appends any
  // noise after it.
  void Apply(std::vector<std::uint8_t>& frame);

  // True while a stall pauses the stream. nowMs counts from the start of the
  // stream and must not go back.
  bool Stalled(std::int64_t nowMs);

 private:
  int Uniform(int lo, int hi);  // lo..hi inclusive
  bool OneIn(int n) { return Uniform(1, n) == 1; }

  FaultOptions options_;
  std::mt19937 random_;
  std::int64_t stallStartMs_ = -1;
  std::int64_t stallEndMs_ = -1;
};

}  // namespace zrm::sim
