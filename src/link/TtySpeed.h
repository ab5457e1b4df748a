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

// A terminal's settings as the kernel keeps them, its speed included (also
// one that only termios2 can express).
struct TtySettings {
    alignas(8) unsigned char bytes[64];
};
[[nodiscard]] bool SaveTtySettings(int fd, TtySettings& saved);
// Puts them back at once; one system call, so safe in a signal handler.
bool RestoreTtySettings(int fd, const TtySettings& saved);

}  // namespace oriole
