// The simulated ECM: its scripted frames, its line faults, its command hunt,
// and the whole device through a real pseudo-terminal.
//
// Fields are read at the link's offsets (link/runtime_frame.h), so the
// simulator's own layout is checked against the reader's.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "link/runtime_frame.h"
#include "sim/drive_script.h"
#include "sim/fault_injector.h"
#include "sim/sim_ecm.h"
#include "sim/sim_wire.h"
#include "test_support.h"

namespace zrm::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kLaps = 3;

// ---- independent readings of a payload ---------------------------------

int Minor(const Payload& p) { return p[field::firmwareByte] & 0x0F; }
int Cylinders(const Payload& p) { return p[field::configByte] & 0x0F; }

int MapBars(const Payload& p) {
  if (p[field::configByte] & 0x80) return 2;
  if (p[field::configByte] & 0x40) return 3;
  return 1;
}

// The RPM rule of the runtime record, written out again here.
int DecodeRpm(const Payload& p) {
  const int low = p[field::rpmLow];
  const int coarse = p[field::rpmCoarse];
  if (low == 0) {
    const int period = FrameWord(p.data(), field::refPeriod);
    if (period == 0) return 0;
    const int cyl = Cylinders(p);
    static const std::map<int, std::pair<int, int>> kByCylinders = {
        {4, {1966080, 30}}, {5, {1572864, 24}}, {6, {1310720, 20}}, {7, {1123474, 17}}, {8, {983040, 15}}};
    auto it = kByCylinders.find(cyl);
    if (it == kByCylinders.end()) return 0;
    int rpm = it->second.first / period;
    if (rpm <= it->second.second || rpm >= 9999) return 0;
    return rpm;
  }
  if (coarse == 0) return static_cast<int>(low * 12.5);
  if (coarse == 255) {
    if (p[field::rpmFine] == 255 && Minor(p) >= 2) return static_cast<int>(p[field::rpmHigh] * 31.25);
    return p[field::rpmFine] * 25;
  }
  return static_cast<int>(coarse * 12.5) + 400;
}

enum class RpmEncoding { Period, CoarseLow, LowOnly, Fine, High, Zero };

RpmEncoding EncodingOf(const Payload& p) {
  if (p[field::rpmLow] == 0) return FrameWord(p.data(), field::refPeriod) == 0 ? RpmEncoding::Zero : RpmEncoding::Period;
  if (p[field::rpmCoarse] == 0) return RpmEncoding::LowOnly;
  if (p[field::rpmCoarse] != 255) return RpmEncoding::CoarseLow;
  return p[field::rpmFine] == 255 ? RpmEncoding::High : RpmEncoding::Fine;
}

Payload Frame(std::uint64_t index, std::uint32_t seed = 1, int bank = 0) {
  Payload p;
  FillDriveFrame(index, seed, bank, p);
  return p;
}

std::uint64_t LapFrame(int lap, double seconds) {
  return static_cast<std::uint64_t>(lap) * LAP_FRAMES + static_cast<std::uint64_t>(seconds * DRIVE_FRAMES_PER_SECOND);
}

bool EngineBit(const Payload& p) { return FrameBit(p.data(), field::statusByte1, 7); }

// Cuts valid frames out of a byte stream; after a bad sum the hunt goes on
// right after the false sync pair, so noise that looks like a sync cannot
// swallow the frame behind it.
struct Hunted {
  std::vector<Payload> frames;
  int badSums = 0;
};

Hunted HuntFrames(const Bytes& stream) {
  Hunted out;
  std::size_t i = 0;
  while (i + 1 < stream.size()) {
    if (stream[i] != 0x55 || stream[i + 1] != 0xAA) {
      ++i;
      continue;
    }
    if (i + 2 + 273 + 2 > stream.size()) break;
    Payload p;
    std::uint32_t sum = 0xFF;
    for (int k = 0; k < 273; ++k) {
      p[k] = stream[i + 2 + k];
      sum += p[k];
    }
    const std::uint16_t sent = static_cast<std::uint16_t>((stream[i + 275] << 8) | stream[i + 276]);
    if ((sum & 0xFFFF) == sent) {
      out.frames.push_back(p);
      i += 277;
    } else {
      ++out.badSums;
      i += 2;
    }
  }
  return out;
}

// ---- the drive script ----------------------------------------------------

TEST(DriveScript, EncodedFramesCarryTheSyncPairAndTheirSum) {
  Payload zeros{};
  Bytes empty = EncodeFrame(zeros);
  ASSERT_EQ(empty.size(), 277u);
  EXPECT_EQ(empty[275], 0x00);
  EXPECT_EQ(empty[276], 0xFF);

  for (std::uint64_t f = 0; f < static_cast<std::uint64_t>(kLaps * LAP_FRAMES); f += 13) {
    Bytes wire = EncodeFrame(Frame(f));
    ASSERT_EQ(wire.size(), 277u);
    Hunted h = HuntFrames(wire);
    ASSERT_EQ(h.frames.size(), 1u) << "frame " << f;
    EXPECT_EQ(h.frames[0], Frame(f));
  }
}

