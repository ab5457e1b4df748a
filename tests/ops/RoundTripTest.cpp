// Every catalogue device through the simulated box: random full and sparse
// images into FLASH and EEPROM, verified and read back; the calibration byte
// stored in both memories where the device has one; fuses and lock bits
// written, read and verified by device group.
#include <gtest/gtest.h>

#include <random>

#include "base/FormatText.h"
#include "ops/OpsTestSupport.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace ctl_id;

Cells Full(size_t size, std::mt19937& rng) {
    Cells cells(size);
    for (auto& c : cells) c = static_cast<int16_t>(rng() & 0xFF);
    return cells;
}

// Runs of data and gaps of random lengths, so that blocks are skipped, fully
// covered and partly covered.
Cells Sparse(size_t size, std::mt19937& rng) {
    Cells cells(size, kNoData);
    size_t i = rng() % 50;
    while (i < size) {
        const size_t run = 1 + rng() % 150;
        for (size_t j = i; j < std::min(size, i + run); ++j) cells[j] = static_cast<int16_t>(rng() & 0xFF);
        i += run + rng() % 400;
    }
    return cells;
}

std::vector<uint8_t> Bytes(const Cells& cells, const std::vector<uint8_t>& under) {
    std::vector<uint8_t> out(under);
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i] != kNoData) out[i] = static_cast<uint8_t>(cells[i]);
    return out;
}

// The bits of a fuse byte that have a function (the others read 1).
uint8_t NamedBits(const std::array<int32_t, 8>& names) {
    uint8_t bits = 0;
    for (int b = 0; b < 8; ++b)
        if (names[static_cast<size_t>(b)] != 0) bits = static_cast<uint8_t>(bits | (1u << b));
    return bits;
}

class RoundTrip : public ::testing::TestWithParam<int> {};

void CheckOnlyInformation(OpsRig& rig, const std::vector<std::string>& expected) {
    EXPECT_EQ(rig.Texts(), expected);
    for (const auto& m : rig.host.recorder.messages) EXPECT_EQ(m.kind, MsgKind::Information) << m.text;
    rig.ClearLog();
}

void FlashRoundTrip(OpsRig& rig, const AVR_DEVICE& d, const Cells& cells) {
    ASSERT_TRUE(rig.core.EraseDevice(Quietly(true)));
    const std::string file = rig.WriteImage("flash.s", cells);
    rig.window.Controls().SetText(kFlashFile, file);
    ASSERT_TRUE(rig.core.WriteFlash(file, {.timing = true, .verify = true}));
    CheckOnlyInformation(rig, {text::kFlashVerifyOk});
    ASSERT_TRUE(rig.core.ReadFlash(0, true));
    const auto expected = Bytes(cells, std::vector<uint8_t>(static_cast<size_t>(d.FlashBytes()), 0xFF));
    EXPECT_TRUE(rig.core.FlashRead() == expected);
    EXPECT_TRUE(rig.Target().Flash() == expected);
    rig.ClearLog();
}

void EepromRoundTrip(OpsRig& rig, const Cells& cells) {
    const std::vector<uint8_t> before = rig.Target().Eeprom();
    const std::string file = rig.WriteImage("eeprom.s", cells);
    rig.window.Controls().SetText(kEepromFile, file);
    ASSERT_TRUE(rig.core.WriteEeprom(file, {.timing = true, .verify = true}));
    CheckOnlyInformation(rig, {text::kEepromVerifyOk});
    ASSERT_TRUE(rig.core.ReadEeprom(0));
    // Paged or chunked, the device keeps every byte the file leaves out.
    const std::vector<uint8_t> expected = Bytes(cells, before);
    EXPECT_TRUE(rig.core.EepromRead() == expected);
    rig.ClearLog();
}

void CalibrationRoundTrip(OpsRig& rig, const AVR_DEVICE& d) {
    uint8_t value = 0;
    ASSERT_TRUE(rig.core.ReadCalibrationByte(0, value, true));
    EXPECT_EQ(value, rig.Target().Calibration(0));
    ASSERT_TRUE(rig.core.EraseDevice(Quietly(true)));
    rig.window.Controls().SetText(kCalibValue, FormatText("%02X", value));
    rig.window.Controls().SetCheck(kCalibVerify, true);
    const struct {
        const char* label;
        uint32_t address;
    } targets[] = {{text::kCalibFlashLabel, static_cast<uint32_t>(d.FlashBytes() - 1)},
                   {text::kCalibEepromLabel, static_cast<uint32_t>(d.eepromBytes / 2 + 1)}};
    for (const auto& t : targets) {
        rig.window.Controls().SetText(kCalibMemory, t.label);
        rig.window.Controls().SetText(kCalibAddress, FormatText("%X", t.address));
        ASSERT_TRUE(rig.window.WriteCalibration({.timing = true})) << t.label;
        EXPECT_TRUE(rig.window.VerifyCalibration({.timing = true}));
        CheckOnlyInformation(rig, {"校正値 ベリファイ OK!", "校正値 ベリファイ OK!"});
    }
    EXPECT_EQ(rig.Target().Flash().back(), value);
    EXPECT_EQ(rig.Target().Eeprom()[static_cast<size_t>(d.eepromBytes / 2 + 1)], value);
}

