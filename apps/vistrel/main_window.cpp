#include "apps/vistrel/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QInputDialog>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "apps/vistrel/about_boxes.h"
#include "apps/vistrel/analysis_view.h"
#include "apps/vistrel/bank_selector_window.h"
#include "apps/vistrel/diagnostics_view.h"
#include "apps/vistrel/flash_window.h"
#include "apps/vistrel/knock_view.h"
#include "apps/vistrel/malf_codes_window.h"
#include "apps/vistrel/playback_controls.h"
#include "apps/vistrel/preferences_dialog.h"
#include "apps/vistrel/trip_view.h"
#include "apps/vistrel/user_device_dialog.h"
#include "apps/vistrel/velearn_view.h"
#include "displays/gauge_display.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "link/conversions.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "shell/main_menu.h"

namespace zrm {
namespace {

// The client area: an 800 x 600 window less its caption, menu bar and frame.
constexpr int CLIENT_WIDTH = 794;
constexpr int CLIENT_HEIGHT = 551;

struct DisplayTitle {
  int mode;
  int x;
  const char* text;
};

constexpr DisplayTitle kTitles[] = {
    {MODE_TRIP, 232, "Trip Distance and Fuel Information"},
    {MODE_GAUGE, 224, "Tarnwell Vistrel Display"},
    {MODE_VELEARN, 268, "Volumetric Efficiency Learn"},
    {MODE_KNOCK, 298, "Areas of Spark Knock"},
    {MODE_ANALYSIS, 320, "Data Analysis"},
    {MODE_DIAGNOSTICS, 300, "Sensor Diagnostics"},
};

bool IsLiveMode(int mode) {
  return mode == MODE_TRIP || mode == MODE_GAUGE || mode == MODE_VELEARN || mode == MODE_KNOCK ||
         mode == MODE_DIAGNOSTICS;
}

// The display menu items whose state a switch resets.
constexpr int kDisplayItems[] = {CMD_VISTREL, CMD_TRIP_INFO, CMD_VE_LEARN, CMD_SPK_KNOCK, CMD_MALF_CODES,
                                 CMD_BANK_SELECT, CMD_FLASH, CMD_ANALYSIS, CMD_DIAGNOSTIC};

}  // namespace

MainWindow::MainWindow(VistrelApp& app, QtServices& services)
    : app_(app), surface_(std::make_unique<RetainedSurface>(800, 600)) {
  services.SetOwner(this);
  clock = MonotonicMs;
  setWindowTitle("Vistrel");
  setWindowIcon(VistrelIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  view_ = new SurfaceWidget(*surface_, this);
  view_->setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  view_->setFocusPolicy(Qt::StrongFocus);
  view_->setMouseTracking(true);
  view_->installEventFilter(this);
  view_->SetStaticPainter([this](Canvas& canvas) { PaintStaticLayer(canvas); });
  setCentralWidget(view_);
  BuildMenus();
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  // The knock gauge shows the knock map's events total.
  gauge_ = std::make_unique<GaugeDisplay>(
      app_.settings, app_.processor.record, *surface_,
      [this] { return knock_ ? knock_->Model().EventsTotal() : 0; }, &app_.userDevices);
  gauge_->paintStatusValues = [this](Canvas& canvas) {
    const StatusPanelValues status = CollectStatus();
    PaintStatusValues(canvas, status);
    // The controller line is drawn when the link comes alive and whenever its
    // text changes, not only by a whole-window paint.
    const std::string controller = ControllerLineText(status);
    if (controllerRedraw_.exchange(false) || controller != controllerDrawn_) {
      PaintControllerLine(canvas, status);
      controllerDrawn_ = controller;
    }
  };
  app_.processor.SetDisplayUpdate(DISPLAY_GAUGE,
                                  [this](const std::uint8_t* frame, int active) { gauge_->GaugeFrame(frame, active); });

  app_.link.showPortState = [this](int open) { ShowPortState(open); };
  app_.processor.hooks.activityStep = [this] {
    if (PlaybackRunning() || !IsLiveMode(DisplayMode())) return;
    surface_->DrawValues([this](Canvas& canvas) { StepActivitySpinner(canvas, spoke_); });
  };

  if (app_.settings.mainWindowX != -1) {
    move(app_.settings.mainWindowX, app_.settings.mainWindowY);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect desk = screen->availableGeometry();
    move(desk.x() + desk.width() / 2 - 400, desk.y() + desk.height() / 2 - 300);
  }

  WireLogAndPlayback();

  flash_ = std::make_unique<FlashWindow>(*this, app_, app_.Services());
  hooks.openFlashWindow = [this] { flash_->Open(); };
  hooks.closeFlashWindow = [this] { flash_->Close(); };
  analysis_ = std::make_unique<AnalysisView>(*this, app_);

  diagnostics_ = std::make_unique<DiagnosticsView>(*this, app_, &app_.userDevices);
  malfCodes_ = std::make_unique<MalfCodesWindow>(*this, app_);
  bankSelector_ = std::make_unique<BankSelectorWindow>(*this, app_);
  veLearn_ = std::make_unique<VeLearnView>(*this, app_);
  trip_ = std::make_unique<TripView>(*this, app_, &app_.userDevices);
  knock_ = std::make_unique<KnockView>(*this, app_);

  commandHandlers[CMD_PREFERENCES] = [this] {
    PreferencesDialog dialog(app_, this);
    dialog.onApplied = [this] { RepaintAll(); };
    dialog.exec();
    if (dialog.LayoutChanged()) LayOutDisplays();
    RepaintAll();
    if (QSlider* rate = playbackControls_->RateTrackbar()) rate->setValue(100 - app_.settings.playbackDelay);
  };
  commandHandlers[CMD_USER_DEVICES] = [this] {
    UserDeviceDialog dialog(app_, lastUserDevice_, this);
    dialog.exec();
    if (dialog.DevicesChanged()) LayOutDisplays();
    RepaintAll();
  };

  auto* secondTimer = new QTimer(this);
  connect(secondTimer, &QTimer::timeout, this, [this] {
    app_.processor.secondsTicker.fetch_add(1);
    app_.dataLog.OnSecondTick();
  });
  secondTimer->start(1000);
  auto* noteTimer = new QTimer(this);
  connect(noteTimer, &QTimer::timeout, this, [this] { PollStatusNotes(); });
  noteTimer->start(250);
}

void MainWindow::PollStatusNotes() {
  const std::int64_t now = clock();
  // During playback the port is closed, so no "No Data" either.
  const std::uint64_t frames = app_.processor.record.goodFrames.load(std::memory_order_relaxed);
  if (streamWatch_.Poll(now, frames, app_.portOpen.load() != 0) && IsLiveMode(DisplayMode())) {
    // Whole: the gauge display's values go or come back with the port line.
    RepaintAll();
  }
  if (logKeyNote_.Expire(now)) RedrawLoggingStatus();
}

void MainWindow::WireLogAndPlayback() {
  DataLog& log = app_.dataLog;
  Playback& playback = app_.playback;
  playbackControls_ = std::make_unique<PlaybackControls>(*this, view_, playback);

  hooks.logOpen = [&log] { return log.LogActive(); };
  hooks.logPaused = [&log] { return log.LogPaused(); };
  hooks.logFileName = [&log] { return log.LogFileName(); };
  hooks.logKey = [&log](char key) { log.OnLogKey(key); };
  hooks.lastMarker = [&log] { return log.LastMarker(); };
  hooks.stopDataLog = [&log] { log.StopDataLog(); };
  hooks.playbackRunning = [&playback] { return playback.PlaybackActive(); };
  hooks.playbackAtEnd = [&playback] { return playback.PlaybackAtEnd(); };
  hooks.playbackPaused = [&playback] { return playback.PlaybackPaused(); };
  hooks.playbackFileName = [&playback] { return playback.PlaybackFileName(); };
  hooks.stopPlayback = [this, &playback] {
    if (playback.PlaybackActive()) Command(CMD_STOP_PLAYBACK);
  };
  hooks.createPlaybackControls = [this] { playbackControls_->Create(DisplayMode()); };
  hooks.removePlaybackControls = [this](bool keepForGauge) { playbackControls_->Remove(keepForGauge); };

  log.displayMode = [this] { return DisplayMode(); };
  log.playbackActive = [&playback] { return playback.PlaybackActive(); };
  log.switchToGauge = [this] { SwitchDisplay(CMD_VISTREL); };
  log.onStateChanged = [this] {
    // A confirmation belongs to the log it was given in.
    if (app_.dataLog.LogActive() != logWasOpen_) logKeyNote_.Clear();
    logWasOpen_ = app_.dataLog.LogActive();
    UpdateLogMenu();
    RepaintAll();
  };
  // A write failure is found on the CommThread; the message and the close
  // belong to the window thread.
  log.onWriteErrorPosted = [this] {
    QMetaObject::invokeMethod(this, [this] { app_.dataLog.ReportLogWriteError(); }, Qt::QueuedConnection);
  };

  playback.switchToGauge = [this] { SwitchDisplay(CMD_VISTREL); };
  playback.onStateChanged = [this] {
    UpdateLogMenu();
    playbackControls_->ShowProgress();
    playbackControls_->ShowPaused();
    RepaintAll();
  };
  playback.disconnectPort = [this] { DisconnectPort(); };
  playback.reconnectPort = [this] { ReconnectPort(); };
  playback.portOpen = [this] { return app_.portOpen.load() != 0; };
  playback.closeBankSelector = [this] {
    if (hooks.bankSelectorOpen && hooks.bankSelectorOpen() && hooks.closeBankSelector) hooks.closeBankSelector();
  };
  playback.openBankSelector = [this] {
    if (app_.settings.flashBankOpen == 1 && !(hooks.bankSelectorOpen && hooks.bankSelectorOpen()))
      Command(CMD_BANK_SELECT);
  };
  playback.onAtEnd = [this] {
    QMetaObject::invokeMethod(
        this,
        [this] {
          playbackControls_->ShowProgress();  // full at the end of the file
          RepaintAll();
        },
        Qt::QueuedConnection);
  };
  playback.onProgressStep = [this] {
    QMetaObject::invokeMethod(this, [this] { playbackControls_->ShowProgress(); }, Qt::QueuedConnection);
  };
}

void MainWindow::UpdateLogMenu() {
  const LogMenuItems items = LogMenuState(app_.dataLog.LogActive(), app_.playback.PlaybackActive());
  SetGrayed(CMD_DATALOG, !items.dataLog);
  SetGrayed(CMD_CLOSE_DATALOG, !items.closeDataLog);
  SetGrayed(CMD_PLAYBACK, !items.playback);
  SetGrayed(CMD_STOP_PLAYBACK, !items.stopPlayback);
}

MainWindow::~MainWindow() {
  // The threads call into this window; they end before it goes.
  app_.Shutdown();
  app_.link.showPortState = nullptr;
  app_.processor.hooks.activityStep = nullptr;
  app_.processor.SetDisplayUpdate(DISPLAY_GAUGE, nullptr);
}

QWidget* MainWindow::SurfaceView() const { return view_; }

QAction* MainWindow::Action(int command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::AddMenuItems(QMenu* menu, const MenuItem* items) {
  for (const MenuItem* item = items; item->kind != MenuKind::End; ++item) {
    if (item->kind == MenuKind::Separator) {
      menu->addSeparator();
      continue;
    }
    if (item->kind == MenuKind::Submenu) {
      QMenu* ports = menu->addMenu(item->text);
      for (int n = 1; n <= 40; ++n) {
        QString text = QString("COM") + (n < 10 ? QString("&%1").arg(n) : QString::number(n));
        int command = CommPortCommand(n);
        QAction* action = ports->addAction(text);
        actions_[command] = action;
        connect(action, &QAction::triggered, this, [this, command] { Command(command); });
      }
      for (int n = 1; n <= 40; ++n) actions_[CommPortCommand(n)]->setCheckable(true);
      // Serial devices of this machine and any path, listed when it opens:
      // an adapter plugged in after the start is there too.
      portMenu_ = ports;
      connect(ports, &QMenu::aboutToShow, this, [this] { RefreshPortMenu(); });
      RefreshPortMenu();
      continue;
    }
    QAction* action = menu->addAction(item->text);
    action->setEnabled(!item->grayed);
    actions_[item->command] = action;
    const int command = item->command;
    connect(action, &QAction::triggered, this, [this, command] { Command(command); });
  }
}

void MainWindow::RefreshPortMenu() {
  if (portMenu_ == nullptr) return;
  for (QAction* action : portDeviceActions_) {
    portMenu_->removeAction(action);
    action->deleteLater();
  }
  portDeviceActions_.clear();
  const std::string current = app_.settings.port;
  for (int n = 1; n <= 40; ++n) actions_[CommPortCommand(n)]->setChecked(current == "COM" + std::to_string(n));

  auto add = [this](QAction* action) {
    portMenu_->addAction(action);
    portDeviceActions_.push_back(action);
  };
  QAction* separator = new QAction(portMenu_);
  separator->setSeparator(true);
  add(separator);
  std::vector<std::string> devices = ListSerialDevices();
  // A device path picked earlier (a by-id link, the simulator's link) stays
  // in the list while it is the port.
  if (!current.empty() && current[0] == '/' && std::find(devices.begin(), devices.end(), current) == devices.end())
    devices.push_back(current);
  for (const std::string& device : devices) {
    QAction* action = new QAction(QString::fromStdString(device), portMenu_);
    action->setCheckable(true);
    action->setChecked(device == current);
    connect(action, &QAction::triggered, this, [this, device] {
      app_.SetPortName(device);
      ReconnectPort();
    });
    add(action);
  }
  QAction* other = new QAction("&Device Path...", portMenu_);
  connect(other, &QAction::triggered, this, [this] { PickDevicePath(); });
  add(other);
}

void MainWindow::PickDevicePath() {
  std::string path;
  if (askDevicePath) {
    if (!askDevicePath(&path)) return;
  } else {
    bool ok = false;
    const QString text = QInputDialog::getText(this, "CommPort", "Serial device path:", QLineEdit::Normal,
                                               QString::fromStdString(app_.settings.port), &ok);
    if (!ok) return;
    path = text.toStdString();
  }
  TrimSpaces(path);
  if (path.empty()) return;
  if (path.size() > static_cast<std::size_t>(PORT_NAME_LONGEST)) {
    // [PORT] would not hold it: refused rather than lost at the next start.
    app_.Services().ShowMessage("CommPort", "A device path may be at most 255 characters long.",
                                MessageIcon::Information);
    return;
  }
  app_.SetPortName(path);
  ReconnectPort();
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  AddMenuItems(bar->addMenu("&File"), FILE_MENU);
  AddMenuItems(bar->addMenu("&Display"), DISPLAY_MENU);
  AddMenuItems(bar->addMenu("&Help"), HELP_MENU);
  for (const MenuItem* item = BAR_ITEMS; item->kind != MenuKind::End; ++item) {
    QAction* action = bar->addAction(item->text);
    action->setEnabled(!item->grayed);
    actions_[item->command] = action;
    const int command = item->command;
    connect(action, &QAction::triggered, this, [this, command] { Command(command); });
  }
}

void MainWindow::SetGrayed(int command, bool grayed) {
  if (QAction* action = Action(command)) action->setEnabled(!grayed);
}

void MainWindow::Command(int command) {
  if (int port = CommPortFromCommand(command)) {
    app_.SetPortName("COM" + std::to_string(port));
    ReconnectPort();
    return;
  }
  if (DisplayModeForCommand(command) != 0) {
    SwitchDisplay(command);
    return;
  }
  switch (command) {
    case CMD_ABOUT: {
      AboutBox box(this);
      box.exec();
      return;
    }
    case CMD_HELP: {
      HelpBox box(this);
      box.exec();
      return;
    }
    case CMD_EXIT:
      close();
      return;
    case CMD_DATALOG:
      app_.dataLog.StartDataLog();
      return;
    case CMD_CLOSE_DATALOG:
      app_.dataLog.StopDataLog();
      return;
    case CMD_PLAYBACK:
      if (app_.playback.StartPlayback() == 0) {
        playbackControls_->CreateProgressBar();
        playbackControls_->Create(DisplayMode());
        RepaintAll();
      }
      return;
    case CMD_STOP_PLAYBACK:
      app_.playback.StopPlayback();
      playbackControls_->Remove(false);
      playbackControls_->RemoveProgressBar();
      RepaintAll();
      return;
    case CMD_MALF_CODES:
      if (hooks.openMalfCodes) hooks.openMalfCodes();
      activateWindow();
      return;
    case CMD_BANK_SELECT:
      if (hooks.openBankSelector) hooks.openBankSelector();
      activateWindow();
      return;
    default:
      if (auto handler = commandHandlers.find(command); handler != commandHandlers.end() && handler->second)
        handler->second();
      return;
  }
}

void MainWindow::SwitchDisplay(int command) {
  const int newMode = DisplayModeForCommand(command);
  if (newMode == 0) return;
  const int oldMode = DisplayMode();
  for (int item : kDisplayItems) SetGrayed(item, false);

  // The analysis or flash display chosen again: its window stays as it is.
  if (newMode == oldMode && (newMode == MODE_ANALYSIS || newMode == MODE_FLASH)) {
    SetGrayed(CMD_MALF_CODES, true);
    SetGrayed(CMD_BANK_SELECT, true);
    SetGrayed(command, true);
    RepaintAll();
    return;
  }

  auto parkDisplayThread = [this] {
    app_.displayThread.displayHold.store(true);
    SleepMs(10);
  };

  if (newMode == MODE_ANALYSIS) {
    if (hooks.stopDataLog) hooks.stopDataLog();
    if (hooks.stopPlayback) hooks.stopPlayback();
    if (hooks.stopVeLearn) hooks.stopVeLearn();
    DisconnectPort();
    parkDisplayThread();
    RemoveControlsBut(newMode);
    if (hooks.removePlaybackControls) hooks.removePlaybackControls(false);
    if (oldMode == MODE_FLASH && hooks.closeFlashWindow) hooks.closeFlashWindow();
    if (hooks.closeMalfCodes) hooks.closeMalfCodes();
    if (hooks.closeBankSelector) hooks.closeBankSelector();
    app_.processor.displayMode.store(MODE_ANALYSIS);
    if (hooks.openAnalysis) hooks.openAnalysis();
    SetGrayed(CMD_MALF_CODES, true);
    SetGrayed(CMD_BANK_SELECT, true);
    SetGrayed(CMD_ANALYSIS, true);
    RepaintAll();
    return;  // the DisplayThread stays parked while the analysis is shown
  }

  if (newMode == MODE_FLASH) {
    if (hooks.stopPlayback) hooks.stopPlayback();
    if (hooks.stopVeLearn) hooks.stopVeLearn();
    parkDisplayThread();
    RemoveControlsBut(newMode);
    if (hooks.removePlaybackControls) hooks.removePlaybackControls(false);
    if (hooks.closeMalfCodes) hooks.closeMalfCodes();
    if (hooks.closeBankSelector) hooks.closeBankSelector();
    app_.processor.displayMode.store(MODE_FLASH);
    if (hooks.openFlashWindow) hooks.openFlashWindow();
    SetGrayed(CMD_MALF_CODES, true);
    SetGrayed(CMD_BANK_SELECT, true);
    SetGrayed(CMD_FLASH, true);
    RepaintAll();
    app_.displayThread.displayHold.store(false);
    if (app_.portOpen.load() == 0 && !PlaybackRunning()) ReconnectPort();
    return;
  }

  SetGrayed(DisplayMenuCommand(newMode), true);
  if (newMode != oldMode) {
    parkDisplayThread();
    RemoveControlsBut(newMode);
    if (hooks.removePlaybackControls) hooks.removePlaybackControls(newMode == MODE_GAUGE);
    if (oldMode == MODE_FLASH && hooks.closeFlashWindow) hooks.closeFlashWindow();
    app_.processor.displayMode.store(newMode);
    if (modeViews[newMode].createControls) modeViews[newMode].createControls();
    if (PlaybackRunning() && hooks.createPlaybackControls) hooks.createPlaybackControls();
  }

  // Common tail.
  RepaintAll();
  if (app_.settings.flashBankOpen == 1 && !(hooks.bankSelectorOpen && hooks.bankSelectorOpen()) && !PlaybackRunning())
    Command(CMD_BANK_SELECT);
  if (app_.settings.malfunctionOpen == 1 && !(hooks.malfCodesOpen && hooks.malfCodesOpen()))
    Command(CMD_MALF_CODES);
  app_.displayThread.displayHold.store(false);
  // The ECM leaves its loader silent: tell it to stream again.
  if (oldMode == MODE_FLASH && app_.portOpen.load() != 0) ResumeStream();
  if (app_.portOpen.load() == 0 && !PlaybackRunning()) ReconnectPort();
  app_.link.RequestRingFlush();
}

void MainWindow::ResumeStream() {
  // The slot may still hold the flash display's last packet for a moment.
  constexpr int TRIES = 50;
  for (int i = 0; i < TRIES && app_.link.TxMsXmit(1) != 0 && app_.link.PortRunning(); ++i) SleepMs(2);
}

void MainWindow::RemoveControlsBut(int mode) {
  for (int m = 0; m < 8; ++m)
    if (m != mode && modeViews[m].removeControls) modeViews[m].removeControls();
}

void MainWindow::ReconnectPort() {
  if (DisplayMode() != MODE_ANALYSIS && !PlaybackRunning()) {
    ShowPortState(0);
    app_.link.RequestPort(PORT_REOPEN, app_.settings.port.c_str());
  }
  SaveConfig(app_.config);
}

void MainWindow::DisconnectPort() { app_.link.RequestPort(PORT_CLOSE, nullptr); }

void MainWindow::ShowPortState(int open) {
  app_.portOpen.store(open);
  if (!IsLiveMode(DisplayMode())) return;
  const std::string port = app_.PortName();
  const bool noData = streamWatch_.NoData();
  surface_->DrawValues([port, open, noData](Canvas& canvas) { PaintPortLine(canvas, port, open != 0, noData); });
}

StatusPanelValues MainWindow::CollectStatus() const {
  const RuntimeRecord& r = app_.processor.record;
  StatusPanelValues v;
  v.hours = r.runHours.load();
  v.minutes = r.runMinutes.load();
  v.seconds = r.runSeconds.load();
  v.promId = r.promId.load();
  v.multiPort = r.multiPort.load() != 0;
  v.cylinders = r.cylinders.load();
  v.mapSensorBars = r.mapSensorBars.load();
  v.flashModel = r.flashController.load() != 0;
  v.flashBank = r.flashBank.load();
  v.port = app_.PortName();
  v.portOpen = app_.portOpen.load() != 0;
  v.portNoData = streamWatch_.NoData();
  v.logOpen = hooks.logOpen && hooks.logOpen();
  v.logPaused = hooks.logPaused && hooks.logPaused();
  if (v.logOpen) v.logNote = logKeyNote_.Text();
  v.playbackPaused = hooks.playbackPaused && hooks.playbackPaused();
  v.playbackRunning = hooks.playbackRunning && hooks.playbackRunning();
  v.playbackAtEnd = hooks.playbackAtEnd && hooks.playbackAtEnd();
  if (v.logOpen && hooks.logFileName) {
    v.fileName = hooks.logFileName();
  } else if (v.playbackRunning && hooks.playbackFileName) {
    v.fileName = hooks.playbackFileName();
  }
  v.veLearnRunning = hooks.veLearnRunning && hooks.veLearnRunning();
  v.learnInput = app_.settings.learnInput;
  v.linkAlive = r.linkAlive.load() != 0;
  v.firmwareMinor = r.firmwareMinor.load();
  return v;
}

void MainWindow::PaintStaticLayer(Canvas& canvas) {
  canvas.FillRect(0, 0, 800, 600, COLOUR_BACKGROUND);
  const int mode = DisplayMode();
  const StatusPanelValues status = CollectStatus();
  if (IsLiveMode(mode)) PaintStatusPanel(canvas, status);
  for (const DisplayTitle& title : kTitles) {
    if (title.mode != mode) continue;
    canvas.SetFont(FontId::Title);
    canvas.SetTransparentText(false);
    canvas.SetTextColour(COLOUR_TEXT);
    canvas.SetBackColour(COLOUR_BACKGROUND);
    canvas.Text(title.x, 6, title.text);
  }
  if (mode == MODE_GAUGE) {
    // An open port that brings nothing: the dials, bars, lamps and numbers
    // stay empty rather than hold the last values as if they were live.
    gauge_->PaintGaugeStatic(canvas, !status.portNoData);
    if (!status.portNoData) gauge_->PaintGaugeValues(canvas);
    PaintControllerLine(canvas, status);
    controllerRedraw_.store(true);  // the next shown frame draws it with its own values
    if (status.playbackRunning) {
      canvas.SetFont(FontId::Small);
      canvas.Text(665, 123, "Playback Rate");
    }
  } else if (mode == MODE_FLASH) {
    flash_->Paint(canvas);
  } else if (mode >= 0 && mode < 8 && modeViews[mode].paint) {
    modeViews[mode].paint(canvas);
  }
  if (status.playbackRunning && mode != MODE_ANALYSIS && mode != MODE_FLASH) {
    canvas.SetFont(FontId::Small);
    canvas.Text(665, -1, "Progress");
  }
}

void MainWindow::RepaintAll() { surface_->InvalidateAll(); }

void MainWindow::LayOutDisplays() {
  const int mode = DisplayMode();
  const bool held = app_.displayThread.displayHold.load();
  app_.displayThread.displayHold.store(true);
  SleepMs(10);
  if (mode >= 0 && mode < 8 && modeViews[mode].removeControls && modeViews[mode].createControls) {
    modeViews[mode].removeControls();
    modeViews[mode].createControls();
  }
  gauge_->ReloadSettings();
  for (auto& step : onLayOutDisplays)
    if (step) step();
  app_.displayThread.displayHold.store(held);
  RepaintAll();
}

void MainWindow::RedrawLoggingStatus() {
  if (!IsLiveMode(DisplayMode())) return;
  const StatusPanelValues status = CollectStatus();
  surface_->DrawValues([status](Canvas& canvas) { PaintLoggingStatus(canvas, status); });
}

bool MainWindow::HandleKey(int key, const QString& text) {
  const int mode = DisplayMode();
  if (mode == MODE_ANALYSIS || mode == MODE_FLASH) return false;
  if (text.size() == 1) {
    if (int command = QuickCommandForKey(text.at(0).toLatin1())) {
      SwitchDisplay(command);
      return true;
    }
  }
  const bool logOpen = hooks.logOpen && hooks.logOpen();
  if (!logOpen || !hooks.logKey) return false;
  char logKey = 0;
  if (key == Qt::Key_Tab) logKey = '\t';
  if (key == Qt::Key_Space) logKey = ' ';
  if (key == Qt::Key_Return || key == Qt::Key_Enter) logKey = '\r';
  if (logKey == 0) return false;
  hooks.logKey(logKey);
  // The driver sees that the key took: the marker's number or "Time Stamp".
  if (logKey == '\t') logKeyNote_.Marker(clock(), hooks.lastMarker ? hooks.lastMarker() : 0);
  if (logKey == ' ') logKeyNote_.TimeStamp(clock());
  RedrawLoggingStatus();
  return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == view_) {
      // The key a control forwarded comes up here too when the control does
      // not take it: it acts once, through the forwarded copy.
      if (event == forwardedKey_) return true;
      forwardedKey_ = nullptr;
      return HandleKey(key->key(), key->text());
    }
    // A display's control: forward the display and logging keys, then let the
    // control have the key too.
    const bool displayKey = key->text().size() == 1 && QuickCommandForKey(key->text().at(0).toLatin1()) != 0;
    const bool logKey = hooks.logOpen && hooks.logOpen() &&
                        (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                         key->key() == Qt::Key_Enter);
    if (displayKey || logKey) {
      forwardedKey_ = event;
      QCoreApplication::postEvent(view_, new QKeyEvent(QEvent::KeyPress, key->key(), key->modifiers(), key->text()));
      return logKey && key->key() == Qt::Key_Tab;  // TAB would only move the focus
    }
  }
  if (event->type() == QEvent::MouseMove && watched == view_) {
    const int mode = DisplayMode();
    if (mode != MODE_ANALYSIS && mode != MODE_FLASH && !isActiveWindow()) view_->setFocus();
  }
  return QMainWindow::eventFilter(watched, event);
}

// Keys that reach the window itself (no control has the focus).
void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event == forwardedKey_) {
    event->accept();  // forwarded already
    return;
  }
  if (!HandleKey(event->key(), event->text())) QMainWindow::keyPressEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  view_->setFocus();
}

void MainWindow::InstallKeyForwarding(QWidget* control) { control->installEventFilter(this); }

void MainWindow::StorePosition() {
  if (isMinimized()) return;
  app_.settings.mainWindowX = frameGeometry().x();
  app_.settings.mainWindowY = frameGeometry().y();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    StorePosition();
    app_.Shutdown();
  }
  event->accept();
}

}  // namespace zrm
