// The frame reader over hand-built byte streams: sync hunting, the checksum,
// and the time-stamp and marker texts that data logs insert anywhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frame_reader.h"
#include "link/frame_source.h"
#include "link/input_file.h"
#include "test_support.h"

namespace zrm {
namespace {

using test::AppendText;
using test::WireFrame;
using Bytes = std::vector<std::uint8_t>;

const std::string kTime = " 12/09/2026 - 21:43:07";  // the 22 bytes after "TIME:"

// A byte vector as a frame source, with the 5-byte step-back of file sources.
struct VectorSource {
  explicit VectorSource(Bytes b) : bytes(std::move(b)) {}
  int NextSourceByte() { return pos < bytes.size() ? bytes[pos++] : -1; }
  void StepBackSource() { pos = pos >= 5 ? pos - 5 : 0; }
  Bytes bytes;
  std::size_t pos = 0;
};

Bytes Payload(std::uint8_t seed) {
  Bytes p(273);
  for (int i = 0; i < 273; ++i) p[i] = static_cast<std::uint8_t>(seed + i * 7);
  return p;
}

// A wire frame with `text` inserted after payload byte `after` (-1: before the
// first sync byte, -2: between the two sync bytes).
Bytes WithText(const Bytes& payload, int after, const std::string& text) {
  Bytes wire = WireFrame(payload);
  std::size_t at = after == -1 ? 0 : after == -2 ? 1 : static_cast<std::size_t>(2 + after + 1);
  wire.insert(wire.begin() + static_cast<long>(at), text.begin(), text.end());
  return wire;
}

struct ReadResult {
  int result;
  Bytes payload;
  std::string time;
  std::string mark;
};

std::vector<ReadResult> ReadAll(const Bytes& stream) {
  VectorSource source(stream);
  std::vector<ReadResult> results;
  for (;;) {
    std::uint8_t frame[273];
    FrameTexts texts;
    int r = ReadFrame(source, frame, texts);
    results.push_back({r, Bytes(frame, frame + 273), texts.time, texts.mark});
    if (r == FRAME_NO_DATA) return results;
  }
}

TEST(FrameReader, ZeroPayloadChecksum) {
  Bytes zero(273, 0);
  Bytes good = WireFrame(zero);
  ASSERT_EQ(good[275], 0x00);
  ASSERT_EQ(good[276], 0xFF);
  auto results = ReadAll(good);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].result, FRAME_OK);
  EXPECT_EQ(results[0].payload, zero);

  Bytes bad = good;
  bad[275] = 0x01;
  bad[276] = 0x00;
  EXPECT_EQ(ReadAll(bad)[0].result, FRAME_BAD_SUM);
}

struct TextCase {
  const char* name;
  Bytes stream;
  std::vector<int> results;  // results in order, the final FRAME_NO_DATA included
  std::string time;          // texts of the first accepted frame
  std::string mark;
  Bytes payload;             // payload of the first accepted frame
};

std::vector<TextCase> TextCases() {
  const Bytes a = Payload(1), b = Payload(90);
  std::vector<TextCase> cases;
  cases.push_back({"stamp inside frame", WithText(a, 100, "TIME:" + kTime), {0, 4}, kTime, "", a});
  cases.push_back({"marker inside frame", WithText(a, 100, "MARK007TIME:" + kTime), {0, 4}, kTime, "007", a});
  cases.push_back({"stamp after byte 267", WithText(a, 267, "TIME:" + kTime), {0, 4}, kTime, "", a});
  // The payload ends when 273 bytes are stored, so a stamp whose letters do
  // not all fit before that, or one in front of the checksum, costs the frame.
  cases.push_back({"stamp after byte 268", WithText(a, 268, "TIME:" + kTime), {3, 4}, "", "", {}});
  cases.push_back({"stamp before the checksum", WithText(a, 272, "TIME:" + kTime), {3, 4}, "", "", {}});
  cases.push_back({"stamp before sync", WithText(a, -1, "TIME:" + kTime), {0, 4}, kTime, "", a});
  cases.push_back({"marker before sync", WithText(a, -1, "MARK123TIME:" + kTime), {0, 4}, kTime, "123", a});
  {
    // Inserted between the sync bytes the text costs that frame; the next is read.
    Bytes s = WithText(a, -2, "TIME:" + kTime);
    Bytes next = WireFrame(b);
    s.insert(s.end(), next.begin(), next.end());
    cases.push_back({"stamp between sync bytes", s, {0, 4}, kTime, "", b});
  }
  {
    // "TTIME:" is no stamp: the second T breaks the match and is not retried.
    Bytes p = a;
    const std::string t = "TTIME:";
    std::copy(t.begin(), t.end(), p.begin() + 50);
    cases.push_back({"TTIME: stays in payload", WireFrame(p), {0, 4}, "", "", p});
  }
  {
    // Noise and a lone sync byte before the frame are skipped.
    Bytes s{0x00, 0x55, 0x13, 0xAA, 0x55, 0x55};
    Bytes f = WireFrame(a);
    s.insert(s.end(), f.begin() + 1, f.end());  // 55 55 AA ...: the pair is found
    cases.push_back({"noise before sync", s, {0, 4}, "", "", a});
  }
  {
    // A bad frame, then a good one right behind it.
    Bytes s = WireFrame(b);
    s[10] ^= 0x40;
    Bytes f = WireFrame(a);
    s.insert(s.end(), f.begin(), f.end());
    cases.push_back({"bad then good", s, {3, 0, 4}, "", "", a});
  }
  {
    // A stamp cut by a 0xFF among its trailing bytes: its letters stay in the
    // payload and the frame fails; the next frame is still found.
    Bytes s = WithText(a, 20, "TIME: 12/0\xFF");
    Bytes f = WireFrame(b);
    s.insert(s.end(), f.begin(), f.end());
    cases.push_back({"cut stamp", s, {3, 0, 4}, "", "", b});
  }
  {
    // The data ends inside a frame.
    Bytes s = WireFrame(a);
    s.resize(200);
    cases.push_back({"cut frame", s, {4}, "", "", {}});
  }
  {
    // Two stamps in one frame: the later one is reported.
    Bytes s = WithText(a, 10, "TIME: 01/01/2026 - 00:00:00");
    const std::string second = "TIME:" + kTime;
    s.insert(s.begin() + 200, second.begin(), second.end());
    cases.push_back({"two stamps", s, {0, 4}, kTime, "", a});
  }
  return cases;
}

