// Data logging on the window side over a real CommThread and a scripted port:
// the dialog and path keys, the head and the exact body, appended recordings,
// pause and resumption, the keys, the one-second flush, and write failures
// swept over every stage of a log's life.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include <atomic>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/frame_processor.h"
#include "link/serial_link.h"
#include "logs/data_log.h"
#include "platform/clock.h"
#include "test_support.h"

namespace zrm {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kTime = "12/09/2026 - 21:43:07";

// A port whose incoming bytes the test feeds.
struct PortScript {
  std::mutex m;
  std::deque<std::uint8_t> incoming;
  bool isOpen = false;
  bool hungUp = false;      // reads fail, as after an unplugged adapter
  bool refuseOpen = false;  // the device is away: every open fails
};

class FakePort : public SerialPort {
 public:
  explicit FakePort(PortScript* s) : s_(s) {}
  int Open(const std::string&, const SerialOptions&) override {
    std::lock_guard<std::mutex> lock(s_->m);
    if (s_->refuseOpen) return -1;
    s_->isOpen = true;
    return 0;
  }
  void Close() override {
    std::lock_guard<std::mutex> lock(s_->m);
    s_->isOpen = false;
  }
  bool IsOpen() const override {
    std::lock_guard<std::mutex> lock(s_->m);
    return s_->isOpen;
  }
  int ReadByte(std::uint8_t* byte) override {
    std::lock_guard<std::mutex> lock(s_->m);
    if (s_->hungUp) return -1;
    if (s_->incoming.empty()) return 0;
    *byte = s_->incoming.front();
    s_->incoming.pop_front();
    return 1;
  }
  int Write(const std::uint8_t*, std::size_t) override { return 0; }

 private:
  PortScript* s_;
};

struct Message {
  std::string caption, text;
  MessageIcon icon;
};

// Dialogs answered from a script; messages and requests recorded.
struct ScriptedServices : PlatformServices {
  std::mutex m;
  std::vector<Message> messages;
  std::vector<FileDialogRequest> dialogs;
  std::string answer;  // empty: cancel
  std::vector<std::string>* events = nullptr;

  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override {
    std::lock_guard<std::mutex> lock(m);
    messages.push_back({caption, text, icon});
  }
  void Beep(unsigned) override {}
  bool ChooseFile(const FileDialogRequest& request, std::string* path) override {
    dialogs.push_back(request);
    if (events) events->push_back("dialog");
    if (answer.empty()) return false;
    *path = answer;
    return true;
  }
  std::vector<Message> Messages() {
    std::lock_guard<std::mutex> lock(m);
    return messages;
  }
};

using test::WaitFor;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Equal bytes, or where they first differ (logs are too long to print whole).
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "file has " << actual.size() << " bytes, expected " << expected.size()
                                       << ", first difference at " << at << ": \""
                                       << actual.substr(at, 40) << "\" instead of \"" << expected.substr(at, 40)
                                       << "\"";
}

// Binary stream with every byte value that text handling would disturb.
Bytes SampleBody(std::size_t length, std::uint8_t seed) {
  Bytes payload(273);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7 + seed);
  Bytes body = test::WireFrame(payload);
  for (std::uint8_t b : {0x0D, 0x0A, 0x1A, 0x00, 0xFF, 0x0D}) body.push_back(b);
  while (body.size() < length) body.push_back(static_cast<std::uint8_t>(body.size() * 13 + seed));
  body.resize(length);
  return body;
}

struct LogFixture : ::testing::Test {
  test::TempDir dir;
  PortScript script;
  ScriptedServices services;
  VistrelSettings settings;
  ConfigFile config = MakeVistrelConfig(dir.File("ZRM_Vistrel.cfg"), settings, &services);
  std::unique_ptr<SerialLink> link;
  std::unique_ptr<DataLog> log;
  int mode = MODE_GAUGE;
  int stateChanges = 0;
  std::atomic<int> errorsPosted{0};
  std::atomic<std::thread::id> postingThread{};

