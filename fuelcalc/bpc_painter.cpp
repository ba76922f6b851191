#include "fuelcalc/bpc_painter.h"

#include <cstdio>
#include <string>

namespace zrm {

namespace {

struct FramedArea {
  int left, top, right, bottom;  // the frame's edges, all drawn
  const char* title;
};

constexpr FramedArea VAC_AREA{222, 48, 382, 498, "BPC - BPC vs VAC"};
constexpr FramedArea BOOST_AREA{414, 48, 574, 354, "BST-BPC vs Boost"};
constexpr FramedArea MISC_AREA{606, 48, 766, 498, "Misc Data"};

constexpr int VAC_LABEL_X = 250;
constexpr int VAC_VALUE_X = 328;
constexpr int BOOST_LABEL_X = 442;
constexpr int BOOST_VALUE_X = 520;
constexpr int AREA_TITLE_Y = 52;
constexpr int COLUMN_HEAD_Y = 70;
constexpr int MISC_X = 616;

struct MiscLine {
  int y;
  const char* text;
};

// "Misc Data": the fixed lines, 20 pixels apart; the three values sit below
// their captions.
constexpr MiscLine MISC_LINES[] = {
    {73, "Single Injector"}, {93, " flow at 0 KPa"}, {113, "  vacuum:"},
    {169, "Total Injector "}, {189, " flow at 0 KPa"}, {209, "  vacuum:"},
    {269, "Approximate HP "}, {289, " Supported:"},    {329, " @ 0.45 BSFC"},
    {349, " @ 85% Inj DC"},
};

void UseLabelText(Canvas& canvas) {
  canvas.SetFont(FontId::ListBold);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string FormatInt(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void PaintFrame(Canvas& canvas, const FramedArea& area) {
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  canvas.Rectangle(area.left, area.top, area.right + 1, area.bottom + 1);
  UseLabelText(canvas);
  canvas.Text((area.left + area.right) / 2, AREA_TITLE_Y, area.title, TextAlign::Centre);
}

void PaintTable(Canvas& canvas, BpcTable table, const UtilitySettings& in, const BpcResults& r) {
  const bool vac = table == BpcTable::Vac;
  const int rows = vac ? BPC_VAC_ROWS : BPC_BOOST_ROWS;
  const int labelX = vac ? VAC_LABEL_X : BOOST_LABEL_X;
  const int valueX = vac ? VAC_VALUE_X : BOOST_VALUE_X;
  UseLabelText(canvas);
  canvas.Text(labelX, COLUMN_HEAD_Y, "KPa");
  canvas.Text(valueX, COLUMN_HEAD_Y, "BPC");
  for (int i = 0; i < rows; ++i) {
    const BpcRowPlace place = BpcRowPosition(table, in.editorVersion, i);
    const int label = vac ? VacAxisLabel(i) : BoostAxisLabel(in.mapBar, i);
    UseLabelText(canvas);
    canvas.Text(labelX, place.labelY, FormatInt("%3d", label));
    canvas.SetFont(FontId::OemLarge);
    canvas.SetTextColour(BPC_VALUE_COLOUR);
    canvas.Text(valueX, place.valueY, BpcCellText(vac ? r.vac[i] : r.boost[i]));
  }
}

void PaintMisc(Canvas& canvas, const BpcResults& r) {
  UseLabelText(canvas);
  for (const MiscLine& line : MISC_LINES) canvas.Text(MISC_X, line.y, line.text);
  canvas.Text(631, 133, Format(" %5.1f #/hr ", r.singleFlow));
  canvas.Text(631, 229, Format(" %5.1f #/hr ", r.totalFlow));
  canvas.Text(644, 309, Format(" %4.0f HP ", r.horsepower));
}

// The picture beside the tables: a TBI injector over its spray.
void PaintPicture(Canvas& canvas) {
  constexpr int X = 405;
  constexpr int Y = 400;
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetBrush(0x505050);
  canvas.Rectangle(X + 66, Y, X + 114, Y + 10);  // fuel inlet
  canvas.SetBrush(0x2020A0);
  canvas.Rectangle(X + 62, Y + 10, X + 118, Y + 16);  // upper seal
  canvas.SetBrush(0xA8A8A8);
  canvas.Rectangle(X + 54, Y + 16, X + 126, Y + 58);  // body
  canvas.SetBrush(0x303030);
  canvas.Rectangle(X + 126, Y + 24, X + 166, Y + 44);  // connector
  canvas.SetBrush(0xF0F0F0);
  canvas.Rectangle(X + 150, Y + 28, X + 160, Y + 40);
  canvas.SetBrush(0x2020A0);
  canvas.Rectangle(X + 62, Y + 58, X + 118, Y + 64);  // lower seal
  canvas.SetBrush(0x707070);
  canvas.Rectangle(X + 78, Y + 64, X + 102, Y + 74);  // nozzle
  canvas.SetPen(0xC08040, 1);
  for (int dx = -30; dx <= 30; dx += 10) canvas.Line(X + 90, Y + 75, X + 90 + dx, Y + 95);
}

}  // namespace

BpcTable BpcColumnAt(int x, int y) {
  if (BPC_VAC_COLUMN.Contains(x, y)) return BpcTable::Vac;
  if (BPC_BOOST_COLUMN.Contains(x, y)) return BpcTable::Boost;
  return BpcTable::None;
}

BpcRowPlace BpcRowPosition(BpcTable table, int editorVersion, int row) {
  if (editorVersion != 5) return {94 + 24 * row, 92 + 24 * row};
  if (table == BpcTable::Boost) return {334 - 24 * row, 332 - 24 * row};
  return {478 - 24 * row, 476 - 24 * row};
}

void PaintBpcWindow(Canvas& canvas, const UtilitySettings& in, const BpcResults& r, BpcTable selected) {
  canvas.FillRect(0, 0, 800, 600, COLOUR_BACKGROUND);
  canvas.SetFont(FontId::Title);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  canvas.Text(321, 6, "BPC Calculation");

  UseLabelText(canvas);
  canvas.Text(86, 176, "CI.");
  canvas.Text(130, 176, Format("%3.1fL", r.litres));
  canvas.Text(76, 233, "psi");
  canvas.Text(86, 290, "#/Hour");

  PaintFrame(canvas, VAC_AREA);
  PaintFrame(canvas, BOOST_AREA);
  PaintFrame(canvas, MISC_AREA);
  PaintTable(canvas, BpcTable::Vac, in, r);
  PaintTable(canvas, BpcTable::Boost, in, r);
  PaintMisc(canvas, r);
  PaintPicture(canvas);

  if (selected == BpcTable::Vac)
    canvas.InvertRect(BPC_VAC_COLUMN.left, BPC_VAC_COLUMN.top, BPC_VAC_COLUMN.right, BPC_VAC_COLUMN.bottom);
  if (selected == BpcTable::Boost)
    canvas.InvertRect(BPC_BOOST_COLUMN.left, BPC_BOOST_COLUMN.top, BPC_BOOST_COLUMN.right, BPC_BOOST_COLUMN.bottom);
}

}  // namespace zrm
