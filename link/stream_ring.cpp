#include "link/stream_ring.h"

namespace zrm {

int StreamRing::GetByte() {
  std::uint64_t w = indices_.load(std::memory_order_acquire);
  for (;;) {
    int read = ReadOf(w);
    if (read == WriteOf(w)) return -1;
    int next = Next(read);
    int byte = bytes_[static_cast<std::size_t>(next)].load(std::memory_order_relaxed);
    if (indices_.compare_exchange_weak(w, Pack(GenerationOf(w), next, WriteOf(w)), std::memory_order_acq_rel,
                                       std::memory_order_acquire))
      return byte;
  }
}

int StreamRing::PeekByte() const {
  std::uint64_t w = indices_.load(std::memory_order_acquire);
  int read = ReadOf(w);
  if (read == WriteOf(w)) return -1;
  return bytes_[static_cast<std::size_t>(Next(read))].load(std::memory_order_relaxed);
}

int StreamRing::PeekBlock(std::uint8_t* out, int max, std::uint64_t* seen) const {
  const std::uint64_t w = indices_.load(std::memory_order_acquire);
  *seen = w;
  const int n = CountOf(w) < max ? CountOf(w) : max;
  int slot = ReadOf(w);
  for (int i = 0; i < n; ++i) {
    slot = Next(slot);
    out[i] = bytes_[static_cast<std::size_t>(slot)].load(std::memory_order_relaxed);
  }
  return n;
}

bool StreamRing::ConsumeBlock(int n, std::uint64_t seen) {
  std::uint64_t w = indices_.load(std::memory_order_acquire);
  for (;;) {
    // Only the producer may have moved meanwhile, and only by adding bytes.
    if (GenerationOf(w) != GenerationOf(seen) || ReadOf(w) != ReadOf(seen)) return false;
    int read = ReadOf(w) + n;
    if (read >= STREAM_RING_SIZE) read -= STREAM_RING_SIZE;
    if (indices_.compare_exchange_weak(w, Pack(GenerationOf(w), read, WriteOf(w)), std::memory_order_acq_rel,
                                       std::memory_order_acquire))
      return true;
  }
}

bool StreamRing::Put(std::uint8_t byte) {
  std::uint64_t w = indices_.load(std::memory_order_acquire);
  int cursor = Next(WriteOf(w));
  if (cursor == ReadOf(w)) return false;  // full: the new byte is dropped, the old ones kept
  bytes_[static_cast<std::size_t>(cursor)].store(byte, std::memory_order_relaxed);
  // Only the consumer changes the word meanwhile, and only by moving the read
  // index on, which cannot make the ring full: retry with its new value.
  while (!indices_.compare_exchange_weak(w, Pack(GenerationOf(w), ReadOf(w), cursor), std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
  }
  return true;
}

void StreamRing::Flush() {
  std::uint64_t w = indices_.load(std::memory_order_acquire);
  while (!indices_.compare_exchange_weak(w, Pack((GenerationOf(w) + 1) & 0xFFFF, 0, 0), std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
  }
}

}  // namespace zrm