  void SetUp() override {
    link = std::make_unique<SerialLink>(LinkSettings::Vistrel(), std::make_unique<FakePort>(&script));
    link->localTime = [] { return std::string(kTime); };
    log = std::make_unique<DataLog>(*link, config, settings, services);
    link->reportLogWriteError = [this] { log->PostLogWriteError(); };
    log->displayMode = [this] { return mode; };
    log->onStateChanged = [this] { ++stateChanges; };
    log->onWriteErrorPosted = [this] {
      postingThread.store(std::this_thread::get_id());
      errorsPosted.fetch_add(1);
    };
    link->Start();
    link->RequestPort(PORT_OPEN, "COM2");
    ASSERT_TRUE(WaitFor([&] { return link->PortRunning(); }));
  }
  void TearDown() override {
    // The CommThread posts to the log until it has ended.
    if (link) link->Stop();
    log.reset();
    link.reset();
  }

  // The head a log opened now starts with (the paths change with every start).
  std::string Head() {
    std::string head = std::string("TIME: ") + kTime;
    WriteConfigEntries(config, head);
    return head;
  }
  // Feeds bytes and waits until the CommThread has taken them all.
  void Feed(const Bytes& bytes) {
    int before = link->RingCount();
    {
      std::lock_guard<std::mutex> lock(script.m);
      script.incoming.insert(script.incoming.end(), bytes.begin(), bytes.end());
    }
    ASSERT_TRUE(WaitFor([&] { return link->RingCount() == before + static_cast<int>(bytes.size()); }));
  }
  std::string OnDisk(const std::string& name) { return test::ReadFileText(dir.File(name)); }
  // Waits until the file holds `text` (the CommThread flushes every inserted text).
  void WaitForFile(const std::string& name, const std::string& text) {
    WaitFor([&] { return OnDisk(name) == text; });
    ASSERT_TRUE(SameBytes(OnDisk(name), text));
  }
  int Start(const std::string& name) {
    services.answer = dir.File(name);
    return log->StartDataLog();
  }
};

TEST_F(LogFixture, DialogPathKeysAndAnalysisFileFollowTheChosenLog) {
  settings.dataLog = {"/logs/old/run1.dat", "run1.dat", "/logs/old/"};
  settings.analysis = {"/a/x.dat", "x.dat", "/a/"};
  ASSERT_EQ(Start("drive.dat"), 0);

  ASSERT_EQ(services.dialogs.size(), 1u);
  const FileDialogRequest& r = services.dialogs[0];
  EXPECT_FALSE(r.save);
  EXPECT_EQ(r.title, "Select/Create File to Save Data Log to");
  using Filters = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(r.filters, (Filters{{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}}));
  EXPECT_EQ(r.initialName, "run1.dat");
  EXPECT_EQ(r.initialFolder, "/logs/old/");
  EXPECT_EQ(r.defaultExtension, "dat");
  EXPECT_FALSE(r.mustExist);

  const FilePathTriple chosen{dir.File("drive.dat"), "drive.dat", dir.path() + "/"};
  EXPECT_EQ(settings.dataLog, chosen);
  EXPECT_EQ(settings.analysis, chosen);
  EXPECT_TRUE(log->LogActive());
  EXPECT_FALSE(log->LogPaused());
  EXPECT_TRUE(link->LogEnabled());
  EXPECT_EQ(log->LogFileName(), "drive.dat");
  EXPECT_EQ(stateChanges, 1);
  EXPECT_TRUE(services.Messages().empty());

  // The keys were saved: a fresh read of the file finds them.
  VistrelSettings reread;
  ConfigFile rereadConfig = MakeVistrelConfig(config.path, reread, nullptr);
  LoadConfig(rereadConfig);
  EXPECT_EQ(reread.dataLog, chosen);
  EXPECT_EQ(reread.analysis, chosen);
}

