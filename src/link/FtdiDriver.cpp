// The "ftdi" backend: libftdi1 talking to the box's FTDI chip over libusb,
// for systems without FTDI's own D2XX library. Without libftdi1 at build
// time the backend still exists and reports that no box was found.
#include "link/Backends.h"

#if defined(ORIOLE_HAVE_LIBFTDI1)

#include <ftdi.h>

#include <algorithm>
#include <array>
#include <deque>

namespace oriole {

namespace {

constexpr int kFtdiVendor = 0x0403;
// FT232R/FT245R, FT2232, FT4232H, FT232H, FT-X series.
constexpr std::array<int, 5> kFtdiProducts = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
constexpr int kReadChunk = 4096;
// The chip answers every read within its latency timer (with two status
// bytes if it has no data); the USB time-out only guards against a chip
// that stopped answering at all.
constexpr int kUsbTimeoutMarginMs = 100;

// libftdi reports failures as negative numbers; the user sees their size.
DriverStatus StatusOf(int result) { return result < 0 ? static_cast<DriverStatus>(-result) : kFtOk; }

class CFtdiDriver final : public IWriterDriver {
public:
    ~CFtdiDriver() override { Close(); }

    DriverStatus OpenByDescription(std::string_view description) override {
        if (m_ftdi) return kFtDeviceNotOpened;
        m_ftdi = ftdi_new();  // null when libusb cannot start (no USB access)
        if (!m_ftdi) return kFtDeviceNotFound;
        const std::string text(description);
        for (int product : kFtdiProducts) {
            if (ftdi_usb_open_desc(m_ftdi, kFtdiVendor, product, text.c_str(), nullptr) == 0) {
                m_open = true;
                break;
            }
        }
        if (!m_open) {
            Free();
            return kFtDeviceNotFound;
        }
        m_buffer.clear();
        SetUsbTimeouts(16);
        return StatusOf(ftdi_tcioflush(m_ftdi));
    }

    DriverStatus SetLatencyTimer(uint8_t milliseconds) override {
        if (!m_open) return kFtInvalidHandle;
        SetUsbTimeouts(milliseconds);
        return StatusOf(ftdi_set_latency_timer(m_ftdi, milliseconds));
    }

    DriverStatus SetFlowControl(uint16_t flow, uint8_t /*xon*/, uint8_t /*xoff*/) override {
        if (!m_open) return kFtInvalidHandle;
        return StatusOf(ftdi_setflowctrl(m_ftdi, flow == 0 ? SIO_DISABLE_FLOW_CTRL : SIO_RTS_CTS_HS));
    }

    DriverStatus SetBaudRate(uint32_t baud) override {
        if (!m_open) return kFtInvalidHandle;
        return StatusOf(ftdi_set_baudrate(m_ftdi, static_cast<int>(baud)));
    }

    DriverStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override {
        if (!m_open) return kFtInvalidHandle;
        if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 2)
            return kFtInvalidParameter;
        const ftdi_parity_type parities[] = {NONE, ODD, EVEN};
        return StatusOf(ftdi_set_line_property(m_ftdi, wordLength == 8 ? BITS_8 : BITS_7,
                                               stopBits == 0 ? STOP_BIT_1 : STOP_BIT_2, parities[parity]));
    }

    DriverStatus SetDtr() override { return m_open ? StatusOf(ftdi_setdtr(m_ftdi, 1)) : kFtInvalidHandle; }

    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override {
        written = 0;
        if (!m_open) return kFtInvalidHandle;
        while (written < bytes.size()) {
            const int n = ftdi_write_data(m_ftdi, bytes.data() + written, static_cast<int>(bytes.size() - written));
            if (n <= 0) return n < 0 ? StatusOf(n) : kFtIoError;
            written += static_cast<uint32_t>(n);
        }
        return kFtOk;
    }

