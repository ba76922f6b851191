#include "flashupdate/bin_update.h"

#include <cstdio>

#include "flash/zrm_bin.h"

namespace zrm {

FileDialogRequest BinUpdateDialog(const FlashUpdateSettings& settings) {
  FileDialogRequest request;
  request.title = BIN_UPDATE_TITLE;
  request.filters = {{"BIN (*.bin)", "*.bin"}, {"All (*.*)", "*.*"}};
  request.initialFolder = settings.flashBin.folder;
  request.mustExist = true;
  return request;
}

int OfflineBinUpdate(PlatformServices& services, FlashUpdateSettings& settings, const ConvertEnvironment& environment,
                     const std::function<void()>& saveConfig) {
  std::string path;
  for (;;) {
    if (!services.ChooseFile(BinUpdateDialog(settings), &path)) return -1;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      services.ShowMessage("File Open Error", "Can not open BIN file", MessageIcon::Information);
      return -1;
    }
    std::uint8_t header[6] = {};
    const std::size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (HasZrmMagic(header, got)) break;
    services.ShowMessage(BIN_INCORRECT_CAPTION, BIN_UPDATE_NOT_ZRM, MessageIcon::Information);
  }

  settings.flashBin = SplitFilePath(path);
  if (saveConfig) saveConfig();

  std::string error;
  if (ConvertCalibration(path, ConvertedBinName(path), &error, environment) != 0) {
    char text[256];
    std::snprintf(text, sizeof text, BIN_UPDATE_FAILED_FORMAT, error.c_str());
    services.ShowMessage(BIN_INCORRECT_CAPTION, text, MessageIcon::Information);
    return -1;
  }
  services.ShowMessage("SUCCESS!", BIN_UPDATE_CREATED, MessageIcon::Information);
  return 0;
}

}  // namespace zrm
