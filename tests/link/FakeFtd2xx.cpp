// A stand-in for FTDI's D2XX library, built as a shared library for the
// tests: the entry points the d2xx backend loads, answering from a
// simulated box, and the device list. It checks the arguments that only the dynamic call path
// carries (the open flag, the handle) and hands the rest to the box, whose
// call log and faults the tests read and set through the OrioleFake_
// functions. Loading it leaves a mark: a line appended to the file that
// ORIOLE_FAKE_FTD2XX_MARK names, so tests can tell whether it ran at all.
// The device list is the one box unless ORIOLE_FAKE_FTD2XX_DEVICES gives
// another: entries "SERIAL|DESCRIPTION|LOCID|FLAGS" separated by ';' (the
// numbers optional, 0 x prefixes allowed), read when the list is made.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/SimDriver.h"

namespace {

using FtHandle = void*;
using FtStatus = uint32_t;

constexpr uint32_t kOpenBySerialNumber = 1;
constexpr uint32_t kOpenByDescription = 2;
constexpr char kSerial[] = "FAKE0001";  // the box's USB serial number
int g_handleToken = 0;  // the handle we give out is its address

std::unique_ptr<oriole::CSimDriver> g_driver;
std::string g_lastError;

oriole::CSimDriver& Driver() {
    if (!g_driver) {
        oriole::sim::SimConfig config;
        config.deviceRow = oriole::FindDeviceByName(oriole::sim::kDefaultSimDevice);
        config.timing = false;
        g_driver = oriole::CSimDriver::WithOwnBox(config);
    }
    return *g_driver;
}

bool Valid(FtHandle handle) { return handle == &g_handleToken; }

__attribute__((constructor)) void LeaveMark() {
    const char* path = std::getenv("ORIOLE_FAKE_FTD2XX_MARK");
    if (path == nullptr || *path == '\0') return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fputs("loaded\n", f);
        std::fclose(f);
    }
}

struct ListedDevice {
    std::string serial;
    std::string description;
    uint32_t location = 0;
    uint32_t flags = 0;
};
std::vector<ListedDevice> g_list;  // as of the last FT_CreateDeviceInfoList

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    for (size_t end; (end = text.find(separator, begin)) != std::string::npos; begin = end + 1)
        parts.push_back(text.substr(begin, end - begin));
    parts.push_back(text.substr(begin));
    return parts;
}

std::vector<ListedDevice> DevicesFromEnvironment() {
    const char* text = std::getenv("ORIOLE_FAKE_FTD2XX_DEVICES");
    if (text == nullptr) return {{kSerial, "ORIOLE Ver.1.00", 0x1011, 0}};
    std::vector<ListedDevice> devices;
    if (*text == '\0') return devices;
    for (const std::string& entry : Split(text, ';')) {
        const auto fields = Split(entry, '|');
        ListedDevice d;
        d.serial = fields[0];
        if (fields.size() > 1) d.description = fields[1];
        if (fields.size() > 2) d.location = static_cast<uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 0));
        if (fields.size() > 3) d.flags = static_cast<uint32_t>(std::strtoul(fields[3].c_str(), nullptr, 0));
        devices.push_back(std::move(d));
    }
    return devices;
}

