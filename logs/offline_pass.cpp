#include "logs/offline_pass.h"

#include <cerrno>
#include <sys/stat.h>

namespace zrm {

OfflinePass::OfflinePass() {
  sources.playback.idleAfterEnd = false;  // the end of the file ends the pass
  sources.SetFrameSource(SOURCE_PLAYBACK);
}

int OfflinePass::Open(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  if (file.Open(path) != 0) return -1;
  sources.SetPlaybackStream(true, &file);
  return 0;
}

OfflinePassResult OfflinePass::Run(int mode, const AfterFrame& afterFrame) {
  processor.displayMode.store(mode);
  OfflinePassResult result;
  std::uint8_t frame[273];
  FrameTexts texts;
  for (;;) {
    int r = ReadFrame(sources, frame, texts);
    if (r == FRAME_NO_DATA) break;
    if (r == FRAME_BAD_SUM) {
      processor.badFrames.fetch_add(1, std::memory_order_relaxed);
      ++result.badFrames;
      continue;
    }
    processor.ProcessFrame(frame);
    ++result.frames;
    if (afterFrame) afterFrame(frame, texts);
  }
  return result;
}

}  // namespace zrm
