#pragma once
// What the system says about the ways to the box: the USB libraries, the
// FTDI chips on the bus with the kernel driver that holds each, its device
// node's owner, group and mode, and whether the box's udev rule is
// installed. Read from sysfs, the device nodes and libusb; the roots are
// parameters so that tests can point them at a tree of their own.

#include <cstdint>
#include <string>
#include <vector>

#include "link/Backends.h"

namespace oriole {

struct UsbRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    // Where udev looks for rules, in its own order.
    std::vector<std::string> udevRules = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                          "/lib/udev/rules.d"};
};

struct BackendFacts {
    std::string libftdi;  // version, empty when built without it
    std::string libusb;
    bool d2xx = false;    // the system's D2XX library loads
    std::vector<FoundWriter> serialPorts;  // ttys with a USB product string behind them
};
[[nodiscard]] BackendFacts GetBackendFacts();

struct FtdiUsbDevice {
    int bus = 0;
    int address = 0;
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t bcdDevice = 0;
    std::string productString;
    std::string serial;
    // The kernel driver on interface 0: "" none, "?" unknown (the node
    // cannot be opened and sysfs does not say).
    std::string kernelDriver = "?";
    std::string node;       // /dev/bus/usb/BBB/DDD
    bool nodeSeen = false;  // stat() of the node worked
    uint32_t owner = 0;
    uint32_t group = 0;
    uint32_t mode = 0;      // permission bits
    bool mayOpen = false;   // this process could open the node for reading and writing
};
// Every USB device with FTDI's vendor id, in bus and address order.
[[nodiscard]] std::vector<FtdiUsbDevice> ListFtdiUsbDevices(const UsbRoots& roots);

// The rules file that lets users open the box, or empty when no rules file
// names FTDI's vendor id together with the box's product string.
[[nodiscard]] std::string FindBoxUdevRule(const UsbRoots& roots, const std::string& product);

// Name of a group id ("plugdev"), or the number when it has none.
[[nodiscard]] std::string GroupName(uint32_t gid);
// Whether this process belongs to the group.
[[nodiscard]] bool InGroup(uint32_t gid);

}  // namespace oriole
