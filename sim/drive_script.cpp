#include "sim/drive_script.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace zrm::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFps = DRIVE_FRAMES_PER_SECOND;

// Payload offsets, written here on their own so the simulator checks the
// reader's layout rather than sharing it.
enum Offset : int {
  kStatus0 = 0, kStatus1 = 1, kStatus2 = 2, kStatus3 = 3, kStatus5 = 5, kStatus6 = 6,
  kStatus8 = 8, kSparkAdvance = 10, kStatus11 = 11, kStatus13 = 13, kStatus14 = 14,
  kStatus15 = 15, kPromId = 16, kMalf1 = 18, kMalf2 = 21, kRefPeriod = 24, kRpmCoarse = 27,
  kRpmFine = 28, kRpmLow = 31, kCtsCounts = 37, kMapGauge = 38, kBoostRaw = 44, kMapRaw = 45,
  kVacuumRaw = 49, kDeltaMapRaw = 50, kIatCounts = 51, kVehicleSpeed = 52, kFirmware = 54,
  kO2Raw = 62, kIgnitionVolts = 69, kPumpVolts = 70, kTpsCounts = 72, kTpsRaw = 73,
  kTpsPrevRaw = 75, kBpc = 106, kKnockCount = 115, kSparkRetard = 119, kIntercoolerTemp = 125,
  kIatRaw = 126, kVssPpmRaw = 127, kActualPw = 138, kMapAePw = 153, kTpsAePw = 154,
  kClosedLoopState = 162, kBlm = 163, kIntegrator = 164, kCommandedAfr = 165,
  kVssPulseCount = 166, kBasePw = 167, kVeRaw = 169, kStatus180 = 180, kGear = 187,
  kConfigByte = 204, kMalf3 = 224, kCtsRaw = 227, kRunTimeSec = 235, kAirflowGs = 240,
  kFuelPulseCount = 241, kRpmHigh = 243, kNitrousRaw = 244, kTripByte249 = 249, kAePw = 250,
  kStatus252 = 252, kIacSteps = 253, kBaroRaw = 254, kBankByte = 256, kAdc0 = 257,
};

struct Variant {
  int mapBars;
  int cylinders;
  bool multiPort;
  bool sequential;
  int firmwareMinor;
  std::uint16_t promId;
  std::uint16_t bpc;
  std::uint8_t flowConstant;  // tripByte249
};

constexpr Variant kVariants[LAP_VARIANTS] = {
    {1, 8, false, false, 3, 0x0801, 0x2A80, 48},
    {2, 8, true, true, 2, 0x0802, 0x2A7F, 60},
    {3, 4, true, false, 4, 0x0803, 0x1F40, 36},
};

// Road speed per 1000 RPM in each gear (index 0 unused).
constexpr double kMphPer1000[] = {0, 6.0, 9.6, 13.5, 18.0, 29.5};
constexpr int kShiftRpm = 5800;
constexpr int kIdleRpm = 800;
constexpr std::uint16_t kPpmRawValue = 230;  // 920920 / 230 = 4004 pulses per mile
constexpr double kPulsesPerMile = 920920.0 / kPpmRawValue;

// Counters accumulate in 1/65536 steps so that sums are exact and a counter
// never steps back at a lap boundary.
constexpr std::int64_t kCountUnit = 65536;

int PhaseStart(DrivePhase p) { return PHASE_START_FRAME[static_cast<int>(p)]; }

