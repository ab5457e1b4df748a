// The "serial" backend: the box as a serial port (the virtual COM port of
// FTDI's kernel driver, /dev/ttyUSB*), or anything that behaves like one,
// such as oriole-sim's pseudo-terminal. Plain POSIX terminal calls rather
// than a serial-port class: poll() gives the wait for data without an event
// loop, FIONREAD gives exactly the queued count the link asks for, and the
// few settings the box needs are a handful of termios flags.
#include "link/Backends.h"

#if defined(_WIN32)

namespace oriole {

std::unique_ptr<IWriterDriver> CreateSerialDriver(std::string_view, std::string& error) {
    error = "the serial backend is not available on Windows; use d2xx";
    return nullptr;
}

std::unique_ptr<IWriterDriver> CreateSettingsSerialDriver(std::string_view argument,
                                                          std::string& error) {
    return CreateSerialDriver(argument, error);
}

std::vector<FoundWriter> ListSerialWriters() { return {}; }

}  // namespace oriole

#else

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/SerialPorts.h"
#include "link/SerialPortsPrivate.h"
#include "link/TtySpeed.h"

namespace oriole {

namespace {

namespace fs = std::filesystem;

constexpr int kWriteStallMs = 5000;  // a port that takes nothing for this long has failed

std::string ReadTrimmed(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// The USB device a tty belongs to, from sysfs: the tty's device directory
// is an interface or port of the USB device, whose own directory a few
// levels up holds "product" and "serial".
struct TtyUsb {
    std::string product;
    std::string serial;
};

TtyUsb UsbDeviceOf(const fs::path& ttyClassEntry) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyClassEntry / "device", ec);
    for (int up = 0; !ec && up < 4 && !dir.empty(); ++up, dir = dir.parent_path())
        if (fs::exists(dir / "product", ec)) return {ReadTrimmed(dir / "product"), ReadTrimmed(dir / "serial")};
    return {};
}

template <class F>
void ForEachUsbTty(F f) {
    std::error_code ec;
    std::vector<fs::path> ttys;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) ttys.push_back(entry.path());
    }
    std::sort(ttys.begin(), ttys.end());
    for (const auto& tty : ttys) f(tty, UsbDeviceOf(tty));
}

// The first tty of the box with this product string (and serial number, if
// one is given).
std::string FindTty(std::string_view product, const std::string& serial) {
    std::string found;
    ForEachUsbTty([&](const fs::path& tty, const TtyUsb& usb) {
        if (found.empty() && usb.product == product && (serial.empty() || usb.serial == serial))
            found = "/dev/" + tty.filename().string();
    });
    return found;
}

constexpr int kPortFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

// The node as `origin` may use it: a device by its number; what is no device
// at all is opened only for the user, who then learns that it is no terminal.
PortVerdict VerdictOf(const struct stat& st, PortOrigin origin) {
    if (S_ISCHR(st.st_mode)) return CheckSerialPort(st.st_rdev, origin, "/sys", OwnTerminals());
    return origin == PortOrigin::User ? PortVerdict::Allowed : PortVerdict::NoSerialDriver;
}

// A device that is no serial port at all is simply no box; a terminal that
// must not be touched says so.
DriverStatus RefusalStatus(PortVerdict verdict) {
    return verdict == PortVerdict::NoSerialDriver ? kFtDeviceNotFound : kLinkPortRefused;
}

// Opens `path` when `origin` may use what it names, deciding from the node
// before the device behind it is opened. On Linux an O_PATH descriptor names
// the node without opening the device; the node is checked, then opened
// through /proc, so the check and the open see the same node even if the
// path is changed in between. Returns -1 with `status` set otherwise.
int OpenPort(const std::string& path, PortOrigin origin, DriverStatus& status) {
    status = kFtDeviceNotFound;
    struct stat st {};
#if defined(__linux__)
    const int node = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (node < 0) return -1;
    const std::string opened = "/proc/self/fd/" + std::to_string(node);
    const PortVerdict verdict = fstat(node, &st) == 0 ? VerdictOf(st, origin) : PortVerdict::NoSerialDriver;
#else
    const std::string& opened = path;
    const PortVerdict verdict = stat(path.c_str(), &st) == 0 ? VerdictOf(st, origin) : PortVerdict::NoSerialDriver;
#endif
    int fd = -1;
    if (verdict == PortVerdict::Allowed) {
        fd = ::open(opened.c_str(), kPortFlags);
        if (fd < 0 && errno == EBUSY) status = kLinkInUse;
    } else {
        status = RefusalStatus(verdict);
    }
#if defined(__linux__)
    ::close(node);
#endif
    return fd;
}

