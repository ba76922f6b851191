#include "sim/sim_ecm.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

namespace zrm::sim {

namespace {

constexpr std::int64_t kWireBytesPerSecond = 5760;  // 57600 baud, 10 bits a byte
// Paced bytes go out in steps: short ones for the loader's answers, whose
// first byte the host waits for; longer ones for the stream, which nobody
// waits on byte by byte (fewer wake-ups on both sides).
constexpr int kLoaderPacingStepMs = 2;
constexpr int kStreamPacingStepMs = 10;
constexpr std::size_t kUnpacedBacklog = 65536;
constexpr int kIdleWaitMs = 50;
constexpr int kReappearRetryMs = 200;
// Falling further behind than this (the process was stopped) skips frames
// instead of sending a burst.
constexpr std::int64_t kMaxLagUs = 300000;

std::int64_t FrameDueUs(std::uint64_t frame) {
  return static_cast<std::int64_t>(frame * 1000000ull / DRIVE_FRAMES_PER_SECOND);
}

std::int64_t SecondsToUs(double seconds) { return static_cast<std::int64_t>(seconds * 1e6); }

}  // namespace

SimEcm::SimEcm(SimOptions options) : options_(std::move(options)) {}

SimEcm::~SimEcm() { Stop(); }

void SimEcm::SetLoader(std::shared_ptr<LoaderHandler> loader) {
  if (!started_) loader_ = std::move(loader);
}

int SimEcm::Start() {
  if (started_) return -1;
  if (terminal_.Open(options_.linkPath) != 0) return -1;
  linkPresent_ = true;
  appearances_ = 1;
  faults_ = std::make_unique<FaultInjector>(
      options_.seed, FaultOptions{options_.noise, options_.flip, options_.drop, options_.stall});
  nextFrame_ = 0;
  out_.clear();
  outSent_ = 0;
  clientWas_ = false;
  vanished_ = false;
  vanishAtUs_ = options_.vanishAfterSeconds > 0 ? SecondsToUs(options_.vanishAfterSeconds) : -1;
  reappearAtUs_ = -1;
  stop_ = false;
  started_ = true;
  thread_ = std::thread([this] { Run(); });
  return 0;
}

void SimEcm::Stop() {
  if (!started_) return;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  linkPresent_ = false;
  terminal_.Close();
  started_ = false;
}

std::vector<CommandPacket> SimEcm::Packets() const {
  std::lock_guard<std::mutex> lock(recordMutex_);
  return packets_;
}

std::vector<std::uint8_t> SimEcm::ReceivedBytes() const {
  std::lock_guard<std::mutex> lock(recordMutex_);
  return received_;
}

void SimEcm::Obey(const CommandPacket& packet) {
  switch (packet[1]) {
    case COMMAND_XMIT:
      streaming_ = (packet[2] & 1) != 0;
      break;
    case COMMAND_BANK:
      bank_ = packet[2] & 7;
      break;
    case COMMAND_FLASH:
      inLoader_ = true;
      if (loader_) loader_->Enter();
      break;
    default:
      break;  // an unknown command is ignored, as the ECM does
  }
}

void SimEcm::Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>* reply) {
  {
    std::lock_guard<std::mutex> lock(recordMutex_);
    received_.insert(received_.end(), bytes, bytes + length);
  }
  std::size_t i = 0;
  while (i < length) {
    if (inLoader_) {
      // The rest of this read belongs to the loader.
      if (loader_ && !loader_->Receive(bytes + i, length - i, reply)) {
        // The runtime program restarts silent, as the stream was switched
        // off before the loader, until it is told to stream again.
        inLoader_ = false;
        streaming_ = false;
        hunter_.Reset();
      }
      return;
    }
    CommandPacket packet;
    const std::uint64_t badBefore = hunter_.BadSums();
    const bool complete = hunter_.Feed(bytes[i++], &packet);
    badPackets_ += hunter_.BadSums() - badBefore;
    if (!complete) continue;
    {
      std::lock_guard<std::mutex> lock(recordMutex_);
      packets_.push_back(packet);
    }
    Obey(packet);
  }
}

// Closes the terminal when its time has come and opens it again after the
// vanish time. Returns true while the device is gone (after a short sleep).
bool SimEcm::ServeVanish(std::int64_t nowUs) {
  if (!vanished_ && vanishAtUs_ >= 0 && nowUs >= vanishAtUs_) {
    // The flag drops first, so whoever sees the link gone also sees it absent.
    linkPresent_ = false;
    terminal_.Close();
    vanished_ = true;
    vanishAtUs_ = -1;
    reappearAtUs_ = options_.vanishForSeconds > 0 ? nowUs + SecondsToUs(options_.vanishForSeconds) : -1;
    out_.clear();
    outSent_ = 0;
    clientWas_ = false;
    hunter_.Reset();
  }
  if (!vanished_) return false;
  if (reappearAtUs_ >= 0 && nowUs >= reappearAtUs_) {
    if (terminal_.Open(options_.linkPath) == 0) {
      vanished_ = false;
      linkPresent_ = true;
      ++appearances_;
      return false;
    }
    reappearAtUs_ = nowUs + kReappearRetryMs * 1000;
  }
  std::int64_t waitUs = kIdleWaitMs * 1000;
  if (reappearAtUs_ >= 0) waitUs = std::clamp<std::int64_t>(reappearAtUs_ - nowUs, 0, waitUs);
  std::this_thread::sleep_for(std::chrono::microseconds(waitUs));
  return true;
}

