#pragma once
// The serial backend's side of the open-port list that RestoreOpenSerialPorts
// walks.

#include "link/TtySpeed.h"

namespace oriole {

// Notes a port that is open with the settings it had before we touched it;
// ForgetOpenPort when it is given back.
void RememberOpenPort(int fd, const TtySettings& saved);
void ForgetOpenPort(int fd);

// Drops what is queued both ways, puts the settings back and releases the
// exclusive use. Async-signal-safe.
void GiveBackPort(int fd, const TtySettings& saved) noexcept;

}  // namespace oriole
