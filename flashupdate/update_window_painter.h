// What ZRM_FlashUpdate's main window draws, at fixed pixel positions on its
// 800 x 600 client area: the title, the introduction (before the first
// update) or the message window (from then on), the port status line and
// the picture.
#pragma once

#include <string>

#include "flash/message_window.h"
#include "platform/canvas.h"

namespace zrm {

constexpr const char* UPDATE_WINDOW_TITLE = "Tarnwell Flash ECM Update Utility";
constexpr int INTRODUCTION_LINE_COUNT = 13;
extern const char* const INTRODUCTION_LINES[INTRODUCTION_LINE_COUNT];

// The update utility's message window: 20 lines of 80 characters in its
// 17-pixel bold face.
MessageWindowLayout UpdateMessageLayout();

// x of the title: 400 - (length / 2) * 11.
int UpdateTitleX(const std::string& title);

void PaintUpdateTitle(Canvas& canvas);
void PaintIntroduction(Canvas& canvas);
// "%s:" of the port and "Open  " or "Closed", right-aligned at y 72.
void PaintUpdatePortLine(Canvas& canvas, const std::string& port, bool open);
// The picture in its 200 x 100 box at 480, 50.
void PaintUpdatePicture(Canvas& canvas);

// The whole static layer; `messages` is replayed instead of the
// introduction once an update has been started.
void PaintUpdateWindow(Canvas& canvas, bool started, const std::string& port, bool portOpen,
                       const MessageWindow& messages);

}  // namespace zrm
