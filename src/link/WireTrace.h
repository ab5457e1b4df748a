#pragma once
// The wire trace: every call the link makes on its driver, one line each, as
// it happens, so that a run on a box we have never seen can be sent to us and
// read call by call. A line is
//
//   <µs since the trace began> <call> [arguments] [> or < bytes |text|] = <status>
//
//   1520 open "ORIOLE Ver.1.00" = 0
//   1604 latency 2 = 0
//   2011 write 2 > 41 00 |A.| = 0
//   2390 queue 1 = 0
//   2402 read 1 < AC |.| = 0
//
// "> " are bytes to the box, "< " bytes from it, in hexadecimal and as text
// (a dot for what is not printable). Lines starting with '#' are remarks.
// Each line is written with one system call, so a hang or a crash still
// leaves the trace up to its last call. The trace stops growing at its size
// limit, with a last line that says so.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/WriterDriver.h"

namespace oriole {

inline constexpr uint64_t kTraceLimitBytes = 64ull << 20;

class CWireTrace {
public:
    // Opens `path` for the trace: a regular file (made, or emptied), a FIFO
    // (waiting at most a couple of seconds for its reader), a terminal or
    // /dev/null. Any other device node is refused unopened, and so are
    // folders and sockets. Null on failure, with the reason in `error`.
    static std::unique_ptr<CWireTrace> Open(const std::string& path, std::string& error,
                                            uint64_t limit = kTraceLimitBytes);
    // A trace into a file descriptor the caller owns (tests, the doctor's
    // report); it is not closed.
    static std::unique_ptr<CWireTrace> OnDescriptor(int fd, uint64_t limit = kTraceLimitBytes);
    ~CWireTrace();
    CWireTrace(const CWireTrace&) = delete;
    CWireTrace& operator=(const CWireTrace&) = delete;

    // One call: its name, its arguments (may be empty), the bytes that went
    // (direction '>') or came ('<'), none when direction is 0, its status.
    void Call(std::string_view call, std::string_view arguments, char direction,
              std::span<const uint8_t> bytes, DriverStatus status);
    void Remark(std::string_view text);

    uint64_t BytesWritten() const;
    // Why the trace stopped before its end (the reader of a FIFO went away,
    // the disk is full); empty while it runs or after it reached its limit.
    std::string Failure() const;

private:
    CWireTrace(int fd, bool owned, uint64_t limit);
    void Put(std::string line);

    mutable std::mutex m_mutex;
    int m_fd;
    bool m_owned;
    uint64_t m_limit;
    uint64_t m_written = 0;
    bool m_stopped = false;
    std::string m_failure;
    std::chrono::steady_clock::time_point m_start;
};

// A driver that passes every call on to `inner` and writes it to the trace.
class CTracingDriver final : public IWriterDriver {
public:
    CTracingDriver(std::unique_ptr<IWriterDriver> inner, std::shared_ptr<CWireTrace> trace)
        : m_inner(std::move(inner)), m_trace(std::move(trace)) {}

    IWriterDriver& Inner() { return *m_inner; }

    DriverStatus OpenByDescription(std::string_view description) override;
    DriverStatus SetLatencyTimer(uint8_t milliseconds) override;
    DriverStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override;
    DriverStatus SetBaudRate(uint32_t baud) override;
    DriverStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override;
    DriverStatus SetDtr() override;
    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override;
    DriverStatus GetQueueStatus(uint32_t& queued) override;
    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override;
    DriverStatus PurgeReceive() override;
    DriverStatus Close() override;
    void WaitForData(std::chrono::milliseconds timeout) override { m_inner->WaitForData(timeout); }

private:
    std::unique_ptr<IWriterDriver> m_inner;
    std::shared_ptr<CWireTrace> m_trace;
};

// A trace reduced to what both ends did, for comparing two runs: the
// timestamps, the queue polls and the remarks go, consecutive writes and
// consecutive reads are joined into one "> ..." or "< ..." line (the form
// of the simulated box's transcript), every other call stays as it is.
std::vector<std::string> NormalizeTrace(std::string_view text);

// Where two normalised traces part: empty when they agree; else the number
// of the first line that differs and the lines of each side from there
// (at most `context` of each), "-" for `a`, "+" for `b`. A trace of a real
// box and one of the simulated box agree up to the first thing the box did
// differently, which is the line to look at.
std::vector<std::string> DiffTraces(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                    size_t context = 5);

}  // namespace oriole
