#include "link/WriterSpec.h"

#include "link/Backends.h"

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

std::unique_ptr<IWriterDriver> CreateWriterDriver(std::string_view spec, std::string& error) {
    const size_t colon = spec.find_first_of(":,");
    const std::string_view name = spec.substr(0, colon);
    const std::string_view argument =
        colon == std::string_view::npos ? std::string_view() : spec.substr(colon + 1);
    for (const WriterBackend& backend : kBackends)
        if (backend.name == name) return backend.create(argument, error);
    error = "unknown writer \"" + std::string(spec) + "\"";
    return nullptr;
}

}  // namespace oriole