TEST(DriveScript, PhasesAndGearsFallWhereTheTimelineSaysTheyDo) {
  struct Row {
    double seconds;
    DrivePhase phase;
    int gear;
  };
  const Row kRows[] = {
      {0.5, DrivePhase::KeyOn, 0},    {2.5, DrivePhase::Crank, 0},    {4.0, DrivePhase::Idle, 0},
      {13.5, DrivePhase::Launch, 1},  {15.0, DrivePhase::Pull, 1},    {20.0, DrivePhase::Pull, 2},
      {25.0, DrivePhase::Pull, 3},    {30.0, DrivePhase::Pull, 4},    {40.0, DrivePhase::Cruise, 5},
      {47.0, DrivePhase::Decel, 5},   {55.0, DrivePhase::StoppedIdle, 0},
      {56.5, DrivePhase::Stopping, 0}, {58.0, DrivePhase::KeyOnAfter, 0},
  };
  for (int lap : {0, 4}) {
    for (const Row& row : kRows) {
      const std::uint64_t f = LapFrame(lap, row.seconds);
      EXPECT_EQ(DriveStateAt(f).phase, row.phase) << row.seconds << " s";
      EXPECT_EQ(Frame(f)[field::gear], row.gear) << row.seconds << " s";
    }
  }
}

TEST(DriveScript, PayloadsNeverHoldTheLogMarkerTexts) {
  // A reader of data logs cuts "TIME:" and "MARK" out of frames, so the ECM's
  // own bytes must not spell them.
  const std::string kTexts[] = {"TIME:", "MARK"};
  for (std::uint64_t f = 0; f < static_cast<std::uint64_t>(kLaps * LAP_FRAMES); ++f) {
    const Payload p = Frame(f, 2, static_cast<int>(f % 8));
    const std::string text(p.begin(), p.end());
    for (const std::string& marker : kTexts) {
      ASSERT_EQ(text.find(marker), std::string::npos) << "frame " << f;
    }
  }
}

TEST(DriveScript, IsAPureFunctionOfIndexAndSeedWithTheSeedOnlyJitteringSensors) {
  int seedDiffers = 0;
  for (std::uint64_t f = 0; f < static_cast<std::uint64_t>(LAP_FRAMES); f += 5) {
    Payload a = Frame(f, 7);
    EXPECT_EQ(a, Frame(f, 7));
    Payload b = Frame(f, 8);
    if (a != b) ++seedDiffers;
    // The timeline is the same for every seed.
    for (int offset : {field::statusByte0, field::statusByte1, field::runTimeSec, field::runTimeSec + 1,
                       field::vssPulseCount, field::fuelPulseCount, field::knockCount + 1, field::configByte})
      EXPECT_EQ(a[offset], b[offset]) << "frame " << f << " offset " << offset;
  }
  EXPECT_GT(seedDiffers, 0);
}

TEST(DriveScript, EngineStartsAndStopsOnTheDocumentedTimeline) {
  const int start = PHASE_START_FRAME[static_cast<int>(DrivePhase::Idle)];
  const int stop = PHASE_START_FRAME[static_cast<int>(DrivePhase::Stopping)];
  for (int lap = 0; lap < kLaps; ++lap) {
    int previousRunTime = 0;
    int lastRunning = -1;
    for (int i = 0; i < LAP_FRAMES; ++i) {
      const std::uint64_t f = static_cast<std::uint64_t>(lap) * LAP_FRAMES + static_cast<std::uint64_t>(i);
      const Payload p = Frame(f);
      const bool running = i >= start && i < stop;
      ASSERT_EQ(EngineBit(p), running) << "lap " << lap << " frame " << i;
      EXPECT_EQ(DriveStateAt(f).engineRunning, running);
      const int runTime = FrameWord(p.data(), field::runTimeSec);
      if (!running) {
        EXPECT_EQ(runTime, 0) << "frame " << i;
        EXPECT_EQ(DecodeRpm(p) == 0, i < PHASE_START_FRAME[1] || i >= PHASE_START_FRAME[9]) << "frame " << i;
      } else {
        // Counts up from 0, a second at a time.
        EXPECT_GE(runTime, previousRunTime);
        EXPECT_LE(runTime - previousRunTime, 1);
        if (i == start) {
          EXPECT_EQ(runTime, 0);
        }
        EXPECT_GT(DecodeRpm(p), 500) << "frame " << i;
        lastRunning = runTime;
      }
      EXPECT_EQ(FrameBit(p.data(), field::statusByte0, 4), PhaseAt(i) == DrivePhase::Stopping) << "frame " << i;
      previousRunTime = runTime;
    }
    EXPECT_EQ(lastRunning, (stop - start - 1) / DRIVE_FRAMES_PER_SECOND);
  }
  // The reader confirms "running" 35 frames after the first engine frame;
  // the script must leave it running long enough to be seen.
  EXPECT_GT(stop - start, 35 + 10 * DRIVE_FRAMES_PER_SECOND);
}

