#include "production/EventStream.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <cerrno>
#include <cstring>
#include <thread>

#include "base/FileNode.h"
#include "base/FileSync.h"
#include "base/SigPipeHeld.h"
#include "base/FormatText.h"
#include "production/ProductionLog.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr auto kReaderPoll = std::chrono::milliseconds(50);

LockWait EventsLockWait(std::chrono::milliseconds patience, std::function<void(const std::string&)> onWait) {
    return LockWait{.patience = patience,
                    .onWait = std::move(onWait),
                    .waitingText = text::kEventsLockWaiting,
                    .timeoutText = text::kEventsLockTimeout};
}

std::string Failed(const char* format, const QString& path, int error) {
    const std::string what = path.toStdString() + " (" + std::strerror(error) + ")";
    return FormatText(format, what.c_str());
}

}  // namespace

std::shared_ptr<CEventStream> CEventStream::Open(const QString& path, std::string& error,
                                                 std::chrono::milliseconds patience, std::string* note,
                                                 std::function<void(const std::string& text)> onWait) {
    const NodeKind kind = NodeKindOf(path);
    if (kind != NodeKind::Regular && kind != NodeKind::Missing && kind != NodeKind::Fifo) {
        error = FormatText(text::kEventsNotFile, path.toStdString().c_str());
        return nullptr;
    }
    const QByteArray native = QFile::encodeName(path);
    const int flags = kind == NodeKind::Fifo
                          ? O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC
                          : O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;  // read: its last line
    int fd = open(native.constData(), flags, 0644);
    // A FIFO without a reader refuses a writer that will not wait: ask again, a while.
    const auto until = std::chrono::steady_clock::now() + patience;
    while (fd < 0 && errno == ENXIO && kind == NodeKind::Fifo &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kReaderPoll);
        fd = open(native.constData(), flags);
    }
    if (fd < 0) {
        error = errno == ENXIO ? FormatText(text::kEventsNoReader, path.toStdString().c_str())
                               : Failed(text::kEventsUnwritable, path, errno);
        return nullptr;
    }
    // What was opened is what was looked at: a node swapped in between is refused.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode))) {
        close(fd);
        error = FormatText(text::kEventsNotFile, path.toStdString().c_str());
        return nullptr;
    }
    const bool regular = S_ISREG(st.st_mode);
    if (regular) {
        // A line a crash cut goes aside first: the next event is never glued onto it.
        std::string repaired;
        const bool locked = LockWaiting(fd, LOCK_EX, path, EventsLockWait(patience, onWait), error);
        const bool whole = locked && MoveCutLineAside(fd, path, error, repaired);
        if (locked) flock(fd, LOCK_UN);
        if (!whole) {
            close(fd);
            return nullptr;
        }
        if (note != nullptr) *note = repaired;
    }
    return std::shared_ptr<CEventStream>(new CEventStream(fd, path, patience, regular, std::move(onWait)));
}

CEventStream::CEventStream(int fd, QString path, std::chrono::milliseconds patience, bool regular,
                           std::function<void(const std::string& text)> onWait)
    : m_fd(fd),
      m_regular(regular),
      m_path(std::move(path)),
      m_patience(patience),
      m_wait(EventsLockWait(patience, std::move(onWait))) {}

void CEventStream::SetOnWait(std::function<void(const std::string& text)> onWait) {
    const std::lock_guard lock(m_mutex);
    m_wait.onWait = std::move(onWait);
}

CEventStream::~CEventStream() {
    close(m_fd);
}

bool CEventStream::Write(const char* event, QJsonObject fields, std::string& error) {
    fields.insert(QStringLiteral("event"), QString::fromLatin1(event));
    fields.insert(QStringLiteral("time"), LogTime());
    const QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
    const std::lock_guard lock(m_mutex);
    if (!m_failure.empty()) {
        error = m_failure;
        return false;
    }
    if (m_regular) return WriteWhole(line, error);
    const SigPipeHeld held;
    const char* p = line.constData();
    size_t left = static_cast<size_t>(line.size());
    while (left > 0) {
        const ssize_t n = WriteFd(m_fd, p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A reader that lags: wait for it, not for good.
            pollfd ready{m_fd, POLLOUT, 0};
            const int r = ::poll(&ready, 1, static_cast<int>(m_patience.count()));
            if (r > 0 && (ready.revents & POLLOUT) != 0) continue;
            if (r < 0 && errno == EINTR) continue;
            m_failure = FormatText(text::kEventsStalled, m_path.toStdString().c_str());
        } else {
            m_failure = Failed(text::kEventsUnwritable, m_path, n < 0 ? errno : ENOSPC);
        }
        error = m_failure;
        return false;
    }
    return true;
}

bool CEventStream::WriteWhole(const QByteArray& line, std::string& error) {
    // Under the lock, in one write: O_APPEND puts the line whole at the end,
    // and a line the disk took only part of is cut back off, so the next
    // line (of this run or another) never lands glued onto a torn one.
    if (!LockWaiting(m_fd, LOCK_EX, m_path, m_wait, error)) {
        m_failure = error;
        return false;
    }
    struct stat st {};
    const bool sized = fstat(m_fd, &st) == 0;
    ssize_t n = -1;
    do n = WriteFd(m_fd, line.constData(), static_cast<size_t>(line.size()));
    while (n < 0 && errno == EINTR);
    const int why = n < 0 ? errno : ENOSPC;
    if (n > 0 && n != line.size() && sized) (void)ftruncate(m_fd, st.st_size);
    flock(m_fd, LOCK_UN);
    if (n == line.size()) return true;
    m_failure = Failed(text::kEventsUnwritable, m_path, why);
    error = m_failure;
    return false;
}

}  // namespace oriole
