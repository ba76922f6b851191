// The flash window without widgets: the file selections with their dialogs,
// questions and messages, Apply's checks and elapsed-time line, and the
// painters of the file names and the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "flash/flash_window_model.h"
#include "flash/zrm_bin.h"
#include "recording_canvas.h"
#include "scripted_services.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::ScriptedServices;

TEST(FlashWindowControls, EnabledStatesFollowTheAction) {
  struct Case {
    FlashControlId id;
    bool program;
    bool read;
  };
  const Case cases[] = {
      {FlashControlId::Verify, true, false},          {FlashControlId::ProgramFileGroup, true, false},
      {FlashControlId::ReadFileGroup, false, true},   {FlashControlId::SetBankActive, true, true},
      {FlashControlId::SelectBin, true, true},        {FlashControlId::Bank3, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FlashControlEnabled(c.id, FLASH_ACTION_PROGRAM), c.program) << static_cast<int>(c.id);
    EXPECT_EQ(FlashControlEnabled(c.id, FLASH_ACTION_READ), c.read) << static_cast<int>(c.id);
  }
  for (int bank = 0; bank < 8; ++bank) EXPECT_EQ(BankOfControl(BankControl(bank)), bank);
  EXPECT_EQ(BankOfControl(FlashControlId::ProgramBank), -1);
}

struct SelectionFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedServices services;
  VistrelSettings settings;
  void SetUp() override {
    settings.flashBin = {dir.File("old.bin"), "old.bin", dir.path() + "/"};
    settings.readBin = {dir.File("oldread.bin"), "oldread.bin", dir.path() + "/"};
  }
};

TEST_F(SelectionFixture, ProgramFileIsCheckedBeforeItIsKept) {
  // A file shorter than its calibration would be programmed erased past its
  // end: refused like a file of another ECM.
  Bytes good(4096, 0x5A);
  good[0] = 0x01;
  good[1] = 0x02;
  std::copy_n("ZRMF", 4, good.begin() + 2);
  test::WriteFileBytes(dir.File("good.bin"), good);
  test::WriteFileBytes(dir.File("six.bin"), Bytes(good.begin(), good.begin() + 6));
  test::WriteFileBytes(dir.File("short.bin"), Bytes(good.begin(), good.begin() + 4095));
  test::WriteFileBytes(dir.File("other.bin"), Bytes(16384, 0x20));
  struct Case {
    std::string choice;
    bool stored;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"", false, {}},
      {dir.File("absent.bin"), false, {"File Open Error: Can not open BIN File"}},
      {dir.File("other.bin"), false, {"Incorrect BIN File: Not an ZRM Flash BIN!"}},
      {dir.File("six.bin"), false, {"Incorrect BIN File: BIN File Too Short (a calibration is 4096 bytes)"}},
      {dir.File("short.bin"), false, {"Incorrect BIN File: BIN File Too Short (a calibration is 4096 bytes)"}},
      {dir.File("good.bin"), true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.choice);
    SetUp();
    services = ScriptedServices();
    services.choices = {c.choice};
    const FilePathTriple before = settings.flashBin;
    EXPECT_EQ(SelectProgramFile(settings, services), c.stored);
    EXPECT_EQ(services.messages, c.messages);
    ASSERT_EQ(services.requests.size(), 1u);
    const FileDialogRequest& r = services.requests[0];
    EXPECT_EQ(r.title, "Select BIN file to Flash to ZRM");
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.filters, (std::vector<std::pair<std::string, std::string>>{{"BIN (*.bin)", "*.bin"},
                                                                          {"All (*.*)", "*.*"}}));
    EXPECT_EQ(r.initialFolder, before.folder);
    EXPECT_EQ(r.initialName, before.name);
    if (c.stored) {
      EXPECT_EQ(settings.flashBin, (FilePathTriple{dir.File("good.bin"), "good.bin", dir.path() + "/"}));
    } else {
      EXPECT_EQ(settings.flashBin, before);
    }
    EXPECT_EQ(settings.readBin.name, "oldread.bin");
  }
}

