#include "production/SerialNumbers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <map>
#include <utility>

#include "base/AtomicFile.h"
#include "base/FileNode.h"
#include "base/FormatText.h"
#include "production/ProductionLog.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr qint64 kMaxListFile = 16 * 1024 * 1024;
constexpr char kUsedMark = '#';
// Lines of runs this machine cannot judge are said once older than this.
constexpr qint64 kUnjudgedSecs = 3600;
// After this long a run says that it waits for another's lock.

std::string Utf8(const QString& text) { return text.toStdString(); }

const char* WhyNotOwned(OwnedNode node) {
    switch (node) {
        case OwnedNode::Link: return text::kProductionNodeIsLink;
        case OwnedNode::HardLinked: return text::kProductionNodeHardLinked;
        case OwnedNode::NotRegular: return text::kProductionNodeNotRegular;
        default: return nullptr;
    }
}

// The run may read and replace `path`: its own regular file, or nothing yet.
bool Owned(const QString& path, std::string& error) {
    const char* why = WhyNotOwned(OwnedNodeOf(path));
    if (why == nullptr) return true;
    error = FormatText(text::kProductionFileNotOwned, Utf8(path).c_str(), why);
    return false;
}

bool Fits(uint64_t value, int figures, uint64_t base) {
    for (int i = 0; i < figures; ++i) value /= base;
    return value == 0;
}

// A file of the run's own, read without following links; a missing one is empty.
bool ReadSmallFile(const QString& path, QByteArray& bytes, std::string& error) {
    if (!Owned(path, error)) return false;
    switch (ReadOwnedFile(path, kMaxListFile, bytes)) {
        case ReadFile::Ok: return true;
        case ReadFile::Missing: bytes.clear(); return true;
        default: error = FormatText(text::kProductionFileUnreadable, Utf8(path).c_str()); return false;
    }
}

bool Replace(const QString& path, const QByteArray& bytes, std::string& error) {
    if (!Owned(path, error)) return false;
    const char* fault = nullptr;
    if (!ReplaceOwnedFile(path, bytes, &fault)) {
        error = FormatText(text::kProductionFileUnwritable, Utf8(path).c_str());
        if (fault != nullptr) error += std::string(" ") + fault;
        return false;
    }
    return true;
}

// The real path of the numbers file `path` names: a link resolved once (to
// a file that must be there), every folder's link too. A file not made yet
// is named in its folder's real path. When `path` cannot be the run's
// file, `refused` says why.
QString Resolve(const QString& path, std::string& refused) {
    const QFileInfo info(path);
    const OwnedNode node = OwnedNodeOf(path);
    QString real;
    if (node == OwnedNode::Missing) {
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        return folder.isEmpty() ? info.absoluteFilePath() : folder + '/' + info.fileName();
    }
    if (node == OwnedNode::Link) {
        real = info.canonicalFilePath();
        if (real.isEmpty()) {
            refused = FormatText(text::kProductionFileNotOwned, Utf8(path).c_str(), text::kProductionNodeDangling);
            return info.absoluteFilePath();
        }
    } else {
        real = node == OwnedNode::File ? info.canonicalFilePath() : info.absoluteFilePath();
    }
    if (real.isEmpty()) real = info.absoluteFilePath();
    // The link's end must itself be a file of one name.
    if (const char* why = WhyNotOwned(OwnedNodeOf(real)))
        refused = FormatText(text::kProductionFileNotOwned, Utf8(path).c_str(), why);
    return real;
}

// A counter's number: decimal figures only.
bool ParseCount(const QByteArray& text, uint64_t& value) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    bool ok = false;
    value = text.toULongLong(&ok, 10);
    return ok;
}

// The used list line holding `text`, by its index; -1 when none.
qsizetype MarkedLine(const QList<QByteArray>& lines, const QString& text) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines[i].trimmed();
        if (trimmed.startsWith(kUsedMark) && QString::fromLatin1(trimmed.mid(1).trimmed()) == text) return i;
    }
    return -1;
}

