// ZRM_FlashUpdate's one window: the introduction, then the message window of
// the update; the port status line; "Proceed With Update", which runs the
// update on its own thread while the window stays live; the CommPort menu,
// BIN Update and About.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config/config_file.h"
#include "flash/flash_protocol.h"
#include "flash/flash_ticks.h"
#include "flash/link_transport.h"
#include "flash/message_window.h"
#include "flashupdate/calibration_convert.h"
#include "flashupdate/firmware_image.h"
#include "flashupdate/flashupdate_config.h"
#include "link/serial_link.h"

class QGroupBox;
class QPushButton;

namespace zrm {

class RetainedSurface;
class SurfaceWidget;
class QtServices;

struct UpdateWindowOptions {
  // Configuration file; empty: beside the program, else the user's folder.
  std::string configPath;
  // Firmware image; empty: ZRM_FlashUpdate.img beside the program.
  std::string imagePath;
  // Folder of the bank files; empty: the current folder.
  std::string bankFolder;
};

// "ZRM Flash Update", "Version 2.7-B", the maker's two lines and OK.
class UpdateAboutBox : public QDialog {
 public:
  explicit UpdateAboutBox(QWidget* parent);
};

class UpdateWindow : public QMainWindow {
 public:
  UpdateWindow(const UpdateWindowOptions& options, QtServices& services);
  ~UpdateWindow() override;

  // "Proceed With Update": checks the firmware image and starts the update
  // thread; false when the image is refused or an update already runs.
  bool ProceedWithUpdate();
  // File > BIN Update...
  void BinUpdate();
  void ShowAbout();
  // A port from the CommPort menu: shown closed, re-opened, saved.
  void SelectPort(const std::string& port);

  bool Started() const { return started_; }
  bool Updating() const { return updating_.load(); }
  // The result of the last finished update: 0, -1, or 1 while none finished.
  int LastResult() const { return lastResult_.load(); }
  bool PortOpen() const { return portOpen_.load(); }
  QPushButton* ProceedButton() const { return proceed_; }
  QGroupBox* MessagesGroup() const { return messagesGroup_; }
  QWidget* SurfaceView() const;
  RetainedSurface& Surface() { return *surface_; }
  MessageWindow& Messages() { return messages_; }
  const FlashUpdateSettings& Settings() const { return settings_; }
  SerialLink& Link() { return link_; }
  void StorePosition();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void CreateControls();
  void UpdateThread();
  void ShowPortState(int open);
  void SaveSettings();
  std::string PortName();

  QtServices* services_;
  UpdateWindowOptions options_;
  FlashUpdateSettings settings_;
  ConfigFile config_;
  std::mutex portMutex_;  // the port name is read by the CommThread's status line
  std::unique_ptr<RetainedSurface> surface_;
  SurfaceWidget* view_ = nullptr;
  QPushButton* proceed_ = nullptr;
  QGroupBox* messagesGroup_ = nullptr;

  SerialLink link_;
  FlashTickTimer ticks_;
  LinkFlashTransport transport_;
  MessageWindow messages_;
  FlashProtocol protocol_;
  UpdateRunState run_;

  bool started_ = false;
  std::atomic<bool> updating_{false};
  std::atomic<int> lastResult_{1};
  std::atomic<bool> portOpen_{false};
  std::shared_ptr<const FirmwareImage> currentImage_;  // set before the update thread starts
  std::thread updateThread_;
};

}  // namespace zrm
