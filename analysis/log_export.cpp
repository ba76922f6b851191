#include "analysis/log_export.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "link/conversions.h"
#include "link/runtime_frame.h"
#include "logs/offline_pass.h"
#include "platform/durable_file.h"

namespace zrm {

namespace {

constexpr double BASE_PW_LIMIT = 99.0;
constexpr double PULSE_MS_LIMIT = 99.9;
constexpr int GEAR_LIMIT = 9;
constexpr int CLOSED_LOOP_LIMIT = 2;

constexpr const char* CSV_HEADER =
    "RUNTIME,RPM,%cPH,MAP,PSI,BRO,VAC,VE%%,TPS,CTS,IAT,I/C,O2,G/S,SA,Rt,KnkCt,sPW,aPW,DC%%,Sf,Ay,Ae,De,Id,Hw,Pe,"
    "Dc,Cl,Ln,Fn,Ac,Tc,Cp,Eg,Gr,Cl,INT,BLM,BPC,IAC,N2%%,cAFR,WB,dTPS,tpsAE,dMAP,mapAE,aePW,";
constexpr const char* TEXT_HEADER =
    "RUNTIME   RPM %cPH MAP PSI BRO VAC VE%% TPS CTS IAT I/C   O2 G/S SA Rt KnkCt   sPW    aPW DC%% Sf Ay Ae De Id "
    "Hw Pe Dc Cl Ln Fn Ac Tc Cp Eg   Gr Cl INT BLM BPC IAC N2%% cAFR  WB  dTPS  tpsAE dMAP  mapAE   aePW  ";

// Columns 21 to 35: the status flags as "Y" or "N".
struct FlagColumn {
  int offset;
  int bit;
};
constexpr FlagColumn kFlags[] = {
    {field::firmwareByte, 7},  {field::statusByte14, 4}, {field::statusByte13, 6}, {field::statusByte13, 4},
    {field::statusByte2, 7},   {field::statusByte3, 2},  {field::statusByte13, 7}, {field::statusByte8, 3},
    {field::statusByte14, 7},  {field::statusByte14, 1}, {field::statusByte5, 0},  {field::statusByte5, 3},
    {field::statusByte5, 7},   {field::statusByte6, 0},  {field::statusByte180, 7},
};

#if defined(__GNUC__)
void Appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
#endif
void Appendf(std::string& out, const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<std::size_t>(n) + 1);
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  out.append(big.data(), static_cast<std::size_t>(n));
}

// Fixed-width fields as printf writes them ("%*d", "%*.*f", "%*s"), without
// its cost: std::to_chars rounds exactly as printf does.
void Pad(std::string& out, std::size_t length, int width) {
  if (static_cast<int>(length) < width) out.append(static_cast<std::size_t>(width) - length, ' ');
}

void PutInt(std::string& out, long value, int width, char separator) {
  char text[24];
  const auto r = std::to_chars(text, text + sizeof text, value);
  const std::size_t n = static_cast<std::size_t>(r.ptr - text);
  Pad(out, n, width);
  out.append(text, n);
  out += separator;
}

void PutFixed(std::string& out, double value, int width, int precision, char separator) {
  char text[384];  // the widest double in fixed notation fits
  const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
  if (r.ec != std::errc{}) {
    Appendf(out, "%*.*f%c", width, precision, value, separator);
    return;
  }
  const std::size_t n = static_cast<std::size_t>(r.ptr - text);
  Pad(out, n, width);
  out.append(text, n);
  out += separator;
}

void PutZeroPadded(std::string& out, int value) {
  if (value >= 0 && value < 10) out += '0';
  char text[16];
  const auto r = std::to_chars(text, text + sizeof text, value);
  out.append(text, static_cast<std::size_t>(r.ptr - text));
}

void PutText(std::string& out, const std::string& text, int width, char separator) {
  Pad(out, text.size(), width);
  out += text;
  out += separator;
}

char SpeedLetter() { return SpeedUnit() == 1 ? 'K' : 'M'; }

double PulseMs(const std::uint8_t* frame, int offset, bool word, double limit) {
  const std::uint16_t raw = word ? FrameWord(frame, offset) : FrameByte(frame, offset);
  return std::min(ToPulseMs(raw), limit);
}

double DeltaMap(const std::uint8_t* frame) { return ToMapGaugeKpa(FrameByte(frame, field::deltaMapRaw)) - 20.0; }

// The output stream: everything is collected with LF line ends and written
// with each LF as CR LF, in large blocks.
class TextOutput {
 public:
  explicit TextOutput(std::FILE* file) : file_(file) { pending_.reserve(1 << 17); }
  std::string& Line() { return pending_; }
  // Writes out what is pending once it is large, or always with `force`.
  bool Drain(bool force) {
    if (!force && pending_.size() < (1 << 16)) return true;
    translated_.clear();
    translated_.reserve(pending_.size() + pending_.size() / 16);
    for (char c : pending_) {
      if (c == '\n') translated_.push_back('\r');
      translated_.push_back(c);
    }
    pending_.clear();
    return std::fwrite(translated_.data(), 1, translated_.size(), file_) == translated_.size();
  }

