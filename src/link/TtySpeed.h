#pragma once
// The speed of a terminal device at any baud rate. The standard termios
// calls know only a fixed list (no 28800, no 14400); on Linux the
// termios2 interface sets and reads any rate, also on a pseudo-terminal.

#include <cstdint>

namespace oriole {

// True when the port now runs at `baud` (input and output).
bool SetTtyBaud(int fd, uint32_t baud);

// The output speed of the port, 0 when it cannot be read.
uint32_t TtyBaud(int fd);

}  // namespace oriole
