// Fuse and lock operations per device group, on the wire.
#include <gtest/gtest.h>

#include <algorithm>

#include "ops/OpsTestSupport.h"
#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace ctl_id;

// A fuse write from the window's fields on the wire, and what the user is
// told; the verify box adds the verify, a quiet write does none. Verifying
// afterwards agrees, also where the device forces bits of its own (ATmega163
// reads back F9 / 30 for 01 / 00) or has no extended byte (0x00 is neither
// sent nor compared).
// The read a fuse write begins its frame with (the fuse rules look at what
// the chip holds): every byte of the device, as the chip holds it now.
std::vector<std::string> CurrentFuseRead(OpsRig& rig, const char* device) {
    std::vector<std::string> lines;
    const AVR_DEVICE& d = DeviceAt(Row(device));
    for (const auto& [bit, selector] : {std::pair{kFuseExt, 4}, std::pair{kFuseHigh, 2}, std::pair{kFuseLow, 1}}) {
        if ((d.fuseMask & bit) == 0) continue;
        lines.push_back(FormatText("> 4B %02X", unsigned(selector)));
        lines.push_back(FormatText("< %02X", unsigned{rig.Target().ReadFuse(static_cast<uint8_t>(selector))}));
    }
    return lines;
}

TEST(Fuses, WritesOnTheWireAndVerifyAfterwards) {
    const std::vector<std::string> d962 = {"> 4C 04 FF", "< 8C", "> 4C 02 D9", "< 8C", "> 4C 01 62", "< 8C"};
    const struct {
        const char* device;
        FuseBytes fuses;
        bool verifyBox;
        OpOptions options;
        std::vector<std::string> sent, readBack, texts;  // readBack: the verify's frame
    } cases[] = {
        {"ATmega328P", {0xFF, 0xDA, 0xE2}, true, {.timing = false},
         {"> 4C 04 FF", "< 8C", "> 4C 02 DA", "< 8C", "> 4C 01 E2", "< 8C"},
         {"> 4B 04", "< FF", "> 4B 02", "< DA", "> 4B 01", "< E2"}, {text::kFuseVerifyOk}},
        {"ATmega328P", {0xFF, 0xD9, 0x62}, false, {.timing = false}, d962, {}, {text::kFuseWriteDone}},
        {"ATmega328P", {0xFF, 0xD9, 0x62}, false, {.timing = false, .confirm = false, .report = false, .verify = true},
         d962, {}, {}},
        {"ATtiny13", {0x00, 0xFF, 0x6A}, true, {.timing = false}, {"> 4C 02 FF", "< 8C", "> 4C 01 6A", "< 8C"},
         {"> 4B 02", "< FF", "> 4B 01", "< 6A"}, {text::kFuseVerifyOk}},
        {"ATmega163", {0xFF, 0x01, 0x00}, false, {.timing = false}, {"> 4C 02 F9", "< 8C", "> 4C 01 30", "< 8C"}, {},
         {text::kFuseWriteDone}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        OpsRig rig(c.device, c.device);
        CMainControls& k = rig.window.Controls();
        k.SetText(kExtEdit, FormatText("%02X", unsigned{c.fuses.ext}));
        k.SetText(kHighEdit, FormatText("%02X", unsigned{c.fuses.high}));
        k.SetText(kLowEdit, FormatText("%02X", unsigned{c.fuses.low}));
        k.SetCheck(kFuseVerify, c.verifyBox);
        const auto current = CurrentFuseRead(rig, c.device);
        // ATmega163's value changes the clock source: the window asks, and Yes writes it.
        const bool asked = std::string(c.device) == "ATmega163";
        if (asked) rig.host.recorder.answers = {Answer::Yes};
        ASSERT_TRUE(rig.window.WriteFuses(c.options));
        if (asked) {
            ASSERT_FALSE(rig.host.recorder.messages.empty());
            EXPECT_EQ(rig.host.recorder.messages.front().kind, MsgKind::Question);
            rig.host.recorder.messages.erase(rig.host.recorder.messages.begin());
        }
        EXPECT_EQ(rig.Lines(), c.readBack.empty()
                                   ? Concat({kEnter, current, c.sent, kLeave})
                                   : Concat({kEnter, current, c.sent, kLeave, kEnter, c.readBack, kLeave}));
        EXPECT_EQ(rig.Texts(), c.texts);
        EXPECT_EQ(rig.Opens(), c.readBack.empty() ? 1 : 2);
        rig.ClearLog();
        EXPECT_TRUE(rig.core.VerifyFuses(c.fuses, {.timing = false}));
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFuseVerifyOk});
    }
}

