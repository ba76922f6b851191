#include "flash/link_transport.h"

#include "platform/clock.h"

namespace zrm {

void LinkFlashTransport::Pause(int milliseconds) { SleepMs(milliseconds); }

void LinkFlashTransport::WaitForBytes(int count, int milliseconds) {
  const std::int64_t end = MonotonicMs() + milliseconds;
  while (link_.RingCount() < count && MonotonicMs() < end) SleepMs(1);
}

}  // namespace zrm
