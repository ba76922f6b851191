// The block-scanning frame reader against the byte-at-a-time reader: the same
// frames, payloads, texts and stream positions over generated logs and over
// adversarial streams dense with the bytes that begin texts and sync pairs,
// through a data-log file, through windows cut at every size, and through the
// live ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "link/frame_reader.h"
#include "link/frame_source.h"
#include "link/input_file.h"
#include "link/stream_ring.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The reference: memory read one byte at a time, with the file source's rules
// (a 5-byte step-back, none once the end has been met).
struct MemorySource {
  const Bytes& bytes;
  std::size_t pos = 0;
  bool ended = false;
  int NextSourceByte() {
    if (pos < bytes.size()) return bytes[pos++];
    ended = true;
    return -1;
  }
  void StepBackSource() {
    if (!ended) pos = pos >= 5 ? pos - 5 : 0;
  }
  std::int64_t Position() const { return static_cast<std::int64_t>(pos); }
};

// The same memory as a block source whose windows have random sizes, empty
// ones included, so every split of a text, a sync pair or a payload is met.
struct ChoppySource : MemorySource {
  ChoppySource(const Bytes& b, unsigned seed, std::size_t largest) : MemorySource{b}, rng(seed), largest(largest) {}
  const std::uint8_t* SourceWindow(std::size_t* n) {
    const std::size_t left = ended ? 0 : bytes.size() - pos;
    *n = std::min<std::size_t>(left, rng() % (largest + 1));
    return bytes.data() + pos;
  }
  void AdvanceSource(std::size_t k) { pos += k; }
  std::mt19937 rng;
  std::size_t largest;
};
static_assert(BlockSource<ChoppySource>);
static_assert(!BlockSource<MemorySource>);
static_assert(BlockSource<FileSource>);
static_assert(BlockSource<FrameSources>);

struct Outcome {
  int result;
  Bytes frame;
  std::string time;
  std::string mark;
  std::int64_t position;  // -1 where the source has none to compare
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "result " << o.result << " time '" << o.time << "' mark '" << o.mark << "' at " << o.position;
}

template <class Source, class Read, class Where>
std::vector<Outcome> ReadAll(Source& source, Read read, Where where, std::size_t limit) {
  std::vector<Outcome> out;
  for (std::size_t i = 0; i < limit; ++i) {
    std::uint8_t frame[273];
    std::memset(frame, 0xCC, sizeof frame);  // what a call leaves untouched shows too
    FrameTexts texts;
    std::strcpy(texts.time, "stale");
    const int r = read(source, frame, texts);
    out.push_back({r, Bytes(frame, frame + 273), texts.time, texts.mark, where(source)});
    if (r == FRAME_NO_DATA) break;
  }
  return out;
}

std::vector<Outcome> Reference(const Bytes& stream) {
  MemorySource source{stream};
  return ReadAll(
      source, [](auto& s, std::uint8_t* f, FrameTexts& t) { return ReadFrameBytewise(s, f, t); },
      [](const MemorySource& s) { return s.Position(); }, stream.size() + 2);
}

// Differences, at most a few, as text; empty when the readers agree.
std::string Compare(const std::vector<Outcome>& want, const std::vector<Outcome>& got) {
  if (want == got) return {};
  std::ostringstream os;
  os << want.size() << " results expected, " << got.size() << " read";
  for (std::size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
    if (want[i] == got[i]) continue;
    os << "\n first difference at read " << i << ": want " << want[i] << ", got " << got[i]
       << (want[i].frame != got[i].frame ? " (frames differ)" : "");
    break;
  }
  return os.str();
}

// ---- Streams ----------------------------------------------------------------

void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

std::string TimeText(std::mt19937& rng) {
  std::string t = "TIME: 12/09/2026 - 21:43:0";
  t += static_cast<char>('0' + rng() % 10);
  return t;
}

// Bytes that begin or continue something, and their neighbours.
const std::uint8_t kTricky[] = {'T', 'I', 'M', 'E', ':', 'A', 'R', 'K', 0x55, 0xAA, 0xFF, 0x00, '0', ' '};

