#include "sim/sim_wire.h"

#include <algorithm>

namespace zrm::sim {

std::uint16_t PayloadChecksum(const Payload& payload) {
  std::uint32_t sum = 0xFF;
  for (std::uint8_t b : payload) sum += b;
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::vector<std::uint8_t> EncodeFrame(const Payload& payload) {
  std::vector<std::uint8_t> out;
  out.reserve(WIRE_FRAME_SIZE);
  out.push_back(SYNC_FIRST);
  out.push_back(SYNC_SECOND);
  out.insert(out.end(), payload.begin(), payload.end());
  std::uint16_t sum = PayloadChecksum(payload);
  out.push_back(static_cast<std::uint8_t>(sum >> 8));
  out.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return out;
}

bool CommandHunter::Feed(std::uint8_t byte, CommandPacket* packet) {
  if (count_ == 0 && byte != COMMAND_LEAD) {
    ++discarded_;
    return false;
  }
  window_[count_++] = byte;
  if (count_ < COMMAND_SIZE) return false;
  std::uint16_t sum = static_cast<std::uint16_t>(window_[0] + window_[1] + window_[2]);
  if (window_[3] == (sum >> 8) && window_[4] == (sum & 0xFF)) {
    std::copy(window_, window_ + COMMAND_SIZE, packet->begin());
    count_ = 0;
    return true;
  }
  ++badSums_;
  DropLead();
  return false;
}

// Gives up the lead byte of a failed candidate and restarts the hunt at the
// next lead inside it.
void CommandHunter::DropLead() {
  int start = 1;
  while (start < count_ && window_[start] != COMMAND_LEAD) ++start;
  discarded_ += static_cast<std::uint64_t>(start);
  std::copy(window_ + start, window_ + count_, window_);
  count_ -= start;
}

}  // namespace zrm::sim
