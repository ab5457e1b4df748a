// oriole-cli run end to end on simulated boxes: a run killed while it writes
// leaves its chip to be logged "interrupted" by the next run, which takes the
// number after; several boxes at once, one of them unplugged mid-run, give
// every chip its own number; the exit status and the words of a run that did
// not do all it was asked; the log a spreadsheet opens as it is.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <thread>

#include "support/CliRun.h"
#include "support/ProductionFiles.h"

namespace {

using oriole::test::CliRun;
using oriole::test::CsvRecords;
using oriole::test::ProgramHex;
using oriole::test::Finish;
using oriole::test::RunCli;

// A trace sends this command byte to the box in some write.
bool SendsCommand(const QByteArray& trace, char command) {
    for (const QByteArray& line : trace.split('\n')) {
        const qsizetype at = line.indexOf(" write ");
        const qsizetype bytes = line.indexOf("> ", at);
        if (at >= 0 && bytes >= 0 && static_cast<char>(line.mid(bytes + 2, 2).toUInt(nullptr, 16)) == command)
            return true;
    }
    return false;
}

class CliRunTest : public ::testing::Test {
protected:
    // A setting file programming `bytes` of FLASH with a decimal serial in EEPROM.
    QString SettingFile(int bytes) {
        oriole::test::WriteFile(m_dir, "prog.hex", ProgramHex(bytes));
        return oriole::test::WriteFile(m_dir, "job.set",
                                       "[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=0000001F\r\n"
                                       "[FLASH]\r\nFile=prog.hex\r\n[Production]\r\n"
                                       "Serial=eeprom:10:4:be:dec\r\nSerialFirst=1000\r\n");
    }
    QByteArray Read(const char* name) {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The log's lines after its header, by column.
    QList<QMap<QByteArray, QByteArray>> LogRows(const char* name = "job.set.log.csv") {
        return CsvRecords(Read(name));
    }
    QTemporaryDir m_dir;
};

TEST_F(CliRunTest, AKilledRunsChipIsLoggedInterruptedAndTheNextRunTakesTheNumberAfter) {
    const QString job = SettingFile(16 * 1024);  // some seconds on a box in real time
    QProcess first;
    first.start(QStringLiteral(ORIOLE_CLI_PATH), {"run", job, "--writer", "sim:ATmega328P"});
    ASSERT_TRUE(first.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    // The number is taken before the chip is written; kill during the write.
    while (Read("job.set.counter").trimmed() != "1001" && waited.elapsed() < 20000) QThread::msleep(20);
    ASSERT_EQ(Read("job.set.counter").trimmed(), "1001");
    QThread::msleep(300);
    kill(static_cast<pid_t>(first.processId()), SIGKILL);
    EXPECT_EQ(Finish(first).status, -2) << "the run ended before it was killed";
    EXPECT_TRUE(LogRows().isEmpty());

    const CliRun second = RunCli({"run", job, "--writer", "sim:ATmega328P,fast"});
    ASSERT_EQ(second.status, 0) << second.err.toStdString();
    const auto rows = LogRows();
    ASSERT_EQ(rows.size(), 2);
    // The killed run's chip, from its journal: its number, its box, no outcome.
    EXPECT_EQ(rows[0]["シリアル番号"], "1000");
    EXPECT_EQ(rows[0]["結果"], "中断");
    EXPECT_EQ(rows[0]["ライタ"], "sim:ATmega328P");
    EXPECT_EQ((second.out + second.err).count(QStringLiteral("中断")), 1) << second.err.toStdString();
    EXPECT_EQ(rows[1]["シリアル番号"], "1001");  // 1000 went with the killed run
    EXPECT_EQ(rows[1]["結果"], "OK");            // the verify read 1001 back from the chip's EEPROM
    EXPECT_EQ(Read("job.set.counter").trimmed(), "1002");
    EXPECT_TRUE(second.out.contains("合格 1  不合格 0")) << second.out.toStdString();
}

TEST_F(CliRunTest, SeveralBoxesGiveEveryChipItsOwnNumberAndOneUnpluggedBoxStopsAlone) {
    const QString job = SettingFile(256);
    for (const int boxes : {2, 4}) {
        QFile::remove(m_dir.filePath("job.set.log.csv"));
        QStringList args{"run", job, "--count", QString::number(3 * boxes)};
        // The last box goes away in the middle of its second chip.
        for (int b = 1; b <= boxes; ++b)
            args << "--writer" << QString("sim:ATmega328P,fast,swap=150:200%1").arg(b == boxes ? ",disconnect=1500" : "");
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        const auto rows = LogRows();
        ASSERT_EQ(rows.size(), 3 * boxes) << r.out.toStdString() << r.err.toStdString();
        QSet<QByteArray> serials;
        QSet<QByteArray> names;
        int failed = 0;
        for (const auto& row : rows) {
            serials << row["シリアル番号"];
            names << row["ライタ"];
            failed += row["結果"] != "OK";
        }
        EXPECT_EQ(serials.size(), rows.size()) << "a number went to two chips";
        EXPECT_EQ(failed, 1) << r.out.toStdString();
        EXPECT_EQ(names.size(), boxes) << "every box programmed chips of its own";
        EXPECT_TRUE(r.err.contains("disconnect=1500")) << "the failing box is named: " << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString("合格 %1  不合格 1").arg(3 * boxes - 1))) << r.out.toStdString();
    }
}

// Whatever ends a run short of what it was asked, or fails a chip, exits 1
// with one line saying why; a failed chip's word is not OK's; the removal
// prompt is shown; a count the tool cannot hold is a usage error; --trace
// may come before run.
TEST_F(CliRunTest, ARunShortOfItsGoalSaysWhyAndAFailedChipCannotBeReadAsOk) {
    const QString job = SettingFile(16);
    const QString trace = m_dir.filePath("trace.txt");
    const QString verifyTrace = m_dir.filePath("verify.txt");
    struct Case {
        const char* what;
        QStringList args;
        int status;
        const char* out;  // in standard output
        const char* err;  // in standard error
    };
    const QString tray = "sim:ATmega328P,fast,swap=100:150";
    // The box goes in the first look for the chip's removal, after the first chip's 4352 bytes.
    const Case cases[] = {
        {"two chips", {"run", job, "--count", "2", "--writer", tray}, 0, "合格 2  不合格 0  応答しないライタ 0  (完了)",
         "チップを取り外してください"},
        {"the box lost after the first chip", {"run", job, "--count", "3", "--writer", tray + ",disconnect=4358"}, 1,
         "合格 1  不合格 0  応答しないライタ 1", "oriole-cli: 応答しないライタがあるため"},
        // Steps without the erase run without it: the blank chip fails the verify.
        {"a chip failing its verify", {"run", job, "--steps", "flash-verify,eeprom", "--writer", tray, "--trace", verifyTrace},
         1, "\tFAIL\t", "oriole-cli: 不合格のチップがあります (1 個)"},
        {"a verify after the erase", {"run", job, "--steps", "erase,flash-verify", "--writer", tray}, 1, "",
         "書き込まずにベリファイ"},
        {"--trace before run", {"--trace", trace, "run", job, "--writer", "sim:ATmega328P,fast"}, 0, "\tOK\t", ""},
        {"a count of zero", {"run", job, "--count", "0"}, 2, "", "--count"},
        {"a negative count", {"run", job, "--count", "-1"}, 2, "", "--count"},
        {"a count past an int", {"run", job, "--count", "2147483648"}, 2, "", "--count"},
        {"a count of no number", {"run", job, "--count", "3x"}, 2, "", "--count"},
    };
    for (const Case& c : cases) {
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.out))) << c.what << "\n" << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << c.what << "\n" << r.err.toStdString();
        if (c.status == 1) {
            EXPECT_EQ(r.err.count("oriole-cli: "), 1) << c.what << ": one line says why\n" << r.err.toStdString();
        }
    }
    EXPECT_TRUE(Read("trace.txt").contains("oriole-cli run wire trace"));
    // The chip erase went to the box in the run that asked for it, never in the verify-only one.
    EXPECT_TRUE(SendsCommand(Read("trace.txt"), 'D'));
    EXPECT_FALSE(SendsCommand(Read("verify.txt"), 'D'));
}

