// zrmtool record against the simulated ECM on a real pseudo-terminal: the head
// with vistrel's configuration, a body that is exactly the stream the ECM
// sent, markers numbered from 000 in every recording, a second run appended,
// the normal close on a signal, and the failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "platform/paths.h"
#include "shell/vistrel_config.h"
#include "sim/drive_script.h"
#include "sim/sim_ecm.h"
#include "sim/sim_wire.h"
#include "test_support.h"

namespace zrm {
namespace {

constexpr std::uint32_t kSeed = 7;
constexpr std::size_t kTimeTextLength = 21;

std::string Tool() { return ZRMTOOL_PATH; }

// The configuration block zrmtool writes: its file beside the tool when there
// is one, else the start values. Empty when the tool's folder is not
// writable (the user's folder would be used; only the form is checked then).
bool ExpectedConfiguration(std::string* text) {
  const std::string folder = std::filesystem::path(Tool()).parent_path().string() + "/";
  if (!FolderIsWritable(folder)) return false;
  VistrelSettings settings;
  const std::string path = folder + VISTREL_CONFIG_NAME;
  ConfigFile config = MakeVistrelConfig(std::filesystem::exists(path) ? path : std::string(), settings, nullptr);
  LoadConfig(config);
  WriteConfigEntries(config, *text);
  return true;
}

bool IsTimeText(const std::string& text) {
  static const std::regex pattern(R"(\d\d/\d\d/\d{4} - \d\d:\d\d:\d\d)");
  return std::regex_match(text, pattern);
}

// Checks the head of the recording that starts at `at`; returns where its body
// starts, or 0 after a failure.
std::size_t CheckHead(const std::string& file, std::size_t at) {
  EXPECT_EQ(file.compare(at, 6, "TIME: "), 0);
  EXPECT_TRUE(IsTimeText(file.substr(at + 6, kTimeTextLength))) << file.substr(at + 6, kTimeTextLength);
  std::size_t pos = at + 6 + kTimeTextLength;
  std::string expected;
  if (ExpectedConfiguration(&expected)) {
    EXPECT_EQ(file.compare(pos, expected.size(), expected), 0) << "configuration block differs";
    return pos + expected.size();
  }
  // Form only: one line per key of the table, in order, each ending CR LF.
  VistrelSettings settings;
  for (const ConfigKey& key : BuildVistrelKeys(settings)) {
    EXPECT_EQ(file.compare(pos, key.key.size() + 1, key.key + " "), 0) << key.key;
    std::size_t end = file.find("\r\n", pos);
    if (end == std::string::npos) return 0;
    EXPECT_EQ(file.substr(pos, end - pos).find('\r'), std::string::npos);
    pos = end + 2;
  }
  return pos;
}

// Removes "MARKnnnTIME: <time>" texts; their numbers go to `numbers`.
std::string StripMarkers(const std::string& body, std::vector<int>* numbers) {
  static const std::regex marker(R"(MARK(\d\d\d)TIME: (\d\d/\d\d/\d{4} - \d\d:\d\d:\d\d))");
  std::string rest;
  std::size_t from = 0;
  for (std::sregex_iterator it(body.begin(), body.end(), marker), end; it != end; ++it) {
    rest += body.substr(from, static_cast<std::size_t>(it->position()) - from);
    numbers->push_back(std::stoi((*it)[1].str()));
    from = static_cast<std::size_t>(it->position() + it->length());
  }
  return rest + body.substr(from);
}

std::string ScriptFrame(std::uint64_t index) {
  sim::Payload payload;
  sim::FillDriveFrame(index, kSeed, 0, payload);
  std::vector<std::uint8_t> wire = sim::EncodeFrame(payload);
  return std::string(wire.begin(), wire.end());
}

// The bytes are a stretch of the scripted stream: the tail of one frame, then
// whole frames in order, then the start of one. `frames` gets the whole ones.
::testing::AssertionResult IsScriptStream(const std::string& bytes, int* frames) {
  const std::size_t size = sim::WIRE_FRAME_SIZE;
  for (std::size_t start = bytes.find("\x55\xAA"); start < size && start + size <= bytes.size();
       start = bytes.find("\x55\xAA", start + 1)) {
    for (std::uint64_t k = start == 0 ? 0 : 1; k < 17 * 60; ++k) {
      if (bytes.compare(start, size, ScriptFrame(k)) != 0) continue;
      std::string expected = start == 0 ? std::string() : ScriptFrame(k - 1).substr(size - start);
      for (std::uint64_t next = k; expected.size() < bytes.size(); ++next) expected += ScriptFrame(next);
      std::size_t at = 0;
      while (at < bytes.size() && bytes[at] == expected[at]) ++at;
      if (at != bytes.size())
        return ::testing::AssertionFailure() << "differs from the script at byte " << at << " of " << bytes.size();
      *frames = static_cast<int>((bytes.size() - start) / size);
      return ::testing::AssertionSuccess();
    }
  }
  return ::testing::AssertionFailure() << "no frame of the script near the start of " << bytes.size() << " bytes";
}

struct RecordRun {
  int status = -1;
  long bytes = -1, frames = -1;
  std::string output;
};

RecordRun Record(const std::string& arguments) {
  RecordRun run;
  run.status = test::RunCommand(arguments, &run.output);
  std::sscanf(run.output.c_str(), "bytes %ld frames %ld", &run.bytes, &run.frames);
  return run;
}

struct RecordFixture : ::testing::Test {
  test::TempDir dir;
  std::string link = dir.File("ecm");
  std::string out = dir.File("drive.dat");
  std::unique_ptr<sim::SimEcm> ecm;

