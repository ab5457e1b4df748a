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
#include <thread>

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

// The ports open now, for the signal handler. Each box of a production run
// opens and closes its port on a thread of its own, several times a second
// while it waits for a chip, so the slots are claimed and given back from
// several threads at once, and read from a signal handler on any of them.
// A slot's fd says who owns its settings:
//   kFree       nobody; whoever moves it to kFilling owns the slot,
//   kFilling    the thread that claimed it is writing the settings,
//   fd >= 0     the port's settings are complete (published with release),
//   kRestoring  a signal handler is putting them back.
// Only the owner of the state touches `saved`, so no two threads ever write
// one slot's settings, and nobody reads them half written. No lock: the
// signal handler may interrupt a thread anywhere.
constexpr int kFree = -1;
constexpr int kFilling = -2;
constexpr int kRestoring = -3;
struct OpenPort {
    std::atomic<int> fd{kFree};
    TtySettings saved{};
};
std::array<OpenPort, kOpenPortSlots> g_openPorts;
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
        // Claimed first, then filled, then published: the settings are this
        // thread's alone until the fd makes them visible.
        int expected = kFree;
        if (!port.fd.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) continue;
        port.saved = saved;
        port.fd.store(fd, std::memory_order_release);
        return;
    }
    // More ports than slots: this one is put back only when it is closed.
}

void ForgetOpenPort(int fd) {
    for (OpenPort& port : g_openPorts) {
        for (;;) {
            int seen = port.fd.load(std::memory_order_acquire);
            // A signal handler on another thread is putting a port back;
            // it hands the slot back within a few system calls.
            if (seen == kRestoring) {
                std::this_thread::yield();
                continue;
            }
            if (seen != fd) break;
            if (port.fd.compare_exchange_weak(seen, kFree, std::memory_order_release)) return;
        }
    }
}

void GiveBackPort(int fd, const TtySettings& saved) noexcept {
    tcflush(fd, TCIOFLUSH);
    RestoreTtySettings(fd, saved);
    ioctl(fd, TIOCNXCL);
}

void RestoreOpenSerialPorts() noexcept {
    for (OpenPort& port : g_openPorts) {
        int fd = port.fd.load(std::memory_order_acquire);
        // Taken from its owner for the while, so that it is neither given
        // back nor claimed again while its settings are read.
        if (fd < 0 || !port.fd.compare_exchange_strong(fd, kRestoring, std::memory_order_acquire)) continue;
        GiveBackPort(fd, port.saved);
        port.fd.store(fd, std::memory_order_release);
    }
}

}  // namespace oriole

#endif
