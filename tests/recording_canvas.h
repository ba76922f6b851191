// A Canvas that records what is drawn, for checks of painters without a window.
#pragma once

#include <string>
#include <vector>

#include "platform/canvas.h"

namespace zrm::test {

struct DrawnText {
  int x, y;
  std::string text;
  TextAlign align;
  FontId font;
  Colour colour;
  Colour back;
  bool transparent;
};

struct DrawnFill {
  int left, top, right, bottom;
  Colour colour;
  std::size_t textsBefore;  // how many texts were drawn before it
};

struct DrawnLine {
  int x1, y1, x2, y2;
  Colour colour;
  int width;
};

class RecordingCanvas : public Canvas {
 public:
  void SetFont(FontId f) override { font_ = f; }
  void SetTextColour(Colour c) override { text_ = c; }
  void SetBackColour(Colour c) override { back_ = c; }
  void SetTransparentText(bool t) override { transparent_ = t; }
  void SetPen(Colour c, int width, PenStyle) override {
    pen_ = c;
    penWidth_ = width;
  }
  void SetNullPen() override { penWidth_ = 0; }
  void SetBrush(Colour) override {}
  void SetNullBrush() override {}
  void Text(int x, int y, std::string_view t, TextAlign align) override {
    texts.push_back({x, y, std::string(t), align, font_, text_, back_, transparent_});
  }
  int TextWidth(std::string_view t) override { return static_cast<int>(t.size()) * 8; }
  int TextHeight() override { return 16; }
  void Line(int x1, int y1, int x2, int y2) override { lines.push_back({x1, y1, x2, y2, pen_, penWidth_}); }
  void Polyline(const CanvasPoint*, int) override {}
  void Rectangle(int, int, int, int) override {}
  void FillRect(int left, int top, int right, int bottom, Colour c) override {
    fills.push_back({left, top, right, bottom, c, texts.size()});
  }
  void Ellipse(int, int, int, int) override {}
  void Arc(int, int, int, int, int, int, int, int) override {}
  void SetPixel(int, int, Colour) override {}
  void InvertRect(int, int, int, int) override {}
  void ScrollRect(int, int, int, int, int, int) override {}

  // The last text drawn at (x, y), or nullptr.
  const DrawnText* TextAt(int x, int y) const {
    for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
      if (it->x == x && it->y == y) return &*it;
    }
    return nullptr;
  }

  std::vector<DrawnText> texts;
  std::vector<DrawnLine> lines;
  std::vector<DrawnFill> fills;

 private:
  FontId font_ = FontId::Normal;
  Colour text_ = 0, back_ = 0xFFFFFF, pen_ = 0;
  int penWidth_ = 1;
  bool transparent_ = false;
};

}  // namespace zrm::test