TEST_F(SelectionFixture, ReadFileAsksBeforeOverwriting) {
  test::WriteFileBytes(dir.File("exists.bin"), {1, 2, 3});
  struct Case {
    const char* name;
    std::vector<std::string> choices;
    std::vector<QuestionAnswer> answers;
    bool stored;
    std::string storedName;
    int dialogs;
    int questions;
  };
  const std::string exists = dir.File("exists.bin");
  const std::string fresh = dir.File("fresh.bin");
  const Case cases[] = {
      {"new file", {fresh}, {}, true, "fresh.bin", 1, 0},
      {"cancelled dialog", {""}, {}, false, "oldread.bin", 1, 0},
      {"overwrite yes", {exists}, {QuestionAnswer::Yes}, true, "exists.bin", 1, 1},
      {"overwrite cancel", {exists}, {QuestionAnswer::Cancel}, false, "oldread.bin", 1, 1},
      {"no, then another", {exists, fresh}, {QuestionAnswer::No}, true, "fresh.bin", 2, 1},
      {"no, then cancel", {exists, ""}, {QuestionAnswer::No}, false, "oldread.bin", 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    services = ScriptedServices();
    services.choices.assign(c.choices.begin(), c.choices.end());
    std::deque<QuestionAnswer> answers(c.answers.begin(), c.answers.end());
    std::vector<std::string> asked;
    const AskYesNoCancel ask = [&](const std::string& caption, const std::string& text) {
      asked.push_back(caption + ": " + text);
      QuestionAnswer a = answers.front();
      answers.pop_front();
      return a;
    };
    EXPECT_EQ(SelectReadFile(settings, services, ask), c.stored);
    EXPECT_EQ(settings.readBin.name, c.storedName);
    EXPECT_EQ(static_cast<int>(services.requests.size()), c.dialogs);
    EXPECT_EQ(static_cast<int>(asked.size()), c.questions);
    if (!asked.empty()) {
      EXPECT_EQ(asked[0], "File Exists: BIN File Exists, Overwrite?");
    }
    EXPECT_EQ(services.requests[0].title, "Select/Create File to Save ZRM BIN to");
    EXPECT_EQ(services.requests[0].defaultExtension, "bin");
    EXPECT_EQ(services.requests[0].initialName, "oldread.bin");
    EXPECT_EQ(settings.flashBin.name, "old.bin");
    EXPECT_TRUE(services.messages.empty());
  }
}

class TickTransport : public FlashTransport {
 public:
  int QueueTransmit(const std::uint8_t*, int) override {
    ++transmits;
    return -1;
  }
  int RingCount() override { return 0; }
  int RingGetByte() override { return -1; }
  int RingPeekByte() override { return -1; }
  void RequestRingFlush() override {}
  std::uint32_t FlashTicks() override { return ticks; }
  void Pause(int) override {}
  std::uint32_t ticks = 1000;
  int transmits = 0;
};

struct ApplyFixture : ::testing::Test {
  test::TempDir dir;
  ScriptedServices services;
  VistrelSettings settings;
  TickTransport transport;
  MessageWindow messages{MessageWindowLayout::Vistrel(), nullptr};
  FlashProtocol protocol{transport, FlashProtocolSettings::Vistrel(), &messages};
  int runs = 0;

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const MessageLine& line : messages.Shown()) {
      std::string t = line.text;
      t.erase(t.find_last_not_of(' ') + 1);
      texts.push_back(t);
    }
    return texts;
  }
};

