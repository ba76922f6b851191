#include "link/runtime_packet.h"

namespace zrm {

RuntimePacket BuildRuntimePacket(std::uint8_t code, std::uint8_t argument) {
  unsigned sum = RUNTIME_LEAD + code + argument;
  return {RUNTIME_LEAD, code, argument, static_cast<std::uint8_t>((sum >> 8) & 0xFF),
          static_cast<std::uint8_t>(sum & 0xFF)};
}

}  // namespace zrm
