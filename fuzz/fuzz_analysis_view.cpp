// The analysis view and "Dump Log" over an arbitrary log. The first byte
// chooses the unit switches, the header form, the transmission and whether
// two ADC channels are set up; the rest is the log.
//
// The same log is first run through the plain offline pass: its frames are
// what every other output must hold. The view must have one record per
// frame, of the kind its texts make, with the pulse count and pulses per mile
// read back from their columns; both export forms must write a row per frame,
// end every line in CR LF and put exactly the header, marker and time-stamp
// lines the rules call for; the quarter-mile figures from any row must be
// finite and reached in order of distance.
#include <cmath>
#include <cstring>
#include <vector>

#include "analysis/log_export.h"
#include "analysis/quarter_mile.h"
#include "analysis/view_file.h"
#include "fuzz/fuzz_support.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "logs/offline_pass.h"

namespace {

using namespace zrm;
using zrm::fuzz::Check;

struct Frame {
  std::vector<std::uint8_t> payload;
  char kind;
  std::size_t textLines;  // "Marker:" / "TimeStamp:" lines, with any LF inside a text
  int seconds;
};

std::size_t CountOf(const char* text, char c) {
  std::size_t n = 0;
  for (; *text != '\0'; ++text) n += *text == c ? 1 : 0;
  return n;
}

std::size_t CountOf(const std::string& text, char c) {
  std::size_t n = 0;
  for (char t : text) n += t == c ? 1 : 0;
  return n;
}

VistrelSettings SettingsFor(std::uint8_t control) {
  VistrelSettings s;
  s.transType = (control >> 4) & 1;
  if (control & 0x08) {
    // A preferred wideband on channel 0 and a filtered pressure sender on 1.
    s.adcChannels[0].type = 0;
    s.adcChannels[0].index = 1;
    s.adcChannels[0].instance = 1;
    s.adcChannels[0].wbPreferred = 1;
    s.adcChannels[1].type = 1;
    s.adcChannels[1].index = 2;
    s.adcChannels[1].instance = 1;
    s.adcChannels[1].filter = 50;
  }
  return s;
}

void CheckView(ViewFile& view, const std::vector<Frame>& frames) {
  Check(view.Rows() == static_cast<long>(frames.size()), "one view record per frame of the offline pass");
  Check(view.Size() == view.Rows() * VIEW_RECORD_SIZE, "the view is whole records");
  char record[VIEW_RECORD_SIZE];
  for (std::size_t row = 0; row < frames.size(); ++row) {
    Check(view.Read(static_cast<long>(row), record) == 0, "every record reads back");
    Check(record[VIEW_RECORD_SIZE - 2] == '\r' && record[VIEW_RECORD_SIZE - 1] == '\n', "a record ends in CR LF");
    for (int i = 0; i < VIEW_RECORD_SIZE - 2; ++i)
      Check(record[i] >= ' ' && record[i] <= '~', "a record is printable text of its fixed width");
    const std::uint8_t* frame = frames[row].payload.data();
    Check(record[0] == frames[row].kind, "the record's kind follows the frame's texts");
    const ViewRecordValues v = ParseViewRecord(record);
    Check(v.pulseCount == FrameByte(frame, field::vssPulseCount), "the pulse count reads back from its column");
    Check(v.pulsesPerMile == ViewPulsesPerMile(frame), "pulses per mile read back from their column");
  }
  Check(view.Read(view.Rows(), record) == -1, "no record past the end");
}

void CheckQuarter(const QuarterMileResults& q, long rowsAfter) {
  const double times[] = {q.zeroToSixtyTime, q.sixtyFootTime, q.threeThirtyFootTime, q.eighthMileTime,
                          q.quarterMileTime};
  for (double t : times) {
    Check(std::isfinite(t) && t >= 0.0, "a time is finite and not negative");
    Check(t <= static_cast<double>(rowsAfter) / QUARTER_FRAMES_PER_SECOND + 1e-9, "a time lies within the view");
  }
  Check(std::isfinite(q.eighthMileSpeed) && q.eighthMileSpeed >= 0.0 && q.eighthMileSpeed < 1000.0,
        "the 1/8 mile trap speed is a speed");
  Check(std::isfinite(q.quarterMileSpeed) && q.quarterMileSpeed >= 0.0 && q.quarterMileSpeed < 1000.0,
        "the 1/4 mile trap speed is a speed");
  // A record past a mark is past every shorter one.
  const double marks[] = {q.sixtyFootTime, q.threeThirtyFootTime, q.eighthMileTime, q.quarterMileTime};
  for (int i = 0; i + 1 < 4; ++i) {
    if (marks[i + 1] != 0.0) Check(marks[i] != 0.0 && marks[i] <= marks[i + 1], "the marks are passed in order");
  }
}

void CheckExport(const std::string& logPath, const std::vector<Frame>& frames, const VistrelSettings& settings,
                 bool csv, bool singleHeader) {
  static const std::string outPath = zrm::fuzz::ScratchPath("export.out");
  long rows = -1;
  const AnalysisResult result =
      ExportLog(logPath, outPath, settings, {csv ? ExportForm::Csv : ExportForm::Text, singleHeader}, {}, &rows);
  Check(result == AnalysisResult::Ok, "the export of a readable log succeeds");
  Check(rows == static_cast<long>(frames.size()), "the export writes one row per frame");
  const std::string out = zrm::fuzz::ReadFileOrDie(outPath);

  std::size_t expectedLines = singleHeader ? 1 : 0;
  int previousSeconds = -1;
  for (const Frame& f : frames) {
    expectedLines += 1;
    if (!singleHeader) {
      expectedLines += f.textLines;
      if (f.seconds != previousSeconds) expectedLines += 1;
    }
    previousSeconds = f.seconds;
  }
  Check(CountOf(out, '\n') == expectedLines, "the export has a line per row, header, marker and time stamp");
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n') Check(i > 0 && out[i - 1] == '\r', "every line ends in CR LF");
  }
  if (!out.empty())
    Check(out.size() >= 2 && out[out.size() - 2] == '\r' && out.back() == '\n', "the export ends with a whole line");

