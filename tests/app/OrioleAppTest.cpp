// The application object: one copy per settings folder, where that folder
// is, the window look and the writer from the settings file and the command
// line, and nothing of Qt's own written to the user's configuration folder.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "AppRig.h"
#include "app/OrioleApp.h"
#include "base/FormatText.h"
#include "base/QtTranslation.h"
#include "res/Texts.h"
#include "settings/IniFile.h"

namespace oriole {
namespace {

using Lock = CSingleInstance::Lock;

TEST(OrioleAppTest, OnlyOneCopyHoldsTheLock) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ORIOLE.lock"));
    {
        CSingleInstance first;
        CSingleInstance second;
        ASSERT_EQ(first.Acquire(path), Lock::Taken);
        EXPECT_EQ(second.Acquire(path), Lock::HeldByAnother);
    }
    CSingleInstance later;
    EXPECT_EQ(later.Acquire(path), Lock::Taken);
    // A lock that cannot be made at all is no other running copy.
    CSingleInstance nowhere;
    EXPECT_EQ(nowhere.Acquire(dir.filePath(QStringLiteral("missing/ORIOLE.lock"))), Lock::Failed);
}

TEST(OrioleAppTest, LockOfACopyThatDiedIsTakenOver) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ORIOLE.lock"));
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    // A process that does not exist, on this machine.
    stale.write("999999999\noriole\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    CSingleInstance instance;
    EXPECT_EQ(instance.Acquire(path), Lock::Taken);
}

// Runs `body` with the environment variable set (or unset for nullptr) and
// puts the old value back.
template <typename Body>
void WithEnv(const char* name, const char* value, Body body) {
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    if (value) qputenv(name, value); else qunsetenv(name);
    body();
    if (had) qputenv(name, old); else qunsetenv(name);
}

TEST(OrioleAppTest, SettingsFolderFromTheOptionWithTheConfigurationFolderResolved) {
    const QString cwd = QDir::currentPath();
    const QString home = QDir::homePath();
    WithEnv("XDG_CONFIG_HOME", "/srv/cfg", [&] {
        EXPECT_EQ(SettingsFolderFor(std::nullopt), cwd);
        EXPECT_EQ(SettingsFolderFor(QString()), cwd);
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("$XDG_CONFIG_HOME/oriole")), "/srv/cfg/oriole");
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("${XDG_CONFIG_HOME}/oriole/")), "/srv/cfg/oriole");
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("$XDG_CONFIG_HOME")), "/srv/cfg");
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("/opt/avr/../set")), "/opt/set");
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("boards/a")), cwd + "/boards/a");
        // Only the whole name is a variable; nothing else is expanded.
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("$XDG_CONFIG_HOMEX")), cwd + "/$XDG_CONFIG_HOMEX");
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("$HOME/x")), cwd + "/$HOME/x");
    });
    WithEnv("XDG_CONFIG_HOME", nullptr, [&] {
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("$XDG_CONFIG_HOME/oriole")), home + "/.config/oriole");
    });
    WithEnv("XDG_CONFIG_HOME", "", [&] {
        EXPECT_EQ(SettingsFolderFor(QStringLiteral("$XDG_CONFIG_HOME/oriole")), home + "/.config/oriole");
    });
}

TEST(OrioleAppTest, TheLockFollowsTheSettingsFolderHoweverItIsSpelt) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a/b")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("link"))));
    const QString a = dir.filePath(QStringLiteral("a"));
    const QString lock = CSingleInstance::LockPathFor(a);
    EXPECT_EQ(CSingleInstance::LockPathFor(a + "/"), lock);
    EXPECT_EQ(CSingleInstance::LockPathFor(a + "/b/.."), lock);
    EXPECT_EQ(CSingleInstance::LockPathFor(dir.filePath(QStringLiteral("link"))), lock);
    EXPECT_NE(CSingleInstance::LockPathFor(a + "/b"), lock);
    EXPECT_NE(CSingleInstance::LockPathFor(dir.filePath(QStringLiteral("missing"))), lock);
    EXPECT_TRUE(QFileInfo(lock).fileName().startsWith(QStringLiteral("ORIOLE-")));
}

