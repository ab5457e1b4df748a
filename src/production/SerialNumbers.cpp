#include "production/SerialNumbers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "base/AtomicFile.h"
#include "base/FileNode.h"
#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr qint64 kMaxListFile = 16 * 1024 * 1024;
constexpr char kUsedMark = '#';

std::string Utf8(const QString& text) { return text.toStdString(); }

// The folder of `file`, locked against other runs on it and synced after
// the file was replaced, so the new name survives a power cut.
class CFolderLock {
public:
    explicit CFolderLock(const QString& file) {
        m_fd = open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0) Release();
    }
    ~CFolderLock() { Release(); }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;
    bool Held() const { return m_fd >= 0; }
    bool Sync() const { return fsync(m_fd) == 0; }

private:
    void Release() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }
    int m_fd = -1;
};

bool Fits(uint64_t value, int figures, uint64_t base) {
    for (int i = 0; i < figures; ++i) value /= base;
    return value == 0;
}

bool ReadSmallFile(const QString& path, QByteArray& bytes, std::string& error) {
    switch (ReadRegularFile(path, kMaxListFile, bytes)) {
        case ReadFile::Ok: return true;
        case ReadFile::Missing: bytes.clear(); return true;
        default: error = FormatText(text::kProductionFileUnreadable, Utf8(path).c_str()); return false;
    }
}

bool Replace(const QString& path, const QByteArray& bytes, const CFolderLock& folder, std::string& error) {
    const char* fault = nullptr;
    if (!WriteFileAtomically(path, bytes, &fault, SaveTargets::FilesOnly) || !folder.Sync()) {
        error = FormatText(text::kProductionFileUnwritable, Utf8(path).c_str());
        if (fault != nullptr) error += std::string(" ") + fault;
        return false;
    }
    return true;
}

// The file's real path: links followed, so every name of one file locks
// and writes the same folder. A file not made yet is named in its folder's
// real path.
QString RealPath(const QString& path) {
    const QFileInfo info(path);
    if (info.exists()) return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + '/' + info.fileName();
}

// A counter's number: decimal figures only.
bool ParseCount(const QByteArray& text, uint64_t& value) {
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    bool ok = false;
    value = text.toULongLong(&ok, 10);
    return ok;
}

bool ReadJournal(const QString& path, std::vector<JournalEntry>& entries, std::string& error) {
    QByteArray text;
    if (!ReadSmallFile(path, text, error)) return false;
    entries = ParseJournal(text);
    return true;
}

// An empty journal is no file at all.
bool WriteJournal(const QString& path, const std::vector<JournalEntry>& entries, const CFolderLock& folder,
                  std::string& error) {
    if (!entries.empty()) return Replace(path, JournalText(entries), folder, error);
    if (NodeKindOf(path) == NodeKind::Missing) return true;
    if (!QFile::remove(path) || !folder.Sync()) {
        error = FormatText(text::kProductionFileUnwritable, Utf8(path).c_str());
        return false;
    }
    return true;
}

// The journal with `note` in place of the box's earlier line.
bool NoteInJournal(const QString& path, const JournalEntry& note, const CFolderLock& folder, std::string& error) {
    std::vector<JournalEntry> entries;
    if (!ReadJournal(path, entries, error)) return false;
    std::erase_if(entries, [&](const JournalEntry& e) { return e.box == note.box && e.pid == note.pid; });
    entries.push_back(note);
    return WriteJournal(path, entries, folder, error);
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

}  // namespace

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

CSerialAllocator::CSerialAllocator(SerialRule rule, QString counterFile)
    : m_rule(std::move(rule)), m_counterFile(RealPath(counterFile)) {
    if (!m_rule.listFile.isEmpty()) m_rule.listFile = RealPath(m_rule.listFile);
}