// No output option may name a file of the job, by its name or another (a
// link): the file keeps its bytes and the run does not start.
TEST_F(CliRunTest, OutputOptionsNeverNameTheJobsFiles) {
    const QString job = SettingFile(16);
    oriole::test::WriteFile(m_dir, "job.set.counter", "1000\n");
    oriole::test::WriteFile(m_dir, "job.set.log.csv", "");
    ASSERT_TRUE(QFile::link(m_dir.filePath("prog.hex"), m_dir.filePath("image.link")));
    const char* inputs[] = {"prog.hex", "job.set", "job.set.counter", "job.set.log.csv"};
    QMap<QString, QByteArray> before;
    for (const char* name : inputs) before[name] = Read(name);
    struct Case {
        const char* option;
        const char* file;
    };
    const Case cases[] = {{"--trace", "prog.hex"},        {"--trace", "image.link"}, {"--events", "prog.hex"},
                          {"--events", "job.set"},        {"--events", "job.set.counter"},
                          {"--events", "job.set.log.csv"}, {"--log", "prog.hex"}};
    for (const Case& c : cases) {
        const CliRun r = RunCli({"run", job, "--writer", "sim:ATmega328P,fast", c.option, m_dir.filePath(c.file)});
        EXPECT_EQ(r.status, 1) << c.option << " " << c.file << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.option)) << r.err.toStdString();
        for (const char* name : inputs) EXPECT_EQ(Read(name), before[name]) << c.option << " " << c.file << ": " << name;
    }
}

