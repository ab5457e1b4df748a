// oriole-cli: the command-line face of the programmer's core.

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>
#include <cstdio>

#include "CliAvrdude.h"
#include "CliCommon.h"
#include "CliDevice.h"
#include "CliInterrupt.h"
#include "base/Fatal.h"
#include "base/QtTranslation.h"

namespace oriole::cli {
namespace {

constexpr Command kCommands[] = {
    {"devices", "対応デバイスの一覧を表示します", RunDevices},
    {"writers", "接続されている AVR ライタの一覧を表示します", RunWriters},
    {"image", "HEX / S レコードファイルを調べる・変換します (info, convert)", RunImage},
    {"doctor", "ライタとの接続を順に調べ、問題と直し方を表示します", RunDoctor},
    {"trace", "二つのワイヤトレースを比べます (diff A B)", RunTrace},
    {"run", "設定ファイルの内容をチップに次々に書き込みます (量産)", RunProductionCommand},
    {"detect, erase, write-flash, ...",
     "デバイスを操作します (oriole-cli --help-device で一覧)", RunDeviceBatch},
};

void PrintUsage(FILE* out) {
    std::fprintf(out, "使い方: oriole-cli COMMAND [OPTIONS...]\n\nコマンド:\n");
    for (const auto& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\n各コマンドの詳細は oriole-cli COMMAND --help で表示します。\n");
    std::fprintf(out, "avrdude 互換: oriole-cli -p PART -c oriole -P SPEC -U memory:op:file[:format] ...\n");
}

}  // namespace
}  // namespace oriole::cli

namespace {

int Main(int argc, char** argv) {
    using namespace oriole::cli;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("oriole-cli");
    // The option parser's own messages and usage lines in Japanese, like ours.
    oriole::InstallQtJapanese(app);
    const QStringList args = QCoreApplication::arguments();

    if (args.size() < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const QString& name = args.at(1);
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const auto& c : kCommands) {
        if (name == QLatin1String(c.name)) return c.run(args.mid(1));
    }
    // "writers" after the writer option, and "run" after the writer and
    // trace options: the order the device commands use.
    qsizetype optionWords = 0;
    for (qsizetype at = 1; at < args.size();) {
        const QString& word = args.at(at);
        const qsizetype words = word.startsWith("--writer=") || word.startsWith("--trace=") ? 1
                                : word == "--writer" || word == "--trace"                 ? 2
                                                                                         : 0;
        if (words == 0) break;
        optionWords += words;
        at += words;
    }
    if (optionWords > 0 && args.size() > optionWords + 1) {
        const QString& command = args.at(optionWords + 1);
        const bool traced = args.mid(1, optionWords).filter(QRegularExpression("^--trace(=|$)")).size() > 0;
        if (command == "run" || (command == "writers" && !traced)) {
            QStringList reordered{command};
            reordered << args.mid(1, optionWords) << args.mid(optionWords + 2);
            return command == "run" ? RunProductionCommand(reordered) : RunWriters(reordered);
        }
    }
    // The device commands: global options first, then one or more commands.
    if (name == "--help-device") return RunDeviceBatch({"--help"});
    if (name.startsWith("--") || IsDeviceCommand(name)) return RunDeviceBatch(args.mid(1));
    // avrdude's command line, for recipes written for it.
    if (IsAvrdudeOption(name)) return RunAvrdude(args.mid(1));
    std::fprintf(stderr, "oriole-cli: 不明なコマンドです: %s\n\n", qPrintable(name));
    PrintUsage(stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    // Memory that runs out, or any error nobody handled, ends the tool with
    // one line and status 1, never with an abort and no word.
    oriole::InstallFatalHandlers("oriole-cli", oriole::cli::kExitFailed);
    oriole::cli::InstallInterruptHandlers();
    try {
        return Main(argc, argv);
    } catch (...) {
        return oriole::ReportFatal();
    }
}
