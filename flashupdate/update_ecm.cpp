#include "flashupdate/update_ecm.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "flash/bank_procedures.h"
#include "flash/zrm_bin.h"
#include "platform/durable_file.h"

namespace zrm {

namespace {

constexpr const char* PROGRAMMING_FAILED = "BIN Programing FAILED!";

int StepFailed(MessageSink& messages, const char* line) {
  messages.LogMessage(MESSAGE_FAILURE, line);
  return -1;
}

// A failure while programming: its line, then the red line.
int ProgrammingFailed(MessageSink& messages, const char* line) {
  messages.LogMessage(MESSAGE_FAILURE, line);
  messages.LogMessage(MESSAGE_FAILURE_RESULT, PROGRAMMING_FAILED);
  return -1;
}

std::string BankLine(int bank) {
  char line[32];
  std::snprintf(line, sizeof line, "Bank #: %d ", bank);
  return line;
}

std::string BankFile(const std::string& folder, int bank, const char* kind) {
  char name[32];
  std::snprintf(name, sizeof name, "Bank_%d_%s.bin", bank, kind);
  return folder + name;
}

bool FileExists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// Reads the first 4096 bytes of the new file: 0, or -1 after its line.
int ReadNewCalibration(const std::string& path, std::uint8_t* calibration, MessageSink& messages) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return ProgrammingFailed(messages, CONVERT_NEW_OPEN_FAILED);
  const std::size_t got = std::fread(calibration, 1, CALIBRATION_SIZE, file);
  std::fclose(file);
  if (got != static_cast<std::size_t>(CALIBRATION_SIZE))
    return ProgrammingFailed(messages, "New Calibration File Read Failure");
  return 0;
}

// Sub-steps 2 to 12 of one bank; the bank is the protocol's current bank.
int ProgramBank(FlashProtocol& protocol, MessageSink& messages, const UpdateEnvironment& environment) {
  const int bank = protocol.currentBank;
  if (protocol.TxSlInfo() != 0) return ProgrammingFailed(messages, "TxSlInfo Failed");

  protocol.currentPage = FIRMWARE_KEY_PAGE;
  if (protocol.TxSlReqstPage() != 0) return ProgrammingFailed(messages, "TxSlReqstPage Failed");
  const FirmwareKeyRow* key = FindFirmwareKey(FirmwareKeyOf(&protocol.answer.buffer[1]));
  if (key != nullptr) {
    messages.LogMessage(MESSAGE_NORMAL, key->line);
    if (key->skip) return 0;
  }

  if (protocol.TxSlReqstVersion() != 0) return StepFailed(messages, "TxSlReqstVersion Failed");
  if (protocol.SstChip()) {
    for (int sector = 0; sector < SECTORS_PER_BANK; ++sector) {
      if (protocol.TxSlEraseSector(bank * SECTORS_PER_BANK + sector) != 0)
        return ProgrammingFailed(messages, "TxSlEraseSector Failed");
    }
  }

  std::uint8_t calibration[CALIBRATION_SIZE];
  if (ReadNewCalibration(NewBankFile(environment.folder, bank), calibration, messages) != 0) return -1;

  for (int page = 0; page < CALIBRATION_PAGES; ++page) {
    protocol.currentPage = page;
    if (protocol.TxSlPgmPage(&calibration[page * PAGE_SIZE]) != 0)
      return ProgrammingFailed(messages, "TxSlPgmPage Failed");
  }
  if (protocol.TxSlRequestCal() != 0) return ProgrammingFailed(messages, "TxSlRequestCal Failed");
  if (std::memcmp(&protocol.answer.buffer[1], calibration, CALIBRATION_SIZE) != 0)
    return ProgrammingFailed(messages, MSG_VERIFY_FAILED);

  const FirmwareImage& image = *environment.image;
  for (int page = FIRMWARE_FIRST_PAGE; page < BANK_PAGES; ++page) {
    if (page == FIRMWARE_KEY_PAGE) continue;
    protocol.currentPage = page;
    if (protocol.TxSlPgmPage(image.Page(page)) != 0) return ProgrammingFailed(messages, "TxSlPgmPage Failed");
  }
  // The key last: until it is in place the bank is not taken for updated.
  protocol.currentPage = FIRMWARE_KEY_PAGE;
  if (protocol.TxSlPgmPage(image.Page(FIRMWARE_KEY_PAGE)) != 0)
    return ProgrammingFailed(messages, "TxSlPgmPage Failed");

  if (protocol.TxSlRequestBin() != 0) return ProgrammingFailed(messages, "TxSlRequestBin Failed  ");
  if (std::memcmp(&protocol.answer.buffer[1 + CALIBRATION_SIZE], image.bytes.data(), FIRMWARE_IMAGE_SIZE) != 0)
    return ProgrammingFailed(messages, "Verify Failed  ");

  messages.LogMessage(MESSAGE_SUCCESS_RESULT, "Bank Updated/Verified Successfully");
  return 0;
}

}  // namespace

