#include "analysis/view_file.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "devices/user_devices.h"
#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "logs/offline_pass.h"
#include "platform/temp_file.h"

namespace zrm {

namespace {

constexpr double PULSE_MS_LIMIT = 99.9;
constexpr int HOURS_SHOWN_LIMIT = 9;
// The wideband column is "%4.1f": values are held where four characters end.
constexpr double WIDEBAND_HIGH = 99.9;
constexpr double WIDEBAND_LOW = -9.9;
constexpr int VIEW_TEXT_RECORD = VIEW_RECORD_SIZE - 2;  // before CR LF

char Flag(const std::uint8_t* frame, int offset, int bit) { return FrameBit(frame, offset, bit) ? 'Y' : 'N'; }

double PulseMsLimited(std::uint16_t raw) { return std::min(ToPulseMs(raw), PULSE_MS_LIMIT); }

}  // namespace

int AnalysisProgressRange(std::int64_t size) { return size < 0 ? 0 : static_cast<int>(size / ANALYSIS_STEP_BYTES); }

char RowKind(const FrameTexts& texts) {
  if (texts.mark[0] != '\0') return ROW_MARKER;
  if (texts.time[0] != '\0') return ROW_STAMP;
  return ROW_NORMAL;
}

int ViewPulsesPerMile(const std::uint8_t* frame) {
  if (FirmwareMinor(frame) < 2) return 2002;
  return RoundHalfUp(ToPulsesPerMile(FrameWord(frame, field::vssPpmRaw)));
}

void FormatViewRecord(const std::uint8_t* frame, char kind, double wideband, char* out) {
  const RunTime run = SplitRunTime(frame);
  if (!(wideband <= WIDEBAND_HIGH)) wideband = std::isnan(wideband) ? 0.0 : WIDEBAND_HIGH;
  if (wideband < WIDEBAND_LOW) wideband = WIDEBAND_LOW;
  char text[256];
  int n = std::snprintf(
      text, sizeof text,
      "%c%3d %6d %01d:%02d:%02d %4d %3.0f %3.0f %3.0f %3.0f %3.0f %4.0f %3d %2.0f %4.1f %4.1f %3d  "
      "%c %c %c %c %c %c %3d %3d %3d %4.1f %5.2f \r\n",
      kind, FrameByte(frame, field::vssPulseCount), ViewPulsesPerMile(frame), std::min(run.hours, HOURS_SHOWN_LIMIT),
      run.minutes, run.seconds, ComputeRpm(frame), ToSpeedUnit(FrameByte(frame, field::vehicleSpeed)),
      ManifoldKpa(frame), ToPercent256(FrameByte(frame, field::tpsRaw)), ToTemperature(FrameByte(frame, field::ctsRaw)),
      ToTemperature(FrameByte(frame, field::iatRaw)), ToO2Millivolts(FrameByte(frame, field::o2Raw)),
      FrameByte(frame, field::airflowGs), ToAdvanceDeg(FrameByte(frame, field::sparkAdvance)),
      PulseMsLimited(FrameWord(frame, field::basePw)), PulseMsLimited(FrameWord(frame, field::actualPw)),
      static_cast<int>(ComputeDutyCycle(frame)), Flag(frame, field::statusByte13, 6),
      Flag(frame, field::statusByte13, 4), Flag(frame, field::statusByte13, 7), Flag(frame, field::statusByte8, 3),
      Flag(frame, field::statusByte14, 7), Flag(frame, field::statusByte14, 1), FrameByte(frame, field::integrator),
      FrameByte(frame, field::blm), FrameByte(frame, field::iacSteps), wideband,
      PulseMsLimited(FrameWord(frame, field::aePw)));
  // Every field is bounded, so the text is always a whole record; a record
  // must never straddle two rows.
  if (n != VIEW_RECORD_SIZE) {
    std::memset(out, ' ', VIEW_TEXT_RECORD);
    out[0] = kind;
    out[VIEW_TEXT_RECORD] = '\r';
    out[VIEW_TEXT_RECORD + 1] = '\n';
    return;
  }
  std::memcpy(out, text, VIEW_RECORD_SIZE);
}

int ViewFile::Create(const std::string& folder) {
  Close();
  const std::string where = folder.empty() ? TemporaryFolder() : folder;
  // The name carries the time as the program always named it; a name taken
  // by another view (a second program, the same second) moves on by one.
  const long now = static_cast<long>(std::time(nullptr));
  for (long attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "$$_zrm$$_%05ld.tmp", now + attempt);
    std::FILE* file = CreateTemporaryFile(where + name);
    if (file) {
      std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
      file_ = file;
      name_ = name;
      rows_ = 0;
      writing_ = false;
      return 0;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

void ViewFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  rows_ = 0;
  writing_ = false;
}

int ViewFile::Append(const char* record) {
  if (!file_) return -1;
  if (!writing_) {
    if (std::fseek(file_, 0, SEEK_END) != 0) return -1;
    writing_ = true;
  }
  if (std::fwrite(record, 1, VIEW_RECORD_SIZE, file_) != static_cast<std::size_t>(VIEW_RECORD_SIZE)) return -1;
  ++rows_;
  return 0;
}

int ViewFile::Flush() {
  if (!file_) return -1;
  return std::fflush(file_) == 0 ? 0 : -1;
}

int ViewFile::ReadRows(long first, int count, char* records) {
  if (!file_ || first < 0 || first >= rows_ || count <= 0) return 0;
  count = static_cast<int>(std::min<long>(count, rows_ - first));
  if (std::fseek(file_, first * static_cast<long>(VIEW_RECORD_SIZE), SEEK_SET) != 0) return 0;
  writing_ = false;
  std::size_t got = std::fread(records, VIEW_RECORD_SIZE, static_cast<std::size_t>(count), file_);
  return static_cast<int>(got);
}

int ViewFile::Read(long row, char* record) { return ReadRows(row, 1, record) == 1 ? 0 : -1; }

int ViewFile::SetKind(long row, char kind) {
  if (!file_ || row < 0 || row >= rows_) return -1;
  if (std::fseek(file_, row * static_cast<long>(VIEW_RECORD_SIZE), SEEK_SET) != 0) return -1;
  writing_ = false;  // the next append seeks to the end again
  if (std::fputc(kind, file_) == EOF) return -1;
  return std::fflush(file_) == 0 ? 0 : -1;
}

AnalysisResult BuildViewFile(const std::string& logPath, ViewFile& view, const VistrelSettings& settings,
                             const ProgressStep& step) {
  OfflinePass pass;
  if (pass.Open(logPath) != 0) return AnalysisResult::LogOpenError;
  // A copy of the channel set-up, converted from the start of this log.
  auto devicesSettings = std::make_unique<VistrelSettings>(settings);
  auto devices = std::make_unique<UserDevices>(*devicesSettings);
  devices->SetUp();
  pass.processor.hooks.updateUserDevices = [&devices](const std::uint8_t* frame, int all) {
    devices->UpdateUserDevices(frame, all);
  };

  AnalysisResult result = AnalysisResult::Ok;
  long rowsSinceStep = 0;
  char record[VIEW_RECORD_SIZE];
  bool failed = false;
  pass.Run(MODE_ANALYSIS, [&](const std::uint8_t* frame, const FrameTexts& texts) {
    if (failed) return;
    FormatViewRecord(frame, RowKind(texts), devices->PreferredWidebandValue(), record);
    if (view.Append(record) != 0) {
      failed = true;
      pass.sources.Halt();  // the pass ends here
      return;
    }
    if (++rowsSinceStep == ANALYSIS_ROWS_PER_STEP) {
      rowsSinceStep = 0;
      if (step) step();
    }
  });
  if (failed || view.Flush() != 0) result = AnalysisResult::WriteError;
  return result;
}

}  // namespace zrm
