// A stray byte of an earlier exchange never fails the next operation: each
// begins with a purge of the receive side and reads away what still comes.
// And the wire trace: what it may be written to, and what survives of it
// for a comparison.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "link/SimLinkFixture.h"
#include "link/WireTrace.h"

namespace oriole::test {
namespace {

struct Socket : IDeviceSelector {
    const AVR_DEVICE& SelectedDevice() const override { return DeviceAt(Row("ATmega8")); }
    bool IsAutoDetect() const override { return true; }
    bool SelectDetectedDevice(int) override { return true; }
    void ForgetDetectedDevice() override {}
};

// One operation as every frame runs it: open, begin (timing, detection), a
// chip erase, end, close.
bool Operation(SimLink& s) {
    Socket socket;
    if (!s.link.OpenLink()) return false;
    const bool ok = s.link.BeginProgramming(socket, true) && s.link.ChipErase();
    s.link.EndProgramming();
    s.link.CloseLink();
    return ok;
}

TEST(LinkRecovery, TheOperationAfterStrayBytesSucceeds) {
    const struct {
        const char* what;
        const char* options;  // the fault the first operation meets
        bool firstFails;
    } cases[] = {
        // The driver fails the read of the signature's first byte: the
        // other two stay queued for the next operation.
        {"reply cut short by a driver error", "ATmega8,fast,fail=read#3", true},
        // The erase is acknowledged 12 s late, after the wait gave up.
        {"late answer after a time-out", "ATmega8,fast,late=D", true},
        // The signature's last byte comes twice: the spare one meets the
        // wait for the device's timing, whose own acknowledge is left over.
        {"duplicated byte", "ATmega8,fast,dup=C", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimLink s(c.options);
        EXPECT_EQ(Operation(s), !c.firstFails);
        // The next run on the same box: the program restarted (no abort
        // state), a couple of seconds on, so that late bytes have come.
        s.clock.Advance(std::chrono::seconds(2));
        s.state.m_nAbort = kAbortNone;
        s.box->Faults() = {};
        s.host.recorder.messages.clear();
        s.box->Transcript().Clear();
        EXPECT_TRUE(Operation(s));
        EXPECT_TRUE(s.host.Texts().empty()) << s.host.Texts().front();
        // The purge puts nothing on the wire: the box saw the usual frame.
        const std::vector<std::string> expected = {"> 54 03 03 03 02 92 5A 5A 5A", "< 94", "> 41 00", "< 53",
                                                   "> 43", "< 1E 93 07", "> 54 02 02 03 01 5A 2D 5A 2D", "< 94",
                                                   "> 44", "< 84", "> 42", "< 82"};
        EXPECT_EQ(s.Lines(), expected);
    }
}

// Where a trace may go, and what the trace of one operation says.
TEST(WireTrace, OpensOnlyFilesFifosTerminalsAndNull) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const std::string fifo = base + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        bool opens;
    } cases[] = {
        {base + "/new.trace", true},
        {"/dev/null", true},
        {"/dev/zero", false},  // a device that is no terminal stays unopened
        {base, false},         // a folder
        {fifo, false},         // no reader comes within the patience
    };
    for (const auto& c : cases) {
        std::string error;
        const auto trace = CWireTrace::Open(c.path, error);
        EXPECT_EQ(trace != nullptr, c.opens) << c.path << ": " << error;
        EXPECT_EQ(error.empty(), c.opens) << c.path;
    }
}

TEST(WireTrace, RecordsEveryCallAndStopsAtItsLimit) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("t").toStdString();
    const auto read = [&path] {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    std::string error;
    {
        SimLink s("ATmega8,fast");
        std::shared_ptr<CWireTrace> trace = CWireTrace::Open(path, error);
        ASSERT_TRUE(trace) << error;
        CTracingDriver traced(std::make_unique<CSimDriver>(s.box), trace);
        CWriterLink link(traced, s.state, s.host);
        Socket socket;
        ASSERT_TRUE(link.OpenLink());
        ASSERT_TRUE(link.BeginProgramming(socket, true));
        link.EndProgramming();
        link.CloseLink();
        // Normalised, the trace reads like the box's own transcript, with
        // the calls that put nothing on the wire between.
        std::vector<std::string> expected = {"open \"ORIOLE Ver.1.00\" = 0", "latency 2 = 0", "flow 0 0 0 = 0",
                                             "baud 38400",                  "data 8 0 0 = 0", "dtr = 0",
                                             "purge rx = 0"};
        expected[3] += " = 0";
        for (const std::string& line : s.Lines()) expected.push_back(line);
        expected.push_back("close = 0");
        EXPECT_EQ(NormalizeTrace(read()), expected);
        EXPECT_TRUE(DiffTraces(NormalizeTrace(read()), expected).empty());
    }
    // A bound of 200 bytes: a few lines, then the line that says so, and
    // nothing after it.
    {
        SimLink s("ATmega8,fast");
        std::shared_ptr<CWireTrace> trace = CWireTrace::Open(path, error, 200);
        ASSERT_TRUE(trace);
        CTracingDriver traced(std::make_unique<CSimDriver>(s.box), trace);
        CWriterLink link(traced, s.state, s.host);
        ASSERT_TRUE(link.OpenLink());
        ASSERT_TRUE(link.ChipErase());
        link.CloseLink();
        const std::string text = read();
        EXPECT_LE(text.size(), 200u);
        EXPECT_TRUE(text.ends_with("# trace stopped: size limit reached\n")) << text;
        EXPECT_TRUE(trace->Failure().empty());
    }
}

TEST(WireTrace, DiffShowsWhereTwoRunsPart) {
    const std::string a = "10 write 1 > 43 |C| = 0\n11 queue 3 = 0\n12 read 3 < 1E 93 |..| = 0\n"
                          "13 read 3 < 07 |.| = 0\n14 close = 0\n";
    const std::string b = "90 write 1 > 43 |C| = 0\n95 read 3 < 1E 93 07 |...| = 0\n96 close = 4\n";
    EXPECT_EQ(NormalizeTrace(a), (std::vector<std::string>{"> 43", "< 1E 93 07", "close = 0"}));
    EXPECT_EQ(DiffTraces(NormalizeTrace(a), NormalizeTrace(b)),
              (std::vector<std::string>{"@ line 3", "- close = 0", "+ close = 4"}));
}

}  // namespace
}  // namespace oriole::test
