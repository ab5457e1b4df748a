// The byte link: opening and its failures, the driver error messages, reads
// that never ask for more than is queued, and the acknowledge wait's
// time-out and cancel state machine, all on virtual time.
#include "link/WriterLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/FormatText.h"

#include "link/SimLinkFixture.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using sim::DriverCall;

const std::string kNoAnswer = text::kWriterNoAnswer;

TEST(OpenLink, ConfiguresTheBoxInOrder) {
    SimLink s;
    s.state.m_nUsbTiming = 3;
    s.state.m_nDataSpeed = 2;
    ASSERT_TRUE(s.link.OpenLink());
    EXPECT_EQ(s.box->CallLog(), (std::vector<std::string>{"open ORIOLE Ver.1.00", "latency 48", "flow 0 0 0",
                                                          "baud 28800", "data 8 0 0", "dtr"}));
    EXPECT_TRUE(s.link.CloseLink());
    EXPECT_TRUE(s.host.Texts().empty());
}

TEST(OpenLink, OutOfRangeSettingsAreClampedOrDefaulted) {
    const struct {
        int32_t usbTiming, dataSpeed;
        const char* latency;
        const char* baud;
    } cases[] = {{9, 0, "latency 96", "baud 38400"}, {-3, 5, "latency 2", "baud 38400"}, {5, 4, "latency 96", "baud 14400"}};
    for (const auto& c : cases) {
        SimLink s;
        s.state.m_nUsbTiming = c.usbTiming;
        s.state.m_nDataSpeed = c.dataSpeed;
        ASSERT_TRUE(s.link.OpenLink());
        EXPECT_EQ(s.box->CallLog()[1], c.latency);
        EXPECT_EQ(s.box->CallLog()[3], c.baud);
    }
}

TEST(OpenLink, NoBoxShowsNotRecognisedAndMakesNoOtherCall) {
    SimLink s("ATmega8,fail=open:2");
    EXPECT_FALSE(s.link.OpenLink());
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{text::kWriterNotFound});
    EXPECT_EQ(s.host.recorder.messages[0].kind, MsgKind::Error);
    for (int c = 1; c < static_cast<int>(DriverCall::Count); ++c)
        EXPECT_EQ(s.box->CallCount(static_cast<DriverCall>(c)), 0) << sim::DriverCallName(static_cast<DriverCall>(c));
    EXPECT_FALSE(s.link.IsOpen());
}

TEST(OpenLink, EachRejectedConfigurationStepReportsItsCodeAndStops) {
    const struct {
        const char* fault;
        const char* lastCall;
        const char* message;
    } cases[] = {
        {"fail=latency:7", "latency 2", "line 480(2): ドライバ呼び出しエラー(7)"},
        {"fail=flow:4", "flow 0 0 0", "line 480(2): ドライバ呼び出しエラー(4)"},
        {"fail=baud:7", "baud 38400", "line 480(3): ドライバ呼び出しエラー(7)"},
        {"fail=data:6", "data 8 0 0", "line 480(4): ドライバ呼び出しエラー(6)"},
        {"fail=dtr:18", "dtr", "line 480(5): ドライバ呼び出しエラー(18)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SimLink s(std::string("ATmega8,") + c.fault);
        EXPECT_FALSE(s.link.OpenLink());
        EXPECT_FALSE(s.link.IsOpen());
        EXPECT_EQ(s.host.Texts(), std::vector<std::string>{c.message});
        // No configuration call follows the failed one; the handle is given back.
        const auto& log = s.box->CallLog();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.lastCall);
        EXPECT_EQ(log.back(), "close");
    }
}

