// StreamRing: the receive ring between the CommThread (the only producer) and
// one consumer at a time (the DisplayThread while live, the flash protocol while
// the display is idle).
//
// Both indices live in one atomic word together with a flush generation, so a
// consumer always sees a read and a write index from the same moment: a flush
// carried out while it consumes can never give it a count made of an old and a
// new index, and a byte taken across a flush is retaken from the emptied ring.
// Empty when read == write; one slot stays unused, so at most 18431 bytes wait.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace zrm {

constexpr int STREAM_RING_SIZE = 18432;

class StreamRing {
 public:
  StreamRing() {
    for (auto& b : bytes_) b.store(0, std::memory_order_relaxed);
  }

  // Unread bytes, 0 to 18431.
  int Count() const { return CountOf(indices_.load(std::memory_order_acquire)); }

  // The next unread byte, consumed, or -1 when the ring is empty.
  int GetByte();

  // The next unread byte without consuming it, or -1 when the ring is empty.
  int PeekByte() const;

  // Copies up to `max` of the next unread bytes into `out` without consuming
  // them; returns how many, with the index word seen in `seen` for
  // ConsumeBlock.
  int PeekBlock(std::uint8_t* out, int max, std::uint64_t* seen) const;

  // Consumes n bytes of a block peeked with index word `seen`; false (and
  // nothing consumed) when the ring was flushed or read by another since.
  bool ConsumeBlock(int n, std::uint64_t seen);

  // Producer side (CommThread only). Stores the byte; false when the ring is
  // full and the byte was dropped.
  bool Put(std::uint8_t byte);

  // Producer side: empties the ring, unread bytes included.
  void Flush();

  // The two indices, for tests.
  int ReadIndex() const { return ReadOf(indices_.load(std::memory_order_acquire)); }
  int WriteIndex() const { return WriteOf(indices_.load(std::memory_order_acquire)); }

 private:
  // Layout of the index word: generation << 48 | read << 24 | write.
  static int WriteOf(std::uint64_t w) { return static_cast<int>(w & 0xFFFFFF); }
  static int ReadOf(std::uint64_t w) { return static_cast<int>((w >> 24) & 0xFFFFFF); }
  static std::uint64_t GenerationOf(std::uint64_t w) { return w >> 48; }
  static std::uint64_t Pack(std::uint64_t gen, int read, int write) {
    return (gen << 48) | (static_cast<std::uint64_t>(read) << 24) | static_cast<std::uint64_t>(write);
  }
  static int CountOf(std::uint64_t w) {
    int n = WriteOf(w) - ReadOf(w);
    return n < 0 ? n + STREAM_RING_SIZE : n;
  }
  static int Next(int index) { return index + 1 == STREAM_RING_SIZE ? 0 : index + 1; }

  std::atomic<std::uint64_t> indices_{0};
  // Bytes are atomic too: after a flush the producer may refill a slot that a
  // consumer is just reading (its result is then discarded by the failed exchange).
  std::array<std::atomic<std::uint8_t>, STREAM_RING_SIZE> bytes_;
};

}  // namespace zrm
