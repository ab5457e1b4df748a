#pragma once
// The built-in catalogue of supported AVR devices. Constant data compiled into
// the program; nothing writes it at run time.
//
// Rows are addressed by index: row 0 is the no-device row ("(auto)" in the
// device list), rows 1..kDeviceCount are the devices, and the row after them
// is the end marker (id -1). Every walk starts at row 1 and stops at the end
// marker.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace oriole {

// How the fuse bytes are read and compared. The families differ in how many
// fuse bytes they have and in the instructions that reach them.
enum class FuseGroup {
    Current,      // K / L per byte of the fuse mask
    SingleLow,    // ATtiny12, AT90S4433: one byte, read with K 1 as the low byte
    InLockByte,   // AT90S4434, AT90S8535: one bit, read with the lock bits (M)
    None,         // AT90S1200, AT90S2313, AT90S8515
};

// The N command that writes the lock bits.
enum class LockGroup {
    L1,    // N (lock | 0xF9), 0x00
    L2,    // N 0xE0, (lock | 0xFC)
    L3,    // N 0xE0, (lock | 0xC0)
    None,  // no lock write command is known
};

// The instruction that programs the fuses.
enum class FuseWrite {
    PerByte,      // L with selector 4, 2, 1 for each byte of the fuse mask
    LockLowInQ,   // N 0xA0, low: the whole byte in N's second argument (ATtiny12)
    LockLow5InP,  // N (low & 0x1F) | 0xA0, 0x00: bits 0..4 in the first (AT90S4433)
    LockLow1InP,  // N (low & 0x01) | 0xBE, 0x00: bit 0 in the first (AT90S4434, AT90S8535)
    None,         // nothing to write
};

struct AVR_DEVICE {
    int32_t id;                           // unique; 0 no-device row, -1 end marker
    const char* name;                     // shown in the device list; "" in both sentinels
    std::array<uint8_t, 3> signature;     // bytes 0, 1, 2 as returned by command C
    uint8_t family;                       // 0, 1 or 2; informative only
    int32_t flashWords;                   // FLASH size in 16-bit words
    int32_t flashPages;                   // 1 = no page programming
    int32_t flashPageWords;
    int32_t eepromBytes;
    int32_t eepromPages;                  // 1 = no page programming
    int32_t eepromPageBytes;
    std::array<uint8_t, 8> timing;        // writer timing bytes 0..7
    int32_t fuseMask;                     // bit 0 low, 1 high, 2 extended, 3 single old-style byte
    std::array<int32_t, 8> extFuseBits;   // name index per bit in the fuse-bit name table
    std::array<int32_t, 8> highFuseBits;
    std::array<int32_t, 8> lowFuseBits;   // also the single fuse byte of fuse mask 8
    std::array<int32_t, 8> lockBits;      // name index per bit in the lock-bit name table
    bool calibControls;                   // selecting it enables the calibration controls

    // How the commands address the device, where it differs from the rest.
    FuseGroup fuseGroup;
    FuseWrite fuseWrite;
    LockGroup lockGroup;
    uint8_t forcedHighOnes;               // set in the high and low bytes before writing
    uint8_t forcedLowOnes;                //   and comparing (ATmega163)
    int32_t flashChunkWords;              // G block without page programming; 0 when paged
    int32_t eepromChunkBytes;             // J block without page programming; 0 when paged
    std::span<const uint8_t> eraseFollowUps;  // Q values after the chip erase, then D again
    bool enableNotEchoed;                 // the box's refusal of A (0xFE) means nothing

    bool HasPagedFlash() const { return flashPages >= 2; }
    bool HasPagedEeprom() const { return eepromPages >= 2; }
    int32_t FlashBytes() const { return flashWords * 2; }
    // The lock bits are read with the fuse instructions' M; the devices
    // without fuses have no command that reads them back, although AT90S8515
    // can write them.
    bool LockBitsReadable() const { return fuseGroup != FuseGroup::None; }
};

// Fuse-mask bits.
inline constexpr int32_t kFuseLow = 1;
inline constexpr int32_t kFuseHigh = 2;
inline constexpr int32_t kFuseExt = 4;
inline constexpr int32_t kFuseSingle = 8;

inline constexpr int kDeviceCount = 64;
inline constexpr int kEndMarkerRow = kDeviceCount + 1;

// All rows, sentinels included (kDeviceCount + 2 entries).
std::span<const AVR_DEVICE> DeviceTable();

// Row by index; any index outside 0..kEndMarkerRow yields the end marker.
const AVR_DEVICE& DeviceAt(int row);

// Row of the first device (from row 1, up to the end marker) with these
// signature bytes, or 0 when none matches. Row 0 never matches.
int FindDeviceBySignature(uint8_t sig0, uint8_t sig1, uint8_t sig2);

// Row of the device with this id, or 0 when none (id 0 itself gives 0).
int FindDeviceById(int32_t id);

// Row of the device whose name equals `name` without regard to case, or 0.
int FindDeviceByName(std::string_view name);

// Indices into the fuse-bit name table, spelled as the bit names, so that a
// layout reads {0, CKSEL0}, {1, CKSEL1}, ...
// clang-format off
namespace fuse_bit {
enum Index : int32_t {
    kUnused = 0,
    BODEN, BODLEVEL, BODLEVEL0, BODLEVEL1, BODLEVEL2, BOOTRST, BOOTSZ0, BOOTSZ1, CKDIV8,
    CKOPT, CKOUT, CKSEL0, CKSEL1, CKSEL2, CKSEL3, DWEN, EESAVE, FSTRT, JTAGEN,
    M103C, M161C, OCDEN, PLLCK, RSTDISBL, S8515C, S8535C, SELFPRGEN, SPIEN, SUT0,
    SUT1, TA0SEL, WDTON, PSCRV, PSC0RB, PSC1RB, PSC2RB, HWBE,
};
// clang-format on
}  // namespace fuse_bit

// Indices into the lock-bit name table.
namespace lock_bit {
enum Index : int32_t { kUnused = 0, LB1, LB2, BLB01, BLB02, BLB11, BLB12 };
}  // namespace lock_bit

// Name tables; index 0 and any index out of range give "".
inline constexpr int kFuseBitNameCount = 38;
inline constexpr int kLockBitNameCount = 7;
const char* FuseBitName(int index);
const char* LockBitName(int index);

// Calibration frequencies of a device by id, index 0 first; the index in this
// list is the byte sent with the calibration read command. Empty when the
// device has none.
std::span<const char* const> CalibrationFrequencies(int32_t id);

}  // namespace oriole