TEST(DriveScript, RpmUsesEveryEncodingAndEachDecodesToTheScriptedSpeed) {
  std::map<std::pair<int, RpmEncoding>, int> seen;  // (cylinders, encoding) -> frames
  for (std::uint64_t f = 0; f < static_cast<std::uint64_t>(kLaps * LAP_FRAMES); ++f) {
    const Payload p = Frame(f, 3);
    const DriveState s = DriveStateAt(f);
    const int rpm = DecodeRpm(p);
    // Within one encoding step plus the idle and cruise wobble.
    ASSERT_NEAR(rpm, s.rpm, 40) << "frame " << f << " phase " << static_cast<int>(s.phase);
    ++seen[{Cylinders(p), EncodingOf(p)}];
  }
  for (int cylinders : {8, 4}) {
    for (RpmEncoding e : {RpmEncoding::Period, RpmEncoding::CoarseLow, RpmEncoding::LowOnly, RpmEncoding::Fine,
                          RpmEncoding::High, RpmEncoding::Zero})
      EXPECT_GT((seen[{cylinders, e}]), 0) << cylinders << " cylinders, encoding " << static_cast<int>(e);
  }
}

TEST(DriveScript, HighRpmEncodingOnlyWithFirmwareTwoPointTwoOrLater) {
  for (std::uint64_t f = 0; f < static_cast<std::uint64_t>(kLaps * LAP_FRAMES); f += 3) {
    const Payload p = Frame(f);
    if (EncodingOf(p) == RpmEncoding::High) {
      ASSERT_GE(Minor(p), 2) << "frame " << f;
    }
  }
}

TEST(DriveScript, RollingCountersFollowTheDriveAndWrap) {
  int vssWraps = 0;
  int fuelWraps = 0;
  double pulsesFromSpeed = 0;
  long long pulsesCounted = 0;
  long long knockSteps = 0;
  Payload prev = Frame(0);
  for (std::uint64_t f = 1; f < static_cast<std::uint64_t>(kLaps * LAP_FRAMES) + 5; ++f) {
    const Payload p = Frame(f);
    const DriveState s = DriveStateAt(f);
    const int dv = (p[field::vssPulseCount] - prev[field::vssPulseCount] + 256) % 256;
    const int df = (p[field::fuelPulseCount] - prev[field::fuelPulseCount] + 256) % 256;
    if (p[field::vssPulseCount] < prev[field::vssPulseCount]) ++vssWraps;
    if (p[field::fuelPulseCount] < prev[field::fuelPulseCount]) ++fuelWraps;
    // No jumps, lap boundaries included.
    ASSERT_LE(dv, 10) << "frame " << f;
    ASSERT_LE(df, 60) << "frame " << f;
    if (s.speedMph == 0) {
      EXPECT_EQ(dv, 0) << "frame " << f;
    }
    if (!s.engineRunning && s.phase != DrivePhase::Crank) {
      EXPECT_EQ(df, 0) << "frame " << f;
    }
    if (s.engineRunning && !FrameBit(p.data(), field::statusByte8, 3)) {
      EXPECT_GE(df, 1) << "frame " << f;
    }
    if (FrameBit(p.data(), field::statusByte8, 3)) {
      EXPECT_EQ(df, 0) << "frame " << f;
    }

    const int knock = FrameWord(p.data(), field::knockCount);
    const int knockBefore = FrameWord(prev.data(), field::knockCount);
    ASSERT_GE(knock, knockBefore);
    if (knock > knockBefore) {
      EXPECT_NE(p[field::sparkRetard], 0) << "frame " << f;
    }
    knockSteps += knock - knockBefore;

    pulsesFromSpeed += s.speedMph * (920920.0 / FrameWord(p.data(), field::vssPpmRaw)) / 3600.0 / DRIVE_FRAMES_PER_SECOND;
    pulsesCounted += dv;
    prev = p;
  }
  EXPECT_GE(vssWraps, 5);
  EXPECT_GE(fuelWraps, 5);
  EXPECT_NEAR(static_cast<double>(pulsesCounted), pulsesFromSpeed, 2.0);
  EXPECT_GE(knockSteps, kLaps * 5);
}

