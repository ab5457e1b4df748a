// The batch dialog on the simulated box: the log and the timing each step
// begins with (read off the wire), the stop at the first failure, the quiet
// bits, the step boxes and the all-on/all-off toggle with the mask they
// keep, the guard against a second start during a run, and the main
// window's side (the dialog in front, the paths and flags on return).

#include <QCloseEvent>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "AppRig.h"
#include "ModalDialog.h"
#include "res/Texts.h"
#include "views/AutoDlg.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

constexpr int kErase = 1058;
constexpr int kToggle = 1057;
constexpr int kFlashPath = 1070;
constexpr int kFlashBrowse = 1073;
constexpr int kEepromPath = 1071;
constexpr int kEepromBrowse = 1072;
constexpr int kStart = 1056;
constexpr int kReturn = 1069;
constexpr int kLogBox = 1067;
constexpr int kStepBoxes[] = {1059, 1060, 1061, 1062, 1063, 1064, 1065, 1066, 1109, 1158};

std::string Line(const char* step, bool ok) {
    return std::string(step) + (ok ? text::kBatchOk : text::kBatchError);
}

// What the log box showed each time it changed, with where the transcript
// stood at that moment.
struct LogEvent {
    QString log;
    size_t transcriptAt;
};

struct BatchRig : AppRig {
    explicit BatchRig(uint32_t startMask, const std::string& device = "ATmega328P")
        : AppRig(device) {
        EXPECT_TRUE(Core().CheckDevice(true));  // the device is known before the values go in
        mask = startMask;
        flashFile = WriteHex("f.hex", {0x0C, 0x94, 0x34, 0x00, 0x11, 0x22});
        box->Target().Eeprom().assign(box->Target().Eeprom().size(), 0xFF);
        eepromFile = WriteHex("e.hex", std::vector<uint8_t>(16, 0xFF));
        Model().SetText(ctl_id::kFlashFile, flashFile);
        Model().SetText(ctl_id::kEepromFile, eepromFile);
        Model().SetText(ctl_id::kLockEdit, "FC");
    }
    // The dialog, once the main window's controls are as the test wants them.
    CAutoDlg& Open() {
        CAutoDlg::Options options;
        options.flashExt = QStringLiteral("*.hex");
        options.eepromExt = QStringLiteral("*.eep");
        options.chooseFile = [this](QWidget*, const QString& folder, const QStringList& filters) {
            askedFolder = folder;
            askedFilters = filters;
            return chosenFile;
        };
        batch = std::make_unique<CAutoDlg>(Window(), mask, std::move(options), dlg.get());
        batch->show();
        QObject::connect(batch->TextBox(kLogBox), &QPlainTextEdit::textChanged, [this] {
            events.push_back(
                {batch->Log(), box->Transcript().Entries().size()});
        });
        box->Transcript().Clear();
        messages.shown.clear();
        return *batch;
    }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> out;
        const QStringList lines = batch->Log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (const QString& l : lines) out.push_back(l.toStdString() + "\r\n");
        return out;
    }
    // Whether each step's first frame sent the timing: the log line of a
    // step starts just before its operation does.
    std::vector<bool> StepTimings() const {
        std::vector<bool> out;
        const auto& entries = box->Transcript().Entries();
        for (const LogEvent& e : events) {
            if (!e.log.endsWith(QStringLiteral("... "))) continue;
            const size_t at = e.transcriptAt;
            out.push_back(at < entries.size() && entries[at].toBox && !entries[at].bytes.empty() &&
                          entries[at].bytes[0] == 0x54);
        }
        return out;
    }

    uint32_t mask = 0;
    std::string flashFile;
    std::string eepromFile;
    QString chosenFile;
    QString askedFolder;
    QStringList askedFilters;
    std::vector<LogEvent> events;
    std::unique_ptr<CAutoDlg> batch;
};

