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
void PaintPortField(Canvas& canvas, const std::string& port, bool open) {
  PanelText(canvas);
  const int left = 10 + canvas.TextWidth("Port: ");
  canvas.FillRect(left, PORT_Y, PORT_STATE_RIGHT + 1, PORT_Y + canvas.TextHeight(), COLOUR_BACKGROUND);
  canvas.Text(PORT_NAME_RIGHT, PORT_Y, FittedPortName(canvas, port, PORT_NAME_RIGHT - left), TextAlign::Right);
  canvas.Text(PORT_STATE_RIGHT, PORT_Y, open ? "Open" : "Closed", TextAlign::Right);
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

void PaintPortLine(Canvas& canvas, const std::string& port, bool open) { PaintPortField(canvas, port, open); }

void PaintLoggingStatus(Canvas& canvas, const StatusPanelValues& v) {
  PanelText(canvas);
  if (!v.logOpen) {
    canvas.Text(130, 142, " OFF   ", TextAlign::Right);
  } else if (v.logPaused) {
    canvas.SetTextColour(COLOUR_WARNING);
    canvas.Text(130, 142, "  Pause", TextAlign::Right);
    canvas.SetTextColour(COLOUR_TEXT);
  } else {
    canvas.Text(130, 142, "  ON   ", TextAlign::Right);
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
  PaintPortField(canvas, v.port, v.portOpen);
  PanelText(canvas);
  PaintLoggingStatus(canvas, v);
  if (!v.playbackRunning) {
    canvas.Text(130, 160, " OFF   ", TextAlign::Right);
  } else if (v.playbackAtEnd) {
    canvas.SetTextColour(COLOUR_WARNING);
    canvas.Text(130, 160, " EOF   ", TextAlign::Right);
    canvas.SetTextColour(COLOUR_TEXT);
  } else {
    canvas.Text(130, 160, "  ON   ", TextAlign::Right);
  }
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