TEST(Fuses, OldDevicesUseTheLockCommand) {
    const struct {
        const char* device;
        uint8_t low;
        const char* sent;
        const char* read;   // the command that reads it back
        uint8_t readMask;   // the bits the write can change
    } cases[] = {
        {"AT90S4433", 0xDF, "> 4E BF 00", "> 4B 01", 0x1F},  // SPIEN stays programmed
        {"AT90S4433", 0xC2, "> 4E A2 00", "> 4B 01", 0x1F},
        {"AT90S8535", 0x01, "> 4E BF 00", "> 4D", 0x01},
        {"AT90S8535", 0x00, "> 4E BE 00", "> 4D", 0x01},
        {"AT90S4434", 0x00, "> 4E BE 00", "> 4D", 0x01},
        {"ATtiny12", 0x52, "> 4E A0 52", "> 4B 01", 0xFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + " " + c.sent);
        OpsRig rig(c.device, c.device);
        ASSERT_TRUE(rig.core.WriteFuses({0xFF, 0xFF, c.low}, {.timing = false, .verify = false},
                                        {.risky = RiskyFuses::Allow}));
        // The chip's byte is read first, by the command that reads it back.
        const auto lines = rig.Lines();
        ASSERT_EQ(lines.size(), kEnter.size() + 4 + kLeave.size());
        EXPECT_EQ(lines[kEnter.size()], c.read);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(kEnter.size()) + 2, lines.end()),
                  Concat({{c.sent, "< 8E"}, kLeave}));
        rig.ClearLog();
        uint8_t e = 0, h = 0, l = 0;
        ASSERT_TRUE(ReadFuseBytes(rig.core, e, h, l, false));
        EXPECT_EQ(rig.Lines()[2], c.read);
        EXPECT_EQ(l & c.readMask, c.low & c.readMask);
        EXPECT_EQ(e, 0xFF);
        EXPECT_EQ(h, 0xFF);
        // Verifying what was read back agrees.
        EXPECT_TRUE(rig.core.VerifyFuses({0x00, 0x00, l}, {.timing = false}));
    }
}

// An operation on fuse bytes or a calibration byte the device does not have
// is refused once the begin sequence has made the device known, before
// anything is sent for it: one message naming the device and the memory.
TEST(Fuses, MemoriesTheDeviceLacksAreRefusedBeforeAnythingIsSent) {
    using Run = std::function<bool(COrioleCore&)>;
    const Run readFuses = [](COrioleCore& c) { FuseBytes f; return c.ReadFuses(f, false); };
    const struct {
        const char* device;
        const char* selected;  // nullptr: auto-detect
        const char* memory;
        Run run;
    } cases[] = {
        {"AT90S2313", "AT90S2313", text::kMemoryFuses, readFuses},
        {"AT90S2313", nullptr, text::kMemoryFuses, readFuses},
        {"AT90S1200", "AT90S1200", text::kMemoryFuses,
         [](COrioleCore& c) { return c.WriteFuses({0x00, 0x00, 0x00}, {.timing = false, .verify = true}); }},
        {"AT90S2313", "AT90S2313", text::kMemoryCalibration,
         [](COrioleCore& c) { uint8_t v = 0; return c.ReadCalibrationByte(0, v, false); }},
        {"AT90S4433", nullptr, text::kMemoryCalibration,
         [](COrioleCore& c) { return c.WriteCalibration({0xA5, 0x10, CalibMemory::Eeprom}, {}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device) + (c.selected ? "" : " detected") + " " + c.memory);
        OpsRig rig(c.device, c.selected);
        EXPECT_FALSE(c.run(rig.core));
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{FormatText(text::kMemoryMissing, c.device, c.memory)});
        EXPECT_EQ(rig.Opens(), 1);
        // Entered (and, detected, identified), left: nothing in between.
        const auto sent = WithoutTiming(rig.Sent());
        EXPECT_EQ(sent.back(), "> 42");
        EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](const std::string& line) {
            return line.starts_with("> 41") || line.starts_with("> 43") || line == "> 42";
        })) << testing::PrintToString(sent);
    }
}

