#include "devices/Devices.h"

#include <initializer_list>

namespace oriole {

namespace {

using namespace fuse_bit;
using namespace lock_bit;

using BitNames = std::array<int32_t, 8>;

// One named bit of a layout: bit number 0..7 and the index of its name.
struct FuseBitAt {
    int bit;
    fuse_bit::Index name;
};
struct LockBitAt {
    int bit;
    lock_bit::Index name;
};

// Builds the eight name indices of one byte from its named bits; the other
// bits stay 0 (unused). A bit number outside 0..7 fails to compile.
constexpr BitNames FuseBits(std::initializer_list<FuseBitAt> named) {
    BitNames out{};
    for (const FuseBitAt& b : named) out[static_cast<size_t>(b.bit)] = b.name;
    return out;
}
constexpr BitNames LockBits(std::initializer_list<LockBitAt> named) {
    BitNames out{};
    for (const LockBitAt& b : named) out[static_cast<size_t>(b.bit)] = b.name;
    return out;
}

// The names of every fuse and lock bit of a device family.
struct BitLayout {
    BitNames ext;
    BitNames high;
    BitNames low;  // also the single fuse byte of the older devices
    BitNames lock;
};

// clang-format off
// Bytes that many layouts share.
constexpr BitNames kNone{};
constexpr BitNames kLockOld = LockBits({{1, LB1}, {2, LB2}});
constexpr BitNames kLockPair = LockBits({{0, LB1}, {1, LB2}});
constexpr BitNames kLockBoot =
    LockBits({{0, LB1}, {1, LB2}, {2, BLB01}, {3, BLB02}, {4, BLB11}, {5, BLB12}});
constexpr BitNames kHighJtag = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                                         {4, WDTON}, {5, SPIEN}, {6, JTAGEN}, {7, OCDEN}});
constexpr BitNames kHighDebugWire =
    FuseBits({{0, BODLEVEL0}, {1, BODLEVEL1}, {2, BODLEVEL2}, {3, EESAVE},
              {4, WDTON}, {5, SPIEN}, {6, DWEN}, {7, RSTDISBL}});
constexpr BitNames kLowClockOut = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, CKSEL2}, {3, CKSEL3},
                                            {4, SUT0}, {5, SUT1}, {6, CKOUT}, {7, CKDIV8}});
constexpr BitNames kLowBrownOut = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, CKSEL2}, {3, CKSEL3},
                                            {4, SUT0}, {5, SUT1}, {6, BODEN}, {7, BODLEVEL}});

// Layouts, each followed by the devices that use it.
// AT90S1200, AT90S8515
constexpr BitLayout kL1{.ext = kNone, .high = kNone, .low = kNone, .lock = kLockOld};
// AT90S2313
constexpr BitLayout kL2{.ext = kNone, .high = kNone, .low = kNone, .lock = kLockPair};
// AT90S4434, AT90S8535
constexpr BitLayout kL3{
    .ext = kNone, .high = kNone, .low = FuseBits({{0, FSTRT}}), .lock = kLockOld};
// AT90S4433
constexpr BitLayout kL4{
    .ext = kNone,
    .high = kNone,
    .low = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, CKSEL2}, {3, BODEN}, {4, BODLEVEL}, {5, SPIEN}}),
    .lock = kLockOld,
};
// AT90CAN32, AT90CAN64, AT90CAN128
constexpr BitLayout kL5{
    .ext = FuseBits({{0, TA0SEL}, {1, BODLEVEL0}, {2, BODLEVEL1}, {3, BODLEVEL2}}),
    .high = kHighJtag,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// AT90PWM2/3, AT90PWM2B/3B
constexpr BitLayout kL6{
    .ext = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {4, PSCRV},
                     {5, PSC0RB}, {6, PSC1RB}, {7, PSC2RB}}),
    .high = kHighDebugWire,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// AT90USB82, AT90USB162
