// The calibration byte: reading it, storing it in FLASH or EEPROM by
// single-byte read-modify-write, and the main window's write and verify.
#include <gtest/gtest.h>

#include "ops/OpsTestSupport.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace ctl_id;

void SetTarget(OpsRig& rig, const char* value, const char* address, const char* memory) {
    rig.window.Controls().SetText(kCalibValue, value);
    rig.window.Controls().SetText(kCalibAddress, address);
    rig.window.Controls().SetText(kCalibMemory, memory);
}

TEST(Calibration, ReadSendsTheListIndex) {
    OpsRig rig("ATmega8", "ATmega8");
    uint8_t value = 0;
    ASSERT_TRUE(rig.core.ReadCalibrationByte(2, value, false));
    EXPECT_EQ(rig.Lines()[2], "> 4F 02");
    EXPECT_EQ(value, rig.Target().Calibration(2));
}

TEST(Calibration, NonPagedFlashWritesOneWordWithG) {
    OpsRig rig("ATtiny12", "ATtiny12");  // the one device with both
    SetTarget(rig, "A5", "03FF", text::kCalibFlashLabel);
    ASSERT_TRUE(rig.window.WriteCalibration({.timing = false}));
    // The old byte with timing, then the word's other byte and the word.
    EXPECT_EQ(WithoutTiming(rig.Lines()),
              Concat({kEnter, {"> 45 00 01 FF 00 01", "< FF FF"}, kLeave, kEnter,
                      {"> 45 00 01 FF 00 01", "< FF FF", "> 47 00 01 FF 00 01", "> FF A5", "< 87"}, kLeave}));
    EXPECT_EQ(rig.Target().Flash()[0x03FF], 0xA5);
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kCalibWriteDone});
    EXPECT_EQ(rig.host.sleeps, (std::vector<std::chrono::milliseconds>(2, std::chrono::milliseconds(100))));
}

TEST(Calibration, PagedFlashRewritesThePage) {
    OpsRig rig("ATmega8", "ATmega8");  // 32-word pages
    rig.Target().Flash()[0x100] = 0x12;
    SetTarget(rig, "A5", "101", text::kCalibFlashLabel);
    ASSERT_TRUE(rig.window.WriteCalibration({.timing = false}));
    const auto lines = WithoutTiming(rig.Lines());
    // The old byte (page 4 starts at word 0x80), then the page read and written back.
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[2], "> 45 00 00 80 00 01");
    EXPECT_EQ(lines[3], "< 12 FF");
    EXPECT_EQ(lines[8], "> 45 00 00 80 00 20");
    EXPECT_EQ(lines[10], "> 46 00 00 80 00 20");
    EXPECT_TRUE(lines[11].starts_with("> 12 A5 FF FF"));
    EXPECT_EQ(lines[12], "< 01");
    EXPECT_EQ(lines[14], "< 01");
    EXPECT_EQ(lines[15], "< 86");
    EXPECT_EQ(rig.Target().Flash()[0x101], 0xA5);
    EXPECT_EQ(rig.Target().Flash()[0x100], 0x12);
}

TEST(Calibration, FlashByteThatNeedsAnEraseIsRefused) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.Target().Flash()[0x20] = 0x00;
    SetTarget(rig, "01", "20", text::kCalibFlashLabel);
    EXPECT_FALSE(rig.window.WriteCalibration({.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kCalibNotWritable});
    EXPECT_EQ(rig.Opens(), 1);  // only the read of the old byte
}

TEST(Calibration, EepromIsNeverReadFirstNorRefused) {
    OpsRig rig("ATmega8", "ATmega8");  // EEPROM without pages
    rig.Target().Eeprom()[0x10] = 0x00;
    SetTarget(rig, "A5", "10", text::kCalibEepromLabel);
    ASSERT_TRUE(rig.window.WriteCalibration({.timing = false}));
    EXPECT_EQ(rig.Lines(), Concat({kEnter, {"> 4A 00 00 10 00 01", "> A5", "< 8A"}, kLeave}));
    EXPECT_EQ(rig.Target().Eeprom()[0x10], 0xA5);

    OpsRig paged("ATmega328P", "ATmega328P");
    paged.Target().Eeprom()[0x11] = 0x33;
    SetTarget(paged, "A5", "12", text::kCalibEepromLabel);
    ASSERT_TRUE(paged.window.WriteCalibration({.timing = false}));
    EXPECT_EQ(paged.Lines(), Concat({kEnter,
                                     {"> 48 00 00 10 00 04", "< FF 33 FF FF", "> 49 00 00 10 00 04", "> FF 33",
                                      "> A5 FF", "< 89"},
                                     kLeave}));
}

TEST(Calibration, WriteWithVerifyReadsBack) {
    OpsRig rig("ATmega8", "ATmega8");
    SetTarget(rig, "A5", "10", text::kCalibEepromLabel);
    rig.window.Controls().SetCheck(kCalibVerify, true);
    ASSERT_TRUE(rig.window.WriteCalibration({.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"校正値 ベリファイ OK!"});
    rig.ClearLog();
    rig.Target().Eeprom()[0x10] = 0xA4;
    EXPECT_FALSE(rig.window.VerifyCalibration({.timing = false}));
    ASSERT_EQ(rig.host.recorder.messages.size(), 1u);
    EXPECT_EQ(rig.host.recorder.messages[0], (RecordedMessage{MsgKind::Information, "校正値 ベリファイ ERROR"}));
    rig.ClearLog();
    EXPECT_FALSE(rig.window.VerifyCalibration(Quietly(false)));
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(Calibration, TargetChecksInOrder) {
    const struct {
        const char* value;
        const char* address;
        const char* memory;
        const char* message;
    } cases[] = {
        {"", "", "", text::kCalibValueMissing},
        {"A5", "", "FLASHアドレス", text::kCalibAddressMissing},
        {"A5", "10", text::kCalibrationWriteMemoryDefault, text::kCalibMemoryMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        OpsRig rig("ATmega8", "ATmega8");
        SetTarget(rig, c.value, c.address, c.memory);
        EXPECT_FALSE(rig.window.WriteCalibration({.timing = true}));
        EXPECT_FALSE(rig.window.VerifyCalibration({.timing = true}));
        EXPECT_EQ(rig.Texts(), (std::vector<std::string>{c.message, c.message}));
        EXPECT_EQ(rig.Opens(), 0);
    }
}

TEST(Calibration, AddressBeyondTheDeviceIsRefused) {
    OpsRig rig("ATmega8", "ATmega8");  // 8 KB FLASH, 512 bytes EEPROM
    SetTarget(rig, "A5", "2000", text::kCalibFlashLabel);
    EXPECT_FALSE(rig.window.WriteCalibration({.timing = false}));
    SetTarget(rig, "A5", "200", text::kCalibEepromLabel);
    EXPECT_FALSE(rig.window.WriteCalibration({.timing = false}));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kAddressBeyondDevice, text::kAddressBeyondDevice}));
    // Refused before the box is opened: the device is known.
    EXPECT_TRUE(rig.Sent().empty());
    EXPECT_EQ(rig.Opens(), 0);
}

}  // namespace
}  // namespace oriole::test
