// Pseudo-terminal master for the simulated ECM.
//
// Linux behaviour this relies on: while no process holds the slave open, poll
// on the master reports POLLHUP at once and read fails with EIO, yet writes are
// still taken and queued for whoever opens the slave next. So the slave is
// opened once at creation (to make it raw) and closed again, which leaves the
// master in the hung-up state until a client arrives, and callers test for a
// client before writing.
#include "platform/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace zrm {

namespace {

constexpr int kHangupSleepStepMs = 25;  // no client: 40 looks a second

// Opens the slave, makes it raw at line speed and closes it again; the
// terminal keeps the settings for every later open.
int MakeSlaveRaw(const std::string& slavePath) {
  int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  termios tio{};
  int result = -1;
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    result = ::tcsetattr(fd, TCSANOW, &tio);
  }
  ::close(fd);
  return result == 0 ? 0 : -1;
}

bool IsOurLink(const std::string& linkPath, const std::string& target) {
  char buffer[4096];
  ssize_t n = ::readlink(linkPath.c_str(), buffer, sizeof buffer - 1);
  if (n < 0) return false;
  buffer[n] = '\0';
  return target == buffer;
}

// Points linkPath at target; a stale link is replaced in one rename so a
// client never finds the path missing or half made.
int PlaceLink(const std::string& linkPath, const std::string& target) {
  struct stat st {};
  if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) return -1;
  std::string temporary = linkPath + ".new" + std::to_string(::getpid());
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0) return -1;
  if (::rename(temporary.c_str(), linkPath.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return -1;
  }
  return 0;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() { Close(); }

int PseudoTerminal::Open(const std::string& linkPath) {
  Close();
  int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  const char* name = nullptr;
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || (name = ::ptsname(fd)) == nullptr) {
    ::close(fd);
    return -1;
  }
  std::string slave = name;
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || MakeSlaveRaw(slave) != 0 ||
      PlaceLink(linkPath, slave) != 0) {
    ::close(fd);
    return -1;
  }
  master_ = fd;
  slavePath_ = slave;
  linkPath_ = linkPath;
  return 0;
}

void PseudoTerminal::Close() {
  if (master_ < 0) return;
  // Another simulator may have taken the path over since; leave its link.
  if (IsOurLink(linkPath_, slavePath_)) ::unlink(linkPath_.c_str());
  ::close(master_);
  master_ = -1;
  slavePath_.clear();
  linkPath_.clear();
}

bool PseudoTerminal::ClientConnected() const {
  if (master_ < 0) return false;
  pollfd p{master_, POLLIN, 0};
  if (::poll(&p, 1, 0) < 0) return false;
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

int PseudoTerminal::WaitInput(int timeoutMs) const {
  if (master_ < 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    int wait = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    pollfd p{master_, POLLIN, 0};
    int n = ::poll(&p, 1, wait);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return 0;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return (p.revents & POLLIN) ? 1 : 0;
    // Hung up: poll would return at once again, so sleep instead.
    if (wait == 0) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(wait, kHangupSleepStepMs)));
    if (std::chrono::steady_clock::now() >= deadline) return ClientConnected() ? 0 : -1;
  }
}

int PseudoTerminal::Read(std::uint8_t* buffer, std::size_t capacity) {
  if (master_ < 0) return -1;
  for (;;) {
    ssize_t n = ::read(master_, buffer, capacity);
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return -1;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;  // EIO: no client
  }
}

int PseudoTerminal::Write(const std::uint8_t* bytes, std::size_t length) {
  if (master_ < 0) return -1;
  for (;;) {
    ssize_t n = ::write(master_, bytes, length);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

void PseudoTerminal::DiscardUnread() {
  if (master_ < 0) return;
  // Flushing from the master side does not reach the slave's input queue;
  // only a flush on the slave does.
  int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return;
  ::tcflush(fd, TCIFLUSH);
  ::close(fd);
}

}  // namespace zrm
