#include "flash/bank_procedures.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "flash/zrm_bin.h"

namespace zrm {

namespace {

constexpr int BANK_SET_PAUSE_MS = 60;

class DiskBinStream : public BinStream {
 public:
  explicit DiskBinStream(std::FILE* file) : file_(file) {}
  ~DiskBinStream() override { Close(); }

  std::size_t Read(std::uint8_t* bytes, std::size_t count) override {
    return file_ ? std::fread(bytes, 1, count, file_) : 0;
  }
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) override {
    return file_ ? std::fwrite(bytes, 1, count, file_) : 0;
  }
  int Rewind() override { return file_ && std::fseek(file_, 0, SEEK_SET) == 0 ? 0 : -1; }
  int Close() override {
    if (!file_) return 0;
    const int result = std::fclose(file_) == 0 ? 0 : -1;
    file_ = nullptr;
    return result;
  }

 private:
  std::FILE* file_;
};

class DiskBinFilesImpl : public BinFiles {
 public:
  std::unique_ptr<BinStream> OpenForReading(const std::string& path) override {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    return std::make_unique<DiskBinStream>(file);
  }
  std::unique_ptr<BinStream> OpenForWriting(const std::string& path) override {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return nullptr;
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<DiskBinStream>(file);
  }
  int Replace(const std::string& from, const std::string& to) override {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error ? -1 : 0;
  }
  int Remove(const std::string& path) override {
    std::error_code error;
    return std::filesystem::remove(path, error) && !error ? 0 : -1;
  }
};

int StepFailed(MessageSink& messages, const char* line) {
  messages.LogMessage(MESSAGE_FAILURE, line);
  return -1;
}

void LogResult(MessageSink& messages, bool ok, const char* success, const char* failure) {
  messages.LogMessage(MESSAGE_NORMAL, "");
  messages.LogMessage(ok ? MESSAGE_SUCCESS_RESULT : MESSAGE_FAILURE_RESULT, ok ? success : failure);
}

// Steps 2 to 4 of both sequences: stream off, bank active, loader on.
int EnterLoader(FlashProtocol& protocol, const BankOperationOptions& options, MessageSink& messages) {
  if (protocol.TxMsXmit(0) != 0) return StepFailed(messages, "TxMsXmit Failed");
  if (options.setBankActive) {
    if (protocol.TxMsBank(protocol.currentBank) != 0) return StepFailed(messages, "TxMsBank Failed");
    messages.LogMessage(MESSAGE_NORMAL, MSG_BANK_SET);
    protocol.Transport().Pause(BANK_SET_PAUSE_MS);
  }
  if (protocol.TxMsFlash() != 0) return StepFailed(messages, "TxMsFlash Failed");
  return 0;
}

int ProgramSequence(FlashProtocol& protocol, const BankOperationOptions& options,
                    const std::vector<std::uint8_t>& calibration, MessageSink& messages) {
  messages.LogMessage(MESSAGE_NORMAL, MSG_PROGRAM_STARTING);
  if (EnterLoader(protocol, options, messages) != 0) return -1;
  if (protocol.TxSlInfo() != 0) return StepFailed(messages, "TxSlInfo Failed");
  if (protocol.TxSlReqstVersion() != 0) return StepFailed(messages, "TxSlReqstVersion Failed");
  if (protocol.SstChip() && protocol.TxSlEraseSector(protocol.currentBank * SECTORS_PER_BANK) != 0)
    return StepFailed(messages, "TxSlEraseSector Failed");
  if (protocol.TxSlInfo() != 0) return StepFailed(messages, "TxSlInfo Failed");

  for (int page = 0; page < CALIBRATION_PAGES; ++page) {
    protocol.currentPage = page;
    if (protocol.TxSlPgmPage(&calibration[static_cast<std::size_t>(page) * PAGE_SIZE]) != 0)
      return StepFailed(messages, "TxSlPgmPage Failed");
  }

  if (options.verify) {
    messages.LogMessage(MESSAGE_NORMAL, MSG_VERIFY_STARTING);
    if (protocol.TxSlRequestCal() != 0) return StepFailed(messages, "TxSlRequestCal Failed");
    for (std::size_t i = 0; i < calibration.size(); ++i) {
      if (protocol.answer.buffer[i + 1] != calibration[i]) return StepFailed(messages, MSG_VERIFY_FAILED);
    }
  }

  messages.LogMessage(MESSAGE_NORMAL, MSG_PROGRAMMED);
  if (protocol.TxSlStop(1) != 0) return StepFailed(messages, "TxSlStop Failed");
  return 0;
}

int ReadSequence(FlashProtocol& protocol, const BankOperationOptions& options, BinStream& file,
                 MessageSink& messages) {
  messages.LogMessage(MESSAGE_NORMAL, MSG_READ_STARTING);
  if (EnterLoader(protocol, options, messages) != 0) return -1;
  if (protocol.TxSlInfo() != 0) return StepFailed(messages, "TxSlInfo Failed");
  if (protocol.TxSlRequestCal() != 0) return StepFailed(messages, "TxSlRequestCal Failed");

  bool failed = false;
  if (file.Write(&protocol.answer.buffer[1], CALIBRATION_SIZE) != CALIBRATION_SIZE) {
    StepFailed(messages, MSG_FILE_WRITE_FAILED);
    failed = true;
  } else {
    messages.LogMessage(MESSAGE_NORMAL, MSG_READ_OK);
  }
  // The ECM is released even when the file could not take the calibration.
  if (protocol.TxSlStop(1) != 0) {
    StepFailed(messages, MSG_READ_STOP_FAILED);
    failed = true;
  }
  return failed ? -1 : 0;
}

int WriteImageTail(BinStream& file) {
  const std::vector<std::uint8_t> filler(BIN_FILLER_SIZE, 0xFF);
  if (file.Write(filler.data(), filler.size()) != filler.size()) return -1;
  const auto trailer = BinTrailer(TrailerKind::BankRead);
  if (file.Write(trailer.data(), trailer.size()) != trailer.size()) return -1;
  return 0;
}

}  // namespace

