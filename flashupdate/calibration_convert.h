// Conversion of a calibration of layout 2.0 to 2.6 into the 2.7 layout.
//
// K is the calibration, the first 4096 bytes of a BIN; V its layout version
// K[9] * 256 + K[10] before conversion (0x0000 is 2.0, 0x0202 2.2, 0x0206
// 2.6). Every calibration gets "V" 2 7 in K[8..10], the 2.0 ones their new
// tables, the older ones their new defaults, and a fresh sum of K[8..4095]
// in K[6..7] (high byte first). A 2.7 calibration converts to itself apart
// from the K[518] rule and the sum, so converting twice does no harm.
//
// The new file is the calibration, 11520 bytes of 0xFF and the update
// utility's trailer: 16384 bytes, as a bank read writes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/services.h"

namespace zrm {

constexpr int LAYOUT_V20 = 0x0000;
constexpr int LAYOUT_V22 = 0x0202;
constexpr int LAYOUT_V26 = 0x0206;

constexpr const char* V20_MESSAGE_CAPTION = "-Firmware Update Message-";
constexpr const char* V20_MESSAGE_TEXT =
    "Since this is a Version 2.0 ZRM Flash ECM, the newly created BIN files MUST be used!";

constexpr const char* CONVERT_OPEN_FAILED = "Calibration File Open Failed";
constexpr const char* CONVERT_READ_FAILED = "Calibration File Read Failure";
constexpr const char* CONVERT_NEW_OPEN_FAILED = "New Calibration File Open Failed";
constexpr const char* CONVERT_NEW_WRITE_FAILED = "New Calibration File Write Failure";

// What lasts for one run of the utility, across updates and offline
// conversions.
// The update thread and an offline conversion may both convert at once.
struct UpdateRunState {
  std::atomic<bool> version20MessageShown{false};
};

// What a conversion needs from its program.
struct ConvertEnvironment {
  PlatformServices* services = nullptr;  // the 2.0 message box; none: not shown
  UpdateRunState* run = nullptr;         // none: the box is shown every time
  std::function<void(int ms)> pause;     // none: no pause
};

// The layout version of a calibration, K[9] * 256 + K[10].
int CalibrationLayout(const std::uint8_t* calibration);

// Converts the 4096 bytes in place and returns the layout they had.
int ConvertCalibrationBytes(std::uint8_t* calibration);

// The 16-bit sum of K[8..4095].
std::uint16_t CalibrationChecksum(const std::uint8_t* calibration);

// Reads the old file's calibration, converts it (showing the 2.0 message
// when it is a 2.0 one and the run has not shown it yet) and writes the new
// file. 0, or -1 with *error set to one of the CONVERT_ texts. The new file
// is written beside and renamed over an earlier one, so a failed write
// leaves that earlier file as it was.
int ConvertCalibration(const std::string& oldPath, const std::string& newPath, std::string* error,
                       const ConvertEnvironment& environment);

// The offline BIN update's output name: folder + the name without its
// extension + "_new." + the extension, "bin" when it has none.
std::string ConvertedBinName(const std::string& path);

}  // namespace zrm
