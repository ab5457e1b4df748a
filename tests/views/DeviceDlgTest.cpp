// The settings dialog on the offscreen platform: the clock list, the slider
// and its scale, the hidden data-speed radios, the patterns, the window
// look, setting files through the real settings binding, and the keys that
// must not close it.

#include "views/DeviceDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>

#include "QtApp.h"
#include "link/LinkState.h"
#include "ops/MainSettings.h"
#include "ops/MainWindowAdapter.h"
#include "ops/OrioleCore.h"
#include "ops/SettingsBinding.h"
#include "support/RecordingHost.h"
#include "views/BitDlg.h"
#include "views/ClockTable.h"

namespace oriole {
namespace {

using namespace device_dlg;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

void Press(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

class DeviceDlgTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }

    // A dialog over `settings` and `link` whose file dialog is never shown.
    std::unique_ptr<CDeviceDlg> Open(SettingFileCalls calls = {}) {
        auto dlg = std::make_unique<CDeviceDlg>(settings, link, std::move(calls));
        dlg->SetFileAsker([](QWidget*, bool, const QString&, const QStringList&, SettingFileChoice&) {
            ADD_FAILURE() << "file dialog asked for";
            return false;
        });
        return dlg;
    }

    CMainSettings settings;
    CLinkState link;
};

TEST_F(DeviceDlgTest, ClockListShowsTheClockWithoutChangingIt) {
    link.m_nSysFreq = 1000000;
    auto dlg = Open();
    QComboBox* clocks = dlg->ComboBox(kClockList);
    ASSERT_EQ(clocks->count(), 28);
    for (int i = 0; i < clocks->count(); ++i) {
        EXPECT_EQ(clocks->itemText(i), U(ClockTable[size_t(i)].text));
        EXPECT_EQ(clocks->itemData(i).toUInt(), ClockTable[size_t(i)].hz);
    }
    EXPECT_EQ(clocks->currentText(), "1MHz");

    link.m_nSysFreq = 4000;
    dlg->ShowSettings();
    EXPECT_EQ(clocks->currentText(), "4KHz");

    // Not in the table: the list shows "1MHz", the clock stays until a pick.
    link.m_nSysFreq = 250000;
    dlg->ShowSettings();
    EXPECT_EQ(clocks->currentText(), "1MHz");
    EXPECT_EQ(link.m_nSysFreq, 250000u);
    Press(clocks, Qt::Key_Down);
    EXPECT_EQ(link.m_nSysFreq, 900000u);
}

TEST_F(DeviceDlgTest, ClockAndLookAreTakenAtOnceAndCancelKeepsThem) {
    auto dlg = Open();
    QComboBox* clocks = dlg->ComboBox(kClockList);
    clocks->setCurrentIndex(23);  // "5KHz", set by code: no pick
    EXPECT_EQ(link.m_nSysFreq, 1000000u);
    Press(clocks, Qt::Key_Down);  // the user moves on to "4KHz"
    EXPECT_EQ(link.m_nSysFreq, 4000u);

    dlg->Button(kPlatformLook)->click();
    EXPECT_EQ(settings.m_nWindowStyle, 1);
    dlg->Slider(kUsbTiming)->setValue(4);
    dlg->LineEdit(kFlashPatterns)->setText("*.bin");

    // The hidden Cancel: result 1, nothing of the dialog's controls taken,
    // but the clock and the look stay as chosen.
    dlg->show();
    dlg->Button(kCancel)->click();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 1);
    EXPECT_EQ(link.m_nSysFreq, 4000u);
    EXPECT_EQ(settings.m_nWindowStyle, 1);
    EXPECT_EQ(link.m_nUsbTiming, 0);
    EXPECT_EQ(settings.m_strFlashExt, "*.hex;*.srec;*.mot");
}

TEST_F(DeviceDlgTest, WindowLookRadios) {
    for (int style : {0, 1, 2}) {
        settings.m_nWindowStyle = style;
        auto dlg = Open();
        EXPECT_EQ(dlg->IsChecked(kClassicLook), style == 0) << style;
        EXPECT_EQ(dlg->IsChecked(kPlatformLook), style != 0) << style;
        dlg->Button(kClassicLook)->click();
        EXPECT_EQ(settings.m_nWindowStyle, 0);
    }
}

struct TimingCase {
    int32_t stored;
    int shown;
};

TEST_F(DeviceDlgTest, SliderShowsAndTakesTheUsbTiming) {
    for (const TimingCase c : {TimingCase{0, 0}, {3, 3}, {5, 5}, {9, 5}, {-2, 0}}) {
        link.m_nUsbTiming = c.stored;
        auto dlg = Open();
        QSlider* slider = dlg->Slider(kUsbTiming);
        EXPECT_EQ(slider->minimum(), 0);
        EXPECT_EQ(slider->maximum(), 5);
        EXPECT_EQ(slider->pageStep(), 1);
        EXPECT_EQ(slider->value(), c.shown) << c.stored;
        EXPECT_EQ(link.m_nUsbTiming, c.stored);  // taken only on close
        dlg->Button(kClose)->click();
        EXPECT_EQ(link.m_nUsbTiming, c.shown) << c.stored;
    }
    auto dlg = Open();
    Press(dlg->Slider(kUsbTiming), Qt::Key_Right);
    Press(dlg->Slider(kUsbTiming), Qt::Key_Right);
    dlg->Button(kClose)->click();
    EXPECT_EQ(link.m_nUsbTiming, 2);
    EXPECT_EQ(dlg->result(), 0);
}

