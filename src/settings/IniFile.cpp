#include "settings/IniFile.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <utility>
#include <string_view>

#include "base/AtomicFile.h"
#include "base/FileNode.h"
#include "base/Numbers.h"
#include "base/TextCodec.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// Lines are scanned as raw Shift-JIS bytes rather than decoded: the untouched
// bytes of every line must survive a rewrite exactly, and the 259-byte cut
// needs byte positions, neither of which a decoder reports. Of the characters
// that structure the file, only ']' can also be the second byte of a
// double-byte character, and case folding must not touch such second bytes,
// so those two walk the text character by character. A Unicode file is held
// as UTF-8, where no byte of a multi-byte character is ASCII: there every
// byte counts as a character of its own (`dbcs` false).
bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrailByte(uint8_t b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// 2 for a double-byte character starting at text[i], else 1.
qsizetype CharLength(QByteArrayView text, qsizetype i, bool dbcs) {
    if (dbcs && i + 1 < text.size() && IsLeadByte(static_cast<uint8_t>(text[i])) &&
        IsTrailByte(static_cast<uint8_t>(text[i + 1]))) {
        return 2;
    }
    return 1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArrayView Trim(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.sliced(begin, end - begin);
}

// Calls `fn` with each byte of `text` as compared: ASCII letters of
// single-byte characters lower-cased, everything else as it is.
template <typename Fn>
void ForEachFolded(QByteArrayView text, bool dbcs, Fn fn) {
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = CharLength(text, i, dbcs);
        if (n == 2) {
            fn(text[i]);
            fn(text[i + 1]);
        } else {
            const char c = text[i];
            fn(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        }
        i += n;
    }
}

uint32_t FoldedHash(QByteArrayView name, bool dbcs) {
    uint32_t hash = 2166136261u;  // FNV-1a
    ForEachFolded(name, dbcs, [&](char c) { hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u; });
    return hash;
}

bool FoldedEquals(QByteArrayView name, QByteArrayView folded, bool dbcs) {
    if (name.size() != folded.size()) return false;
    qsizetype i = 0;
    bool equal = true;
    ForEachFolded(name, dbcs, [&](char c) { equal = equal && c == folded[i++]; });
    return equal;
}

// At most kMaxValueBytes bytes, never half a double-byte character.
QByteArrayView CutToBuffer(QByteArrayView text) {
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype n = CharLength(text, end, true);
        if (end + n > CIniFile::kMaxValueBytes) break;
        end += n;
    }
    return text.first(end);
}

QByteArrayView Unquote(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.sliced(1, value.size() - 2);
    }
    return value;
}

bool HasBlankEnds(const QString& name) {
    const auto blank = [](QChar c) {
        return c.unicode() < 0x80 && IsBlank(static_cast<char>(c.unicode()));
    };
    return blank(name.front()) || blank(name.back());
}

bool HasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// Code page 932 maps ASCII to itself, so plain-ASCII names and values (nearly
// all of them) skip the converter, which costs more than the lookup itself.
// The converter behind TextCodec swaps the control codes 1A, 1C and 7F (an
// IBM habit); those still go through it so that both paths agree.
bool SameInBothCodes(char16_t c) {
    return c < 0x80 && c != 0x1A && c != 0x1C && c != 0x7F;
}

std::optional<QByteArray> EncodeShiftJis(const QString& text) {
    for (const QChar c : text) {
        if (!SameInBothCodes(c.unicode())) return ToShiftJisExact(text);
    }
    return text.toLatin1();
}

QString DecodeShiftJis(QByteArrayView bytes) {
    for (const char c : bytes) {
        if (!SameInBothCodes(static_cast<uint8_t>(c))) return FromShiftJis(bytes);
    }
    return QString::fromLatin1(bytes);
}

// The 260-unit buffer of the Unicode call: 259 UTF-16 units, never half a
// surrogate pair.
QString CutToUnits(QString text) {
    if (text.size() <= CIniFile::kMaxValueBytes) return text;
    qsizetype end = CIniFile::kMaxValueBytes;
    if (text[end - 1].isHighSurrogate()) --end;
    text.truncate(end);
    return text;
}

