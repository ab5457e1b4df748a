#pragma once
// Choosing the way to the writer box from a writer spec string, as given by
// the --writer option or the Device/Writer setting:
//   auto             D2XX when its library loads, else libftdi1
//   d2xx[:LIBRARY]   FTDI's D2XX library, loaded at run time
//   ftdi             libftdi1
//   serial[:PATH]    a serial port; without a path, the tty whose USB
//                    product string is the box's description
//   sim[:DEVICE][,option...]  the simulated box in this process

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "link/WriterDriver.h"

namespace oriole {

inline constexpr char kDefaultWriterSpec[] = "auto";

// Where a spec comes from. One the user typed (--writer) may name any
// library to load and any device to open: that is the user's own act. One
// read from a settings file is data that may have come from anywhere (a
// shared project folder, a download), so it may only choose a backend and
// options that neither load code nor open anything but a serial device.
enum class WriterSpecSource : uint8_t { User, SettingsFile };

// What CheckFileWriterSpec makes of a spec from a settings file.
enum class FileSpecVerdict : uint8_t {
    Allowed,
    NamesLibrary,     // d2xx with a library name or path
    NotTerminalPath,  // serial with a path that is no serial device's: not under /dev/, a terminal
    NotAllowed,       // an unknown backend or option, a control character
};

// Whether a settings file may hold `spec`: auto; ftdi, d2xx and serial with
// the box-selection option sn=SERIAL (letters, figures, - and _); serial
// with an absolute /dev/ path that names no terminal (/dev/tty, a console, a
// pseudo-terminal, a standard stream; whether the node is a serial device is
// checked when it is opened); sim with any of its options. Nothing is opened
// or loaded to decide.
[[nodiscard]] FileSpecVerdict CheckFileWriterSpec(std::string_view spec);

struct WriterBackend {
    std::string_view name;
    // Builds the driver from the text after "name:" (empty when none); on
    // failure returns null and sets `error` (English, for the log and the
    // user message built from it).
    std::unique_ptr<IWriterDriver> (*create)(std::string_view argument, std::string& error);
    std::string_view description;
};

// The backends in the order "auto" tries them and --help lists them.
std::span<const WriterBackend> WriterBackends();

// The driver for a writer spec string, or null with `error` set. A spec
// from a settings file must pass CheckFileWriterSpec, and its serial port is
// opened only when it is a serial device behind a serial driver.
std::unique_ptr<IWriterDriver> CreateWriterDriver(std::string_view spec, std::string& error,
                                                  WriterSpecSource source = WriterSpecSource::User);

}  // namespace oriole