TEST(DriveScript, MapSensorCyclesOneTwoThreeBarAcrossLaps) {
  struct Row {
    int lap;
    int bars;
  };
  for (const Row& row : {Row{0, 1}, Row{1, 2}, Row{2, 3}, Row{3, 1}, Row{4, 2}, Row{5, 3}}) {
    const Payload idle = Frame(LapFrame(row.lap, 8));
    EXPECT_EQ(MapBars(idle), row.bars) << "lap " << row.lap;
    EXPECT_EQ(DriveStateAt(LapFrame(row.lap, 8)).mapBars, row.bars);
    // Late in the third-gear pull: boost only where the sensor can read it.
    const Payload pull = Frame(LapFrame(row.lap, 28));
    double kpa = 0;
    const int raw = pull[field::mapRaw];
    if (row.bars == 1) kpa = raw * 0.369 + 10.415;
    if (row.bars == 2) kpa = raw * 0.7705 + 8;
    if (row.bars == 3) kpa = raw * 1.2335 + 1.1;
    EXPECT_NEAR(kpa, DriveStateAt(LapFrame(row.lap, 28)).mapKpa, 2.5) << "lap " << row.lap;
    if (row.bars == 1) {
      EXPECT_EQ(pull[field::boostRaw], 0);
    } else {
      EXPECT_GT(pull[field::boostRaw], 0);
      EXPECT_GT(kpa, 150);
    }
  }
}

TEST(DriveScript, BankByteCarriesTheActiveBankAndTheFlashModelBit) {
  for (int bank = 0; bank < 8; ++bank) {
    const Payload p = Frame(LapFrame(0, 20), 1, bank);
    EXPECT_EQ(p[field::bankByte] & 7, bank);
    EXPECT_TRUE(p[field::bankByte] & 0x80);
    EXPECT_EQ(p[field::bankByte] & 0x78, 0);
  }
}

TEST(DriveScript, EveryLampAndSignalTheDisplaysReadChangesDuringALap) {
  struct Bit {
    int offset;
    int bit;
  };
  const Bit kBits[] = {
      {field::statusByte0, 4}, {field::statusByte1, 7}, {field::statusByte2, 7}, {field::statusByte3, 2},
      {field::statusByte3, 3}, {field::statusByte5, 0}, {field::statusByte5, 3}, {field::statusByte5, 4},
      {field::statusByte5, 5}, {field::statusByte5, 7}, {field::statusByte6, 0}, {field::statusByte6, 2},
      {field::statusByte6, 3}, {field::statusByte6, 7}, {field::statusByte8, 3}, {field::statusByte11, 0},
      {field::statusByte13, 4}, {field::statusByte13, 6}, {field::statusByte13, 7}, {field::statusByte14, 1},
      {field::statusByte14, 4}, {field::statusByte14, 7}, {field::statusByte15, 3}, {field::statusByte15, 4},
      {field::statusByte180, 7}, {field::statusByte252, 7}, {field::firmwareByte, 7},
  };
  std::map<std::pair<int, int>, std::set<bool>> bitValues;
  std::map<int, std::set<int>> byteValues;
  std::vector<int> adcMin(8, 1023), adcMax(8, 0);
  for (std::uint64_t f = 0; f < static_cast<std::uint64_t>(kLaps * LAP_FRAMES); f += 2) {
    const Payload p = Frame(f);
    for (const Bit& b : kBits) bitValues[{b.offset, b.bit}].insert(FrameBit(p.data(), b.offset, b.bit));
    for (int offset : {field::malfCodes, field::malfCodes + 1, field::malfCodes + 2, field::malfCodes2,
                       field::malfCodes3, field::ctsRaw, field::iatRaw, field::intercoolerTempRaw, field::tpsRaw,
                       field::sparkAdvance, field::sparkRetard, field::o2Raw, field::gear, field::vehicleSpeed,
                       field::commandedAfr, field::veRaw, field::iacSteps, field::closedLoopState,
                       field::mapAePw, field::tpsAePw, field::actualPw + 1, field::basePw + 1, field::nitrousRaw + 1,
                       field::ignitionVolts, field::pumpVolts, field::deltaMapRaw})
      byteValues[offset].insert(p[offset]);
    for (int n = 0; n < 8; ++n) {
      const int v = FrameWord(p.data(), field::adcChannel(n));
      ASSERT_LE(v, 1023);
      adcMin[n] = std::min(adcMin[n], v);
      adcMax[n] = std::max(adcMax[n], v);
    }
  }
  for (const Bit& b : kBits)
    EXPECT_EQ((bitValues[{b.offset, b.bit}].size()), 2u) << "byte " << b.offset << " bit " << b.bit;
  for (const auto& [offset, values] : byteValues) EXPECT_GE(values.size(), 2u) << "byte " << offset;
  // The two rails and a wave that sweeps the range.
  EXPECT_EQ(adcMax[6], 0);
  EXPECT_EQ(adcMin[7], 1023);
  EXPECT_LT(adcMin[4], 50);
  EXPECT_GT(adcMax[4], 970);
  for (int n : {0, 1, 2, 3, 5}) EXPECT_GT(adcMax[n] - adcMin[n], 100) << "channel " << n;
}

