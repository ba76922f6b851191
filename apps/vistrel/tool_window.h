// The frame shared by vistrel's two floating tool windows (malfunction codes
// and flash-bank selector): a small window above the main window showing a
// retained surface, placed where it was last left, taking the keyboard focus
// while the mouse is over it and handing it back to the main window when the
// mouse leaves, and passing the display and logging keys on to the main
// window. Escape or the close box is its Cancel: the user closed it.
#pragma once

#include <QDialog>
#include <QEvent>
#include <cstdint>
#include <functional>

#include "gui/retained_surface.h"

namespace zrm {

class MainWindow;

// Where a tool window keeps its place and whether it was left open.
struct ToolWindowKeys {
  std::int32_t* left;  // -1: not placed yet
  std::int32_t* top;
  std::int32_t* open;
};

class ToolWindow : public QDialog {
 public:
  ToolWindow(MainWindow& main, RetainedSurface& surface, const char* title, ToolWindowKeys keys);

  SurfaceWidget* View() const { return view_; }
  // Called when the user closed the window (Escape, the close box), after
  // the open key was cleared; the owner then deletes it.
  std::function<void()> onUserClose;
  // Mouse events over the surface, in its pixels.
  std::function<void(QEvent::Type type, int x, int y)> onMouse;
  std::function<void()> onMouseLeave;

  // Gives it the focus, then the main window, then it again, 120 ms apart,
  // and leaves the focus with the main window: the answer to its menu
  // command while it is open.
  void Flash();
  // Its left and top edge into the keys.
  void StorePosition();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void TakeFocus();
  void ReturnFocus();

  MainWindow& main_;
  SurfaceWidget* view_;
  ToolWindowKeys keys_;
  bool closedByUser_ = false;
};

}  // namespace zrm
