// oriole-cli writers: the boxes that can be seen, one line each.

#include <cstdio>

#include "CliCommon.h"
#include "link/WriterFinder.h"

namespace oriole::cli {

int RunWriters(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "接続されている AVR ライタの一覧: バックエンド, USB シリアル番号, "
        "製品名, 場所 (タブ区切り)");
    if (const int status = ParseCommand(parser, args, 0, 0); status >= 0) return status;
    for (const FoundWriter& w : FindWriters())
        std::printf("%s\t%s\t%s\t%s\n", w.backend.c_str(),
                    w.serial.empty() ? "-" : w.serial.c_str(), w.description.c_str(),
                    w.location.c_str());
    return kExitOk;
}

}  // namespace oriole::cli