size_t CopyOut(const std::string& text, char* buffer, size_t size) {
    if (buffer && size > 0) {
        const size_t n = std::min(size - 1, text.size());
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

}  // namespace

extern "C" {

FtStatus FT_OpenEx(void* arg, uint32_t flags, FtHandle* handle) {
    if (handle == nullptr || arg == nullptr) return oriole::kFtInvalidParameter;
    FtStatus s = oriole::kFtDeviceNotFound;
    if (flags == kOpenByDescription) s = Driver().OpenByDescription(static_cast<const char*>(arg));
    else if (flags == kOpenBySerialNumber) {
        if (std::strcmp(static_cast<const char*>(arg), kSerial) == 0) s = Driver().OpenByDescription("ORIOLE Ver.1.00");
    } else {
        return oriole::kFtInvalidParameter;
    }
    *handle = s == 0 ? &g_handleToken : nullptr;
    return s;
}

FtStatus FT_SetLatencyTimer(FtHandle h, uint8_t ms) {
    return Valid(h) ? Driver().SetLatencyTimer(ms) : oriole::kFtInvalidHandle;
}

FtStatus FT_SetFlowControl(FtHandle h, uint16_t flow, uint8_t xon, uint8_t xoff) {
    return Valid(h) ? Driver().SetFlowControl(flow, xon, xoff) : oriole::kFtInvalidHandle;
}

FtStatus FT_SetBaudRate(FtHandle h, uint32_t baud) {
    return Valid(h) ? Driver().SetBaudRate(baud) : oriole::kFtInvalidHandle;
}

FtStatus FT_SetDataCharacteristics(FtHandle h, uint8_t bits, uint8_t stop, uint8_t parity) {
    return Valid(h) ? Driver().SetDataCharacteristics(bits, stop, parity) : oriole::kFtInvalidHandle;
}

FtStatus FT_SetDtr(FtHandle h) { return Valid(h) ? Driver().SetDtr() : oriole::kFtInvalidHandle; }

FtStatus FT_Write(FtHandle h, void* buffer, uint32_t size, uint32_t* written) {
    if (!Valid(h) || written == nullptr) return oriole::kFtInvalidHandle;
    return Driver().Write({static_cast<const uint8_t*>(buffer), size}, *written);
}

FtStatus FT_GetQueueStatus(FtHandle h, uint32_t* queued) {
    if (!Valid(h) || queued == nullptr) return oriole::kFtInvalidHandle;
    return Driver().GetQueueStatus(*queued);
}

FtStatus FT_Read(FtHandle h, void* buffer, uint32_t size, uint32_t* read) {
    if (!Valid(h) || read == nullptr) return oriole::kFtInvalidHandle;
    return Driver().Read({static_cast<uint8_t*>(buffer), size}, *read);
}

FtStatus FT_Purge(FtHandle h, uint32_t mask) {
    if (!Valid(h)) return oriole::kFtInvalidHandle;
    return (mask & 1u) != 0 ? Driver().PurgeReceive() : oriole::kFtOk;
}

FtStatus FT_Close(FtHandle h) { return Valid(h) ? Driver().Close() : oriole::kFtInvalidHandle; }

FtStatus FT_CreateDeviceInfoList(uint32_t* count) {
    if (count == nullptr) return oriole::kFtInvalidParameter;
    g_list = DevicesFromEnvironment();
    *count = static_cast<uint32_t>(g_list.size());
    return 0;
}

// Serial numbers fill at most 16 bytes and descriptions 64, NUL included,
// as FTDI documents for callers' buffers.
FtStatus FT_GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id, uint32_t* location,
                                void* serial, void* description, FtHandle* handle) {
    if (index >= g_list.size()) return oriole::kFtDeviceNotFound;
    if (!flags || !type || !id || !location || !serial || !description || !handle)
        return oriole::kFtInvalidParameter;
    const ListedDevice& d = g_list[index];
    *flags = d.flags;
    *type = 5;  // FT_DEVICE_232R
    *id = 0x04036001;
    *location = d.location;
    CopyOut(d.serial, static_cast<char*>(serial), 16);
    CopyOut(d.description, static_cast<char*>(description), 64);
    *handle = nullptr;
    return 0;
}

// --- For the tests ---

// A new box from sim option text; 0 on success.
int OrioleFake_Reset(const char* options) {
    auto config = oriole::sim::ParseSimOptions(options, g_lastError);
    if (!config) return 1;
    g_driver = oriole::CSimDriver::WithOwnBox(*config);
    return 0;
}

// The transcript lines, '\n'-separated; returns the full length.
size_t OrioleFake_Transcript(char* buffer, size_t size) {
    std::string text;
    for (const auto& line : Driver().Box().Transcript().Lines()) text += line + "\n";
    return CopyOut(text, buffer, size);
}

size_t OrioleFake_CallLog(char* buffer, size_t size) {
    std::string text;
    for (const auto& line : Driver().Box().CallLog()) text += line + "\n";
    return CopyOut(text, buffer, size);
}

void OrioleFake_ClearTranscript() { Driver().Box().Transcript().Clear(); }

}  // extern "C"
