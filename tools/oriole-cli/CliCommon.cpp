#include "CliCommon.h"

#include <string>

namespace oriole::cli {

int UsageError(const QString& message) {
    std::fprintf(stderr, "oriole-cli: %s\n", qPrintable(message));
    return kExitUsage;
}

int ParseCommand(QCommandLineParser& parser, const QStringList& args, int minPositional,
                 int maxPositional) {
    const QCommandLineOption help({"h", "help"}, "このヘルプを表示します。");
    parser.addOption(help);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(args)) return UsageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fprintf(stdout, "%s", qPrintable(parser.helpText()));
        return kExitOk;
    }
    const auto n = parser.positionalArguments().size();
    if (n < minPositional || n > maxPositional) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return kExitUsage;
    }
    return -1;
}

bool ParseUnsigned(const QString& text, uint32_t& value) {
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, 0);
    if (!ok || v > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace oriole::cli
