// Services the core calls in mid-step that a window program provides with real
// dialogs and a test with a scripted stand-in.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zrm {

enum class MessageIcon { Information, Warning, Error, Question, None };

// Beep types as the Windows programs pass them (MB_ICONEXCLAMATION is 0x30).
constexpr unsigned BEEP_EXCLAMATION = 0x30;

// An open or save file dialog.
struct FileDialogRequest {
  bool save = false;
  std::string title;
  // Filter rows: description and pattern(s), e.g. {"Data Log Files (*.dat)", "*.dat"}.
  std::vector<std::pair<std::string, std::string>> filters;
  std::string initialFolder;
  std::string initialName;
  std::string defaultExtension;  // without the dot; added when the name has none
  bool overwritePrompt = false;  // save: ask before replacing an existing file
  bool mustExist = false;        // open: the file must exist
};

class PlatformServices {
 public:
  virtual ~PlatformServices() = default;
  // A message box owned by the main window, kept topmost.
  virtual void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
  virtual void Beep(unsigned type) = 0;
  // A Yes/No question; true for Yes.
  virtual bool Ask(const std::string& caption, const std::string& text) {
    (void)caption;
    (void)text;
    return false;
  }
  // The file the user chose, or false when the dialog was cancelled.
  virtual bool ChooseFile(const FileDialogRequest& request, std::string* path) {
    (void)request;
    (void)path;
    return false;
  }
};

// Console stand-in for programs without windows: messages go to standard error,
// beeps are ignored.
class ConsoleServices : public PlatformServices {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override;
  void Beep(unsigned type) override;
};

}  // namespace zrm
