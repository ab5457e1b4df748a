#pragma once
// The event stream of a production run: one JSON object per line (JSON
// Lines), written as things happen, for other systems to follow. Every
// object has "event" and "time" (ISO 8601 with the zone's offset); the rest
// depends on the event:
//
//   run-start  settingFile, device, writers, images [{name, path, sha256}],
//              lot, operator, workOrder, count, repeat, log
//   chip-start box, boxIndex, serial (null without a rule or before the number)
//   step-start box, boxIndex, step
//   step-end   box, boxIndex, step, ok
//   chip-end   box, boxIndex, result ("ok"/"fail"), cause, failedStep, serial,
//              serialBytes, device, signature, durationMs, start, end
//   box-lost   box, boxIndex        box-back  box, boxIndex
//   message    box, kind, text (errors and warnings)
//   run-end    passed, failed, boxesLost, end ("completed", "stopped",
//              "broken", "boxes-lost"), reason
//
// The target is a regular file (appended to) or a FIFO. Nothing here waits
// for good: a FIFO is opened only once a reader is there (waiting a bounded
// time for one), a reader that stops reading fails the stream after a while,
// and a reader that goes away fails it at once. Terminals and other device
// nodes are refused: the stream is not shown by surprise. Whole lines or
// none: a line goes to a regular file in one write, and a last line a crash
// or a full disk cut is moved aside into a file beside it when the stream is
// opened, before anything is appended.

#include <QJsonObject>
#include <functional>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "production/ProductionLog.h"

namespace oriole {

class CEventStream {
public:
    static constexpr std::chrono::milliseconds kDefaultPatience{5000};

    // Opens `path`: appends to a regular file (made when missing); a FIFO
    // waits up to `patience` for its reader. Null with the reason. `note`,
    // when given, says where a cut last line went.
    // A regular file is written under its lock; a wait for another
    // program's lock is said through `onWait` (naming the file, within a
    // second) and given up after `patience`.
    static std::shared_ptr<CEventStream> Open(
        const QString& path, std::string& error,
        std::chrono::milliseconds patience = kDefaultPatience, std::string* note = nullptr,
        std::function<void(const std::string& text)> onWait = {});
    ~CEventStream();
    CEventStream(const CEventStream&) = delete;
    CEventStream& operator=(const CEventStream&) = delete;

    // Writes one event: `fields` with "event" and "time" added. False once a
    // write failed (this one or an earlier one), with the reason.
    [[nodiscard]] bool Write(const char* event, QJsonObject fields, std::string& error);
    const QString& Path() const { return m_path; }
    // Where a later wait for the lock is said (a run's own messages).
    void SetOnWait(std::function<void(const std::string& text)> onWait);

private:
    CEventStream(int fd, QString path, std::chrono::milliseconds patience, bool regular,
                 std::function<void(const std::string& text)> onWait);

    int m_fd;
    bool m_regular;  // a regular file: each line in one write
    QString m_path;
    std::chrono::milliseconds m_patience;
    LockWait m_wait;
    std::string m_failure;

    // One line to a regular file: whole, or nothing and the stream failed.
    bool WriteWhole(const QByteArray& line, std::string& error);
    std::mutex m_mutex;
};

}  // namespace oriole