void FuseRoundTrip(OpsRig& rig, const AVR_DEVICE& d, std::mt19937& rng) {
    if (d.fuseGroup == FuseGroup::None) {
        // Nothing is sent, and nothing passes for a read or a write.
        FuseBytes none;
        EXPECT_FALSE(rig.core.ReadFuses(none, true));
        EXPECT_FALSE(rig.core.WriteFuses({}, {.timing = true}));
        EXPECT_EQ(rig.core.FirstFailure().cause, Cause::NoSuchMemory);
        EXPECT_EQ(rig.Texts().size(), 2u);
        EXPECT_TRUE(rig.Sent().empty());
        rig.ClearLog();
        return;
    }
    // Random bytes the fuse rules let through without a question: SPIEN
    // programmed, RSTDISBL and DWEN not, the clock source kept.
    FuseBytes current;
    ASSERT_TRUE(rig.core.ReadFuses(current, true));
    rig.ClearLog();
    FuseBytes wanted = current;
    for (int tries = 0; tries < 4000; ++tries) {
        const FuseBytes f{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
        if (FuseWriteRisks(d, current, f) == 0) {
            wanted = f;
            break;
        }
    }
    const uint8_t ext = wanted.ext, high = wanted.high, low = wanted.low;
    ASSERT_TRUE(rig.core.WriteFuses({ext, high, low}, {.timing = true, .verify = false}));
    CheckOnlyInformation(rig, {text::kFuseWriteDone});
    uint8_t re = 0, rh = 0, rl = 0;
    ASSERT_TRUE(ReadFuseBytes(rig.core, re, rh, rl, true));
    // The bits each group's write reaches.
    uint8_t extBits = 0, highBits = 0, lowBits = 0;
    switch (d.fuseGroup) {
        case FuseGroup::Current:
            if (d.fuseMask & kFuseExt) extBits = NamedBits(d.extFuseBits);
            if (d.fuseMask & kFuseHigh) highBits = NamedBits(d.highFuseBits);
            if (d.fuseMask & kFuseLow) lowBits = NamedBits(d.lowFuseBits);
            highBits = static_cast<uint8_t>(highBits & ~d.forcedHighOnes);
            lowBits = static_cast<uint8_t>(lowBits & ~d.forcedLowOnes);
            break;
        case FuseGroup::SingleLow:
            lowBits = static_cast<uint8_t>(NamedBits(d.lowFuseBits) &
                                           (d.fuseWrite == FuseWrite::LockLowInQ ? 0xFF : 0x1F));
            break;
        case FuseGroup::InLockByte: lowBits = 0x01; break;
        case FuseGroup::None: break;
    }
    EXPECT_EQ(re & extBits, ext & extBits);
    EXPECT_EQ(rh & highBits, high & highBits);
    EXPECT_EQ(rl & lowBits, low & lowBits);
    EXPECT_TRUE(rig.core.VerifyFuses({re, rh, rl}, {.timing = true}));
    CheckOnlyInformation(rig, {text::kFuseVerifyOk});
}

void LockRoundTrip(OpsRig& rig, const AVR_DEVICE& d, std::mt19937& rng) {
    const auto lock = static_cast<uint8_t>(rng());
    const LockGroup group = d.lockGroup;
    if (group == LockGroup::None) {
        EXPECT_FALSE(rig.core.WriteLockBits(lock, {.timing = true, .verify = false}));
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kLockNotWritable});
        rig.ClearLog();
        return;
    }
    ASSERT_TRUE(rig.core.WriteLockBits(lock, {.timing = true, .verify = false}));
    CheckOnlyInformation(rig, {text::kLockWriteDone});
    uint8_t read = 0;
    if (d.fuseGroup == FuseGroup::None) {  // AT90S8515: no command reads them
        EXPECT_FALSE(rig.core.ReadLockBits(read, true));
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kLockNotReadable});
        rig.ClearLog();
        return;
    }
    ASSERT_TRUE(rig.core.ReadLockBits(read, true));
    uint8_t expected = static_cast<uint8_t>(lock | 0xF9);
    if (group == LockGroup::L3) expected = static_cast<uint8_t>(lock | 0xC0);
    if (group == LockGroup::L2) expected = static_cast<uint8_t>(lock | 0xFC);
    EXPECT_EQ(read, expected);
    EXPECT_TRUE(rig.core.VerifyLockBits(read, {.timing = true}));
    CheckOnlyInformation(rig, {text::kLockVerifyOk});
}

TEST_P(RoundTrip, MemoriesCalibrationFusesAndLock) {
    const AVR_DEVICE& d = DeviceAt(GetParam());
    OpsRig rig(d.name);  // found by its signature
    std::mt19937 rng(static_cast<uint32_t>(GetParam()));
    const auto flashBytes = static_cast<size_t>(d.FlashBytes());
    const auto eepromBytes = static_cast<size_t>(d.eepromBytes);

    ASSERT_NO_FATAL_FAILURE(FlashRoundTrip(rig, d, Full(flashBytes, rng)));
    EXPECT_EQ(rig.core.DeviceRow(), GetParam());
    ASSERT_NO_FATAL_FAILURE(FlashRoundTrip(rig, d, Sparse(flashBytes, rng)));
    ASSERT_NO_FATAL_FAILURE(EepromRoundTrip(rig, Full(eepromBytes, rng)));
    ASSERT_NO_FATAL_FAILURE(EepromRoundTrip(rig, Sparse(eepromBytes, rng)));
    if (!CalibrationFrequencies(d.id).empty()) {
        ASSERT_NO_FATAL_FAILURE(CalibrationRoundTrip(rig, d));
    }
    if (d.fuseMask != 0) {  // refused on the others (FuseLockTest)
        ASSERT_NO_FATAL_FAILURE(FuseRoundTrip(rig, d, rng));
    }
    ASSERT_NO_FATAL_FAILURE(LockRoundTrip(rig, d, rng));
    EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortNone);
    EXPECT_EQ(rig.Opens(), rig.Closes());
}

std::string DeviceName(const ::testing::TestParamInfo<int>& info) {
    std::string name = DeviceAt(info.param).name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryDevice, RoundTrip, ::testing::Range(1, kDeviceCount + 1), DeviceName);

}  // namespace
}  // namespace oriole::test
