// The VE learn display (display mode 3): the VE table of the current learning
// run as a text grid in one of three views (original, learned, corrections),
// the cell the engine runs in highlighted, and the warning and overflow texts.
//
// Layout in the list font, 8 pixels per character and 13 per row: the header
// at (160, 54), row n at (160, 60 + 13 n), so the cell of column c starts at
// x = 32 c + 184 and its highlight box at 32 c + 181.
#pragma once

#include "platform/canvas.h"
#include "velearn/ve_learn.h"

namespace zrm {

constexpr Colour VE_SAMPLE_STORED = RgbColour(20, 220, 10);   // green
constexpr Colour VE_SAMPLE_REFUSED = RgbColour(255, 255, 0);  // yellow

constexpr int VE_TITLE_X = 268;
constexpr int VE_TITLE_Y = 6;

// The highlight box of a table cell: left, top, right, bottom (right and
// bottom excluded).
struct CellBox {
  int left, top, right, bottom;
};
CellBox HighlightBox(const TableCell& cell);

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
