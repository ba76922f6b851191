// The Canvas on a QImage, with the Windows programs' drawing rules so that
// painters land on the same pixels:
// - text is placed by the top-left corner of its cell, right-aligned or
//   centred on x, over a box in the back colour unless transparent;
// - a one-pixel line leaves out its end point; wider pens have round ends;
//   a dotted pen (one pixel wide) runs 3 pixels on, 3 off;
// - rectangles and ellipses cover left to right - 1 and top to bottom - 1,
//   filled with the brush and outlined with the pen on their edge pixels (a
//   wide pen reaches width / 2 pixels further out and (width - 1) / 2 in);
//   an ellipse is the pixels whose centres lie inside it, its outline
//   always solid;
// - an arc is the part of that outline counter-clockwise (as seen) from the
//   ray through its start point to the ray through its end point;
// - nothing is antialiased.
// A new canvas starts as a new device context does: black text on a white
// opaque box, a black one-pixel pen, a white brush, the normal font.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QString>
#include <string_view>

#include "platform/canvas.h"

namespace zrm {

// The programs' 8-bit texts (Windows-1252) as Unicode.
QString FromWindows1252(std::string_view text);

inline QRgb ToQRgb(Colour c) { return qRgb(ColourRed(c), ColourGreen(c), ColourBlue(c)); }
inline Colour FromQRgb(QRgb c) { return RgbColour(qRed(c), qGreen(c), qBlue(c)); }

class QtCanvas : public Canvas {
 public:
  // Draws on `image`, converted to 32-bit RGB first if it is in another format. `windowBackground` is what scrolling
  // uncovers, as the window's own background would.
  explicit QtCanvas(QImage& image, Colour windowBackground = COLOUR_BACKGROUND);

  void SetFont(FontId font) override;
  void SetTextColour(Colour colour) override { textColour_ = colour; }
  void SetBackColour(Colour colour) override { backColour_ = colour; }
  void SetTransparentText(bool transparent) override { transparent_ = transparent; }
  void SetPen(Colour colour, int width, PenStyle style = PenStyle::Solid) override;
  void SetNullPen() override { penNull_ = true; }
  void SetBrush(Colour colour) override;
  void SetNullBrush() override { brushNull_ = true; }

  void Text(int x, int y, std::string_view text, TextAlign align = TextAlign::Left) override;
  int TextWidth(std::string_view text) override;
  int TextHeight() override;

  void Line(int x1, int y1, int x2, int y2) override;
  void Polyline(const CanvasPoint* points, int count) override;
  void Rectangle(int left, int top, int right, int bottom) override;
  void FillRect(int left, int top, int right, int bottom, Colour colour) override;
  void Ellipse(int left, int top, int right, int bottom) override;
  void Arc(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) override;
  void SetPixel(int x, int y, Colour colour) override;
  void InvertRect(int left, int top, int right, int bottom) override;
  void ScrollRect(int left, int top, int right, int bottom, int dx, int dy) override;

 private:
  void Plot(int x, int y, QRgb colour);
  // A one-pixel line without its end point; `dotPhase` carries the dot
  // pattern on from one segment to the next.
  void ThinLine(int x1, int y1, int x2, int y2, int* dotPhase);
  QPen WidePen() const;
  // The pen's outline of the box's ellipse, the pixels `keep` accepts.
  void EllipseRing(int left, int top, int right, int bottom, bool (*keep)(int, int, const void*),
                   const void* context);

  QImage& image_;
  Colour windowBackground_;
  QFont font_;
  Colour textColour_ = 0x000000;
  Colour backColour_ = 0xFFFFFF;
  bool transparent_ = false;
  Colour penColour_ = 0x000000;
  int penWidth_ = 1;
  PenStyle penStyle_ = PenStyle::Solid;
  bool penNull_ = false;
  Colour brushColour_ = 0xFFFFFF;
  bool brushNull_ = false;
};

}  // namespace zrm
