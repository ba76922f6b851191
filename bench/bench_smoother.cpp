// One VE table smoothing (fit, grid evaluation, rounding) on the standard and
// the extended table, as WriteBinVeTable runs it before each BIN write.
// bench/scipy_smoother_bench.py times SciPy on the same tables.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "velearn/smoother.h"

namespace {

// A VE-like ramp with pseudo-random noise of -4..4; the same integer recipe
// as scipy_smoother_bench.py, so both time the same tables.
zrm::LearnedVeTable BenchTable(bool extended) {
  zrm::LearnedVeTable t;
  t.extended = extended;
  zrm::SetVeTableAxes(t.table, extended);
  std::uint32_t state = 12345;
  for (int r = 1; r <= zrm::VeRowCount(extended); ++r) {
    for (int c = 1; c <= zrm::VE_MAP_COLUMNS; ++c) {
      state = (state * 1103515245u + 12345u) & 0x7FFFFFFFu;
      int noise = static_cast<int>((state >> 16) % 9) - 4;
      int v = 50 + 2 * r + 8 * c + noise;
      t.table[r][c] = static_cast<std::uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
  }
  return t;
}

void SmoothOnce(benchmark::State& state, bool extended) {
  const double s = static_cast<double>(state.range(0));
  const zrm::LearnedVeTable input = BenchTable(extended);
  zrm::SmootherState storage;
  int code = 0;
  for (auto _ : state) {
    zrm::LearnedVeTable t = input;
    code = zrm::SmoothVeTable(t, s, storage);
    benchmark::DoNotOptimize(t);
  }
  state.counters["code"] = code;
  state.counters["fp"] = storage.fp;
  state.counters["knots_x"] = storage.nx;
  state.counters["knots_y"] = storage.ny;
}

void BM_SmoothStandard(benchmark::State& state) { SmoothOnce(state, false); }
void BM_SmoothExtended(benchmark::State& state) { SmoothOnce(state, true); }

BENCHMARK(BM_SmoothStandard)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SmoothExtended)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace
