#include "flash/link_transport.h"

#include "platform/clock.h"

namespace zrm {

void LinkFlashTransport::Pause(int milliseconds) { SleepMs(milliseconds); }

void LinkFlashTransport::WaitForBytes(int count, int milliseconds) {
  link_.WaitForRingCount(count, milliseconds);
}

}  // namespace zrm
