// The main window around the commands: start-up state, caption and About,
// Enter and Escape, the mirror of the control model, the device list and
// auto-detect, and what closing writes.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSysInfo>
#include <QTimer>

#include "AppRig.h"
#include "ops/DeviceList.h"
#include "views/KeyRepeatGuard.h"
#include "res/Texts.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(MainWindowTest, StartsWithAutoDetectTheListOnAutoAndTheValueButtonsOff) {
    AppRig rig;
    COrioleDlg& dlg = *rig.dlg;
    EXPECT_EQ(rig.DeviceList()->currentText(), Q(text::kAutoDetectList));
    EXPECT_TRUE(dlg.IsChecked(ctl_id::kAutoDetect));
    for (int id : {ctl_id::kFuseWrite, ctl_id::kFuseVerify, ctl_id::kLockWrite, ctl_id::kLockVerify,
                   ctl_id::kCalibWrite, ctl_id::kCalibVerify})
        EXPECT_FALSE(dlg.Control(id)->isEnabled()) << id;
    for (int id : {ctl_id::kExtEdit, ctl_id::kHighEdit, ctl_id::kLowEdit, ctl_id::kLockEdit,
                   ctl_id::kCalibFreq, ctl_id::kCalibValue, ctl_id::kCalibAddress})
        EXPECT_TRUE(dlg.LineEdit(id)->isReadOnly()) << id;
    EXPECT_EQ(dlg.Text(ctl_id::kCalibMemory), Q(text::kCalibrationWriteMemoryDefault));
    EXPECT_EQ(rig.Core().LinkState().m_nAbort, 0);
    EXPECT_FALSE(dlg.IsBusy());
    // The settings file's default clock, not the 0 Hz of before loading.
    EXPECT_EQ(rig.Core().LinkState().m_nSysFreq, 1000000u);
}