// A log as the ECM and vistrel make it, with every kind of trouble mixed in:
// texts anywhere (between the sync bytes, in the payload, before the sum),
// texts cut by 0xFF or by the end, near misses ("TTIME:", "MMARK", "TIMARK"),
// runs of sync bytes, bad sums, payloads full of 'T', 'M' and 0x55.
Bytes GeneratedLog(unsigned seed, int frames) {
  std::mt19937 rng(seed);
  Bytes log;
  for (int f = 0; f < frames; ++f) {
    Bytes payload(273);
    const int flavour = static_cast<int>(rng() % 4);
    for (auto& b : payload) {
      b = flavour == 0 ? static_cast<std::uint8_t>(rng())
                       : flavour == 1 ? kTricky[rng() % sizeof kTricky] : static_cast<std::uint8_t>(rng() % 3 * 40);
    }
    Bytes wire = test::WireFrame(payload);
    if (rng() % 11 == 0) wire[2 + rng() % 273] ^= 0x5A;  // a bad sum
    const int inserts = static_cast<int>(rng() % 4);
    for (int i = 0; i < inserts; ++i) {
      std::string text;
      switch (rng() % 9) {
        case 0: text = TimeText(rng); break;
        case 1: text = "MARK" + std::to_string(100 + rng() % 900) + TimeText(rng); break;
        case 2: text = "TTIME: 12/09/2026 - 21:43:00"; break;
        case 3: text = "MMARK007"; break;
        case 4: text = "TIMARK123"; break;
        case 5: text = "TIME: 12/09\xFF/2026"; break;  // cut by 0xFF
        case 6: text = "MAR\xFFK"; break;
        case 7: text = "\x55\x55\xAA"; break;
        default: text = "TIM"; break;
      }
      wire.insert(wire.begin() + static_cast<long>(rng() % (wire.size() + 1)), text.begin(), text.end());
    }
    log.insert(log.end(), wire.begin(), wire.end());
    if (rng() % 7 == 0) {  // line noise between frames
      for (int n = static_cast<int>(rng() % 20); n > 0; --n) log.push_back(static_cast<std::uint8_t>(rng()));
    }
  }
  // Ends inside a text now and then, or inside a frame.
  if (seed % 3 == 0) Append(log, "TIME: 12/0");
  if (seed % 3 == 1) log.resize(log.size() - 100);
  return log;
}

// Random bytes from the tricky alphabet, with whole frames and texts among
// them so that some frames still pass.
Bytes Adversarial(unsigned seed, std::size_t size) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    const unsigned pick = rng() % 40;
    if (pick == 0) {
      Bytes payload(273);
      for (auto& b : payload) b = kTricky[rng() % sizeof kTricky];
      Bytes wire = test::WireFrame(payload);
      out.insert(out.end(), wire.begin(), wire.end());
    } else if (pick == 1) {
      Append(out, TimeText(rng));
    } else if (pick == 2) {
      Append(out, "MARK");
    } else {
      out.push_back(kTricky[rng() % sizeof kTricky]);
    }
  }
  return out;
}

std::vector<Bytes> Streams() {
  std::vector<Bytes> streams;
  for (unsigned seed = 1; seed <= 12; ++seed) streams.push_back(GeneratedLog(seed, 60));
  for (unsigned seed = 1; seed <= 12; ++seed) streams.push_back(Adversarial(seed, 6000));
  // Edge shapes: empty, a lone sync byte, sync at the very end, a text at the end.
  streams.push_back({});
  streams.push_back({0x55});
  streams.push_back({0x00, 0x55, 0xAA});
  Bytes textEnd = test::WireFrame(Bytes(273, 'T'));
  Append(textEnd, "TIME:");
  streams.push_back(textEnd);
  return streams;
}

// ---- Tests ------------------------------------------------------------------

TEST(FrameReaderBlocks, GeneratedStreamsHaveFramesTextsAndBadSums) {
  // The generated logs are only worth comparing if they hold every case.
  int ok = 0, bad = 0, times = 0, marks = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    for (const Outcome& o : Reference(GeneratedLog(seed, 60))) {
      ok += o.result == FRAME_OK;
      bad += o.result == FRAME_BAD_SUM;
      times += o.result == FRAME_OK && !o.time.empty();
      marks += o.result == FRAME_OK && !o.mark.empty();
    }
  }
  EXPECT_GT(ok, 150);
  EXPECT_GT(bad, 50);
  EXPECT_GT(times, 20);
  EXPECT_GT(marks, 5);
}

TEST(FrameReaderBlocks, WindowsOfEverySizeAgreeWithTheByteReader) {
  int index = 0;
  for (const Bytes& stream : Streams()) {
    SCOPED_TRACE("stream " + std::to_string(index++));
    const std::vector<Outcome> want = Reference(stream);
    for (std::size_t largest : {1u, 2u, 7u, 40u, 300u, 100000u}) {
      SCOPED_TRACE("windows up to " + std::to_string(largest));
      ChoppySource source(stream, static_cast<unsigned>(largest * 31 + stream.size()), largest);
      const auto got = ReadAll(
          source, [](auto& s, std::uint8_t* f, FrameTexts& t) { return ReadFrame(s, f, t); },
          [](const ChoppySource& s) { return s.Position(); }, stream.size() + 2);
      EXPECT_EQ(Compare(want, got), "");
    }
  }
}

