#include "displays/velearn_display.h"

#include <cstdio>
#include <string>

namespace zrm {

CellBox HighlightBox(const TableCell& cell) {
  CellBox box{};
  box.left = 32 * cell.column + 181;
  box.top = 13 * cell.row + 61;
  box.right = box.left + 29;
  box.bottom = box.top + 15;
  return box;
}

int VeViewTitleX(int view) { return view == VE_VIEW_LEARNED ? 266 : 271; }

void DrawVeLearnFrame(Canvas& canvas) {
  static constexpr CanvasPoint kOutline[] = {{152, 50},  {662, 50},  {664, 52}, {664, 536}, {662, 538},
                                             {152, 538}, {150, 536}, {150, 52}, {152, 50}};
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.Polyline(kOutline, static_cast<int>(sizeof kOutline / sizeof kOutline[0]));
}

int VeCellX(int column) { return 184 + 32 * column; }

namespace {

// One table line: the label at 160 and the cells at their 32-pixel pitch.
// Placing each cell keeps the columns under their highlight boxes whatever
// the list font's width. Drawn left to right, a cell's leading blank only
// covers the blank that ends the text before it; the header's label, whose
// last letter reaches past 216 in a wider font, is drawn after its cells
// (the first MAP value has two digits). The last cell goes without its
// trailing blank so that the frame's right edge stays.
void DrawTableLine(Canvas& canvas, int y, const std::string& label, const std::string* cells, bool labelLast) {
  if (!labelLast) canvas.Text(160, y, label);
  for (int col = 1; col <= VE_MAP_COLUMNS; ++col) {
    const std::string& cell = cells[col - 1];
    canvas.Text(VeCellX(col), y, col == VE_MAP_COLUMNS ? cell.substr(0, 3) : cell);
  }
  if (labelLast) canvas.Text(160, y, label);
}

}  // namespace

void PaintVeLearnDisplay(Canvas& canvas, const VeLearnSnapshot& s, const VeLearnPaintState& state) {
  canvas.SetFont(FontId::List);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);

  const TableCell cell = HighlightCellFor(s.gridRow, s.gridColumn);
  std::string cells[VE_MAP_COLUMNS];
  char text[16];
  for (int col = 1; col <= VE_MAP_COLUMNS; ++col) {
    std::snprintf(text, sizeof text, "%3d ", static_cast<int>(s.base[0][col]));
    cells[col - 1] = text;
  }
  DrawTableLine(canvas, 54, "RPM/MAP", cells, true);
  canvas.Text(VeViewTitleX(state.view), 32, VeViewTitle(state.view));
  const int rows = VeRowCount(s.extended);
  for (int row = 1; row <= rows; ++row) {
    for (int col = 1; col <= VE_MAP_COLUMNS; ++col) cells[col - 1] = VeCellText(s, state.view, row, col);
    std::snprintf(text, sizeof text, "%4d   ", static_cast<int>(s.base[row][0]));
    DrawTableLine(canvas, 60 + 13 * row, text, cells, false);
  }

  if (state.engineRunning) {
    const CellBox box = HighlightBox(cell);
    canvas.FillRect(box.left, box.top, box.right, box.bottom, s.sampleStored ? VE_SAMPLE_STORED : VE_SAMPLE_REFUSED);
    if (cell.row >= 1 && cell.row <= rows && cell.column >= 1 && cell.column <= VE_MAP_COLUMNS) {
      canvas.SetTransparentText(true);
      canvas.Text(box.left + 3, box.top - 1, VeCellText(s, state.view, cell.row, cell.column));
      canvas.SetTransparentText(false);
    }
  }

  if (s.blmWarning) canvas.Text(160, 517, "BLM not at 128 while in WB learn mode. Force open loop mode.");
  // The overflow texts' fields, right of the frame, are cleared to the
  // window's edge first: once no cell overflows, or another cell with a
  // shorter axis value does, nothing of the old texts is left.
  for (std::size_t i = 0; i < VE_OVERFLOW_PLACES.size(); ++i) {
    const CanvasPoint at = VE_OVERFLOW_PLACES[i];
    canvas.FillRect(at.x, at.y, VE_WINDOW_RIGHT, at.y + canvas.TextHeight(), COLOUR_BACKGROUND);
    if (!s.overflow[0].empty()) canvas.Text(at.x, at.y, s.overflow[i]);
  }

  char line[32];
  std::snprintf(line, sizeof line, "rpm: %4d  ", state.rpm);
  canvas.Text(50, 410, line);
  std::snprintf(line, sizeof line, "map: %4d  ", s.map);
  canvas.Text(50, 429, line);
}

}  // namespace zrm
