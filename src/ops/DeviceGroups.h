#pragma once
// How the fuse and lock operations address each device: the families differ
// in how many fuse bytes they have and in the instruction that programs them.

#include <cstdint>

namespace oriole {

enum class FuseGroup {
    Current,      // K / L per byte of the fuse mask (ATmega163 with its forcing)
    SingleLow,    // ATtiny12, AT90S4433: one low byte
    InLockByte,   // AT90S4434, AT90S8535: one bit, read with the lock bits
    None,         // AT90S1200, AT90S2313, AT90S8515
};

enum class LockGroup {
    L1,    // N (lock | 0xF9), 0x00
    L2,    // N 0xE0, (lock | 0xFC)
    L3,    // N 0xE0, (lock | 0xC0)
    None,  // no lock write command is known
};

FuseGroup FuseGroupOf(int32_t id);
LockGroup LockGroupOf(int32_t id);

// The lock bits are read with the fuse instructions' M; the devices without
// fuses have no command that reads them back, although AT90S8515 can write
// them. Every fuse group that writes also reads.
inline bool LockBitsReadable(int32_t id) { return FuseGroupOf(id) != FuseGroup::None; }

// ATmega163: bits 0xF8 of the high byte and 0x30 of the low byte are forced
// to 1 before writing and comparing.
inline constexpr int32_t kIdAtmega163 = 66;
inline constexpr uint8_t kMega163HighOnes = 0xF8;
inline constexpr uint8_t kMega163LowOnes = 0x30;

inline constexpr int32_t kIdAttiny12 = 5;
inline constexpr int32_t kIdAt90s4433 = 35;

}  // namespace oriole