  if (csv && singleHeader) {
    // Every row has the header's columns.
    std::size_t start = 0;
    std::size_t headerCommas = 0;
    for (std::size_t line = 0; start < out.size(); ++line) {
      const std::size_t end = out.find('\n', start);
      const std::size_t commas = CountOf(out.substr(start, end - start), ',');
      if (line == 0) headerCommas = commas;
      Check(commas == headerCommas, "every CSV row has the header's columns");
      start = end + 1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  static const std::string logPath = zrm::fuzz::ScratchPath("run.dat");
  zrm::fuzz::WriteFileOrDie(logPath, data + 1, size - 1);
  const int kph = control & 1;
  SetSpeedUnit(kph);
  SetTemperatureScale((control >> 1) & 1);
  const VistrelSettings settings = SettingsFor(control);

  std::vector<Frame> frames;
  {
    OfflinePass pass;
    Check(pass.Open(logPath) == 0, "the scratch log opens");
    const OfflinePassResult r = pass.Run(MODE_ANALYSIS, [&frames](const std::uint8_t* frame, const FrameTexts& texts) {
      Frame f;
      f.payload.assign(frame, frame + FRAME_PAYLOAD_SIZE);
      f.kind = RowKind(texts);
      f.textLines = 0;
      if (texts.mark[0] != '\0') {
        f.textLines = 1 + CountOf(texts.mark, '\n') + CountOf(texts.time, '\n');
      } else if (texts.time[0] != '\0') {
        f.textLines = 1 + CountOf(texts.time, '\n');
      }
      f.seconds = SplitRunTime(frame).seconds;
      frames.push_back(std::move(f));
    });
    Check(!r.readError, "a regular file reads to its end");
    Check(r.frames == frames.size(), "the pass counts the frames it hands on");
  }

  ViewFile view;
  Check(view.Create(zrm::fuzz::ScratchPath("")) == 0, "a view file can be made");
  Check(BuildViewFile(logPath, view, settings) == AnalysisResult::Ok, "the view of a readable log builds");
  CheckView(view, frames);

  const long rows = view.Rows();
  CheckQuarter(ComputeQuarterMile(view, 0, kph), rows);
  const std::vector<long> launches = FindLaunches(view, kph);
  long previous = -1;
  for (std::size_t i = 0; i < launches.size(); ++i) {
    Check(launches[i] > previous && launches[i] < rows, "launches lie in the view, in order");
    previous = launches[i];
    if (i < 4) CheckQuarter(ComputeQuarterMile(view, launches[i], kph), rows - launches[i]);
  }
  const QuarterMileResults outside = ComputeQuarterMile(view, rows, kph);
  Check(outside.quarterMileTime == 0.0 && outside.sixtyFootTime == 0.0 && outside.startTime.empty(),
        "a launch past the view gives nothing");

  CheckExport(logPath, frames, settings, true, (control >> 2) & 1);
  CheckExport(logPath, frames, settings, false, (control >> 2) & 1);
  return 0;
}
