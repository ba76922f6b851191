#include "link/serial_link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "link/runtime_packet.h"
#include "platform/clock.h"

namespace zrm {

namespace {
// About 44 ms of line: however fast bytes come, requests are served between bursts.
constexpr int MAX_BYTES_PER_PASS = 256;
}  // namespace

SerialLink::SerialLink(LinkSettings settings, std::unique_ptr<SerialPort> port)
    : localTime(LocalTimeText), settings_(settings), port_(std::move(port)) {}

SerialLink::~SerialLink() { Stop(); }

int SerialLink::Start() {
  if (thread_.joinable()) return 0;
  stopping_.store(false);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return -1;  // the system has no thread to give
  }
  return 0;
}

void SerialLink::Stop() {
  stopping_.store(true);
  wake_.Signal();
  CancelRingWaits();
  if (thread_.joinable()) thread_.join();
  if (port_->IsOpen()) port_->Close();
  portOpen_.store(false);
  portRunning_.store(false);
}

std::string SerialLink::PortName() const {
  std::lock_guard<std::mutex> lock(nameMutex_);
  return portName_;
}

int SerialLink::RequestPort(int code, const char* name) {
  if (code != PORT_OPEN && portOpen_.load(std::memory_order_acquire) && settings_.runtimeStreamCommands) {
    // The stream-off must not be refused by a packet still waiting in the
    // slot: the ECM would stream on into a closed port's next user.
    WaitForTransmitSlot(200);
    TxMsXmit(0);
    WaitForTransmitSlot(100);  // time for the CommThread to send it
  }
  portRunning_.store(false, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(nameMutex_);
    portName_ = name ? SerialDevicePath(name) : std::string();
  }
  portRequest_.store(code, std::memory_order_release);
  portRequestPending_.store(true, std::memory_order_release);
  wake_.Signal();
  return 0;
}

bool SerialLink::WaitForTransmitSlot(int ms) {
  const std::int64_t end = MonotonicMs() + ms;
  while (txLength_.load(std::memory_order_acquire) != 0) {
    if (!portRunning_.load(std::memory_order_acquire) || MonotonicMs() >= end) return false;
    SleepMs(1);
  }
  return true;
}

int SerialLink::QueueTransmit(const std::uint8_t* bytes, int length) {
  if (!portRunning_.load(std::memory_order_acquire)) return -1;
  if (txLength_.load(std::memory_order_acquire) != 0) return -1;
  if (length < 0 || length > TX_SLOT_SIZE) return -1;
  std::memcpy(txBuffer_, bytes, static_cast<std::size_t>(length));
  txLength_.store(length, std::memory_order_release);
  wake_.Signal();
  return 0;
}

int SerialLink::TxMsXmit(int on) {
  RuntimePacket packet = BuildRuntimePacket(CMD_XMIT, static_cast<std::uint8_t>(on & 1));
  int result = QueueTransmit(packet.data(), RUNTIME_PACKET_SIZE);
  if ((on & 1) == 0) {
    SleepMs(60);
    RequestRingFlush();
  }
  return result;
}

int SerialLink::SetLogStream(int enable, std::FILE* stream, int waitMs) {
  // Polled rather than a timed lock: the wait is short and rare, and every
  // checker of lock order sees a plain mutex.
  std::unique_lock<std::mutex> lock(logMutex_, std::defer_lock);
  const std::int64_t end = MonotonicMs() + waitMs;
  bool handedOver = lock.try_lock();
  while (!handedOver && MonotonicMs() < end) {
    SleepMs(1);
    handedOver = lock.try_lock();
  }
  // Without the lock the words are set all the same: the stuck write is the
  // last one the old stream gets.
  logStream_.store(stream, std::memory_order_release);
  markCounter_.store(0, std::memory_order_release);
  logPaused_.store(false, std::memory_order_release);
  logEnabled_.store(enable != 0, std::memory_order_release);
  return handedOver ? 0 : -1;
}

