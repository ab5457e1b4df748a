// The production window on the simulated box: a run of chips with a serial
// rule while the event loop keeps running, Stop ending a repeat run after
// the chip in progress, the setting file's job shown in the controls, and
// fields that keep a run from starting.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "QtApp.h"
#include "support/Grab.h"
#include "views/ProductionDlg.h"
#include "views/ProductionIds.h"

namespace oriole {
namespace {

using namespace production_ids;

// A box that takes each chip out 100 ms after its erase and puts the next
// one in 150 ms later.
constexpr char kSwappingBox[] = "sim:ATmega328P,fast,swap=100:150";

class ProductionDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }
    void SetUp() override {
        Write("prog.hex", ":100000000C9434000C9446000C9446000C9446006A\r\n:00000001FF\r\n");
    }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    void Write(const char* name, const QByteArray& bytes) {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read(const char* name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A setting file programming FLASH and EEPROM, with these lines under [Production].
    QString SettingFile(const QByteArray& production = {}) {
        Write("job.set",
              "[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=0000001F\r\n[FLASH]\r\nFile=prog.hex\r\n"
              "[Production]\r\n" +
                  production);
        return Path("job.set");
    }
    std::unique_ptr<CProductionDlg> Window(const QString& settingFile) {
        CProductionDlg::Options options;
        options.settingFile = settingFile;
        options.writers = {QString::fromLatin1(kSwappingBox)};
        options.poll = std::chrono::milliseconds(40);
        options.chooseFile = [](QWidget*, const QString&, const QStringList&) { return QString(); };
        return std::make_unique<CProductionDlg>(std::move(options));
    }
    // Runs the event loop until the run has ended; the ticks of a 10 ms timer
    // that came while it ran.
    static int WaitForEnd(CProductionDlg& dlg) {
        int ticks = 0;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();
        QElapsedTimer waited;
        waited.start();
        while (dlg.IsRunning() && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return ticks;
    }
    static QStringList Lines(CProductionDlg& dlg, int id) {
        return dlg.TextBox(id)->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir m_dir;
};

TEST_F(ProductionDlgTest, ThreeChipsWithASerialRuleShowTheirCountsNumberAndLogLines) {
    auto dlg = Window(SettingFile());
    dlg->show();
    // The rule as a user sets it: four ASCII figures at EEPROM 0x10, from 1000.
    dlg->Button(kSerialBox)->click();
    dlg->ComboBox(kSerialMemory)->setCurrentIndex(1);
    dlg->SetText(kSerialAddress, QStringLiteral("10"));
    dlg->ComboBox(kSerialWidth)->setCurrentIndex(3);
    dlg->ComboBox(kSerialOrder)->setCurrentIndex(1);
    dlg->ComboBox(kSerialEncoding)->setCurrentIndex(2);
    dlg->SetText(kSerialFirst, QStringLiteral("1000"));
    dlg->Button(kRepeatBox)->click();
    dlg->SetText(kCount, QStringLiteral("3"));
    dlg->Button(kStartButton)->click();
    ASSERT_TRUE(dlg->IsRunning()) << Lines(*dlg, kMessages).join(u'\n').toStdString();
    EXPECT_FALSE(dlg->IsEnabled(kStartButton));
    EXPECT_TRUE(dlg->IsEnabled(kStopButton));
    test::Grab(*dlg, QStringLiteral("production-running.png"));

    // The window's own events went on while the chips were programmed.
    EXPECT_GT(WaitForEnd(*dlg), 0);
    ASSERT_FALSE(dlg->IsRunning());
    test::Grab(*dlg, QStringLiteral("production-done.png"));
    EXPECT_EQ(dlg->Text(kPassedCount), QStringLiteral("3"))
        << Lines(*dlg, kMessages).join(u'\n').toStdString();
    EXPECT_EQ(dlg->Text(kFailedCount), QStringLiteral("0"));
    EXPECT_EQ(dlg->Text(kLastSerial), QStringLiteral("1002"));
    EXPECT_TRUE(dlg->Text(kStatus).contains(QStringLiteral("合格 3  不合格 0")))
        << dlg->Text(kStatus).toStdString();
    // The box shows the log's own lines, as the file holds them.
    const QStringList shown = Lines(*dlg, kLogLines);
    ASSERT_EQ(shown.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(shown[i].contains(QStringLiteral(",%1,OK,").arg(1000 + i)))
            << shown[i].toStdString();
    const QStringList file = QString::fromUtf8(Read("job.set.log.csv"))
                                 .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(file.size(), 4);  // the header, then one line per chip
    EXPECT_EQ(file.mid(1), shown);
    EXPECT_EQ(Read("job.set.counter").trimmed(), "1003");

    // Opened again, the window shows the end of the log it left.
    auto again = Window(Path("job.set"));
    EXPECT_EQ(Lines(*again, kLogLines), file);
}

TEST_F(ProductionDlgTest, StopDuringARepeatRunEndsItAfterTheChipInProgress) {
    auto dlg = Window(SettingFile("Serial=eeprom:10:2\r\n"));
    dlg->Button(kRepeatBox)->click();
    dlg->Button(kStartButton)->click();
    ASSERT_TRUE(dlg->IsRunning());
    QElapsedTimer waited;
    waited.start();
    while (dlg->Text(kPassedCount) == QStringLiteral("0") && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(dlg->Text(kPassedCount), QStringLiteral("1"))
        << Lines(*dlg, kMessages).join(u'\n').toStdString();
    dlg->Button(kStopButton)->click();
    EXPECT_FALSE(dlg->IsEnabled(kStopButton));
    WaitForEnd(*dlg);
    ASSERT_FALSE(dlg->IsRunning()) << "a repeat run without a count ends only by Stop";
    EXPECT_TRUE(dlg->IsEnabled(kStartButton));
    EXPECT_TRUE(dlg->Text(kStatus).startsWith(QStringLiteral("終了しました")))
        << dlg->Text(kStatus).toStdString();
    // Every number taken went to a chip that is in the log.
    const int chips = dlg->Text(kPassedCount).toInt() + dlg->Text(kFailedCount).toInt();
    EXPECT_EQ(Lines(*dlg, kLogLines).size(), chips);
    EXPECT_EQ(Read("job.set.counter").trimmed().toInt(), 1 + chips);
}

TEST_F(ProductionDlgTest, TheSettingFilesJobIsShownInTheControls) {
    struct Case {
        const char* production;
        bool serial;
        const char* memory;
        const char* address;
        const char* width;
        const char* order;
        const char* encoding;
        const char* first;
        const char* step;
        const char* last;
    };
    const Case cases[] = {
        {"", false, "EEPROM", "0", "4", "下位から", "バイナリ", "1", "1", ""},
        {"Serial=eeprom:10:4:be:dec\r\nSerialFirst=1000\r\n", true, "EEPROM", "10", "4", "上位から",
         "10進文字 (ASCII)", "1000", "1", ""},
        {"Serial=flash:7FF0:8:hex\r\nSerialFirst=0x10\r\nSerialStep=5\r\nSerialLast=99\r\n", true,
         "FLASH", "7FF0", "8", "下位から", "16進文字 (ASCII)", "16", "5", "99"},
        {"Serial=eeprom:0:3:bcd\r\n", true, "EEPROM", "0", "3", "下位から", "BCD", "1", "1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.production);
        auto dlg = Window(SettingFile(c.production));
        EXPECT_EQ(dlg->IsChecked(kSerialBox), c.serial);
        EXPECT_EQ(dlg->IsEnabled(kSerialAddress), c.serial);
        EXPECT_EQ(dlg->Text(kSerialMemory), QString::fromUtf8(c.memory));
        EXPECT_EQ(dlg->Text(kSerialAddress), QString::fromUtf8(c.address));
        EXPECT_EQ(dlg->Text(kSerialWidth), QString::fromUtf8(c.width));
        EXPECT_EQ(dlg->Text(kSerialOrder), QString::fromUtf8(c.order));
        EXPECT_EQ(dlg->Text(kSerialEncoding), QString::fromUtf8(c.encoding));
        EXPECT_EQ(dlg->Text(kSerialFirst), QString::fromUtf8(c.first));
        EXPECT_EQ(dlg->Text(kSerialStep), QString::fromUtf8(c.step));
        EXPECT_EQ(dlg->Text(kSerialLast), QString::fromUtf8(c.last));
        // The command line's box, not the file's.
        EXPECT_EQ(dlg->Text(kWriters), QString::fromLatin1(kSwappingBox));
    }
}

TEST_F(ProductionDlgTest, AnUnusableFieldKeepsTheRunFromStartingAndIsNamed) {
    struct Case {
        int field;
        const char* text;
        const char* named;
    };
    const Case cases[] = {
        {kSerialAddress, "1G", "番地"},
        {kSerialFirst, "eins", "最初"},
        {kSerialStep, "-", "増分"},
        {kSerialLast, "9x", "最後"},
        {kSettingPath, "", "設定ファイルを指定"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        auto dlg = Window(SettingFile("Serial=eeprom:10:2\r\n"));
        dlg->SetText(c.field, QString::fromUtf8(c.text));
        EXPECT_FALSE(dlg->Start());
        EXPECT_FALSE(dlg->IsRunning());
        const QString said = Lines(*dlg, kMessages).join(u'\n');
        EXPECT_TRUE(said.contains(QString::fromUtf8(c.named)) &&
                    said.contains(QString::fromUtf8(c.text)))
            << said.toStdString();
        EXPECT_TRUE(Read("job.set.counter").isEmpty()) << "no number was taken";
    }
}

}  // namespace
}  // namespace oriole
