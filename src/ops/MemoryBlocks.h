#pragma once
// How FLASH and EEPROM are cut into blocks for programming, and which parts
// of an image a verify has to read back.

#include <cstdint>
#include <vector>

#include "devices/Devices.h"
#include "image/ImageBuffer.h"

namespace oriole {

// The programming block of each memory, in bytes: the page, or the chunk on
// the devices without page programming.
uint32_t FlashBlockBytes(const AVR_DEVICE& device);
uint32_t EepromBlockBytes(const AVR_DEVICE& device);

// Bytes first .. first + size - 1 of a memory.
struct ByteSpan {
    uint32_t first = 0;
    uint32_t size = 0;
    bool operator==(const ByteSpan&) const = default;
};

// The most one E or H request can ask for: the 16-bit count, where 0 stands
// for 65 536 (FLASH words or EEPROM bytes).
inline constexpr uint32_t kMaxReadCount = 0x10000;

// What a verify of `image` has to read. A cell without data matches whatever
// the device holds, so blocks (of `blockBytes`) without data are left out;
// each run of consecutive blocks with data becomes one span, trimmed to its
// first and last cell with data, widened to whole units of `unitBytes`
// (2 for FLASH words) and cut where it would exceed `maxBytes`.
std::vector<ByteSpan> VerifySpans(const ImageBuffer& image, uint32_t blockBytes, uint32_t unitBytes,
                                  uint32_t maxBytes);

}  // namespace oriole
