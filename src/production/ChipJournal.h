#pragma once
// The chips in flight: before a chip's number is taken, its box, number and
// time go into a journal file beside the counter (or the list), synced; the
// line leaves when the chip's row is in the log. A run that died mid-chip (a
// power cut, a kill) leaves its lines behind, and the next start writes the
// rows it never wrote. One line per box in flight:
//
//   <box> TAB <number as the log shows it> TAB <time> TAB <setting file> TAB <pid> TAB <host>
//
// The process id tells a line of a run still going on (another process on
// the same counter) from the line of a run that died; a line of another
// machine (a counter on a shared folder) is left to that machine.

#include <QByteArray>
#include <QString>
#include <vector>

namespace oriole {

struct JournalEntry {
    QString box;
    QString serial;
    QString time;         // ISO 8601, as the log's time column
    QString settingFile;
    qint64 pid = 0;       // the process that took the number
    QString host;         // and its machine
};

// This machine's name, as the journal notes it.
QString JournalHost();

// The journal beside `numbersFile` (the counter or the list).
QString JournalFileOf(const QString& numbersFile);

QByteArray JournalText(const std::vector<JournalEntry>& entries);
// The lines of a journal; lines that cannot be read are dropped.
std::vector<JournalEntry> ParseJournal(const QByteArray& text);

// The entry's process, on this machine, is gone.
bool JournalEntryOrphaned(const JournalEntry& entry);

}  // namespace oriole
