#include "devices/Devices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/sim/SimTarget.h"

namespace oriole {
namespace {

using Bits = std::array<int32_t, 8>;

// "0 CKSEL0, 1 CKSEL1, ..." or "none", the way the device sheets list bits.
std::string Describe(const Bits& bits, const char* (*name)(int)) {
    std::string out;
    for (int bit = 0; bit < 8; ++bit) {
        const int32_t index = bits[static_cast<size_t>(bit)];
        if (index == 0) continue;
        if (!out.empty()) out += ", ";
        out += std::to_string(bit) + " " + name(index);
    }
    return out.empty() ? "none" : out;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::vector<const AVR_DEVICE*> Devices() {
    std::vector<const AVR_DEVICE*> out;
    for (int row = 1; row <= kDeviceCount; ++row) out.push_back(&DeviceAt(row));
    return out;
}

TEST(Devices, SentinelRows) {
    ASSERT_EQ(DeviceTable().size(), static_cast<size_t>(kDeviceCount + 2));
    const AVR_DEVICE& none = DeviceAt(0);
    EXPECT_EQ(none.id, 0);
    EXPECT_STREQ(none.name, "");
    EXPECT_EQ(none.signature, (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(none.flashWords, 0);
    EXPECT_EQ(none.flashPages, 0);
    EXPECT_EQ(none.flashPageWords, 0);
    EXPECT_EQ(none.eepromBytes, 0);
    EXPECT_EQ(none.eepromPages, 0);
    EXPECT_EQ(none.eepromPageBytes, 0);
    EXPECT_EQ(none.timing,
              (std::array<uint8_t, 8>{0x05, 0x05, 0x03, 0x03, 0x0A, 0x0A, 0x0A, 0x0A}));
    EXPECT_EQ(none.fuseMask, 0);
    EXPECT_EQ(none.extFuseBits, Bits{});
    EXPECT_EQ(none.highFuseBits, Bits{});
    EXPECT_EQ(none.lowFuseBits, Bits{});
    EXPECT_EQ(none.lockBits, Bits{});
    EXPECT_FALSE(none.calibControls);
    EXPECT_EQ(none.fuseGroup, FuseGroup::None);
    EXPECT_EQ(none.fuseWrite, FuseWrite::None);
    EXPECT_EQ(none.lockGroup, LockGroup::None);
    EXPECT_EQ(none.flashChunkWords + none.eepromChunkBytes, 0);
    EXPECT_TRUE(none.eraseFollowUps.empty());
    EXPECT_FALSE(none.enableNotEchoed);

    EXPECT_EQ(DeviceAt(kEndMarkerRow).id, -1);
    EXPECT_STREQ(DeviceAt(kEndMarkerRow).name, "");
    for (int row : {-1, kEndMarkerRow + 1, 1000}) EXPECT_EQ(DeviceAt(row).id, -1) << row;
}

TEST(Devices, WalkYieldsAllDevicesAndStopsAtEndMarker) {
    int row = 1;
    std::set<std::string> names;
    std::set<std::string> folded;
    while (DeviceAt(row).id != -1 && row < 1000) {
        const std::string name = DeviceAt(row).name;
        EXPECT_FALSE(name.empty()) << row;
        names.insert(name);
        folded.insert(Lower(name));
        ++row;
    }
    EXPECT_EQ(row, kEndMarkerRow);
    EXPECT_EQ(names.size(), 64u);
    EXPECT_EQ(folded.size(), 64u);  // a lookup by name must never be ambiguous
}

// The simulated chip's factory fuses: every device with fuses has them, and
// each byte programs (0) only bits the catalogue names for it, SPIEN among
// them where it is named, since a new chip is always serially programmable.
TEST(Devices, EveryDeviceWithFusesHasFactoryValuesOnNamedBits) {
    int withFuses = 0;
    for (const AVR_DEVICE* d : Devices()) {
        SCOPED_TRACE(d->name);
        const auto factory = sim::FactoryFuses(d->name);
        if (d->fuseMask == 0) {
            EXPECT_FALSE(factory.has_value());
            continue;
        }
        ++withFuses;
        ASSERT_TRUE(factory.has_value());
        const Bits* layouts[3] = {&d->lowFuseBits, &d->highFuseBits, &d->extFuseBits};
        const int32_t masks[3] = {kFuseLow | kFuseSingle, kFuseHigh, kFuseExt};
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const uint8_t value = (*factory)[i];
            if ((d->fuseMask & masks[i]) == 0) {
                EXPECT_EQ(value, 0xFF);
                continue;
            }
            for (int bit = 0; bit < 8; ++bit) {
                const int32_t name = (*layouts[i])[static_cast<size_t>(bit)];
                const bool programmed = (value & (1u << bit)) == 0;
                if (name == 0) {
                    EXPECT_FALSE(programmed) << "bit " << bit;
                } else if (std::string_view(FuseBitName(name)) == "SPIEN") {
                    EXPECT_TRUE(programmed);
                }
            }
        }
    }
    EXPECT_EQ(withFuses, 61);
}

TEST(Devices, PagesCoverEachMemoryExactly) {
    for (const AVR_DEVICE& d : DeviceTable()) {
        EXPECT_EQ(d.flashPages * d.flashPageWords, d.flashWords) << d.name << " id " << d.id;
        EXPECT_EQ(d.eepromPages * d.eepromPageBytes, d.eepromBytes) << d.name << " id " << d.id;
    }
    for (const AVR_DEVICE* d : Devices()) {
        EXPECT_GE(d->flashPages, 1) << d->name;
        EXPECT_GE(d->eepromPages, 1) << d->name;
    }
}

TEST(Devices, IdsAndSignaturesAreUnique) {
    std::set<int32_t> ids;
    std::set<std::array<uint8_t, 3>> signatures;
    for (const AVR_DEVICE* d : Devices()) {
        EXPECT_GT(d->id, 0) << d->name;
        EXPECT_TRUE(ids.insert(d->id).second) << "duplicate id " << d->id;
        EXPECT_TRUE(signatures.insert(d->signature).second) << "duplicate signature " << d->name;
        EXPECT_EQ(d->signature[0], 0x1E) << d->name;  // Atmel's vendor code
    }
}

TEST(Devices, FamilyAndCalibrationFlagFollowTheDeviceKind) {
    const std::set<std::string> familyOne = {"AT90S2313", "AT90S4434", "AT90S4433", "AT90S8515",
                                             "AT90S8535", "ATtiny12",  "ATmega163"};
    for (const AVR_DEVICE* d : Devices()) {
        const std::string name = d->name;
        const int expected = name == "AT90S1200" ? 0 : familyOne.contains(name) ? 1 : 2;
        EXPECT_EQ(d->family, expected) << name;
        EXPECT_EQ(d->calibControls, !name.starts_with("AT90S")) << name;
    }
}

// A fuse byte carries names exactly when the fuse mask says it exists, every
// index is inside its name table, and no bit name appears twice on one device.
TEST(Devices, BitLayoutsMatchFuseMask) {
    int singleByteDevices = 0;
    for (const AVR_DEVICE* d : Devices()) {
        const auto named = [](const Bits& bits) {
            for (int32_t index : bits) {
                if (index != 0) return true;
            }
            return false;
        };
        const bool single = (d->fuseMask & kFuseSingle) != 0;
        singleByteDevices += single ? 1 : 0;
        EXPECT_TRUE(d->fuseMask == 0 || d->fuseMask == 3 || d->fuseMask == 7 ||
                    d->fuseMask == kFuseSingle)
            << d->name << " mask " << d->fuseMask;
        EXPECT_EQ(named(d->extFuseBits), (d->fuseMask & kFuseExt) != 0) << d->name;
        EXPECT_EQ(named(d->highFuseBits), (d->fuseMask & kFuseHigh) != 0) << d->name;
        EXPECT_EQ(named(d->lowFuseBits), (d->fuseMask & kFuseLow) != 0 || single) << d->name;
        EXPECT_TRUE(named(d->lockBits)) << d->name;

        std::set<int32_t> seen;
        for (const Bits* bits : {&d->extFuseBits, &d->highFuseBits, &d->lowFuseBits}) {
            for (int32_t index : *bits) {
                EXPECT_TRUE(index >= 0 && index < kFuseBitNameCount) << d->name << " " << index;
                if (index != 0) {
                    EXPECT_TRUE(seen.insert(index).second) << d->name << " " << index;
                }
            }
        }
        std::set<int32_t> seenLock;
        for (int32_t index : d->lockBits) {
            EXPECT_TRUE(index >= 0 && index < kLockBitNameCount) << d->name << " " << index;
            if (index != 0) {
                EXPECT_TRUE(seenLock.insert(index).second) << d->name << " " << index;
            }
        }
    }
    // AT90S4434, AT90S4433, AT90S8535 and ATtiny12 have one old-style fuse byte.
    EXPECT_EQ(singleByteDevices, 4);
}

// The bits of a byte that carry a name.
uint8_t Named(const Bits& bits) {
    uint8_t named = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (bits[static_cast<size_t>(bit)] != 0) named = static_cast<uint8_t>(named | (1u << bit));
    return named;
}

// The columns that say how the commands address a device agree with each
// other and with the rest of the row, and the simulated chip's own list of
// the older devices says the same as the catalogue.
TEST(Devices, HandlingColumnsAgreeWithTheRow) {
    const struct Rule {
        FuseGroup group;
        std::set<int32_t> fuseMasks;
        std::set<FuseWrite> writes;
        std::set<LockGroup> locks;
    } byFuseGroup[] = {
        {FuseGroup::Current, {kFuseLow | kFuseHigh, kFuseLow | kFuseHigh | kFuseExt},
         {FuseWrite::PerByte}, {LockGroup::L2, LockGroup::L3}},
        {FuseGroup::SingleLow, {kFuseSingle}, {FuseWrite::LockLowInQ, FuseWrite::LockLow5InP},
         {LockGroup::L1}},
        {FuseGroup::InLockByte, {kFuseSingle}, {FuseWrite::LockLow1InP}, {LockGroup::L1}},
        {FuseGroup::None, {0}, {FuseWrite::None}, {LockGroup::L1, LockGroup::None}},
    };
    // The low-byte bits each N form of a fuse write carries; all have names.
    const std::map<FuseWrite, uint8_t> lowBitsWritten = {
        {FuseWrite::LockLowInQ, 0xFF},
        {FuseWrite::LockLow5InP, 0x1F},
        {FuseWrite::LockLow1InP, 0x01}};
    // The lock bits each lock command carries: exactly the named ones.
    const std::map<LockGroup, uint8_t> lockBitsWritten = {
        {LockGroup::L1, 0x06}, {LockGroup::L2, 0x03}, {LockGroup::L3, 0x3F}};

    for (const AVR_DEVICE* d : Devices()) {
        SCOPED_TRACE(d->name);
        const bool current = d->fuseGroup == FuseGroup::Current;
        const auto rule = std::ranges::find(byFuseGroup, d->fuseGroup, &Rule::group);
        ASSERT_NE(rule, std::end(byFuseGroup));
        EXPECT_TRUE(rule->fuseMasks.contains(d->fuseMask));
        EXPECT_TRUE(rule->writes.contains(d->fuseWrite));
        EXPECT_TRUE(rule->locks.contains(d->lockGroup));
        if (lowBitsWritten.contains(d->fuseWrite)) {
            const uint8_t written = lowBitsWritten.at(d->fuseWrite);
            EXPECT_EQ(Named(d->lowFuseBits) & written, written);
        }
        if (d->lockGroup != LockGroup::None) {
            EXPECT_EQ(Named(d->lockBits), lockBitsWritten.at(d->lockGroup));
        }
        // Forcing only in the fuse bytes the device has, written with L.
        EXPECT_TRUE(d->forcedHighOnes == 0 || (current && (d->fuseMask & kFuseHigh) != 0));
        EXPECT_TRUE(d->forcedLowOnes == 0 || (current && (d->fuseMask & kFuseLow) != 0));

        // The current instruction set came with FLASH pages; a memory
        // without them has a chunk that divides it, one with them none.
        EXPECT_EQ(d->HasPagedFlash(), current);
        EXPECT_EQ(d->flashChunkWords > 0, !d->HasPagedFlash());
        EXPECT_EQ(d->eepromChunkBytes > 0, !d->HasPagedEeprom());
        for (const auto& [chunk, size] : {std::pair{d->flashChunkWords, d->flashWords},
                                          std::pair{d->eepromChunkBytes, d->eepromBytes}}) {
            EXPECT_LE(chunk, 32);
            EXPECT_EQ(chunk > 0 ? size % chunk : 0, 0);
        }

        // The erase follow-up and the enable without echo belong to old chips.
        EXPECT_TRUE(d->eraseFollowUps.empty() || !current);
        EXPECT_EQ(d->enableNotEchoed, d->family == 0);

        EXPECT_EQ(sim::IsOldDevice(d->id), !current);
        EXPECT_EQ(sim::FuseInLockByte(d->id), d->fuseGroup == FuseGroup::InLockByte);
    }
}

// Index 0 and anything out of range name nothing; every other name is set,
// spelled as the sheets do, told apart from the rest, and carried by some
// device, so a table that lost or doubled a row shows.
TEST(Devices, NameTables) {
    std::set<int32_t> usedFuse;
    std::set<int32_t> usedLock;
    for (const AVR_DEVICE* d : Devices()) {
        for (const Bits* bits : {&d->extFuseBits, &d->highFuseBits, &d->lowFuseBits})
            usedFuse.insert(bits->begin(), bits->end());
        usedLock.insert(d->lockBits.begin(), d->lockBits.end());
    }
    const struct {
        const char* (*name)(int);
        int count;
        const std::set<int32_t>& used;
    } tables[] = {{FuseBitName, kFuseBitNameCount, usedFuse}, {LockBitName, kLockBitNameCount, usedLock}};
    for (const auto& t : tables) {
        SCOPED_TRACE(t.count);
        for (int i : {-1, 0, t.count, 1000}) EXPECT_STREQ(t.name(i), "") << i;
        std::set<std::string> names;
        for (int i = 1; i < t.count; ++i) {
            const std::string name = t.name(i);
            EXPECT_TRUE(!name.empty() && std::ranges::all_of(name, [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            })) << i << " " << name;
            EXPECT_TRUE(names.insert(name).second) << name;
            EXPECT_TRUE(t.used.contains(i)) << name;
        }
    }
    EXPECT_STREQ(FuseBitName(fuse_bit::SELFPRGEN), "SELFPRGEN");
    EXPECT_STREQ(LockBitName(lock_bit::BLB02), "BLB02");
}

// A "P" variant names its bits as the device it varies does.
TEST(Devices, PicoPowerVariantsShareTheBitLayout) {
    using Layout = std::array<Bits, 4>;
    std::map<std::string, std::vector<const AVR_DEVICE*>> byBase;
    for (const AVR_DEVICE* d : Devices()) {
        std::string base = d->name;
        for (const char* suffix : {"P/PA", "/P", "P"})
            if (base.ends_with(suffix)) base.resize(base.size() - std::string_view(suffix).size());
        byBase[base].push_back(d);
    }
    int variants = 0;
    for (const auto& [base, devices] : byBase) {
        for (const AVR_DEVICE* d : devices) {
            EXPECT_EQ((Layout{d->extFuseBits, d->highFuseBits, d->lowFuseBits, d->lockBits}),
                      (Layout{devices[0]->extFuseBits, devices[0]->highFuseBits, devices[0]->lowFuseBits,
                              devices[0]->lockBits}))
                << d->name << " against " << devices[0]->name;
        }
        variants += static_cast<int>(devices.size()) - 1;
    }
    EXPECT_EQ(variants, 8);  // ATmega48P/PA, 88P/PA, 168P/PA, 644P, 325P, 3250P, 329P, 3290P
}

struct SignatureCase {
    std::array<uint8_t, 3> signature;
    int row;
};

TEST(Devices, FindBySignature) {
    const SignatureCase cases[] = {
        {{0x1E, 0x93, 0x07}, 31}, {{0x1E, 0x90, 0x01}, 1}, {{0x1E, 0x96, 0x04}, 64},
        {{0x1E, 0x93, 0x81}, 10}, {{0x00, 0x00, 0x00}, 0}, {{0xFF, 0xFF, 0xFF}, 0},
        {{0x1E, 0x93, 0x09}, 0},  {{0x07, 0x93, 0x1E}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindDeviceBySignature(c.signature[0], c.signature[1], c.signature[2]), c.row)
            << int{c.signature[0]} << " " << int{c.signature[1]} << " " << int{c.signature[2]};
    }
    EXPECT_EQ(DeviceAt(31).id, 55);
    EXPECT_STREQ(DeviceAt(31).name, "ATmega8");
    // Every device is found at its own row by its own signature.
    for (int row = 1; row <= kDeviceCount; ++row) {
        const auto& s = DeviceAt(row).signature;
        EXPECT_EQ(FindDeviceBySignature(s[0], s[1], s[2]), row);
    }
}

struct NameCase {
    const char* name;
    int row;
};

TEST(Devices, FindByIdAndName) {
    EXPECT_EQ(FindDeviceById(55), 31);
    EXPECT_EQ(FindDeviceById(1), 1);
    EXPECT_EQ(FindDeviceById(100), 64);
    EXPECT_EQ(FindDeviceById(370), 15);
    for (int32_t id : {0, -1, 2, 9999}) EXPECT_EQ(FindDeviceById(id), 0) << id;

    const NameCase cases[] = {
        {"ATmega8", 31},
        {"atmega8", 31},
        {"ATMEGA8515", 32},
        {"AT90PWM2/3", 10},
        {"at90s1200", 1},
        {"ATmega6490", 64},
        {"", 0},
        {"ATmega", 0},
        {"ATmega8 ", 0},
        {"ATmega85", 0},
        {"ATmega9", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(FindDeviceByName(c.name), c.row) << c.name;
    for (int row = 1; row <= kDeviceCount; ++row) {
        EXPECT_EQ(FindDeviceByName(DeviceAt(row).name), row);
        EXPECT_EQ(FindDeviceById(DeviceAt(row).id), row);
    }
}

struct PagingCase {
    const char* name;
    bool pagedFlash;
    int32_t flashPages, flashPageWords;
    bool pagedEeprom;
    int32_t eepromPages, eepromPageBytes;
};

TEST(Devices, PagingDecidesTheWriteCommands) {
    const PagingCase cases[] = {
        {"AT90S2313", false, 1, 1024, false, 1, 128},
        {"ATmega48", true, 64, 32, true, 64, 4},
        {"ATmega8", true, 128, 32, false, 1, 512},
        {"ATtiny26", true, 64, 16, false, 1, 128},
    };
    for (const auto& c : cases) {
        const AVR_DEVICE& d = DeviceAt(FindDeviceByName(c.name));
        EXPECT_EQ(d.HasPagedFlash(), c.pagedFlash) << c.name;
        EXPECT_EQ(d.flashPages, c.flashPages) << c.name;
        EXPECT_EQ(d.flashPageWords, c.flashPageWords) << c.name;
        EXPECT_EQ(d.HasPagedEeprom(), c.pagedEeprom) << c.name;
        EXPECT_EQ(d.eepromPages, c.eepromPages) << c.name;
        EXPECT_EQ(d.eepromPageBytes, c.eepromPageBytes) << c.name;
    }
    EXPECT_EQ(DeviceAt(FindDeviceByName("ATmega128")).FlashBytes(), 131072);
}

TEST(Devices, UnusedBitsHaveTheEmptyName) {
    const AVR_DEVICE& pwm = DeviceAt(FindDeviceByName("AT90PWM2/3"));
    EXPECT_STREQ(FuseBitName(pwm.extFuseBits[3]), "");
    EXPECT_STREQ(FuseBitName(pwm.extFuseBits[4]), "PSCRV");
    const AVR_DEVICE& mega163 = DeviceAt(FindDeviceByName("ATmega163"));
    EXPECT_STREQ(FuseBitName(mega163.lowFuseBits[4]), "");
    EXPECT_STREQ(LockBitName(DeviceAt(1).lockBits[0]), "");
}

// A few rows checked field by field against the device listing, to catch
// slips the invariants cannot see.
struct SpotRow {
    int row;
    const char* name;
    int32_t id;
    std::array<uint8_t, 3> signature;
    int family;
    // FLASH words, pages, page words; EEPROM bytes, pages, page bytes
    std::array<int32_t, 6> geometry;
    std::array<uint8_t, 8> timing;
    int32_t fuseMask;
    bool calibControls;
    const char* ext;
    const char* high;
    const char* low;
    const char* lock;
};

TEST(Devices, SpotRowsMatchTheListing) {
    // clang-format off
    const SpotRow rows[] = {
        {42, "ATmega328P", 73, {0x1E, 0x95, 0x0F}, 2, {16384, 256, 64, 1024, 256, 4},
         {0x04, 0x04, 0x00, 0x00, 0x5A, 0x2D, 0x24, 0x2D}, 7, true,
         "0 BODLEVEL0, 1 BODLEVEL1, 2 BODLEVEL2",
         "0 BOOTRST, 1 BOOTSZ0, 2 BOOTSZ1, 3 EESAVE, 4 WDTON, 5 SPIEN, 6 DWEN, 7 RSTDISBL",
         "0 CKSEL0, 1 CKSEL1, 2 CKSEL2, 3 CKSEL3, 4 SUT0, 5 SUT1, 6 CKOUT, 7 CKDIV8",
         "0 LB1, 1 LB2, 2 BLB01, 3 BLB02, 4 BLB11, 5 BLB12"},
        {38, "ATmega163", 66, {0x1E, 0x94, 0x02}, 1, {8192, 128, 64, 512, 1, 512},
         {0x03, 0x03, 0x03, 0x01, 0xA0, 0x90, 0x28, 0x14}, 3, true, "none",
         "0 BOOTRST, 1 BOOTSZ0, 2 BOOTSZ1",
         "0 CKSEL0, 1 CKSEL1, 2 CKSEL2, 3 CKSEL3, 5 SPIEN, 6 BODEN, 7 BODLEVEL",
         "0 LB1, 1 LB2, 2 BLB01, 3 BLB02, 4 BLB11, 5 BLB12"},
        {9, "AT90CAN128", 369, {0x1E, 0x97, 0x81}, 2, {65536, 512, 128, 4096, 512, 8},
         {0x04, 0x04, 0x03, 0x01, 0x5A, 0x2D, 0x5A, 0x2D}, 7, true,
         "0 TA0SEL, 1 BODLEVEL0, 2 BODLEVEL1, 3 BODLEVEL2",
         "0 BOOTRST, 1 BOOTSZ0, 2 BOOTSZ1, 3 EESAVE, 4 WDTON, 5 SPIEN, 6 JTAGEN, 7 OCDEN",
         "0 CKSEL0, 1 CKSEL1, 2 CKSEL2, 3 CKSEL3, 4 SUT0, 5 SUT1, 6 CKOUT, 7 CKDIV8",
         "0 LB1, 1 LB2, 2 BLB01, 3 BLB02, 4 BLB11, 5 BLB12"},
        {17, "ATtiny13", 7, {0x1E, 0x90, 0x07}, 2, {512, 32, 16, 64, 16, 4},
         {0x04, 0x04, 0x00, 0x00, 0x28, 0x2D, 0x28, 0x2D}, 3, true, "none",
         "0 RSTDISBL, 1 BODLEVEL0, 2 BODLEVEL1, 3 DWEN, 4 SELFPRGEN",
         "0 CKSEL0, 1 CKSEL1, 2 SUT0, 3 SUT1, 4 CKDIV8, 5 WDTON, 6 EESAVE, 7 SPIEN",
         "0 LB1, 1 LB2"},
        {4, "AT90S4433", 35, {0x1E, 0x92, 0x03}, 1, {2048, 1, 2048, 256, 1, 256},
         {0x03, 0x03, 0x01, 0x02, 0x92, 0x5A, 0x5A, 0x5A}, 8, false, "none", "none",
         "0 CKSEL0, 1 CKSEL1, 2 CKSEL2, 3 BODEN, 4 BODLEVEL, 5 SPIEN", "1 LB1, 2 LB2"},
        {45, "ATmega128", 114, {0x1E, 0x97, 0x02}, 2, {65536, 512, 128, 4096, 1, 4096},
         {0x04, 0x04, 0x03, 0x01, 0x5A, 0x32, 0x5A, 0x2D}, 7, true, "0 WDTON, 1 M103C",
         "0 BOOTRST, 1 BOOTSZ0, 2 BOOTSZ1, 3 EESAVE, 4 CKOPT, 5 SPIEN, 6 JTAGEN, 7 OCDEN",
         "0 CKSEL0, 1 CKSEL1, 2 CKSEL2, 3 CKSEL3, 4 SUT0, 5 SUT1, 6 BODEN, 7 BODLEVEL",
         "0 LB1, 1 LB2, 2 BLB01, 3 BLB02, 4 BLB11, 5 BLB12"},
        {2, "AT90S2313", 17, {0x1E, 0x91, 0x01}, 1, {1024, 1, 1024, 128, 1, 128},
         {0x03, 0x03, 0x02, 0x04, 0x92, 0x5A, 0x5A, 0x0A}, 0, false, "none", "none", "none",
         "0 LB1, 1 LB2"},
    };
    // clang-format on
    for (const SpotRow& r : rows) {
        SCOPED_TRACE(r.name);
        const AVR_DEVICE& d = DeviceAt(r.row);
        EXPECT_STREQ(d.name, r.name);
        EXPECT_EQ(d.id, r.id);
        EXPECT_EQ(d.signature, r.signature);
        EXPECT_EQ(d.family, r.family);
        EXPECT_EQ((std::array<int32_t, 6>{d.flashWords, d.flashPages, d.flashPageWords,
                                          d.eepromBytes, d.eepromPages, d.eepromPageBytes}),
                  r.geometry);
        EXPECT_EQ(d.timing, r.timing);
        EXPECT_EQ(d.fuseMask, r.fuseMask);
        EXPECT_EQ(d.calibControls, r.calibControls);
        EXPECT_EQ(Describe(d.extFuseBits, FuseBitName), r.ext);
        EXPECT_EQ(Describe(d.highFuseBits, FuseBitName), r.high);
        EXPECT_EQ(Describe(d.lowFuseBits, FuseBitName), r.low);
        EXPECT_EQ(Describe(d.lockBits, LockBitName), r.lock);
    }
}

std::vector<std::string> Frequencies(int32_t id) {
    const auto list = CalibrationFrequencies(id);
    return {list.begin(), list.end()};
}

TEST(Calibration, ListsPerDevice) {
    using List = std::vector<std::string>;
    EXPECT_EQ(Frequencies(55), (List{"1.0MHz", "2.0MHz", "4.0MHz", "8.0MHz"}));   // ATmega8
    EXPECT_EQ(Frequencies(26), (List{"8.0MHz", "4.0MHz"}));                       // ATtiny2313
    EXPECT_EQ(Frequencies(5), (List{"1.2MHz"}));                                  // ATtiny12
    EXPECT_EQ(Frequencies(7), (List{"9.6MHz/4.8MHz"}));                           // ATtiny13
    EXPECT_EQ(Frequencies(59), (List{"8.0MHz/6.4MHz"}));                          // ATtiny85
    EXPECT_EQ(Frequencies(66), (List{"1.0MHz"}));                                 // ATmega163
    EXPECT_EQ(Frequencies(114), (List{"1.0MHz", "2.0MHz", "4.0MHz", "8.0MHz"}));  // ATmega128
    EXPECT_EQ(Frequencies(73), (List{"8.0MHz"}));                                 // ATmega328P
    EXPECT_EQ(Frequencies(370), (List{"8.0MHz"}));                                // AT90USB1286
    // ATmega329P reads its 8 MHz byte like its sibling ATmega329.
    EXPECT_EQ(Frequencies(82), Frequencies(83));
    EXPECT_EQ(Frequencies(82), (List{"8.0MHz"}));
    for (int32_t id : {0, -1, 9999}) EXPECT_TRUE(Frequencies(id).empty()) << id;
}

TEST(Calibration, EnabledControlsAlwaysHaveSomethingToRead) {
    for (const AVR_DEVICE* d : Devices()) {
        EXPECT_EQ(CalibrationFrequencies(d->id).empty(), !d->calibControls) << d->name;
        for (const char* f : CalibrationFrequencies(d->id)) {
            EXPECT_NE(std::string(f), "") << d->name;
        }
    }
}

}  // namespace
}  // namespace oriole
