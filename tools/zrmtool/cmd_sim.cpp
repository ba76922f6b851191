// zrmtool sim: runs the simulated ECM on a pseudo-terminal until interrupted.
//
//   zrmtool sim [--link PATH] [--wire-speed] [--seed N] [--noise] [--flip]
//               [--drop] [--stall] [--vanish-after SECONDS] [--vanish-for SECONDS]
//               [--flash FILE] [--sst] [--loader-fault KIND[:N]]
//               [--bank N:VERSION[:KEY]]...
//
// The flash loader keeps its eight banks in FILE (created with factory banks
// when absent; in memory without --flash), on an SST chip with --sst. A loader
// fault hits the Nth loader command (default 1): refuse, silence, checksum,
// truncate; readback spoils one byte of the Nth read-back answer. --bank puts
// a bank of a firmware version (2.0 .. 2.7, see sim/versioned_banks.h) at N,
// with KEY (hex) as its page-103 key instead of the version's own.
//
// Prints "sim: PATH" once the link is in place, so a script can wait for that
// line before opening it.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/flash_loader.h"
#include "sim/sim_ecm.h"
#include "sim/versioned_banks.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/tool_signals.h"

namespace zrm::tool {

namespace {

bool ParseSeconds(const char* text, double* seconds) {
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(v) || v < 0) return false;
  *seconds = v;
  return true;
}

bool ParseSeed(const char* text, std::uint32_t* seed) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (*end != '\0' || v > 0xFFFFFFFFull) return false;
  *seed = static_cast<std::uint32_t>(v);
  return true;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "zrmtool sim: %s\n", problem);
  std::fprintf(stderr,
               "usage: zrmtool sim [--link PATH] [--wire-speed] [--seed N] [--noise] [--flip] [--drop]\n"
               "                   [--stall] [--vanish-after SECONDS] [--vanish-for SECONDS]\n"
               "                   [--flash FILE] [--sst] [--loader-fault refuse|silence|checksum|truncate|readback[:N]]\n"
               "                   [--bank N:VERSION[:KEY]]...\n");
  return EXIT_USAGE;
}

}  // namespace

int CmdSim(int argc, char** argv) {
  sim::SimOptions options;
  sim::FlashLoaderOptions loaderOptions;
  std::vector<std::pair<int, std::vector<std::uint8_t>>> banks;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(arg, "--wire-speed") == 0) {
      options.wireSpeed = true;
    } else if (std::strcmp(arg, "--noise") == 0) {
      options.noise = true;
    } else if (std::strcmp(arg, "--flip") == 0) {
      options.flip = true;
    } else if (std::strcmp(arg, "--drop") == 0) {
      options.drop = true;
    } else if (std::strcmp(arg, "--stall") == 0) {
      options.stall = true;
    } else if (std::strcmp(arg, "--sst") == 0) {
      loaderOptions.sst = true;
    } else if (std::strcmp(arg, "--flash") == 0) {
      if (!hasValue || argv[i + 1][0] == '\0') return Usage("--flash needs a file");
      loaderOptions.flashFile = argv[++i];
    } else if (std::strcmp(arg, "--loader-fault") == 0) {
      if (!hasValue || !sim::ParseLoaderFault(argv[i + 1], &loaderOptions.fault))
        return Usage("--loader-fault needs refuse, silence, checksum, truncate or readback, optionally :N");
      ++i;
    } else if (std::strcmp(arg, "--bank") == 0) {
      int bank = 0;
      std::vector<std::uint8_t> contents;
      if (!hasValue || !sim::ParseBankChoice(argv[i + 1], &bank, &contents))
        return Usage("--bank needs N:VERSION[:KEY], N 0..7, VERSION 2.0 2.1 2.2 2.4 2.5 2.6 2.7, KEY hex");
      banks.emplace_back(bank, std::move(contents));
      ++i;
    } else if (std::strcmp(arg, "--link") == 0) {
      if (!hasValue || argv[i + 1][0] == '\0') return Usage("--link needs a path");
      options.linkPath = argv[++i];
    } else if (std::strcmp(arg, "--seed") == 0) {
      if (!hasValue || !ParseSeed(argv[i + 1], &options.seed)) return Usage("--seed needs a number 0..4294967295");
      ++i;
    } else if (std::strcmp(arg, "--vanish-after") == 0) {
      if (!hasValue || !ParseSeconds(argv[i + 1], &options.vanishAfterSeconds))
        return Usage("--vanish-after needs seconds");
      ++i;
    } else if (std::strcmp(arg, "--vanish-for") == 0) {
      if (!hasValue || !ParseSeconds(argv[i + 1], &options.vanishForSeconds))
        return Usage("--vanish-for needs seconds");
      ++i;
    } else {
      return Usage((std::string("unknown argument '") + arg + "'").c_str());
    }
  }

  // Installed before the simulator's thread exists, so a signal lands here.
  InstallStopSignals();

  auto loader = std::make_shared<sim::SimFlashLoader>(loaderOptions);
  if (loader->Open() != 0) {
    std::fprintf(stderr, "zrmtool sim: cannot use %s as the flash (131072 bytes)\n", loaderOptions.flashFile.c_str());
    return EXIT_FAIL;
  }
  for (const auto& [bank, contents] : banks) {
    if (loader->SetBank(bank, contents) != 0) {
      std::fprintf(stderr, "zrmtool sim: cannot write bank %d into %s\n", bank, loaderOptions.flashFile.c_str());
      return EXIT_FAIL;
    }
  }
  sim::SimEcm ecm(options);
  ecm.SetLoader(loader);
  if (ecm.Start() != 0) {
    std::fprintf(stderr, "zrmtool sim: cannot create the terminal linked at %s\n", options.linkPath.c_str());
    return EXIT_FAIL;
  }
  std::printf("sim: %s\n", options.linkPath.c_str());
  std::fflush(stdout);
  while (!StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ecm.Stop();
  return EXIT_OK;
}

}  // namespace zrm::tool
