// The message window: padding and cutting, scrolling out the oldest line,
// what is drawn where, and lines logged from a worker while the window
// repaints.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "flash/message_window.h"
#include "recording_canvas.h"

namespace zrm {
namespace {

TEST(MessageText, PaddedOrCutToTheWidth) {
  struct Case {
    std::string text;
    int width;
    std::string expected;
  };
  const std::string sixty(60, 'x');
  const Case cases[] = {
      {"", 48, std::string(48, ' ')},
      {"RX Timeout 1", 48, "RX Timeout 1" + std::string(36, ' ')},
      {"TxSlStop Failed  ", 48, "TxSlStop Failed" + std::string(33, ' ')},
      {std::string(48, 'a'), 48, std::string(48, 'a')},
      {sixty, 48, std::string(48, 'x')},
      {sixty, 80, sixty + std::string(20, ' ')},
  };
  for (const Case& c : cases) EXPECT_EQ(PadMessage(c.text, c.width), c.expected) << c.text;
}

std::string Numbered(int n) { return "line " + std::to_string(n); }

TEST(MessageLogModel, OldestLinesScrollOut) {
  struct Case {
    MessageWindowLayout layout;
    int logged;
  };
  for (const Case& c : {Case{MessageWindowLayout::Vistrel(), 3}, Case{MessageWindowLayout::Vistrel(), 8},
                        Case{MessageWindowLayout::Vistrel(), 9}, Case{MessageWindowLayout::Vistrel(), 20},
                        Case{MessageWindowLayout::FlashUpdate(), 20}, Case{MessageWindowLayout::FlashUpdate(), 21},
                        Case{MessageWindowLayout::FlashUpdate(), 45}}) {
    SCOPED_TRACE(std::to_string(c.layout.lines) + " lines, logged " + std::to_string(c.logged));
    MessageLog log(c.layout);
    int scrolls = 0;
    for (int i = 1; i <= c.logged; ++i) {
      scrolls += log.Add(i % 2 ? MESSAGE_FAILURE : MESSAGE_NORMAL, Numbered(i)) ? 1 : 0;
    }
    const int shown = std::min(c.logged, c.layout.lines);
    EXPECT_EQ(log.LastIndex(), shown - 1);
    EXPECT_EQ(scrolls, c.logged - shown);
    const std::vector<MessageLine> lines = log.Shown();
    ASSERT_EQ(static_cast<int>(lines.size()), shown);
    for (int k = 0; k < shown; ++k) {
      const int n = c.logged - shown + 1 + k;
      EXPECT_EQ(lines[static_cast<std::size_t>(k)].text, PadMessage(Numbered(n), c.layout.width));
      EXPECT_EQ(lines[static_cast<std::size_t>(k)].background, n % 2 ? MESSAGE_FAILURE : MESSAGE_NORMAL);
    }
  }
}

TEST(MessageLogModel, ClearBlanksEveryLine) {
  MessageLog log(MessageWindowLayout::Vistrel());
  for (int i = 0; i < 12; ++i) log.Add(MESSAGE_FAILURE_RESULT, Numbered(i));
  log.Clear();
  EXPECT_EQ(log.LastIndex(), -1);
  EXPECT_TRUE(log.Shown().empty());
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(log.Line(i).text, std::string(48, ' '));
    EXPECT_EQ(log.Line(i).background, MESSAGE_NORMAL);
  }
  log.Add(MESSAGE_SUCCESS_RESULT, "again");
  EXPECT_EQ(log.LastIndex(), 0);
}

// A recording canvas that also records scrolls.
class ScrollRecordingCanvas : public test::RecordingCanvas {
 public:
  struct Scroll {
    int left, top, right, bottom, dx, dy;
    std::size_t afterTexts;
  };
  void ScrollRect(int left, int top, int right, int bottom, int dx, int dy) override {
    scrolls.push_back({left, top, right, bottom, dx, dy, texts.size()});
  }
  std::vector<Scroll> scrolls;
};

// A surface that draws on one canvas under one lock, as the retained surface does.
template <class CanvasType>
class LockedSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override {
    std::lock_guard lock(mutex);
    painter(canvas);
  }
  void InvalidateAll() override {}
  void PaintStatic(const std::function<void(Canvas&)>& painter) {
    std::lock_guard lock(mutex);
    painter(canvas);
  }
  std::mutex mutex;
  CanvasType canvas;
};

