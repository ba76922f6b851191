// The flash loader's answer receiver fed arbitrary bytes as the port would
// feed them: bytes arrive a few at a time while the tick counter runs, so
// every time limit is reached in a bounded number of polls. An accepted
// answer must be one of the six types with a correct sum.
#include <algorithm>
#include <string_view>

#include "flash/flash_protocol.h"
#include "flash/message_window.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace zrm;

class FedTransport : public FlashTransport {
 public:
  FedTransport(const std::uint8_t* data, std::size_t size, std::size_t perPoll)
      : data_(data), size_(size), perPoll_(perPoll) {}
  int QueueTransmit(const std::uint8_t*, int) override { return 0; }
  int RingCount() override { return static_cast<int>(arrived_ - pos_); }
  int RingGetByte() override { return pos_ < arrived_ ? data_[pos_++] : -1; }
  int RingPeekByte() override { return pos_ < arrived_ ? data_[pos_] : -1; }
  void RequestRingFlush() override { pos_ = arrived_; }
  std::uint32_t FlashTicks() override { return ticks_; }
  void Pause(int) override {
    // Time passes only while the receiver waits; the line delivers meanwhile.
    ++ticks_;
    arrived_ = std::min(size_, arrived_ + perPoll_);
  }
  std::size_t Consumed() const { return pos_; }
  std::size_t Arrived() const { return arrived_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t perPoll_;
  std::size_t pos_ = 0;
  std::size_t arrived_ = 0;
  std::uint32_t ticks_ = 0;
};

class Lines : public MessageSink {
 public:
  int LogMessage(Colour, std::string_view) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte sets how fast the line delivers, the rest is the line.
  const std::size_t perPoll = 1 + data[0] * 67;
  FedTransport line(data + 1, size - 1, perPoll);
  Lines lines;
  FlashProtocol protocol(line, FlashProtocolSettings::Vistrel(), &lines);
  for (int answers = 0; answers < 64; ++answers) {
    const std::size_t before = line.Consumed();
    const int result = protocol.ReceiveAnswer();
    zrm::fuzz::Check(result == 0 || result == -1, "the receiver answers 0 or -1");
    if (result == -1) break;
    const AnswerType* type = FindAnswerType(protocol.answer.type);
    zrm::fuzz::Check(type != nullptr, "an accepted answer has a known type");
    zrm::fuzz::Check(line.Consumed() - before >= static_cast<std::size_t>(type->totalLength),
                     "an accepted answer took its whole length from the line");
  }
  return 0;
}
