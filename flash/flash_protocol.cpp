#include "flash/flash_protocol.h"

#include <cstring>

#include "flash/message_window.h"
#include "link/runtime_packet.h"

namespace zrm {

namespace {

constexpr int RUNTIME_PAUSE_MS = 60;  // after X 0 and between the two B packets
constexpr int HUNT_POLL_MS = 20;
// The payload and checksum waits poll the ring; a 1 ms sleep between polls
// keeps them off the processor without slowing a 57600-baud stream.
constexpr int BYTE_POLL_MS = 1;

}  // namespace

const AnswerType* FindAnswerType(std::uint8_t type) {
  for (const AnswerType& row : ANSWER_TYPES) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

std::uint16_t FlashChecksum(const std::uint8_t* bytes, std::size_t length) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

int BuildLeadPacket(std::uint8_t lead, std::uint8_t code, const std::uint8_t* payload, int length,
                    std::vector<std::uint8_t>* packet) {
  packet->clear();
  if (length < 0 || length > GENERIC_PAYLOAD_LIMIT || (length > 0 && payload == nullptr)) return -1;
  packet->reserve(static_cast<std::size_t>(length) + 4);
  packet->push_back(lead);
  packet->push_back(code);
  packet->insert(packet->end(), payload, payload + length);
  const std::uint16_t sum = FlashChecksum(packet->data(), packet->size());
  packet->push_back(static_cast<std::uint8_t>(sum >> 8));
  packet->push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return 0;
}

int BuildLoaderPacket(std::uint8_t code, const std::uint8_t* payload, int length, std::vector<std::uint8_t>* packet) {
  if (code >= LOADER_COMMAND_COUNT || length > LOADER_PAYLOAD_SIZE) {
    packet->clear();
    return -1;
  }
  return BuildLeadPacket(LOADER_LEAD, code, payload, length, packet);
}

int BuildRuntimeCommand(std::uint8_t code, const std::uint8_t* payload, int length,
                        std::vector<std::uint8_t>* packet) {
  if (length > RUNTIME_PAYLOAD_LIMIT) {
    packet->clear();
    return -1;
  }
  return BuildLeadPacket(RUNTIME_LEAD, code, payload, length, packet);
}

std::array<std::uint8_t, LOADER_PAYLOAD_SIZE> BlankLoaderPayload() {
  std::array<std::uint8_t, LOADER_PAYLOAD_SIZE> payload;
  payload.fill(0x20);
  return payload;
}

std::uint8_t InfoByteFromP(int p) {
  if (p <= 0) return 0;
  if (p <= 15) return 15;
  return static_cast<std::uint8_t>(p > 255 ? 255 : p);
}

FlashProtocol::FlashProtocol(FlashTransport& transport, FlashProtocolSettings settings, MessageSink* messages)
    : transport_(transport), settings_(settings), messages_(messages) {}

int FlashProtocol::Fail(const char* line) {
  if (messages_) messages_->LogMessage(MESSAGE_FAILURE, line);
  return -1;
}

int FlashProtocol::QueueRuntime(std::uint8_t code, std::uint8_t argument) {
  std::vector<std::uint8_t> packet;
  if (BuildRuntimeCommand(code, &argument, 1, &packet) != 0) return -1;
  return transport_.QueueTransmit(packet.data(), static_cast<int>(packet.size()));
}

int FlashProtocol::QueueLoader(std::uint8_t code, const std::uint8_t* payload) {
  std::vector<std::uint8_t> packet;
  if (BuildLoaderPacket(code, payload, LOADER_PAYLOAD_SIZE, &packet) != 0) return -1;
  return transport_.QueueTransmit(packet.data(), static_cast<int>(packet.size()));
}

int FlashProtocol::Exchange(std::uint8_t code, const std::uint8_t* payload) {
  if (QueueLoader(code, payload) != 0) return -1;
  return ReceiveAnswer();
}

int FlashProtocol::TxMsXmit(int on) {
  const int result = QueueRuntime(CMD_XMIT, static_cast<std::uint8_t>(on & 1));
  if ((on & 1) == 0) {
    // Stale runtime frames must be gone before loader answers arrive.
    transport_.Pause(RUNTIME_PAUSE_MS);
    transport_.RequestRingFlush();
  }
  return result;
}

int FlashProtocol::TxMsBank(int bank) {
  const std::uint8_t argument = static_cast<std::uint8_t>(bank & 7);
  const int first = QueueRuntime(CMD_BANK, argument);
  transport_.Pause(RUNTIME_PAUSE_MS);
  const int second = QueueRuntime(CMD_BANK, argument);
  return first == 0 || second == 0 ? 0 : -1;
}

int FlashProtocol::TxMsFlash() {
  const int result = QueueRuntime(CMD_FLASH, 0);
  if (result == 0) transport_.RequestRingFlush();
  transport_.Pause(settings_.flashPauseMs);
  transport_.RequestRingFlush();
  if (settings_.flashSecondPauseMs > 0) transport_.Pause(settings_.flashSecondPauseMs);
  return result;
}

int FlashProtocol::TxSlInfo() {
  auto payload = BlankLoaderPayload();
  payload[1] = static_cast<std::uint8_t>(currentBank);
  payload[2] = infoBytes[0];
  payload[3] = infoBytes[1];
  payload[4] = infoBytes[2];
  payload[5] = InfoByteFromP(p);
  if (Exchange(SL_INFO, payload.data()) != 0) return -1;
  return answer.type == ANSWER_ACK && answer.ackCommand == SL_INFO && answer.infoEcho == infoBytes[1] ? 0 : -1;
}

int FlashProtocol::TxSlRequestCal() {
  auto payload = BlankLoaderPayload();
  payload[0] = static_cast<std::uint8_t>(currentBank);
  if (Exchange(SL_REQUEST_CAL, payload.data()) != 0) return -1;
  return answer.type == ANSWER_CALIBRATION && answer.bank == currentBank ? 0 : -1;
}

int FlashProtocol::TxSlReqstPage() {
  auto payload = BlankLoaderPayload();
  payload[0] = static_cast<std::uint8_t>(currentPage);
  if (Exchange(SL_REQUEST_PAGE, payload.data()) != 0) return -1;
  return answer.type == ANSWER_PAGE && answer.page == currentPage ? 0 : -1;
}

int FlashProtocol::TxSlRequestBin() {
  auto payload = BlankLoaderPayload();
  payload[0] = static_cast<std::uint8_t>(currentBank);
  if (Exchange(SL_REQUEST_BIN, payload.data()) != 0) return -1;
  return answer.type == ANSWER_WHOLE_BANK && answer.bank == currentBank ? 0 : -1;
}

int FlashProtocol::TxSlStop(int awaitAnswer) {
  auto payload = BlankLoaderPayload();
  if (QueueLoader(SL_STOP, payload.data()) != 0) return -1;
  if (!awaitAnswer) return 0;
  if (ReceiveAnswer() != 0) return -1;
  return answer.type == ANSWER_ACK && answer.ackCommand == SL_STOP ? 0 : -1;
}

int FlashProtocol::TxSlReqstVersion() {
  auto payload = BlankLoaderPayload();
  if (Exchange(SL_REQUEST_VERSION, payload.data()) != 0) return -1;
  return answer.type == ANSWER_VERSION ? 0 : -1;
}

int FlashProtocol::TxSlEraseSector(int sector) {
  auto payload = BlankLoaderPayload();
  payload[0] = static_cast<std::uint8_t>(sector);
  std::memcpy(&payload[1], ERASE_SECTOR_TEXT, 16);
  payload[17] = 0x00;
  if (Exchange(SL_ERASE_SECTOR, payload.data()) != 0) return -1;
  return answer.type == ANSWER_ACK && answer.ackCommand == SL_ERASE_SECTOR ? 0 : -1;
}

int FlashProtocol::TxSlPgmPage(const std::uint8_t* data) {
  auto payload = BlankLoaderPayload();
  payload[0] = static_cast<std::uint8_t>(currentPage);
  std::memcpy(&payload[1], data, PAGE_SIZE);
  if (Exchange(SL_PROGRAM_PAGE, payload.data()) != 0) return -1;
  return answer.type == ANSWER_ACK && answer.ackCommand == SL_PROGRAM_PAGE && answer.bank == currentBank &&
                 answer.page == currentPage
             ? 0
             : -1;
}

bool FlashProtocol::SstChip() const {
  return std::memcmp(&answer.buffer[SST_NAME_OFFSET], SST_NAME, 4) == 0;
}

bool FlashProtocol::WaitBytes(int count, int limit, int pauseMs) {
  const std::uint32_t start = transport_.FlashTicks();
  while (transport_.RingCount() < count) {
    if (transport_.FlashTicks() - start > static_cast<std::uint32_t>(limit)) return false;
    transport_.WaitForBytes(count, pauseMs);
  }
  return true;
}

int FlashProtocol::ReceiveAnswer() {
  const std::uint32_t t0 = transport_.FlashTicks();
  for (;;) {
    if (transport_.FlashTicks() - t0 > static_cast<std::uint32_t>(settings_.overallLimit))
      return Fail(RX_STREAMING_FAILURE);
    if (!WaitBytes(2, settings_.firstBytesLimit, HUNT_POLL_MS)) return Fail(RX_TIMEOUT_1);

    if (transport_.RingGetByte() != LOADER_LEAD) continue;
    // 53 53: the second may be the real lead.
    if (transport_.RingPeekByte() == LOADER_LEAD) continue;
    const int typeByte = transport_.RingGetByte();
    const AnswerType* type = typeByte < 0 ? nullptr : FindAnswerType(static_cast<std::uint8_t>(typeByte));
    if (type == nullptr) continue;

    unsigned sum = LOADER_LEAD + type->type;
    const int length = type->totalLength - 4;
    for (int i = 0; i < length; ++i) {
      if (!WaitBytes(1, settings_.byteLimit, BYTE_POLL_MS)) return Fail(RX_TIMEOUT_2);
      const std::uint8_t byte = static_cast<std::uint8_t>(transport_.RingGetByte());
      answer.buffer[static_cast<std::size_t>(i)] = byte;
      sum += byte;
    }

    if (!WaitBytes(2, settings_.checksumLimit, BYTE_POLL_MS)) return Fail(RX_TIMEOUT_3);
    const int high = transport_.RingGetByte();
    const int low = transport_.RingGetByte();
    if (((high << 8) | low) != static_cast<int>(sum & 0xFFFF)) return Fail(RX_CHECKSUM_FAILURE);

    answer.type = type->type;
    const std::uint8_t* payload = answer.buffer.data();
    switch (type->type) {
      case ANSWER_ACK:
      case ANSWER_REFUSAL:
        answer.ackCommand = payload[0];
        answer.bank = payload[1];
        answer.page = payload[2];
        answer.status3 = payload[3];
        answer.infoEcho = payload[4];
        answer.status5 = payload[5];
        break;
      case ANSWER_PAGE:
        answer.page = payload[0];
        break;
      case ANSWER_CALIBRATION:
      case ANSWER_WHOLE_BANK:
        answer.bank = payload[0];
        break;
      default:
        break;  // Version: its text stays in the buffer
    }
    return 0;
  }
}

}  // namespace zrm
