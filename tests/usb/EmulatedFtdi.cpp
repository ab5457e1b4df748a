#include "usb/EmulatedFtdi.h"

#include <dlfcn.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/SimDriver.h"

namespace oriole::test {

namespace {

using namespace std::chrono_literals;

constexpr size_t kSetupSize = 8;
constexpr size_t kMaxPacket = 64;
constexpr uint8_t kModemStatus0 = 0x01;  // the chip's first status byte when idle
constexpr uint8_t kModemStatus1 = 0x60;  // transmitter empty
constexpr char kPreload[] = "libumockdev-preload.so.0";

// Device and configuration descriptors of an FT232R: one interface with a
// bulk IN (0x81) and a bulk OUT (0x02) endpoint of 64 bytes.
constexpr uint8_t kDescriptors[] = {
    0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x08, 0x03, 0x04, 0x01, 0x60, 0x00, 0x06,
    0x01, 0x02, 0x03, 0x01, 0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0xA0, 0x2D,  // configuration
    0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x02,                          // interface
    0x07, 0x05, 0x81, 0x02, 0x40, 0x00, 0x00,                                      // bulk IN
    0x07, 0x05, 0x02, 0x02, 0x40, 0x00, 0x00,                                      // bulk OUT
};

std::string Hex(std::span<const uint8_t> bytes) {
    std::string out;
    char figures[3];
    for (uint8_t b : bytes) {
        std::snprintf(figures, sizeof figures, "%02x", b);
        out += figures;
    }
    return out;
}

std::vector<uint8_t> StringDescriptor(const std::string& text) {
    std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * text.size()), 0x03};
    for (char c : text) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

bool Near(uint32_t baud, uint32_t wanted) {
    return baud * 100 >= wanted * 97 && baud * 100 <= wanted * 103;
}

}  // namespace

uint32_t DecodeFt232rBaud(uint16_t value, uint16_t index) {
    // Divisor in eighths: 14 integer bits, a 3-bit code for the fraction
    // (two bits in value, one in index).
    static constexpr uint32_t kEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    const uint32_t code =
        static_cast<uint32_t>(value >> 14) | static_cast<uint32_t>((index & 1) << 2);
    const uint32_t whole = value & 0x3FFF;
    if (whole == 0 && code == 0) return 3000000;
    if (whole == 1 && code == 0) return 2000000;
    const uint32_t eighths = whole * 8 + kEighths[code];
    return eighths == 0 ? 0 : (24000000 + eighths / 2) / eighths;
}

// A sysfs attribute line of umockdev's description format carries no
// control characters; the string descriptors keep them as given.
std::string AttributeText(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    return text;
}

std::shared_ptr<sim::CSimBox> MakeBox(const std::string& simOptions) {
    std::string error;
    const auto config = sim::ParseSimOptions(simOptions, error);
    if (!config) {
        std::fprintf(stderr, "bad sim options %s: %s\n", simOptions.c_str(), error.c_str());
        std::abort();
    }
    return std::make_shared<sim::CSimBox>(*config, SystemClock());
}

// One submitted request with the client's memory it will be answered in.
struct CEmulatedFtdi::Urb {
    const void* owner = nullptr;          // the client (open handle) that submitted it
    UMockdevIoctlData* urb = nullptr;     // struct usbdevfs_urb
    UMockdevIoctlData* buffer = nullptr;  // its buffer
    std::chrono::steady_clock::time_point submitted;
    bool done = false;  // answered; handed back at the next reap
    ~Urb() {
        if (buffer) g_object_unref(buffer);
        if (urb) g_object_unref(urb);
    }
    usbdevfs_urb& Fields() { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
};

CEmulatedFtdi::CEmulatedFtdi(int address, UsbBoxSetup setup, std::shared_ptr<sim::CSimBox> box)
    : m_address(address), m_setup(std::move(setup)), m_box(std::move(box)) {
    m_driverBound = m_setup.kernelDriverBound;
    if (m_setup.staleByte) m_stale.push_back(0x00);
    m_handler = umockdev_ioctl_base_new();
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&CEmulatedFtdi::OnIoctl), this);
}

