// oriole-cli run end to end on simulated boxes: a run killed while it writes
// leaves its chip to be logged "interrupted" by the next run, which takes the
// number after; several boxes at
// once, one of them unplugged mid-run, give every chip its own number.

#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include "support/CliRun.h"
#include "support/ProductionFiles.h"

namespace {

using oriole::test::CliRun;
using oriole::test::CsvRows;
using oriole::test::ProgramHex;
using oriole::test::Finish;
using oriole::test::RunCli;

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
    // The log's lines after its header, split into fields.
    QList<QList<QByteArray>> LogRows() {
        return CsvRows(Read("job.set.log.csv"));
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
    EXPECT_EQ(rows[0][6], "1000");
    EXPECT_EQ(rows[0][7], "中断");
    EXPECT_EQ(rows[0][2], "sim:ATmega328P");
    EXPECT_EQ((second.out + second.err).count(QStringLiteral("中断")), 1) << second.err.toStdString();
    EXPECT_EQ(rows[1][6], "1001");  // 1000 went with the killed run
    EXPECT_EQ(rows[1][7], "OK");    // the verify read 1001 back from the chip's EEPROM
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
            serials << row[6];
            names << row[2];
            failed += row[7] != "OK";
        }
        EXPECT_EQ(serials.size(), rows.size()) << "a number went to two chips";
        EXPECT_EQ(failed, 1) << r.out.toStdString();
        EXPECT_EQ(names.size(), boxes) << "every box programmed chips of its own";
        EXPECT_TRUE(r.err.contains("disconnect=1500")) << "the failing box is named: " << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString("合格 %1  不合格 1").arg(3 * boxes - 1))) << r.out.toStdString();
    }
}

}  // namespace