TEST_F(LogFixture, FileHoldsTheHeadThenExactlyTheReceivedBytes) {
  const std::string head = Head();
  ASSERT_EQ(Start("body.dat"), 0);
  EXPECT_EQ(log->BodyStart(), static_cast<std::int64_t>(head.size()));
  // The configuration lines end in exactly CR LF.
  EXPECT_EQ(head.find("\r\r\n"), std::string::npos);
  EXPECT_EQ(head.rfind(std::string("TIME: ") + kTime + "[ID] ZRM Flash Vistrel Display\r\n[PORT] ", 0), 0u);

  const Bytes body = SampleBody(1500, 3);
  Feed(body);
  log->StopDataLog();
  EXPECT_FALSE(log->LogActive());
  EXPECT_FALSE(link->LogEnabled());
  EXPECT_EQ(stateChanges, 2);
  EXPECT_TRUE(SameBytes(OnDisk("body.dat"), head + Text(body)));

  // Bytes after the stop reach the ring only.
  Feed({1, 2, 3});
  EXPECT_TRUE(SameBytes(OnDisk("body.dat"), head + Text(body)));
  log->StopDataLog();  // nothing open: nothing happens
  EXPECT_EQ(stateChanges, 2);
}

TEST_F(LogFixture, ChoosingTheFileAgainAppendsARecordingWhoseMarkersStartAtZero) {
  std::string head = Head();
  const std::string marker0 = std::string("MARK000TIME: ") + kTime;
  const std::string marker1 = std::string("MARK001TIME: ") + kTime;
  const Bytes a = SampleBody(300, 1), b = SampleBody(200, 2), c = SampleBody(250, 3), d = SampleBody(100, 4),
              e = SampleBody(90, 5);

  // Each marker is in the file and bytes have followed it before the next key.
  ASSERT_EQ(Start("twice.dat"), 0);
  EXPECT_EQ(log->LastMarker(), -1);
  Feed(a);
  ASSERT_TRUE(log->OnLogKey(LOG_KEY_MARKER));
  WaitForFile("twice.dat", head + Text(a) + marker0);
  EXPECT_EQ(log->LastMarker(), 0);  // the number the status panel confirms
  Feed(b);
  ASSERT_TRUE(log->OnLogKey(LOG_KEY_MARKER));
  WaitForFile("twice.dat", head + Text(a) + marker0 + Text(b) + marker1);
  EXPECT_EQ(log->LastMarker(), 1);
  Feed(c);
  log->StopDataLog();
  const std::string first = head + Text(a) + marker0 + Text(b) + marker1 + Text(c);
  ASSERT_TRUE(SameBytes(OnDisk("twice.dat"), first));

  head = Head();
  ASSERT_EQ(Start("twice.dat"), 0);
  EXPECT_EQ(log->BodyStart(), static_cast<std::int64_t>(first.size() + head.size()));
  EXPECT_EQ(log->LastMarker(), -1);
  Feed(d);
  ASSERT_TRUE(log->OnLogKey(LOG_KEY_MARKER));
  WaitForFile("twice.dat", first + head + Text(d) + marker0);
  EXPECT_EQ(log->LastMarker(), 0);
  Feed(e);
  log->StopDataLog();
  EXPECT_TRUE(SameBytes(OnDisk("twice.dat"), first + head + Text(d) + marker0 + Text(e)));
}

TEST_F(LogFixture, PausedIntervalIsAbsentAndItsResumptionIsStamped) {
  struct Case {
    const char* name;
    char resumeKey;
    std::string written;
  };
  const Case cases[] = {
      {"space", LOG_KEY_TIME_STAMP, std::string("TIME: ") + kTime},
      {"tab", LOG_KEY_MARKER, std::string("MARK000TIME: ") + kTime},
  };
  settings.enterPauses = 1;
  const Bytes before = SampleBody(400, 5), paused = SampleBody(600, 6), after = SampleBody(350, 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.name) + ".dat";
    const std::string head = Head();
    ASSERT_EQ(Start(name), 0);
    Feed(before);
    const int changes = stateChanges;
    ASSERT_TRUE(log->OnLogKey(LOG_KEY_PAUSE));
    EXPECT_TRUE(log->LogPaused());
    EXPECT_TRUE(link->LogPaused());
    EXPECT_EQ(stateChanges, changes + 1);
    // ENTER never resumes, and pausing twice changes nothing.
    EXPECT_FALSE(log->OnLogKey(LOG_KEY_PAUSE));
    EXPECT_TRUE(log->LogPaused());
    Feed(paused);
    ASSERT_TRUE(log->OnLogKey(c.resumeKey));
    EXPECT_FALSE(log->LogPaused());
    EXPECT_FALSE(link->LogPaused());
    EXPECT_EQ(stateChanges, changes + 2);
    WaitForFile(name, head + Text(before) + c.written);
    Feed(after);
    log->StopDataLog();
    EXPECT_TRUE(SameBytes(OnDisk(name), head + Text(before) + c.written + Text(after)));
  }
}

