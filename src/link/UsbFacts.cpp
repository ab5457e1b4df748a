#include "link/UsbFacts.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#if defined(__linux__)
#include <fcntl.h>
#include <grp.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(ORIOLE_HAVE_LIBFTDI1)
#include <ftdi.h>
#include <libusb.h>
#endif

namespace oriole {

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kFtdiVendor = 0x0403;

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

int ToInt(const std::string& text, int base = 10) {
    try {
        return text.empty() ? 0 : std::stoi(text, nullptr, base);
    } catch (...) {
        return 0;
    }
}

// The device descriptor sysfs keeps for every USB device: the first 18
// bytes of "descriptors".
bool ReadDescriptor(const fs::path& dir, FtdiUsbDevice& d) {
    std::ifstream in(dir / "descriptors", std::ios::binary);
    std::vector<uint8_t> bytes(18);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), 18)) return false;
    d.vendor = static_cast<uint16_t>(bytes[8] | bytes[9] << 8);
    d.product = static_cast<uint16_t>(bytes[10] | bytes[11] << 8);
    d.bcdDevice = static_cast<uint16_t>(bytes[12] | bytes[13] << 8);
    return true;
}

#if defined(__linux__)
// The driver on interface 0: sysfs first, else usbfs's own answer (which
// needs the node opened; libusb opens it just the same).
// `fd` is the node opened, or -1.
std::string KernelDriver(const fs::path& dir, const std::string& sysName, int fd) {
    std::error_code ec;
    const fs::path link = dir / (sysName + ":1.0") / "driver";
    if (fs::exists(dir / (sysName + ":1.0"), ec)) {
        const fs::path target = fs::read_symlink(link, ec);
        return ec ? std::string() : target.filename().string();
    }
    if (fd < 0) return "?";
    usbdevfs_getdriver request{};
    request.interface = 0;
    std::string name;
    if (::ioctl(fd, USBDEVFS_GETDRIVER, &request) == 0)
        name.assign(request.driver, strnlen(request.driver, sizeof request.driver));
    return name;
}
#endif

}  // namespace

BackendFacts GetBackendFacts() {
    BackendFacts facts;
#if defined(ORIOLE_HAVE_LIBFTDI1)
    facts.libftdi = ftdi_get_library_version().version_str;
    const libusb_version* usb = libusb_get_version();
    facts.libusb = std::to_string(usb->major) + "." + std::to_string(usb->minor) + "." + std::to_string(usb->micro);
#endif
    facts.d2xx = D2xxLibraryLoads({});
    facts.serialPorts = ListSerialWriters();
    return facts;
}

std::vector<FtdiUsbDevice> ListFtdiUsbDevices(const UsbRoots& roots) {
    std::vector<FtdiUsbDevice> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.sysfs) / "bus/usb/devices", ec)) {
        const fs::path dir = entry.path();
        const std::string sysName = dir.filename().string();
        if (sysName.find(':') != std::string::npos) continue;  // an interface
        FtdiUsbDevice d;
        if (!ReadDescriptor(dir, d)) {
            d.vendor = static_cast<uint16_t>(ToInt(ReadLine(dir / "idVendor"), 16));
            d.product = static_cast<uint16_t>(ToInt(ReadLine(dir / "idProduct"), 16));
            d.bcdDevice = static_cast<uint16_t>(ToInt(ReadLine(dir / "bcdDevice"), 16));
        }
        if (d.vendor != kFtdiVendor) continue;
        d.bus = ToInt(ReadLine(dir / "busnum"));
        d.address = ToInt(ReadLine(dir / "devnum"));
        d.productString = ReadLine(dir / "product");
        d.serial = ReadLine(dir / "serial");
        char node[40];
        std::snprintf(node, sizeof node, "/bus/usb/%03d/%03d", d.bus, d.address);
        d.node = roots.dev + node;
#if defined(__linux__)
        struct stat st {};
        if (::stat(d.node.c_str(), &st) == 0) {
            d.nodeSeen = true;
            d.owner = st.st_uid;
            d.group = st.st_gid;
            d.mode = st.st_mode & 07777;
        }
        // Opened as the backends open it, with this process's effective
        // user and capabilities (access() asks about the real user's); only
        // a device node, never a file or FIFO put in its place.
        const int fd =
            d.nodeSeen && S_ISCHR(st.st_mode) ? ::open(d.node.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY) : -1;
        d.mayOpen = fd >= 0;
        d.kernelDriver = KernelDriver(dir, sysName, fd);
        if (fd >= 0) ::close(fd);
#endif
        found.push_back(std::move(d));
    }
    std::sort(found.begin(), found.end(), [](const FtdiUsbDevice& a, const FtdiUsbDevice& b) {
        return std::tie(a.bus, a.address) < std::tie(b.bus, b.address);
    });
    return found;
}

std::string FindBoxUdevRule(const UsbRoots& roots, const std::string& product) {
    for (const std::string& dir : roots.udevRules) {
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir, ec))
            if (entry.path().extension() == ".rules" && entry.is_regular_file(ec)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file);
            std::string line;
            while (std::getline(in, line)) {
                if (line.empty() || line[0] == '#') continue;
                if (line.find("\"0403\"") != std::string::npos && line.find(product) != std::string::npos)
                    return file.string();
            }
        }
    }
    return {};
}

std::string GroupName(uint32_t gid) {
#if defined(__linux__)
    if (const group* g = ::getgrgid(gid)) return g->gr_name;
#endif
    return std::to_string(gid);
}

bool InGroup(uint32_t gid) {
#if defined(__linux__)
    if (::getegid() == gid) return true;
    gid_t groups[256];
    const int n = ::getgroups(static_cast<int>(std::size(groups)), groups);
    return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
#else
    (void)gid;
    return false;
#endif
}

}  // namespace oriole
