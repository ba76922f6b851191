// A whole data log (or raw capture) run through the same frame reader and
// frame processing as playback, at full speed, on the calling thread: the
// offline commands (trip, knock, export, velearn, quarter) are views of the
// displays' own models, fed as playback feeds them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/frame_processor.h"
#include "link/frame_source.h"
#include "link/input_file.h"

namespace zrm {

struct OfflinePassResult {
  std::uint64_t frames = 0;     // frames processed
  std::uint64_t badFrames = 0;  // checksum failures
  bool readError = false;       // the pass ended on a read error, not at the end
};

class OfflinePass {
 public:
  OfflinePass();
  OfflinePass(const OfflinePass&) = delete;
  OfflinePass& operator=(const OfflinePass&) = delete;

  // 0, or -1 (errno set) when the file cannot be opened or is not a regular
  // file: a folder or a device is refused rather than read as a stream.
  int Open(const std::string& path);

  // Reads every frame to the end of the file and processes it as playback
  // does (ReadFrame, then FrameProcessor::ProcessFrame), with `mode` as the
  // current display (its update gets `active` set). After each processed
  // frame `afterFrame`, when set, sees its payload and the marker and time
  // texts that came before it.
  using AfterFrame = std::function<void(const std::uint8_t* frame, const FrameTexts& texts)>;
  OfflinePassResult Run(int mode, const AfterFrame& afterFrame = {});

  FrameSources sources{nullptr};
  FrameProcessor processor{sources};
  InputFile file;
};

}  // namespace zrm