TEST(DriverErrors, WriteQueueAndReadFailuresCarryTheirLineNumbers) {
    const struct {
        const char* fault;
        const char* message;
    } cases[] = {
        {"fail=write:4", "line 503: ドライバ呼び出しエラー(4)"},
        {"fail=queue:4", "line 556: ドライバ呼び出しエラー(4)"},
        {"fail=read:4", "line 528: ドライバ呼び出しエラー(4)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        SimLink s(std::string("ATmega8,") + c.fault);
        ASSERT_TRUE(s.link.OpenLink());
        const bool ok = s.link.WriteBytes(std::vector<uint8_t>{'B'}) && s.link.WaitAck(0x82);
        EXPECT_FALSE(ok);
        EXPECT_EQ(s.host.Texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(s.state.m_nAbort, 0);  // a driver error is not a time-out
        EXPECT_EQ(s.state.m_nTimeoutTicks, 0);
    }
}

TEST(DriverErrors, PulledPlugMidTransferFailsTheWrite) {
    SimLink s("ATmega8,disconnect=20");
    ASSERT_TRUE(s.link.OpenLink());
    const std::vector<uint8_t> page(64, 0x00);
    EXPECT_FALSE(s.link.WriteFlashPage(0, page, PieceFailure::EndPage));
    EXPECT_EQ(s.host.Texts(), std::vector<std::string>{"line 503: ドライバ呼び出しエラー(4)"});
    // The box is gone for good: the next opening does not find it.
    s.link.CloseLink();
    EXPECT_FALSE(s.link.OpenLink());
    EXPECT_EQ(s.host.Texts().back(), text::kWriterNotFound);
}

TEST(ReadBytes, NothingQueuedReadsNothingWithoutCallingRead) {
    ScriptedDriver driver;
    CLinkState state;
    CVirtualClock clock;
    TestOperationHost host(state, clock);
    CWriterLink link(driver, state, host);
    uint8_t buffer[4];
    uint32_t read = 99;
    ASSERT_TRUE(link.ReadBytes(buffer, read));
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(driver.readSizes.empty());

    driver.Arrive({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_TRUE(link.ReadBytes(buffer, read));
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(driver.readSizes, std::vector<size_t>{4});
    EXPECT_EQ(driver.queue.size(), 6u);
}

// The acknowledge wait against a driver whose bytes arrive when the test says.
struct AckWait : testing::Test {
    AckWait() : host(state, clock), link(driver, state, host) {}
    ScriptedDriver driver;
    CLinkState state;
    CVirtualClock clock;
    TestOperationHost host;
    CWriterLink link;
};

TEST_F(AckWait, ExpectedByteAtOnceSucceeds) {
    driver.Arrive({0x94});
    EXPECT_TRUE(link.WaitAck(0x94));
    EXPECT_EQ(state.m_nTimeoutTicks, 0);
    EXPECT_EQ(host.pumps, 1);
    EXPECT_TRUE(host.Texts().empty());
}

// A wrong byte fails the wait and says which byte it was, except where
// another byte is an answer of its own (A's refusal byte 0xFE).
TEST(AckWaits, WrongByteFailsWithOneMessageUnlessItIsAnAnswer) {
    const struct {
        uint8_t expected, arrived;
        bool otherIsAnswer, ok;
        std::vector<std::string> messages;
    } cases[] = {
        {0x94, 0x00, false, false, {FormatText(text::kWriterWrongAck, 0x94u, 0x00u)}},
        {0x86, 0x06, false, false, {FormatText(text::kWriterWrongAck, 0x86u, 0x06u)}},
        {0xFE, 0x53, true, false, {}},
        {0xFE, 0xFE, true, true, {}},
    };
    for (const auto& c : cases) {
        ScriptedDriver driver;
        CLinkState state;
        CVirtualClock clock;
        TestOperationHost host(state, clock);
        CWriterLink link(driver, state, host);
        driver.Arrive({c.arrived});
        EXPECT_EQ(link.WaitAck(c.expected, c.otherIsAnswer), c.ok);
        EXPECT_EQ(state.m_nAbort, kAbortNone);
        EXPECT_EQ(host.Texts(), c.messages);
    }
}

// A cancel leaves the box in the middle of a page or of a reply; the next
// run on the same box (another program, with a state of its own) starts at
// once: no tick passes before its first command is answered.
TEST(Cancel, TheNextRunOnTheSameBoxStartsAtOnce) {
    static_assert(sim::CSimFirmware::kCommandGap == kBoxCommandGap);  // the box the link expects
    const struct {
        const char* name;
        std::function<bool(CWriterLink&, CLinkState&, TestOperationHost&)> cancelled;
    } cases[] = {
        {"FLASH page after its first piece",
         [](CWriterLink& link, CLinkState& state, TestOperationHost& host) {
             host.onPump = [&](int) { state.m_nAbort = kAbortCancelled; };
             return link.WriteFlashPage(0, std::vector<uint8_t>(64, 0x12), PieceFailure::EndPage);
         }},
        {"EEPROM page after its first pair",
         [](CWriterLink& link, CLinkState& state, TestOperationHost&) {
             state.m_nAbort = kAbortCancelled;
             return link.WriteEepromPage(0, std::vector<uint8_t>(4, 0x34));
         }},
        {"FLASH read in the middle of its reply",
         [](CWriterLink& link, CLinkState& state, TestOperationHost& host) {
             host.onPump = [&](int pump) {
                 if (pump == 40) state.m_nAbort = kAbortCancelled;
             };
             std::vector<uint8_t> all(8192);
             return link.ReadFlashBlock(0, all);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVirtualClock clock;
        auto box = std::make_shared<sim::CSimBox>(SimConfigFor("ATmega8"), clock);
        {
            CLinkState state;
            CSimDriver driver(box);
            TestOperationHost host(state, clock);
            CWriterLink link(driver, state, host);
            TestSelector selector(Row("ATmega8"), false);
            ASSERT_TRUE(link.OpenLink());
            ASSERT_TRUE(link.BeginProgramming(selector, true));
            EXPECT_FALSE(c.cancelled(link, state, host));
            link.EndProgramming();
            link.CloseLink();
            EXPECT_TRUE(host.Texts().empty());
        }
        EXPECT_FALSE(box->Firmware().Receiving(clock.Now()));

        CLinkState state;
        CSimDriver driver(box);
        TestOperationHost host(state, clock);
        CWriterLink link(driver, state, host);
        TestSelector selector(Row("ATmega8"), true);
        const ClockTime start = clock.Now();
        ASSERT_TRUE(link.OpenLink());
        EXPECT_TRUE(link.BeginProgramming(selector, true));
        uint8_t fuse = 0;
        EXPECT_TRUE(link.ReadFuseByte(1, fuse));
        link.EndProgramming();
        link.CloseLink();
        EXPECT_TRUE(host.Texts().empty()) << host.Texts().front();
        EXPECT_EQ(selector.device, Row("ATmega8"));
        EXPECT_LT(clock.Now() - start, std::chrono::seconds(1));
    }
}

TEST_F(AckWait, ByteAfterSomeTicksStillCounts) {
    host.ticksPerPump = 1;
    host.onPump = [&](int pump) {
        if (pump == 10) driver.Arrive({0x94});
    };
    EXPECT_TRUE(link.WaitAck(0x94));
    EXPECT_EQ(state.m_nTimeoutTicks, 0);
}

TEST_F(AckWait, SilenceTimesOutAfterElevenTicksThenLaterWaitsFailAtOnce) {
    host.ticksPerPump = 1;
    EXPECT_FALSE(link.WaitAck(0x94));
    EXPECT_EQ(host.pumps, 11);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{kNoAnswer});
    EXPECT_EQ(host.recorder.messages[0].kind, MsgKind::Error);
    EXPECT_EQ(state.m_nAbort, kAbortTimeout);
    EXPECT_EQ(state.m_nTimeoutTicks, 0);

    driver.Arrive({0x94});
    EXPECT_FALSE(link.WaitAck(0x94));
    EXPECT_EQ(host.pumps, 12);          // one pass
    EXPECT_EQ(host.Texts().size(), 1u);  // no second message
    EXPECT_EQ(state.m_nAbort, kAbortTimeout);
}

TEST_F(AckWait, ByteArrivingWithTheLastTickIsStillATimeOut) {
    host.ticksPerPump = 1;
    host.onPump = [&](int pump) {
        if (pump == 11) driver.Arrive({0x94});
    };
    EXPECT_FALSE(link.WaitAck(0x94));
    EXPECT_EQ(state.m_nAbort, kAbortTimeout);
    EXPECT_EQ(host.Texts(), std::vector<std::string>{kNoAnswer});
}

TEST_F(AckWait, CancelFailsWithoutMessageAndStaysSet) {
    host.onPump = [&](int pump) {
        if (pump == 3) state.m_nAbort = kAbortCancelled;
    };
    EXPECT_FALSE(link.WaitAck(0x94));
    EXPECT_EQ(host.pumps, 3);
    EXPECT_TRUE(host.Texts().empty());
    EXPECT_EQ(state.m_nAbort, kAbortCancelled);
    EXPECT_EQ(state.m_nTimeoutTicks, 0);
}

TEST_F(AckWait, CancelWithTheLastTickShowsNoTimeOut) {
    host.ticksPerPump = 1;
    host.onPump = [&](int pump) {
        if (pump == 11) state.m_nAbort = kAbortCancelled;
    };
    EXPECT_FALSE(link.WaitAck(0x94));
    EXPECT_TRUE(host.Texts().empty());
    EXPECT_EQ(state.m_nAbort, kAbortCancelled);
}

TEST_F(AckWait, EveryPassWaitsForDataInsteadOfSpinning) {
    host.ticksPerPump = 1;
    EXPECT_FALSE(link.WaitAck(0x94));
    EXPECT_EQ(driver.waits, host.pumps);
}

TEST_F(AckWait, TicksOutsideAWaitChangeNothing) {
    OnTimerTick(state);
    EXPECT_EQ(state.m_nTimeoutTicks, 0);
}

TEST_F(AckWait, ShortReplyIsBoundedLikeAnAcknowledge) {
    host.ticksPerPump = 1;
    driver.Arrive({0x1E, 0x93});
    uint8_t reply[3];
    EXPECT_FALSE(link.ReadReply(reply));
    EXPECT_EQ(host.Texts(), std::vector<std::string>{kNoAnswer});
    EXPECT_EQ(state.m_nAbort, kAbortTimeout);
    EXPECT_EQ(state.m_nTimeoutTicks, 0);
}

TEST_F(AckWait, ReplyInPiecesIsCollectedWhole) {
    host.onPump = [&](int pump) {
        if (pump == 2) driver.Arrive({0x1E});
        if (pump == 5) driver.Arrive({0x93, 0x07});
    };
    uint8_t reply[3] = {};
    EXPECT_TRUE(link.ReadReply(reply));
    EXPECT_EQ(reply[0], 0x1E);
    EXPECT_EQ(reply[2], 0x07);
    // No read asks for more than the reply still misses.
    for (size_t size : driver.readSizes) EXPECT_LE(size, 2u);
}

// The block reads, which every FLASH and EEPROM read of the operations takes:
// one pump per pass, the time-out counted from the last byte that came, the
// progress after every pass that brought bytes. Every pump is one tick.
TEST(BlockRead, WaitsElevenTicksAfterTheLastByte) {
    const struct {
        const char* what;
        bool flash;
        std::vector<int> arrivals;  // pumps at which two more bytes arrive
        int32_t abortBefore;        // m_nAbort when the read starts
        int cancelAt;               // pump that presses Cancel, 0 none
        bool ok;
        int pumps;
        std::vector<size_t> progress;
        std::vector<std::string> texts;
        int32_t abortAfter;
    } cases[] = {
        {"a byte every ten ticks keeps it going", true, {1, 11, 21}, kAbortNone, 0, true, 21,
         {2, 4, 6}, {}, kAbortNone},
        {"silence after the first bytes times out once", false, {1}, kAbortNone, 0, false, 12, {2},
         {kNoAnswer}, kAbortTimeout},
        {"cancel ends it without a message", true, {1}, kAbortNone, 4, false, 4, {2}, {},
         kAbortCancelled},
        {"after an earlier time-out, one silent pass", false, {1}, kAbortTimeout, 0, false, 1,
         {2}, {}, kAbortTimeout},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDriver driver;
        CLinkState state;
        CVirtualClock clock;
        TestOperationHost host(state, clock);
        CWriterLink link(driver, state, host);
        state.m_nAbort = c.abortBefore;
        host.ticksPerPump = 1;
        host.onPump = [&](int pump) {
            if (std::ranges::find(c.arrivals, pump) != c.arrivals.end()) driver.Arrive({0xA5, 0x5A});
            if (pump == c.cancelAt) state.m_nAbort = kAbortCancelled;
        };
        std::vector<size_t> progress;
        const ReceiveProgress onReceived = [&](size_t received) { progress.push_back(received); };
        std::vector<uint8_t> block(6, 0);
        const bool ok = c.flash ? link.ReadFlashBlock(0x1234, block, onReceived)
                                : link.ReadEepromBlock(0x1234, block, onReceived);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(driver.sent, c.flash ? (std::vector<uint8_t>{'E', 0x00, 0x12, 0x34, 0x00, 0x03})
                                    : (std::vector<uint8_t>{'H', 0x00, 0x12, 0x34, 0x00, 0x06}));
        EXPECT_EQ(host.pumps, c.pumps);
        EXPECT_EQ(driver.waits, host.pumps);  // every pass lets the driver wait
        EXPECT_EQ(progress, c.progress);
        EXPECT_EQ(host.Texts(), c.texts);
        EXPECT_EQ(state.m_nAbort, c.abortAfter);
        EXPECT_EQ(state.m_nTimeoutTicks, 0);
        for (size_t size : driver.readSizes) EXPECT_LE(size, 6u);
    }
}

}  // namespace
}  // namespace oriole::test