 private:
  std::FILE* file_;
  std::string pending_;
  std::string translated_;
};

// Tab-separated form: one row per column of this table, then the channels.
struct MslColumn {
  const char* name;
  const char* unit;  // nullptr: by the unit switches
  const char* format;
  double (*value)(const std::uint8_t* frame);
};

double Value(std::uint16_t v) { return v; }
template <int Offset, int Bit>
double FlagValue(const std::uint8_t* frame) {
  return FrameBit(frame, Offset, Bit) ? 1.0 : 0.0;
}

const MslColumn kMslColumns[] = {
    {"RunTime", "s", "%.0f", [](const std::uint8_t* f) { return Value(FrameWord(f, field::runTimeSec)); }},
    {"RPM", "rpm", "%.0f", [](const std::uint8_t* f) { return static_cast<double>(ComputeRpm(f)); }},
    {"Speed", nullptr, "%.1f", [](const std::uint8_t* f) { return ToSpeedUnit(FrameByte(f, field::vehicleSpeed)); }},
    {"MAP", "kPa", "%.1f", ManifoldKpa},
    {"Boost", "psi", "%.1f", BoostPsi},
    {"Baro", "kPa", "%.1f", [](const std::uint8_t* f) { return ToMap1BarKpa(FrameByte(f, field::baroRaw)); }},
    {"Vacuum", "kPa", "%.1f", [](const std::uint8_t* f) { return ToVacuum(FrameByte(f, field::vacuumRaw)); }},
    {"VE", "%", "%.1f", [](const std::uint8_t* f) { return ToPercent256(FrameByte(f, field::veRaw)); }},
    {"TPS", "%", "%.1f", [](const std::uint8_t* f) { return ToPercent256(FrameByte(f, field::tpsRaw)); }},
    {"CLT", nullptr, "%.1f", [](const std::uint8_t* f) { return ToTemperature(FrameByte(f, field::ctsRaw)); }},
    {"IAT", nullptr, "%.1f", [](const std::uint8_t* f) { return ToTemperature(FrameByte(f, field::iatRaw)); }},
    {"I/C", nullptr, "%.1f",
     [](const std::uint8_t* f) { return ToTemperature(FrameByte(f, field::intercoolerTempRaw)); }},
    {"O2", "mV", "%.0f", [](const std::uint8_t* f) { return ToO2Millivolts(FrameByte(f, field::o2Raw)); }},
    {"Airflow", "g/s", "%.0f", [](const std::uint8_t* f) { return Value(FrameByte(f, field::airflowGs)); }},
    {"Advance", "deg", "%.1f", [](const std::uint8_t* f) { return ToAdvanceDeg(FrameByte(f, field::sparkAdvance)); }},
    {"Retard", "deg", "%.1f", [](const std::uint8_t* f) { return ToRetardDeg(FrameByte(f, field::sparkRetard)); }},
    {"KnockCount", "", "%.0f", [](const std::uint8_t* f) { return Value(FrameWord(f, field::knockCount)); }},
    {"BasePW", "ms", "%.3f", [](const std::uint8_t* f) { return ToPulseMs(FrameWord(f, field::basePw)); }},
    {"ActualPW", "ms", "%.3f", [](const std::uint8_t* f) { return ToPulseMs(FrameWord(f, field::actualPw)); }},
    {"Duty", "%", "%.1f", ComputeDutyCycle},
    {"SeqFire", "", "%.0f", FlagValue<field::firmwareByte, 7>},
    {"Async", "", "%.0f", FlagValue<field::statusByte14, 4>},
    {"AE", "", "%.0f", FlagValue<field::statusByte13, 6>},
    {"DE", "", "%.0f", FlagValue<field::statusByte13, 4>},
    {"Idle", "", "%.0f", FlagValue<field::statusByte2, 7>},
    {"LeanCruise", "", "%.0f", FlagValue<field::statusByte3, 2>},
    {"PE", "", "%.0f", FlagValue<field::statusByte13, 7>},
    {"DFCO", "", "%.0f", FlagValue<field::statusByte8, 3>},
    {"ClosedLoop", "", "%.0f", FlagValue<field::statusByte14, 7>},
    {"BLMLearn", "", "%.0f", FlagValue<field::statusByte14, 1>},
    {"Fan", "", "%.0f", FlagValue<field::statusByte5, 0>},
    {"AC", "", "%.0f", FlagValue<field::statusByte5, 3>},
    {"TCC", "", "%.0f", FlagValue<field::statusByte5, 7>},
    {"Purge", "", "%.0f", FlagValue<field::statusByte6, 0>},
    {"EGR", "", "%.0f", FlagValue<field::statusByte180, 7>},
    {"ClosedLoopState", "", "%.0f",
     [](const std::uint8_t* f) { return Value(std::min<int>(FrameByte(f, field::closedLoopState), CLOSED_LOOP_LIMIT)); }},
    {"Integrator", "", "%.0f", [](const std::uint8_t* f) { return Value(FrameByte(f, field::integrator)); }},
    {"BLM", "", "%.0f", [](const std::uint8_t* f) { return Value(FrameByte(f, field::blm)); }},
    {"BPC", "", "%.0f", [](const std::uint8_t* f) { return static_cast<double>(BpcShown(f)); }},
    {"IAC", "steps", "%.0f", [](const std::uint8_t* f) { return Value(FrameByte(f, field::iacSteps)); }},
    {"N2O", "%", "%.0f", [](const std::uint8_t* f) { return static_cast<double>(NitrousPercent(f)); }},
    {"CmdAFR", "AFR", "%.1f", [](const std::uint8_t* f) { return ToTenths(FrameByte(f, field::commandedAfr)); }},
    {"dTPS", "%", "%.1f", ThrottleChange},
    {"TpsAE", "ms", "%.3f", [](const std::uint8_t* f) { return ToPulseMs(FrameByte(f, field::tpsAePw)); }},
    {"dMAP", "kPa", "%.1f", DeltaMap},
    {"MapAE", "ms", "%.3f", [](const std::uint8_t* f) { return ToPulseMs(FrameByte(f, field::mapAePw)); }},
    {"AePW", "ms", "%.3f", [](const std::uint8_t* f) { return ToPulseMs(FrameWord(f, field::aePw)); }},
};

// The gear as a number a viewer can plot: the manual gear, or for an
// automatic 0 park/neutral, 1 drive, 2 overdrive.
int MslGear(const std::uint8_t* frame, int transType) {
  if (transType == 1) {
    if (FrameBit(frame, field::statusByte15, 4)) return 0;
    return FrameBit(frame, field::statusByte5, 5) ? 1 : 2;
  }
  return std::min<int>(FrameByte(frame, field::gear), GEAR_LIMIT);
}

std::string MslUnit(const MslColumn& column) {
  if (column.unit) return column.unit;
  if (std::strcmp(column.name, "Speed") == 0) return SpeedUnit() == 1 ? "km/h" : "mph";
  return TemperatureScale() == 0 ? "F" : "C";
}

void MslHeader(std::string& out, const std::vector<ChannelReading>& channels) {
  out += "Time";
  for (const MslColumn& c : kMslColumns) (out += '\t') += c.name;
  out += "\tGear\tWB";
  for (const ChannelReading& ch : channels) (out += '\t') += ch.label;
  out += "\ns";
  for (const MslColumn& c : kMslColumns) (out += '\t') += MslUnit(c);
  out += "\t\tAFR";
  for (std::size_t i = 0; i < channels.size(); ++i) out += '\t';
  out += '\n';
}

void MslRow(std::string& out, const std::uint8_t* frame, long row, int transType, double wideband,
            const std::vector<ChannelReading>& channels) {
  // Time runs with the frames (17 a second), so it never steps back where
  // the ECM's run time restarts.
  Appendf(out, "%.3f", row / 17.0);
  for (const MslColumn& c : kMslColumns) {
    out += '\t';
    Appendf(out, c.format, c.value(frame));
  }
  Appendf(out, "\t%d\t%.2f", MslGear(frame, transType), wideband);
  for (const ChannelReading& ch : channels) Appendf(out, "\t%.4f", ch.value);
  out += '\n';
}

// A free name beside the output for the file being written.
std::FILE* CreateBeside(const std::string& outPath, std::string* partPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = outPath + "." + std::to_string(attempt) + ".part";
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(candidate, ec))) continue;
    if (std::FILE* file = CreateFileExclusive(candidate)) {
      *partPath = candidate;
      return file;
    }
    return nullptr;
  }
  return nullptr;
}

