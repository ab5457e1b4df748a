// oriole-cli at the edges of the user's system: inputs that never come or
// never end, Ctrl-C outside a transfer, and oriole-sim serving a normal user
// one run after another (nobody, when the tests run as root).

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <optional>

#include "support/CliRun.h"

namespace {

using oriole::test::CliRun;
using oriole::test::Finish;

const QString kInterrupted = QStringLiteral("中断しました。\n");

TEST(CliEdges, InputsThatNeverComeOrNeverEndEndTheTool) {
    const struct {
        const char* name;
        bool endless;
        bool interrupt;  // Ctrl-C a second after the start
        QStringList args;
        const char* err;  // all of standard error
    } cases[] = {
        {"image info on an endless pipe", true, false, {"image", "info", "FIFO"},
         "入力が 64 MB を超えたため、読み込みを中止しました。: FIFO\n"},
        {"image info on a pipe nobody writes", false, true, {"image", "info", "FIFO"}, nullptr},
        {"write-flash from a pipe nobody writes", false, true,
         {"--writer=sim:ATmega328P,fast", "--yes", "write-flash", "FIFO"}, nullptr},
        {"the avrdude form's -t on a standard input nobody writes", false, true,
         {"-q", "-c", "oriole", "-P", "sim:ATmega328P,timing=off", "-p", "m328p", "-t"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // The shell's `<(yes :)`: HEX-looking lines without end, from a
        // writer that waits for the reader and goes when it goes.
        QProcess feeder;
        if (c.endless) feeder.start(QStringLiteral("sh"), {"-c", "exec yes : > \"$0\"", fifo});
        QStringList args = c.args;
        args.replaceInStrings(QStringLiteral("FIFO"), fifo);
        QProcess p;
        p.start(QStringLiteral(ORIOLE_CLI_PATH), args);
        ASSERT_TRUE(p.waitForStarted());
        if (c.interrupt) {
            QThread::msleep(1000);
            kill(static_cast<pid_t>(p.processId()), SIGINT);
        }
        const CliRun r = Finish(p);
        if (c.interrupt) {
            // Ended by the signal itself (a shell's status 130), after one line.
            EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
            EXPECT_EQ(p.exitCode(), SIGINT);
            EXPECT_EQ(r.err, kInterrupted);
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, QString::fromUtf8(c.err).replace("FIFO", fifo));
        }
        if (c.endless) {
            EXPECT_TRUE(feeder.waitForFinished(10000));  // the reader went, and so did it
        }
    }
}

// oriole-sim keeps its terminal open between clients; a client that left the
// terminal exclusive (TIOCEXCL) would lock every normal user out of it. As
// root, the programs run as nobody; empty when that is not possible.
std::optional<QStringList> AsNormalUser() {
    if (geteuid() != 0) return QStringList{};
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) return std::nullopt;
    return QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
}

void Start(QProcess& p, const QStringList& prefix, const QString& program, const QStringList& args) {
    if (prefix.isEmpty()) return p.start(program, args);
    p.start(prefix.front(), prefix.mid(1) + QStringList{program} + args);
}

// Whether a client holds the terminal for itself. Root opens it anyway; a
// normal user's opening fails.
bool Exclusive(const QString& path) {
    const int fd = open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    int exclusive = 0;
    ioctl(fd, TIOCGEXCL, &exclusive);
    close(fd);
    return exclusive != 0;
}

bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i) QThread::msleep(50);
    return done();
}

TEST(CliEdges, OrioleSimServesANormalUserRunAfterRun) {
    const auto user = AsNormalUser();
    if (!user) GTEST_SKIP() << "setpriv is needed to run the clients as a normal user";
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
    QProcess sim;
    Start(sim, *user, QStringLiteral(ORIOLE_SIM_EXE), {"ATmega128"});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray line;
    while (!line.contains('\n') && sim.waitForReadyRead(10000)) line += sim.readAllStandardOutput();
    ASSERT_TRUE(line.contains('\n'));
    const QString tty = QString::fromLocal8Bit(line.left(line.indexOf('\n')));
    const QString writer = "serial:" + tty;
    auto run = [&](const QStringList& args) {
        QProcess p;
        Start(p, *user, QStringLiteral(ORIOLE_CLI_PATH), QStringList{"--writer", writer} + args);
        return Finish(p);
    };

    for (int i = 0; i < 2; ++i) {
        const CliRun r = run({"detect"});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, "ATmega128\n");
    }

    // A long read holds the box (128 KB take half a minute on the timing
    // model); a second client is told it is in use.
    QProcess first;
    Start(first, *user, QStringLiteral(ORIOLE_CLI_PATH),
          {"--writer", writer, "read-flash", dir.filePath(QStringLiteral("all.hex"))});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitUntil([&] { return Exclusive(tty); }));
    const CliRun second = run({"detect"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "AVRライタは他のプログラムが使用中です。\n");

    // Killed, the first client gives nothing back itself; the box is free
    // again for the next run all the same, which starts clean.
    kill(static_cast<pid_t>(first.processId()), SIGKILL);
    first.waitForFinished(10000);
    EXPECT_TRUE(WaitUntil([&] { return !Exclusive(tty); }));
    const CliRun third = run({"detect"});
    EXPECT_EQ(third.status, 0) << third.err.toStdString();
    EXPECT_EQ(third.out, "ATmega128\n");

    kill(static_cast<pid_t>(sim.processId()), SIGINT);
    EXPECT_TRUE(sim.waitForFinished(10000));
}

}  // namespace
