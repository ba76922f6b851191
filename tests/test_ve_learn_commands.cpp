// VE learn's File menu commands without a window: the two dialogs and what
// they are seeded with, the checks of the chosen BIN, the settings a start
// stores, the stop (also one whose write fails), the auto-save and the
// exit write.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/frame_processor.h"
#include "link/runtime_record.h"
#include "scripted_services.h"
#include "test_support.h"
#include "velearn/ve_learn.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes MakeBin(int id) {
  Bytes bin(16384, 0x40);
  bin[0] = static_cast<std::uint8_t>(id >> 8);
  bin[1] = static_cast<std::uint8_t>(id & 0xFF);
  bin[2] = 'Z';
  bin[3] = 'R';
  bin[4] = 'M';
  bin[5] = 'F';
  return bin;
}

struct Session {
  Session() {
    settings.smoothFactor = 0;
    settings.newVe = SplitFilePath(dir.File("last_00004.bin"));
    ve.saveConfig = [this] { ++saves; };
    ve.menuChanged = [this](bool learning) { menu.push_back(learning); };
    ve.secondsNow = [] { return 100; };
    ve.setNextAutoSave = [this](int t) { nextAutoSave = t; };
    test::WriteFileBytes(dir.File("engine_00012.bin"), MakeBin(12));
  }
  test::TempDir dir;
  VistrelSettings settings;
  RuntimeRecord record;
  test::ScriptedServices services;
  VeLearn ve{settings, record, &services};
  int saves = 0;
  std::vector<bool> menu;
  int nextAutoSave = -1;
};

TEST(VeLearnStart, DialogsSettingsAndMenu) {
  Session s;
  s.settings.autoVeMinutes = 7;
  s.services.choices = {s.dir.File("engine_00012.bin"), s.dir.File("chosen.")};
  s.ve.StartVeLearn();
  ASSERT_TRUE(s.ve.Learning());
  ASSERT_EQ(s.services.requests.size(), 2u);

  const FileDialogRequest& open = s.services.requests[0];
  EXPECT_FALSE(open.save);
  EXPECT_EQ(open.title, "Select BIN to Learn From");
  ASSERT_EQ(open.filters.size(), 1u);
  EXPECT_EQ(open.filters[0].first, "BIN (*.bin)");
  EXPECT_EQ(open.defaultExtension, "bin");
  EXPECT_EQ(open.initialName, "last_00004.bin");  // the last destination
  EXPECT_EQ(open.initialFolder, s.dir.path() + "/");

  const FileDialogRequest& save = s.services.requests[1];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.title, "Select File to Create New BIN");
  EXPECT_EQ(save.defaultExtension, "");
  EXPECT_EQ(save.initialName, "engine_00013.bin");
  EXPECT_EQ(save.initialFolder, s.dir.path() + "/");

  EXPECT_EQ(s.settings.newVe.path, s.dir.File("chosen.bin"));
  EXPECT_EQ(s.settings.newVe.name, "chosen.bin");
  EXPECT_EQ(s.settings.learnVe.path, s.dir.File("engine_00012.bin"));
  EXPECT_EQ(s.settings.flashBin.path, s.dir.File("chosen.bin"));
  EXPECT_EQ(s.ve.CalibrationId(), 12);
  EXPECT_EQ(s.saves, 1);
  EXPECT_EQ(s.menu, std::vector<bool>{true});
  EXPECT_EQ(s.nextAutoSave, 100 + 7 * 60);
  EXPECT_TRUE(s.services.messages.empty());

  // A second start while learning does nothing.
  s.ve.StartVeLearn();
  EXPECT_EQ(s.services.requests.size(), 2u);
}

TEST(VeLearnStart, RefusedSources) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> content;  // empty: no file
    std::string message;
  };
  const Case cases[] = {
      {"missing.bin", {}, "File Open Error: Can not open BIN File"},
      {"other.bin", Bytes(16384, 0), "Incorrect BIN File: Not an ZRM Flash BIN!"},
      {"tiny.bin", Bytes{0x00, 0x05, 'Z', 'R', 'M', 'F'},
       "Incorrect BIN File: BIN File Too Short (a calibration is 4096 bytes)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    if (!c.content.empty()) test::WriteFileBytes(s.dir.File(c.name), c.content);
    s.services.choices = {s.dir.File(c.name), s.dir.File("out.bin")};
    s.ve.StartVeLearn();
    EXPECT_FALSE(s.ve.Learning());
    EXPECT_EQ(s.services.requests.size(), 1u);  // no save dialog
    EXPECT_EQ(s.services.messages, std::vector<std::string>{c.message});
    EXPECT_TRUE(s.menu.empty());
  }
}