constexpr qsizetype kCompactSlack = qsizetype{64} * 1024;

constexpr char kUtf16LeBom[] = "\xFF\xFE";
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

}  // namespace

struct CIniFile::Parsed {
    Kind kind = Kind::Other;
    QByteArrayView name;       // sections and keys, trimmed
    qsizetype valueStart = 0;  // keys: the byte after '='
};

CIniFile::Parsed CIniFile::Classify(QByteArrayView text, bool dbcs) {
    Parsed out;
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) {
        out.kind = Kind::Blank;
        return out;
    }
    if (text[i] == '[') {
        for (qsizetype j = i + 1; j < text.size(); j += CharLength(text, j, dbcs)) {
            if (text[j] != ']') continue;
            out.kind = Kind::Section;
            out.name = Trim(text.sliced(i + 1, j - i - 1));
            return out;
        }
        return out;
    }
    if (text[i] == ';') return out;
    // '=' is never the second byte of a double-byte character.
    const qsizetype eq = text.indexOf('=', i);
    if (eq < 0) return out;
    out.kind = Kind::Key;
    out.name = Trim(text.sliced(i, eq - i));
    out.valueStart = eq + 1;
    return out;
}

std::optional<QByteArray> CIniFile::Encode(const QString& text) const {
    if (encoding_ == Encoding::ShiftJis) return EncodeShiftJis(text);
    return text.toUtf8();
}

QString CIniFile::ValueText(QByteArrayView bytes) const {
    if (encoding_ == Encoding::ShiftJis) return DecodeShiftJis(CutToBuffer(bytes));
    return CutToUnits(QString::fromUtf8(bytes));
}

std::optional<CIniFile::Name> CIniFile::MakeName(const QString& name) const {
    // A name the file's code cannot hold is in no line of it.
    const auto bytes = Encode(name);
    if (!bytes) return std::nullopt;
    Name out;
    out.folded.reserve(bytes->size());
    ForEachFolded(*bytes, Dbcs(), [&](char c) { out.folded.append(c); });
    out.hash = FoldedHash(*bytes, Dbcs());
    return out;
}

QByteArrayView CIniFile::LineText(const Line& line) const {
    return QByteArrayView(text_).sliced(line.begin, line.size);
}

CIniFile::Line CIniFile::MakeLine(QByteArrayView text, Eol eol) {
    Line line;
    line.begin = static_cast<uint32_t>(text_.size());
    line.size = static_cast<uint32_t>(text.size());
    line.eol = eol;
    text_.append(text);
    const Parsed parsed = Classify(text, Dbcs());
    line.kind = parsed.kind;
    if (parsed.kind == Kind::Section || parsed.kind == Kind::Key)
        line.hash = FoldedHash(parsed.name, Dbcs());
    return line;
}

void CIniFile::Clear() {
    text_.clear();
    lines_.clear();
    liveSize_ = 0;
    wasted_ = 0;
    encoding_ = Encoding::ShiftJis;
    unchanged_ = QByteArray();
}

bool CIniFile::Parse(QByteArrayView bytes) {
    Clear();
    // Files that start with a byte-order mark are Unicode, as for the
    // Windows profile calls; they are held as UTF-8 and written back in
    // their own form.
    QByteArray utf8;
    if (bytes.startsWith(kUtf16LeBom)) {
        if (bytes.size() > 2 * kMaxFileSize + 2) return false;
        QStringDecoder decoder(QStringConverter::Utf16LE);
        utf8 = QString(decoder.decode(bytes.sliced(2))).toUtf8();
        encoding_ = Encoding::Utf16Le;
        // Broken UTF-16 (a lone surrogate, an odd last byte) does not survive
        // the way through UTF-8; until something is written the file's own
        // bytes are what it serializes to.
        unchanged_ = bytes.toByteArray();
    } else if (bytes.startsWith(kUtf8Bom)) {
        utf8 = bytes.sliced(3).toByteArray();
        encoding_ = Encoding::Utf8;
    }
    if (encoding_ != Encoding::ShiftJis) bytes = utf8;
    if (bytes.size() > kMaxFileSize) {
        Clear();
        return false;
    }
    ParseLines(bytes);
    return true;
}

