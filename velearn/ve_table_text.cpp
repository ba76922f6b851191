#include "velearn/ve_table_text.h"

#include <cstdlib>

#include "velearn/ve_table.h"

namespace zrm {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

// One row of VE bytes; false with a message in `error` when the line is not one.
bool ParseRow(const std::string& line, std::vector<std::uint32_t>& row, std::string& error) {
  row.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    std::string token = line.substr(start, i - start);
    std::uint32_t value = 0;
    bool ok = token.size() <= 3;
    for (char c : token) ok = ok && c >= '0' && c <= '9';
    if (ok) value = static_cast<std::uint32_t>(std::strtoul(token.c_str(), nullptr, 10));
    if (!ok || value > 255) {
      error = "'" + token + "' is not a VE value 0..255";
      return false;
    }
    row.push_back(value);
  }
  if (row.size() != static_cast<std::size_t>(VE_MAP_COLUMNS)) {
    error = "expected " + std::to_string(VE_MAP_COLUMNS) + " values, found " + std::to_string(row.size());
    return false;
  }
  return true;
}

// Splits the text into tables at blank lines and checks each; on failure the
// message names the input, the table and the line.
bool ParseTables(const std::string& text, int rowCount, const std::string& name, std::vector<TextTable>& tables,
                 std::string& error) {
  tables.clear();
  bool inTable = false;
  int lineNo = 0;
  std::size_t pos = 0;
  std::vector<std::uint32_t> row;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    bool blank = true;
    for (char c : line) blank = blank && IsBlank(c);
    if (blank) {
      inTable = false;
      continue;
    }
    if (!inTable) {
      tables.push_back(TextTable{lineNo, {}});
      inTable = true;
    }
    std::string rowError;
    if (!ParseRow(line, row, rowError)) {
      error = name + ": table " + std::to_string(tables.size()) + ", line " + std::to_string(lineNo) + ": " +
              rowError;
      return false;
    }
    tables.back().rows.push_back(row);
  }
  if (tables.empty()) {
    error = name + ": no table in the input";
    return false;
  }
  for (std::size_t t = 0; t < tables.size(); ++t) {
    int rows = static_cast<int>(tables[t].rows.size());
    if (rows != rowCount) {
      error = name + ": table " + std::to_string(t + 1) + " (from line " + std::to_string(tables[t].firstLine) +
              ") has " + std::to_string(rows) + " rows, expected " + std::to_string(rowCount) +
              (rowCount == VE_ROWS_STANDARD ? " (35 with --extended)" : "");
      return false;
    }
  }
  return true;
}

}  // namespace zrm
