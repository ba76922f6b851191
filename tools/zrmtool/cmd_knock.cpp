// zrmtool knock LOG [--view average|peak|total|counts] [--grid standard|boost] [--config FILE]
//
// The spark-knock map over a recorded log: the log runs through the same
// frame processing as playback, with the knock map current. After the last
// frame it prints the texts the map draws, one per line and without trailing
// blanks (the view title, the header, every grid row), then the knock events
// total as the gauge display's knock gauge shows it:
//
//   Average Spark Retard in Degrees
//   RPM/MAP 20  30  40  50  60  70  75  80  85  90  95 100
//    400    .   .   .   .   .   .   .   .   .   .   .   .
//   ...
//   events 12
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "displays/knock_map.h"
#include "link/input_file.h"
#include "logs/offline_pass.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/offline_surface.h"
#include "tools/zrmtool/tool_config.h"

namespace zrm::tool {

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: zrmtool knock LOG [--view average|peak|total|counts] [--grid standard|boost] [--config FILE]\n");
}

std::string TrimRight(std::string line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

int ChoiceIndex(const char* value, const char* const* names, int count) {
  for (int i = 0; i < count; ++i)
    if (std::strcmp(value, names[i]) == 0) return i;
  return -1;
}

}  // namespace

int CmdKnock(int argc, char** argv) {
  ConsoleServices console;
  ToolConfig tool;
  if (LoadToolConfig(argc, argv, tool, &console) != 0) return EXIT_USAGE;

  static const char* const VIEWS[] = {"average", "peak", "total", "counts"};
  static const char* const GRIDS[] = {"standard", "boost"};
  int view = KNOCK_AVERAGE;
  int grid = KNOCK_STANDARD;
  const char* logPath = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--view") == 0 || std::strcmp(argv[i], "--grid") == 0) {
      const bool isView = argv[i][2] == 'v';
      if (i + 1 >= argc) {
        Usage();
        return EXIT_USAGE;
      }
      const int choice = isView ? ChoiceIndex(argv[++i], VIEWS, 4) : ChoiceIndex(argv[++i], GRIDS, 2);
      if (choice < 0) {
        std::fprintf(stderr, isView ? "zrmtool: --view takes average, peak, total or counts\n"
                                    : "zrmtool: --grid takes standard or boost\n");
        return EXIT_USAGE;
      }
      (isView ? view : grid) = choice;
    } else if (argv[i][0] == '-' || logPath != nullptr) {
      Usage();
      return EXIT_USAGE;
    } else {
      logPath = argv[i];
    }
  }
  if (logPath == nullptr) {
    Usage();
    return EXIT_USAGE;
  }

  OfflinePass pass;
  if (pass.Open(logPath) != 0) {
    std::fprintf(stderr, "zrmtool: cannot read log '%s': %s\n", logPath, OpenErrorText(errno));
    return EXIT_FAIL;
  }
  AttachUserDevices(tool, pass);

  OfflineSurface surface;
  KnockMap knock(tool.settings, pass.processor.record, surface);
  knock.SetView(view);
  knock.SetGridShown(grid);
  pass.processor.SetDisplayUpdate(DISPLAY_KNOCK,
                                  [&knock](const std::uint8_t* frame, int active) { knock.KnockFrame(frame, active); });
  pass.Run(MODE_KNOCK);

  for (const KnockText& text : KnockMapTexts(knock.State())) std::printf("%s\n", TrimRight(text.text).c_str());
  std::printf("events %d\n", knock.EventsTotal());
  return EXIT_OK;
}

}  // namespace zrm::tool
