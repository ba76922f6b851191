// The ConfigFile: each program's settings as a small text file of lines
// "[KEY] value", read and written through one ordered key table.
//
// On disk (as the Windows programs leave it):
//   vistrel formats each line with CR LF and writes it through a text-mode
//   stream, so a line ends CR CR LF:   5B 52 44 4C 4E 5D 20 35 38 30 30 0D 0D 0A
//   the utilities format LF, which text mode turns into CR LF.
// Reading is text mode too: CR LF arrives as LF (so vistrel's CR CR LF arrives
// as CR LF) and Ctrl-Z ends the input. Both translations are done here in code,
// so a file reads the same everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/services.h"

namespace zrm {

enum class ConfigKind { Integer, Text, Real, Short };

// The longest serial port name a [PORT] key holds: a device path such as a
// link under /dev/serial/by-id/ runs well past the old 32 characters.
constexpr std::int32_t PORT_NAME_LONGEST = 255;

// Where a row's value lives; monostate for the identification row.
using ConfigTarget = std::variant<std::monostate, std::int32_t*, std::int16_t*, double*, std::string*>;

// One row of a key table. Build rows with the helpers below so that kind and
// target always agree.
struct ConfigKey {
  std::string key;        // as it stands in the file, brackets included
  ConfigKind kind = ConfigKind::Text;
  std::int32_t low = 0;   // integer/short/real: smallest value; text: longest value
  std::int32_t high = 0;  // integer/short/real: largest value
  std::string fallback;   // replaces a bad value; the written text of a row without target
  ConfigTarget target;
};

ConfigKey IdentificationKey(std::string key, std::string text);
ConfigKey IntegerKey(std::string key, std::int32_t low, std::int32_t high, std::string fallback,
                     std::int32_t& target);
ConfigKey ShortKey(std::string key, std::int32_t low, std::int32_t high, std::string fallback,
                   std::int16_t& target);
ConfigKey RealKey(std::string key, std::int32_t low, std::int32_t high, std::string fallback, double& target);
ConfigKey TextKey(std::string key, std::int32_t longest, std::string fallback, std::string& target);

// The line end a program formats. Text-mode writing turns every LF into CR LF,
// so CrLf lands on disk as CR CR LF (vistrel) and Lf as CR LF (the utilities).
enum class ConfigLineEnd { CrLf, Lf };

// Full path, file name and folder that a file dialog keeps and seeds the next
// dialog from.
struct FilePathTriple {
  std::string path;
  std::string name;
  std::string folder;
  bool operator==(const FilePathTriple&) const = default;
};

// The triple of a chosen path: the path, its file name, and its folder with
// the trailing separator.
FilePathTriple SplitFilePath(const std::string& path);

// One program's configuration file. The key table points into a settings
// struct that must outlive this object and stay where it is.
struct ConfigFile {
  std::string path;  // empty: the program has no configuration; nothing is read or written
  ConfigLineEnd lineEnd = ConfigLineEnd::Lf;
  bool checkRealRange = false;  // the utilities range-check reals; vistrel does not
  std::vector<ConfigKey> keys;  // in file order
  PlatformServices* services = nullptr;  // for the error message; none: not shown
  // Runs after a file has been read to its end (not when it was just created
  // or could not be opened).
  std::function<void()> afterReading;
  // Runs before the rows are written (a save or a data log's head): values
  // that another thread keeps, such as the trip totals, are copied in first.
  std::function<void()> beforeWriting;
};

// Index of the row whose key begins the line (up to and including its first
// ']'), or -1 when there is none or the line has no ']'.
int FindConfigKey(std::span<const ConfigKey> keys, std::string_view line);

// Removes leading and trailing white space in place.
void TrimSpaces(std::string& text);

// Decimal conversion as the C library's atoi does it: leading white space,
// optional sign, digits up to the first other character, 0 when there are
// none; saturates at the 32-bit limits.
std::int32_t ParseConfigInteger(std::string_view text);

// Real conversion as atof does it, independent of the process locale; 0.0 when
// nothing converts.
double ParseConfigReal(std::string_view text);

// A real as "%lf" writes it (six decimals), independent of the process locale.
std::string FormatConfigReal(double value);

// The file's bytes as a text-mode read delivers them: CR LF becomes LF and a
// Ctrl-Z ends the input.
std::string TextModeRead(std::string_view bytes);

// What a text-mode write puts on disk for the text: every LF becomes CR LF.
std::string TextModeWrite(std::string_view text);

// Opens the file and reads every recognised key into its target. A missing file
// is created empty and read no further (every value keeps its start value);
// when it can be neither opened nor created the error box is shown and the
// values stay. Always returns 0.
int LoadConfig(const ConfigFile& file);

// What a read does with the file's bytes: each line's value stored into its
// row's target, then afterReading.
void ApplyConfigBytes(const ConfigFile& file, std::string_view bytes);

// The bytes a save puts in the file.
std::string FormatConfigBytes(const ConfigFile& file);

// Writes every row to a new file beside the configuration and renames it over
// the old one. 0, or -1 after the error box when the file could not be
// written (the previous file is then left exactly as it was).
int SaveConfig(const ConfigFile& file);

// Appends every row, in table order, with the program's own line end and no
// text-mode translation (what a binary stream such as a data log receives).
// Integer and short targets, and reals when range-checked, are first corrected
// into their limits in memory.
void WriteConfigEntries(const ConfigFile& file, std::string& out);

// Caption and text of the error box for the given full path.
constexpr const char* CONFIG_ERROR_CAPTION = "Configuration File Error";
std::string ConfigErrorText(const std::string& path);

}  // namespace zrm
