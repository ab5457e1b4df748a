// The FLASH and EEPROM views' commands on the simulated box: the save
// command with its second read, the busy guard, browsing, and the main
// window's buttons that open the views and take their save-all state back.

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>

#include "MemoryViewRig.h"
#include "base/FormatText.h"

namespace oriole::test {
namespace {

TEST(MemoryViewCommandsTest, SaveReadsTheDeviceAgainAndWritesWhatItHoldsNow) {
    ViewRig rig(kFlashViewDef);
    std::vector<uint8_t>& flash = rig.box->Target().Flash();
    std::copy_n(Pattern(64, 1).begin(), 64, flash.begin());
    rig.settings.m_nFlashSaveFormat = 0;
    CMemoryViewDlg& view = rig.Open();
    rig.Click(1037);
    const QStringList dumped = view.DeviceLines();
    ASSERT_EQ(rig.Opens(), 1);  // a read detects in its own frame

    std::copy_n(Pattern(64, 9).begin(), 64, flash.begin());
    flash[0x5000] = 0x00;
    const QString path = rig.dir.filePath(QStringLiteral("saved.mot"));
    SaveAnswer answer(path, SaveFormatCode(ImageFormat::SRecord));
    rig.Click(1044);
    EXPECT_EQ(rig.Opens(), 2);
    EXPECT_EQ(answer.formatShown, 0);
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashSaved});
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), WriteSRecord("saved.mot", false, flash.data(), 32768));
    EXPECT_EQ(rig.settings.m_nFlashSaveFormat, SaveFormatCode(ImageFormat::SRecord));
    EXPECT_EQ(rig.settings.m_strFlashSaveName, path);
    // The dump still shows the first read.
    EXPECT_EQ(view.DeviceLines(), dumped);
    EXPECT_EQ(ProgressWindowCount(), 0);
}

TEST(MemoryViewCommandsTest, CancelledSaveKeepsTheSettingsAndAFailedReadSavesNothing) {
    ViewRig rig(kEepromViewDef);
    rig.settings.m_nEepromSaveFormat = 1;
    rig.settings.m_strEepromSaveName = rig.dir.filePath(QStringLiteral("old.hex"));
    CMemoryViewDlg& view = rig.Open();
    rig.Click(1043);
    {
        SaveAnswer cancel(QString(), SaveFormatCode(ImageFormat::IntelHex));
        rig.Click(1045);
        EXPECT_EQ(cancel.formatShown, 1);
    }
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_EQ(rig.settings.m_nEepromSaveFormat, 1);
    EXPECT_EQ(rig.settings.m_strEepromSaveName, rig.dir.filePath(QStringLiteral("old.hex")));

    // A refused read: the operation's message, then the view's, and no dialog.
    rig.Core().LinkState().m_nAbort = 1;
    rig.Click(1045);
    EXPECT_EQ(rig.Texts(),
              (std::vector<std::string>{text::kAbortedEarlier, text::kEepromSaveFailed}));
    EXPECT_EQ(rig.messages.shown.back().kind, MsgKind::Warning);
    // A failed Read takes the save command away again.
    rig.messages.shown.clear();
    rig.Click(1043);
    EXPECT_FALSE(view.Button(1045)->isEnabled());
    EXPECT_FALSE(view.Button(1203)->isEnabled());
}

TEST(MemoryViewCommandsTest, ClicksAndTheCloseBoxDuringARunningWriteAreIgnored) {
    ViewRig rig(kFlashViewDef);
    rig.Model().SetText(ctl_id::kFlashFile, rig.WriteHex("a.hex", Pattern(512)));
    CMemoryViewDlg& view = rig.Open();
    PostClick(view.Button(1037));  // Read, arriving while the write waits
    QTimer::singleShot(0, &view, [&] { view.close(); });
    rig.Click(1049);
    QApplication::processEvents();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashWriteDone});
    EXPECT_EQ(rig.Opens(), 2);  // the job's detection, the write
    EXPECT_TRUE(view.DeviceLines().isEmpty());
    EXPECT_FALSE(view.Button(1044)->isEnabled());
    EXPECT_TRUE(view.isVisible());
    EXPECT_FALSE(view.IsViewBusy());
    EXPECT_EQ(rig.box->Target().ReadFlash(511), Pattern(512)[511]);
    // The write does not hand its path to the main window; a load does.
    view.SetText(1031, QString::fromStdString(rig.WriteHex("b.hex", Pattern(16))));
    rig.Click(1049);
    EXPECT_EQ(rig.Model().Text(ctl_id::kFlashFile),
              rig.dir.filePath(QStringLiteral("a.hex")).toStdString());
    rig.Click(1056);
    EXPECT_EQ(rig.Model().Text(ctl_id::kFlashFile),
              rig.dir.filePath(QStringLiteral("b.hex")).toStdString());
    EXPECT_TRUE(view.close());
}