// An output that cannot take the export: a folder, a file that may not be
// written, or the log itself.
bool OutputRefused(const std::string& logPath, const std::string& outPath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::file_status status = fs::status(outPath, ec);
  if (ec || !fs::exists(status)) return false;
  if (!fs::is_regular_file(status)) return true;
  if (fs::equivalent(logPath, outPath, ec) && !ec) return true;
  std::FILE* probe = std::fopen(outPath.c_str(), "r+b");  // writable, and not locked elsewhere
  if (!probe) return true;
  std::fclose(probe);
  return false;
}

}  // namespace

std::string DumpOutputPath(const std::string& logPath, bool csv) {
  const std::size_t nameStart = logPath.find_last_of("/\\");
  const std::size_t dot = logPath.rfind('.');
  std::string base = logPath;
  if (dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart)) base = logPath.substr(0, dot);
  return base + (csv ? ".csv" : ".ZRM");
}

std::string ExportHeaderLine(bool csv, const std::vector<ChannelReading>& channels) {
  std::string line;
  Appendf(line, csv ? CSV_HEADER : TEXT_HEADER, SpeedLetter());
  const char sep = csv ? ',' : ' ';
  for (const ChannelReading& ch : channels) Appendf(line, "%*s%c", ch.displayWidth, ch.label.c_str(), sep);
  return line;
}

