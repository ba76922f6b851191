// Data logs: the raw runtime stream recorded to a *.dat file by the CommThread.
//
// A file holds one or more recordings, each appended at its end:
//
//   TIME: 12/06/2026 - 06:20:00[ID] ZRM Flash Vistrel Display\r\n[PORT] COM2\r\n ...
//   55 AA p0 .. p272 hh ll 55 AA ...           every received byte, unchanged
//   ... MARK000TIME: 12/06/2026 - 06:20:09 ... texts inserted between two bytes
//
// The head is the time text (no line end) and the whole configuration with
// CR LF lines. The body is written byte by byte by the CommThread; the window
// thread only opens and closes the stream and posts stamp, marker, pause and
// flush requests through the link's log hooks. Marker numbers restart at 000
// with every recording.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "config/config_file.h"
#include "link/serial_link.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"

namespace zrm {

// The characters that act on an open log (as a window's character messages
// deliver them).
constexpr char LOG_KEY_MARKER = '\t';
constexpr char LOG_KEY_TIME_STAMP = ' ';
constexpr char LOG_KEY_PAUSE = '\r';

// The longest a write in progress on the CommThread may take to return when
// the log is closed (after the menu command, and when the program ends): the
// close waits only for such a write, and gives the stream up past this.
constexpr int LOG_CLOSE_WAIT_MS = 2000;
constexpr int LOG_CLOSE_WAIT_AT_EXIT_MS = 2000;

constexpr const char* DATA_LOG_TITLE = "Select/Create File to Save Data Log to";
constexpr const char* LOG_OPEN_ERROR_CAPTION = "File Open Error";
constexpr const char* LOG_OPEN_ERROR_TEXT = "Can not open Data Logging File";
constexpr const char* LOG_WRITE_ERROR_CAPTION = "File Write Error";
constexpr const char* LOG_WRITE_ERROR_TEXT = "Error Writing to File\nDisk Full?";

// The file dialog rows shared by logging and playback.
FileDialogRequest DataLogDialog(const std::string& title, const FilePathTriple& last);


// Opens a log for appending, creating it when missing, so that every flush
// reaches the disk (commit-on-flush). nullptr when it cannot be opened.
std::FILE* OpenLogStream(const std::string& path);

class DataLog {
 public:
  // The settings are those the configuration's key table is bound to; all
  // four must outlive the log.
  DataLog(SerialLink& link, const ConfigFile& config, VistrelSettings& settings, PlatformServices& services);
  ~DataLog();
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  // Calls out, set before use; each may stay empty.
  std::function<int()> displayMode;       // the main window's display mode; none: 0
  std::function<bool()> playbackActive;   // a running playback keeps logging off
  std::function<void()> switchToGauge;    // leave the analysis or flash display first
  std::function<void()> onStateChanged;   // menu items and the logging status changed
  // Runs on the CommThread right after a write failure was posted: the window
  // program queues a call of ReportLogWriteError to its own thread.
  std::function<void()> onWriteErrorPosted;
  // How a chosen file is opened; replaceable to put faults under the stream.
  std::function<std::FILE*(const std::string& path)> openStream = OpenLogStream;

  // Window thread. The "&DataLog..." command: the dialog, then OpenDataLog,
  // the path keys ([DLOG*], and [ANALYSIS*] pointed at the new log) and
  // SaveConfig. 0 when a log was started; -1 when one is already open, during
  // playback, on cancel, or when the file could not be opened or its head not
  // written (the message has been shown).
  int StartDataLog();

  // Window thread. Opens `path`, appends the recording head and hands the
  // stream to the CommThread; no dialog and no configuration change. 0, or -1
  // with the open or write message shown (nothing changes then).
  int OpenDataLog(const std::string& path);

  // Window thread. "Close DataLo&g": the CommThread lets go of the stream,
  // and after `waitMs` it is closed. Nothing when no log is open.
  void StopDataLog(int waitMs = LOG_CLOSE_WAIT_MS);

  // Window thread. TAB inserts a marker, SPACE a time stamp (either resumes a
  // paused log, so every resumption is stamped); ENTER pauses when [ENTERPAUSE]
  // is 1 and never resumes. Only while a log is open and neither the analysis
  // nor the flash display is current. True when the key acted.
  bool OnLogKey(char key);
  // Number of the marker the last TAB asked for (the CommThread counts the
  // same way from 000 at every opening); -1 before the first.
  int LastMarker() const { return lastMarker_; }

  // Window thread, from the one-second timer: asks the CommThread to flush
  // the log (so the stream reaches the disk within about a second) and serves
  // a write failure that no queued call has served yet.
  void OnSecondTick();

  // Any thread (the CommThread calls it when a log write fails): records the
  // failure and calls onWriteErrorPosted. Never touches the stream.
  void PostLogWriteError();

  // Window thread. If a failure was posted and the open log is the one that
  // failed: "Error Writing to File\nDisk Full?" / "File Write Error", then the
  // log stops as StopDataLog does, keeping what was written.
  void ReportLogWriteError();

  bool LogActive() const { return logActive_.load(std::memory_order_acquire); }
  bool LogPaused() const { return logPaused_.load(std::memory_order_acquire); }
  // File name of the open log, for the status panel (window thread).
  const std::string& LogFileName() const { return fileName_; }
  // File position where the open (or last) recording's body begins.
  std::int64_t BodyStart() const { return bodyStart_; }

 private:
  int CurrentMode() const;
  void Changed();
  void CloseAfterFailure(std::FILE* stream);

  SerialLink& link_;
  const ConfigFile& config_;
  VistrelSettings& settings_;
  PlatformServices& services_;

  std::FILE* stream_ = nullptr;
  std::string fileName_;
  std::int64_t bodyStart_ = 0;
  std::atomic<bool> logActive_{false};
  std::atomic<bool> logPaused_{false};
  std::atomic<bool> writeErrorPending_{false};
  int markersAsked_ = 0;  // window thread, since the log opened
  int lastMarker_ = -1;
};

}  // namespace zrm
