// A stand-in for FTDI's D2XX library, built as a shared library for the
// tests: the ten entry points the d2xx backend loads, answering from a
// simulated box. It checks the arguments that only the dynamic call path
// carries (the open flag, the handle) and hands the rest to the box, whose
// call log and faults the tests read and set through the OrioleFake_
// functions. Loading it leaves a mark: a line appended to the file that
// ORIOLE_FAKE_FTD2XX_MARK names, so tests can tell whether it ran at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

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

FtStatus FT_Close(FtHandle h) { return Valid(h) ? Driver().Close() : oriole::kFtInvalidHandle; }

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
