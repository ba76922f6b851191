// The firmware update of every bank (UpdateEcm) and the saving of a bank's
// calibration before it is touched (SaveOldBank).
//
// Order on the wire: X 0, F; for each bank Info and RequestCal (unless its
// old file exists); then for each bank Info, page 103 (the firmware key),
// Version, four erases on SST chips, calibration pages 0..31, RequestCal,
// firmware pages 32..127 without 103, page 103, RequestBin; then Stop.
// Page 103 goes last because it carries the key that marks a bank as done:
// a bank interrupted anywhere before it is updated again on the next run.
//
// Files, in the update's folder, one pair per bank b:
//   Bank_b_old.bin  the calibration as it was before the first attempt;
//                   written once, put on the disk before any bank is
//                   erased or programmed, read-only, never overwritten
//   Bank_b_new.bin  the converted calibration, rewritten every run
#pragma once

#include <string>

#include "flash/flash_protocol.h"
#include "flash/message_window.h"
#include "flashupdate/calibration_convert.h"
#include "flashupdate/firmware_image.h"

namespace zrm {

constexpr const char* UPDATE_SUCCESSFUL = "    -Update Successful-";
constexpr const char* UPDATE_FAILED = "     -Update Failed-";
constexpr const char* UPDATE_ERROR_CAPTION = "-ZRM Update Error-";

struct UpdateEnvironment {
  // Folder of the bank files with its trailing separator; empty: the
  // current folder.
  std::string folder;
  const FirmwareImage* image = nullptr;
  ConvertEnvironment convert;
};

// "Bank_%d_old.bin" / "Bank_%d_new.bin" in the folder.
std::string OldBankFile(const std::string& folder, int bank);
std::string NewBankFile(const std::string& folder, int bank);

// Saves the protocol's current bank as an old file: nothing to do when the
// file exists; otherwise Info, RequestCal, and the 16384-byte image, put on
// the disk and made read-only. A failed save leaves no file. 0 or -1.
int SaveOldBank(FlashProtocol& protocol, MessageSink& messages, const std::string& path);

// The update of all eight banks. 0 or -1; every step and failure has its
// line. Needs a checked image (a bad one fails before anything is sent).
int UpdateEcm(FlashProtocol& protocol, MessageSink& messages, const UpdateEnvironment& environment);

// What the update thread does around UpdateEcm: the update, then an empty
// line and the green or red result line. 0 or -1.
int RunUpdate(FlashProtocol& protocol, MessageSink& messages, const UpdateEnvironment& environment);

}  // namespace zrm
