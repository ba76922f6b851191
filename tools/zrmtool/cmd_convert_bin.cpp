// zrmtool convert-bin IN.bin [OUT.bin]
//
// The update utility's offline BIN Update: converts the calibration of one
// BIN to the 2.7 layout without an ECM. The output defaults to IN_new.bin
// beside the input (IN_new.EXT for another extension). Prints the text of
// the utility's result box: the success text, "Not an ZRM Flash BIN", or the
// conversion's error text; a 2.0 calibration also gets the 2.0 message on
// standard error. Exit 0 only on success.
#include <cstdio>
#include <cstring>
#include <string>

#include "flash/zrm_bin.h"
#include "flashupdate/calibration_convert.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "tools/zrmtool/commands.h"

namespace zrm::tool {

namespace {

constexpr const char* BIN_CREATED = "            New BIN has been Created             ";
constexpr const char* BIN_NOT_ZRM = "Not an ZRM Flash BIN";

int Usage() {
  std::fprintf(stderr, "usage: zrmtool convert-bin IN.bin [OUT.bin]\n");
  return EXIT_USAGE;
}

}  // namespace

int CmdConvertBin(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (argv[i][0] == '-' && argv[i][1] != '\0') return Usage();
    if (in == nullptr) {
      in = argv[i];
    } else if (out == nullptr) {
      out = argv[i];
    } else {
      return Usage();
    }
  }
  if (in == nullptr || in[0] == '\0' || (out != nullptr && out[0] == '\0')) return Usage();

  std::FILE* file = std::fopen(in, "rb");
  if (file == nullptr) {
    std::printf("Can not open BIN file\n");
    return EXIT_FAIL;
  }
  std::uint8_t header[6] = {};
  const std::size_t got = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  if (!HasZrmMagic(header, got)) {
    std::printf("%s\n", BIN_NOT_ZRM);
    return EXIT_FAIL;
  }

  const std::string output = out != nullptr ? std::string(out) : ConvertedBinName(in);
  // Converting a file onto itself would leave no copy of the original.
  if (output == in) {
    std::fprintf(stderr, "zrmtool convert-bin: the output must not be the input\n");
    return EXIT_USAGE;
  }
  ConsoleServices console;
  UpdateRunState run;
  ConvertEnvironment environment;
  environment.services = &console;
  environment.run = &run;
  environment.pause = SleepMs;
  std::string error;
  if (ConvertCalibration(in, output, &error, environment) != 0) {
    std::printf("%s\n", error.c_str());
    return EXIT_FAIL;
  }
  std::printf("%s\n", BIN_CREATED);
  return EXIT_OK;
}

}  // namespace zrm::tool
