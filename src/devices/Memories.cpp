#include "devices/Memories.h"

#include "devices/FuseGuard.h"

namespace oriole {

namespace {

using Size = uint32_t (*)(const AVR_DEVICE&);
using Ability = bool (*)(const AVR_DEVICE&);

// One memory kind: where the catalogue says how large it is and what the box
// can do with it.
struct MemoryRule {
    Memory kind;
    Size size;
    Ability readable;
    Ability writable;
};

constexpr bool Always(const AVR_DEVICE&) { return true; }
constexpr bool Never(const AVR_DEVICE&) { return false; }

// The fuse bytes are reached by the device's fuse group and fuse write: the
// read follows the fuse group, the write its own instruction.
constexpr bool FusesReadable(const AVR_DEVICE& d) { return d.fuseGroup != FuseGroup::None; }
constexpr bool FusesWritable(const AVR_DEVICE& d) { return d.fuseWrite != FuseWrite::None; }

template <int32_t kMaskBits>
constexpr uint32_t FuseByte(const AVR_DEVICE& d) {
    return (d.fuseMask & kMaskBits) != 0 ? 1 : 0;
}

// clang-format off
constexpr MemoryRule kRules[] = {
    {Memory::Flash,       [](const AVR_DEVICE& d) { return static_cast<uint32_t>(d.FlashBytes()); },
                          Always, Always},
    {Memory::Eeprom,      [](const AVR_DEVICE& d) { return static_cast<uint32_t>(d.eepromBytes); },
                          Always, Always},
    {Memory::LowFuse,     FuseByte<kFuseLow | kFuseSingle>, FusesReadable, FusesWritable},
    {Memory::HighFuse,    FuseByte<kFuseHigh>, FusesReadable, FusesWritable},
    {Memory::ExtFuse,     FuseByte<kFuseExt>, FusesReadable, FusesWritable},
    // The lock bits come back through the fuse instructions only (see
    // LockBitsReadable); the write needs the device's lock group.
    {Memory::Lock,        [](const AVR_DEVICE& d) { return NamedLockBits(d) != 0 ? 1u : 0u; },
                          [](const AVR_DEVICE& d) { return d.LockBitsReadable(); },
                          [](const AVR_DEVICE& d) { return d.lockGroup != LockGroup::None; }},
    // One byte per factory frequency, each read by its index; none is programmable.
    {Memory::Calibration, [](const AVR_DEVICE& d) {
                              return static_cast<uint32_t>(CalibrationFrequencies(d.id).size()); },
                          Always, Never},
    // Read by every detection; the sentinels have none.
    {Memory::Signature,   [](const AVR_DEVICE& d) { return d.id > 0 ? 3u : 0u; }, Always, Never},
};
// clang-format on

constexpr bool RulesInEnumOrder() {
    for (size_t i = 0; i < std::size(kRules); ++i)
        if (kRules[i].kind != static_cast<Memory>(i)) return false;
    return std::size(kRules) == std::size(kAllMemories);
}
static_assert(RulesInEnumOrder());

}  // namespace

MemoryInfo DescribeMemory(const AVR_DEVICE& device, Memory kind) {
    const MemoryRule& rule = kRules[static_cast<size_t>(kind)];
    const uint32_t size = device.id > 0 ? rule.size(device) : 0;
    return {kind, size, size != 0 && rule.readable(device), size != 0 && rule.writable(device)};
}

bool HasFuses(const AVR_DEVICE& device) {
    return HasMemory(device, Memory::LowFuse) || HasMemory(device, Memory::HighFuse) ||
           HasMemory(device, Memory::ExtFuse);
}

int32_t FuseSelectorOf(Memory kind) {
    switch (kind) {
        case Memory::LowFuse: return kFuseLow;
        case Memory::HighFuse: return kFuseHigh;
        case Memory::ExtFuse: return kFuseExt;
        default: return 0;
    }
}

}  // namespace oriole
