#include "ops/DeviceGroups.h"

#include <span>

namespace oriole {

namespace {

struct IdRange {
    int32_t first;
    int32_t last;
};

bool InRanges(std::span<const IdRange> ranges, int32_t id) {
    for (const IdRange& r : ranges)
        if (id >= r.first && id <= r.last) return true;
    return false;
}

// The devices of the current serial-programming instruction set: every
// ATtiny but the ATtiny12, every ATmega, the AT90PWM, AT90USB and AT90CAN.
// ATmega329P (82) belongs here with its siblings: it has their three fuse
// bytes and lock byte, and leaving it out would make its fuse write report
// success without sending anything.
constexpr IdRange kCurrent[] = {
    {7, 7},     {24, 28},   {36, 40},   {54, 61},   {66, 74},   {82, 88},   {93, 94},
    {98, 102},  {104, 106}, {114, 116}, {305, 307}, {322, 322}, {337, 337}, {353, 354},
    {369, 370},
};
constexpr IdRange kSingleLow[] = {{5, 5}, {35, 35}};
constexpr IdRange kInLockByte[] = {{34, 34}, {51, 51}};

constexpr IdRange kLockL1[] = {{5, 5}, {34, 35}, {49, 49}, {51, 51}};
// The current devices with two lock bits only.
constexpr IdRange kLockL2[] = {{7, 7}, {24, 28}, {36, 40}, {59, 61}};
constexpr IdRange kLockL3[] = {
    {54, 58},   {66, 74},   {82, 88},   {93, 94},   {98, 102},  {104, 106}, {114, 116},
    {305, 307}, {322, 322}, {337, 337}, {353, 354}, {369, 370},
};

}  // namespace

FuseGroup FuseGroupOf(int32_t id) {
    if (InRanges(kCurrent, id)) return FuseGroup::Current;
    if (InRanges(kSingleLow, id)) return FuseGroup::SingleLow;
    if (InRanges(kInLockByte, id)) return FuseGroup::InLockByte;
    return FuseGroup::None;
}

LockGroup LockGroupOf(int32_t id) {
    if (InRanges(kLockL1, id)) return LockGroup::L1;
    if (InRanges(kLockL2, id)) return LockGroup::L2;
    if (InRanges(kLockL3, id)) return LockGroup::L3;
    return LockGroup::None;
}

}  // namespace oriole
