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
#include "base/FormatText.h"
#include "link/WriterSpec.h"
#include "res/Texts.h"
#include "settings/IniFile.h"
#include "views/KeyRepeatGuard.h"
#include "views/ProductionDlg.h"

namespace oriole {
namespace {

constexpr char kIniName[] = "ORIOLE.ini";

}  // namespace

QString CSingleInstance::LockPathFor(const QString& settingsFolder, const QString& lockFolder) {
    QString folder = lockFolder;
    if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QFileInfo info(settingsFolder);
    const QString canonical = info.canonicalFilePath();
    const QString settings = canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    const QByteArray key =
        QCryptographicHash::hash(settings.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(folder).filePath(QStringLiteral("ORIOLE-%1.lock").arg(QString::fromLatin1(key)));
}

CSingleInstance::Lock CSingleInstance::Acquire(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    // Only a dead owner makes a lock stale, never its age: the program runs
    // for hours.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return lock->error() == QLockFile::LockFailedError ? Lock::HeldByAnother : Lock::Failed;
    m_pLock = std::move(lock);
    return Lock::Taken;
}

CSingleInstance::Lock CSingleInstance::AcquireFor(const QString& settingsFolder, QTextStream& err) {
    const QString path = LockPathFor(settingsFolder);
    const Lock lock = Acquire(path);
    if (lock != Lock::Failed) return lock;
    // A broken runtime folder is no reason not to start, and taking it for
    // another running copy would end the program without a word. The
    // temporary folder is where every copy in the same plight looks, so one
    // copy per settings folder still holds among them.
    const QString fallback = LockPathFor(settingsFolder, QDir::tempPath());
    if (fallback == path) return Lock::Failed;
    err << QString::fromStdString(FormatText(
               text::kLockFolderFallback,
               QDir::toNativeSeparators(QFileInfo(path).path()).toUtf8().constData(),
               QDir::toNativeSeparators(QDir::tempPath()).toUtf8().constData()))
        << "\n";
    err.flush();
    return Acquire(fallback);
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

bool AsksForHelpOrVersion(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--") break;
        if (a == u"-h" || a == u"--help" || a == u"-?" || a == u"--help-all" || a == u"-v" ||
            a == u"--version")
            return true;
    }
    return false;
}

std::optional<int> ParseAppCommandLine(const QStringList& arguments, AppCommandLine& out) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ORIOLE: AVR インサーキット プログラマ"));
    // Our own help option: Qt's text for it has no Japanese translation.
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("この説明を表示します。"));
    parser.addOption(helpOption);
    parser.addVersionOption();
    // Qt wraps descriptions at spaces only and counts characters, not
    // columns, so the lines are broken by hand to fit 80 columns.
    const QCommandLineOption writerOption(
        QStringLiteral("writer"),
        QStringLiteral("使用する AVR ライタ: auto, d2xx[:LIB], ftdi,\n"
                       "serial[:PATH], sim[:DEVICE][,option...]\n"
                       "USB のライタは ,sn=SERIAL で 1 台を選べます。\n"
                       "既定は ORIOLE.ini の Device/Writer (ライブラリや\n"
                       "端末以外のデバイスは指定できません)、なければ auto。"),
        QStringLiteral("SPEC"));
    parser.addOption(writerOption);
    const QCommandLineOption settingsOption(
        QStringLiteral("settings-dir"),
        QStringLiteral("ORIOLE.ini を置くフォルダ。なければ作ります。\n"
                       "既定はカレントフォルダ。先頭の $XDG_CONFIG_HOME は\n"
                       "ユーザーの設定フォルダを表します。"),
        QStringLiteral("DIR"));
    parser.addOption(settingsOption);
    const QCommandLineOption traceOption(QStringLiteral("trace"),
                                         QStringLiteral("ライタのドライバ呼び出しをすべて FILE に記録します。"),
                                         QStringLiteral("FILE"));
    parser.addOption(traceOption);
    const QCommandLineOption productionOption(
        QStringLiteral("production"),
        QStringLiteral("メイン画面の代わりに量産の画面を開きます。\n"
                       "SETTINGFILE はその設定ファイル、--writer は\n"
                       "何度でも指定でき、それぞれが 1 台のライタです。"));
    parser.addOption(productionOption);
    const QCommandLineOption lockedOption(
        QStringLiteral("locked"),
        QStringLiteral("--production の画面で設定を変更できなくします。\n"
                       "使えるのはロット、作業者、開始、停止、閉じるだけです。"));
    parser.addOption(lockedOption);
    const QCommandLineOption eventsOption(
        QStringLiteral("events"),
        QStringLiteral("--production の画面の実行のイベントを 1 行 1 個の JSON で\n"
                       "FILE に書きます (oriole-cli run --events と同じ)。"),
        QStringLiteral("FILE"));
    parser.addOption(eventsOption);
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral("--production の設定ファイルが指定するログやカウンタを、\n"
                       "設定ファイルのフォルダのほかにこのフォルダにも置けるようにします。"),
        QStringLiteral("DIR"));
    parser.addOption(dataDirOption);
    parser.addPositionalArgument(QStringLiteral("SETTINGFILE"),
                                 QStringLiteral("量産の設定ファイル (--production のとき)"),
                                 QStringLiteral("[SETTINGFILE]"));
    if (!parser.parse(arguments)) {
        QTextStream(stderr) << parser.errorText() << "\n";
        return 2;
    }
    if (parser.isSet(helpOption)) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
    if (parser.isSet(writerOption)) out.writer = parser.value(writerOption);
    if (parser.isSet(settingsOption)) out.settingsDir = parser.value(settingsOption);
    if (parser.isSet(traceOption)) out.trace = parser.value(traceOption);
    if (parser.isSet(lockedOption) && !parser.isSet(productionOption)) {
        QTextStream(stderr) << "oriole: --locked は --production と一緒に指定します。\n";
        return 2;
    }
    if (parser.isSet(productionOption)) {
        out.production = true;
        out.locked = parser.isSet(lockedOption);
        if (parser.isSet(eventsOption)) out.events = QDir::current().absoluteFilePath(parser.value(eventsOption));
        if (parser.isSet(dataDirOption)) out.dataDir = QDir::current().absoluteFilePath(parser.value(dataDirOption));
        out.writers = parser.values(writerOption);
        const QStringList files = parser.positionalArguments();
        if (files.size() > 1) {
            QTextStream(stderr) << "oriole: --production の設定ファイルは 1 つです。\n";
            return 2;
        }
        if (!files.isEmpty()) out.settingFile = QDir::current().absoluteFilePath(files.first());
    }
    return std::nullopt;
}

