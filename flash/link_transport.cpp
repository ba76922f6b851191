#include "flash/link_transport.h"

#include "platform/clock.h"

namespace zrm {

void LinkFlashTransport::Pause(int milliseconds) { SleepMs(milliseconds); }

}  // namespace zrm