TEST_F(LogFixture, KeysActOnlyOnAnOpenLogOutsideAnalysisAndFlash) {
  // No log: nothing to act on.
  EXPECT_FALSE(log->OnLogKey(LOG_KEY_MARKER));
  EXPECT_FALSE(log->OnLogKey(LOG_KEY_TIME_STAMP));

  settings.enterPauses = 0;
  const std::string head = Head();
  ASSERT_EQ(Start("keys.dat"), 0);
  // [ENTERPAUSE] 0: ENTER does nothing, logging goes on.
  EXPECT_FALSE(log->OnLogKey(LOG_KEY_PAUSE));
  EXPECT_FALSE(log->LogPaused());
  const Bytes a = SampleBody(100, 8);
  Feed(a);

  settings.enterPauses = 1;
  for (int m : {MODE_ANALYSIS, MODE_FLASH}) {
    mode = m;
    EXPECT_FALSE(log->OnLogKey(LOG_KEY_MARKER)) << m;
    EXPECT_FALSE(log->OnLogKey(LOG_KEY_TIME_STAMP)) << m;
    EXPECT_FALSE(log->OnLogKey(LOG_KEY_PAUSE)) << m;
  }
  EXPECT_FALSE(log->LogPaused());
  mode = MODE_TRIP;
  EXPECT_FALSE(log->OnLogKey('1'));
  ASSERT_TRUE(log->OnLogKey(LOG_KEY_TIME_STAMP));
  WaitForFile("keys.dat", head + Text(a) + "TIME: " + kTime);
  EXPECT_EQ(log->LastMarker(), -1);  // refused markers and a time stamp ask for no number
  log->StopDataLog();
  // Only the one stamp was written; the refused keys left no trace.
  EXPECT_TRUE(SameBytes(OnDisk("keys.dat"), head + Text(a) + "TIME: " + kTime));
}

TEST_F(LogFixture, CancelOpenFailureRepeatAndPlaybackChangeNothing) {
  // Cancel.
  services.answer.clear();
  EXPECT_EQ(log->StartDataLog(), -1);
  EXPECT_TRUE(services.Messages().empty());
  EXPECT_FALSE(std::filesystem::exists(config.path));

  // A folder that does not exist.
  const VistrelSettings untouched = settings;
  services.answer = dir.File("missing/log.dat");
  EXPECT_EQ(log->StartDataLog(), -1);
  ASSERT_EQ(services.Messages().size(), 1u);
  EXPECT_EQ(services.Messages()[0].caption, "File Open Error");
  EXPECT_EQ(services.Messages()[0].text, "Can not open Data Logging File");
  EXPECT_EQ(services.Messages()[0].icon, MessageIcon::Information);
  EXPECT_EQ(settings, untouched);
  EXPECT_FALSE(log->LogActive());
  EXPECT_FALSE(link->LogEnabled());
  EXPECT_EQ(stateChanges, 0);

  // An open log: a second start shows no dialog.
  ASSERT_EQ(Start("one.dat"), 0);
  const std::size_t dialogs = services.dialogs.size();
  EXPECT_EQ(Start("two.dat"), -1);
  EXPECT_EQ(services.dialogs.size(), dialogs);
  EXPECT_FALSE(std::filesystem::exists(dir.File("two.dat")));
  log->StopDataLog();

  // During playback the command is gray; a stray call does nothing either.
  log->playbackActive = [] { return true; };
  EXPECT_EQ(Start("three.dat"), -1);
  EXPECT_EQ(services.dialogs.size(), dialogs);
  EXPECT_FALSE(log->LogActive());
}

