#include "displays/sensor_table.h"

#include <algorithm>

namespace zrm {

namespace {

struct SensorPoint {
  int counts;
  int value;
};

// The fixed points; the entries between two of them lie on the line joining them.
constexpr SensorPoint kSensorPoints[] = {
    {0, 255},   {11, 255},  {12, 253},  {13, 247},  {14, 240},  {15, 237},  {128, 119}, {248, 24},
    {249, 22},  {250, 20},  {251, 13},  {252, 10},  {253, 7},   {254, 3},   {255, 0},
};

constexpr std::array<std::uint16_t, SENSOR_TABLE_SIZE> BuildSensorTable() {
  std::array<std::uint16_t, SENSOR_TABLE_SIZE> table{};
  constexpr int n = static_cast<int>(sizeof kSensorPoints / sizeof kSensorPoints[0]);
  for (int i = 0; i + 1 < n; ++i) {
    const SensorPoint a = kSensorPoints[i];
    const SensorPoint b = kSensorPoints[i + 1];
    const int span = b.counts - a.counts;
    const int fall = a.value - b.value;
    for (int c = a.counts; c <= b.counts; ++c) {
      // a - fall * (c - a) / span, rounded half up in whole numbers (never negative).
      const int twice = 2 * a.value * span - 2 * fall * (c - a.counts) + span;
      table[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(twice / (2 * span));
    }
  }
  return table;
}

constexpr std::array<std::uint16_t, SENSOR_TABLE_SIZE> kSensorTable = BuildSensorTable();

}  // namespace

const std::array<std::uint16_t, SENSOR_TABLE_SIZE>& SensorTable() { return kSensorTable; }

std::uint16_t SensorTemperatureByte(int counts) {
  return kSensorTable[static_cast<std::size_t>(std::clamp(counts, 0, SENSOR_TABLE_SIZE - 1))];
}

}  // namespace zrm
