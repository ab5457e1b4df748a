#include "app/OrioleApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTextStream>

#include "app/OrioleDlg.h"
#include "settings/IniFile.h"

namespace oriole {

QString CSingleInstance::DefaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("ORIOLE.lock"));
}

bool CSingleInstance::Acquire(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    // Only a dead owner makes a lock stale, never its age: the program runs
    // for hours.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return false;
    m_pLock = std::move(lock);
    return true;
}

int ReadWindowStyle(const CIniFile& ini) {
    return ini.GetInt(QStringLiteral("Application"), QStringLiteral("WindowStyle"), 0);
}

QString StyleNameFor(int windowStyle) {
    return windowStyle == 0 ? QStringLiteral("Windows") : QString();
}

std::string WriterSpecFor(const std::optional<QString>& option) {
    return option ? option->toStdString() : std::string();
}

int COrioleApp::InitInstance(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ORIOLE: AVR in-circuit programmer"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption writerOption(
        QStringLiteral("writer"),
        QStringLiteral(
            "The writer box: auto, d2xx[:LIB], ftdi, serial[:PATH] or "
            "sim[:DEVICE][,option...] (default: Device/Writer of ORIOLE.ini, which may not "
            "name a library or a device other than a terminal, else auto)."),
        QStringLiteral("SPEC"));
    parser.addOption(writerOption);
    if (!parser.parse(arguments)) {
        QTextStream(stderr) << parser.errorText() << "\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    // A second copy ends here, with nothing shown.
    if (!m_instance.Acquire(CSingleInstance::DefaultLockPath())) return 0;

    const QString iniPath = QDir::current().filePath(QStringLiteral("ORIOLE.ini"));
    CIniFile ini;
    ini.Load(iniPath);  // a missing file gives every default
    if (const QString style = StyleNameFor(ReadWindowStyle(ini)); !style.isEmpty()) {
        if (QStyle* s = QStyleFactory::create(style)) QApplication::setStyle(s);
    }
    std::optional<QString> writer;
    if (parser.isSet(writerOption)) writer = parser.value(writerOption);

    COrioleDlg::Options options;
    options.writerSpec = WriterSpecFor(writer);
    options.iniPath = iniPath;
    COrioleDlg dlg(std::move(options));
    dlg.exec();
    return 0;
}

}  // namespace oriole
