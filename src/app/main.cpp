// oriole: the desktop application.
#include <QApplication>

#include "app/OrioleApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("oriole"));
    QApplication::setApplicationVersion(QStringLiteral(ORIOLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("oriole"));
    oriole::COrioleApp oriole;
    return oriole.InitInstance(QApplication::arguments());
}