// A list line: hexadecimal bytes, blanks between them allowed.
std::optional<std::vector<uint8_t>> ParseListLine(const QByteArray& line) {
    QByteArray figures = line;
    figures.replace(' ', "").replace('\t', "").replace('\r', "");
    if (figures.isEmpty() || figures.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (qsizetype i = 0; i < figures.size(); i += 2) {
        bool ok = false;
        const uint value = figures.mid(i, 2).toUInt(&ok, 16);
        if (!ok) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

// One CSV line's fields, quotes as the log writes them.
QList<QByteArray> CsvFields(const QByteArray& line) {
    QList<QByteArray> fields{{}};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
            fields.last() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields << QByteArray();
        } else if (c != '\r') {
            fields.last() += c;
        }
    }
    return fields;
}

// The log's rows of the serial numbers `wanted`: each row's start time and
// result. The columns are the log's own (LogLine): start time first, the
// serial number the 13th, the result the 14th.
struct LoggedRow {
    QString start;
    QString result;
};
std::multimap<QString, LoggedRow> LoggedRows(const QString& logPath, const QSet<QString>& wanted) {
    constexpr qsizetype kStart = 0, kSerial = 12, kResult = 13;
    std::multimap<QString, LoggedRow> rows;
    if (logPath.isEmpty() || NodeKindOf(logPath) != NodeKind::Regular) return rows;
    const int fd = open(QFile::encodeName(logPath).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) return rows;
    QFile file;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        close(fd);
        return rows;
    }
    bool header = true;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(1024 * 1024);
        if (std::exchange(header, false)) continue;
        const QList<QByteArray> fields = CsvFields(line.trimmed());
        if (fields.size() <= kResult || !wanted.contains(QString::fromUtf8(fields[kSerial]))) continue;
        rows.emplace(QString::fromUtf8(fields[kSerial]),
                     LoggedRow{QString::fromUtf8(fields[kStart]), QString::fromUtf8(fields[kResult])});
    }
    return rows;
}

}  // namespace