BinFiles& DiskBinFiles() {
  static DiskBinFilesImpl files;
  return files;
}

void PrepareBankOperation(FlashProtocol& protocol, int bank) {
  protocol.currentBank = bank & 7;
  protocol.infoBytes = {1, 1, 1};
  protocol.p = BANK_INFO_P;
}

int ProgramBankFromFile(FlashProtocol& protocol, const BankOperationOptions& options, const std::string& path,
                        MessageSink& messages, BinFiles& files) {
  int result = -1;
  std::unique_ptr<BinStream> file = files.OpenForReading(path);
  if (!file) {
    StepFailed(messages, MSG_FAILED_OPENING_BIN);
  } else {
    // The calibration is taken once: the bank receives, and the verify
    // compares against, the same bytes, and a short file never reaches the
    // bank (its tail would be programmed erased).
    std::vector<std::uint8_t> calibration(CALIBRATION_SIZE);
    const std::size_t got = file->Read(calibration.data(), calibration.size());
    file->Close();
    if (got < calibration.size()) {
      StepFailed(messages, MSG_BIN_TOO_SHORT);
    } else {
      result = ProgramSequence(protocol, options, calibration, messages);
    }
  }
  LogResult(messages, result == 0, MSG_FLASHING_OK, MSG_FLASHING_FAILED);
  return result;
}

int ReadBankToFile(FlashProtocol& protocol, const BankOperationOptions& options, const std::string& path,
                   MessageSink& messages, BinFiles& files) {
  int result = -1;
  const std::string part = BankReadPartPath(path);
  std::unique_ptr<BinStream> file = files.OpenForWriting(part);
  if (!file) {
    StepFailed(messages, MSG_FAILED_OPENING_BIN);
  } else {
    result = ReadSequence(protocol, options, *file, messages);
    if (result == 0) result = WriteImageTail(*file);
    // A file that cannot be closed may not hold what was written.
    if (file->Close() != 0) result = -1;
    if (result == 0 && files.Replace(part, path) != 0) {
      StepFailed(messages, MSG_FILE_WRITE_FAILED);
      result = -1;
    }
    if (result != 0) files.Remove(part);
  }
  LogResult(messages, result == 0, MSG_READ_RESULT_OK, MSG_READ_RESULT_FAILED);
  return result;
}

std::string BankReadPartPath(const std::string& path) { return path + ".part"; }

}  // namespace zrm
