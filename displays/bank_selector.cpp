#include "displays/bank_selector.h"

#include <cstdio>

namespace zrm {

namespace {

// The highlight's corners are (50 b + 23, 4) and (50 b + 71, 75).
void HighlightOutline(Canvas& canvas, int bank, bool shown) {
  if (!BankHighlighted(bank)) return;
  if (shown) {
    canvas.SetPen(BANK_HIGHLIGHT, 1, PenStyle::Dot);
  } else {
    canvas.SetPen(COLOUR_BACKGROUND, 1);
  }
  canvas.SetNullBrush();
  const int left = BANK_SQUARE_PITCH * bank + 23;
  canvas.Rectangle(left, 4, left + 49, 76);
}

}  // namespace

int BankUnderCursor(int x) { return x >= BANK_CELL_X0 ? (x - BANK_CELL_X0) / BANK_SQUARE_PITCH : NO_BANK; }

bool BankHighlighted(int bank) { return bank >= 0 && bank < SELECTOR_BANKS; }

int BankClicked(int downX, int upX) {
  auto inside = [](int x) { return x >= BANK_CELL_X0 && x <= BANK_CLICK_RIGHT; };
  if (!inside(downX) || !inside(upX)) return NO_BANK;
  const int bank = BankUnderCursor(downX);
  if (bank != BankUnderCursor(upX) || bank >= SELECTOR_BANKS) return NO_BANK;
  return bank;
}

void BankSelector::RefreshBanks(Canvas& canvas, int activeBank) {
  for (int k = 0; k < SELECTOR_BANKS; ++k) {
    const int x = BANK_SQUARE_X0 + BANK_SQUARE_PITCH * k;
    canvas.FillRect(x, BANK_SQUARE_Y, x + BANK_SQUARE_SIZE, BANK_SQUARE_Y + BANK_SQUARE_SIZE,
                    k == activeBank ? BANK_ACTIVE : BANK_INACTIVE);
  }
}

void BankSelector::PaintBankSelector(Canvas& canvas, int activeBank) {
  {
    std::lock_guard lock(mutex_);
    hoverBank_ = NO_BANK;
  }
  canvas.SetFont(FontId::List);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  for (int k = 0; k < SELECTOR_BANKS; ++k) {
    char label[4];
    std::snprintf(label, sizeof label, "%d", k);
    canvas.Text(BANK_SQUARE_PITCH * k + 43, BANK_LABEL_Y, label);
    const int x = BANK_SQUARE_X0 + BANK_SQUARE_PITCH * k;
    // The outline's corners are (x - 1, y - 1) and (x + 45, y + 45), around the square.
    canvas.Rectangle(x - 1, BANK_SQUARE_Y - 1, x + BANK_SQUARE_SIZE + 1, BANK_SQUARE_Y + BANK_SQUARE_SIZE + 1);
  }
  RefreshBanks(canvas, activeBank);
}

void BankSelector::SetHover(Canvas& canvas, int bank) {
  std::lock_guard lock(mutex_);
  if (bank == hoverBank_) return;
  HighlightOutline(canvas, hoverBank_, false);
  HighlightOutline(canvas, bank, true);
  hoverBank_ = bank;
}

void BankSelector::MouseMove(Canvas& canvas, int x) { SetHover(canvas, BankUnderCursor(x)); }

void BankSelector::MouseLeave(Canvas& canvas) { SetHover(canvas, NO_BANK); }

void BankSelector::MouseDown(int x) {
  std::lock_guard lock(mutex_);
  downX_ = x;
}

int BankSelector::MouseUp(int x) {
  std::lock_guard lock(mutex_);
  const int bank = downX_ < 0 ? NO_BANK : BankClicked(downX_, x);
  downX_ = -1;
  return bank;
}

int BankSelector::HoverBank() const {
  std::lock_guard lock(mutex_);
  return hoverBank_;
}

}  // namespace zrm
