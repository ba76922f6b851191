// An auto-reset event: a wait takes the signal with it.
#include <windows.h>

#include <cstdlib>

#include "platform/wake_event.h"

namespace zrm {

WakeEvent::WakeEvent() {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) std::abort();  // no handles left: nothing could run
  handle_ = reinterpret_cast<std::intptr_t>(event);
}

WakeEvent::~WakeEvent() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

void WakeEvent::Signal() { SetEvent(reinterpret_cast<HANDLE>(handle_)); }

bool WakeEvent::Wait(int timeoutMs) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0)) ==
         WAIT_OBJECT_0;
}

}  // namespace zrm
