// zrmtool export LOG [--csv|--text|--msl] [--single-header] [--out FILE] [--config FILE]
//
// What vistrel's "Dump Log" writes, from the same export code: a CSV file
// (the default) or the fixed-width text dump, beside the log with ".csv" or
// ".ZRM" unless --out names the file; --single-header writes the header line
// once instead of at every second with marker and time-stamp lines. --msl
// writes a tab-separated log with a column-name row and a units row (".msl")
// for log viewers. Prints "rows N".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/log_export.h"
#include "link/input_file.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/tool_config.h"

namespace zrm::tool {

namespace {

void Usage() {
  std::fprintf(stderr, "usage: zrmtool export LOG [--csv|--text|--msl] [--single-header] [--out FILE] [--config FILE]\n");
}

}  // namespace

int CmdExport(int argc, char** argv) {
  ConsoleServices console;
  ToolConfig tool;
  if (LoadToolConfig(argc, argv, tool, &console) != 0) return EXIT_USAGE;

  std::string logPath, outPath;
  ExportOptions options;
  int forms = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--csv" || arg == "--text" || arg == "--msl") {
      options.form = arg == "--csv" ? ExportForm::Csv : arg == "--text" ? ExportForm::Text : ExportForm::Msl;
      ++forms;
    } else if (arg == "--single-header") {
      options.singleHeader = true;
    } else if (arg == "--out" && i + 1 < argc) {
      outPath = argv[++i];
    } else if (arg.empty() || arg[0] == '-' || !logPath.empty()) {
      Usage();
      return EXIT_USAGE;
    } else {
      logPath = arg;
    }
  }
  if (logPath.empty() || forms > 1) {
    Usage();
    return EXIT_USAGE;
  }
  if (outPath.empty()) {
    outPath = DumpOutputPath(logPath, options.form != ExportForm::Text);
    if (options.form == ExportForm::Msl) outPath = outPath.substr(0, outPath.size() - 4) + ".msl";
  }

  long rows = 0;
  const AnalysisResult result = ExportLog(logPath, outPath, tool.settings, options, {}, &rows);
  switch (result) {
    case AnalysisResult::Ok:
      std::printf("rows %ld\n", rows);
      return EXIT_OK;
    case AnalysisResult::LogOpenError:
      std::fprintf(stderr, "zrmtool: cannot read log '%s': %s\n", logPath.c_str(), OpenErrorText(errno));
      return EXIT_FAIL;
    case AnalysisResult::OutputOpenError:
      std::fprintf(stderr, "zrmtool: cannot write '%s' (a folder, read-only, the log itself, or no room beside it)\n",
                   outPath.c_str());
      return EXIT_FAIL;
    default:
      std::fprintf(stderr, "zrmtool: writing '%s' failed (disk full?); the file was not changed\n", outPath.c_str());
      return EXIT_FAIL;
  }
}

}  // namespace zrm::tool