// The engine runs on whether or not anyone listens, so the script's frame
// index follows the clock; frames due while the stream is off, stalled or in
// the loader are simply not sent.
void SimEcm::QueueDueFrames(std::int64_t nowUs) {
  if (nowUs - FrameDueUs(nextFrame_) > kMaxLagUs)
    nextFrame_ = static_cast<std::uint64_t>(nowUs) * DRIVE_FRAMES_PER_SECOND / 1000000ull;
  for (; FrameDueUs(nextFrame_) <= nowUs; ++nextFrame_) {
    if (!streaming_ || inLoader_ || faults_->Stalled(nowUs / 1000)) continue;
    Payload payload;
    FillDriveFrame(nextFrame_, options_.seed, bank_, payload);
    std::vector<std::uint8_t> frame = EncodeFrame(payload);
    faults_->Apply(frame);
    Queue(frame, nowUs);
    ++framesSent_;
  }
}

void SimEcm::Queue(const std::vector<std::uint8_t>& bytes, std::int64_t nowUs) {
  if (out_.empty()) paceStartUs_ = nowUs;
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

void SimEcm::WriteOut(std::int64_t nowUs) {
  // A line nobody listens to keeps nothing.
  const bool client = terminal_.ClientConnected();
  if (!client) {
    if (clientWas_) terminal_.DiscardUnread();
    out_.clear();
    outSent_ = 0;
  }
  clientWas_ = client;
  if (outSent_ >= out_.size()) return;

  std::size_t allowed = out_.size() - outSent_;
  if (options_.wireSpeed) {
    const std::int64_t due =
        (nowUs - paceStartUs_) * kWireBytesPerSecond / 1000000 - static_cast<std::int64_t>(outSent_);
    allowed = std::min<std::size_t>(allowed, static_cast<std::size_t>(std::max<std::int64_t>(due, 0)));
  }
  if (allowed > 0) {
    // Bytes the terminal does not take now are lost, as on a line whose
    // receiver is not keeping up. Unpaced, the line is only faster than a
    // real one: what a reading client has not taken yet (a whole-bank
    // answer is 16389 bytes) goes out on the next pass, unless a client
    // that does not read lets it pile up.
    const int written = terminal_.Write(out_.data() + outSent_, allowed);
    if (!options_.wireSpeed && written >= 0 && allowed - static_cast<std::size_t>(written) <= kUnpacedBacklog)
      allowed = static_cast<std::size_t>(written);
    outSent_ += allowed;
  }
  if (outSent_ == out_.size()) {
    out_.clear();
    outSent_ = 0;
  }
}

void SimEcm::ServeInput(int waitMs, const std::function<std::int64_t()>& clockUs) {
  if (terminal_.WaitInput(waitMs) != 1) return;
  std::uint8_t buffer[512];
  const int n = terminal_.Read(buffer, sizeof buffer);
  if (n <= 0) return;
  const std::int64_t nowUs = clockUs();  // after the wait: the bytes came now
  if (options_.wireSpeed) {
    // On a real line these bytes are still arriving: they count from when
    // the line is free, at line speed.
    const std::int64_t from = arriving_.empty() ? nowUs : std::max(nowUs, arriving_.back().first);
    arriving_.emplace_back(from + n * 1000000ll / kWireBytesPerSecond, std::vector<std::uint8_t>(buffer, buffer + n));
    DeliverArrived(nowUs);
    return;
  }
  std::vector<std::uint8_t> reply;
  Receive(buffer, static_cast<std::size_t>(n), &reply);
  if (!reply.empty()) Queue(reply, nowUs);
}

void SimEcm::DeliverArrived(std::int64_t nowUs) {
  while (!arriving_.empty() && arriving_.front().first <= nowUs) {
    std::vector<std::uint8_t> bytes = std::move(arriving_.front().second);
    const std::int64_t arrivedUs = arriving_.front().first;
    arriving_.pop_front();
    std::vector<std::uint8_t> reply;
    Receive(bytes.data(), bytes.size(), &reply);
    if (!reply.empty()) Queue(reply, std::max(arrivedUs, nowUs));
  }
}

void SimEcm::Run() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  auto nowUs = [&] {
    return static_cast<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
  };
  while (!stop_) {
    if (ServeVanish(nowUs())) {
      arriving_.clear();
      continue;
    }
    DeliverArrived(nowUs());
    QueueDueFrames(nowUs());
    WriteOut(nowUs());

    // Sleep in the terminal until the next frame, a pacing step or the
    // vanish time, whichever comes first.
    const std::int64_t now = nowUs();
    std::int64_t waitUs = FrameDueUs(nextFrame_) - now;
    if (!out_.empty())
      waitUs = std::min<std::int64_t>(waitUs, (inLoader_ ? kLoaderPacingStepMs : kStreamPacingStepMs) * 1000);
    if (!arriving_.empty()) waitUs = std::min<std::int64_t>(waitUs, arriving_.front().first - now);
    if (vanishAtUs_ >= 0) waitUs = std::min<std::int64_t>(waitUs, vanishAtUs_ - now);
    waitUs = std::clamp<std::int64_t>(waitUs, 0, kIdleWaitMs * 1000);
    ServeInput(static_cast<int>((waitUs + 999) / 1000), nowUs);
  }
}

}  // namespace zrm::sim
