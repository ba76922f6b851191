#include "config/config_file.h"

#include "platform/durable_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <unordered_map>

namespace zrm {

namespace {

// The Windows programs read with fgets into a 1048-byte buffer.
constexpr std::size_t CONFIG_PIECE_LENGTH = 1047;
constexpr char CTRL_Z = 0x1A;

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::size_t SkipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsCSpace(text[pos])) ++pos;
  return pos;
}

// Whether a decimal number that from_chars found out of range was too large
// (rather than too small): the position of its first significant digit
// relative to the decimal point, plus its exponent, is positive.
bool DecimalOverflows(std::string_view number) {
  long long magnitude = 0;
  bool seenSignificant = false;
  bool afterPoint = false;
  std::size_t pos = 0;
  for (; pos < number.size(); ++pos) {
    char c = number[pos];
    if (c == '.') {
      afterPoint = true;
    } else if (IsDigit(c)) {
      if (!afterPoint) {
        if (seenSignificant || c != '0') {
          seenSignificant = true;
          ++magnitude;
        }
      } else if (!seenSignificant) {
        if (c != '0') seenSignificant = true;
        else --magnitude;
      }
    } else {
      break;
    }
  }
  if (pos < number.size() && (number[pos] == 'e' || number[pos] == 'E')) {
    long long exponent = 0;
    std::from_chars(number.data() + pos + 1 + (number.size() > pos + 1 && number[pos + 1] == '+'),
                    number.data() + number.size(), exponent);
    magnitude += exponent;
  }
  return magnitude > 0;
}

void ShowConfigError(const ConfigFile& file) {
  if (file.services != nullptr) {
    file.services->ShowMessage(CONFIG_ERROR_CAPTION, ConfigErrorText(file.path), MessageIcon::Information);
  }
}

// The rows by key, built once per read: a file of a few hundred lines would
// otherwise compare every line with every key. The first row of a key wins.
using ConfigKeyIndex = std::unordered_map<std::string_view, int>;

ConfigKeyIndex IndexConfigKeys(std::span<const ConfigKey> keys) {
  ConfigKeyIndex index;
  index.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) index.emplace(keys[i].key, static_cast<int>(i));
  return index;
}

int LookUpConfigKey(const ConfigKeyIndex& index, std::string_view line) {
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return -1;
  auto found = index.find(line.substr(0, close + 1));
  return found == index.end() ? -1 : found->second;
}

// Stores one line's value into its row's target by the rules of the row's kind.
void ApplyConfigLine(const ConfigFile& file, const ConfigKeyIndex& keyIndex, std::string_view line) {
  int index = LookUpConfigKey(keyIndex, line);
  if (index < 0) return;
  const ConfigKey& row = file.keys[static_cast<std::size_t>(index)];
  // The value starts one character (the blank) behind the key.
  std::size_t start = row.key.size() + 1;
  std::string_view value = start <= line.size() ? line.substr(start) : std::string_view{};

  switch (row.kind) {
    case ConfigKind::Integer:
      if (auto* target = std::get_if<std::int32_t*>(&row.target)) {
        std::int32_t v = ParseConfigInteger(value);
        **target = (v >= row.low && v <= row.high) ? v : ParseConfigInteger(row.fallback);
      }
      break;
    case ConfigKind::Short:
      if (auto* target = std::get_if<std::int16_t*>(&row.target)) {
        std::int32_t v = ParseConfigInteger(value);
        if (v < row.low || v > row.high) v = ParseConfigInteger(row.fallback);
        **target = static_cast<std::int16_t>(v);  // the low 16 bits
      }
      break;
    case ConfigKind::Text:
      if (auto* target = std::get_if<std::string*>(&row.target)) {
        // The limit counts the value itself: neither the line end nor the
        // blanks around it, so that whatever was written reads back.
        std::string text(value);
        TrimSpaces(text);
        if (text.size() > static_cast<std::size_t>(std::max<std::int32_t>(row.low, 0))) {
          text = row.fallback;
          TrimSpaces(text);
        }
        **target = std::move(text);
      }
      break;
    case ConfigKind::Real:
      if (auto* target = std::get_if<double*>(&row.target)) {
        double v = ParseConfigReal(value);
        // "nan", "inf" or an overflow is no value: it would poison every sum
        // made with it (the trip totals) and never read back equal.
        if (!std::isfinite(v) || (file.checkRealRange && (v < row.low || v > row.high)))
          v = ParseConfigReal(row.fallback);
        **target = v;
      }
      break;
  }
}

}  // namespace

