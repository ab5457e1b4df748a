#include "link/SerialPorts.h"

#if defined(_WIN32)

namespace oriole {

void RestoreOpenSerialPorts() noexcept {}

}  // namespace oriole

#else

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

#include "link/SerialPortsPrivate.h"

namespace oriole {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSerialDrivers[] = {
    "ftdi_sio", "cp210x", "ch341-uart", "pl2303", "cdc_acm",  // USB-serial converters
    "serial8250", "uart-pl011",                                // on-board UARTs
};

// The ports open now, for the signal handler: a slot is in use while its fd
// is not -1; the settings are written before the fd is published.
struct OpenPort {
    std::atomic<int> fd{-1};
    TtySettings saved{};
};
std::array<OpenPort, 8> g_openPorts;
static_assert(std::atomic<int>::is_always_lock_free);

#if defined(__linux__)
bool IsPseudoTerminal(unsigned ma, unsigned mi) {
    return (ma >= 136 && ma <= 143)      // Unix98 slaves, /dev/pts/N
           || (ma >= 128 && ma <= 135)   // Unix98 masters
           || ma == 2 || ma == 3         // the old BSD pairs
           || (ma == 5 && mi == 2);      // /dev/ptmx
}

bool IsConsole(unsigned ma, unsigned mi) {
    return (ma == 4 && mi < 64)  // /dev/tty0 .. /dev/tty63
           || (ma == 5 && mi == 1);  // /dev/console
}

// The name of the directory `link` leads to, empty when it leads nowhere.
std::string Target(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::canonical(link, ec);
    return ec ? std::string() : target.filename().string();
}
#endif

}  // namespace

std::span<const std::string_view> SerialDrivers() { return kSerialDrivers; }

PortVerdict CheckSerialPort(dev_t rdev, PortOrigin origin, const fs::path& sysRoot,
                            std::span<const dev_t> own) {
#if defined(__linux__)
    const unsigned ma = major(rdev);
    const unsigned mi = minor(rdev);
    if ((ma == 5 && mi == 0) || std::find(own.begin(), own.end(), rdev) != own.end())
        return PortVerdict::OwnTerminal;
    if (origin == PortOrigin::User) return PortVerdict::Allowed;
    if (IsConsole(ma, mi)) return PortVerdict::Console;
    if (IsPseudoTerminal(ma, mi)) return PortVerdict::PseudoTerminal;
    const fs::path entry = sysRoot / "dev/char" / (std::to_string(ma) + ":" + std::to_string(mi));
    if (Target(entry / "subsystem") != "tty") return PortVerdict::NoSerialDriver;
    const std::string driver = Target(entry / "device/driver");
    const bool serial = std::find(std::begin(kSerialDrivers), std::end(kSerialDrivers), driver) !=
                        std::end(kSerialDrivers);
    return serial ? PortVerdict::Allowed : PortVerdict::NoSerialDriver;
#else
    // Without the kernel's device table nothing tells a serial device from a
    // terminal; a settings file gets neither.
    if (std::find(own.begin(), own.end(), rdev) != own.end()) return PortVerdict::OwnTerminal;
    static_cast<void>(sysRoot);
    return origin == PortOrigin::User ? PortVerdict::Allowed : PortVerdict::NoSerialDriver;
#endif
}

std::vector<dev_t> OwnTerminals() {
    std::vector<dev_t> own;
#if defined(__linux__)
    // Field 7 of /proc/self/stat; the command name before it is in
    // parentheses and may hold anything, so the fields start after the last ')'.
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    if (close != std::string::npos) {
        std::string state;
        long ppid = 0, pgrp = 0, session = 0, ttyNr = 0;
        std::istringstream fields(line.substr(close + 1));
        if (fields >> state >> ppid >> pgrp >> session >> ttyNr && ttyNr != 0) {
            const auto nr = static_cast<unsigned long>(ttyNr);
            own.push_back(makedev((nr >> 8) & 0xFFF, (nr & 0xFF) | ((nr >> 12) & 0xFFF00)));
        }
    }
#endif
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && isatty(fd)) own.push_back(st.st_rdev);
    }
    return own;
}

void RememberOpenPort(int fd, const TtySettings& saved) {
    for (OpenPort& port : g_openPorts) {
        if (port.fd.load() != -1) continue;
        port.saved = saved;
        int expected = -1;
        if (port.fd.compare_exchange_strong(expected, fd)) return;
    }
    // More ports than slots: this one is put back only when it is closed.
}

void ForgetOpenPort(int fd) {
    for (OpenPort& port : g_openPorts) {
        int expected = fd;
        if (port.fd.compare_exchange_strong(expected, -1)) return;
    }
}

void GiveBackPort(int fd, const TtySettings& saved) noexcept {
    tcflush(fd, TCIOFLUSH);
    RestoreTtySettings(fd, saved);
    ioctl(fd, TIOCNXCL);
}

void RestoreOpenSerialPorts() noexcept {
    for (OpenPort& port : g_openPorts) {
        const int fd = port.fd.load();
        if (fd >= 0) GiveBackPort(fd, port.saved);
    }
}

}  // namespace oriole

#endif