TEST(AutoDlgTest, LogLinesAndTheTimingEachStepBeginsWith) {
    struct Row {
        const char* what;
        uint32_t mask;
        bool fuseEnabled;
        bool lockEnabled;
        std::vector<std::string> log;
        std::vector<bool> timing;
    };
    const Row rows[] = {
        {"erase only", 0x001, true, true, {Line(text::kBatchErase, true)}, {true}},
        {"FLASH write, EEPROM verify",
         0x013,
         true,
         true,
         {Line(text::kBatchErase, true), Line(text::kBatchFlashWrite, true),
          Line(text::kBatchEepromVerify, true)},
         {true, true, false}},
        {"the lock write always sends the timing",
         0x183,
         true,
         true,
         {Line(text::kBatchErase, true), Line(text::kBatchFlashWrite, true),
          Line(text::kBatchLockWrite, true), Line(text::kBatchLockVerify, true)},
         {true, true, true, false}},
        {"disabled fuse steps are skipped",
         0x067,
         false,
         false,
         {Line(text::kBatchErase, true), Line(text::kBatchFlashWrite, true),
          Line(text::kBatchFlashVerify, true)},
         {true, true, false}},
    };
    for (const Row& row : rows) {
        BatchRig rig(row.mask);
        rig.Model().Enable(ctl_id::kFuseWrite, row.fuseEnabled);
        rig.Model().Enable(ctl_id::kLockWrite, row.lockEnabled);
        CAutoDlg& d = rig.Open();
        d.Button(kStart)->click();
        EXPECT_EQ(rig.LogLines(), row.log) << row.what;
        EXPECT_EQ(rig.StepTimings(), row.timing) << row.what;
        EXPECT_TRUE(rig.Texts().empty()) << row.what;  // the log replaces the messages
        // The box shows the log line by line.
        EXPECT_EQ(d.TextBox(kLogBox)->blockCount(), static_cast<int>(row.log.size()) + 1)
            << row.what;
    }
}

TEST(AutoDlgTest, RunStopsAtTheFirstFailure) {
    // The FLASH verify finds the erased device unlike the file.
    BatchRig rig(0x01D);
    CAutoDlg& d = rig.Open();
    d.Button(kStart)->click();
    EXPECT_EQ(rig.LogLines(), (std::vector<std::string>{Line(text::kBatchErase, true),
                                                        Line(text::kBatchFlashVerify, false)}));
    // A mismatch is no failure of the link: the log line is its report.
    EXPECT_TRUE(rig.Texts().empty());

    // A second run empties the log; a missing file fails through the
    // loader's message before the chip is erased.
    d.SetText(kFlashPath, rig.dir.filePath(QStringLiteral("missing.hex")));
    rig.messages.shown.clear();
    rig.box->Target().Flash()[0] = 0x12;
    d.Button(kStart)->click();
    EXPECT_TRUE(rig.LogLines().empty());
    EXPECT_EQ(rig.Texts(),
              std::vector<std::string>{text::kFileOpenFailed + (": " + rig.dir.filePath("missing.hex").toStdString())});
    EXPECT_EQ(rig.box->Target().ReadFlash(0), 0x12);
}

TEST(AutoDlgTest, FailedEraseEndsTheRun) {
    BatchRig rig(0x7FF);
    rig.box->Faults().refuseProgramming = true;
    rig.Open().Button(kStart)->click();
    // The detection that comes before the files are loaded fails first.
    EXPECT_TRUE(rig.LogLines().empty());
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kProgrammingRefused});
}

TEST(AutoDlgTest, OpeningShowsTheMaskAndTheMainWindowsState) {
    BatchRig rig(0x0A4);  // FLASH verify, fuse write, lock write
    rig.Model().Enable(ctl_id::kFuseWrite, true);
    rig.Model().Enable(ctl_id::kLockWrite, false);
    rig.Model().Enable(ctl_id::kCalibWrite, true);
    rig.Model().SetText(ctl_id::kEepromFile, "");
    CAutoDlg& d = rig.Open();
    std::vector<int> ticked;
    for (int id : kStepBoxes)
        if (d.IsChecked(id)) ticked.push_back(id);
    EXPECT_EQ(ticked, (std::vector<int>{1060, 1063, 1065}));
    EXPECT_TRUE(d.IsChecked(kErase));
    EXPECT_EQ(d.AllOn(), 0);
    EXPECT_EQ(d.Text(kToggle), QString::fromUtf8(text::kBatchAllOn));
    EXPECT_EQ(d.Text(kFlashPath).toStdString(), rig.flashFile);
    EXPECT_TRUE(d.IsEnabled(kFlashPath) && d.IsEnabled(kFlashBrowse));
    EXPECT_FALSE(d.IsEnabled(kEepromPath) || d.IsEnabled(kEepromBrowse));
    EXPECT_TRUE(d.IsEnabled(1063) && d.IsEnabled(1064));
    EXPECT_FALSE(d.IsEnabled(1065) || d.IsEnabled(1066));
    EXPECT_TRUE(d.IsEnabled(1109) && d.IsEnabled(1158));
    // The path's beginning shows: selected from the end back to the second
    // character, the caret at 1.
    QLineEdit* path = d.LineEdit(kFlashPath);
    EXPECT_EQ(path->cursorPosition(), 1);
    EXPECT_EQ(path->selectedText().size(), path->text().size() - 1);
}

