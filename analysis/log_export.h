// "Dump Log": a data log converted into a text file, read through the same
// frame reader and frame processing as the view.
//
// Two forms with the same 49 columns and then one per active ADC channel:
// comma-separated (".csv") and a fixed-width text dump (".ZRM") that puts
// two blanks after each flag and one extra blank before the flags and before
// the channels. Without "Single Header" every second of run time starts with
// the header line and markers and time stamps get a line of their own:
//
//   Marker: 003 @  12/06/2026 - 06:20:00
//   RUNTIME,RPM,MPH,MAP,PSI,...,aePW,WB_0,
//   00:01:05,2400, 35, 55,  0,...
//
// Lines end in CR LF; a LF inside a logged text becomes CR LF as well, as a
// text-mode stream writes it. A third form, ours, is a tab-separated log with
// a column-name row and a units row for the log viewers tuners use.
//
// The output is written beside its final name and renamed over it once
// complete, so an earlier export stays whole until the new one is.
#pragma once

#include <string>
#include <vector>

#include "analysis/view_file.h"
#include "devices/user_devices.h"

namespace zrm {

enum class ExportForm { Csv, Text, Msl };

struct ExportOptions {
  ExportForm form = ExportForm::Csv;
  bool singleHeader = false;  // [ANASHEADER]: one header line at the top, no marker lines
};

// The output of "Dump Log" for a chosen log: its extension replaced by ".csv"
// or ".ZRM" (appended when the file name has none).
std::string DumpOutputPath(const std::string& logPath, bool csv);

// The header line (without its line end) with the channel columns as they
// stand; the speed letter follows [KPHORMPH].
std::string ExportHeaderLine(bool csv, const std::vector<ChannelReading>& channels);

// The row of one frame (without its line end) for the CSV or text form;
// `transType` is [TRANSTYPE], `wideband` the preferred wideband value.
std::string ExportRow(const std::uint8_t* frame, bool csv, int transType, double wideband,
                      const std::vector<ChannelReading>& channels);

// Writes the export of `logPath` to `outPath`. The channels and [TRANSTYPE]
// come from `settings`; the unit switches must already be set. `step` runs
// every 17 rows; `rows`, when given, receives the number of frames written.
// Refuses (OutputOpenError) an output that is the log itself.
AnalysisResult ExportLog(const std::string& logPath, const std::string& outPath, const VistrelSettings& settings,
                         const ExportOptions& options, const ProgressStep& step = {}, long* rows = nullptr);

// The message box of a failed export or view build: caption and text.
struct AnalysisMessage {
  const char* caption;
  const char* text;
};
AnalysisMessage ExportFailureMessage(AnalysisResult result);
AnalysisMessage ViewFailureMessage(AnalysisResult result);

}  // namespace zrm