std::string ExportRow(const std::uint8_t* frame, bool csv, int transType, double wideband,
                      const std::vector<ChannelReading>& channels) {
  std::string row;
  row.reserve(256);
  const char c = csv ? ',' : ' ';
  const RunTime run = SplitRunTime(frame);
  PutZeroPadded(row, run.hours);
  row += ':';
  PutZeroPadded(row, run.minutes);
  row += ':';
  PutZeroPadded(row, run.seconds);
  row += c;
  PutInt(row, ComputeRpm(frame), 4, c);
  PutFixed(row, ToSpeedUnit(FrameByte(frame, field::vehicleSpeed)), 3, 0, c);
  PutFixed(row, ManifoldKpa(frame), 3, 0, c);
  if (MapSensorBars(frame) == 1) {
    (row += "  0") += c;
  } else {
    PutFixed(row, BoostPsi(frame), 3, 0, c);
  }
  PutFixed(row, ToMap1BarKpa(FrameByte(frame, field::baroRaw)), 3, 0, c);
  PutFixed(row, ToVacuum(FrameByte(frame, field::vacuumRaw)), 3, 0, c);
  PutFixed(row, ToPercent256(FrameByte(frame, field::veRaw)), 3, 0, c);
  PutFixed(row, ToPercent256(FrameByte(frame, field::tpsRaw)), 3, 0, c);
  PutFixed(row, ToTemperature(FrameByte(frame, field::ctsRaw)), 3, 0, c);
  PutFixed(row, ToTemperature(FrameByte(frame, field::iatRaw)), 3, 0, c);
  PutFixed(row, ToTemperature(FrameByte(frame, field::intercoolerTempRaw)), 3, 0, c);
  PutFixed(row, ToO2Millivolts(FrameByte(frame, field::o2Raw)), 4, 0, c);
  PutInt(row, FrameByte(frame, field::airflowGs), 3, c);
  PutFixed(row, ToAdvanceDeg(FrameByte(frame, field::sparkAdvance)), 2, 0, c);
  PutFixed(row, ToRetardDeg(FrameByte(frame, field::sparkRetard)), 2, 0, c);
  PutInt(row, FrameWord(frame, field::knockCount), 5, c);
  PutFixed(row, PulseMs(frame, field::basePw, true, BASE_PW_LIMIT), 6, 3, c);
  PutFixed(row, PulseMs(frame, field::actualPw, true, PULSE_MS_LIMIT), 5, 2, c);
  PutInt(row, static_cast<int>(ComputeDutyCycle(frame)), 3, c);
  if (!csv) row += ' ';
  for (const FlagColumn& flag : kFlags) {
    row += FrameBit(frame, flag.offset, flag.bit) ? 'Y' : 'N';
    row += csv ? "," : "  ";
  }
  if (transType == 1) {
    (row += TransmissionText(frame, 1)) += c;
  } else {
    PutInt(row, std::min<int>(FrameByte(frame, field::gear), GEAR_LIMIT), 3, c);
  }
  PutInt(row, std::min<int>(FrameByte(frame, field::closedLoopState), CLOSED_LOOP_LIMIT), 2, c);
  PutInt(row, FrameByte(frame, field::integrator), 3, c);
  PutInt(row, FrameByte(frame, field::blm), 3, c);
  PutInt(row, BpcShown(frame), 3, c);
  PutInt(row, FrameByte(frame, field::iacSteps), 3, c);
  PutInt(row, NitrousPercent(frame), 3, c);
  PutFixed(row, ToTenths(FrameByte(frame, field::commandedAfr)), 4, 1, c);
  PutFixed(row, wideband, 4, 1, c);
  PutFixed(row, ThrottleChange(frame), 4, 1, c);
  PutFixed(row, PulseMs(frame, field::tpsAePw, false, PULSE_MS_LIMIT), 6, 3, c);
  PutFixed(row, DeltaMap(frame), 4, 1, c);
  PutFixed(row, PulseMs(frame, field::mapAePw, false, PULSE_MS_LIMIT), 6, 3, c);
  PutFixed(row, PulseMs(frame, field::aePw, true, PULSE_MS_LIMIT), 6, 3, c);
  if (!csv) row += ' ';
  for (const ChannelReading& ch : channels) PutText(row, ch.valueText, ch.displayWidth, c);
  return row;
}

