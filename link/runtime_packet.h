// Runtime command packets to the ECM, 5 bytes:
//
//   52 cc aa hh ll   lead 'R', command code, argument, 16-bit additive sum of
//                    the three bytes before it, high byte first.
//
//   X (0x58) 1/0 resumes/stops the runtime stream:  52 58 01 00 AB / 52 58 00 00 AA
//   B (0x42) n   makes bank n (0..7) the active one: 52 42 03 00 97
//   F (0x46) 0   enters the flash loader:            52 46 00 00 98
#pragma once

#include <array>
#include <cstdint>

namespace zrm {

constexpr std::uint8_t RUNTIME_LEAD = 0x52;
constexpr std::uint8_t CMD_XMIT = 0x58;
constexpr std::uint8_t CMD_BANK = 0x42;
constexpr std::uint8_t CMD_FLASH = 0x46;
constexpr int RUNTIME_PACKET_SIZE = 5;

using RuntimePacket = std::array<std::uint8_t, RUNTIME_PACKET_SIZE>;

// The packet for a command and its argument, the argument already masked by the caller.
RuntimePacket BuildRuntimePacket(std::uint8_t code, std::uint8_t argument);

}  // namespace zrm
