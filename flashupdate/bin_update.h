// The update utility's offline BIN Update: pick a calibration file, convert
// it to the 2.7 layout beside itself (race.bin -> race_new.bin) and say how
// it went, all through the platform's dialogs and message boxes.
#pragma once

#include <functional>
#include <string>

#include "flashupdate/calibration_convert.h"
#include "flashupdate/flashupdate_config.h"
#include "platform/services.h"

namespace zrm {

constexpr const char* BIN_UPDATE_TITLE = "Select BIN file to update";
constexpr const char* BIN_UPDATE_CREATED = "            New BIN has been Created             ";
constexpr const char* BIN_UPDATE_FAILED_FORMAT = "             BIN Creation failed             \n\n%s";
constexpr const char* BIN_UPDATE_NOT_ZRM = "Not an ZRM Flash BIN";

// The file dialog of BIN Update, seeded from the remembered folder.
FileDialogRequest BinUpdateDialog(const FlashUpdateSettings& settings);

// Runs the command: the dialog until a BIN of this ECM is chosen (or the
// user cancels), then the conversion and its result box. The chosen file is
// remembered in the settings and `saveConfig` called. 0 when a new BIN was
// created, -1 otherwise.
int OfflineBinUpdate(PlatformServices& services, FlashUpdateSettings& settings, const ConvertEnvironment& environment,
                     const std::function<void()>& saveConfig);

}  // namespace zrm