struct SpeedCase {
    int32_t stored;
    int radio;
    int32_t closed;
};

TEST_F(DeviceDlgTest, HiddenDataSpeedRadiosPassTheSpeedThrough) {
    // Outside 1..4 the last radio is checked, so closing makes it 4.
    const SpeedCase cases[] = {{1, 1169, 1}, {2, 1170, 2}, {3, 1171, 3},
                               {4, 1172, 4}, {7, 1172, 4}, {0, 1172, 4}, {-1, 1172, 4}};
    for (const SpeedCase& c : cases) {
        link.m_nDataSpeed = c.stored;
        auto dlg = Open();
        for (int id = 1169; id <= 1172; ++id) {
            EXPECT_TRUE(dlg->Control(id)->isHidden()) << id;
            EXPECT_EQ(dlg->IsChecked(id), id == c.radio) << c.stored << " radio " << id;
        }
        dlg->Button(kClose)->click();
        EXPECT_EQ(link.m_nDataSpeed, c.closed) << c.stored;
    }
}

TEST_F(DeviceDlgTest, PatternsAreShownAndTakenOnClose) {
    settings.m_strFuseExt = "*.fus;*.txt";
    auto dlg = Open();
    EXPECT_EQ(dlg->Text(kFlashPatterns), "*.hex;*.srec;*.mot");
    EXPECT_EQ(dlg->Text(kEepromPatterns), "*.hex;*.srec;*.mot;*.eep");
    EXPECT_EQ(dlg->Text(kFusePatterns), "*.fus;*.txt");
    EXPECT_EQ(dlg->Text(kLockPatterns), "*.loc");
    const int boxes[] = {kFlashPatterns, kEepromPatterns, kFusePatterns, kLockPatterns};
    for (int id : boxes) dlg->LineEdit(id)->setText(QString::number(id));
    dlg->show();
    dlg->close();  // the close box takes them like "閉じる"
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), 0);
    EXPECT_EQ(settings.m_strFlashExt, "1126");
    EXPECT_EQ(settings.m_strEepromExt, "1127");
    EXPECT_EQ(settings.m_strFuseExt, "1146");
    EXPECT_EQ(settings.m_strLockExt, "1147");
}

// Counts the key presses that reach a widget.
class KeyCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) ++presses;
        return false;
    }
    int presses = 0;
};

TEST_F(DeviceDlgTest, EnterAndEscapeDoNotClose) {
    auto dlg = Open();
    dlg->show();
    KeyCounter counter;
    dlg->installEventFilter(&counter);
    for (int id : {kFlashPatterns, kClockList, kUsbTiming}) {
        dlg->Control(id)->setFocus();
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)}) {
            const int before = counter.presses;
            Press(dlg->Control(id), key);
            EXPECT_EQ(counter.presses, before + 1) << "the key reached the dialog: " << id;
            EXPECT_TRUE(dlg->isVisible()) << id << " key " << key;
        }
    }
    EXPECT_EQ(link.m_nUsbTiming, 0);
}

// A setting file and a fuse or lock file follow one rule: the extension is
// added only with the pattern filter, to a name that has none.
TEST(FileExtensionTest, AddedOnlyWithThePatternFilterToNamesWithoutExtension) {
    const struct {
        const char* chosen;
        bool patternFilter;
        bool added;
    } cases[] = {
        {"/home/u/board", true, true},        {"/home/u/board", false, false},
        {"/home/u/board.ini", true, false},   {"/home/u/v1.2/board", true, true},  // a dot in the folder
        {"/home/u/board.", true, false},      {"/home/u/.board", true, false},
        {"/home/u/", true, false},
    };
    for (const auto& c : cases) {
        const QString chosen = U(c.chosen);
        EXPECT_EQ(WithSettingFileExtension(chosen, c.patternFilter), c.added ? chosen + ".set" : chosen) << c.chosen;
        EXPECT_EQ(WithBitFileExtension(chosen, c.patternFilter, QStringLiteral(".fus")),
                  c.added ? chosen + ".fus" : chosen)
            << c.chosen;
    }
}

// A quiet host for the core behind the binding.
class NoHost : public IOperationHost {
public:
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer def) override {
        return recorder.ShowMessage(kind, text, def);
    }
    void PumpOneMessage() override {}
    void Sleep(std::chrono::milliseconds) override {}
    void ShowWaitCursor() override {}
    test::RecordingHost recorder;
};

// The main window's side of setting files: the real binding on a core.
class SettingFileTest : public DeviceDlgTest {
protected:
    SettingFileTest() : core(host), binding(window, settings) {}

