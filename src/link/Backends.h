#pragma once
// The factories of the writer backends, one file each; WriterSpec.cpp lists
// them in its table.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/WriterDriver.h"

namespace oriole {

std::unique_ptr<IWriterDriver> CreateSimDriver(std::string_view argument, std::string& error);
std::unique_ptr<IWriterDriver> CreateD2xxDriver(std::string_view argument, std::string& error);
std::unique_ptr<IWriterDriver> CreateFtdiDriver(std::string_view argument, std::string& error);
std::unique_ptr<IWriterDriver> CreateSerialDriver(std::string_view argument, std::string& error);
// The same for a port a settings file names: it is opened only when it is a
// serial device behind a serial driver (see SerialPorts.h). Some device nodes
// act on being opened (a watchdog arms), so the path is looked at before it
// is opened, not after.
std::unique_ptr<IWriterDriver> CreateSettingsSerialDriver(std::string_view argument,
                                                          std::string& error);

// A box a backend can see: the backend's name, its USB serial number, its
// description and where it is (bus and device, D2XX's location id, or the tty).
struct FoundWriter {
    std::string backend;
    std::string serial;
    std::string description;
    std::string location;
};
std::vector<FoundWriter> ListFtdiWriters();
std::vector<FoundWriter> ListSerialWriters();
// The devices in D2XX's own list, from the library a d2xx backend argument
// names (empty: the system's own; an sn= option is ignored). Nothing when the
// library does not load or lacks the list's entry points.
std::vector<FoundWriter> ListD2xxWriters(std::string_view argument);

// Takes an "sn=SERIAL" option from the end of a backend argument ("sn=X" or
// "PATH,sn=X"); false (with `error`) for an empty serial number.
bool TakeSerialOption(std::string_view& argument, std::string& serial, std::string& error);

// Whether the D2XX library (by name or path, empty = the system's own,
// found only where the system keeps its libraries) loads.
bool D2xxLibraryLoads(std::string_view argument);

}  // namespace oriole
