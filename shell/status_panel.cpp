#include "shell/status_panel.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace zrm {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::string Format(const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void PanelText(Canvas& canvas) {
  canvas.SetFont(FontId::Normal);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
}

const char* OnOff(bool on) { return on ? "  ON   " : " OFF   "; }

constexpr int PORT_Y = 120;
constexpr int PORT_NAME_RIGHT = 90;
constexpr int PORT_STATE_RIGHT = 142;

// The port line's field, from behind its label to the end of the state, is
// cleared first so a shorter name leaves nothing of a longer one; the name
// is fitted between the label and x 90.
void PaintPortField(Canvas& canvas, const std::string& port, bool open, bool noData) {
  PanelText(canvas);
  const int left = 10 + canvas.TextWidth("Port: ");
  canvas.FillRect(left, PORT_Y, PORT_STATE_RIGHT + 1, PORT_Y + canvas.TextHeight(), COLOUR_BACKGROUND);
  canvas.Text(PORT_NAME_RIGHT, PORT_Y, FittedPortName(canvas, port, PORT_NAME_RIGHT - left), TextAlign::Right);
  // The panel has no room for a third word on this line: "No Data" stands
  // for "Open" (a closed port would say "Closed"), and the name stays.
  if (open && noData) canvas.SetTextColour(COLOUR_WARNING);
  canvas.Text(PORT_STATE_RIGHT, PORT_Y, !open ? "Closed" : noData ? "No Data" : "Open", TextAlign::Right);
  canvas.SetTextColour(COLOUR_TEXT);
}

constexpr int STATE_RIGHT = 130;

// A state value on the "Logging: " or "Playback: " line, right-aligned at x
// 130 over its cleared field: a confirmation is wider than the states.
void PaintStateValue(Canvas& canvas, const char* label, int y, const std::string& text, Colour colour) {
  PanelText(canvas);
  canvas.FillRect(10 + canvas.TextWidth(label), y, STATE_RIGHT + 1, y + canvas.TextHeight(), COLOUR_BACKGROUND);
  canvas.SetTextColour(colour);
  canvas.Text(STATE_RIGHT, y, text, TextAlign::Right);
  canvas.SetTextColour(COLOUR_TEXT);
}

}  // namespace

const std::array<SpokeEnds, ACTIVITY_SPOKES>& ActivitySpokes() {
  static const std::array<SpokeEnds, ACTIVITY_SPOKES> spokes = [] {
    std::array<SpokeEnds, ACTIVITY_SPOKES> table{};
    for (int k = 0; k < ACTIVITY_SPOKES; ++k) {
      double t = (360.0 - (1 + 30 * k)) * kPi / 180.0;
      table[k] = {static_cast<int>(std::sin(t) * 8 + 740), static_cast<int>(std::cos(t) * 8 + 40),
                  static_cast<int>(std::sin(t) * 20 + 740), static_cast<int>(std::cos(t) * 20 + 40)};
    }
    return table;
  }();
  return spokes;
}

std::string FittedPortName(Canvas& canvas, const std::string& port, int width) {
  // "COM1" to "COM40" stand as they always have; only a device path is fitted.
  if (port.empty() || port[0] != '/' || canvas.TextWidth(port) <= width) return port;
  // A device path reads by its file name (the by-id name, ttyUSB0).
  std::string name = port.substr(port.find_last_of('/') + 1);
  if (canvas.TextWidth(name) <= width) return name;
  // Still too wide: its end, which tells such names apart.
  while (name.size() > 1 && canvas.TextWidth(".." + name) > width) name.erase(0, 1);
  return ".." + name;
}

void PaintPortLine(Canvas& canvas, const std::string& port, bool open, bool noData) {
  PaintPortField(canvas, port, open, noData);
}

void PaintLoggingStatus(Canvas& canvas, const StatusPanelValues& v) {
  if (!v.logOpen) {
    PaintStateValue(canvas, "Logging: ", 142, " OFF   ", COLOUR_TEXT);
  } else if (v.logPaused) {
    PaintStateValue(canvas, "Logging: ", 142, "  Pause", COLOUR_WARNING);
  } else if (!v.logNote.empty()) {
    PaintStateValue(canvas, "Logging: ", 142, v.logNote, COLOUR_TEXT);
  } else {
    PaintStateValue(canvas, "Logging: ", 142, "  ON   ", COLOUR_TEXT);
  }
}

