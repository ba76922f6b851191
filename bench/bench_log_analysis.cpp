// What a user waits for in the analysis display: "View Log" and "Dump Log"
// over a one-hour log (61200 frames of the simulator's scripted drive, about
// 17 MB) with a time stamp every ten seconds and a marker every minute, and
// two ADC channels (a wideband and a filtered pressure sender) converted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/log_export.h"
#include "analysis/quarter_mile.h"
#include "analysis/view_file.h"
#include "link/frame_reader.h"
#include "sim/drive_script.h"

namespace {

constexpr int kFrames = 3600 * 17;

struct DriveLog {
  std::string folder;
  std::string path;
  std::size_t bytes = 0;

  DriveLog() {
    folder = (std::filesystem::temp_directory_path() / "zrm-bench-analysis").string();
    std::filesystem::create_directories(folder);
    path = folder + "/drive.dat";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::string head = "TIME: 12/10/2026 - 05:00:00[ID] ZRM Flash Vistrel Display\r\n[PORT] COM2\r\n";
    std::fwrite(head.data(), 1, head.size(), f);
    bytes += head.size();
    std::mt19937 rng(7);
    std::vector<std::uint8_t> wire;
    int mark = 0;
    for (int i = 0; i < kFrames; ++i) {
      zrm::sim::Payload payload{};
      zrm::sim::FillDriveFrame(static_cast<std::uint64_t>(i), 1, 0, payload);
      unsigned sum = zrm::FrameChecksum(payload.data());
      wire.assign({0x55, 0xAA});
      wire.insert(wire.end(), payload.begin(), payload.end());
      wire.push_back(static_cast<std::uint8_t>(sum >> 8));
      wire.push_back(static_cast<std::uint8_t>(sum));
      std::string text;
      if (i % (17 * 60) == 100) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "MARK%03dTIME: 12/10/2026 - 05:%02d:00", mark++, i / (17 * 60));
        text = buf;
      } else if (i % (17 * 10) == 50) {
        text = "TIME: 12/10/2026 - 05:00:10";
      }
      if (!text.empty()) wire.insert(wire.begin() + static_cast<long>(rng() % wire.size()), text.begin(), text.end());
      std::fwrite(wire.data(), 1, wire.size(), f);
      bytes += wire.size();
    }
    std::fclose(f);
  }
  ~DriveLog() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

DriveLog& Log() {
  static DriveLog log;
  return log;
}

zrm::VistrelSettings Channels() {
  zrm::VistrelSettings s;
  s.adcChannels[0].type = 0;  // TT-1 wideband, preferred
  s.adcChannels[0].index = 1;
  s.adcChannels[0].instance = 1;
  s.adcChannels[0].wbPreferred = 1;
  s.adcChannels[1].type = 1;  // 30 psi sender, filtered
  s.adcChannels[1].index = 2;
  s.adcChannels[1].instance = 1;
  s.adcChannels[1].filter = 50;
  return s;
}

void Export(benchmark::State& state, zrm::ExportForm form, bool singleHeader) {
  DriveLog& log = Log();
  const zrm::VistrelSettings settings = Channels();
  const std::string out = log.folder + "/drive.out";
  long rows = 0;
  for (auto _ : state) {
    if (zrm::ExportLog(log.path, out, settings, {form, singleHeader}, {}, &rows) != zrm::AnalysisResult::Ok)
      state.SkipWithError("export failed");
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["log_MB"] = static_cast<double>(log.bytes) / 1e6;
  state.counters["out_MB"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.bytes));
}

void BM_ExportCsv(benchmark::State& state) { Export(state, zrm::ExportForm::Csv, false); }
void BM_ExportCsvSingleHeader(benchmark::State& state) { Export(state, zrm::ExportForm::Csv, true); }
void BM_ExportText(benchmark::State& state) { Export(state, zrm::ExportForm::Text, false); }

void BM_BuildView(benchmark::State& state) {
  DriveLog& log = Log();
  const zrm::VistrelSettings settings = Channels();
  long rows = 0;
  for (auto _ : state) {
    zrm::ViewFile view;
    if (view.Create(log.folder + "/") != 0 ||
        zrm::BuildViewFile(log.path, view, settings) != zrm::AnalysisResult::Ok)
      state.SkipWithError("view failed");
    rows = view.Rows();
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.bytes));
}

void BM_QuarterMileFromEveryLaunch(benchmark::State& state) {
  DriveLog& log = Log();
  zrm::ViewFile view;
  view.Create(log.folder + "/");
  zrm::BuildViewFile(log.path, view, Channels());
  std::size_t runs = 0;
  for (auto _ : state) {
    const std::vector<long> launches = zrm::FindLaunches(view, 0);
    for (long row : launches) benchmark::DoNotOptimize(zrm::ComputeQuarterMile(view, row, 0));
    runs = launches.size();
  }
  state.counters["runs"] = static_cast<double>(runs);
}

}  // namespace

BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportCsvSingleHeader)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportText)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildView)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QuarterMileFromEveryLaunch)->Unit(benchmark::kMillisecond);
