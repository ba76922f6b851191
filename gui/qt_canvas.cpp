#include "gui/qt_canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>
#include <vector>

#include "gui/fonts.h"

namespace zrm {

namespace {

// 0x80 to 0x9F of Windows-1252; the five unassigned codes map to the C1
// controls as Windows maps them.
constexpr char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr int DOT_ON = 3;
constexpr int DOT_PERIOD = 6;

QColor ToQColor(Colour c) { return QColor(ColourRed(c), ColourGreen(c), ColourBlue(c)); }

// Pixel centres lie half a pixel in from the corners of Qt's grid.
QPointF Centre(int x, int y) { return QPointF(x + 0.5, y + 0.5); }

// The pixels whose centres lie inside the ellipse inscribed in the box
// [left, right] x [top, bottom] (pixel x covers x to x + 1), one span a row.
class EllipseSpans {
 public:
  EllipseSpans(int left, int top, int right, int bottom) : top_(top) {
    const double cx = (left + right) / 2.0;
    const double cy = (top + bottom) / 2.0;
    const double a = (right - left) / 2.0;
    const double b = (bottom - top) / 2.0;
    // Mirrored about the box's middle, so the shape is as symmetric as the box.
    const double middle = cx - 0.5;
    for (int y = top; y < bottom; ++y) {
      const double dy = b > 0.0 ? (y + 0.5 - cy) / b : 0.0;
      const double half = dy * dy <= 1.0 ? a * std::sqrt(1.0 - dy * dy) : -1.0;
      spans_.push_back({static_cast<int>(std::ceil(middle - half - 1e-9)),
                        static_cast<int>(std::floor(middle + half + 1e-9))});
    }
  }
  int Top() const { return top_; }
  int Bottom() const { return top_ + static_cast<int>(spans_.size()); }
  int From(int y) const { return spans_[static_cast<std::size_t>(y - top_)].first; }
  int To(int y) const { return spans_[static_cast<std::size_t>(y - top_)].second; }
  bool Has(int x, int y) const {
    if (y < top_ || y >= Bottom()) return false;
    return x >= From(y) && x <= To(y);
  }
  // Inside with all four neighbours inside: not on the shape's edge.
  bool Inner(int x, int y) const {
    return Has(x, y) && Has(x - 1, y) && Has(x + 1, y) && Has(x, y - 1) && Has(x, y + 1);
  }

 private:
  int top_;
  std::vector<std::pair<int, int>> spans_;
};

}  // namespace

QString FromWindows1252(std::string_view text) {
  QString out;
  out.reserve(static_cast<qsizetype>(text.size()));
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x80 && byte <= 0x9F) {
      out.append(QChar(CP1252_HIGH[byte - 0x80]));
    } else {
      out.append(QChar(static_cast<char16_t>(byte)));
    }
  }
  return out;
}

QtCanvas::QtCanvas(QImage& image, Colour windowBackground)
    : image_(image), windowBackground_(windowBackground), font_(FontFor(FontId::Normal)) {
  // Pixels are written as 32-bit words.
  if (image_.format() != QImage::Format_RGB32 && image_.format() != QImage::Format_ARGB32)
    image_ = image_.convertToFormat(QImage::Format_RGB32);
}

void QtCanvas::SetFont(FontId font) { font_ = FontFor(font); }

void QtCanvas::SetPen(Colour colour, int width, PenStyle style) {
  penColour_ = colour;
  penWidth_ = std::max(width, 1);
  penStyle_ = style;
  penNull_ = false;
}

void QtCanvas::SetBrush(Colour colour) {
  brushColour_ = colour;
  brushNull_ = false;
}

void QtCanvas::Plot(int x, int y, QRgb colour) {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
}

