// The "ftdi" backend: libftdi1 talking to the box's FTDI chip over libusb,
// for systems without FTDI's own D2XX library. Without libftdi1 at build
// time the backend still exists and reports that no box was found.
#include "link/Backends.h"

#if defined(ORIOLE_HAVE_LIBFTDI1)

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

namespace oriole {

namespace {

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

    explicit CFtdiDriver(std::string serial) : m_serial(std::move(serial)) {}

    // libftdi's own open-by-description stops at the first chip it cannot
    // open and takes the chips in libusb's order; we look at every chip in
    // bus order, skip those we may not open and tell the user when the box
    // is there but denied to us.
    DriverStatus OpenByDescription(std::string_view description) override {
        if (m_ftdi) return kFtDeviceNotOpened;
        m_ftdi = ftdi_new();  // null when libusb cannot start (no USB access)
        if (!m_ftdi) return kFtDeviceNotFound;
        bool denied = false;
        for (const Chip& chip : ListChips(m_ftdi)) {
            if (chip.denied) {
                // What sysfs says about a chip we may not open; unknown
                // strings count as a possible box.
                if ((chip.description.empty() || chip.description == description) &&
                    (m_serial.empty() || chip.serial.empty() || chip.serial == m_serial))
                    denied = true;
                continue;
            }
            if (chip.description != description || (!m_serial.empty() && chip.serial != m_serial)) continue;
            const int result = ftdi_usb_open_dev(m_ftdi, chip.device);
            if (result == 0) {
                m_open = true;
                break;
            }
            if (result == -8 || result == -4) denied = true;  // libusb_open() failed
        }
        ReleaseList();
        if (!m_open) {
            Free();
            return denied ? kLinkAccessDenied : kFtDeviceNotFound;
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

    // The chip's receive buffer and what we fetched from it already.
    DriverStatus PurgeReceive() override {
        if (!m_open) return kFtInvalidHandle;
        m_buffer.clear();
        return StatusOf(ftdi_tciflush(m_ftdi));
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

    // One FTDI chip on the bus, with its strings; `device` stays valid until
    // ReleaseList().
    struct Chip {
        libusb_device* device = nullptr;
        int bus = 0;
        int address = 0;
        std::string description;
        std::string serial;
        bool denied = false;
    };

    // The FTDI chips in bus/address order. The strings come from the chip
    // (which needs it opened) or, for a chip we may not open, from sysfs.
    std::vector<Chip> ListChips(ftdi_context* ftdi) {
        std::vector<Chip> chips;
        // Vendor and product 0: libftdi's own list, FTDI's 0x0403 with the
        // FT232R/FT245R, FT2232, FT4232H, FT232H and FT-X products.
        if (ftdi_usb_find_all(ftdi, &m_list, 0, 0) < 0) return chips;
        for (ftdi_device_list* d = m_list; d; d = d->next) {
            Chip chip;
            chip.device = d->dev;
            chip.bus = libusb_get_bus_number(d->dev);
            chip.address = libusb_get_device_address(d->dev);
            libusb_device_descriptor descriptor{};
            libusb_device_handle* handle = nullptr;
            const int opened = libusb_open(d->dev, &handle);
            if (opened == 0 && libusb_get_device_descriptor(d->dev, &descriptor) == 0) {
                chip.description = StringOf(handle, descriptor.iProduct);
                chip.serial = StringOf(handle, descriptor.iSerialNumber);
            }
            if (handle) libusb_close(handle);
            if (opened == LIBUSB_ERROR_ACCESS) {
                chip.denied = true;
                SysfsStrings(chip);
            }
            chips.push_back(std::move(chip));
        }
        std::sort(chips.begin(), chips.end(),
                  [](const Chip& a, const Chip& b) { return std::tie(a.bus, a.address) < std::tie(b.bus, b.address); });
        return chips;
    }

    void ReleaseList() {
        if (m_list) ftdi_list_free(&m_list);
        m_list = nullptr;
    }

private:
    static std::string StringOf(libusb_device_handle* handle, uint8_t index) {
        if (index == 0) return {};
        unsigned char text[256];
        const int n = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
        return n > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n)) : std::string();
    }

    // The kernel keeps the strings of every USB device readable for all.
    static void SysfsStrings(Chip& chip) {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/sys/bus/usb/devices", ec)) {
            if (ReadLine(entry.path() / "busnum") != std::to_string(chip.bus) ||
                ReadLine(entry.path() / "devnum") != std::to_string(chip.address))
                continue;
            chip.description = ReadLine(entry.path() / "product");
            chip.serial = ReadLine(entry.path() / "serial");
            return;
        }
    }

    static std::string ReadLine(const std::filesystem::path& file) {
        std::ifstream in(file);
        std::string line;
        std::getline(in, line);
        return line;
    }

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
        ReleaseList();
        if (m_ftdi) ftdi_free(m_ftdi);
        m_ftdi = nullptr;
        m_open = false;
    }

    std::string m_serial;  // empty: the first box that opens
    ftdi_context* m_ftdi = nullptr;
    ftdi_device_list* m_list = nullptr;
    bool m_open = false;
    std::deque<uint8_t> m_buffer;
};

}  // namespace

std::unique_ptr<IWriterDriver> CreateFtdiDriver(std::string_view argument, std::string& error) {
    std::string serial;
    if (!TakeSerialOption(argument, serial, error)) return nullptr;
    if (!argument.empty()) {
        error = "\"ftdi\" takes only sn=SERIAL";
        return nullptr;
    }
    return std::make_unique<CFtdiDriver>(std::move(serial));
}

std::vector<FoundWriter> ListFtdiWriters() {
    std::vector<FoundWriter> found;
    CFtdiDriver driver{std::string()};
    ftdi_context* ftdi = ftdi_new();
    if (!ftdi) return found;
    for (const auto& chip : driver.ListChips(ftdi)) {
        char where[32];
        std::snprintf(where, sizeof where, "bus %03d device %03d", chip.bus, chip.address);
        found.push_back({"ftdi", chip.serial, chip.denied ? chip.description + " (no permission)" : chip.description,
                         where});
    }
    driver.ReleaseList();
    ftdi_free(ftdi);
    return found;
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
    DriverStatus PurgeReceive() override { return kFtInvalidHandle; }
    DriverStatus Close() override { return kFtInvalidHandle; }
    void WaitForData(std::chrono::milliseconds) override {}
};

}  // namespace

std::unique_ptr<IWriterDriver> CreateFtdiDriver(std::string_view, std::string&) {
    return std::make_unique<CNoFtdiDriver>();
}

std::vector<FoundWriter> ListFtdiWriters() { return {}; }

}  // namespace oriole

#endif
