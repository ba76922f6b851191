#include "platform/services.h"

#include <cstdio>

namespace zrm {

void ConsoleServices::ShowMessage(const std::string& caption, const std::string& text, MessageIcon /*icon*/) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void ConsoleServices::Beep(unsigned /*type*/) {}

}  // namespace zrm
