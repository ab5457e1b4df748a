// The wire trace: what it may be written to, and what survives of it for a
// comparison. (That a stray byte of an earlier exchange never fails the next
// operation is a case of the contract suite, for every backend.)
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
