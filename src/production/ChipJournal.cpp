#include "production/ChipJournal.h"

#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QSysInfo>
#include <cerrno>

namespace oriole {

namespace {

constexpr char kVersion2[] = "J2";

// A field never holds the journal's separators.
QByteArray Field(const QString& text) {
    QString clean = text;
    clean.replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
    return clean.toUtf8();
}

QByteArray ReadProc(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

// When this machine booted, from the kernel's statistics; null when unknown.
QDateTime BootTime() {
    static const QDateTime booted = [] {
        for (const QByteArray& line : ReadProc("/proc/stat").split('\n')) {
            if (!line.startsWith("btime ")) continue;
            bool ok = false;
            const qint64 secs = line.mid(6).trimmed().toLongLong(&ok);
            if (ok) return QDateTime::fromSecsSinceEpoch(secs);
        }
        return QDateTime();
    }();
    return booted;
}

bool Number(const QByteArray& text, qint64& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= 0;
}

}  // namespace

const QString& BootId() {
    static const QString id = QString::fromLatin1(ReadProc("/proc/sys/kernel/random/boot_id").trimmed());
    return id;
}

QString JournalHost() {
    static const QString host = QSysInfo::machineHostName();
    return host;
}

std::optional<quint64> ProcessStart(qint64 pid) {
    if (pid <= 0) return std::nullopt;
    const QByteArray stat = ReadProc(QByteArray("/proc/" + QByteArray::number(pid) + "/stat").constData());
    // The name in parentheses may hold blanks and parentheses: fields count from the last ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) {
        // No /proc (or no such process): only whether it exists is known.
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return quint64{0};
        return std::nullopt;
    }
    // After ") ": state (field 3) ... starttime (field 22).
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    bool ok = false;
    const quint64 start = fields.size() > 19 ? fields[19].toULongLong(&ok) : 0;
    return ok ? start : 0;
}

RunIdentity NewRunIdentity() {
    RunIdentity self;
    self.host = JournalHost();
    self.bootId = BootId();
    self.pid = getpid();
    self.pidStart = ProcessStart(self.pid).value_or(0);
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    self.runId = QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex();
    return self;
}

QString JournalFileOf(const QString& numbersFile) { return numbersFile + ".journal"; }

QByteArray JournalText(const std::vector<JournalEntry>& entries) {
    QByteArray text;
    for (const JournalEntry& e : entries) {
        if (e.run.runId.isEmpty()) {
            // A line of the earlier form stays in it: it knows no more.
            text += Field(e.box) + '\t' + Field(e.serial) + '\t' + Field(e.time) + '\t' + Field(e.settingFile) +
                    '\t' + QByteArray::number(e.run.pid) + '\t' + Field(e.run.host) + '\n';
            continue;
        }
        text += QByteArray(kVersion2) + '\t' + Field(e.box) + '\t' + QByteArray::number(e.boxIndex) + '\t' +
                Field(e.serial) + '\t' + Field(e.time) + '\t' + Field(e.settingFile) + '\t' + Field(e.run.host) +
                '\t' + Field(e.run.bootId) + '\t' + QByteArray::number(e.run.pid) + '\t' +
                QByteArray::number(e.run.pidStart) + '\t' + Field(e.run.runId) + '\n';
    }
    return text;
}

bool ParseJournal(const QByteArray& text, std::vector<JournalEntry>& entries, int& badLine, QByteArray& badText) {
    entries.clear();
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.trimmed().isEmpty()) continue;
        const QList<QByteArray> f = line.split('\t');
        auto u = [](const QByteArray& b) { return QString::fromUtf8(b); };
        JournalEntry e;
        qint64 index = 0;
        qint64 pidStart = 0;
        bool ok = false;
        if (f.size() == 11 && f[0] == kVersion2) {
            ok = Number(f[2], index) && index <= 0xFFFF && Number(f[8], e.run.pid) && Number(f[9], pidStart) &&
                 !f[10].isEmpty() && !f[7].isEmpty();
            e.box = u(f[1]);
            e.boxIndex = static_cast<int>(index);
            e.serial = u(f[3]);
            e.time = u(f[4]);
            e.settingFile = u(f[5]);
            e.run.host = u(f[6]);
            e.run.bootId = u(f[7]);
            e.run.pidStart = static_cast<quint64>(pidStart);
            e.run.runId = u(f[10]);
        } else if (f.size() == 6 && f[0] != kVersion2) {
            // The earlier form: box, number, time, setting file, pid, host.
            ok = Number(f[4].trimmed(), e.run.pid);
            e.box = u(f[0]);
            e.serial = u(f[1]);
            e.time = u(f[2]);
            e.settingFile = u(f[3]);
            e.run.host = u(f[5]);
        }
        if (!ok || QString::fromUtf8(line).toUtf8() != line) {
            badLine = static_cast<int>(i + 1);
            badText = line.left(80);
            return false;
        }
        entries.push_back(std::move(e));
    }
    return true;
}

JournalLine JudgeJournalLine(const JournalEntry& entry, const RunIdentity& self) {
    const RunIdentity& run = entry.run;
    if (run.host != self.host) return JournalLine::Foreign;
    if (run.bootId.isEmpty()) {
        // The earlier form knew only the process id: our own id, or none
        // such, is a run that is gone; a live one may be an older program
        // still running, or the id used again.
        if (run.pid == self.pid || !ProcessStart(run.pid)) return JournalLine::Dead;
        return JournalLine::Unknown;
    }
    if (run.bootId == self.bootId) {
        if (run.runId == self.runId) return JournalLine::Ours;
        const std::optional<quint64> start = ProcessStart(run.pid);
        const bool alive = start && (*start == run.pidStart || *start == 0 || run.pidStart == 0);
        return alive ? JournalLine::Alive : JournalLine::Dead;
    }
    // Another boot under this name: this machine's before it restarted, or
    // another machine of the same name (a cloned station) that booted later.
    const QDateTime taken = QDateTime::fromString(entry.time, Qt::ISODateWithMs);
    const QDateTime booted = BootTime();
    if (taken.isValid() && booted.isValid() && taken < booted) return JournalLine::Dead;
    return JournalLine::Unknown;
}

QString JournalTimeForLog(const QString& time) {
    QDateTime at = QDateTime::fromString(time, Qt::ISODateWithMs);
    if (!at.isValid()) return time;
    // A fixed offset, so that the text carries it even where it is +00:00.
    at = at.toOffsetFromUtc(at.offsetFromUtc());
    return at.toString(Qt::ISODateWithMs);
}

}  // namespace oriole
