// The frame reader over a 100 MB synthetic data log: frames with time stamps
// and markers inserted between and inside them, and some bad sums, read from a
// file as log analysis and export read them. Reports bytes per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "link/frame_reader.h"
#include "link/frame_source.h"
#include "link/input_file.h"

namespace {

constexpr std::size_t kLogBytes = 100u * 1000u * 1000u;

struct SyntheticLog {
  std::string path;
  std::size_t bytes = 0;
  std::size_t frames = 0;

  SyntheticLog() {
    path = (std::filesystem::temp_directory_path() / "zrm-bench-frames.dat").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::mt19937 rng(12345);
    std::vector<std::uint8_t> wire;
    const std::string stamp = "TIME: 12/09/2026 - 21:43:07";
    int mark = 0;
    while (bytes < kLogBytes) {
      std::vector<std::uint8_t> payload(273);
      for (auto& b : payload) b = static_cast<std::uint8_t>(rng() & 0xFF);
      unsigned sum = 0xFF;
      for (auto b : payload) sum += b;
      wire.assign({0x55, 0xAA});
      wire.insert(wire.end(), payload.begin(), payload.end());
      wire.push_back(static_cast<std::uint8_t>(sum >> 8));
      wire.push_back(static_cast<std::uint8_t>(sum));
      if (frames % 17 == 0) {  // a stamp a second, at a random place
        std::size_t at = rng() % wire.size();
        wire.insert(wire.begin() + static_cast<long>(at), stamp.begin(), stamp.end());
      }
      if (frames % 170 == 5) {  // a marker now and then
        char text[64];
        std::snprintf(text, sizeof text, "MARK%03dTIME: 12/09/2026 - 21:43:07", mark++ % 1000);
        std::size_t at = rng() % wire.size();
        wire.insert(wire.begin() + static_cast<long>(at), text, text + std::string(text).size());
      }
      if (frames % 97 == 3) wire[100] ^= 0x5A;  // a bad sum
      std::fwrite(wire.data(), 1, wire.size(), f);
      bytes += wire.size();
      ++frames;
    }
    std::fclose(f);
  }
  ~SyntheticLog() { std::remove(path.c_str()); }
};

void BM_ReadFrameOverLog(benchmark::State& state) {
  static SyntheticLog log;
  std::size_t accepted = 0, bad = 0;
  for (auto _ : state) {
    zrm::InputFile file;
    if (file.Open(log.path) != 0) {
      state.SkipWithError("cannot open the synthetic log");
      return;
    }
    zrm::FileSource source;
    source.idleAfterEnd = false;
    source.SetStream(true, &file);
    std::uint8_t frame[273];
    zrm::FrameTexts texts;
    accepted = bad = 0;
    for (;;) {
      int r = zrm::ReadFrame(source, frame, texts);
      if (r == zrm::FRAME_NO_DATA) break;
      if (r == zrm::FRAME_OK) ++accepted; else ++bad;
    }
    benchmark::DoNotOptimize(frame);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.bytes));
  state.counters["frames"] = static_cast<double>(accepted);
  state.counters["bad"] = static_cast<double>(bad);
}
BENCHMARK(BM_ReadFrameOverLog)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
