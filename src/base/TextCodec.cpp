#include "base/TextCodec.h"

#include <QStringDecoder>
#include <algorithm>
#include <QStringEncoder>

namespace oriole {

namespace {
// ICU's name for Microsoft's code page 932 (Shift-JIS with the NEC and IBM
// extensions), which is what the files of the Windows program hold.
constexpr const char* kCodePage932 = "windows-31j";

// Code page 932 keeps every byte below 0x80 as the ASCII character of the
// same value, but ICU's table swaps a few control codes (0x1A, 0x1C, 0x7F).
// ASCII therefore bypasses ICU, and only the runs in between go through it.

bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Length of the run of non-ASCII text starting at `i` (a double-byte
// character's trail byte may lie in the ASCII range and belongs to the run).
qsizetype ForeignRunBytes(QByteArrayView bytes, qsizetype i) {
    const qsizetype start = i;
    while (i < bytes.size()) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (b < 0x80) break;
        i += (IsLeadByte(b) && i + 1 < bytes.size()) ? 2 : 1;
    }
    return i - start;
}

// Opening an ICU converter costs far more than converting a short text, so
// each thread keeps one of each and resets it before use.
QStringEncoder& Encoder() {
    thread_local QStringEncoder encoder(kCodePage932);
    encoder.resetState();
    return encoder;
}

QStringDecoder& Decoder() {
    thread_local QStringDecoder decoder(kCodePage932);
    decoder.resetState();
    return decoder;
}
}  // namespace

namespace {

// A run of non-ASCII text in code page 932 when it reads back as it was. ICU
// substitutes characters it cannot map, and maps a few to look-alikes ("best
// fit"); neither must pass for the character, so the bytes are decoded again
// and compared.
std::optional<QByteArray> EncodeRunExact(QStringView run) {
    QByteArray bytes = Encoder().encode(run);
    if (FromShiftJis(bytes) != run) return std::nullopt;
    return bytes;
}

// As above; a character of the run without an exact form becomes '?'.
QByteArray EncodeRunOrMark(QStringView run) {
    if (auto whole = EncodeRunExact(run)) return *std::move(whole);
    QByteArray out;
    qsizetype i = 0;
    while (i < run.size()) {
        const qsizetype n = run[i].isHighSurrogate() && i + 1 < run.size() ? 2 : 1;
        const auto one = EncodeRunExact(run.mid(i, n));
        out.append(one ? *one : QByteArray("?"));
        i += n;
    }
    return out;
}

// Walks `text` in runs: ASCII bytes as they are, non-ASCII runs through
// `encodeRun`; stops with false at the first run it rejects.
template <typename EncodeRun>
bool EncodeRuns(const QString& text, QByteArray& out, EncodeRun encodeRun) {
    out.reserve(text.size() * 2);
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i].unicode() < 0x80) {
            out.append(static_cast<char>(text[i].unicode()));
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && text[end].unicode() >= 0x80) ++end;
        if (!encodeRun(QStringView(text).mid(i, end - i), out)) return false;
        i = end;
    }
    return true;
}

bool IsAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

}  // namespace

QByteArray ToShiftJis(const QString& text) {
    QByteArray out;
    if (!Encoder().isValid()) {
        // Without the converter only ASCII can be written faithfully.
        for (const QChar c : text) out.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
        return out;
    }
    static_cast<void>(EncodeRuns(text, out, [](QStringView run, QByteArray& o) {
        o.append(EncodeRunOrMark(run));
        return true;
    }));
    return out;
}

std::optional<QByteArray> ToShiftJisExact(const QString& text) {
    if (!Encoder().isValid()) {
        if (!IsAscii(text)) return std::nullopt;
        return text.toLatin1();
    }
    QByteArray out;
    const bool exact = EncodeRuns(text, out, [](QStringView run, QByteArray& o) {
        auto bytes = EncodeRunExact(run);
        if (bytes) o.append(*bytes);
        return bytes.has_value();
    });
    if (!exact) return std::nullopt;
    return out;
}

QString FromShiftJis(QByteArrayView bytes) {
    QStringDecoder& decoder = Decoder();
    if (!decoder.isValid()) return QString::fromLatin1(bytes);
    QString out;
    out.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        const qsizetype run = ForeignRunBytes(bytes, i);
        out.append(decoder.decode(bytes.sliced(i, run)));
        i += run;
    }
    return out;
}

std::string EscapeControls(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto escape = [&out](unsigned char c) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    };
    const auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = at(i);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                escape(c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        // The length of the sequence and the least its code point may be
        // (shorter forms are invalid), then its continuation bytes.
        const size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                         : c >= 0xE0 && c <= 0xEF ? 3
                         : c >= 0xF0 && c <= 0xF4 ? 4
                                                  : 0;
        uint32_t cp = n == 2 ? c & 0x1Fu : n == 3 ? c & 0x0Fu : c & 0x07u;
        bool valid = n != 0 && i + n <= bytes.size();
        for (size_t k = 1; valid && k < n; ++k) {
            valid = (at(i + k) & 0xC0) == 0x80;
            cp = cp << 6 | (at(i + k) & 0x3Fu);
        }
        valid = valid && !(n == 3 && cp < 0x800) && !(n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            escape(c);
            ++i;
        } else if (cp >= 0x80 && cp <= 0x9F) {
            // C1 controls: U+009B alone starts a terminal's control sequence.
            for (size_t k = 0; k < n; ++k) escape(at(i + k));
            i += n;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace oriole