// Whether another program holds the port for itself (TIOCEXCL). Root opens
// such a port anyway; it is left alone all the same.
bool HeldByAnother(int fd) {
#if defined(TIOCGEXCL)
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    static_cast<void>(fd);
    return false;
#endif
}

class CSerialDriver final : public IWriterDriver {
public:
    CSerialDriver(std::string path, std::string serial, PortOrigin origin)
        : m_path(std::move(path)), m_serial(std::move(serial)), m_origin(origin) {}
    ~CSerialDriver() override { Close(); }

    DriverStatus OpenByDescription(std::string_view description) override {
        if (m_fd >= 0) return kFtDeviceNotOpened;
        const std::string path = m_path.empty() ? FindTty(description, m_serial) : m_path;
        if (path.empty()) return kFtDeviceNotFound;
        DriverStatus status = kFtOk;
        const int fd = OpenPort(path, m_origin, status);
        if (fd < 0) return status;
        // Whatever is no terminal, or is another program's, is closed again
        // untouched, before a byte is written.
        if (HeldByAnother(fd)) {
            ::close(fd);
            return kLinkInUse;
        }
        if (!SaveTtySettings(fd, m_saved) || tcgetattr(fd, &m_tio) != 0) {
            ::close(fd);
            return kFtDeviceNotFound;
        }
        // From here on every way out gives the port back as it was.
        m_fd = fd;
        RememberOpenPort(m_fd, m_saved);
        m_openedPath = path;
        ioctl(m_fd, TIOCEXCL);  // one program at a time, as D2XX does
        cfmakeraw(&m_tio);
        m_tio.c_cflag |= CLOCAL | CREAD;
        m_tio.c_cc[VMIN] = 0;
        m_tio.c_cc[VTIME] = 0;
        m_baud = 0;
        if (!Apply()) {
            Close();
            return kFtIoError;
        }
        tcflush(m_fd, TCIOFLUSH);
        return kFtOk;
    }

    DriverStatus SetLatencyTimer(uint8_t milliseconds) override {
        if (m_fd < 0) return kFtInvalidHandle;
        // FTDI's kernel driver offers the latency timer in sysfs, usually
        // writable by root only; other ports have none. Either way the port
        // works, only with the driver's own latency.
        const fs::path knob = fs::path("/sys/class/tty") / fs::path(m_openedPath).filename() / "device/latency_timer";
        std::ofstream out(knob);
        if (out) out << static_cast<int>(milliseconds) << '\n';
        return kFtOk;
    }

    DriverStatus SetFlowControl(uint16_t flow, uint8_t /*xon*/, uint8_t /*xoff*/) override {
        if (m_fd < 0) return kFtInvalidHandle;
        m_tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        m_tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        if (flow == 0x0100) m_tio.c_cflag |= CRTSCTS;  // D2XX's RTS/CTS
        else if (flow != 0) return kFtInvalidParameter;
        return Apply() ? kFtOk : kFtIoError;
    }

    DriverStatus SetBaudRate(uint32_t baud) override {
        if (m_fd < 0) return kFtInvalidHandle;
        if (baud == 0 || !SetTtyBaud(m_fd, baud)) return kFtInvalidBaudRate;
        m_baud = baud;
        return kFtOk;
    }

    DriverStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override {
        if (m_fd < 0) return kFtInvalidHandle;
        if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 2)
            return kFtInvalidParameter;
        m_tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
        m_tio.c_cflag |= wordLength == 8 ? CS8 : CS7;
        if (stopBits == 2) m_tio.c_cflag |= CSTOPB;  // D2XX: 0 one stop bit, 2 two
        if (parity == 1) m_tio.c_cflag |= PARENB | PARODD;
        if (parity == 2) m_tio.c_cflag |= PARENB;
        return Apply() ? kFtOk : kFtIoError;
    }

    DriverStatus SetDtr() override {
        if (m_fd < 0) return kFtInvalidHandle;
        int lines = TIOCM_DTR;
        if (ioctl(m_fd, TIOCMBIS, &lines) == 0) return kFtOk;
        // A pseudo-terminal has no modem lines; nothing to switch there.
        return errno == ENOTTY || errno == EINVAL ? kFtOk : kFtIoError;
    }

    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override {
        written = 0;
        if (m_fd < 0) return kFtInvalidHandle;
        while (written < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + written, bytes.size() - written);
            if (n > 0) {
                written += static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return kFtIoError;
            pollfd p{m_fd, POLLOUT, 0};
            if (poll(&p, 1, kWriteStallMs) <= 0 || (p.revents & (POLLERR | POLLHUP))) return kFtIoError;
        }
        return kFtOk;
    }

    DriverStatus GetQueueStatus(uint32_t& queued) override {
        queued = 0;
        if (m_fd < 0) return kFtInvalidHandle;
        int n = 0;
        if (ioctl(m_fd, FIONREAD, &n) != 0) return kFtIoError;
        queued = static_cast<uint32_t>(n);
        return kFtOk;
    }

    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override {
        read = 0;
        if (m_fd < 0) return kFtInvalidHandle;
        const ssize_t n = ::read(m_fd, bytes.data(), bytes.size());
        if (n >= 0) {
            read = static_cast<uint32_t>(n);
            return kFtOk;
        }
        return errno == EAGAIN || errno == EINTR ? kFtOk : kFtIoError;
    }

    DriverStatus PurgeReceive() override {
        if (m_fd < 0) return kFtInvalidHandle;
        return tcflush(m_fd, TCIFLUSH) == 0 ? kFtOk : kFtIoError;
    }

    DriverStatus Close() override {
        if (m_fd < 0) return kFtInvalidHandle;
        // Nothing half sent or unread is left for the next program, and the
        // port gets its settings back and is free for others again.
        GiveBackPort(m_fd, m_saved);
        ForgetOpenPort(m_fd);
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? kFtOk : kFtIoError;
    }

    void WaitForData(std::chrono::milliseconds timeout) override {
        if (m_fd < 0) return;
        pollfd p{m_fd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(timeout.count()));
    }

private:
    // Applies the settings; the speed travels apart (any rate, see TtySpeed).
    bool Apply() {
        if (tcsetattr(m_fd, TCSANOW, &m_tio) != 0) return false;
        return m_baud == 0 || SetTtyBaud(m_fd, m_baud);
    }

    std::string m_path;        // empty: find the box by its USB product string
    std::string m_serial;      // with m_path empty: only the box with this USB serial number
    PortOrigin m_origin;       // who named the port: what it may be
    std::string m_openedPath;
    int m_fd = -1;
    TtySettings m_saved{};     // as the port was before we opened it
    struct termios m_tio {};
    uint32_t m_baud = 0;
};

std::unique_ptr<IWriterDriver> MakeSerialDriver(std::string_view argument, std::string& error,
                                                PortOrigin origin) {
    std::string serial;
    if (!TakeSerialOption(argument, serial, error)) return nullptr;
    if (!serial.empty() && !argument.empty()) {
        error = "\"serial\" takes a path or sn=SERIAL, not both";
        return nullptr;
    }
    return std::make_unique<CSerialDriver>(std::string(argument), std::move(serial), origin);
}

}  // namespace

std::unique_ptr<IWriterDriver> CreateSerialDriver(std::string_view argument, std::string& error) {
    return MakeSerialDriver(argument, error, PortOrigin::User);
}

std::unique_ptr<IWriterDriver> CreateSettingsSerialDriver(std::string_view argument,
                                                          std::string& error) {
    return MakeSerialDriver(argument, error, PortOrigin::SettingsFile);
}

std::vector<FoundWriter> ListSerialWriters() {
    std::vector<FoundWriter> found;
    ForEachUsbTty([&](const fs::path& tty, const TtyUsb& usb) {
        if (!usb.product.empty())
            found.push_back({"serial", usb.serial, usb.product, "/dev/" + tty.filename().string()});
    });
    return found;
}

}  // namespace oriole

#endif
