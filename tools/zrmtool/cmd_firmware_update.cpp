// zrmtool firmware-update PORT --image FILE [--dir DIR]
//
// The update utility's "Proceed With Update" from a terminal: the firmware
// image is read and checked first (nothing is sent when it is wrong), then
// the port opens through the utility's link (no stream commands of its own)
// and UpdateEcm runs with the utility's limits, its bank files in DIR (the
// current folder by default). Every message-window line is printed, then the
// green or red result line. Exit 0 only when the update succeeded.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "flash/flash_ticks.h"
#include "flash/link_transport.h"
#include "flashupdate/update_ecm.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "tools/zrmtool/commands.h"

namespace zrm::tool {

namespace {

constexpr int PORT_WAIT_MS = 5000;
constexpr int CLOSE_WAIT_MS = 1000;

// The utility's message window as terminal lines, cut to its 80 characters.
class PrintedMessages : public MessageSink {
 public:
  int LogMessage(Colour /*background*/, std::string_view text) override {
    const std::string_view shown = text.substr(0, static_cast<std::size_t>(MessageWindowLayout::FlashUpdate().width));
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
  }
};

int Usage() {
  std::fprintf(stderr, "usage: zrmtool firmware-update PORT --image FILE [--dir DIR]\n");
  return EXIT_USAGE;
}

}  // namespace

int CmdFirmwareUpdate(int argc, char** argv) {
  const char* port = nullptr;
  const char* imagePath = nullptr;
  std::string folder;
  for (int i = 0; i < argc; ++i) {
    const bool hasValue = i + 1 < argc && argv[i + 1][0] != '\0';
    if (std::strcmp(argv[i], "--image") == 0) {
      if (!hasValue) return Usage();
      imagePath = argv[++i];
    } else if (std::strcmp(argv[i], "--dir") == 0) {
      if (!hasValue) return Usage();
      folder = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return Usage();
    } else if (port == nullptr && argv[i][0] != '\0') {
      port = argv[i];
    } else {
      return Usage();
    }
  }
  if (port == nullptr || imagePath == nullptr) return Usage();
  std::error_code ignored;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ignored)) {
    std::fprintf(stderr, "zrmtool firmware-update: %s is not a folder\n", folder.c_str());
    return EXIT_FAIL;
  }
  if (!folder.empty() && folder.back() != '/') folder += '/';

  FirmwareImage image;
  std::string error;
  if (LoadFirmwareImage(imagePath, &image, &error) != 0) {
    std::fprintf(stderr, "zrmtool firmware-update: %s\n", error.c_str());
    return EXIT_FAIL;
  }

  SerialLink link(LinkSettings::FlashUpdate());
  link.Start();
  link.RequestPort(PORT_OPEN, port);
  const std::int64_t deadline = MonotonicMs() + PORT_WAIT_MS;
  while (!link.PortRunning() && MonotonicMs() < deadline) SleepMs(10);
  if (!link.PortRunning()) {
    std::fprintf(stderr, "zrmtool: cannot open %s\n", port);
    link.Stop();
    return EXIT_FAIL;
  }

  FlashTickTimer ticks;
  ticks.Start();
  LinkFlashTransport transport(link, ticks.Counter());
  PrintedMessages messages;
  FlashProtocol protocol(transport, FlashProtocolSettings::FlashUpdate(), &messages);
  ConsoleServices console;
  UpdateRunState run;
  UpdateEnvironment environment;
  environment.folder = folder;
  environment.image = &image;
  environment.convert.services = &console;
  environment.convert.run = &run;
  environment.convert.pause = SleepMs;
  const int result = RunUpdate(protocol, messages, environment);
  ticks.Stop();

  // The utility closes without telling the ECM anything.
  link.RequestPort(PORT_CLOSE, nullptr);
  for (int waited = 0; waited < CLOSE_WAIT_MS && link.RequestPending(); waited += 10) SleepMs(10);
  link.Stop();
  return result == 0 ? EXIT_OK : EXIT_FAIL;
}

}  // namespace zrm::tool