ConfigKey IdentificationKey(std::string key, std::string text) {
  return ConfigKey{std::move(key), ConfigKind::Text, 0, 0, std::move(text), std::monostate{}};
}

ConfigKey IntegerKey(std::string key, std::int32_t low, std::int32_t high, std::string fallback,
                     std::int32_t& target) {
  return ConfigKey{std::move(key), ConfigKind::Integer, low, high, std::move(fallback), &target};
}

ConfigKey ShortKey(std::string key, std::int32_t low, std::int32_t high, std::string fallback,
                   std::int16_t& target) {
  return ConfigKey{std::move(key), ConfigKind::Short, low, high, std::move(fallback), &target};
}

ConfigKey RealKey(std::string key, std::int32_t low, std::int32_t high, std::string fallback, double& target) {
  return ConfigKey{std::move(key), ConfigKind::Real, low, high, std::move(fallback), &target};
}

ConfigKey TextKey(std::string key, std::int32_t longest, std::string fallback, std::string& target) {
  return ConfigKey{std::move(key), ConfigKind::Text, longest, 0, std::move(fallback), &target};
}

int FindConfigKey(std::span<const ConfigKey> keys, std::string_view line) {
  return LookUpConfigKey(IndexConfigKeys(keys), line);
}

void TrimSpaces(std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && IsCSpace(text[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && IsCSpace(text[begin])) ++begin;
  text = text.substr(begin, end - begin);
}

std::int32_t ParseConfigInteger(std::string_view text) {
  std::size_t pos = SkipSpaces(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Accumulate as a negative number so that the most negative value fits.
  constexpr long long MIN = std::numeric_limits<std::int32_t>::min();
  constexpr long long MAX = std::numeric_limits<std::int32_t>::max();
  long long value = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    value = value * 10 - (text[pos] - '0');
    if (value < MIN) value = MIN - 1;  // saturated; stays below the limit
  }
  if (negative) return static_cast<std::int32_t>(value < MIN ? MIN : value);
  return static_cast<std::int32_t>(-value > MAX ? MAX : -value);
}

double ParseConfigReal(std::string_view text) {
  std::size_t pos = SkipSpaces(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::string_view rest = text.substr(pos);
  if (rest.empty() || rest[0] == '+' || rest[0] == '-') return 0.0;

  double value = 0.0;
  std::chars_format format = std::chars_format::general;
  std::size_t skip = 0;
  if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
      (IsHexDigit(rest[2]) || (rest[2] == '.' && rest.size() > 3 && IsHexDigit(rest[3])))) {
    format = std::chars_format::hex;
    skip = 2;
  }
  auto [end, ec] = std::from_chars(rest.data() + skip, rest.data() + rest.size(), value, format);
  if (ec == std::errc::result_out_of_range) {
    std::string_view number(rest.data() + skip, static_cast<std::size_t>(end - (rest.data() + skip)));
    bool overflow = format == std::chars_format::hex ? number.find("p-") == std::string_view::npos &&
                                                           number.find("P-") == std::string_view::npos
                                                     : DecimalOverflows(number);
    value = overflow ? HUGE_VAL : 0.0;
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

std::string FormatConfigReal(double value) {
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  if (ec != std::errc()) return "0.000000";  // cannot happen: the buffer holds any double
  return std::string(buffer, end);
}

std::string TextModeRead(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find(CTRL_Z));
  std::string text;
  text.reserve(bytes.size());
  // Whole stretches up to each CR LF at a time; the CR is left out.
  std::size_t pos = 0;
  for (std::size_t cr = bytes.find("\r\n"); cr != std::string_view::npos; cr = bytes.find("\r\n", pos)) {
    text.append(bytes, pos, cr - pos);
    pos = cr + 1;
  }
  text.append(bytes, pos);
  return text;
}

std::string TextModeWrite(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16);
  std::size_t pos = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', pos)) {
    bytes.append(text, pos, lf - pos);
    bytes += "\r\n";
    pos = lf + 1;
  }
  bytes.append(text, pos);
  return bytes;
}

