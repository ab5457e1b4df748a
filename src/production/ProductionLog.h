#pragma once
// The CSV log of a production run: one line per chip, appended and synced
// as soon as the chip is done, under a header written when the file is new.
// Whole lines or none: each line is one write under the file's lock, cut
// back when the disk took only part of it, and a last line a crash left
// without its end is moved aside into a file beside it at the next start,
// before anything is appended. Runs creating one log at once write one
// header: the header is written under the lock too.
// An existing log is appended to, never truncated; a log begun under other
// columns is left as it is and the lines go to a file beside it named after
// the new columns. Boxes share one log. A spreadsheet opens it as it is:
// UTF-8 with a byte-order mark, and no field a spreadsheet would run as a
// formula.

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/MessageHost.h"

namespace oriole {

struct ChipRecord {
    QString startTime;  // ISO 8601 with the zone's offset, when the chip was found
    QString time;       // the same, when the chip was done
    QString lot;        // the run's lot, operator and work order (empty: none)
    QString operatorName;
    QString workOrder;
    QString settingFile;
    int boxIndex = 0;  // the box's place in the run's writer list, from 1
    QString box;       // the box's writer spec (its serial, where it has one)
    QString device;
    QString signature;    // "1E 95 0F"
    QString calibration;  // "A3", empty when the device has none
    QString serialBytes;  // the serial number's bytes as written, "00 00 03 E8"
    QString serial;       // the number or list line, empty without a rule
    bool passed = false;
    bool interrupted = false;  // the run died while the chip was on the socket: its outcome is unknown
    QString failedStep;    // the step that failed (a step's name, never a message)
    Cause cause = Cause::None;  // why; its name in the CSV ("verify-mismatch"), empty for None
    qint64 durationMs = 0;
    std::vector<QString> hashes;  // SHA-256 of each image file, in the header's order
};

// The current time as the log and the event stream write it: ISO 8601,
// milliseconds, the local zone's offset ("2026-04-01T09:30:00.125+09:00").
QString LogTime();
// The header's columns, with one SHA-256 column per image before the cause.
QStringList LogHeader(const QStringList& imageNames);
// One CSV line (no line end), fields quoted where they need it and a field
// a spreadsheet would take for a formula led by an apostrophe.
QString LogLine(const ChipRecord& record);
// One field as LogLine writes it.
QString LogField(const QString& text);
// The cause a log's cause column names; None for an empty or unknown name.
Cause CauseOfName(const QString& name);

// Waiting for another program's lock on a file the run writes: how long at
// most, and what is said (once, within a second) while waiting.
struct LockWait {
    std::chrono::milliseconds patience{30000};
    std::function<void(const std::string& text)> onWait;
    // What is said while waiting (naming the file) and on giving up (the
    // seconds waited, then the file); the log's words when null.
    const char* waitingText = nullptr;
    const char* timeoutText = nullptr;
};

// Takes flock `operation` (LOCK_SH or LOCK_EX) on `fd`, the file at `path`,
// waiting as `wait` says. False with the reason when it gave up.
[[nodiscard]] bool LockWaiting(int fd, int operation, const QString& path, const LockWait& wait,
                               std::string& error);

// A regular file's last line without its line end (a write a crash or a
// full disk cut) moved into a new file beside it, named after `path` and the
// time, and cut off the file; `fd` is open for writing and locked. `note`
// says where the text went. False with the reason.
[[nodiscard]] bool MoveCutLineAside(int fd, const QString& path, std::string& error, std::string& note);

class CProductionLog {
public:
    // Syncs a descriptor's data to the disk: 0, or -1 with errno.
    using SyncFunction = std::function<int(int fd)>;

    CProductionLog() = default;
    ~CProductionLog();
    CProductionLog(const CProductionLog&) = delete;
    CProductionLog& operator=(const CProductionLog&) = delete;

    // Opens (creates) `path` for appending: a regular file only. A new file
    // gets the header, after a byte-order mark when `bom`. A file that begins
    // with another header is left alone: the lines go to SiblingLogPath's
    // file (the header written there when it is new), and `note` says so.
    // False with the reason.
    [[nodiscard]] bool Open(const QString& path, const QStringList& imageNames, bool bom,
                            std::string& error, std::string& note);
    // Appends the line and syncs it. False with the reason.
    [[nodiscard]] bool Append(const ChipRecord& record, std::string& error);
    // The file the lines go to.
    const QString& Path() const { return m_path; }
    // How each line is synced (SyncFd's fdatasync unless changed).
    void SetSync(SyncFunction sync) { m_sync = std::move(sync); }
    // How long a lock of another program on the log is waited for.
    void SetLockWait(LockWait wait) { m_wait = std::move(wait); }

private:
    enum class Opened { Appending, OtherHeader, Failed };
    Opened OpenFile(const QString& path, const QString& header, bool bom, std::string& error, std::string& note);
    // Appends `bytes` whole (or nothing) and syncs them; the file is locked.
    [[nodiscard]] bool WriteBytes(const QByteArray& bytes, std::string& error);

    int m_fd = -1;
    QString m_path;
    SyncFunction m_sync;
    LockWait m_wait;
    std::mutex m_mutex;
};

// The file beside `path` for a log with `header`: its name carries a short
// digest of the columns ("job.log.csv" -> "job.log-1a2b3c4d.csv").
QString SiblingLogPath(const QString& path, const QString& header);

}  // namespace oriole
