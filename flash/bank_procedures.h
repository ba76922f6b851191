// The two bank operations of the flash window: Program (a BIN file's
// calibration into a bank, optionally read back and compared) and Read (a
// bank's calibration into a new BIN file). Each step writes one line to the
// message window; a failure ends the sequence with its line.
//
// Program: Bank Flash Program Starting, X 0, [B twice, "Flash Bank Set"],
// F, Info, Version, [Erase sector bank x 4 on SST chips], Info, 32 pages,
// [Bank Verify Starting, RequestCal, compare], Bank Programmed Successfully,
// Stop. A failed step sends no Stop: the ECM stays in its loader.
// Read: Bank Read Starting, X 0, [B], F, Info, RequestCal, write, Stop (also
// after a failed write), then the filler and the trailer.
// A file shorter than the calibration is refused before anything is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "flash/flash_protocol.h"
#include "flash/message_window.h"

namespace zrm {

// Where a bank read builds its image before it replaces the BIN.
std::string BankReadPartPath(const std::string& path);

constexpr int BANK_INFO_P = 25;  // vistrel's setting P for every bank operation

constexpr const char* MSG_FAILED_OPENING_BIN = "Failed opening BIN File";
constexpr const char* MSG_BIN_TOO_SHORT = "BIN File Too Short";
constexpr const char* MSG_PROGRAM_STARTING = "Bank Flash Program Starting";
constexpr const char* MSG_READ_STARTING = "Bank Read Starting";
constexpr const char* MSG_BANK_SET = "Flash Bank Set";
constexpr const char* MSG_VERIFY_STARTING = "Bank Verify Starting";
constexpr const char* MSG_VERIFY_FAILED = "Verify Failed";
constexpr const char* MSG_PROGRAMMED = "Bank Programmed Successfully";
constexpr const char* MSG_READ_OK = "Bank Read Successful";
constexpr const char* MSG_FILE_WRITE_FAILED = "File Write Failed";
constexpr const char* MSG_FLASHING_OK = "    -Flashing Successful-";
constexpr const char* MSG_FLASHING_FAILED = "     -Flashing Failed-";
constexpr const char* MSG_READ_RESULT_OK = "    -Read Successful-";
constexpr const char* MSG_READ_RESULT_FAILED = "     -Read Failed-";
// The Read sequence's Stop line carries two trailing spaces.
constexpr const char* MSG_READ_STOP_FAILED = "TxSlStop Failed  ";

// Settings the operations read, set by the window just before one starts.
struct BankOperationOptions {
  bool verify = true;
  bool setBankActive = true;
};

// The BIN file as the operations use it: raw bytes, no translation.
class BinStream {
 public:
  virtual ~BinStream() = default;
  // Bytes read or written; fewer than asked at the end or on a failure.
  virtual std::size_t Read(std::uint8_t* bytes, std::size_t count) = 0;
  virtual std::size_t Write(const std::uint8_t* bytes, std::size_t count) = 0;
  virtual int Rewind() = 0;  // 0 or -1
  virtual int Close() = 0;   // 0 or -1
};

class BinFiles {
 public:
  virtual ~BinFiles() = default;
  // nullptr when the file cannot be opened (created or truncated for writing).
  virtual std::unique_ptr<BinStream> OpenForReading(const std::string& path) = 0;
  virtual std::unique_ptr<BinStream> OpenForWriting(const std::string& path) = 0;
  // Gives `from` the name `to` in one step, replacing a file of that name.
  // 0 or -1 (nothing changed).
  virtual int Replace(const std::string& from, const std::string& to) = 0;
  virtual int Remove(const std::string& path) = 0;  // 0 or -1
};

// Files on disk through stdio, unbuffered for writing so that a failing write
// is seen by the write that failed.
BinFiles& DiskBinFiles();

// The protocol settings the flash window sets before an operation: the
// current bank, Info bytes [2] to [4] = 1 and P = 25.
void PrepareBankOperation(FlashProtocol& protocol, int bank);

// Both return 0 or -1 and end with an empty line and the green or red
// result line. The bank is the protocol's current bank.
// Program takes the calibration from the file once, before any traffic, and
// refuses a file shorter than the calibration. Read writes the image into a
// new file beside `path` and puts it in the BIN's place only after the whole
// read succeeded, so a failed read leaves the BIN that was there untouched.
int ProgramBankFromFile(FlashProtocol& protocol, const BankOperationOptions& options, const std::string& path,
                        MessageSink& messages, BinFiles& files = DiskBinFiles());
int ReadBankToFile(FlashProtocol& protocol, const BankOperationOptions& options, const std::string& path,
                   MessageSink& messages, BinFiles& files = DiskBinFiles());

}  // namespace zrm