AnalysisResult ExportLog(const std::string& logPath, const std::string& outPath, const VistrelSettings& settings,
                         const ExportOptions& options, const ProgressStep& step, long* rows) {
  if (rows) *rows = 0;
  OfflinePass pass;
  if (pass.Open(logPath) != 0) return AnalysisResult::LogOpenError;
  if (OutputRefused(logPath, outPath)) return AnalysisResult::OutputOpenError;
  std::string partPath;
  std::FILE* file = CreateBeside(outPath, &partPath);
  if (!file) return AnalysisResult::OutputOpenError;

  // The channels convert from the start of this log; every active channel
  // is converted (once per frame, here, not in the frame processing).
  auto devicesSettings = std::make_unique<VistrelSettings>(settings);
  auto devices = std::make_unique<UserDevices>(*devicesSettings);
  devices->SetUp();
  const std::uint8_t empty[FRAME_PAYLOAD_SIZE] = {};
  devices->UpdateUserDevices(empty, 1);  // the channel columns get their widths

  const bool csv = options.form == ExportForm::Csv;
  const bool msl = options.form == ExportForm::Msl;
  const int transType = settings.transType;
  TextOutput out(file);
  std::vector<ChannelReading> channels = devices->ActiveChannels();
  if (msl) {
    MslHeader(out.Line(), channels);
  } else if (options.singleHeader) {
    (out.Line() += ExportHeaderLine(csv, channels)) += '\n';
  }

  bool failed = false;
  long written = 0;
  int previousSeconds = -1;
  int sinceStep = 0;
  pass.Run(MODE_ANALYSIS, [&](const std::uint8_t* frame, const FrameTexts& texts) {
    std::string& line = out.Line();
    const RunTime run = SplitRunTime(frame);
    if (msl) {
      if (texts.mark[0] != '\0') Appendf(line, "MARK %s - %s\n", texts.mark, texts.time);
    } else if (!options.singleHeader) {
      if (texts.mark[0] != '\0') {
        Appendf(line, "Marker: %s @ %s\n", texts.mark, texts.time);
      } else if (texts.time[0] != '\0') {
        Appendf(line, "TimeStamp: %s\n", texts.time);
      }
      if (run.seconds != previousSeconds) (line += ExportHeaderLine(csv, channels)) += '\n';
    }
    previousSeconds = run.seconds;
    devices->UpdateUserDevices(frame, 1);
    channels = devices->ActiveChannels();
    const double wideband = devices->PreferredWidebandValue();
    if (msl) {
      MslRow(line, frame, written, transType, wideband, channels);
    } else {
      (line += ExportRow(frame, csv, transType, wideband, channels)) += '\n';
    }
    ++written;
    if (!out.Drain(false)) {
      failed = true;
      pass.sources.Halt();
      return;
    }
    if (++sinceStep == ANALYSIS_ROWS_PER_STEP) {
      sinceStep = 0;
      if (step) step();
    }
  });
  if (rows) *rows = written;

  AnalysisResult result = AnalysisResult::Ok;
  if (failed || !out.Drain(true)) result = AnalysisResult::WriteError;
  const bool closed = std::fclose(file) == 0;
  if (result == AnalysisResult::Ok && (!closed || ReplaceFile(partPath, outPath) != 0))
    result = AnalysisResult::CloseError;
  if (result != AnalysisResult::Ok) RemoveFile(partPath);
  return result;
}

AnalysisMessage ExportFailureMessage(AnalysisResult result) {
  switch (result) {
    case AnalysisResult::LogOpenError: return {"File Open Error", "Can not open Data Log File"};
    case AnalysisResult::OutputOpenError: return {"File Open Error", "Can Not Open Output File\n\nIs it open elsewhere?"};
    case AnalysisResult::WriteError: return {"File Write Error", "Error Writing to File\n\nDisk Full?"};
    case AnalysisResult::CloseError: return {"File Write Error", "Error Writing to File\nDisk Full?"};
    default: return {"", ""};
  }
}

AnalysisMessage ViewFailureMessage(AnalysisResult result) {
  switch (result) {
    case AnalysisResult::LogOpenError: return {"File Open Error", "Can not open Data Log File"};
    case AnalysisResult::OutputOpenError:
      return {"File Open Error",
              "Error Opening a Temporary File\n\nIs the Disk Full?\n\nIf running from the ZRM CD please copy contents "
              "onto the hard drive."};
    case AnalysisResult::WriteError:
    case AnalysisResult::CloseError: return {"File Write Error", "Error Writing to File\nDisk Full?"};
    default: return {"", ""};
  }
}

}  // namespace zrm