TEST(FrameReader, InsertedTexts) {
  for (const TextCase& c : TextCases()) {
    SCOPED_TRACE(c.name);
    auto results = ReadAll(c.stream);
    ASSERT_EQ(results.size(), c.results.size());
    bool firstAccepted = true;
    for (std::size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i].result, c.results[i]) << "read " << i;
      if (results[i].result == FRAME_OK && firstAccepted) {
        firstAccepted = false;
        EXPECT_EQ(results[i].payload, c.payload);
        EXPECT_EQ(results[i].time, c.time);
        EXPECT_EQ(results[i].mark, c.mark);
      }
    }
  }
}

TEST(FrameReader, CutTextKeepsWhatWasRead) {
  // The end of data inside a stamp's trailing bytes: the text holds what came.
  VectorSource source(WithText(Payload(3), 5, "TIME: 12/0"));
  source.bytes.resize(2 + 6 + 10);
  std::uint8_t frame[273];
  FrameTexts texts;
  EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_NO_DATA);
  EXPECT_STREQ(texts.time, " 12/0");
}

TEST(FrameReader, FileSourceEndHookAndZeroBytesAfterEnd) {
  test::TempDir dir;
  Bytes stream = WireFrame(Payload(5));
  stream[100] ^= 1;  // bad, so the step-back inside the file is exercised
  Bytes good = WireFrame(Payload(6));
  stream.insert(stream.end(), good.begin(), good.end());
  test::WriteFileBytes(dir.File("log.dat"), stream);

  InputFile file;
  ASSERT_EQ(file.Open(dir.File("log.dat")), 0);
  FileSource source;
  int ends = 0;
  source.endHook = [&] { ++ends; };
  EXPECT_TRUE(source.EndOfFile());  // nothing attached yet
  source.SetStream(true, &file);

  std::uint8_t frame[273];
  FrameTexts texts;
  EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_BAD_SUM);
  EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_OK);
  EXPECT_EQ(Bytes(frame, frame + 273), Payload(6));
  EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_NO_DATA);
  EXPECT_EQ(ends, 1);
  // From now on only zero bytes, and the hook is not called again.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(source.NextSourceByte(), 0);
  EXPECT_EQ(ends, 1);
}

TEST(FrameReader, WholeFilePassEndsOnAFileCutInsideAText) {
  test::TempDir dir;
  for (const std::string tail : {"MARK00", "TIME: 12/0", "TIM"}) {
    SCOPED_TRACE(tail);
    Bytes log = WireFrame(Payload(7));
    AppendText(log, tail);
    test::WriteFileBytes(dir.File("cut.dat"), log);
    InputFile file;
    ASSERT_EQ(file.Open(dir.File("cut.dat")), 0);
    FileSource source;
    source.idleAfterEnd = false;
    source.SetStream(true, &file);
    std::uint8_t frame[273];
    FrameTexts texts;
    EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_OK);
    EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_NO_DATA);
    EXPECT_EQ(ReadFrame(source, frame, texts), FRAME_NO_DATA);

    std::string out;
#ifdef _WIN32
    const std::string guard;  // no timeout(1): ctest's limit stands in
#else
    const std::string guard = "timeout 10 ";
#endif
    ASSERT_EQ(test::RunCommand(guard + std::string(ZRMTOOL_PATH) + " frames " + dir.File("cut.dat"), &out), 0);
    EXPECT_EQ(out, "frames 1 bad 0 marks 0 stamps 0\n");
  }
}

TEST(FrameReader, FramesCommandReportsTextsAndCounts) {
  test::TempDir dir;
  Bytes log;
  AppendText(log, "TIME:" + kTime);  // recording head stamp
  Bytes f1 = WireFrame(Payload(1));
  log.insert(log.end(), f1.begin(), f1.end());
  Bytes f2 = WithText(Payload(2), 40, "MARK000TIME:" + kTime);
  log.insert(log.end(), f2.begin(), f2.end());
  Bytes f3 = WireFrame(Payload(3));
  f3[30] ^= 0xFF;
  log.insert(log.end(), f3.begin(), f3.end());
  Bytes f4 = WireFrame(Payload(4));
  log.insert(log.end(), f4.begin(), f4.end());
  test::WriteFileBytes(dir.File("log.dat"), log);

  std::string out;
  ASSERT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " frames " + dir.File("log.dat"), &out), 0);
  EXPECT_EQ(out, "TIME:" + kTime + "\nMARK 000 TIME:" + kTime + "\nframes 3 bad 1 marks 1 stamps 1\n");

  EXPECT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " frames " + dir.File("missing.dat") + " 2>/dev/null",
                             nullptr),
            1);
  EXPECT_EQ(test::RunCommand(std::string(ZRMTOOL_PATH) + " frames 2>/dev/null", nullptr), 2);
}

}  // namespace
}  // namespace zrm
