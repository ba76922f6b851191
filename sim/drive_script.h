// The scripted drive of the simulated ECM: a pure function from a frame index
// to the 273-byte runtime payload, at 17 frames a second.
//
// One lap is 60 s (1020 frames); laps repeat without end. Within a lap
// (seconds from the lap's first frame):
//
//    0 -  2  key on, engine off: RPM 0, run time 0, fuel pump primes,
//            service lamp bulb check
//    2 -  4  crank, 180 - 240 RPM, asynchronous injection; engine bit clear
//    4       engine starts: statusByte1 bit 7 set, runTimeSec counts up from 0
//    4 - 13  idle (fast idle 1150 falling to 800 RPM), park/neutral
//   13 - 14  launch: 2000 RPM held at full throttle, launch bit
//   14 - 34  full-throttle pulls in gears 1 to 4, 5 s each: 4.5 s up to
//            5800 RPM, 0.5 s shift; power enrichment; knock (sparkRetard with
//            knockCount steps) in gears 2 and 3 above 4500 RPM; nitrous in
//            gear 3; shift light above 5500 RPM
//   34 - 46  fifth gear: 2 s coast down to 65 mph, then cruise at about
//            2200 RPM: closed loop, block learn, lean cruise, TCC, A/C, EGR
//   46 - 54  deceleration to a stop with fuel cut-off and enleanment
//   54 - 56  idle, stopped
//   56 - 57  engine stops: statusByte1 bit 7 clear, statusByte0 bit 4 set,
//            runTimeSec 0, RPM coasts to 0
//   57 - 60  key on, engine off
//
// RPM encodings: below 1500 RPM and while cranking the period-based one
// (rpmLow 0, refPeriod); 1500 - 3574 rpmCoarse/rpmLow; 3575 - 3999
// rpmCoarse 255 with rpmFine; 4000 and up rpmCoarse 255, rpmFine 255 and
// rpmHigh (every firmware of the script is 2.2 or later); while the engine
// stops rpmCoarse 0 with rpmLow alone.
//
// Laps take their set-up in turn from three variants: 1-bar MAP, 8 cylinders,
// throttle-body injection; 2-bar MAP, 8 cylinders, sequential multi-port;
// 3-bar MAP, 4 cylinders, multi-port. `vssPulseCount`, `fuelPulseCount` and
// `knockCount` run on across laps (the 8-bit counters wrap at 256), as do the
// coolant temperature and the malfunction history. The seed only jitters
// sensor readings; the timeline and the counters do not depend on it.
#pragma once

#include <array>
#include <cstdint>

namespace zrm::sim {

constexpr int PAYLOAD_SIZE = 273;
using Payload = std::array<std::uint8_t, PAYLOAD_SIZE>;

constexpr int DRIVE_FRAMES_PER_SECOND = 17;
constexpr int LAP_SECONDS = 60;
constexpr int LAP_FRAMES = LAP_SECONDS * DRIVE_FRAMES_PER_SECOND;
constexpr int LAP_VARIANTS = 3;

enum class DrivePhase {
  KeyOn,       // engine off at the start of a lap
  Crank,
  Idle,
  Launch,
  Pull,        // gears 1 to 4, shifts included
  Cruise,      // coast-down and steady cruise in fifth
  Decel,
  StoppedIdle,
  Stopping,    // the engine dies
  KeyOnAfter,  // engine off at the end of a lap
};

// First frame of each phase within a lap.
constexpr int PHASE_START_FRAME[] = {0, 2 * 17, 4 * 17, 13 * 17, 14 * 17,
                                     34 * 17, 46 * 17, 54 * 17, 56 * 17, 57 * 17};

// What the script does at one frame, before it is encoded.
struct DriveState {
  DrivePhase phase = DrivePhase::KeyOn;
  std::uint64_t lap = 0;
  int variant = 0;         // lap % LAP_VARIANTS
  int frameInLap = 0;
  bool engineRunning = false;
  int runTimeSec = 0;
  int rpm = 0;             // scripted engine speed, before jitter
  double speedMph = 0;
  int gear = 0;            // 0 when stopped
  double tpsPercent = 0;
  double mapKpa = 0;
  bool knocking = false;
  int mapBars = 1;         // 1, 2 or 3 by variant
  int cylinders = 8;
  bool multiPort = false;
  int firmwareMinor = 2;
};

DrivePhase PhaseAt(int frameInLap);

// The script at a frame (seed-independent values).
DriveState DriveStateAt(std::uint64_t frameIndex);

// Fills the payload of frame `frameIndex`. `activeBank` (0..7) goes into
// bankByte bits 0-2 beside the flash-model bit.
void FillDriveFrame(std::uint64_t frameIndex, std::uint32_t seed, int activeBank, Payload& payload);

}  // namespace zrm::sim