TEST(Fuses, Atmega329pIsACurrentDevice) {
    OpsRig rig("ATmega329P", "ATmega329P");
    rig.Target().SetFuse(2, 0x99);
    uint8_t e = 0, h = 0, l = 0;
    ASSERT_TRUE(ReadFuseBytes(rig.core, e, h, l, false));
    EXPECT_EQ(h, 0x99);
    EXPECT_EQ(DeviceAt(Row("ATmega329P")).lockGroup, LockGroup::L3);
}

TEST(Fuses, VerifyNamesTheDifferingBytesInOrder) {
    OpsRig rig("ATmega328P", "ATmega328P");
    rig.Target().SetFuse(2, 0xD9);
    rig.Target().SetFuse(1, 0x62);
    EXPECT_FALSE(rig.core.VerifyFuses({0xFF, 0xDA, 0xE2}, {.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"ヒューズ[High,Low] ベリファイ ERROR!"});
    EXPECT_EQ(rig.host.recorder.messages[0].kind, MsgKind::Warning);

    OpsRig old("AT90S4433", "AT90S4433");
    EXPECT_FALSE(old.core.VerifyFuses({0xFF, 0xFF, 0x00}, {.timing = false}));
    EXPECT_EQ(old.Texts(), std::vector<std::string>{"ヒューズ ベリファイ ERROR!"});
    old.ClearLog();
    EXPECT_FALSE(old.core.VerifyFuses({0xFF, 0xFF, 0x00}, Quietly(false)));
    EXPECT_TRUE(old.Texts().empty());
}

TEST(Fuses, ReadThatTimesOutFailsWithOneMessage) {
    OpsRig rig("ATmega328P", "ATmega328P");
    rig.box->Faults().mute = {{'K', 0}};
    uint8_t e = 0, h = 0, l = 0;
    EXPECT_FALSE(ReadFuseBytes(rig.core, e, h, l, false));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
    // The verify says nothing about bytes it could not read.
    OpsRig again("ATmega328P", "ATmega328P");
    again.box->Faults().mute = {{'K', 0}};
    EXPECT_FALSE(again.core.VerifyFuses({0xFF, 0xDA, 0xE2}, {.timing = false}));
    EXPECT_EQ(again.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
}

TEST(Fuses, ReplyWaitAfterATimeOutFailsAtOnceWithoutASecondMessage) {
    OpsRig rig("ATmega8");  // auto-detect: A, then C for the signature
    rig.box->Faults().mute = {{'A', 0}, {'C', 0}};
    const ClockTime start = rig.clock.Now();
    uint8_t e = 0, h = 0, l = 0;
    EXPECT_FALSE(ReadFuseBytes(rig.core, e, h, l, false));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
    EXPECT_LT(rig.clock.Now() - start, std::chrono::seconds(13));  // one wait of 11 ticks
    EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortTimeout);
}

TEST(Lock, CommandsPerGroup) {
    const struct {
        const char* device;
        uint8_t lock;
        const char* sent;
        uint8_t readBack;
    } cases[] = {
        {"ATtiny12", 0x00, "> 4E F9 00", 0xF9},
        {"AT90S4433", 0xFD, "> 4E FD 00", 0xFD},
        {"AT90S8535", 0xF9, "> 4E F9 00", 0xF9},
        {"ATmega8", 0x3C, "> 4E E0 FC", 0xFC},
        {"ATtiny85", 0x00, "> 4E E0 FC", 0xFC},
        {"ATmega328P", 0x0F, "> 4E E0 CF", 0xCF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        OpsRig rig(c.device, c.device);
        ASSERT_TRUE(rig.core.WriteLockBits(c.lock, {.timing = false, .verify = false}));
        EXPECT_EQ(rig.Lines(), Concat({kEnter, {c.sent, "< 8E"}, kLeave}));
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kLockWriteDone});
        uint8_t lock = 0;
        ASSERT_TRUE(rig.core.ReadLockBits(lock, false));
        EXPECT_EQ(lock, c.readBack);
    }
}

