// The main window's commands on the simulated box: the device check, the
// FLASH write with its erase, detection, the busy guard against clicks that
// arrive while a command runs, and what a cancelled read leaves behind.

#include <QApplication>
#include <QFile>
#include <QTimer>

#include "AppRig.h"
#include "app/ProgressDlg.h"
#include "views/DeviceDlg.h"
#include "res/Texts.h"
#include "base/FormatText.h"

namespace oriole::test {
namespace {

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

TEST(CommandsTest, WithoutAnyDeviceEveryButtonButDetectWarnsAndSendsNothing) {
    const int kButtons[] = {1005, 1003, 1012, ctl_id::kFuseWrite, ctl_id::kLockWrite,
                            ctl_id::kCalibWrite, 1038, 1020, 1068, ctl_id::kFuseDetails,
                            ctl_id::kLockDetails, ctl_id::kCalibDetails};
    AppRig rig;
    rig.AutoDetectOff();
    for (int id : {ctl_id::kFuseWrite, ctl_id::kLockWrite, ctl_id::kCalibWrite})
        rig.Model().Enable(id, true);
    for (int id : kButtons) {
        rig.messages.shown.clear();
        rig.Button(id)->click();
        ASSERT_EQ(rig.messages.shown.size(), 1u) << id;
        EXPECT_EQ(rig.messages.shown[0].kind, MsgKind::Warning) << id;
        EXPECT_EQ(rig.messages.shown[0].text, text::kDeviceUnknown) << id;
        EXPECT_FALSE(rig.dlg->IsBusy());
    }
    EXPECT_EQ(rig.Opens(), 0);
    // A device chosen by hand is known.
    rig.ChooseDevice(QStringLiteral("ATmega328P"));
    rig.messages.shown.clear();
    QTimer::singleShot(0, rig.dlg.get(), [] {
        if (QWidget* view = QApplication::activeModalWidget()) view->close();
    });
    rig.Button(1038)->click();
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(CommandsTest, DetectSelectsTheDeviceOfTheSignature) {
    AppRig rig("ATmega8");  // signature 1E 93 07
    ASSERT_EQ(rig.DeviceList()->currentIndex(), 0);
    rig.Button(1046)->click();
    EXPECT_TRUE(rig.Texts().empty());
    // The model's selection and enabling after a detection are checked in
    // tests/ops/FrameTest.cpp; here the list and the widgets show them.
    EXPECT_EQ(rig.DeviceList()->currentText(), QStringLiteral("ATmega8"));
    EXPECT_FALSE(rig.dlg->Control(ctl_id::kExtEdit)->isEnabled());
    EXPECT_TRUE(rig.dlg->Control(ctl_id::kHighEdit)->isEnabled());
}

TEST(CommandsTest, FailedDetectShowsAutoButKeepsTheDevice) {
    AppRig rig("ATmega8,signature=123456");
    rig.ChooseDevice(QStringLiteral("ATmega8"));
    rig.Button(1046)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kDeviceNotDetected});
    EXPECT_EQ(rig.DeviceList()->currentIndex(), 0);
    EXPECT_EQ(rig.Model().ListSelection(), 0);
}

TEST(CommandsTest, FlashWriteWithEraseAndVerifyAsksNothingAndReportsTheVerify) {
    AppRig rig;
    const std::vector<uint8_t> data = Pattern(300);
    rig.box->Target().Flash()[400] = 0x00;  // erased by the write's erase
    rig.Model().SetText(ctl_id::kFlashFile, rig.WriteHex("a.hex", data));
    rig.Model().SetCheck(ctl_id::kFlashErase, true);
    rig.Model().SetCheck(ctl_id::kFlashVerify, true);
    rig.Button(1003)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashVerifyOk});
    for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(rig.box->Target().ReadFlash(uint32_t(i)), data[i]) << i;
    EXPECT_EQ(rig.box->Target().ReadFlash(400), 0xFF);
    EXPECT_EQ(ProgressWindowCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// One avr-gcc ELF in both boxes: the FLASH write takes its FLASH part, the
// EEPROM write its EEPROM part.
TEST(CommandsTest, OneElfInBothBoxesProgramsFlashAndEeprom) {
#ifndef ORIOLE_AVR_DEMO_DIR
    GTEST_SKIP() << "avr-gcc was not found when the tests were built";
#else
    AppRig rig;
    const std::string elf = std::string(ORIOLE_AVR_DEMO_DIR) + "/demo.elf";
    rig.Model().SetText(ctl_id::kFlashFile, elf);
    rig.Model().SetText(ctl_id::kEepromFile, elf);
    rig.Model().SetCheck(ctl_id::kFlashVerify, true);
    rig.Model().SetCheck(ctl_id::kEepromVerify, true);
    rig.Button(1003)->click();
    rig.Button(1012)->click();
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kFlashVerifyOk, text::kEepromVerifyOk}));
    QFile bin(QString::fromStdString(std::string(ORIOLE_AVR_DEMO_DIR) + "/flash.bin"));
    ASSERT_TRUE(bin.open(QIODevice::ReadOnly));
    const QByteArray flash = bin.readAll();
    for (qsizetype i = 0; i < flash.size(); ++i)
        ASSERT_EQ(rig.box->Target().ReadFlash(uint32_t(i)), uint8_t(flash[i])) << i;
    // "EEPROM greeting" at EEPROM address 0.
    EXPECT_EQ(rig.box->Target().Eeprom()[0], 'E');
    EXPECT_EQ(rig.box->Target().Eeprom()[14], 'g');
