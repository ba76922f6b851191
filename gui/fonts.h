// The program's fonts, made once per process from their descriptions.
//
// A height is that of the whole character cell (ascent plus descent), as the
// Windows programs ask for it, so the pixel size of each font is the largest
// whose cell fits. Courier New and Arial are asked for with Liberation Mono
// and Liberation Sans behind them, which share their metrics. Text is drawn
// without antialiasing or kerning, as on the Windows programs' screens.
// Needs a QGuiApplication; usable from any thread after that.
#pragma once

#include <QFont>

#include "platform/canvas.h"

namespace zrm {

const QFont& FontFor(FontId id);

// The cell height a font was asked for (14 for the small font, ...).
int FontCellHeight(FontId id);

}  // namespace zrm
