// The status panel at the left of every live display, the port line the
// CommThread redraws, the activity indicator, and the controller line of the
// gauge display.
#pragma once

#include <array>
#include <string>

#include "platform/canvas.h"

namespace zrm {

// What the panel shows, gathered by the window program from the runtime
// record, the link and the log, playback and VE-learn states.
struct StatusPanelValues {
  int hours = 0, minutes = 0, seconds = 0;
  int promId = 0;
  bool multiPort = false;
  int cylinders = 0;
  int mapSensorBars = 1;
  bool flashModel = false;
  int flashBank = 0;
  std::string port;
  bool portOpen = false;
  bool portNoData = false;  // open, but no frame for a while: "No Data"
  std::string fileName;   // the open log's name, else the playback file's, else empty
  bool logOpen = false;
  bool logPaused = false;
  std::string logNote;    // a logging key's confirmation while it is shown
  bool playbackRunning = false;
  bool playbackAtEnd = false;
  bool playbackPaused = false;
  bool veLearnRunning = false;
  int learnInput = 0;     // [LRNINP]: 0 BLM, 1 wideband
  bool linkAlive = false;
  int firmwareMinor = 0;
};

struct SpokeEnds {
  int innerX, innerY, outerX, outerY;
};

constexpr int ACTIVITY_SPOKES = 12;
constexpr Colour SPOKE_IDLE = 0xF0F0F0;

// The 12 spokes of the activity indicator around (740, 40).
const std::array<SpokeEnds, ACTIVITY_SPOKES>& ActivitySpokes();

// Labels, values, the port line and, unless playback runs, the indicator ring.
void PaintStatusPanel(Canvas& canvas, const StatusPanelValues& values);
// The values only (the per-frame redraw).
void PaintStatusValues(Canvas& canvas, const StatusPanelValues& values);
// "Open", "Closed", or "No Data" (warning colour) for an open port that
// brings nothing, in place of "Open" and over a cleared field.
void PaintPortLine(Canvas& canvas, const std::string& port, bool open, bool noData = false);
// The port's name as it fits in `width` pixels: a port name ("COM12") as it
// is; a device path as it is, else by its file name, else by the end of that
// behind "..".
std::string FittedPortName(Canvas& canvas, const std::string& port, int width);
// The logging state, or while it is shown the confirmation of a logging key.
void PaintLoggingStatus(Canvas& canvas, const StatusPanelValues& values);
// " OFF   ", "  ON   ", "  Pause" or " EOF   " (the last two in the warning colour).
void PaintPlaybackStatus(Canvas& canvas, const StatusPanelValues& values);
// Moves the dark spoke on by one; `spoke` is the current spoke, updated.
void StepActivitySpinner(Canvas& canvas, int& spoke);
// The gauge display's controller line at (280, 534).
void PaintControllerLine(Canvas& canvas, const StatusPanelValues& values);
std::string ControllerLineText(const StatusPanelValues& values);

}  // namespace zrm
