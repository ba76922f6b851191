// Win32 backend of the serial port: the COM device opened exclusively, raw
// 57600 8N1 with DTR and RTS held on, reads that return at once.
#include <windows.h>

#include "platform/serial_port.h"

namespace zrm {
namespace {

class Win32SerialPort final : public SerialPort {
 public:
  ~Win32SerialPort() override { Close(); }

  int Open(const std::string& devicePath, const SerialOptions& options) override {
    Close();
    handle_ = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return -1;
    // Only a character device is a port: a file named by mistake is never
    // read as the stream or written to.
    if (GetFileType(handle_) != FILE_TYPE_CHAR) {
      Close();
      return -1;
    }
    if (!SetCommMask(handle_, 0)) return -1;
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
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  int ReadByte(std::uint8_t* byte) override {
    DWORD got = 0;
    if (!ReadFile(handle_, byte, 1, &got, nullptr)) return -1;
    return got == 1 ? 1 : 0;
  }

  int Write(const std::uint8_t* bytes, std::size_t length) override {
    DWORD written = 0;
    return WriteFile(handle_, bytes, static_cast<DWORD>(length), &written, nullptr) ? 0 : -1;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
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