TEST(MessageWindowDrawing, LinesAtTheirPlacesAndTheNinthScrolls) {
  LockedSurface<ScrollRecordingCanvas> surface;
  MessageWindow window(MessageWindowLayout::Vistrel(), &surface);
  const Colour colours[] = {MESSAGE_NORMAL, MESSAGE_FAILURE, MESSAGE_SUCCESS_RESULT, MESSAGE_FAILURE_RESULT};
  for (int i = 0; i < 8; ++i) window.LogMessage(colours[i % 4], Numbered(i));
  ASSERT_EQ(surface.canvas.texts.size(), 8u);
  EXPECT_TRUE(surface.canvas.scrolls.empty());
  for (int i = 0; i < 8; ++i) {
    const test::DrawnText& t = surface.canvas.texts[static_cast<std::size_t>(i)];
    EXPECT_EQ(t.x, 334);
    EXPECT_EQ(t.y, 321 + 17 * i);
    EXPECT_EQ(t.text, PadMessage(Numbered(i), 48));
    EXPECT_EQ(t.font, FontId::List);
    EXPECT_EQ(t.colour, COLOUR_TEXT);
    EXPECT_EQ(t.back, colours[i % 4]);
    EXPECT_FALSE(t.transparent);
  }

  const std::string sixty(60, 'z');
  window.LogMessage(MESSAGE_FAILURE, sixty);
  ASSERT_EQ(surface.canvas.scrolls.size(), 1u);
  const auto& s = surface.canvas.scrolls[0];
  EXPECT_EQ(s.afterTexts, 8u);  // the area moves before the new line is drawn
  EXPECT_EQ(s.left, 331);
  EXPECT_EQ(s.top, 321);
  EXPECT_EQ(s.right, 719);
  EXPECT_EQ(s.bottom, 457);
  EXPECT_EQ(s.dx, 0);
  EXPECT_EQ(s.dy, -17);
  const test::DrawnText& last = surface.canvas.texts.back();
  EXPECT_EQ(last.y, 321 + 17 * 7);
  EXPECT_EQ(last.text, std::string(48, 'z'));
}

TEST(MessageWindowDrawing, RepaintBlanksThenReplaysInOrder) {
  LockedSurface<ScrollRecordingCanvas> surface;
  MessageWindow window(MessageWindowLayout::Vistrel(), &surface);
  for (int i = 0; i < 20; ++i) window.LogMessage(i == 19 ? MESSAGE_SUCCESS_RESULT : MESSAGE_NORMAL, Numbered(i));
  ScrollRecordingCanvas repaint;
  window.RedrawMessages(repaint);
  ASSERT_EQ(repaint.texts.size(), 16u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(repaint.texts[static_cast<std::size_t>(i)].text, std::string(48, ' '));
    EXPECT_EQ(repaint.texts[static_cast<std::size_t>(i)].back, MESSAGE_NORMAL);
    const test::DrawnText& t = repaint.texts[static_cast<std::size_t>(8 + i)];
    EXPECT_EQ(t.y, 321 + 17 * i);
    EXPECT_EQ(t.text, PadMessage(Numbered(12 + i), 48));
  }
  EXPECT_EQ(repaint.texts.back().back, MESSAGE_SUCCESS_RESULT);

  window.ClearMessages();
  EXPECT_TRUE(window.Shown().empty());
  ScrollRecordingCanvas afterClear;
  window.RedrawMessages(afterClear);
  EXPECT_EQ(afterClear.texts.size(), 8u);
}