CEmulatedFtdi::~CEmulatedFtdi() {
    {
        std::lock_guard lock(m_mutex);
        m_urbs.clear();
    }
    g_object_unref(m_handler);
}

std::string CEmulatedFtdi::DevNode() const {
    char path[64];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", Bus(), m_address);
    return path;
}

std::string CEmulatedFtdi::SysName() const {
    return "1-" + std::to_string(m_address);
}

std::vector<std::string> CEmulatedFtdi::ChipLog() {
    std::lock_guard lock(m_mutex);
    return m_log;
}

void CEmulatedFtdi::ClearChipLog() {
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

size_t CEmulatedFtdi::DroppedBytes() {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

bool CEmulatedFtdi::KernelDriverBound() {
    std::lock_guard lock(m_mutex);
    return m_driverBound;
}

void CEmulatedFtdi::SetUnplugged() {
    std::lock_guard lock(m_mutex);
    m_unplugged = true;
    m_wake.notify_all();
}

int CEmulatedFtdi::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<CEmulatedFtdi*>(self)->Ioctl(client) ? TRUE : FALSE;
}

bool CEmulatedFtdi::Ioctl(UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    {
        std::lock_guard lock(m_mutex);
        const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
        if (m_unplugged && !reap) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return true;
        }
    }
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
            const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(caps->data, &value, sizeof value);
            g_object_unref(caps);
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_GETDRIVER: {
            std::lock_guard lock(m_mutex);
            if (!m_driverBound) {
                umockdev_ioctl_client_complete(client, -1, ENODATA);
                return true;
            }
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
            auto* info = reinterpret_cast<usbdevfs_getdriver*>(d->data);
            std::snprintf(info->driver, sizeof info->driver, "ftdi_sio");
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
            const int code = reinterpret_cast<usbdevfs_ioctl*>(d->data)->ioctl_code;
            g_object_unref(d);
            std::lock_guard lock(m_mutex);
            if (code == static_cast<int>(USBDEVFS_DISCONNECT) && m_driverBound) {
                m_driverBound = false;
                m_log.push_back("driver detached");
                umockdev_ioctl_client_complete(client, 0, 0);
            } else {
                umockdev_ioctl_client_complete(client, -1, ENODATA);
            }
            return true;
        }
        case USBDEVFS_CLAIMINTERFACE: {  // one handle at a time, and not while ftdi_sio has it
            std::lock_guard lock(m_mutex);
            if (m_driverBound || (m_claimedBy && m_claimedBy != client)) {
                umockdev_ioctl_client_complete(client, -1, EBUSY);
            } else {
                m_claimedBy = client;
                umockdev_ioctl_client_complete(client, 0, 0);
            }
            return true;
        }
        case USBDEVFS_RELEASEINTERFACE: {
            std::lock_guard lock(m_mutex);
            if (m_claimedBy == client) m_claimedBy = nullptr;
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
        case USBDEVFS_RESET:
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_SUBMITURB:
            Submit(client);
            return true;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            Reap(client);
            return true;
        case USBDEVFS_DISCARDURB:
            Discard(client);
            return true;
        default:
            return false;
    }
}