int SerialLink::SetLogPaused(int flag) { return logPaused_.exchange(flag != 0) ? 1 : 0; }

void SerialLink::RequestLogTimeStamp() {
  logPaused_.store(false, std::memory_order_release);
  timeStampRequest_.store(true, std::memory_order_release);
  wake_.Signal();
}

void SerialLink::RequestLogMarker() {
  logPaused_.store(false, std::memory_order_release);
  markerRequest_.store(true, std::memory_order_release);
  wake_.Signal();
}

bool SerialLink::WaitForRingCount(int count, int timeoutMs) {
  if (ring_.Count() >= count) return true;
  std::unique_lock<std::mutex> lock(ringWaitMutex_);
  const std::uint64_t cancels = ringWaitCancels_;
  ringWanted_.store(count, std::memory_order_relaxed);
  // A reader that needs bytes sooner than the CommThread's next look at the
  // port (a flash answer's first byte) has it look now.
  if (count - ring_.Count() < LINK_BATCH_MS * LINE_BYTES_PER_SECOND / 1000) wake_.Signal();
  ringWaitCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                       [&] { return ring_.Count() >= count || ringWaitCancels_ != cancels; });
  ringWanted_.store(0, std::memory_order_relaxed);
  return ring_.Count() >= count;
}

void SerialLink::CancelRingWaits() {
  {
    std::lock_guard<std::mutex> lock(ringWaitMutex_);
    ++ringWaitCancels_;
  }
  ringWaitCv_.notify_all();
}

void SerialLink::NotifyRingWaiters() {
  // Looked at under the lock: a reader between its look at the ring and its
  // wait cannot miss the bytes.
  std::lock_guard<std::mutex> lock(ringWaitMutex_);
  const int wanted = ringWanted_.load(std::memory_order_relaxed);
  if (wanted > 0 && ring_.Count() >= wanted) ringWaitCv_.notify_all();
}

bool SerialLink::Sleep(int ms) {
  const bool signalled = wake_.Wait(ms);
  wakeups_.fetch_add(1, std::memory_order_relaxed);
  return signalled;
}

int SerialLink::NextReopenDelay(int delay, const LinkSettings& settings) {
  delay *= 2;
  if (delay > settings.backoffCeilingMs) delay = settings.backoffWraps ? 125 : settings.backoffCeilingMs;
  return delay;
}

bool SerialLink::SleepUnlessStopping(int ms) {
  // Sleeps in small steps so that Stop() is served promptly even mid back-off,
  // and the log's flushes, stamps and markers are served while the port is
  // away: what was received before an outage is on the disk within a second.
  std::int64_t end = MonotonicMs() + ms;
  while (!stopping_.load(std::memory_order_acquire)) {
    ServeLogRequest();
    // A close posted meanwhile (the program's exit) is served now, not after a
    // back-off that may last seconds; another port waits for its turn.
    if (portRequestPending_.load(std::memory_order_acquire) &&
        portRequest_.load(std::memory_order_acquire) == PORT_CLOSE)
      return true;
    std::int64_t left = end - MonotonicMs();
    if (left <= 0) return true;
    Sleep(static_cast<int>(left));  // a request ends it early
  }
  return false;
}

