// The wire trace: what it may be written to, and what survives of it for a
// comparison; stale bytes on the line before a frame, which never become an
// answer of the frame. (That a stray byte of an earlier exchange never fails
// the next operation is a case of the contract suite, for every backend.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <sstream>

#include "link/SimLinkFixture.h"
#include "link/WireTrace.h"
#include "support/ForwardingDriver.h"

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

// The simulated box's driver with bytes of somebody else's exchange before
// it: `waiting` already in the driver's receive buffer, which a purge
// empties, `late` still on the line, which reach the buffer at the second
// wait after the purge.
class StaleLine final : public ForwardingDriver {
public:
    StaleLine(std::shared_ptr<sim::CSimBox> box, std::vector<uint8_t> waiting, std::vector<uint8_t> late)
        : ForwardingDriver(std::move(box)), m_waiting(waiting.begin(), waiting.end()), m_late(std::move(late)) {}

    DriverStatus GetQueueStatus(uint32_t& queued) override {
        const DriverStatus s = m_inner.GetQueueStatus(queued);
        queued += static_cast<uint32_t>(m_waiting.size());
        return s;
    }
    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override {
        size_t n = 0;
        for (; n < bytes.size() && !m_waiting.empty(); ++n) {
            bytes[n] = m_waiting.front();
            m_waiting.pop_front();
        }
        uint32_t more = 0;
        const DriverStatus s = n < bytes.size() ? m_inner.Read(bytes.subspan(n), more) : kFtOk;
        read = static_cast<uint32_t>(n) + more;
        return s;
    }
    DriverStatus PurgeReceive() override {
        m_waiting.clear();
        m_wait = 0;
        m_purged = true;
        return m_inner.PurgeReceive();
    }
    // The late bytes have reached the buffer.
    bool Arrived() const { return m_late.empty(); }
    void WaitForData(std::chrono::milliseconds timeout) override {
        if (m_purged && ++m_wait == 2) {
            m_waiting.insert(m_waiting.end(), m_late.begin(), m_late.end());
            m_late.clear();
        }
        m_inner.WaitForData(timeout);
    }

private:
    std::deque<uint8_t> m_waiting;
    std::vector<uint8_t> m_late;
    int m_wait = 0;
    bool m_purged = false;
};

// What an ATmega328P on another box answers to a frame's first requests:
// the acknowledges and its signature. Before the frame of an ATmega8, none
// of it may be read as an answer: the ATmega8 is found, nothing is said,
// and the box sees the usual frame.
TEST(StaleBytes, NeverBecomeTheAnswerOfTheNextFrame) {
    const std::vector<uint8_t> other = {0x94, 0x53, 0x1E, 0x95, 0x0F, 0x94, 0x84, 0x82};
    const struct {
        const char* what;
        std::vector<uint8_t> waiting;
        std::vector<uint8_t> late;
    } cases[] = {
        {"in the driver's buffer", other, {}},
        {"still on the line after the purge", {}, other},
        {"both", other, other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimLink s("ATmega8,fast");
        StaleLine driver(s.box, c.waiting, c.late);
        CWriterLink link(driver, s.state, s.host);
        TestSelector selector(Row("ATmega328P"), true);
        ASSERT_TRUE(link.OpenLink());
        EXPECT_TRUE(link.BeginProgramming(selector, true));
        EXPECT_EQ(selector.device, Row("ATmega8"));
        EXPECT_TRUE(driver.Arrived());
        link.EndProgramming();
        link.CloseLink();
        EXPECT_TRUE(s.host.Texts().empty()) << s.host.Texts().front();
        EXPECT_EQ(s.Lines(), (std::vector<std::string>{"> 54 03 03 03 02 92 5A 5A 5A", "< 94", "> 41 00", "< 53",
                                                       "> 43", "< 1E 93 07", "> 54 02 02 03 01 5A 2D 5A 2D", "< 94",
                                                       "> 42", "< 82"}));
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