// ---- line faults ---------------------------------------------------------

TEST(FaultInjector, EachFaultDamagesTheStreamItsOwnWay) {
  struct Row {
    const char* name;
    FaultOptions options;
    bool allFramesSurvive;
    int lengthChange;  // sign of the stream's length against the clean one
  };
  const Row kRows[] = {
      {"none", {}, true, 0},
      {"noise", {true, false, false, false}, true, +1},
      {"flip", {false, true, false, false}, false, 0},
      {"drop", {false, false, true, false}, false, -1},
  };
  constexpr int kFrames = 400;
  for (const Row& row : kRows) {
    FaultInjector faults(11, row.options);
    Bytes stream;
    std::vector<Payload> sent;
    for (int f = 0; f < kFrames; ++f) {
      sent.push_back(Frame(static_cast<std::uint64_t>(f) * 5));
      Bytes wire = EncodeFrame(sent.back());
      faults.Apply(wire);
      stream.insert(stream.end(), wire.begin(), wire.end());
    }
    const Hunted h = HuntFrames(stream);
    const long long clean = 277LL * kFrames;
    const long long length = static_cast<long long>(stream.size());
    EXPECT_EQ((length > clean) - (length < clean), row.lengthChange) << row.name;
    if (row.allFramesSurvive) {
      EXPECT_EQ(h.frames, sent) << row.name;
    } else {
      EXPECT_LT(h.frames.size(), static_cast<std::size_t>(kFrames)) << row.name;
      EXPECT_GT(h.frames.size(), static_cast<std::size_t>(kFrames * 3 / 4)) << row.name;
      // What survives is undamaged and in order.
      std::size_t next = 0;
      for (const Payload& p : h.frames) {
        while (next < sent.size() && sent[next] != p) ++next;
        EXPECT_LT(next, sent.size()) << row.name;
        ++next;
      }
    }
  }
}

TEST(FaultInjector, StallsPauseForOneToTwoSecondsNowAndThen) {
  FaultInjector quiet(5, {});
  FaultInjector stalling(5, {false, false, false, true});
  std::vector<std::pair<std::int64_t, std::int64_t>> stalls;  // start, end
  bool was = false;
  for (std::int64_t t = 0; t < 90000; t += 10) {
    EXPECT_FALSE(quiet.Stalled(t));
    const bool now = stalling.Stalled(t);
    if (now && !was) stalls.push_back({t, -1});
    if (!now && was) stalls.back().second = t;
    was = now;
  }
  ASSERT_GE(stalls.size(), 4u);
  for (std::size_t i = 0; i + 1 < stalls.size(); ++i) {
    const std::int64_t length = stalls[i].second - stalls[i].first;
    EXPECT_GE(length, 1000);
    EXPECT_LE(length, 2010);
    const std::int64_t gap = stalls[i + 1].first - stalls[i].second;
    EXPECT_GE(gap, 4990);
    EXPECT_LE(gap, 15010);
  }
}

// ---- command hunt --------------------------------------------------------

TEST(CommandHunter, FindsGoodPacketsAmongGarbageAndBadSums) {
  struct Row {
    const char* name;
    Bytes in;
    std::vector<CommandPacket> expected;
    int badSums;
  };
  const CommandPacket x0{0x52, 0x58, 0x00, 0x00, 0xAA};
  const CommandPacket x1{0x52, 0x58, 0x01, 0x00, 0xAB};
  const CommandPacket b3{0x52, 0x42, 0x03, 0x00, 0x97};
  const CommandPacket fl{0x52, 0x46, 0x00, 0x00, 0x98};
  const Row kRows[] = {
      {"one packet", {0x52, 0x58, 0x00, 0x00, 0xAA}, {x0}, 0},
      {"garbage first", {0x00, 0xFF, 0x13, 0x55, 0x52, 0x58, 0x01, 0x00, 0xAB}, {x1}, 0},
      {"bad sum then good", {0x52, 0x58, 0x00, 0x00, 0xAB, 0x52, 0x42, 0x03, 0x00, 0x97}, {b3}, 1},
      {"lead hidden in a bad candidate", {0x52, 0x52, 0x42, 0x03, 0x00, 0x97}, {b3}, 1},
      {"bad sum alone", {0x52, 0x46, 0x00, 0x00, 0x99}, {}, 1},
      {"back to back", {0x52, 0x58, 0x01, 0x00, 0xAB, 0x52, 0x46, 0x00, 0x00, 0x98}, {x1, fl}, 0},
      {"cut short", {0x52, 0x58, 0x00, 0x00}, {}, 0},
  };
  for (const Row& row : kRows) {
    CommandHunter hunter;
    std::vector<CommandPacket> found;
    for (std::uint8_t b : row.in) {
      CommandPacket packet;
      if (hunter.Feed(b, &packet)) found.push_back(packet);
    }
    EXPECT_EQ(found, row.expected) << row.name;
    EXPECT_EQ(hunter.BadSums(), static_cast<std::uint64_t>(row.badSums)) << row.name;
  }
}

