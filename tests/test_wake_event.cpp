// The wake event the CommThread sleeps on: a signal ends a wait early, one
// raised before the wait is kept, several count as one.
#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "platform/wake_event.h"

namespace zrm {
namespace {

TEST(WakeEvent, SignalsAreKeptUntilTakenAndCountAsOne) {
  WakeEvent event;
  EXPECT_FALSE(event.Take());
  event.Signal();
  event.Signal();
  event.Signal();
  EXPECT_TRUE(event.Wait(1000));  // at once: the signal was waiting
  EXPECT_FALSE(event.Take());     // the three were one
  const std::int64_t start = MonotonicMs();
  EXPECT_FALSE(event.Wait(60));
  EXPECT_GE(MonotonicMs() - start, 55);  // a wait without a signal lasts its time
}

TEST(WakeEvent, ASignalFromAnotherThreadEndsAWaitEarly) {
  WakeEvent event;
  std::thread other([&] {
    SleepMs(50);
    event.Signal();
  });
  const std::int64_t start = MonotonicMs();
  EXPECT_TRUE(event.Wait(10000));
  EXPECT_LT(MonotonicMs() - start, 5000);
  other.join();
}

}  // namespace
}  // namespace zrm
