// The simulated ECM's side of the wire.
//
// Runtime frame, 277 bytes, sent about 17 times a second while streaming:
//
//   55 AA  p0 .. p272  hh ll
//
// hh ll = 0xFF + the sum of the 273 payload bytes, modulo 65536, high byte
// first; a payload of all zeros ends 00 FF.
//
// Runtime command packet from the host, 5 bytes:
//
//   52 cc aa hh ll   lead 'R', command, argument, hh ll = 16-bit sum of the
//                    three bytes before it
//
//   52 58 00 00 AA   X 0: stop the stream    52 58 01 00 AB  X 1: resume it
//   52 42 03 00 97   B 3: bank 3 active      52 46 00 00 98  F: enter the loader
//
// The ECM hunts for packets byte by byte: a byte that cannot start a packet
// is skipped, and a candidate whose sum is wrong gives up only its lead byte,
// so a real packet hidden behind it is still found.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/drive_script.h"

namespace zrm::sim {

constexpr std::uint8_t SYNC_FIRST = 0x55;
constexpr std::uint8_t SYNC_SECOND = 0xAA;
constexpr int WIRE_FRAME_SIZE = PAYLOAD_SIZE + 4;

constexpr std::uint8_t COMMAND_LEAD = 0x52;
constexpr std::uint8_t COMMAND_XMIT = 0x58;
constexpr std::uint8_t COMMAND_BANK = 0x42;
constexpr std::uint8_t COMMAND_FLASH = 0x46;
constexpr int COMMAND_SIZE = 5;

using CommandPacket = std::array<std::uint8_t, COMMAND_SIZE>;

// 0xFF plus the payload bytes, kept to 16 bits.
std::uint16_t PayloadChecksum(const Payload& payload);

// Sync pair, payload and checksum, ready to send.
std::vector<std::uint8_t> EncodeFrame(const Payload& payload);

// Cuts runtime command packets out of received bytes.
class CommandHunter {
 public:
  // Takes one received byte; returns true and fills *packet when the byte
  // completes a packet with a good sum.
  bool Feed(std::uint8_t byte, CommandPacket* packet);
  // Bytes given up so far: skipped garbage and the leads of bad candidates.
  std::uint64_t Discarded() const { return discarded_; }
  // Candidates that were complete but had a wrong sum.
  std::uint64_t BadSums() const { return badSums_; }
  void Reset() { count_ = 0; }

 private:
  void DropLead();
  std::uint8_t window_[COMMAND_SIZE] = {};
  int count_ = 0;
  std::uint64_t discarded_ = 0;
  std::uint64_t badSums_ = 0;
};

}  // namespace zrm::sim
