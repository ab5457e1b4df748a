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

// As avrdude prints them: no leading zeros, "0x" and "0b" before every
// value, "0" before an octal value only from 8 on (below it reads the same).
std::string FormatValues(const std::vector<uint8_t>& data, char format) {
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) out += ',';
        const unsigned v = data[i];
        char buf[16];
        switch (format) {
            case 'd':
                std::snprintf(buf, sizeof buf, "%u", v);
                break;
            case 'o':
                std::snprintf(buf, sizeof buf, v < 8 ? "%o" : "0%o", v);
                break;
            case 'b': {
                std::string bits;
                for (unsigned rest = v; rest != 0 || bits.empty(); rest >>= 1)
                    bits.insert(bits.begin(), (rest & 1u) ? '1' : '0');
                std::snprintf(buf, sizeof buf, "0b%s", bits.c_str());
                break;
            }
            case 'R':
                std::snprintf(buf, sizeof buf, "%s", terminal::RomanNumeral(v).c_str());
                break;
            default:
                std::snprintf(buf, sizeof buf, "0x%x", v);
                break;
        }
        out += buf;
    }
    return out + "\n";
}

namespace {

std::string HexRecord(int type, uint32_t address, const uint8_t* bytes, size_t n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(n), address & 0xFFFFu,
                  static_cast<unsigned>(type));
    std::string line = buf;
    unsigned sum = static_cast<unsigned>(n + (address >> 8 & 0xFF) + (address & 0xFF) + type);
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        line += buf;
        sum += bytes[i];
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

}  // namespace

std::string AvrdudeIntelHex(const std::vector<uint8_t>& data, bool comments) {
    constexpr size_t kRecord = 32;
    std::string out;
    for (size_t a = 0; a < data.size(); a += kRecord) {
        if (a > 0 && (a & 0xFFFFu) == 0) {
            const uint8_t segment[2] = {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16)};
            out += HexRecord(4, 0, segment, 2) + "\n";
        }
        const size_t n = std::min(kRecord, data.size() - a);
        out += HexRecord(0, static_cast<uint32_t>(a), data.data() + a, n);
        if (comments) {
            // The comments line up under a full record's; a blank shows as
            // '_' so that the text is one word.
            char buf[32];
            std::snprintf(buf, sizeof buf, " // %05zx> ", a);
            out += std::string(2 * (kRecord - n), ' ') + buf;
            for (size_t i = 0; i < n; ++i) {
                const char c = static_cast<char>(data[a + i] & 0x7F);
                out += c == ' ' ? '_' : c > 0x20 && c < 0x7F ? c : '.';
            }
        }
        out += "\n";
    }
    return out + ":00000001FF\n";
}

namespace {

std::string SRecord(char type, int addressBytes, uint32_t address, const uint8_t* bytes, size_t n) {
    const auto count = static_cast<unsigned>(n + static_cast<size_t>(addressBytes) + 1);
    char buf[24];
    std::snprintf(buf, sizeof buf, "S%c%02X%0*X", type, count, 2 * addressBytes, address);
    std::string line = buf;
    unsigned sum = count;
    for (int i = 0; i < addressBytes; ++i) sum += address >> (8 * i) & 0xFFu;
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        line += buf;
        sum += bytes[i];
    }
    std::snprintf(buf, sizeof buf, "%02X\n", 0xFFu - (sum & 0xFFu));
    return line + buf;
}

}  // namespace

std::string AvrdudeSRecord(const std::vector<uint8_t>& data, uint32_t memoryBytes) {
    constexpr size_t kRecord = 32;
    // The address width follows the memory's size, not the data's.
    const uint32_t highest = memoryBytes == 0 ? 0 : memoryBytes - 1;
    const int width = highest <= 0xFFFFu ? 2 : highest <= 0xFFFFFFu ? 3 : 4;
    const char dataType = static_cast<char>('0' + width - 1);
    static constexpr char kHeader[] = "oriole-cli";
    std::string out = SRecord('0', 2, 0, reinterpret_cast<const uint8_t*>(kHeader), sizeof kHeader - 1);
    size_t records = 0;
    for (size_t a = 0; a < data.size(); a += kRecord, ++records)
        out += SRecord(dataType, width, static_cast<uint32_t>(a), data.data() + a, std::min(kRecord, data.size() - a));
    // The record count (S5, or S6 beyond 16 bits), then the end record.
    out += SRecord(records <= 0xFFFF ? '5' : '6', records <= 0xFFFF ? 2 : 3, static_cast<uint32_t>(records),
                   nullptr, 0);
    return out + SRecord(static_cast<char>('0' + 11 - width), width, 0, nullptr, 0);
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
