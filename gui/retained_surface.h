// The main window's client area as a retained image.
//
// The window thread paints the static layer into it (PaintStatic, with the
// whole image erased first); the DisplayThread draws the value layer into the
// same image (DrawValues) and the window is then asked, through a queued
// call, to show it. Both hold the surface's lock while drawing, and the
// widget holds it while it copies the image to the screen, so a frame never
// shows half drawn. Widgets are touched on the window thread only.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <mutex>

#include "platform/canvas.h"

class QPaintEvent;

namespace zrm {

class SurfaceWidget;

class RetainedSurface : public QObject, public SurfaceAccess {
 public:
  // Made on the window thread, which then runs its queued calls; it must
  // outlive every thread that draws on it.
  explicit RetainedSurface(int width = 800, int height = 600, Colour background = COLOUR_BACKGROUND,
                           QObject* parent = nullptr);

  // Window thread: erases the image to the background and draws the static
  // layer with `painter`.
  void PaintStatic(const std::function<void(Canvas&)>& painter);

  // Any thread: draws under the lock, then asks the widget to show the image.
  void DrawValues(const std::function<void(Canvas&)>& painter) override;
  // Any thread: asks the widget for a full repaint (static layer included).
  void InvalidateAll() override;

  // A copy of the image as it stands.
  QImage Image() const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  Colour Background() const { return background_; }

  // Window thread: copies the part `area` of the image with `painter`.
  void Present(QPainter& painter, const QRect& area) const;

 private:
  friend class SurfaceWidget;
  void Attach(SurfaceWidget* widget) { widget_ = widget; }

  const int width_;
  const int height_;
  const Colour background_;
  mutable std::mutex mutex_;
  QImage image_;
  QPointer<SurfaceWidget> widget_;  // window thread only
  // One queued call of each kind at a time, however fast frames come.
  std::atomic<bool> showPending_{false};
  std::atomic<bool> repaintPending_{false};
};

// The widget that shows a RetainedSurface. A full repaint request runs the
// static painter into the surface before the image is shown; so does the
// first paint.
class SurfaceWidget : public QWidget {
 public:
  explicit SurfaceWidget(RetainedSurface& surface, QWidget* parent = nullptr);

  void SetStaticPainter(std::function<void(Canvas&)> painter);
  // Window thread: the static layer is painted again on the next paint.
  void RepaintAll();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  RetainedSurface& surface_;
  std::function<void(Canvas&)> staticPainter_;
  bool repaintAll_ = true;
};

}  // namespace zrm
