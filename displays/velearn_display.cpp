#include "displays/velearn_display.h"

#include <cstdio>

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

void PaintVeLearnDisplay(Canvas& canvas, const VeLearnSnapshot& s, const VeLearnPaintState& state) {
  canvas.SetFont(FontId::List);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);

  const TableCell cell = HighlightCellFor(s.gridRow, s.gridColumn);
  canvas.Text(160, 54, VeHeaderLine(s.base));
  canvas.Text(VeViewTitleX(state.view), 32, VeViewTitle(state.view));
  const int rows = VeRowCount(s.extended);
  for (int row = 1; row <= rows; ++row) canvas.Text(160, 60 + 13 * row, VeRowLine(s, state.view, row));

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
  if (!s.overflow[0].empty()) {
    canvas.Text(674, 294, s.overflow[0]);
    canvas.Text(699, 314, s.overflow[1]);
    canvas.Text(699, 330, s.overflow[2]);
  }

  char line[32];
  std::snprintf(line, sizeof line, "rpm: %4d  ", state.rpm);
  canvas.Text(50, 410, line);
  std::snprintf(line, sizeof line, "map: %4d  ", s.map);
  canvas.Text(50, 429, line);
}

}  // namespace zrm
