// zrmtool: the command-line companion of the ZRM Flash tools.
#include <cstdio>
#include <cstring>

#include "platform/console.h"
#include "tools/zrmtool/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

constexpr Command kCommands[] = {
#ifndef _WIN32  // the simulated ECM needs a pseudo-terminal
    {"sim", zrm::tool::CmdSim,
     "sim [--link PATH] [--wire-speed] [--seed N] [--noise] [--flip] [--drop] [--stall]\n"
     "      [--vanish-after SECONDS] [--vanish-for SECONDS] [--flash FILE] [--sst]\n"
     "      [--loader-fault refuse|silence|checksum|truncate|readback[:N]] [--bank N:VERSION[:KEY]]..."},
#endif
    {"monitor", zrm::tool::CmdMonitor, "monitor PORT [--seconds N]"},
    {"record", zrm::tool::CmdRecord, "record PORT OUT.dat [--seconds N] [--mark-every S]"},
    {"frames", zrm::tool::CmdFrames, "frames FILE"},
    {"bank-read", zrm::tool::CmdBankRead, "bank-read PORT BANK OUT.bin [--no-activate]"},
    {"bank-program", zrm::tool::CmdBankProgram, "bank-program PORT BANK IN.bin [--no-verify] [--no-activate]"},
    {"convert-bin", zrm::tool::CmdConvertBin, "convert-bin IN.bin [OUT.bin]"},
    {"firmware-update", zrm::tool::CmdFirmwareUpdate, "firmware-update PORT --image FILE [--dir DIR]"},
    {"smooth", zrm::tool::CmdSmooth, "smooth --s S [--extended] [FILE]"},
    {"trip", zrm::tool::CmdTrip, "trip LOG [--config FILE]"},
    {"export", zrm::tool::CmdExport, "export LOG [--csv|--text|--msl] [--single-header] [--out FILE] [--config FILE]"},
    {"quarter", zrm::tool::CmdQuarter, "quarter LOG [--row N | --runs] [--config FILE]"},
    {"knock", zrm::tool::CmdKnock,
     "knock LOG [--view average|peak|total|counts] [--grid standard|boost] [--config FILE]"},
    {"velearn", zrm::tool::CmdVeLearn, "velearn LOG SOURCE.bin DEST.bin [--input blm|wb] [--smooth S] [--config FILE]"},
    {"bpc", zrm::tool::CmdBpc,
     "bpc [--mpfi] [--cylinders N] [--displacement CI] [--psi P] [--vacref] [--injectors N]\n"
     "      [--flow LBHR] [--map-bar 1|2|3] [--editor 4|5] [--copy vac|boost] [--config FILE]"},
};

void PrintUsage() {
  std::fprintf(stderr, "usage: zrmtool COMMAND [ARGS]\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  zrmtool %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  // Reports, tables and exports are the same bytes on every platform.
  zrm::UseBinaryStandardStreams();
  if (argc < 2) {
    PrintUsage();
    return zrm::tool::EXIT_USAGE;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    PrintUsage();
    return zrm::tool::EXIT_OK;
  }
  std::fprintf(stderr, "zrmtool: unknown command '%s'\n", argv[1]);
  PrintUsage();
  return zrm::tool::EXIT_USAGE;
}