TEST(VeLearnStart, CancelledSaveKeepsTheSourceAsTheNextProposal) {
  Session s;
  s.services.choices = {s.dir.File("engine_00012.bin"), ""};
  s.ve.StartVeLearn();
  EXPECT_FALSE(s.ve.Learning());
  EXPECT_EQ(s.settings.newVe.name, "engine_00012.bin");
  EXPECT_EQ(s.saves, 0);
}

TEST(VeLearnStop, WritesAndRestoresTheIdleMenuEvenAfterAFailedWrite) {
  for (bool fail : {false, true}) {
    SCOPED_TRACE(fail);
    Session s;
    const Bytes old(16384, 0x33);
    test::WriteFileBytes(s.dir.File("out.bin"), old);
    s.services.choices = {s.dir.File("engine_00012.bin"), s.dir.File("out.bin")};
    s.ve.StartVeLearn();
    ASSERT_TRUE(s.ve.Learning());
    if (fail) s.ve.replaceFault = [](ReplaceStep step) { return step == ReplaceStep::Commit; };
    EXPECT_EQ(s.ve.StopVeLearn(), fail ? -1 : 0);
    EXPECT_FALSE(s.ve.Learning());
    EXPECT_EQ(s.menu, (std::vector<bool>{true, false}));
    const Bytes out = test::ReadFileBytes(s.dir.File("out.bin"));
    if (fail) {
      EXPECT_EQ(s.services.messages, std::vector<std::string>{"File Write Error: Error Writing VE table to BIN File"});
      EXPECT_EQ(out, old);
    } else {
      EXPECT_TRUE(s.services.messages.empty());
      EXPECT_EQ(out[1], 13);
      EXPECT_EQ(out[12], 0x40);  // the learned table, from the source
    }
    // Stop again: not learning, nothing happens.
    EXPECT_EQ(s.ve.StopVeLearn(), 0);
    EXPECT_EQ(s.menu.size(), 2u);
  }
}

TEST(VeLearnAutoSave, WritesReloadsAndClearsOnlyWhileLearning) {
  Session s;
  s.services.choices = {s.dir.File("engine_00012.bin"), s.dir.File("out.bin")};
  s.ve.AutoSaveVeLearn();
  EXPECT_FALSE(test::ReadFileBytes(s.dir.File("out.bin")).size() > 0);

  s.ve.StartVeLearn();
  s.ve.SetLearnCell(24, 20, 140, 9);
  s.ve.AutoSaveVeLearn();
  EXPECT_TRUE(s.ve.Learning());
  EXPECT_EQ(test::ReadFileBytes(s.dir.File("out.bin")).size(), 16384u);
  EXPECT_EQ(s.ve.LearnValue(24, 20), 0u);  // an empty grid
  EXPECT_TRUE(s.services.messages.empty());
}

// The dispatcher calls the auto-save only with the AutoUpdate switch on and
// once the time a start set has come.
TEST(VeLearnAutoSave, DispatcherCallsItOnlyWithTheSwitchOnWhenDue) {
  FrameSources sources{nullptr};
  sources.Halt();  // no frames: only the cycle's start runs
  FrameProcessor processor{sources};
  int calls = 0;
  processor.hooks.autoSaveVeLearn = [&calls] { ++calls; };
  processor.secondsTicker.store(1000);
  processor.ProcessNextFrame();
  EXPECT_EQ(calls, 0);  // the switch is off

  processor.autoVSave.store(1);
  processor.autoVTime.store(5);
  processor.nextAutoSave.store(1001);
  processor.ProcessNextFrame();
  EXPECT_EQ(calls, 0);
  processor.secondsTicker.store(1001);
  processor.ProcessNextFrame();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(processor.nextAutoSave.load(), 1001 + 5 * 60);
  processor.ProcessNextFrame();
  EXPECT_EQ(calls, 1);
}

TEST(VeLearnExit, WritesSilentlyOnlyWhileLearning) {
  Session s;
  s.ve.VeLearnAtExit();
  EXPECT_TRUE(test::ReadFileBytes(s.dir.File("out.bin")).empty());

  s.services.choices = {s.dir.File("engine_00012.bin"), s.dir.File("no/folder/out.bin")};
  s.ve.StartVeLearn();
  ASSERT_TRUE(s.ve.Learning());
  s.ve.VeLearnAtExit();  // the write fails: no message at exit
  EXPECT_FALSE(s.ve.Learning());
  EXPECT_TRUE(s.services.messages.empty());

  Session t;
  t.services.choices = {t.dir.File("engine_00012.bin"), t.dir.File("out.bin")};
  t.ve.StartVeLearn();
  t.ve.VeLearnAtExit();
  EXPECT_EQ(test::ReadFileBytes(t.dir.File("out.bin")).size(), 16384u);
}

}  // namespace
}  // namespace zrm