constexpr BitLayout kL7{
    .ext = FuseBits({{0, BODLEVEL0}, {1, BODLEVEL1}, {2, BODLEVEL2}, {3, HWBE}}),
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, WDTON}, {5, SPIEN}, {6, RSTDISBL}, {7, DWEN}}),
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// AT90USB646/647, AT90USB1286/1287
constexpr BitLayout kL8{
    .ext = FuseBits({{0, BODLEVEL0}, {1, BODLEVEL1}, {2, BODLEVEL2}, {3, HWBE}}),
    .high = kHighJtag,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// ATtiny12
constexpr BitLayout kL9{
    .ext = kNone,
    .high = kNone,
    .low = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, CKSEL2}, {3, CKSEL3},
                     {4, RSTDISBL}, {5, SPIEN}, {6, BODEN}, {7, BODLEVEL}}),
    .lock = kLockOld,
};
// ATtiny13
constexpr BitLayout kL10{
    .ext = kNone,
    .high = FuseBits({{0, RSTDISBL}, {1, BODLEVEL0}, {2, BODLEVEL1}, {3, DWEN}, {4, SELFPRGEN}}),
    .low = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, SUT0}, {3, SUT1},
                     {4, CKDIV8}, {5, WDTON}, {6, EESAVE}, {7, SPIEN}}),
    .lock = kLockPair,
};
// ATtiny26
constexpr BitLayout kL11{
    .ext = kNone,
    .high = FuseBits({{0, BODEN}, {1, BODLEVEL}, {2, EESAVE}, {3, SPIEN}, {4, RSTDISBL}}),
    .low = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, CKSEL2}, {3, CKSEL3},
                     {4, SUT0}, {5, SUT1}, {6, CKOPT}, {7, PLLCK}}),
    .lock = kLockPair,
};
// ATtiny2313
constexpr BitLayout kL12{
    .ext = FuseBits({{0, SELFPRGEN}}),
    .high = FuseBits({{0, RSTDISBL}, {1, BODLEVEL0}, {2, BODLEVEL1}, {3, BODLEVEL2},
                      {4, WDTON}, {5, SPIEN}, {6, EESAVE}, {7, DWEN}}),
    .low = kLowClockOut,
    .lock = kLockPair,
};
// ATtiny24, ATtiny44, ATtiny84, ATtiny25, ATtiny45, ATtiny85, ATtiny261, ATtiny461, ATtiny861,
// ATmega48, ATmega48P/PA
constexpr BitLayout kL13{
    .ext = FuseBits({{0, SELFPRGEN}}),
    .high = kHighDebugWire,
    .low = kLowClockOut,
    .lock = kLockPair,
};
// ATmega8
constexpr BitLayout kL14{
    .ext = kNone,
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, CKOPT}, {5, SPIEN}, {6, WDTON}, {7, RSTDISBL}}),
    .low = kLowBrownOut,
    .lock = kLockBoot,
};
// ATmega8515
constexpr BitLayout kL15{
    .ext = kNone,
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, CKOPT}, {5, SPIEN}, {6, WDTON}, {7, S8515C}}),
    .low = kLowBrownOut,
    .lock = kLockBoot,
};
// ATmega8535
constexpr BitLayout kL16{
    .ext = kNone,
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, CKOPT}, {5, SPIEN}, {6, WDTON}, {7, S8535C}}),
    .low = kLowBrownOut,
    .lock = kLockBoot,
};
// ATmega88, ATmega88P/PA, ATmega168, ATmega168P/PA
constexpr BitLayout kL17{
    .ext = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}}),
    .high = kHighDebugWire,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// ATmega16
