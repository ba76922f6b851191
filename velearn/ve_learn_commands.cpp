// VE learn's BIN reads and writes and its File menu commands.
#include <cctype>
#include <cstdio>

#include "config/config_file.h"
#include "flash/zrm_bin.h"
#include "velearn/bin_ve_table.h"
#include "velearn/ve_learn.h"

namespace zrm {

namespace {

constexpr const char* BIN_FILTER_TEXT = "BIN (*.bin)";
constexpr const char* BIN_FILTER_PATTERN = "*.bin";

bool AllDigits(const std::string& text) {
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string ProposeDestinationName(const std::string& sourceName, int calibrationId) {
  const std::size_t dot = sourceName.rfind('.');
  std::string base = dot == std::string::npos ? sourceName : sourceName.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : sourceName.substr(dot + 1);
  // A number after the last '_' is the identifier of an earlier learn: it
  // is replaced, not extended.
  const std::size_t underscore = base.rfind('_');
  if (underscore != std::string::npos && AllDigits(base.substr(underscore + 1))) base.erase(underscore);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "_%05d", calibrationId + 1);
  return base + suffix + "." + (extension.empty() ? std::string("bin") : extension);
}

std::string CompleteDestinationPath(const std::string& chosen) {
  std::string path = chosen;
  if (!path.empty() && path.back() == '.') path.pop_back();
  if (path.find('.', NameStart(path)) == std::string::npos) path += ".bin";
  return path;
}

void VeLearn::ShowMessage(const char* caption, const char* text) {
  if (services_) services_->ShowMessage(caption, text, MessageIcon::Information);
}

int VeLearn::ReadBinVeTable(const std::string& path) {
  int result;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bool extended = false;
    result = ReadVeCells(path, base_, extended);
    learned_.extended = extended;
    // Row 32 is 6375 RPM in the standard table, 6500 in the extended one.
    const std::uint32_t row32 = extended ? VE_ROW_32_RPM_EXTENDED : VE_LAST_ROW_RPM_STANDARD;
    base_[32][0] = row32;
    learned_.table[32][0] = row32;
    correction_[32][0] = row32;
  }
  if (result == 0 && requestRepaint) requestRepaint();
  return result;
}

int VeLearn::WriteBinVeTable(const std::string& sourcePath, const std::string& destinationPath, int calibrationId) {
  VeTable table;
  bool extended;
  int code = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int smoothFactor = smoothFactor_.load(std::memory_order_relaxed);
    if (smoothFactor > 0) code = SmoothVeTable(learned_, static_cast<double>(smoothFactor), *smoother_);
    table = learned_.table;
    extended = learned_.extended;
  }
  // The message waits for the user; the lock is not held meanwhile.
  if (code > 0) {
    char caption[48];
    std::snprintf(caption, sizeof caption, "Smoother Error: %d", code);
    ShowMessage(caption, "Error Smoothing VE table for VE Learn");
  }

  std::vector<std::uint8_t> image;
  if (LoadDestinationImage(sourcePath, destinationPath, image) != 0) return -1;
  PlaceVeTable(image, table, extended, calibrationId);
  return ReplaceFileContents(destinationPath, image, replaceFault);
}

void VeLearn::StartVeLearn() {
  if (Learning() || services_ == nullptr) return;

  FileDialogRequest open;
  open.title = "Select BIN to Learn From";
  open.filters = {{BIN_FILTER_TEXT, BIN_FILTER_PATTERN}};
  open.defaultExtension = "bin";
  // The last destination, so that learning can go on from it.
  open.initialFolder = settings_.newVe.folder;
  open.initialName = settings_.newVe.name;
  std::string source;
  if (!services_->ChooseFile(open, &source)) return;

  const int id = IsZrmBin(source, services_);
  if (id == -1) {
    ShowMessage("File Open Error", "Can not open BIN File");
    return;
  }
  if (id == -2) return;  // the check has told the user
  // A few bytes with the right header would pass the check and be learned
  // from as a table of 0xFF: refused, as the flash window refuses them.
  if (BinShorterThanCalibration(source)) {
    services_->ShowMessage(BIN_INCORRECT_CAPTION, BIN_TOO_SHORT_TEXT, MESSAGE_NO_ICON);
    return;
  }

  const FilePathTriple chosen = SplitFilePath(source);
  settings_.newVe.name = chosen.name;
  settings_.newVe.folder = chosen.folder;

  FileDialogRequest save;
  save.save = true;
  save.title = "Select File to Create New BIN";
  save.filters = {{BIN_FILTER_TEXT, BIN_FILTER_PATTERN}};
  save.initialFolder = chosen.folder;
  save.initialName = ProposeDestinationName(chosen.name, id);
  std::string destination;
  if (!services_->ChooseFile(save, &destination)) return;
  settings_.newVe = SplitFilePath(CompleteDestinationPath(destination));

  ReloadSettings();
  if (setNextAutoSave && secondsNow)
    setNextAutoSave(secondsNow() + autoSaveMinutes_.load(std::memory_order_relaxed) * 60);

  if (ReadBinVeTable(source) == -1) {
    ShowMessage("File Read Error", "Error reading VE table from BIN File");
    return;
  }
  ClearVeLearnData();
  settings_.learnVe = chosen;
  // The flash bank window offers the new BIN next.
  settings_.flashBin = settings_.newVe;
  calibrationId_ = id;
  SetLearning(true);
  if (saveConfig) saveConfig();
  if (menuChanged) menuChanged(true);
}

int VeLearn::StopVeLearn() {
  if (!Learning()) return 0;
  // A frame being processed finishes first: the write takes the tables' lock.
  SetLearning(false);
  const int result = WriteBinVeTable(settings_.learnVe.path, settings_.newVe.path, calibrationId_);
  if (result == -1) ShowMessage("File Write Error", "Error Writing VE table to BIN File");
  // Learning has ended either way, so the menu offers a new start.
  if (menuChanged) menuChanged(false);
  return result;
}

void VeLearn::AutoSaveVeLearn() {
  if (!Learning()) return;
  if (WriteBinVeTable(settings_.learnVe.path, settings_.newVe.path, calibrationId_) == -1) {
    ShowMessage("File Write Error", "Error Writing VE table to BIN File");
    return;
  }
  if (ReadBinVeTable(settings_.newVe.path) == -1) {
    ShowMessage("File Read Error", "Error reading VE table from BIN File");
    return;
  }
  // Learning goes on from the saved table with an empty grid.
  ClearVeLearnData();
}

void VeLearn::VeLearnAtExit() {
  if (!Learning()) return;
  SetLearning(false);
  WriteBinVeTable(settings_.learnVe.path, settings_.newVe.path, calibrationId_);
}

int VeLearn::BeginLearning(const std::string& sourcePath, const std::string& destinationPath, int calibrationId) {
  ReloadSettings();
  if (ReadBinVeTable(sourcePath) == -1) return -1;
  ClearVeLearnData();
  settings_.learnVe = SplitFilePath(sourcePath);
  settings_.newVe = SplitFilePath(destinationPath);
  calibrationId_ = calibrationId;
  SetLearning(true);
  return 0;
}

}  // namespace zrm