#endif
}

// The write buttons without a usable file say what is wrong with it and
// send nothing: no file chosen, a file that is not there (named), one with
// no data for the memory (named, with the memory), with or without the
// erase before the FLASH write. The device is known, so the files are
// checked before the box is opened.
TEST(CommandsTest, WritesWithoutAUsableFileSayWhyAndTouchNothing) {
    const struct {
        int button;
        int fileBox;
        const char* file;  // "end": a HEX file of its end record alone
        bool erase;
        Cause cause;
        const char* memory;
    } rows[] = {
        {1003, ctl_id::kFlashFile, "", true, Cause::EmptyInput, ""},
        {1012, ctl_id::kEepromFile, "", false, Cause::EmptyInput, ""},
        {1003, ctl_id::kFlashFile, "/nonexistent/x.hex", true, Cause::File, ""},
        {1003, ctl_id::kFlashFile, "end", false, Cause::EmptyInput, "FLASH"},
        {1003, ctl_id::kFlashFile, "end", true, Cause::EmptyInput, "FLASH"},
        {1012, ctl_id::kEepromFile, "end", false, Cause::EmptyInput, "EEPROM"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.file) + " " + std::to_string(r.button));
        AppRig rig;
        ASSERT_TRUE(rig.Core().CheckDevice(true));
        rig.box->Target().Flash()[0] = 0x12;
        rig.box->Target().Eeprom()[0] = 0x34;
        const std::string path = std::string(r.file) == "end" ? rig.WriteHex("end.hex", {}) : r.file;
        rig.Model().SetText(r.fileBox, path);
        rig.Model().SetCheck(ctl_id::kFlashErase, r.erase);
        const int opens = rig.Opens();
        rig.Button(r.button)->click();
        const std::string said = path.empty()              ? std::string(text::kInputMissing)
                                 : *r.memory == '\0'       ? std::string(text::kFileOpenFailed) + ": " + path
                                                           : FormatText(text::kInputEmpty, path.c_str(), r.memory);
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{said});
        EXPECT_EQ(rig.Core().FirstFailure().cause, r.cause);
        EXPECT_EQ(rig.Opens(), opens);
        EXPECT_EQ(rig.box->Target().ReadFlash(0), 0x12);
        EXPECT_EQ(rig.box->Target().ReadEeprom(0), 0x34);
    }
}

