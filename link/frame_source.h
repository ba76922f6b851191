// The byte sources of the frame reader: the live StreamRing, a playback file,
// an analysis file, or nothing (idle).
#pragma once

#include <atomic>
#include <functional>

#include "link/frame_reader.h"
#include "link/input_file.h"
#include "link/serial_link.h"

namespace zrm {

constexpr int SOURCE_ANALYSIS = 0;
constexpr int SOURCE_PLAYBACK = 1;
constexpr int SOURCE_LIVE = 2;
constexpr int SOURCE_IDLE = 3;

// A data log as a byte source. Until a stream is attached, and after its end,
// the end-of-file flag is set; at the end the end hook runs once. For playback
// the source then yields zero bytes with a 1 ms sleep each, so the
// DisplayThread keeps hunting without ever finding a frame until playback
// stops. A pass that reads a whole file (analysis, export, frame checks) sets
// `idleAfterEnd` to false and gets no data for good instead: a file that ends
// inside a cut time stamp must end the pass, not hang it.
class FileSource {
 public:
  std::function<void()> endHook;
  bool idleAfterEnd = true;

  int SetStream(bool enable, InputFile* stream) {
    stream_.store(stream, std::memory_order_release);
    endOfFile_.store(!enable, std::memory_order_release);
    return 0;
  }
  bool EndOfFile() const { return endOfFile_.load(std::memory_order_acquire); }
  InputFile* Stream() const { return stream_.load(std::memory_order_acquire); }

  int NextSourceByte() {
    if (!endOfFile_.load(std::memory_order_relaxed)) {
      int b = stream_.load(std::memory_order_relaxed)->Next();
      if (b >= 0) return b;
      endOfFile_.store(true, std::memory_order_release);
      if (endHook) endHook();
      return -1;
    }
    if (!idleAfterEnd) return -1;
    IdleAfterEnd();
    return 0;
  }

  // Back 5 bytes, so that the hunt after a bad sum starts inside its tail.
  void StepBackSource() {
    InputFile* stream = stream_.load(std::memory_order_acquire);
    if (stream && !endOfFile_.load(std::memory_order_acquire)) stream->SeekBy(-5);
  }

 private:
  static void IdleAfterEnd();

  std::atomic<InputFile*> stream_{nullptr};
  std::atomic<bool> endOfFile_{true};
};

// The DisplayThread's source switch. The live source takes bytes from the
// ring; the analysis file is read only by the analysis passes on the window
// thread (through their own FileSource), and the idle source leaves the ring to
// the flash protocol: for both, a frame in progress here ends with no data
// rather than taking bytes that belong to another reader.
class FrameSources {
 public:
  explicit FrameSources(SerialLink* link) : link_(link) {}

  int SetFrameSource(int source) { return frameSource_.exchange(source, std::memory_order_acq_rel); }
  int FrameSource() const { return frameSource_.load(std::memory_order_acquire); }
  int SetPlaybackStream(bool enable, InputFile* stream) { return playback.SetStream(enable, stream); }
  int SetAnalysisStream(bool enable, InputFile* stream) { return analysis.SetStream(enable, stream); }

  // Ends every read in progress with no data, for good: the DisplayThread is
  // stopping and must not stay in a hunt over a finished file.
  void Halt() { halted_.store(true, std::memory_order_release); }

  int NextSourceByte() {
    if (halted_.load(std::memory_order_relaxed)) return -1;
    switch (frameSource_.load(std::memory_order_relaxed)) {
      case SOURCE_PLAYBACK:
        return playback.NextSourceByte();
      case SOURCE_LIVE:
        return link_ ? link_->RingGetByte() : -1;
      default:
        return -1;
    }
  }

  void StepBackSource() {
    if (frameSource_.load(std::memory_order_relaxed) == SOURCE_PLAYBACK) playback.StepBackSource();
  }

  FileSource playback;
  FileSource analysis;

 private:
  SerialLink* link_;
  std::atomic<int> frameSource_{SOURCE_LIVE};
  std::atomic<bool> halted_{false};
};

}  // namespace zrm
