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
#include "velearn/ve_table_text.h"

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
  value = std::strtod(text, &end);
  // An underflow (1e-310) is a finite number all the same; an overflow gives
  // infinity and is refused.
  return *end == '\0' && std::isfinite(value);
}

bool ReadAll(std::FILE* in, std::string& text) {
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  return std::ferror(in) == 0;
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
