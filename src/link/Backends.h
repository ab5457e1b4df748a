#pragma once
// The factories of the writer backends, one file each; WriterSpec.cpp lists
// them in its table.

#include <memory>
#include <string>
#include <string_view>

#include "link/WriterDriver.h"

namespace oriole {

std::unique_ptr<IWriterDriver> CreateSimDriver(std::string_view argument, std::string& error);
std::unique_ptr<IWriterDriver> CreateD2xxDriver(std::string_view argument, std::string& error);
std::unique_ptr<IWriterDriver> CreateFtdiDriver(std::string_view argument, std::string& error);
std::unique_ptr<IWriterDriver> CreateSerialDriver(std::string_view argument, std::string& error);
// The same, but a port is opened only when it is a terminal device: some
// device nodes act on being opened (a watchdog arms), so a path from a
// settings file is looked at before it is opened, not after.
std::unique_ptr<IWriterDriver> CreateTerminalSerialDriver(std::string_view argument,
                                                          std::string& error);

// Whether the D2XX library (by name or path, empty = the system's own,
// found only where the system keeps its libraries) loads.
bool D2xxLibraryLoads(std::string_view argument);

}  // namespace oriole
