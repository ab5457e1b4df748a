#include "production/ProductionLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringList>
#include <cerrno>

#include "base/FileNode.h"
#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole {

namespace {

QString Field(const QString& text) {
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n')) return text;
    QString quoted = text;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

}  // namespace

QStringList LogHeader(const QStringList& imageNames) {
    QStringList header{"日時", "設定ファイル", "ライタ", "デバイス", "シグネチャ", "校正値",
                       "シリアル番号", "結果", "失敗した手順", "時間(ms)"};
    for (const QString& name : imageNames) header << name + " SHA-256";
    // Last, so that the columns of a log begun before it stay where they were.
    header << "原因";
    return header;
}

QString LogLine(const ChipRecord& r) {
    QStringList fields{r.time, r.settingFile, r.box, r.device, r.signature, r.calibration, r.serial,
                       r.interrupted ? QString::fromUtf8(text::kProductionResultInterrupted)
                       : r.passed    ? QStringLiteral("OK")
                                     : QStringLiteral("エラー"),
                       r.failedStep,
                       QString::number(r.durationMs)};
    for (const QString& hash : r.hashes) fields << hash;
    fields << r.cause;
    for (QString& f : fields) f = Field(f);
    return fields.join(',');
}

CProductionLog::~CProductionLog() {
    if (m_fd >= 0) close(m_fd);
}

bool CProductionLog::Open(const QString& path, const QStringList& imageNames, std::string& error) {
    m_path = path;
    const NodeKind kind = NodeKindOf(path);
    if (kind != NodeKind::Regular && kind != NodeKind::Missing) {
        error = FormatText(text::kProductionLogNotFile, path.toStdString().c_str());
        return false;
    }
    m_fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = FormatText(text::kProductionFileUnwritable, path.toStdString().c_str());
        return false;
    }
    return st.st_size > 0 || WriteLine(LogHeader(imageNames).join(','), error);
}

bool CProductionLog::Append(const ChipRecord& record, std::string& error) {
    const std::lock_guard lock(m_mutex);
    return WriteLine(LogLine(record), error);
}

bool CProductionLog::WriteLine(const QString& line, std::string& error) {
    // One write per line: O_APPEND puts it whole at the end, whoever else appends.
    const QByteArray bytes = line.toUtf8() + "\r\n";
    const ssize_t n = m_fd >= 0 ? write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) : -1;
    if (n != bytes.size() || fdatasync(m_fd) != 0) {
        error = FormatText(text::kProductionFileUnwritable, m_path.toStdString().c_str());
        return false;
    }
    return true;
}

}  // namespace oriole
