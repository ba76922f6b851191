// The serial link: the CommThread that owns the port, the StreamRing it fills,
// the single transmit slot, and the data-log hooks.
//
// Everything between threads is a request word or flag, polled by the
// CommThread between single-byte reads (every 1 ms when the line is quiet):
// the window thread posts port requests, queues packets and asks for log time
// stamps and markers; the CommThread serves them. A received byte goes to the
// open data log before the ring, so the log holds the raw stream exactly, with
// the time-stamp and marker texts between bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/stream_ring.h"
#include "platform/serial_port.h"

namespace zrm {

constexpr int PORT_CLOSE = 0;
constexpr int PORT_OPEN = 1;
constexpr int PORT_REOPEN = 99;

constexpr int TX_SLOT_SIZE = 256;

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
  void RequestRingFlush() { ringFlushRequest_.store(true, std::memory_order_release); }

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
  void RequestLogFlush() { flushRequest_.store(true, std::memory_order_release); }
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

  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace zrm