TEST_F(ApplyFixture, MissingNamesAreToldAndNothingRuns) {
  struct Case {
    int action;
    FilePathTriple program;
    FilePathTriple read;
    std::string message;
  };
  const Case cases[] = {
      {FLASH_ACTION_PROGRAM, {}, {"/r/x.bin", "x.bin", "/r/"}, "File Error: Need a Program Bank BIN Name"},
      {FLASH_ACTION_READ, {"/p/y.bin", "y.bin", "/p/"}, {"x.bin", "x.bin", ""}, "File Error: Need a Read Bank BIN Name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    messages.LogMessage(MESSAGE_FAILURE, "from before");
    services.messages.clear();
    settings.flashAction = static_cast<std::int16_t>(c.action);
    settings.flashBin = c.program;
    settings.readBin = c.read;
    const int result = FlashApply(settings, protocol, messages, services, [&](const std::function<int()>& op) {
      ++runs;
      return op();
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(services.messages, std::vector<std::string>{c.message});
    EXPECT_TRUE(messages.Shown().empty());  // cleared first
    EXPECT_EQ(transport.transmits, 0);
  }
}

TEST_F(ApplyFixture, ElapsedTimeFollowsASuccessOnly) {
  settings.flashAction = FLASH_ACTION_PROGRAM;
  settings.flashBin = {dir.File("p.bin"), "p.bin", dir.path() + "/"};
  settings.flashBank = 6;
  for (int result : {0, -1}) {
    SCOPED_TRACE(result);
    const int got = FlashApply(settings, protocol, messages, services, [&](const std::function<int()>&) {
      // The protocol is prepared before the operation starts.
      EXPECT_EQ(protocol.currentBank, 6);
      EXPECT_EQ(protocol.p, 25);
      EXPECT_EQ(protocol.infoBytes, (std::array<std::uint8_t, 3>{1, 1, 1}));
      messages.LogMessage(MESSAGE_NORMAL, "step");
      transport.ticks += 123;
      return result;
    });
    EXPECT_EQ(got, result);
    if (result == 0) {
      EXPECT_EQ(Texts(), (std::vector<std::string>{"step", "", "12.3 Second(s)"}));
    } else {
      EXPECT_EQ(Texts(), std::vector<std::string>{"step"});
    }
  }
}

TEST_F(ApplyFixture, EachActionRunsItsOwnOperation) {
  settings.flashBin = {dir.File("absent.bin"), "absent.bin", dir.path() + "/"};
  settings.readBin = {dir.File("no/folder/r.bin"), "r.bin", dir.File("no/folder/")};
  struct Case {
    int action;
    const char* result;
  };
  for (const Case& c : {Case{FLASH_ACTION_PROGRAM, "     -Flashing Failed-"}, Case{FLASH_ACTION_READ, "     -Read Failed-"}}) {
    settings.flashAction = static_cast<std::int16_t>(c.action);
    EXPECT_EQ(FlashApply(settings, protocol, messages, services, nullptr), -1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Failed opening BIN File", "", c.result}));
  }
}

TEST(FlashWindowText, ElapsedSeconds) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {123, "12.3 Second(s)"}, {0, "0.0 Second(s)"}, {5, "0.5 Second(s)"}, {1234, "123.4 Second(s)"}};
  for (auto [ticks, text] : cases) EXPECT_EQ(ElapsedText(ticks), text);
}

TEST(FlashWindowPainting, FileNamesInTheColoursOfTheAction) {
  VistrelSettings settings;
  settings.flashBin = {"/a/prog.bin", "prog.bin", "/a/"};
  const std::string longName(50, 'n');
  settings.readBin = {"/b/" + longName, longName, "/b/"};
  for (int action : {FLASH_ACTION_PROGRAM, FLASH_ACTION_READ}) {
    SCOPED_TRACE(action);
    settings.flashAction = static_cast<std::int16_t>(action);
    test::RecordingCanvas canvas;
    PaintFlashFileNames(canvas, settings);
    ASSERT_EQ(canvas.texts.size(), 4u);
    EXPECT_EQ(canvas.texts[0].x, 334);
    EXPECT_EQ(canvas.texts[0].y, 157);
    EXPECT_EQ(canvas.texts[0].text, std::string(40, ' '));
    EXPECT_EQ(canvas.texts[1].y, 209);
    EXPECT_EQ(canvas.texts[1].text, std::string(40, ' '));
    const test::DrawnText* program = canvas.TextAt(339, 157);
    const test::DrawnText* read = canvas.TextAt(339, 209);
    ASSERT_TRUE(program && read);
    EXPECT_EQ(program->text, "prog.bin");
    EXPECT_EQ(read->text, std::string(40, 'n'));
    EXPECT_EQ(program->font, FontId::List);
    EXPECT_EQ(program->colour, action == FLASH_ACTION_PROGRAM ? COLOUR_TEXT : 0x828282u);
    EXPECT_EQ(read->colour, action == FLASH_ACTION_READ ? COLOUR_TEXT : 0x828282u);
    EXPECT_EQ(program->back, COLOUR_BACKGROUND);
  }
}

TEST(FlashWindowPainting, WholeWindowTitleMessagesAndNames) {
  VistrelSettings settings;
  settings.flashBin = {"/a/prog.bin", "prog.bin", "/a/"};
  MessageWindow messages(MessageWindowLayout::Vistrel(), nullptr);
  messages.LogMessage(MESSAGE_SUCCESS_RESULT, "    -Flashing Successful-");
  test::RecordingCanvas canvas;
  PaintFlashWindow(canvas, settings, messages);
  const test::DrawnText* title = canvas.TextAt(312, 6);
  ASSERT_TRUE(title);
  EXPECT_EQ(title->text, "ZRM Flash Program");
  EXPECT_EQ(title->font, FontId::Title);
  const test::DrawnText* line = canvas.TextAt(334, 321);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->text, PadMessage("    -Flashing Successful-", 48));
  EXPECT_EQ(line->back, MESSAGE_SUCCESS_RESULT);
  const test::DrawnText* blank = canvas.TextAt(334, 321 + 17 * 7);
  ASSERT_TRUE(blank);
  EXPECT_EQ(blank->text, std::string(48, ' '));
  ASSERT_TRUE(canvas.TextAt(339, 157));
  EXPECT_EQ(canvas.TextAt(339, 157)->text, "prog.bin");
}

}  // namespace
}  // namespace zrm
