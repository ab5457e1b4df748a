#include "link/WireTrace.h"

#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/FileNode.h"
#include "base/FileSync.h"
#include "res/DoctorTexts.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oriole {

namespace {

// How long a FIFO may wait for its reader, at open and for each line.
constexpr int kFifoPatienceMs = 2000;

std::string Printable(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (uint8_t b : bytes) out += b >= 0x20 && b < 0x7F && b != '|' ? static_cast<char>(b) : '.';
    return out;
}

void AppendHex(std::string& out, std::span<const uint8_t> bytes) {
    static constexpr char kFigures[] = "0123456789ABCDEF";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += ' ';
        out += kFigures[bytes[i] >> 4];
        out += kFigures[bytes[i] & 15];
    }
}


}  // namespace

CWireTrace::CWireTrace(int fd, bool owned, uint64_t limit)
    : m_fd(fd), m_owned(owned), m_limit(limit), m_start(std::chrono::steady_clock::now()) {}

CWireTrace::~CWireTrace() {
#if !defined(_WIN32)
    if (m_owned && m_fd >= 0) ::close(m_fd);
#endif
}

std::unique_ptr<CWireTrace> CWireTrace::OnDescriptor(int fd, uint64_t limit) {
    return std::unique_ptr<CWireTrace>(new CWireTrace(fd, false, limit));
}

std::unique_ptr<CWireTrace> CWireTrace::Open(const std::string& path, std::string& error, uint64_t limit) {
#if defined(_WIN32)
    (void)path;
    (void)limit;
    error = text::trace::kNotSupported;
    return nullptr;
#else
    // The output rule of every file the program writes.
    NodeKind kind = NodeKind::Missing;
    const OutputTarget target = OutputTargetOf(QString::fromStdString(path), &kind);
    if (target == OutputTarget::Device || target == OutputTarget::NotAFile) {
        error = target == OutputTarget::Device ? text::trace::kDevice : text::trace::kNotFile;
        return nullptr;
    }
    struct stat before {};
    if (kind != NodeKind::Missing && ::stat(path.c_str(), &before) != 0) {
        error = std::string(std::strerror(errno));
        return nullptr;
    }
    int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (target == OutputTarget::File) flags |= O_CREAT | O_TRUNC;
    int fd = ::open(path.c_str(), flags, 0666);
    // A FIFO without a reader refuses a writer that will not wait; give the
    // reader a moment to come.
    for (int waited = 0; fd < 0 && errno == ENXIO && kind == NodeKind::Fifo && waited < kFifoPatienceMs;
         waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fd = ::open(path.c_str(), flags, 0666);
    }
    if (fd < 0) {
        error = errno == ENXIO ? std::string(text::trace::kNoReader) : std::string(std::strerror(errno));
        return nullptr;
    }
    // The node opened must be the one looked at: nothing swapped in between.
    struct stat after {};
    const bool same = ::fstat(fd, &after) == 0 &&
                      (kind == NodeKind::Missing
                           ? S_ISREG(after.st_mode)
                           : after.st_dev == before.st_dev && after.st_ino == before.st_ino);
    if (!same) {
        ::close(fd);
        error = text::trace::kChanged;
        return nullptr;
    }
    return std::unique_ptr<CWireTrace>(new CWireTrace(fd, true, limit));
#endif
}

void CWireTrace::Put(std::string line) {
    std::lock_guard lock(m_mutex);
    if (m_stopped) return;
    constexpr std::string_view kFull = "# trace stopped: size limit reached\n";
    if (m_written + line.size() + kFull.size() > m_limit) {
        line = kFull;
        m_stopped = true;
    }
#if !defined(_WIN32)
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = WriteFd(m_fd, line.data() + done, line.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            // A FIFO or terminal whose reader lags: wait for it, not for good.
            pollfd p{m_fd, POLLOUT, 0};
            if (::poll(&p, 1, kFifoPatienceMs) > 0 && (p.revents & POLLOUT)) continue;
            m_failure = text::trace::kReaderStopped;
        } else {
            m_failure = std::string(text::trace::kWriteFailed) + std::strerror(n < 0 ? errno : ENOSPC);
            // A file of ours (written from its start) the disk filled ends at
            // its last whole line.
            struct stat st {};
            if (m_owned && done > 0 && ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode))
                (void)!::ftruncate(m_fd, static_cast<off_t>(m_written));
            done = 0;
        }
        m_stopped = true;
        break;
    }
    m_written += done;
#endif
}

void CWireTrace::Call(std::string_view call, std::string_view arguments, char direction,
                      std::span<const uint8_t> bytes, DriverStatus status) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                          m_start)
                        .count();
    std::string line = std::to_string(us);
    line.reserve(48 + bytes.size() * 4);
    line += ' ';
    line += call;
    if (!arguments.empty()) {
        line += ' ';
        line += arguments;
    }
    if (direction != 0) {
        line += ' ';
        line += direction;
        line += ' ';
        AppendHex(line, bytes);
        line += " |";
        line += Printable(bytes);
        line += '|';
    }
    line += " = ";
    line += std::to_string(status);
    line += '\n';
    Put(std::move(line));
}

