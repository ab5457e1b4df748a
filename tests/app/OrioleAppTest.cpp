// The application object: one copy per user, the window look and the
// writer from the settings file and the command line.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStyleFactory>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "app/OrioleApp.h"
#include "settings/IniFile.h"

namespace oriole {
namespace {

TEST(OrioleAppTest, OnlyOneCopyHoldsTheLock) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ORIOLE.lock"));
    {
        CSingleInstance first;
        CSingleInstance second;
        ASSERT_TRUE(first.Acquire(path));
        EXPECT_FALSE(second.Acquire(path));
    }
    CSingleInstance later;
    EXPECT_TRUE(later.Acquire(path));
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
    EXPECT_TRUE(instance.Acquire(path));
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

// The real program, twice: the second copy ends at once without a word and
// the first goes on.
TEST(OrioleAppTest, SecondCopyOfTheProgramEndsSilently) {
    QTemporaryDir runtime;
    QTemporaryDir work;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    const QStringList args = {QStringLiteral("--writer=sim")};

    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(work.path());
    first.start(QStringLiteral(ORIOLE_APP_PATH), args);
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString lock = QDir(runtime.path()).filePath(QStringLiteral("ORIOLE.lock"));
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(lock) && clock.elapsed() < 20000) QThread::msleep(20);
    ASSERT_TRUE(QFile::exists(lock));

    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(work.path());
    second.start(QStringLiteral(ORIOLE_APP_PATH), args);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty()) << second.readAllStandardError().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(10000);
}

}  // namespace
}  // namespace oriole
