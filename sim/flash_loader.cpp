#include "sim/flash_loader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zrm::sim {

namespace {

constexpr std::uint8_t LEAD = 0x53;
constexpr std::size_t PACKET_SIZE = 133;
constexpr std::size_t PAYLOAD_OFFSET = 2;

constexpr std::uint8_t ACK = 0x41;
constexpr std::uint8_t REFUSAL = 0x4E;
constexpr std::uint8_t VERSION = 0x56;
constexpr std::uint8_t PAGE = 0x50;
constexpr std::uint8_t CALIBRATION = 0x43;
constexpr std::uint8_t WHOLE_BANK = 0x42;

constexpr std::uint8_t CMD_INFO = 0;
constexpr std::uint8_t CMD_REQUEST_CAL = 1;
constexpr std::uint8_t CMD_REQUEST_PAGE = 2;
constexpr std::uint8_t CMD_REQUEST_BIN = 3;
constexpr std::uint8_t CMD_STOP = 4;
constexpr std::uint8_t CMD_VERSION = 5;
constexpr std::uint8_t CMD_ERASE = 6;
constexpr std::uint8_t CMD_PROGRAM = 7;

constexpr char ERASE_TEXT[] = " Erase Sector   ";
// Where a read-back fault puts its wrong byte (a data byte of every read-back).
constexpr std::size_t READBACK_FAULT_INDEX = 77;

unsigned Sum(const std::uint8_t* bytes, std::size_t length) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
  return sum & 0xFFFF;
}

struct FaultName {
  const char* name;
  LoaderFaultKind kind;
};

constexpr FaultName FAULT_NAMES[] = {
    {"refuse", LoaderFaultKind::Refuse},     {"checksum", LoaderFaultKind::Checksum},
    {"truncate", LoaderFaultKind::Truncate}, {"silence", LoaderFaultKind::Silence},
    {"readback", LoaderFaultKind::Readback},
};

}  // namespace

bool ParseLoaderFault(const std::string& text, LoaderFault* fault) {
  const std::size_t colon = text.find(':');
  const std::string name = text.substr(0, colon);
  LoaderFault parsed;
  bool known = false;
  for (const FaultName& row : FAULT_NAMES) {
    if (name == row.name) {
      parsed.kind = row.kind;
      known = true;
    }
  }
  if (!known) return false;
  if (colon != std::string::npos) {
    const std::string number = text.substr(colon + 1);
    if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos)
      return false;
    parsed.at = std::atoi(number.c_str());
    if (parsed.at < 1) return false;
  }
  *fault = parsed;
  return true;
}

SimFlashLoader::SimFlashLoader(FlashLoaderOptions options) : options_(std::move(options)), fault_(options_.fault) {
  flash_.reserve(SIM_FLASH_SIZE);
  for (int bank = 0; bank < SIM_BANK_COUNT; ++bank) {
    const std::vector<std::uint8_t> image = FactoryBank(bank);
    flash_.insert(flash_.end(), image.begin(), image.end());
  }
}

std::vector<std::uint8_t> SimFlashLoader::FactoryBank(int bank) {
  std::vector<std::uint8_t> image(SIM_BANK_SIZE);
  for (int i = 0; i < SIM_BANK_SIZE; ++i) image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bank * 31 + i * 7);
  const std::uint16_t id = static_cast<std::uint16_t>(0x2100 + bank);
  image[0] = static_cast<std::uint8_t>(id >> 8);
  image[1] = static_cast<std::uint8_t>(id & 0xFF);
  std::memcpy(&image[2], "ZRMF", 4);
  image[8] = 'V';
  image[9] = 2;
  image[10] = 3;
  const unsigned sum = Sum(&image[8], SIM_SECTOR_SIZE - 8);
  image[6] = static_cast<std::uint8_t>(sum >> 8);
  image[7] = static_cast<std::uint8_t>(sum & 0xFF);
  return image;
}

std::string SimFlashLoader::VersionText(bool sst) {
  std::string text(128, ' ');
  const std::string loader = "ZRM Flash Loader 1.4 (simulated)";
  const std::string chip = "Flash chip:";
  const std::string part = sst ? " SST39SF010A 128K x 8" : " AT29C010A 128K x 8";
  text.replace(0, loader.size(), loader);
  text.replace(56, chip.size(), chip);
  text.replace(67, part.size(), part);
  return text;
}