// SIGTERM and SIGHUP end a run as Ctrl-C does: the chip in progress is
// finished and logged, then the summary; a reader of the output that goes
// away (| head -1) is a write error said at the end, never a death by
// SIGPIPE with a chip both logged and left in the journal.
TEST_F(CliRunTest, SignalsAndAClosedOutputFinishTheChipInProgress) {
    const QString job = SettingFile(16 * 1024);  // some seconds on a box in real time
    for (const int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        QFile::remove(m_dir.filePath("job.set.log.csv"));
        QFile::remove(m_dir.filePath("job.set.counter"));
        QProcess p;
        p.start(QStringLiteral(ORIOLE_CLI_PATH), {"run", job, "--writer", "sim:ATmega328P", "--repeat"});
        ASSERT_TRUE(p.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (Read("job.set.counter").trimmed() != "1001" && waited.elapsed() < 20000) QThread::msleep(20);
        ASSERT_EQ(Read("job.set.counter").trimmed(), "1001");
        kill(static_cast<pid_t>(p.processId()), sig);
        const CliRun r = Finish(p);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();  // a --repeat run ends by a stop
        EXPECT_TRUE(r.out.contains("合格 1  不合格 0")) << r.out.toStdString();
        const auto rows = LogRows();
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0]["結果"], "OK");
        EXPECT_FALSE(QFile::exists(m_dir.filePath("job.set.counter.journal")));
    }

    QFile::remove(m_dir.filePath("job.set.log.csv"));
    SettingFile(256);
    QProcess piped;
    piped.start("bash", {"-c", QStringLiteral("'%1' run '%2' --count 3 --writer sim:ATmega328P,fast,swap=300:300 | head -1; "
                                              "exit ${PIPESTATUS[0]}").arg(ORIOLE_CLI_PATH, job)});
    const CliRun r = Finish(piped);
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("標準出力に書き込めません")) << r.err.toStdString();
    const auto rows = LogRows();
    EXPECT_FALSE(rows.isEmpty());
    for (const auto& row : rows) EXPECT_EQ(row["結果"], "OK");
    // The next start finds no chip left in flight.
    const CliRun next = RunCli({"run", job, "--writer", "sim:ATmega328P,fast"});
    EXPECT_EQ(next.status, 0) << next.err.toStdString();
    EXPECT_FALSE((next.out + next.err).contains("中断")) << next.err.toStdString();
}

