// The status panel's texts, places and colours, the activity indicator, and
// the menu table's identifiers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "recording_canvas.h"
#include "link/frame_processor.h"
#include "shell/main_menu.h"
#include "shell/status_notes.h"
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
  StatusPanelValues silent = Sample();
  silent.portNoData = true;
  StatusPanelValues closedSilent = closed;
  closedSilent.portNoData = true;
  StatusPanelValues playPaused = playing;
  playPaused.playbackPaused = true;
  StatusPanelValues pausedAtEnd = atEnd;
  pausedAtEnd.playbackPaused = true;
  StatusPanelValues marked = logging;
  marked.logNote = "MARK 003";
  StatusPanelValues markedPaused = paused;
  markedPaused.logNote = "MARK 003";
  StatusPanelValues noteNoLog = Sample();
  noteNoLog.logNote = "Time Stamp";
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
      {"no data", silent, 142, 120, "No Data", COLOUR_WARNING},
      {"no data keeps the name", silent, 90, 120, "COM12", COLOUR_TEXT},
      {"closed outranks no data", closedSilent, 142, 120, "Closed", COLOUR_TEXT},
      {"playback paused", playPaused, 130, 160, "  Pause", COLOUR_WARNING},
      {"eof outranks pause", pausedAtEnd, 130, 160, " EOF   ", COLOUR_WARNING},
      {"key confirmed", marked, 130, 142, "MARK 003", COLOUR_TEXT},
      {"pause outranks a confirmation", markedPaused, 130, 142, "  Pause", COLOUR_WARNING},
      {"no confirmation without a log", noteNoLog, 130, 142, " OFF   ", COLOUR_TEXT},
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

// A state that changes width ("No Data" back to "Open", "Time Stamp" back to
// "  ON   ") leaves nothing behind: each field is cleared from behind its
// label to its right edge before its text is drawn.
TEST(StatusPanel, StateFieldsAreClearedBeforeTheirText) {
  StatusPanelValues v = Sample();
  v.logOpen = true;
  v.logNote = "Time Stamp";
  v.playbackRunning = v.playbackPaused = true;
  v.portNoData = true;
  const struct {
    const char* label;
    int y, right;
  } fields[] = {{"Port: ", 120, 142}, {"Logging: ", 142, 130}, {"Playback: ", 160, 130}};
  for (int pass = 0; pass < 2; ++pass) {
    test::RecordingCanvas canvas;
    if (pass == 0) {
      PaintStatusValues(canvas, v);
    } else {
      PaintPortLine(canvas, v.port, true, true);
      PaintLoggingStatus(canvas, v);
      PaintPlaybackStatus(canvas, v);
    }
    for (const auto& f : fields) {
      SCOPED_TRACE(std::string(f.label) + (pass == 0 ? " panel" : " alone"));
      std::size_t textIndex = canvas.texts.size();
      for (std::size_t i = 0; i < canvas.texts.size(); ++i)
        if (canvas.texts[i].x == f.right && canvas.texts[i].y == f.y) textIndex = i;
      ASSERT_LT(textIndex, canvas.texts.size());
      const int left = 10 + canvas.TextWidth(f.label);
      bool cleared = false;
      for (const test::DrawnFill& fill : canvas.fills)
        cleared |= fill.top == f.y && fill.left <= left && fill.right > f.right &&
                   fill.bottom >= f.y + canvas.TextHeight() && fill.colour == COLOUR_BACKGROUND &&
                   fill.textsBefore <= textIndex;
      EXPECT_TRUE(cleared);
      // The label itself is not cleared.
      for (const test::DrawnFill& fill : canvas.fills) {
        if (fill.top == f.y) {
          EXPECT_GE(fill.left, left);
        }
      }
    }
  }
}

// An open port that brings nothing for two seconds is "No Data" until a frame
// comes; the wait starts again when the port opens or closes.
TEST(StreamWatch, NoDataAfterTwoSilentSecondsOfAnOpenPort) {
  struct Step {
    std::int64_t now;
    std::uint64_t frames;
    bool portOpen;
    bool noData;
    bool changed;
  };
  const Step steps[] = {
      {0, 0, false, false, false},         // closed: never "No Data"
      {5000, 0, false, false, false},
      {6000, 0, true, false, false},       // opens: the wait starts
      {7999, 0, true, false, false},
      {8000, 0, true, true, true},         // two seconds, nothing came
      {8250, 0, true, true, false},
      {8500, 3, true, false, true},        // frames again
      {10499, 3, true, false, false},
      {10500, 3, true, true, true},        // silent again
      {10750, 3, false, false, true},      // closed
      {20000, 3, false, false, false},
      {20250, 3, true, false, false},      // re-opened: a fresh wait
      {22249, 3, true, false, false},
      {22250, 3, true, true, true},
  };
  StreamWatch watch;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.now);
    EXPECT_EQ(watch.Poll(s.now, s.frames, s.portOpen), s.changed);
    EXPECT_EQ(watch.NoData(), s.noData);
  }
  // Already open and silent at the first look: the wait starts there.
  StreamWatch late;
  EXPECT_FALSE(late.Poll(100000, 500, true));
  EXPECT_FALSE(late.Poll(101999, 500, true));
  EXPECT_TRUE(late.Poll(102000, 500, true));
}

// TAB and SPACE are confirmed for two seconds with what went into the log.
TEST(LogKeyNote, ShowsTheMarkerOrTimeStampForTwoSeconds) {
  LogKeyNote note;
  EXPECT_EQ(note.Text(), "");
  EXPECT_FALSE(note.Expire(0));
  note.Marker(1000, 3);
  EXPECT_EQ(note.Text(), "MARK 003");
  EXPECT_FALSE(note.Expire(2999));
  EXPECT_EQ(note.Text(), "MARK 003");
  EXPECT_TRUE(note.Expire(3000));
  EXPECT_EQ(note.Text(), "");
  EXPECT_FALSE(note.Expire(4000));  // once

  // A second key restarts the two seconds.
  note.Marker(5000, 0);
  note.TimeStamp(6000);
  EXPECT_EQ(note.Text(), "Time Stamp");
  EXPECT_FALSE(note.Expire(7999));
  EXPECT_TRUE(note.Expire(8000));

  // The log's numbers wrap at 1000; so does the confirmation.
  const struct {
    int number;
    const char* text;
  } numbers[] = {{0, "MARK 000"}, {42, "MARK 042"}, {999, "MARK 999"}, {1000, "MARK 000"}, {1012, "MARK 012"}};
  for (const auto& n : numbers) {
    note.Marker(0, n.number);
    EXPECT_EQ(note.Text(), n.text) << n.number;
  }
  note.Clear();
  EXPECT_EQ(note.Text(), "");
  EXPECT_FALSE(note.Expire(100000));
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
