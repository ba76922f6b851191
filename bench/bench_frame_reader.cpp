// The frame reader over a 100 MB synthetic data log: frames with time stamps
// and markers inserted between and inside them, and some bad sums, read from a
// file as log analysis and export read them, and from memory. Reports bytes per
// second and, beside each reader, a plain byte sum over the same bytes in
// memory: sum_MBps, reader_MBps and ratio (reader / sum). The byte-at-a-time
// reader is measured too, for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
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

SyntheticLog& Log() {
  static SyntheticLog log;
  return log;
}

// The log's bytes in memory.
const std::vector<std::uint8_t>& LogBytes() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> b(Log().bytes);
    std::FILE* f = std::fopen(Log().path.c_str(), "rb");
    if (f) {
      b.resize(std::fread(b.data(), 1, b.size(), f));
      std::fclose(f);
    }
    return b;
  }();
  return bytes;
}

// Processor time of this process, so that other load on the machine does
// not count against either side of the ratio.
struct Clock {
  using duration = std::chrono::duration<double>;
  static duration now() { return duration(static_cast<double>(std::clock()) / CLOCKS_PER_SEC); }
};

double MBps(std::size_t bytes, Clock::duration elapsed) {
  return static_cast<double>(bytes) / 1e6 / elapsed.count();
}

// A plain byte sum over the log in memory, best of five passes (each long
// enough for the processor clock's resolution).
double ByteSumMBps() {
  static const double rate = [] {
    const std::vector<std::uint8_t>& bytes = LogBytes();
    double best = 0;
    for (int pass = 0; pass < 5; ++pass) {
      const auto start = Clock::now();
      std::uint32_t sum = 0;
      for (std::uint8_t b : bytes) sum += b;
      benchmark::DoNotOptimize(sum);
      const double r = MBps(bytes.size(), Clock::now() - start);
      best = r > best ? r : best;
    }
    return best;
  }();
  return rate;
}

// The log in memory as the reader's source, with the file source's rules
// (5 bytes back after a bad sum, none after the end). With `blocks` it shows
// its bytes as one window, as a file's buffer does.
template <bool blocks>
struct MemorySource {
  const std::vector<std::uint8_t>& bytes;
  std::size_t pos = 0;
  bool ended = false;
  int NextSourceByte() {
    if (pos < bytes.size()) return bytes[pos++];
    ended = true;
    return -1;
  }
  void StepBackSource() {
    if (!ended) pos = pos >= 5 ? pos - 5 : 0;
  }
  const std::uint8_t* SourceWindow(std::size_t* n) requires blocks {
    *n = ended ? 0 : bytes.size() - pos;
    return bytes.data() + pos;
  }
  void AdvanceSource(std::size_t k) requires blocks { pos += k; }
};

void ReportRates(benchmark::State& state, std::size_t bytes, Clock::duration elapsed, std::size_t accepted,
                 std::size_t bad) {
  const double reader = MBps(bytes, elapsed);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["frames"] = static_cast<double>(accepted);
  state.counters["bad"] = static_cast<double>(bad);
  state.counters["reader_MBps"] = reader;
  state.counters["sum_MBps"] = ByteSumMBps();
  state.counters["ratio"] = reader / ByteSumMBps();
}

template <bool blocks>
void BM_ReadFrameOverMemory(benchmark::State& state) {
  const std::vector<std::uint8_t>& bytes = LogBytes();
  std::size_t accepted = 0, bad = 0, total = 0;
  Clock::duration elapsed{};
  for (auto _ : state) {
    const auto start = Clock::now();
    MemorySource<blocks> source{bytes};
    std::uint8_t frame[273];
    zrm::FrameTexts texts;
    accepted = bad = 0;
    for (;;) {
      int r = blocks ? zrm::ReadFrame(source, frame, texts) : zrm::ReadFrameBytewise(source, frame, texts);
      if (r == zrm::FRAME_NO_DATA) break;
      if (r == zrm::FRAME_OK) ++accepted; else ++bad;
    }
    benchmark::DoNotOptimize(frame);
    elapsed += Clock::now() - start;
    total += bytes.size();
  }
  ReportRates(state, total, elapsed, accepted, bad);
}
BENCHMARK(BM_ReadFrameOverMemory<true>)->Name("BM_ReadFrameOverMemory")->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ReadFrameOverMemory<false>)
    ->Name("BM_ReadFrameBytewiseOverMemory")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

void BM_ReadFrameOverLog(benchmark::State& state) {
  SyntheticLog& log = Log();
  std::size_t accepted = 0, bad = 0, total = 0;
  Clock::duration elapsed{};
  for (auto _ : state) {
    const auto start = Clock::now();
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
    elapsed += Clock::now() - start;
    total += log.bytes;
  }
  ReportRates(state, total, elapsed, accepted, bad);
}
BENCHMARK(BM_ReadFrameOverLog)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
