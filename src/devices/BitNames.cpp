#include "devices/Devices.h"

namespace oriole {

namespace {

// clang-format off
// Indexed by fuse_bit::Index; the order of the two lists must stay the same.
constexpr std::array<const char*, kFuseBitNameCount> kFuseBitNames = {
    "",         "BODEN",     "BODLEVEL", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "BOOTRST",
    "BOOTSZ0",  "BOOTSZ1",   "CKDIV8",   "CKOPT",     "CKOUT",     "CKSEL0",    "CKSEL1",
    "CKSEL2",   "CKSEL3",    "DWEN",     "EESAVE",    "FSTRT",     "JTAGEN",    "M103C",
    "M161C",    "OCDEN",     "PLLCK",    "RSTDISBL",  "S8515C",    "S8535C",    "SELFPRGEN",
    "SPIEN",    "SUT0",      "SUT1",     "TA0SEL",    "WDTON",     "PSCRV",     "PSC0RB",
    "PSC1RB",   "PSC2RB",    "HWBE",
};
// clang-format on

// Indexed by lock_bit::Index.
constexpr std::array<const char*, kLockBitNameCount> kLockBitNames = {
    "", "LB1", "LB2", "BLB01", "BLB02", "BLB11", "BLB12",
};

// The enums and the tables are kept side by side by hand; catch a shift at
// compile time at both ends and at a few points in between.
constexpr bool NameIs(const char* name, std::string_view expected) {
    return expected == name;
}
static_assert(fuse_bit::HWBE + 1 == kFuseBitNameCount);
static_assert(NameIs(kFuseBitNames[fuse_bit::BODEN], "BODEN"));
static_assert(NameIs(kFuseBitNames[fuse_bit::CKSEL0], "CKSEL0"));
static_assert(NameIs(kFuseBitNames[fuse_bit::RSTDISBL], "RSTDISBL"));
static_assert(NameIs(kFuseBitNames[fuse_bit::WDTON], "WDTON"));
static_assert(NameIs(kFuseBitNames[fuse_bit::HWBE], "HWBE"));
static_assert(lock_bit::BLB12 + 1 == kLockBitNameCount);
static_assert(NameIs(kLockBitNames[lock_bit::LB1], "LB1"));
static_assert(NameIs(kLockBitNames[lock_bit::BLB12], "BLB12"));

}  // namespace

const char* FuseBitName(int index) {
    if (index < 0 || index >= kFuseBitNameCount) return "";
    return kFuseBitNames[static_cast<size_t>(index)];
}

const char* LockBitName(int index) {
    if (index < 0 || index >= kLockBitNameCount) return "";
    return kLockBitNames[static_cast<size_t>(index)];
}

}  // namespace oriole
