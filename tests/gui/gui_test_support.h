// Helpers of the GUI tests: pixels as Windows colour values, event pumping.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <functional>

#include "gui/qt_canvas.h"

namespace zrm::test {

inline Colour PixelAt(const QImage& image, int x, int y) { return FromQRgb(image.pixel(x, y)); }

// Runs the event loop until `done` holds or `ms` milliseconds pass; true when done.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 2000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs the event loop for `ms` milliseconds.
inline void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace zrm::test
