#include "logs/offline_pass.h"

namespace zrm {

OfflinePass::OfflinePass() {
  sources.playback.idleAfterEnd = false;  // the end of the file ends the pass
  sources.SetFrameSource(SOURCE_PLAYBACK);
}

int OfflinePass::Open(const std::string& path) {
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
  result.readError = file.ReadError();
  return result;
}

}  // namespace zrm
