#pragma once
// The driver interface under CWriterLink, shaped after the few D2XX calls the
// link makes. A status of 0 is success; any other value is the backend's own
// failure code and is shown to the user as a number. One object stands for
// one way of reaching the box and lives as long as the program wants; it is
// opened and closed once per device operation.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace oriole {

using DriverStatus = uint32_t;

// D2XX status codes, which the other backends reuse where one fits.
inline constexpr DriverStatus kFtOk = 0;
inline constexpr DriverStatus kFtInvalidHandle = 1;
inline constexpr DriverStatus kFtDeviceNotFound = 2;
inline constexpr DriverStatus kFtDeviceNotOpened = 3;
inline constexpr DriverStatus kFtIoError = 4;
inline constexpr DriverStatus kFtInvalidParameter = 6;
inline constexpr DriverStatus kFtInvalidBaudRate = 7;
inline constexpr DriverStatus kFtOtherError = 18;
// Ours, beyond D2XX's codes: a box was found, but the system does not let
// this user open it (no udev rule yet).
inline constexpr DriverStatus kLinkAccessDenied = 0x100;
// The box's port is held by another program.
inline constexpr DriverStatus kLinkInUse = 0x101;
// The port named is a terminal the serial backend must not touch (the
// user's own, a console, a pseudo-terminal named by a settings file).
inline constexpr DriverStatus kLinkPortRefused = 0x102;

class IWriterDriver {
public:
    virtual ~IWriterDriver() = default;

    virtual DriverStatus OpenByDescription(std::string_view description) = 0;
    virtual DriverStatus SetLatencyTimer(uint8_t milliseconds) = 0;
    virtual DriverStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) = 0;
    virtual DriverStatus SetBaudRate(uint32_t baud) = 0;
    virtual DriverStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits,
                                                uint8_t parity) = 0;
    virtual DriverStatus SetDtr() = 0;  // the last configuration call
    virtual DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) = 0;
    virtual DriverStatus GetQueueStatus(uint32_t& queued) = 0;
    // Reads at most bytes.size() bytes that are already queued.
    virtual DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) = 0;
    // Drops every received byte the driver and the chip hold now (D2XX's
    // FT_Purge of the receive side); nothing goes on the wire.
    virtual DriverStatus PurgeReceive() = 0;
    virtual DriverStatus Close() = 0;

    // Returns when received bytes are queued or after `timeout`, whichever
    // comes first, without keeping a processor busy.
    virtual void WaitForData(std::chrono::milliseconds timeout) = 0;
};

}  // namespace oriole
