#include "gui/retained_surface.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>

#include "gui/qt_canvas.h"

namespace zrm {

RetainedSurface::RetainedSurface(int width, int height, Colour background, QObject* parent)
    : QObject(parent),
      width_(width),
      height_(height),
      background_(background),
      image_(width, height, QImage::Format_RGB32) {
  image_.fill(ToQRgb(background));
}

void RetainedSurface::PaintStatic(const std::function<void(Canvas&)>& painter) {
  std::lock_guard lock(mutex_);
  image_.fill(ToQRgb(background_));
  QtCanvas canvas(image_, background_);
  painter(canvas);
}

void RetainedSurface::DrawValues(const std::function<void(Canvas&)>& painter) {
  {
    std::lock_guard lock(mutex_);
    QtCanvas canvas(image_, background_);
    painter(canvas);
  }
  if (showPending_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        showPending_.store(false);
        if (widget_) widget_->update();
      },
      Qt::QueuedConnection);
}

void RetainedSurface::InvalidateAll() {
  if (repaintPending_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintPending_.store(false);
        if (widget_) widget_->RepaintAll();
      },
      Qt::QueuedConnection);
}

QImage RetainedSurface::Image() const {
  std::lock_guard lock(mutex_);
  return image_.copy();
}

void RetainedSurface::Present(QPainter& painter, const QRect& area) const {
  std::lock_guard lock(mutex_);
  painter.drawImage(area.topLeft(), image_, area);
}

SurfaceWidget::SurfaceWidget(RetainedSurface& surface, QWidget* parent) : QWidget(parent), surface_(surface) {
  // Every pixel comes from the image, so Qt need not clear first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  surface_.Attach(this);
}

void SurfaceWidget::SetStaticPainter(std::function<void(Canvas&)> painter) {
  staticPainter_ = std::move(painter);
  RepaintAll();
}

void SurfaceWidget::RepaintAll() {
  repaintAll_ = true;
  update();
}

QSize SurfaceWidget::sizeHint() const { return QSize(surface_.Width(), surface_.Height()); }

void SurfaceWidget::paintEvent(QPaintEvent* event) {
  if (repaintAll_ && staticPainter_) {
    repaintAll_ = false;
    surface_.PaintStatic(staticPainter_);
  }
  QPainter painter(this);
  const QRect inside = event->rect().intersected(QRect(0, 0, surface_.Width(), surface_.Height()));
  surface_.Present(painter, inside);
  // Beyond the surface (a widget larger than it) shows the background.
  const QRegion outside = QRegion(event->rect()) - QRegion(inside);
  for (const QRect& r : outside) painter.fillRect(r, QColor(ToQRgb(surface_.Background())));
}

}  // namespace zrm
