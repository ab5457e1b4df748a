// The production window on the simulated box: a run of chips with a serial
// rule while the event loop keeps running, the lot's counts over several
// starts, Stop ending a repeat run after the chip in progress, a close
// during a run leaving the summary up, the locked window, the setting
// file's job shown in the controls, fields that keep a run from starting,
// and what a box's panel shows for each of the run's events; how a run's
// end is told, the event stream, and the rows the results read from the
// log the run writes.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <map>

#include "QtApp.h"
#include "production/ChipJournal.h"
#include "res/Dialogs.h"
#include "support/Grab.h"
#include "support/JobFolder.h"
#include "views/ProductionDlg.h"
#include "views/ProductionIds.h"

namespace oriole {
namespace {

using namespace production_ids;

// A box that takes each chip out 500 ms after its erase (long after its
// programming, even on a loaded machine) and puts the next one in 150 ms later.
constexpr char kSwappingBox[] = "sim:ATmega328P,fast,swap=500:150";

class ProductionDlgTest : public ::testing::Test, protected test::JobFolder {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }
    // A setting file programming FLASH and EEPROM, with these lines under [Production].
    QString SettingFile(const QByteArray& production = {}) {
        return WriteSettingFile("0000001F", production);
    }
    std::unique_ptr<CProductionDlg> Window(const QString& settingFile,
                                           QStringList writers = {QString::fromLatin1(kSwappingBox)},
                                           bool locked = false) {
        CProductionDlg::Options options;
        options.settingFile = settingFile;
        options.writers = std::move(writers);
        options.poll = std::chrono::milliseconds(40);
        options.locked = locked;
        options.eventsFile = m_eventsFile;
        options.chooseFile = [](QWidget*, const QString&, const QStringList&) { return QString(); };
        options.sound = [this](bool passed) { m_sounds += passed ? u'P' : u'F'; };
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
    static QStringList Messages(CProductionDlg& dlg) {
        return dlg.Messages()->toPlainText().split(u'\n', Qt::SkipEmptyParts);
    }
    // The result lines, newest first: each line's columns joined by '|'.
    static QStringList Results(CProductionDlg& dlg) {
        QStringList rows;
        QTreeWidget* tree = dlg.Results();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QStringList cells;
            for (int c = 0; c < tree->columnCount(); ++c) cells << tree->topLevelItem(i)->text(c);
            rows << cells.join(u'|');
        }
        return rows;
    }
    // Runs the event loop until `done` holds or the run has ended.
    template <typename Done>
    static void WaitUntil(CProductionDlg& dlg, Done done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && dlg.IsRunning() && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    static void Press(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    QString m_sounds;  // 'P' and 'F', one per verdict
    QString m_eventsFile;  // the windows' event stream, as the command line gives it
};

TEST_F(ProductionDlgTest, ChipsOfALotAreCountedOverStartsAndShownNewestFirst) {
    auto dlg = Window(SettingFile());
    dlg->show();
    // The rule as a user sets it: four ASCII figures at EEPROM 0x10, from
    // 1000 (leading zeros change nothing, as in the setting file).
    dlg->Button(kSerialBox)->click();
    dlg->ComboBox(kSerialMemory)->setCurrentIndex(1);
    dlg->SetText(kSerialAddress, QStringLiteral("10"));
    dlg->ComboBox(kSerialWidth)->setCurrentIndex(3);
    dlg->ComboBox(kSerialOrder)->setCurrentIndex(1);
    dlg->ComboBox(kSerialEncoding)->setCurrentIndex(2);
    dlg->SetText(kSerialFirst, QStringLiteral("01000"));
    dlg->Button(kRepeatBox)->click();
    dlg->SetText(kCount, QStringLiteral("3"));
    dlg->SetText(kLot, QStringLiteral("L-7"));
    dlg->Button(kStartButton)->click();
    ASSERT_TRUE(dlg->IsRunning()) << Messages(*dlg).join(u'\n').toStdString();
    EXPECT_FALSE(dlg->IsEnabled(kStartButton));
    EXPECT_TRUE(dlg->IsEnabled(kStopButton));
    EXPECT_FALSE(dlg->IsEnabled(kLot)) << "the lot goes into the run at its start";
    ASSERT_EQ(dlg->PanelCount(), 1);
    test::Grab(*dlg, QStringLiteral("production-running.png"));

    // The window's own events went on while the chips were programmed.
    EXPECT_GT(WaitForEnd(*dlg), 0);
    ASSERT_FALSE(dlg->IsRunning());
    test::Grab(*dlg, QStringLiteral("production-done.png"));
    EXPECT_EQ(dlg->PassedCount(), 3) << Messages(*dlg).join(u'\n').toStdString();
    EXPECT_EQ(dlg->FailedCount(), 0);
    EXPECT_EQ(dlg->YieldShown(), QStringLiteral("100.0 %"));
    EXPECT_EQ(m_sounds, QStringLiteral("PPP"));
    EXPECT_EQ(dlg->NextSerialShown(), QStringLiteral("1003"));
    EXPECT_EQ(dlg->Panel(0)->Shown(), CBoxPanel::Look::Pass);
    EXPECT_TRUE(dlg->Summary().contains(QStringLiteral("3 個はすべて合格"))) << dlg->Summary().toStdString();
    // The file's name with the start of its SHA-256.
    const QByteArray sha = QCryptographicHash::hash(Read("prog.hex"), QCryptographicHash::Sha256).toHex();
    EXPECT_EQ(dlg->FilesShown(), QStringLiteral("FLASH  prog.hex  ") + QString::fromLatin1(sha.left(12)))
        << dlg->FilesShown().toStdString();
    // The results, newest first, the verdict first.
    const QStringList shown = Results(*dlg);
    ASSERT_EQ(shown.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(shown[i].startsWith(QStringLiteral("合格|%1|1  %2|").arg(1002 - i).arg(kSwappingBox)))
            << shown[i].toStdString();
    const QStringList file = QString::fromUtf8(Read("job.set.log.csv"))
                                 .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(file.size(), 4);  // the header, then one line per chip
    EXPECT_EQ(Read("job.set.counter").trimmed(), "1003");

    // The same lot counts on over a second start; a new lot starts again.
    struct Case {
        const char* lot;
        int passed;
    };
    for (const Case& c : {Case{"L-7", 4}, Case{"L-8", 1}}) {
        SCOPED_TRACE(c.lot);
        dlg->SetText(kCount, QStringLiteral("1"));
        dlg->SetText(kLot, QString::fromUtf8(c.lot));
        ASSERT_TRUE(dlg->Start());
        WaitForEnd(*dlg);
        EXPECT_EQ(dlg->PassedCount(), c.passed);
        EXPECT_TRUE(dlg->Summary().contains(QStringLiteral("1 個はすべて合格"))) << "the summary is the run's";
    }

    // Opened again, the window shows the end of the log it left, newest first.
    auto again = Window(Path("job.set"));
    const QStringList reopened = Results(*again);
    ASSERT_EQ(reopened.size(), 5);
    EXPECT_TRUE(reopened.first().startsWith(QStringLiteral("合格|1004|"))) << reopened.first().toStdString();
    EXPECT_TRUE(reopened.last().startsWith(QStringLiteral("合格|1000|"))) << reopened.last().toStdString();
}

TEST_F(ProductionDlgTest, StopDuringARepeatRunEndsItAfterTheChipInProgress) {
    auto dlg = Window(SettingFile("Serial=eeprom:10:2\r\n"));
    dlg->Button(kRepeatBox)->click();
    dlg->Button(kStartButton)->click();
    ASSERT_TRUE(dlg->IsRunning());
    WaitUntil(*dlg, [&] { return dlg->PassedCount() > 0; });
    ASSERT_EQ(dlg->PassedCount(), 1) << Messages(*dlg).join(u'\n').toStdString();
    dlg->Button(kStopButton)->click();
    EXPECT_FALSE(dlg->IsEnabled(kStopButton));
    WaitForEnd(*dlg);
    ASSERT_FALSE(dlg->IsRunning()) << "a repeat run without a count ends only by Stop";
    EXPECT_TRUE(dlg->IsEnabled(kStartButton));
    EXPECT_TRUE(dlg->Summary().startsWith(QStringLiteral("終了しました"))) << dlg->Summary().toStdString();
    // Every number taken went to a chip that is in the results.
    const int chips = dlg->PassedCount() + dlg->FailedCount();
    EXPECT_EQ(Results(*dlg).size(), chips);
    EXPECT_EQ(Read("job.set.counter").trimmed().toInt(), 1 + chips);
}

// Closing during a run stops the boxes and keeps the window with the
// summary and the last failure; the next close closes it.
TEST_F(ProductionDlgTest, ACloseDuringARunLeavesTheSummaryUpUntilTheNextClose) {
    // The second box holds another device: every chip of it fails.
    auto dlg = Window(SettingFile("Serial=eeprom:10:2\r\n"), {QString::fromLatin1(kSwappingBox),
                                      QStringLiteral("sim:ATmega8,fast,swap=500:150")});
    dlg->show();
    dlg->Button(kRepeatBox)->click();
    ASSERT_TRUE(dlg->Start());
    ASSERT_EQ(dlg->PanelCount(), 2);
    WaitUntil(*dlg, [&] { return dlg->PassedCount() > 0 && dlg->FailedCount() > 0; });
    ASSERT_TRUE(dlg->FailedCount() > 0) << Messages(*dlg).join(u'\n').toStdString();
    EXPECT_TRUE(dlg->close() == false && dlg->isVisible());
    EXPECT_FALSE(dlg->IsEnabled(kStopButton));
    WaitForEnd(*dlg);
    ASSERT_FALSE(dlg->IsRunning());
    EXPECT_TRUE(dlg->isVisible()) << "the summary stays up";
    const QString summary = dlg->Summary();
    EXPECT_TRUE(summary.contains(QStringLiteral("最後の不合格")) && summary.contains(QStringLiteral("sim:ATmega8")) &&
                summary.contains(OperatorAdvice(Cause::OtherDevice)))
        << summary.toStdString();
    EXPECT_EQ(dlg->Panel(1)->Shown(), CBoxPanel::Look::Fail);
    EXPECT_EQ(m_sounds.count(u'F'), dlg->FailedCount());
    test::Grab(*dlg, QStringLiteral("production-closed-mid-run.png"));
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
}

// Locked, the window runs the file's job: only the lot and operator fields,
// Start, Stop and Close can be used; F5 starts and Escape stops from any field.
TEST_F(ProductionDlgTest, ALockedWindowLeavesOnlyTheLotOperatorAndRunButtons) {
    struct Case {
        bool locked;
        std::vector<int> usable;
    };
    const std::vector<int> runFields = {kLot, kOperator, kStartButton, kCloseButton};
    std::vector<int> everything = runFields;
    for (const res::ControlDef& c : res::kProductionDialog.controls)
        if (c.id > 0 && c.id != kEraseBox && c.id != kStopButton &&
            std::find(runFields.begin(), runFields.end(), c.id) == runFields.end())
            everything.push_back(c.id);
    const Case cases[] = {
        {true, runFields},
        {false, everything},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locked);
        // The command line's event stream: shown, unchangeable, and written.
        m_eventsFile = c.locked ? Path("locked.jsonl") : QString();
        auto dlg = Window(SettingFile("Serial=eeprom:10:2\r\n"), {QString::fromLatin1(kSwappingBox)}, c.locked);
        for (const res::ControlDef& def : res::kProductionDialog.controls) {
            if (def.id <= 0) continue;
            const bool usable = std::find(c.usable.begin(), c.usable.end(), def.id) != c.usable.end();
            EXPECT_EQ(dlg->IsEnabled(def.id), usable) << def.id << " " << def.text;
        }
        if (!c.locked) continue;
        dlg->show();
        test::Grab(*dlg, QStringLiteral("production-locked.png"));
        dlg->LineEdit(kLot)->setFocus();
        Press(dlg->LineEdit(kLot), Qt::Key_F5);
        ASSERT_TRUE(dlg->IsRunning()) << Messages(*dlg).join(u'\n').toStdString();
        for (const res::ControlDef& def : res::kProductionDialog.controls) {
            if (def.id <= 0) continue;
            EXPECT_EQ(dlg->IsEnabled(def.id), def.id == kStopButton || def.id == kCloseButton) << def.id;
        }
        WaitUntil(*dlg, [&] { return dlg->PassedCount() > 0; });
        Press(dlg->focusWidget() ? dlg->focusWidget() : dlg.get(), Qt::Key_Escape);
        WaitForEnd(*dlg);
        EXPECT_FALSE(dlg->IsRunning()) << "the locked run repeats until Escape";
        EXPECT_GE(dlg->PassedCount(), 1);
        EXPECT_EQ(dlg->Text(kEventsPath), m_eventsFile);
        EXPECT_TRUE(Read("locked.jsonl").contains("\"event\":\"run-end\"")) << Read("locked.jsonl").toStdString();
    }
}

// The window with one, two and four boxes in each of a panel's states, at
// its first size and full screen: the panels share the space below the job's
// controls without covering them or each other. ORIOLE_GRAB_DIR keeps the pictures.
TEST_F(ProductionDlgTest, ThePanelsShareTheWindowWithOneTwoAndFourBoxes) {
    ChipRecord pass;
    pass.serial = QStringLiteral("1002");
    pass.passed = true;
    ChipRecord fail = pass;
    fail.serial = QStringLiteral("1003");
    fail.passed = false;
    fail.failedStep = QStringLiteral("FLASH ベリファイ");
    fail.cause = Cause::VerifyMismatch;
    using Script = std::function<void(CBoxPanel&)>;
    const std::map<QString, Script> scripts = {
        {"insert", [](CBoxPanel& p) { p.OnState(BoxState::Insert); }},
        {"working",
         [](CBoxPanel& p) {
             p.OnState(BoxState::Working);
             p.OnChipStart(QStringLiteral("1002"));
             p.OnStep(QStringLiteral("FLASH 書き込み"), false, false);
             p.OnProgress(40);
         }},
        {"pass", [&](CBoxPanel& p) { p.OnChip(pass); }},
        {"pass-remove",
         [&](CBoxPanel& p) {
             p.OnChip(pass);
             p.OnState(BoxState::Remove);
         }},
        {"fail", [&](CBoxPanel& p) { p.OnChip(fail); }},
        {"lost", [](CBoxPanel& p) { p.OnState(BoxState::Lost); }},
        {"ended", [](CBoxPanel& p) { p.OnState(BoxState::Ended); }},
    };
    struct Shot {
        std::vector<const char*> states;  // one per box
        QSize size;                       // empty: the window's first size
    };
    const Shot shots[] = {
        {{"insert"}, {}},  {{"working"}, {}}, {{"pass-remove"}, {}}, {{"fail"}, {}}, {{"lost"}, {}},
        {{"working", "insert"}, {}}, {{"pass", "fail"}, {}},
        {{"insert", "working", "pass-remove", "fail"}, {}},
        {{"fail", "lost", "ended", "working"}, {1920, 1080}},
    };
    const QString settingFile = SettingFile("Serial=eeprom:10:2\r\n");
    for (const Shot& shot : shots) {
        const int n = static_cast<int>(shot.states.size());
        QStringList writers;
        QString name = QStringLiteral("production-%1box").arg(n);
        for (int i = 0; i < n; ++i) {
            writers << QStringLiteral("sim:ATmega328P,fast,swap=%1:150").arg(100 + i);
            name += u'-' + QString::fromLatin1(shot.states[static_cast<size_t>(i)]);
        }
        SCOPED_TRACE(name.toStdString());
        auto dlg = Window(settingFile, writers);
        if (!shot.size.isEmpty()) dlg->resize(shot.size);
        dlg->show();
        ASSERT_EQ(dlg->PanelCount(), n);
        for (int i = 0; i < n; ++i) scripts.at(QString::fromLatin1(shot.states[static_cast<size_t>(i)]))(*dlg->Panel(i));
        QCoreApplication::processEvents();
        const QWidget* controls = dlg->findChild<QWidget*>(QStringLiteral("jobControls"));
        ASSERT_NE(controls, nullptr);
        for (int i = 0; i < n; ++i) {
            const QRect panel = dlg->Panel(i)->geometry();
            EXPECT_TRUE(dlg->rect().contains(panel)) << i;
            EXPECT_FALSE(panel.intersects(controls->geometry())) << i;
            for (int j = 0; j < i; ++j) EXPECT_FALSE(panel.intersects(dlg->Panel(j)->geometry())) << i << " " << j;
        }
        test::Grab(*dlg, name + QStringLiteral(".png"));
    }
}

// What a box's panel shows after each event of a scripted sequence.
TEST_F(ProductionDlgTest, ABoxPanelFollowsItsBoxsEvents) {
    ChipRecord pass;
    pass.box = QStringLiteral("sim");
    pass.serial = QStringLiteral("1002");
    pass.passed = true;
    ChipRecord fail = pass;
    fail.serial = QStringLiteral("1003");
    fail.passed = false;
    fail.failedStep = QStringLiteral("FLASH ベリファイ");
    fail.cause = Cause::VerifyMismatch;
    using Look = CBoxPanel::Look;
    using Event = std::function<void(CBoxPanel&)>;
    auto state = [](BoxState s) { return Event([s](CBoxPanel& p) { p.OnState(s); }); };
    struct Row {
        const char* what;
        Event event;
        Look look;
        const char* headline;
        const char* detail;  // contained
        const char* hint;    // contained
        int percent;
    };
    const Row rows[] = {
        {"insert", state(BoxState::Insert), Look::Insert, "チップを挿してください", "", "", -1},
        {"working", state(BoxState::Working), Look::Working, "書き込み中", "", "", 0},
        {"number", [](CBoxPanel& p) { p.OnChipStart(QStringLiteral("1002")); }, Look::Working, "書き込み中", "",
         "1002", 0},
        {"step", [](CBoxPanel& p) { p.OnStep(QStringLiteral("FLASH 書き込み"), false, false); }, Look::Working,
         "書き込み中", "FLASH 書き込み", "1002", 0},
        {"progress", [](CBoxPanel& p) { p.OnProgress(40); }, Look::Working, "書き込み中", "FLASH 書き込み", "1002", 40},
        {"pass", [&](CBoxPanel& p) { p.OnChip(pass); }, Look::Pass, "合格 PASS", "1002", "", -1},
        {"remove", state(BoxState::Remove), Look::Pass, "合格 PASS", "1002", "取り外して", -1},
        {"next insert", state(BoxState::Insert), Look::Insert, "チップを挿してください", "前回: 合格 1002", "", -1},
        {"next chip", [](CBoxPanel& p) { p.OnChipStart({}); }, Look::Working, "書き込み中", "", "", 0},
        {"fail", [&](CBoxPanel& p) { p.OnChip(fail); }, Look::Fail, "不合格 FAIL", "不良品", "", -1},
        {"run ends", state(BoxState::Ended), Look::Fail, "不合格 FAIL", "FLASH ベリファイ", "終了", -1},
        {"box lost", state(BoxState::Lost), Look::Lost, "ライタが応答しません", "前回: 不合格 1003", "接続", -1},
        {"lost stays", state(BoxState::Ended), Look::Lost, "ライタが応答しません", "", "接続", -1},
    };
    CBoxPanel panel(1, QStringLiteral("sim"));
    panel.resize(400, 300);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        r.event(panel);
        EXPECT_EQ(panel.Shown(), r.look);
        EXPECT_EQ(panel.Headline(), QString::fromUtf8(r.headline));
        EXPECT_TRUE(panel.Detail().contains(QString::fromUtf8(r.detail))) << panel.Detail().toStdString();
        EXPECT_TRUE(panel.Hint().contains(QString::fromUtf8(r.hint))) << panel.Hint().toStdString();
        EXPECT_EQ(panel.Percent(), r.percent);
    }
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
        bool orderUsable;  // byte order is a binary encoding's
    };
    const Case cases[] = {
        {"", false, "EEPROM", "0", "4", "下位から", "バイナリ", "1", "1", "", false},
        {"Serial=eeprom:10:4:be:dec\r\nSerialFirst=1000\r\n", true, "EEPROM", "10", "4", "上位から",
         "10進文字 (ASCII)", "1000", "1", "", false},
        {"Serial=flash:7FF0:8:hex\r\nSerialFirst=0x10\r\nSerialStep=5\r\nSerialLast=99\r\n", true,
         "FLASH", "7FF0", "8", "下位から", "16進文字 (ASCII)", "16", "5", "99", false},
        {"Serial=eeprom:0:3:bcd\r\n", true, "EEPROM", "0", "3", "下位から", "BCD", "1", "1", "", true},
        {"Serial=eeprom:0:2:be\r\n", true, "EEPROM", "0", "2", "上位から", "バイナリ", "1", "1", "", true},
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
        EXPECT_EQ(dlg->IsEnabled(kSerialOrder), c.orderUsable);
        // A text encoding chosen in the window greys the byte order out; a binary one brings it back.
        if (!c.serial) continue;
        if (!c.orderUsable) {
            dlg->show();
            test::Grab(*dlg, QStringLiteral("production-text-encoding.png"));
        }
        for (const int encoding : {2, 3, 0, 1}) {
            dlg->ComboBox(kSerialEncoding)->setCurrentIndex(encoding);
            EXPECT_EQ(dlg->IsEnabled(kSerialOrder), encoding < 2) << encoding;
        }
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
        {kEventsPath, "/dev/null", "イベントの出力先"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        auto dlg = Window(SettingFile("Serial=eeprom:10:2\r\n"));
        dlg->SetText(c.field, QString::fromUtf8(c.text));
        EXPECT_FALSE(dlg->Start());
        EXPECT_FALSE(dlg->IsRunning());
        ASSERT_EQ(Messages(*dlg).size(), 1) << Messages(*dlg).join(u'\n').toStdString();
        const QString said = Messages(*dlg).join(u'\n');
        EXPECT_TRUE(said.contains(QString::fromUtf8(c.named)) &&
                    said.contains(QString::fromUtf8(c.text)))
            << said.toStdString();
        EXPECT_TRUE(Read("job.set.counter").isEmpty()) << "no number was taken";
    }
}

// The summary says how the run ended: plainly when it did all it was asked
// with every chip passed, marked with the reason when it did not, with the
// boxes lost on the way counted. The first run also writes its event stream.
TEST_F(ProductionDlgTest, TheSummarySaysHowTheRunEnded) {
    const QString unreachable = QStringLiteral("sim:ATmega328P,fast,fail=open");
    struct Case {
        const char* what;
        QStringList writers;
        int count;
        bool logIsAFolder;
        std::vector<const char*> said;
        std::vector<const char*> unsaid;
        bool marked;
    };
    const Case cases[] = {
        {"every chip passed", {QString::fromLatin1(kSwappingBox)}, 2, false, {"2 個はすべて合格"},
         {"予定どおり", "不合格"}, false},
        {"the box never answered", {unreachable}, 1, false,
         {"合格 0  不合格 0", "予定どおりに終わっていません", "ライタ 1 台"}, {"すべて合格"}, true},
        {"one box of two never answered, the other did the count", {QString::fromLatin1(kSwappingBox), unreachable},
         2, false, {"2 個はすべて合格", "応答しなくなったライタ 1 台"}, {"予定どおり"}, true},
        {"a chip of another device", {QStringLiteral("sim:ATmega8,fast,swap=500:150")}, 1, false,
         {"合格 0  不合格 1", "予定どおりに終わっていません", "不合格のチップがあります (1 個)", "最後の不合格"},
         {"すべて合格"}, true},
        {"the log cannot be opened", {QString::fromLatin1(kSwappingBox)}, 1, true, {"始められませんでした"},
         {"すべて合格", "合格 0"}, true},
    };
    const QString settingFile = SettingFile("Serial=eeprom:10:2\r\n");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dlg = Window(settingFile, c.writers);
        dlg->show();
        dlg->SetText(kCount, QString::number(c.count));
        if (c.logIsAFolder) dlg->SetText(kLogPath, m_dir.path());
        // Beside the setting file, as the log's own path would be.
        if (n == 0) dlg->SetText(kEventsPath, QStringLiteral("events.jsonl"));
        ASSERT_TRUE(dlg->Start()) << Messages(*dlg).join(u'\n').toStdString();
        WaitForEnd(*dlg);
        ASSERT_FALSE(dlg->IsRunning());
        const QString summary = dlg->Summary();
        for (const char* s : c.said) EXPECT_TRUE(summary.contains(QString::fromUtf8(s))) << s << "\n" << summary.toStdString();
        for (const char* s : c.unsaid) EXPECT_FALSE(summary.contains(QString::fromUtf8(s))) << s << "\n" << summary.toStdString();
        EXPECT_EQ(dlg->SummaryMarked(), c.marked) << summary.toStdString();
        test::Grab(*dlg, QStringLiteral("production-end-%1.png").arg(++n));
    }
    // The stream of the first run, from its start to its end.
    const QList<QByteArray> events = Read("events.jsonl").split('\n');
    ASSERT_GE(events.size(), 3);
    EXPECT_TRUE(events.front().contains("\"event\":\"run-start\"")) << events.front().toStdString();
    EXPECT_EQ(Read("events.jsonl").count("\"event\":\"chip-end\""), 2);
    EXPECT_TRUE(events[events.size() - 2].contains("\"event\":\"run-end\"") &&
                events[events.size() - 2].contains("\"end\":\"completed\""))
        << events[events.size() - 2].toStdString();
}

// A log begun under other columns is left alone and the run writes beside
// it: the results show that file's rows, with the row the start wrote for
// the chip of a run that died shown as interrupted, not as a failure.
TEST_F(ProductionDlgTest, TheResultsShowTheLogTheRunWritesWithItsInterruptedRows) {
    const QString settingFile = SettingFile("Serial=eeprom:10:2\r\n");
    Write("job.set.log.csv", "日時,ライタ,シリアル番号,結果\r\n2026-01-02T03:04:00,old-box,77,OK\r\n");
    Write("job.set.counter", "10\n");
    // A process id no process has: ids stay below the system's maximum.
    QFile pidMax(QStringLiteral("/proc/sys/kernel/pid_max"));
    ASSERT_TRUE(pidMax.open(QIODevice::ReadOnly));
    const qint64 gone = pidMax.readAll().trimmed().toLongLong();
    Write("job.set.counter.journal",
          JournalText({{.box = "box-a",
                        .serial = "9",
                        .time = "2026-01-02T03:04:05",
                        .settingFile = settingFile,
                        .run = {.host = JournalHost(), .bootId = BootId(), .pid = gone, .pidStart = 1, .runId = "gone"}}}));

    auto dlg = Window(settingFile);
    dlg->show();
    EXPECT_TRUE(Results(*dlg).join(u'\n').contains(QStringLiteral("|77|"))) << "the old log's rows, until a run";
    dlg->SetText(kCount, QStringLiteral("1"));
    ASSERT_TRUE(dlg->Start());
    WaitForEnd(*dlg);
    const QStringList shown = Results(*dlg);
    ASSERT_EQ(shown.size(), 2) << shown.join(u'\n').toStdString();
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("合格|10|"))) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("中断|9|box-a|")) && shown[1].endsWith(QStringLiteral("01-02 03:04:05")))
        << shown[1].toStdString();
    // The run's chips and the interrupted one are all the run counts: no failure among them.
    EXPECT_EQ(dlg->FailedCount(), 0);
    EXPECT_TRUE(dlg->Summary().contains(QStringLiteral("1 個はすべて合格"))) << dlg->Summary().toStdString();
    test::Grab(*dlg, QStringLiteral("production-interrupted-row.png"));
    EXPECT_EQ(Read("job.set.log.csv").count("\r\n"), 2) << "the old log is left alone";
}

}  // namespace
}  // namespace oriole