void CEmulatedFtdi::Submit(UMockdevIoctlClient* client) {
    auto urb = std::make_unique<Urb>();
    urb->owner = client;
    urb->urb = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0,
                                           sizeof(usbdevfs_urb), nullptr);
    const usbdevfs_urb fields = urb->Fields();
    urb->buffer = umockdev_ioctl_data_resolve(urb->urb, offsetof(usbdevfs_urb, buffer),
                                              static_cast<gsize>(fields.buffer_length), nullptr);
    urb->submitted = std::chrono::steady_clock::now();
    urb->Fields().status = 0;
    urb->Fields().actual_length = 0;

    std::lock_guard lock(m_mutex);
    if (fields.type == USBDEVFS_URB_TYPE_CONTROL) {
        std::vector<uint8_t> buffer(urb->buffer->data, urb->buffer->data + urb->buffer->data_len);
        Control(*urb, buffer);
        std::memcpy(urb->buffer->data, buffer.data(), buffer.size());
        urb->done = true;
    } else if (fields.type == USBDEVFS_URB_TYPE_BULK && fields.endpoint == 0x02) {
        const std::span<const uint8_t> bytes(urb->buffer->data,
                                             static_cast<size_t>(urb->buffer->data_len));
        if (LineAsExpected())
            m_box->HostWrite(bytes);
        else
            m_dropped += bytes.size();
        urb->Fields().actual_length = static_cast<int>(bytes.size());
        urb->done = true;
    } else if (fields.type == USBDEVFS_URB_TYPE_BULK && fields.endpoint == 0x81) {
        urb->done = FillIn(*urb, false);
    } else {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    m_urbs.push_back(std::move(urb));
    m_wake.notify_all();
    umockdev_ioctl_client_complete(client, 0, 0);
}

// Hands back the oldest answered request. A bulk IN without data is held
// until the latency timer would have sent the status bytes: the device node
// is a plain file, so libusb's poll never waits, and answering "nothing yet"
// at once would turn every wait into a busy loop.
void CEmulatedFtdi::Reap(UMockdevIoctlClient* client) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Pulled out: what was in flight comes back failed. Then "nothing to
        // reap" rather than the kernel's ENODEV: the kernel also flags the
        // handle with POLLERR, which a plain file cannot, and libusb would
        // reap for ever.
        const auto own = [client](const std::unique_ptr<Urb>& u) { return u->owner == client; };
        if (m_unplugged) {
            for (auto& u : m_urbs) {
                if (!u->done) u->Fields().status = -ESHUTDOWN;
                u->done = true;
            }
        }
        if (std::none_of(m_urbs.begin(), m_urbs.end(), own)) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return;
        }
        auto ready = m_urbs.end();
        auto deadline = std::chrono::steady_clock::time_point::max();
        for (auto it = m_urbs.begin(); it != m_urbs.end(); ++it) {
            Urb& u = **it;
            if (u.owner != client) continue;
            if (!u.done) {
                const auto due = u.submitted + std::chrono::milliseconds(m_latencyMs);
                u.done = FillIn(u, std::chrono::steady_clock::now() >= due);
                if (!u.done) {
                    deadline = std::min(deadline, due);
                    if (const auto next = m_box->NextDelivery()) {
                        const auto at = std::chrono::steady_clock::time_point(
                            std::chrono::duration_cast<std::chrono::steady_clock::duration>(*next));
                        deadline = std::min(deadline, at);
                    }
                }
            }
            if (u.done) {
                ready = it;
                break;
            }
        }
        if (ready != m_urbs.end()) {
            std::unique_ptr<Urb> urb = std::move(*ready);
            m_urbs.erase(ready);
            UMockdevIoctlData* out = umockdev_ioctl_data_resolve(
                umockdev_ioctl_client_get_arg(client), 0, sizeof(void*), nullptr);
            umockdev_ioctl_data_set_ptr(out, 0, urb->urb);
            g_object_unref(out);
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
        m_wake.wait_until(lock, deadline);
    }
}

