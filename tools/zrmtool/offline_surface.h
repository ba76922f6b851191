// A main-window surface for the offline commands: the displays' value layer
// is painted as in the window program (so every per-frame step runs as it
// does there), onto a canvas that keeps nothing.
#pragma once

#include <functional>

#include "platform/canvas.h"

namespace zrm::tool {

class NullCanvas : public Canvas {
 public:
  void SetFont(FontId) override {}
  void SetTextColour(Colour) override {}
  void SetBackColour(Colour) override {}
  void SetTransparentText(bool) override {}
  void SetPen(Colour, int, PenStyle) override {}
  void SetNullPen() override {}
  void SetBrush(Colour) override {}
  void SetNullBrush() override {}
  void Text(int, int, std::string_view, TextAlign) override {}
  int TextWidth(std::string_view text) override { return static_cast<int>(text.size()) * 8; }
  int TextHeight() override { return 16; }
  void Line(int, int, int, int) override {}
  void Polyline(const CanvasPoint*, int) override {}
  void Rectangle(int, int, int, int) override {}
  void FillRect(int, int, int, int, Colour) override {}
  void Ellipse(int, int, int, int) override {}
  void Arc(int, int, int, int, int, int, int, int) override {}
  void SetPixel(int, int, Colour) override {}
  void InvertRect(int, int, int, int) override {}
  void ScrollRect(int, int, int, int, int, int) override {}
};

class OfflineSurface : public SurfaceAccess {
 public:
  void DrawValues(const std::function<void(Canvas&)>& painter) override { painter(canvas_); }
  void InvalidateAll() override {}

 private:
  NullCanvas canvas_;
};

}  // namespace zrm::tool
