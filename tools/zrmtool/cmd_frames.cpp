// zrmtool frames FILE: every frame of a data log or raw capture through the
// frame reader, with the markers and time stamps met on the way.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/frame_reader.h"
#include "link/frame_source.h"
#include "link/input_file.h"
#include "tools/zrmtool/commands.h"

namespace zrm::tool {

int CmdFrames(int argc, char** argv) {
  if (argc != 1 || argv[0][0] == '-') {
    std::fprintf(stderr, "usage: zrmtool frames FILE\n");
    return EXIT_USAGE;
  }
  InputFile file;
  if (file.Open(argv[0]) != 0) {
    std::fprintf(stderr, "zrmtool: cannot open '%s': %s\n", argv[0],
                 OpenErrorText(errno));
    return EXIT_FAIL;
  }
  std::vector<char> outBuffer(1 << 16);
  std::setvbuf(stdout, outBuffer.data(), _IOFBF, outBuffer.size());

  FileSource source;
  source.idleAfterEnd = false;
  source.SetStream(true, &file);
  unsigned long long frames = 0, bad = 0, marks = 0, stamps = 0;
  std::uint8_t frame[273];
  FrameTexts texts;
  for (;;) {
    int result = ReadFrame(source, frame, texts);
    if (result == FRAME_NO_DATA) break;
    if (result == FRAME_BAD_SUM) {
      ++bad;
      continue;
    }
    ++frames;
    if (texts.mark[0] != '\0') {
      ++marks;
      std::printf("MARK %s TIME:%s\n", texts.mark, texts.time);
    } else if (texts.time[0] != '\0') {
      ++stamps;
      std::printf("TIME:%s\n", texts.time);
    }
  }
  std::printf("frames %llu bad %llu marks %llu stamps %llu\n", frames, bad, marks, stamps);
  std::fflush(stdout);
  if (file.ReadError()) {
    std::fprintf(stderr, "zrmtool: read error in '%s': the counts stop there\n", argv[0]);
    return EXIT_FAIL;
  }
  return EXIT_OK;
}

}  // namespace zrm::tool
