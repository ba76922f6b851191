#include "flash/message_window.h"

namespace zrm {

std::string PadMessage(std::string_view text, int width) {
  std::string line(text.substr(0, static_cast<std::size_t>(width)));
  line.resize(static_cast<std::size_t>(width), ' ');
  return line;
}

MessageLog::MessageLog(const MessageWindowLayout& layout) : layout_(layout) {
  lines_.resize(static_cast<std::size_t>(layout_.lines));
  Clear();
}

void MessageLog::Clear() {
  for (MessageLine& line : lines_) line = {MESSAGE_NORMAL, std::string(static_cast<std::size_t>(layout_.width), ' ')};
  last_ = -1;
}

bool MessageLog::Add(Colour background, std::string_view text) {
  bool scrolled = false;
  ++last_;
  if (last_ >= layout_.lines) {
    last_ = layout_.lines - 1;
    lines_.erase(lines_.begin());
    lines_.push_back({});
    scrolled = true;
  }
  lines_[static_cast<std::size_t>(last_)] = {background, PadMessage(text, layout_.width)};
  return scrolled;
}

std::vector<MessageLine> MessageLog::Shown() const {
  return {lines_.begin(), lines_.begin() + (last_ + 1)};
}

void PaintMessageLine(Canvas& canvas, const MessageWindowLayout& layout, int index, const MessageLine& line) {
  canvas.SetFont(layout.font);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(line.background);
  // Cut at the clipping rectangle's right edge: the text runs no further than
  // the window's area, and its colour reaches that edge.
  std::string text = line.text;
  const int room = layout.clip.right - layout.left;
  while (!text.empty() && canvas.TextWidth(text) > room) text.pop_back();
  const int y = layout.top + index * layout.lineHeight;
  canvas.Text(layout.left, y, text);
  const int end = layout.left + canvas.TextWidth(text);
  if (end < layout.clip.right) canvas.FillRect(end, y, layout.clip.right, y + layout.lineHeight, line.background);
}

void PaintMessageScroll(Canvas& canvas, const MessageWindowLayout& layout) {
  // Pixels move within the scroll rectangle and land within the clip
  // rectangle, which reaches one row higher: together the whole line area
  // moves up by one line.
  const int top = layout.clip.top > layout.scroll.top ? layout.scroll.top : layout.clip.top;
  canvas.ScrollRect(layout.scroll.left, top, layout.scroll.right, layout.scroll.bottom, 0, -layout.lineHeight);
}

void PaintMessages(Canvas& canvas, const MessageLog& log) {
  const MessageWindowLayout& layout = log.Layout();
  const MessageLine blank{MESSAGE_NORMAL, std::string(static_cast<std::size_t>(layout.width), ' ')};
  for (int i = 0; i < layout.lines; ++i) PaintMessageLine(canvas, layout, i, blank);
  for (int i = 0; i <= log.LastIndex(); ++i) PaintMessageLine(canvas, layout, i, log.Line(i));
}

MessageWindow::MessageWindow(const MessageWindowLayout& layout, SurfaceAccess* surface)
    : log_(layout), surface_(surface) {}

void MessageWindow::SetSurface(SurfaceAccess* surface) {
  std::lock_guard lock(mutex_);
  surface_ = surface;
}

int MessageWindow::LogMessage(Colour background, std::string_view text) {
  SurfaceAccess* surface;
  {
    std::lock_guard lock(mutex_);
    surface = surface_;
    if (surface == nullptr) {
      log_.Add(background, text);
      return 0;
    }
  }
  // Stored and drawn in one step under the surface's lock, so a repaint on
  // the window thread never sees a stored line that is not yet drawn (it
  // would be scrolled twice).
  surface->DrawValues([&](Canvas& canvas) {
    std::lock_guard lock(mutex_);
    const bool scrolled = log_.Add(background, text);
    if (scrolled) PaintMessageScroll(canvas, log_.Layout());
    PaintMessageLine(canvas, log_.Layout(), log_.LastIndex(), log_.Line(log_.LastIndex()));
  });
  return 0;
}

void MessageWindow::ClearMessages() {
  SurfaceAccess* surface;
  {
    std::lock_guard lock(mutex_);
    surface = surface_;
    if (surface == nullptr) {
      log_.Clear();
      return;
    }
  }
  surface->DrawValues([&](Canvas& canvas) {
    std::lock_guard lock(mutex_);
    log_.Clear();
    PaintMessages(canvas, log_);
  });
}

void MessageWindow::RedrawMessages(Canvas& canvas) const {
  std::lock_guard lock(mutex_);
  PaintMessages(canvas, log_);
}

std::vector<MessageLine> MessageWindow::Shown() const {
  std::lock_guard lock(mutex_);
  return log_.Shown();
}

}  // namespace zrm
