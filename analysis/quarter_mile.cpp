#include "analysis/quarter_mile.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace zrm {

namespace {

constexpr double SIXTY_FOOT = 60.0;
constexpr double THREE_THIRTY_FOOT = 330.0;
constexpr double EIGHTH_MILE = 660.0;
constexpr double QUARTER_MILE = 1320.0;
constexpr double TRAP_LENGTH = 66.0;  // the trap ends at its mark
constexpr int PULSE_COUNT_WRAP = 256;
constexpr int READ_BLOCK_ROWS = 512;

int NumberAt(const char* record, int column, int width) {
  char text[16];
  std::memcpy(text, record + column, static_cast<std::size_t>(width));
  text[width] = '\0';
  return std::atoi(text);
}

double SixtyInUnit(int speedInKph) { return speedInKph == 1 ? SIXTY_MPH_IN_KPH : 60.0; }

// Reads a view forwards in blocks, one record at a time.
class RecordCursor {
 public:
  RecordCursor(ViewFile& view, long row) : view_(view), next_(row) {}
  const char* Next() {
    if (at_ == count_) {
      count_ = view_.ReadRows(next_, READ_BLOCK_ROWS, block_.data());
      next_ += count_;
      at_ = 0;
      if (count_ == 0) return nullptr;
    }
    return block_.data() + static_cast<std::size_t>(at_++) * VIEW_RECORD_SIZE;
  }

 private:
  ViewFile& view_;
  long next_;
  int at_ = 0;
  int count_ = 0;
  std::vector<char> block_ = std::vector<char>(static_cast<std::size_t>(READ_BLOCK_ROWS) * VIEW_RECORD_SIZE);
};

}  // namespace

ViewRecordValues ParseViewRecord(const char* record) {
  ViewRecordValues v;
  v.kind = record[0];
  v.pulseCount = NumberAt(record, VIEW_COL_PULSES, 3);
  v.pulsesPerMile = NumberAt(record, VIEW_COL_PPM, 7);
  v.rpm = NumberAt(record, VIEW_COL_RPM, 4);
  v.speed = NumberAt(record, VIEW_COL_SPEED, 3);
  v.tps = NumberAt(record, VIEW_COL_TPS, 3);
  v.o2 = NumberAt(record, VIEW_COL_O2, 4);
  char afr[8];
  std::memcpy(afr, record + VIEW_COL_AFR, 4);
  afr[4] = '\0';
  v.afr = std::atof(afr);
  v.runTime.assign(record + VIEW_COL_RUNTIME, 7);
  return v;
}

QuarterMileResults ComputeQuarterMile(ViewFile& view, long launchRow, int speedInKph) {
  QuarterMileResults r;
  RecordCursor cursor(view, launchRow);
  const char* record = cursor.Next();
  if (!record) return r;
  const ViewRecordValues launch = ParseViewRecord(record);
  r.startTime = launch.runTime;

  const double sixty = SixtyInUnit(speedInKph);
  double frames = 0.0;
  std::uint32_t pulses = 0;
  int previous = launch.pulseCount;
  double distance = 0.0;
  double eighthStart = 0.0, quarterStart = 0.0;
  bool eighthTrap = false, quarterTrap = false;
  double eighthSum = 0.0, quarterSum = 0.0;
  while ((record = cursor.Next()) != nullptr) {
    const ViewRecordValues v = ParseViewRecord(record);
    frames += 1.0;
    // The count rolls over at 256.
    pulses += static_cast<std::uint32_t>(v.pulseCount >= previous ? v.pulseCount - previous
                                                                  : v.pulseCount + PULSE_COUNT_WRAP - previous);
    previous = v.pulseCount;
    // A record without a speed-sensor calibration says nothing about the
    // distance: it stays where it was.
    if (v.pulsesPerMile != 0) distance = FEET_PER_MILE / v.pulsesPerMile * pulses;
    const double mph = speedInKph == 1 ? v.speed / KM_PER_MILE_QUARTER : v.speed;

    if (r.zeroToSixtyTime == 0.0 && v.speed >= sixty) r.zeroToSixtyTime = frames / QUARTER_FRAMES_PER_SECOND;
    if (r.sixtyFootTime == 0.0 && distance > SIXTY_FOOT) r.sixtyFootTime = frames / QUARTER_FRAMES_PER_SECOND;
    if (r.threeThirtyFootTime == 0.0 && distance > THREE_THIRTY_FOOT)
      r.threeThirtyFootTime = frames / QUARTER_FRAMES_PER_SECOND;
    if (r.eighthMileSpeed == 0.0 && distance > EIGHTH_MILE - TRAP_LENGTH) {
      if (!eighthTrap) eighthStart = frames;
      eighthTrap = true;
      eighthSum += mph;
    }
    if (r.quarterMileSpeed == 0.0 && distance > QUARTER_MILE - TRAP_LENGTH) {
      if (!quarterTrap) quarterStart = frames;
      quarterTrap = true;
      quarterSum += mph;
    }
    if (r.eighthMileTime == 0.0 && distance > EIGHTH_MILE) {
      r.eighthMileTime = frames / QUARTER_FRAMES_PER_SECOND;
      r.eighthMileSpeed = eighthSum / (frames - eighthStart + 1.0);
    }
    if (distance > QUARTER_MILE) {
      r.quarterMileTime = frames / QUARTER_FRAMES_PER_SECOND;
      r.quarterMileSpeed = quarterSum / (frames - quarterStart + 1.0);
      break;
    }
  }
  return r;
}

std::vector<long> FindLaunches(ViewFile& view, int speedInKph) {
  // A creep that never shows a speed ends once the pulses have stood still
  // for a second; a pull ends at the first record that reads 0 again.
  constexpr long STANDING_RECORDS = 17;
  std::vector<long> launches;
  const double sixty = SixtyInUnit(speedInKph);
  RecordCursor cursor(view, 0);
  long candidate = -1;
  bool moving = false;
  bool sawSpeed = false;
  bool reachedSixty = false;
  long lastPulseRow = -1;
  int previousCount = -1;
  int previousSpeed = -1;
  long row = 0;
  for (const char* record = cursor.Next(); record; record = cursor.Next(), ++row) {
    const ViewRecordValues v = ParseViewRecord(record);
    const bool pulsed = previousCount >= 0 && v.pulseCount != previousCount;
    if (pulsed) lastPulseRow = row;
    if (moving) {
      if (v.speed > 0) sawSpeed = true;
      if (v.speed >= sixty) reachedSixty = true;
      if (v.speed == 0 && (sawSpeed || row - lastPulseRow >= STANDING_RECORDS)) {
        if (reachedSixty) launches.push_back(candidate);
        moving = false;
      }
    } else if (previousSpeed == 0 && (pulsed || v.speed > 0)) {
      // The speed may show before the first pulse or the other way round.
      candidate = row - 1;
      lastPulseRow = row;
      moving = true;
      sawSpeed = v.speed > 0;
      reachedSixty = v.speed >= sixty;
    }
    previousCount = v.pulseCount;
    previousSpeed = v.speed;
  }
  if (moving && reachedSixty) launches.push_back(candidate);
  return launches;
}

}  // namespace zrm
