#include "apps/vistrel/quarter_mile_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include "gui/retained_surface.h"

namespace zrm {

namespace {

// An 800 x 600 window less its caption and frame.
constexpr int CLIENT_WIDTH = 794;
constexpr int CLIENT_HEIGHT = 571;
constexpr int WHEEL_NOTCH = 120;

ScrollRequest RequestForAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollRequest::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollRequest::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollRequest::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollRequest::PageDown;
    case QAbstractSlider::SliderToMinimum: return ScrollRequest::Top;
    case QAbstractSlider::SliderToMaximum: return ScrollRequest::Bottom;
    case QAbstractSlider::SliderMove: return ScrollRequest::Track;
    default: return ScrollRequest::EndScroll;
  }
}

bool InPlot(const QPoint& p) {
  return p.x() >= PLOT_LEFT && p.x() <= PLOT_RIGHT && p.y() >= PLOT_TOP && p.y() <= PLOT_BASELINE;
}

}  // namespace

QuarterMileWindow::QuarterMileWindow(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint),
      surface_(std::make_unique<RetainedSurface>(CLIENT_WIDTH, CLIENT_HEIGHT)) {
  setWindowTitle("1/4 Mile Graph");
  setWindowIcon(owner ? owner->windowIcon() : QIcon());
  setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  plot_ = new SurfaceWidget(*surface_, this);
  plot_->setGeometry(0, 0, CLIENT_WIDTH, CLIENT_HEIGHT);
  plot_->setMouseTracking(true);
  plot_->installEventFilter(this);
  plot_->SetStaticPainter([this](Canvas& canvas) {
    if (view_) PaintQuarterGraph(canvas, *view_, state_);
  });
  scroll_ = new QScrollBar(Qt::Horizontal, this);
  scroll_->setGeometry(GRAPH_SCROLL_X, GRAPH_SCROLL_Y, GRAPH_SCROLL_WIDTH, GRAPH_SCROLL_HEIGHT);
  scroll_->setFocusPolicy(Qt::NoFocus);  // keys belong to the window
  connect(scroll_, &QAbstractSlider::actionTriggered, this, [this](int action) {
    const ScrollRequest request = RequestForAction(action);
    const long track = scroll_->sliderPosition();
    if (request != ScrollRequest::EndScroll && scrollTable) scrollTable(request, track);
    // The table decides where the bar stands.
    scroll_->setSliderPosition(static_cast<int>(std::min<long>(state_.topRow, scroll_->maximum())));
  });
  setFocusPolicy(Qt::StrongFocus);
}

QuarterMileWindow::~QuarterMileWindow() = default;

void QuarterMileWindow::ShowFrom(ViewFile& view, long topRow, long scrollMax, long scrollPosition,
                                 const std::string& fileName, bool wideband, int speedInKph) {
  view_ = &view;
  state_.fileName = fileName;
  state_.wideband = wideband;
  state_.speedInKph = speedInKph;
  state_.topRow = topRow;
  if (!isVisible()) {
    state_.cursorX = CURSOR_START_X;
    if (lastPosition_.x() == -1) {
      if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->geometry();
        move(desk.width() / 2 - 380, desk.height() / 2 - 280);
      }
    } else {
      move(lastPosition_);
    }
    show();
  }
  SetScrollBar(scrollMax, scrollPosition);
  Recompute();
}

void QuarterMileWindow::Follow(long topRow, long scrollMax, long scrollPosition) {
  if (!view_ || !isVisible()) return;
  state_.topRow = topRow;
  SetScrollBar(scrollMax, scrollPosition);
  Recompute();
}

void QuarterMileWindow::CloseGraph() {
  if (!isVisible()) return;
  lastPosition_ = pos();
  hide();
  view_ = nullptr;
}

void QuarterMileWindow::SetScrollBar(long scrollMax, long scrollPosition) {
  const QSignalBlocker block(scroll_);
  scroll_->setRange(0, static_cast<int>(scrollMax));
  scroll_->setPageStep(TABLE_ROWS);
  scroll_->setValue(static_cast<int>(scrollPosition));
  scroll_->setEnabled(scrollMax > 0);
}

void QuarterMileWindow::Recompute() {
  if (!view_) return;
  state_.results = ComputeQuarterMile(*view_, state_.topRow, state_.speedInKph);
  surface_->InvalidateAll();
}

void QuarterMileWindow::MoveCursor(int x) {
  x = std::clamp(x, CURSOR_MIN_X, CURSOR_MAX_X);
  if (x == state_.cursorX || !view_) return;
  const int old = state_.cursorX;
  state_.cursorX = x;
  ViewFile* view = view_;
  const QuarterGraphState state = state_;
  surface_->DrawValues([old, view, state](Canvas& canvas) {
    InvertCursorLine(canvas, old);
    InvertCursorLine(canvas, state.cursorX);
    ShowCursorReadout(canvas, *view, CursorRow(state), state.wideband);
  });
}

bool QuarterMileWindow::Key(int key) {
  if (!scrollTable) return false;
  switch (key) {
    case Qt::Key_PageUp: scrollTable(ScrollRequest::PageUp, 0); return true;
    case Qt::Key_PageDown: scrollTable(ScrollRequest::PageDown, 0); return true;
    case Qt::Key_Home: scrollTable(ScrollRequest::Top, 0); return true;
    case Qt::Key_End: scrollTable(ScrollRequest::Bottom, 0); return true;
    case Qt::Key_Left:
    case Qt::Key_Up: scrollTable(ScrollRequest::LineUp, 0); return true;
    case Qt::Key_Right:
    case Qt::Key_Down: scrollTable(ScrollRequest::LineDown, 0); return true;
    default: return false;
  }
}

void QuarterMileWindow::Wheel(int angle) {
  if (!scrollTable) return;
  wheelRest_ += angle;
  while (wheelRest_ >= WHEEL_NOTCH) {
    wheelRest_ -= WHEEL_NOTCH;
    scrollTable(ScrollRequest::LineUp, 0);
  }
  while (wheelRest_ <= -WHEEL_NOTCH) {
    wheelRest_ += WHEEL_NOTCH;
    scrollTable(ScrollRequest::LineDown, 0);
  }
}

void QuarterMileWindow::keyPressEvent(QKeyEvent* event) {
  if (!Key(event->key())) QWidget::keyPressEvent(event);
}

void QuarterMileWindow::wheelEvent(QWheelEvent* event) { Wheel(event->angleDelta().y()); }

void QuarterMileWindow::closeEvent(QCloseEvent* event) {
  lastPosition_ = pos();
  view_ = nullptr;
  event->accept();
}

bool QuarterMileWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != plot_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint p = mouse->position().toPoint();
      if (!(mouse->buttons() & Qt::LeftButton)) buttonHeld_ = false;
      overPlot_ = InPlot(p);
      if (overPlot_) {
        const bool nearLine = std::abs(p.x() - state_.cursorX) <= CURSOR_GRAB;
        plot_->setCursor(nearLine || buttonHeld_ ? Qt::SizeHorCursor : Qt::ArrowCursor);
        if (buttonHeld_) MoveCursor(p.x());
      } else {
        plot_->setCursor(Qt::ArrowCursor);
      }
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      buttonHeld_ = true;
      const QPoint p = mouse->position().toPoint();
      overPlot_ = InPlot(p);
      if (overPlot_) MoveCursor(p.x());
      return true;
    }
    case QEvent::MouseButtonRelease:
      buttonHeld_ = false;
      return true;
    case QEvent::Wheel:
      Wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
      return true;
    default:
      return false;
  }
}

}  // namespace zrm
