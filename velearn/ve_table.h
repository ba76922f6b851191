// VE table geometry and VE learn's learned table.
//
// VE learn keeps its tables as 36 rows x 15 columns of unsigned 32-bit values:
// row 0 holds the MAP axis in columns 1..14 (column 0 is 0), column 0 holds the
// RPM axis in rows 1..35, and the VE cells are [row 1..35][column 1..14]. A BIN
// with the standard table uses rows 1..32; one with the extended VE table (both
// version bytes 2 or more) uses rows 1..35, and its row 32 reads 6500 RPM
// instead of 6375.
#pragma once

#include <array>
#include <cstdint>

namespace zrm {

constexpr int VE_MAP_COLUMNS = 14;
constexpr int VE_ROWS_STANDARD = 32;
constexpr int VE_ROWS_EXTENDED = 35;
constexpr int VE_TABLE_ROWS = VE_ROWS_EXTENDED + 1;
constexpr int VE_TABLE_COLUMNS = VE_MAP_COLUMNS + 1;

using VeTable = std::array<std::array<std::uint32_t, VE_TABLE_COLUMNS>, VE_TABLE_ROWS>;

// MAP axis of columns 1..14, kPa.
inline constexpr std::array<std::uint32_t, VE_MAP_COLUMNS> VE_MAP_AXIS = {20, 25, 30, 35, 40, 45, 50,
                                                                         55, 60, 65, 70, 80, 90, 100};

// RPM axis of rows 1..35 as initialised; row 32 is relabelled by the table's kind.
inline constexpr std::array<std::uint32_t, VE_ROWS_EXTENDED> VE_RPM_AXIS = {
    400,  500,  600,  700,  800,  900,  1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000, 2200,
    2400, 2600, 2800, 3000, 3200, 3400, 3600, 4000, 4400, 4800, 5200, 5600, 6000, 6375, 7000, 7500, 8000};

constexpr std::uint32_t VE_LAST_ROW_RPM_STANDARD = 6375;
constexpr std::uint32_t VE_ROW_32_RPM_EXTENDED = 6500;

// VE rows in use: 32 for the standard table, 35 for the extended one.
constexpr int VeRowCount(bool extended) { return extended ? VE_ROWS_EXTENDED : VE_ROWS_STANDARD; }

// The new VE bytes (0..255) that VE learn writes into the destination BIN.
struct LearnedVeTable {
  VeTable table{};
  bool extended = false;  // rows 1..35 in use instead of 1..32
};

// Writes both axes, with row 32 labelled for the table's kind.
inline void SetVeTableAxes(VeTable& table, bool extended) {
  table[0][0] = 0;
  for (int col = 1; col <= VE_MAP_COLUMNS; ++col) table[0][col] = VE_MAP_AXIS[col - 1];
  for (int row = 1; row <= VE_ROWS_EXTENDED; ++row) table[row][0] = VE_RPM_AXIS[row - 1];
  table[32][0] = extended ? VE_ROW_32_RPM_EXTENDED : VE_LAST_ROW_RPM_STANDARD;
}

}  // namespace zrm
