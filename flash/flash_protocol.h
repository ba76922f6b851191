// The flash link: runtime command packets to the ECM's runtime program and
// loader command packets to its flash loader, with the loader's answers.
//
// Runtime command, 5 bytes:   52 cc aa hh ll
//   lead 'R', code X/B/F, one argument byte, then the 16-bit additive sum of
//   the bytes before it, high byte first:
//   X 0: 52 58 00 00 AA   X 1: 52 58 01 00 AB   B 3: 52 42 03 00 97   F: 52 46 00 00 98
//
// Loader command, 133 bytes:  53 cc p0 .. p128 hh ll
//   lead 'S', code 0..7, 129 payload bytes (spaces where a command has
//   nothing to say), sum over lead, code and payload. Stop (code 4, all
//   spaces) ends 10 77; Info for bank 0 with P = 25 ends 0F EF:
//   53 00 20 00 01 01 01 19 20 .. 20 0F EF
//
// Loader answer:  53 tt payload hh ll, the payload length fixed by the type:
//   Ack 'A' and Refusal 'N' 12, Version 'V' 128, Page 'P' 129,
//   Calibration 'C' 4097, Whole-bank 'B' 16385; the sum covers 53, tt and
//   the payload. An Ack is 53 41 cc bb pp s3 ie s5 20 20 20 20 20 20 hh ll.
//
// Timing: answers are read straight out of the StreamRing against FlashTicks,
// a counter advanced every 100 ms. The hunt for a frame start polls every
// 20 ms; each limit counts as exceeded when strictly more ticks have passed.
// A whole-bank answer takes about 2.9 s at 57600 baud, which only the
// per-byte limit lets through.
//
// Odd answers: runtime bytes left over from the stream and an 0x53 whose
// follower is not a known type are skipped; 53 53 41 .. is an Ack starting at
// the second 53; a Refusal is a valid answer that no command accepts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zrm {

class MessageSink;

constexpr std::uint8_t LOADER_LEAD = 0x53;
constexpr int LOADER_PAYLOAD_SIZE = 129;
constexpr int LOADER_PACKET_SIZE = LOADER_PAYLOAD_SIZE + 4;
constexpr int LOADER_COMMAND_COUNT = 8;
constexpr int RUNTIME_PAYLOAD_LIMIT = 1;
// The update utility's one builder for both kinds.
constexpr int GENERIC_PAYLOAD_LIMIT = 252;

constexpr std::uint8_t SL_INFO = 0;
constexpr std::uint8_t SL_REQUEST_CAL = 1;
constexpr std::uint8_t SL_REQUEST_PAGE = 2;
constexpr std::uint8_t SL_REQUEST_BIN = 3;
constexpr std::uint8_t SL_STOP = 4;
constexpr std::uint8_t SL_REQUEST_VERSION = 5;
constexpr std::uint8_t SL_ERASE_SECTOR = 6;
constexpr std::uint8_t SL_PROGRAM_PAGE = 7;

constexpr std::uint8_t ANSWER_ACK = 0x41;
constexpr std::uint8_t ANSWER_REFUSAL = 0x4E;
constexpr std::uint8_t ANSWER_VERSION = 0x56;
constexpr std::uint8_t ANSWER_PAGE = 0x50;
constexpr std::uint8_t ANSWER_CALIBRATION = 0x43;
constexpr std::uint8_t ANSWER_WHOLE_BANK = 0x42;

constexpr int PAGE_SIZE = 128;
constexpr int CALIBRATION_SIZE = 4096;
constexpr int BANK_SIZE = 16384;
constexpr int CALIBRATION_PAGES = CALIBRATION_SIZE / PAGE_SIZE;
constexpr int BANK_PAGES = BANK_SIZE / PAGE_SIZE;
constexpr int BANK_COUNT = 8;
constexpr int SECTORS_PER_BANK = 4;
constexpr int ANSWER_BUFFER_SIZE = BANK_SIZE + 1;

// The text of the erase command at payload [1..16].
constexpr char ERASE_SECTOR_TEXT[] = " Erase Sector   ";
// Where a Version answer names an SST flash chip.
constexpr int SST_NAME_OFFSET = 67;
constexpr char SST_NAME[] = " SST";

// One answer type: its type byte and the whole frame's length.
struct AnswerType {
  std::uint8_t type;
  int totalLength;
  const char* name;
};

constexpr AnswerType ANSWER_TYPES[] = {
    {ANSWER_ACK, 16, "Ack"},
    {ANSWER_REFUSAL, 16, "Refusal"},
    {ANSWER_VERSION, 132, "Version"},
    {ANSWER_PAGE, 133, "Page"},
    {ANSWER_CALIBRATION, CALIBRATION_SIZE + 5, "Calibration"},
    {ANSWER_WHOLE_BANK, BANK_SIZE + 5, "Whole-bank"},
};

// The answer type for a type byte, or nullptr when it is none of the six.
const AnswerType* FindAnswerType(std::uint8_t type);

// 16-bit additive sum of the bytes.
std::uint16_t FlashChecksum(const std::uint8_t* bytes, std::size_t length);

// Packet builders: lead, code, payload, sum high, sum low into *packet.
// Each returns 0, or -1 (and leaves *packet empty) when it refuses.
// Refuses a code of 8 or more and a payload over 129 bytes.
int BuildLoaderPacket(std::uint8_t code, const std::uint8_t* payload, int length, std::vector<std::uint8_t>* packet);
// Refuses a payload over 1 byte.
int BuildRuntimeCommand(std::uint8_t code, const std::uint8_t* payload, int length,
                        std::vector<std::uint8_t>* packet);