    // What the chip holds for us is only known by reading it: one read,
    // answered within the latency timer, moves it into our own buffer.
    DriverStatus GetQueueStatus(uint32_t& queued) override {
        queued = 0;
        if (!m_open) return kFtInvalidHandle;
        if (m_buffer.empty())
            if (const DriverStatus s = Fetch()) return s;
        queued = static_cast<uint32_t>(m_buffer.size());
        return kFtOk;
    }

    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override {
        read = 0;
        if (!m_open) return kFtInvalidHandle;
        const size_t n = std::min(bytes.size(), m_buffer.size());
        std::copy_n(m_buffer.begin(), n, bytes.begin());
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(n));
        read = static_cast<uint32_t>(n);
        return kFtOk;
    }

    DriverStatus Close() override {
        if (!m_ftdi) return kFtInvalidHandle;
        const int result = m_open ? ftdi_usb_close(m_ftdi) : 0;
        Free();
        return StatusOf(result);
    }

    // Each USB read waits in the kernel until the chip's latency timer sends
    // a packet, so this never spins; it may overrun `timeout` by up to one
    // latency period.
    void WaitForData(std::chrono::milliseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_open && m_buffer.empty()) {
            if (Fetch() != kFtOk || std::chrono::steady_clock::now() >= deadline) return;
        }
    }

private:
    DriverStatus Fetch() {
        std::array<uint8_t, kReadChunk> chunk;
        const int n = ftdi_read_data(m_ftdi, chunk.data(), static_cast<int>(chunk.size()));
        if (n < 0) return StatusOf(n);
        m_buffer.insert(m_buffer.end(), chunk.begin(), chunk.begin() + n);
        return kFtOk;
    }

    void SetUsbTimeouts(int latencyMs) {
        m_ftdi->usb_read_timeout = latencyMs + kUsbTimeoutMarginMs;
        m_ftdi->usb_write_timeout = 5000;
    }

    void Free() {
        if (m_ftdi) ftdi_free(m_ftdi);
        m_ftdi = nullptr;
        m_open = false;
    }

    ftdi_context* m_ftdi = nullptr;
    bool m_open = false;
    std::deque<uint8_t> m_buffer;
};

}  // namespace

std::unique_ptr<IWriterDriver> CreateFtdiDriver(std::string_view argument, std::string& error) {
    if (!argument.empty()) {
        error = "\"ftdi\" takes no argument";
        return nullptr;
    }
    return std::make_unique<CFtdiDriver>();
}

}  // namespace oriole

#else

namespace oriole {

namespace {

// Built without libftdi1: a backend that finds no box.
class CNoFtdiDriver final : public IWriterDriver {
public:
    DriverStatus OpenByDescription(std::string_view) override { return kFtDeviceNotFound; }
    DriverStatus SetLatencyTimer(uint8_t) override { return kFtInvalidHandle; }
    DriverStatus SetFlowControl(uint16_t, uint8_t, uint8_t) override { return kFtInvalidHandle; }
    DriverStatus SetBaudRate(uint32_t) override { return kFtInvalidHandle; }
    DriverStatus SetDataCharacteristics(uint8_t, uint8_t, uint8_t) override { return kFtInvalidHandle; }
    DriverStatus SetDtr() override { return kFtInvalidHandle; }
    DriverStatus Write(std::span<const uint8_t>, uint32_t& written) override { return written = 0, kFtInvalidHandle; }
    DriverStatus GetQueueStatus(uint32_t& queued) override { return queued = 0, kFtInvalidHandle; }
    DriverStatus Read(std::span<uint8_t>, uint32_t& read) override { return read = 0, kFtInvalidHandle; }
    DriverStatus Close() override { return kFtInvalidHandle; }
    void WaitForData(std::chrono::milliseconds) override {}
};

}  // namespace

std::unique_ptr<IWriterDriver> CreateFtdiDriver(std::string_view, std::string&) {
    return std::make_unique<CNoFtdiDriver>();
}

}  // namespace oriole

#endif
