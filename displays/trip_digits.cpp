#include "displays/trip_digits.h"

#include <cstring>

namespace zrm {

std::uint8_t GlyphCellCharacter(char cell) {
  switch (cell) {
    case '#': return 0xDB;
    case '_': return 0xDC;
    case '^': return 0xDF;
    default: return 0x20;
  }
}

void DrawBlockGlyph(Canvas& canvas, int x, int y, const char* const* rows, int rowCount, Colour ink, Colour paper) {
  if (rowCount <= 0) return;
  const int columns = static_cast<int>(std::strlen(rows[0]));
  canvas.FillRect(x, y, x + columns * OEM_CELL_WIDTH, y + rowCount * OEM_CELL_HEIGHT, paper);
  constexpr int half = OEM_CELL_HEIGHT / 2;
  for (int r = 0; r < rowCount; ++r) {
    const int top = y + r * OEM_CELL_HEIGHT;
    for (int c = 0; rows[r][c] != '\0'; ++c) {
      const int left = x + c * OEM_CELL_WIDTH;
      const int right = left + OEM_CELL_WIDTH;
      switch (rows[r][c]) {
        case '#': canvas.FillRect(left, top, right, top + OEM_CELL_HEIGHT, ink); break;
        case '_': canvas.FillRect(left, top + half, right, top + OEM_CELL_HEIGHT, ink); break;
        case '^': canvas.FillRect(left, top, right, top + half, ink); break;
        default: break;
      }
    }
  }
}

std::array<int, 6> SplitDigits(std::uint32_t value, int count) {
  std::array<int, 6> digits{};
  if (count <= 0) return digits;
  if (count > 6) count = 6;
  for (int i = count - 1; i > 0; --i) {
    digits[static_cast<std::size_t>(i)] = static_cast<int>(value % 10);
    value /= 10;
  }
  digits[0] = value > 9 ? 9 : static_cast<int>(value);
  return digits;
}

}  // namespace zrm
