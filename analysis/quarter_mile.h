// Drag-strip figures from the analysis view: the launch is a given row, and
// the logged speed-sensor pulses (an 8-bit rolling count per record) give the
// distance from it, 17 records a second.
//
//   distance (ft) = 5280 / pulses per mile x pulses since the launch
//
// The 60 ft, 330 ft, 1/8 mile (660 ft) and 1/4 mile (1320 ft) times are set
// at the first record past each mark; a trap speed is the mean speed of the
// records from 66 ft before its mark up to the record that passes it, always
// in mph. 0.0 means not reached.
#pragma once

#include <string>
#include <vector>

#include "analysis/view_file.h"

namespace zrm {

constexpr double QUARTER_FRAMES_PER_SECOND = 17.0;
constexpr double FEET_PER_MILE = 5280.0;
constexpr double KM_PER_MILE_QUARTER = 1.609344;
constexpr double SIXTY_MPH_IN_KPH = 96.56064;

struct QuarterMileResults {
  double zeroToSixtyTime = 0.0;
  double sixtyFootTime = 0.0;
  double threeThirtyFootTime = 0.0;
  double eighthMileTime = 0.0;
  double eighthMileSpeed = 0.0;  // mph
  double quarterMileTime = 0.0;
  double quarterMileSpeed = 0.0;  // mph
  std::string startTime;          // run time of the launch row, "h:mm:ss"
};

// The numbers of one view record, read back from their columns.
struct ViewRecordValues {
  char kind = ROW_NORMAL;
  int pulseCount = 0;
  int pulsesPerMile = 0;
  int rpm = 0;
  int speed = 0;  // in the display unit
  int tps = 0;
  int o2 = 0;     // mV
  double afr = 0.0;
  std::string runTime;  // "h:mm:ss"
};
ViewRecordValues ParseViewRecord(const char* record);

// The figures from `launchRow` of the view; `speedInKph` is [KPHORMPH].
// A launch row outside the view gives all zeros.
QuarterMileResults ComputeQuarterMile(ViewFile& view, long launchRow, int speedInKph);

// The launches from a standstill in the view: the last row whose speed
// reads 0 before the speed or the pulses start to move, followed by a pull
// that reaches 60 mph (96.56 km/h) before the car stands again. Each is the
// row the figures of its run are computed from.
std::vector<long> FindLaunches(ViewFile& view, int speedInKph);

}  // namespace zrm
