// The "Flash Bank" tool window: eight squares for the calibration banks, the
// one the ECM streams lit. A click on a square (press and release on the
// same bank) tells the ECM to make that bank active (TxMsBank); the frames
// then carry the new bank and the frame processing's refresh lights it.
// Open from its menu command (or the reopening after a display switch or the
// end of playback) until the user closes it, a switch to the analysis or
// flash display, the start of playback, or the program's exit.
#pragma once

#include <QPointer>
#include <atomic>
#include <functional>

#include "apps/vistrel/tool_window.h"
#include "displays/bank_selector.h"
#include "flash/flash_protocol.h"
#include "flash/link_transport.h"
#include "gui/retained_surface.h"

namespace zrm {

class MainWindow;
class VistrelApp;

// The window's client area.
constexpr int BANK_WINDOW_WIDTH = 440;
constexpr int BANK_WINDOW_HEIGHT = 84;

class BankSelectorWindow {
 public:
  BankSelectorWindow(MainWindow& main, VistrelApp& app);
  ~BankSelectorWindow();

  void Open();
  void Close();
  bool IsOpen() const { return window_ != nullptr; }

  ToolWindow* Window() const { return window_; }
  RetainedSurface& Surface() { return surface_; }
  const BankSelector& Model() const { return model_; }

  // Sends the bank command; TxMsBank over the link unless replaced (tests).
  std::function<int(int bank)> sendBank;

 private:
  void Destroy();
  void OnMouse(QEvent::Type type, int x);

  MainWindow& main_;
  VistrelApp& app_;
  BankSelector model_;
  RetainedSurface surface_;
  QPointer<ToolWindow> window_;
  std::atomic<std::uint32_t> noTicks_{0};  // TxMsBank waits on no answer
  LinkFlashTransport transport_;
  FlashProtocol protocol_;
};

}  // namespace zrm
