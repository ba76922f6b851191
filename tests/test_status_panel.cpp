// The status panel's texts, places and colours, the activity indicator, and
// the menu table's identifiers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "recording_canvas.h"
#include "link/frame_processor.h"
#include "shell/main_menu.h"
#include "shell/status_panel.h"

namespace zrm {
namespace {

StatusPanelValues Sample() {
  StatusPanelValues v;
  v.hours = 1;
  v.minutes = 2;
  v.seconds = 3;
  v.promId = 4711;
  v.multiPort = true;
  v.cylinders = 8;
  v.mapSensorBars = 2;
  v.flashModel = true;
  v.flashBank = 5;
  v.port = "COM12";
  v.portOpen = true;
  return v;
}

TEST(StatusPanel, ValuesRightAlignedWithTheirFormats) {
  test::RecordingCanvas canvas;
  PaintStatusPanel(canvas, Sample());
  struct Expect {
    int x, y;
    const char* text;
    TextAlign align;
  };
  const Expect expected[] = {
      {10, 10, "RunTime: ", TextAlign::Left},      {140, 10, "  01:02:03", TextAlign::Right},
      {140, 48, "      4711", TextAlign::Right},   {140, 66, "MPFI,  8", TextAlign::Right},
      {144, 84, "2-Bar ", TextAlign::Right},       {142, 102, "         5", TextAlign::Right},
      {90, 120, "COM12", TextAlign::Right},        {142, 120, "Open", TextAlign::Right},
      {130, 142, " OFF   ", TextAlign::Right},     {130, 160, " OFF   ", TextAlign::Right},
      {130, 178, " OFF   ", TextAlign::Right},     {10, 29, "                                        ", TextAlign::Left},
  };
  for (const Expect& e : expected) {
    const test::DrawnText* t = canvas.TextAt(e.x, e.y);
    ASSERT_NE(t, nullptr) << e.x << "," << e.y;
    EXPECT_EQ(t->text, e.text) << e.x << "," << e.y;
    EXPECT_EQ(t->align, e.align) << e.x << "," << e.y;
    EXPECT_EQ(t->colour, COLOUR_TEXT);
    EXPECT_EQ(t->back, COLOUR_BACKGROUND);
  }
  EXPECT_EQ(canvas.TextAt(10, 196), nullptr);  // LearnFrom only while VE learn runs
  // The indicator ring in the idle colour while no playback runs.
  ASSERT_EQ(canvas.lines.size(), 12u);
  for (const auto& line : canvas.lines) EXPECT_EQ(line.colour, SPOKE_IDLE);
}

TEST(StatusPanel, StatesAndWarningColour) {
  struct Case {
    const char* name;
    StatusPanelValues values;
    int x, y;
    const char* text;
    Colour colour;
  };
  StatusPanelValues tbi = Sample();
  tbi.multiPort = false;
  tbi.cylinders = 4;
  tbi.flashModel = false;
  StatusPanelValues paused = Sample();
  paused.logOpen = paused.logPaused = true;
  paused.fileName = "run1.dat";
  StatusPanelValues logging = Sample();
  logging.logOpen = true;
  StatusPanelValues atEnd = Sample();
  atEnd.playbackRunning = atEnd.playbackAtEnd = true;
  StatusPanelValues playing = Sample();
  playing.playbackRunning = true;
  StatusPanelValues learning = Sample();
  learning.veLearnRunning = true;
  learning.learnInput = 1;
  StatusPanelValues closed = Sample();
  closed.portOpen = false;
  const Case cases[] = {
      {"tbi", tbi, 140, 66, "   TBI,  4", COLOUR_TEXT},
      {"classic", tbi, 142, 102, "      none", COLOUR_TEXT},
      {"paused", paused, 130, 142, "  Pause", COLOUR_WARNING},
      {"file name", paused, 10, 29, "run1.dat            ", COLOUR_TEXT},
      {"logging", logging, 130, 142, "  ON   ", COLOUR_TEXT},
      {"eof", atEnd, 130, 160, " EOF   ", COLOUR_WARNING},
      {"playing", playing, 130, 160, "  ON   ", COLOUR_TEXT},
      {"learn", learning, 130, 178, "  ON   ", COLOUR_TEXT},
      {"learn from", learning, 130, 196, "  WB   ", COLOUR_TEXT},
      {"closed", closed, 142, 120, "Closed", COLOUR_TEXT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::RecordingCanvas canvas;
    PaintStatusPanel(canvas, c.values);
    const test::DrawnText* t = canvas.TextAt(c.x, c.y);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->text, c.text);
    EXPECT_EQ(t->colour, c.colour);
  }
  test::RecordingCanvas canvas;
  PaintStatusPanel(canvas, playing);
  EXPECT_TRUE(canvas.lines.empty());  // no indicator during playback
}

TEST(StatusPanel, PortLineNameAndState) {
  test::RecordingCanvas canvas;
  PaintPortLine(canvas, "COM3", false);
  ASSERT_EQ(canvas.texts.size(), 2u);
  EXPECT_EQ(canvas.texts[0].text, "COM3");
  EXPECT_EQ(canvas.texts[0].x, 90);
  EXPECT_EQ(canvas.texts[1].text, "Closed");
  EXPECT_EQ(canvas.texts[1].x, 142);
  for (const auto& t : canvas.texts) EXPECT_EQ(t.align, TextAlign::Right);
}

// A name too wide for the field reads by its file name, else by its end.
TEST(StatusPanel, PortNamesAreFittedToTheirField) {
  test::RecordingCanvas canvas;  // 8 pixels a character
  const struct {
    std::string port;
    int width;
    std::string shown;
  } cases[] = {
      {"COM12", 40, "COM12"},
      {"/dev/ttyUSB0", 56, "ttyUSB0"},
      {"/dev/ttyUSB0", 40, "..SB0"},
      {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", 80, "..00-port0"},
      {"/tmp/ttyZRM0", 200, "/tmp/ttyZRM0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FittedPortName(canvas, c.port, c.width), c.shown) << c.port << " in " << c.width;
    EXPECT_LE(canvas.TextWidth(FittedPortName(canvas, c.port, c.width)), c.width);
  }
}

TEST(ActivityIndicator, SpokesAndStepping) {
  const auto& spokes = ActivitySpokes();
  for (int k = 0; k < ACTIVITY_SPOKES; ++k) {
    const double t = (360.0 - (1 + 30 * k)) * 3.14159265358979323846 / 180.0;
    EXPECT_EQ(spokes[k].outerX, static_cast<int>(std::sin(t) * 20 + 740));
    EXPECT_EQ(spokes[k].outerY, static_cast<int>(std::cos(t) * 20 + 40));
    EXPECT_EQ(spokes[k].innerX, static_cast<int>(std::sin(t) * 8 + 740));
  }
  // Spoke 0 is just left of straight down: 359 degrees.
  EXPECT_EQ(spokes[0].outerX, 739);
  EXPECT_EQ(spokes[0].outerY, 59);

  test::RecordingCanvas canvas;
  int spoke = 11;
  StepActivitySpinner(canvas, spoke);
  EXPECT_EQ(spoke, 0);
  ASSERT_EQ(canvas.lines.size(), 2u);
  EXPECT_EQ(canvas.lines[0].colour, SPOKE_IDLE);
  EXPECT_EQ(canvas.lines[0].x2, spokes[11].outerX);
  EXPECT_EQ(canvas.lines[1].colour, COLOUR_TEXT);
  EXPECT_EQ(canvas.lines[1].x2, spokes[0].outerX);
  EXPECT_EQ(canvas.lines[1].width, 3);
}

TEST(ControllerLine, BlankUntilTheLinkIsAliveThenByModel) {
  StatusPanelValues v = Sample();
  EXPECT_EQ(ControllerLineText(v), std::string(40, ' '));
  v.linkAlive = true;
  v.firmwareMinor = 3;
  EXPECT_EQ(ControllerLineText(v), " ZRM Flash, ECM Firmware Version: 2.3");
  v.flashModel = false;
  EXPECT_EQ(ControllerLineText(v), "         ZRM Classic ");
}

TEST(MainMenu, CommandIdentifiers) {
  const int ports[][2] = {{1, 32776}, {6, 32781}, {7, 32814}, {10, 32817}, {11, 32827}, {40, 32856}};
  for (const auto& p : ports) {
    EXPECT_EQ(CommPortCommand(p[0]), p[1]);
    EXPECT_EQ(CommPortFromCommand(p[1]), p[0]);
  }
  EXPECT_EQ(CommPortCommand(41), 0);
  EXPECT_EQ(CommPortFromCommand(CMD_VISTREL), 0);
  const struct {
    char key;
    int mode;
  } keys[] = {{'1', MODE_GAUGE}, {'2', MODE_TRIP}, {'3', MODE_VELEARN}, {'4', MODE_KNOCK}, {'5', MODE_DIAGNOSTICS}};
  for (const auto& k : keys) EXPECT_EQ(DisplayModeForCommand(QuickCommandForKey(k.key)), k.mode);
  EXPECT_EQ(QuickCommandForKey('6'), 0);
  EXPECT_EQ(DisplayModeForCommand(CMD_FLASH), MODE_FLASH);
  EXPECT_EQ(DisplayModeForCommand(CMD_ANALYSIS), MODE_ANALYSIS);
}

}  // namespace
}  // namespace zrm
