// The "d2xx" backend: FTDI's D2XX library, loaded when the link is first
// opened. Nothing of FTDI's goes into the build: the few entry points the
// link needs are declared here and looked up at run time, so the program
// starts and reports "writer not recognised" on machines without the driver.
#include <QLibrary>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "link/Backends.h"

namespace oriole {

namespace {

// The library when no path is given: only where the system keeps its own,
// never the current folder, which may be any folder the program was started
// in, with whatever files were put there.
#if defined(_WIN32)
#define ORIOLE_FTAPI __stdcall
// LoadLibrary's own search also looks in the current folder; FTDI's driver
// installs FTD2XX.DLL into the system folder, so it is named there.
QString DefaultLibrary() {
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};  // no system folder: nothing loads
    return QString::fromWCharArray(folder, static_cast<qsizetype>(n)) +
           QStringLiteral("\\FTD2XX.DLL");
}
#else
#define ORIOLE_FTAPI
// A name without a slash: the dynamic loader looks only in the folders of
// the system's library search (the ones its cache and the environment name),
// never in the current folder.
QString DefaultLibrary() {
    return QStringLiteral("ftd2xx");  // libftd2xx.so
}
#endif

QString LibraryFor(std::string_view argument) {
    return argument.empty()
               ? DefaultLibrary()
               : QString::fromUtf8(argument.data(), static_cast<qsizetype>(argument.size()));
}

// D2XX's types: FT_STATUS, ULONG and DWORD are 32-bit on every platform the
// library exists for (ULONG arguments travel in registers either way).
using FtHandle = void*;
using FtStatus = uint32_t;

constexpr uint32_t kOpenBySerialNumber = 1;
constexpr uint32_t kOpenByDescription = 2;

// The entry points, by the names the library exports them under (the same
// functions that its Windows DLL also numbers 27, 29, 9, 7, 8, 10, 4, 18, 3, 2).
struct D2xxApi {
    FtStatus(ORIOLE_FTAPI* openEx)(void*, uint32_t, FtHandle*);
    FtStatus(ORIOLE_FTAPI* setLatencyTimer)(FtHandle, uint8_t);
    FtStatus(ORIOLE_FTAPI* setFlowControl)(FtHandle, uint16_t, uint8_t, uint8_t);
    FtStatus(ORIOLE_FTAPI* setBaudRate)(FtHandle, uint32_t);
    FtStatus(ORIOLE_FTAPI* setDataCharacteristics)(FtHandle, uint8_t, uint8_t, uint8_t);
    FtStatus(ORIOLE_FTAPI* setDtr)(FtHandle);
    FtStatus(ORIOLE_FTAPI* write)(FtHandle, void*, uint32_t, uint32_t*);
    FtStatus(ORIOLE_FTAPI* getQueueStatus)(FtHandle, uint32_t*);
    FtStatus(ORIOLE_FTAPI* read)(FtHandle, void*, uint32_t, uint32_t*);
    FtStatus(ORIOLE_FTAPI* close)(FtHandle);
    FtStatus(ORIOLE_FTAPI* purge)(FtHandle, uint32_t);
};

constexpr uint32_t kPurgeRx = 1;  // FT_PURGE_RX

// The two entry points of the device list, resolved apart from the link's:
// a library that can list but not open (or the reverse) still does what it can.
using FtCreateDeviceInfoList = FtStatus(ORIOLE_FTAPI*)(uint32_t*);
using FtGetDeviceInfoDetail = FtStatus(ORIOLE_FTAPI*)(uint32_t, uint32_t*, uint32_t*, uint32_t*, uint32_t*, void*,
                                                      void*, FtHandle*);
constexpr uint32_t kFlagOpened = 1;  // FT_FLAGS_OPENED: another program has it open

// A D2XX string: up to the first NUL of the buffer, which D2XX need not
// write. (FindWriters makes control characters printable for every backend.)
std::string ListText(const char* buffer, size_t size) { return std::string(buffer, strnlen(buffer, size)); }

template <typename F>
bool Resolve(QLibrary& library, const char* name, F& function) {
    function = reinterpret_cast<F>(library.resolve(name));
    return function != nullptr;
}

class CD2xxDriver final : public IWriterDriver {
public:
    CD2xxDriver(QString libraryName, std::string serial) : m_library(libraryName), m_serial(std::move(serial)) {}

    // Loads the library once; false when it or one of its entry points is
    // missing. The library stays loaded for the life of the program.
    bool Load() {
        if (m_loaded) return true;
        if (!m_library.load()) return false;
        D2xxApi& a = m_api;
        m_loaded = Resolve(m_library, "FT_OpenEx", a.openEx) &&
                   Resolve(m_library, "FT_SetLatencyTimer", a.setLatencyTimer) &&
                   Resolve(m_library, "FT_SetFlowControl", a.setFlowControl) &&
                   Resolve(m_library, "FT_SetBaudRate", a.setBaudRate) &&
                   Resolve(m_library, "FT_SetDataCharacteristics", a.setDataCharacteristics) &&
                   Resolve(m_library, "FT_SetDtr", a.setDtr) && Resolve(m_library, "FT_Write", a.write) &&
                   Resolve(m_library, "FT_GetQueueStatus", a.getQueueStatus) &&
                   Resolve(m_library, "FT_Read", a.read) && Resolve(m_library, "FT_Close", a.close) &&
                   Resolve(m_library, "FT_Purge", a.purge);
        return m_loaded;
    }