// Qt's file dialog saves its state in QtProject.conf as it is destroyed;
// after KeepQtUserSettingsInMemory nothing reaches the configuration folder.
TEST(OrioleAppTest, FileDialogsLeaveNothingInTheConfigurationFolder) {
    test::EnsureApp();
    QTemporaryDir config;
    QTemporaryDir xdg;
    const QString conf = QDir(config.path()).filePath(QStringLiteral("QtProject.conf"));
    // Qt's own settings in `config`: the dialog writes its file there, so the
    // check below can see one.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    delete new QFileDialog(nullptr, QString(), config.path());
    ASSERT_TRUE(QFile::exists(conf));
    ASSERT_TRUE(QFile::remove(conf));

    WithEnv("XDG_CONFIG_HOME", xdg.path().toUtf8().constData(), [&] {
        KeepQtUserSettingsInMemory();
        auto* dialog = new QFileDialog(nullptr, QString(), config.path());
        dialog->setHistory({config.path()});
        delete dialog;
    });
    EXPECT_TRUE(QDir(config.path()).isEmpty());
    EXPECT_TRUE(QDir(xdg.path()).isEmpty());
}

TEST(OrioleAppTest, QtsOwnButtonsSpeakJapanese) {
    test::EnsureApp();
    ASSERT_TRUE(InstallQtJapanese(*QCoreApplication::instance())) << QtJapaneseTranslationPath().toStdString();
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().contains(QString::fromUtf8("はい")));
    EXPECT_TRUE(box.button(QMessageBox::No)->text().contains(QString::fromUtf8("いいえ")));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(dialog.labelText(QFileDialog::Reject), QString::fromUtf8("キャンセル"));
}

struct StyleCase {
    const char* ini;
    int windowStyle;
};

TEST(OrioleAppTest, WindowStyleZeroOrMissingGivesTheClassicLook) {
    const StyleCase kCases[] = {
        {"", 0},
        {"[Application]\r\nWindowStyle=0\r\n", 0},
        {"[Application]\r\nWindowStyle=1\r\n", 1},
        {"[application]\r\nwindowstyle=2\r\n", 2},
        {"[Application]\r\nWindowStyle=x\r\n", 0},
    };
    for (const StyleCase& c : kCases) {
        CIniFile ini;
        ASSERT_TRUE(ini.Parse(QByteArray(c.ini)));
        EXPECT_EQ(ReadWindowStyle(ini), c.windowStyle) << c.ini;
    }
    EXPECT_EQ(StyleNameFor(0), QStringLiteral("Windows"));
    EXPECT_TRUE(QStyleFactory::keys().contains(StyleNameFor(0), Qt::CaseInsensitive));
    EXPECT_TRUE(StyleNameFor(1).isEmpty());
}

// Only the command line's writer is the run's; the settings file's goes
// through the settings binding, which keeps to what a file may hold.
TEST(OrioleAppTest, RunWriterComesOnlyFromTheCommandLine) {
    EXPECT_EQ(WriterSpecFor(QStringLiteral("d2xx:/opt/lib/libftd2xx.so")),
              "d2xx:/opt/lib/libftd2xx.so");
    EXPECT_EQ(WriterSpecFor(std::nullopt), "");
}

