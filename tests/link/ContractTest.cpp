// One suite for every writer backend that can run here: each must carry the
// same bytes, report the same failures and give up on a silent box the same
// way, whatever lies between the link and the box.
#include <gtest/gtest.h>

#include "link/BackendHarness.h"
#include "link/LinkTestSupport.h"
#include "link/Requests.h"
#include "link/WriterLink.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

class Contract : public testing::TestWithParam<BackendKind> {
protected:
    // Starts the backend against a box with these options; skips the test
    // when the backend cannot run on this machine.
    bool Start(const std::string& options) {
        link.reset();
        host.reset();
        state = CLinkState{};
        harness = GetParam().make();
        std::string why;
        if (!harness->Start(options, why)) {
            ADD_FAILURE() << GetParam().name << " cannot start: " << why;
            return false;
        }
        host = std::make_unique<TestOperationHost>(harness->Clock());
        link = std::make_unique<CWriterLink>(harness->Driver(), state, *host);
        return true;
    }

    CLinkState state;
    std::unique_ptr<BackendHarness> harness;
    std::unique_ptr<TestOperationHost> host;
    std::unique_ptr<CWriterLink> link;
};

TEST_P(Contract, OpensConfiguresAndCloses) {
    if (!Start("ATmega8,fast")) return;
    state.m_nUsbTiming = 1;
    state.m_nDataSpeed = 3;
    ASSERT_TRUE(link->OpenLink());
    EXPECT_TRUE(link->CloseLink());
    EXPECT_TRUE(host->Texts().empty());
    const auto log = harness->CallLog();
    if (!log.empty()) {
        EXPECT_EQ(log, (std::vector<std::string>{"open ORIOLE Ver.1.00", "latency 16", "flow 0 0 0", "baud 19200",
                                                 "data 8 0 0", "dtr", "close"}));
    }
    // The box can be opened again after a close.
    ASSERT_TRUE(link->OpenLink());
}

TEST_P(Contract, BeginSequenceOfTheWorkedExample) {
    if (!Start("ATmega8,fast")) return;
    TestSelector selector(0, true);
    ASSERT_TRUE(link->OpenLink());
    EXPECT_TRUE(link->BeginProgramming(selector, true));
    link->EndProgramming();
    EXPECT_EQ(harness->Transcript(), (std::vector<std::string>{
                                         "> 54 03 03 03 02 92 5A 5A 5A", "< 94", "> 41 00", "< 53", "> 43",
                                         "< 1E 93 07", "> 54 02 02 03 01 5A 2D 5A 2D", "< 94", "> 42", "< 82"}));
    EXPECT_EQ(selector.device, FindDeviceByName("ATmega8"));
    EXPECT_TRUE(host->Texts().empty());
}

TEST_P(Contract, PagesWrittenAreReadBackWhole) {
    if (!Start("ATmega328P")) return;  // real timing where the backend keeps real time
    TestSelector selector(FindDeviceByName("ATmega328P"), true);
    ASSERT_TRUE(link->OpenLink());
    ASSERT_TRUE(link->BeginProgramming(selector, true));
    std::vector<uint8_t> written(4 * 128);
    for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 7 + 3);
    for (uint32_t page = 0; page < 4; ++page)
        ASSERT_TRUE(link->WriteFlashPage(page * 64, std::span(written).subspan(page * 128, 128),
                                         PieceFailure::EndPage));
    std::vector<uint8_t> read(written.size() + 256, 0);
    ASSERT_TRUE(link->ReadFlashBlock(0, read));
    EXPECT_TRUE(std::equal(written.begin(), written.end(), read.begin()));
    EXPECT_TRUE(std::all_of(read.begin() + static_cast<std::ptrdiff_t>(written.size()), read.end(),
                            [](uint8_t b) { return b == 0xFF; }));
    link->EndProgramming();
    EXPECT_TRUE(host->Texts().empty());
}

TEST_P(Contract, ReadsNeverTakeMoreThanAsked) {
    if (!Start("ATmega8,fast")) return;
    TestSelector selector(FindDeviceByName("ATmega8"), false);
    ASSERT_TRUE(link->OpenLink());
    ASSERT_TRUE(link->BeginProgramming(selector, false));
    ASSERT_TRUE(link->SendMemoryRequest('H', 0, 10));
    uint8_t buffer[4];
    uint32_t total = 0;
    for (int pass = 0; pass < 1000 && total < 10; ++pass) {
        uint32_t read = 0;
        harness->Driver().WaitForData(kWaitSlice);
        ASSERT_TRUE(link->ReadBytes(std::span(buffer).first(std::min<size_t>(4, 10 - total)), read));
        EXPECT_LE(read, 4u);
        total += read;
    }
    EXPECT_EQ(total, 10u);
    uint32_t queued = 1;
    ASSERT_TRUE(link->QueuedBytes(queued));
    EXPECT_EQ(queued, 0u);
}

TEST_P(Contract, SilentBoxTimesOutOnceAndRefusesAfterwards) {
    if (!Start("ATmega8,fast,mute=D")) return;
    TestSelector selector(FindDeviceByName("ATmega8"), true);
    host->ticksPerPump = 1;  // eleven passes stand for eleven seconds
    ASSERT_TRUE(link->OpenLink());
    ASSERT_TRUE(link->BeginProgramming(selector, false));
    EXPECT_FALSE(link->ChipErase());
    EXPECT_EQ(host->Texts(), std::vector<std::string>{text::kWriterNoAnswer});
    EXPECT_EQ(state.m_nAbort, kAbortTimeout);
    link->EndProgramming();
    link->CloseLink();
    ASSERT_TRUE(link->OpenLink());
    EXPECT_FALSE(link->BeginProgramming(selector, false));
    EXPECT_EQ(host->Texts().back(), text::kAbortedEarlier);
}

