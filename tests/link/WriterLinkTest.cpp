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
    TestOperationHost host(clock);
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

// The acknowledge wait against a driver whose bytes arrive when the test
// says, at a pump (0: before the wait). Where a case makes every pump a tick,
// the driver takes no time, so only the pumps move the host's clock.
struct ScriptedLink {
    ScriptedLink() : host(clock), link(driver, state, host) {}
    ScriptedDriver driver;
    CLinkState state;
    CVirtualClock clock;
    TestOperationHost host;
    CWriterLink link;
};

// Every way an acknowledge wait ends: a byte in time (right or wrong, or an
// answer of its own such as A's refusal byte 0xFE), silence for 11 ticks, a
// byte or a cancel with the last tick, a cancel. A wait that ended with
// m_nAbort set leaves later waits failing at their first pass, silently.
TEST(AckWaits, EndInTimeOnAWrongByteOnTimeOutOrOnCancel) {
    const struct {
        const char* what;
        uint8_t expected;
        bool otherIsAnswer;
        int ticksPerPump;
        int idleBefore;  // seconds the clock runs between an earlier wait and this one
        int arriveAt;    // pump at which `arrived` comes; 0 before the wait, -1 never
        uint8_t arrived;
        int cancelAt;    // pump that presses Cancel, 0 none
        bool ok;
        int pumps;
        std::vector<std::string> texts;
        int32_t abort;
    } cases[] = {
        {"expected byte at once", 0x94, false, 0, 0, 0, 0x94, 0, true, 1, {}, kAbortNone},
        {"wrong byte", 0x94, false, 0, 0, 0, 0x00, 0, false, 1,
         {FormatText(text::kWriterWrongAck, 0x94u, 0x00u)}, kAbortNone},
        {"another wrong byte", 0x86, false, 0, 0, 0, 0x06, 0, false, 1,
         {FormatText(text::kWriterWrongAck, 0x86u, 0x06u)}, kAbortNone},
        {"another byte that is an answer", 0xFE, true, 0, 0, 0, 0x53, 0, false, 1, {}, kAbortNone},
        {"the answer byte itself", 0xFE, true, 0, 0, 0, 0xFE, 0, true, 1, {}, kAbortNone},
        {"byte after some ticks still counts", 0x94, false, 1, 0, 10, 0x94, 0, true, 10, {}, kAbortNone},
        {"ticks count from the wait's start", 0x94, false, 1, 30, 10, 0x94, 0, true, 10, {}, kAbortNone},
        {"silence times out after eleven ticks", 0x94, false, 1, 0, -1, 0, 0, false, 11, {kNoAnswer},
         kAbortTimeout},
        {"byte with the last tick is still a time-out", 0x94, false, 1, 0, 11, 0x94, 0, false, 11,
         {kNoAnswer}, kAbortTimeout},
        {"cancel fails without a message", 0x94, false, 0, 0, -1, 0, 3, false, 3, {}, kAbortCancelled},
        {"cancel with the last tick shows no time-out", 0x94, false, 1, 0, -1, 0, 11, false, 11, {},
         kAbortCancelled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedLink w;
        if (c.idleBefore > 0) {  // an earlier wait, answered at once, then idle time
            w.driver.Arrive({c.expected});
            ASSERT_TRUE(w.link.WaitAck(c.expected));
            w.clock.Advance(std::chrono::seconds(c.idleBefore));
            w.host.pumps = w.driver.waits = 0;
        }
        w.host.ticksPerPump = c.ticksPerPump;
        if (c.arriveAt == 0) w.driver.Arrive({c.arrived});
        w.host.onPump = [&](int pump) {
            if (pump == c.arriveAt) w.driver.Arrive({c.arrived});
            if (pump == c.cancelAt) w.state.m_nAbort = kAbortCancelled;
        };
        EXPECT_EQ(w.link.WaitAck(c.expected, c.otherIsAnswer), c.ok);
        EXPECT_EQ(w.host.pumps, c.pumps);
        EXPECT_EQ(w.driver.waits, w.host.pumps);  // every pass waits for data instead of spinning
        EXPECT_EQ(w.host.Texts(), c.texts);
        for (const auto& m : w.host.recorder.messages) EXPECT_EQ(m.kind, MsgKind::Error);
        EXPECT_EQ(w.state.m_nAbort, c.abort);
        EXPECT_EQ(w.state.m_nTimeoutTicks, 0);
        if (c.abort == kAbortNone) continue;

        w.driver.Arrive({c.expected});
        EXPECT_FALSE(w.link.WaitAck(c.expected, c.otherIsAnswer));
        EXPECT_EQ(w.host.pumps, c.pumps + 1);  // one pass
        EXPECT_EQ(w.host.Texts(), c.texts);    // no second message
        EXPECT_EQ(w.state.m_nAbort, c.abort);
    }
}

// The short replies: collected whole however they come, bounded by the same
// 11 ticks as an acknowledge.
TEST(ShortReplies, AreCollectedWholeOrTimeOut) {
    const struct {
        const char* what;
        int ticksPerPump;
        std::vector<std::pair<int, std::vector<uint8_t>>> arrivals;  // pump (0 before), bytes
        bool ok;
        std::vector<uint8_t> reply;
        std::vector<std::string> texts;
        int32_t abort;
    } cases[] = {
        {"in pieces", 0, {{2, {0x1E}}, {5, {0x93, 0x07}}}, true, {0x1E, 0x93, 0x07}, {}, kAbortNone},
        {"one byte short", 1, {{0, {0x1E, 0x93}}}, false, {0x1E, 0x93, 0x00}, {kNoAnswer}, kAbortTimeout},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedLink w;
        w.host.ticksPerPump = c.ticksPerPump;
        auto arrive = [&](int pump) {
            for (const auto& [at, bytes] : c.arrivals)
                if (at == pump) w.driver.queue.insert(w.driver.queue.end(), bytes.begin(), bytes.end());
        };
        arrive(0);
        w.host.onPump = arrive;
        std::vector<uint8_t> reply(3, 0);
        EXPECT_EQ(w.link.ReadReply(reply), c.ok);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(w.host.Texts(), c.texts);
        EXPECT_EQ(w.state.m_nAbort, c.abort);
        EXPECT_EQ(w.state.m_nTimeoutTicks, 0);
        // No read asks for more than the reply still misses.
        for (size_t size : w.driver.readSizes) EXPECT_LE(size, 2u);
    }
}

// The link keeps its own time: a host whose pump does nothing at all, with
// no access to the link state, still sees a silent box time out, 11 s on its
// clock after the wait started (after the last byte, for a block read).
TEST(TimeOut, ComesWithoutAHostThatTicks) {
    class BareHost final : public IOperationHost {
    public:
        explicit BareHost(IClock& clock) : m_clock(clock) {}
        Answer ShowMessage(MsgKind kind, std::string_view text, Answer answer) override {
            return recorder.ShowMessage(kind, text, answer);
        }
        void PumpOneMessage() override {}
        IClock& Clock() override { return m_clock; }
        void Sleep(std::chrono::milliseconds pause) override { m_clock.SleepFor(pause); }
        void ShowWaitCursor() override {}
        RecordingHost recorder;

    private:
        IClock& m_clock;
    };
    const struct {
        const char* options;
        std::function<bool(CWriterLink&)> wait;
    } cases[] = {
        {"ATmega8,fast,mute=D", [](CWriterLink& link) { return link.ChipErase(); }},
        {"ATmega8,fast,short=C",
         [](CWriterLink& link) {
             TestSelector selector(Row("ATmega8"), false);
             return link.ReadSignature(selector);
         }},
        {"ATmega8,fast,short=E",
         [](CWriterLink& link) {
             std::vector<uint8_t> block(256);
             return link.ReadFlashBlock(0, block);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        CVirtualClock clock;
        CLinkState state;
        CSimDriver driver(std::make_shared<sim::CSimBox>(SimConfigFor(c.options), clock));
        BareHost host(clock);
        CWriterLink link(driver, state, host);
        ASSERT_TRUE(link.OpenLink());
        const ClockTime start = clock.Now();
        EXPECT_FALSE(c.wait(link));
        EXPECT_GE(clock.Now() - start, std::chrono::seconds(kWaitTicks));
        EXPECT_LT(clock.Now() - start, std::chrono::seconds(kWaitTicks) + std::chrono::milliseconds(50));
        EXPECT_EQ(state.m_nAbort, kAbortTimeout);
        EXPECT_EQ(state.m_nTimeoutTicks, 0);
        EXPECT_EQ(host.recorder.Texts(), std::vector<std::string>{kNoAnswer});
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
            TestOperationHost host(clock);
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
        TestOperationHost host(clock);
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
        TestOperationHost host(clock);
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