TEST(Lock, UnacknowledgedWriteIsAFailure) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.box->Faults().wrongAck = {'N'};
    EXPECT_FALSE(rig.core.WriteLockBits(0xFC, {.timing = false, .verify = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{FormatText(text::kWriterWrongAck, 0x8Eu, 0x0Eu)});

    OpsRig silent("ATmega8", "ATmega8");
    silent.box->Faults().mute = {{'N', 0}};
    EXPECT_FALSE(silent.core.WriteLockBits(0xFC, {.timing = false, .verify = false}));
    EXPECT_EQ(silent.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
    EXPECT_EQ(silent.core.LinkState().m_nAbort, kAbortTimeout);
}

TEST(Lock, DevicesWithoutALockCommandRefuse) {
    for (const char* device : {"AT90S1200", "AT90S2313"}) {
        SCOPED_TRACE(device);
        OpsRig rig(device, device);
        EXPECT_FALSE(rig.core.WriteLockBits(0x00, {.timing = false, .verify = false}));
        EXPECT_EQ(rig.Lines(), Concat({kEnter, kLeave}));
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kLockNotWritable});
    }
}

TEST(Lock, DevicesThatCannotSendThemRefuseReadAndVerify) {
    OpsRig rig("AT90S8515", "AT90S8515");  // written with N, no M
    uint8_t lock = 0;
    EXPECT_FALSE(rig.core.ReadLockBits(lock, false));
    EXPECT_FALSE(rig.core.VerifyLockBits(0xF9, {.timing = false}));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kLockNotReadable, text::kLockNotReadable}));
    EXPECT_EQ(rig.Lines(), Concat({kEnter, kLeave, kEnter, kLeave}));
    rig.ClearLog();
    // The window's write with its verify on: the write is reported, no
    // verdict on the device.
    rig.window.Controls().SetText(kLockEdit, "F9");
    rig.window.Controls().SetCheck(kLockVerify, true);
    EXPECT_TRUE(rig.window.WriteLockBits({}));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kLockWriteDone, text::kLockNotVerified}));
    EXPECT_EQ(rig.Target().LockBits() & 0x06, 0x00);
}

TEST(Lock, WindowWriteVerifiesTheEditValueAfterAPause) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.window.Controls().SetText(kLockEdit, "fc");
    rig.window.Controls().SetCheck(kLockVerify, true);
    ASSERT_TRUE(rig.window.WriteLockBits({}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kLockVerifyOk});
    EXPECT_EQ(rig.host.sleeps.back(), std::chrono::milliseconds(100));
    // The window's write always sends the timing.
    EXPECT_TRUE(rig.Lines()[0].starts_with("> 54 "));
    rig.ClearLog();
    // 3C differs from the FC read back only in the bits ATmega8 does not
    // have: the same lock. FF differs in LB1 and LB2.
    rig.window.Controls().SetText(kLockEdit, "3C");
    EXPECT_TRUE(rig.window.VerifyLockBits({.timing = false}));
    rig.ClearLog();
    rig.window.Controls().SetText(kLockEdit, "FF");
    EXPECT_FALSE(rig.window.VerifyLockBits({.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kLockVerifyError});
}

TEST(Lock, VerifyThatCannotReadSaysNothingOfItsOwn) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.box->Faults().mute = {{'M', 0}};
    EXPECT_FALSE(rig.core.VerifyLockBits(0xFC, {.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
}

}  // namespace
}  // namespace oriole::test
