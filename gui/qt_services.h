// Platform services with Qt dialogs: message boxes owned by the main window
// and kept on top, Yes/No questions, open and save file dialogs, the beep.
// Callable from any thread: off the window thread a call waits while the
// window thread shows the dialog, so the caller must not be a thread the
// window thread is itself waiting for (nor hold the surface's lock). A beep
// does not wait.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "platform/services.h"

namespace zrm {

class QtServices : public PlatformServices {
 public:
  explicit QtServices(QWidget* owner = nullptr);

  // Window thread: the window that owns the dialogs.
  void SetOwner(QWidget* owner);

  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon) override;
  void Beep(unsigned type) override;
  bool Ask(const std::string& caption, const std::string& text) override;
  bool ChooseFile(const FileDialogRequest& request, std::string* path) override;

 private:
  void OnWindowThread(const std::function<void()>& work);

  QPointer<QWidget> owner_;  // read on the window thread only
};

// A filter row as Qt shows it: "Data Log Files (*.dat)" stays as it is,
// "Logs" with "*.dat;*.log" becomes "Logs (*.dat *.log)".
QString FileDialogFilter(const std::string& description, const std::string& patterns);

}  // namespace zrm