int COrioleApp::RunProductionWindow(const AppCommandLine& line) {
    // The production window keeps nothing in ORIOLE.ini: it only takes the
    // window look from it, so it runs beside a main window on the same folder.
    CIniFile ini;
    ini.Load(QDir(SettingsFolderFor(line.settingsDir)).filePath(QString::fromLatin1(kIniName)));
    if (const QString style = StyleNameFor(ReadWindowStyle(ini)); !style.isEmpty()) {
        if (QStyle* s = QStyleFactory::create(style)) QApplication::setStyle(s);
    }
    if (line.trace) QTextStream(stderr) << "oriole: --trace は量産の画面では使えません。\n";
    GuardAgainstRepeatedKeys();
    CProductionDlg::Options options;
    options.settingFile = line.settingFile;
    options.writers = line.writers;
    options.locked = line.locked;
    options.eventsFile = line.events;
    options.dataDir = line.dataDir;
    CProductionDlg dlg(std::move(options));
    dlg.exec();
    return 0;
}

int COrioleApp::InitInstance(const QStringList& arguments) {
    AppCommandLine line;
    if (const std::optional<int> status = ParseAppCommandLine(arguments, line)) return *status;

    if (line.production) return RunProductionWindow(line);

    const QString folder = SettingsFolderFor(line.settingsDir);
    if (!QDir().mkpath(folder)) {
        QMessageBox::critical(nullptr, QString::fromUtf8(text::kAppName),
                              QString::fromUtf8(text::kSettingsFolderFailed)
                                  .replace(QStringLiteral("%s"), QDir::toNativeSeparators(folder)));
        return 1;
    }

    // A second copy on the same settings ends here, with nothing shown.
    QTextStream err(stderr);
    switch (m_instance.AcquireFor(folder, err)) {
        case CSingleInstance::Lock::Taken: break;
        case CSingleInstance::Lock::HeldByAnother: return 0;
        case CSingleInstance::Lock::Failed: {
            const QString text = QString::fromStdString(FormatText(
                text::kLockFailed,
                QDir::toNativeSeparators(CSingleInstance::LockPathFor(folder, QDir::tempPath()))
                    .toUtf8()
                    .constData()));
            err << text << "\n";
            err.flush();
            QMessageBox::critical(nullptr, QString::fromUtf8(text::kAppName), text);
            return 1;
        }
    }

    const QString iniPath = QDir(folder).filePath(QString::fromLatin1(kIniName));
    CIniFile ini;
    // A missing file gives every default; a refused one too, and the main
    // window's load of the settings says why.
    ini.Load(iniPath);
    if (const QString style = StyleNameFor(ReadWindowStyle(ini)); !style.isEmpty()) {
        if (QStyle* s = QStyleFactory::create(style)) QApplication::setStyle(s);
    }

    GuardAgainstRepeatedKeys();

    COrioleDlg::Options options;
    options.writerSpec = WriterSpecFor(line.writer);
    options.iniPath = iniPath;
    COrioleDlg dlg(std::move(options));
    if (line.trace) {
        std::string error;
        std::shared_ptr<CWireTrace> trace = CWireTrace::Open(line.trace->toStdString(), error);
        if (!trace) {
            QTextStream(stderr) << "oriole: トレースファイルを開けません: " << *line.trace << " ("
                                << QString::fromStdString(error) << ")\n";
            return 1;
        }
        trace->Remark("oriole wire trace");
        dlg.Core().SetTrace(std::move(trace));
    }
    dlg.exec();
    return 0;
}

}  // namespace oriole
