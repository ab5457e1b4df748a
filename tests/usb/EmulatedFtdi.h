#pragma once
// The writer box on the real USB stack: an umockdev testbed emulates sysfs
// and /dev/bus/usb, and each box is an FT232R whose usbdevfs ioctls are
// answered here, with the simulated box firmware on its serial side. libusb
// and libftdi1 run unmodified against it, in this process or in a child
// started with the preload library and UMOCKDEV_DIR.
//
// The chip answers the FTDI vendor requests, keeps the line settings it was
// given and passes bytes to the box only while the line is set up as the
// box's UART runs (8N1, no flow control, the expected baud rate); bytes sent
// on a wrongly set line are lost, as they would be on the wire. A bulk IN
// request is answered when the box has bytes for the host or when the
// latency timer runs out, with the chip's two modem-status bytes first.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/sim/SimBox.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace oriole::test {

struct UsbBoxSetup {
    std::string simOptions = "ATmega328P,fast";
    std::string serial = "ORB00001";
    std::string product = "ORIOLE Ver.1.00";
    uint32_t expectedBaud = 0;       // 0: any of the box's four rates
    bool kernelDriverBound = false;  // ftdi_sio holds the interface
    bool staleByte = true;           // line noise waiting in the chip at plug-in
    int ruleGroup = -1;  // >= 0: the node as our udev rule leaves it, mode 0660 and this group
};

class CUsbTestbed;

// One emulated chip with its box. All members may be called from the test
// thread while the testbed's thread serves the ioctls.
class CEmulatedFtdi {
public:
    ~CEmulatedFtdi();

    const std::string& Serial() const { return m_setup.serial; }
    int Bus() const { return 1; }
    int Address() const { return m_address; }
    std::string DevNode() const;  // /dev/bus/usb/001/NNN
    std::string SysName() const;  // 1-N

    // The vendor requests as the chip decoded them ("baud 19200", "purge rx").
    std::vector<std::string> ChipLog();
    void ClearChipLog();
    size_t DroppedBytes();
    bool KernelDriverBound();

    // The box behind the chip; its state lives on across unplugging.
    template <class F>
    auto WithBox(F f) {
        std::lock_guard lock(m_mutex);
        return f(*m_box);
    }

private:
    friend class CUsbTestbed;
    struct Urb;

    CEmulatedFtdi(int address, UsbBoxSetup setup, std::shared_ptr<sim::CSimBox> box);
    static int OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool Ioctl(UMockdevIoctlClient* client);
    void Submit(UMockdevIoctlClient* client);
    void Reap(UMockdevIoctlClient* client);
    void Discard(UMockdevIoctlClient* client);
    void Control(Urb& urb, std::vector<uint8_t>& buffer);
    bool Vendor(uint8_t request, uint16_t value, uint16_t index, std::vector<uint8_t>& reply);
    bool Descriptor(uint16_t value, std::vector<uint8_t>& reply) const;
    // Fills a bulk IN request from what the box has for the host; false when
    // it must wait.
    bool FillIn(Urb& urb, bool timedOut);
    bool LineAsExpected() const;
    void SetUnplugged();

    int m_address;
    UsbBoxSetup m_setup;
    std::shared_ptr<sim::CSimBox> m_box;
    UMockdevIoctlBase* m_handler = nullptr;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<Urb>> m_urbs;  // submitted by every handle, in order
    std::vector<std::string> m_log;
    std::deque<uint8_t> m_stale;
    uint32_t m_baud = 9600;
    uint16_t m_data = 8;  // bits, parity << 8, stop << 11 as the chip takes them
    uint16_t m_flow = 0;
    uint8_t m_latencyMs = 16;
    bool m_driverBound = false;
    const void* m_claimedBy = nullptr;  // the handle that claimed the interface
    bool m_unplugged = false;
    size_t m_dropped = 0;
};

class CUsbTestbed {
public:
    // Whether this process runs under the umockdev preload; `why` says what
    // is missing otherwise.
    static bool Available(std::string& why);

    CUsbTestbed();
    ~CUsbTestbed();
    CUsbTestbed(const CUsbTestbed&) = delete;
    CUsbTestbed& operator=(const CUsbTestbed&) = delete;

    // Plugs in a box with a new bus address; the same sim box may be plugged
    // in again after Unplug, as a real box keeps its target.
    CEmulatedFtdi& Plug(const UsbBoxSetup& setup, std::shared_ptr<sim::CSimBox> box = nullptr);
    // Every ioctl on the chip fails with ENODEV from now on.
    void Unplug(CEmulatedFtdi& chip);
    // Opening the device node fails with EACCES (no udev rule yet).
    void Deny(CEmulatedFtdi& chip);

    // For UMOCKDEV_DIR of a child process.
    std::string RootDir() const { return m_root; }
    // The environment a child needs to see the emulated boxes.
    std::vector<std::string> ChildEnvironment() const;

private:
    friend class CEmulatedFtdi;
    UMockdevTestbed* m_testbed = nullptr;
    std::string m_root;
    int m_nextAddress = 2;
    std::vector<std::unique_ptr<CEmulatedFtdi>> m_chips;
};

// Root opens any file; without these capabilities this thread opens the
// device node as an ordinary user would.
class WithoutFileOverride {
public:
    WithoutFileOverride() {
        if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &=
            ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutFileOverride() {
        if (m_active) syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutFileOverride(const WithoutFileOverride&) = delete;
    WithoutFileOverride& operator=(const WithoutFileOverride&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

// A box with its own target on the system clock, from sim option text.
std::shared_ptr<sim::CSimBox> MakeBox(const std::string& simOptions);

// Baud rate the FT232R runs at for a divisor request (value, index).
uint32_t DecodeFt232rBaud(uint16_t value, uint16_t index);

// For main(): starts the test program again under the umockdev preload when
// it is not yet (ASan builds need the link-order check off for that).
void ReexecUnderPreload(int argc, char** argv);

}  // namespace oriole::test