    DriverStatus OpenByDescription(std::string_view description) override {
        if (!Load()) return kFtDeviceNotFound;
        // With a serial number given, that box (D2XX opens by one key only).
        std::string text = m_serial.empty() ? std::string(description) : m_serial;
        m_handle = nullptr;
        const FtStatus s = m_api.openEx(text.data(), m_serial.empty() ? kOpenByDescription : kOpenBySerialNumber,
                                        &m_handle);
        if (s != kFtOk) m_handle = nullptr;
        return s;
    }
    DriverStatus SetLatencyTimer(uint8_t milliseconds) override {
        return Opened() ? m_api.setLatencyTimer(m_handle, milliseconds) : kFtInvalidHandle;
    }
    DriverStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override {
        return Opened() ? m_api.setFlowControl(m_handle, flow, xon, xoff) : kFtInvalidHandle;
    }
    DriverStatus SetBaudRate(uint32_t baud) override {
        return Opened() ? m_api.setBaudRate(m_handle, baud) : kFtInvalidHandle;
    }
    DriverStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override {
        return Opened() ? m_api.setDataCharacteristics(m_handle, wordLength, stopBits, parity) : kFtInvalidHandle;
    }
    DriverStatus SetDtr() override { return Opened() ? m_api.setDtr(m_handle) : kFtInvalidHandle; }
    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override {
        written = 0;
        if (!Opened()) return kFtInvalidHandle;
        // FT_Write takes a non-const buffer but only reads it.
        return m_api.write(m_handle, const_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
                           &written);
    }
    DriverStatus GetQueueStatus(uint32_t& queued) override {
        queued = 0;
        return Opened() ? m_api.getQueueStatus(m_handle, &queued) : kFtInvalidHandle;
    }
    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override {
        read = 0;
        if (!Opened()) return kFtInvalidHandle;
        return m_api.read(m_handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &read);
    }
    DriverStatus PurgeReceive() override { return Opened() ? m_api.purge(m_handle, kPurgeRx) : kFtInvalidHandle; }
    DriverStatus Close() override {
        if (!Opened()) return kFtInvalidHandle;
        const FtStatus s = m_api.close(m_handle);
        m_handle = nullptr;
        return s;
    }
    void WaitForData(std::chrono::milliseconds timeout) override {
        // D2XX can signal arriving data only through an event object of the
        // platform (FT_SetEventNotification); for waits of a couple of
        // milliseconds, asking the queue once per millisecond keeps the
        // processor just as idle.
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Opened()) {
            uint32_t queued = 0;
            if (m_api.getQueueStatus(m_handle, &queued) != kFtOk || queued > 0) return;
            if (std::chrono::steady_clock::now() >= deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    bool Opened() const { return m_loaded && m_handle != nullptr; }

    QLibrary m_library;
    std::string m_serial;  // empty: the box is opened by its description
    D2xxApi m_api{};
    bool m_loaded = false;
    FtHandle m_handle = nullptr;
};

}  // namespace

std::unique_ptr<IWriterDriver> CreateD2xxDriver(std::string_view argument, std::string& error) {
    std::string serial;
    if (!TakeSerialOption(argument, serial, error)) return nullptr;
    return std::make_unique<CD2xxDriver>(LibraryFor(argument), std::move(serial));
}

std::vector<FoundWriter> ListD2xxWriters(std::string_view argument) {
    std::vector<FoundWriter> found;
    std::string serial;
    std::string error;
    if (!TakeSerialOption(argument, serial, error)) return found;
    // Never unloaded (QLibrary leaves that to unload()): the library may run
    // threads of its own, and a d2xx link may use it next.
    QLibrary library(LibraryFor(argument));
    FtCreateDeviceInfoList createList = nullptr;
    FtGetDeviceInfoDetail detail = nullptr;
    if (!library.load() || !Resolve(library, "FT_CreateDeviceInfoList", createList) ||
        !Resolve(library, "FT_GetDeviceInfoDetail", detail))
        return found;
    uint32_t count = 0;
    if (createList(&count) != kFtOk) return found;
    // A count no USB bus could hold comes from a broken library, not from boxes.
    constexpr uint32_t kMostDevices = 256;
    for (uint32_t i = 0; i < std::min(count, kMostDevices); ++i) {
        uint32_t flags = 0;
        uint32_t type = 0;
        uint32_t id = 0;
        uint32_t location = 0;
        // D2XX writes up to 16 and 64 bytes; room to spare all the same.
        char serialText[64] = {};
        char description[256] = {};
        FtHandle handle = nullptr;
        if (detail(i, &flags, &type, &id, &location, serialText, description, &handle) != kFtOk) continue;
        char where[32];
        std::snprintf(where, sizeof where, "LocId 0x%04X", static_cast<unsigned>(location));
        std::string text = ListText(description, sizeof description);
        if (flags & kFlagOpened) text += " (in use)";
        found.push_back({"d2xx", ListText(serialText, sizeof serialText), std::move(text), where});
    }
    return found;
}

bool D2xxLibraryLoads(std::string_view argument) {
    QLibrary library(LibraryFor(argument));
    return library.load();
}

}  // namespace oriole
