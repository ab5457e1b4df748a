#include "production/ProductionLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "base/FileNode.h"
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
    fields << r.cause;
    for (QString& f : fields) f = LogField(f);
    return fields.join(',');
}

QString SiblingLogPath(const QString& path, const QString& header) {
    const QByteArray digest =
        QCryptographicHash::hash(header.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    const QString stem = csv ? path.left(path.size() - 4) : path;
    return stem + '-' + QString::fromLatin1(digest) +
           (csv ? path.right(4) : QStringLiteral(".csv"));
}

CProductionLog::~CProductionLog() {
    if (m_fd >= 0) close(m_fd);
}

bool CProductionLog::Open(const QString& path, const QStringList& imageNames, bool bom,
                          std::string& error, std::string& note) {
    const QString header = LogHeader(imageNames).join(',');
    switch (OpenFile(path, header, bom, error)) {
        case Opened::Appending:
            return true;
        case Opened::Failed:
            return false;
        case Opened::OtherHeader:
            break;
    }
    // The old file keeps its columns; its lines stay readable as they are.
    const QString sibling = SiblingLogPath(path, header);
    switch (OpenFile(sibling, header, bom, error)) {
        case Opened::Appending:
            note = FormatText(text::kProductionLogOtherColumns, path.toStdString().c_str(),
                              sibling.toStdString().c_str());
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
                                                bool bom, std::string& error) {
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
    return WriteBytes(LogLine(record).toUtf8() + "\r\n", error);
}

bool CProductionLog::WriteBytes(const QByteArray& bytes, std::string& error) {
    // One write per line: O_APPEND puts it whole at the end, whoever else appends.
    const ssize_t n =
        m_fd >= 0 ? write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) : -1;
    if (n != bytes.size()) {
        error = Unwritable(m_path, n < 0 ? errno : ENOSPC);
        return false;
    }
    if ((m_sync ? m_sync(m_fd) : fdatasync(m_fd)) != 0) {
        error = Unwritable(m_path, errno);
        return false;
    }
    return true;
}

}  // namespace oriole
