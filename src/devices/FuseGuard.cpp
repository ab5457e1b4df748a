#include "devices/FuseGuard.h"

#include <string_view>

namespace oriole {

namespace {

struct ByteView {
    int32_t maskBits;  // fuse-mask bits that say the byte exists
    const std::array<int32_t, 8> AVR_DEVICE::*names;
    uint8_t FuseBytes::*value;
};

constexpr ByteView kBytes[] = {
    {kFuseExt, &AVR_DEVICE::extFuseBits, &FuseBytes::ext},
    {kFuseHigh, &AVR_DEVICE::highFuseBits, &FuseBytes::high},
    {kFuseLow | kFuseSingle, &AVR_DEVICE::lowFuseBits, &FuseBytes::low},
};

uint8_t NamedBits(const std::array<int32_t, 8>& names) {
    uint8_t bits = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (names[static_cast<size_t>(bit)] != fuse_bit::kUnused)
            bits = static_cast<uint8_t>(bits | (1u << bit));
    return bits;
}

bool IsClockSource(int32_t name) {
    return name == fuse_bit::CKSEL0 || name == fuse_bit::CKSEL1 || name == fuse_bit::CKSEL2 ||
           name == fuse_bit::CKSEL3;
}

}  // namespace

unsigned FuseWriteRisks(const AVR_DEVICE& device, const FuseBytes& current,
                        const FuseBytes& wanted) {
    unsigned risks = 0;
    for (const ByteView& b : kBytes) {
        if ((device.fuseMask & b.maskBits) == 0) continue;
        const std::array<int32_t, 8>& names = device.*b.names;
        for (int bit = 0; bit < 8; ++bit) {
            const int32_t name = names[static_cast<size_t>(bit)];
            const bool was = ((current.*b.value >> bit) & 1u) != 0;
            const bool will = ((wanted.*b.value >> bit) & 1u) != 0;
            if (name == fuse_bit::SPIEN && will) risks |= fuse_risk::kReleasesSpien;
            if (name == fuse_bit::RSTDISBL && was && !will) risks |= fuse_risk::kProgramsRstdisbl;
            if (name == fuse_bit::DWEN && was && !will) risks |= fuse_risk::kProgramsDwen;
            if (IsClockSource(name) && was != will) risks |= fuse_risk::kChangesClock;
        }
    }
    return risks;
}

uint8_t NamedFuseBits(const AVR_DEVICE& device, int32_t byte) {
    for (const ByteView& b : kBytes)
        if ((b.maskBits & byte) != 0)
            return (device.fuseMask & b.maskBits) ? NamedBits(device.*b.names) : 0;
    return 0;
}

uint8_t NamedLockBits(const AVR_DEVICE& device) {
    return NamedBits(device.lockBits);
}

FuseBytes FuseBytesAsRead(const AVR_DEVICE& device, const FuseBytes& written) {
    const auto asRead = [&](int32_t byte, uint8_t value) {
        return static_cast<uint8_t>(value | static_cast<uint8_t>(~NamedFuseBits(device, byte)));
    };
    return {asRead(kFuseExt, written.ext), asRead(kFuseHigh, written.high), asRead(kFuseLow, written.low)};
}

uint8_t LockBitsAsRead(const AVR_DEVICE& device, uint8_t written) {
    return static_cast<uint8_t>(written | static_cast<uint8_t>(~NamedLockBits(device)));
}

int LockModeOf(const AVR_DEVICE& device, uint8_t lock) {
    int programmed = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const int32_t name = device.lockBits[static_cast<size_t>(bit)];
        if ((name == lock_bit::LB1 || name == lock_bit::LB2) && ((lock >> bit) & 1u) == 0) ++programmed;
    }
    return 1 + programmed;
}

}  // namespace oriole
