// oriole: the desktop application.
#include <QApplication>

#include "app/OrioleApp.h"
#include "base/Fatal.h"
#include "base/QtTranslation.h"

namespace {

template <typename App>
void Introduce(App& app) {
    App::setApplicationName(QStringLiteral("oriole"));
    App::setApplicationVersion(QStringLiteral(ORIOLE_VERSION));
    // Message boxes, file dialogs and the usage lines in Japanese, like the
    // rest of the program.
    oriole::InstallQtJapanese(app);
}

int Main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (oriole::AsksForHelpOrVersion(arguments)) {
        // No window system for the usage or the version.
        QCoreApplication app(argc, argv);
        Introduce(app);
        oriole::AppCommandLine line;
        return oriole::ParseAppCommandLine(QCoreApplication::arguments(), line).value_or(0);
    }
    QApplication app(argc, argv);
    Introduce(app);
    QApplication::setDesktopFileName(QStringLiteral("oriole"));
    oriole::KeepQtUserSettingsInMemory();
    oriole::COrioleApp oriole;
    return oriole.InitInstance(QApplication::arguments());
}

}  // namespace

int main(int argc, char** argv) {
    // Memory that runs out, or any error nobody handled, ends the program
    // with one line on standard error and status 1, never with a bare abort.
    oriole::InstallFatalHandlers("oriole", 1);
    try {
        return Main(argc, argv);
    } catch (...) {
        return oriole::ReportFatal();
    }
}