void CEmulatedFtdi::Discard(UMockdevIoctlClient* client) {
    const gulong address = umockdev_ioctl_client_get_arg(client)->client_addr;
    std::lock_guard lock(m_mutex);
    for (auto& u : m_urbs) {
        if (u->owner == client && u->urb->client_addr == address && !u->done) {
            u->Fields().status = -ENOENT;
            u->done = true;
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
}

bool CEmulatedFtdi::FillIn(Urb& urb, bool timedOut) {
    const size_t capacity = static_cast<size_t>(urb.buffer->data_len);
    if (capacity < 2) {
        urb.Fields().status = -EOVERFLOW;
        return true;
    }
    // What the chip holds for the host: stale bytes first, then the box's.
    std::vector<uint8_t> data(m_stale.begin(), m_stale.end());
    const size_t room = capacity / kMaxPacket * (kMaxPacket - 2) +
                        (capacity % kMaxPacket > 2 ? capacity % kMaxPacket - 2 : 0);
    if (data.size() < room) {
        std::vector<uint8_t> more(room - data.size());
        more.resize(m_box->HostRead(more));
        data.insert(data.end(), more.begin(), more.end());
    }
    if (data.empty() && !timedOut) return false;
    m_stale.erase(m_stale.begin(), m_stale.begin() + static_cast<std::ptrdiff_t>(
                                                         std::min(m_stale.size(), data.size())));
    std::vector<uint8_t> packets;
    size_t taken = 0;
    do {
        packets.push_back(kModemStatus0);
        packets.push_back(kModemStatus1);
        const size_t n = std::min(kMaxPacket - 2, data.size() - taken);
        packets.insert(packets.end(), data.begin() + static_cast<std::ptrdiff_t>(taken),
                       data.begin() + static_cast<std::ptrdiff_t>(taken + n));
        taken += n;
    } while (taken < data.size());
    // Through update(), so that the client's memory is written also when
    // the answer comes in a later ioctl than the submission.
    umockdev_ioctl_data_update(urb.buffer, 0, packets.data(), static_cast<int>(packets.size()));
    urb.Fields().actual_length = static_cast<int>(packets.size());
    return true;
}

bool CEmulatedFtdi::LineAsExpected() const {
    static constexpr uint32_t kRates[] = {38400, 28800, 19200, 14400};
    const bool rateOk = m_setup.expectedBaud != 0
                            ? Near(m_baud, m_setup.expectedBaud)
                            : std::any_of(std::begin(kRates), std::end(kRates),
                                          [&](uint32_t r) { return Near(m_baud, r); });
    return rateOk && m_data == 8 && m_flow == 0;
}

void CEmulatedFtdi::Control(Urb& urb, std::vector<uint8_t>& buffer) {
    const uint8_t type = buffer[0];
    const uint8_t request = buffer[1];
    const auto word = [&](size_t at) {
        return static_cast<uint16_t>(buffer[at] | buffer[at + 1] << 8);
    };
    const uint16_t value = word(2);
    const uint16_t index = word(4);
    const uint16_t length = word(6);
    std::vector<uint8_t> reply;
    bool ok = false;
    if (type == 0x80 && request == 6)
        ok = Descriptor(value, reply);
    else if ((type & 0x60) == 0x40)
        ok = Vendor(request, value, index, reply);
    if (!ok) {
        urb.Fields().status = -EPIPE;  // stall
        return;
    }
    if (type & 0x80) {
        const size_t n = std::min<size_t>({reply.size(), length, buffer.size() - kSetupSize});
        std::memcpy(buffer.data() + kSetupSize, reply.data(), n);
        urb.Fields().actual_length = static_cast<int>(n);  // the data stage only
    } else {
        urb.Fields().actual_length = length;
    }
}

bool CEmulatedFtdi::Descriptor(uint16_t value, std::vector<uint8_t>& reply) const {
    const uint8_t kind = static_cast<uint8_t>(value >> 8);
    const uint8_t index = static_cast<uint8_t>(value);
    if (kind == 1)
        reply.assign(kDescriptors, kDescriptors + 18);
    else if (kind == 2)
        reply.assign(kDescriptors + 18, std::end(kDescriptors));
    else if (kind == 3 && index == 0)
        reply = {4, 3, 0x09, 0x04};
    else if (kind == 3 && index == 1)
        reply = StringDescriptor("FTDI");
    else if (kind == 3 && index == 2)
        reply = StringDescriptor(m_setup.product);
    else if (kind == 3 && index == 3)
        reply = StringDescriptor(m_setup.serial);
    else
        return false;
    return true;
}

bool CEmulatedFtdi::Vendor(uint8_t request, uint16_t value, uint16_t index,
                           std::vector<uint8_t>& reply) {
    switch (request) {
        case 0:  // reset, purge
            if (value == 0) {
                m_log.push_back("reset");
                // Every open resets the chip: the box's tray (sim option swap)
                // moves on here, as it does at the sim backend's open.
                static_cast<void>(m_box->Call(sim::DriverCall::Open));
            } else if (value == 1) {
                m_log.push_back("purge to box");  // nothing waits: bytes go to the box at once
            } else if (value == 2) {
                m_log.push_back("purge to host");
                m_stale.clear();
                std::vector<uint8_t> sink(4096);
                while (m_box->HostRead(sink) > 0) {
                }
            } else {
                return false;
            }
            return true;
        case 1:  // modem control
            if (value & 0x0100) m_log.push_back(std::string("dtr ") + (value & 1 ? "1" : "0"));
            if (value & 0x0200) m_log.push_back(std::string("rts ") + (value & 2 ? "1" : "0"));
            return true;
        case 2:  // flow control: the handshake sits in the high byte of index
            m_flow = static_cast<uint16_t>(index & 0xFF00);
            m_log.push_back("flow " + std::to_string(m_flow >> 8));
            return true;
        case 3:  // baud rate
            m_baud = DecodeFt232rBaud(value, index);
            m_box->SetBaud(m_baud);
            m_log.push_back("baud " + std::to_string(m_baud));
            return true;
        case 4: {  // data characteristics: bits, parity << 8, stop bits << 11, break << 14
            m_data = static_cast<uint16_t>(value & 0x3FFF);
            const char parity[] = "NOEMS";
            m_log.push_back("data " + std::to_string(value & 0xFF) +
                            parity[std::min((value >> 8) & 7, 4)] +
                            ((value >> 11) & 3 ? "2" : "1"));
            return true;
        }
        case 5:  // modem status
            reply = {kModemStatus0 | 0x10, kModemStatus1};
            return true;
        case 6:  // event character
        case 7:  // error character
            return true;
        case 9:  // latency timer
            if ((value & 0xFF) == 0) return false;
            m_latencyMs = static_cast<uint8_t>(value);
            m_box->SetLatency(m_latencyMs);
            m_log.push_back("latency " + std::to_string(m_latencyMs));
            return true;
        case 0x0A:
            reply = {m_latencyMs};
            return true;
        case 0x0B:  // bit mode: the box is only used as a UART
            return (value >> 8) == 0;
        default:
            return false;
    }
}

// --- the testbed ---

// Whether the preload library is in this process.
bool Preloaded() {
    void* handle = dlopen(kPreload, RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

bool CUsbTestbed::Available(std::string& why) {
    if (Preloaded()) return true;
    why = std::string("not running under ") + kPreload + " (umockdev not installed?)";
    return false;
}

CUsbTestbed::CUsbTestbed() {
    m_testbed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    m_root = root;
    g_free(root);
}

CUsbTestbed::~CUsbTestbed() {
    for (auto& chip : m_chips) chip->SetUnplugged();
    for (auto& chip : m_chips)
        umockdev_testbed_detach_ioctl(m_testbed, chip->DevNode().c_str(), nullptr);
    g_object_unref(m_testbed);
    m_chips.clear();
}

CEmulatedFtdi& CUsbTestbed::Plug(const UsbBoxSetup& setup, std::shared_ptr<sim::CSimBox> box) {
    if (!box) box = MakeBox(setup.simOptions);
    const int address = m_nextAddress++;
    m_chips.push_back(
        std::unique_ptr<CEmulatedFtdi>(new CEmulatedFtdi(address, setup, std::move(box))));
    CEmulatedFtdi& chip = *m_chips.back();
    GError* error = nullptr;
    // The handler first, so that the device can be opened once it shows.
    if (!umockdev_testbed_attach_ioctl(m_testbed, chip.DevNode().c_str(), chip.m_handler, &error)) {
        std::fprintf(stderr, "attach_ioctl: %s\n", error ? error->message : "?");
        std::abort();
    }
    char number[8];
    std::snprintf(number, sizeof number, "%03d", address);
    const std::string text = "P: /devices/pci0000:00/0000:00:14.0/usb1/" + chip.SysName() +
                             "\n"
                             "N: bus/usb/001/" +
                             number +
                             "\n"
                             "E: SUBSYSTEM=usb\n"
                             "E: DEVTYPE=usb_device\n"
                             "E: DRIVER=usb\n"
                             "E: BUSNUM=001\n"
                             "E: DEVNUM=" +
                             number +
                             "\n"
                             "E: DEVNAME=/dev/bus/usb/001/" +
                             number +
                             "\n"
                             "E: ID_VENDOR_ID=0403\n"
                             "E: ID_MODEL_ID=6001\n"
                             "A: busnum=1\\n\n"
                             "A: devnum=" +
                             std::to_string(address) +
                             "\\n\n"
                             "A: bConfigurationValue=1\\n\n"
                             "A: speed=12\\n\n"
                             "A: idVendor=0403\\n\n"
                             "A: idProduct=6001\\n\n"
                             "A: product=" +
                             AttributeText(setup.product) +
                             "\\n\n"
                             "A: serial=" +
                             AttributeText(setup.serial) +
                             "\\n\n"
                             "H: descriptors=" +
                             Hex(kDescriptors) + "\n";
    if (!umockdev_testbed_add_from_string(m_testbed, text.c_str(), &error)) {
        std::fprintf(stderr, "add_from_string: %s\n", error ? error->message : "?");
        std::abort();
    }
    if (setup.interfaceInSysfs) {
        const std::string parent = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + chip.SysName();
        const std::string name = chip.SysName() + ":1.0";
        gchar* path = umockdev_testbed_add_device(m_testbed, "usb", name.c_str(), parent.c_str(), "bInterfaceNumber",
                                                  "00", nullptr, "DEVTYPE", "usb_interface", nullptr);
        if (path == nullptr) std::abort();
        if (setup.kernelDriverBound)
            umockdev_testbed_set_attribute_link(m_testbed, path, "driver", "../../../../../../bus/usb/drivers/ftdi_sio");
        g_free(path);
    }
    if (setup.ruleGroup >= 0) {
        const std::string node = m_root + chip.DevNode();
        if (::chown(node.c_str(), static_cast<uid_t>(-1), static_cast<gid_t>(setup.ruleGroup)) != 0 ||
            ::chmod(node.c_str(), 0660) != 0) {
            std::fprintf(stderr, "%s: %s\n", node.c_str(), std::strerror(errno));
            std::abort();
        }
    }
    return chip;
}

// The sysfs entry stays: umockdev cannot take a device away under an open
// handle without leaving the client waiting for ever. A chip that answers
// ENODEV to everything is what libusb sees of a pulled plug anyway; it
// cannot be opened again.
void CUsbTestbed::Unplug(CEmulatedFtdi& chip) {
    chip.SetUnplugged();
}

void CUsbTestbed::Deny(CEmulatedFtdi& chip) {
    const std::string node = m_root + chip.DevNode();
    ::chmod(node.c_str(), 0);
}

std::vector<std::string> CUsbTestbed::ChildEnvironment() const {
    return {std::string("LD_PRELOAD=") +
                (std::getenv("LD_PRELOAD") ? std::getenv("LD_PRELOAD") : kPreload),
            "UMOCKDEV_DIR=" + m_root};
}

void ReexecUnderPreload(int argc, char** argv) {
    (void)argc;
    if (Preloaded() || std::getenv("ORIOLE_USB_REEXEC")) return;
    // Where the library is missing the loader says so and goes on; the
    // tests then skip and give the reason.
    std::string preload = kPreload;
    if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
        preload = std::string(old) + ":" + kPreload;
    std::string asan = "verify_asan_link_order=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old)
        asan = std::string(old) + ":" + asan;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    setenv("ORIOLE_USB_REEXEC", "1", 1);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = '\0';
    execv(self, argv);
    // exec failed: run without the testbed; the tests skip and say why.
}

}  // namespace oriole::test