TEST(MemoryViewCommandsTest, BrowsedFileLoadsIsHandedToTheMainWindowAndProgramsTheDevice) {
    for (const ViewCase& c : kViews) {
        SCOPED_TRACE(c.name);
        ViewRig rig(*c.def);
        const std::vector<uint8_t> data = Pattern(48);
        const std::string path = rig.WriteHex("pick.hex", data);
        CMemoryViewDlg& view = rig.Open();
        EXPECT_TRUE(view.FileLines().isEmpty());
        QString startFolder;
        QTimer::singleShot(0, &view, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            startFolder = dialog->directory().path();
            dialog->selectFile(QString::fromStdString(path));
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            for (QAbstractButton* b : buttons->buttons())
                if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) b->click();
        });
        rig.Click(c.def->browseButton);
        EXPECT_EQ(startFolder, QDir::homePath());
        EXPECT_EQ(view.Text(c.def->pathBox).toStdString(), path);
        EXPECT_EQ(rig.Model().Text(c.def->mainFileBox), path);
        EXPECT_EQ(view.FileLines().size(), c.def->layout == DumpLayout::Flash ? 3 : 6);
        EXPECT_EQ(view.Text(c.def->addressLabel), QStringLiteral(" 000000 - 00002F"));

        rig.Click(c.def->writeButton);
        rig.Click(c.def->verifyButton);
        const bool flash = c.def->layout == DumpLayout::Flash;
        EXPECT_EQ(rig.Texts(),
                  (std::vector<std::string>{flash ? text::kFlashWriteDone : text::kEepromWriteDone,
                                            flash ? text::kFlashVerifyOk : text::kEepromVerifyOk}));
        for (uint32_t i = 0; i < data.size(); ++i) {
            const uint8_t held =
                flash ? rig.box->Target().ReadFlash(i) : rig.box->Target().ReadEeprom(i);
            ASSERT_EQ(held, data[i]) << i;
        }

        // Write and verify are jobs: a file with no data for the memory is
        // refused, named, before the chip is touched (the device is known).
        const std::string end = WriteText(rig, "end.hex", ":00000001FF\r\n");
        view.SetText(c.def->pathBox, QString::fromStdString(end));
        const int opens = rig.Opens();
        for (int button : {c.def->writeButton, c.def->verifyButton}) {
            rig.messages.shown.clear();
            rig.Click(button);
            EXPECT_EQ(rig.Texts().back(), FormatText(text::kInputEmpty, end.c_str(), c.name)) << button;
            EXPECT_EQ(rig.Core().FirstFailure().cause, Cause::EmptyInput);
        }
        EXPECT_EQ(rig.Opens(), opens);
        EXPECT_EQ(flash ? rig.box->Target().ReadFlash(0) : rig.box->Target().ReadEeprom(0), data[0]);
    }
}

TEST(MemoryViewCommandsTest, MainWindowOpensEachViewInFrontAndKeepsItsSaveAllState) {
    struct Case {
        const MemoryViewDef* def;
        int button;
        const char* className;
        const char* section;
    };
    const Case kCases[] = {{&kFlashViewDef, 1038, "oriole::CFlashDlg", "[FLASH]"},
                           {&kEepromViewDef, 1020, "oriole::CEEPROMDlg", "[EEPROM]"}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.className);
        AppRig rig;
        struct Seen {
            QString className;
            bool inFront = false;
            bool checked = false;
            bool stillOpenAfterKeys = false;
        };
        auto run = [&](bool checkIt) {
            Seen seen;
            QTimer::singleShot(0, rig.dlg.get(), [&] {
                auto* view = qobject_cast<CMemoryViewDlg*>(QApplication::activeModalWidget());
                if (view == nullptr) return;
                seen.className = QString::fromLatin1(view->metaObject()->className());
                seen.inFront = rig.dlg->CurrentDlg() == view;
                seen.checked = view->IsChecked(c.def->saveAllBox);
                for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
                    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                    QApplication::sendEvent(view, &press);
                }
                seen.stillOpenAfterKeys = view->isVisible();
                if (checkIt) {
                    view->Button(c.def->readButton)->click();
                    view->Button(c.def->saveAllBox)->click();
                }
                view->close();
            });
            rig.Button(c.button)->click();
            return seen;
        };
        const Seen first = run(true);
        EXPECT_EQ(first.className, QString::fromLatin1(c.className));
        EXPECT_TRUE(first.inFront);
        EXPECT_FALSE(first.checked);
        EXPECT_TRUE(first.stillOpenAfterKeys);
        EXPECT_EQ(rig.dlg->CurrentDlg(), rig.dlg.get());
        EXPECT_FALSE(rig.dlg->IsBusy());
        EXPECT_TRUE(run(false).checked);
        // And into the settings file when the main window closes.
        ASSERT_TRUE(rig.dlg->close());
        QFile ini(rig.dlg->IniPath());
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        const qsizetype section = text.indexOf(c.section);
        ASSERT_GE(section, 0);
        EXPECT_EQ(text.indexOf("SaveAll=1", section), text.indexOf("SaveAll=", section));
    }
}

}  // namespace
}  // namespace oriole::test