// ---- the device through a pseudo-terminal ----------------------------------

// A client end as the link opens it: raw, non-blocking.
class Client {
 public:
  explicit Client(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0) {
      termios tio{};
      ::tcgetattr(fd_, &tio);
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void Send(const Bytes& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

  // Everything that arrives within ms; stops early at a hang-up.
  Bytes Read(int ms) {
    Bytes got;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    hungUp_ = false;
    while (Clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
      if (::poll(&p, 1, std::max(left, 1)) <= 0) continue;
      std::uint8_t buffer[1024];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        got.insert(got.end(), buffer, buffer + n);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        hungUp_ = true;
        break;
      }
    }
    return got;
  }
  bool hungUp() const { return hungUp_; }

 private:
  int fd_ = -1;
  bool hungUp_ = false;
};

bool LinkExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

using test::WaitFor;

const Bytes kStreamOff{0x52, 0x58, 0x00, 0x00, 0xAA};
const Bytes kStreamOn{0x52, 0x58, 0x01, 0x00, 0xAB};
const Bytes kBank5{0x52, 0x42, 0x05, 0x00, 0x99};
const Bytes kLoader{0x52, 0x46, 0x00, 0x00, 0x98};

CommandPacket Packet(const Bytes& b) { return {b[0], b[1], b[2], b[3], b[4]}; }

class SimOverPty : public ::testing::Test {
 protected:
  void StartSim(SimOptions options = {}, std::shared_ptr<LoaderHandler> loader = nullptr) {
    options.linkPath = dir_.File("ttyZRM");
    sim_ = std::make_unique<SimEcm>(options);
    if (loader) sim_->SetLoader(loader);
    ASSERT_EQ(sim_->Start(), 0);
    client_ = std::make_unique<Client>(options.linkPath);
    ASSERT_TRUE(client_->ok());
  }
  // Lets a command take effect and clears what was on the line before it.
  void Settle() { client_->Read(200); }