// The list shows the entries of the device list (sorted there) in its order,
// each with its row as item data.
TEST(MainWindowTest, ListShowsTheDeviceListWithRowsAsItemData) {
    AppRig rig;
    QComboBox* list = rig.DeviceList();
    const auto rows = DeviceListRows();
    ASSERT_EQ(list->count(), static_cast<int>(rows.size()));
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(list->itemData(i).toInt(), rows[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(list->itemText(i), DeviceListText(rows[static_cast<size_t>(i)])) << i;
    }
}

TEST(MainWindowTest, CaptionNamesVersionAndArchitecture) {
    AppRig rig;
    const QString caption = rig.dlg->windowTitle();
    EXPECT_TRUE(caption.startsWith(QStringLiteral("ORIOLE Ver.1.3.0.2 ("))) << caption.toStdString();
    if (QSysInfo::buildCpuArchitecture() == QStringLiteral("x86_64")) {
        EXPECT_EQ(caption, QStringLiteral("ORIOLE Ver.1.3.0.2 (x64)"));
    }
}

TEST(MainWindowTest, AboutEntryIsInTheContextMenuAndNamesTheWriter) {
    AppRig rig;
    ASSERT_NE(rig.dlg->AboutAction(), nullptr);
    EXPECT_EQ(rig.dlg->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(rig.dlg->actions().contains(rig.dlg->AboutAction()));
    EXPECT_EQ(rig.dlg->AboutAction()->text(), Q(text::kAboutMenu));
    const QString about = rig.dlg->AboutText();
    EXPECT_TRUE(about.contains(QStringLiteral("1.3.0.2")));
    EXPECT_TRUE(about.contains(QStringLiteral("AVR ライタ: auto"))) << about.toStdString();
}

TEST(MainWindowTest, EnterAndEscapeNeverCloseIt) {
    AppRig rig;
    COrioleDlg& dlg = *rig.dlg;
    dlg.setResult(-7);
    PressEnterAndEscape({&dlg, dlg.Control(ctl_id::kFlashFile), dlg.Control(ctl_id::kAutoDetect), rig.DeviceList()},
                        [&](QWidget*, int key) {
                            EXPECT_TRUE(dlg.isVisible()) << key;
                            EXPECT_EQ(dlg.result(), -7) << key;
                        });
    dlg.reject();
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(rig.Texts().empty());
}

// A held key: its repeats reach the focused operation button but never run
// it; a deliberate press does. Repeats come marked by Qt, or (as X11 sends
// them) as a release and a press with the same time stamp.
TEST(MainWindowTest, RepeatedKeysNeverStartAnOperation) {
    AppRig rig;
    GuardAgainstRepeatedKeys();
    QAbstractButton* detect = rig.Button(1046);  // "検出"
    detect->setFocus();
    struct Step {
        QEvent::Type type;
        Qt::Key key;
        bool autoRepeat;
        quint64 time;
        int opens;  // after the step
    };
    constexpr auto kPress = QEvent::KeyPress;
    constexpr auto kRelease = QEvent::KeyRelease;
    const Step steps[] = {
        {kPress, Qt::Key_Return, true, 0, 0},       // marked by Qt
        {kPress, Qt::Key_Return, false, 1000, 1},   // deliberate
        {kRelease, Qt::Key_Return, false, 1500, 1}, // X11's repeat: release ...
        {kPress, Qt::Key_Return, false, 1500, 1},   // ... and press at one time
        {kRelease, Qt::Key_Return, false, 1540, 1},
        {kPress, Qt::Key_Return, false, 1540, 1},
        {kRelease, Qt::Key_Return, false, 1580, 1}, // let go
        {kPress, Qt::Key_Return, false, 1900, 2},   // pressed again
        {kPress, Qt::Key_Enter, true, 1950, 2},     // the keypad's, held
        {kPress, Qt::Key_Space, false, 2000, 2},    // the space bar clicks on release
        {kRelease, Qt::Key_Space, false, 2500, 3},
        {kPress, Qt::Key_Space, false, 2500, 3},    // its repeats do not
        {kRelease, Qt::Key_Space, false, 2540, 3},
    };
    for (const Step& step : steps) {
        QKeyEvent key(step.type, step.key, step.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier,
                      QString(), step.autoRepeat);
        key.setTimestamp(step.time);
        QApplication::sendEvent(detect, &key);
        QApplication::processEvents();
        EXPECT_EQ(rig.Opens(), step.opens) << "key " << step.key << " at " << step.time;
    }
}

TEST(MainWindowTest, UserEditsReachTheModelAndModelChangesTheWidgets) {
    AppRig rig;
    QLineEdit* file = rig.dlg->LineEdit(ctl_id::kFlashFile);
    file->setFocus();
    file->insert(QStringLiteral("/tmp/a.hex"));  // as typed: emits textEdited
    EXPECT_EQ(rig.Model().Text(ctl_id::kFlashFile), "/tmp/a.hex");
    file->setCursorPosition(5);
    rig.Model().SetText(ctl_id::kFlashFile, "/tmp/a.hex");  // no change: caret stays
    EXPECT_EQ(file->cursorPosition(), 5);

    rig.Model().SetText(ctl_id::kHighEdit, "D9");
    rig.Model().Enable(ctl_id::kFuseWrite, true);
    rig.Model().SetCheck(ctl_id::kFuseVerify, true);
    rig.Model().SetText(ctl_id::kCalibMemory, text::kCalibEepromLabel);
    EXPECT_EQ(rig.dlg->Text(ctl_id::kHighEdit), QStringLiteral("D9"));
    EXPECT_TRUE(rig.dlg->Control(ctl_id::kFuseWrite)->isEnabled());
    EXPECT_TRUE(rig.dlg->IsChecked(ctl_id::kFuseVerify));
    EXPECT_EQ(rig.dlg->Text(ctl_id::kCalibMemory), Q(text::kCalibEepromLabel));
    // Labels the model does not own keep the resource's text.
    EXPECT_EQ(rig.dlg->Text(ctl_id::kHighLabel), QStringLiteral("High"));

    rig.Button(ctl_id::kFlashErase)->click();
    EXPECT_EQ(rig.Model().IsChecked(ctl_id::kFlashErase), rig.dlg->IsChecked(ctl_id::kFlashErase));
    rig.Button(ctl_id::kFlashVerify)->click();
    EXPECT_EQ(rig.Model().IsChecked(ctl_id::kFlashVerify), rig.dlg->IsChecked(ctl_id::kFlashVerify));
}

// The list's choice reaches the core, and the widgets show what the model
// enables and holds; which device enables what, and which choice clears the
// values, is checked on the model alone (tests/ops/FrameTest.cpp).
TEST(MainWindowTest, ChoosingInTheListSelectsTheDeviceAndTheWidgetsFollow) {
    AppRig rig;
    for (const char* device : {"AT90S1200", "ATmega48", "AT90S4433"}) {
        rig.ChooseDevice(QString::fromUtf8(device));
        EXPECT_EQ(rig.Core().DeviceRow(), FindDeviceByName(device));
        for (int id : {ctl_id::kExtEdit, ctl_id::kExtLabel, ctl_id::kHighEdit, ctl_id::kHighLabel,
                       ctl_id::kLowEdit, ctl_id::kLowLabel, ctl_id::kFuseDetails, ctl_id::kCalibFreqLabel,
                       ctl_id::kCalibFreq, ctl_id::kCalibValueLabel, ctl_id::kCalibValue, ctl_id::kCalibMemory,
                       ctl_id::kCalibAddress, ctl_id::kCalibDetails})
            EXPECT_EQ(rig.dlg->Control(id)->isEnabled(), rig.Model().IsEnabled(id)) << device << " " << id;
    }
    EXPECT_FALSE(rig.dlg->Control(ctl_id::kExtEdit)->isEnabled());
    EXPECT_TRUE(rig.dlg->Control(ctl_id::kLowEdit)->isEnabled());
    rig.Model().SetText(ctl_id::kLowEdit, "E2");
    rig.Model().Enable(ctl_id::kFuseWrite, true);
    rig.ChooseDevice(Q(text::kAutoDetectList));
    EXPECT_EQ(rig.Core().DeviceRow(), 0);
    EXPECT_EQ(rig.dlg->Text(ctl_id::kLowEdit), QString());
    EXPECT_FALSE(rig.dlg->Control(ctl_id::kFuseWrite)->isEnabled());
    EXPECT_TRUE(rig.dlg->Control(ctl_id::kLowEdit)->isEnabled());
}

TEST(MainWindowTest, UncheckingAutoDetectAsksAndNoKeepsItOn) {
    AppRig rig;
    QAbstractButton* box = rig.Button(ctl_id::kAutoDetect);
    rig.messages.answers = {Answer::No};
    box->click();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    const ShownMessage& asked = rig.messages.shown[0];
    EXPECT_EQ(asked.kind, MsgKind::Question);
    EXPECT_EQ(asked.text, text::kAutoDetectOff);
    EXPECT_EQ(asked.defaultAnswer, Answer::No);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(rig.Model().IsChecked(ctl_id::kAutoDetect));

    rig.messages.answers = {Answer::Yes};
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(rig.Model().IsChecked(ctl_id::kAutoDetect));
    // Checking it again asks nothing.
    box->click();
    EXPECT_TRUE(rig.Model().IsChecked(ctl_id::kAutoDetect));
    EXPECT_EQ(rig.messages.shown.size(), 2u);
}

TEST(MainWindowTest, ClosingWritesTheSettingsFile) {
    AppRig rig;
    rig.ChooseDevice(QStringLiteral("ATmega8"));
    rig.Model().SetText(ctl_id::kFlashFile, "blink.hex");
    ASSERT_TRUE(rig.dlg->close());
    EXPECT_FALSE(rig.dlg->isVisible());
    QFile ini(rig.dlg->IniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray bytes = ini.readAll();
    EXPECT_TRUE(bytes.startsWith("[Application]\r\n")) << bytes.left(40).toStdString();
    EXPECT_TRUE(bytes.contains("LastAVR=ATmega8\r\n"));
    EXPECT_TRUE(bytes.contains("File=blink.hex\r\n"));
    // Values stay out.
    EXPECT_TRUE(bytes.contains("Writer=auto\r\n"));
    EXPECT_FALSE(bytes.contains("FuseEnable"));
}

TEST(MainWindowTest, WriterOfTheRunIsUsedButTheSettingsKeepTheirOwn) {
    EnsureApp();
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ORIOLE.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Device]\r\nWriter=serial:/dev/ttyUSB7\r\n");
    file.close();
    ScriptedMessages messages;
    COrioleDlg::Options options;
    options.messages = &messages;
    options.iniPath = ini;
    options.writerSpec = "sim:ATmega8,fast";
    COrioleDlg dlg(std::move(options));
    EXPECT_EQ(dlg.Core().WriterSpec(), "sim:ATmega8,fast");
    std::string duringSettings;
    QTimer::singleShot(0, &dlg, [&] {
        duringSettings = dlg.Core().WriterSpec();
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    dlg.show();
    dlg.Button(1057)->click();
    EXPECT_EQ(duringSettings, "serial:/dev/ttyUSB7");
    EXPECT_EQ(dlg.Core().WriterSpec(), "sim:ATmega8,fast");
    dlg.Button(1046)->click();  // the run's simulated ATmega8 answers
    EXPECT_EQ(dlg.Core().DeviceRow(), FindDeviceByName("ATmega8"));
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_TRUE(dlg.close());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Writer=serial:/dev/ttyUSB7\r\n"));
}

// A folder with a hostile ORIOLE.ini whose writer names a working D2XX
// library (its loading leaves a mark): starting there and clicking 検出
// warns once, looks for the box with auto, loads nothing, and the file keeps
// its writer.
TEST(MainWindowTest, IniWriterNamingALibraryIsIgnored) {
    EnsureApp();
    QTemporaryDir dir;
    const QString mark = dir.filePath(QStringLiteral("mark"));
    qputenv("ORIOLE_FAKE_FTD2XX_MARK", mark.toLocal8Bit());
    const QString ini = dir.filePath(QStringLiteral("ORIOLE.ini"));
    const QByteArray line = "Writer=d2xx:" ORIOLE_FAKE_FTD2XX "\r\n";
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Device]\r\n" + line);
    file.close();
    ScriptedMessages messages;
    COrioleDlg::Options options;
    options.messages = &messages;
    options.iniPath = ini;
    COrioleDlg dlg(std::move(options));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Warning);
    EXPECT_NE(messages.shown[0].text.find(text::kFileWriterNamesLibrary), std::string::npos);
    EXPECT_EQ(dlg.Core().WriterSpec(), "auto");
    dlg.show();
    dlg.Button(1046)->click();
    EXPECT_EQ(messages.Texts().back(), text::kWriterNotFound);
    EXPECT_FALSE(QFile::exists(mark));
    ASSERT_TRUE(dlg.close());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("\r\n" + line));
    qunsetenv("ORIOLE_FAKE_FTD2XX_MARK");
}

TEST(MainWindowTest, SettingsComeBackAtTheNextStart) {
    QString iniPath;
    QTemporaryDir keep;
    {
        AppRig rig;
        iniPath = keep.filePath(QStringLiteral("ORIOLE.ini"));
        rig.ChooseDevice(QStringLiteral("ATmega8"));
        rig.Button(ctl_id::kFlashErase)->click();
        const bool erase = rig.Model().IsChecked(ctl_id::kFlashErase);
        ASSERT_TRUE(rig.dlg->close());
        ASSERT_TRUE(QFile::copy(rig.dlg->IniPath(), iniPath));
        COrioleDlg::Options options;
        ScriptedMessages messages;
        options.messages = &messages;
        options.iniPath = iniPath;
        COrioleDlg again(std::move(options));
        EXPECT_EQ(again.ComboBox(ctl_id::kDeviceList)->currentText(), QStringLiteral("ATmega8"));
        EXPECT_EQ(again.Core().DeviceRow(), FindDeviceByName("ATmega8"));
        EXPECT_EQ(again.IsChecked(ctl_id::kFlashErase), erase);
        EXPECT_TRUE(again.IsChecked(ctl_id::kAutoDetect));
    }
}

}  // namespace
}  // namespace oriole::test
