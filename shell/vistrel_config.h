// vistrel's persisted settings and the key table of ZRM_Vistrel.cfg.
//
// Every field starts at the value the program has when its key is absent from
// the file; the table gives the limits and the fallback used for a bad value.
// The same table writes the configuration copy at the head of every data log.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "platform/services.h"

namespace zrm {

constexpr const char* VISTREL_CONFIG_NAME = "ZRM_Vistrel.cfg";
constexpr const char* VISTREL_CONFIG_ID = "ZRM Flash Vistrel Display";
constexpr int USER_DEVICE_COUNT = 16;
constexpr int ADC_CHANNEL_COUNT = 8;

// One user device as persisted: [UDnACTIVE] .. [UDnPRECI].
struct UserDeviceSettings {
  std::int32_t active = 0;                      // [UDnACTIVE]
  std::string name = "-Available Device Entry-";  // [UDnNAME]
  std::string unit = "NEW";                     // [UDnUNIT]
  std::int32_t voltJ = 0;                       // [UDnVOLTJ] millivolts
  std::int32_t voltK = 5000;                    // [UDnVOLTK] millivolts
  std::int32_t unitJ = 0;                       // [UDnUNITJ] unit value x 10000
  std::int32_t unitK = 1000000;                 // [UDnUNITK] unit value x 10000
  std::int32_t width = 4;                       // [UDnWIDTH]
  std::int32_t precision = 4;                   // [UDnPRECI]
  bool operator==(const UserDeviceSettings&) const = default;
};

// One ADC channel's assignment as persisted: [ADnTYPE] .. [ADnFPPREF].
struct AdcChannelSettings {
  std::int32_t type = -1;        // [ADnTYPE] -1 none, 0 wideband, 1 pressure, 2 user device
  std::int32_t instance = 0;     // [ADnINSTA]
  std::int32_t index = 0;        // [ADnINDEX]
  std::string name = "None";     // [ADnNAME]
  std::int32_t filter = 100;     // [ADnFILTER] percent of a new sample
  std::int32_t wbPreferred = 0;  // [ADnWBPREF]
  std::int32_t fpPreferred = 0;  // [ADnFPPREF]
  bool operator==(const AdcChannelSettings&) const = default;
};

struct VistrelSettings {
  std::string port = "COM2";         // [PORT]
  FilePathTriple dataLog;            // [DLOG] [DLOGNAME] [DLOGPATH]
  FilePathTriple playback;           // [PLAY] [PLAYNAME] [PLAYPATH]
  FilePathTriple learnVe;            // [LEARNVE] [LEARNVENAME] [LEARNVEPATH]
  FilePathTriple newVe;              // [NEWVE] [NEWVENAME] [NEWVEPATH]
  FilePathTriple analysis;           // [ANALYSIS] [ANALYSISNAME] [ANALYSISPATH]
  std::int32_t temperatureScale = 1;  // [TEMPERSCALE] 1 Celsius, 0 Fahrenheit
  std::int32_t learnTempLow = 75;    // [LRNLWR]
  std::int32_t learnTempHigh = 110;  // [LRNUPR]
  std::int32_t learnInput = 0;       // [LRNINP] 0 BLM, 1 wideband
  std::int32_t playbackDelay = 50;   // [PBSPD] milliseconds (+7) after each played frame
  std::int32_t redline = 5800;       // [RDLN]
  std::int32_t rpmRange = 7000;      // [RPMRANGE]
  std::int32_t speedRange = 120;     // [MPHRANGE]
  std::int32_t speedInKph = 0;       // [KPHORMPH] 1 km/h, 0 mph
  std::int32_t smoothFactor = 5;     // [SMOOTHFAC]
  std::int32_t autoVeSave = 0;       // [AUTOVSAVE]
  std::int32_t autoVeMinutes = 5;    // [AUTOVTIME]
  std::int32_t autoVeShowWarning = 1;  // [AUTOVSHOW]
  std::int32_t knockAlert = 1;       // [KNOCKALERT]
  std::int32_t saveTrip = 0;         // [SAVETRIP]
  std::int32_t tripVssPpm = 0;       // [BFRVSSPPM]
  std::int32_t tripFlowConstant = 0;  // [BFRFLWCNST]
  double totalPw = 0.0;              // [TOTALPW]
  double totalVss = 0.0;             // [TOTALVSS]
  std::int32_t malfunctionX = -1;    // [XPOSMALF]
  std::int32_t malfunctionY = -1;    // [YPOSMALF]
  std::int32_t malfunctionOpen = 0;  // [ACTVMALF]
  std::int32_t flashBankX = -1;      // [XPOSFBNK]
  std::int32_t flashBankY = -1;      // [YPOSFBNK]
  std::int32_t flashBankOpen = 0;    // [ACTVFBNK]
  std::int32_t mainWindowX = -1;     // [XPOSHWND]
  std::int32_t mainWindowY = -1;     // [YPOSHWND]
  std::int16_t flashBank = 0;        // [FLSHBANK]
  std::int16_t flashVerify = 1;      // [FLSHVERIFY]
  std::int16_t flashSetBank = 1;     // [FLSHSETBANK]
  std::int16_t flashAction = 1;      // [FLSHACTION]
  FilePathTriple flashBin;           // [FLSHBIN] [FLSHBINFILE] [FLSHBINPATH]
  FilePathTriple readBin;            // [READBIN] [READBINFILE] [READBINPATH]
  std::int32_t analysisSingleHeader = 0;  // [ANASHEADER]
  std::int32_t analysisCsv = 0;      // [ANA.CSV]
  std::int32_t enterPauses = 0;      // [ENTERPAUSE]
  std::int32_t transType = 0;        // [TRANSTYPE] 0 stick, 1 automatic
  std::int32_t updateRate = 0;       // [UPDATERATE]
  std::array<UserDeviceSettings, USER_DEVICE_COUNT> userDevices{};
  std::array<AdcChannelSettings, ADC_CHANNEL_COUNT> adcChannels{};

  // Not persisted: derived from updateRate after reading and by the preferences.
  std::int32_t updateDivisor = 3;

  bool operator==(const VistrelSettings&) const = default;
};

// Display update divisor for an [UPDATERATE] position: 3, 2, 1, 0 for 0 to 3
// (a position outside the list counts as its nearest end).
std::int32_t UpdateDivisorForRate(std::int32_t rate);

// The ordered key table of ZRM_Vistrel.cfg with its rows bound to the settings.
std::vector<ConfigKey> BuildVistrelKeys(VistrelSettings& settings);

// The steps after the file has been read: the update divisor from
// [UPDATERATE], and the trip totals cleared unless [SAVETRIP] keeps them.
void ApplyVistrelAfterReading(VistrelSettings& settings);

// vistrel's configuration file at the path: CR LF lines (CR CR LF on disk), no
// range check for reals, the after-reading steps bound.
ConfigFile MakeVistrelConfig(std::string path, VistrelSettings& settings, PlatformServices* services);

}  // namespace zrm
