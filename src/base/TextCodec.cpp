#include "base/TextCodec.h"

#include <QStringDecoder>
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

QByteArray ToShiftJis(const QString& text) {
    QStringEncoder& encoder = Encoder();
    if (!encoder.isValid()) return text.toLatin1();
    QByteArray out;
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
        out.append(encoder.encode(QStringView(text).mid(i, end - i)));
        i = end;
    }
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

}  // namespace oriole
