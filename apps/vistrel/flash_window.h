// The flash bank window of vistrel's main window (display mode 6): its
// controls on the main window's client area, the keyboard filter, the
// settings they change, the file selections and Apply. The operation runs on
// a worker thread; meanwhile the window repaints, shows each message line as
// it is logged and refuses all other input, so the user sees what a blocked
// window would show once it returned, line by line.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "flash/flash_protocol.h"
#include "flash/flash_ticks.h"
#include "flash/flash_window_model.h"
#include "flash/link_transport.h"
#include "flash/message_window.h"

class QAbstractButton;
class QButtonGroup;
class QWidget;

namespace zrm {

class MainWindow;
class VistrelApp;

class FlashWindow : public QObject {
  Q_OBJECT

 public:
  FlashWindow(MainWindow& window, VistrelApp& app, PlatformServices& services);
  ~FlashWindow() override;

  // Entering mode 6: logging paused and the frame source idle (both
  // remembered), the controls created, the tick timer started.
  void Open();
  // Leaving it: controls gone, timer stopped, source and pause restored.
  void Close();
  // The mode's part of the static layer.
  void Paint(Canvas& canvas);
  // One tab stop forwards or backwards (the main window's request).
  void MoveFocus(bool backwards);

  bool IsOpen() const { return open_; }
  // An operation is running.
  bool Busy() const { return busy_.load(); }
  QWidget* Control(FlashControlId id) const;
  MessageWindow& Messages() { return messages_; }
  FlashProtocol& Protocol() { return protocol_; }
  // The Yes / No / Cancel question of the read-file selection; a message box
  // unless replaced (tests).
  AskYesNoCancel askYesNoCancel;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void OnCommand(FlashControlId id);
  void Apply();
  void RedrawFileNames();
  void UpdateEnabled();
  int RunOnWorker(const std::function<int()>& operation);
  bool FilterKey(QObject* watched, QEvent* event);
  bool RefuseInput(QObject* watched, QEvent* event);

  MainWindow& window_;
  VistrelApp& app_;
  PlatformServices& services_;
  FlashTickTimer ticks_;
  LinkFlashTransport transport_;
  MessageWindow messages_;
  FlashProtocol protocol_;

  bool open_ = false;
  std::atomic<bool> busy_{false};
  bool shiftDown_ = false;
  int previousSource_ = 0;
  int previousLogPaused_ = 0;
  std::map<FlashControlId, QWidget*> controls_;
  std::vector<QWidget*> tabRing_;
  QButtonGroup* banks_ = nullptr;
  QButtonGroup* actions_ = nullptr;
};

}  // namespace zrm