double Clamp(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

std::uint8_t Byte(double v) { return static_cast<std::uint8_t>(Clamp(std::floor(v + 0.5), 0, 255)); }

std::uint16_t Word(double v) {
  return static_cast<std::uint16_t>(Clamp(std::floor(v + 0.5), 0, 65535));
}

void PutWord(Payload& p, int offset, std::uint16_t v) {
  p[offset] = static_cast<std::uint8_t>(v >> 8);
  p[offset + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

void SetBit(Payload& p, int offset, int bit, bool on) {
  if (on) p[offset] = static_cast<std::uint8_t>(p[offset] | (1u << bit));
}

// Start of a pull in each gear: the RPM the previous gear's shift drops to.
double PullStartRpm(int gear) {
  if (gear <= 1) return 2000;
  return kShiftRpm * kMphPer1000[gear - 1] / kMphPer1000[gear];
}

// What the drive does at a frame, with the internals the encoder needs.
struct Scene {
  DriveState s;
  double seconds = 0;      // within the lap
  bool shifting = false;
  bool tipIn = false;      // first moments of a pull: acceleration enrichment
  bool fuelCut = false;    // deceleration fuel cut-off
  bool coasting = false;   // closed throttle while moving
  bool steadyCruise = false;
};

Scene SceneAt(std::uint64_t frameIndex) {
  Scene sc;
  DriveState& s = sc.s;
  s.lap = frameIndex / LAP_FRAMES;
  s.variant = static_cast<int>(s.lap % LAP_VARIANTS);
  s.frameInLap = static_cast<int>(frameIndex % LAP_FRAMES);
  s.phase = PhaseAt(s.frameInLap);
  const Variant& v = kVariants[s.variant];
  s.mapBars = v.mapBars;
  s.cylinders = v.cylinders;
  s.multiPort = v.multiPort;
  s.firmwareMinor = v.firmwareMinor;

  const double t = s.frameInLap / kFps;
  sc.seconds = t;
  const double boostTop = v.mapBars == 1 ? 98 : (v.mapBars == 2 ? 170 : 240);
  double rpm = 0;
  s.mapKpa = 100;
  switch (s.phase) {
    case DrivePhase::KeyOn:
    case DrivePhase::KeyOnAfter:
      break;
    case DrivePhase::Crank:
      rpm = 210 + 30 * std::sin(2 * kPi * 3 * t);
      s.mapKpa = 92;
      break;
    case DrivePhase::Idle: {
      double since = t - 4;
      rpm = kIdleRpm + 350 * std::max(0.0, 1 - since / 6);
      s.mapKpa = 34 + (rpm - kIdleRpm) / 50;
      break;
    }
    case DrivePhase::Launch:
      rpm = 2000;
      s.tpsPercent = 100;
      s.gear = 1;
      s.mapKpa = v.mapBars == 1 ? 96 : 115;
      break;
    case DrivePhase::Pull: {
      double since = t - 14;
      s.gear = std::min(4, 1 + static_cast<int>(since / 5));
      double u = since - 5.0 * (s.gear - 1);
      if (u < 4.5) {
        double frac = u / 4.5;
        double start = PullStartRpm(s.gear);
        rpm = start + (kShiftRpm - start) * frac;
        s.tpsPercent = 100;
        s.mapKpa = v.mapBars == 1 ? boostTop : 100 + (boostTop - 100) * std::min(1.0, frac * 2);
        s.speedMph = rpm * kMphPer1000[s.gear] / 1000;
        if (s.gear == 1) s.speedMph *= std::min(1.0, u / 1.5);  // clutch slip off the line
        sc.tipIn = u < 0.3;
        s.knocking = (s.gear == 2 || s.gear == 3) && rpm > 4500;
      } else {
        double frac = (u - 4.5) / 0.5;
        rpm = kShiftRpm + (PullStartRpm(s.gear + 1) - kShiftRpm) * frac;
        s.mapKpa = 30;
        s.speedMph = kShiftRpm * kMphPer1000[s.gear] / 1000;
        sc.shifting = true;
      }
      break;
    }
    case DrivePhase::Cruise: {
      double since = t - 34;
      s.gear = 5;
      double top = kShiftRpm * kMphPer1000[4] / 1000;
      if (since < 2) {
        s.speedMph = top + (65 - top) * since / 2;
        s.mapKpa = 25;
        sc.coasting = true;
      } else {
        s.speedMph = 65 + 1.5 * std::sin(2 * kPi * (since - 2) / 5);
        s.tpsPercent = 18 + 2 * std::sin(2 * kPi * (since - 2) / 5);
        s.mapKpa = 45 + 3 * std::sin(2 * kPi * (since - 2) / 5);
        sc.steadyCruise = true;
      }
      rpm = s.speedMph * 1000 / kMphPer1000[5];
      break;
    }
    case DrivePhase::Decel: {
      double since = t - 46;
      s.speedMph = std::max(0.0, 65 * (1 - since / 8));
      s.gear = s.speedMph > 50 ? 5 : s.speedMph > 35 ? 4 : s.speedMph > 22 ? 3 : s.speedMph > 10 ? 2 : 0;
      if (s.gear > 0) {
        rpm = std::max<double>(kIdleRpm, s.speedMph * 1000 / kMphPer1000[s.gear]);
        s.mapKpa = 22;
        sc.coasting = true;
        sc.fuelCut = s.speedMph > 20;
      } else {
        rpm = kIdleRpm + 60;  // clutch in, idle air still open
        s.mapKpa = 36;
        sc.coasting = s.speedMph > 0;
      }
      break;
    }
    case DrivePhase::StoppedIdle:
      rpm = kIdleRpm;
      s.mapKpa = 35;
      break;
    case DrivePhase::Stopping: {
      double since = t - 56;
      rpm = 750 * (1 - since);
      s.mapKpa = 35 + 65 * since;
      break;
    }
  }
  s.rpm = static_cast<int>(std::floor(rpm + 0.5));
  s.engineRunning = s.phase >= DrivePhase::Idle && s.phase <= DrivePhase::StoppedIdle;
  s.runTimeSec = s.engineRunning ? (s.frameInLap - PhaseStart(DrivePhase::Idle)) / DRIVE_FRAMES_PER_SECOND : 0;
  return sc;
}

// Injector pulse widths in ms: base from load, applied with enrichment and
// the injector's opening time.
double BasePwMs(const Scene& sc) {
  if (sc.s.rpm == 0 || sc.fuelCut) return 0;
  const Variant& v = kVariants[sc.s.variant];
  double perCylinder = v.multiPort ? 1.0 : 0.8;
  return perCylinder * (1.0 + 6.0 * sc.s.mapKpa / 100.0);
}

double ActualPwMs(const Scene& sc) {
  if (sc.s.phase == DrivePhase::Crank) return 4.0;  // asynchronous priming pulses
  double base = BasePwMs(sc);
  if (base == 0) return 0;
  return base * (sc.tipIn ? 1.25 : 1.0) + 0.9;
}

struct Increments {
  std::int64_t vss = 0;
  std::int64_t fuel = 0;
  std::int64_t knock = 0;
};

Increments IncrementsAt(std::uint64_t frameIndex) {
  Scene sc = SceneAt(frameIndex);
  Increments inc;
  inc.vss = static_cast<std::int64_t>(sc.s.speedMph * kPulsesPerMile / 3600.0 / kFps * kCountUnit);
  if (sc.s.engineRunning || sc.s.phase == DrivePhase::Crank)
    inc.fuel = static_cast<std::int64_t>(ActualPwMs(sc) * sc.s.rpm / 2000.0 * kCountUnit);
  inc.knock = (sc.s.knocking && sc.s.frameInLap % 4 == 0) ? 1 : 0;
  return inc;
}

Increments SumOverLap(std::uint64_t lapFirstFrame, int frames) {
  Increments sum;
  for (int i = 0; i < frames; ++i) {
    Increments inc = IncrementsAt(lapFirstFrame + static_cast<std::uint64_t>(i));
    sum.vss += inc.vss;
    sum.fuel += inc.fuel;
    sum.knock += inc.knock;
  }
  return sum;
}

// Counter totals up to and including frameIndex.
Increments CountersAt(std::uint64_t frameIndex) {
  // Whole laps of each variant, computed once.
  static const auto kLapTotals = [] {
    std::array<Increments, LAP_VARIANTS> totals{};
    for (int v = 0; v < LAP_VARIANTS; ++v)
      totals[v] = SumOverLap(static_cast<std::uint64_t>(v) * LAP_FRAMES, LAP_FRAMES);
    return totals;
  }();
  std::uint64_t lap = frameIndex / LAP_FRAMES;
  Increments sum = SumOverLap(lap * LAP_FRAMES, static_cast<int>(frameIndex % LAP_FRAMES) + 1);
  for (int v = 0; v < LAP_VARIANTS; ++v) {
    // Whole laps before this one that ran variant v.
    const std::uint64_t extra = static_cast<std::uint64_t>(v) < lap % LAP_VARIANTS ? 1 : 0;
    const std::int64_t laps = static_cast<std::int64_t>(lap / LAP_VARIANTS + extra);
    sum.vss += laps * kLapTotals[v].vss;
    sum.fuel += laps * kLapTotals[v].fuel;
    sum.knock += laps * kLapTotals[v].knock;
  }
  return sum;
}

// Deterministic jitter in [-1, 1] for a frame and a channel.
double Jitter(std::uint32_t seed, std::uint64_t frameIndex, int channel) {
  std::uint64_t z = frameIndex * 0x9E3779B97F4A7C15ull ^ (static_cast<std::uint64_t>(seed) << 32) ^
                    static_cast<std::uint64_t>(channel) * 0xD1B54A32D192ED03ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

double CoolantCelsius(std::uint64_t frameIndex) {
  double total = static_cast<double>(frameIndex) / kFps;
  if (total < 60) return 20 + 1.2 * total;
  return 92 + 3 * std::sin(2 * kPi * (total - 60) / 40);
}

std::uint8_t TemperatureRaw(double celsius) { return Byte((celsius + 40) / 0.75); }

std::uint8_t MapRaw(double kpa, int bars) {
  if (bars == 2) return Byte((kpa - 8) / 0.7705);
  if (bars == 3) return Byte((kpa - 1.1) / 1.2335);
  return Byte((kpa - 10.415) / 0.369);
}

std::uint8_t BoostRaw(double kpa, int bars) {
  double boost = std::max(0.0, kpa - 100);
  if (bars == 2) return Byte(boost / 0.625);
  if (bars == 3) return Byte(boost / 1.2335);
  return 0;
}

std::uint16_t Adc(double volts) {
  return static_cast<std::uint16_t>(Clamp(std::floor((volts - 0.004) / 0.004887585532746823 + 0.5), 0, 1023));
}

void PutRpm(const DriveState& s, int rpm, Payload& p) {
  const std::uint32_t k = 7864320u / static_cast<std::uint32_t>(s.cylinders);
  const bool periodBased = s.phase == DrivePhase::Crank || (s.engineRunning && rpm < 1500);
  PutWord(p, kRefPeriod, rpm > 0 ? Word(static_cast<double>(k) / rpm) : 0);
  p[kRpmFine] = Byte(std::min(rpm / 25.0, 254.0));
  p[kRpmHigh] = Byte(rpm / 31.25);
  if (rpm == 0 || periodBased) {
    p[kRpmLow] = 0;
    p[kRpmCoarse] = 0;
  } else if (s.phase == DrivePhase::Stopping) {
    p[kRpmLow] = Byte(rpm / 12.5);
    p[kRpmCoarse] = 0;
    if (p[kRpmLow] == 0) PutWord(p, kRefPeriod, 0);  // the last turn: period 0 reads as 0 RPM
  } else if (rpm < 3575) {
    p[kRpmLow] = Byte(std::min(rpm / 12.5, 255.0));
    p[kRpmCoarse] = Byte((rpm - 400) / 12.5);
  } else {
    p[kRpmLow] = 255;
    p[kRpmCoarse] = 255;
    if (rpm >= 4000) p[kRpmFine] = 255;  // marks rpmHigh as the valid one
  }
}

}  // namespace

DrivePhase PhaseAt(int frameInLap) {
  int phase = 0;
  for (int i = 0; i < static_cast<int>(std::size(PHASE_START_FRAME)); ++i)
    if (frameInLap >= PHASE_START_FRAME[i]) phase = i;
  return static_cast<DrivePhase>(phase);
}

DriveState DriveStateAt(std::uint64_t frameIndex) { return SceneAt(frameIndex).s; }

void FillDriveFrame(std::uint64_t frameIndex, std::uint32_t seed, int activeBank, Payload& p) {
  p.fill(0);
  const Scene sc = SceneAt(frameIndex);
  const DriveState& s = sc.s;
  const Variant& v = kVariants[s.variant];
  const Scene prev = SceneAt(frameIndex > 0 ? frameIndex - 1 : 0);
  auto jitter = [&](int channel) { return Jitter(seed, frameIndex, channel); };

  const bool running = s.engineRunning;
  const bool keyOnCheck = s.phase == DrivePhase::KeyOn;
  const double cts = CoolantCelsius(frameIndex);
  const bool warm = cts >= 60;
  const bool closedLoop = running && warm && !sc.fuelCut && s.tpsPercent < 90 && !sc.shifting &&
                          (s.phase != DrivePhase::Idle || sc.seconds >= 8);
  const bool powerEnrich = running && s.tpsPercent >= 90;
  const bool leanCruise = sc.steadyCruise && warm;
  const bool idle = running && s.speedMph == 0 && s.tpsPercent == 0;

  // Malfunctions: one code per lap, set from 20 s to 40 s, kept in the
  // history group to the end of the lap; a low-voltage code while cranking.
  const int malfGroupByte = static_cast<int>(s.lap % 3);
  const std::uint8_t malfMask = static_cast<std::uint8_t>(1u << (s.lap % 8));
  const bool malfActive = sc.seconds >= 20 && sc.seconds < 40;
  if (malfActive) p[kMalf1 + malfGroupByte] = malfMask;
  if (sc.seconds >= 20) p[kMalf2 + malfGroupByte] = malfMask;
  if (s.phase == DrivePhase::Crank)
    p[kMalf3 + malfGroupByte] = static_cast<std::uint8_t>(1u << ((s.lap + 3) % 8));

  // Status bits.
  SetBit(p, kStatus0, 4, s.phase == DrivePhase::Stopping);
  SetBit(p, kStatus1, 7, running);
  SetBit(p, kStatus2, 7, idle);
  SetBit(p, kStatus3, 2, leanCruise);
  SetBit(p, kStatus3, 3, running && s.tpsPercent < 1);
  SetBit(p, kStatus5, 0, cts > 94);
  SetBit(p, kStatus5, 3, sc.steadyCruise);
  SetBit(p, kStatus5, 4, running && s.rpm > 5500);
  SetBit(p, kStatus5, 5, s.gear >= 1 && s.gear <= 3);
  SetBit(p, kStatus5, 7, sc.steadyCruise);
  SetBit(p, kStatus6, 0, sc.steadyCruise && warm);
  SetBit(p, kStatus6, 2, s.phase == DrivePhase::Launch);
  SetBit(p, kStatus6, 3, s.phase == DrivePhase::Pull && s.gear == 3 && !sc.shifting);
  SetBit(p, kStatus6, 7, (running || s.phase == DrivePhase::Crank) && !sc.fuelCut);
  SetBit(p, kStatus8, 3, sc.fuelCut);
  SetBit(p, kStatus11, 0, malfActive || keyOnCheck);
  SetBit(p, kStatus13, 4, sc.coasting && !sc.fuelCut);
  SetBit(p, kStatus13, 6, sc.tipIn);
  SetBit(p, kStatus13, 7, powerEnrich);
  SetBit(p, kStatus14, 1, closedLoop && sc.steadyCruise);
  SetBit(p, kStatus14, 4, s.phase == DrivePhase::Crank);
  SetBit(p, kStatus14, 7, closedLoop);
  SetBit(p, kStatus15, 3, sc.steadyCruise);
  SetBit(p, kStatus15, 4, s.gear == 0);
  SetBit(p, kStatus180, 7, sc.steadyCruise && warm);
  SetBit(p, kStatus252, 7, s.variant == 1 && !running && s.phase != DrivePhase::Crank);

  // Identity and set-up.
  PutWord(p, kPromId, v.promId);
  p[kFirmware] = static_cast<std::uint8_t>(v.firmwareMinor | (v.sequential ? 0x80 : 0));
  p[kConfigByte] = static_cast<std::uint8_t>(v.cylinders | (v.multiPort ? 0x10 : 0) |
                                             (v.mapBars == 3 ? 0x40 : 0) | (v.mapBars == 2 ? 0x80 : 0));
  PutWord(p, kBpc, v.bpc);
  PutWord(p, kVssPpmRaw, kPpmRawValue);
  p[kTripByte249] = v.flowConstant;
  p[kBankByte] = static_cast<std::uint8_t>(0x80 | (activeBank & 7));

  // Engine speed, with a little wobble while idling or cruising.
  int rpm = s.rpm;
  if (rpm > 0 && (idle || sc.steadyCruise)) rpm += static_cast<int>(std::lround(6 * jitter(1)));
  PutRpm(s, rpm, p);
  PutWord(p, kRunTimeSec, static_cast<std::uint16_t>(s.runTimeSec));
  p[kGear] = static_cast<std::uint8_t>(s.gear);
  p[kVehicleSpeed] = Byte(s.speedMph);

  // Pressures.
  const double map = std::max(10.0, s.mapKpa + (running ? 0.7 * jitter(2) : 0));
  p[kMapRaw] = MapRaw(map, v.mapBars);
  p[kBoostRaw] = BoostRaw(map, v.mapBars);
  p[kMapGauge] = Byte((map - 20) / 0.3125);
  p[kVacuumRaw] = p[kMapGauge];  // vacuum reads 80 - x * 0.3125, i.e. 100 kPa less the gauge
  p[kDeltaMapRaw] = Byte(std::fabs(s.mapKpa - prev.s.mapKpa) / 0.3125);
  p[kBaroRaw] = Byte((100 - 10.415) / 0.369);

  // Throttle.
  p[kTpsRaw] = Byte(s.tpsPercent / 0.390625);
  p[kTpsPrevRaw] = Byte(prev.s.tpsPercent / 0.390625);
  p[kTpsCounts] = Byte(18 + 2 * s.tpsPercent);

  // Temperatures: coolant warms from cold over the first lap.
  const double iat = 30 + (s.phase == DrivePhase::Pull ? 6 : 0) + 0.5 * jitter(3);
  const double intercooler = 35 + 20 * std::max(0.0, map - 100) / 140;
  p[kCtsRaw] = TemperatureRaw(cts);
  p[kIatRaw] = TemperatureRaw(iat);
  p[kIntercoolerTemp] = TemperatureRaw(intercooler);
  p[kCtsCounts] = Byte(230 - 2 * cts);
  p[kIatCounts] = Byte(230 - 2 * iat);

  // Ignition.
  double advance = 0;
  double retard = 0;
  if (s.phase == DrivePhase::Crank) advance = 10;
  if (running) {
    if (idle) advance = 16;
    else if (powerEnrich) advance = 26 + 6.0 * (s.rpm - 2000) / 3800;
    else if (sc.steadyCruise) advance = 38;
    else advance = 20;
  }
  if (s.knocking) retard = 4 + 2 * jitter(4);
  p[kSparkAdvance] = Byte((advance - retard) / 0.3515625);
  p[kSparkRetard] = Byte(retard / 0.17578125);

  // Fuel.
  const double basePw = BasePwMs(sc);
  const double actualPw = ActualPwMs(sc);
  PutWord(p, kBasePw, Word(basePw * 65.536));
  PutWord(p, kActualPw, Word(actualPw * 65.536));
  if (sc.tipIn) {
    p[kMapAePw] = Byte(0.9 * 65.536);
    p[kTpsAePw] = Byte(1.4 * 65.536);
    PutWord(p, kAePw, Word(basePw * 0.25 * 65.536));
  }
  double afr = 14.7;
  if (s.phase == DrivePhase::Crank) afr = 12.0;
  else if (powerEnrich) afr = 12.5;
  else if (leanCruise) afr = 15.5;
  p[kCommandedAfr] = Byte(afr * 10);
  p[kVeRaw] = Byte(running ? (35 + 55 * std::min(1.0, s.mapKpa / 100.0)) / 0.390625 : 0);
  p[kAirflowGs] = Byte(s.rpm / 120.0 * 5.7 * s.mapKpa / 100 * 1.2 * 0.8);
  p[kIacSteps] = Byte(running ? (idle ? 34 + (s.rpm - kIdleRpm) / 20.0 : 20) : 80);

  // Closed loop: O2 switching about stoichiometric, block learn drifting.
  if (closedLoop) {
    p[kClosedLoopState] = sc.steadyCruise ? 3 : 2;  // 3 reads as 2 on the displays
    bool rich = (frameIndex / 8) % 2 == 0;
    p[kO2Raw] = Byte((rich ? 180 : 30) + 8 * jitter(5));
    p[kIntegrator] = Byte(128 + (rich ? -6 : 6) + 2 * jitter(6));
  } else {
    p[kClosedLoopState] = running && warm ? 1 : 0;
    double o2 = 100;
    if (powerEnrich) o2 = 200;
    if (sc.fuelCut) o2 = 10;
    p[kO2Raw] = Byte(o2 + 3 * jitter(5));
    p[kIntegrator] = 128;
  }
  p[kBlm] = Byte(128 + 8 * std::sin(2 * kPi * static_cast<double>(frameIndex) / (kFps * 45)));

  // Supply voltages: the pump primes for the first 2 s of key-on.
  double ignition = running ? 14.2 : (s.phase == DrivePhase::Crank ? 10.2 : 12.4);
  ignition += 0.1 * jitter(7);
  p[kIgnitionVolts] = Byte(ignition * 10);
  double pump = 0;
  if (running || s.phase == DrivePhase::Crank) pump = ignition - 0.3;
  if (s.phase == DrivePhase::KeyOn) pump = 12.1;
  p[kPumpVolts] = Byte(pump * 10);

  // Nitrous duty, low 11 bits; the top bits carry other flags.
  if (s.phase == DrivePhase::Pull && s.gear == 3 && !sc.shifting)
    PutWord(p, kNitrousRaw, static_cast<std::uint16_t>(0xF000 | 1228));  // 60 %

  // Rolling counters.
  const Increments counters = CountersAt(frameIndex);
  p[kVssPulseCount] = static_cast<std::uint8_t>((counters.vss / kCountUnit) & 0xFF);
  p[kFuelPulseCount] = static_cast<std::uint8_t>((counters.fuel / kCountUnit) & 0xFF);
  PutWord(p, kKnockCount, static_cast<std::uint16_t>(counters.knock & 0xFFFF));

  // Analogue inputs: wideband AFR (0-5 V for 10-20), fuel pressure, oil
  // pressure, exhaust temperature, two test waves and the two rails.
  const double wbAfr = (sc.fuelCut || !running) ? 20.0 : afr + 0.15 * jitter(8);
  const double fuelPsi = running || s.phase == DrivePhase::Crank ? 43 + 0.145 * std::max(0.0, s.mapKpa - 100) : 0;
  const double oilPsi = running ? 20 + 45 * std::min(1.0, s.rpm / 6000.0) : 0;
  const double seconds = static_cast<double>(frameIndex) / kFps;
  const double volts[8] = {
      (wbAfr - 10) / 2,
      0.5 + 4.0 * fuelPsi / 100,
      0.5 + 4.0 * oilPsi / 100,
      0.5 + 4.0 * std::min(1.0, s.rpm / 6000.0 * s.mapKpa / 100.0),
      2.5 + 2.5 * std::sin(2 * kPi * seconds / 10),
      5.0 * (seconds / 6 - std::floor(seconds / 6)),
      0.0,
      5.004,  // full scale, 1023
  };
  for (int n = 0; n < 8; ++n) PutWord(p, kAdc0 + 2 * n, Adc(volts[n]));
}

}  // namespace zrm::sim