void CIniFile::ParseLines(QByteArrayView bytes) {
    text_.reserve(bytes.size());
    lines_.reserve(static_cast<size_t>(bytes.count('\n')) + 1);
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        qsizetype next = end + 1;
        Eol eol = Eol::Lf;
        if (end < 0) {
            end = next = bytes.size();
            eol = Eol::None;
        } else if (end > pos && bytes[end - 1] == '\r') {
            --end;
            eol = Eol::CrLf;
        }
        lines_.push_back(MakeLine(bytes.sliced(pos, end - pos), eol));
        pos = next;
    }
    liveSize_ = bytes.size();
}

QByteArray CIniFile::SerializeLines() const {
    QByteArray out;
    out.reserve(liveSize_);
    for (const Line& line : lines_) {
        out.append(LineText(line));
        if (line.eol == Eol::CrLf) out.append('\r');
        if (line.eol != Eol::None) out.append('\n');
    }
    return out;
}

QByteArray CIniFile::Serialize() const {
    switch (encoding_) {
        case Encoding::ShiftJis: break;
        case Encoding::Utf8: return kUtf8Bom + SerializeLines();
        case Encoding::Utf16Le: {
            if (!unchanged_.isNull()) return unchanged_;
            QStringEncoder encoder(QStringConverter::Utf16LE);
            return kUtf16LeBom + QByteArray(encoder.encode(QString::fromUtf8(SerializeLines())));
        }
    }
    return SerializeLines();
}

bool CIniFile::BecomeUnicode() {
    QByteArray utf8;
    utf8.reserve(liveSize_ + liveSize_ / 2);
    for (const Line& line : lines_) utf8.append(DecodeShiftJis(LineText(line)).toUtf8());
    const auto crlf = std::count_if(lines_.begin(), lines_.end(),
                                    [](const Line& l) { return l.eol == Eol::CrLf; });
    const auto lf = std::count_if(lines_.begin(), lines_.end(),
                                  [](const Line& l) { return l.eol == Eol::Lf; });
    if (utf8.size() + 2 * crlf + lf > kMaxFileSize) return false;
    std::vector<Line> old = std::move(lines_);
    const QByteArray oldText = std::move(text_);
    lines_.clear();
    text_.clear();
    wasted_ = 0;
    encoding_ = Encoding::Utf16Le;
    lines_.reserve(old.size());
    for (const Line& line : old) {
        const QByteArray text =
            DecodeShiftJis(QByteArrayView(oldText).sliced(line.begin, line.size)).toUtf8();
        lines_.push_back(MakeLine(text, line.eol));
    }
    liveSize_ = utf8.size() + 2 * crlf + lf;
    return true;
}

bool CIniFile::Load(const QString& path, const char** refusal) {
    Clear();
    if (refusal != nullptr) *refusal = nullptr;
    // One byte more than the largest file we accept tells an oversized file
    // from one that fits; a UTF-16 file may take twice the bytes of its text.
    QByteArray bytes;
    const char* refused = nullptr;
    switch (ReadRegularFile(path, 2 * kMaxFileSize + 2, bytes)) {
        case ReadFile::Missing: return false;
        case ReadFile::Ok:
            if (Parse(bytes)) return true;
            refused = text::kSettingsTooLarge;
            break;
        case ReadFile::NotRegular: refused = text::kSettingsNotRegular; break;
        case ReadFile::TooLarge: refused = text::kSettingsTooLarge; break;
        case ReadFile::Failed: refused = text::kSettingsUnreadable; break;
    }
    if (refusal != nullptr) *refusal = refused;
    return false;
}

