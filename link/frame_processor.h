// Per-frame processing on the DisplayThread: one accepted frame updates the
// RuntimeRecord, the engine-running and catch-up states, and reaches every
// display's update in a fixed order, the current display first with its
// `active` flag set. Displays plug in through the table of display updates.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "link/frame_source.h"
#include "link/runtime_record.h"
#include "platform/services.h"

namespace zrm {

// Display modes of the main window.
constexpr int MODE_NONE = 0;
constexpr int MODE_TRIP = 1;
constexpr int MODE_GAUGE = 2;
constexpr int MODE_VELEARN = 3;
constexpr int MODE_KNOCK = 4;
constexpr int MODE_ANALYSIS = 5;
constexpr int MODE_FLASH = 6;
constexpr int MODE_DIAGNOSTICS = 7;

// The displays that take every frame.
enum DisplayKind { DISPLAY_TRIP, DISPLAY_GAUGE, DISPLAY_VELEARN, DISPLAY_KNOCK, DISPLAY_DIAGNOSTICS, DISPLAY_KINDS };

using DisplayUpdate = std::function<void(const std::uint8_t* frame, int active)>;

// Order of the display updates per display mode: the current one first, then
// the others in the fixed order gauge, trip, VE learn, knock, diagnostics.
// Modes without a live display (analysis, flash, none) call nobody.
struct DisplayOrder {
  int mode;
  int count;
  DisplayKind order[DISPLAY_KINDS];
};
const DisplayOrder* DisplayOrderFor(int mode);

// Calls out of the frame processing, set before the DisplayThread starts.
struct FrameHooks {
  std::function<void(const std::uint8_t* frame, int active)> updateUserDevices;
  std::function<void()> autoSaveVeLearn;
  std::function<void()> tripEngineStopped;
  std::function<void()> activityStep;          // status-panel spokes, every 4th live frame
  std::function<void()> playbackProgressStep;  // progress bar, every 17th played frame
  std::function<void(const std::uint8_t* frame)> malfCodesFrame;  // while its window is open
  std::function<void(int bank)> refreshBankSelector;              // while its window is open
  PlatformServices* services = nullptr;                           // the knock beep
};

class FrameProcessor {
 public:
  explicit FrameProcessor(FrameSources& sources) : sources_(sources) {}

  void SetDisplayUpdate(DisplayKind kind, DisplayUpdate update) { displays_[kind] = std::move(update); }

  // Reads one frame from the current source and processes it. Returns the
  // reader's result: 0 when a frame was processed, 3 or 4 when none was.
  int ProcessNextFrame();

  // Processes a frame already read (the part of ProcessNextFrame after ReadFrame).
  void ProcessFrame(const std::uint8_t* frame);

  // Window thread: after a playback step-back, the accumulating displays skip
  // frames until the stream is back at the latest run time seen.
  void StartCatchUp();
  // Window thread: when playback stops.
  void ResetRunState();

  RuntimeRecord record;
  FrameHooks hooks;
  std::atomic<std::uint64_t> badFrames{0};  // checksum failures

  // Shared words, written by the window thread.
  std::atomic<int> displayMode{MODE_NONE};
  std::atomic<int> secondsTicker{0};
  std::atomic<int> autoVSave{0};
  std::atomic<int> autoVTime{5};
  std::atomic<int> knockAlert{1};
  std::atomic<bool> playbackRunning{false};
  // The VE auto-save's next time on secondsTicker; VE learn sets it at a start.
  std::atomic<int> nextAutoSave{0};
  std::atomic<bool> malfCodesOpen{false};
  std::atomic<bool> bankSelectorOpen{false};

  // Engine-running and catch-up state.
  std::atomic<int> runCandidate{0};
  std::atomic<int> runConfirmCount{0};
  std::atomic<int> catchUpActive{0};
  std::atomic<int> catchUpSeconds{0};
  std::atomic<int> catchUpFrames{0};
  std::atomic<int> shownBank{-1};

 private:
  FrameSources& sources_;
  DisplayUpdate displays_[DISPLAY_KINDS];
  int activityFrames_ = 0;
  std::atomic<int> progressFrames_{0};
};

}  // namespace zrm
