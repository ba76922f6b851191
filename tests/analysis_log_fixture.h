// A small hand-built data log for the analysis tests: the frame every row
// starts from, its variants, and the log around them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/runtime_frame.h"
#include "shell/vistrel_config.h"
#include "test_support.h"

namespace zrm::test {

// The frame every row starts from. Values and what they show:
//   configByte 0x94      4 cylinders, multi-port, 2-bar MAP
//   firmwareByte 0x82    firmware 2.2, sequential fire (Sf)
//   vssPpmRaw 230        920920 / 230 = 4004 pulses per mile
//   rpmLow 10, rpmCoarse 128   128 x 12.5 + 400 = 2000 RPM
//   vehicleSpeed 35      35 mph (56.33 km/h)
//   mapRaw 100           2-bar: 100 x 0.7705 + 8 = 85.05 kPa
//   boostRaw 40          40 x 0.625 = 25 kPa = 3.63 psi
//   baroRaw 245          245 x 0.369 + 10.415 = 100.82
//   vacuumRaw 64         80 - 20 = 60
//   veRaw 200            78.125 %
//   tpsRaw 128, tpsPrevRaw 120   50 %, opening 3.125 %
//   ctsRaw 160, iatRaw 80, intercoolerTempRaw 100   80/20/35 C, 176/68/95 F
//   o2Raw 100            442 mV
//   airflowGs 25; sparkAdvance 60 (21.09 deg); sparkRetard 20 (3.52 deg)
//   knockCount 258; basePw 1024 (15.625 ms); actualPw 512 (7.8125 ms)
//   duty: 2000 RPM is 30 ms a turn, doubled by Sf: 15.625 / 60 = 26.04 %
//   statusByte13 0x40 AE; statusByte8 0x08 DC; statusByte14 0x80 CL
//   statusByte2 0x80 Id; statusByte3 0x04 Hw; statusByte5 0x21 Fn and drive
//   statusByte180 0x80 Eg; gear 3; closedLoopState 5 (shown 2)
//   integrator 128, blm 131, iacSteps 40, bpc 0x2A80 (43)
//   nitrousRaw 0xF7FF (100 %), commandedAfr 147 (14.7)
//   tpsAePw 65 (0.992 ms), deltaMapRaw 80 (25.0), mapAePw 0, aePw 256 (3.906 ms)
//   ADC channels 0 and 1 at 512 counts: 2.50644 V
inline std::vector<std::uint8_t> BaseFrame(int runTime, int pulses) {
  std::vector<std::uint8_t> f(FRAME_PAYLOAD_SIZE, 0);
  auto word = [&f](int offset, int value) {
    f[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value >> 8);
    f[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>(value & 0xFF);
  };
  f[field::configByte] = 0x94;
  f[field::firmwareByte] = 0x82;
  word(field::vssPpmRaw, 230);
  f[field::vssPulseCount] = static_cast<std::uint8_t>(pulses);
  word(field::runTimeSec, runTime);
  f[field::rpmLow] = 10;
  f[field::rpmCoarse] = 128;
  f[field::vehicleSpeed] = 35;
  f[field::mapRaw] = 100;
  f[field::boostRaw] = 40;
  f[field::baroRaw] = 245;
  f[field::vacuumRaw] = 64;
  f[field::veRaw] = 200;
  f[field::tpsRaw] = 128;
  f[field::tpsPrevRaw] = 120;
  f[field::ctsRaw] = 160;
  f[field::iatRaw] = 80;
  f[field::intercoolerTempRaw] = 100;
  f[field::o2Raw] = 100;
  f[field::airflowGs] = 25;
  f[field::sparkAdvance] = 60;
  f[field::sparkRetard] = 20;
  word(field::knockCount, 258);
  word(field::basePw, 1024);
  word(field::actualPw, 512);
  f[field::statusByte13] = 0x40;
  f[field::statusByte8] = 0x08;
  f[field::statusByte14] = 0x80;
  f[field::statusByte2] = 0x80;
  f[field::statusByte3] = 0x04;
  f[field::statusByte5] = 0x21;
  f[field::statusByte180] = 0x80;
  f[field::gear] = 3;
  f[field::closedLoopState] = 5;
  f[field::integrator] = 128;
  f[field::blm] = 131;
  f[field::iacSteps] = 40;
  word(field::bpc, 0x2A80);
  word(field::nitrousRaw, 0xF7FF);
  f[field::commandedAfr] = 147;
  f[field::tpsAePw] = 65;
  f[field::deltaMapRaw] = 80;
  word(field::aePw, 256);
  word(field::adcChannel(0), 512);
  word(field::adcChannel(1), 512);
  return f;
}

// Frame 4: a 1-bar MAP sensor (100 x 0.369 + 10.415 = 47.3 kPa, no boost)
// on firmware 2.1: 2002 pulses per mile, no Sf, so the duty is 15.625 / 30
// = 52.08 %.
inline std::vector<std::uint8_t> OneBarFrame(int runTime, int pulses) {
  std::vector<std::uint8_t> f = BaseFrame(runTime, pulses);
  f[field::configByte] = 0x14;
  f[field::firmwareByte] = 0x01;
  return f;
}

inline const char* const kHeadStamp = " 12/06/2026 - 06:20:00";
inline const char* const kMarkStamp = " 12/06/2026 - 06:21:10";
inline const char* const kPlainStamp = " 12/06/2026 - 06:21:11";

// The log: head, F1 (0:01:05), F2 with MARK003 inside its payload, a frame
// with a bad sum, a time stamp, F4 (0:01:06, 1-bar), a frame whose time text
// is cut by 0xFF (dropped), F6 (0:01:07), and a time text cut by the end.
inline std::vector<std::uint8_t> HandBuiltLog() {
  std::vector<std::uint8_t> log;
  AppendText(log, std::string("TIME:") + kHeadStamp);
  AppendText(log, "[ID] ZRM Flash Vistrel Display\r\n[PORT] COM2\r\n");
  auto add = [&log](const std::vector<std::uint8_t>& wire) { log.insert(log.end(), wire.begin(), wire.end()); };
  add(WireFrame(BaseFrame(65, 10)));
  std::vector<std::uint8_t> f2 = WireFrame(BaseFrame(65, 12));
  const std::string mark = std::string("MARK003TIME:") + kMarkStamp;
  f2.insert(f2.begin() + 2 + 100, mark.begin(), mark.end());
  add(f2);
  std::vector<std::uint8_t> bad = WireFrame(BaseFrame(65, 13));
  bad.back() ^= 0x01;
  add(bad);
  AppendText(log, std::string("TIME:") + kPlainStamp);
  add(WireFrame(OneBarFrame(66, 15)));
  std::vector<std::uint8_t> cut = WireFrame(BaseFrame(66, 17));
  const std::vector<std::uint8_t> cutText = {'T', 'I', 'M', 'E', ':', ' ', '1', '2', 0xFF};
  cut.insert(cut.begin() + 2 + 50, cutText.begin(), cutText.end());
  add(cut);
  add(WireFrame(BaseFrame(67, 20)));
  AppendText(log, "TIME: 12/0");
  return log;
}

// Channel 0: TT-1 wideband (2 V + 10), preferred, unfiltered: 15.01 AFR.
// Channel 1: 30 psi sender ((V - 0.5) x 30 / 4 = 15.048 psi), filter 50 %.
inline VistrelSettings ChannelSettings() {
  VistrelSettings s;
  s.adcChannels[0].type = 0;
  s.adcChannels[0].index = 1;
  s.adcChannels[0].instance = 1;
  s.adcChannels[0].wbPreferred = 1;
  s.adcChannels[1].type = 1;
  s.adcChannels[1].index = 2;
  s.adcChannels[1].instance = 1;
  s.adcChannels[1].filter = 50;
  return s;
}

}  // namespace zrm::test
