#include "production/SerialNumbers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    if (rule.bigEndian) std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

CSerialAllocator::CSerialAllocator(SerialRule rule, QString counterFile)
    : m_rule(std::move(rule)), m_counterFile(std::move(counterFile)) {}

bool CSerialAllocator::Check(std::string& error) const {
    if (!m_rule.listFile.isEmpty()) {
        QByteArray bytes;
        if (!ReadSmallFile(m_rule.listFile, bytes, error)) return false;
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
    return true;
}

bool CSerialAllocator::Take(SerialNumber& number, std::string& error) {
    const std::lock_guard lock(m_mutex);
    return m_rule.listFile.isEmpty() ? TakeFromCounter(number, error) : TakeFromList(number, error);
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
    QByteArray stored;
    if (!ReadSmallFile(m_counterFile, stored, error)) return {};
    uint64_t next = m_rule.first;
    if (!stored.trimmed().isEmpty()) {
        bool ok = false;
        next = stored.trimmed().toULongLong(&ok);
        if (!ok) return {};
    }
    if (next < m_rule.first || next > m_rule.last || !EncodeSerial(m_rule, next)) return {};
    return QString::number(static_cast<qulonglong>(next));
}

QString NextSerialText(const ProductionJob& job) {
    if (!job.serial) return {};
    return CSerialAllocator(*job.serial, CounterFileOf(job)).Next();
}

bool CSerialAllocator::TakeFromCounter(SerialNumber& number, std::string& error) {
    const CFolderLock folder(m_counterFile);
    if (!folder.Held()) {
        error = FormatText(text::kProductionFileUnwritable, Utf8(m_counterFile).c_str());
        return false;
    }
    QByteArray stored;
    if (!ReadSmallFile(m_counterFile, stored, error)) return false;
    uint64_t next = m_rule.first;
    if (!stored.trimmed().isEmpty()) {
        bool ok = false;
        next = stored.trimmed().toULongLong(&ok);
        if (!ok) {
            error = FormatText(text::kProductionFileUnreadable, Utf8(m_counterFile).c_str());
            return false;
        }
    }
    const auto bytes = next <= m_rule.last && next >= m_rule.first ? EncodeSerial(m_rule, next) : std::nullopt;
    if (!bytes) {
        error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_counterFile).c_str());
        return false;
    }
    // The number after this one; past the end when it would overflow.
    const uint64_t after = next > UINT64_MAX - m_rule.step ? UINT64_MAX : next + m_rule.step;
    if (after == next) {
        error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_counterFile).c_str());
        return false;
    }
    if (!Replace(m_counterFile, QByteArray::number(static_cast<qulonglong>(after)) + '\n', folder, error))
        return false;
    number.bytes = *bytes;
    number.text = QString::number(static_cast<qulonglong>(next));
    return true;
}

bool CSerialAllocator::TakeFromList(SerialNumber& number, std::string& error) {
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
        line.prepend(kUsedMark);
        if (!Replace(m_rule.listFile, lines.join('\n'), folder, error)) return false;
        number.bytes = *bytes;
        number.text = QString::fromLatin1(trimmed);
        return true;
    }
    error = FormatText(text::kProductionSerialsUsedUp, Utf8(m_rule.listFile).c_str());
    return false;
}

}  // namespace oriole
