// The writer's command set on the wire, byte for byte, against the
// simulated box: the begin sequence, detection, the page and word forms.
#include <gtest/gtest.h>

#include "link/SimLinkFixture.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

std::string Repeat(const char* hex, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        if (i > 0) out += ' ';
        out += hex;
    }
    return out;
}

TEST(BeginProgramming, WorkedExampleWithTimingAndAutoDetect) {
    SimLink s("ATmega8");
    TestSelector selector(0, true);  // "(auto)" shown
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_TRUE(s.link.BeginProgramming(selector, true));
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{
                             "> 54 03 03 03 02 92 5A 5A 5A", "< 94",  //
                             "> 41 00", "< 53",                       //
                             "> 43", "< 1E 93 07",                    //
                             "> 54 02 02 03 01 5A 2D 5A 2D", "< 94",
                         }));
    EXPECT_EQ(selector.device, Row("ATmega8"));
    EXPECT_EQ(selector.listItem, Row("ATmega8"));
    EXPECT_EQ(selector.clears, 1);
    EXPECT_TRUE(s.host.Texts().empty());
    EXPECT_EQ(s.box->Firmware().LastTiming(), (std::array<uint8_t, 8>{2, 2, 3, 1, 0x5A, 0x2D, 0x5A, 0x2D}));
}

TEST(BeginProgramming, NoTimingAndNoAutoDetectSendsOnlyTheEnable) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), false);
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_TRUE(s.link.BeginProgramming(selector, false));
    s.link.EndProgramming();
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 41 00", "< 53", "> 42", "< 82"}));
}

TEST(BeginProgramming, SameDeviceDetectedAgainKeepsTheShownValues) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), true);
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_TRUE(s.link.BeginProgramming(selector, false));
    EXPECT_EQ(selector.clears, 0);
}

TEST(BeginProgramming, RefusalCountsOnlyForDevicesOtherThanAt90s1200) {
    const struct {
        const char* selected;
        bool result;
    } cases[] = {{"AT90S1200", true}, {"ATmega8", false}, {"ATtiny12", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected);
        SimLink s("ATmega8,refuse");
        TestSelector selector(Row(c.selected), false);
        ASSERT_TRUE(s.link.OpenLink());
        EXPECT_EQ(s.link.BeginProgramming(selector, false), c.result);
        s.link.EndProgramming();
        EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 41 00", "< FE", "> 42", "< 82"}));
        if (c.result) {
            EXPECT_TRUE(s.host.Texts().empty());
        } else {
            EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kProgrammingRefused});
            EXPECT_EQ(s.host.recorder.messages[0].kind, MsgKind::Warning);
        }
    }
}

TEST(BeginProgramming, AbortSetEarlierRefusesWithoutSending) {
    for (int32_t abort : {kAbortCancelled, kAbortTimeout}) {
        SimLink s("ATmega8");
        TestSelector selector(Row("ATmega8"), true);
        s.state.m_nAbort = abort;
        ASSERT_TRUE(s.link.OpenLink());
        EXPECT_FALSE(s.link.BeginProgramming(selector, true));
        EXPECT_TRUE(s.Lines().empty());
        EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kAbortedEarlier});
        EXPECT_EQ(s.state.m_nAbort, abort);
    }
}

TEST(BeginProgramming, ZeroHertzClockIsRefusedBeforeAnythingIsSent) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), true);
    s.state.m_nSysFreq = 0;
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_FALSE(s.link.BeginProgramming(selector, true));
    EXPECT_TRUE(s.Lines().empty());
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kDeviceClockZero});
    // Without timing requests the clock is not needed.
    EXPECT_TRUE(s.link.BeginProgramming(selector, false));
}

TEST(BeginProgramming, SilentBoxTimesOutOnTheFirstAcknowledge) {
    SimLink s("ATmega8,mute=T");
    TestSelector selector(Row("ATmega8"), true);
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_FALSE(s.link.BeginProgramming(selector, true));
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
    EXPECT_EQ(s.state.m_nAbort, kAbortTimeout);
    // Ten to eleven seconds passed on the virtual clock.
    EXPECT_GE(s.clock.Now(), std::chrono::seconds(10));
    EXPECT_LE(s.clock.Now(), std::chrono::seconds(11) + std::chrono::milliseconds(10));
    // B is still sent and fails at its first pass without a second message.
    EXPECT_FALSE(s.link.EndProgramming());
    const auto lines = s.Lines();
    EXPECT_EQ(lines[lines.size() - 2], "> 42");
    EXPECT_EQ(s.host.Texts().size(), 1u);
}

TEST(ReadSignature, UnknownSignatureForgetsTheDeviceButNotTheList) {
    SimLink s("ATmega8,signature=1E9999");
    TestSelector selector(Row("ATtiny13"), true);
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_FALSE(s.link.BeginProgramming(selector, false));
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kDeviceNotDetected});
    EXPECT_EQ(s.host.recorder.messages[0].kind, MsgKind::Warning);
    EXPECT_EQ(selector.device, 0);
    EXPECT_EQ(selector.pDevice, Row("ATtiny13"));
    EXPECT_EQ(selector.listItem, Row("ATtiny13"));
}

TEST(ReadSignature, NoTargetIsRefusedBeforeDetection) {
    SimLink s("none");
    TestSelector selector(0, true);
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_FALSE(s.link.BeginProgramming(selector, true));
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kProgrammingRefused});
}

TEST(ReadSignature, RowMissingFromTheListSelectsAuto) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATtiny13"), true);
    selector.rowMissingFromList = Row("ATmega8");
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_FALSE(s.link.BeginProgramming(selector, false));
    EXPECT_EQ(selector.device, 0);
    EXPECT_EQ(selector.listItem, 0);
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kDeviceNotDetected});
}

