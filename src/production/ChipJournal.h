#pragma once
// The chips in flight: before a chip's number is taken, its box, number and
// time go into a journal file beside the counter (or the list), synced; the
// line leaves when the chip's row is in the log. A run that died mid-chip (a
// power cut, a kill) leaves its lines behind, and the next start writes the
// rows it never wrote. One line per box in flight:
//
//   J2 TAB <box> TAB <box's place, from 1> TAB <number as the log shows it>
//      TAB <chip's start, as the log's column> TAB <setting file> TAB <host>
//      TAB <boot id> TAB <pid> TAB <pid's start> TAB <run id>
//
// A run is known by a random id that never repeats; whether it still goes
// on is told by the machine's boot id, the process id and the moment that
// process started (a process id used again, by a restarted container or
// after a reboot, is another process). A line of another machine (a counter
// on a shared folder), or of a run this machine cannot judge, is left to its
// own and said at the start. Lines of the earlier form (box, number, time,
// setting file, pid, host) are still read.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace oriole {

// Who wrote a journal line.
struct RunIdentity {
    QString host;
    QString bootId;        // empty in a line of the earlier form
    qint64 pid = 0;
    quint64 pidStart = 0;  // the process's start, in clock ticks after boot; 0: unknown
    QString runId;         // empty in a line of the earlier form
};

struct JournalEntry {
    QString box;
    int boxIndex = 0;     // the box's place in its run's writer list; 0: unknown
    QString serial;
    QString time;         // the chip's start, as the log's time columns
    QString settingFile;
    RunIdentity run;
};

// This process, with a run id of its own made now.
RunIdentity NewRunIdentity();
// This machine's boot id and name, as the journal notes them.
const QString& BootId();
QString JournalHost();
// When `pid` started, in clock ticks after boot; nothing when no such process.
std::optional<quint64> ProcessStart(qint64 pid);

// The journal beside `numbersFile` (the counter or the list).
QString JournalFileOf(const QString& numbersFile);

QByteArray JournalText(const std::vector<JournalEntry>& entries);
// The lines of a journal; false with the first line that cannot be read
// (its number from 1 and its text), so a damaged or foreign file is never
// taken for an empty one.
[[nodiscard]] bool ParseJournal(const QByteArray& text, std::vector<JournalEntry>& entries, int& badLine,
                                QByteArray& badText);

// What a line means to the run `self` reading it.
enum class JournalLine {
    Ours,     // written by `self`
    Alive,    // another run on this machine still going on
    Dead,     // a run on this machine that is gone: its chip needs its row
    Foreign,  // another machine's (another host name)
    Unknown,  // cannot be judged: another boot of this name after ours, an old form's live pid
};
JournalLine JudgeJournalLine(const JournalEntry& entry, const RunIdentity& self);

// The entry's time as the log writes times (milliseconds and the zone's
// offset), for lines of the earlier form; as it is when it cannot be read.
QString JournalTimeForLog(const QString& time);

}  // namespace oriole