// The lock of one numbers file: FILE.lock beside its real path, made once
// (never a link, never written), locked whole. A run that finds it held
// says so within a second and gives up after its patience.
class CSerialAllocator::Lock {
public:
    Lock(const CSerialAllocator& owner, std::string& error) {
        const QString path = owner.LockFile();
        if (!Owned(path, error)) return;
        const int fd = open(QFile::encodeName(path).constData(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (fd >= 0) close(fd);
            error = FormatText(text::kProductionFileUnwritable, Utf8(path).c_str());
            return;
        }
        // Named by the numbers file it guards, which is what the user knows.
        const LockWait wait{.patience = owner.m_patience,
                            .onWait = owner.m_onWait,
                            .waitingText = text::kProductionLockWaiting,
                            .timeoutText = text::kProductionLockTimeout};
        if (!LockWaiting(fd, LOCK_EX, owner.NumbersFile(), wait, error)) {
            close(fd);
            return;
        }
        m_fd = fd;
    }
    ~Lock() {
        if (m_fd >= 0) close(m_fd);
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

std::optional<std::vector<uint8_t>> EncodeSerial(const SerialRule& rule, uint64_t value) {
    const int width = rule.width;
    if (width < 1 || width > 8) return std::nullopt;
    // Least significant first; the byte order turns it round.
    std::vector<uint8_t> bytes;
    switch (rule.encoding) {
        case SerialEncoding::Binary:
            if (width < 8 && (value >> (8 * width)) != 0) return std::nullopt;
            for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
            break;
        case SerialEncoding::Bcd:
            if (!Fits(value, 2 * width, 10)) return std::nullopt;
            for (int i = 0; i < width; ++i, value /= 100)
                bytes.push_back(static_cast<uint8_t>((value % 100 / 10) << 4 | value % 10));
            break;
        case SerialEncoding::AsciiDecimal:
        case SerialEncoding::AsciiHex: {
            const uint64_t base = rule.encoding == SerialEncoding::AsciiHex ? 16 : 10;
            if (!Fits(value, width, base)) return std::nullopt;
            for (int i = 0; i < width; ++i, value /= base)
                bytes.push_back(static_cast<uint8_t>("0123456789ABCDEF"[value % base]));
            break;
        }
    }
    // Figures read left to right whatever the byte order; binary bytes follow it.
    const bool text = rule.encoding == SerialEncoding::AsciiDecimal || rule.encoding == SerialEncoding::AsciiHex;
    if (text || rule.bigEndian) std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

struct CSerialAllocator::Counter {
    uint64_t next = 0;
    std::vector<uint64_t> free;  // given back, ascending; handed out before `next`
};

CSerialAllocator::CSerialAllocator(SerialRule rule, QString counterFile) : m_rule(std::move(rule)) {
    if (m_rule.listFile.isEmpty())
        m_counterFile = Resolve(counterFile, m_refused);
    else
        m_rule.listFile = Resolve(m_rule.listFile, m_refused);
}

bool CSerialAllocator::ReadCounter(Counter& counter, std::string& error) const {
    QByteArray stored;
    if (!ReadSmallFile(m_counterFile, stored, error)) return false;
    counter = Counter{.next = m_rule.first, .free = {}};
    bool first = true;
    const QList<QByteArray> lines = stored.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty()) continue;
        bool ok = true;
        if (first) {
            ok = ParseCount(line, counter.next);
            first = false;
        } else if (line == "free" || line.startsWith("free ") || line.startsWith("free\t")) {
            for (const QByteArray& figures : line.mid(4).simplified().split(' ')) {
                uint64_t value = 0;
                ok = ok && (figures.isEmpty() || ParseCount(figures, value));
                if (ok && !figures.isEmpty()) counter.free.push_back(value);
            }
        } else {
            ok = false;
        }
        if (!ok) {
            error = FormatText(text::kProductionBadFileLine, Utf8(m_counterFile).c_str(), static_cast<int>(i + 1),
                               line.left(80).constData());
            return false;
        }
    }
    std::sort(counter.free.begin(), counter.free.end());
    counter.free.erase(std::unique(counter.free.begin(), counter.free.end()), counter.free.end());
    return true;
}

bool CSerialAllocator::CheckCounter(const Counter& counter, std::string& error) const {
    if (m_rule.step == 0) {
        error = text::kProductionBadRange;
        return false;
    }
    using ull = unsigned long long;
    const uint64_t next = counter.next;
    auto onGrid = [&](uint64_t n) { return n >= m_rule.first && (n - m_rule.first) % m_rule.step == 0; };
    // Every number given back was one the counter gave.
    for (uint64_t n : counter.free) {
        if (onGrid(n) && n <= m_rule.last && n < next) continue;
        error = FormatText(text::kProductionFreeOutOfRange, Utf8(m_counterFile).c_str(), static_cast<ull>(n),
                           static_cast<ull>(m_rule.first), static_cast<ull>(m_rule.step),
                           static_cast<ull>(m_rule.last), static_cast<ull>(next));
        return false;
    }
    // After the last number the counter stands one step past the last on
    // the grid. A number whose next cannot be counted (past 2^64 - 1) is
    // never given: the counter could not move on from it.
    const bool endless = next > UINT64_MAX - m_rule.step;
    const bool usedUp = onGrid(next) && (endless || (next > m_rule.last && next - m_rule.step <= m_rule.last));
    if (onGrid(next) && next <= m_rule.last && !endless) return true;
    if (!counter.free.empty() && (usedUp || next == UINT64_MAX)) return true;
    if (usedUp || next == UINT64_MAX) {
        error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_counterFile).c_str());
    } else {
        error = FormatText(text::kProductionCounterOutOfRange, Utf8(m_counterFile).c_str(), static_cast<ull>(next),
                           static_cast<ull>(m_rule.first), static_cast<ull>(m_rule.step),
                           static_cast<ull>(m_rule.last));
    }
    return false;
}

bool CSerialAllocator::ReadJournal(std::vector<JournalEntry>& entries, std::string& error) const {
    QByteArray text;
    if (!ReadSmallFile(JournalFile(), text, error)) return false;
    int line = 0;
    QByteArray bad;
    if (ParseJournal(text, entries, line, bad)) return true;
    error = FormatText(text::kProductionBadFileLine, Utf8(JournalFile()).c_str(), line, bad.constData());
    return false;
}

// An empty journal is no file at all.
bool CSerialAllocator::WriteJournal(const std::vector<JournalEntry>& entries, std::string& error) const {
    if (!entries.empty()) return Replace(JournalFile(), JournalText(entries), error);
    const char* fault = nullptr;
    if (!Owned(JournalFile(), error)) return false;
    if (RemoveOwnedFile(JournalFile(), &fault)) return true;
    error = FormatText(text::kProductionFileUnwritable, Utf8(JournalFile()).c_str());
    if (fault != nullptr) error += std::string(" ") + fault;
    return false;
}

