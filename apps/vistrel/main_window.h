// vistrel's main window: the menus, the display modes and the switch between
// them, the keyboard, the status panel and the port line, over the retained
// surface that the DisplayThread draws the value layer into.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "apps/vistrel/vistrel_app.h"
#include "shell/status_notes.h"
#include "shell/status_panel.h"

class QAction;
class QMenu;

namespace zrm {

class RetainedSurface;
class SurfaceWidget;
class GaugeDisplay;
class QtServices;
class PlaybackControls;
class FlashWindow;
class AnalysisView;
class DiagnosticsView;
class MalfCodesWindow;
class BankSelectorWindow;
class VeLearnView;
class TripView;
class KnockView;

// Registration points for the displays and tool windows that other parts of
// the program bring; each does nothing until it is set.
struct DisplayHooks {
  std::function<void()> createPlaybackControls;
  std::function<void(bool keepForGauge)> removePlaybackControls;
  std::function<void()> openAnalysis;
  std::function<void()> openFlashWindow;
  std::function<void()> closeFlashWindow;
  std::function<void()> stopDataLog;
  std::function<void()> stopPlayback;
  std::function<void()> stopVeLearn;
  std::function<bool()> playbackRunning;
  std::function<bool()> playbackAtEnd;
  std::function<bool()> playbackPaused;
  std::function<bool()> logOpen;
  std::function<bool()> logPaused;
  std::function<std::string()> logFileName;
  std::function<std::string()> playbackFileName;
  std::function<bool()> veLearnRunning;
  std::function<void(char key)> logKey;  // TAB, SPACE, ENTER while a log is open
  std::function<int()> lastMarker;       // the number the last TAB asked for
  std::function<bool()> malfCodesOpen;
  std::function<void()> openMalfCodes;
  std::function<void()> closeMalfCodes;
  std::function<bool()> bankSelectorOpen;
  std::function<void()> openBankSelector;
  std::function<void()> closeBankSelector;
};

// What a display brings to the main window, one entry per display mode; each
// part stays empty until the display sets it.
struct ModeView {
  std::function<void(Canvas&)> paint;      // its body in the static layer
  std::function<void()> createControls;   // its child controls, when it becomes current
  std::function<void()> removeControls;   // when another display becomes current
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Message boxes and dialogs of `services` are owned by this window.
  MainWindow(VistrelApp& app, QtServices& services);
  ~MainWindow() override;

  // The display switch for a display command.
  void SwitchDisplay(int command);
  // A menu command as if chosen from the menu.
  void Command(int command);
  int DisplayMode() const { return app_.processor.displayMode.load(); }

  QAction* Action(int command) const;
  // File > CommPort: its serial devices are listed afresh and the current
  // port checked each time it opens.
  QMenu* PortMenu() const { return portMenu_; }
  // Asks for a serial device path (the CommPort menu's last item); false
  // when the user cancels. A dialog unless a test sets it.
  std::function<bool(std::string* path)> askDevicePath;
  RetainedSurface& Surface() { return *surface_; }
  QWidget* SurfaceView() const;
  GaugeDisplay& Gauge() { return *gauge_; }
  FlashWindow& Flash() { return *flash_; }
  AnalysisView& Analysis() { return *analysis_; }
  DiagnosticsView& Diagnostics() { return *diagnostics_; }
  MalfCodesWindow& MalfCodesTool() { return *malfCodes_; }
  BankSelectorWindow& BankSelectorTool() { return *bankSelector_; }
  VeLearnView& VeLearnTool() { return *veLearn_; }
  TripView& Trip() { return *trip_; }
  KnockView& Knock() { return *knock_; }
  DisplayHooks hooks;
  ModeView modeViews[8];  // index: the display mode
  // Menu commands handled by other parts of the program (preferences, user
  // devices, VE learn, ...), one handler per command.
  std::map<int, std::function<void()>> commandHandlers;

  // The shared button procedure: the display keys and, while a log is open,
  // the logging keys reach the main window from a focused control.
  void InstallKeyForwarding(QWidget* control);

  // Redraws the status panel's logging line (after a logging key).
  void RedrawLoggingStatus();
  // Whole-window repaint of the static layer.
  void RepaintAll();
  // The displays are laid out again after a unit or channel change (the
  // preferences or the User Device dialog): the current display's controls
  // are made afresh, the gauge display reads its settings again, each
  // registered step runs, and the window repaints.
  void LayOutDisplays();
  std::vector<std::function<void()>> onLayOutDisplays;
  // The status panel's current values.
  StatusPanelValues CollectStatus() const;
  // The clock of the panel's timed notes ("No Data", a logging key's
  // confirmation); a test sets its own.
  std::function<std::int64_t()> clock;
  // Window thread, every quarter second: an open port gone silent shows
  // "No Data" and the gauges empty, a confirmation that has run out goes.
  void PollStatusNotes();
  bool NoData() const { return streamWatch_.NoData(); }
  // The window position is stored only when the window is not minimised.
  void StorePosition();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void AddMenuItems(QMenu* menu, const struct MenuItem* items);
  void PaintStaticLayer(Canvas& canvas);
  void ShowPortState(int open);
  void ReconnectPort();
  void RemoveControlsBut(int mode);
  void DisconnectPort();
  void RefreshPortMenu();
  void PickDevicePath();
  void ResumeStream();
  bool HandleKey(int key, const QString& text);
  bool PlaybackRunning() const { return hooks.playbackRunning && hooks.playbackRunning(); }
  void SetGrayed(int command, bool grayed);
  void WireLogAndPlayback();
  void UpdateLogMenu();

  VistrelApp& app_;
  std::unique_ptr<RetainedSurface> surface_;
  SurfaceWidget* view_ = nullptr;
  std::unique_ptr<GaugeDisplay> gauge_;
  std::unique_ptr<PlaybackControls> playbackControls_;
  std::unique_ptr<FlashWindow> flash_;  // after the surface: it goes first
  std::unique_ptr<AnalysisView> analysis_;
  std::unique_ptr<DiagnosticsView> diagnostics_;
  std::unique_ptr<MalfCodesWindow> malfCodes_;  // they go before the window's children
  std::unique_ptr<BankSelectorWindow> bankSelector_;
  std::unique_ptr<VeLearnView> veLearn_;
  std::unique_ptr<TripView> trip_;
  std::unique_ptr<KnockView> knock_;
  std::map<int, QAction*> actions_;
  int spoke_ = 0;
  StreamWatch streamWatch_;
  LogKeyNote logKeyNote_;
  bool logWasOpen_ = false;
  std::atomic<bool> controllerRedraw_{true};
  std::string controllerDrawn_;  // DisplayThread only
  int lastUserDevice_ = 0;  // the User Device dialog opens on the entry last edited
  bool closing_ = false;
  QMenu* portMenu_ = nullptr;
  const QEvent* forwardedKey_ = nullptr;  // a control's key, forwarded and not to act again
  std::vector<QAction*> portDeviceActions_;  // below COM40, rebuilt on each opening
};

}  // namespace zrm
