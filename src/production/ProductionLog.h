#pragma once
// The CSV log of a production run: one line per chip, appended and synced
// as soon as the chip is done, under a header written when the file is new.
// An existing log is appended to, never truncated; a log begun under other
// columns is left as it is and the lines go to a file beside it named after
// the new columns. Boxes share one log. A spreadsheet opens it as it is:
// UTF-8 with a byte-order mark, and no field a spreadsheet would run as a
// formula.

#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

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
    QString failedStep;    // the step that failed, or why the chip was not programmed
    QString cause;         // why, as a cause name ("verify-mismatch"); empty for a pass
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
    // How each line is synced (fdatasync unless changed).
    void SetSync(SyncFunction sync) { m_sync = std::move(sync); }

private:
    enum class Opened { Appending, OtherHeader, Failed };
    Opened OpenFile(const QString& path, const QString& header, bool bom, std::string& error);
    [[nodiscard]] bool WriteBytes(const QByteArray& bytes, std::string& error);

    int m_fd = -1;
    QString m_path;
    SyncFunction m_sync;
    std::mutex m_mutex;
};

// The file beside `path` for a log with `header`: its name carries a short
// digest of the columns ("job.log.csv" -> "job.log-1a2b3c4d.csv").
QString SiblingLogPath(const QString& path, const QString& header);

}  // namespace oriole
