#include "gui/fonts.h"

#include <QFontMetrics>
#include <QStringList>
#include <array>
#include <mutex>

namespace zrm {

namespace {

struct FontRow {
  FontId id;
  int cellHeight;
  bool bold;
  bool fixedPitch;
};

constexpr FontRow FONT_ROWS[] = {
    {FontId::Small, 14, false, true},  {FontId::List, 17, false, true},  {FontId::Title, 24, false, false},
    {FontId::Value, 28, true, false},  {FontId::OemFixed, 12, false, true}, {FontId::Normal, 13, false, false},
    {FontId::ListBold, 17, true, true}, {FontId::OemLarge, 20, true, true},
};
constexpr int FONT_COUNT = static_cast<int>(std::size(FONT_ROWS));

QFont MakeFont(const FontRow& row) {
  QFont font;
  if (row.fixedPitch) {
    font.setFamilies(QStringList{QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
  } else {
    font.setFamilies(QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
  }
  font.setFixedPitch(row.fixedPitch);
  font.setBold(row.bold);
  font.setKerning(false);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
  int pixels = row.cellHeight;
  for (; pixels > 1; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).height() <= row.cellHeight) break;
  }
  font.setPixelSize(pixels);
  return font;
}

const std::array<QFont, FONT_COUNT>& Fonts() {
  static std::once_flag once;
  static std::array<QFont, FONT_COUNT> fonts;
  std::call_once(once, [] {
    for (int i = 0; i < FONT_COUNT; ++i) fonts[static_cast<std::size_t>(i)] = MakeFont(FONT_ROWS[i]);
  });
  return fonts;
}

int RowIndex(FontId id) {
  for (int i = 0; i < FONT_COUNT; ++i) {
    if (FONT_ROWS[i].id == id) return i;
  }
  return FONT_COUNT - 1;  // the normal font
}

}  // namespace

const QFont& FontFor(FontId id) { return Fonts()[static_cast<std::size_t>(RowIndex(id))]; }

int FontCellHeight(FontId id) { return FONT_ROWS[RowIndex(id)].cellHeight; }

}  // namespace zrm
