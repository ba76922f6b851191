// zrmtool smooth --s S [--extended] [FILE]
//
// Runs the VE table smoother on tables given as text: each table is 32 rows
// (35 with --extended) of 14 VE bytes 0..255 separated by blanks, tables
// separated by blank lines. Every table is printed back in the same form
// (smoothed, or as given when the smoother's code is above 0), followed by
// "code C fp F". The whole input is checked before anything is smoothed, so a
// bad table gives no partial output.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/zrmtool/commands.h"
#include "velearn/smoother.h"

namespace zrm::tool {

namespace {

constexpr const char* SMOOTH_USAGE = "usage: zrmtool smooth --s S [--extended] [FILE]\n";

int Usage(const char* problem, const char* detail) {
  std::fprintf(stderr, "zrmtool smooth: %s%s\n%s", problem, detail, SMOOTH_USAGE);
  return EXIT_USAGE;
}

// A finite decimal number filling the whole text.
bool ParseNumber(const char* text, double& value) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return *end == '\0' && errno == 0 && std::isfinite(value);
}

bool ReadAll(std::FILE* in, std::string& text) {
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  return std::ferror(in) == 0;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

struct TextTable {
  int firstLine = 0;
  std::vector<std::vector<std::uint32_t>> rows;
};

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

void AppendTable(const LearnedVeTable& learned, std::string& out) {
  const int rows = VeRowCount(learned.extended);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= VE_MAP_COLUMNS; ++c) {
      if (c > 1) out += ' ';
      out += std::to_string(learned.table[r][c]);
    }
    out += '\n';
  }
}

}  // namespace

int CmdSmooth(int argc, char** argv) {
  double s = 0.0;
  bool haveS = false;
  bool extended = false;
  const char* path = nullptr;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--s") == 0) {
      if (i + 1 >= argc) return Usage("--s needs a value", "");
      if (!ParseNumber(argv[++i], s)) return Usage("--s is not a finite number: ", argv[i]);
      haveS = true;
    } else if (std::strcmp(arg, "--extended") == 0) {
      extended = true;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return Usage("unknown option ", arg);
    } else if (path != nullptr) {
      return Usage("more than one input file: ", arg);
    } else {
      path = arg;
    }
  }
  if (!haveS) return Usage("the smoothing factor --s is required", "");

  std::string text;
  std::string name = "standard input";
  if (path == nullptr || std::strcmp(path, "-") == 0) {
    if (!ReadAll(stdin, text)) {
      std::fprintf(stderr, "zrmtool smooth: cannot read standard input: %s\n", std::strerror(errno));
      return EXIT_FAIL;
    }
  } else {
    name = path;
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) {
      std::fprintf(stderr, "zrmtool smooth: cannot open %s: %s\n", path, std::strerror(errno));
      return EXIT_FAIL;
    }
    bool ok = ReadAll(in, text);
    int readErrno = errno;
    std::fclose(in);
    if (!ok) {
      std::fprintf(stderr, "zrmtool smooth: cannot read %s: %s\n", path, std::strerror(readErrno));
      return EXIT_FAIL;
    }
  }

  std::vector<TextTable> tables;
  std::string error;
  if (!ParseTables(text, VeRowCount(extended), name, tables, error)) {
    std::fprintf(stderr, "zrmtool smooth: %s\n", error.c_str());
    return EXIT_FAIL;
  }

  SmootherState state;
  std::string out;
  for (std::size_t t = 0; t < tables.size(); ++t) {
    LearnedVeTable learned;
    learned.extended = extended;
    SetVeTableAxes(learned.table, extended);
    for (std::size_t r = 0; r < tables[t].rows.size(); ++r) {
      for (int c = 0; c < VE_MAP_COLUMNS; ++c) learned.table[r + 1][c + 1] = tables[t].rows[r][c];
    }
    int code = SmoothVeTable(learned, s, state);
    if (t > 0) out += '\n';
    AppendTable(learned, out);
    char line[64];
    std::snprintf(line, sizeof line, "code %d fp %.9g\n", code, state.fp);
    out += line;
  }
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "zrmtool smooth: cannot write the result: %s\n", std::strerror(errno));
    return EXIT_FAIL;
  }
  return EXIT_OK;
}

}  // namespace zrm::tool
