// zrmtool quarter LOG [--row N | --runs] [--config FILE]
//
// The 1/4 Mile Graph's figures with view row N of the log as the launch
// (default 0), as vistrel computes them from its analysis view:
//
//   0-60 mph 4.647 sec
//   60 foot 2.000 sec
//   330 foot 5.529 sec
//   1/8 mile 8.412 sec 81.3 mph
//   1/4 mile 13.059 sec 101.6 mph
//
// (0.000 where a mark is not reached; trap speeds always in mph). With --runs
// every launch from a standstill that reaches 60 mph is found and printed as
// "run ROW h:mm:ss" (view row and run time of the launch) before its lines.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/quarter_mile.h"
#include "link/input_file.h"
#include "platform/temp_file.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/tool_config.h"

namespace zrm::tool {

namespace {

void Usage() { std::fprintf(stderr, "usage: zrmtool quarter LOG [--row N | --runs] [--config FILE]\n"); }

void PrintFigures(const QuarterMileResults& r) {
  std::printf("0-60 mph %.3f sec\n", r.zeroToSixtyTime);
  std::printf("60 foot %.3f sec\n", r.sixtyFootTime);
  std::printf("330 foot %.3f sec\n", r.threeThirtyFootTime);
  std::printf("1/8 mile %.3f sec %.1f mph\n", r.eighthMileTime, r.eighthMileSpeed);
  std::printf("1/4 mile %.3f sec %.1f mph\n", r.quarterMileTime, r.quarterMileSpeed);
}

}  // namespace

int CmdQuarter(int argc, char** argv) {
  ConsoleServices console;
  ToolConfig tool;
  if (LoadToolConfig(argc, argv, tool, &console) != 0) return EXIT_USAGE;

  std::string logPath;
  long row = 0;
  bool rowGiven = false, runs = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--row" && i + 1 < argc) {
      char* end = nullptr;
      errno = 0;
      row = std::strtol(argv[++i], &end, 10);
      if (errno != 0 || end == argv[i] || *end != '\0' || row < 0) {
        std::fprintf(stderr, "zrmtool: --row needs a row number of 0 or more\n");
        return EXIT_USAGE;
      }
      rowGiven = true;
    } else if (arg == "--runs") {
      runs = true;
    } else if (arg.empty() || arg[0] == '-' || !logPath.empty()) {
      Usage();
      return EXIT_USAGE;
    } else {
      logPath = arg;
    }
  }
  if (logPath.empty() || (rowGiven && runs)) {
    Usage();
    return EXIT_USAGE;
  }

  ViewFile view;
  if (view.Create() != 0) {
    std::fprintf(stderr, "zrmtool: cannot create the view file in %s: %s\n", TemporaryFolder().c_str(),
                 std::strerror(errno));
    return EXIT_FAIL;
  }
  const AnalysisResult built = BuildViewFile(logPath, view, tool.settings);
  if (built == AnalysisResult::LogOpenError) {
    std::fprintf(stderr, "zrmtool: cannot read log '%s': %s\n", logPath.c_str(), OpenErrorText(errno));
    return EXIT_FAIL;
  }
  if (built != AnalysisResult::Ok) {
    std::fprintf(stderr, "zrmtool: writing the view file failed (disk full?)\n");
    return EXIT_FAIL;
  }
  const int kph = tool.settings.speedInKph;
  if (!runs) {
    if (row >= view.Rows()) {
      std::fprintf(stderr, "zrmtool: row %ld is past the end of the log (%ld rows)\n", row, view.Rows());
      return EXIT_FAIL;
    }
    PrintFigures(ComputeQuarterMile(view, row, kph));
    return EXIT_OK;
  }
  const std::vector<long> launches = FindLaunches(view, kph);
  if (launches.empty()) std::fprintf(stderr, "zrmtool: no launch from a standstill to 60 mph in this log\n");
  for (long launch : launches) {
    const QuarterMileResults r = ComputeQuarterMile(view, launch, kph);
    std::printf("run %ld %s\n", launch, r.startTime.c_str());
    PrintFigures(r);
  }
  return EXIT_OK;
}

}  // namespace zrm::tool
