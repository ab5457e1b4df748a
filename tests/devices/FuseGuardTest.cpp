#include "devices/FuseGuard.h"

#include <gtest/gtest.h>

namespace oriole {
namespace {

using namespace fuse_risk;

TEST(FuseGuard, RisksOfAWrite) {
    const struct {
        const char* device;
        FuseBytes current;
        FuseBytes wanted;
        unsigned risks;
    } cases[] = {
        {"ATmega328P", {0xFF, 0xD9, 0x62}, {0xFF, 0xD9, 0x62}, 0},
        {"ATmega328P", {0xFF, 0xD9, 0x62}, {0xFD, 0xDE, 0xE2}, 0},  // bootloader size, CKDIV8 only
        {"ATmega328P", {0xFF, 0xD9, 0x62}, {0xFD, 0xDE, 0xFF}, kChangesClock},  // the Uno's crystal
        {"ATmega328P", {0xFF, 0xD9, 0x62}, {0xFF, 0xF9, 0x62}, kReleasesSpien},
        {"ATmega328P", {0xFF, 0xD9, 0x62}, {0xFF, 0x59, 0x62}, kProgramsRstdisbl},
        {"ATmega328P", {0xFF, 0xD9, 0x62}, {0xFF, 0x99, 0x62}, kProgramsDwen},
        {"ATmega328P", {0xFF, 0x19, 0x62}, {0xFF, 0x19, 0x62}, 0},  // already programmed: no change
        {"ATmega328P",
         {0xFF, 0xD9, 0x62},
         {0xFF, 0x39, 0x60},
         kReleasesSpien | kProgramsRstdisbl | kProgramsDwen | kChangesClock},
        {"ATtiny13", {0xFF, 0xFF, 0x6A}, {0x00, 0xFF, 0x6A}, 0},  // no extended byte
        {"ATtiny13",
         {0xFF, 0xFF, 0x6A},
         {0xFF, 0xFF, 0xEA},
         kReleasesSpien},  // SPIEN in the low byte
        {"ATmega8", {0xFF, 0xD9, 0xE1}, {0xFF, 0xD9, 0xE4}, kChangesClock},
        {"AT90S4433", {0xFF, 0xFF, 0xDA}, {0xFF, 0xFF, 0xFA}, kReleasesSpien},  // single fuse byte
        {"AT90S1200", {0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00}, 0},               // no fuses at all
    };
    for (const auto& c : cases) {
        const AVR_DEVICE& d = DeviceAt(FindDeviceByName(c.device));
        EXPECT_EQ(FuseWriteRisks(d, c.current, c.wanted), c.risks)
            << c.device << " " << int(c.wanted.ext) << ":" << int(c.wanted.high) << ":"
            << int(c.wanted.low);
    }
}

TEST(FuseGuard, NamedBits) {
    const AVR_DEVICE& m328p = DeviceAt(FindDeviceByName("ATmega328P"));
    EXPECT_EQ(NamedFuseBits(m328p, kFuseExt), 0x07);
    EXPECT_EQ(NamedFuseBits(m328p, kFuseHigh), 0xFF);
    EXPECT_EQ(NamedLockBits(m328p), 0x3F);
    const AVR_DEVICE& t13 = DeviceAt(FindDeviceByName("ATtiny13"));
    EXPECT_EQ(NamedFuseBits(t13, kFuseExt), 0x00);
    EXPECT_EQ(NamedLockBits(t13), 0x03);
}

}  // namespace
}  // namespace oriole
