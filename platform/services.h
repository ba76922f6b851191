// Services the core calls in mid-step that a window program provides with real
// dialogs and a test with a scripted stand-in.
#pragma once

#include <string>

namespace zrm {

enum class MessageIcon { Information, Warning, Error, Question };

// Beep types as the Windows programs pass them (MB_ICONEXCLAMATION is 0x30).
constexpr unsigned BEEP_EXCLAMATION = 0x30;

class PlatformServices {
 public:
  virtual ~PlatformServices() = default;
  // A message box owned by the main window, kept topmost.
  virtual void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
  virtual void Beep(unsigned type) = 0;
};

// Console stand-in for programs without windows: messages go to standard error,
// beeps are ignored.
class ConsoleServices : public PlatformServices {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override;
  void Beep(unsigned type) override;
};

}  // namespace zrm