TEST(AutoDlgTest, StepBoxesChangeOnlyTheirOwnBits) {
    BatchRig rig(0x200);  // no erase bit: only the toggle writes it
    for (int id : {ctl_id::kFuseWrite, ctl_id::kLockWrite, ctl_id::kCalibWrite})
        rig.Model().Enable(id, true);
    CAutoDlg& d = rig.Open();
    d.Button(kErase)->click();
    EXPECT_TRUE(d.IsChecked(kErase));
    EXPECT_EQ(rig.mask, 0x200u);

    d.Button(1059)->click();
    EXPECT_EQ(rig.mask, 0x202u);
    EXPECT_TRUE(d.IsEnabled(kFlashPath) && d.IsEnabled(kFlashBrowse));
    d.Button(1059)->click();
    EXPECT_EQ(rig.mask, 0x200u);
    EXPECT_FALSE(d.IsEnabled(kFlashPath) || d.IsEnabled(kFlashBrowse));
    d.Button(1060)->click();
    EXPECT_TRUE(d.IsEnabled(kFlashPath) && d.IsEnabled(kFlashBrowse));
    d.Button(1062)->click();
    EXPECT_TRUE(d.IsEnabled(kEepromPath));
    d.Button(1158)->click();
    d.Button(1064)->click();
    d.Button(1065)->click();
    EXPECT_EQ(rig.mask, 0x004u | 0x010u | 0x600u | 0x040u | 0x080u);
}

// "On" ticks the steps that can run; the fuse and calibration steps,
// disabled, stay clear and out of the mask.
TEST(AutoDlgTest, ToggleTicksAndClearsTheEnabledStepsAndSetsTheMask) {
    BatchRig rig(0x001);
    rig.Model().Enable(ctl_id::kFuseWrite, false);
    rig.Model().Enable(ctl_id::kLockWrite, true);
    rig.Model().Enable(ctl_id::kCalibWrite, false);
    CAutoDlg& d = rig.Open();
    struct Expect {
        int32_t allOn;
        uint32_t mask;
        const char* caption;
        bool ticked;
    };
    constexpr uint32_t kEnabledSteps = 0x7FF & ~(step_bit::kWriteFuses | step_bit::kVerifyFuses |
                                                 step_bit::kWriteCalibration | step_bit::kVerifyCalibration);
    const Expect clicks[] = {
        {1, kEnabledSteps, text::kBatchAllOff, true},
        {0, 0x001, text::kBatchAllOn, false},
        {1, kEnabledSteps, text::kBatchAllOff, true},
    };
    for (const Expect& e : clicks) {
        d.Button(kToggle)->click();
        EXPECT_EQ(d.AllOn(), e.allOn);
        EXPECT_EQ(rig.mask, e.mask);
        EXPECT_EQ(d.Text(kToggle), QString::fromUtf8(e.caption));
        for (int id : kStepBoxes) EXPECT_EQ(d.IsChecked(id), e.ticked && d.IsEnabled(id)) << id;
        EXPECT_FALSE(d.IsChecked(1063) || d.IsChecked(1064));
        EXPECT_TRUE(d.IsChecked(kErase));
        for (int id : {kFlashPath, kFlashBrowse, kEepromPath, kEepromBrowse})
            EXPECT_EQ(d.IsEnabled(id), e.ticked) << id;
    }
    Grab(d, "batch-all-on.png");
    // All on, but the disabled fuse steps do not run.
    d.Button(kStart)->click();
    for (const std::string& line : rig.LogLines())
        EXPECT_EQ(line.find("ヒューズ"), std::string::npos) << line;
}

