// The device end of a pseudo-terminal: the simulated ECM holds the master side
// and a client (the link, a test) opens the slave through a stable path, as it
// would open a serial adapter. POSIX only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zrm {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the terminal (slave raw from the start, so nothing is ever echoed;
  // master non-blocking) and links its slave at linkPath, replacing a link left
  // there before. Returns 0, or -1 when the terminal cannot be made or linkPath
  // exists and is not a symbolic link.
  int Open(const std::string& linkPath);

  // Closes the master (clients see a hang-up) and removes the link when it
  // still points at this terminal.
  void Close();

  bool IsOpen() const { return master_ >= 0; }
  const std::string& LinkPath() const { return linkPath_; }
  const std::string& SlavePath() const { return slavePath_; }

  // True while some client holds the slave open.
  bool ClientConnected() const;

  // Waits up to timeoutMs for bytes from the client. Returns 1 when bytes wait,
  // 0 when none came in time, -1 when no client is connected (after sleeping
  // the time out in short steps, since poll reports a hang-up at once) or on
  // error.
  int WaitInput(int timeoutMs) const;

  // Bytes read into buffer (> 0), 0 when none wait, -1 on hang-up or error.
  int Read(std::uint8_t* buffer, std::size_t capacity);

  // Bytes the terminal took (fewer than length, or 0, when it would block),
  // -1 on error.
  int Write(const std::uint8_t* bytes, std::size_t length);

  // Throws away bytes written to the client that it has not read, so that a
  // client opening the link later does not get a stale backlog (a serial line
  // nobody listens to keeps nothing).
  void DiscardUnread();

 private:
  int master_ = -1;
  std::string linkPath_;
  std::string slavePath_;
};

}  // namespace zrm
