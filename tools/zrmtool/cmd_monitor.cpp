// zrmtool monitor PORT [--seconds N]: the live stream through the same link,
// ring and frame processing as vistrel, one line of values a second.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/conversions.h"
#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/runtime_frame.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/tool_port.h"
#include "tools/zrmtool/tool_signals.h"

namespace zrm::tool {
namespace {

// The values of the latest frame, handed from the DisplayThread as words.
struct LatestValues {
  std::atomic<int> seen{0};
  std::atomic<int> speed{0};
  std::atomic<int> map{0};
  std::atomic<int> clt{0};
};

int MonitorUsage() {
  std::fprintf(stderr, "usage: zrmtool monitor PORT [--seconds N]\n");
  return EXIT_USAGE;
}

}  // namespace

int CmdMonitor(int argc, char** argv) {
  const char* port = nullptr;
  long seconds = -1;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      if (!ParseSeconds(argv[++i], &seconds, 0)) return MonitorUsage();
    } else if (argv[i][0] == '-' || port) {
      return MonitorUsage();
    } else {
      port = argv[i];
    }
  }
  if (!port) return MonitorUsage();
  if (!PortNameUsable("monitor", port)) return EXIT_FAIL;
  InstallStopSignals();

  SerialLink link;
  FrameSources sources(&link);
  FrameProcessor processor(sources);
  DisplayThread display(processor, sources, &link);
  LatestValues latest;
  // The monitor is a display: the current one, so it sees every frame.
  processor.SetDisplayUpdate(DISPLAY_GAUGE, [&latest](const std::uint8_t* frame, int) {
    latest.speed.store(RoundHalfUp(ToSpeedUnit(FrameByte(frame, field::vehicleSpeed))));
    latest.map.store(RoundHalfUp(ManifoldKpa(frame)));
    latest.clt.store(RoundHalfUp(ToCelsius(FrameByte(frame, field::ctsRaw))));
    latest.seen.store(1);
  });
  processor.displayMode.store(MODE_GAUGE);

  link.Start();
  display.Start();
  link.RequestPort(PORT_OPEN, port);

  const std::int64_t start = MonotonicMs();
  std::int64_t nextLine = start + 1000;
  bool portRan = false;
  while (!StopRequested()) {
    std::int64_t now = MonotonicMs();
    if (link.PortRunning()) portRan = true;
    if (now >= nextLine) {
      nextLine += 1000;
      processor.secondsTicker.fetch_add(1);
      if (latest.seen.load()) {
        const RuntimeRecord& r = processor.record;
        std::printf("%02d:%02d:%02d rpm %d speed %d map %d clt %d\n", r.runHours.load(), r.runMinutes.load(),
                    r.runSeconds.load(), r.rpm.load(), latest.speed.load(), latest.map.load(), latest.clt.load());
        std::fflush(stdout);
      }
    }
    // The line of the last second is printed before the run ends.
    const std::int64_t end = start + static_cast<std::int64_t>(seconds) * 1000;
    if (seconds >= 0 && now >= end) break;
    // Nothing to do until the next line or the end, unless a signal comes
    // (a short first wait notices the port running).
    std::int64_t wake = portRan ? nextLine : std::min(nextLine, now + 50);
    if (seconds >= 0) wake = std::min(wake, end);
    WaitForStop(static_cast<int>(std::max<std::int64_t>(wake - MonotonicMs(), 1)));
  }

  // Close as vistrel does at exit: the ECM is told to stop streaming first.
  link.RequestPort(PORT_CLOSE, nullptr);
  for (int i = 0; i < 100 && link.RequestPending(); ++i) SleepMs(10);
  display.Stop();
  link.Stop();
  const int frames = processor.record.goodFrames.load();
  std::printf("frames %d bad %llu\n", frames, static_cast<unsigned long long>(processor.badFrames.load()));
  std::fflush(stdout);
  // A run that saw no good frame is a failure, whatever the reason.
  if (!portRan) {
    ReportPortNeverOpened("monitor", port);
    return EXIT_FAIL;
  }
  if (frames == 0) {
    std::fprintf(stderr, "zrmtool monitor: no good frame from '%s'\n", port);
    return EXIT_FAIL;
  }
  return EXIT_OK;
}

}  // namespace zrm::tool
