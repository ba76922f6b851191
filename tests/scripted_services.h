// Platform services answered from a script: file dialogs take the next
// prepared choice (an empty one is a cancel), questions the next prepared
// answer, and every message and dialog request is kept for checks.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/services.h"

namespace zrm::test {

class ScriptedServices : public PlatformServices {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon) override {
    messages.push_back(caption + ": " + text);
  }
  void Beep(unsigned type) override { beeps.push_back(type); }
  bool Ask(const std::string& caption, const std::string& text) override {
    questions.push_back(caption + ": " + text);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  bool ChooseFile(const FileDialogRequest& request, std::string* path) override {
    requests.push_back(request);
    if (choices.empty()) return false;
    const std::string choice = choices.front();
    choices.pop_front();
    if (choice.empty()) return false;
    *path = choice;
    return true;
  }

  std::deque<std::string> choices;
  std::deque<bool> answers;
  std::vector<FileDialogRequest> requests;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<unsigned> beeps;
};

}  // namespace zrm::test
