// The "1/4 Mile Graph" window: a pop-up owned by the main window, 800 by 600,
// that shows the quarter-mile figures and traces from the analysis table's
// top row. Its scroll bar, keys and wheel scroll the table (so the launch row
// moves); the cursor line is dragged with the mouse and its readout follows.
// Closing it keeps its place for the next opening.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "analysis/analysis_table.h"
#include "analysis/quarter_graph.h"

class QScrollBar;

namespace zrm {

class RetainedSurface;
class SurfaceWidget;

class QuarterMileWindow : public QWidget {
 public:
  explicit QuarterMileWindow(QWidget* owner);
  ~QuarterMileWindow() override;

  // The table's scroll handling, for the scroll bar, keys and wheel.
  std::function<void(ScrollRequest request, long trackPosition)> scrollTable;

  // Shows the window (at its last place, or centred the first time) and
  // computes the figures from `topRow` of `view`.
  void ShowFrom(ViewFile& view, long topRow, long scrollMax, long scrollPosition, const std::string& fileName,
                bool wideband, int speedInKph);
  // The table scrolled or changed: the figures again from the new top row.
  void Follow(long topRow, long scrollMax, long scrollPosition);
  bool IsOpen() const { return isVisible(); }
  // Hides it, keeping its place.
  void CloseGraph();

  const QuarterGraphState& State() const { return state_; }
  QScrollBar* ScrollBar() const { return scroll_; }
  SurfaceWidget* Plot() const { return plot_; }
  RetainedSurface& Surface() { return *surface_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void Recompute();
  void SetScrollBar(long scrollMax, long scrollPosition);
  void MoveCursor(int x);
  bool Key(int key);
  void Wheel(int angle);

  std::unique_ptr<RetainedSurface> surface_;
  SurfaceWidget* plot_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  ViewFile* view_ = nullptr;
  QuarterGraphState state_;
  QPoint lastPosition_{-1, -1};
  bool buttonHeld_ = false;
  bool overPlot_ = false;
  int wheelRest_ = 0;
};

}  // namespace zrm
