// SIGINT and SIGTERM end a running command the normal way.
#pragma once

namespace zrm::tool {

void InstallStopSignals();
bool StopRequested();

}  // namespace zrm::tool