// --production opens the production window with its setting file (taken
// from the current folder) and every --writer as a box of its own; without
// it the command line means what it always did.
TEST(OrioleAppTest, ProductionOptionTakesTheSettingFileAndEveryWriter) {
    struct Case {
        QStringList arguments;
        std::optional<int> status;
        bool production;
        QString settingFile;
        QStringList writers;
        bool locked;
    };
    const QString here = QDir::current().absoluteFilePath(QStringLiteral("job.set"));
    const Case cases[] = {
        {{"--production", "job.set"}, std::nullopt, true, here, {}, false},
        {{"job.set", "--production", "--writer", "sim", "--writer=ftdi,sn=A1"},
         std::nullopt,
         true,
         here,
         {"sim", "ftdi,sn=A1"},
         false},
        {{"--production"}, std::nullopt, true, {}, {}, false},
        {{"--production", "a.set", "b.set"}, 2, false, {}, {}, false},
        {{"--writer", "sim", "job.set"}, std::nullopt, false, {}, {}, false},
        // --locked: the production window's job is the file's, unchangeable.
        {{"--production", "job.set", "--locked"}, std::nullopt, true, here, {}, true},
        {{"--locked", "job.set"}, 2, false, {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        AppCommandLine line;
        EXPECT_EQ(ParseAppCommandLine(QStringList{"oriole"} + c.arguments, line), c.status);
        if (c.status) continue;
        EXPECT_EQ(line.production, c.production);
        EXPECT_EQ(line.settingFile, c.settingFile);
        EXPECT_EQ(line.writers, c.writers);
        EXPECT_EQ(line.locked, c.locked);
    }
}

// Waits for the lock of a copy whose runtime folder is `runtime`.
bool WaitForLock(const QString& runtime, const QString& settingsFolder) {
    const auto path = [&] {
        return QDir(runtime).filePath(QFileInfo(CSingleInstance::LockPathFor(settingsFolder)).fileName());
    };
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(path()) && clock.elapsed() < 20000) QThread::msleep(20);
    return QFile::exists(path());
}

// The real program, as the launcher starts it (settings in the configuration
// folder, made on the way) and as a terminal does (the current folder): a
// second copy on the same settings ends at once without a word, one on other
// settings runs beside the first.
TEST(OrioleAppTest, SecondCopyOnTheSameSettingsEndsSilently) {
    QTemporaryDir runtime;
    QTemporaryDir config;
    QTemporaryDir work;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    const auto start = [&](QProcess& p, const QStringList& more) {
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work.path());
        p.start(QStringLiteral(ORIOLE_APP_PATH), QStringList{QStringLiteral("--writer=sim")} + more);
        return p.waitForStarted(10000);
    };
    const QStringList launcher = {QStringLiteral("--settings-dir=$XDG_CONFIG_HOME/oriole")};
    const QString folder = QDir(config.path()).filePath(QStringLiteral("oriole"));

    QProcess first;
    ASSERT_TRUE(start(first, launcher));
    ASSERT_TRUE(WaitForLock(runtime.path(), folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    QProcess second;
    ASSERT_TRUE(start(second, {QStringLiteral("--settings-dir"), folder + "/"}));
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty()) << second.readAllStandardError().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    QProcess fromTerminal;
    ASSERT_TRUE(start(fromTerminal, {}));
    EXPECT_TRUE(WaitForLock(runtime.path(), work.path()));
    EXPECT_EQ(fromTerminal.state(), QProcess::Running);

    for (QProcess* p : {&first, &fromTerminal}) {
        p->kill();
        p->waitForFinished(10000);
    }
}

// A runtime folder that takes no file (mounted read-only, in a mount
// namespace of the test's own) is said once on standard error, and the copy
// runs with its lock in the temporary folder instead of ending as if another
// copy ran.
TEST(OrioleAppTest, ReadOnlyRuntimeFolderIsSaidAndTheLockGoesToTheTemporaryFolder) {
    QTemporaryDir runtime;
    QTemporaryDir temp;
    QTemporaryDir work;
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    const QString readOnly = QStringLiteral(
        "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"");
    const auto start = [&](QProcess& p, const QStringList& command) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("TMPDIR"), temp.path());
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work.path());
        p.start(unshare, QStringList{QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                                     readOnly, runtime.path()} + command);
    };
    QProcess probe;
    if (!unshare.isEmpty()) start(probe, {QStringLiteral("touch"), runtime.filePath(QStringLiteral("probe"))});
    if (unshare.isEmpty() || !probe.waitForFinished(10000) || probe.exitCode() == 0 ||
        !probe.readAllStandardError().contains("Read-only")) {
        GTEST_SKIP() << "no private read-only mount here (needs root and unshare)";
    }

    QProcess app;
    start(app, {QStringLiteral(ORIOLE_APP_PATH), QStringLiteral("--writer=sim")});
    ASSERT_TRUE(app.waitForStarted(10000));
    EXPECT_TRUE(WaitForLock(temp.path(), work.path()));
    EXPECT_EQ(app.state(), QProcess::Running) << app.readAllStandardError().toStdString();
    app.kill();
    app.waitForFinished(10000);
    const QString err = QString::fromUtf8(app.readAllStandardError());
    EXPECT_TRUE(err.contains(QString::fromStdString(FormatText(
        text::kLockFolderFallback, runtime.path().toUtf8().constData(), temp.path().toUtf8().constData()))))
        << err.toStdString();
    EXPECT_TRUE(QDir(runtime.path()).isEmpty());
}

// The usage (in Japanese) and the version print on a console with no
// display at all; only a real run needs the window system.
TEST(OrioleAppTest, UsageAndVersionNeedNoDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    struct Case {
        const char* argument;
        const char* expected;
    };
    for (const Case& c : {Case{"--help", "--settings-dir <DIR>"}, Case{"-h", "この説明を表示します。"},
                          Case{"--version", "oriole "}}) {
        SCOPED_TRACE(c.argument);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ORIOLE_APP_PATH), {QString::fromLatin1(c.argument)});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).contains(QString::fromUtf8(c.expected)));
    }
}

}  // namespace
}  // namespace oriole
