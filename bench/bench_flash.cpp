// Programming and verifying one bank against the simulated ECM paced at
// 57600 baud, through the real link and a pseudo-terminal, as the flash
// window's Program does. Beside the time taken it reports the floor: the
// time the operation's bytes (both ways) need on the wire at 5760 bytes a
// second plus the protocol's fixed pauses (X 0 60 ms, B 60 ms, after B 60 ms,
// F 120 + 10 ms), and their ratio. The simulator paces both directions, so
// the distance to the floor is the link's and the protocol's own overhead.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/flash_bench_rig.h"
#include "flash/bank_procedures.h"

namespace {

using zrm::bench::kWireBytesPerSecond;
constexpr double kFixedPausesSeconds = 0.060 + 0.060 + 0.060 + 0.120 + 0.010;

void ProgramAndVerifyOneBank(benchmark::State& state) {
  const bool sst = state.range(0) != 0;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "zrm-bench-flash";
  std::filesystem::create_directories(folder);
  const std::string tty = (folder / "tty").string();
  const std::string binPath = (folder / "bank.bin").string();

  std::vector<std::uint8_t> bin(16384);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>(i * 11 + 5);
  bin[2] = 'Z', bin[3] = 'R', bin[4] = 'M', bin[5] = 'F';
  if (std::FILE* f = std::fopen(binPath.c_str(), "wb")) {
    std::fwrite(bin.data(), 1, bin.size(), f);
    std::fclose(f);
  }

  zrm::sim::FlashLoaderOptions loaderOptions;
  loaderOptions.sst = sst;
  zrm::bench::FlashBenchRig rig(tty, loaderOptions, zrm::LinkSettings::Vistrel(),
                                zrm::FlashProtocolSettings::Vistrel());
  if (!rig.started) {
    state.SkipWithError("cannot start the simulated ECM");
    return;
  }
  zrm::SleepMs(100);  // the link's own "stream on" leaves the slot first
  auto& ecm = rig.ecm;
  auto& loader = rig.loader;
  auto& messages = rig.messages;
  auto& protocol = rig.protocol;

  double wireSeconds = 0;
  double tookSeconds = 0;
  int runs = 0;
  for (auto _ : state) {
    const std::size_t hostBefore = ecm.ReceivedBytes().size();
    const std::uint64_t answersBefore = loader->AnswerBytes();
    const std::int64_t start = zrm::MonotonicMs();
    zrm::PrepareBankOperation(protocol, 2);
    const int result = zrm::ProgramBankFromFile(protocol, {true, true}, binPath, messages);
    tookSeconds += (zrm::MonotonicMs() - start) / 1000.0;
    if (result != 0) {
      state.SkipWithError(("programming failed: " + messages.last).c_str());
      break;
    }
    const double answerBytes = static_cast<double>(loader->AnswerBytes() - answersBefore);
    const double bytes = static_cast<double>(ecm.ReceivedBytes().size() - hostBefore) + answerBytes;
    wireSeconds += bytes / kWireBytesPerSecond + kFixedPausesSeconds;
    ++runs;
  }
  if (runs > 0) {
    state.counters["took_s"] = tookSeconds / runs;
    state.counters["wire_floor_s"] = wireSeconds / runs;
    state.counters["ratio"] = tookSeconds / wireSeconds;
  }
}

BENCHMARK(ProgramAndVerifyOneBank)
    ->ArgName("sst")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
