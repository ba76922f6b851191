// What the live link costs while it waits: vistrel's link threads (the
// CommThread and the DisplayThread, with the frame processing of the gauge
// display) over a pseudo-terminal, in two cases:
//   streaming  the simulated ECM streams 17 frames a second at 57600 baud;
//   silent     the port is open and nothing arrives.
// For each it reports the link threads' share of one core (cpu_pct), their
// wake-ups a second (voluntary and forced context switches, wakeups_per_s),
// the frames processed a second, and the simulator's own share and wake-ups.
// Goals: under 1 % and under 50 wake-ups a second when silent. Linux only
// (per-thread figures from /proc).
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/frame_source.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/pty.h"
#include "sim/sim_ecm.h"

namespace {

constexpr int kSettleMs = 2000;
constexpr int kMeasureMs = 10000;

std::set<int> Threads() {
  std::set<int> ids;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') ids.insert(std::stoi(e->d_name));
    }
    closedir(dir);
  }
  return ids;
}

struct Usage {
  double cpuSeconds = 0;
  double switches = 0;
};

// CPU time from schedstat (nanoseconds), context switches from status.
Usage ThreadUsage(const std::set<int>& ids) {
  Usage u;
  for (int id : ids) {
    const std::string base = "/proc/self/task/" + std::to_string(id);
    std::ifstream sched(base + "/schedstat");
    double ns = 0;
    if (sched >> ns) u.cpuSeconds += ns / 1e9;
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        u.switches += std::stod(line.substr(line.find(':') + 1));
    }
  }
  return u;
}

std::set<int> Minus(const std::set<int>& a, const std::set<int>& b) {
  std::set<int> out;
  for (int x : a)
    if (!b.count(x)) out.insert(x);
  return out;
}

void LiveLink(benchmark::State& state) {
  const bool streaming = state.range(0) != 0;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zrm-bench-live-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string tty = (folder / "tty").string();

  const std::set<int> before = Threads();
  zrm::sim::SimOptions options;
  options.linkPath = tty;
  options.wireSpeed = true;
  zrm::sim::SimEcm ecm(options);
  zrm::PseudoTerminal silent;
  if (streaming ? ecm.Start() != 0 : silent.Open(tty) != 0) {
    state.SkipWithError("cannot make the pseudo-terminal");
    return;
  }
  const std::set<int> simThreads = Minus(Threads(), before);

  zrm::SerialLink link;
  zrm::FrameSources sources(&link);
  zrm::FrameProcessor processor(sources);
  processor.displayMode.store(zrm::MODE_GAUGE);
  zrm::DisplayThread display(processor, sources, &link);
  const std::set<int> beforeLink = Threads();
  link.Start();
  display.Start();
  const std::set<int> linkThreads = Minus(Threads(), beforeLink);
  link.RequestPort(zrm::PORT_OPEN, tty.c_str());

  for (auto _ : state) {
    zrm::SleepMs(kSettleMs);  // open, stream on, the first frames
    const Usage link0 = ThreadUsage(linkThreads);
    const Usage sim0 = ThreadUsage(simThreads);
    const std::uint64_t frames0 = display.framesProcessed.load();
    const std::int64_t t0 = zrm::MonotonicMs();
    zrm::SleepMs(kMeasureMs);
    const double seconds = (zrm::MonotonicMs() - t0) / 1000.0;
    const Usage link1 = ThreadUsage(linkThreads);
    const Usage sim1 = ThreadUsage(simThreads);
    state.SetIterationTime(seconds);
    state.counters["cpu_pct"] = (link1.cpuSeconds - link0.cpuSeconds) / seconds * 100;
    state.counters["wakeups_per_s"] = (link1.switches - link0.switches) / seconds;
    state.counters["frames_per_s"] = static_cast<double>(display.framesProcessed.load() - frames0) / seconds;
    if (streaming) {
      state.counters["sim_cpu_pct"] = (sim1.cpuSeconds - sim0.cpuSeconds) / seconds * 100;
      state.counters["sim_wakeups_per_s"] = (sim1.switches - sim0.switches) / seconds;
    }
  }
  if (!link.PortRunning()) state.SkipWithError("the port did not open");

  link.RequestPort(zrm::PORT_CLOSE, nullptr);
  for (int i = 0; i < 100 && link.RequestPending(); ++i) zrm::SleepMs(10);
  display.Stop();
  link.Stop();
  ecm.Stop();
  silent.Close();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

BENCHMARK(LiveLink)->ArgName("streaming")->Arg(1)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