constexpr BitLayout kL18{
    .ext = kNone,
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, CKOPT}, {5, SPIEN}, {6, JTAGEN}, {7, OCDEN}}),
    .low = kLowBrownOut,
    .lock = kLockBoot,
};
// ATmega162
constexpr BitLayout kL19{
    .ext = FuseBits({{1, BODLEVEL0}, {2, BODLEVEL1}, {3, BODLEVEL2}, {4, M161C}}),
    .high = kHighJtag,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// ATmega163
constexpr BitLayout kL20{
    .ext = kNone,
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}}),
    .low = FuseBits({{0, CKSEL0}, {1, CKSEL1}, {2, CKSEL2}, {3, CKSEL3},
                     {5, SPIEN}, {6, BODEN}, {7, BODLEVEL}}),
    .lock = kLockBoot,
};
// ATmega165/P, ATmega169/P
constexpr BitLayout kL21{
    .ext = FuseBits({{1, BODLEVEL0}, {2, BODLEVEL1}, {3, BODLEVEL2}}),
    .high = kHighJtag,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// ATmega328P
constexpr BitLayout kL22{
    .ext = FuseBits({{0, BODLEVEL0}, {1, BODLEVEL1}, {2, BODLEVEL2}}),
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, WDTON}, {5, SPIEN}, {6, DWEN}, {7, RSTDISBL}}),
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// ATmega644, ATmega164P, ATmega324P, ATmega644P, ATmega640, ATmega1280, ATmega1281
constexpr BitLayout kL23{
    .ext = FuseBits({{0, BODLEVEL0}, {1, BODLEVEL1}, {2, BODLEVEL2}}),
    .high = kHighJtag,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// ATmega128, ATmega64
constexpr BitLayout kL24{
    .ext = FuseBits({{0, WDTON}, {1, M103C}}),
    .high = FuseBits({{0, BOOTRST}, {1, BOOTSZ0}, {2, BOOTSZ1}, {3, EESAVE},
                      {4, CKOPT}, {5, SPIEN}, {6, JTAGEN}, {7, OCDEN}}),
    .low = kLowBrownOut,
    .lock = kLockBoot,
};
// ATmega325, ATmega3250, ATmega645, ATmega6450, ATmega325P, ATmega3250P, ATmega329, ATmega329P,
// ATmega3290, ATmega3290P, ATmega649, ATmega6490
constexpr BitLayout kL25{
    .ext = FuseBits({{0, RSTDISBL}, {1, BODLEVEL0}, {2, BODLEVEL1}}),
    .high = kHighJtag,
    .low = kLowClockOut,
    .lock = kLockBoot,
};
// clang-format on

// How the commands address a kind of device: the fuse and lock instructions,
// the blocks of the memories without page programming, and what the erase
// and the programming enable need beyond the usual.
struct Handling {
    FuseGroup fuseGroup = FuseGroup::None;
    FuseWrite fuseWrite = FuseWrite::None;
    LockGroup lockGroup = LockGroup::None;
    uint8_t forcedHighOnes = 0;
    uint8_t forcedLowOnes = 0;
    int32_t flashChunkWords = 0;
    int32_t eepromChunkBytes = 0;
    std::span<const uint8_t> eraseFollowUps{};
    bool enableNotEchoed = false;
};

// The byte sequence the ATtiny12 needs after its chip erase; the writer's
// firmware knows what to do with it.
constexpr uint8_t kTiny12FollowUps[] = {0x40, 0x00, 0x00, 0xFF};

// clang-format off
// Devices older than the current serial-programming instruction set: FLASH
// and EEPROM in chunks (G, J), fuse and lock bits, where they can be written
// at all, through N. Each is followed by its devices.
// AT90S1200: it does not echo the programming enable, so the box answers A
// with its refusal byte although the device listens.
constexpr Handling kOld1200{.flashChunkWords = 32, .eepromChunkBytes = 32, .enableNotEchoed = true};
// AT90S2313
constexpr Handling kOld2313{.flashChunkWords = 32, .eepromChunkBytes = 32};
// AT90S8515: lock bits that it takes but cannot send back
constexpr Handling kOld8515{
    .lockGroup = LockGroup::L1, .flashChunkWords = 32, .eepromChunkBytes = 32};
// AT90S4434, AT90S8535
constexpr Handling kOldFuseInLock{
    .fuseGroup = FuseGroup::InLockByte, .fuseWrite = FuseWrite::LockLow1InP,
    .lockGroup = LockGroup::L1, .flashChunkWords = 32, .eepromChunkBytes = 32};
// AT90S4433
constexpr Handling kOld4433{
    .fuseGroup = FuseGroup::SingleLow, .fuseWrite = FuseWrite::LockLow5InP,
    .lockGroup = LockGroup::L1, .flashChunkWords = 32, .eepromChunkBytes = 32};
// ATtiny12: smaller chunks, and the follow-up of its erase
constexpr Handling kOldTiny12{
    .fuseGroup = FuseGroup::SingleLow, .fuseWrite = FuseWrite::LockLowInQ,
    .lockGroup = LockGroup::L1, .flashChunkWords = 4, .eepromChunkBytes = 4,
    .eraseFollowUps = kTiny12FollowUps};

// The current instruction set: every ATtiny but the ATtiny12, every ATmega,
// the AT90PWM, AT90USB and AT90CAN. Fuses byte by byte with K and L, FLASH
// always paged. ATmega329P belongs here with its siblings: it has their three
// fuse bytes and lock byte.
// Two lock bits, EEPROM paged: ATtiny13, ATtiny2313, ATtiny24/44/84, ATtiny25/45/85,
// ATtiny261/461/861, ATmega48, ATmega48P/PA
constexpr Handling kCurrentL2{
    .fuseGroup = FuseGroup::Current, .fuseWrite = FuseWrite::PerByte, .lockGroup = LockGroup::L2};
// Two lock bits, EEPROM in chunks: ATtiny26
constexpr Handling kCurrentL2Ee32{
    .fuseGroup = FuseGroup::Current, .fuseWrite = FuseWrite::PerByte, .lockGroup = LockGroup::L2,
    .eepromChunkBytes = 32};
// Six lock bits, EEPROM paged: the others
constexpr Handling kCurrentL3{
    .fuseGroup = FuseGroup::Current, .fuseWrite = FuseWrite::PerByte, .lockGroup = LockGroup::L3};
// Six lock bits, EEPROM in chunks: ATmega8, ATmega8515, ATmega8535, ATmega16, ATmega162,
// ATmega128, ATmega64
constexpr Handling kCurrentL3Ee32{
    .fuseGroup = FuseGroup::Current, .fuseWrite = FuseWrite::PerByte, .lockGroup = LockGroup::L3,
    .eepromChunkBytes = 32};
// ATmega163: bits 0xF8 of the high byte and 0x30 of the low byte are forced
// to 1 before writing and comparing.
constexpr Handling kMega163{
    .fuseGroup = FuseGroup::Current, .fuseWrite = FuseWrite::PerByte, .lockGroup = LockGroup::L3,
    .forcedHighOnes = 0xF8, .forcedLowOnes = 0x30, .eepromChunkBytes = 32};
// clang-format on

// One device row in the column order of the catalogue listing.
constexpr AVR_DEVICE Row(const char* name, int32_t id, std::array<uint8_t, 3> signature,
                         uint8_t family, int32_t flashWords, int32_t flashPages,
                         int32_t flashPageWords, int32_t eepromBytes, int32_t eepromPages,
                         int32_t eepromPageBytes, std::array<uint8_t, 8> timing, int32_t fuseMask,
                         bool calibControls, const BitLayout& layout, const Handling& handling) {
    return AVR_DEVICE{.id = id,
                      .name = name,
                      .signature = signature,
                      .family = family,
                      .flashWords = flashWords,
                      .flashPages = flashPages,
                      .flashPageWords = flashPageWords,
                      .eepromBytes = eepromBytes,
                      .eepromPages = eepromPages,
                      .eepromPageBytes = eepromPageBytes,
                      .timing = timing,
                      .fuseMask = fuseMask,
                      .extFuseBits = layout.ext,
                      .highFuseBits = layout.high,
                      .lowFuseBits = layout.low,
                      .lockBits = layout.lock,
                      .calibControls = calibControls,
                      .fuseGroup = handling.fuseGroup,
                      .fuseWrite = handling.fuseWrite,
                      .lockGroup = handling.lockGroup,
                      .forcedHighOnes = handling.forcedHighOnes,
                      .forcedLowOnes = handling.forcedLowOnes,
                      .flashChunkWords = handling.flashChunkWords,
                      .eepromChunkBytes = handling.eepromChunkBytes,
                      .eraseFollowUps = handling.eraseFollowUps,
                      .enableNotEchoed = handling.enableNotEchoed};
}

// Row 0, the no-device row behind "(auto)": nothing but the default timing.
constexpr AVR_DEVICE kNoDevice =
    Row("", 0, {0x00, 0x00, 0x00}, 0, 0, 0, 0, 0, 0, 0,
        {0x05, 0x05, 0x03, 0x03, 0x0A, 0x0A, 0x0A, 0x0A}, 0, false, BitLayout{}, Handling{});

// The row after the devices; only its id -1 means anything.
constexpr AVR_DEVICE kEndMarker =
    Row("", -1, {0x00, 0x00, 0x00}, 0, 0, 0, 0, 0, 0, 0, {}, 0, false, BitLayout{}, Handling{});

// The row order is part of the program's state (the selected device and the
// device list refer to rows by index), so rows are only ever appended before
// the end marker.
// clang-format off
constexpr std::array<AVR_DEVICE, kDeviceCount + 2> kDevices = {
    kNoDevice,
    Row("AT90S1200", 1, {0x1E, 0x90, 0x01}, 0, 512, 1, 512, 64, 1, 64,
        {0x03, 0x05, 0x03, 0x02, 0x92, 0x5A, 0x5A, 0x5A}, 0, false, kL1, kOld1200),
    Row("AT90S2313", 17, {0x1E, 0x91, 0x01}, 1, 1024, 1, 1024, 128, 1, 128,
        {0x03, 0x03, 0x02, 0x04, 0x92, 0x5A, 0x5A, 0x0A}, 0, false, kL2, kOld2313),
    Row("AT90S4434", 34, {0x1E, 0x92, 0x02}, 1, 2048, 1, 2048, 256, 1, 256,
        {0x03, 0x03, 0x01, 0x02, 0x92, 0x5A, 0x5A, 0x5A}, 8, false, kL3, kOldFuseInLock),
    Row("AT90S4433", 35, {0x1E, 0x92, 0x03}, 1, 2048, 1, 2048, 256, 1, 256,
        {0x03, 0x03, 0x01, 0x02, 0x92, 0x5A, 0x5A, 0x5A}, 8, false, kL4, kOld4433),
    Row("AT90S8515", 49, {0x1E, 0x93, 0x01}, 1, 4096, 1, 4096, 512, 1, 512,
        {0x03, 0x03, 0x02, 0x04, 0x92, 0x5A, 0x5A, 0x5A}, 0, false, kL1, kOld8515),
    Row("AT90S8535", 51, {0x1E, 0x93, 0x03}, 1, 4096, 1, 4096, 512, 1, 512,
        {0x03, 0x03, 0x01, 0x02, 0x92, 0x5A, 0x5A, 0x5A}, 8, false, kL3, kOldFuseInLock),
    Row("AT90CAN32", 337, {0x1E, 0x95, 0x81}, 2, 16384, 128, 128, 1024, 128, 8,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL5, kCurrentL3),
    Row("AT90CAN64", 353, {0x1E, 0x96, 0x81}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL5, kCurrentL3),
    Row("AT90CAN128", 369, {0x1E, 0x97, 0x81}, 2, 65536, 512, 128, 4096, 512, 8,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL5, kCurrentL3),
    Row("AT90PWM2/3", 305, {0x1E, 0x93, 0x81}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL6, kCurrentL3),
    Row("AT90PWM2B/3B", 307, {0x1E, 0x93, 0x83}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL6, kCurrentL3),
    Row("AT90USB82", 306, {0x1E, 0x93, 0x82}, 2, 4096, 64, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL7, kCurrentL3),
    Row("AT90USB162", 322, {0x1E, 0x94, 0x82}, 2, 8192, 128, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL7, kCurrentL3),
    Row("AT90USB646/647", 354, {0x1E, 0x96, 0x82}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL8, kCurrentL3),
    Row("AT90USB1286/1287", 370, {0x1E, 0x97, 0x82}, 2, 65536, 512, 128, 4096, 512, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL8, kCurrentL3),
    Row("ATtiny12", 5, {0x1E, 0x90, 0x05}, 1, 512, 1, 512, 64, 1, 64,
        {0x04, 0x04, 0x01, 0x01, 0x44, 0x22, 0x44, 0x0A}, 8, true, kL9, kOldTiny12),
    Row("ATtiny13", 7, {0x1E, 0x90, 0x07}, 2, 512, 32, 16, 64, 16, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 3, true, kL10, kCurrentL2),
    Row("ATtiny26", 25, {0x1E, 0x91, 0x09}, 2, 1024, 64, 16, 128, 1, 128,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 3, true, kL11, kCurrentL2Ee32),
    Row("ATtiny2313", 26, {0x1E, 0x91, 0x0A}, 2, 1024, 64, 16, 128, 32, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL12, kCurrentL2),
    Row("ATtiny24", 27, {0x1E, 0x91, 0x0B}, 2, 1024, 64, 16, 128, 32, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny44", 39, {0x1E, 0x92, 0x07}, 2, 2048, 64, 32, 256, 64, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny84", 60, {0x1E, 0x93, 0x0C}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny25", 24, {0x1E, 0x91, 0x08}, 2, 1024, 64, 16, 128, 32, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny45", 38, {0x1E, 0x92, 0x06}, 2, 2048, 64, 32, 256, 64, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny85", 59, {0x1E, 0x93, 0x0B}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny261", 28, {0x1E, 0x91, 0x0C}, 2, 1024, 64, 16, 128, 32, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny461", 40, {0x1E, 0x92, 0x08}, 2, 2048, 64, 32, 256, 64, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATtiny861", 61, {0x1E, 0x93, 0x0D}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATmega48", 37, {0x1E, 0x92, 0x05}, 2, 2048, 64, 32, 256, 64, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATmega48P/PA", 36, {0x1E, 0x92, 0x0A}, 2, 2048, 64, 32, 256, 64, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL13, kCurrentL2),
    Row("ATmega8", 55, {0x1E, 0x93, 0x07}, 2, 4096, 128, 32, 512, 1, 512,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 3, true, kL14, kCurrentL3Ee32),
    Row("ATmega8515", 54, {0x1E, 0x93, 0x06}, 2, 4096, 128, 32, 512, 1, 512,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 3, true, kL15, kCurrentL3Ee32),
    Row("ATmega8535", 56, {0x1E, 0x93, 0x08}, 2, 4096, 128, 32, 512, 1, 512,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 3, true, kL16, kCurrentL3Ee32),
    Row("ATmega88", 58, {0x1E, 0x93, 0x0A}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL17, kCurrentL3),
    Row("ATmega88P/PA", 57, {0x1E, 0x93, 0x0F}, 2, 4096, 128, 32, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL17, kCurrentL3),
    Row("ATmega16", 67, {0x1E, 0x94, 0x03}, 2, 8192, 128, 64, 512, 1, 512,
        {0x04, 0x04, 0x01, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 3, true, kL18, kCurrentL3Ee32),
    Row("ATmega162", 68, {0x1E, 0x94, 0x04}, 2, 8192, 128, 64, 512, 1, 512,
        {0x04, 0x04, 0x01, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL19, kCurrentL3Ee32),
    Row("ATmega163", 66, {0x1E, 0x94, 0x02}, 1, 8192, 128, 64, 512, 1, 512,
        {0x03, 0x03, 0x03, 0x01, 0xA0, 0x90, 0x28, 0x14}, 3, true, kL20, kMega163),
    Row("ATmega165/P", 71, {0x1E, 0x94, 0x07}, 2, 8192, 128, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL21, kCurrentL3),
    Row("ATmega168", 70, {0x1E, 0x94, 0x06}, 2, 8192, 128, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL17, kCurrentL3),
    Row("ATmega168P/PA", 72, {0x1E, 0x94, 0x0B}, 2, 8192, 128, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL17, kCurrentL3),
    Row("ATmega328P", 73, {0x1E, 0x95, 0x0F}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true, kL22, kCurrentL3),
    Row("ATmega169/P", 69, {0x1E, 0x94, 0x05}, 2, 8192, 128, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL21, kCurrentL3),
    Row("ATmega644", 105, {0x1E, 0x96, 0x09}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega128", 114, {0x1E, 0x97, 0x02}, 2, 65536, 512, 128, 4096, 1, 4096,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x32, 0x5A, 0x2D}, 7, true, kL24, kCurrentL3Ee32),
    Row("ATmega164P", 74, {0x1E, 0x94, 0x0A}, 2, 8192, 128, 64, 512, 128, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega324P", 88, {0x1E, 0x95, 0x08}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega644P", 106, {0x1E, 0x96, 0x0A}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega640", 104, {0x1E, 0x96, 0x08}, 2, 32768, 256, 128, 4096, 512, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega1280", 115, {0x1E, 0x97, 0x03}, 2, 65536, 512, 128, 4096, 512, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega1281", 116, {0x1E, 0x97, 0x04}, 2, 65536, 512, 128, 4096, 512, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL23, kCurrentL3),
    Row("ATmega325", 85, {0x1E, 0x95, 0x05}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega3250", 86, {0x1E, 0x95, 0x06}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega645", 101, {0x1E, 0x96, 0x05}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega6450", 102, {0x1E, 0x96, 0x06}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega325P", 93, {0x1E, 0x95, 0x0D}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega3250P", 94, {0x1E, 0x95, 0x0E}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega329", 83, {0x1E, 0x95, 0x03}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega329P", 82, {0x1E, 0x95, 0x0B}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega3290", 84, {0x1E, 0x95, 0x04}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega3290P", 87, {0x1E, 0x95, 0x0C}, 2, 16384, 256, 64, 1024, 256, 4,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega64", 98, {0x1E, 0x96, 0x02}, 2, 32768, 256, 128, 2048, 1, 2048,
        {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL24, kCurrentL3Ee32),
    Row("ATmega649", 99, {0x1E, 0x96, 0x03}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    Row("ATmega6490", 100, {0x1E, 0x96, 0x04}, 2, 32768, 256, 128, 2048, 256, 8,
        {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true, kL25, kCurrentL3),
    kEndMarker,
};
// clang-format on

static_assert(kDevices[kEndMarkerRow].id == -1);

// Device names are plain ASCII; folding by hand keeps the comparison free of
// the C locale that the application may have switched.
constexpr char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// Calls match(row) for rows 1, 2, ... up to the end marker (bounded by the
// table size as well) and returns the first row it accepts, or 0.
template <typename Match>
int FindRow(Match match) {
    for (int row = 1; row < static_cast<int>(kDevices.size()); ++row) {
        const AVR_DEVICE& device = kDevices[static_cast<size_t>(row)];
        if (device.id == -1) break;
        if (match(device)) return row;
    }
    return 0;
}

}  // namespace

std::span<const AVR_DEVICE> DeviceTable() {
    return kDevices;
}

const AVR_DEVICE& DeviceAt(int row) {
    if (row < 0 || row > kEndMarkerRow) return kDevices[kEndMarkerRow];
    return kDevices[static_cast<size_t>(row)];
}

int FindDeviceBySignature(uint8_t sig0, uint8_t sig1, uint8_t sig2) {
    const std::array<uint8_t, 3> wanted{sig0, sig1, sig2};
    return FindRow([&](const AVR_DEVICE& d) { return d.signature == wanted; });
}

int FindDeviceById(int32_t id) {
    if (id == 0 || id == -1) return 0;
    return FindRow([&](const AVR_DEVICE& d) { return d.id == id; });
}

int FindDeviceByName(std::string_view name) {
    if (name.empty()) return 0;
    return FindRow([&](const AVR_DEVICE& d) { return EqualsIgnoringCase(d.name, name); });
}

}  // namespace oriole