// "Erase before write" loads the file first: a file that cannot be
// programmed is reported and the chip keeps what it holds.
TEST(CommandsTest, FlashWriteWithEraseOfAnUnusableFileErasesNothing) {
    const struct {
        const char* what;
        bool detectFirst;  // a device is known before the click
        const char* name;
        QByteArray content;
        const char* message;
        bool named;  // about the file as a whole, so naming it
    } rows[] = {
        {"not a data file", false, "t.hex", "hello\r\n", text::kFileUnrecognised, true},
        {"no end record", true, "n.hex", ":0400000001020304F2\r\n", text::kNoEndRecord, true},
        {"larger than the device", true, "big.bin", QByteArray(40000, '\x11'), text::kHexBeyondDevice, false},
    };
    for (const auto& r : rows) {
        AppRig rig;
        if (r.detectFirst) {
            ASSERT_TRUE(rig.Core().CheckDevice(true)) << r.what;
        }
        rig.box->Target().Flash()[400] = 0x00;
        const QString path = rig.dir.filePath(QString::fromLatin1(r.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(r.content);
        file.close();
        rig.Model().SetText(ctl_id::kFlashFile, path.toStdString());
        rig.Model().SetCheck(ctl_id::kFlashErase, true);
        const int opens = rig.Opens();
        rig.Button(1003)->click();
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{r.message + (r.named ? ": " + path.toStdString() : "")})
            << r.what;
        // The file is refused before anything is erased: for the device
        // known, before the box is opened; otherwise after the detection.
        EXPECT_EQ(rig.Opens(), opens + (r.detectFirst ? 0 : 1)) << r.what;
        EXPECT_EQ(rig.box->Target().ReadFlash(400), 0x00) << r.what;
    }
}

TEST(CommandsTest, FlashWriteWithEraseWhenTheWriterIsUnpluggedStopsBeforeTheErase) {
    AppRig rig("ATmega328P,fail=open:2");
    rig.Model().SetText(ctl_id::kFlashFile, rig.WriteHex("a.hex", Pattern(64)));
    rig.Model().SetCheck(ctl_id::kFlashErase, true);
    rig.box->Target().Flash()[0] = 0x12;
    rig.Button(1003)->click();
    // The detection before the erase finds no box: one message, nothing erased.
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].kind, MsgKind::Error);
    EXPECT_EQ(rig.messages.shown[0].text, text::kWriterNotFound);
    EXPECT_EQ(rig.Core().FirstFailure().cause, Cause::NoBox);
    EXPECT_EQ(rig.box->Target().ReadFlash(0), 0x12);
}

// The button runs the erase of the core, which asks first (a No is in
// tests/ops/FrameTest.cpp).
TEST(CommandsTest, EraseButtonAsksFirst) {
    AppRig rig;
    rig.box->Target().Flash()[0] = 0x12;
    rig.messages.answers = {Answer::Yes};
    rig.Button(1005)->click();
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kEraseConfirm, text::kEraseDone}));
    EXPECT_EQ(rig.box->Target().ReadFlash(0), 0xFF);
}

TEST(CommandsTest, SecondClickOfADoubleClickOnEepromWriteIsDropped) {
    AppRig rig;
    rig.Model().SetText(ctl_id::kEepromFile, rig.WriteHex("e.hex", Pattern(100)));
    rig.Model().SetCheck(ctl_id::kEepromVerify, false);
    QAbstractButton* write = rig.Button(1012);
    PostClick(write);  // the second click, queued while the first runs
    write->click();
    QApplication::processEvents();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kEepromWriteDone});
    // The job's detection and its write.
    EXPECT_EQ(rig.Opens(), 2);
    EXPECT_EQ(rig.box->Target().ReadEeprom(99), Pattern(100)[99]);
    // Once the command is over, a click runs again.
    write->click();
    EXPECT_EQ(rig.Opens(), 4);
}

TEST(CommandsTest, VerifyBoxClickedWhileAWriteRunsKeepsItsState) {
    AppRig rig;
    rig.Model().SetText(ctl_id::kFlashFile, rig.WriteHex("a.hex", Pattern(256)));
    rig.Model().SetCheck(ctl_id::kFlashVerify, false);
    QAbstractButton* verify = rig.Button(ctl_id::kFlashVerify);
    PostClick(verify);
    rig.Button(1003)->click();
    EXPECT_FALSE(verify->isChecked());
    EXPECT_FALSE(rig.Model().IsChecked(ctl_id::kFlashVerify));
    // The write ran without the verify the click would have asked for.
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashWriteDone});
    // Outside a command the click counts.
    PostClick(verify);
    QApplication::processEvents();
    EXPECT_TRUE(rig.Model().IsChecked(ctl_id::kFlashVerify));
}

