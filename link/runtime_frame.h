// The RuntimeFrame: the 273-byte payload of one runtime frame, as the ECM
// sends it between the sync pair 0x55 0xAA and the 16-bit sum.
//
// Every field sits at a fixed offset; all are unsigned. Two-byte fields are
// big-endian: the high byte is at the lower offset, so the bytes 0x07 0xAE
// at `refPeriod` (24, 25) read as 0x07AE = 1966. Offsets without a name
// carry nothing the programs read.
#pragma once

#include <cstdint>

namespace zrm {

constexpr int FRAME_PAYLOAD_SIZE = 273;

// Offset of each field in the payload; the names are the system's own.
namespace field {

constexpr int statusByte0 = 0;    // bit 4 ends the engine-running state
constexpr int statusByte1 = 1;    // bit 7 engine running
constexpr int statusByte2 = 2;    // bit 7 idle
constexpr int statusByte3 = 3;    // bit 2 lean cruise, bit 3 closed throttle
constexpr int statusByte5 = 5;    // fan, A/C on, shift, drive, TCC
constexpr int statusByte6 = 6;    // purge, launch, nitrous, fuel enabled
constexpr int statusByte8 = 8;    // bit 3 DFCO
constexpr int sparkAdvance = 10;
constexpr int statusByte11 = 11;  // bit 0 service-engine lamp
constexpr int statusByte13 = 13;  // DE, AE, PE
constexpr int statusByte14 = 14;  // block learn, async injection, closed loop
constexpr int statusByte15 = 15;  // A/C request, park/neutral
constexpr int promId = 16;        // 2 bytes
constexpr int malfCodes = 18;     // 3 bytes
constexpr int malfCodes2 = 21;    // 3 bytes
constexpr int refPeriod = 24;     // 2 bytes
constexpr int rpmCoarse = 27;
constexpr int rpmFine = 28;
constexpr int rpmLow = 31;
constexpr int ctsCounts = 37;
constexpr int mapGauge = 38;
constexpr int boostRaw = 44;
constexpr int mapRaw = 45;
constexpr int vacuumRaw = 49;
constexpr int deltaMapRaw = 50;
constexpr int iatCounts = 51;
constexpr int vehicleSpeed = 52;
constexpr int firmwareByte = 54;  // bits 0-3 minor version, bit 7 sequential fire
constexpr int o2Raw = 62;
constexpr int ignitionVolts = 69;
constexpr int pumpVolts = 70;
constexpr int tpsCounts = 72;
constexpr int tpsRaw = 73;
constexpr int tpsPrevRaw = 75;
constexpr int bpc = 106;                 // 2 bytes
constexpr int knockCount = 115;          // 2 bytes
constexpr int sparkRetard = 119;
constexpr int intercoolerTempRaw = 125;
constexpr int iatRaw = 126;
constexpr int vssPpmRaw = 127;           // 2 bytes
constexpr int actualPw = 138;            // 2 bytes
constexpr int mapAePw = 153;
constexpr int tpsAePw = 154;
constexpr int closedLoopState = 162;
constexpr int blm = 163;
constexpr int integrator = 164;
constexpr int commandedAfr = 165;
constexpr int vssPulseCount = 166;
constexpr int basePw = 167;              // 2 bytes
constexpr int veRaw = 169;
constexpr int statusByte180 = 180;       // bit 7 EGR
constexpr int gear = 187;
constexpr int configByte = 204;          // cylinders, injection type, MAP sensor
constexpr int malfCodes3 = 224;          // 3 bytes
constexpr int ctsRaw = 227;
constexpr int runTimeSec = 235;          // 2 bytes
constexpr int airflowGs = 240;
constexpr int fuelPulseCount = 241;
constexpr int rpmHigh = 243;
constexpr int nitrousRaw = 244;          // 2 bytes
constexpr int tripByte249 = 249;
constexpr int aePw = 250;                // 2 bytes
constexpr int statusByte252 = 252;       // bit 7 valet mode
constexpr int iacSteps = 253;
constexpr int baroRaw = 254;
constexpr int bankByte = 256;            // bits 0-2 bank, bit 7 flash model
constexpr int adcChannel0 = 257;         // eight 2-byte channels to the end

// The n-th analogue input (n = 0 to 7), two bytes each.
constexpr int adcChannel(int n) { return adcChannel0 + 2 * n; }

}  // namespace field

static_assert(field::adcChannel(7) + 2 == FRAME_PAYLOAD_SIZE,
              "the last analogue channel ends the payload");

// The byte at `offset`; the caller keeps offset within the payload.
inline std::uint8_t FrameByte(const std::uint8_t* frame, int offset) {
  return frame[offset];
}

// The big-endian pair at `offset` and `offset` + 1.
inline std::uint16_t FrameWord(const std::uint8_t* frame, int offset) {
  return static_cast<std::uint16_t>((frame[offset] << 8) | frame[offset + 1]);
}

// Bit `bit` (0 = least significant) of the byte at `offset`.
inline bool FrameBit(const std::uint8_t* frame, int offset, int bit) {
  return ((frame[offset] >> bit) & 1) != 0;
}

}  // namespace zrm
