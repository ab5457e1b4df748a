#include "CliAvrdudeOptions.h"

#include <QRegularExpression>
#include <cstdio>
#include <string_view>

#include "devices/PartNames.h"

namespace oriole::cli {

bool Refuse(const QString& message) {
    std::fprintf(stderr, "oriole-cli: %s\n", qPrintable(message));
    return false;
}

namespace {

constexpr struct {
    const char* name;
    AvrMem mem;
} kMemories[] = {
    {"flash", AvrMem::Flash},
    {"eeprom", AvrMem::Eeprom},
    {"lfuse", AvrMem::LowFuse},
    {"fuse", AvrMem::LowFuse},
    {"hfuse", AvrMem::HighFuse},
    {"efuse", AvrMem::ExtFuse},
    {"lock", AvrMem::Lock},
    {"lockbits", AvrMem::Lock},
    {"calibration", AvrMem::Calibration},
    {"signature", AvrMem::Signature},
};

// Formats: a auto, i Intel HEX, s S-records, r raw binary, e ELF, m immediate
// values; for reads also h, d, o, b (a comma-separated list of the values).
constexpr char kInputFormats[] = "aisrem";
constexpr char kOutputFormats[] = "aisrhdob";

void PrintUsage() {
    std::fprintf(
        stderr,
        "使い方 (avrdude 互換): oriole-cli -p PART [-c oriole] [-P SPEC] [-e] [-D] [-V] [-n] [-F]\n"
        "                       [-q] [-v] [-C FILE] [-b N] [-B N] -U memory:op:file[:format] ...\n"
        "  memory  flash eeprom lfuse hfuse efuse lock calibration signature\n"
        "  op      r (読み出し) w (書き込み) v (ベリファイ)\n"
        "  format  a i s r e m (入力), i s r h d o b (出力); file に - で標準入出力\n"
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
    bool known = false;
    for (const auto& m : kMemories) {
        if (op.memName == QLatin1String(m.name)) {
            op.mem = m.mem;
            known = true;
        }
    }
    if (!known) return Refuse("-U のメモリ名が正しくありません: " + op.memName);
    if (op.file.isEmpty()) return Refuse("-U にファイル名がありません: " + text);
    if (op.format != kFormatOmitted) {
        const char* allowed = op.op == 'r' ? kOutputFormats : kInputFormats;
        if (std::string_view(allowed).find(op.format) == std::string_view::npos)
            return Refuse(
                QString("-U の形式 %1 はこの操作に使えません: %2").arg(QChar(op.format), text));
    }
    return true;
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
        default:  // -C, -b, -B: no configuration file here, and the box sets its own rate
            return true;
    }
}

}  // namespace

bool ParseAvrdudeOptions(const QStringList& args, AvrdudeOptions& o) {
    const QString flags = "eDVnqvFusA";
    const QString valued = "pcPCbBU";
    for (int i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (word.size() < 2 || word[0] != '-' || word[1] == '-')
            return Refuse("不明な引数です: " + word);
        for (int k = 1; k < word.size(); ++k) {
            const QChar c = word[k];
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
    // Without -U the chip is only connected and its signature shown, as
    // avrdude does: the "is it wired" check of scripts.
    return true;
}

bool ParseImmediate(const QString& text, std::vector<uint8_t>& out) {
    const QStringList values = text.split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts);
    for (const QString& v : values) {
        bool ok = false;
        const uint n = v.toUInt(&ok, 0);
        if (!ok || n > 0xFF) return Refuse("値が正しくありません: " + v);
        out.push_back(static_cast<uint8_t>(n));
    }
    if (out.empty()) return Refuse("値がありません: " + text);
    return true;
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
            default:
                std::snprintf(buf, sizeof buf, "0x%x", v);
                break;
        }
        out += buf;
    }
    return out + "\n";
}

}  // namespace oriole::cli
