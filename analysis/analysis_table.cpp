#include "analysis/analysis_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace zrm {

namespace {

constexpr int SECONDS_LAST_DIGIT_COLUMN = VIEW_COL_RUNTIME + 6;  // "h:mm:ss"
constexpr int HEADER_UPPER_OFFSET = 34;
constexpr int HEADER_LOWER_OFFSET = 20;
constexpr int FILE_NAME_X = 20;
constexpr int FILE_NAME_Y = 8;
constexpr std::size_t FILE_NAME_LONGEST = 30;

}  // namespace

Colour RowColour(const char* record) {
  switch (record[0]) {
    case ROW_MARKER: return ROW_MARKER_COLOUR;
    case ROW_STAMP: return ROW_STAMP_COLOUR;
    case ROW_SELECTED: return ROW_SELECTED_COLOUR;
    default: return (record[SECONDS_LAST_DIGIT_COLUMN] - '0') % 2 == 0 ? ROW_EVEN_SECOND : ROW_ODD_SECOND;
  }
}

std::string TableHeaderUpper() {
  return " RUNTIME          MAP TPS CTS IAT   O2 Gms SA  sPW  aPW  DC AE  PE  CL                 WB  aePW";
}

std::string TableHeaderLower(int speedInKph, int temperatureScale) {
  char text[128];
  const char t = temperatureScale == 1 ? 'C' : 'F';
  std::snprintf(text, sizeof text,
                " h:mm:ss  RPM %cPH KPa   %%  \xB0%c  \xB0%c   mV Sec  \xB0   mS   mS   %%   DE  DC  LN INT BLM IAC  AFR    mS",
                speedInKph == 1 ? 'K' : 'M', t, t);
  return text;
}

void AnalysisTable::Attach(ViewFile* view) {
  view_ = view;
  top_ = 0;
  position_ = 0;
  selected_ = -1;
  selectedKind_ = ROW_NORMAL;
}

long AnalysisTable::ScrollMax() const { return std::max(0L, Rows() - TABLE_ROWS); }

bool AnalysisTable::Scroll(ScrollRequest request, long trackPosition) {
  if (!view_) return false;
  const long before = top_;
  long position = position_;
  switch (request) {
    case ScrollRequest::LineUp: position -= 1; break;
    case ScrollRequest::LineDown: position += 1; break;
    case ScrollRequest::PageUp: position -= TABLE_ROWS; break;
    case ScrollRequest::PageDown: position += TABLE_ROWS; break;
    case ScrollRequest::Track: position = trackPosition; break;
    case ScrollRequest::Top: position = 0; break;
    case ScrollRequest::Bottom: position = ScrollMax(); break;
    case ScrollRequest::EndScroll: return false;
  }
  position = std::clamp(position, 0L, ScrollMax());
  if (request == ScrollRequest::Top || request == ScrollRequest::Bottom || request == ScrollRequest::Track) {
    top_ = position;
  } else {
    // After "Find Mark" the top row may stand below the bar's last position;
    // the lines and pages move it by what the bar moved.
    top_ = std::max(0L, top_ + (position - position_));
  }
  position_ = position;
  return top_ != before;
}

void AnalysisTable::SetTopRow(long row) {
  top_ = std::max(0L, row);
  position_ = std::min(top_, ScrollMax());
}

long AnalysisTable::RowAt(int x, int y) const {
  if (x < TABLE_LEFT || x > TABLE_RIGHT || y < TABLE_TOP || y > TABLE_BOTTOM) return -1;
  return top_ + std::min((y - TABLE_TOP) / TABLE_ROW_HEIGHT, TABLE_ROWS - 1);
}

bool AnalysisTable::Click(int pressX, int pressY, int releaseX, int releaseY) {
  if (std::abs(releaseX - pressX) >= CLICK_SLOP || std::abs(releaseY - pressY) >= CLICK_SLOP) return false;
  const long row = RowAt(releaseX, releaseY);
  if (row < 0) return false;
  Select(row);
  return true;
}