int SimFlashLoader::Open() {
  std::lock_guard lock(mutex_);
  if (options_.flashFile.empty()) return 0;
  std::FILE* file = std::fopen(options_.flashFile.c_str(), "rb");
  if (file == nullptr) {
    // A new flash file starts with the factory banks.
    file = std::fopen(options_.flashFile.c_str(), "wb");
    if (file == nullptr) return -1;
    const bool written = std::fwrite(flash_.data(), 1, flash_.size(), file) == flash_.size();
    return std::fclose(file) == 0 && written ? 0 : -1;
  }
  std::vector<std::uint8_t> bytes(SIM_FLASH_SIZE + 1);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  if (got != SIM_FLASH_SIZE) return -1;
  bytes.resize(SIM_FLASH_SIZE);
  flash_ = std::move(bytes);
  return 0;
}

int SimFlashLoader::Persist(std::size_t offset, std::size_t length) {
  if (options_.flashFile.empty()) return 0;
  std::FILE* file = std::fopen(options_.flashFile.c_str(), "r+b");
  if (file == nullptr) return -1;
  bool ok = std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
            std::fwrite(&flash_[offset], 1, length, file) == length;
  ok = std::fclose(file) == 0 && ok;
  return ok ? 0 : -1;
}

std::vector<std::uint8_t> SimFlashLoader::Bank(int bank) const {
  std::lock_guard lock(mutex_);
  const auto begin = flash_.begin() + static_cast<std::ptrdiff_t>((bank & 7) * SIM_BANK_SIZE);
  return {begin, begin + SIM_BANK_SIZE};
}

int SimFlashLoader::SetBank(int bank, const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != SIM_BANK_SIZE) return -1;
  std::lock_guard lock(mutex_);
  const std::size_t offset = static_cast<std::size_t>(bank & 7) * SIM_BANK_SIZE;
  std::memcpy(&flash_[offset], bytes.data(), SIM_BANK_SIZE);
  return Persist(offset, SIM_BANK_SIZE);
}

void SimFlashLoader::SetFault(LoaderFault fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
  commandCount_ = 0;
  readbackCount_ = 0;
}

std::vector<LoaderCommand> SimFlashLoader::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

void SimFlashLoader::ClearCommands() {
  std::lock_guard lock(mutex_);
  commands_.clear();
}

int SimFlashLoader::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::uint64_t SimFlashLoader::AnswerBytes() const {
  std::lock_guard lock(mutex_);
  return answerBytes_;
}

void SimFlashLoader::Enter() {
  std::lock_guard lock(mutex_);
  ++entries_;
  input_.clear();
}

bool SimFlashLoader::Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>* reply) {
  std::lock_guard lock(mutex_);
  input_.insert(input_.end(), bytes, bytes + length);
  std::size_t start = 0;
  bool running = true;
  while (running) {
    while (start < input_.size() && input_[start] != LEAD) ++start;
    if (input_.size() - start < PACKET_SIZE) break;
    const std::uint8_t* candidate = &input_[start];
    const unsigned sum = (candidate[PACKET_SIZE - 2] << 8) | candidate[PACKET_SIZE - 1];
    if (candidate[1] > CMD_PROGRAM || Sum(candidate, PACKET_SIZE - 2) != sum) {
      ++start;  // only the lead is given up
      continue;
    }
    running = Execute(candidate, reply);
    start += PACKET_SIZE;
  }
  if (!running) {
    input_.clear();
    return false;
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(start));
  return true;
}

std::vector<std::uint8_t> SimFlashLoader::AckPayload(std::uint8_t code, std::uint8_t bank, std::uint8_t page,
                                                     std::uint8_t echo) {
  std::vector<std::uint8_t> payload(12, 0x20);
  payload[0] = code;
  payload[1] = bank;
  payload[2] = page;
  payload[3] = 0x00;
  payload[4] = echo;
  payload[5] = 0x00;
  return payload;
}

void SimFlashLoader::Answer(std::uint8_t type, const std::vector<std::uint8_t>& payload,
                            std::vector<std::uint8_t>* reply) {
  std::vector<std::uint8_t> frame;
  frame.reserve(payload.size() + 4);
  frame.push_back(LEAD);
  frame.push_back(type);
  frame.insert(frame.end(), payload.begin(), payload.end());
  const unsigned sum = Sum(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(sum >> 8));
  frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));

  const bool faulted = fault_.kind != LoaderFaultKind::None && commandCount_ == fault_.at;
  if (faulted && fault_.kind == LoaderFaultKind::Checksum) frame.back() = static_cast<std::uint8_t>(frame.back() + 1);
  if (faulted && fault_.kind == LoaderFaultKind::Truncate) frame.resize(frame.size() / 2);
  answerBytes_ += frame.size();
  reply->insert(reply->end(), frame.begin(), frame.end());
}