// Either kind with the lead as given; refuses a payload over 252 bytes.
int BuildLeadPacket(std::uint8_t lead, std::uint8_t code, const std::uint8_t* payload, int length,
                    std::vector<std::uint8_t>* packet);

// A loader payload of 129 spaces.
std::array<std::uint8_t, LOADER_PAYLOAD_SIZE> BlankLoaderPayload();

// Info byte [5] for the setting P: 0 for 0, 15 for 1..15, P from 16 on.
std::uint8_t InfoByteFromP(int p);

// What the flash link uses of the serial link: the transmit slot, the read
// side of the StreamRing, the tick counter and the pauses. Tests script it.
class FlashTransport {
 public:
  virtual ~FlashTransport() = default;
  // 0 when the slot took the packet, -1 when it refused.
  virtual int QueueTransmit(const std::uint8_t* bytes, int length) = 0;
  virtual int RingCount() = 0;
  virtual int RingGetByte() = 0;
  virtual int RingPeekByte() = 0;
  virtual void RequestRingFlush() = 0;
  virtual std::uint32_t FlashTicks() = 0;
  virtual void Pause(int milliseconds) = 0;
  // One poll of the receiver: waits `milliseconds`, or less once the ring
  // holds `count` bytes. The default waits the whole time.
  virtual void WaitForBytes(int count, int milliseconds) {
    (void)count;
    Pause(milliseconds);
  }
};

// Where the two programs differ: the receiver's limits (ticks of 100 ms) and
// the pauses of the runtime commands.
struct FlashProtocolSettings {
  int overallLimit = 20;     // "RX Streaming Data Failure"
  int firstBytesLimit = 10;  // "RX Timeout 1"
  int byteLimit = 20;        // "RX Timeout 2"
  int checksumLimit = 20;    // "RX Timeout 3"
  int flashPauseMs = 120;      // after F and the first flush
  int flashSecondPauseMs = 10;  // after the second flush; 0: none
  static FlashProtocolSettings Vistrel() { return {}; }
  static FlashProtocolSettings FlashUpdate() { return {30, 20, 20, 5, 60, 0}; }
};

// The answer state: every valid answer overwrites the fields its type
// carries and leaves the others as they were.
struct LoaderAnswer {
  std::uint8_t type = 0;
  std::uint8_t ackCommand = 0;
  std::uint8_t bank = 0;
  std::uint8_t page = 0;
  std::uint8_t status3 = 0;
  std::uint8_t infoEcho = 0;
  std::uint8_t status5 = 0;
  // The raw payload of the last answer from payload [0].
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(ANSWER_BUFFER_SIZE, 0);
};

// Receiver failure lines.
constexpr const char* RX_STREAMING_FAILURE = "RX Streaming Data Failure";
constexpr const char* RX_TIMEOUT_1 = "RX Timeout 1";
constexpr const char* RX_TIMEOUT_2 = "RX Timeout 2";
constexpr const char* RX_TIMEOUT_3 = "RX Timeout 3";
constexpr const char* RX_CHECKSUM_FAILURE = "RX Cksum Failure";

// One program's flash link: the operations, the shared settings the
// procedures set before each call, and the answer state. Every operation
// returns 0 or -1; only the receiver writes a line (to `messages`, in the
// failure colour).
class FlashProtocol {
 public:
  FlashProtocol(FlashTransport& transport, FlashProtocolSettings settings, MessageSink* messages);

  int TxMsXmit(int on);
  // Sent twice, 60 ms apart; fails only when both were refused.
  int TxMsBank(int bank);
  int TxMsFlash();

  int TxSlInfo();
  int TxSlRequestCal();
  int TxSlReqstPage();
  int TxSlRequestBin();
  // awaitAnswer 0: returns once queued.
  int TxSlStop(int awaitAnswer);
  int TxSlReqstVersion();
  int TxSlEraseSector(int sector);
  int TxSlPgmPage(const std::uint8_t* data);

  // The receiver: 0 with the answer state filled, or -1 after its line.
  int ReceiveAnswer();

  // The last Version answer named an SST chip.
  bool SstChip() const;

  const FlashProtocolSettings& Settings() const { return settings_; }
  FlashTransport& Transport() { return transport_; }
  void SetMessages(MessageSink* messages) { messages_ = messages; }

  // Shared settings.
  int currentBank = 0;
  int currentPage = 0;
  std::array<std::uint8_t, 3> infoBytes{1, 1, 1};  // Info payload [2], [3], [4]
  int p = 0;                                       // gives Info payload [5]

  LoaderAnswer answer;

 private:
  int QueueLoader(std::uint8_t code, const std::uint8_t* payload);
  int QueueRuntime(std::uint8_t code, std::uint8_t argument);
  int Exchange(std::uint8_t code, const std::uint8_t* payload);
  int Fail(const char* line);
  // Waits until `count` bytes are in the ring; false once more than `limit`
  // ticks have passed since `start`.
  bool WaitBytes(int count, int limit, int pauseMs);

  FlashTransport& transport_;
  FlashProtocolSettings settings_;
  MessageSink* messages_;
};

}  // namespace zrm
