#pragma once
// The INI store: private-profile files with the semantics the settings have
// always had on Windows, so files written by earlier versions and files
// edited by hand read the same.
//
// Why not QSettings: its INI format sorts and regroups keys, escapes values
// (%U, quoting, @Variant) and reads and writes only UTF-8, while our files
// are Shift-JIS (or UTF-16LE), keep their keys in write order and must stay readable by the
// old program. So the file is modelled here as its lines.
//
// Semantics:
// - A line whose first non-blank character is '[' and that holds a ']' opens
//   a section; its name is the text between '[' and the first ']'. A line
//   with '=' (and not starting with ';') holds a key. Everything else
//   (comments, blank lines, junk) is kept byte for byte and never read.
// - Section and key names compare without regard to ASCII case; whitespace
//   around names and values is trimmed. A value wrapped in a pair of double
//   or single quotes comes back without them, as on Windows.
// - The first section of a name wins; within it, the first key of a name.
// - A value comes back cut to at most 259 bytes of Shift-JIS (the 260-byte
//   buffer of the Windows call, NUL included), at a character boundary: a
//   double-byte character that would straddle the limit is dropped whole.
//   In a Unicode file the buffer holds 259 UTF-16 units.
// - Code: Shift-JIS (code page 932) as long as it holds every name and value
//   written. The first text it cannot hold turns the whole file into UTF-16LE
//   with a byte-order mark, the form of Unicode the Windows profile calls
//   read, so every value reads back exactly as written. A file that starts
//   with a UTF-16LE or UTF-8 byte-order mark is read as Unicode and written
//   back in its own form.
// - Writing an existing key replaces only what follows its '=': the key keeps
//   the spelling it has in the file. A new key goes after the last non-blank
//   line of its section, a new section ("[Section]" then "key=value") to the
//   end of the file, without a blank line before it. New lines end in CR LF;
//   lines already in the file keep their own line ends, so a file that is
//   only read serializes to exactly the bytes it was parsed from.
// - The file is written whole and atomically by Save; the result equals what
//   one-key-at-a-time private-profile writes would have left on disk.
//
// Limits: a file whose text is over kMaxFileSize bytes (as Shift-JIS or, for
// a Unicode file, as UTF-8) is not ours and loads as empty;
// writes that would grow the file beyond it are refused, as are names and
// values that would change the file's structure (line breaks, a '=' in a
// key name, a ']' in a section name). Lookups are one pass over compact line
// records, so any file costs time linear in its size per lookup.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace oriole {

class CIniFile {
public:
    static constexpr qsizetype kMaxFileSize = qsizetype{8} * 1024 * 1024;
    static constexpr qsizetype kMaxValueBytes = 259;

    // Reads the whole file. Anything else leaves the store empty and gives
    // false: a missing file (every default, and Save makes it), or one
    // refused, with the reason in `refusal` (a text of res/Texts.h whose %s
    // is the path): a node that is no regular file after following links (a
    // device, a FIFO, a folder; never opened, so never blocks), an oversized
    // file or one that cannot be read. A refused file is not ours, and
    // callers must not save over it.
    bool Load(const QString& path, const char** refusal = nullptr);

    // Writes the whole file atomically, only ever as a regular file (see
    // base/AtomicFile.h); on failure, with the message in `fault`, any
    // existing file stays as it was.
    [[nodiscard]] bool Save(const QString& path, const char** fault = nullptr) const;

    // The file's bytes, and back. Parse gives false (and an empty store) for
    // input over kMaxFileSize.
    QByteArray Serialize() const;
    [[nodiscard]] bool Parse(QByteArrayView bytes);
    void Clear();

    // The value of `key` in `section`, or `def` when there is none. The
    // default, like the value, loses trailing blanks and is cut to 259 bytes.
    QString GetString(const QString& section, const QString& key, const QString& def) const;
    // Decimal: leading blanks skipped, optional sign, stops at the first
    // non-figure; an existing key with nothing readable gives 0.
    int32_t GetInt(const QString& section, const QString& key, int32_t def) const;
    // Hexadecimal, otherwise as GetInt.
    uint32_t GetHex(const QString& section, const QString& key, uint32_t def) const;

    // False (and nothing changed) when the names or the value cannot be
    // stored without changing the file's structure, or the file would grow
    // beyond kMaxFileSize.
    [[nodiscard]] bool WriteString(const QString& section, const QString& key,
                                   const QString& value);
    [[nodiscard]] bool WriteInt(const QString& section, const QString& key, int32_t value);
    // Eight upper-case hexadecimal figures ("%08X").
    [[nodiscard]] bool WriteHex8(const QString& section, const QString& key, uint32_t value);

private:
    enum class Encoding : uint8_t { ShiftJis, Utf16Le, Utf8 };
    enum class Kind : uint8_t { Other, Blank, Section, Key };
    enum class Eol : uint8_t { None, Lf, CrLf };
    // One line of the file: its bytes in text_ (line end excluded), what it
    // is, and for sections and keys the hash of the folded name.
    struct Line {
        uint32_t begin = 0;
        uint32_t size = 0;
        uint32_t hash = 0;
        Kind kind = Kind::Other;
        Eol eol = Eol::None;
    };
    struct Name {
        QByteArray folded;
        uint32_t hash = 0;
    };

    struct Parsed;
    static Parsed Classify(QByteArrayView text, bool dbcs);
    bool Dbcs() const { return encoding_ == Encoding::ShiftJis; }
    // A text in the file's code; nothing when code page 932 cannot hold it.
    std::optional<QByteArray> Encode(const QString& text) const;
    // A stored value as the profile call gives it back, cut to its buffer.
    QString ValueText(QByteArrayView bytes) const;
    std::optional<Name> MakeName(const QString& name) const;
    QByteArrayView LineText(const Line& line) const;
    Line MakeLine(QByteArrayView text, Eol eol);
    void ParseLines(QByteArrayView bytes);
    QByteArray SerializeLines() const;
    // Code page 932 -> Unicode for every line; false (nothing changed) when
    // the text would grow beyond kMaxFileSize.
    [[nodiscard]] bool BecomeUnicode();
    [[nodiscard]] bool WriteEncoded(const QString& section, const QString& key,
                                    const QByteArray& sectionBytes, const QByteArray& keyBytes,
                                    const QByteArray& valueBytes);
    [[nodiscard]] bool WriteLines(const QString& section, const QString& key,
                                  const QByteArray& sectionBytes, const QByteArray& keyBytes,
                                  const QByteArray& valueBytes);
    qsizetype FindSection(const Name& section) const;
    qsizetype SectionEnd(qsizetype header) const;
    qsizetype FindKey(qsizetype header, qsizetype end, const Name& key) const;
    std::optional<QString> FindValue(const QString& section, const QString& key) const;
    void CompactIfWasteful();

    QByteArray text_;          // the parsed bytes, then the texts of written lines
    std::vector<Line> lines_;  // in file order
    qsizetype liveSize_ = 0;   // bytes Serialize would give
    qsizetype wasted_ = 0;     // bytes of text_ no line refers to any more
    // ShiftJis: text_ holds the file's bytes. Otherwise the file is Unicode
    // (it starts with its byte-order mark) and text_ holds it as UTF-8.
    Encoding encoding_ = Encoding::ShiftJis;
    QByteArray unchanged_;  // a UTF-16 file's bytes until the first write
};

}  // namespace oriole
