// The serial link: the CommThread that owns the port, the StreamRing it fills,
// the single transmit slot, and the data-log hooks.
//
// Everything between threads is a request word or flag that the CommThread
// serves between reads: the window thread posts port requests, queues packets
// and asks for log time stamps and markers, and raises the link's wake event,
// so the CommThread can sleep on its port until bytes arrive or a request
// comes. A received byte goes to the open data log before the ring, so the log
// holds the raw stream exactly, with the time-stamp and marker texts between
// bytes.
//
// The ring's reader (the DisplayThread, the flash protocol) says how many
// bytes it needs and sleeps until they are there. Bytes come no faster than
// the line brings them (5760 a second), so the CommThread, knowing what the
// reader still needs, sleeps that long before it looks at the port again:
// fewer wake-ups at no cost in time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/stream_ring.h"
#include "platform/serial_port.h"
#include "platform/wake_event.h"

namespace zrm {

constexpr int PORT_CLOSE = 0;
constexpr int PORT_OPEN = 1;
constexpr int PORT_REOPEN = 99;

constexpr int TX_SLOT_SIZE = 256;

constexpr int LINE_BYTES_PER_SECOND = 5760;  // 57600 baud, 10 bits a byte
// The longest the CommThread leaves arrived bytes in the driver: the log and
// the ring get them at least this often while the line streams.
constexpr int LINK_BATCH_MS = 20;
// How long the CommThread sleeps on a silent port or a closed one before it
// looks again on its own; every request wakes it at once.
constexpr int LINK_IDLE_WAIT_MS = 1000;

// What differs between the link of vistrel and that of the update utility.
struct LinkSettings {
  int receiveQueue = 8192;
  int transmitQueue = 1024;
  // Stream off (and a 100 ms pause) before a close or re-open, stream on after
  // every open.
  bool runtimeStreamCommands = true;
  // Back-off between failed opens: doubled from 125 ms up to the ceiling, where
  // it stays, or from where it starts again at 125 ms when wrapping.
  int backoffCeilingMs = 5000;
  bool backoffWraps = false;

  static LinkSettings Vistrel() { return {}; }
  static LinkSettings FlashUpdate() { return {4096, 1024, false, 8000, true}; }
};

class SerialLink {
 public:
  explicit SerialLink(LinkSettings settings = LinkSettings::Vistrel(),
                      std::unique_ptr<SerialPort> port = CreateSerialPort());
  ~SerialLink();
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Calls out, set before Start(). ShowPortState runs on the CommThread after
  // every open and close; ReportLogWriteError when a log write fails there;
  // LocalTime gives the text of log stamps.
  std::function<void(int open)> showPortState;
  std::function<void()> reportLogWriteError;
  std::function<std::string()> localTime;

  // Starts the CommThread; it runs until Stop() or destruction. 0, or -1 when
  // the thread cannot be created.
  int Start();
  // Ends the CommThread and closes the port without any message to the ECM.
  void Stop();

  // Window thread. Posts PORT_CLOSE, PORT_OPEN or PORT_REOPEN with a port name
  // ("COM3", a device path) or none (nullptr keeps no name). Before a close or
  // re-open of an open port the ECM is told to stop streaming. Returns 0.
  int RequestPort(int code, const char* name);

  // 0 when queued, -1 when refused: port not running, a packet still waiting,
  // or more than 256 bytes.
  int QueueTransmit(const std::uint8_t* bytes, int length);
  // Waits until the slot is empty (the CommThread took the packet), at most
  // `ms` and only while the port runs. True when it is empty.
  bool WaitForTransmitSlot(int ms);

  int RingCount() const { return ring_.Count(); }
  int RingGetByte() { return ring_.GetByte(); }
  int RingPeekByte() const { return ring_.PeekByte(); }
  // Block access for the frame reader (StreamRing::PeekBlock, ConsumeBlock).
  int RingPeekBlock(std::uint8_t* out, int max, std::uint64_t* seen) const { return ring_.PeekBlock(out, max, seen); }
  bool RingConsumeBlock(int n, std::uint64_t seen) { return ring_.ConsumeBlock(n, seen); }
  void RequestRingFlush() {
    ringFlushRequest_.store(true, std::memory_order_release);
    wake_.Signal();
  }
  // The ring's reader (one at a time): waits until the ring holds `count`
  // bytes, at most timeoutMs, or until CancelRingWaits(). True when it does.
  bool WaitForRingCount(int count, int timeoutMs);
  // Ends every ring wait in progress now (the reader changes, the program stops).
  void CancelRingWaits();

