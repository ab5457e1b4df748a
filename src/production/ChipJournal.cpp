#include "production/ChipJournal.h"

#include <signal.h>
#include <unistd.h>

#include <QList>
#include <QSysInfo>
#include <cerrno>

namespace oriole {

namespace {

// A field never holds the journal's separators.
QByteArray Field(const QString& text) {
    QString clean = text;
    clean.replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
    return clean.toUtf8();
}

}  // namespace

QString JournalHost() {
    static const QString host = QSysInfo::machineHostName();
    return host;
}

QString JournalFileOf(const QString& numbersFile) { return numbersFile + ".journal"; }

QByteArray JournalText(const std::vector<JournalEntry>& entries) {
    QByteArray text;
    for (const JournalEntry& e : entries) {
        text += Field(e.box) + '\t' + Field(e.serial) + '\t' + Field(e.time) + '\t' + Field(e.settingFile) + '\t' +
                QByteArray::number(e.pid) + '\t' + Field(e.host) + '\n';
    }
    return text;
}

std::vector<JournalEntry> ParseJournal(const QByteArray& text) {
    std::vector<JournalEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 6) continue;
        bool ok = false;
        const qint64 pid = fields[4].trimmed().toLongLong(&ok);
        if (!ok) continue;
        entries.push_back({QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]), QString::fromUtf8(fields[2]),
                           QString::fromUtf8(fields[3]), pid, QString::fromUtf8(fields[5])});
    }
    return entries;
}

bool JournalEntryOrphaned(const JournalEntry& entry) {
    if (entry.host != JournalHost()) return false;
    if (entry.pid <= 0) return true;
    return kill(static_cast<pid_t>(entry.pid), 0) != 0 && errno == ESRCH;
}

}  // namespace oriole