void SerialLink::Run() {
  while (!stopping_.load(std::memory_order_acquire)) {
    if (portRequestPending_.exchange(false, std::memory_order_acq_rel)) {
      // The flag is taken before the request is read: one posted meanwhile
      // leaves it set again and is served on the next pass, never lost.
      lineErrorReopen_ = false;  // the window's request supersedes it
      ServeRequest(portRequest_.load(std::memory_order_acquire));
    } else if (lineErrorReopen_) {
      lineErrorReopen_ = false;
      ServeRequest(PORT_REOPEN);
    }
    // A request posted while the last one was served (a close during a
    // re-open) leaves the port running: it is served next, not after the stream.
    while (portRunning_.load(std::memory_order_acquire) && !stopping_.load(std::memory_order_acquire) &&
           !portRequestPending_.load(std::memory_order_acquire)) {
      if (!Pass()) break;
    }
    if (!portRunning_.load(std::memory_order_acquire)) ServeLogRequest();  // the port is closed or away
    if (!stopping_.load(std::memory_order_acquire) && !lineErrorReopen_ &&
        !portRequestPending_.load(std::memory_order_acquire))
      Sleep(LINK_IDLE_WAIT_MS);  // until a request comes
  }
}

void SerialLink::ServeRequest(int code) {
  if (code == PORT_CLOSE) {
    ClosePort();
    return;
  }
  if (code == PORT_REOPEN) {
    // The request word is the window's alone: a close it posts while this
    // one is served must not be written over.
    ClosePort();
    code = PORT_OPEN;
  }
  if (code != PORT_OPEN) return;
  if (!OpenPort()) {
    reopenDelay_ = 125;
    ReopenPort();
    if (!port_->IsOpen()) return;  // stopped, or a close arrived during the back-off
  }
  portRunning_.store(true, std::memory_order_release);
  if (settings_.runtimeStreamCommands) TxMsXmit(1);
}

bool SerialLink::OpenPort() {
  if (port_->IsOpen()) {
    ClosePort();
    SleepMs(125);
  }
  openAttempts_.fetch_add(1, std::memory_order_acq_rel);
  SerialOptions options{settings_.receiveQueue, settings_.transmitQueue};
  if (port_->Open(PortName(), options) != 0) {
    portOpen_.store(port_->IsOpen(), std::memory_order_release);
    return false;
  }
  portOpen_.store(true, std::memory_order_release);
  if (showPortState) showPortState(1);
  return true;
}

void SerialLink::ClosePort() {
  portRunning_.store(false, std::memory_order_release);
  // A packet meant for this port dies with it; left in the slot it would
  // refuse the next opening's stream-on.
  txLength_.store(0, std::memory_order_release);
  if (port_->IsOpen()) port_->Close();
  portOpen_.store(false, std::memory_order_release);
  if (showPortState) showPortState(0);
}

void SerialLink::ReopenPort() {
  txLength_.store(0, std::memory_order_release);  // nothing queued for the lost port goes to the next
  if (port_->IsOpen()) {
    port_->Close();
    portOpen_.store(false, std::memory_order_release);
  }
  if (!SleepUnlessStopping(125)) return;
  for (;;) {
    if (OpenPort()) return;
    reopenDelay_ = NextReopenDelay(reopenDelay_, settings_);
    if (!SleepUnlessStopping(reopenDelay_)) return;
    // The device opened but could not be set up: stream from it as it is.
    if (port_->IsOpen()) return;
    // A port picked meanwhile is tried on the next attempt; a close ends the
    // retries and is served by the main loop.
    if (portRequestPending_.exchange(false, std::memory_order_acq_rel)) {
      if (portRequest_.load(std::memory_order_acquire) == PORT_CLOSE) {
        portRequestPending_.store(true, std::memory_order_release);  // for the main loop
        return;
      }
    }
  }
}

void SerialLink::PostReopenAfterLineError() {
  // Not running until re-opened, so nothing is queued for a dead port meanwhile.
  portRunning_.store(false, std::memory_order_release);
  // The bytes received up to the hang-up go to the disk now, not after the outage.
  RequestLogFlush();
  ServeLogRequest();
  // A flag of the CommThread's own: the request word belongs to the window,
  // and a close it posts now must win over this re-open.
  lineErrorReopen_ = true;
}

void SerialLink::LogWriteFailed() {
  logEnabled_.store(false, std::memory_order_release);
  if (reportLogWriteError) reportLogWriteError();
}

