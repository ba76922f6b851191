// The DisplayThread: takes frames from the current source and processes them.
//
// Live: it sleeps until the ring holds the next whole frame (from its sync
// pair on), so a frame is processed as soon as its last byte is in and the
// reader never waits for the line mid-frame.
// Playback: one frame per turn, with the user's step-back, pause and speed.
// Analysis and idle: it only sleeps, leaving the stream or the ring to others.
#pragma once

#include <atomic>
#include <thread>

#include "link/frame_processor.h"
#include "link/frame_source.h"
#include "link/serial_link.h"

namespace zrm {

constexpr int PLAYBACK_SECOND_BYTES = 4709;  // 17 frames of 277 bytes
// Held (the analysis view, a paused playback), the thread looks again this
// often: soon enough to resume at once to the eye, rarely enough to cost nothing.
constexpr int HELD_WAIT_MS = 20;

// The longest a live wait lasts, so that the log's flush requests go out
// while the line is silent.
constexpr int LIVE_WAIT_MS = 250;

// How many ring bytes the next live frame needs: up to the end of a frame
// whose sync pair is among the first `n` bytes shown, else one frame beyond
// them (the last byte may begin a sync pair).
int LiveFrameNeed(const std::uint8_t* bytes, int n);

class DisplayThread {
 public:
  DisplayThread(FrameProcessor& processor, FrameSources& sources, SerialLink* link)
      : processor_(processor), sources_(sources), link_(link) {}
  ~DisplayThread() { Stop(); }
  DisplayThread(const DisplayThread&) = delete;
  DisplayThread& operator=(const DisplayThread&) = delete;

  // 0, or -1 when the thread cannot be created.
  int Start();
  void Stop();

  // One turn of the loop; returns after its sleep. For tests.
  void Turn();

  // Shared words, written by the window thread.
  std::atomic<bool> displayHold{false};
  std::atomic<int> backUpCount{0};  // playback seconds to step back
  std::atomic<bool> playbackPaused{false};
  std::atomic<int> pbSpd{50};       // [PBSPD]: 0 no wait, else +7 ms after each frame
  // Seconds between the live loop's log flush requests.
  std::atomic<int> logFlushIntervalSec{60};

  // Frames processed and sleeps taken, for tests.
  std::atomic<std::uint64_t> framesProcessed{0};
  std::atomic<std::uint64_t> playbackSleepMs{0};

 private:
  void Run();

  FrameProcessor& processor_;
  FrameSources& sources_;
  SerialLink* link_;
  int lastFlushTicker_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace zrm
