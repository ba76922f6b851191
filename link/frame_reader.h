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
//
// Speed: between texts and sync pairs a log is plain data. A source that can
// show its buffered bytes (SourceWindow/AdvanceSource) is read in blocks: the
// hunt looks only for the bytes that can begin something ('T', 'M', 0x55),
// the payload only for 'T' and 'M', the bytes between are skipped or copied
// in one go, and from each such byte on the rules below run byte by byte
// until no text is half matched. Any other source is read byte by byte; both
// give the same frames, texts and stream positions.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZRM_FRAME_READER_SSE2 1
#endif

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
  int i = 0;
#ifdef ZRM_FRAME_READER_SSE2
  // Sixteen bytes at a time: the sum of absolute differences from zero is the
  // sum of the bytes, in two 64-bit halves.
  __m128i wide = _mm_setzero_si128();
  for (; i + 16 <= length; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(payload + i));
    wide = _mm_add_epi64(wide, _mm_sad_epu8(x, _mm_setzero_si128()));
  }
  sum += static_cast<unsigned>(_mm_cvtsi128_si32(wide)) +
         static_cast<unsigned>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(wide, wide)));
#endif
  for (; i < length; ++i) sum += payload[i];
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

// Index of the first byte in data[0..n) equal to a, b or c (pass c = a for
// two), or n.
inline std::size_t FindAnyOf(const std::uint8_t* data, std::size_t n, std::uint8_t a, std::uint8_t b,
                             std::uint8_t c) {
  std::size_t i = 0;
#ifdef ZRM_FRAME_READER_SSE2
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  for (; i + 32 <= n; i += 32) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16));
    const __m128i hx = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)), _mm_cmpeq_epi8(x, vc));
    const __m128i hy = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(y, va), _mm_cmpeq_epi8(y, vb)), _mm_cmpeq_epi8(y, vc));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hx)) |
                          (static_cast<unsigned>(_mm_movemask_epi8(hy)) << 16);
    if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask));
  }
  for (; i + 16 <= n; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i hx = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)), _mm_cmpeq_epi8(x, vc));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hx));
    if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask));
  }
#endif
  for (; i < n; ++i) {
    const std::uint8_t d = data[i];
    if (d == a || d == b || d == c) return i;
  }
  return n;
}

}  // namespace detail

// A source whose buffered bytes can be seen and taken in blocks:
// SourceWindow(&n) shows the next n bytes without taking them (n 0 when none
// are buffered: NextSourceByte then refills, ends or waits as it always does),
// AdvanceSource(k) takes the first k of them.
template <class Source>
concept BlockSource = requires(Source& source, std::size_t n) {
  { source.SourceWindow(&n) } -> std::same_as<const std::uint8_t*>;
  source.AdvanceSource(n);
};

// The reader one byte at a time, for any source that offers NextSourceByte()
// (0..255, or -1 for no data) and StepBackSource(). It is the reference the
// block reader is tested against. Returns FRAME_OK with the payload in `frame`
// (273 bytes), FRAME_BAD_SUM after stepping the source back so the next hunt
// starts inside the bad frame's tail, or FRAME_NO_DATA when the data ran out
// (the bytes taken are lost).
template <class Source>
int ReadFrameBytewise(Source& source, std::uint8_t* frame, FrameTexts& texts) {
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

// The same reader over a block source: the quiet stretches are taken from the
// source's window in one go, every other byte goes through the rules of
// ReadFrameBytewise unchanged.
template <BlockSource Source>
int ReadFrameBlocks(Source& source, std::uint8_t* frame, FrameTexts& texts) {
  detail::MarkerDetector timeStamp{"TIME:", 5, TIME_TEXT_LENGTH};
  detail::MarkerDetector marker{"MARK", 4, MARK_TEXT_LENGTH};
  texts.time[0] = '\0';
  texts.mark[0] = '\0';

  // Hunt. With no text half matched and no 0x55 just before, a byte that is
  // none of 'T', 'M', 0x55 changes nothing but `previous`.
  int previous = -1;
  for (;;) {
    if (timeStamp.position == 0 && marker.position == 0 && previous != FRAME_SYNC1) {
      std::size_t n = 0;
      const std::uint8_t* window = source.SourceWindow(&n);
      if (n > 0) {
        const std::size_t k = detail::FindAnyOf(window, n, 'T', 'M', FRAME_SYNC1);
        if (k > 0) {
          previous = window[k - 1];
          source.AdvanceSource(k);
        }
        if (k == n) continue;
      }
    }
    int b = source.NextSourceByte();
    if (b < 0) return FRAME_NO_DATA;
    if (timeStamp.Step(b, source, texts.time) == detail::Match::Removed) continue;
    if (marker.Step(b, source, texts.mark) == detail::Match::Removed) continue;
    if (previous == FRAME_SYNC1 && b == FRAME_SYNC2) break;
    previous = b;
  }

  // Payload. With no text half matched, a byte that is neither 'T' nor 'M' is
  // only stored.
  std::memset(frame, 0, 273);
  int p = 0;
  while (p < 273) {
    if (timeStamp.position == 0 && marker.position == 0) {
      std::size_t n = 0;
      const std::uint8_t* window = source.SourceWindow(&n);
      if (n > 0) {
        const std::size_t limit = n < static_cast<std::size_t>(273 - p) ? n : static_cast<std::size_t>(273 - p);
        const std::size_t k = detail::FindAnyOf(window, limit, 'T', 'M', 'M');
        std::memcpy(frame + p, window, k);
        p += static_cast<int>(k);
        source.AdvanceSource(k);
        if (k == limit) continue;
      }
    }
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

// Reads one frame (results as ReadFrameBytewise): in blocks from a source
// that can show its buffer, byte by byte from any other.
template <class Source>
int ReadFrame(Source& source, std::uint8_t* frame, FrameTexts& texts) {
  if constexpr (BlockSource<Source>) {
    return ReadFrameBlocks(source, frame, texts);
  } else {
    return ReadFrameBytewise(source, frame, texts);
  }
}

}  // namespace zrm
