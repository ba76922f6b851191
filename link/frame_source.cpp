#include "link/frame_source.h"

#include "platform/clock.h"

namespace zrm {

void FileSource::IdleAfterEnd() { SleepMs(1); }

}  // namespace zrm