  test::TempDir dir_;
  std::unique_ptr<SimEcm> sim_;
  std::unique_ptr<Client> client_;
};

TEST_F(SimOverPty, StreamsScriptFramesAndStopsAndResumesOnX) {
  SimOptions options;
  options.seed = 9;
  StartSim(options);
  const Hunted first = HuntFrames(client_->Read(700));
  ASSERT_GE(first.frames.size(), 5u);
  EXPECT_EQ(first.badSums, 0);
  // Each frame is the script's frame for its moment (the first seconds: key on).
  for (const Payload& p : first.frames) {
    bool matched = false;
    for (std::uint64_t f = 0; f < 40 && !matched; ++f) matched = p == Frame(f, 9, 0);
    EXPECT_TRUE(matched);
  }

  client_->Send(kStreamOff);
  Settle();
  EXPECT_FALSE(sim_->Streaming());
  EXPECT_TRUE(client_->Read(400).empty());

  client_->Send(kStreamOn);
  EXPECT_GE(HuntFrames(client_->Read(500)).frames.size(), 4u);
  EXPECT_TRUE(sim_->Streaming());
  EXPECT_EQ(sim_->Packets(), (std::vector<CommandPacket>{Packet(kStreamOff), Packet(kStreamOn)}));
}

TEST_F(SimOverPty, BankCommandChangesTheBankInLaterFrames) {
  StartSim();
  const Hunted before = HuntFrames(client_->Read(300));
  ASSERT_FALSE(before.frames.empty());
  EXPECT_EQ(before.frames.back()[field::bankByte], 0x80);

  client_->Send(kBank5);
  Settle();
  EXPECT_EQ(sim_->ActiveBank(), 5);
  const Hunted after = HuntFrames(client_->Read(400));
  ASSERT_GE(after.frames.size(), 3u);
  for (const Payload& p : after.frames) EXPECT_EQ(p[field::bankByte], 0x85);
}

TEST_F(SimOverPty, GarbageIsSkippedAndABadSumIgnoredAndEveryByteRecorded) {
  StartSim();
  const Bytes garbageThenOff{0x00, 0x13, 0xFF, 0x52, 0x52, 0x58, 0x00, 0x00, 0xAA};
  client_->Send(garbageThenOff);
  Settle();
  EXPECT_FALSE(sim_->Streaming());

  const Bytes badOn{0x52, 0x58, 0x01, 0x00, 0xAC};
  client_->Send(badOn);
  EXPECT_TRUE(client_->Read(400).empty());
  EXPECT_FALSE(sim_->Streaming());
  EXPECT_EQ(sim_->BadPackets(), 2u);  // the lone lead's candidate and the bad X 1

  Bytes all = garbageThenOff;
  all.insert(all.end(), badOn.begin(), badOn.end());
  EXPECT_EQ(sim_->ReceivedBytes(), all);
  EXPECT_EQ(sim_->Packets(), std::vector<CommandPacket>{Packet(kStreamOff)});
}

TEST_F(SimOverPty, FlashCommandEntersTheLoaderAndTheStreamFallsSilent) {
  StartSim();
  ASSERT_FALSE(HuntFrames(client_->Read(300)).frames.empty());
  client_->Send(kLoader);
  Settle();
  EXPECT_TRUE(sim_->InLoader());
  // Runtime commands mean nothing to the loader.
  client_->Send(kStreamOn);
  EXPECT_TRUE(client_->Read(400).empty());
  EXPECT_TRUE(sim_->InLoader());
  EXPECT_EQ(sim_->Packets(), std::vector<CommandPacket>{Packet(kLoader)});
}

// A loader that answers each byte with its complement and stops on 0x04.
class ComplementLoader : public LoaderHandler {
 public:
  void Enter() override { ++entered; }
  bool Receive(const std::uint8_t* bytes, std::size_t length, Bytes* reply) override {
    for (std::size_t i = 0; i < length; ++i) {
      got.push_back(bytes[i]);
      reply->push_back(static_cast<std::uint8_t>(~bytes[i]));
      if (bytes[i] == 0x04) return false;
    }
    return true;
  }
  int entered = 0;
  Bytes got;
};

TEST_F(SimOverPty, PluggedLoaderGetsTheBytesAfterFAndItsAnswersReachTheClient) {
  auto loader = std::make_shared<ComplementLoader>();
  StartSim({}, loader);
  client_->Send(kStreamOff);
  Settle();
  Bytes withF = kLoader;
  withF.push_back(0x10);  // reaches the loader though it came in the same write
  client_->Send(withF);
  EXPECT_EQ(client_->Read(300), (Bytes{0xEF}));
  EXPECT_TRUE(sim_->InLoader());

  // The loader stops on 0x04; the runtime program restarts silent, as the
  // ECM does, until it is told to stream.
  client_->Send({0x53, 0x04});
  const Bytes after = client_->Read(500);
  EXPECT_EQ(after, (Bytes{0xAC, 0xFB}));
  EXPECT_FALSE(sim_->InLoader());
  EXPECT_FALSE(sim_->Streaming());
  EXPECT_EQ(loader->entered, 1);
  EXPECT_EQ(loader->got, (Bytes{0x10, 0x53, 0x04}));
  client_->Send(kStreamOn);
  EXPECT_FALSE(HuntFrames(client_->Read(500)).frames.empty());
  EXPECT_TRUE(sim_->Streaming());
}

TEST_F(SimOverPty, WireSpeedSpreadsEachFrameOverTheLine) {
  SimOptions options;
  options.wireSpeed = true;
  StartSim(options);
  // Times of arrival of each byte.
  std::vector<std::pair<Clock::time_point, std::uint8_t>> arrivals;
  const auto until = Clock::now() + std::chrono::milliseconds(1000);
  while (Clock::now() < until) {
    const Bytes got = client_->Read(5);
    for (std::uint8_t b : got) arrivals.push_back({Clock::now(), b});
  }
  Bytes stream;
  for (const auto& a : arrivals) stream.push_back(a.second);
  // No faster than 5760 bytes a second, and still about 17 frames a second.
  EXPECT_LE(stream.size(), 5760u + 277u);
  EXPECT_GE(HuntFrames(stream).frames.size(), 12u);
  // A whole frame takes 277 / 5760 s = 48 ms to cross the line.
  for (std::size_t i = 0; i + 277 < arrivals.size(); ++i) {
    if (stream[i] == 0x55 && stream[i + 1] == 0xAA) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(arrivals[i + 276].first - arrivals[i].first);
      EXPECT_GE(ms.count(), 35);
      break;
    }
  }
}

// A loader that answers one byte once a whole command of `size` bytes is in.
class CommandLoader : public LoaderHandler {
 public:
  explicit CommandLoader(std::size_t size) : size_(size) {}
  void Enter() override {}
  bool Receive(const std::uint8_t*, std::size_t length, Bytes* reply) override {
    got_ += length;
    if (got_ >= size_) {
      got_ -= size_;
      reply->push_back(0x5A);
    }
    return true;
  }

 private:
  std::size_t size_;
  std::size_t got_ = 0;
};

// Paced, the host's bytes take their time on the line too: a 288-byte
// command is whole at the ECM 50 ms after it was written, not at once.
TEST_F(SimOverPty, WireSpeedPacesTheHostsBytesToo) {
  SimOptions options;
  options.wireSpeed = true;
  StartSim(options, std::make_shared<CommandLoader>(288));
  client_->Send(kStreamOff);
  Settle();
  client_->Send(kLoader);
  Settle();
  ASSERT_TRUE(sim_->InLoader());
  const auto sent = Clock::now();
  client_->Send(Bytes(288, 0x11));
  Bytes answer;
  while (answer.empty() && Clock::now() - sent < std::chrono::seconds(2)) answer = client_->Read(1);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
  EXPECT_EQ(answer, Bytes{0x5A});
  EXPECT_GE(ms, 45);
}

