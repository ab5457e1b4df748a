// A simulated tray of chips, given to oriole-cli run in this process
// (--writer sim:...) and served by oriole-sim on a pseudo-terminal: the same
// options give the same chips, good and bad, both ways; and a chip that reads
// another way once, as through a loose contact, is not taken for a new one.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "support/CliRun.h"
#include "support/ProductionFiles.h"

namespace {

using oriole::test::CliRun;
using oriole::test::CsvRecords;
using oriole::test::RunCli;

// oriole-sim as a user starts it, with the terminal it prints.
class SimProcess {
public:
    explicit SimProcess(const QString& options) {
        m_process.start(QStringLiteral(ORIOLE_SIM_EXE), {options});
        QByteArray line;
        while (!line.contains('\n') && m_process.waitForReadyRead(10000)) line += m_process.readAllStandardOutput();
        if (line.contains('\n')) tty = QString::fromLocal8Bit(line.left(line.indexOf('\n')));
    }
    ~SimProcess() {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    QString tty;

private:
    QProcess m_process;
};

TEST(CliSimTray, OrioleSimServesTheTrayAsTheBoxInThisProcessDoes) {
    QTemporaryDir dir;
    oriole::test::WriteFile(dir, "prog.hex", oriole::test::ProgramHex(16));
    const QString job = oriole::test::WriteFile(dir, "job.set",
                                                "[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=0000001F\r\n"
                                                "[FLASH]\r\nFile=prog.hex\r\n[Production]\r\n"
                                                "Serial=eeprom:10:4:be:dec\r\nSerialFirst=1000\r\n");
    const struct {
        const char* box;
        const char* verdicts;  // one letter a chip: P passed, F failed
    } cases[] = {
        {"ATmega328P,fast,swap=800:100", "PPP"},
        {"ATmega328P,fast,swap=800:100,bad=2", "PFP"},
        {"ATmega328P,fast,swap=800:100,stuck=flash:3", "FFF"},
        // The job reads FLASH twice (blank check, verify); the third read is
        // the first look at the chip waiting to be taken out, and it reads
        // another way once. Taken for a new chip, the first one would be
        // programmed again and logged twice (PPF).
        {"ATmega328P,fast,swap=1500:100,bad=2,misread=E#3", "PFP"},
    };
    for (const auto& c : cases) {
        for (const bool served : {false, true}) {
            SCOPED_TRACE(std::string(c.box) + (served ? " on a pseudo-terminal" : " in process"));
            QFile::remove(dir.filePath("job.set.log.csv"));
            std::optional<SimProcess> sim;
            QString writer = QStringLiteral("sim:") + c.box;
            if (served) {
                sim.emplace(QString::fromLatin1(c.box));
                ASSERT_FALSE(sim->tty.isEmpty());
                writer = "serial:" + sim->tty;
            }
            const CliRun r = RunCli({"run", job, "--count", "3", "--writer", writer});
            const bool allPass = std::string_view(c.verdicts) == "PPP";
            EXPECT_EQ(r.status, allPass ? 0 : 1) << r.out.toStdString() << r.err.toStdString();
            QByteArray verdicts;
            QFile log(dir.filePath("job.set.log.csv"));
            ASSERT_TRUE(log.open(QIODevice::ReadOnly));
            for (const auto& row : CsvRecords(log.readAll())) verdicts += row["結果"] == "OK" ? 'P' : 'F';
            EXPECT_EQ(verdicts.toStdString(), c.verdicts) << r.out.toStdString() << r.err.toStdString();
        }
    }
}

}  // namespace
