// oriole-cli at the edges of the user's system: inputs that never come or
// never end, Ctrl-C outside a transfer, memory that runs out, outputs into
// device nodes, hostile traces, and oriole-sim serving a normal user one run
// after another (nobody, when the tests run as root).

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

// The tool under a memory limit (ulimit -v, in KiB) in a shell, its input
// from `feed` (a shell pipeline) when given.
CliRun UnderLimit(long kib, const QStringList& args, const QString& feed = {}) {
    QProcess p;
    const QString run = QStringLiteral("ulimit -v %1 || exit 99; ").arg(kib) + (feed.isEmpty() ? "" : feed + " | ") +
                        "exec \"$0\" \"$@\"";
    p.start(QStringLiteral("sh"), QStringList{"-c", run, QStringLiteral(ORIOLE_CLI_PATH)} + args);
    return Finish(p);
}

// GCC names AddressSanitizer with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The least memory limit, in steps of 32 MiB, under which the tool runs
// `args` (with `feed`) to its end with status 0; 0 when not even 2 GiB do.
long LeastLimit(const QStringList& args, const QString& feed = {}) {
    for (long kib = 64 * 1024; kib <= 2048 * 1024; kib += 32 * 1024)
        if (UnderLimit(kib, args, feed).status == 0) return kib;
    return 0;
}

// With 32 MiB more than a short session takes, a terminal line of 60 MB
// (within the 64 MB bound of the terminal's input, beyond what the limit
// leaves for it) is refused with one line and the session goes on; with 32 MiB more than a
// small comparison takes, two traces of 60 MB each run the tool out of
// memory, which ends it with one line and status 1, never an abort.
TEST(CliEdges, NothingAbortsWhenMemoryIsShort) {
    if (kSanitized) GTEST_SKIP() << "the sanitizer's shadow memory does not fit a memory limit";
    const QStringList terminal = {"-q", "-c", "oriole", "-P", "sim:ATmega328P,timing=off", "-p", "m328p", "-t"};
    const long session = LeastLimit(terminal, "echo 'dump ee 0 1'");
    ASSERT_NE(session, 0);
    const CliRun longLine = UnderLimit(
        session + 32 * 1024, terminal,
        "{ echo 'write ee 0 7'; head -c 60000000 /dev/zero | tr '\\0' a; printf '\\ndump ee 0 1\\n'; }");
    EXPECT_EQ(longLine.status, 0) << longLine.err.toStdString();
    EXPECT_EQ(longLine.out, "0000  07                                                |.               |\n");
    EXPECT_EQ(longLine.err.count('\n'), 1) << longLine.err.toStdString();
    EXPECT_TRUE(longLine.err.contains("64 KiB")) << longLine.err.toStdString();

    QTemporaryDir dir;
    const QString tiny = oriole::test::WriteFile(dir, "tiny.trace", "1 open \"x\" = 0\n");
    const long small = LeastLimit({"trace", "diff", tiny, tiny});
    ASSERT_NE(small, 0);
    const QString big = dir.filePath("big.trace");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray lines = QByteArray("1 x\n").repeated(1 << 20);
        for (int i = 0; i < 15; ++i) ASSERT_EQ(f.write(lines), lines.size());
    }
    const CliRun r = UnderLimit(small + 32 * 1024, {"trace", "diff", big, big});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "oriole-cli: メモリが足りないため終了します。\n");
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
}

// Every output follows one rule: a file, a FIFO, a terminal or /dev/null,
// never another device. The report, the trace and the terminal's save alike;
// and what a trace file holds reaches the terminal only as plain text.
TEST(CliEdges, OutputsFollowOneRuleAndTracesPrintPlainText) {
    QTemporaryDir dir;
    const QStringList dude = {"-c", "oriole", "-P", "sim:ATmega328P,timing=off", "-p", "m328p"};
    const struct {
        const char* what;
        QStringList args;
        int status;
        const char* err;  // contained in standard error
    } cases[] = {
        {"report into a device", {"doctor", "--writer", "sim:ATmega328P", "--report", "/dev/zero"}, 1,
         "レポートを書けません: /dev/zero"},
        {"report into a file", {"doctor", "--writer", "sim:ATmega328P", "--report", dir.filePath("r.txt")}, 0, ""},
        {"report into /dev/null", {"doctor", "--writer", "sim:ATmega328P", "--report", "/dev/null"}, 0, ""},
        {"trace into a device", dude + QStringList{"--trace", "/dev/zero"}, 1, "/dev/zero"},
        {"terminal save into a device", dude + QStringList{"-T", "save ee /dev/zero"}, 1, "(save) /dev/zero"},
        {"terminal save into a file", dude + QStringList{"-T", "save ee 0 2 " + dir.filePath("ee.bin")}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = oriole::test::RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
    }
    QFile saved(dir.filePath("ee.bin"));
    EXPECT_TRUE(saved.open(QIODevice::ReadOnly) && saved.readAll() == QByteArray(2, '\xff'));

    const QString a = oriole::test::WriteFile(dir, "a.trace", "1 open \"x\" = 0\n2 note \x1b]0;owned\x07 \xff\x9b = 0\n");
    const QString b = oriole::test::WriteFile(dir, "b.trace", "1 open \"x\" = 0\n2 note \x1b[2J = 0\n");
    const CliRun diff = oriole::test::RunCli({"trace", "diff", a, b});
    EXPECT_EQ(diff.status, 1);
    EXPECT_TRUE(diff.outBytes.endsWith("@ line 2\n- note \\x1B]0;owned\\x07 \\xFF\\x9B = 0\n+ note \\x1B[2J = 0\n"))
        << diff.outBytes.toStdString();
}

}  // namespace
