// Runtime frames out of a byte stream: the live ring, or a data log.
//
// On the wire a frame is 277 bytes:
//
//   55 AA  p0 p1 ... p272  hh ll
//
// two sync bytes, the 273-byte payload, and the checksum 0xFF + sum of the
// payload bytes (mod 65536), high byte first. An all-zero payload has the sum
// 00 FF. About 17 frames a second arrive: 4709 bytes are one second of stream.
//
// Data logs hold the raw stream with texts inserted between any two bytes,
// also inside a frame:
//
//   TIME: 12/09/2026 - 21:43:00     "TIME:" and 22 bytes of time text
//   MARK007TIME: 12/09/2026 - ...   "MARK", 3 digits, then a time stamp
//
// The reader removes them wherever they fall and hands their texts to the
// caller. A text cut short (a 0xFF byte or the end of the data among its
// trailing bytes) leaves the pattern's last letter in the stream, so the frame
// normally fails its sum. Matching is strict: a byte that breaks a match is not
// compared with the first letter again, so "TTIME:" is not a time stamp.
#pragma once

#include <cstdint>
#include <cstring>

namespace zrm {

constexpr int FRAME_WIRE_SIZE = 277;
constexpr int FRAME_SYNC1 = 0x55;
constexpr int FRAME_SYNC2 = 0xAA;
constexpr int TIME_TEXT_LENGTH = 22;
constexpr int MARK_TEXT_LENGTH = 3;

// Results of ReadFrame.
constexpr int FRAME_OK = 0;
constexpr int FRAME_BAD_SUM = 3;
constexpr int FRAME_NO_DATA = 4;

// Texts met while reading one frame, NUL-terminated, empty when none.
struct FrameTexts {
  char time[TIME_TEXT_LENGTH + 1] = {};
  char mark[MARK_TEXT_LENGTH + 1] = {};
};

// The checksum a frame's payload must carry.
inline unsigned FrameChecksum(const std::uint8_t* payload, int length = 273) {
  unsigned sum = 0xFF;
  for (int i = 0; i < length; ++i) sum += payload[i];
  return sum & 0xFFFF;
}

namespace detail {

enum class Match { None, Removed, Cut };

// One of the two inserted-text detectors: a pattern and the count of bytes
// that follow it.
struct MarkerDetector {
  const char* pattern;
  int length;
  int trailing;
  int position = 0;

  template <class Source>
  Match Step(int byte, Source& source, char* text) {
    if (byte != static_cast<unsigned char>(pattern[position])) {
      position = 0;
      return Match::None;
    }
    if (++position < length) return Match::None;
    position = 0;
    for (int i = 0; i < trailing; ++i) {
      int b = source.NextSourceByte();
      if (b < 0 || b == 0xFF) {
        text[i] = '\0';
        return Match::Cut;
      }
      text[i] = static_cast<char>(b);
    }
    text[trailing] = '\0';
    return Match::Removed;
  }
};

}  // namespace detail

// Reads one frame from a source that offers NextSourceByte() (0..255, or -1
// for no data) and StepBackSource(). Returns FRAME_OK with the payload in
// `frame` (273 bytes), FRAME_BAD_SUM after stepping the source back so the
// next hunt starts inside the bad frame's tail, or FRAME_NO_DATA when the data
// ran out (the bytes taken are lost).
template <class Source>
int ReadFrame(Source& source, std::uint8_t* frame, FrameTexts& texts) {
  detail::MarkerDetector timeStamp{"TIME:", 5, TIME_TEXT_LENGTH};
  detail::MarkerDetector marker{"MARK", 4, MARK_TEXT_LENGTH};
  texts.time[0] = '\0';
  texts.mark[0] = '\0';

  // Hunt for the sync pair; a byte that completes an inserted text is not
  // remembered, so a text between the sync bytes costs the frame.
  int previous = -1;
  for (;;) {
    int b = source.NextSourceByte();
    if (b < 0) return FRAME_NO_DATA;
    if (timeStamp.Step(b, source, texts.time) == detail::Match::Removed) continue;
    if (marker.Step(b, source, texts.mark) == detail::Match::Removed) continue;
    if (previous == FRAME_SYNC1 && b == FRAME_SYNC2) break;
    previous = b;
  }

  // Payload; a removed text's letters were stored and are overwritten.
  std::memset(frame, 0, 273);
  int p = 0;
  while (p < 273) {
    int b = source.NextSourceByte();
    if (b < 0) return FRAME_NO_DATA;
    frame[p] = static_cast<std::uint8_t>(b);
    if (timeStamp.Step(b, source, texts.time) == detail::Match::Removed) {
      p -= 4;
    } else if (marker.Step(b, source, texts.mark) == detail::Match::Removed) {
      p -= 3;
    } else {
      ++p;
    }
  }

  int high = source.NextSourceByte();
  if (high < 0) return FRAME_NO_DATA;
  int low = source.NextSourceByte();
  if (low < 0) return FRAME_NO_DATA;
  if (FrameChecksum(frame) == static_cast<unsigned>(high * 256 + low)) return FRAME_OK;
  source.StepBackSource();
  return FRAME_BAD_SUM;
}

}  // namespace zrm