TEST_F(LogFixture, AnalysisOrFlashDisplaySwitchesToTheGaugesBeforeTheDialog) {
  std::vector<std::string> events;
  services.events = &events;
  log->switchToGauge = [&] {
    events.push_back("gauge");
    mode = MODE_GAUGE;
  };
  services.answer.clear();
  const int modes[] = {MODE_ANALYSIS, MODE_FLASH, MODE_TRIP, MODE_DIAGNOSTICS};
  const std::vector<std::string> expected[] = {
      {"gauge", "dialog"}, {"gauge", "dialog"}, {"dialog"}, {"dialog"}};
  for (int i = 0; i < 4; ++i) {
    events.clear();
    mode = modes[i];
    log->StartDataLog();
    EXPECT_EQ(events, expected[i]) << "mode " << modes[i];
  }
}

TEST_F(LogFixture, EverySecondTickBringsTheStreamToTheFileEvenWhilePaused) {
  settings.enterPauses = 1;
  const std::string head = Head();
  ASSERT_EQ(Start("tick.dat"), 0);
  const Bytes a = SampleBody(500, 9), b = SampleBody(300, 10);
  Feed(a);
#ifndef _WIN32
  // Buffered: not in the file until a flush. (The Windows C runtime may
  // write an update stream through at once; the tick's promise holds alike.)
  SleepMs(50);
  ASSERT_TRUE(SameBytes(OnDisk("tick.dat"), head));
#endif
  log->OnSecondTick();
  WaitForFile("tick.dat", head + Text(a));

  Feed(b);
  ASSERT_TRUE(log->OnLogKey(LOG_KEY_PAUSE));
#ifndef _WIN32
  SleepMs(50);
  ASSERT_TRUE(SameBytes(OnDisk("tick.dat"), head + Text(a)));
#endif
  log->OnSecondTick();
  WaitForFile("tick.dat", head + Text(a) + Text(b));
  log->StopDataLog();
}

#ifndef _WIN32  // O_DSYNC
TEST(LogStream, AppendsToAnExistingFileAndSyncsItsWrites) {
  test::TempDir dir;
  const std::string path = dir.File("old.dat");
  test::WriteFileText(path, "first recording");
  std::FILE* stream = OpenLogStream(path);
  ASSERT_NE(stream, nullptr);
  const int flags = fcntl(fileno(stream), F_GETFL);
  EXPECT_TRUE(flags & O_APPEND);
  EXPECT_EQ(flags & O_DSYNC, O_DSYNC);
  EXPECT_EQ(std::fputs("|second", stream), 1);
  std::fclose(stream);
  EXPECT_EQ(test::ReadFileText(path), "first recording|second");

  // A new name creates the file.
  stream = OpenLogStream(dir.File("new.dat"));
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_TRUE(std::filesystem::exists(dir.File("new.dat")));
  EXPECT_EQ(OpenLogStream(dir.File("no/such/folder.dat")), nullptr);
}
#endif

TEST(LogPaths, ChosenPathSplitsIntoNameAndFolder) {
  struct Case {
    std::string path, name, folder;
  };
  const Case cases[] = {
      {"/home/u/logs/run.dat", "run.dat", "/home/u/logs/"},
      {"/run.dat", "run.dat", "/"},
      {"run.dat", "run.dat", ""},
      {"/logs/", "", "/logs/"},
  };
  for (const Case& c : cases) {
    FilePathTriple t = SplitFilePath(c.path);
    EXPECT_EQ(t.path, c.path);
    EXPECT_EQ(t.name, c.name) << c.path;
    EXPECT_EQ(t.folder, c.folder) << c.path;
  }
}

#ifndef _WIN32  // outputs made with glibc's fopencookie, Linux's /dev/full
// A disk with room for `room` more bytes: writes beyond it fail short.
struct SmallDisk {
  std::FILE* file;
  std::size_t room;
};