    std::unique_ptr<CDeviceDlg> OpenBound() {
        auto dlg = std::make_unique<CDeviceDlg>(
            settings, core.LinkState(),
            SettingFileCalls{[this](const QString& p) { binding.LoadSettings(p, true); },
                             [this](const QString& p) { (void)binding.SaveSettings(p, true); }});
        dlg->SetFileAsker([this](QWidget*, bool save, const QString& folder,
                                 const QStringList& filters, SettingFileChoice& choice) {
            asked.push_back({save, folder, filters});
            if (answers.empty()) return false;
            choice = answers.front();
            answers.erase(answers.begin());
            return true;
        });
        return dlg;
    }
    QByteArray Read(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    struct Ask {
        bool save;
        QString folder;
        QStringList filters;
    };
    NoHost host;
    COrioleCore core;
    CMainWindowAdapter window{core};
    CSettingsBinding binding;
    QTemporaryDir dir;
    std::vector<SettingFileChoice> answers;
    std::vector<Ask> asked;
};

TEST_F(SettingFileTest, SavingTakesTheControlsAndAddsSetWithItsFilter) {
    auto dlg = OpenBound();
    dlg->Slider(kUsbTiming)->setValue(3);
    dlg->LineEdit(kLockPatterns)->setText("*.lck");
    const QString base = dir.filePath("board");
    answers.push_back({base, 0});
    dlg->Button(kSaveFile)->click();

    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].save);
    EXPECT_EQ(asked[0].folder, QDir::homePath());  // no setting file yet
    EXPECT_EQ(asked[0].filters, QStringList({U("設定ファイル (*.set)"), U("すべてのファイル (*)")}));
    EXPECT_EQ(settings.m_strSettingFile, base + ".set");
    EXPECT_EQ(core.LinkState().m_nUsbTiming, 3);  // committed before the save
    const QByteArray file = Read(base + ".set");
    EXPECT_TRUE(file.contains("\r\nUSBTiming=3\r\n"));
    EXPECT_TRUE(file.contains("[Lock]\r\nLockEnable=0\r\nLockBits=\r\nFileExtension=*.lck\r\n"));
    EXPECT_TRUE(file.contains(("\r\nSettingFile=" + base + ".set\r\n").toUtf8()));
    EXPECT_FALSE(QFile::exists(base));

    // With the other filter the name is taken as typed; the next dialog
    // starts in the setting file's folder.
    answers.push_back({dir.filePath("plain"), 1});
    dlg->Button(kSaveFile)->click();
    EXPECT_EQ(asked[1].folder, dir.path());
    EXPECT_TRUE(QFile::exists(dir.filePath("plain")));
}

TEST_F(SettingFileTest, LoadingShowsTheFileAndCloseKeepsIt) {
    const QString path = dir.filePath("board.set");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Application]\r\nWindowStyle=1\r\n[Device]\r\nLastAVR=ATmega8\r\nSysFreq=4000\r\n"
            "USBTiming=2\r\nDataSpeed=3\r\n[FLASH]\r\nFileExtension=*.ihx\r\n"
            "[Fuse]\r\nFuseEnable=1\r\nFuseHigh=D9\r\n");
    f.close();

    auto dlg = OpenBound();
    answers.push_back({path, 0});
    dlg->Button(kLoadFile)->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].save);
    EXPECT_EQ(dlg->ComboBox(kClockList)->currentText(), "4KHz");
    EXPECT_EQ(dlg->Slider(kUsbTiming)->value(), 2);
    EXPECT_TRUE(dlg->IsChecked(1171));
    EXPECT_EQ(dlg->Text(kFlashPatterns), "*.ihx");
    EXPECT_TRUE(dlg->IsChecked(kPlatformLook));
    // The file's own SettingFile value (none) replaces the chosen path.
    EXPECT_EQ(settings.m_strSettingFile, "");
    EXPECT_EQ(core.DeviceRow(), FindDeviceByName("ATmega8"));
    EXPECT_EQ(window.Controls().Text(ctl_id::kHighEdit), "D9");
    EXPECT_TRUE(window.Controls().IsEnabled(ctl_id::kFuseWrite));

    dlg->Button(kClose)->click();
    EXPECT_EQ(core.LinkState().m_nUsbTiming, 2);
    EXPECT_EQ(core.LinkState().m_nDataSpeed, 3);
    EXPECT_EQ(core.LinkState().m_nSysFreq, 4000u);
    EXPECT_EQ(settings.m_strFlashExt, "*.ihx");
    EXPECT_EQ(settings.m_nWindowStyle, 1);
}

TEST_F(SettingFileTest, CancelledFileDialogChangesNothing) {
    settings.m_strSettingFile = dir.filePath("old.set");
    auto dlg = OpenBound();
    dlg->Slider(kUsbTiming)->setValue(4);
    dlg->Button(kLoadFile)->click();
    dlg->Button(kSaveFile)->click();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].folder, dir.path());
    EXPECT_EQ(settings.m_strSettingFile, dir.filePath("old.set"));
    EXPECT_EQ(core.LinkState().m_nUsbTiming, 0);  // a cancelled save commits nothing
    EXPECT_FALSE(QFile::exists(dir.filePath("old.set")));
}

}  // namespace
}  // namespace oriole
