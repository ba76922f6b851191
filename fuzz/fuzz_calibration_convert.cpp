// The update utility's calibration conversion (the offline BIN Update and the
// step before an update) over arbitrary files. A file shorter than a
// calibration is refused with its message, and neither leaves a new file nor
// touches an earlier one. Any other gives a 16384-byte BIN: the converted
// calibration marked "V" 2 7 with a valid sum, the 0xFF filler and the update
// utility's trailer; a calibration of layout 2.6 or later keeps every byte
// but the header, K[518] and the sum, and the older layouts change only where
// their rules say. Converting the new BIN again gives the same bytes, and the
// 2.0 message is shown once in a run. The output's name is never the source's.
#include <cstdio>
#include <cstring>
#include <vector>

#include "flash/flash_protocol.h"
#include "flash/zrm_bin.h"
#include "flashupdate/calibration_convert.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace zrm;
using zrm::fuzz::Check;

bool Exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

void CheckConverted(const std::string& out, const std::uint8_t* in) {
  Check(out.size() == static_cast<std::size_t>(BIN_FILE_SIZE), "the new BIN is 16384 bytes");
  const auto* K = reinterpret_cast<const std::uint8_t*>(out.data());
  Check(K[8] == 'V' && K[9] == 2 && K[10] == 7, "the new calibration is marked V 2 7");
  unsigned sum = 0;
  for (int i = 8; i < CALIBRATION_SIZE; ++i) sum += K[i];
  Check(K[6] == ((sum >> 8) & 0xFF) && K[7] == (sum & 0xFF), "the sum covers K[8..4095], high byte first");
  for (int i = CALIBRATION_SIZE; i < CALIBRATION_SIZE + BIN_FILLER_SIZE; ++i)
    Check(K[i] == 0xFF, "the firmware area is 0xFF");
  const auto trailer = BinTrailer(TrailerKind::FirmwareUpdate);
  Check(std::memcmp(K + CALIBRATION_SIZE + BIN_FILLER_SIZE, trailer.data(), trailer.size()) == 0,
        "the update utility's trailer ends the BIN");
  Check(K[518] != 0x23, "K[518] 0x23 is never left");
  Check(K[518] == (in[518] == 0x23 ? 0x37 : in[518]) || (in[9] == 0 && in[10] == 0), "K[518] follows its rule");

  const int layout = in[9] << 8 | in[10];
  if (layout == LAYOUT_V20) return;  // the 2.0 tables are rebuilt
  std::vector<std::uint8_t> changed(CALIBRATION_SIZE, 0);  // bytes, not bits: read for every byte of every input
  for (int i : {6, 7, 8, 9, 10, 518}) changed[static_cast<std::size_t>(i)] = true;
  if (layout == LAYOUT_V22) {
    changed[2420] = true;
    Check(K[2420] == 5, "a 2.2 calibration gets K[2420] = 5");
  }
  if (layout < LAYOUT_V26) {
    const std::uint8_t defaults[] = {0x01, 0xFF, 0x07, 0xFF};
    Check(std::memcmp(K + 2438, defaults, 4) == 0, "a calibration before 2.6 gets its new defaults");
    for (int i = 2438; i <= 2441; ++i) changed[static_cast<std::size_t>(i)] = true;
  }
  for (int i = 0; i < CALIBRATION_SIZE; ++i) {
    if (!changed[static_cast<std::size_t>(i)]) Check(K[i] == in[i], "the conversion changes nothing else");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string old = zrm::fuzz::ScratchPath("race.bin");
  static const std::string converted = zrm::fuzz::ScratchPath("race_new.bin");
  static const std::string again = zrm::fuzz::ScratchPath("race_new_new.bin");
  static const std::string nowhere = zrm::fuzz::ScratchPath("missing/race_new.bin");
  zrm::fuzz::WriteFileOrDie(old, data, size);
  std::remove(converted.c_str());

  // The offline update's output name, for a name made of the input's first
  // bytes: beside the source, never the source itself.
  const std::string chosen(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data),
                                                                         size < 64 ? size : 64));
  const std::string named = ConvertedBinName(chosen);
  const std::size_t slash = chosen.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : chosen.substr(0, slash + 1);
  Check(named != chosen, "the new BIN is never written over the chosen one");
  Check(named.compare(0, folder.size(), folder) == 0 && named.find('/', folder.size()) == std::string::npos,
        "the new BIN lies in the chosen one's folder");
  Check(named.find("_new.", folder.size()) != std::string::npos, "the new BIN's name carries _new");
  static const std::uint8_t earlier[] = "an earlier BIN";
  zrm::fuzz::WriteFileOrDie(again, earlier, sizeof earlier);

  zrm::fuzz::SilentServices services;
  UpdateRunState run;
  const ConvertEnvironment environment{&services, &run, {}};
  std::string error;
  const int result = ConvertCalibration(old, converted, &error, environment);

  if (size < static_cast<std::size_t>(CALIBRATION_SIZE)) {
    Check(result == -1 && error == CONVERT_READ_FAILED, "a short calibration is refused as a read failure");
    Check(!Exists(converted) && !Exists(converted + ".tmp"), "a failed conversion leaves no file");
    Check(ConvertCalibration(old, again, &error, environment) == -1, "a short calibration is refused again");
    Check(zrm::fuzz::ReadFileOrDie(again) == std::string(reinterpret_cast<const char*>(earlier), sizeof earlier),
          "a failed conversion keeps an earlier file whole");
    Check(services.messages == 0, "a refused file shows no 2.0 message");
    return 0;
  }

  Check(result == 0, "a whole calibration converts");
  const std::string out = zrm::fuzz::ReadFileOrDie(converted);
  Check(!Exists(converted + ".tmp"), "nothing is left beside the new BIN");
  CheckConverted(out, data);
  const bool v20 = data[9] == 0 && data[10] == 0;
  Check(services.messages == (v20 ? 1 : 0), "the 2.0 message is shown for a 2.0 calibration only");

  // The new BIN converts to itself, over an earlier file.
  Check(ConvertCalibration(converted, again, &error, environment) == 0, "the new BIN converts again");
  Check(zrm::fuzz::ReadFileOrDie(again) == out, "converting a converted BIN changes nothing");
  // The same file once more in this run: the same BIN, no second message.
  Check(ConvertCalibration(old, again, &error, environment) == 0, "the calibration converts a second time");
  Check(zrm::fuzz::ReadFileOrDie(again) == out, "a conversion gives the same BIN every time");
  Check(services.messages == (v20 ? 1 : 0), "the 2.0 message is shown once in a run");

  // A destination that cannot be made.
  Check(ConvertCalibration(old, nowhere, &error, environment) == -1 && error == CONVERT_NEW_OPEN_FAILED,
        "a destination in a missing folder is refused");
  Check(!Exists(nowhere), "a refused destination is not made");
  return 0;
}