// A pseudo-terminal is an output like a file: the doctor's report and a
// run's trace reach the terminal's other end.
TEST_F(CliRunTest, APseudoTerminalIsAnOutput) {
    const QString job = SettingFile(16);
    const struct {
        QStringList args;
        const char* seen;
    } cases[] = {
        {{"doctor", "--writer", "sim:ATmega328P", "--report"}, "# wire trace"},
        {{"run", job, "--writer", "sim:ATmega328P,fast", "--trace"}, "oriole-cli run wire trace"},
    };
    for (const auto& c : cases) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        const QString terminal = QString::fromLatin1(ptsname(master));
        // Read while the tool writes: a terminal holds only a few kilobytes.
        QByteArray seen;
        std::atomic<bool> done{false};
        std::thread reader([&] {
            char buffer[4096];
            while (!done.load()) {
                pollfd ready{master, POLLIN, 0};
                if (poll(&ready, 1, 50) <= 0) continue;
                const ssize_t n = read(master, buffer, sizeof buffer);
                if (n > 0) seen.append(buffer, n);
            }
        });
        const CliRun r = RunCli(c.args + QStringList{terminal});
        QThread::msleep(200);
        done.store(true);
        reader.join();
        close(master);
        EXPECT_EQ(r.status, 0) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(seen.contains(c.seen)) << c.args.join(' ').toStdString() << "\n" << seen.left(300).constData();
    }

    // A trace that stops short (its reader went away) fails the run with one line.
    const QString fifo = m_dir.filePath("trace.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread reader([&] {
        const int fd = open(QFile::encodeName(fifo).constData(), O_RDONLY);
        char first[16];
        if (fd >= 0 && read(fd, first, sizeof first) > 0) close(fd);
    });
    const CliRun r = RunCli({"run", job, "--writer", "sim:ATmega328P,fast", "--trace", fifo});
    reader.join();
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("trace.fifo")) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\tOK\t")) << r.out.toStdString();

    // A trace onto a full disk (a small file system of its own, in a private
    // mount namespace): one line naming it, a failed exit, a whole last line.
    if (QProcess::execute("unshare", {"-rm", "true"}) != 0) GTEST_SKIP() << "no private mount namespace here";
    const QString full = m_dir.filePath("full");
    ASSERT_TRUE(QDir().mkdir(full));
    QProcess p;
    p.start("unshare", {"-rm", "sh", "-c",
                        "mount -t tmpfs -o size=8k tmpfs \"$1\" || exit 99; \"$2\" run \"$3\" --writer "
                        "sim:ATmega328P,fast --trace \"$1/trace.txt\"; s=$?; tail -c 1 \"$1/trace.txt\" >\"$4\"; exit $s",
                        "sh", full, QStringLiteral(ORIOLE_CLI_PATH), job, m_dir.filePath("last")});
    const CliRun disk = Finish(p);
    EXPECT_EQ(disk.status, 1) << disk.err.toStdString();
    EXPECT_EQ(disk.err.count('\n'), 1) << disk.err.toStdString();
    EXPECT_TRUE(disk.err.contains("trace.txt")) << disk.err.toStdString();
    EXPECT_EQ(Read("last"), "\n") << "the trace ends mid-line";
}

// The log as a factory imports it: a byte-order mark, times with their zone,
// the lot, operator and work order, the box's number beside its name, the
// serial number's bytes beside the number, and no field a spreadsheet would
// run, even from a setting file named like a formula.
TEST_F(CliRunTest, TheLogOpensInASpreadsheetAsItIs) {
    SettingFile(16);
    const QString formula = QStringLiteral("=HYPERLINK(\"evil.example\",\"click\").set");
    oriole::test::WriteFile(m_dir, formula.toUtf8().constData(), Read("job.set"));
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(QStringLiteral(ORIOLE_CLI_PATH), {"run", formula, "--writer", "sim:ATmega328P,fast", "--lot", "+A1",
                                             "--operator", "@山田", "--work-order", "-7"});
    const CliRun r = oriole::test::Finish(p);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray log = Read((formula + ".log.csv").toUtf8().constData());
    EXPECT_TRUE(log.startsWith("\xEF\xBB\xBF開始日時,")) << log.left(40).toStdString();
    const auto rows = CsvRecords(log);
    ASSERT_EQ(rows.size(), 1);
    auto row = rows[0];
    EXPECT_EQ(row["設定ファイル"], "'" + formula.toUtf8());
    EXPECT_EQ(row["ロット"], "'+A1");
    EXPECT_EQ(row["作業者"], "'@山田");
    EXPECT_EQ(row["作業指示"], "'-7");
    EXPECT_EQ(row["ライタ番号"], "1");
    EXPECT_EQ(row["ライタ"], "sim:ATmega328P,fast");
    EXPECT_EQ(row["シリアル番号"], "1000");
    EXPECT_EQ(row["シリアル番号のバイト"], "31 30 30 30");  // "1000" in ASCII, most significant first
    const QRegularExpression zoned("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$");
    for (const char* column : {"開始日時", "終了日時"})
        EXPECT_TRUE(zoned.match(QString::fromUtf8(row[column])).hasMatch()) << column << ": " << row[column].constData();
    for (auto field = row.begin(); field != row.end(); ++field)
        EXPECT_FALSE(!field->isEmpty() && QByteArray("=+-@\t\r").contains(field->at(0)))
            << field.key().constData() << ": " << field->constData();
}

}  // namespace
