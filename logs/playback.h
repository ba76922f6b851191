// Playback: a recorded data log fed through the frame reader and the displays
// instead of the live stream, at an adjustable rate, with pause and step-back.
//
// The DisplayThread does the reading (frame source 1); this side opens and
// closes the file on the window thread, switches the source, and sets the
// words the DisplayThread polls: pause, step-back count, delay after each
// frame. A stream is closed only after the source has been switched away and
// 150 ms have passed, twice over, so the DisplayThread never reads a closed
// file. Logging and playback exclude each other: starting playback stops a log.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/config_file.h"
#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/frame_source.h"
#include "link/input_file.h"
#include "logs/data_log.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"

namespace zrm {

// One progress step and one step-back unit: 17 frames of 277 bytes, about a
// second of stream.
constexpr int PLAYBACK_STEP_BYTES = 4709;
// A click on "<-BackUp" steps back this many units, the second click of a
// double click that many more.
constexpr int BACKUP_CLICK_UNITS = 2;
constexpr int BACKUP_DOUBLE_CLICK_UNITS = 6;
constexpr int PLAYBACK_CLOSE_WAIT_MS = 150;

constexpr const char* PLAYBACK_TITLE = "Select File to Playback";
constexpr const char* PLAYBACK_OPEN_ERROR_CAPTION = "File Open Error";
constexpr const char* PLAYBACK_OPEN_ERROR_TEXT = "Can not open Playback Data File";

// Upper end of the progress bar's range (0 to this) for a file of `size` bytes.
int PlaybackProgressRange(std::int64_t size);

class Playback {
 public:
  // Construct before the DisplayThread starts: the playback source's end hook
  // and the frame processor's progress hook are set here; destroy after it
  // has stopped. Everything passed in must outlive the playback.
  Playback(FrameSources& sources, FrameProcessor& processor, DisplayThread& display, DataLog& dataLog,
           const ConfigFile& config, VistrelSettings& settings, PlatformServices& services);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Calls out to the window program, set before use; each may stay empty.
  std::function<void()> switchToGauge;    // leave the analysis or flash display first
  std::function<void()> onStateChanged;   // menu items, controls, progress bar, status line
  std::function<void()> tripRefreshReset;  // the trip computer's refresh state
  std::function<void()> disconnectPort;   // DisconnectPort
  std::function<bool()> portOpen;         // the port-state flag; none: closed
  std::function<void()> reconnectPort;    // ReconnectPort (re-opens, saves the configuration)
  std::function<void()> closeBankSelector;  // while open
  std::function<void()> openBankSelector;   // when [ACTVFBNK] is 1 and it is closed
  // DisplayThread: the end of the file was reached (repaint: " EOF   ").
  std::function<void()> onAtEnd;
  // DisplayThread: the progress bar moved one step.
  std::function<void()> onProgressStep;

  // Window thread. "&Playback...": the dialog, the file, the end of any data
  // log, then the DisplayThread reads the file. 0 when playback started; -1
  // when it already runs, on cancel, or when the file could not be opened
  // (the message has been shown, a running log is untouched).
  int StartPlayback();

  // Window thread. "&Stop Playback": back to the live stream, the port
  // re-opened when closed. Nothing when no playback runs.
  void StopPlayback();

  // Window thread, the playback controls.
  // "Pause": toggles; returns the new state (false when no playback runs).
  bool TogglePause();
  // "<-BackUp": a click, and the second click of a double click. The first
  // fixes the catch-up target at the frame shown last. Once the end of the
  // file is reached they do nothing: the source yields no frames after it.
  void BackUpClick();
  void BackUpDoubleClick();
  // The rate trackbar (0 slow to 100 fast) sets [PBSPD] = 100 - position.
  void SetRateFromTrackbar(int position);
  int RateTrackbarPosition() const;
  // [PBSPD] to the DisplayThread (after the configuration is read or the
  // preferences changed it).
  void ApplyPlaybackDelay();

  // The frame processor's progress hook (DisplayThread): one step, every 17
  // frames outside a catch-up.
  void ProgressStep();
  // The playback source's end hook (DisplayThread): the progress bar is full
  // and the status panel shows " EOF   ".
  void MarkPlaybackEnd();

  bool PlaybackActive() const { return active_.load(std::memory_order_acquire); }
  bool PlaybackAtEnd() const { return atEnd_.load(std::memory_order_acquire); }
  bool PlaybackPaused() const;
  int BackUpCount() const;
  std::int64_t FileSize() const { return fileSize_; }
  int ProgressRange() const { return progressRange_.load(std::memory_order_acquire); }
  int ProgressPosition() const { return progressPosition_.load(std::memory_order_acquire); }
  // File name of the playback file, for the status panel (window thread).
  const std::string& PlaybackFileName() const { return fileName_; }

 private:
  void Changed();

  FrameSources& sources_;
  FrameProcessor& processor_;
  DisplayThread& display_;
  DataLog& dataLog_;
  const ConfigFile& config_;
  VistrelSettings& settings_;
  PlatformServices& services_;

  std::unique_ptr<InputFile> stream_;
  std::string fileName_;
  std::int64_t fileSize_ = 0;
  std::atomic<bool> active_{false};
  std::atomic<bool> atEnd_{false};
  std::atomic<int> progressRange_{0};
  std::atomic<int> progressPosition_{0};
};

// Which of the four log menu items are enabled.
struct LogMenuItems {
  bool dataLog;       // "&DataLog..."
  bool closeDataLog;  // "Close DataLo&g"
  bool playback;      // "&Playback..."
  bool stopPlayback;  // "&Stop Playback"
  bool operator==(const LogMenuItems&) const = default;
};
LogMenuItems LogMenuState(bool logActive, bool playbackActive);

}  // namespace zrm
