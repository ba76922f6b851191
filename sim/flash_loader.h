// The simulated ECM's flash loader: eight 16 KiB banks, kept in a file when
// one is given, behind the loader's packet protocol.
//
// Command from the host, 133 bytes: 53 cc p0 .. p128 hh ll, hh ll the 16-bit
// sum of the 131 bytes before it. The loader hunts for the lead byte; a
// candidate with a wrong sum gives up only its lead, so runtime packets that
// still arrive in loader mode are skipped.
//
// Answers, 53 tt payload hh ll with the same sum:
//   Ack 'A' / Refusal 'N' (12): code, bank, page, status, Info [3] echo, status, 6 spaces
//   Version 'V' (128): loader and chip text, " SST" at 67..70 for an SST chip
//   Page 'P' (129): page number, 128 bytes of the current bank
//   Calibration 'C' (4097): bank, its first 4096 bytes
//   Whole-bank 'B' (16385): bank, all 16384 bytes
// e.g. the Ack of page 5 of bank 2: 53 41 07 02 05 00 01 00 20 20 20 20 20 20 01 63
//
// Commands: 0 Info (payload [1] chooses the current bank), 1 Calibration of
// bank [0], 2 Page [0] of the current bank, 3 Whole bank [0], 4 Stop (Ack,
// then the loader ends), 5 Version, 6 Erase sector [0] (bank = sector / 4;
// refused unless [1..16] is " Erase Sector   " and [17] is 0), 7 Program
// page [0] of the current bank with [1..128].
//
// Chips: an SST chip programs a page by clearing bits only, so a page written
// without an erase comes out as old AND new; the other chip erases each page
// as it writes it.
//
// Faults for tests hit one command (or, for readback, one read-back answer):
// refuse (Refusal, nothing done), silence (no answer, nothing done), checksum
// (done, the answer's sum is wrong), truncate (done, half the answer is
// sent), readback (one data byte of the answer is wrong, its sum right).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_ecm.h"

namespace zrm::sim {

constexpr int SIM_BANK_SIZE = 16384;
constexpr int SIM_BANK_COUNT = 8;
constexpr int SIM_FLASH_SIZE = SIM_BANK_SIZE * SIM_BANK_COUNT;
constexpr int SIM_PAGE_SIZE = 128;
constexpr int SIM_SECTOR_SIZE = 4096;

enum class LoaderFaultKind { None, Refuse, Checksum, Truncate, Silence, Readback };

struct LoaderFault {
  LoaderFaultKind kind = LoaderFaultKind::None;
  // The command it hits, counting from 1 (readback: the read-back answer).
  int at = 1;
};

// "refuse", "checksum:3", ... ; false for anything else.
bool ParseLoaderFault(const std::string& text, LoaderFault* fault);

struct FlashLoaderOptions {
  // The banks' file (131072 bytes); empty keeps them in memory only.
  std::string flashFile;
  bool sst = false;
  LoaderFault fault;
};

// One command as the loader took it: its code and its bank, page or sector.
struct LoaderCommand {
  std::uint8_t code;
  std::uint8_t argument;
  bool operator==(const LoaderCommand&) const = default;
};

class SimFlashLoader : public LoaderHandler {
 public:
  explicit SimFlashLoader(FlashLoaderOptions options);

  // Loads the banks from the file, or creates it with the factory banks when
  // it does not exist. 0, or -1 when it cannot be read or written or is not
  // 131072 bytes long. Without a file the factory banks are used.
  int Open();

  void Enter() override;
  bool Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>* reply) override;

  std::vector<std::uint8_t> Bank(int bank) const;
  // Replaces a bank's contents (and its part of the file).
  int SetBank(int bank, const std::vector<std::uint8_t>& bytes);
  // A new fault; its count starts again.
  void SetFault(LoaderFault fault);
  std::vector<LoaderCommand> Commands() const;
  void ClearCommands();
  int Entries() const;
  // Answer bytes put on the line so far.
  std::uint64_t AnswerBytes() const;

  // The bank a new flash file starts with: a calibration with a valid header
  // and a firmware pattern.
  static std::vector<std::uint8_t> FactoryBank(int bank);
  static std::string VersionText(bool sst);

 private:
  bool Execute(const std::uint8_t* packet, std::vector<std::uint8_t>* reply);
  void Answer(std::uint8_t type, const std::vector<std::uint8_t>& payload, std::vector<std::uint8_t>* reply);
  std::vector<std::uint8_t> AckPayload(std::uint8_t code, std::uint8_t bank, std::uint8_t page, std::uint8_t echo);
  int Persist(std::size_t offset, std::size_t length);

  const FlashLoaderOptions options_;
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> input_;
  int currentBank_ = 0;
  std::uint8_t infoEcho_ = 0;
  LoaderFault fault_;
  int commandCount_ = 0;
  int readbackCount_ = 0;
  int entries_ = 0;
  std::uint64_t answerBytes_ = 0;
  std::vector<LoaderCommand> commands_;
};

}  // namespace zrm::sim
