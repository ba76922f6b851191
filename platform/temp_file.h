// Private temporary files: created exclusively (an existing name or a link in
// its place is refused), readable only by the user, and gone once closed, so
// a crash or a second program never finds one behind.
#pragma once

#include <cstdio>
#include <string>

namespace zrm {

// The user's temporary folder with a trailing separator: $TMPDIR or /tmp on
// POSIX, GetTempPath on Windows.
std::string TemporaryFolder();

// Creates the file at `path` for binary reading and writing ("w+b"). It is
// deleted when closed (on POSIX its name is removed at once; on Windows it is
// hidden and deleted on close). nullptr with errno set when it cannot be
// created; EEXIST when the name is taken.
std::FILE* CreateTemporaryFile(const std::string& path);

}  // namespace zrm
