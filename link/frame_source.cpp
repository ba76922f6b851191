#include "link/frame_source.h"

#include "platform/clock.h"

namespace zrm {

// A finished playback waits to be stopped: 50 looks a second, not a thousand.
void FileSource::IdleAfterEnd() { SleepMs(20); }

}  // namespace zrm
