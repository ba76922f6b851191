// zrmtool record PORT OUT.dat [--seconds N] [--mark-every S]: records the live
// stream into a data log through the same CommThread hooks as vistrel.
//
// The recording is appended to OUT.dat (a new file is created): the head with
// the time and vistrel's configuration (its file beside zrmtool, or the start
// values when there is none), then every received byte, with a marker every S
// seconds when asked. It ends on SIGINT, SIGTERM or after N seconds, closes
// the port the normal way (stream off first) and prints
//
//   bytes N frames M
//
// N: the bytes of this recording after its head (received bytes and inserted
// marker texts); M: the frames the frame reader accepts in them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "config/config_file.h"
#include "config/config_location.h"
#include "link/frame_reader.h"
#include "link/input_file.h"
#include "link/serial_link.h"
#include "logs/data_log.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/tool_port.h"
#include "tools/zrmtool/tool_signals.h"

namespace zrm::tool {
namespace {

int RecordUsage() {
  std::fprintf(stderr, "usage: zrmtool record PORT OUT.dat [--seconds N] [--mark-every S]\n");
  return EXIT_USAGE;
}

// A log's bytes for the frame reader; unlike the playback source it reports
// the end for good, so a text cut short at the end cannot keep the hunt going.
struct LogBytes {
  InputFile& file;
  int NextSourceByte() { return file.Next(); }
  void StepBackSource() { file.SeekBy(-5); }
};

// Frames the reader accepts from `from` to the end of the file; -1 when the
// file cannot be read.
long CountFrames(const std::string& path, std::int64_t from) {
  InputFile file;
  if (file.Open(path) != 0 || file.Seek(from) != 0) return -1;
  LogBytes source{file};
  std::uint8_t frame[273];
  FrameTexts texts;
  long frames = 0;
  for (;;) {
    int result = ReadFrame(source, frame, texts);
    if (result == FRAME_NO_DATA) return frames;
    if (result == FRAME_OK) ++frames;
  }
}

}  // namespace

int CmdRecord(int argc, char** argv) {
  const char* port = nullptr;
  const char* out = nullptr;
  long seconds = -1;
  long markEvery = 0;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0) {
      if (i + 1 >= argc || !ParseSeconds(argv[++i], &seconds, 1)) return RecordUsage();
    } else if (std::strcmp(argv[i], "--mark-every") == 0) {
      if (i + 1 >= argc || !ParseSeconds(argv[++i], &markEvery, 1)) return RecordUsage();
    } else if (argv[i][0] == '-' || argv[i][0] == '\0' || out) {
      return RecordUsage();
    } else if (!port) {
      port = argv[i];
    } else {
      out = argv[i];
    }
  }
  if (!port || !out) return RecordUsage();
  if (!PortNameUsable("record", port)) return EXIT_FAIL;
  InstallStopSignals();

  // vistrel's configuration as it stands; a missing file is not created here.
  VistrelSettings settings;
  ConsoleServices console;
  std::string configPath = LocateConfigFile(VISTREL_CONFIG_NAME);
  std::error_code ec;
  const bool haveConfig = !configPath.empty() && std::filesystem::is_regular_file(configPath, ec);
  ConfigFile config = MakeVistrelConfig(haveConfig ? configPath : std::string(), settings, &console);
  if (haveConfig) LoadConfig(config);

  SerialLink link;
  DataLog log(link, config, settings, console);
  // The failure is served by the one-second tick below, on this thread.
  link.reportLogWriteError = [&log] { log.PostLogWriteError(); };
  link.Start();
  if (log.OpenDataLog(out) != 0) {
    link.Stop();
    return EXIT_FAIL;
  }
  const std::int64_t bodyStart = log.BodyStart();
  link.RequestPort(PORT_OPEN, port);

  bool portRan = false;
  const std::int64_t start = MonotonicMs();
  std::int64_t nextTick = start + 1000;
  std::int64_t nextMark = start + static_cast<std::int64_t>(markEvery) * 1000;
  while (!StopRequested() && log.LogActive()) {
    const std::int64_t now = MonotonicMs();
    if (seconds >= 0 && now - start >= static_cast<std::int64_t>(seconds) * 1000) break;
    if (link.PortRunning()) portRan = true;
    if (now >= nextTick) {
      nextTick += 1000;
      log.OnSecondTick();
    }
    if (markEvery > 0 && now >= nextMark) {
      nextMark += static_cast<std::int64_t>(markEvery) * 1000;
      log.OnLogKey(LOG_KEY_MARKER);
    }
    // Asleep until the next tick, marker or the end, unless a signal comes
    // (a short first wait notices the port running).
    std::int64_t wake = portRan ? nextTick : std::min(nextTick, now + 50);
    if (markEvery > 0) wake = std::min(wake, nextMark);
    if (seconds >= 0) wake = std::min(wake, start + static_cast<std::int64_t>(seconds) * 1000);
    WaitForStop(static_cast<int>(std::max<std::int64_t>(wake - MonotonicMs(), 1)));
  }

  // Stream off, then close; the bytes until then still reach the log.
  link.RequestPort(PORT_CLOSE, nullptr);
  for (int i = 0; i < 200 && link.RequestPending(); ++i) SleepMs(10);
  log.OnSecondTick();  // a failure during the close
  const bool writeFailed = !log.LogActive();
  log.StopDataLog();
  link.Stop();

  const auto size = std::filesystem::file_size(out, ec);
  const std::int64_t bodyBytes = ec || bodyStart < 0 ? 0 : static_cast<std::int64_t>(size) - bodyStart;
  const long frames = bodyStart < 0 ? 0 : CountFrames(out, bodyStart);
  std::printf("bytes %lld frames %ld\n", static_cast<long long>(bodyBytes), frames < 0 ? 0 : frames);
  if (!portRan) ReportPortNeverOpened("record", port);
  return writeFailed || !portRan ? EXIT_FAIL : EXIT_OK;
}

}  // namespace zrm::tool
