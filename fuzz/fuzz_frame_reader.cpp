// The frame reader over arbitrary bytes, as a whole-file pass (a log through
// FileSource and InputFile, with the step-back after a bad sum) and as the
// live ring (no step-back). Each is compared with the same reader over a plain
// memory source that follows the same rules, so a reader that loses or
// invents a frame, a text or a position shows as a difference.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "link/frame_reader.h"
#include "link/frame_source.h"
#include "link/input_file.h"
#include "link/stream_ring.h"

namespace {

using namespace zrm;

struct MemorySource {
  const std::uint8_t* data;
  std::size_t size;
  bool stepBack;
  std::size_t pos = 0;
  bool ended = false;
  int NextSourceByte() {
    if (pos < size) return data[pos++];
    ended = true;
    return -1;
  }
  void StepBackSource() {
    // Once a read has found the end the source stays there; a bad sum on the
    // file's last byte still steps back, as the end has not been met yet.
    if (stepBack && !ended) pos = pos >= 5 ? pos - 5 : 0;
  }
};

struct RingSource {
  StreamRing& ring;
  int NextSourceByte() { return ring.GetByte(); }
  void StepBackSource() {}
};

struct Outcome {
  int result;
  std::uint8_t frame[273];
  FrameTexts texts;
  bool operator==(const Outcome& o) const {
    return result == o.result && (result != FRAME_OK || std::memcmp(frame, o.frame, 273) == 0) &&
           std::strcmp(texts.time, o.texts.time) == 0 && std::strcmp(texts.mark, o.texts.mark) == 0;
  }
};

template <class Source>
std::vector<Outcome> ReadAll(Source& source, std::size_t limit) {
  std::vector<Outcome> out;
  for (std::size_t i = 0; i < limit; ++i) {
    Outcome o{};
    o.result = ReadFrame(source, o.frame, o.texts);
    if (o.result == FRAME_OK) {
      zrm::fuzz::Check(std::strlen(o.texts.time) <= TIME_TEXT_LENGTH, "time text within its length");
      zrm::fuzz::Check(std::strlen(o.texts.mark) <= MARK_TEXT_LENGTH, "mark text within its length");
    }
    out.push_back(o);
    if (o.result == FRAME_NO_DATA) return out;
  }
  zrm::fuzz::Fail("the reader did not reach the end of a finite input");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every read call takes at least one byte or ends the input; a bad sum steps
  // back only 5 of at least 277 bytes taken.
  const std::size_t limit = size + 2;

  MemorySource file{data, size, true};
  std::vector<Outcome> expected = ReadAll(file, limit);

  static const std::string path = zrm::fuzz::ScratchPath("log.dat");
  zrm::fuzz::WriteFileOrDie(path, data, size);
  InputFile input;
  zrm::fuzz::Check(input.Open(path) == 0, "scratch log opens");
  FileSource source;
  source.idleAfterEnd = false;
  source.SetStream(true, &input);
  zrm::fuzz::Check(ReadAll(source, limit) == expected, "whole-file pass agrees with the memory reader");

  // The live ring holds at most 18431 unread bytes.
  const std::size_t live = size < STREAM_RING_SIZE - 1 ? size : STREAM_RING_SIZE - 1;
  static StreamRing ring;
  ring.Flush();
  for (std::size_t i = 0; i < live; ++i) zrm::fuzz::Check(ring.Put(data[i]), "ring takes the bytes");
  RingSource ringSource{ring};
  MemorySource plain{data, live, false};
  zrm::fuzz::Check(ReadAll(ringSource, live + 2) == ReadAll(plain, live + 2), "ring pass agrees with the memory reader");
  return 0;
}
