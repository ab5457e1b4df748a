#pragma once
// The serial backend's side of the open-port list that RestoreOpenSerialPorts
// walks.

#include "link/TtySpeed.h"

namespace oriole {

// How many open ports RestoreOpenSerialPorts knows of at once; a port
// beyond them gets its settings back only when it is closed.
inline constexpr int kOpenPortSlots = 8;

// Notes a port that is open with the settings it had before we touched it;
// ForgetOpenPort when it is given back. Both are safe from any thread at any
// time (the boxes of a production run each open their own port), also
// while a signal handler runs RestoreOpenSerialPorts.
void RememberOpenPort(int fd, const TtySettings& saved);
void ForgetOpenPort(int fd);

// Drops what is queued both ways, puts the settings back and releases the
// exclusive use. Async-signal-safe.
void GiveBackPort(int fd, const TtySettings& saved) noexcept;

}  // namespace oriole