TEST(CommandsTest, FuseAndLockValuesOfASettingFileAreWrittenAndVerified) {
    AppRig rig("ATmega8");
    const QString set = rig.dir.filePath(QStringLiteral("board.set"));
    QFile file(set);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Device]\r\nLastAVR=ATmega8\r\n"
               "[Fuse]\r\nFuseEnable=1\r\nFuseHigh=C9\r\nFuseLow=E4\r\nVerify=1\r\n"
               "[Lock]\r\nLockEnable=1\r\nLockBits=FC\r\nVerify=1\r\n");
    file.close();
    // Loaded from the settings dialog's button, as the user does it.
    QTimer::singleShot(0, rig.dlg.get(), [&] {
        auto* settingsDlg = qobject_cast<CDeviceDlg*>(QApplication::activeModalWidget());
        if (settingsDlg == nullptr) return;
        settingsDlg->SetFileAsker([&](QWidget*, bool save, const QString&, const QStringList&,
                                      SettingFileChoice& choice) {
            if (save) return false;
            choice = {set, 0};
            return true;
        });
        settingsDlg->Button(device_dlg::kLoadFile)->click();
        settingsDlg->close();
    });
    rig.Button(1057)->click();
    EXPECT_EQ(rig.DeviceList()->currentText(), QStringLiteral("ATmega8"));
    EXPECT_EQ(rig.dlg->Text(ctl_id::kHighEdit), QStringLiteral("C9"));
    ASSERT_TRUE(rig.Button(ctl_id::kFuseWrite)->isEnabled());
    ASSERT_TRUE(rig.Button(ctl_id::kLockWrite)->isEnabled());
    // The file's low fuse changes the clock source: asked, No unless the
    // user says Yes; the first click is declined, the second accepted.
    rig.messages.answers = {Answer::No};
    rig.Button(ctl_id::kFuseWrite)->click();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].kind, MsgKind::Question);
    EXPECT_EQ(rig.messages.shown[0].defaultAnswer, Answer::No);
    EXPECT_EQ(rig.Core().FirstFailure().cause, Cause::Cancelled);
    rig.messages.shown.clear();
    rig.messages.answers = {Answer::Yes};
    rig.Button(ctl_id::kFuseWrite)->click();
    rig.Button(ctl_id::kLockWrite)->click();
    ASSERT_EQ(rig.messages.shown.size(), 3u);
    EXPECT_EQ(rig.messages.shown[1].text, text::kFuseVerifyOk);
    EXPECT_EQ(rig.messages.shown[2].text, text::kLockVerifyOk);
    EXPECT_EQ(rig.box->Target().LockBits() & 0x03, 0x00);
}

TEST(CommandsTest, SettingsButtonRunsTheSettingsDialogUnderTheBusyGuard) {
    AppRig rig;
    QString seen;
    bool busyMeanwhile = false;
    QTimer::singleShot(0, rig.dlg.get(), [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        seen = QString::fromLatin1(modal->metaObject()->className());
        busyMeanwhile = rig.dlg->IsBusy();
        modal->close();
    });
    rig.Button(1057)->click();
    EXPECT_EQ(seen, QStringLiteral("oriole::CDeviceDlg"));
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_FALSE(rig.dlg->IsBusy());
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(CommandsTest, CloseBoxWhileACommandRunsIsIgnored) {
    AppRig rig;
    rig.Model().SetText(ctl_id::kEepromFile, rig.WriteHex("e.hex", Pattern(64)));
    rig.Model().SetCheck(ctl_id::kEepromVerify, false);
    QTimer::singleShot(0, rig.dlg.get(), [&] { rig.dlg->close(); });
    rig.Button(1012)->click();
    EXPECT_TRUE(rig.dlg->isVisible());
    EXPECT_FALSE(QFile::exists(rig.dlg->IniPath()));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kEepromWriteDone});
    EXPECT_TRUE(rig.dlg->close());
    EXPECT_TRUE(QFile::exists(rig.dlg->IniPath()));
}

TEST(CommandsTest, CancelledReadStopsAndEveryLaterCommandIsRefused) {
    AppRig rig;
    rig.ChooseDevice(QStringLiteral("ATmega328P"));
    bool hiddenAtOnce = false;
    int clicks = 0;
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<CProgressDlg*>(w);
            if (progress == nullptr || !progress->isVisible()) continue;
            progress->Button(CProgressDlg::kCancelId)->click();
            hiddenAtOnce = !progress->isVisible();
            ++clicks;
        }
    });
    presser.start(0);
    EXPECT_FALSE(rig.Core().ReadFlash(0, true));
    presser.stop();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(hiddenAtOnce);
    EXPECT_EQ(rig.Core().LinkState().m_nAbort, kAbortCancelled);
    EXPECT_EQ(ProgressWindowCount(), 0);  // the read destroyed its window
    EXPECT_TRUE(rig.Texts().empty());

    rig.Model().SetText(ctl_id::kEepromFile, rig.WriteHex("e.hex", Pattern(16)));
    rig.Model().SetCheck(ctl_id::kEepromVerify, false);
    const int opens = rig.Opens();
    rig.Button(1012)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kAbortedEarlier});
    EXPECT_EQ(rig.Opens(), opens + 1);  // opened, refused, B, closed
    EXPECT_NE(rig.box->Target().ReadEeprom(0), Pattern(16)[0]);
}

}  // namespace
}  // namespace oriole::test
