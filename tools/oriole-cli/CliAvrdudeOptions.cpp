#include "CliAvrdudeOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "devices/PartNames.h"

namespace oriole::cli {

bool Refuse(const QString& message) {
    std::fprintf(stderr, "oriole-cli: %s\n", qPrintable(message));
    return false;
}

namespace {

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

bool SetValued(AvrdudeOptions& o, char option, const QString& value) {
    switch (option) {
        case 'p':
            o.run.part = value;
            o.run.deviceRow = FindDeviceByPartName(value.toStdString());
            if (o.run.deviceRow == 0) return Refuse("不明なデバイスです: " + value);
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
            avrdude::Request request;
            if (const avrdude::Refusal refused = avrdude::ParseRequest(value, request))
                return Refuse(QString::fromStdString(refused.message));
            o.run.requests.push_back(request);
            return true;
        }
        case 'l':
            o.logFile = value;
            return true;
        case 'T':
            o.run.requests.push_back(avrdude::TerminalRequest(value, 'T'));
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
                        o.run.erase = true;
                        break;
                    case 'D':
                        o.run.noAutoErase = true;
                        break;
                    case 'V':
                        o.run.noVerify = true;
                        break;
                    case 'n':
                        o.run.dryRun = true;
                        break;
                    case 'F':
                        o.run.force = true;
                        break;
                    case 'A':
                        o.run.keepTrailingFF = true;
                        break;
                    case 'q':
                        --o.run.verbosity;
                        break;
                    case 'v':
                        ++o.run.verbosity;
                        break;
                    case 't':
                        o.run.requests.push_back(avrdude::TerminalRequest("-t", 't'));
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

}  // namespace oriole::cli