void CWireTrace::Remark(std::string_view text) { Put("# " + std::string(text) + "\n"); }

uint64_t CWireTrace::BytesWritten() const {
    std::lock_guard lock(m_mutex);
    return m_written;
}

std::string CWireTrace::Failure() const {
    std::lock_guard lock(m_mutex);
    return m_failure;
}

// --- The tracing driver ---

DriverStatus CTracingDriver::OpenByDescription(std::string_view description) {
    const DriverStatus s = m_inner->OpenByDescription(description);
    m_trace->Call("open", "\"" + std::string(description) + "\"", 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::SetLatencyTimer(uint8_t milliseconds) {
    const DriverStatus s = m_inner->SetLatencyTimer(milliseconds);
    m_trace->Call("latency", std::to_string(milliseconds), 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    const DriverStatus s = m_inner->SetFlowControl(flow, xon, xoff);
    m_trace->Call("flow", std::to_string(flow) + " " + std::to_string(xon) + " " + std::to_string(xoff), 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::SetBaudRate(uint32_t baud) {
    const DriverStatus s = m_inner->SetBaudRate(baud);
    m_trace->Call("baud", std::to_string(baud), 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    const DriverStatus s = m_inner->SetDataCharacteristics(wordLength, stopBits, parity);
    m_trace->Call("data",
                  std::to_string(wordLength) + " " + std::to_string(stopBits) + " " + std::to_string(parity), 0,
                  {}, s);
    return s;
}

DriverStatus CTracingDriver::SetDtr() {
    const DriverStatus s = m_inner->SetDtr();
    m_trace->Call("dtr", {}, 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::Write(std::span<const uint8_t> bytes, uint32_t& written) {
    const DriverStatus s = m_inner->Write(bytes, written);
    m_trace->Call("write", std::to_string(bytes.size()), '>', bytes.first(std::min<size_t>(written, bytes.size())),
                  s);
    return s;
}

DriverStatus CTracingDriver::GetQueueStatus(uint32_t& queued) {
    const DriverStatus s = m_inner->GetQueueStatus(queued);
    m_trace->Call("queue", std::to_string(queued), 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::Read(std::span<uint8_t> bytes, uint32_t& read) {
    const DriverStatus s = m_inner->Read(bytes, read);
    m_trace->Call("read", std::to_string(bytes.size()), '<', bytes.first(std::min<size_t>(read, bytes.size())), s);
    return s;
}

DriverStatus CTracingDriver::PurgeReceive() {
    const DriverStatus s = m_inner->PurgeReceive();
    m_trace->Call("purge", "rx", 0, {}, s);
    return s;
}

DriverStatus CTracingDriver::Close() {
    const DriverStatus s = m_inner->Close();
    m_trace->Call("close", {}, 0, {}, s);
    return s;
}

// --- Comparing traces ---

std::vector<std::string> NormalizeTrace(std::string_view text) {
    std::vector<std::string> out;
    char joining = 0;  // '>' or '<' while bytes of one direction are being joined
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line[0] == '#') continue;
        // Drop the timestamp.
        const size_t space = line.find(' ');
        if (space == std::string_view::npos) continue;
        line.remove_prefix(space + 1);
        const std::string_view call = line.substr(0, line.find(' '));
        if (call == "queue") continue;
        const size_t statusAt = line.rfind(" = ");
        const std::string_view status = statusAt == std::string_view::npos ? "" : line.substr(statusAt + 3);
        if ((call == "write" || call == "read") && status == "0") {
            const char direction = call == "write" ? '>' : '<';
            const size_t mark = line.find(std::string(" ") + direction + " ");
            const size_t bar = line.find(" |", mark == std::string_view::npos ? 0 : mark);
            if (mark == std::string_view::npos || bar == std::string_view::npos) continue;
            const std::string_view hex = line.substr(mark + 3, bar - mark - 3);
            if (hex.empty()) continue;  // a read of nothing
            if (joining == direction) {
                out.back() += ' ';
                out.back() += hex;
            } else {
                out.push_back(std::string(1, direction) + " " + std::string(hex));
                joining = direction;
            }
            continue;
        }
        joining = 0;
        out.emplace_back(line);
    }
    return out;
}

std::vector<std::string> DiffTraces(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                    size_t context) {
    size_t first = 0;
    while (first < a.size() && first < b.size() && a[first] == b[first]) ++first;
    if (first == a.size() && first == b.size()) return {};
    std::vector<std::string> out;
    out.push_back("@ line " + std::to_string(first + 1));
    for (size_t i = first; i < a.size() && i < first + context; ++i) out.push_back("- " + a[i]);
    for (size_t i = first; i < b.size() && i < first + context; ++i) out.push_back("+ " + b[i]);
    return out;
}

}  // namespace oriole
