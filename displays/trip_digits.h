// The trip display's block digits: large digits of 7 x 7 and small digits of
// 4 x 4 characters of the OEM code page (full block 0xDB, lower half block
// 0xDC, upper half block 0xDF, space), one text row every 12 pixels in the
// fixed OEM font's 8 x 12 character cell.
//
// The glyphs are drawn as filled cells rather than as text, so that they look
// the same whatever fonts the machine has: a full block fills its 8 x 12 cell,
// a half block the lower or upper 6 rows, a space leaves the cell in the
// background colour. A whole glyph is always drawn, spaces included, as the
// opaque text of the original display was.
//
// In the tables '#' is 0xDB, '_' is 0xDC, '^' is 0xDF and '.' a space.
#pragma once

#include <array>
#include <cstdint>

#include "platform/canvas.h"

namespace zrm {

constexpr int OEM_CELL_WIDTH = 8;
constexpr int OEM_CELL_HEIGHT = 12;

constexpr int LARGE_DIGIT_ROWS = 7;
constexpr int LARGE_DIGIT_COLUMNS = 7;
constexpr int LARGE_POINT_COLUMNS = 4;
constexpr int SMALL_DIGIT_ROWS = 4;
constexpr int SMALL_DIGIT_COLUMNS = 4;
constexpr int SMALL_POINT_COLUMNS = 2;

using LargeGlyph = std::array<const char*, LARGE_DIGIT_ROWS>;
using SmallGlyph = std::array<const char*, SMALL_DIGIT_ROWS>;

inline constexpr std::array<LargeGlyph, 10> LARGE_DIGITS = {{
    {"#######", "##...##", "##...##", "##...##", "##...##", "##...##", "#######"},
    {"..###..", "...##..", "...##..", "...##..", "...##..", "...##..", "..####."},
    {"#######", ".....##", ".....##", "#######", "##.....", "##.....", "#######"},
    {"#######", ".....##", ".....##", ".######", ".....##", ".....##", "#######"},
    {"##.....", "##..##.", "##..##.", "#######", "....##.", "....##.", "....##."},
    {"#######", "##.....", "##.....", "#######", ".....##", ".....##", "#######"},
    {"#######", "##.....", "##.....", "#######", "##...##", "##...##", "#######"},
    {"#######", "^....##", ".....##", ".....##", ".....##", ".....##", ".....##"},
    {"#######", "##...##", "##...##", "#######", "##...##", "##...##", "#######"},
    {"#######", "##...##", "##...##", "#######", ".....##", ".....##", ".....##"},
}};

inline constexpr LargeGlyph LARGE_BLANK = {".......", ".......", ".......", ".......",
                                           ".......", ".......", "......."};
inline constexpr LargeGlyph LARGE_POINT = {"....", "....", "....", "....", "....", "....", ".##."};
inline constexpr LargeGlyph LARGE_POINT_BLANK = {"....", "....", "....", "....", "....", "....", "...."};

inline constexpr std::array<SmallGlyph, 10> SMALL_DIGITS = {{
    {"____", "#..#", "#..#", "#__#"},
    {".._.", "..#.", "..#.", "..#."},
    {"____", "...#", "#^^^", "#___"},
    {"____", "...#", ".^^#", "___#"},
    {"_...", "#.#.", "^^#^", "..#."},
    {"____", "#...", "^^^#", "___#"},
    {"____", "#...", "#^^#", "#__#"},
    {"____", "^..#", "...#", "...#"},
    {"____", "#..#", "#^^#", "#__#"},
    {"____", "#..#", "^^^#", "...#"},
}};

inline constexpr SmallGlyph SMALL_POINT = {"..", "..", "..", "_."};

// The OEM code-page character a table cell stands for.
std::uint8_t GlyphCellCharacter(char cell);

// Draws the rows of a glyph with their top-left corner at (x, y): the glyph's
// whole area in `paper`, then its blocks in `ink`.
void DrawBlockGlyph(Canvas& canvas, int x, int y, const char* const* rows, int rowCount, Colour ink, Colour paper);

// The digits a display position shows for `value` split into `count` decimal
// digits, most significant first: the leading digit holds what does not fit
// and is clamped to 9, so 1234 in three digits shows 9, 3, 4.
std::array<int, 6> SplitDigits(std::uint32_t value, int count);

}  // namespace zrm
