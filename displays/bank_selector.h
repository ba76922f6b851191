// The flash-bank selector's model and painter: eight squares for the
// calibration banks 0 to 7, the active one lit, a dotted highlight round the
// bank under the mouse, and the click that makes a bank active.
//
// Bank k's square is 45 x 45 pixels at (25 + 50 k, 10); the bank under the
// mouse is (x - 22) / 50 for x from 22 on (the cells are 50 pixels wide,
// centred on the squares), whatever y is. A click is a press and a release
// in 22 to 425 on the same bank: pressing on bank 2 and releasing on bank 3
// sends nothing.
#pragma once

#include <mutex>

#include "platform/canvas.h"

namespace zrm {

constexpr int SELECTOR_BANKS = 8;
constexpr int BANK_SQUARE_X0 = 25;
constexpr int BANK_SQUARE_PITCH = 50;
constexpr int BANK_SQUARE_Y = 10;
constexpr int BANK_SQUARE_SIZE = 45;
constexpr int BANK_CELL_X0 = 22;
constexpr int BANK_CLICK_RIGHT = 425;
constexpr int BANK_LABEL_Y = 58;
constexpr Colour BANK_ACTIVE = 0x0099FF;    // orange
constexpr Colour BANK_INACTIVE = 0x0A500A;  // dark green
constexpr Colour BANK_HIGHLIGHT = 0x0F0F0F;
constexpr int NO_BANK = -1;

// The bank cell under x: (x - 22) / 50 from x 22 on (8 and more lie right
// of the squares), else NO_BANK.
int BankUnderCursor(int x);
// A highlight is drawn round banks 0 to 7 only.
bool BankHighlighted(int bank);
// The bank a press at downX and a release at upX choose, or NO_BANK.
int BankClicked(int downX, int upX);

class BankSelector {
 public:
  // Window paint: labels, outlines and the squares, `activeBank` lit. The
  // highlight is gone after a paint.
  void PaintBankSelector(Canvas& canvas, int activeBank);
  // DisplayThread, when the streamed bank changes: all eight squares refilled.
  static void RefreshBanks(Canvas& canvas, int activeBank);

  // Mouse moves over the window: when the bank under the cursor changes,
  // the old highlight is erased and the new one drawn.
  void MouseMove(Canvas& canvas, int x);
  // The mouse left the window: the highlight is erased.
  void MouseLeave(Canvas& canvas);
  void MouseDown(int x);
  // The bank to make active, or NO_BANK.
  int MouseUp(int x);

  int HoverBank() const;

 private:
  void SetHover(Canvas& canvas, int bank);

  mutable std::mutex mutex_;
  int hoverBank_ = NO_BANK;
  int downX_ = -1;
};

}  // namespace zrm
