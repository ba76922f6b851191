// Win32 backend of the serial port: the COM device opened exclusively, raw
// 57600 8N1 with DTR and RTS held on, reads that return at once. The handle is
// overlapped so that a wait for the next byte can also end on the link's wake
// event; reads and writes wait for their own completion.
#include <windows.h>

#include "platform/serial_port.h"

namespace zrm {
namespace {

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort() = default;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;
  ~Win32SerialPort() override {
    Close();
    if (io_.event) CloseHandle(io_.event);
    if (waitIo_.event) CloseHandle(waitIo_.event);
  }

  int Open(const std::string& devicePath, const SerialOptions& options) override {
    Close();
    handle_ = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return -1;
    // Only a character device is a port: a file named by mistake is never
    // read as the stream or written to.
    if (GetFileType(handle_) != FILE_TYPE_CHAR) {
      Close();
      return -1;
    }
    if (!SetCommMask(handle_, EV_RXCHAR)) return -1;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what has arrived
    SetCommTimeouts(handle_, &timeouts);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return -1;
    dcb.BaudRate = 57600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.XonChar = 0;
    dcb.XoffChar = 0;
    dcb.EvtChar = 0;
    if (!SetCommState(handle_, &dcb)) return -1;
    if (!SetupComm(handle_, static_cast<DWORD>(options.receiveQueue), static_cast<DWORD>(options.transmitQueue)))
      return -1;
    return 0;
  }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    taken_ = pending_ = 0;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  // One byte per call, taken from the driver in chunks.
  int ReadByte(std::uint8_t* byte) override {
    if (handle_ == INVALID_HANDLE_VALUE) return -1;
    if (pending_ == taken_) {
      taken_ = pending_ = 0;
      DWORD got = 0;
      if (!Complete(ReadFile(handle_, chunk_, sizeof chunk_, nullptr, Overlapped(io_)), io_, &got)) return -1;
      if (got == 0) return 0;
      pending_ = got;
    }
    *byte = chunk_[taken_++];
    return 1;
  }

  int Write(const std::uint8_t* bytes, std::size_t length) override {
    if (handle_ == INVALID_HANDLE_VALUE) return -1;
    DWORD written = 0;
    if (!Complete(WriteFile(handle_, bytes, static_cast<DWORD>(length), nullptr, Overlapped(io_)), io_, &written))
      return -1;
    return written == length ? 0 : -1;
  }

  int WaitReadable(int timeoutMs, WakeEvent& wake) override {
    if (handle_ == INVALID_HANDLE_VALUE || taken_ < pending_) return 1;  // a closed port's read reports it
    if (BytesQueued() != 0) return 1;
    DWORD mask = 0;
    OVERLAPPED* wait = Overlapped(waitIo_);
    if (WaitCommEvent(handle_, &mask, wait)) return 1;
    if (GetLastError() != ERROR_IO_PENDING) return 1;  // let the read find the fault
    // Bytes that came between the look at the queue and the wait raise no event.
    const bool queued = BytesQueued() != 0;
    const DWORD result = queued ? WAIT_TIMEOUT
                                : WaitForMultipleObjects(2, WaitHandles(wake), FALSE,
                                                         static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs));
    if (result != WAIT_OBJECT_0) SetCommMask(handle_, EV_RXCHAR);  // ends the pending wait
    DWORD ignored = 0;
    GetOverlappedResult(handle_, wait, &ignored, TRUE);  // the wait must be over before its OVERLAPPED goes
    return queued || result == WAIT_OBJECT_0 ? 1 : 0;  // WAIT_OBJECT_0 + 1 took the wake signal
  }

 private:
  struct Io {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
  };

  // A fresh OVERLAPPED on the Io's event (made on first use, manual reset).
  static OVERLAPPED* Overlapped(Io& io) {
    if (io.event == nullptr) io.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    io.overlapped = OVERLAPPED{};
    io.overlapped.hEvent = io.event;
    ResetEvent(io.event);
    return &io.overlapped;
  }

  // Waits for a started read or write; false when it failed.
  bool Complete(BOOL started, Io& io, DWORD* done) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(handle_, &io.overlapped, done, TRUE) != 0;
  }

  DWORD BytesQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) return 1;  // the read finds the fault
    return status.cbInQue;
  }

  HANDLE* WaitHandles(WakeEvent& wake) {
    waitHandles_[0] = waitIo_.event;
    waitHandles_[1] = reinterpret_cast<HANDLE>(wake.NativeHandle());
    return waitHandles_;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  Io io_;
  Io waitIo_;
  HANDLE waitHandles_[2] = {};
  std::uint8_t chunk_[256];
  DWORD taken_ = 0;
  DWORD pending_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> CreateSerialPort() { return std::make_unique<Win32SerialPort>(); }

std::string SerialDevicePath(const std::string& portName) {
  if (!portName.empty() && (portName[0] == '\\' || portName[0] == '/')) return portName;
  return "\\\\.\\" + portName;  // the prefix lets COM10 and above open
}

bool IsNonDevicePath(const std::string& devicePath) {
  // Devices (\\.\COMn) have no attributes; anything with them is a file or a folder.
  return GetFileAttributesA(devicePath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ListSerialDevices() { return {}; }

}  // namespace zrm
