// The "Malfunction Codes" tool window: from its menu command (or the
// reopening after a display switch) until the user closes it, a switch to
// the analysis or flash display, or the program's exit. While it is open the
// frame processing hands it every frame, and the lamps that change are
// refilled on its surface.
#pragma once

#include <QPointer>
#include <memory>

#include "apps/vistrel/tool_window.h"
#include "displays/malf_codes.h"
#include "gui/retained_surface.h"

namespace zrm {

class MainWindow;
class VistrelApp;

// The window's client area.
constexpr int MALF_WINDOW_WIDTH = 144;
constexpr int MALF_WINDOW_HEIGHT = 314;

class MalfCodesWindow {
 public:
  // Wires the main window's hooks and the frame processing's call; made
  // before the DisplayThread starts.
  MalfCodesWindow(MainWindow& main, VistrelApp& app);
  ~MalfCodesWindow();

  // The menu command: opens it, or flashes it when it is open.
  void Open();
  // Closed by the program: the open key stays as it is.
  void Close();
  bool IsOpen() const { return window_ != nullptr; }

  ToolWindow* Window() const { return window_; }
  RetainedSurface& Surface() { return surface_; }
  const MalfCodes& Model() const { return model_; }

 private:
  void Destroy();

  MainWindow& main_;
  VistrelApp& app_;
  MalfCodes model_;
  RetainedSurface surface_;
  QPointer<ToolWindow> window_;
};

}  // namespace zrm
