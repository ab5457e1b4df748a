#include "image/BitFiles.h"

#include <QFile>
#include <array>
#include <string>

#include "base/AtomicFile.h"
#include "base/TextCodec.h"
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

// Reads up to and including the first LF (or to the end of the file). The
// line may be of any length; appending to a std::string grows it
// geometrically, so a long line costs linear time.
bool ReadFirstLine(const QString& path, std::string& line) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    std::array<char, size_t{64} * 1024> chunk{};
    for (;;) {
        const qint64 got = file.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (got < 0) return false;
        if (got == 0) return true;
        const std::string_view piece(chunk.data(), static_cast<size_t>(got));
        const size_t end = piece.find('\n');
        if (end != std::string_view::npos) {
            line.append(piece.substr(0, end + 1));
            return true;
        }
        line.append(piece);
    }
}

QByteArrayView View(const std::string& s) {
    return QByteArrayView(s.data(), static_cast<qsizetype>(s.size()));
}

bool Save(IMessageHost& host, const QString& path, const QByteArray& content) {
    if (WriteFileAtomically(path, content)) return true;
    host.ShowMessage(MsgKind::Warning, text::kFileCreateFailed);
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
    if (!ReadFirstLine(path, line)) {
        host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
        return false;
    }
    texts = ParseFuseFile(View(line));
    return true;
}

bool SaveFuseFile(IMessageHost& host, const QString& path, const FuseTexts& texts) {
    return Save(host, path, FormatFuseFile(texts));
}

bool LoadLockFile(IMessageHost& host, const QString& path, QString& text) {
    std::string line;
    if (!ReadFirstLine(path, line)) {
        host.ShowMessage(MsgKind::Warning, text::kFileOpenFailed);
        return false;
    }
    text = ParseLockFile(View(line));
    return true;
}

bool SaveLockFile(IMessageHost& host, const QString& path, const QString& text) {
    return Save(host, path, FormatLockFile(text));
}

}  // namespace oriole
