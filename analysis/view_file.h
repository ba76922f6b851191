// The analysis view file: a decoded data log as fixed 109-byte records, one
// per accepted frame, so that row n lies at byte n x 109 and the table reads
// only the rows it shows, whatever the length of the log.
//
// A record is 107 characters and CR LF:
//
//   col 0      row kind: 0 normal, 1 marker before the frame, 2 time stamp
//              before it, 9 the selected row
//   1-10       speed-sensor pulse count "%3d " and pulses per mile "%6d"
//   11-106     what the table shows: run time, RPM, speed, MAP, TPS, CTS,
//              IAT, O2, G/S, SA, sPW, aPW, DC, the six flags, INT, BLM, IAC,
//              WB, aePW
//
//   "0 12  4004 0:01:05  2400  35  55  21  86  31   442  14 28  4.2  4.3  18  N N N N Y Y 128 131  40 14.7  0.00 \r\n"
//
// Every field is limited so that its text keeps its width; the quarter-mile
// graph reads the numbers back from these columns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "link/frame_reader.h"
#include "shell/vistrel_config.h"

namespace zrm {

constexpr int VIEW_RECORD_SIZE = 109;
constexpr int VIEW_TEXT_COLUMN = 11;  // the table shows columns 11 to 106
constexpr int VIEW_TEXT_LENGTH = 96;

// Record columns read back by the quarter-mile graph.
constexpr int VIEW_COL_PULSES = 1;
constexpr int VIEW_COL_PPM = 4;
constexpr int VIEW_COL_RUNTIME = 12;  // "h:mm:ss", 7 characters
constexpr int VIEW_COL_RPM = 20;
constexpr int VIEW_COL_SPEED = 25;
constexpr int VIEW_COL_TPS = 33;
constexpr int VIEW_COL_O2 = 45;
constexpr int VIEW_COL_AFR = 96;

constexpr char ROW_NORMAL = '0';
constexpr char ROW_MARKER = '1';
constexpr char ROW_STAMP = '2';
constexpr char ROW_SELECTED = '9';

// One progress step stands for 4709 bytes of log (about a second); the
// passes step every 17 rows.
constexpr int ANALYSIS_STEP_BYTES = 4709;
constexpr int ANALYSIS_ROWS_PER_STEP = 17;
// Upper end of a progress bar's range (0 to this) for a log of `size` bytes.
int AnalysisProgressRange(std::int64_t size);
using ProgressStep = std::function<void()>;

// The kind of the row a frame makes: a marker (always followed by its time
// stamp) before a plain time stamp.
char RowKind(const FrameTexts& texts);

// Pulses per mile as the view stores it: 2002 before firmware 2.2, else the
// speed sensor's calibration rounded; 0 for a zero calibration, which the
// quarter-mile computation skips.
int ViewPulsesPerMile(const std::uint8_t* frame);

// Formats the record of one frame into `out` (VIEW_RECORD_SIZE bytes, no NUL).
// `wideband` is the preferred wideband value at this frame. The unit switches
// decide speed and temperatures.
void FormatViewRecord(const std::uint8_t* frame, char kind, double wideband, char* out);

// The view file itself: a private temporary file, gone when closed.
class ViewFile {
 public:
  ViewFile() = default;
  ~ViewFile() { Close(); }
  ViewFile(const ViewFile&) = delete;
  ViewFile& operator=(const ViewFile&) = delete;

  // Creates the file "$$_zrm$$_%05d.tmp" (the time in seconds) in `folder`
  // (with its trailing separator; empty: the user's temporary folder). 0, or
  // -1 when no file could be created there.
  int Create(const std::string& folder = {});
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // The name the file was created under (it has none on disk afterwards).
  const std::string& Name() const { return name_; }

  // Appends one record. 0, or -1 when it could not be written.
  int Append(const char* record);
  // Writes out what Append buffered. 0 or -1.
  int Flush();

  std::int64_t Size() const { return rows_ * VIEW_RECORD_SIZE; }
  long Rows() const { return rows_; }
  // Reads row `row` into `record` (VIEW_RECORD_SIZE bytes). 0, or -1 when the
  // row lies outside the file.
  int Read(long row, char* record);
  // Reads up to `count` rows from `first`; the number read.
  int ReadRows(long first, int count, char* records);
  // Overwrites the kind character of a row. 0 or -1.
  int SetKind(long row, char kind);

 private:
  std::FILE* file_ = nullptr;
  std::string name_;
  long rows_ = 0;
  bool writing_ = false;  // the stream last wrote: a seek must come before a read
};

// Result codes of the analysis passes.
enum class AnalysisResult {
  Ok,
  LogOpenError,     // "Can not open Data Log File"
  OutputOpenError,  // "Can Not Open Output File\n\nIs it open elsewhere?"
  WriteError,       // a write failed mid-way
  CloseError,       // the output could not be finished
};

// Decodes the log into the open, empty view file: every good frame through
// the frame processing (user devices converted with "all" 0, so the
// wideband column follows the log), one record each. The channels come from
// `settings` afresh, so the view does not depend on what was shown before.
// `step` runs every 17 rows. The rows written are in view.Rows().
AnalysisResult BuildViewFile(const std::string& logPath, ViewFile& view, const VistrelSettings& settings,
                             const ProgressStep& step = {});

}  // namespace zrm
