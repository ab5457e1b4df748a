#pragma once
// The CSV log of a production run: one line per chip, appended and synced
// as soon as the chip is done, under a header written when the file is new.
// An existing log is appended to, never truncated. Boxes share one log.

#include <QString>
#include <mutex>
#include <string>
#include <vector>

namespace oriole {

struct ChipRecord {
    QString time;          // ISO 8601, local time with offset
    QString settingFile;
    QString box;           // the box's writer spec (its serial, where it has one)
    QString device;
    QString signature;     // "1E 95 0F"
    QString calibration;   // "A3", empty when the device has none
    QString serial;        // the number or list line, empty without a rule
    bool passed = false;
    bool interrupted = false;  // the run died while the chip was on the socket: its outcome is unknown
    QString failedStep;    // the step that failed, or why the chip was not programmed
    QString cause;         // why, as a cause name ("verify-mismatch"); empty for a pass
    qint64 durationMs = 0;
    std::vector<QString> hashes;  // SHA-256 of each image file, in the header's order
};

// The header's columns, ending with one SHA-256 column per image.
QStringList LogHeader(const QStringList& imageNames);
// One CSV line (no line end), fields quoted where they need it.
QString LogLine(const ChipRecord& record);

class CProductionLog {
public:
    CProductionLog() = default;
    ~CProductionLog();
    CProductionLog(const CProductionLog&) = delete;
    CProductionLog& operator=(const CProductionLog&) = delete;

    // Opens (creates) `path` for appending: a regular file only. The header
    // goes in when the file is empty. False with the reason.
    [[nodiscard]] bool Open(const QString& path, const QStringList& imageNames, std::string& error);
    // Appends the line and syncs it. False with the reason.
    [[nodiscard]] bool Append(const ChipRecord& record, std::string& error);
    const QString& Path() const { return m_path; }

private:
    [[nodiscard]] bool WriteLine(const QString& line, std::string& error);

    int m_fd = -1;
    QString m_path;
    std::mutex m_mutex;
};

}  // namespace oriole