void PaintPlaybackStatus(Canvas& canvas, const StatusPanelValues& v) {
  if (!v.playbackRunning) {
    PaintStateValue(canvas, "Playback: ", 160, " OFF   ", COLOUR_TEXT);
  } else if (v.playbackAtEnd) {
    PaintStateValue(canvas, "Playback: ", 160, " EOF   ", COLOUR_WARNING);
  } else if (v.playbackPaused) {
    PaintStateValue(canvas, "Playback: ", 160, "  Pause", COLOUR_WARNING);
  } else {
    PaintStateValue(canvas, "Playback: ", 160, "  ON   ", COLOUR_TEXT);
  }
}

void PaintStatusValues(Canvas& canvas, const StatusPanelValues& v) {
  PanelText(canvas);
  canvas.Text(140, 10, Format("  %02d:%02d:%02d", v.hours, v.minutes, v.seconds), TextAlign::Right);
  canvas.Text(10, 29, v.fileName.empty() ? std::string(40, ' ') : Format("%-20s", v.fileName.c_str()));
  canvas.Text(140, 48, Format("     %5u", static_cast<unsigned>(v.promId)), TextAlign::Right);
  canvas.Text(140, 66, Format("%s  %d", v.multiPort ? "MPFI," : "   TBI,", v.cylinders), TextAlign::Right);
  canvas.Text(144, 84, Format("%d-Bar ", v.mapSensorBars), TextAlign::Right);
  canvas.Text(142, 102, v.flashModel ? Format("     %5u", static_cast<unsigned>(v.flashBank)) : "      none",
              TextAlign::Right);
  PaintPortField(canvas, v.port, v.portOpen, v.portNoData);
  PaintLoggingStatus(canvas, v);
  PaintPlaybackStatus(canvas, v);
  PanelText(canvas);
  canvas.Text(130, 178, OnOff(v.veLearnRunning), TextAlign::Right);
  if (v.veLearnRunning) canvas.Text(130, 196, v.learnInput == 0 ? " BLM   " : "  WB   ", TextAlign::Right);
}

void PaintStatusPanel(Canvas& canvas, const StatusPanelValues& v) {
  PanelText(canvas);
  const struct {
    int y;
    const char* label;
  } labels[] = {{10, "RunTime: "},  {48, "PromId:  "}, {66, "Inject/Cyl: "}, {84, "MAP Sensor: "},
                {102, "Flash Bank: "}, {120, "Port: "}, {142, "Logging: "},   {160, "Playback: "},
                {178, "LearnVE: "}};
  for (const auto& l : labels) canvas.Text(10, l.y, l.label);
  if (v.veLearnRunning) canvas.Text(10, 196, "LearnFrom: ");
  PaintStatusValues(canvas, v);
  if (!v.playbackRunning) {
    canvas.SetPen(SPOKE_IDLE, 3);
    for (const SpokeEnds& s : ActivitySpokes()) canvas.Line(s.innerX, s.innerY, s.outerX, s.outerY);
  }
}

void StepActivitySpinner(Canvas& canvas, int& spoke) {
  const auto& spokes = ActivitySpokes();
  const SpokeEnds& old = spokes[static_cast<std::size_t>(spoke)];
  canvas.SetPen(SPOKE_IDLE, 3);
  canvas.Line(old.innerX, old.innerY, old.outerX, old.outerY);
  spoke = (spoke + 1) % ACTIVITY_SPOKES;
  const SpokeEnds& now = spokes[static_cast<std::size_t>(spoke)];
  canvas.SetPen(COLOUR_TEXT, 3);
  canvas.Line(now.innerX, now.innerY, now.outerX, now.outerY);
}

std::string ControllerLineText(const StatusPanelValues& v) {
  if (!v.linkAlive) return std::string(40, ' ');
  if (v.flashModel) return Format("%11s ", "ZRM Flash,") + Format("ECM Firmware Version: 2.%d", v.firmwareMinor);
  return Format("%11s ", "         ZRM Classic");
}

void PaintControllerLine(Canvas& canvas, const StatusPanelValues& v) {
  canvas.SetFont(FontId::Small);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.Text(280, 534, ControllerLineText(v));
}

}  // namespace zrm
