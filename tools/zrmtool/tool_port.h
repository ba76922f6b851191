// What the commands that open a port share.
#pragma once

namespace zrm::tool {

// False, after a message naming the command, when PORT can never be a serial
// port: a bare name that leaves /dev, or a path to a regular file, folder or
// FIFO. Nothing is opened, let alone written. An absent device passes: the
// link retries until it appears, as vistrel does.
bool PortNameUsable(const char* command, const char* port);

// The message for a port that never opened. A bare name is looked for in
// /dev, so the device tried is named too: "./notes.txt" is /dev/notes.txt.
void ReportPortNeverOpened(const char* command, const char* port);

// A count of seconds given on the command line: digits only, at least
// `smallest`; a value beyond any real run is held at 10^9 seconds, so the
// millisecond arithmetic cannot overflow.
bool ParseSeconds(const char* text, long* value, long smallest);

}  // namespace zrm::tool