bool CIniFile::Save(const QString& path, const char** fault) const {
    return WriteFileAtomically(path, Serialize(), fault, SaveTargets::FilesOnly);
}

qsizetype CIniFile::FindSection(const Name& section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind != Kind::Section || line.hash != section.hash) continue;
        if (FoldedEquals(Classify(LineText(line), Dbcs()).name, section.folded, Dbcs())) {
            return static_cast<qsizetype>(i);
        }
    }
    return -1;
}

qsizetype CIniFile::SectionEnd(qsizetype header) const {
    const auto it = std::find_if(lines_.begin() + header + 1, lines_.end(),
                                 [](const Line& line) { return line.kind == Kind::Section; });
    return it - lines_.begin();
}

qsizetype CIniFile::FindKey(qsizetype header, qsizetype end, const Name& key) const {
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line& line = lines_[static_cast<size_t>(i)];
        if (line.kind != Kind::Key || line.hash != key.hash) continue;
        if (FoldedEquals(Classify(LineText(line), Dbcs()).name, key.folded, Dbcs())) return i;
    }
    return -1;
}

std::optional<QString> CIniFile::FindValue(const QString& section, const QString& key) const {
    const auto sectionName = MakeName(section);
    const auto keyName = MakeName(key);
    if (!sectionName || !keyName) return std::nullopt;
    const qsizetype header = FindSection(*sectionName);
    if (header < 0) return std::nullopt;
    const qsizetype at = FindKey(header, SectionEnd(header), *keyName);
    if (at < 0) return std::nullopt;
    const QByteArrayView text = LineText(lines_[static_cast<size_t>(at)]);
    const QByteArrayView value = Trim(text.sliced(Classify(text, Dbcs()).valueStart));
    return ValueText(Unquote(value));
}

QString CIniFile::GetString(const QString& section, const QString& key, const QString& def) const {
    if (auto value = FindValue(section, key)) return *std::move(value);
    qsizetype end = def.size();
    while (end > 0 && (def[end - 1] == QLatin1Char(' ') || def[end - 1] == QLatin1Char('\t')))
        --end;
    QString trimmed = def.first(end);
    // No UTF-16 unit takes more than two bytes in code page 932.
    if (encoding_ != Encoding::ShiftJis || trimmed.size() <= kMaxValueBytes / 2)
        return CutToUnits(std::move(trimmed));
    return DecodeShiftJis(CutToBuffer(ToShiftJis(trimmed)));
}

int32_t CIniFile::GetInt(const QString& section, const QString& key, int32_t def) const {
    const auto value = FindValue(section, key);
    if (!value) return def;
    // Figures are ASCII; anything else ends the number, also as '?'.
    return ParseDecLenient(value->toLatin1().toStdString());
}

uint32_t CIniFile::GetHex(const QString& section, const QString& key, uint32_t def) const {
    const auto value = FindValue(section, key);
    if (!value) return def;
    return ParseHexLenient(value->toLatin1().toStdString());
}

bool CIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    // Names the file could not give back as they were written, and line
    // breaks that would split the line, are refused instead of corrupting
    // the file.
    if (section.isEmpty() || HasBlankEnds(section) || HasLineBreak(section) ||
        section.contains(QLatin1Char(']'))) {
        return false;
    }
    if (key.isEmpty() || HasBlankEnds(key) || HasLineBreak(key) || key.contains(QLatin1Char('=')) ||
        key.front() == QLatin1Char(';') || key.front() == QLatin1Char('[')) {
        return false;
    }
    if (HasLineBreak(value)) return false;

    // Code page 932 as long as it holds every text; the first one it cannot
    // hold turns the whole file into Unicode, which the profile calls read
    // from a file that starts with a UTF-16LE byte-order mark.
    auto sectionBytes = Encode(section);
    auto keyBytes = Encode(key);
    auto valueBytes = Encode(value);
    if (!sectionBytes || !keyBytes || !valueBytes) {
        if (encoding_ != Encoding::ShiftJis) return false;
        const CIniFile before = *this;
        if (!BecomeUnicode()) return false;
        if (!WriteEncoded(section, key, *Encode(section), *Encode(key), *Encode(value))) {
            *this = before;
            return false;
        }
        return true;
    }
    return WriteEncoded(section, key, *sectionBytes, *keyBytes, *valueBytes);
}

