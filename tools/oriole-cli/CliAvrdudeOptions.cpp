#include "CliAvrdudeOptions.h"

#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "devices/PartNames.h"
#include "terminal/TerminalData.h"

namespace oriole::cli {

bool Refuse(const QString& message) {
    std::fprintf(stderr, "oriole-cli: %s\n", qPrintable(message));
    return false;
}

namespace {

// Formats: a auto, i Intel HEX, I the same with comments (and checksums
// forgiven on input), s S-records, r raw binary, e ELF, m immediate values,
// h d o b R value lists (R: Roman numerals).
constexpr char kInputFormats[] = "aiIsremhdobR";
constexpr char kOutputFormats[] = "aiIsrhdobR";

// The memory a -U names: its name, or (as avrdude) the start of a name,
// which the part decides on; a word that starts no name is refused.
bool FindMemory(MemOp& op) {
    const char* name = nullptr;
    switch (terminal::FindMemory(op.memName.toStdString(), op.mem, &name)) {
        case terminal::MemoryMatch::Found:
            op.prefix = op.memName.compare(QLatin1String(name), Qt::CaseInsensitive) != 0;
            if (!op.prefix) op.memName = QLatin1String(name);
            return true;
        case terminal::MemoryMatch::Ambiguous:
            op.prefix = true;
            return true;
        case terminal::MemoryMatch::Unknown:
            break;
    }
    return Refuse("-U のメモリ名が正しくありません: " + op.memName);
}

void PrintUsage() {
    std::fprintf(
        stderr,
        "使い方 (avrdude 互換): oriole-cli -p PART [-c oriole] [-P SPEC] [-e] [-D] [-V] [-n] [-F]\n"
        "                       [-q] [-v] [-A] [-l LOG] [-C FILE] [-b N] [-B N] [--trace FILE]\n"
        "                       [-U memory:op:file[:format]] ...\n"
        "  memory  flash eeprom lfuse hfuse efuse lock calibration signature\n"
        "  op      r (読み出し) w (書き込み) v (ベリファイ)\n"
        "  format  a i I s r e m h d o b R (入力), i I s r h d o b R (出力); file に - で標準入出力\n"
        "  -P      usb (= auto), auto, ftdi, d2xx[:LIB], serial[:PATH], /dev/..., sim[:DEVICE]\n"
        "終了コード: 0 成功, 1 失敗\n");
}

bool ParseMemOp(const QString& text, MemOp& op) {
    op.spec = text;
    const qsizetype first = text.indexOf(':');
    const qsizetype second = first < 0 ? -1 : text.indexOf(':', first + 1);
    if (first < 0) {
        // avrdude's shorthand: -U FILE writes FLASH.
        op.memName = "flash";
        op.file = text;
    } else {
        if (second < 0) return Refuse("-U は memory:op:file[:format] で指定してください: " + text);
        op.memName = text.left(first);
        const QString verb = text.mid(first + 1, second - first - 1);
        if (verb != "r" && verb != "w" && verb != "v")
            return Refuse("-U の操作は r, w, v です: " + text);
        op.op = verb[0].toLatin1();
        op.file = text.mid(second + 1);
        const qsizetype last = op.file.lastIndexOf(':');
        if (last >= 0 && last == op.file.size() - 2) {
            op.format = op.file.back().toLatin1();
            op.file.chop(2);
        }
    }
    if (!FindMemory(op)) return false;
    if (op.file.isEmpty()) return Refuse("-U にファイル名がありません: " + text);
    if (op.format != kFormatOmitted) {
        const char* allowed = op.op == 'r' ? kOutputFormats : kInputFormats;
        if (std::string_view(allowed).find(op.format) == std::string_view::npos)
            return Refuse(
                QString("-U の形式 %1 はこの操作に使えません: %2").arg(QChar(op.format), text));
    }
    return true;
}

MemOp TerminalStep(const QString& line, char op) {
    MemOp step;
    step.spec = line;
    step.op = op;
    return step;
}

bool SetValued(AvrdudeOptions& o, char option, const QString& value) {
    switch (option) {
        case 'p':
            o.part = value;
            o.deviceRow = FindDeviceByPartName(value.toStdString());
            if (o.deviceRow == 0) return Refuse("不明なデバイスです: " + value);
            return true;
        case 'c':
            if (value.compare("oriole", Qt::CaseInsensitive) == 0) return true;
            return Refuse("このプログラムが使えるライタは oriole だけです: -c " + value);
        case 'P':
            if (value.compare("usb", Qt::CaseInsensitive) == 0)
                o.writer = "auto";
            else if (value.startsWith("/dev/"))
                o.writer = "serial:" + value.toStdString();
            else
                o.writer = value.toStdString();
            return true;
        case 'U': {
            MemOp op;
            if (!ParseMemOp(value, op)) return false;
            o.ops.push_back(op);
            return true;
        }
        case 'l':
            o.logFile = value;
            return true;
        case 'T':
            o.ops.push_back(TerminalStep(value, 'T'));
            return true;
        default:  // -C, -b, -B: no configuration file here, and the box sets its own rate
            return true;
    }
}

}  // namespace

bool ParseAvrdudeOptions(const QStringList& args, AvrdudeOptions& o) {
    const QString flags = "eDVnqvFusArNt";
    const QString valued = "pcPCbBUlxEiT";
    // Options that mean nothing for this box: accepted, and one warning names them.
    const QString inert = "rNxEi";
    QString ignored;
    for (int i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (word == "--trace" || word.startsWith("--trace=")) {
            if (word == "--trace" && ++i >= args.size()) return Refuse("--trace にファイル名がありません。");
            o.trace = (word == "--trace" ? args[i] : word.mid(8)).toStdString();
            if (o.trace.empty()) return Refuse("--trace にファイル名がありません。");
            continue;
        }
        if (word.size() < 2 || word[0] != '-' || word[1] == '-')
            return Refuse("不明な引数です: " + word);
        for (int k = 1; k < word.size(); ++k) {
            const QChar c = word[k];
            if (inert.contains(c) && !ignored.contains(c)) ignored += QString(" -") + c;
            if (flags.contains(c)) {
                switch (c.toLatin1()) {
                    case 'e':
                        o.erase = true;
                        break;
                    case 'D':
                        o.noAutoErase = true;
                        break;
                    case 'V':
                        o.noVerify = true;
                        break;
                    case 'n':
                        o.dryRun = true;
                        break;
                    case 'F':
                        o.force = true;
                        break;
                    case 'A':
                        o.keepTrailingFF = true;
                        break;
                    case 'q':
                        --o.verbosity;
                        break;
                    case 'v':
                        ++o.verbosity;
                        break;
                    case 't':
                        o.ops.push_back(TerminalStep("-t", 't'));
                        break;
                    default:
                        break;  // -u, -s: avrdude's old safemode switches
                }
                continue;
            }
            if (!valued.contains(c)) {
                PrintUsage();
                return Refuse(QString("対応していないオプションです: -%1").arg(c));
            }
            QString value = word.mid(k + 1);
            if (value.isEmpty()) {
                if (++i >= args.size()) return Refuse(QString("-%1 に値がありません。").arg(c));
                value = args[i];
            }
            if (!SetValued(o, c.toLatin1(), value)) return false;
            break;
        }
    }
    if (!ignored.isEmpty())
        std::fprintf(stderr, "oriole-cli: 警告: このライタには意味のないオプションを無視します:%s\n",
                     qPrintable(ignored));
    // Without -U the chip is only connected and its signature shown, as
    // avrdude does: the "is it wired" check of scripts.
    return true;
}

bool ParseDataItems(const QByteArray& text, bool comments, std::vector<uint8_t>& out) {
    std::string error;
    std::vector<std::string> warnings;
    const bool ok = terminal::ParseDataList(std::string_view(text.constData(), static_cast<size_t>(text.size())),
                                            comments, out, error, warnings);
    for (const std::string& w : warnings) std::fprintf(stderr, "oriole-cli: 警告: %s\n", w.c_str());
    return ok || Refuse(QString("値が正しくありません: %1").arg(QString::fromStdString(error)));
}

ValueListParser DataItemParser() {
    return [](std::string_view text, std::vector<uint8_t>& out, std::string& error,
              std::vector<std::string>& warnings) {
        return terminal::ParseDataList(text, true, out, error, warnings);
    };
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

}  // namespace oriole::cli
