// What the status panel tells besides the stored states: a port that is open
// but silent, and the confirmation that a logging key took. Both run on the
// times the window passes in, so they are checked without waiting. The
// window thread polls and sets them; the DisplayThread only reads what they
// show (its per-frame redraw of the panel), so that is kept in words.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace zrm {

// An open port that has brought no frame for this long shows "No Data".
constexpr std::int64_t NO_DATA_AFTER_MS = 2000;
// A logging key's confirmation stays this long on the "Logging: " line.
constexpr std::int64_t LOG_NOTE_MS = 2000;

class StreamWatch {
 public:
  // Window thread, polled: `frames` is the count of frames accepted so far,
  // `portOpen` the port-state flag. The wait starts again when the port opens
  // or closes and with every new frame. True when NoData() changed.
  bool Poll(std::int64_t nowMs, std::uint64_t frames, bool portOpen);
  // The port is open and nothing has come for NO_DATA_AFTER_MS.
  bool NoData() const { return noData_.load(std::memory_order_acquire); }

 private:
  bool polled_ = false;
  bool portOpen_ = false;
  std::uint64_t frames_ = 0;
  std::int64_t lastSignMs_ = 0;  // the last frame, or the port opening or closing
  std::atomic<bool> noData_{false};
};

class LogKeyNote {
 public:
  // TAB: the marker with this number was asked for; SPACE: a time stamp.
  void Marker(std::int64_t nowMs, int number);
  void TimeStamp(std::int64_t nowMs);
  // The log closed or opened: nothing is confirmed any more.
  void Clear() { shown_.store(NOTE_NONE, std::memory_order_release); }
  // Window thread, polled: true when a confirmation has just run out (it is
  // gone now and the line wants its state back).
  bool Expire(std::int64_t nowMs);
  // "MARK 003", as the marker's number in the log (it wraps at 1000 as
  // there), or "Time Stamp"; empty when nothing is shown.
  std::string Text() const;

 private:
  static constexpr int NOTE_NONE = -1;
  static constexpr int NOTE_TIME_STAMP = -2;
  std::atomic<int> shown_{NOTE_NONE};  // a marker number, or one of the two above
  std::int64_t shownAtMs_ = 0;
};

}  // namespace zrm
