#pragma once
// The writer box's command bytes and the byte layouts of its requests. Pure
// functions: nothing here touches the link.

#include <array>
#include <cstdint>
#include <optional>

#include "devices/Devices.h"

namespace oriole {

// Command characters.
inline constexpr uint8_t kCmdEnterProgramming = 'A';
inline constexpr uint8_t kCmdLeaveProgramming = 'B';
inline constexpr uint8_t kCmdReadSignature = 'C';
inline constexpr uint8_t kCmdChipErase = 'D';
inline constexpr uint8_t kCmdReadFlash = 'E';
inline constexpr uint8_t kCmdWriteFlashPage = 'F';
inline constexpr uint8_t kCmdWriteFlashWords = 'G';
inline constexpr uint8_t kCmdReadEeprom = 'H';
inline constexpr uint8_t kCmdWriteEepromPage = 'I';
inline constexpr uint8_t kCmdWriteEepromBytes = 'J';
inline constexpr uint8_t kCmdReadFuse = 'K';
inline constexpr uint8_t kCmdWriteFuse = 'L';
inline constexpr uint8_t kCmdReadLock = 'M';
inline constexpr uint8_t kCmdWriteLock = 'N';
inline constexpr uint8_t kCmdReadCalibration = 'O';
inline constexpr uint8_t kCmdEraseFollowUp = 'Q';
inline constexpr uint8_t kCmdTiming = 'T';

// The byte the box sends when a command is complete.
constexpr uint8_t Ack(uint8_t command) { return static_cast<uint8_t>(command + 0x40); }
inline constexpr uint8_t kPieceAck = 0x01;      // after each 32-byte piece of F
inline constexpr uint8_t kRefusedAck = 0xFE;    // A: the device refused programming mode
inline constexpr uint32_t kFlashPieceBytes = 32;
inline constexpr uint32_t kEepromPageSendBytes = 2;

// Command, address bits 16..23, 8..15, 0..7, count bits 8..15, 0..7.
using MemoryRequest = std::array<uint8_t, 6>;
MemoryRequest BuildMemoryRequest(uint8_t command, uint32_t address, uint32_t count);

// 'T', two delay codes, six timing bytes passed through.
using TimingRequest = std::array<uint8_t, 9>;

// Delay code of a duration of n microseconds: n - 2 up to 100, above that
// ceil(n / 100.5) + 128 (the coarse scale); the low eight bits are sent.
uint8_t EncodeDelay(int64_t micros);

// Duration of `cycles` device clock cycles in microseconds, rounded up.
// The frequency must not be 0.
int64_t CyclesToMicros(uint32_t cycles, uint32_t clockHz);

// The timing request for a device record: delay codes from timing bytes 0 and
// 1, timing bytes 2..7 passed through. Empty when clockHz is 0, which has no
// delay to compute.
std::optional<TimingRequest> BuildDeviceTimingRequest(const AVR_DEVICE& device, uint32_t clockHz);

// The timing request sent before the device is known: five cycles for both
// delays and the pass-through bytes of the AT90S1200.
inline constexpr std::array<uint8_t, 6> kGenericTimingBytes = {0x03, 0x02, 0x92, 0x5A, 0x5A, 0x5A};
std::optional<TimingRequest> BuildGenericTimingRequest(uint32_t clockHz);

// Link settings.
inline constexpr std::array<uint8_t, 6> kLatencyTable = {2, 16, 32, 48, 64, 96};
// Latency timer for a USB timing setting; values outside 0..5 are clamped.
uint8_t LatencyForUsbTiming(int32_t usbTiming);
// Baud rate for a data speed setting: 1 38400, 2 28800, 3 19200, 4 14400,
// anything else 38400.
uint32_t BaudForDataSpeed(int32_t dataSpeed);

}  // namespace oriole