bool SimFlashLoader::Execute(const std::uint8_t* packet, std::vector<std::uint8_t>* reply) {
  const std::uint8_t code = packet[1];
  const std::uint8_t* p = packet + PAYLOAD_OFFSET;
  ++commandCount_;
  commands_.push_back({code, code == CMD_INFO ? p[1] : p[0]});

  const bool faulted = fault_.kind != LoaderFaultKind::None && commandCount_ == fault_.at;
  if (faulted && fault_.kind == LoaderFaultKind::Silence) return true;
  if (faulted && fault_.kind == LoaderFaultKind::Refuse) {
    Answer(REFUSAL, AckPayload(code, static_cast<std::uint8_t>(currentBank_), 0, infoEcho_), reply);
    return true;
  }

  // A read-back answer: the fault may spoil one data byte, its sum kept right.
  auto readback = [&](std::uint8_t type, std::vector<std::uint8_t> payload) {
    ++readbackCount_;
    if (fault_.kind == LoaderFaultKind::Readback && readbackCount_ == fault_.at)
      payload[READBACK_FAULT_INDEX] = static_cast<std::uint8_t>(payload[READBACK_FAULT_INDEX] ^ 0x5A);
    Answer(type, payload, reply);
  };
  const std::uint8_t bank = static_cast<std::uint8_t>(currentBank_);
  const std::size_t bankOffset = static_cast<std::size_t>(currentBank_) * SIM_BANK_SIZE;

  switch (code) {
    case CMD_INFO:
      currentBank_ = p[1] & 7;
      infoEcho_ = p[3];
      Answer(ACK, AckPayload(CMD_INFO, static_cast<std::uint8_t>(currentBank_), 0, infoEcho_), reply);
      return true;
    case CMD_REQUEST_CAL:
    case CMD_REQUEST_BIN: {
      const int requested = p[0] & 7;
      const std::size_t size = code == CMD_REQUEST_CAL ? SIM_SECTOR_SIZE : SIM_BANK_SIZE;
      std::vector<std::uint8_t> payload(size + 1);
      payload[0] = static_cast<std::uint8_t>(requested);
      std::memcpy(&payload[1], &flash_[static_cast<std::size_t>(requested) * SIM_BANK_SIZE], size);
      readback(code == CMD_REQUEST_CAL ? CALIBRATION : WHOLE_BANK, std::move(payload));
      return true;
    }
    case CMD_REQUEST_PAGE: {
      const int page = p[0] & 0x7F;
      std::vector<std::uint8_t> payload(SIM_PAGE_SIZE + 1);
      payload[0] = static_cast<std::uint8_t>(page);
      std::memcpy(&payload[1], &flash_[bankOffset + static_cast<std::size_t>(page) * SIM_PAGE_SIZE], SIM_PAGE_SIZE);
      readback(PAGE, std::move(payload));
      return true;
    }
    case CMD_STOP:
      Answer(ACK, AckPayload(CMD_STOP, bank, 0, infoEcho_), reply);
      return false;
    case CMD_VERSION: {
      const std::string text = VersionText(options_.sst);
      Answer(VERSION, std::vector<std::uint8_t>(text.begin(), text.end()), reply);
      return true;
    }
    case CMD_ERASE: {
      const int sector = p[0];
      if (sector >= SIM_BANK_COUNT * 4 || std::memcmp(&p[1], ERASE_TEXT, 16) != 0 || p[17] != 0x00) {
        Answer(REFUSAL, AckPayload(CMD_ERASE, bank, 0, infoEcho_), reply);
        return true;
      }
      const std::size_t offset = static_cast<std::size_t>(sector) * SIM_SECTOR_SIZE;
      std::memset(&flash_[offset], 0xFF, SIM_SECTOR_SIZE);
      Persist(offset, SIM_SECTOR_SIZE);
      Answer(ACK, AckPayload(CMD_ERASE, static_cast<std::uint8_t>(sector / 4), 0, infoEcho_), reply);
      return true;
    }
    case CMD_PROGRAM: {
      const int page = p[0] & 0x7F;
      const std::size_t offset = bankOffset + static_cast<std::size_t>(page) * SIM_PAGE_SIZE;
      for (int i = 0; i < SIM_PAGE_SIZE; ++i) {
        std::uint8_t& cell = flash_[offset + static_cast<std::size_t>(i)];
        cell = options_.sst ? static_cast<std::uint8_t>(cell & p[1 + i]) : p[1 + i];
      }
      Persist(offset, SIM_PAGE_SIZE);
      Answer(ACK, AckPayload(CMD_PROGRAM, bank, static_cast<std::uint8_t>(page), infoEcho_), reply);
      return true;
    }
    default:
      return true;
  }
}

}  // namespace zrm::sim
