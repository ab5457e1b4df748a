// oriole-cli run on emulated FT232R boxes, over libftdi1 and libusb in the
// child: several boxes at once, named one by one or as `all`, one of them
// pulled out in the middle of a chip, and a repeat run ended by Ctrl-C.
// Whatever happens, every chip has a number of its own, also in the run
// after, and every log line names its box.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "support/CliRun.h"
#include "support/ProductionFiles.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

// Columns of the log.
constexpr char kBoxColumn[] = "ライタ";
constexpr char kSerialColumn[] = "シリアル番号";
constexpr char kResultColumn[] = "結果";

// The chip stays 10 s after its erase, well longer than it takes to program
// over the emulated USB with four boxes at once, then the next one is put in
// 0.2 s later.
constexpr char kTray[] = "ATmega328P,fast,swap=10000:200";

struct Case {
    const char* what;
    int boxes;
    bool all;         // --writer all instead of one --writer per box
    bool unplugLast;  // the last box is pulled out while it programs its second chip
    int count;        // --count; 0: --repeat, ended by Ctrl-C once every box has done a chip
    int status;       // the exit status
};

class UsbProductionTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_dir, "prog.hex", ProgramHex(256));
        m_job = WriteFile(
            m_dir, "job.set",
            "[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=00000007\r\n[FLASH]\r\nFile=prog.hex\r\n"
            "[Production]\r\nSerial=flash:100:4:be:dec\r\nSerialFirst=1000\r\n");
    }
    QList<QMap<QByteArray, QByteArray>> LogRows() const {
        QFile f(m_dir.filePath(QStringLiteral("job.set.log.csv")));
        return CsvRecords(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    // The boxes that have a line in the log.
    QSet<QByteArray> BoxesInLog() const {
        QSet<QByteArray> boxes;
        for (const auto& row : LogRows()) boxes << row.value(kBoxColumn);
        return boxes;
    }
    static std::string Text(const CliRun& r) { return (r.out + r.err).toStdString(); }

    QTemporaryDir m_dir;
    QString m_job;
};

TEST_F(UsbProductionTest, EveryChipGetsItsOwnNumberWhateverBecomesOfTheBoxes) {
    const Case cases[] = {
        {"two boxes, one pulled out", 2, false, true, 4, 1},
        {"four boxes, one pulled out", 4, false, true, 8, 1},
        {"every box the tool lists", 3, true, false, 3, 0},
        {"Ctrl-C during a repeat run", 2, false, false, 0, 0},
    };
    int serialsBefore = 0;
    QSet<QByteArray> serials;  // over every case: the counter file is one
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(m_dir.filePath(QStringLiteral("job.set.log.csv")));
        CUsbTestbed bed;
        std::vector<CEmulatedFtdi*> chips;
        QStringList args{"run", m_job};
        QSet<QByteArray> specs;
        for (int b = 1; b <= c.boxes; ++b) {
            UsbBoxSetup setup;
            setup.serial = "ORB0000" + std::to_string(b);
            setup.simOptions = kTray;
            chips.push_back(&bed.Plug(setup));
            specs << QByteArray("ftdi,sn=") + setup.serial.c_str();
            if (!c.all) args << "--writer" << QString::fromStdString("ftdi,sn=" + setup.serial);
        }
        if (c.all)
            args << "--writer"
                 << "all";
        if (c.count > 0)
            args << "--count" << QString::number(c.count);
        else
            args << "--repeat";

        QProcess tool;
        tool.start(QStringLiteral(ORIOLE_CLI_PATH), args);
        ASSERT_TRUE(tool.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        if (c.unplugLast) {
            // Its second chip is erased, and its FLASH is being written.
            CEmulatedFtdi& last = *chips.back();
            const auto programmingSecond = [&] {
                return last.WithBox([](sim::CSimBox& box) {
                    return box.ChipsSwapped() >= 1 && box.Target().Erasures() > 0;
                });
            };
            while (!programmingSecond() && tool.state() != QProcess::NotRunning &&
                   waited.elapsed() < 60000)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_TRUE(programmingSecond()) << tool.readAllStandardError().toStdString();
            bed.Unplug(last);
        }
        if (c.count == 0) {
            while (BoxesInLog().size() < c.boxes && tool.state() != QProcess::NotRunning &&
                   waited.elapsed() < 60000)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ASSERT_EQ(BoxesInLog().size(), c.boxes) << tool.readAllStandardError().toStdString();
            kill(static_cast<pid_t>(tool.processId()), SIGINT);
        }
        const CliRun r = Finish(tool);
        EXPECT_EQ(r.status, c.status) << Text(r);

        const auto rows = LogRows();
        if (c.count > 0) {
            EXPECT_EQ(rows.size(), c.count) << Text(r);
        }
        int failed = 0;
        QSet<QByteArray> boxes;
        for (const auto& row : rows) {
            const QByteArray serial = row.value(kSerialColumn);
            EXPECT_FALSE(serials.contains(serial))
                << "number " << serial.constData() << " went to two chips";
            EXPECT_GT(serial.toInt(), serialsBefore) << "numbers only go up";
            serials << serial;
            EXPECT_TRUE(specs.contains(row.value(kBoxColumn)))
                << "the line names its box: " << row.value(kBoxColumn).constData();
            boxes << row.value(kBoxColumn);
            failed += row.value(kResultColumn) != "OK";
        }
        for (const QByteArray& serial : serials)
            serialsBefore = std::max(serialsBefore, serial.toInt());
        EXPECT_EQ(boxes.size(), c.boxes) << "every box programmed chips" << Text(r);
        EXPECT_EQ(failed, c.unplugLast ? 1 : 0) << Text(r);
        EXPECT_TRUE(r.out.contains(
            QStringLiteral("合格 %1  不合格 %2").arg(rows.size() - failed).arg(failed)))
            << Text(r);
        if (c.unplugLast) {
            const QString name = QStringLiteral("[ftdi,sn=ORB0000%1]").arg(c.boxes);
            EXPECT_TRUE(r.err.contains(name)) << "the box that went is named: " << Text(r);
        }
    }
    // The run after takes a number past every one the runs before took,
    // the chip pulled out and the ones of the interrupted run included.
    CUsbTestbed bed;
    UsbBoxSetup setup;
    setup.serial = "ORB00009";
    bed.Plug(setup);
    QFile::remove(m_dir.filePath(QStringLiteral("job.set.log.csv")));
    const CliRun next = RunCli({"run", m_job, "--writer", "ftdi,sn=ORB00009"});
    ASSERT_EQ(next.status, 0) << Text(next);
    ASSERT_EQ(LogRows().size(), 1);
    EXPECT_GT(LogRows()[0].value(kSerialColumn).toInt(), serialsBefore);
}

}  // namespace
}  // namespace oriole::test