bool CSerialAllocator::ReadCounter(Counter& counter, std::string& error) const {
    QByteArray stored;
    if (!ReadSmallFile(m_counterFile, stored, error)) return false;
    counter = Counter{.next = m_rule.first, .free = {}};
    bool first = true;
    for (const QByteArray& raw : stored.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty()) continue;
        bool ok = true;
        if (first) {
            ok = ParseCount(line, counter.next);
            first = false;
        } else if (line.startsWith("free")) {
            for (const QByteArray& figures : line.mid(4).simplified().split(' ')) {
                uint64_t value = 0;
                ok = ok && (figures.isEmpty() || ParseCount(figures, value));
                if (ok && !figures.isEmpty()) counter.free.push_back(value);
            }
        } else {
            ok = false;
        }
        if (!ok) {
            error = FormatText(text::kProductionFileUnreadable, Utf8(m_counterFile).c_str());
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
    const uint64_t next = counter.next;
    // After the last number the counter stands one step past the last on the grid.
    const bool onGrid = next >= m_rule.first && (next - m_rule.first) % m_rule.step == 0;
    const bool usedUp = onGrid && next > m_rule.last && next - m_rule.step <= m_rule.last;
    if (onGrid && next <= m_rule.last) return true;
    if (!counter.free.empty() && (usedUp || next == UINT64_MAX)) return true;
    if (usedUp || next == UINT64_MAX) {
        error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_counterFile).c_str());
    } else {
        using ull = unsigned long long;
        error = FormatText(text::kProductionCounterOutOfRange, Utf8(m_counterFile).c_str(), static_cast<ull>(next),
                           static_cast<ull>(m_rule.first), static_cast<ull>(m_rule.step),
                           static_cast<ull>(m_rule.last));
    }
    return false;
}

bool CSerialAllocator::Check(std::string& error) const {
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

bool CSerialAllocator::Take(SerialNumber& number, const QString& box, const QString& time,
                            const QString& settingFile, std::string& error) {
    const std::lock_guard lock(m_mutex);
    const JournalEntry note{.box = box, .serial = {}, .time = time, .settingFile = settingFile, .pid = getpid(),
                            .host = JournalHost()};
    return m_rule.listFile.isEmpty() ? TakeFromCounter(number, note, error) : TakeFromList(number, note, error);
}

QString CSerialAllocator::Next() const {
    std::string error;
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

}  // namespace

bool CSerialAllocator::TakeFromCounter(SerialNumber& number, const JournalEntry& note, std::string& error) {
    const CFolderLock folder(m_counterFile);
    if (!folder.Held()) {
        error = FormatText(text::kProductionFileUnwritable, Utf8(m_counterFile).c_str());
        return false;
    }
    Counter counter;
    if (!ReadCounter(counter, error) || !CheckCounter(counter, error)) return false;
    uint64_t taken = counter.next;
    uint64_t after = counter.next;
    if (!counter.free.empty()) {
        taken = counter.free.front();
        counter.free.erase(counter.free.begin());
    } else {
        // The number after this one; past the end when it would overflow.
        after = taken > UINT64_MAX - m_rule.step ? UINT64_MAX : taken + m_rule.step;
    }
    const auto bytes = EncodeSerial(m_rule, taken);
    if (!bytes) {
        error = FormatText(text::kProductionSerialTooWide, static_cast<unsigned long long>(taken), m_rule.width);
        return false;
    }
    JournalEntry entry = note;
    entry.serial = QString::number(static_cast<qulonglong>(taken));
    // The journal first: a number it names but the counter still gives was never spent.
    if (!NoteInJournal(JournalFile(), entry, folder, error) ||
        !Replace(m_counterFile, CounterText(after, counter.free), folder, error))
        return false;
    number.bytes = *bytes;
    number.text = entry.serial;
    return true;
}

bool CSerialAllocator::TakeFromList(SerialNumber& number, const JournalEntry& note, std::string& error) {
    const CFolderLock folder(m_rule.listFile);
    QByteArray content;
    if (!folder.Held() || !ReadSmallFile(m_rule.listFile, content, error)) {
        if (error.empty()) error = FormatText(text::kProductionFileUnreadable, Utf8(m_rule.listFile).c_str());
        return false;
    }
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
        if (!NoteInJournal(JournalFile(), entry, folder, error) ||
            !Replace(m_rule.listFile, lines.join('\n'), folder, error))
            return false;
        number.bytes = *bytes;
        number.text = entry.serial;
        return true;
    }
    error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_rule.listFile).c_str());
    return false;
}