TEST(FrameReaderBlocks, WholeFilePassAgreesWithTheByteReader) {
  // One long log crosses the file buffer's refills many times.
  std::vector<Bytes> streams = Streams();
  Bytes longLog;
  for (unsigned seed = 20; seed < 30; ++seed) {
    Bytes part = seed % 2 ? GeneratedLog(seed, 200) : Adversarial(seed, 30000);
    longLog.insert(longLog.end(), part.begin(), part.end());
  }
  streams.push_back(longLog);
  test::TempDir dir;
  int index = 0;
  for (const Bytes& stream : streams) {
    SCOPED_TRACE("stream " + std::to_string(index++));
    const std::string path = dir.File("log.dat");
    test::WriteFileBytes(path, stream);
    InputFile file;
    ASSERT_EQ(file.Open(path), 0);
    FileSource source;
    source.idleAfterEnd = false;
    source.SetStream(true, &file);
    const auto got = ReadAll(
        source, [](auto& s, std::uint8_t* f, FrameTexts& t) { return ReadFrame(s, f, t); },
        [&file](const FileSource&) { return file.Tell(); }, stream.size() + 2);
    EXPECT_EQ(Compare(Reference(stream), got), "");
  }
}

// The live ring: bytes arrive in bursts, the reader runs until the ring has
// no more (a frame cut there is lost, as live). Both readers see the same
// bursts; the block reader must leave exactly the same bytes in the ring.
struct RingBytes {
  explicit RingBytes(StreamRing& r) : ring(r) {}
  StreamRing& ring;
  int NextSourceByte() { return ring.GetByte(); }
  void StepBackSource() {}
};

struct RingBlocks : RingBytes {
  explicit RingBlocks(StreamRing& r) : RingBytes{r} {}
  std::uint8_t window[128] = {};
  std::uint64_t seen = 0;
  const std::uint8_t* SourceWindow(std::size_t* n) {
    *n = static_cast<std::size_t>(ring.PeekBlock(window, 128, &seen));
    return window;
  }
  void AdvanceSource(std::size_t k) { ASSERT_TRUE(ring.ConsumeBlock(static_cast<int>(k), seen)); }
};

template <class Source, class Read>
std::vector<Outcome> ReadRingInBursts(const Bytes& stream, unsigned seed, Read read) {
  StreamRing ring;
  Source source{ring};
  std::mt19937 rng(seed);
  std::vector<Outcome> out;
  std::size_t fed = 0;
  while (fed < stream.size()) {
    const std::size_t burst = std::min<std::size_t>(stream.size() - fed, 300 + rng() % 3000);
    for (std::size_t i = 0; i < burst; ++i) ring.Put(stream[fed + i]);
    fed += burst;
    auto part = ReadAll(source, read, [&ring](const Source&) { return std::int64_t{ring.Count()}; }, 100000);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

TEST(FrameReaderBlocks, LiveRingAgreesWithTheByteReader) {
  int index = 0;
  for (const Bytes& stream : Streams()) {
    SCOPED_TRACE("stream " + std::to_string(index++));
    auto bytewise = [](auto& s, std::uint8_t* f, FrameTexts& t) { return ReadFrameBytewise(s, f, t); };
    auto blocks = [](auto& s, std::uint8_t* f, FrameTexts& t) { return ReadFrame(s, f, t); };
    const unsigned seed = static_cast<unsigned>(stream.size());
    EXPECT_EQ(Compare(ReadRingInBursts<RingBytes>(stream, seed, bytewise),
                      ReadRingInBursts<RingBlocks>(stream, seed, blocks)),
              "");
  }
}

TEST(FrameReaderBlocks, ChecksumOfEveryLengthAndContent) {
  std::mt19937 rng(7);
  for (int length = 0; length <= 300; ++length) {
    for (int fill : {-1, 0x00, 0xFF}) {
      Bytes payload(static_cast<std::size_t>(length));
      for (auto& b : payload) b = static_cast<std::uint8_t>(fill < 0 ? rng() : fill);
      unsigned want = 0xFF;
      for (std::uint8_t b : payload) want += b;
      EXPECT_EQ(FrameChecksum(payload.data(), length), want & 0xFFFF) << length << " " << fill;
    }
  }
}

TEST(FrameReaderBlocks, RingBlockIsNotConsumedAcrossAFlush) {
  StreamRing ring;
  for (std::uint8_t b : {1, 2, 3, 4}) ring.Put(b);
  std::uint8_t window[8];
  std::uint64_t seen = 0;
  ASSERT_EQ(ring.PeekBlock(window, 8, &seen), 4);
  EXPECT_EQ(ring.Count(), 4);  // a peek takes nothing
  ring.Put(5);                 // the producer may add meanwhile
  EXPECT_TRUE(ring.ConsumeBlock(3, seen));
  EXPECT_EQ(ring.GetByte(), 4);

  ASSERT_EQ(ring.PeekBlock(window, 8, &seen), 1);
  ring.Flush();
  ring.Put(9);
  EXPECT_FALSE(ring.ConsumeBlock(1, seen));
  EXPECT_EQ(ring.GetByte(), 9);  // the new byte is still there
}

}  // namespace
}  // namespace zrm