bool CSerialAllocator::Check(std::string& error) const {
    if (!m_refused.empty()) {
        error = m_refused;
        return false;
    }
    std::vector<JournalEntry> entries;
    if (!Owned(LockFile(), error) || !ReadJournal(entries, error)) return false;
    if (!m_rule.listFile.isEmpty()) {
        QByteArray bytes;
        if (!ReadSmallFile(m_rule.listFile, bytes, error)) return false;
        // Every line to come must be good, and no number may come twice
        // (nor come again after a used line): blanks do not make two alike.
        std::vector<std::pair<std::vector<uint8_t>, QByteArray>> seen;
        for (const QByteArray& line : bytes.split('\n')) {
            QByteArray trimmed = line.trimmed();
            const bool used = trimmed.startsWith(kUsedMark);
            if (used) trimmed = trimmed.mid(1).trimmed();
            if (trimmed.isEmpty()) continue;
            const auto parsed = ParseListLine(trimmed);
            if (!parsed || static_cast<int>(parsed->size()) != m_rule.width) {
                if (used) continue;  // a remark
                error = FormatText(text::kProductionBadListLine, Utf8(m_rule.listFile).c_str(), trimmed.constData());
                return false;
            }
            for (const auto& [other, earlier] : seen) {
                if (other != *parsed) continue;
                error = FormatText(text::kProductionListTwice, Utf8(m_rule.listFile).c_str(), earlier.constData(),
                                   trimmed.constData());
                return false;
            }
            seen.emplace_back(*parsed, trimmed);
        }
        return true;
    }
    if (m_rule.step == 0 || m_rule.first > m_rule.last) {
        error = text::kProductionBadRange;
        return false;
    }
    // The largest number the counter can give must fit the width.
    const uint64_t span = (m_rule.last - m_rule.first) / m_rule.step;
    const uint64_t largest = m_rule.first + span * m_rule.step;
    if (!EncodeSerial(m_rule, largest) && m_rule.last != UINT64_MAX) {
        error = FormatText(text::kProductionSerialTooWide, static_cast<unsigned long long>(largest), m_rule.width);
        return false;
    }
    if (!EncodeSerial(m_rule, m_rule.first)) {
        error = FormatText(text::kProductionSerialTooWide, static_cast<unsigned long long>(m_rule.first),
                           m_rule.width);
        return false;
    }
    Counter counter;
    return ReadCounter(counter, error) && CheckCounter(counter, error);
}

bool CSerialAllocator::Take(SerialNumber& number, const QString& box, int boxIndex, const QString& time,
                            const QString& settingFile, std::string& error) {
    const std::lock_guard lock(m_mutex);
    if (!m_refused.empty()) {
        error = m_refused;
        return false;
    }
    const JournalEntry note{.box = box, .boxIndex = boxIndex, .serial = {}, .time = time,
                            .settingFile = settingFile, .run = m_self};
    return m_rule.listFile.isEmpty() ? TakeFromCounter(number, note, error) : TakeFromList(number, note, error);
}

QString CSerialAllocator::Next() const {
    std::string error;
    if (!m_refused.empty()) return {};
    if (!m_rule.listFile.isEmpty()) {
        QByteArray content;
        if (!ReadSmallFile(m_rule.listFile, content, error)) return {};
        for (const QByteArray& line : content.split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (!trimmed.isEmpty() && !trimmed.startsWith(kUsedMark)) return QString::fromLatin1(trimmed);
        }
        return {};
    }
    Counter counter;
    if (!ReadCounter(counter, error) || !CheckCounter(counter, error)) return {};
    const uint64_t next = counter.free.empty() ? counter.next : counter.free.front();
    if (!EncodeSerial(m_rule, next)) return {};
    return QString::number(static_cast<qulonglong>(next));
}

QString NextSerialText(const ProductionJob& job) {
    if (!job.serial) return {};
    return CSerialAllocator(*job.serial, CounterFileOf(job)).Next();
}

namespace {

QByteArray CounterText(uint64_t next, const std::vector<uint64_t>& free) {
    QByteArray text = QByteArray::number(static_cast<qulonglong>(next)) + '\n';
    if (free.empty()) return text;
    text += "free";
    for (uint64_t n : free) text += ' ' + QByteArray::number(static_cast<qulonglong>(n));
    return text + '\n';
}

// The journal with `note` in place of its box's earlier line of this run.
std::vector<JournalEntry> WithNote(std::vector<JournalEntry> entries, const JournalEntry& note) {
    std::erase_if(entries, [&](const JournalEntry& e) { return e.box == note.box && e.run.runId == note.run.runId; });
    entries.push_back(note);
    return entries;
}

}  // namespace