namespace {

// The journal, read under the folder lock just taken; false with the reason.
bool ReadJournalHeld(const CFolderLock& folder, const QString& journal, std::vector<JournalEntry>& entries,
                     std::string& error) {
    if (folder.Held() && ReadJournal(journal, entries, error)) return true;
    if (error.empty()) error = FormatText(text::kProductionFileUnwritable, Utf8(journal).c_str());
    return false;
}

}  // namespace

bool CSerialAllocator::Finish(const QString& box, const QString& serial, bool giveBack, std::string& error) {
    const std::lock_guard lock(m_mutex);
    const CFolderLock folder(NumbersFile());
    std::vector<JournalEntry> entries;
    if (!ReadJournalHeld(folder, JournalFile(), entries, error)) return false;
    const qint64 pid = getpid();
    std::erase_if(entries, [&](const JournalEntry& e) { return e.box == box && e.pid == pid; });
    // The note goes before the number comes back: a crash in between loses
    // the number, never gives it twice.
    if (!WriteJournal(JournalFile(), entries, folder, error)) return false;
    if (!giveBack || m_rule.failedSerial != FailedSerial::Reuse || serial.isEmpty()) return true;
    if (!m_rule.listFile.isEmpty()) {
        QByteArray content;
        if (!ReadSmallFile(m_rule.listFile, content, error)) return false;
        QList<QByteArray> lines = content.split('\n');
        const qsizetype at = MarkedLine(lines, serial);
        if (at < 0) return true;
        lines[at].remove(lines[at].indexOf(kUsedMark), 1);
        return Replace(m_rule.listFile, lines.join('\n'), folder, error);
    }
    Counter counter;
    uint64_t value = 0;
    if (!ReadCounter(counter, error)) return false;
    if (!ParseCount(serial.toLatin1(), value) || value >= counter.next ||
        std::binary_search(counter.free.begin(), counter.free.end(), value))
        return true;
    counter.free.insert(std::lower_bound(counter.free.begin(), counter.free.end(), value), value);
    return Replace(m_counterFile, CounterText(counter.next, counter.free), folder, error);
}

bool CSerialAllocator::Interrupted(std::vector<JournalEntry>& entries, std::string& error) const {
    entries.clear();
    std::vector<JournalEntry> all;
    if (!ReadJournal(JournalFile(), all, error)) return false;
    Counter counter;
    QList<QByteArray> lines;
    if (m_rule.listFile.isEmpty()) {
        if (!ReadCounter(counter, error)) return false;
    } else {
        QByteArray content;
        if (!ReadSmallFile(m_rule.listFile, content, error)) return false;
        lines = content.split('\n');
    }
    for (const JournalEntry& e : all) {
        if (!JournalEntryOrphaned(e)) continue;
        // A line written just before the number was: that number is still to come.
        uint64_t value = 0;
        const bool spent = m_rule.listFile.isEmpty()
                               ? ParseCount(e.serial.toLatin1(), value) && value != counter.next &&
                                     !std::binary_search(counter.free.begin(), counter.free.end(), value)
                               : MarkedLine(lines, e.serial) >= 0;
        entries.push_back(e);
        if (!spent) entries.back().serial.clear();
    }
    return true;
}

bool CSerialAllocator::Forget(const std::vector<JournalEntry>& gone, std::string& error) {
    const std::lock_guard lock(m_mutex);
    const CFolderLock folder(NumbersFile());
    std::vector<JournalEntry> entries;
    if (!ReadJournalHeld(folder, JournalFile(), entries, error)) return false;
    std::erase_if(entries, [&](const JournalEntry& e) {
        return std::any_of(gone.begin(), gone.end(),
                           [&](const JournalEntry& g) { return g.box == e.box && g.pid == e.pid; });
    });
    return WriteJournal(JournalFile(), entries, folder, error);
}

}  // namespace oriole
