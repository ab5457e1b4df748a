#include "production/ProductionLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <thread>

#include "base/FileNode.h"
#include "base/FileSync.h"
#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
// The longest header line looked at: far more than any header of ours.
constexpr qsizetype kHeaderLimit = 64 * 1024;

std::string Unwritable(const QString& path, int error) {
    const std::string what = path.toStdString() + " (" + std::strerror(error) + ")";
    return FormatText(text::kProductionFileUnwritable, what.c_str());
}

}  // namespace

QString LogTime() {
    const QDateTime now = QDateTime::currentDateTime();
    // A fixed offset, so that the text carries it even where it is +00:00.
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString LogField(const QString& text) {
    QString field = text;
    // A spreadsheet runs a cell that starts like this as a formula.
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (!field.isEmpty() && kFormulaStarts.contains(field.front())) field.prepend('\'');
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') &&
        !field.contains('\r'))
        return field;
    field.replace('"', "\"\"");
    return '"' + field + '"';
}

QStringList LogHeader(const QStringList& imageNames) {
    QStringList header{"開始日時",     "終了日時",     "ロット",       "作業者",
                       "作業指示",     "設定ファイル", "ライタ番号",   "ライタ",
                       "デバイス",     "シグネチャ",   "校正値",       "シリアル番号のバイト",
                       "シリアル番号", "結果",         "失敗した手順", "時間(ms)"};
    for (const QString& name : imageNames) header << name + " SHA-256";
    header << "原因";
    return header;
}

QString LogLine(const ChipRecord& r) {
    QStringList fields{r.startTime,
                       r.time,
                       r.lot,
                       r.operatorName,
                       r.workOrder,
                       r.settingFile,
                       QString::number(r.boxIndex),
                       r.box,
                       r.device,
                       r.signature,
                       r.calibration,
                       r.serialBytes,
                       r.serial,
                       r.interrupted ? QString::fromUtf8(text::kProductionResultInterrupted)
                       : r.passed    ? QStringLiteral("OK")
                                     : QStringLiteral("エラー"),
                       r.failedStep,
                       QString::number(r.durationMs)};
    for (const QString& hash : r.hashes) fields << hash;
    fields << (r.cause == Cause::None ? QString() : QString::fromLatin1(CauseName(r.cause)));
    for (QString& f : fields) f = LogField(f);
    return fields.join(',');
}

Cause CauseOfName(const QString& name) {
    for (int i = 1; i <= static_cast<int>(Cause::Other); ++i)
        if (name == QLatin1String(CauseName(static_cast<Cause>(i)))) return static_cast<Cause>(i);
    return Cause::None;
}