TEST(AutoDlgTest, BrowseFillsTheBoxOnly) {
    BatchRig rig(0x00A);
    CAutoDlg& d = rig.Open();
    rig.chosenFile = rig.dir.filePath(QStringLiteral("other.eep"));
    d.Button(kEepromBrowse)->click();
    EXPECT_EQ(d.Text(kEepromPath), QDir::toNativeSeparators(rig.chosenFile));
    EXPECT_EQ(rig.askedFolder, QFileInfo(QString::fromStdString(rig.eepromFile)).absolutePath());
    ASSERT_FALSE(rig.askedFilters.isEmpty());
    EXPECT_TRUE(rig.askedFilters[0].startsWith(QStringLiteral("EEPROM ファイル")));
    EXPECT_TRUE(rig.askedFilters[0].contains(QStringLiteral("*.eep")));
    EXPECT_TRUE(rig.askedFilters.contains(QStringLiteral("ELF (*.elf)")));
    EXPECT_TRUE(rig.askedFilters.contains(QStringLiteral("バイナリ (*.bin)")));
    EXPECT_EQ(rig.Model().Text(ctl_id::kEepromFile), rig.eepromFile);  // not yet
    // Cancelled: the box keeps its path.
    rig.chosenFile.clear();
    d.Button(kFlashBrowse)->click();
    EXPECT_EQ(d.Text(kFlashPath).toStdString(), rig.flashFile);
    EXPECT_TRUE(rig.askedFilters[0].startsWith(QStringLiteral("FLASH ファイル")));
}

TEST(AutoDlgTest, SecondStartDuringARunIsIgnoredOtherBoxesStayLive) {
    BatchRig rig(0x001);
    CAutoDlg& d = rig.Open();
    int starts = 0;
    QObject::connect(d.Button(kStart), &QAbstractButton::clicked, [&] { ++starts; });
    // Both clicks wait in the queue until the erase's waits let them through.
    PostClick(d.Button(1062));
    PostClick(d.Button(kStart));
    d.Button(kStart)->click();
    QApplication::processEvents();
    EXPECT_EQ(starts, 2);
    EXPECT_FALSE(d.IsRunning());
    // One run: the EEPROM verify ticked during the erase ran after it.
    EXPECT_EQ(rig.LogLines(), (std::vector<std::string>{Line(text::kBatchErase, true),
                                                        Line(text::kBatchEepromVerify, true)}));
    EXPECT_EQ(rig.mask, 0x011u);
    int begins = 0;
    for (const std::string& line : rig.box->Transcript().Lines())
        if (line == "> 41 00") ++begins;
    EXPECT_EQ(begins, 3);  // erase, the verify's device check, the verify's read
    // Once the run is over, a click starts the next one.
    d.Button(kStart)->click();
    EXPECT_EQ(rig.events.front().log, QString::fromUtf8(text::kBatchErase));
}

TEST(AutoDlgTest, MainWindowRunsItInFrontAndTakesThePathsBack) {
    AppRig rig;
    rig.Model().SetText(ctl_id::kFlashFile, "/old/a.hex");
    for (const bool closeBox : {false, true}) {
        const QString path = closeBox ? QStringLiteral("/new/c.hex") : QStringLiteral("/new/b.hex");
        const bool ran = WithModal<CAutoDlg>(rig.Button(1068), [&](CAutoDlg& d) {
            EXPECT_EQ(rig.dlg->CurrentDlg(), &d);
            EXPECT_TRUE(rig.dlg->IsBusy());
            if (!closeBox) {
                d.Button(1061)->click();
            } else {
                EXPECT_TRUE(d.IsChecked(1061));  // the mask outlived the first dialog
            }
            d.SetText(kFlashPath, path);
            if (closeBox)
                d.close();
            else
                d.Button(kReturn)->click();
        });
        ASSERT_TRUE(ran);
        EXPECT_EQ(QString::fromStdString(rig.Model().Text(ctl_id::kFlashFile)), path);
        EXPECT_EQ(rig.dlg->CurrentDlg(), rig.dlg.get());
        EXPECT_FALSE(rig.dlg->IsBusy());
    }
}

TEST(AutoDlgTest, EnterAndEscapeLeaveItOpen) {
    BatchRig rig(0x001);
    CAutoDlg& d = rig.Open();
    PressEnterAndEscape({&d}, [&](QWidget*, int key) { EXPECT_TRUE(d.isVisible()) << key; });
}

}  // namespace
}  // namespace oriole::test
