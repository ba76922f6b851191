// vistrel's process-wide state: settings, the link and its two threads, the
// frame processing, and the displays. The main window owns one instance;
// tests make their own.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "devices/user_devices.h"
#include "link/display_thread.h"
#include "link/frame_processor.h"
#include "link/frame_source.h"
#include "link/serial_link.h"
#include "logs/data_log.h"
#include "logs/playback.h"
#include "shell/vistrel_config.h"

namespace zrm {

struct VistrelStartOptions {
  // Configuration file; empty: beside the program, else the user's folder.
  std::string configPath;
  bool readConfig = true;
};

class VistrelApp {
  PlatformServices* services_;

 public:
  explicit VistrelApp(PlatformServices* services);
  ~VistrelApp();

  // Start-up steps up to the threads: start values, configuration, unit switches.
  void LoadSettings(const VistrelStartOptions& options);
  // Copies the settings the threads read into their shared words.
  void PublishSettings();
  // The DisplayThread, then the CommThread. nullptr, or the caption of the
  // failure box ("display", "comm") when one cannot be created.
  const char* StartThreads();
  // Shutdown after the window has stored its position: configuration saved,
  // port closed the normal way, threads ended.
  void Shutdown();

  PlatformServices& Services() { return *services_; }

  // The serial port as picked ("COM3", a device path). The window thread sets
  // it (and [PORT] with it); the CommThread and the DisplayThread read this
  // copy for the port line, never the text the window is assigning.
  void SetPortName(const std::string& name);
  std::string PortName() const;

  VistrelSettings settings;
  ConfigFile config;
  SerialLink link;
  FrameSources sources{&link};
  FrameProcessor processor{sources};
  DisplayThread displayThread{processor, sources, &link};
  DataLog dataLog;
  Playback playback;
  std::atomic<int> portOpen{0};  // the status panel's port-state flag
  // The user devices and ADC channels: set up after the
  // configuration is read, converted once per frame, read by the displays.
  UserDevices userDevices{settings};
  // After the configuration is read: the user-device tables are set up from it.
  std::function<void()> setUpUserDevices;
  // At exit, after the configuration is saved and before the port closes:
  // the open log is closed and VE learn writes its table.
  // Each runs in the order added.
  std::vector<std::function<void()>> beforePortClose;

 private:
  bool shutDown_ = false;
  mutable std::mutex portNameMutex_;  // a text is not a word
  std::string portName_;
};

}  // namespace zrm
