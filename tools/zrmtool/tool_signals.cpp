#include "tools/zrmtool/tool_signals.h"

#include <csignal>

namespace zrm::tool {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

}  // namespace

void InstallStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace zrm::tool