void SerialLink::ServeLogRequest() {
  if (!timeStampRequest_.load(std::memory_order_acquire) && !markerRequest_.load(std::memory_order_acquire) &&
      !flushRequest_.load(std::memory_order_acquire))
    return;
  if (!WriteLogRequest() && logEnabled_.load(std::memory_order_acquire)) LogWriteFailed();
}

bool SerialLink::WriteLogRequest() {
  // Each request is taken before it is served, so one made again while the
  // text is being written and flushed is kept for the next pass.
  std::lock_guard<std::mutex> lock(logMutex_);
  std::FILE* stream = logStream_.load(std::memory_order_acquire);
  if (timeStampRequest_.exchange(false, std::memory_order_acq_rel)) {
    if (!stream) return true;
    std::string text = "TIME: " + localTime();
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
  }
  if (markerRequest_.exchange(false, std::memory_order_acq_rel)) {
    if (!stream) return true;
    // The reader takes exactly three digits after MARK, so the number wraps
    // at 1000 instead of growing a fourth digit into the stream.
    char mark[16];
    std::snprintf(mark, sizeof mark, "MARK%03d", markCounter_.fetch_add(1) % 1000);
    std::string text = std::string(mark) + "TIME: " + localTime();
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
  }
  if (flushRequest_.exchange(false, std::memory_order_acq_rel)) return !stream || std::fflush(stream) == 0;
  return true;
}

bool SerialLink::Pass() {
  ServeLogRequest();

  int length = txLength_.load(std::memory_order_acquire);
  if (length != 0) {
    int result = port_->Write(txBuffer_, static_cast<std::size_t>(length));
    txLength_.store(0, std::memory_order_release);
    if (result != 0) {
      PostReopenAfterLineError();
      return false;
    }
  }

  if (ringFlushRequest_.load(std::memory_order_acquire)) {
    ring_.Flush();
    ringFlushRequest_.store(false, std::memory_order_release);
  }

  // Everything that has arrived, up to a bound so that requests are served
  // between two reads however fast bytes come.
  int received = 0;
  int got = 0;
  std::uint8_t byte = 0;
  while (received < MAX_BYTES_PER_PASS && (got = port_->ReadByte(&byte)) == 1) {
    ++received;
    if (logEnabled_.load(std::memory_order_acquire) && !logPaused_.load(std::memory_order_acquire)) {
      bool failed = false;
      {
        std::lock_guard<std::mutex> lock(logMutex_);
        // Looked at again under the lock: the log may have been handed back meanwhile.
        std::FILE* stream = logStream_.load(std::memory_order_acquire);
        if (logEnabled_.load(std::memory_order_acquire))
          failed = stream == nullptr || std::fputc(byte, stream) == EOF;
      }
      if (failed) LogWriteFailed();
    }
    ring_.Put(byte);
  }
  if (received > 0) NotifyRingWaiters();
  if (got < 0) {
    PostReopenAfterLineError();
    return false;
  }
  if (received < MAX_BYTES_PER_PASS) WaitForLine();
  return true;
}

void SerialLink::WaitForLine() {
  if (!portRunning_.load(std::memory_order_acquire) || stopping_.load(std::memory_order_acquire)) return;
  // A reader that needs n more bytes has them no sooner than n byte times
  // from now; with no reader waiting the bytes are taken in batches.
  const int wanted = ringWanted_.load(std::memory_order_relaxed);
  const int batch = LINK_BATCH_MS * LINE_BYTES_PER_SECOND / 1000;
  const int need = wanted > 0 ? std::min(wanted - ring_.Count(), batch) : batch;
  if (need > 1) {
    const int ms = (need - 1) * 1000 / LINE_BYTES_PER_SECOND;
    if (ms > 0 && Sleep(ms)) return;  // a request came: serve it first
  }
  port_->WaitReadable(LINK_IDLE_WAIT_MS, wake_);
  wakeups_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace zrm
