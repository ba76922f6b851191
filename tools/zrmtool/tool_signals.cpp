#include "tools/zrmtool/tool_signals.h"

#include <csignal>

#include "platform/clock.h"
#include "platform/wake_event.h"

namespace zrm::tool {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
// Made before the handlers are installed; raising it is safe in a handler
// (one write to a pipe, or SetEvent).
WakeEvent* stopEvent = nullptr;

void OnStopSignal(int) {
  stopRequested = 1;
  if (stopEvent) stopEvent->Signal();
}

}  // namespace

void InstallStopSignals() {
  static WakeEvent event;
  stopEvent = &event;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() { return stopRequested != 0; }

bool WaitForStop(int ms) {
  if (StopRequested()) return true;
  if (stopEvent) {
    stopEvent->Wait(ms);
  } else {
    SleepMs(ms);
  }
  return StopRequested();
}

}  // namespace zrm::tool
