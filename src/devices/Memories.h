#pragma once
// The memories of a device and what the writer box can do with each of them:
// the one answer every front end and the core ask before they touch one.

#include <cstdint>

#include "devices/Devices.h"

namespace oriole {

// A device's memories as avrdude names them (the names themselves live with
// the terminal). LowFuse also stands for the single fuse byte of the older
// devices, as the catalogue's low-byte columns do.
enum class Memory { Flash, Eeprom, LowFuse, HighFuse, ExtFuse, Lock, Calibration, Signature };

inline constexpr Memory kAllMemories[] = {Memory::Flash,       Memory::Eeprom,   Memory::LowFuse,
                                          Memory::HighFuse,    Memory::ExtFuse,  Memory::Lock,
                                          Memory::Calibration, Memory::Signature};

struct MemoryInfo {
    Memory kind;
    uint32_t size;  // bytes; 0 where the device does not have the memory
    bool readable;  // the box can read it from the device
    bool writable;  // the box can program it

    bool Present() const { return size != 0; }
};

// What `device` has of `kind`. The no-device row and the end marker have
// nothing; a memory that is not there is neither readable nor writable.
MemoryInfo DescribeMemory(const AVR_DEVICE& device, Memory kind);

inline bool HasMemory(const AVR_DEVICE& device, Memory kind) {
    return DescribeMemory(device, kind).Present();
}

// Whether the device has any fuse byte at all.
bool HasFuses(const AVR_DEVICE& device);

// The fuse-mask selector of a fuse memory (kFuseLow for LowFuse, also the
// single byte); 0 for the others.
int32_t FuseSelectorOf(Memory kind);

}  // namespace oriole
