#pragma once
// Choosing the way to the writer box from a writer spec string, as given by
// the --writer option or the Device/Writer setting:
//   auto             D2XX when its library loads, else libftdi1
//   d2xx[:LIBRARY]   FTDI's D2XX library, loaded at run time
//   ftdi             libftdi1
//   serial[:PATH]    a serial port; without a path, the tty whose USB
//                    product string is the box's description
//   sim[:DEVICE][,option...]  the simulated box in this process

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "link/WriterDriver.h"

namespace oriole {

inline constexpr char kDefaultWriterSpec[] = "auto";

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

// The driver for a writer spec string, or null with `error` set.
std::unique_ptr<IWriterDriver> CreateWriterDriver(std::string_view spec, std::string& error);

}  // namespace oriole