bool CSerialAllocator::TakeFromCounter(SerialNumber& number, const JournalEntry& note, std::string& error) {
    const Lock held(*this, error);
    if (!held.Held()) return false;
    Counter counter;
    std::vector<JournalEntry> entries;
    if (!ReadJournal(entries, error) || !ReadCounter(counter, error) || !CheckCounter(counter, error)) return false;
    uint64_t taken = counter.next;
    uint64_t after = counter.next;
    if (!counter.free.empty()) {
        taken = counter.free.front();
        counter.free.erase(counter.free.begin());
    } else {
        after = taken + m_rule.step;  // CheckCounter saw it fit
    }
    const auto bytes = EncodeSerial(m_rule, taken);
    if (!bytes) {
        error = FormatText(text::kProductionSerialTooWide, static_cast<unsigned long long>(taken), m_rule.width);
        return false;
    }
    JournalEntry entry = note;
    entry.serial = QString::number(static_cast<qulonglong>(taken));
    // The journal first: a number it names but the counter still gives was never spent.
    if (!WriteJournal(WithNote(std::move(entries), entry), error) ||
        !Replace(m_counterFile, CounterText(after, counter.free), error))
        return false;
    number.bytes = *bytes;
    number.text = entry.serial;
    return true;
}

bool CSerialAllocator::TakeFromList(SerialNumber& number, const JournalEntry& note, std::string& error) {
    const Lock held(*this, error);
    if (!held.Held()) return false;
    QByteArray content;
    std::vector<JournalEntry> entries;
    if (!ReadJournal(entries, error) || !ReadSmallFile(m_rule.listFile, content, error)) return false;
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray& line : lines) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(kUsedMark)) continue;
        const auto bytes = ParseListLine(trimmed);
        if (!bytes || static_cast<int>(bytes->size()) != m_rule.width) {
            error = FormatText(text::kProductionBadListLine, Utf8(m_rule.listFile).c_str(), trimmed.constData());
            return false;
        }
        JournalEntry entry = note;
        entry.serial = QString::fromLatin1(trimmed);
        line.prepend(kUsedMark);
        if (!WriteJournal(WithNote(std::move(entries), entry), error) ||
            !Replace(m_rule.listFile, lines.join('\n'), error))
            return false;
        number.bytes = *bytes;
        number.text = entry.serial;
        return true;
    }
    error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_rule.listFile).c_str());
    return false;
}

bool CSerialAllocator::Finish(const QString& box, const QString& serial, bool giveBack, std::string& error) {
    const std::lock_guard lock(m_mutex);
    const Lock held(*this, error);
    if (!held.Held()) return false;
    std::vector<JournalEntry> entries;
    if (!ReadJournal(entries, error)) return false;
    std::erase_if(entries, [&](const JournalEntry& e) { return e.box == box && e.run.runId == m_self.runId; });
    // The note goes before the number comes back: a crash in between loses
    // the number, never gives it twice.
    if (!WriteJournal(entries, error)) return false;
    if (!giveBack || m_rule.failedSerial != FailedSerial::Reuse || serial.isEmpty()) return true;
    if (!m_rule.listFile.isEmpty()) {
        QByteArray content;
        if (!ReadSmallFile(m_rule.listFile, content, error)) return false;
        QList<QByteArray> lines = content.split('\n');
        const qsizetype at = MarkedLine(lines, serial);
        if (at < 0) return true;
        lines[at].remove(lines[at].indexOf(kUsedMark), 1);
        return Replace(m_rule.listFile, lines.join('\n'), error);
    }
    Counter counter;
    uint64_t value = 0;
    if (!ReadCounter(counter, error)) return false;
    if (!ParseCount(serial.toLatin1(), value) || value >= counter.next ||
        std::binary_search(counter.free.begin(), counter.free.end(), value))
        return true;
    counter.free.insert(std::lower_bound(counter.free.begin(), counter.free.end(), value), value);
    return Replace(m_counterFile, CounterText(counter.next, counter.free), error);
}

