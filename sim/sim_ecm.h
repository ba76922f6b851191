// The simulated ECM: a pseudo-terminal linked at a stable path that behaves
// as the ECM does on its serial line. It streams runtime frames from the
// drive script (sim/drive_script.h) while the stream is on (it is at power
// up), obeys the runtime commands X (stream on/off), B (active bank) and F
// (enter the flash loader), and can put faults on the line. The script's
// frame n is due n / 17 s after Start, whether or not it is sent, so the
// drive's timeline runs from Start (the engine starts 4 s in).
//
// Like a real line, bytes go out only while a client has the terminal open;
// whatever the client left unread when it closed is thrown away, and a write
// that would block is dropped rather than waited for.
//
// In loader mode the runtime stream is silent and every received byte goes to
// the plugged-in LoaderHandler (none: the ECM stays silent until restarted).
// After the loader stops, the runtime program stays silent until told to
// stream (X 1).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/pty.h"
#include "sim/fault_injector.h"
#include "sim/sim_wire.h"

namespace zrm::sim {

struct SimOptions {
  std::string linkPath = "/tmp/ttyZRM0";
  // Pace bytes at 57600 baud (10 bits a byte: 5760 bytes/s) both ways: what
  // the ECM sends goes out at that speed, and what the host writes is acted
  // on only once the line could have brought it. Otherwise each frame is
  // written at once and the host's bytes are taken as they come.
  bool wireSpeed = false;
  std::uint32_t seed = 1;
  bool noise = false;
  bool flip = false;
  bool drop = false;
  bool stall = false;
  // After this long the terminal closes and the link disappears; 0 never.
  double vanishAfterSeconds = 0;
  // How long it stays gone before coming back at the same link, as when an
  // adapter is plugged in again; 0 = gone until the simulator restarts.
  double vanishForSeconds = 0;
};

// The flash loader's side of the ECM, called on the simulator's thread.
class LoaderHandler {
 public:
  virtual ~LoaderHandler() = default;
  // The ECM has just entered its loader.
  virtual void Enter() = 0;
  // Bytes received in loader mode; answer bytes go into *reply. Returns true
  // to stay in the loader, false when it has stopped and the ECM restarts its
  // runtime program (silent until a stream-on command).
  virtual bool Receive(const std::uint8_t* bytes, std::size_t length,
                       std::vector<std::uint8_t>* reply) = 0;
};

class SimEcm {
 public:
  explicit SimEcm(SimOptions options);
  ~SimEcm();
  SimEcm(const SimEcm&) = delete;
  SimEcm& operator=(const SimEcm&) = delete;

  // Plugs in the loader; call before Start.
  void SetLoader(std::shared_ptr<LoaderHandler> loader);

  // Creates the terminal and its link and starts streaming. Returns 0, or -1
  // when the terminal or the link cannot be made (or it already runs).
  int Start();
  // Stops the thread, closes the terminal and removes the link.
  void Stop();

  const SimOptions& Options() const { return options_; }

  // What the ECM is doing, safe to read from any thread.
  bool Streaming() const { return streaming_.load(); }
  int ActiveBank() const { return bank_.load(); }
  bool InLoader() const { return inLoader_.load(); }
  // Frames put on the line (whether or not a client read them).
  std::uint64_t FramesSent() const { return framesSent_.load(); }
  // The terminal is open and linked (false while vanished).
  bool LinkPresent() const { return linkPresent_.load(); }
  // How many times the terminal has been opened: 1 after Start, one more
  // after every return from a vanish.
  int Appearances() const { return appearances_.load(); }
  // Received packets with a wrong sum.
  std::uint64_t BadPackets() const { return badPackets_.load(); }

  // Every runtime packet with a good sum, in arrival order.
  std::vector<CommandPacket> Packets() const;
  // Every byte received, garbage and loader traffic included.
  std::vector<std::uint8_t> ReceivedBytes() const;

 private:
  void Run();
  bool ServeVanish(std::int64_t nowUs);
  void QueueDueFrames(std::int64_t nowUs);
  void Queue(const std::vector<std::uint8_t>& bytes, std::int64_t nowUs);
  void WriteOut(std::int64_t nowUs);
  void ServeInput(int waitMs, const std::function<std::int64_t()>& clockUs);
  void DeliverArrived(std::int64_t nowUs);
  void Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>* reply);
  void Obey(const CommandPacket& packet);

  SimOptions options_;
  std::shared_ptr<LoaderHandler> loader_;
  PseudoTerminal terminal_;
  CommandHunter hunter_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool started_ = false;

  std::atomic<bool> streaming_{true};
  std::atomic<int> bank_{0};
  std::atomic<bool> inLoader_{false};
  std::atomic<std::uint64_t> framesSent_{0};
  std::atomic<bool> linkPresent_{false};
  std::atomic<int> appearances_{0};
  std::atomic<std::uint64_t> badPackets_{0};

  // The simulator thread's own state.
  std::unique_ptr<FaultInjector> faults_;
  std::uint64_t nextFrame_ = 0;    // the script's frame due next
  std::vector<std::uint8_t> out_;  // bytes waiting for the line
  std::size_t outSent_ = 0;
  std::int64_t paceStartUs_ = 0;   // when the waiting bytes began to go out
  // Host bytes still on the line when paced, each read with the time its last
  // byte arrives.
  std::deque<std::pair<std::int64_t, std::vector<std::uint8_t>>> arriving_;
  bool clientWas_ = false;
  bool vanished_ = false;
  std::int64_t vanishAtUs_ = -1;
  std::int64_t reappearAtUs_ = -1;

  mutable std::mutex recordMutex_;
  std::vector<CommandPacket> packets_;
  std::vector<std::uint8_t> received_;
};

}  // namespace zrm::sim
