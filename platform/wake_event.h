// A signal one thread raises to end another's wait early: the CommThread
// sleeps on it (and on its port) until there is something to do.
//
// A signal raised while nobody waits is kept for the next wait; several
// signals before a wait count as one.
#pragma once

#include <cstdint>

namespace zrm {

class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Any thread.
  void Signal();
  // Waits up to timeoutMs (0: only looks). True when a signal was taken.
  bool Wait(int timeoutMs);
  // Takes a pending signal without waiting; true when there was one.
  bool Take() { return Wait(0); }

  // What a port's wait adds to its own: the read end of a pipe on POSIX, an
  // event HANDLE on Win32.
  std::intptr_t NativeHandle() const { return handle_; }

 private:
  std::intptr_t handle_ = -1;
  std::intptr_t writeEnd_ = -1;  // POSIX only
};

}  // namespace zrm
