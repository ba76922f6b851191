#include "platform/console.h"

namespace zrm {

void UseBinaryStandardStreams() {}  // POSIX streams never translate

}  // namespace zrm
