// The message window: a fixed number of coloured fixed-width lines in which
// every flash operation reports its steps. A new line past the last scrolls
// the oldest out; a line is padded with spaces or cut to the width.
//
// Operations write through MessageSink, so they can run on a worker thread
// while the window shows each line as it is logged, or print to a terminal.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/canvas.h"

namespace zrm {

// Backgrounds of the lines; the text is always COLOUR_TEXT.
constexpr Colour MESSAGE_NORMAL = 0xDCDCDC;
constexpr Colour MESSAGE_FAILURE = 0x00FFFF;         // yellow: a step failed
constexpr Colour MESSAGE_SUCCESS_RESULT = 0x67F567;  // green: the operation succeeded
constexpr Colour MESSAGE_FAILURE_RESULT = 0x5050F5;  // red: the operation failed

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Adds one line; 0, or -1 when the window could not scroll (the line is
  // still shown).
  virtual int LogMessage(Colour background, std::string_view text) = 0;
};

struct MessageRect {
  int left, top, right, bottom;
};

// Size and place of one program's message window.
struct MessageWindowLayout {
  int lines;
  int width;  // characters per line
  int left;   // x of every line
  int top;    // y of line 0
  int lineHeight;
  FontId font;
  MessageRect clip;    // the lines' area
  MessageRect scroll;  // what a scroll moves

  static MessageWindowLayout Vistrel() {
    return {8, 48, 334, 321, 17, FontId::List, {330, 321, 720, 457}, {331, 322, 719, 457}};
  }
  // The update utility draws in its own 17-pixel bold face; its window sets
  // `font` to that.
  static MessageWindowLayout FlashUpdate() {
    return {20, 80, 34, 127, 17, FontId::List, {30, 127, 756, 467}, {31, 128, 755, 467}};
  }
};

struct MessageLine {
  Colour background = MESSAGE_NORMAL;
  std::string text;  // exactly `width` characters
  bool operator==(const MessageLine&) const = default;
};

// The text made exactly `width` characters: padded with spaces or cut.
std::string PadMessage(std::string_view text, int width);

// The stored lines (MessageLog): the index of the last line written (-1 when
// empty) and each line's colour and padded text.
class MessageLog {
 public:
  explicit MessageLog(const MessageWindowLayout& layout);

  // Stores a line; true when the oldest had to scroll out first.
  bool Add(Colour background, std::string_view text);
  // All lines blank (spaces on grey), index -1.
  void Clear();

  int LastIndex() const { return last_; }
  const MessageLine& Line(int index) const { return lines_[static_cast<std::size_t>(index)]; }
  // The lines written so far, oldest first.
  std::vector<MessageLine> Shown() const;
  const MessageWindowLayout& Layout() const { return layout_; }

 private:
  MessageWindowLayout layout_;
  std::vector<MessageLine> lines_;
  int last_ = -1;
};

// Painters.
// One line at its place in its colours.
void PaintMessageLine(Canvas& canvas, const MessageWindowLayout& layout, int index, const MessageLine& line);
// Moves the shown lines up by one line; the clip rectangle starts a pixel
// above the scroll rectangle, so the whole area moves.
void PaintMessageScroll(Canvas& canvas, const MessageWindowLayout& layout);
// Blank lines everywhere, then every stored line replayed in order.
void PaintMessages(Canvas& canvas, const MessageLog& log);

// The message window of a program: the log and, when given a surface, each
// line drawn on it as it is logged. Safe to log from one thread while another
// repaints: the line is stored and drawn under the surface's lock, the same
// lock a full repaint holds while it replays the lines.
class MessageWindow : public MessageSink {
 public:
  MessageWindow(const MessageWindowLayout& layout, SurfaceAccess* surface);

  int LogMessage(Colour background, std::string_view text) override;
  // Blanks the lines, and the window when it has a surface.
  void ClearMessages();
  // The static layer's part: call from the full repaint.
  void RedrawMessages(Canvas& canvas) const;

  std::vector<MessageLine> Shown() const;
  void SetSurface(SurfaceAccess* surface);

 private:
  mutable std::mutex mutex_;
  MessageLog log_;
  SurfaceAccess* surface_;
};

}  // namespace zrm
