// oriole-cli writers: the boxes that can be seen, one line each.

#include <cstdio>

#include "CliCommon.h"
#include "link/WriterFinder.h"
#include "link/WriterSpec.h"

namespace oriole::cli {

int RunWriters(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "接続されている AVR ライタの一覧: バックエンド, USB シリアル番号, "
        "製品名, 場所 (タブ区切り)");
    const QCommandLineOption writer("writer",
                                    "d2xx:LIB なら D2XX の一覧をそのライブラリに尋ねます "
                                    "(既定はシステムの D2XX ライブラリ)。",
                                    "SPEC");
    parser.addOption(writer);
    if (const int status = ParseCommand(parser, args, 0, 0); status >= 0) return status;
    const std::string spec = parser.value(writer).toStdString();
    // A spec that could not open a box is a typing error, not an empty list.
    if (std::string error; parser.isSet(writer) && !CreateWriterDriver(spec, error))
        return UsageError(QStringLiteral("--writer の値が正しくありません: %1").arg(QString::fromStdString(error)));
    for (const FoundWriter& w : FindWriters(spec))
        std::printf("%s\t%s\t%s\t%s\n", w.backend.c_str(),
                    w.serial.empty() ? "-" : w.serial.c_str(), w.description.c_str(),
                    w.location.c_str());
    return kExitOk;
}

}  // namespace oriole::cli
