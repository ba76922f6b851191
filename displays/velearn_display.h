// The VE learn display (display mode 3): the VE table of the current learning
// run as a text grid in one of three views (original, learned, corrections),
// the cell the engine runs in highlighted, and the warning and overflow texts.
//
// Layout on a grid of 8-pixel characters and 13-pixel rows in the list font:
// the header at (160, 54), row n at (160, 60 + 13 n), the cell of column c at
// x = 32 c + 184 and its highlight box from 32 c + 181. Each cell is placed
// on that grid, so the columns stay under their boxes in a wider font.
#pragma once

#include <array>

#include "platform/canvas.h"
#include "velearn/ve_learn.h"

namespace zrm {

constexpr Colour VE_SAMPLE_STORED = RgbColour(20, 220, 10);   // green
constexpr Colour VE_SAMPLE_REFUSED = RgbColour(255, 255, 0);  // yellow

constexpr int VE_TITLE_X = 268;
constexpr int VE_TITLE_Y = 6;

// The three overflow texts, right of the table's frame, and the window's
// right edge their fields reach.
inline constexpr std::array<CanvasPoint, 3> VE_OVERFLOW_PLACES = {{{674, 294}, {699, 314}, {699, 330}}};
constexpr int VE_WINDOW_RIGHT = 800;

// The highlight box of a table cell: left, top, right, bottom (right and
// bottom excluded).
struct CellBox {
  int left, top, right, bottom;
};
CellBox HighlightBox(const TableCell& cell);

// The x of the text of table column 1..14 (an 8-pixel character cell after
// the 7 characters of the row label at 160).
int VeCellX(int column);

// The x of a view's title line.
int VeViewTitleX(int view);

// The frame around the table: a rectangle with 2-pixel bevelled corners.
void DrawVeLearnFrame(Canvas& canvas);

// What the painter needs besides the tables.
struct VeLearnPaintState {
  int view = VE_VIEW_ORIGINAL;
  bool engineRunning = false;
  int rpm = 0;
};

// The whole table area: header, view title, rows, the highlight (only while
// the engine runs), the BLM warning, the overflow texts, rpm and map.
void PaintVeLearnDisplay(Canvas& canvas, const VeLearnSnapshot& snapshot, const VeLearnPaintState& state);

}  // namespace zrm