TEST(MessageWindowDrawing, UpdateUtilitySizeAndPlace) {
  LockedSurface<ScrollRecordingCanvas> surface;
  MessageWindow window(MessageWindowLayout::FlashUpdate(), &surface);
  for (int i = 0; i < 21; ++i) window.LogMessage(MESSAGE_NORMAL, Numbered(i));
  ASSERT_EQ(surface.canvas.scrolls.size(), 1u);
  EXPECT_EQ(surface.canvas.scrolls[0].top, 127);
  EXPECT_EQ(surface.canvas.scrolls[0].bottom, 467);
  EXPECT_EQ(surface.canvas.texts[0].x, 34);
  EXPECT_EQ(surface.canvas.texts[0].y, 127);
  EXPECT_EQ(surface.canvas.texts.back().y, 127 + 17 * 19);
  EXPECT_EQ(surface.canvas.texts.back().text.size(), 80u);
}

// The message area as rows of text: a line drawn fills its row, a scroll
// moves every row up and leaves the bottom one empty.
class RowCanvas : public test::RecordingCanvas {
 public:
  void Text(int x, int y, std::string_view text, TextAlign align) override {
    test::RecordingCanvas::Text(x, y, text, align);
    const int row = (y - 321) / 17;
    if (x == 334 && row >= 0 && row < 8) rows[static_cast<std::size_t>(row)] = std::string(text);
  }
  void ScrollRect(int, int, int, int, int, int dy) override {
    if (dy != -17) return;
    for (std::size_t i = 0; i + 1 < rows.size(); ++i) rows[i] = rows[i + 1];
    rows.back().clear();
  }
  std::vector<std::string> rows = std::vector<std::string>(8);
};

TEST(MessageWindowDrawing, AWorkerLoggingWhileTheWindowRepaintsNeverShowsAShiftedWindow) {
  LockedSurface<RowCanvas> surface;
  MessageWindow window(MessageWindowLayout::Vistrel(), &surface);
  std::atomic<bool> done{false};
  std::atomic<int> mismatches{0};
  std::atomic<int> repaints{0};
  std::thread worker([&] {
    for (int i = 0; i < 3000; ++i) {
      // On a loaded machine the worker could finish before the window thread
      // ever runs: every 100 lines it waits for another repaint, so the two
      // really interleave.
      if (i % 100 == 0) {
        const int seen = repaints.load();
        while (repaints.load() == seen) std::this_thread::yield();
      }
      window.LogMessage(MESSAGE_NORMAL, Numbered(i));
      // What is on screen must be what is stored, line for line.
      std::lock_guard lock(surface.mutex);
      const std::vector<MessageLine> shown = window.Shown();
      for (std::size_t k = 0; k < shown.size(); ++k) {
        if (surface.canvas.rows[k] != shown[k].text) ++mismatches;
      }
    }
    done = true;
  });
  while (!done) {
    surface.PaintStatic([&](Canvas& canvas) { window.RedrawMessages(canvas); });
    ++repaints;
  }
  worker.join();
  EXPECT_GE(repaints.load(), 30);
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(surface.canvas.rows.back(), PadMessage(Numbered(2999), 48));
}

// The window thread repaints at the worst moment: just as the worker asks
// for the surface to draw its line.
class RepaintFirstSurface : public LockedSurface<RowCanvas> {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override {
    if (window) PaintStatic([this](Canvas& canvas) { window->RedrawMessages(canvas); });
    LockedSurface<RowCanvas>::DrawValues(painter);
  }
  MessageWindow* window = nullptr;
};

TEST(MessageWindowDrawing, ARepaintJustBeforeALineIsDrawnDoesNotShiftTheWindow) {
  RepaintFirstSurface surface;
  MessageWindow window(MessageWindowLayout::Vistrel(), &surface);
  surface.window = &window;
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    window.LogMessage(MESSAGE_NORMAL, Numbered(i));
    const std::vector<MessageLine> shown = window.Shown();
    for (std::size_t k = 0; k < shown.size(); ++k) EXPECT_EQ(surface.canvas.rows[k], shown[k].text);
  }
}

}  // namespace
}  // namespace zrm