std::string OldBankFile(const std::string& folder, int bank) { return BankFile(folder, bank, "old"); }
std::string NewBankFile(const std::string& folder, int bank) { return BankFile(folder, bank, "new"); }

int SaveOldBank(FlashProtocol& protocol, MessageSink& messages, const std::string& path) {
  if (FileExists(path)) {
    messages.LogMessage(MESSAGE_NORMAL, "    -Calibration Exists-");
    return 0;
  }
  // Written beside and given its name only when whole and on the disk, and
  // only while no file has that name: an old file is never written over, and
  // one that exists is complete.
  const std::string temporary = path + ".tmp";
  RemoveFile(temporary);  // a leftover of an interrupted run
  std::FILE* file = CreateFileExclusive(temporary);
  if (file == nullptr) return StepFailed(messages, MSG_FAILED_OPENING_BIN);

  bool ok = true;
  if (protocol.TxSlInfo() != 0) {
    ok = false;
    StepFailed(messages, "TxSlInfo Failed");
  } else if (protocol.TxSlRequestCal() != 0) {
    ok = false;
    StepFailed(messages, "TxSlRequestCal Failed");
  } else if (std::fwrite(&protocol.answer.buffer[1], 1, CALIBRATION_SIZE, file) !=
             static_cast<std::size_t>(CALIBRATION_SIZE)) {
    ok = false;
    StepFailed(messages, MSG_FILE_WRITE_FAILED);
  } else {
    messages.LogMessage(MESSAGE_NORMAL, MSG_READ_OK);
  }

  const std::vector<std::uint8_t> filler(BIN_FILLER_SIZE, 0xFF);
  const auto trailer = BinTrailer(TrailerKind::FirmwareUpdate);
  bool written = std::fwrite(filler.data(), 1, filler.size(), file) == filler.size();
  written = written && std::fwrite(trailer.data(), 1, trailer.size(), file) == trailer.size();
  // Once programming starts this file is the user's only copy of the
  // calibration: it must be on the disk before any bank is erased.
  written = written && SyncFile(file) == 0;
  written = std::fclose(file) == 0 && written;
  if (ok && written) {
    MakeFileReadOnly(temporary);
    written = PublishFileExclusive(temporary, path) == 0;
  }
  if (!ok || !written) {
    RemoveFile(temporary);
    return -1;
  }
  SyncFolderOf(path);
  return 0;
}

int UpdateEcm(FlashProtocol& protocol, MessageSink& messages, const UpdateEnvironment& environment) {
  std::string imageError;
  if (environment.image == nullptr || CheckFirmwareImage(environment.image->bytes, &imageError) != 0)
    return StepFailed(messages, "Firmware Image Invalid");
  // The utility's Info bytes: [2] to [4] are 1, P is left at 0.
  protocol.infoBytes = {1, 1, 1};
  protocol.p = 0;

  messages.LogMessage(MESSAGE_NORMAL, "Updating your ZRM Flash ECM");
  if (protocol.TxMsXmit(0) != 0) return StepFailed(messages, "TxMsXmit Failed");
  if (protocol.TxMsFlash() != 0) return StepFailed(messages, "TxMsFlash Failed");

  messages.LogMessage(MESSAGE_NORMAL, "Reading Calibrations");
  for (int bank = 0; bank < BANK_COUNT; ++bank) {
    messages.LogMessage(MESSAGE_NORMAL, BankLine(bank));
    protocol.currentBank = bank;
    if (SaveOldBank(protocol, messages, OldBankFile(environment.folder, bank)) != 0) return -1;
  }

  messages.LogMessage(MESSAGE_NORMAL, "Creating New Calibrations");
  for (int bank = 0; bank < BANK_COUNT; ++bank) {
    messages.LogMessage(MESSAGE_NORMAL, BankLine(bank));
    std::string error;
    if (ConvertCalibration(OldBankFile(environment.folder, bank), NewBankFile(environment.folder, bank), &error,
                           environment.convert) != 0)
      return StepFailed(messages, error.c_str());
  }

  messages.LogMessage(MESSAGE_NORMAL, "Programming Banks...");
  for (int bank = 0; bank < BANK_COUNT; ++bank) {
    protocol.currentBank = bank;
    messages.LogMessage(MESSAGE_NORMAL, BankLine(bank));
    if (ProgramBank(protocol, messages, environment) != 0) return -1;
  }

  messages.LogMessage(MESSAGE_NORMAL, "ZRM Flash Update Completed...");
  if (protocol.TxSlStop(1) != 0) return StepFailed(messages, "TxSlStop Failed");
  return 0;
}

int RunUpdate(FlashProtocol& protocol, MessageSink& messages, const UpdateEnvironment& environment) {
  const int result = UpdateEcm(protocol, messages, environment);
  messages.LogMessage(MESSAGE_NORMAL, "");
  messages.LogMessage(result == 0 ? MESSAGE_SUCCESS_RESULT : MESSAGE_FAILURE_RESULT,
                      result == 0 ? UPDATE_SUCCESSFUL : UPDATE_FAILED);
  return result;
}

}  // namespace zrm
