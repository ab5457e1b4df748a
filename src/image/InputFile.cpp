#include "image/InputFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <climits>

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole {

CInputFile::CInputFile(QString path, std::chrono::milliseconds dataWait, qint64 limit)
    : m_path(std::move(path)), m_dataWait(dataWait), m_limit(limit) {}

CInputFile::~CInputFile() { close(); }

std::string CInputFile::FailureText() const {
    switch (m_failure) {
        case InputFailure::NoData: return text::kInputNoData;
        case InputFailure::TooLarge:
            return FormatText(text::kInputTooLarge, static_cast<int>(m_limit >> 20));
        case InputFailure::None:
        case InputFailure::ReadError: break;
    }
    return text::kFileOpenFailed;
}

qint64 CInputFile::Fail(InputFailure failure) {
    m_failure = failure;
    setErrorString(QString::fromStdString(FailureText()));
    return -1;
}

qint64 CInputFile::readData(char* data, qint64 maxSize) {
    if (m_failure != InputFailure::None) return -1;
    if (maxSize <= 0) return 0;
    if (m_total >= m_limit) {
        // At the limit, one byte more tells an input that ends there from
        // one that goes on.
        char probe = 0;
        const qint64 n = ReadSystem(&probe, 1);
        return n <= 0 ? n : Fail(InputFailure::TooLarge);
    }
    const qint64 n = ReadSystem(data, std::min(maxSize, m_limit - m_total));
    if (n > 0) m_total += n;
    return n;
}

#if defined(_WIN32)

bool CInputFile::OpenForReading() {
    if (isOpen() || !QFileInfo(m_path).isFile()) return false;
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool CInputFile::OpenDescriptor(int fd) {
    if (isOpen() || !m_file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void CInputFile::close() {
    m_file.close();
    if (isOpen()) QIODevice::close();
}

qint64 CInputFile::ReadSystem(char* data, qint64 maxSize) {
    const qint64 n = m_file.read(data, maxSize);
    return n < 0 ? Fail(InputFailure::ReadError) : n;
}

#else

namespace {

bool IsInputType(mode_t mode) { return S_ISREG(mode) || S_ISFIFO(mode); }

constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens `name` only when it is a regular file or a FIFO. On Linux an O_PATH
// descriptor names the node without opening what is behind it; the node is
// checked, then opened through /proc, so the check and the open see the same
// node even if the path changes in between. O_NONBLOCK: a FIFO opens at once,
// writer or not.
int OpenInputNode(const QByteArray& name, bool& pipe) {
#if defined(__linux__)
    const int node = ::open(name.constData(), O_PATH | O_CLOEXEC);
    if (node < 0) return -1;
    struct stat st {};
    int fd = -1;
    if (fstat(node, &st) == 0 && IsInputType(st.st_mode))
        fd = ::open(("/proc/self/fd/" + std::to_string(node)).c_str(), kOpenFlags);
    ::close(node);
#else
    struct stat st {};
    if (stat(name.constData(), &st) != 0 || !IsInputType(st.st_mode)) return -1;
    const int fd = ::open(name.constData(), kOpenFlags);
#endif
    if (fd < 0) return -1;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !IsInputType(opened.st_mode)) {
        ::close(fd);
        return -1;
    }
    pipe = S_ISFIFO(opened.st_mode);
    // A regular file never makes a read wait; only a pipe stays non-blocking.
    if (!pipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

bool CInputFile::OpenForReading() {
    if (isOpen() || m_path.isEmpty()) return false;
    m_fd = OpenInputNode(QFile::encodeName(m_path), m_bPipe);
    if (m_fd < 0) return false;
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool CInputFile::OpenDescriptor(int fd) {
    if (isOpen() || fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode)) return false;
    m_fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0) return false;
    // The file description is shared with the program's own descriptor: its
    // flags stay as they are, and a pipe is waited for with poll.
    m_bPipe = !S_ISREG(st.st_mode);
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void CInputFile::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (isOpen()) QIODevice::close();
}

qint64 CInputFile::ReadSystem(char* data, qint64 maxSize) {
    const auto deadline = std::chrono::steady_clock::now() + m_dataWait;
    for (;;) {
        if (m_bPipe) {
            // A FIFO without a writer reads as its end at once; its data, or
            // the writer's going away, is waited for, up to the deadline.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const bool bounded = m_dataWait.count() > 0;
            if (bounded && left.count() <= 0) return Fail(InputFailure::NoData);
            pollfd p{m_fd, POLLIN, 0};
            const int ready =
                poll(&p, 1, bounded ? static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)) : -1);
            if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
            if (ready < 0) return Fail(InputFailure::ReadError);
        }
        const ssize_t n = ::read(m_fd, data, static_cast<size_t>(maxSize));
        if (n >= 0) return n;
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return Fail(InputFailure::ReadError);
    }
}

#endif

std::string ReadFailedText(const QIODevice& device) {
    const auto* input = dynamic_cast<const CInputFile*>(&device);
    return input != nullptr ? input->FailureText() : std::string(text::kFileOpenFailed);
}

}  // namespace oriole
