// The malfunction-codes window's model and painter: 20 ECM trouble codes,
// each a row of three lamps.
//
// The frame carries the trouble codes three times, in the 3-byte groups at
// 18 to 20, 21 to 23 and 224 to 226, one bit per code in the same place of
// each group; the lamp columns at x 80, 100 and 120 show the three groups.
// A lamp is on while its bit is set. Frame 18 = 0x81 lights the first lamp
// of "DRP    12" (0x80) and of "VSS    24" (0x01).
//
// The window paints everything (PaintMalfCodes, window thread); each frame
// while it is open refills only the lamps whose state changed
// (MalfCodesFrame, DisplayThread).
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "platform/canvas.h"

namespace zrm {

struct MalfCodeRow {
  const char* label;
  int groupByte;  // byte of the first group; the others are 3 and 206 further on
  std::uint8_t mask;
  int y;
};

inline constexpr std::array<MalfCodeRow, 20> MALF_CODE_ROWS = {{
    {"DRP    12", 18, 0x80, 10},  {"O2     13", 18, 0x40, 25},  {"CTS HI 14", 18, 0x20, 40},
    {"CTS LO 15", 18, 0x10, 55},  {"TPS HI 21", 18, 0x08, 70},  {"TPS LO 22", 18, 0x04, 85},
    {"IAT LO 23", 18, 0x02, 100}, {"VSS    24", 18, 0x01, 115}, {"IAT HI 25", 19, 0x80, 130},
    {"MAP HI 33", 19, 0x10, 145}, {"MAP LO 34", 19, 0x08, 160}, {"EST    42", 19, 0x01, 175},
    {"ESC    43", 20, 0x80, 190}, {"O2 LN  44", 20, 0x40, 205}, {"O2 RH  45", 20, 0x20, 220},
    {"PROM   51", 20, 0x10, 235}, {"CALPAK 52", 20, 0x08, 250}, {"VATs   53", 20, 0x04, 265},
    {"FP RLY 54", 20, 0x02, 280}, {"ADU    55", 20, 0x01, 295},
}};

constexpr int MALF_COLUMNS = 3;
constexpr int MALF_LAMP_COUNT = static_cast<int>(MALF_CODE_ROWS.size()) * MALF_COLUMNS;
inline constexpr std::array<int, MALF_COLUMNS> MALF_COLUMN_X = {80, 100, 120};
inline constexpr std::array<int, MALF_COLUMNS> MALF_GROUP_OFFSET = {0, 3, 206};  // 18, 21, 224

constexpr int MALF_LAMP_WIDTH = 13;
constexpr int MALF_LAMP_HEIGHT = 9;
constexpr int MALF_LABEL_X = 10;
constexpr Colour MALF_LAMP_ON = 0x0099FF;   // orange
constexpr Colour MALF_LAMP_OFF = 0x0A500A;  // dark green

// One lamp of the table, lamp = row * 3 + column.
struct MalfLamp {
  const char* label;  // on the first lamp of a row only, else nullptr
  int frameByte;
  std::uint8_t mask;
  bool invert;  // no lamp of this table is inverted
  int x, y;
};
MalfLamp MalfLampAt(int lamp);

bool MalfLampOn(const MalfLamp& lamp, const std::uint8_t* frame);

class MalfCodes {
 public:
  // DisplayThread, every frame while the window is open: takes the lamp
  // states and refills, through `surface` when given, the lamps that
  // changed. Returns 0.
  int MalfCodesFrame(const std::uint8_t* frame, SurfaceAccess* surface);

  // Window paint: outlines, labels and every lamp by its state.
  void PaintMalfCodes(Canvas& canvas) const;

  bool LampState(int lamp) const;

 private:
  mutable std::mutex mutex_;
  std::array<bool, MALF_LAMP_COUNT> states_{};
};

}  // namespace zrm