  void SetUp() override {
    sim::SimOptions options;
    options.linkPath = link;
    options.seed = kSeed;
    ecm = std::make_unique<sim::SimEcm>(options);
    ASSERT_EQ(ecm->Start(), 0);
  }
  void TearDown() override { ecm->Stop(); }

  std::string Command(const std::string& tail) { return Tool() + " record " + link + " " + out + " " + tail; }
};

TEST_F(RecordFixture, BodyIsExactlyTheStreamTheEcmSentAfterAHead) {
  RecordRun run = Record(Command("--seconds 2"));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string file = test::ReadFileText(out);
  const std::size_t bodyStart = CheckHead(file, 0);
  ASSERT_GT(bodyStart, 0u);
  const std::string body = file.substr(bodyStart);
  int frames = 0;
  EXPECT_TRUE(IsScriptStream(body, &frames));
  EXPECT_EQ(run.bytes, static_cast<long>(body.size()));
  EXPECT_EQ(run.frames, frames);
  // About two seconds at 17 frames a second.
  EXPECT_GE(frames, 17);
  EXPECT_LE(frames, 17 * 3);
}

TEST_F(RecordFixture, SecondRunAppendsARecordingWhoseMarkersStartAtZero) {
  RecordRun first = Record(Command("--seconds 3 --mark-every 1"));
  ASSERT_EQ(first.status, 0) << first.output;
  const std::string afterFirst = test::ReadFileText(out);
  RecordRun second = Record(Command("--seconds 3 --mark-every 1"));
  ASSERT_EQ(second.status, 0) << second.output;
  const std::string file = test::ReadFileText(out);
  ASSERT_GT(file.size(), afterFirst.size());
  EXPECT_EQ(file.compare(0, afterFirst.size(), afterFirst), 0) << "the first recording changed";

  const struct {
    std::size_t begin, end;
    const RecordRun& run;
  } recordings[] = {{0, afterFirst.size(), first}, {afterFirst.size(), file.size(), second}};
  for (const auto& r : recordings) {
    SCOPED_TRACE("recording at " + std::to_string(r.begin));
    const std::size_t bodyStart = CheckHead(file, r.begin);
    ASSERT_GT(bodyStart, 0u);
    const std::string body = file.substr(bodyStart, r.end - bodyStart);
    EXPECT_EQ(r.run.bytes, static_cast<long>(body.size()));
    std::vector<int> numbers;
    const std::string stream = StripMarkers(body, &numbers);
    // A marker each second of the three, numbered from 000.
    ASSERT_GE(numbers.size(), 2u);
    ASSERT_LE(numbers.size(), 3u);
    for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<int>(i));
    int frames = 0;
    EXPECT_TRUE(IsScriptStream(stream, &frames));
    // A marker that falls between the two sync bytes costs its frame.
    EXPECT_LE(r.run.frames, frames);
    EXPECT_GE(r.run.frames, frames - static_cast<int>(numbers.size()));
  }
}

TEST_F(RecordFixture, StopSignalClosesThePortWithTheStreamOffFirst) {
  for (const char* signal : {"INT", "TERM"}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove(out);
    const std::size_t packetsBefore = ecm->Packets().size();
    RecordRun run = Record("timeout --preserve-status -s " + std::string(signal) + " 2 " + Command(""));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(run.frames, 0);
    EXPECT_EQ(run.bytes, static_cast<long>(std::filesystem::file_size(out) - CheckHead(test::ReadFileText(out), 0)));
    // Stream on after the open, stream off before the close.
    const std::vector<sim::CommandPacket> packets = ecm->Packets();
    ASSERT_EQ(packets.size(), packetsBefore + 2);
    const sim::CommandPacket on{0x52, 0x58, 0x01, 0x00, 0xAB};
    const sim::CommandPacket off{0x52, 0x58, 0x00, 0x00, 0xAA};
    EXPECT_EQ(packets[packetsBefore], on);
    EXPECT_EQ(packets[packetsBefore + 1], off);
    EXPECT_FALSE(ecm->Streaming());
  }
}

TEST_F(RecordFixture, UsageAndFailures) {
  struct Case {
    std::string arguments;
    int status;
    std::string says;  // part of what it writes
  };
  const Case cases[] = {
      {"", 2, "usage: zrmtool record PORT OUT.dat"},
      {link, 2, "usage"},
      {link + " " + out + " --seconds", 2, "usage"},
      {link + " " + out + " --seconds -1", 2, "usage"},
      {link + " " + out + " --seconds 0", 2, "usage"},
      {link + " " + out + " --mark-every 0", 2, "usage"},
      {link + " " + out + " --fast", 2, "usage"},
      {link + " " + out + " extra", 2, "usage"},
      {link + " /dev/full --seconds 1", 1, "File Write Error: Error Writing to File\nDisk Full?"},
      {link + " " + dir.File("none/x.dat") + " --seconds 1", 1, "File Open Error: Can not open Data Logging File"},
      {dir.File("no-such-port") + " " + out + " --seconds 1", 1, "did not open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string output;
    EXPECT_EQ(test::RunCommand(Tool() + " record " + c.arguments + " 2>&1", &output), c.status);
    EXPECT_NE(output.find(c.says), std::string::npos) << output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("none")));
}

}  // namespace
}  // namespace zrm
