// The one serial-port interface the link uses, with a POSIX termios backend and a
// Win32 backend. The port is always 57600 baud, 8N1, raw, no flow control, with
// DTR and RTS held on; reads are non-blocking and take one byte at a time,
// and a wait blocks until bytes arrive, so an idle link costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wake_event.h"

namespace zrm {

struct SerialOptions {
  int receiveQueue = 8192;   // driver input queue requested at open
  int transmitQueue = 1024;  // driver output queue requested at open
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens the device path made by SerialDevicePath(). Returns 0, or -1 when the
  // device cannot be opened. A failure after the device was opened (setting the
  // line up) also returns -1 but leaves the port open, so IsOpen() tells which.
  virtual int Open(const std::string& devicePath, const SerialOptions& options) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // 1 when a byte was read into *byte, 0 when none is waiting, -1 on a line error
  // (device gone, hang-up).
  virtual int ReadByte(std::uint8_t* byte) = 0;

  // Writes all bytes; 0 on success, -1 on failure.
  virtual int Write(const std::uint8_t* bytes, std::size_t length) = 0;

  // Waits up to timeoutMs until the port has something to read (bytes, or a
  // hang-up that the next read reports) or `wake` is signalled. 1 when the
  // port is readable, 0 when the time ran out or the signal ended the wait
  // (the signal is taken). A port that cannot wait looks again after 1 ms.
  virtual int WaitReadable(int timeoutMs, WakeEvent& wake) {
    (void)timeoutMs;
    return wake.Wait(1) ? 0 : 1;
  }
};

// A new, closed port of the platform's backend.
std::unique_ptr<SerialPort> CreateSerialPort();

// The device path a port name opens. "COM12" is \\.\COM12 on Windows and
// /dev/ttyS11 on POSIX; a name that starts with "/" is a device path as it is.
// A bare name never leaves /dev: one with a ".." part gives an empty path,
// which opens nothing.
std::string SerialDevicePath(const std::string& portName);

// True when the path names an existing file that is not a character device
// (a regular file, a folder, a FIFO): it is never opened as a port. Open()
// refuses those and character devices that are not terminals.
bool IsNonDevicePath(const std::string& devicePath);

// Serial devices present on this machine (POSIX: /dev/ttyS*, ttyUSB*, ttyACM*
// that exist); empty on Windows, where the menu lists COM1..COM40.
std::vector<std::string> ListSerialDevices();

}  // namespace zrm
