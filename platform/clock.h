// Sleeps, a monotonic millisecond clock and the local-time text of log stamps.
#pragma once

#include <cstdint>
#include <string>

namespace zrm {

void SleepMs(int milliseconds);

// Milliseconds from an arbitrary fixed point; never goes back.
std::int64_t MonotonicMs();

// The current local date and time as "%02d/%02d/%4d - %02d:%02d:%02d"
// (month, day, year, hour, minute, second): 21 characters.
std::string LocalTimeText();

}  // namespace zrm
