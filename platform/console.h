// The standard streams of the command-line programs.
#pragma once

namespace zrm {

// Puts standard input, output and error in binary mode where the system would
// translate line ends (Windows), so a program reads and writes the same bytes
// on every platform.
void UseBinaryStandardStreams();

}  // namespace zrm
