// zrmtool bpc [--mpfi] [--cylinders N] [--displacement CI] [--psi P] [--vacref]
//             [--injectors N] [--flow LBHR] [--map-bar 1|2|3] [--editor 4|5]
//             [--copy vac|boost] [--config FILE]
//
// ZRM_Utility's calculation: the inputs start from ZRM_Utility.cfg (beside
// zrmtool, or the file named with --config; start values without one) and the
// options override them. Pressure and flow are read as the window's number
// fields read them (times 10, truncated), displacement truncated. Prints the
// 17 VAC rows "vac KPA BPC" and the 11 boost rows "boost KPA BPC" (row 0
// first, the boost axis as drawn), values as computed and "---" for a row
// without a value, then "litres %.1f single %.1f total %.1f hp %.0f". With
// --copy it prints the clipboard text of that table instead.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/config_location.h"
#include "fuelcalc/bpc.h"
#include "fuelcalc/utility_config.h"
#include "tools/zrmtool/commands.h"

namespace zrm::tool {

namespace {

constexpr const char* BPC_USAGE =
    "usage: zrmtool bpc [--mpfi] [--cylinders N] [--displacement CI] [--psi P] [--vacref]\n"
    "                   [--injectors N] [--flow LBHR] [--map-bar 1|2|3] [--editor 4|5]\n"
    "                   [--copy vac|boost] [--config FILE]\n";

// Largest value an option takes: keeps every product inside the integers.
constexpr double OPTION_MAX = 100000.0;

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zrmtool bpc: %s\n%s", problem.c_str(), BPC_USAGE);
  return EXIT_USAGE;
}

// A finite number 0..OPTION_MAX filling the whole text.
bool ParseAmount(const char* text, double& value) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return *end == '\0' && errno == 0 && std::isfinite(value) && value >= 0.0 && value <= OPTION_MAX;
}

bool ParseCount(const char* text, std::int32_t& value) {
  double amount = 0.0;
  if (!ParseAmount(text, amount) || amount != std::floor(amount)) return false;
  value = static_cast<std::int32_t>(amount);
  return true;
}

// The value scaled and truncated as the window's number fields store it.
std::int32_t Scaled(double amount, int scale) { return static_cast<std::int32_t>(amount * scale); }

}  // namespace

int CmdBpc(int argc, char** argv) {
  UtilitySettings in;
  std::string configPath;
  bool configNamed = false;
  BpcTable copy = BpcTable::None;

  // The configuration first, so the options override what it holds.
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--config") != 0) continue;
    if (i + 1 >= argc) return Usage("--config needs a file");
    configPath = argv[i + 1];
    configNamed = true;
  }
  std::error_code ec;
  if (configNamed) {
    if (!std::filesystem::is_regular_file(configPath, ec)) {
      std::fprintf(stderr, "zrmtool: cannot read configuration '%s'\n", configPath.c_str());
      return EXIT_FAIL;
    }
  } else {
    configPath = LocateConfigFile(UTILITY_CONFIG_NAME);
    if (configPath.empty() || !std::filesystem::is_regular_file(configPath, ec)) configPath.clear();
  }
  // Read only: a missing file is not created here.
  if (!configPath.empty()) {
    ConsoleServices console;
    LoadConfig(MakeUtilityConfig(configPath, in, &console));
  }

  for (int i = 0; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--mpfi") {
      in.injectionType = 1;
      continue;
    }
    if (option == "--vacref") {
      in.vacuumReference = 1;
      continue;
    }
    if (i + 1 >= argc) return Usage("unknown option or missing value: " + option);
    const char* value = argv[++i];
    double amount = 0.0;
    if (option == "--config") continue;
    if (option == "--cylinders" || option == "--injectors") {
      std::int32_t count = 0;
      if (!ParseCount(value, count)) return Usage(option + " needs a whole number 0 or more");
      (option == "--cylinders" ? in.cylinders : in.injectorCount) = count;
    } else if (option == "--displacement" || option == "--psi" || option == "--flow") {
      if (!ParseAmount(value, amount)) return Usage(option + " needs a number 0 or more");
      if (option == "--displacement") in.displacement = Scaled(amount, 1);
      if (option == "--psi") in.fuelPressure = Scaled(amount, 10);
      if (option == "--flow") in.injectorFlow = Scaled(amount, 10);
    } else if (option == "--map-bar") {
      if (std::strcmp(value, "1") != 0 && std::strcmp(value, "2") != 0 && std::strcmp(value, "3") != 0)
        return Usage("--map-bar is 1, 2 or 3");
      in.mapBar = value[0] - '0';
    } else if (option == "--editor") {
      if (std::strcmp(value, "4") != 0 && std::strcmp(value, "5") != 0) return Usage("--editor is 4 or 5");
      in.editorVersion = value[0] - '0';
    } else if (option == "--copy") {
      if (std::strcmp(value, "vac") == 0) {
        copy = BpcTable::Vac;
      } else if (std::strcmp(value, "boost") == 0) {
        copy = BpcTable::Boost;
      } else {
        return Usage("--copy is vac or boost");
      }
    } else {
      return Usage("unknown option " + option);
    }
  }

  const BpcResults r = ComputeBpc(in);
  if (copy != BpcTable::None) {
    const std::string text = BpcCopyText(r, copy, in.editorVersion);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FAIL;
  }
  auto printRow = [](const char* table, int kpa, const BpcCell& cell) {
    if (cell.defined) {
      std::printf("%s %d %d\n", table, kpa, cell.value);
    } else {
      std::printf("%s %d ---\n", table, kpa);
    }
  };
  for (int i = 0; i < BPC_VAC_ROWS; ++i) printRow("vac", VacAxisLabel(i), r.vac[i]);
  for (int i = 0; i < BPC_BOOST_ROWS; ++i) printRow("boost", BoostAxisLabel(in.mapBar, i), r.boost[i]);
  std::printf("litres %.1f single %.1f total %.1f hp %.0f\n", r.litres, r.singleFlow, r.totalFlow, r.horsepower);
  return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FAIL;
}

}  // namespace zrm::tool
