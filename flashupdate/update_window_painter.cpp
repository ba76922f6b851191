#include "flashupdate/update_window_painter.h"

namespace zrm {

namespace {

void PlainText(Canvas& canvas, FontId font) {
  canvas.SetFont(font);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
}

}  // namespace

const char* const INTRODUCTION_LINES[INTRODUCTION_LINE_COUNT] = {
    "This utility is to update your current ZRM Flash ECM to version 2.7-B",
    " ",
    "The upgrade process retains all of your current calibration parameters. This utility ",
    "also updates the calibrations in the ECM and saves them to your disk drive. Note that ",
    "if your current ZRM ECM is version 2.0 you MUST use the newly updated calibrations. ",
    "Do NOT use any previous calibrations.",
    " ",
    "The new version of the ZRM Flash provides several new features from version 2.4 ",
    " ",
    "    1) Option to use just IAT for SA compensation (opposed to a blended IAT/CTS value)",
    "    2) The N2O system control is now progressive",
    " ",
    "To Update: select the proper COM port, key-on, engine-off, and press the button below to proceed. . . ",
};

MessageWindowLayout UpdateMessageLayout() {
  MessageWindowLayout layout = MessageWindowLayout::FlashUpdate();
  layout.font = FontId::ListBold;
  return layout;
}

int UpdateTitleX(const std::string& title) { return 400 - static_cast<int>(title.size() / 2) * 11; }

void PaintUpdateTitle(Canvas& canvas) {
  PlainText(canvas, FontId::Title);
  canvas.Text(UpdateTitleX(UPDATE_WINDOW_TITLE), 10, UPDATE_WINDOW_TITLE);
}

void PaintIntroduction(Canvas& canvas) {
  PlainText(canvas, FontId::Small);
  for (int n = 0; n < INTRODUCTION_LINE_COUNT; ++n) canvas.Text(60, 120 + 20 * n, INTRODUCTION_LINES[n]);
}

void PaintUpdatePortLine(Canvas& canvas, const std::string& port, bool open) {
  PlainText(canvas, FontId::Normal);
  canvas.Text(200, 72, std::string(20, ' '), TextAlign::Right);
  canvas.Text(178, 72, port + ":", TextAlign::Right);
  canvas.Text(230, 72, open ? "Open  " : "Closed", TextAlign::Right);
}

void PaintUpdatePicture(Canvas& canvas) {
  // A control module seen from above: the case, its connector pins and the
  // flash chip with its label.
  constexpr int X = 480, Y = 50;
  canvas.FillRect(X, Y, X + 200, Y + 100, RgbColour(60, 66, 74));
  canvas.SetPen(RgbColour(170, 176, 186), 2);
  canvas.SetNullBrush();
  canvas.Rectangle(X + 4, Y + 4, X + 196, Y + 96);
  for (int pin = 0; pin < 12; ++pin) canvas.FillRect(X + 14 + pin * 15, Y + 78, X + 22 + pin * 15, Y + 90, RgbColour(214, 180, 96));
  canvas.FillRect(X + 56, Y + 16, X + 144, Y + 62, RgbColour(24, 24, 28));
  for (int leg = 0; leg < 8; ++leg) {
    canvas.FillRect(X + 60 + leg * 11, Y + 12, X + 65 + leg * 11, Y + 16, RgbColour(200, 200, 200));
    canvas.FillRect(X + 60 + leg * 11, Y + 62, X + 65 + leg * 11, Y + 66, RgbColour(200, 200, 200));
  }
  canvas.SetFont(FontId::Small);
  canvas.SetTransparentText(true);
  canvas.SetTextColour(RgbColour(230, 230, 230));
  canvas.Text(X + 100, Y + 24, "ZRM", TextAlign::Centre);
  canvas.Text(X + 100, Y + 40, "2.7-B", TextAlign::Centre);
  canvas.SetTransparentText(false);
}

void PaintUpdateWindow(Canvas& canvas, bool started, const std::string& port, bool portOpen,
                       const MessageWindow& messages) {
  PaintUpdateTitle(canvas);
  if (started) {
    messages.RedrawMessages(canvas);
  } else {
    PaintIntroduction(canvas);
  }
  PaintUpdatePortLine(canvas, port, portOpen);
  PaintUpdatePicture(canvas);
}

}  // namespace zrm
