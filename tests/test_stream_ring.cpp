// The StreamRing alone: capacity, wrap, the empty cases, and a flush while a
// consumer is reading.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "link/stream_ring.h"

namespace zrm {
namespace {

TEST(StreamRing, EmptyGivesMinusOne) {
  StreamRing ring;
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.GetByte(), -1);
  EXPECT_EQ(ring.PeekByte(), -1);
}

TEST(StreamRing, FullRingDropsOnlyNewBytes) {
  StreamRing ring;
  for (int i = 0; i < STREAM_RING_SIZE - 1; ++i) ASSERT_TRUE(ring.Put(static_cast<std::uint8_t>(i)));
  EXPECT_EQ(ring.Count(), 18431);
  EXPECT_FALSE(ring.Put(0xEE));
  EXPECT_EQ(ring.Count(), 18431);
  EXPECT_EQ(ring.PeekByte(), 0);
  EXPECT_EQ(ring.GetByte(), 0);  // the oldest byte is kept, not the dropped one
  EXPECT_TRUE(ring.Put(0xEE));
  EXPECT_EQ(ring.Count(), 18431);
  for (int i = 1; i < STREAM_RING_SIZE - 1; ++i) ASSERT_EQ(ring.GetByte(), i & 0xFF);
  EXPECT_EQ(ring.GetByte(), 0xEE);
  EXPECT_EQ(ring.GetByte(), -1);
}

TEST(StreamRing, IndicesWrapAtTheEnd) {
  StreamRing ring;
  for (int i = 0; i < STREAM_RING_SIZE - 1; ++i) {
    ring.Put(1);
    ring.GetByte();
  }
  EXPECT_EQ(ring.WriteIndex(), STREAM_RING_SIZE - 1);
  ring.Put(0x42);
  EXPECT_EQ(ring.WriteIndex(), 0);
  EXPECT_EQ(ring.Count(), 1);
  EXPECT_EQ(ring.GetByte(), 0x42);
  EXPECT_EQ(ring.ReadIndex(), 0);
}

TEST(StreamRing, FlushDropsUnreadBytes) {
  StreamRing ring;
  for (int i = 0; i < 500; ++i) ring.Put(7);
  ring.GetByte();
  ring.Flush();
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.ReadIndex(), 0);
  EXPECT_EQ(ring.WriteIndex(), 0);
  EXPECT_EQ(ring.GetByte(), -1);
}

// The producer keeps the ring nearly empty and flushes often while the
// consumer reads. A count made of an old read index and a new write index
// would show thousands of bytes, and a byte taken across a flush would come
// from the stretch the flush dropped.
TEST(StreamRing, FlushDuringConsumptionNeverShowsATornCount) {
  StreamRing ring;
  std::atomic<bool> done{false};
  std::atomic<int> worstCount{0};
  std::atomic<long> consumed{0};
  std::thread consumer([&] {
    while (!done.load()) {
      int count = ring.Count();
      if (count > worstCount.load()) worstCount.store(count);
      if (ring.GetByte() >= 0) consumed.fetch_add(1);
    }
  });
  // Runs until the consumer has taken plenty of bytes across the flushes
  // (however the two threads are scheduled), or five seconds have passed.
  std::uint8_t value = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long round = 0; consumed.load() < 20000 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5);
       ++round) {
    if (ring.Count() < 50) ring.Put(++value);
    if (round % 7 == 0) ring.Flush();
  }
  done.store(true);
  consumer.join();
  EXPECT_LE(worstCount.load(), 51);
  EXPECT_GE(consumed.load(), 20000);
  ring.Flush();
  EXPECT_EQ(ring.Count(), 0);
}

}  // namespace
}  // namespace zrm
