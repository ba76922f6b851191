#include "link/display_thread.h"

#include <system_error>

#include "platform/clock.h"

namespace zrm {

namespace {
// Enough to find the sync pair of a frame that starts after up to a frame of noise.
constexpr int LIVE_PEEK_BYTES = 2 * FRAME_WIRE_SIZE;
}  // namespace

int LiveFrameNeed(const std::uint8_t* bytes, int n) {
  for (int i = 0; i + 1 < n; ++i) {
    if (bytes[i] == FRAME_SYNC1 && bytes[i + 1] == FRAME_SYNC2) return i + FRAME_WIRE_SIZE;
  }
  return (n > 0 ? n - 1 : 0) + FRAME_WIRE_SIZE;
}

int DisplayThread::Start() {
  if (thread_.joinable()) return 0;
  stopping_.store(false);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return -1;  // the system has no thread to give
  }
  return 0;
}

void DisplayThread::Stop() {
  if (!thread_.joinable()) return;
  stopping_.store(true);
  sources_.Halt();
  if (link_) link_->CancelRingWaits();
  if (thread_.joinable()) thread_.join();
}

void DisplayThread::Run() {
  while (!stopping_.load(std::memory_order_acquire)) Turn();
}

void DisplayThread::Turn() {
  if (displayHold.load(std::memory_order_acquire)) {
    SleepMs(HELD_WAIT_MS);
    return;
  }
  switch (sources_.FrameSource()) {
    case SOURCE_PLAYBACK: {
      if (int count = backUpCount.load(std::memory_order_acquire); count != 0) {
        if (InputFile* stream = sources_.playback.Stream()) {
          std::int64_t target = stream->Tell() - static_cast<std::int64_t>(count) * PLAYBACK_SECOND_BYTES;
          stream->Seek(target < 0 ? 0 : target);
        }
        backUpCount.store(0, std::memory_order_release);
        if (processor_.ProcessNextFrame() == FRAME_OK) framesProcessed.fetch_add(1);
      }
      if (playbackPaused.load(std::memory_order_acquire)) {
        SleepMs(HELD_WAIT_MS);
        return;
      }
      if (processor_.ProcessNextFrame() == FRAME_OK) framesProcessed.fetch_add(1);
      int speed = pbSpd.load(std::memory_order_relaxed);
      if (speed >= 1) {
        SleepMs(speed + 7);
        playbackSleepMs.fetch_add(static_cast<std::uint64_t>(speed + 7));
      }
      return;
    }
    case SOURCE_LIVE: {
      int ticker = processor_.secondsTicker.load(std::memory_order_relaxed);
      if (link_ && ticker - lastFlushTicker_ > logFlushIntervalSec.load(std::memory_order_relaxed) &&
          link_->LogEnabled() && !link_->LogPaused()) {
        link_->RequestLogFlush();
        lastFlushTicker_ = ticker;
      }
      if (!link_) {
        SleepMs(LIVE_WAIT_MS);
        return;
      }
      std::uint8_t head[LIVE_PEEK_BYTES];
      std::uint64_t seen = 0;
      const int need = LiveFrameNeed(head, link_->RingPeekBlock(head, LIVE_PEEK_BYTES, &seen));
      if (link_->WaitForRingCount(need, LIVE_WAIT_MS) &&
          sources_.FrameSource() == SOURCE_LIVE && !stopping_.load(std::memory_order_acquire)) {
        if (processor_.ProcessNextFrame() == FRAME_OK) framesProcessed.fetch_add(1);
      }
      return;
    }
    default:  // analysis or idle
      SleepMs(60);
      return;
  }
}

}  // namespace zrm