std::string ConfigErrorText(const std::string& path) {
  return "Can not open Configuration File: \n\n " + path;
}

int LoadConfig(const ConfigFile& file) {
  if (file.path.empty()) return 0;
  // Opened for reading and update ("r+"), as the Windows programs do: a file
  // that may not be written counts as one that cannot be opened.
  std::fstream stream(file.path, std::ios::in | std::ios::out | std::ios::binary);
  if (!stream.is_open()) {
    std::fstream created(file.path, std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
    if (!created.is_open()) {
      ShowConfigError(file);
      return 0;
    }
    // Just created: there is nothing to read, so the start values stay.
    return 0;
  }
  std::string bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  stream.close();
  ApplyConfigBytes(file, bytes);
  return 0;
}

void ApplyConfigBytes(const ConfigFile& file, std::string_view bytes) {
  std::string text = TextModeRead(bytes);
  const ConfigKeyIndex keyIndex = IndexConfigKeys(file.keys);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t length = std::min(CONFIG_PIECE_LENGTH, text.size() - pos);
    std::size_t lineEnd = text.find('\n', pos);
    if (lineEnd != std::string::npos && lineEnd - pos + 1 < length) length = lineEnd - pos + 1;
    std::string_view piece(text.data() + pos, length);
    pos += length;
    // The piece is handled as a C string: a NUL byte ends it early.
    piece = piece.substr(0, piece.find('\0'));
    ApplyConfigLine(file, keyIndex, piece);
  }

  if (file.afterReading) file.afterReading();
}

void WriteConfigEntries(const ConfigFile& file, std::string& out) {
  if (file.beforeWriting) file.beforeWriting();
  const char* lineEnd = file.lineEnd == ConfigLineEnd::CrLf ? "\r\n" : "\n";
  for (const ConfigKey& row : file.keys) {
    out += row.key;
    out += ' ';
    if (auto* integer = std::get_if<std::int32_t*>(&row.target)) {
      std::int32_t& v = **integer;
      if (v < row.low) v = row.low;
      if (v > row.high) v = row.high;
      out += std::to_string(v);
    } else if (auto* shortValue = std::get_if<std::int16_t*>(&row.target)) {
      std::int16_t& v = **shortValue;
      if (v < row.low) v = static_cast<std::int16_t>(row.low);
      if (v > row.high) v = static_cast<std::int16_t>(row.high);
      out += std::to_string(v);
    } else if (auto* text = std::get_if<std::string*>(&row.target)) {
      out += **text;
    } else if (auto* real = std::get_if<double*>(&row.target)) {
      double& v = **real;
      if (file.checkRealRange) {
        if (v < row.low) v = row.low;
        if (v > row.high) v = row.high;
      }
      out += FormatConfigReal(v);
    } else {
      out += row.fallback;
    }
    out += lineEnd;
  }
}

std::string FormatConfigBytes(const ConfigFile& file) {
  std::string text;
  WriteConfigEntries(file, text);
  return TextModeWrite(text);
}

int SaveConfig(const ConfigFile& file) {
  if (file.path.empty()) return 0;
  // Written beside and renamed over: a full disk or a crash mid-write leaves
  // the previous file whole (the trip totals with it), never one cut mid-key.
  ReplacingFile out;
  if (out.Open(file.path) != 0) {
    ShowConfigError(file);
    return -1;
  }
  const std::string bytes = FormatConfigBytes(file);
  out.Write(bytes.data(), bytes.size());
  if (out.Commit() != 0) {
    ShowConfigError(file);
    return -1;
  }
  return 0;
}

FilePathTriple SplitFilePath(const std::string& path) {
#ifdef _WIN32
  const char* separators = "\\/";
#else
  const char* separators = "/";
#endif
  FilePathTriple triple;
  triple.path = path;
  std::size_t cut = path.find_last_of(separators);
  if (cut == std::string::npos) {
    triple.name = path;
  } else {
    triple.folder = path.substr(0, cut + 1);
    triple.name = path.substr(cut + 1);
  }
  return triple;
}

}  // namespace zrm
