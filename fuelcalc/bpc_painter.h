// ZRM_Utility's window body: the title, the three framed result areas with
// their axis labels and values, the units and litres beside the number
// fields, "Misc Data", the picture and the inverted table selection. The
// group boxes and their controls are child windows placed over it.
#pragma once

#include "fuelcalc/bpc.h"
#include "fuelcalc/utility_config.h"
#include "platform/canvas.h"

namespace zrm {

constexpr Colour BPC_VALUE_COLOUR = 0x0A0ABE;  // the table values, red

// A table's value column: the area that selects it and is inverted while it
// is selected (left and top inside, right and bottom outside).
struct BpcColumnRect {
  int left, top, right, bottom;
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};
constexpr BpcColumnRect BPC_VAC_COLUMN{302, 90, 382, 498};
constexpr BpcColumnRect BPC_BOOST_COLUMN{494, 90, 574, 354};

// The value column at a client point, or None.
BpcTable BpcColumnAt(int x, int y);

// Where row i of a table is drawn: the label's and the value's y.
struct BpcRowPlace {
  int labelY;
  int valueY;
};
BpcRowPlace BpcRowPosition(BpcTable table, int editorVersion, int row);

// The whole window body for the inputs and their results.
void PaintBpcWindow(Canvas& canvas, const UtilitySettings& inputs, const BpcResults& results, BpcTable selected);

}  // namespace zrm
