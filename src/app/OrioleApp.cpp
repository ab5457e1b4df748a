#include "app/OrioleApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTextStream>

#include "app/OrioleDlg.h"
#include "link/WriterSpec.h"
#include "res/Texts.h"
#include "settings/IniFile.h"
#include "views/KeyRepeatGuard.h"

namespace oriole {
namespace {

constexpr char kIniName[] = "ORIOLE.ini";

}  // namespace

QString CSingleInstance::LockPathFor(const QString& settingsFolder) {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QDir::tempPath();
    const QFileInfo info(settingsFolder);
    const QString canonical = info.canonicalFilePath();
    const QString folder = canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    const QByteArray key =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(runtime).filePath(QStringLiteral("ORIOLE-%1.lock").arg(QString::fromLatin1(key)));
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

QString SettingsFolderFor(const std::optional<QString>& option) {
    if (!option || option->isEmpty()) return QDir::currentPath();
    QString folder = *option;
    for (const QString& variable :
         {QStringLiteral("$XDG_CONFIG_HOME"), QStringLiteral("${XDG_CONFIG_HOME}")}) {
        if (folder == variable || folder.startsWith(variable + u'/')) {
            folder.replace(0, variable.size(),
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
            break;
        }
    }
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

void KeepQtUserSettingsInMemory() {
#ifdef Q_OS_UNIX
    // Below a device node no folder can be made, not even by root.
    const QString nowhere = QStringLiteral("/dev/null");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
#endif
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
    const QCommandLineOption settingsOption(
        QStringLiteral("settings-dir"),
        QStringLiteral("The folder of ORIOLE.ini, made when missing (default: the current folder). "
                       "A leading $XDG_CONFIG_HOME stands for the user's configuration folder."),
        QStringLiteral("DIR"));
    parser.addOption(settingsOption);
    if (!parser.parse(arguments)) {
        QTextStream(stderr) << parser.errorText() << "\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    std::optional<QString> settingsDir;
    if (parser.isSet(settingsOption)) settingsDir = parser.value(settingsOption);
    const QString folder = SettingsFolderFor(settingsDir);
    if (!QDir().mkpath(folder)) {
        QMessageBox::critical(nullptr, QString::fromUtf8(text::kAppName),
                              QString::fromUtf8(text::kSettingsFolderFailed)
                                  .replace(QStringLiteral("%s"), QDir::toNativeSeparators(folder)));
        return 1;
    }

    // A second copy on the same settings ends here, with nothing shown.
    if (!m_instance.Acquire(CSingleInstance::LockPathFor(folder))) return 0;

    const QString iniPath = QDir(folder).filePath(QString::fromLatin1(kIniName));
    CIniFile ini;
    ini.Load(iniPath);  // a missing file gives every default
    if (const QString style = StyleNameFor(ReadWindowStyle(ini)); !style.isEmpty()) {
        if (QStyle* s = QStyleFactory::create(style)) QApplication::setStyle(s);
    }
    std::optional<QString> writer;
    if (parser.isSet(writerOption)) writer = parser.value(writerOption);

    GuardAgainstRepeatedKeys();

    COrioleDlg::Options options;
    options.writerSpec = WriterSpecFor(writer);
    options.iniPath = iniPath;
    COrioleDlg dlg(std::move(options));
    dlg.exec();
    return 0;
}

}  // namespace oriole