QString SiblingLogPath(const QString& path, const QString& header) {
    const QByteArray digest =
        QCryptographicHash::hash(header.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    const QString stem = csv ? path.left(path.size() - 4) : path;
    return stem + '-' + QString::fromLatin1(digest) +
           (csv ? path.right(4) : QStringLiteral(".csv"));
}

bool LockWaiting(int fd, int operation, const QString& path, const LockWait& wait, std::string& error) {
    constexpr auto kSayAfter = std::chrono::milliseconds(500);
    constexpr auto kPoll = std::chrono::milliseconds(20);
    const auto start = std::chrono::steady_clock::now();
    bool said = false;
    while (flock(fd, operation | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            error = Unwritable(path, errno);
            return false;
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        // Said before the run gives up, however late this thread runs.
        if (!said && (waited >= kSayAfter || waited >= wait.patience)) {
            said = true;
            if (wait.onWait)
                wait.onWait(FormatText(wait.waitingText ? wait.waitingText : text::kProductionLogLockWaiting,
                                       path.toStdString().c_str()));
        }
        if (waited >= wait.patience) {
            const auto secs = std::chrono::duration_cast<std::chrono::seconds>(wait.patience).count();
            error = FormatText(wait.timeoutText ? wait.timeoutText : text::kProductionLogLockTimeout,
                               static_cast<int>(secs), path.toStdString().c_str());
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

bool MoveCutLineAside(int fd, const QString& path, std::string& error, std::string& note) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = Unwritable(path, errno);
        return false;
    }
    // The tail after the last line end; a line never reaches this far.
    constexpr off_t kTailLimit = 1 << 20;
    const off_t from = std::max<off_t>(0, st.st_size - kTailLimit);
    QByteArray tail(static_cast<qsizetype>(st.st_size - from), '\0');
    if (tail.isEmpty()) return true;
    const ssize_t n = pread(fd, tail.data(), static_cast<size_t>(tail.size()), from);
    if (n != tail.size()) {
        error = FormatText(text::kProductionFileUnreadable, path.toStdString().c_str());
        return false;
    }
    if (tail.endsWith('\n')) return true;
    const qsizetype end = tail.lastIndexOf('\n');
    const QByteArray cut = tail.mid(end + 1);
    const off_t keep = from + static_cast<off_t>(end + 1);
    // A file of its own, never one that was there: made new, not through a link.
    const QString aside =
        path + QStringLiteral(".cut-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const int out = open(QFile::encodeName(aside).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    const bool saved = out >= 0 && write(out, cut.constData(), static_cast<size_t>(cut.size())) == cut.size() &&
                       SyncFd(out, SyncKind::Data) == 0;
    const int saveError = errno;
    if (out >= 0) close(out);
    if (!saved) {
        error = Unwritable(aside, saveError);
        return false;
    }
    if (ftruncate(fd, keep) != 0 || SyncFd(fd, SyncKind::Data) != 0) {
        error = Unwritable(path, errno);
        return false;
    }
    note = FormatText(text::kProductionCutLineMoved, path.toStdString().c_str(), aside.toStdString().c_str());
    return true;
}

CProductionLog::~CProductionLog() {
    if (m_fd >= 0) close(m_fd);
}

bool CProductionLog::Open(const QString& path, const QStringList& imageNames, bool bom,
                          std::string& error, std::string& note) {
    const QString header = LogHeader(imageNames).join(',');
    switch (OpenFile(path, header, bom, error, note)) {
        case Opened::Appending:
            return true;
        case Opened::Failed:
            return false;
        case Opened::OtherHeader:
            break;
    }
    // The old file keeps its columns; its lines stay readable as they are.
    const QString sibling = SiblingLogPath(path, header);
    std::string repaired;
    switch (OpenFile(sibling, header, bom, error, repaired)) {
        case Opened::Appending:
            note = FormatText(text::kProductionLogOtherColumns, path.toStdString().c_str(),
                              sibling.toStdString().c_str());
            if (!repaired.empty()) note += "\n" + repaired;
            return true;
        case Opened::Failed:
            return false;
        case Opened::OtherHeader:
            break;
    }
    error = FormatText(text::kProductionLogNotOurs, sibling.toStdString().c_str());
    return false;
}

CProductionLog::Opened CProductionLog::OpenFile(const QString& path, const QString& header,
                                                bool bom, std::string& error, std::string& note) {
    if (m_fd >= 0) close(m_fd);
    m_path = path;
    const NodeKind kind = NodeKindOf(path);
    if (kind != NodeKind::Regular && kind != NodeKind::Missing) {
        error = FormatText(text::kProductionLogNotFile, path.toStdString().c_str());
        return Opened::Failed;
    }
    m_fd = open(QFile::encodeName(path).constData(),
                O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = m_fd < 0 ? Unwritable(path, errno)
                         : FormatText(text::kProductionLogNotFile, path.toStdString().c_str());
        return Opened::Failed;
    }
    // Under the lock: one header for runs that make the log at once, and a
    // cut line moved aside before anything is appended to it.
    if (!LockWaiting(m_fd, LOCK_EX, path, m_wait, error)) return Opened::Failed;
    struct Unlock {
        int fd;
        ~Unlock() { flock(fd, LOCK_UN); }
    } unlock{m_fd};
    if (!MoveCutLineAside(m_fd, path, error, note) || fstat(m_fd, &st) != 0) {
        if (error.empty()) error = Unwritable(path, errno);
        return Opened::Failed;
    }
    if (st.st_size == 0) {
        const QByteArray bytes = (bom ? QByteArray(kBom) : QByteArray()) + header.toUtf8() + "\r\n";
        return WriteBytes(bytes, error) ? Opened::Appending : Opened::Failed;
    }
    // The first line, without its byte-order mark and line end, must be our header.
    QByteArray first(static_cast<qsizetype>(std::min<off_t>(st.st_size, kHeaderLimit)), '\0');
    const ssize_t n = pread(m_fd, first.data(), static_cast<size_t>(first.size()), 0);
    if (n < 0) {
        error = FormatText(text::kProductionFileUnreadable, path.toStdString().c_str());
        return Opened::Failed;
    }
    first.truncate(n);
    if (first.startsWith(kBom)) first.remove(0, 3);
    const qsizetype end = first.indexOf('\n');
    first.truncate(end < 0 ? first.size() : end);
    if (first.endsWith('\r')) first.chop(1);
    return first == header.toUtf8() ? Opened::Appending : Opened::OtherHeader;
}

bool CProductionLog::Append(const ChipRecord& record, std::string& error) {
    const std::lock_guard lock(m_mutex);
    if (m_fd < 0 || !LockWaiting(m_fd, LOCK_EX, m_path, m_wait, error)) {
        if (error.empty()) error = Unwritable(m_path, EBADF);
        return false;
    }
    const bool written = WriteBytes(LogLine(record).toUtf8() + "\r\n", error);
    flock(m_fd, LOCK_UN);
    return written;
}

bool CProductionLog::WriteBytes(const QByteArray& bytes, std::string& error) {
    // One write per line, under the lock: O_APPEND puts it whole at the
    // end; a write the disk took only part of is cut back off.
    struct stat st {};
    const bool sized = m_fd >= 0 && fstat(m_fd, &st) == 0;
    const ssize_t n = m_fd >= 0 ? WriteFd(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) : -1;
    if (n != bytes.size()) {
        const int why = n < 0 ? errno : ENOSPC;
        if (n > 0 && sized && ftruncate(m_fd, st.st_size) == 0) (void)SyncFd(m_fd, SyncKind::Data);
        error = Unwritable(m_path, why);
        return false;
    }
    if ((m_sync ? m_sync(m_fd) : SyncFd(m_fd, SyncKind::Data)) != 0) {
        error = Unwritable(m_path, errno);
        return false;
    }
    return true;
}

}  // namespace oriole
