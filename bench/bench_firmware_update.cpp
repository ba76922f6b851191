// The firmware update of all eight banks against the simulated ECM at
// 57600 baud, through the update utility's link and a pseudo-terminal, as
// "Proceed With Update" runs it. Every bank holds an older version, so each
// is read, converted, programmed (32 calibration and 96 firmware pages) and
// read back twice.
//
// The simulator paces both directions at line speed. The floor is the time all bytes, both
// ways, need at 5760 bytes a second plus the procedure's fixed pauses (X 0
// 60 ms, F 60 ms, 100 ms before each new file is written); `ratio` is the
// time taken over that floor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/flash_bench_rig.h"
#include "flashupdate/update_ecm.h"
#include "sim/synthetic_firmware.h"
#include "sim/versioned_banks.h"

namespace {

using zrm::bench::kWireBytesPerSecond;
constexpr double kFixedPausesSeconds = 0.060 + 0.060 + 8 * 0.100;

void UpdateAllEightBanks(benchmark::State& state) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "zrm-bench-firmware-update";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string tty = (folder / "tty").string();

  zrm::bench::FlashBenchRig rig(tty, zrm::sim::FlashLoaderOptions{}, zrm::LinkSettings::FlashUpdate(),
                                zrm::FlashProtocolSettings::FlashUpdate());
  if (!rig.started) {
    state.SkipWithError("cannot start the simulated ECM");
    return;
  }
  auto& ecm = rig.ecm;
  auto& loader = rig.loader;
  auto& messages = rig.messages;
  auto& protocol = rig.protocol;
  zrm::FirmwareImage image;
  image.bytes = zrm::sim::SyntheticFirmwareImage();
  zrm::UpdateRunState run;

  std::error_code ignored;
  const char* versions[8] = {"2.0", "2.1", "2.2", "2.4", "2.5", "2.6", "2.6", "2.4"};
  double floorSeconds = 0;
  double tookSeconds = 0;
  int runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int b = 0; b < 8; ++b) {
      const auto* v = zrm::sim::FindBankVersion(versions[b]);
      loader->SetBank(b, zrm::sim::VersionedBank(b, v->layout, v->key));
      std::filesystem::path old = folder / ("Bank_" + std::to_string(b) + "_old.bin");
      std::filesystem::permissions(old, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                   ignored);
      std::filesystem::remove(old, ignored);
    }
    state.ResumeTiming();

    const std::size_t sentBefore = ecm.ReceivedBytes().size();
    const std::uint64_t answersBefore = loader->AnswerBytes();
    zrm::UpdateEnvironment environment;
    environment.folder = folder.string() + "/";
    environment.image = &image;
    environment.convert.run = &run;
    environment.convert.pause = zrm::SleepMs;
    const std::int64_t start = zrm::MonotonicMs();
    const int result = zrm::UpdateEcm(protocol, messages, environment);
    tookSeconds += (zrm::MonotonicMs() - start) / 1000.0;
    if (result != 0) {
      state.SkipWithError(("the update failed: " + messages.last).c_str());
      break;
    }
    const double sent = static_cast<double>(ecm.ReceivedBytes().size() - sentBefore);
    const double answers = static_cast<double>(loader->AnswerBytes() - answersBefore);
    floorSeconds += (sent + answers) / kWireBytesPerSecond + kFixedPausesSeconds;
    ++runs;
    state.counters["sent_bytes"] = sent;
    state.counters["answer_bytes"] = answers;
  }
  if (runs > 0) {
    state.counters["took_s"] = tookSeconds / runs;
    state.counters["floor_s"] = floorSeconds / runs;
    state.counters["ratio"] = tookSeconds / floorSeconds;
  }

  for (int b = 0; b < 8; ++b) {
    std::filesystem::path old = folder / ("Bank_" + std::to_string(b) + "_old.bin");
    std::filesystem::permissions(old, std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(folder, ignored);
}

BENCHMARK(UpdateAllEightBanks)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
