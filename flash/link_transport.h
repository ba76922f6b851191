// The flash link over the real serial link: packets through the CommThread's
// transmit slot, answers out of the StreamRing, limits on a FlashTicks counter.
// The ring must have no other reader meanwhile (the frame source idle).
#pragma once

#include <atomic>
#include <cstdint>

#include "flash/flash_protocol.h"
#include "link/serial_link.h"

namespace zrm {

class LinkFlashTransport : public FlashTransport {
 public:
  LinkFlashTransport(SerialLink& link, const std::atomic<std::uint32_t>& ticks) : link_(link), ticks_(ticks) {}

  int QueueTransmit(const std::uint8_t* bytes, int length) override { return link_.QueueTransmit(bytes, length); }
  int RingCount() override { return link_.RingCount(); }
  int RingGetByte() override { return link_.RingGetByte(); }
  int RingPeekByte() override { return link_.RingPeekByte(); }
  void RequestRingFlush() override { link_.RequestRingFlush(); }
  std::uint32_t FlashTicks() override { return ticks_.load(std::memory_order_acquire); }
  void Pause(int milliseconds) override;
  // Sleeps until the bytes are in the ring, so an answer is taken as soon as
  // it starts to arrive rather than at the end of the 20 ms poll: over a whole
  // update that is a thousand commands' worth of waiting.
  void WaitForBytes(int count, int milliseconds) override;

 private:
  SerialLink& link_;
  const std::atomic<std::uint32_t>& ticks_;
};

}  // namespace zrm
