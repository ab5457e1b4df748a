// oriole-cli trace diff A B: where two wire traces part, with the timing
// and the polling left out, so that a real box's trace can be read against
// the simulated box's trace of the same command.
#include <QFile>
#include <cstdio>
#include <string>

#include "CliCommon.h"
#include "base/FileNode.h"
#include "base/TextCodec.h"
#include "link/WireTrace.h"

namespace oriole::cli {

namespace {

// A trace never grows past its limit; a little room for the last line.
constexpr qint64 kTraceReadLimit = static_cast<qint64>(kTraceLimitBytes) + 4096;
// Joined bytes make long lines; the start of one is what a reader needs.
constexpr size_t kShownLine = 240;

bool Load(const QString& path, std::vector<std::string>& lines) {
    QByteArray bytes;
    switch (ReadRegularFile(path, kTraceReadLimit, bytes)) {
        case ReadFile::Ok: break;
        case ReadFile::Missing:
            std::fprintf(stderr, "oriole-cli: トレースファイルがありません: %s\n", qPrintable(path));
            return false;
        case ReadFile::NotRegular:
            std::fprintf(stderr, "oriole-cli: 通常のファイルではありません: %s\n", qPrintable(path));
            return false;
        case ReadFile::TooLarge:
            std::fprintf(stderr, "oriole-cli: トレースファイルが大きすぎます: %s\n", qPrintable(path));
            return false;
        case ReadFile::Failed:
            std::fprintf(stderr, "oriole-cli: トレースファイルを読めません: %s\n", qPrintable(path));
            return false;
    }
    lines = NormalizeTrace(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return true;
}

}  // namespace

int RunTrace(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "trace diff A B: 二つのワイヤトレースを時刻と問い合わせを除いて比べ、最初に違うところを表示します。\n"
        "同じなら終了コード 0、違えば 1 です。");
    parser.addPositionalArgument("diff", "diff");
    parser.addPositionalArgument("A", "トレースファイル");
    parser.addPositionalArgument("B", "トレースファイル");
    if (const int status = ParseCommand(parser, args, 3, 3); status >= 0) return status;
    const QStringList words = parser.positionalArguments();
    if (words[0] != "diff") return UsageError("使い方: oriole-cli trace diff A B");
    std::vector<std::string> a, b;
    if (!Load(words[1], a) || !Load(words[2], b)) return kExitFailed;
    const std::vector<std::string> diff = DiffTraces(a, b);
    if (diff.empty()) {
        std::printf("同じです (%zu 行)\n", a.size());
        return kExitOk;
    }
    std::printf("--- %s\n+++ %s\n", qPrintable(words[1]), qPrintable(words[2]));
    for (const std::string& line : diff) {
        // A trace is anybody's file: its control characters reach the
        // terminal as escapes, and a cut falls between characters.
        std::string shown = EscapeControls(line);
        const bool cut = shown.size() > kShownLine;
        if (cut) {
            size_t end = kShownLine;
            while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) --end;
            shown.resize(end);
        }
        std::printf("%s%s\n", shown.c_str(), cut ? " ..." : "");
    }
    return kExitFailed;
}

}  // namespace oriole::cli
