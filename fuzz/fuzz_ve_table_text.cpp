// The smoother's table parser over arbitrary text: what it accepts is exactly
// tables of the asked row count of 14 values 0..255.
#include "fuzz/fuzz_support.h"
#include "velearn/ve_table.h"
#include "velearn/ve_table_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int rows = (data[0] & 1) ? zrm::VE_ROWS_EXTENDED : zrm::VE_ROWS_STANDARD;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<zrm::TextTable> tables;
  std::string error;
  if (!zrm::ParseTables(text, rows, "input", tables, error)) {
    zrm::fuzz::Check(!error.empty(), "a refusal says why");
    return 0;
  }
  zrm::fuzz::Check(!tables.empty(), "an accepted input has a table");
  for (const zrm::TextTable& t : tables) {
    zrm::fuzz::Check(static_cast<int>(t.rows.size()) == rows, "every table has the asked rows");
    for (const auto& row : t.rows) {
      zrm::fuzz::Check(row.size() == static_cast<std::size_t>(zrm::VE_MAP_COLUMNS), "every row has 14 values");
      for (std::uint32_t v : row) zrm::fuzz::Check(v <= 255, "every value is a byte");
    }
  }
  return 0;
}