TEST_F(SimOverPty, VanishedLinkComesBackAfterItsTime) {
  SimOptions options;
  options.vanishAfterSeconds = 0.5;
  options.vanishForSeconds = 0.7;
  StartSim(options);
  const std::string link = sim_->Options().linkPath;
  EXPECT_FALSE(HuntFrames(client_->Read(300)).frames.empty());
  // The client sees the line die and the link go.
  client_->Read(1500);
  EXPECT_TRUE(client_->hungUp());
  EXPECT_TRUE(WaitFor([&] { return !LinkExists(link) || sim_->Appearances() == 2; }, 100));
  // And the replugged device streams again at the same path.
  ASSERT_TRUE(WaitFor([&] { return LinkExists(link) && sim_->Appearances() == 2; }, 2000));
  EXPECT_TRUE(sim_->LinkPresent());
  Client again(link);
  ASSERT_TRUE(again.ok());
  EXPECT_GE(HuntFrames(again.Read(500)).frames.size(), 3u);
}

TEST_F(SimOverPty, VanishWithoutReturnStaysGone) {
  SimOptions options;
  options.vanishAfterSeconds = 0.3;
  StartSim(options);
  const std::string link = sim_->Options().linkPath;
  ASSERT_TRUE(WaitFor([&] { return !LinkExists(link); }, 1500));
  EXPECT_FALSE(sim_->LinkPresent());
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_FALSE(LinkExists(link));
  EXPECT_EQ(sim_->Appearances(), 1);
  sim_->Stop();
}

TEST(SimLink, ReplacesAStaleLinkRefusesAFileAndRemovesItsLinkOnStop) {
  test::TempDir dir;
  const std::string link = dir.File("ttyZRM");
  ASSERT_EQ(::symlink("/dev/pts/does-not-exist", link.c_str()), 0);
  {
    SimOptions options;
    options.linkPath = link;
    SimEcm sim(options);
    ASSERT_EQ(sim.Start(), 0);
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u);
    EXPECT_NE(std::string(target), "/dev/pts/does-not-exist");
    sim.Stop();
    EXPECT_FALSE(LinkExists(link));
  }
  test::WriteFileText(link, "not a terminal");
  SimOptions options;
  options.linkPath = link;
  SimEcm sim(options);
  EXPECT_EQ(sim.Start(), -1);
  EXPECT_EQ(test::ReadFileText(link), "not a terminal");
}

#ifdef ZRMTOOL_PATH
// Ends a child process that a failed assertion left running.
struct ChildGuard {
  pid_t pid = -1;
  ~ChildGuard() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// zrmtool sim announces its link, serves it, and removes it on SIGTERM.
TEST(ZrmtoolSim, AnnouncesTheLinkStreamsAndCleansUpOnSigterm) {
  test::TempDir dir;
  const std::string link = dir.File("ttyTool");
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(ZRMTOOL_PATH, "zrmtool", "sim", "--link", link.c_str(), "--seed", "4", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ChildGuard guard{pid};
  ::close(out[1]);
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  EXPECT_EQ(line, "sim: " + link);
  {
    Client client(link);
    ASSERT_TRUE(client.ok());
    const Hunted h = HuntFrames(client.Read(400));
    ASSERT_FALSE(h.frames.empty());
    bool matched = false;
    for (std::uint64_t f = 0; f < 30 && !matched; ++f) matched = h.frames[0] == Frame(f, 4, 0);
    EXPECT_TRUE(matched);
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  guard.pid = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(LinkExists(link));
}

TEST(ZrmtoolSim, RejectsBadArgumentsWithUsage) {
  struct Row {
    std::vector<const char*> args;
  };
  const Row kRows[] = {{{"--seed", "x"}}, {{"--vanish-after"}}, {{"--vanish-for", "-1"}}, {{"--bogus"}}, {{"--link"}}};
  for (const Row& row : kRows) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::vector<const char*> argv{"zrmtool", "sim"};
      argv.insert(argv.end(), row.args.begin(), row.args.end());
      argv.push_back(nullptr);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 2);
      ::execv(ZRMTOOL_PATH, const_cast<char* const*>(argv.data()));
      ::_exit(127);
    }
    ChildGuard guard{pid};
    // A bad command line ends at once; a simulator that started instead is
    // ended by the guard.
    int status = 0;
    ASSERT_TRUE(WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 3000)) << row.args[0];
    guard.pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << row.args[0];
  }
}
#endif

}  // namespace
}  // namespace zrm::sim
