// What the flash benchmarks share: the simulated ECM with its loader, paced
// at line speed both ways on a pseudo-terminal, and the real link, tick timer,
// transport and protocol on top of it, closed as the programs close them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "flash/flash_protocol.h"
#include "flash/flash_ticks.h"
#include "flash/link_transport.h"
#include "flash/message_window.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "sim/flash_loader.h"
#include "sim/sim_ecm.h"

namespace zrm::bench {

constexpr double kWireBytesPerSecond = 5760.0;

class QuietMessages : public MessageSink {
 public:
  int LogMessage(Colour, std::string_view text) override {
    last = std::string(text);
    return 0;
  }
  std::string last;
};

struct FlashBenchRig {
  FlashBenchRig(const std::string& tty, sim::FlashLoaderOptions loaderOptions, LinkSettings linkSettings,
                FlashProtocolSettings protocolSettings)
      : loader(std::make_shared<sim::SimFlashLoader>(loaderOptions)),
        ecm(SimAt(tty)),
        link(linkSettings),
        transport(link, ticks.Counter()),
        protocol(transport, protocolSettings, &messages) {
    loader->Open();
    ecm.SetLoader(loader);
    started = ecm.Start() == 0;
    if (!started) return;
    link.Start();
    link.RequestPort(PORT_OPEN, tty.c_str());
    for (int i = 0; i < 500 && !link.PortRunning(); ++i) SleepMs(10);
    ticks.Start();
  }
  ~FlashBenchRig() {
    ticks.Stop();
    link.RequestPort(PORT_CLOSE, nullptr);
    for (int i = 0; i < 100 && link.RequestPending(); ++i) SleepMs(10);
    link.Stop();
    ecm.Stop();
  }
  FlashBenchRig(const FlashBenchRig&) = delete;
  FlashBenchRig& operator=(const FlashBenchRig&) = delete;

  static sim::SimOptions SimAt(const std::string& tty) {
    sim::SimOptions options;
    options.linkPath = tty;
    options.wireSpeed = true;
    return options;
  }

  std::shared_ptr<sim::SimFlashLoader> loader;
  sim::SimEcm ecm;
  SerialLink link;
  FlashTickTimer ticks;
  LinkFlashTransport transport;
  QuietMessages messages;
  FlashProtocol protocol;
  bool started = false;
};

}  // namespace zrm::bench
