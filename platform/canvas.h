// Canvas: the drawing layer every painter uses, with the semantics of the
// Windows programs' drawing so that positions carry over to the pixel.
//
// Coordinates are client pixels of the window (800 x 600 for vistrel). Text is
// placed by its top-left corner unless right-aligned (right edge at x) or
// centred (centred on x); its background is filled in the back colour unless
// transparent text is asked for. Rectangles and ellipses take left, top,
// right, bottom with right and bottom excluded, outlined with the pen and
// filled with the brush. A line excludes its end point. Texts are in the
// programs' own 8-bit character set (Windows-1252: "\xB0" is the degree sign).
// Colours are Windows colour values: 0x00BBGGRR, blue in the high byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace zrm {

using Colour = std::uint32_t;

constexpr Colour RgbColour(int r, int g, int b) {
  return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int ColourRed(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int ColourGreen(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int ColourBlue(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

constexpr Colour COLOUR_BACKGROUND = 0xDCDCDC;  // window background, RGB 220, 220, 220
constexpr Colour COLOUR_TEXT = 0x141414;
constexpr Colour COLOUR_WARNING = 0x0A3FD2;

// The fonts created at start-up.
enum class FontId {
  Small,     // COURIER NEW 14, status-panel labels and small texts
  List,      // COURIER NEW 17, tables and message lists
  Title,     // 24 pixels, system face, display titles
  Value,     // 28 pixels bold, swiss face, large numbers
  OemFixed,  // the fixed OEM font of the system
  Normal,    // the window's default font
  ListBold,  // COURIER NEW 17 bold, the utilities' labels, values and message window
  OemLarge,  // 20 pixels bold, OEM_FIXED_FONT with the OEM character set, the utilities' large values
};

enum class PenStyle { Solid, Dot };
enum class TextAlign { Left, Right, Centre };

struct CanvasPoint {
  int x;
  int y;
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void SetFont(FontId font) = 0;
  virtual void SetTextColour(Colour colour) = 0;
  virtual void SetBackColour(Colour colour) = 0;
  virtual void SetTransparentText(bool transparent) = 0;
  virtual void SetPen(Colour colour, int width, PenStyle style = PenStyle::Solid) = 0;
  virtual void SetNullPen() = 0;
  virtual void SetBrush(Colour colour) = 0;
  virtual void SetNullBrush() = 0;

  virtual void Text(int x, int y, std::string_view text, TextAlign align = TextAlign::Left) = 0;
  // Width and height of a text in the current font.
  virtual int TextWidth(std::string_view text) = 0;
  virtual int TextHeight() = 0;

  virtual void Line(int x1, int y1, int x2, int y2) = 0;
  virtual void Polyline(const CanvasPoint* points, int count) = 0;
  virtual void Rectangle(int left, int top, int right, int bottom) = 0;
  virtual void FillRect(int left, int top, int right, int bottom, Colour colour) = 0;
  virtual void Ellipse(int left, int top, int right, int bottom) = 0;
  // An arc of the ellipse in the bounding box, counter-clockwise from the ray
  // through the start point to the ray through the end point, in the pen.
  virtual void Arc(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) = 0;
  virtual void SetPixel(int x, int y, Colour colour) = 0;
  virtual void InvertRect(int left, int top, int right, int bottom) = 0;
  // Moves the pixels of the rectangle by dx, dy; what is uncovered is filled
  // with the background colour.
  virtual void ScrollRect(int left, int top, int right, int bottom, int dx, int dy) = 0;
};

// The main window's retained surface as the DisplayThread sees it: it draws
// the value layer through DrawValues (under the surface's lock; the window is
// asked to show the result) and asks for a full repaint with InvalidateAll.
class SurfaceAccess {
 public:
  virtual ~SurfaceAccess() = default;
  virtual void DrawValues(const std::function<void(Canvas&)>& painter) = 0;
  virtual void InvalidateAll() = 0;
};

}  // namespace zrm
