// SIGINT and SIGTERM end a running command the normal way.
#pragma once

namespace zrm::tool {

void InstallStopSignals();
bool StopRequested();
// Sleeps up to `ms`, less when a stop signal comes; true when one came.
bool WaitForStop(int ms);

}  // namespace zrm::tool