  // Data-log hooks. The stream belongs to the caller. SetLogStream hands it
  // over under the log lock: once it returns 0 the CommThread neither writes
  // to the old stream nor will again, so the caller may close it. -1 when a
  // write to the old stream has not returned within `waitMs` (an output that
  // blocks: a stalled network or USB disk): the stream is no longer used but
  // must not be closed under that write.
  int SetLogStream(int enable, std::FILE* stream, int waitMs = 2000);
  int SetLogPaused(int flag);
  void RequestLogTimeStamp();
  void RequestLogMarker();
  void RequestLogFlush() {
    flushRequest_.store(true, std::memory_order_release);
    wake_.Signal();
  }
  bool LogEnabled() const { return logEnabled_.load(std::memory_order_acquire); }
  bool LogPaused() const { return logPaused_.load(std::memory_order_acquire); }

  bool PortRunning() const { return portRunning_.load(std::memory_order_acquire); }
  bool PortOpen() const { return portOpen_.load(std::memory_order_acquire); }
  bool RequestPending() const { return portRequestPending_.load(std::memory_order_acquire); }
  std::string PortName() const;

  // Runtime command helper: X with 1 or 0; with 0 it pauses 60 ms and flushes
  // the ring so that stale frames are gone. -1 when the slot refuses it.
  int TxMsXmit(int on);

  std::uint64_t OpenAttempts() const { return openAttempts_.load(std::memory_order_acquire); }
  // Times the CommThread's waits ended (on bytes, a request or their time),
  // for measurements.
  std::uint64_t Wakeups() const { return wakeups_.load(std::memory_order_relaxed); }

  // The back-off after a wait of `delay` ms.
  static int NextReopenDelay(int delay, const LinkSettings& settings);

 private:
  void Run();
  void ServeRequest(int code);
  bool OpenPort();
  void ClosePort();
  void ReopenPort();
  bool Pass();
  void ServeLogRequest();
  bool WriteLogRequest();  // under the log lock; false when a write failed
  void LogWriteFailed();
  void PostReopenAfterLineError();
  bool SleepUnlessStopping(int ms);
  void WaitForLine();
  bool Sleep(int ms);  // on the wake event; true when a signal ended it
  void NotifyRingWaiters();

  const LinkSettings settings_;
  std::unique_ptr<SerialPort> port_;
  StreamRing ring_;

  mutable std::mutex nameMutex_;  // the name is text, not a word
  std::string portName_;

  std::atomic<int> portRequest_{PORT_CLOSE};
  std::atomic<bool> portRequestPending_{false};
  std::atomic<bool> portRunning_{false};
  std::atomic<bool> portOpen_{false};
  int reopenDelay_ = 125;  // CommThread only
  bool lineErrorReopen_ = false;  // CommThread only: a line error asks for a re-open
  std::atomic<std::uint64_t> openAttempts_{0};
  std::atomic<bool> ringFlushRequest_{false};

  std::uint8_t txBuffer_[TX_SLOT_SIZE] = {};
  std::atomic<int> txLength_{0};

  // Held by the CommThread around every write to the log stream, and by
  // SetLogStream around the hand-over.
  std::mutex logMutex_;
  std::atomic<bool> logEnabled_{false};
  std::atomic<std::FILE*> logStream_{nullptr};
  std::atomic<bool> logPaused_{false};
  std::atomic<int> markCounter_{0};
  std::atomic<bool> timeStampRequest_{false};
  std::atomic<bool> markerRequest_{false};
  std::atomic<bool> flushRequest_{false};

  // Raised by every request of another thread; the CommThread sleeps on it.
  WakeEvent wake_;
  std::atomic<std::uint64_t> wakeups_{0};

  // The ring's reader: what it waits for (0: nobody waits), under the mutex.
  std::mutex ringWaitMutex_;
  std::condition_variable ringWaitCv_;
  std::atomic<int> ringWanted_{0};
  std::uint64_t ringWaitCancels_ = 0;

  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace zrm