ssize_t SmallDiskWrite(void* cookie, const char* data, std::size_t size) {
  auto* disk = static_cast<SmallDisk*>(cookie);
  std::size_t n = std::min(size, disk->room);
  if (n > 0 && std::fwrite(data, 1, n, disk->file) != n) return 0;
  std::fflush(disk->file);
  disk->room -= n;
  return static_cast<ssize_t>(n);
}

int SmallDiskClose(void* cookie) {
  auto* disk = static_cast<SmallDisk*>(cookie);
  std::fclose(disk->file);
  delete disk;
  return 0;
}

std::FILE* OpenOnSmallDisk(const std::string& path, std::size_t room) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return nullptr;
  cookie_io_functions_t io{};
  io.write = SmallDiskWrite;
  io.close = SmallDiskClose;
  return fopencookie(new SmallDisk{file, room}, "a", io);
}

TEST_F(LogFixture, AnAppendedLogWhoseHeadDoesNotFitKeepsExactlyWhatItHeld) {
  const std::string earlier = "an earlier drive's bytes";
  test::WriteFileText(dir.File("old.dat"), earlier);
  for (std::size_t room : {std::size_t{0}, std::size_t{10}, Head().size() - 1}) {
    SCOPED_TRACE(room);
    log->openStream = [room](const std::string& path) { return OpenOnSmallDisk(path, room); };
    EXPECT_EQ(Start("old.dat"), -1);
    EXPECT_EQ(OnDisk("old.dat"), earlier);
  }
}

TEST_F(LogFixture, WriteFailureAtEveryStageKeepsWhatWasWrittenAndStopsLogging) {
  // Room on the disk, counted from the start of the head, from its end, or
  // from the end of the body.
  enum Base { FROM_START, FROM_HEAD_END, FROM_BODY_END };
  struct Room {
    Base base;
    long offset;
  };
  const Room rooms[] = {{FROM_START, 0},     {FROM_START, 1},     {FROM_START, 2000},  {FROM_HEAD_END, -1},
                        {FROM_HEAD_END, 0},  {FROM_HEAD_END, 1},  {FROM_HEAD_END, 277}, {FROM_BODY_END, -1},
                        {FROM_BODY_END, 0},  {FROM_BODY_END, 500}};
  const Bytes body = SampleBody(900, 11);
  int n = 0;
  for (const Room& r : rooms) {
    const std::string name = "disk" + std::to_string(n++) + ".dat";
    const std::string head = Head();
    const std::string full = head + Text(body);
    const std::size_t room =
        static_cast<std::size_t>((r.base == FROM_START ? 0 : r.base == FROM_HEAD_END ? head.size() : full.size()) +
                                 r.offset);
    SCOPED_TRACE("room " + std::to_string(room) + " of head " + std::to_string(head.size()));
    const VistrelSettings before = settings;
    services.messages.clear();
    errorsPosted.store(0);
    log->openStream = [room](const std::string& path) { return OpenOnSmallDisk(path, room); };

    const int started = Start(name);
    if (room < head.size()) {
      // The head did not fit: reported at once, nothing else changes.
      EXPECT_EQ(started, -1);
      EXPECT_FALSE(log->LogActive());
      EXPECT_FALSE(link->LogEnabled());
      EXPECT_EQ(settings, before);
      ASSERT_EQ(services.Messages().size(), 1u);
      EXPECT_EQ(services.Messages()[0].caption, "File Write Error");
      EXPECT_EQ(services.Messages()[0].text, "Error Writing to File\nDisk Full?");
      // No empty or half-headed log is left where there was none.
      EXPECT_FALSE(std::filesystem::exists(dir.File(name)));
      continue;
    }
    ASSERT_EQ(started, 0);
    Feed(body);
    log->OnSecondTick();  // the flush that meets the full disk
    if (room < full.size()) {
      ASSERT_TRUE(WaitFor([&] { return errorsPosted.load() == 1; }));
      EXPECT_NE(postingThread.load(), std::this_thread::get_id());
      EXPECT_FALSE(link->LogEnabled());
      EXPECT_TRUE(log->LogActive());  // until the window thread serves the report
      log->ReportLogWriteError();
      EXPECT_FALSE(log->LogActive());
      ASSERT_EQ(services.Messages().size(), 1u);
      EXPECT_EQ(services.Messages()[0].caption, "File Write Error");
      EXPECT_EQ(services.Messages()[0].text, "Error Writing to File\nDisk Full?");
      EXPECT_EQ(services.Messages()[0].icon, MessageIcon::Information);
      // The live stream goes on.
      Feed(SampleBody(50, 12));
    } else {
      WaitForFile(name, full);
      log->StopDataLog();
      EXPECT_TRUE(services.Messages().empty());
    }
    EXPECT_EQ(errorsPosted.load(), room < full.size() ? 1 : 0);
    EXPECT_TRUE(SameBytes(OnDisk(name), full.substr(0, room)));
    // A second report of the same failure shows nothing more.
    log->ReportLogWriteError();
    EXPECT_EQ(services.Messages().size(), room < full.size() ? 1u : 0u);
  }
}

