#include "link/WriterSpec.h"

#include "link/Backends.h"

#include <algorithm>
#include <utility>

namespace oriole {

namespace {

std::unique_ptr<IWriterDriver> CreateAutoDriver(std::string_view argument, std::string& error) {
    if (!argument.empty()) {
        error = "\"auto\" takes no argument";
        return nullptr;
    }
    if (D2xxLibraryLoads({})) return CreateD2xxDriver({}, error);
    return CreateFtdiDriver({}, error);
}

// The name before the first ':' or ',' and the text after it.
std::pair<std::string_view, std::string_view> SplitSpec(std::string_view spec) {
    const size_t colon = spec.find_first_of(":,");
    if (colon == std::string_view::npos) return {spec, {}};
    return {spec.substr(0, colon), spec.substr(colon + 1)};
}

// sn=SERIAL with a USB serial number of letters, figures, '-' and '_': no
// character that could turn it into a path if a backend ever took it for one.
bool IsBoxSelection(std::string_view item) {
    constexpr size_t kMaxSerial = 64;
    if (!item.starts_with("sn=")) return false;
    const std::string_view serial = item.substr(3);
    if (serial.empty() || serial.size() > kMaxSerial) return false;
    return std::all_of(serial.begin(), serial.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '-' || c == '_';
    });
}

// An absolute path under /dev/ that no ".." leads out of.
bool IsDevicePath(std::string_view path) {
    if (!path.starts_with("/dev/")) return false;
    size_t begin = 0;
    while (begin <= path.size()) {
        const size_t end = std::min(path.find('/', begin), path.size());
        if (path.substr(begin, end - begin) == "..") return false;
        begin = end + 1;
    }
    return true;
}

// Names that are terminals and never the box's serial device: the
// program's own (/dev/tty, a standard stream), consoles and pseudo-terminals.
// The node is checked again, by its device number, when it is opened.
bool NamesTerminal(std::string_view path) {
    constexpr std::string_view kNames[] = {"/dev/tty",   "/dev/console", "/dev/ptmx",
                                           "/dev/stdin", "/dev/stdout",  "/dev/stderr"};
    constexpr std::string_view kFolders[] = {"/dev/pts/", "/dev/fd/", "/dev/vc/"};
    if (std::find(std::begin(kNames), std::end(kNames), path) != std::end(kNames)) return true;
    for (const std::string_view folder : kFolders)
        if (path.starts_with(folder)) return true;
    // /dev/tty0 .. /dev/tty63, the virtual consoles.
    const std::string_view number = path.substr(std::min(path.size(), sizeof("/dev/tty") - 1));
    return path.starts_with("/dev/tty") && !number.empty() &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

const WriterBackend kBackends[] = {
    {"auto", CreateAutoDriver, "D2XX when its library loads, else libftdi1"},
    {"d2xx", CreateD2xxDriver, "FTDI's D2XX library (d2xx:PATH loads that file)"},
    {"ftdi", CreateFtdiDriver, "libftdi1"},
    {"serial", CreateSerialDriver, "serial port (serial:PATH, or found by USB product string)"},
    {"sim", CreateSimDriver, "simulated writer box (sim:DEVICE,option...)"},
};

}  // namespace

std::span<const WriterBackend> WriterBackends() { return kBackends; }

bool TakeSerialOption(std::string_view& argument, std::string& serial, std::string& error) {
    const size_t at = argument.rfind("sn=");
    if (at == std::string_view::npos || (at > 0 && argument[at - 1] != ',')) return true;
    serial = std::string(argument.substr(at + 3));
    if (serial.empty() || serial.find(',') != std::string::npos) {
        error = "sn= needs one USB serial number";
        return false;
    }
    argument = argument.substr(0, at == 0 ? 0 : at - 1);
    return true;
}

FileSpecVerdict CheckFileWriterSpec(std::string_view spec) {
    for (const char c : spec)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return FileSpecVerdict::NotAllowed;
    const auto [name, argument] = SplitSpec(spec);
    // The simulated box lives in this process; none of its options names a
    // file, so whatever is wrong with them is the backend's own complaint.
    if (name == "sim") return FileSpecVerdict::Allowed;
    if (name == "auto")
        return argument.empty() ? FileSpecVerdict::Allowed : FileSpecVerdict::NotAllowed;
    if (name != "ftdi" && name != "d2xx" && name != "serial") return FileSpecVerdict::NotAllowed;
    if (argument.empty()) return FileSpecVerdict::Allowed;
    bool first = true;
    size_t begin = 0;
    while (begin <= argument.size()) {
        const size_t end = std::min(argument.find(',', begin), argument.size());
        const std::string_view item = argument.substr(begin, end - begin);
        begin = end + 1;
        const bool leading = std::exchange(first, false);
        if (IsBoxSelection(item)) continue;
        // Anything else d2xx takes is a library to load.
        if (name == "d2xx") return FileSpecVerdict::NamesLibrary;
        if (name != "serial" || !leading) return FileSpecVerdict::NotAllowed;
        if (!IsDevicePath(item) || NamesTerminal(item)) return FileSpecVerdict::NotTerminalPath;
    }
    return FileSpecVerdict::Allowed;
}

std::unique_ptr<IWriterDriver> CreateWriterDriver(std::string_view spec, std::string& error,
                                                  WriterSpecSource source) {
    const auto [name, argument] = SplitSpec(spec);
    if (source == WriterSpecSource::SettingsFile) {
        if (CheckFileWriterSpec(spec) != FileSpecVerdict::Allowed) {
            error = "a settings file may not name \"" + std::string(spec) + "\"";
            return nullptr;
        }
        if (name == "serial") return CreateSettingsSerialDriver(argument, error);
    }
    for (const WriterBackend& backend : kBackends)
        if (backend.name == name) return backend.create(argument, error);
    error = "unknown writer \"" + std::string(spec) + "\"";
    return nullptr;
}

}  // namespace oriole
