// VE tables as text, the form zrmtool reads and prints: each table is its rows
// (32, or 35 for an extended table) of 14 VE bytes 0..255 separated by blanks;
// tables are separated by blank lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zrm {

struct TextTable {
  int firstLine = 0;  // 1-based line of its first row in the input
  std::vector<std::vector<std::uint32_t>> rows;
};

// One row of VE bytes; false with a message in `error` when the line is not one.
bool ParseRow(const std::string& line, std::vector<std::uint32_t>& row, std::string& error);

// Splits the text into tables at blank lines and checks each; false on the
// first fault, with a message that names the input, the table and the line.
bool ParseTables(const std::string& text, int rowCount, const std::string& name, std::vector<TextTable>& tables,
                 std::string& error);

}  // namespace zrm
