// oriole: the desktop application.
#include <QApplication>

#include "app/OrioleApp.h"
#include "base/QtTranslation.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("oriole"));
    QApplication::setApplicationVersion(QStringLiteral(ORIOLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("oriole"));
    oriole::KeepQtUserSettingsInMemory();
    // Message boxes and file dialogs in Japanese, like the rest of the program.
    oriole::InstallQtJapanese(app);
    oriole::COrioleApp oriole;
    return oriole.InitInstance(QApplication::arguments());
}