TEST_P(Contract, BoxNotThereIsNotRecognised) {
    if (!Start("ATmega8,fast,fail=open:2")) return;
    if (!harness->InjectsCallFaults()) GTEST_SKIP() << "no driver faults through this backend";
    EXPECT_FALSE(link->OpenLink());
    EXPECT_EQ(host->Texts(), std::vector<std::string>{text::kWriterNotFound});
}

TEST_P(Contract, DriverStatusesReachTheMessages) {
    const struct {
        const char* fault;
        const char* message;
    } cases[] = {
        {"fail=baud:7", "line 480(3): ドライバ呼び出しエラー(7)"},
        {"fail=dtr:4", "line 480(5): ドライバ呼び出しエラー(4)"},
        {"fail=write:4", "line 503: ドライバ呼び出しエラー(4)"},
        {"fail=queue:18", "line 556: ドライバ呼び出しエラー(18)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        if (!Start(std::string("ATmega8,fast,") + c.fault)) return;
        if (!harness->InjectsCallFaults()) GTEST_SKIP() << "no driver faults through this backend";
        TestSelector selector(FindDeviceByName("ATmega8"), false);
        if (link->OpenLink()) {
            EXPECT_FALSE(link->BeginProgramming(selector, true));
        }
        EXPECT_EQ(host->Texts(), std::vector<std::string>{c.message});
    }
}

// A byte waiting on the line before the box is opened (noise at plug-in, the
// rest of another program's exchange) is gone once it is open: also an
// exchange that no frame's purge comes before, as the connection check's
// first timing request, gets its own acknowledge.
TEST_P(Contract, AByteWaitingBeforeOpenIsNotTakenForAnAnswer) {
    if (!Start("ATmega8,fast")) return;
    if (!harness->PutStrayByte()) GTEST_SKIP() << "no line before this backend to put a byte on";
    ASSERT_TRUE(link->OpenLink());
    const auto timing = BuildGenericTimingRequest(1000000);
    ASSERT_TRUE(timing);
    EXPECT_TRUE(link->WriteBytes(*timing) && link->WaitAck(Ack(kCmdTiming)));
    EXPECT_TRUE(host->Texts().empty()) << host->Texts().front();
    EXPECT_EQ(harness->Transcript(), (std::vector<std::string>{"> 54 03 03 03 02 92 5A 5A 5A", "< 94"}));
}

// One operation as every frame runs it: open, begin (timing, detection), a
// chip erase, end, close.
bool Operation(CWriterLink& link) {
    TestSelector selector(FindDeviceByName("ATmega8"), true);
    if (!link.OpenLink()) return false;
    const bool ok = link.BeginProgramming(selector, true) && link.ChipErase();
    link.EndProgramming();
    link.CloseLink();
    return ok;
}

// A stray byte of an earlier exchange never fails the next operation: each
// begins with a purge of the receive side and reads away what still comes.
TEST_P(Contract, TheOperationAfterStrayBytesSucceeds) {
    const struct {
        const char* what;
        const char* fault;  // what the first operation meets
        bool callFault;     // a driver-call fault, not the box's
    } cases[] = {
        // The driver fails the read of the signature's first byte: the
        // other two stay queued for the next operation.
        {"reply cut short by a driver error", "fail=read#3", true},
        // The signature loses its last byte: the wait for it times out.
        {"reply cut short on the line", "short=C", false},
        // The erase is acknowledged 12 s late, after the wait gave up.
        {"late answer after a time-out", "late=D", false},
        // The signature's last byte comes twice: the spare one meets the
        // wait for the device's timing, whose own acknowledge is left over.
        {"duplicated byte", "dup=C", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!Start(std::string("ATmega8,fast,") + c.fault)) return;
        if (!harness->CanSkipTime()) GTEST_SKIP() << "the box behind this backend keeps real time";
        if (c.callFault && !harness->InjectsCallFaults()) continue;
        // A tenth of a second passes at every pump: a time-out comes
        // after some hundred pumps.
        host->onPump = [this](int) { harness->SkipTime(std::chrono::milliseconds(100)); };
        EXPECT_FALSE(Operation(*link));
        // The next run on the same box: the program restarted (no abort
        // state), a couple of seconds on, so that late bytes have come.
        harness->SkipTime(std::chrono::seconds(2));
        harness->ClearFaults();
        state.m_nAbort = kAbortNone;
        host->recorder.messages.clear();
        harness->ClearTranscript();
        EXPECT_TRUE(Operation(*link));
        EXPECT_TRUE(host->Texts().empty()) << host->Texts().front();
        // The purge puts nothing on the wire: the box saw the usual frame.
        EXPECT_EQ(harness->Transcript(),
                  (std::vector<std::string>{"> 54 03 03 03 02 92 5A 5A 5A", "< 94", "> 41 00", "< 53", "> 43",
                                            "< 1E 93 07", "> 54 02 02 03 01 5A 2D 5A 2D", "< 94", "> 44", "< 84",
                                            "> 42", "< 82"}));
    }
}

std::string Name(const testing::TestParamInfo<BackendKind>& info) { return info.param.name; }

#if defined(ORIOLE_USB_CONTRACT)
// Built into the USB tests, which run under the umockdev preload.
INSTANTIATE_TEST_SUITE_P(Usb, Contract, testing::Values(BackendKind{"ftdi", MakeFtdiHarness}), Name);
#else
INSTANTIATE_TEST_SUITE_P(Backends, Contract,
                         testing::Values(BackendKind{"sim", MakeSimHarness}, BackendKind{"d2xx", MakeD2xxHarness},
                                         BackendKind{"serial", MakeSerialHarness}),
                         Name);
#endif

}  // namespace
}  // namespace oriole::test