bool CSerialAllocator::Recover(const QString& logPath, const RowWriter& writeRow, std::string& kept,
                               std::string& error) {
    const std::lock_guard lock(m_mutex);
    kept.clear();
    if (!m_refused.empty()) {
        error = m_refused;
        return false;
    }
    const Lock held(*this, error);
    if (!held.Held()) return false;
    std::vector<JournalEntry> entries;
    if (!ReadJournal(entries, error)) return false;
    Counter counter;
    QList<QByteArray> lines;
    if (m_rule.listFile.isEmpty()) {
        if (!ReadCounter(counter, error)) return false;
    } else {
        QByteArray content;
        if (!ReadSmallFile(m_rule.listFile, content, error)) return false;
        lines = content.split('\n');
    }
    // Only the rows of the numbers to come and of the journal's chips matter.
    QSet<QString> wanted;
    for (const JournalEntry& e : entries) wanted.insert(e.serial);
    QString nextLine;
    if (m_rule.listFile.isEmpty()) {
        wanted.insert(QString::number(static_cast<qulonglong>(counter.next)));
        for (uint64_t n : counter.free) wanted.insert(QString::number(static_cast<qulonglong>(n)));
    } else {
        for (const QByteArray& line : lines) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.isEmpty() || trimmed.startsWith(kUsedMark)) continue;
            nextLine = QString::fromLatin1(trimmed);
            wanted.insert(nextLine);
            break;
        }
    }
    const std::multimap<QString, LoggedRow> logged = LoggedRows(logPath, wanted);
    auto loggedOk = [&](const QString& serial) {
        const auto [from, to] = logged.equal_range(serial);
        return std::any_of(from, to, [](const auto& row) { return row.second.result == QLatin1String("OK"); });
    };
    if (m_rule.listFile.isEmpty()) {
        // No number the counter will give was given to a good chip already.
        std::vector<uint64_t> coming = counter.free;
        coming.push_back(counter.next);
        for (uint64_t n : coming) {
            if (!loggedOk(QString::number(static_cast<qulonglong>(n)))) continue;
            error = FormatText(text::kProductionFreeLogged, Utf8(m_counterFile).c_str(),
                               static_cast<unsigned long long>(n), Utf8(logPath).c_str());
            return false;
        }
    } else if (!nextLine.isEmpty() && loggedOk(nextLine)) {
        error = FormatText(text::kProductionListLogged, Utf8(m_rule.listFile).c_str(), Utf8(nextLine).c_str(),
                           Utf8(logPath).c_str());
        return false;
    }
    QStringList keptSerials;
    std::vector<JournalEntry> left;
    const QDateTime now = QDateTime::currentDateTime();
    for (const JournalEntry& e : entries) {
        const JournalLine judged = JudgeJournalLine(e, m_self);
        if (judged != JournalLine::Dead) {
            const QDateTime taken = QDateTime::fromString(e.time, Qt::ISODateWithMs);
            const bool old = !taken.isValid() || taken.secsTo(now) > kUnjudgedSecs;
            if (judged == JournalLine::Foreign || (judged == JournalLine::Unknown && old))
                keptSerials << (e.serial.isEmpty() ? QStringLiteral("-") : e.serial);
            left.push_back(e);
            continue;
        }
        // A line written just before the number was: that number is still to come.
        uint64_t value = 0;
        const bool spent = m_rule.listFile.isEmpty()
                               ? ParseCount(e.serial.toLatin1(), value) && value < counter.next &&
                                     !std::binary_search(counter.free.begin(), counter.free.end(), value)
                               : MarkedLine(lines, e.serial) >= 0;
        // The chip's row is in the log already (its line could not be
        // removed after it): no second row.
        const auto [from, to] = logged.equal_range(e.serial);
        const bool rowThere = !e.run.runId.isEmpty() &&
                              std::any_of(from, to, [&](const auto& row) {
                                  return row.second.start == e.time || row.second.start == JournalTimeForLog(e.time);
                              });
        if (spent && !rowThere && !writeRow(e, error)) return false;
    }
    if (!keptSerials.isEmpty())
        kept = FormatText(text::kProductionJournalKept, Utf8(JournalFile()).c_str(),
                          Utf8(keptSerials.join(", ")).c_str());
    return left.size() == entries.size() || WriteJournal(left, error);
}

}  // namespace oriole
