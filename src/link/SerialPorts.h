#pragma once
// Which terminal devices the serial backend may open, decided from the
// device number before anything is opened, and the settings of every port
// it has open, given back when it closes the port or when a signal ends the
// program.
//
// Writing box commands into the user's own terminal leaves it raw, at
// another speed and locked to us; so no port is ever /dev/tty or a terminal
// of this process. A port a settings file names (data from anywhere) must
// moreover be a serial device behind a serial driver, never a console or a
// pseudo-terminal. The user may name a pseudo-terminal with --writer
// (oriole-sim serves one).

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace oriole {

// Who named the port.
enum class PortOrigin : uint8_t { User, SettingsFile };

enum class PortVerdict : uint8_t {
    Allowed,
    OwnTerminal,     // /dev/tty, the controlling terminal, a standard stream's terminal
    Console,         // a virtual console (/dev/ttyN) or the system console
    PseudoTerminal,  // /dev/pts/N, /dev/ptmx
    NoSerialDriver,  // no serial driver behind the device (it may be no terminal at all)
};

// The kernel drivers of serial devices a settings file may name: the
// USB-serial converters and the PC's and ARM boards' own UARTs.
std::span<const std::string_view> SerialDrivers();

// The verdict on the character device `rdev` for a port named by `origin`.
// `sysRoot` is where sysfs lies ("/sys"; tests build a tree of their own):
// SYSROOT/dev/char/MAJOR:MINOR/device/driver names the driver. `own` holds
// the device numbers of this process's terminals (OwnTerminals()).
[[nodiscard]] PortVerdict CheckSerialPort(dev_t rdev, PortOrigin origin,
                                          const std::filesystem::path& sysRoot,
                                          std::span<const dev_t> own);

// The controlling terminal and the terminals of standard input, output and
// error.
std::vector<dev_t> OwnTerminals();

// For a signal handler that ends the program: puts back the settings of
// every port the serial backend has open, drops what is queued and releases
// their exclusive use. Async-signal-safe.
void RestoreOpenSerialPorts() noexcept;

}  // namespace oriole