QPen QtCanvas::WidePen() const {
  return QPen(QBrush(ToQColor(penColour_)), penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void QtCanvas::Text(int x, int y, std::string_view text, TextAlign align) {
  const QString s = FromWindows1252(text);
  const QFontMetrics metrics(font_, &image_);
  const int width = metrics.horizontalAdvance(s);
  int left = x;
  if (align == TextAlign::Right) left = x - width;
  if (align == TextAlign::Centre) left = x - width / 2;
  if (!transparent_) FillRect(left, y, left + width, y + metrics.height(), backColour_);
  QPainter painter(&image_);
  painter.setFont(font_);
  painter.setPen(ToQColor(textColour_));
  painter.drawText(QPoint(left, y + metrics.ascent()), s);
}

int QtCanvas::TextWidth(std::string_view text) {
  return QFontMetrics(font_, &image_).horizontalAdvance(FromWindows1252(text));
}

int QtCanvas::TextHeight() { return QFontMetrics(font_, &image_).height(); }

void QtCanvas::ThinLine(int x1, int y1, int x2, int y2, int* dotPhase) {
  const QRgb colour = ToQRgb(penColour_);
  const bool dotted = penStyle_ == PenStyle::Dot;
  const int dx = std::abs(x2 - x1);
  const int dy = -std::abs(y2 - y1);
  const int sx = x1 < x2 ? 1 : -1;
  const int sy = y1 < y2 ? 1 : -1;
  int error = dx + dy;
  int x = x1;
  int y = y1;
  while (x != x2 || y != y2) {
    if (!dotted || *dotPhase % DOT_PERIOD < DOT_ON) Plot(x, y, colour);
    ++*dotPhase;
    const int e2 = 2 * error;
    if (e2 >= dy) {
      error += dy;
      x += sx;
    }
    if (e2 <= dx) {
      error += dx;
      y += sy;
    }
  }
}

void QtCanvas::Line(int x1, int y1, int x2, int y2) {
  if (penNull_) return;
  if (penWidth_ == 1) {
    int phase = 0;
    ThinLine(x1, y1, x2, y2, &phase);
    return;
  }
  QPainter painter(&image_);
  painter.setPen(WidePen());
  painter.drawLine(Centre(x1, y1), Centre(x2, y2));
}

void QtCanvas::Polyline(const CanvasPoint* points, int count) {
  if (penNull_ || points == nullptr || count < 2) return;
  if (penWidth_ == 1) {
    int phase = 0;
    for (int i = 1; i < count; ++i) ThinLine(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, &phase);
    return;
  }
  QPolygonF polygon;
  for (int i = 0; i < count; ++i) polygon << Centre(points[i].x, points[i].y);
  QPainter painter(&image_);
  painter.setPen(WidePen());
  painter.drawPolyline(polygon);
}

void QtCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (right - left < 1 || bottom - top < 1) return;
  if (!brushNull_) FillRect(left, top, right, bottom, brushColour_);
  if (penNull_) return;
  if (penWidth_ == 1) {
    const CanvasPoint corners[5] = {
        {left, top}, {right - 1, top}, {right - 1, bottom - 1}, {left, bottom - 1}, {left, top}};
    if (right - left == 1 || bottom - top == 1) {
      FillRect(left, top, right, bottom, penColour_);
      return;
    }
    Polyline(corners, 5);
    return;
  }
  // A wide pen covers the edge pixels, width / 2 pixels outside them and
  // (width - 1) / 2 inside, on every side alike (as on ellipses).
  const int out = penWidth_ / 2;
  const int in = (penWidth_ - 1) / 2;
  const int outerLeft = left - out, outerTop = top - out, outerRight = right + out, outerBottom = bottom + out;
  const int holeLeft = left + in + 1, holeTop = top + in + 1, holeRight = right - 1 - in, holeBottom = bottom - 1 - in;
  if (holeLeft >= holeRight || holeTop >= holeBottom) {
    FillRect(outerLeft, outerTop, outerRight, outerBottom, penColour_);
    return;
  }
  FillRect(outerLeft, outerTop, outerRight, holeTop, penColour_);
  FillRect(outerLeft, holeBottom, outerRight, outerBottom, penColour_);
  FillRect(outerLeft, holeTop, holeLeft, holeBottom, penColour_);
  FillRect(holeRight, holeTop, outerRight, holeBottom, penColour_);
}

void QtCanvas::FillRect(int left, int top, int right, int bottom, Colour colour) {
  const int l = std::max(left, 0);
  const int t = std::max(top, 0);
  const int r = std::min(right, image_.width());
  const int b = std::min(bottom, image_.height());
  const QRgb rgb = ToQRgb(colour);
  for (int y = t; y < b; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
    std::fill(row + l, row + std::max(l, r), rgb);
  }
}

void QtCanvas::EllipseRing(int left, int top, int right, int bottom, bool (*keep)(int, int, const void*),
                           const void* context) {
  // A wide pen reaches out w / 2 pixels beyond the shape's edge pixels and
  // (w - 1) / 2 inside them, as on the rectangles.
  const int out = penWidth_ / 2;
  const int in = (penWidth_ - 1) / 2;
  const EllipseSpans outer(left - out, top - out, right + out, bottom + out);
  const EllipseSpans inner(left + in, top + in, right - in, bottom - in);
  const QRgb colour = ToQRgb(penColour_);
  for (int y = outer.Top(); y < outer.Bottom(); ++y) {
    for (int x = outer.From(y); x <= outer.To(y); ++x) {
      if (inner.Inner(x, y)) continue;
      if (keep == nullptr || keep(x, y, context)) Plot(x, y, colour);
    }
  }
}

void QtCanvas::Ellipse(int left, int top, int right, int bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (right - left < 1 || bottom - top < 1) return;
  if (!brushNull_) {
    const EllipseSpans shape(left, top, right, bottom);
    for (int y = shape.Top(); y < shape.Bottom(); ++y) FillRect(shape.From(y), y, shape.To(y) + 1, y + 1, brushColour_);
  }
  if (!penNull_) EllipseRing(left, top, right, bottom, nullptr, nullptr);
}

void QtCanvas::Arc(int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd) {
  if (penNull_) return;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (right - left < 1 || bottom - top < 1) return;
  // The part of the outline between the two rays, counter-clockwise as
  // seen (y grows downwards, so angles are taken with y turned up).
  struct Rays {
    double cx, cy, start, sweep;
  };
  const double cx = (left + right) / 2.0;
  const double cy = (top + bottom) / 2.0;
  auto angle = [&](double x, double y) { return std::atan2(cy - y, x - cx) * 180.0 / std::numbers::pi; };
  Rays rays{cx, cy, angle(xStart + 0.5, yStart + 0.5), 0.0};
  rays.sweep = angle(xEnd + 0.5, yEnd + 0.5) - rays.start;
  // The same ray twice is the whole ellipse.
  while (rays.sweep <= 0.0) rays.sweep += 360.0;
  EllipseRing(
      left, top, right, bottom,
      [](int x, int y, const void* context) {
        const Rays& r = *static_cast<const Rays*>(context);
        double a = std::atan2(r.cy - (y + 0.5), x + 0.5 - r.cx) * 180.0 / std::numbers::pi - r.start;
        while (a < 0.0) a += 360.0;
        return a <= r.sweep + 1e-9;
      },
      &rays);
}

void QtCanvas::SetPixel(int x, int y, Colour colour) { Plot(x, y, ToQRgb(colour)); }

void QtCanvas::InvertRect(int left, int top, int right, int bottom) {
  const int l = std::max(left, 0);
  const int t = std::max(top, 0);
  const int r = std::min(right, image_.width());
  const int b = std::min(bottom, image_.height());
  for (int y = t; y < b; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int x = l; x < r; ++x) row[x] ^= 0x00FFFFFF;
  }
}

void QtCanvas::ScrollRect(int left, int top, int right, int bottom, int dx, int dy) {
  const int l = std::max(left, 0);
  const int t = std::max(top, 0);
  const int r = std::min(right, image_.width());
  const int b = std::min(bottom, image_.height());
  if (r <= l || b <= t) return;
  const QImage before = image_.copy(l, t, r - l, b - t);
  FillRect(l, t, r, b, windowBackground_);
  // Pixels moved out of the rectangle are gone; what they leave is background.
  for (int y = t; y < b; ++y) {
    const int to = y + dy;
    if (to < t || to >= b) continue;
    const QRgb* from = reinterpret_cast<const QRgb*>(before.constScanLine(y - t));
    QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(to));
    for (int x = l; x < r; ++x) {
      const int tx = x + dx;
      if (tx >= l && tx < r) row[tx] = from[x - l];
    }
  }
}

}  // namespace zrm