bool CIniFile::WriteEncoded(const QString& section, const QString& key, const QByteArray& sectionBytes,
                            const QByteArray& keyBytes, const QByteArray& valueBytes) {
    const QByteArray unchanged = std::exchange(unchanged_, QByteArray());
    if (WriteLines(section, key, sectionBytes, keyBytes, valueBytes)) return true;
    unchanged_ = unchanged;
    return false;
}

bool CIniFile::WriteLines(const QString& section, const QString& key, const QByteArray& sectionBytes,
                          const QByteArray& keyBytes, const QByteArray& valueBytes) {
    const QByteArray keyLine = keyBytes + '=' + valueBytes;
    const qsizetype header = FindSection(*MakeName(section));
    if (header < 0) {
        const QByteArray headerLine = '[' + sectionBytes + ']';
        const bool needsEol = !lines_.empty() && lines_.back().eol == Eol::None;
        const qsizetype grown = (needsEol ? 2 : 0) + headerLine.size() + keyLine.size() + 4;
        if (liveSize_ + grown > kMaxFileSize) return false;
        if (needsEol) lines_.back().eol = Eol::CrLf;
        lines_.push_back(MakeLine(headerLine, Eol::CrLf));
        lines_.push_back(MakeLine(keyLine, Eol::CrLf));
        liveSize_ += grown;
        return true;
    }

    const qsizetype end = SectionEnd(header);
    const qsizetype at = FindKey(header, end, *MakeName(key));
    if (at >= 0) {
        Line& old = lines_[static_cast<size_t>(at)];
        const QByteArrayView oldText = LineText(old);
        const qsizetype keep = Classify(oldText, Dbcs()).valueStart;
        const qsizetype newSize = keep + valueBytes.size();
        if (liveSize_ - old.size + newSize > kMaxFileSize) return false;
        const QByteArray newText = oldText.first(keep).toByteArray() + valueBytes;
        liveSize_ += newSize - old.size;
        wasted_ += old.size;
        old = MakeLine(newText, old.eol);
        CompactIfWasteful();
        return true;
    }

    qsizetype last = end - 1;
    while (last > header && lines_[static_cast<size_t>(last)].kind == Kind::Blank) --last;
    Line& before = lines_[static_cast<size_t>(last)];
    const bool needsEol = before.eol == Eol::None;
    const qsizetype grown = (needsEol ? 2 : 0) + keyLine.size() + 2;
    if (liveSize_ + grown > kMaxFileSize) return false;
    if (needsEol) before.eol = Eol::CrLf;
    lines_.insert(lines_.begin() + last + 1, MakeLine(keyLine, Eol::CrLf));
    liveSize_ += grown;
    return true;
}

bool CIniFile::WriteInt(const QString& section, const QString& key, int32_t value) {
    return WriteString(section, key, QString::number(value));
}

bool CIniFile::WriteHex8(const QString& section, const QString& key, uint32_t value) {
    return WriteString(section, key, QString::asprintf("%08X", value));
}

// Replaced lines leave their old text behind in text_; once that is most of
// it, the live lines are copied into a fresh buffer, which keeps the memory
// in proportion to the file however often keys are rewritten.
void CIniFile::CompactIfWasteful() {
    if (wasted_ <= kCompactSlack || wasted_ <= text_.size() / 2) return;
    QByteArray fresh;
    fresh.reserve(text_.size() - wasted_);
    for (Line& line : lines_) {
        const qsizetype begin = fresh.size();
        fresh.append(LineText(line));
        line.begin = static_cast<uint32_t>(begin);
    }
    text_ = std::move(fresh);
    wasted_ = 0;
}

}  // namespace oriole
