// zrmtool trip LOG [--config FILE]
//
// The trip computer over a recorded log: the log runs through the same frame
// processing as playback, with the trip display current, starting from the
// totals vistrel's configuration keeps. After the last frame it prints what
// the display shows (the digits as drawn), then the two totals:
//
//   instant 24 mpg
//   average 18.3 mpg
//   distance 12.4 mi        (whole units without the point above 9999 tenths)
//   fuel 0.68 gal
//   totals vss 24824.000000 pw 103466.250000
//
// With [KPHORMPH] 1 the units are km/L, km and L.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "displays/trip_computer.h"
#include "link/input_file.h"
#include "logs/offline_pass.h"
#include "tools/zrmtool/commands.h"
#include "tools/zrmtool/offline_surface.h"
#include "tools/zrmtool/tool_config.h"

namespace zrm::tool {

namespace {

void Usage() { std::fprintf(stderr, "usage: zrmtool trip LOG [--config FILE]\n"); }

}  // namespace

int CmdTrip(int argc, char** argv) {
  ConsoleServices console;
  ToolConfig tool;
  if (LoadToolConfig(argc, argv, tool, &console) != 0) return EXIT_USAGE;
  if (argc != 1 || argv[0][0] == '-') {
    Usage();
    return EXIT_USAGE;
  }
  const std::string logPath = argv[0];

  OfflinePass pass;
  if (pass.Open(logPath) != 0) {
    std::fprintf(stderr, "zrmtool: cannot read log '%s': %s\n", logPath.c_str(), OpenErrorText(errno));
    return EXIT_FAIL;
  }
  AttachUserDevices(tool, pass);

  OfflineSurface surface;
  TripComputer trip(tool.settings, pass.processor.record, surface, &tool.devices);
  pass.processor.SetDisplayUpdate(DISPLAY_TRIP,
                                  [&trip](const std::uint8_t* frame, int active) { trip.TripFrame(frame, active); });
  pass.processor.hooks.tripEngineStopped = [&trip] { trip.TripEngineStopped(); };
  pass.Run(MODE_TRIP);

  const TripReadout shown = ReadTripDigits(trip.ComputeValues());
  const bool metric = tool.settings.speedInKph == 1;
  std::printf("instant %u %s\n", shown.instant, metric ? "km/L" : "mpg");
  std::printf("average %u.%u %s\n", shown.averageWhole, shown.averageTenths, metric ? "km/L" : "mpg");
  if (shown.distanceWhole) {
    std::printf("distance %u %s\n", shown.distanceUnits, metric ? "km" : "mi");
  } else {
    std::printf("distance %u.%u %s\n", shown.distanceUnits, shown.distanceTenths, metric ? "km" : "mi");
  }
  std::printf("fuel %u.%02u %s\n", shown.fuelWhole, shown.fuelHundredths, metric ? "L" : "gal");
  const TripTotals totals = trip.Totals();
  std::printf("totals vss %.6f pw %.6f\n", totals.vss, totals.pw);
  return EXIT_OK;
}

}  // namespace zrm::tool
