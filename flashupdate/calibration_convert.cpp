#include "flashupdate/calibration_convert.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "config/config_file.h"
#include "flash/flash_protocol.h"
#include "flash/zrm_bin.h"
#include "platform/durable_file.h"

namespace zrm {

namespace {

constexpr int WRITE_PAUSE_MS = 100;

// The 2.0 layout's 15-byte table at K[2328..2342], chosen by bit 7 of K[2973].
constexpr std::uint8_t TABLE_2328_BIT7[15] = {0xD0, 0x41, 0x37, 0x23, 0x0F, 0x05};
constexpr std::uint8_t TABLE_2328_OTHER[15] = {0xD0, 0xF0, 0xDC, 0xB4, 0x8C, 0x64, 0x50, 0x14, 0x14, 0x0A};

// 2.0 scales these two in steps of 31.25 where 2.7 uses 25; 0xFF means off.
std::uint8_t Rescale(std::uint8_t v) {
  if (v == 0xFF) return v;
  return static_cast<std::uint8_t>(v * 25 * 4 / 125);  // v * 25 / 31.25, fraction dropped
}

// A five-row table: the row length, row 0 from `first`, rows 1 to 4 from
// `rest`, which is then cleared.
void BuildRowTable(std::uint8_t* K, int lengthAt, int rowLength, int first, int rest) {
  K[lengthAt] = static_cast<std::uint8_t>(rowLength);
  std::memcpy(&K[lengthAt + 1], &K[first], static_cast<std::size_t>(rowLength));
  for (int row = 1; row < 5; ++row)
    std::memcpy(&K[lengthAt + 1 + row * rowLength], &K[rest], static_cast<std::size_t>(rowLength));
  std::memset(&K[rest], 0, static_cast<std::size_t>(rowLength));
}

void ConvertVersion20(std::uint8_t* K) {
  K[534] = 0x80;
  K[1232] = 0x00;
  K[1245] = 0x01;
  K[1246] = 0xCC;
  K[2320] = Rescale(K[2320]);
  K[2322] = Rescale(K[2322]);
  K[2324] = 0x00;
  K[2325] = 0x5C;
  K[2326] = 0x00;
  K[2327] = 0x4F;
  std::memcpy(&K[2328], (K[2973] & 0x80) ? TABLE_2328_BIT7 : TABLE_2328_OTHER, 15);
  BuildRowTable(K, 3586, 14, 449, 463);
  BuildRowTable(K, 3657, 11, 2937, 2948);
}

int Fail(std::string* error, const char* text) {
  *error = text;
  return -1;
}

// Writes the 16384-byte image to a file beside the target and renames it
// over the target, so that the target is either the old file or the whole
// new one.
int WriteNewBin(const std::string& path, const std::uint8_t* calibration, std::string* error) {
  const std::string temporary = path + ".tmp";
  RemoveFile(temporary);  // a leftover of an interrupted run
  std::FILE* file = CreateFileExclusive(temporary);
  if (file == nullptr) return Fail(error, CONVERT_NEW_OPEN_FAILED);
  const std::vector<std::uint8_t> filler(BIN_FILLER_SIZE, 0xFF);
  const auto trailer = BinTrailer(TrailerKind::FirmwareUpdate);
  bool ok = std::fwrite(calibration, 1, CALIBRATION_SIZE, file) == static_cast<std::size_t>(CALIBRATION_SIZE);
  ok = ok && std::fwrite(filler.data(), 1, filler.size(), file) == filler.size();
  ok = ok && std::fwrite(trailer.data(), 1, trailer.size(), file) == trailer.size();
  ok = ok && SyncFile(file) == 0;
  ok = std::fclose(file) == 0 && ok;
  ok = ok && ReplaceFile(temporary, path) == 0;
  if (!ok) {
    RemoveFile(temporary);
    return Fail(error, CONVERT_NEW_WRITE_FAILED);
  }
  SyncFolderOf(path);
  return 0;
}

}  // namespace

int CalibrationLayout(const std::uint8_t* K) { return K[9] << 8 | K[10]; }

std::uint16_t CalibrationChecksum(const std::uint8_t* K) {
  unsigned sum = 0;
  for (int i = 8; i < CALIBRATION_SIZE; ++i) sum += K[i];
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

int ConvertCalibrationBytes(std::uint8_t* K) {
  const int v = CalibrationLayout(K);
  K[8] = 0x56;
  K[9] = 2;
  K[10] = 7;
  if (v == LAYOUT_V20) ConvertVersion20(K);
  if (v == LAYOUT_V20 || v == LAYOUT_V22) K[2420] = 5;
  if (v < LAYOUT_V26) {
    K[2438] = 0x01;
    K[2439] = 0xFF;
    K[2440] = 0x07;
    K[2441] = 0xFF;
  }
  if (K[518] == 0x23) K[518] = 0x37;
  const std::uint16_t sum = CalibrationChecksum(K);
  K[6] = static_cast<std::uint8_t>(sum >> 8);
  K[7] = static_cast<std::uint8_t>(sum & 0xFF);
  return v;
}

int ConvertCalibration(const std::string& oldPath, const std::string& newPath, std::string* error,
                       const ConvertEnvironment& environment) {
  std::FILE* file = std::fopen(oldPath.c_str(), "rb");
  if (file == nullptr) return Fail(error, CONVERT_OPEN_FAILED);
  std::uint8_t K[CALIBRATION_SIZE];
  const std::size_t got = std::fread(K, 1, sizeof K, file);
  std::fclose(file);
  if (got != sizeof K) return Fail(error, CONVERT_READ_FAILED);

  if (CalibrationLayout(K) == LAYOUT_V20) {
    const bool shown = environment.run != nullptr && environment.run->version20MessageShown.exchange(true);
    if (!shown && environment.services != nullptr)
      environment.services->ShowMessage(V20_MESSAGE_CAPTION, V20_MESSAGE_TEXT, MessageIcon::Error);
  }
  ConvertCalibrationBytes(K);

  if (environment.pause) environment.pause(WRITE_PAUSE_MS);
  return WriteNewBin(newPath, K, error);
}

std::string ConvertedBinName(const std::string& path) {
  const FilePathTriple triple = SplitFilePath(path);
  const std::size_t dot = triple.name.rfind('.');
  std::string stem = triple.name;
  std::string extension;
  if (dot != std::string::npos) {
    stem = triple.name.substr(0, dot);
    extension = triple.name.substr(dot + 1);
  }
  if (extension.empty()) extension = "bin";
  return triple.folder + stem + "_new." + extension;
}

}  // namespace zrm
