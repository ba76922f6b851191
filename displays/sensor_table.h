// The coolant and intake-air sensor table: an analog count of either sensor
// (0 to 255) to the temperature byte that ToCelsius and ToFahrenheit read.
//
// The ECM's thermistors read high counts when cold, so the table falls from
// 255 (counts 0 to 11, the sensor shorted or hotter than any engine) to 0 at
// count 255 (an open circuit). Between the fixed points - 253, 247, 240, 237
// at counts 12 to 15, 119 at count 128 and the last eight counts 24, 22, 20,
// 13, 10, 7, 3, 0 - the entries are a straight line, rounded, so the table
// never rises.
#pragma once

#include <array>
#include <cstdint>

namespace zrm {

constexpr int SENSOR_TABLE_SIZE = 256;

const std::array<std::uint16_t, SENSOR_TABLE_SIZE>& SensorTable();

// The temperature byte for a count; counts outside 0..255 are held at the ends.
std::uint16_t SensorTemperatureByte(int counts);

}  // namespace zrm
