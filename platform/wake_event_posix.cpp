// A non-blocking pipe: a signal is a byte in it, a wait is poll() on its read end.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/clock.h"
#include "platform/wake_event.h"

namespace zrm {

WakeEvent::WakeEvent() {
  int ends[2];
  if (::pipe(ends) != 0) std::abort();  // no descriptors left: nothing could run
  for (int fd : ends) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  handle_ = ends[0];
  writeEnd_ = ends[1];
}

WakeEvent::~WakeEvent() {
  ::close(static_cast<int>(handle_));
  ::close(static_cast<int>(writeEnd_));
}

void WakeEvent::Signal() {
  const char one = 1;
  // A full pipe already holds a signal.
  while (::write(static_cast<int>(writeEnd_), &one, 1) < 0 && errno == EINTR) {
  }
}

bool WakeEvent::Wait(int timeoutMs) {
  const std::int64_t end = MonotonicMs() + (timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    char drain[64];
    ssize_t n = ::read(static_cast<int>(handle_), drain, sizeof drain);
    if (n > 0) {
      while (::read(static_cast<int>(handle_), drain, sizeof drain) > 0) {
      }
      return true;
    }
    const std::int64_t left = end - MonotonicMs();
    if (left <= 0) return false;
    pollfd p{static_cast<int>(handle_), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
  }
}

}  // namespace zrm