TEST_F(LogFixture, HeadThatMeetsAFullDeviceIsReportedAsAWriteError) {
  ASSERT_TRUE(std::filesystem::exists("/dev/full"));
  services.answer = "/dev/full";
  EXPECT_EQ(log->StartDataLog(), -1);
  ASSERT_EQ(services.Messages().size(), 1u);
  EXPECT_EQ(services.Messages()[0].caption, "File Write Error");
  EXPECT_FALSE(log->LogActive());
  EXPECT_FALSE(link->LogEnabled());
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full")) << "a device named as the log is never removed";
}

TEST_F(LogFixture, FailureServedByTheSecondTickWhenNoQueuedCallCame) {
  log->onWriteErrorPosted = nullptr;
  // Room for the head only.
  const std::string head = Head();
  log->openStream = [room = head.size()](const std::string& path) { return OpenOnSmallDisk(path, room); };
  ASSERT_EQ(Start("tick-report.dat"), 0);
  Feed(SampleBody(100, 13));
  log->OnSecondTick();
  ASSERT_TRUE(WaitFor([&] { return !link->LogEnabled(); }));
  EXPECT_TRUE(log->LogActive());
  log->OnSecondTick();
  EXPECT_FALSE(log->LogActive());
  ASSERT_EQ(services.Messages().size(), 1u);
  EXPECT_EQ(services.Messages()[0].text, "Error Writing to File\nDisk Full?");
  EXPECT_TRUE(SameBytes(OnDisk("tick-report.dat"), head));
}
#endif  // !_WIN32

TEST_F(LogFixture, AReportThatIsNotAboutTheOpenLogIsIgnored) {
  const std::string head = Head();
  ASSERT_EQ(Start("healthy.dat"), 0);
  // A failure posted for a log that has been replaced since: the link still
  // writes the open one.
  log->PostLogWriteError();
  log->ReportLogWriteError();
  EXPECT_TRUE(log->LogActive());
  EXPECT_TRUE(link->LogEnabled());
  EXPECT_TRUE(services.Messages().empty());
  const Bytes a = SampleBody(120, 14);
  Feed(a);
  log->StopDataLog();
  EXPECT_TRUE(SameBytes(OnDisk("healthy.dat"), head + Text(a)));
}

TEST_F(LogFixture, WhatArrivedBeforeAnOutageIsOnTheDiskDuringIt) {
  const std::string head = Head();
  ASSERT_EQ(Start("outage.dat"), 0);
  const Bytes body = SampleBody(600, 5);  // well inside the stream's buffer
  Feed(body);
  {
    std::lock_guard<std::mutex> lock(script.m);
    script.hungUp = true;
    script.refuseOpen = true;  // and it stays away
  }
  // Flushed at the hang-up, not when the device comes back.
  WaitForFile("outage.dat", head + Text(body));
  ASSERT_FALSE(link->PortRunning());
  // A stamp asked for during the outage reaches the disk during it too.
  EXPECT_TRUE(log->OnLogKey(LOG_KEY_TIME_STAMP));
  WaitForFile("outage.dat", head + Text(body) + "TIME: " + kTime);
}

