#include "image/BitFiles.h"

#include <array>
#include <string>

#include "base/AtomicFile.h"
#include "base/TextCodec.h"
#include "image/ImageReader.h"
#include "image/InputFile.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// The first line without its line end: up to the first LF, with a CR before
// it dropped. A Shift-JIS trail byte is never 0x0A, so cutting the bytes
// before decoding cannot split a character.
QString FirstLine(QByteArrayView bytes) {
    const qsizetype end = bytes.indexOf('\n');
    QByteArrayView line = end < 0 ? bytes : bytes.first(end);
    if (end >= 0 && line.endsWith('\r')) line.chop(1);
    return FromShiftJis(line);
}

bool IsShiftJisLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Drops a lead byte whose trail byte lay beyond the cut, so that the kept
// prefix ends on a whole character.
void DropCutCharacter(std::string& line) {
    size_t i = 0;
    while (i < line.size()) {
        if (!IsShiftJisLead(static_cast<uint8_t>(line[i]))) {
            ++i;
        } else if (i + 1 < line.size()) {
            i += 2;
        } else {
            line.pop_back();
            return;
        }
    }
}

// Reads the first line up to and including its LF, or its first
// kBitFileKeptBytes bytes when it is longer (or the file ends first). A
// file that cannot be read shows its message.
bool ReadFirstLine(IMessageHost& host, const QString& path, std::string& line) {
    CInputFile file(path);
    if (!file.OpenForReading()) {
        host.ShowFailure(Cause::File, MsgKind::Warning, NameInText(text::kFileOpenFailed, path.toStdString()));
        return false;
    }
    std::array<char, static_cast<size_t>(kBitFileKeptBytes)> buffer{};
    qint64 have = 0;
    while (have < kBitFileKeptBytes) {
        const qint64 got = file.read(buffer.data() + have, kBitFileKeptBytes - have);
        if (got < 0) {
            host.ShowFailure(Cause::File, MsgKind::Warning, NameInText(ReadFailedText(file), path.toStdString()));
            return false;
        }
        if (got == 0) break;
        const std::string_view piece(buffer.data() + have, static_cast<size_t>(got));
        have += got;
        const size_t end = piece.find('\n');
        if (end != std::string_view::npos) {
            line.assign(buffer.data(), static_cast<size_t>(have - got) + end + 1);
            return true;
        }
    }
    line.assign(buffer.data(), static_cast<size_t>(have));
    if (have == kBitFileKeptBytes) DropCutCharacter(line);
    return true;
}

QByteArrayView View(const std::string& s) {
    return QByteArrayView(s.data(), static_cast<qsizetype>(s.size()));
}

bool Save(IMessageHost& host, const QString& path, const QByteArray& content) {
    const char* fault = nullptr;
    if (WriteFileAtomically(path, content, &fault)) return true;
    host.ShowFailure(Cause::File, MsgKind::Warning, fault);
    return false;
}

}  // namespace

FuseTexts ParseFuseFile(QByteArrayView bytes) {
    const QString line = FirstLine(bytes);
    return {line.left(2), line.mid(2, 2), line.right(2)};
}

QString ParseLockFile(QByteArrayView bytes) {
    return FirstLine(bytes).left(2);
}

QByteArray FormatFuseFile(const FuseTexts& texts) {
    return ToShiftJis(texts.ext + texts.high + texts.low) + "\r\n";
}

QByteArray FormatLockFile(const QString& text) {
    return ToShiftJis(text);
}

bool LoadFuseFile(IMessageHost& host, const QString& path, FuseTexts& texts) {
    std::string line;
    if (!ReadFirstLine(host, path, line)) return false;
    texts = ParseFuseFile(View(line));
    return true;
}

bool SaveFuseFile(IMessageHost& host, const QString& path, const FuseTexts& texts) {
    return Save(host, path, FormatFuseFile(texts));
}

bool LoadLockFile(IMessageHost& host, const QString& path, QString& text) {
    std::string line;
    if (!ReadFirstLine(host, path, line)) return false;
    text = ParseLockFile(View(line));
    return true;
}

bool SaveLockFile(IMessageHost& host, const QString& path, const QString& text) {
    return Save(host, path, FormatLockFile(text));
}

}  // namespace oriole
