#include "avrdude/Requests.h"

#include <QByteArrayList>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace oriole::avrdude {

namespace {

// Formats: a auto, i Intel HEX, I the same with comments (and checksums
// forgiven on input), s S-records, r raw binary, e ELF, m immediate values,
// h d o b R value lists (R: Roman numerals).
constexpr char kInputFormats[] = "aiIsremhdobR";
constexpr char kOutputFormats[] = "aiIsrhdobR";

Refusal Usage(const QString& message) { return {Cause::Other, message.toStdString()}; }

// The memory a -U names: its name, or (as avrdude) the start of a name,
// which the part decides on; a word that starts no name is refused.
Refusal FindRequestMemory(Request& r) {
    const char* name = nullptr;
    switch (FindMemory(r.memName.toStdString(), r.mem, &name)) {
        case MemoryMatch::Found:
            r.prefix = r.memName.compare(QLatin1String(name), Qt::CaseInsensitive) != 0;
            if (!r.prefix) r.memName = QLatin1String(name);
            return {};
        case MemoryMatch::Ambiguous:
            r.prefix = true;
            return {};
        case MemoryMatch::Unknown:
            break;
    }
    return {Cause::NoSuchMemory, ("-U のメモリ名が正しくありません: " + r.memName).toStdString()};
}

}  // namespace

Refusal ParseRequest(const QString& text, Request& r) {
    r = {};
    r.spec = text;
    const qsizetype first = text.indexOf(':');
    const qsizetype second = first < 0 ? -1 : text.indexOf(':', first + 1);
    if (first < 0) {
        // avrdude's shorthand: -U FILE writes FLASH.
        r.memName = "flash";
        r.file = text;
    } else {
        if (second < 0) return Usage("-U は memory:op:file[:format] で指定してください: " + text);
        r.memName = text.left(first);
        const QString verb = text.mid(first + 1, second - first - 1);
        if (verb != "r" && verb != "w" && verb != "v") return Usage("-U の操作は r, w, v です: " + text);
        r.op = verb[0].toLatin1();
        r.file = text.mid(second + 1);
        const qsizetype last = r.file.lastIndexOf(':');
        if (last >= 0 && last == r.file.size() - 2) {
            r.format = r.file.back().toLatin1();
            r.file.chop(2);
        }
    }
    if (Refusal refused = FindRequestMemory(r)) return refused;
    if (r.file.isEmpty()) return Usage("-U にファイル名がありません: " + text);
    if (r.format != kFormatOmitted) {
        const char* allowed = r.op == 'r' ? kOutputFormats : kInputFormats;
        if (std::string_view(allowed).find(r.format) == std::string_view::npos)
            return Usage(QString("-U の形式 %1 はこの操作に使えません: %2").arg(QChar(r.format), text));
    }
    return {};
}

Request TerminalRequest(const QString& line, char op) {
    Request step;
    step.spec = line;
    step.op = op;
    return step;
}

Refusal ParseDataItems(const QByteArray& text, bool comments, std::vector<uint8_t>& out, std::FILE* warnings) {
    std::string error;
    std::vector<std::string> said;
    const bool ok = ParseDataList(std::string_view(text.constData(), static_cast<size_t>(text.size())), comments,
                                  out, error, said);
    for (const std::string& w : said) std::fprintf(warnings, "oriole-cli: 警告: %s\n", w.c_str());
    if (ok) return {};
    return {comments ? Cause::File : Cause::Other, "値が正しくありません: " + error};
}

ValueListParser DataItemParser() {
    return [](std::string_view text, std::vector<uint8_t>& out, std::string& error,
              std::vector<std::string>& warnings) { return ParseDataList(text, true, out, error, warnings); };
}

QByteArray StrictIntelHex(const QByteArray& text) {
    QByteArray out;
    for (const QByteArray& raw : text.split('\n')) {
        QByteArray line = raw.trimmed();
        if (!line.startsWith(':')) {
            out += line + "\n";
            continue;
        }
        qsizetype end = 1;
        while (end < line.size() && std::isxdigit(static_cast<unsigned char>(line[end]))) ++end;
        QByteArray bytes = QByteArray::fromHex(line.mid(1, (end - 1) / 2 * 2));
        if (bytes.size() >= 5) {
            bytes.truncate(std::min<qsizetype>(bytes.size() - 1, 4 + static_cast<uint8_t>(bytes[0])));
            unsigned sum = 0;
            for (const char b : bytes) sum += static_cast<uint8_t>(b);
            bytes.append(static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF));
        }
        out += ":" + bytes.toHex().toUpper() + "\n";
    }
    return out;
}

}  // namespace oriole::avrdude
