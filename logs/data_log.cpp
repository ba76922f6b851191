#include "logs/data_log.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>

#include "link/frame_processor.h"
#include "platform/clock.h"

namespace zrm {

FileDialogRequest DataLogDialog(const std::string& title, const FilePathTriple& last) {
  FileDialogRequest request;
  request.save = false;
  request.title = title;
  request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
  request.initialFolder = last.folder;
  request.initialName = last.name;
  request.defaultExtension = "dat";
  // The folder must exist, the file need not: a new name creates a new log.
  request.mustExist = false;
  return request;
}


std::FILE* OpenLogStream(const std::string& path) {
#ifdef _WIN32
  // "c": every flush commits the file to the disk.
  return std::fopen(path.c_str(), "abc+");
#else
  // Synchronous data writes stand in for commit-on-flush: each time the
  // stream's buffer goes out (full, or flushed), it is on the disk.
  // Non-blocking: a FIFO nobody reads refuses the open or the write instead
  // of hanging the CommThread (regular files are not affected).
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_DSYNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, "ab+");
  if (!stream) ::close(fd);
  return stream;
#endif
}

namespace {

std::int64_t StreamPosition(std::FILE* stream) {
#ifdef _WIN32
  return _ftelli64(stream);
#else
  return ftello(stream);
#endif
}

}  // namespace

DataLog::DataLog(SerialLink& link, const ConfigFile& config, VistrelSettings& settings, PlatformServices& services)
    : link_(link), config_(config), settings_(settings), services_(services) {}

DataLog::~DataLog() { StopDataLog(LOG_CLOSE_WAIT_AT_EXIT_MS); }

int DataLog::CurrentMode() const { return displayMode ? displayMode() : MODE_NONE; }

void DataLog::Changed() {
  if (onStateChanged) onStateChanged();
}

int DataLog::StartDataLog() {
  const int mode = CurrentMode();
  if ((mode == MODE_ANALYSIS || mode == MODE_FLASH) && switchToGauge) switchToGauge();
  if (LogActive() || (playbackActive && playbackActive())) return -1;

  std::string path;
  if (!services_.ChooseFile(DataLogDialog(DATA_LOG_TITLE, settings_.dataLog), &path)) return -1;
  if (OpenDataLog(path) != 0) return -1;

  settings_.dataLog = SplitFilePath(path);
  // The analysis window opens the newest log next.
  settings_.analysis.folder = settings_.dataLog.folder;
  settings_.analysis.name = settings_.dataLog.name;
  settings_.analysis.path = settings_.dataLog.folder + settings_.dataLog.name;
  SaveConfig(config_);
  Changed();
  return 0;
}

int DataLog::OpenDataLog(const std::string& path) {
  if (LogActive()) return -1;
  // What was there before, to be put back when not even the head fits.
  std::error_code ec;
  const bool existed = std::filesystem::exists(path, ec);
  const bool regular = std::filesystem::is_regular_file(path, ec);
  const std::uintmax_t sizeBefore = regular ? std::filesystem::file_size(path, ec) : 0;
  std::FILE* stream = openStream ? openStream(path) : OpenLogStream(path);
  if (!stream) {
    services_.ShowMessage(LOG_OPEN_ERROR_CAPTION, LOG_OPEN_ERROR_TEXT, MessageIcon::Information);
    return -1;
  }

  std::string head = "TIME: ";
  head += link_.localTime ? link_.localTime() : LocalTimeText();
  WriteConfigEntries(config_, head);
  // The head goes out at once, so a full disk is found before recording starts.
  if (std::fwrite(head.data(), 1, head.size(), stream) != head.size() || std::fflush(stream) != 0) {
    CloseAfterFailure(stream);
    // No empty or half-headed log is left behind; an appended log keeps
    // exactly what it held.
    // Only a file this open created is removed, and only a regular file is
    // cut back: a device named as the log is never touched.
    if (!existed) {
      if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
    } else if (regular && std::filesystem::file_size(path, ec) != sizeBefore && !ec) {
      std::filesystem::resize_file(path, sizeBefore, ec);
    }
    return -1;
  }

  bodyStart_ = StreamPosition(stream);
  stream_ = stream;
  fileName_ = SplitFilePath(path).name;
  writeErrorPending_.store(false, std::memory_order_release);
  logPaused_.store(false, std::memory_order_release);
  markersAsked_ = 0;
  lastMarker_ = -1;
  logActive_.store(true, std::memory_order_release);
  link_.SetLogStream(1, stream);
  return 0;
}

void DataLog::CloseAfterFailure(std::FILE* stream) {
  services_.ShowMessage(LOG_WRITE_ERROR_CAPTION, LOG_WRITE_ERROR_TEXT, MessageIcon::Information);
  std::fclose(stream);
}

void DataLog::StopDataLog(int waitMs) {
  if (!LogActive()) return;
  logActive_.store(false, std::memory_order_release);
  logPaused_.store(false, std::memory_order_release);
  // Handed back under the link's log lock: once that returns 0 the CommThread
  // is done with the stream. A write that never returns (an output that
  // blocks) leaves the stream to that write: it is not closed under it.
  const bool handedBack = link_.SetLogStream(0, nullptr, waitMs) == 0;
  // A failure of this stream posted meanwhile is answered by its closing.
  writeErrorPending_.store(false, std::memory_order_release);
  if (handedBack) {
    std::fclose(stream_);
  } else {
    services_.ShowMessage(LOG_WRITE_ERROR_CAPTION, LOG_WRITE_ERROR_TEXT, MessageIcon::Information);
  }
  stream_ = nullptr;
  Changed();
}

bool DataLog::OnLogKey(char key) {
  if (!LogActive()) return false;
  const int mode = CurrentMode();
  if (mode == MODE_ANALYSIS || mode == MODE_FLASH) return false;
  switch (key) {
    case LOG_KEY_MARKER:
    case LOG_KEY_TIME_STAMP:
      // Both requests also clear the CommThread's pause.
      if (key == LOG_KEY_MARKER) {
        link_.RequestLogMarker();
        lastMarker_ = markersAsked_++;
      } else {
        link_.RequestLogTimeStamp();
      }
      if (logPaused_.exchange(false, std::memory_order_acq_rel)) Changed();
      return true;
    case LOG_KEY_PAUSE:
      if (settings_.enterPauses != 1 || LogPaused()) return false;
      link_.SetLogPaused(1);
      logPaused_.store(true, std::memory_order_release);
      Changed();
      return true;
    default:
      return false;
  }
}

void DataLog::OnSecondTick() {
  if (writeErrorPending_.load(std::memory_order_acquire)) ReportLogWriteError();
  // Also while paused: bytes received before the pause may still wait in
  // the stream's buffer.
  if (LogActive()) link_.RequestLogFlush();
}

void DataLog::PostLogWriteError() {
  writeErrorPending_.store(true, std::memory_order_release);
  if (onWriteErrorPosted) onWriteErrorPosted();
}

void DataLog::ReportLogWriteError() {
  if (!writeErrorPending_.exchange(false, std::memory_order_acq_rel)) return;
  // The link clears its log flag before it reports; a log opened since the
  // failure has it set again and is not the one that failed.
  if (!LogActive() || link_.LogEnabled()) return;
  services_.ShowMessage(LOG_WRITE_ERROR_CAPTION, LOG_WRITE_ERROR_TEXT, MessageIcon::Information);
  StopDataLog();
}

}  // namespace zrm