#ifndef _WIN32  // outputs made with glibc's fopencookie
// A log output whose writes take as long as the test says.
struct SlowDisk {
  std::FILE* file;
  std::atomic<int> writeMs{0};
  std::atomic<bool> release{false};  // ends a write held "for ever"
  std::atomic<bool> inWrite{false};
  std::atomic<bool> closedDuringWrite{false};
  std::atomic<bool> closed{false};
};

ssize_t SlowDiskWrite(void* cookie, const char* data, std::size_t size) {
  auto* disk = static_cast<SlowDisk*>(cookie);
  disk->inWrite.store(true);
  const std::int64_t end = MonotonicMs() + disk->writeMs.load();
  while (MonotonicMs() < end && !disk->release.load()) SleepMs(1);
  std::fwrite(data, 1, size, disk->file);
  std::fflush(disk->file);
  disk->inWrite.store(false);
  return static_cast<ssize_t>(size);
}

int SlowDiskClose(void* cookie) {
  auto* disk = static_cast<SlowDisk*>(cookie);
  if (disk->inWrite.load()) disk->closedDuringWrite.store(true);
  std::fclose(disk->file);
  disk->closed.store(true);
  return 0;
}

std::FILE* OpenOnSlowDisk(const std::string& path, SlowDisk* disk) {
  disk->file = std::fopen(path.c_str(), "ab");
  if (!disk->file) return nullptr;
  cookie_io_functions_t io{};
  io.write = SlowDiskWrite;
  io.close = SlowDiskClose;
  std::FILE* stream = fopencookie(disk, "a", io);
  std::setvbuf(stream, nullptr, _IONBF, 0);  // every byte is a write
  return stream;
}

TEST_F(LogFixture, ClosingWaitsForAWriteInProgressInsteadOfASleep) {
  SlowDisk disk;
  log->openStream = [&disk](const std::string& path) { return OpenOnSlowDisk(path, &disk); };
  const std::string head = Head();
  ASSERT_EQ(Start("slow.dat"), 0);
  disk.writeMs.store(400);  // longer than any fixed pause a close might make
  {
    std::lock_guard<std::mutex> lock(script.m);
    script.incoming.push_back(0x42);
  }
  ASSERT_TRUE(WaitFor([&] { return disk.inWrite.load(); }));
  log->StopDataLog();
  EXPECT_TRUE(disk.closed.load());
  EXPECT_FALSE(disk.closedDuringWrite.load()) << "the stream was closed under the CommThread's write";
  EXPECT_EQ(OnDisk("slow.dat"), head + "B");
  EXPECT_TRUE(services.Messages().empty());
}

TEST_F(LogFixture, AnOutputThatNeverReturnsCannotHangTheClose) {
  SlowDisk disk;
  log->openStream = [&disk](const std::string& path) { return OpenOnSlowDisk(path, &disk); };
  const std::string head = Head();
  ASSERT_EQ(Start("stuck.dat"), 0);
  disk.writeMs.store(60000);  // a stalled network disk
  {
    std::lock_guard<std::mutex> lock(script.m);
    script.incoming.push_back(0x42);
  }
  ASSERT_TRUE(WaitFor([&] { return disk.inWrite.load(); }));
  const std::int64_t start = MonotonicMs();
  log->StopDataLog(300);
  EXPECT_LT(MonotonicMs() - start, 3000);
  EXPECT_FALSE(log->LogActive());
  EXPECT_FALSE(disk.closed.load()) << "never closed under the stuck write";
  ASSERT_EQ(services.Messages().size(), 1u);
  EXPECT_EQ(services.Messages()[0].caption, "File Write Error");
  // The write returns at last; the CommThread goes on without the log.
  disk.release.store(true);
  ASSERT_TRUE(WaitFor([&] { return !disk.inWrite.load(); }));
  Feed({1, 2, 3});
  EXPECT_EQ(OnDisk("stuck.dat"), head + "B");
  link->Stop();
  std::fclose(disk.file);  // the stream given up is the test's to free
}
#endif  // !_WIN32

}  // namespace
}  // namespace zrm
