// termios backend of the serial port.
//
// The line is set raw at 57600 8N1 with no flow control; DTR and RTS are
// raised and held on. The descriptor is non-blocking with VMIN 1, so a read
// with nothing waiting fails with EAGAIN while a hang-up (adapter unplugged,
// the far end of a pseudo-terminal gone) reads as end of file or EIO: the two
// cases stay apart.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/serial_port.h"

namespace zrm {
namespace {

class PosixSerialPort final : public SerialPort {
 public:
  ~PosixSerialPort() override { Close(); }

  int Open(const std::string& devicePath, const SerialOptions& options) override {
    (void)options;  // the kernel sizes its own queues
    Close();
    // Only a terminal is a port: a regular file, a folder or a FIFO named by
    // mistake is never opened, let alone read as the stream and written to.
    if (IsNonDevicePath(devicePath)) {
      errno = ENOTTY;
      return -1;
    }
    fd_ = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return -1;
    if (!isatty(fd_)) {  // a character device that is no terminal (/dev/null, /dev/zero)
      ::close(fd_);
      fd_ = -1;
      errno = ENOTTY;
      return -1;
    }
    // No sharing: a second program on the same port would steal bytes.
    if (isatty(fd_)) ::ioctl(fd_, TIOCEXCL);
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return -1;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return -1;
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIS, &lines);  // not every device has modem lines
    tcflush(fd_, TCIOFLUSH);
    return 0;
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    taken_ = pending_ = 0;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  // One byte per call as the link wants it, but taken from the driver in
  // chunks: at line speed several bytes arrive between two polls, and one
  // system call for all of them keeps the CommThread's load low.
  int ReadByte(std::uint8_t* byte) override {
    if (fd_ < 0) return -1;
    if (pending_ == taken_) {
      taken_ = pending_ = 0;
      for (;;) {
        ssize_t n = ::read(fd_, chunk_, sizeof chunk_);
        if (n > 0) {
          pending_ = static_cast<std::size_t>(n);
          break;
        }
        if (n == 0) return -1;  // hang-up
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
      }
    }
    *byte = chunk_[taken_++];
    return 1;
  }

  int WaitReadable(int timeoutMs, WakeEvent& wake) override {
    if (fd_ < 0 || taken_ < pending_) return 1;  // a closed port's read reports it
    pollfd p[2] = {{fd_, POLLIN, 0}, {static_cast<int>(wake.NativeHandle()), POLLIN, 0}};
    int n = ::poll(p, 2, timeoutMs < 0 ? 0 : timeoutMs);
    if (n < 0) return errno == EINTR ? 0 : 1;  // let the read find the fault
    if (p[1].revents != 0) wake.Take();
    // POLLHUP and POLLERR count: the read then reports the hang-up.
    return p[0].revents != 0 ? 1 : 0;
  }

  int Write(const std::uint8_t* bytes, std::size_t length) override {
    if (fd_ < 0) return -1;
    std::size_t done = 0;
    int stalls = 0;
    while (done < length) {
      ssize_t n = ::write(fd_, bytes + done, length - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        stalls = 0;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ++stalls < 1000) {
        usleep(1000);  // output queue full: a packet is at most 256 bytes, it drains
        continue;
      }
      return -1;
    }
    return 0;
  }

 private:
  int fd_ = -1;
  std::uint8_t chunk_[256];
  std::size_t taken_ = 0;
  std::size_t pending_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> CreateSerialPort() { return std::make_unique<PosixSerialPort>(); }

bool IsNonDevicePath(const std::string& devicePath) {
  struct stat st {};
  if (::stat(devicePath.c_str(), &st) != 0) return false;  // absent: it may yet appear
  return !S_ISCHR(st.st_mode);
}

std::string SerialDevicePath(const std::string& portName) {
  if (!portName.empty() && portName[0] == '/') return portName;
  // A bare name stays inside /dev: "../home/x" names no device.
  for (std::size_t start = 0; start <= portName.size();) {
    std::size_t end = portName.find('/', start);
    if (end == std::string::npos) end = portName.size();
    if (portName.compare(start, end - start, "..") == 0) return std::string();
    start = end + 1;
  }
  if (portName.size() > 3 && portName.compare(0, 3, "COM") == 0) {
    const char* digits = portName.c_str() + 3;
    char* end = nullptr;
    long n = std::strtol(digits, &end, 10);
    if (*end == '\0' && n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return "/dev/" + portName;
}

std::vector<std::string> ListSerialDevices() {
  std::vector<std::string> found;
  DIR* dir = ::opendir("/dev");
  if (!dir) return found;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyAMA", "rfcomm"}) {
      if (name.rfind(prefix, 0) == 0) found.push_back("/dev/" + name);
    }
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace zrm