void AnalysisTable::ClearSelection() {
  if (view_ && selected_ >= 0) view_->SetKind(selected_, selectedKind_);
  selected_ = -1;
  selectedKind_ = ROW_NORMAL;
}

void AnalysisTable::Select(long row) {
  char record[VIEW_RECORD_SIZE];
  if (!view_ || row < 0 || row >= Rows()) {
    // The old row gets its kind back, so no stale "9" stays in the file.
    ClearSelection();
    return;
  }
  if (row == selected_) return;
  ClearSelection();
  if (view_->Read(row, record) != 0) return;
  selectedKind_ = record[0];
  if (view_->SetKind(row, ROW_SELECTED) == 0) selected_ = row;
}

FindMarkResult AnalysisTable::FindNextMark() {
  if (!view_) return FindMarkResult::NoLog;
  if (top_ + TABLE_ROWS >= Rows()) return FindMarkResult::EndOfFile;
  std::vector<char> block(static_cast<std::size_t>(512) * VIEW_RECORD_SIZE);
  for (long row = top_ + 1; row < Rows();) {
    const int got = view_->ReadRows(row, 512, block.data());
    if (got <= 0) break;
    for (int i = 0; i < got; ++i) {
      if (block[static_cast<std::size_t>(i) * VIEW_RECORD_SIZE] != ROW_NORMAL) {
        SetTopRow(row + i);
        return FindMarkResult::Found;
      }
    }
    row += got;
  }
  return FindMarkResult::EndOfFile;
}

void AnalysisTable::PaintRows(Canvas& canvas) {
  canvas.SetFont(FontId::Small);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  const std::string blank(VIEW_TEXT_LENGTH, ' ');
  std::vector<char> records(static_cast<std::size_t>(TABLE_ROWS) * VIEW_RECORD_SIZE);
  const int got = view_ ? view_->ReadRows(top_, TABLE_ROWS, records.data()) : 0;
  for (int i = 0; i < TABLE_ROWS; ++i) {
    const int y = TABLE_TOP + i * TABLE_ROW_HEIGHT;
    canvas.FillRect(TABLE_LEFT, y, TABLE_RIGHT, y + TABLE_ROW_HEIGHT, COLOUR_BACKGROUND);
    if (i >= got) {
      canvas.SetBackColour(COLOUR_BACKGROUND);
      canvas.Text(TABLE_TEXT_X, y, blank);
      continue;
    }
    const char* record = records.data() + static_cast<std::size_t>(i) * VIEW_RECORD_SIZE;
    canvas.SetBackColour(RowColour(record));
    canvas.Text(TABLE_TEXT_X, y, std::string_view(record + VIEW_TEXT_COLUMN, VIEW_TEXT_LENGTH));
  }
}

void AnalysisTable::Paint(Canvas& canvas, const std::string& fileName, int speedInKph, int temperatureScale) {
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  if (view_) {
    canvas.SetFont(FontId::Small);
    canvas.Text(FILE_NAME_X, FILE_NAME_Y, std::string(FILE_NAME_LONGEST, ' '));
    canvas.Text(FILE_NAME_X, FILE_NAME_Y, fileName.substr(0, FILE_NAME_LONGEST));
  }
  canvas.SetFont(FontId::Small);
  canvas.Text(TABLE_TEXT_X, TABLE_TOP - HEADER_UPPER_OFFSET, TableHeaderUpper());
  canvas.Text(TABLE_TEXT_X, TABLE_TOP - HEADER_LOWER_OFFSET, TableHeaderLower(speedInKph, temperatureScale));
  // The frame around the text area and the scroll bar beside it.
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  canvas.Rectangle(TABLE_LEFT - 1, TABLE_TOP - 1, TABLE_RIGHT + TABLE_SCROLL_WIDTH + 1, TABLE_BOTTOM + 1);
  PaintRows(canvas);
}

}  // namespace zrm