TEST(ReadSignature, SilentOrShortReplyEndsLikeATimeOut) {
    for (const char* fault : {"ATmega8,mute=C", "ATmega8,short=C"}) {
        SCOPED_TRACE(fault);
        SimLink s(fault);
        TestSelector selector(0, true);
        ASSERT_TRUE(s.link.OpenLink());
        EXPECT_FALSE(s.link.ReadSignature(selector));
        // One failure, one message: the time-out's.
        EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
        EXPECT_EQ(s.state.m_nAbort, kAbortTimeout);
    }
}

TEST(Commands, Atmega8FlashPageInTwoAcknowledgedPieces) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), false);
    ASSERT_TRUE(s.link.OpenLink());
    ASSERT_TRUE(s.link.BeginProgramming(selector, false));
    s.box->Transcript().Clear();
    std::vector<uint8_t> page(64, 0xAA);
    page[0] = 0x0C;
    page[1] = 0x94;
    ASSERT_TRUE(s.link.WriteFlashPage(0x20, page, PieceFailure::EndPage));
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{
                             "> 46 00 00 20 00 20",
                             "> 0C 94 " + Repeat("AA", 30), "< 01",
                             "> " + Repeat("AA", 32), "< 01",
                             "< 86",
                         }));
    EXPECT_EQ(s.box->Target().ReadFlash(0x40), 0x0C);
    EXPECT_EQ(s.box->Target().ReadFlash(0x41), 0x94);
    EXPECT_EQ(s.box->Target().ReadFlash(0x7F), 0xAA);
    EXPECT_EQ(s.box->Target().ReadFlash(0x80), 0xFF);
}

TEST(Commands, OneWordReadAtAnOddAddressTakesTheSecondByte) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), false);
    s.box->Target().Flash()[0x100] = 0x11;
    s.box->Target().Flash()[0x101] = 0x22;
    ASSERT_TRUE(s.link.OpenLink());
    ASSERT_TRUE(s.link.BeginProgramming(selector, false));
    s.box->Transcript().Clear();
    uint8_t value = 0;
    ASSERT_TRUE(s.link.ReadFlashByte(0x0101, value));
    EXPECT_EQ(value, 0x22);
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 45 00 00 80 00 01", "< 11 22"}));
    EXPECT_EQ(s.host.sleeps, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(100)});
}

TEST(Commands, PieceFailureEndsOrFinishesThePage) {
    // The second piece of the page gets no acknowledge.
    for (PieceFailure mode : {PieceFailure::EndPage, PieceFailure::FinishPage}) {
        SimLink s("ATmega8,mute=F#2");
        TestSelector selector(Row("ATmega8"), false);
        ASSERT_TRUE(s.link.OpenLink());
        ASSERT_TRUE(s.link.BeginProgramming(selector, false));
        EXPECT_FALSE(s.link.WriteFlashPage(0, std::vector<uint8_t>(64, 0), mode));
        EXPECT_EQ(s.state.m_nAbort, kAbortTimeout);
        // EndPage stops at once; FinishPage still waits for the page's byte,
        // which fails at its first pass now that the time-out is set.
        EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
    }
}

TEST(Commands, CancelBetweenPiecesEndsThePage) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), false);
    ASSERT_TRUE(s.link.OpenLink());
    ASSERT_TRUE(s.link.BeginProgramming(selector, false));
    s.box->Transcript().Clear();
    s.host.onPump = [&](int) { s.state.m_nAbort = kAbortCancelled; };
    EXPECT_FALSE(s.link.WriteFlashPage(0, std::vector<uint8_t>(64, 0), PieceFailure::EndPage));
    EXPECT_EQ(s.box->Transcript().ToBox().size(), 6u + 32u);  // request and first piece only
    EXPECT_TRUE(s.host.Texts().empty());
}

TEST(Commands, EepromPageGoesTwoBytesPerSend) {
    SimLink s("ATmega48");
    TestSelector selector(Row("ATmega48"), false);
    ASSERT_TRUE(s.link.OpenLink());
    ASSERT_TRUE(s.link.BeginProgramming(selector, false));
    s.box->Transcript().Clear();
    ASSERT_TRUE(s.link.WriteEepromPage(8, std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 49 00 00 08 00 04", "> 01 02", "> 03 04", "< 89"}));
    EXPECT_EQ(s.box->Target().ReadEeprom(10), 3);
}

TEST(Commands, PacedEepromBytesSleepBetweenRequestDataAndAcknowledge) {
    SimLink s("ATmega8");
    TestSelector selector(Row("ATmega8"), false);
    ASSERT_TRUE(s.link.OpenLink());
    ASSERT_TRUE(s.link.BeginProgramming(selector, false));
    s.box->Transcript().Clear();
    ASSERT_TRUE(s.link.WriteEepromBytes(0x20, std::vector<uint8_t>(32, 0x5A), true));
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 4A 00 00 20 00 20", "> " + Repeat("5A", 32), "< 8A"}));
    EXPECT_EQ(s.host.sleeps, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1),
                                                                      std::chrono::milliseconds(10)}));
}

TEST(Commands, FlashWordsOfAnUnpagedDevice) {
    SimLink s("AT90S8515");
    TestSelector selector(Row("AT90S8515"), false);
    ASSERT_TRUE(s.link.OpenLink());
    ASSERT_TRUE(s.link.BeginProgramming(selector, false));
    s.box->Transcript().Clear();
    ASSERT_TRUE(s.link.WriteFlashWords(0x07FF, std::vector<uint8_t>{0xFF, 0xA5}));
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 47 00 07 FF 00 01", "> FF A5", "< 87"}));
    EXPECT_EQ(s.box->Target().ReadFlash(0x0FFF), 0xA5);
}

}  // namespace
}  // namespace oriole::test
