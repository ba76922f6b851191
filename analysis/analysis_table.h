// The analysis display's table (display mode 5): 26 rows of the view file
// from the top row, coloured by row kind and by run-time second, a selected
// row kept as the kind character "9" in the view file itself, the scrolling,
// the row picked by a click, and "Find Mark". Plain state and a painter; the
// window places the controls and forwards the input.
#pragma once

#include <string>

#include "analysis/view_file.h"
#include "platform/canvas.h"

namespace zrm {

// Table geometry in main-window client pixels.
constexpr int TABLE_LEFT = 1;
constexpr int TABLE_TOP = 104;
constexpr int TABLE_RIGHT = 773;
constexpr int TABLE_BOTTOM = 546;
constexpr int TABLE_ROWS = 26;
constexpr int TABLE_ROW_HEIGHT = 17;
constexpr int TABLE_TEXT_X = 3;
constexpr int TABLE_SCROLL_WIDTH = 18;
// A click selects a row only when the button comes up this close (exclusive)
// to where it went down.
constexpr int CLICK_SLOP = 5;

constexpr Colour ROW_EVEN_SECOND = 0xF0F0F0;
constexpr Colour ROW_ODD_SECOND = 0xDCDCDC;
constexpr Colour ROW_MARKER_COLOUR = 0x71F7F5;
constexpr Colour ROW_STAMP_COLOUR = 0x67F567;
constexpr Colour ROW_SELECTED_COLOUR = 0xF56767;

// The background of a record's row: by kind, and for normal rows by the
// last digit of its run-time seconds, so one second's rows share a shade.
Colour RowColour(const char* record);

// The two header lines over the table for the unit switches.
std::string TableHeaderUpper();
std::string TableHeaderLower(int speedInKph, int temperatureScale);

// Vertical scroll-bar requests, as the scroll bar, keys and wheel give them.
enum class ScrollRequest { LineUp, LineDown, PageUp, PageDown, Track, Top, Bottom, EndScroll };

enum class FindMarkResult { Found, NoLog, EndOfFile };

class AnalysisTable {
 public:
  // The view the table shows; nullptr when none. Top row 0, no selection.
  void Attach(ViewFile* view);
  ViewFile* View() const { return view_; }
  long Rows() const { return view_ ? view_->Rows() : 0; }

  // Scroll bar: range 0 to rows - 1 with a page of 26, so its position runs
  // from 0 to rows - 26.
  long ScrollMax() const;
  long ScrollPosition() const { return position_; }
  long TopRow() const { return top_; }
  long SelectedRow() const { return selected_; }

  // Applies a request; the top row moves with the scroll position. True when
  // the top row changed.
  bool Scroll(ScrollRequest request, long trackPosition = 0);
  // Makes `row` the top row and puts the scroll position there (as far as
  // the bar goes).
  void SetTopRow(long row);

  // The row under a point of the text area (at most 25 below the top row),
  // or -1 outside it.
  long RowAt(int x, int y) const;
  // A button press and its release: selects the row under the release, or
  // clears the selection below the last row. False when the release is not
  // a click on the text area (moved too far, or outside).
  bool Click(int pressX, int pressY, int releaseX, int releaseY);
  // Selects `row` (the kind of the previous selection is restored), or
  // clears the selection when `row` is not in the view.
  void Select(long row);
  void ClearSelection();

  // "Find Mark": the next row after the top row that is not a normal row
  // (a marker, a time stamp or the selected row) becomes the top row.
  FindMarkResult FindNextMark();

  // The table: header lines, 26 rows from the top row in their colours, the
  // frame, and the log's file name.
  void Paint(Canvas& canvas, const std::string& fileName, int speedInKph, int temperatureScale);
  // Only the 26 rows (after a scroll or a selection).
  void PaintRows(Canvas& canvas);

 private:
  ViewFile* view_ = nullptr;
  long top_ = 0;
  long position_ = 0;
  long selected_ = -1;
  char selectedKind_ = ROW_NORMAL;
};

}  // namespace zrm
