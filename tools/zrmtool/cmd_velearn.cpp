// zrmtool velearn LOG SOURCE.bin DEST.bin [--input blm|wb] [--smooth S] [--config FILE]
//
// VE learn from a recorded log: the log runs through the same frame
// processing as playback, with the VE learn display current and learning
// active from the first frame, and DEST.bin is written as a stop writes it.
// Prints the corrections view, the frame and sample counts, and how many
// frames each filter step turned away.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "flash/zrm_bin.h"
#include "link/input_file.h"
#include "logs/offline_pass.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/tool_config.h"
#include "velearn/ve_learn.h"

namespace zrm::tool {

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: zrmtool velearn LOG SOURCE.bin DEST.bin [--input blm|wb] [--smooth S] [--config FILE]\n");
}

// The line without its trailing blanks.
std::string TrimRight(std::string line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

int CmdVeLearn(int argc, char** argv) {
  ConsoleServices console;
  ToolConfig tool;
  if (LoadToolConfig(argc, argv, tool, &console) != 0) return EXIT_USAGE;

  const char* positional[3] = {};
  int count = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--input" && i + 1 < argc) {
      const std::string input = argv[++i];
      if (input == "blm") {
        tool.settings.learnInput = LEARN_INPUT_BLM;
      } else if (input == "wb") {
        tool.settings.learnInput = LEARN_INPUT_WB;
      } else {
        std::fprintf(stderr, "zrmtool: --input takes blm or wb\n");
        return EXIT_USAGE;
      }
    } else if (arg == "--smooth" && i + 1 < argc) {
      char* end = nullptr;
      const long s = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || s < 0 || s > 20) {
        std::fprintf(stderr, "zrmtool: --smooth takes a whole number from 0 to 20\n");
        return EXIT_USAGE;
      }
      tool.settings.smoothFactor = static_cast<std::int32_t>(s);
    } else if (!arg.empty() && arg[0] == '-') {
      Usage();
      return EXIT_USAGE;
    } else if (count < 3) {
      positional[count++] = argv[i];
    } else {
      Usage();
      return EXIT_USAGE;
    }
  }
  if (count != 3) {
    Usage();
    return EXIT_USAGE;
  }
  const std::string logPath = positional[0];
  const std::string sourcePath = positional[1];
  const std::string destinationPath = positional[2];

  const int id = IsZrmBin(sourcePath, &console);
  if (id == -1) {
    std::fprintf(stderr, "zrmtool: cannot open BIN '%s': %s\n", sourcePath.c_str(), std::strerror(errno));
    return EXIT_FAIL;
  }
  if (id == -2) {
    std::fprintf(stderr, "zrmtool: '%s' is not a ZRM Flash BIN\n", sourcePath.c_str());
    return EXIT_FAIL;
  }
  if (BinShorterThanCalibration(sourcePath)) {
    std::fprintf(stderr, "zrmtool: %s: %s\n", sourcePath.c_str(), BIN_TOO_SHORT_TEXT);
    return EXIT_FAIL;
  }

  OfflinePass pass;
  if (pass.Open(logPath) != 0) {
    std::fprintf(stderr, "zrmtool: cannot read log '%s': %s\n", logPath.c_str(), OpenErrorText(errno));
    return EXIT_FAIL;
  }

  AttachUserDevices(tool, pass);
  VeLearn veLearn(tool.settings, pass.processor.record, &console, &tool.devices);
  if (veLearn.BeginLearning(sourcePath, destinationPath, id) != 0) {
    std::fprintf(stderr, "zrmtool: cannot read the VE table of '%s'\n", sourcePath.c_str());
    return EXIT_FAIL;
  }
  pass.processor.SetDisplayUpdate(DISPLAY_VELEARN, [&veLearn](const std::uint8_t* frame, int active) {
    veLearn.VeLearnFrame(frame, active);
  });
  const OfflinePassResult result = pass.Run(MODE_VELEARN);

  // As a stop: learning ends, then the table is written.
  if (veLearn.StopVeLearn() != 0) {
    std::fprintf(stderr, "zrmtool: cannot write '%s'\n", destinationPath.c_str());
    return EXIT_FAIL;
  }

  const VeLearnSnapshot snapshot = veLearn.Snapshot(true);
  std::printf("%s\n", TrimRight(VeViewTitle(VE_VIEW_CORRECTIONS)).c_str());
  std::printf("%s\n", TrimRight(VeHeaderLine(snapshot.base)).c_str());
  for (int row = 1; row <= VeRowCount(snapshot.extended); ++row)
    std::printf("%s\n", TrimRight(VeRowLine(snapshot, VE_VIEW_CORRECTIONS, row)).c_str());

  const VeLearnTally tally = veLearn.Tally();
  std::printf("frames %llu samples %llu\n", static_cast<unsigned long long>(result.frames),
              static_cast<unsigned long long>(tally.samples));
  const bool wb = veLearn.LearnInput() == LEARN_INPUT_WB;
  auto n = [&tally](VeLearnRefusal r) { return static_cast<unsigned long long>(tally.refused[r]); };
  std::printf(
      "turned away: engine off %llu, coolant %llu, transient %llu, MAP/TPS step %llu, low RPM %llu, boost %llu, "
      "%s %llu, integrator %llu, BLM not 128 %llu, no commanded AFR %llu\n",
      n(REFUSED_ENGINE_OFF), n(REFUSED_COOLANT), n(REFUSED_TRANSIENT), n(REFUSED_STEP), n(REFUSED_LOW_RPM),
      n(REFUSED_BOOST), wb ? "closed loop" : "open loop", n(REFUSED_LOOP), n(REFUSED_INTEGRATOR),
      n(REFUSED_BLM_NOT_128), n(REFUSED_NO_COMMANDED_AFR));
  return EXIT_OK;
}

}  // namespace zrm::tool
