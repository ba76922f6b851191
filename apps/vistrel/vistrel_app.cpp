#include "apps/vistrel/vistrel_app.h"

#include "config/config_location.h"
#include "link/conversions.h"
#include "platform/clock.h"

namespace zrm {

VistrelApp::VistrelApp(PlatformServices* services)
    : services_(services),
      dataLog(link, config, settings, *services),
      playback(sources, processor, displayThread, dataLog, config, settings, *services) {
  processor.hooks.services = services;
  setUpUserDevices = [this] { userDevices.SetUp(); };
  processor.hooks.updateUserDevices = [this](const std::uint8_t* frame, int all) {
    userDevices.UpdateUserDevices(frame, all);
  };
  link.reportLogWriteError = [this] { dataLog.PostLogWriteError(); };
  beforePortClose.push_back([this] { dataLog.StopDataLog(LOG_CLOSE_WAIT_AT_EXIT_MS); });
}

VistrelApp::~VistrelApp() { Shutdown(); }

void VistrelApp::LoadSettings(const VistrelStartOptions& options) {
  std::string path = options.configPath.empty() ? LocateConfigFile(VISTREL_CONFIG_NAME) : options.configPath;
  config = MakeVistrelConfig(path, settings, services_);
  if (options.readConfig) LoadConfig(config);
  if (setUpUserDevices) setUpUserDevices();
  PublishSettings();
}

void VistrelApp::SetPortName(const std::string& name) {
  settings.port = name;
  std::lock_guard<std::mutex> lock(portNameMutex_);
  portName_ = name;
}

std::string VistrelApp::PortName() const {
  std::lock_guard<std::mutex> lock(portNameMutex_);
  return portName_;
}

void VistrelApp::PublishSettings() {
  SetPortName(settings.port);
  SetTemperatureScale(settings.temperatureScale);
  SetSpeedUnit(settings.speedInKph);
  processor.autoVSave.store(settings.autoVeSave);
  processor.autoVTime.store(settings.autoVeMinutes);
  processor.knockAlert.store(settings.knockAlert);
  playback.ApplyPlaybackDelay();
}

const char* VistrelApp::StartThreads() {
  if (displayThread.Start() != 0) return "display";
  if (link.Start() != 0) return "comm";
  return nullptr;
}

void VistrelApp::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  SaveConfig(config);
  for (auto& step : beforePortClose) step();
  link.RequestPort(PORT_CLOSE, nullptr);
  SleepMs(20);
  // Unlike the threads of the Windows programs ours are ended, after the
  // close request has been served so the ECM was told to stop streaming.
  for (int i = 0; i < 50 && link.RequestPending(); ++i) SleepMs(10);
  displayThread.Stop();
  link.Stop();
}

}  // namespace zrm
