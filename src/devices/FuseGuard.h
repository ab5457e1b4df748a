#pragma once
// What a fuse write would do to the way back into the device. The writer
// box programs over ISP: releasing SPIEN, programming RSTDISBL or DWEN, or a
// clock source the board does not have leaves a chip it can no longer reach.

#include <cstdint>

#include "devices/Devices.h"

namespace oriole {

struct FuseBytes {
    uint8_t ext = 0xFF;
    uint8_t high = 0xFF;
    uint8_t low = 0xFF;  // also the single fuse byte of the older devices
};

namespace fuse_risk {
inline constexpr unsigned kReleasesSpien = 1;     // a named SPIEN bit would be 1
inline constexpr unsigned kProgramsRstdisbl = 2;  // RSTDISBL goes from 1 to 0
inline constexpr unsigned kProgramsDwen = 4;      // DWEN goes from 1 to 0
inline constexpr unsigned kChangesClock = 8;      // a CKSEL bit changes
}  // namespace fuse_risk

// The risks of writing `wanted` over `current`, looking only at the bytes the
// device has and the bits its layout names.
unsigned FuseWriteRisks(const AVR_DEVICE& device, const FuseBytes& current,
                        const FuseBytes& wanted);

// The bits of a fuse byte (kFuseLow, kFuseHigh or kFuseExt) that the device's
// layout names; 0 when the device has no such byte. The low byte stands for
// the single fuse byte too.
uint8_t NamedFuseBits(const AVR_DEVICE& device, int32_t byte);
uint8_t NamedLockBits(const AVR_DEVICE& device);

// What a read gives back after `written`: the bits the device's layout does
// not name read as 1, so a compare looks only at the bits the device has.
FuseBytes FuseBytesAsRead(const AVR_DEVICE& device, const FuseBytes& written);
uint8_t LockBitsAsRead(const AVR_DEVICE& device, uint8_t written);

// What a lock value leaves open, from its LB1 and LB2 bits where the
// device's layout names them: mode 1 everything; mode 2 no further
// programming of FLASH and EEPROM (LB1 or LB2 programmed); mode 3 neither
// programming nor verification reads (both programmed). Only a chip erase
// opens a locked chip again.
int LockModeOf(const AVR_DEVICE& device, uint8_t lock);

}  // namespace oriole
