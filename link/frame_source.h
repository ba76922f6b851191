// The byte sources of the frame reader: the live StreamRing, a playback file,
// an analysis file, or nothing (idle).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
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
// the source then yields zero bytes with a 20 ms sleep each, so the
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

  // The file's buffered bytes; none after the end (NextSourceByte then ends
  // the read or idles as above).
  const std::uint8_t* SourceWindow(std::size_t* n) {
    if (endOfFile_.load(std::memory_order_relaxed)) {
      *n = 0;
      return nullptr;
    }
    return stream_.load(std::memory_order_relaxed)->Window(n);
  }
  void AdvanceSource(std::size_t k) { stream_.load(std::memory_order_relaxed)->Advance(k); }

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

  // A live wait in progress ends at once: the ring may be another's now.
  int SetFrameSource(int source) {
    const int was = frameSource_.exchange(source, std::memory_order_acq_rel);
    if (link_) link_->CancelRingWaits();
    return was;
  }
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

  // The current source's waiting bytes, for the block reader: the playback
  // file's buffer, or a copy of the next bytes in the ring (taken from the
  // ring only as the reader uses them, so bytes it does not use stay there
  // for the next reader). None when halted or idle.
  const std::uint8_t* SourceWindow(std::size_t* n) {
    *n = 0;
    windowSource_ = SOURCE_IDLE;
    if (halted_.load(std::memory_order_relaxed)) return nullptr;
    switch (frameSource_.load(std::memory_order_relaxed)) {
      case SOURCE_PLAYBACK: {
        const std::uint8_t* window = playback.SourceWindow(n);
        if (*n > 0) windowSource_ = SOURCE_PLAYBACK;
        return window;
      }
      case SOURCE_LIVE:
        if (link_ == nullptr) return nullptr;
        *n = static_cast<std::size_t>(link_->RingPeekBlock(ringWindow_, RING_WINDOW_SIZE, &ringSeen_));
        if (*n > 0) windowSource_ = SOURCE_LIVE;
        return ringWindow_;
      default:
        return nullptr;
    }
  }
  // Takes k bytes of the last window from the source it came from. A ring
  // flushed meanwhile keeps its new state: the bytes were old ones.
  void AdvanceSource(std::size_t k) {
    if (windowSource_ == SOURCE_PLAYBACK) playback.AdvanceSource(k);
    if (windowSource_ == SOURCE_LIVE) link_->RingConsumeBlock(static_cast<int>(k), ringSeen_);
  }

  void StepBackSource() {
    if (frameSource_.load(std::memory_order_relaxed) == SOURCE_PLAYBACK) playback.StepBackSource();
  }

  FileSource playback;
  FileSource analysis;

 private:
  // A window copies at most this many ring bytes; small, since a window is
  // copied again after each byte that may begin a text or a sync pair.
  static constexpr int RING_WINDOW_SIZE = 128;

  SerialLink* link_;
  std::atomic<int> frameSource_{SOURCE_LIVE};
  std::atomic<bool> halted_{false};
  // The reader's thread only.
  int windowSource_ = SOURCE_IDLE;
  std::uint8_t ringWindow_[RING_WINDOW_SIZE] = {};
  std::uint64_t ringSeen_ = 0;
};

}  // namespace zrm
