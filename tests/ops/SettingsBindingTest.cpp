// The settings file bound to the core: defaults, the file written from
// scratch, the device chosen by LastAVR, setting-file round trips and the
// spellings and lengths found in files written by hand.

#include "ops/SettingsBinding.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <tuple>

#include "base/FormatText.h"
#include "base/TextCodec.h"
#include "devices/Devices.h"
#include "ops/DeviceList.h"
#include "ops/MainWindowAdapter.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"
#include "settings/IniFile.h"
#include "settings/SettingsKeys.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class QuietHost : public IOperationHost {
public:
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer def) override {
        return recorder.ShowMessage(kind, text, def);
    }
    void PumpOneMessage() override {}
    void Sleep(std::chrono::milliseconds) override {}
    void ShowWaitCursor() override {}
    test::RecordingHost recorder;
};

// One main window's worth of state and its binding.
struct Window {
    Window() : core(host), binding(window, settings) {}
    void Select(const char* name) {
        const int row = FindDeviceByName(name);
        window.Controls().SelectListRow(row);
        window.SelectDevice(row);
    }
    QuietHost host;
    COrioleCore core;
    CMainWindowAdapter window{core};
    CMainSettings settings;
    CSettingsBinding binding;
};

class SettingsBindingTest : public testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray Read(const QString& path) const {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll();
    }
    QString Write(const char* name, const QString& text) const {
        const QString path = Path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ToShiftJis(text));
        return path;
    }
    QTemporaryDir dir;
};

constexpr int kVerifyBoxes[] = {ctl_id::kFlashErase, ctl_id::kFlashVerify, ctl_id::kEepromVerify,
                                ctl_id::kFuseVerify, ctl_id::kLockVerify,  ctl_id::kCalibVerify};

TEST_F(SettingsBindingTest, MissingFileGivesEveryDefault) {
    for (bool withValues : {false, true}) {
        Window w;
        // Start from anything but the defaults.
        w.Select("ATmega8");
        w.core.LinkState() = {0, 0, 3, 2, 5};
        for (int id : kVerifyBoxes) w.window.Controls().SetCheck(id, false);
        w.window.Controls().SetText(ctl_id::kHighEdit, "D9");
        w.window.Controls().Enable(ctl_id::kFuseWrite, true);
        w.window.Controls().Enable(ctl_id::kFuseVerify, true);
        w.settings.m_strFlashExt = "*.bin";
        w.settings.m_nAutoCheck = 0x7FF;

        w.binding.LoadSettings(Path("missing.ini"), withValues);

        EXPECT_EQ(w.window.Controls().ListSelection(), 0);
        EXPECT_EQ(w.core.DeviceRow(), 0);
        EXPECT_EQ(w.core.LinkState().m_nSysFreq, 1000000u);
        EXPECT_EQ(w.core.LinkState().m_nUsbTiming, 0);
        EXPECT_EQ(w.core.LinkState().m_nDataSpeed, 1);
        for (int id : kVerifyBoxes) EXPECT_TRUE(w.window.Controls().IsChecked(id)) << id;
        EXPECT_EQ(w.settings.m_nAutoCheck, 1u);
        EXPECT_EQ(w.settings.m_strFlashExt, "*.hex;*.srec;*.mot");
        EXPECT_EQ(w.settings.m_strEepromExt, "*.hex;*.srec;*.mot;*.eep");
        EXPECT_EQ(w.settings.m_strFuseExt, "*.fus");
        EXPECT_EQ(w.settings.m_strLockExt, "*.loc");
        EXPECT_EQ(w.settings.m_strWriterSpec, "auto");
        EXPECT_EQ(w.core.WriterSpec(), "auto");
        // Selecting "(auto)" clears the values; with them, the file's
        // (missing) values and enable states are the defaults too.
        EXPECT_EQ(w.window.Controls().Text(ctl_id::kHighEdit), "");
        EXPECT_FALSE(w.window.Controls().IsEnabled(ctl_id::kFuseWrite));
        EXPECT_FALSE(w.window.Controls().IsEnabled(ctl_id::kFuseVerify));
        EXPECT_EQ(w.window.Controls().Text(ctl_id::kCalibMemory), "保存先アドレス");
    }
}

TEST_F(SettingsBindingTest, FreshSettingsMatchTheMissingFile) {
    Window fresh;
    Window loaded;
    loaded.binding.LoadSettings(Path("missing.ini"), true);
    for (const SettingKey& key : SettingKeys()) {
        // Check boxes start as the window's initialisation leaves them.
        if (key.kind == SettingKind::Check) continue;
        EXPECT_EQ(fresh.binding.GetNumber(key.id), loaded.binding.GetNumber(key.id)) << key.name;
        EXPECT_EQ(fresh.binding.GetText(key.id), loaded.binding.GetText(key.id)) << key.name;
    }
}

// The first start (no file yet) leaves the window holding every default, so
// what it writes, with values or without, is the file of the table's
// defaults (spelled out in tests/settings/SettingsKeysTest.cpp).
TEST_F(SettingsBindingTest, FileWrittenFromScratchIsTheDefaultsFile) {
    Window w;
    w.binding.LoadSettings(Path("ORIOLE.ini"), false);
    for (bool withValues : {false, true}) {
        const QString path = Path(withValues ? "a.set" : "ORIOLE.ini");
        ASSERT_TRUE(w.binding.SaveSettings(path, withValues));
        CIniFile defaults;
        ASSERT_TRUE(WriteSettingDefaults(defaults, withValues));
        EXPECT_EQ(Read(path), defaults.Serialize()) << withValues;
    }
}

struct LastAvrCase {
    const char* stored;
    const char* selected;  // "(auto)" for row 0
};

TEST_F(SettingsBindingTest, LastAvrSelectsTheFirstEntryOfTheSortedList) {
    // ATmega644 and ATmega328P come first in the table, ATmega64 and
    // ATmega324P in the sorted list.
    const LastAvrCase cases[] = {
        {"ATmega8", "ATmega8"},   {"atMEGA8", "ATmega8"},        {"ATmega8515", "ATmega8515"},
        {"ATmega64", "ATmega64"}, {"ATmega32", "ATmega324P"},    {"AT90S", "AT90S1200"},
        {"ATmega48P", "ATmega48P/PA"}, {"(auto)", "(auto)"},     {"", "(auto)"},
    };
    for (const LastAvrCase& c : cases) {
        Window w;
        w.Select("ATtiny13");
        w.binding.SetText(SettingId::LastAvr, U(c.stored));
        const int row = w.window.Controls().ListSelection();
        EXPECT_EQ(DeviceListText(row), U(c.selected)) << c.stored;
        EXPECT_EQ(w.core.DeviceRow(), row) << c.stored;
        EXPECT_EQ(&w.core.Device(), &DeviceAt(row)) << c.stored;
        EXPECT_EQ(w.binding.GetText(SettingId::LastAvr), U(c.selected)) << c.stored;
    }
}

TEST_F(SettingsBindingTest, LastAvrNamingNoEntryLeavesTheSelection) {
    Window w;
    w.Select("ATmega8");
    w.window.Controls().SetText(ctl_id::kLowEdit, "E1");
    const QString path = Write("x.ini", U("[Device]\r\nLastAVR=PIC16F84\r\n"));
    w.binding.LoadSettings(path, false);
    EXPECT_EQ(w.window.Controls().ListSelection(), FindDeviceByName("ATmega8"));
    EXPECT_EQ(w.core.DeviceRow(), FindDeviceByName("ATmega8"));
    EXPECT_EQ(w.window.Controls().Text(ctl_id::kLowEdit), "E1");
}

TEST_F(SettingsBindingTest, SettingFileRoundTripsEveryKey) {
    Window a;
    a.Select("ATmega328P");
    a.core.LinkState().m_nSysFreq = 4000;
    a.core.LinkState().m_nUsbTiming = 3;
    a.core.LinkState().m_nDataSpeed = 2;
    a.settings.m_nWindowStyle = 1;
    a.settings.m_nAutoCheck = 0x155;
    a.settings.m_strWriterSpec = "sim:ATmega328P";
    a.settings.m_strFlashExt = "*.hex";
    a.settings.m_nFlashSaveFormat = 1;
    a.settings.m_strFlashSaveName = "/tmp/flash.mot";
    a.settings.m_nEepromSaveAll = 1;
    a.settings.m_strFuseFile = "/tmp/a.fus";
    a.settings.m_strLockSaveFile = "/tmp/b.loc";
    CMainControls& c = a.window.Controls();
    c.SetText(ctl_id::kFlashFile, "/home/u/ファーム.hex");
    c.SetCheck(ctl_id::kFlashErase, false);
    c.SetCheck(ctl_id::kEepromVerify, false);
    c.SetText(ctl_id::kExtEdit, "FD");
    c.SetText(ctl_id::kHighEdit, "D9");
    c.SetText(ctl_id::kLowEdit, "62");
    c.Enable(ctl_id::kFuseWrite, true);
    c.Enable(ctl_id::kFuseVerify, true);
    c.SetCheck(ctl_id::kFuseVerify, false);
    c.SetText(ctl_id::kLockEdit, "3F");
    c.Enable(ctl_id::kLockWrite, true);
    c.SetText(ctl_id::kCalibFreq, "8.0MHz");
    c.SetText(ctl_id::kCalibValue, "A5");
    c.SetText(ctl_id::kCalibMemory, "EEPROMアドレス");
    c.SetText(ctl_id::kCalibAddress, "01FF");
    const QString path = Path("board.set");
    a.settings.m_strSettingFile = path;
    ASSERT_TRUE(a.binding.SaveSettings(path, true));

    // The reading window has another device with values of its own; the
    // file's device is selected first and its values survive that.
    Window b;
    b.Select("ATmega8");
    b.window.Controls().SetText(ctl_id::kHighEdit, "C9");
    b.binding.LoadSettings(path, true);
    for (const SettingKey& key : SettingKeys()) {
        EXPECT_EQ(b.binding.GetNumber(key.id), a.binding.GetNumber(key.id)) << key.name;
        EXPECT_EQ(b.binding.GetText(key.id), a.binding.GetText(key.id)) << key.name;
    }
    EXPECT_EQ(b.core.DeviceRow(), FindDeviceByName("ATmega328P"));
    EXPECT_EQ(b.window.Controls().Text(ctl_id::kHighEdit), "D9");
    EXPECT_EQ(b.window.Controls().Text(ctl_id::kCalibMemory), "EEPROMアドレス");
    // An enable state switches the verify box beside the button too.
    EXPECT_TRUE(b.window.Controls().IsEnabled(ctl_id::kFuseVerify));
    EXPECT_TRUE(b.window.Controls().IsEnabled(ctl_id::kLockVerify));
    EXPECT_FALSE(b.window.Controls().IsEnabled(ctl_id::kCalibVerify));
    EXPECT_EQ(b.core.LinkState().m_nSysFreq, 4000u);
    EXPECT_EQ(b.settings.m_strSettingFile, path);

    // The label's memory is stored as the loaders read it, not the label.
    EXPECT_TRUE(Read(path).contains("WriteMemory=EEPROM\r\n"));
    // While the label names no memory, none is stored, and none comes back.
    a.window.ClearDeviceValues();
    ASSERT_TRUE(a.binding.SaveSettings(path, true));
    EXPECT_TRUE(Read(path).contains("WriteMemory=\r\n"));
    b.binding.LoadSettings(path, true);
    EXPECT_EQ(b.window.Controls().Text(ctl_id::kCalibMemory), text::kCalibrationWriteMemoryDefault);

    // Without the values, the same file leaves the shown values alone.
    Window d;
    d.Select("ATmega328P");
    d.window.Controls().SetText(ctl_id::kHighEdit, "C9");
    d.binding.LoadSettings(path, false);
    EXPECT_EQ(d.window.Controls().Text(ctl_id::kHighEdit), "C9");
    EXPECT_FALSE(d.window.Controls().IsEnabled(ctl_id::kFuseWrite));
}

TEST_F(SettingsBindingTest, KeysSpeltByHandAreFound) {
    Window w;
    w.Select("ATtiny13");
    const QString path = Write("hand.set", U("; written by hand\r\n[device]\r\nlastavr=attiny13\r\n"
                                             "[Fuse]\r\nSaveFile=C:\\avr\\f.fus\r\nMine=1\r\n"
                                             "[CALIBRATION]\r\ncalibrationenable=1\r\n"
                                             "calibrationfreq=9.6MHz\r\ncalibrationbyte=5B\r\n"
                                             "writememory=FLASHアドレス\r\nwriteaddress=03FF\r\n"));
    w.binding.LoadSettings(path, true);
    EXPECT_EQ(w.settings.m_strFuseSaveFile, U("C:\\avr\\f.fus"));
    EXPECT_EQ(w.window.Controls().Text(ctl_id::kCalibFreq), "9.6MHz");
    EXPECT_EQ(w.window.Controls().Text(ctl_id::kCalibValue), "5B");
    EXPECT_EQ(w.window.Controls().Text(ctl_id::kCalibMemory), "FLASHアドレス");
    EXPECT_EQ(w.window.Controls().Text(ctl_id::kCalibAddress), "03FF");
    EXPECT_TRUE(w.window.Controls().IsEnabled(ctl_id::kCalibWrite));
    EXPECT_TRUE(w.window.Controls().IsEnabled(ctl_id::kCalibVerify));

    // Saving into the same file keeps the hand-written spelling, the notes
    // and the keys of others.
    ASSERT_TRUE(w.binding.SaveSettings(path, true));
    const QString text = FromShiftJis(Read(path));
    EXPECT_TRUE(text.startsWith(U("; written by hand\r\n")));
    EXPECT_TRUE(text.contains(U("[Fuse]\r\nSaveFile=C:\\avr\\f.fus\r\nMine=1\r\n")));
    EXPECT_TRUE(text.contains(U("\r\ncalibrationfreq=9.6MHz\r\n")));
    EXPECT_FALSE(text.contains(U("CalibRationFreq")));
}

struct ClockCase {
    const char* stored;
    uint32_t clock;
};

TEST_F(SettingsBindingTest, ClockWithoutFiguresOrBelowOneHertzStartsAtTheDefault) {
    const ClockCase cases[] = {{"250000", 250000},    {"  4000Hz", 4000},     {"0", 1000000},
                               {"abc", 1000000},      {"-5", 1000000},        {"", 1000000},
                               {"99999999999", 2147483647u}};
    for (const ClockCase& c : cases) {
        Window w;
        w.binding.LoadSettings(Write("c.ini", U("[Device]\r\nSysFreq=") + U(c.stored) + U("\r\n")),
                               false);
        EXPECT_EQ(w.core.LinkState().m_nSysFreq, c.clock) << c.stored;
    }
}

TEST_F(SettingsBindingTest, LinkSettingsReachTheCore) {
    // Indices out of range are kept as read: the link clamps them.
    Window w;
    w.binding.LoadSettings(
        Write("r.ini", U("[Device]\r\nUSBTiming=9\r\nDataSpeed=7\r\nWriter=sim:ATmega8\r\n")),
        false);
    EXPECT_EQ(w.core.LinkState().m_nUsbTiming, 9);
    EXPECT_EQ(w.core.LinkState().m_nDataSpeed, 7);
    EXPECT_EQ(w.core.WriterSpec(), "sim:ATmega8");
    // An empty writer key is the default way to the writer.
    w.binding.LoadSettings(Write("e.ini", U("[Device]\r\nWriter=  \r\n")), false);
    EXPECT_EQ(w.core.WriterSpec(), "auto");
}

// A hostile settings file: its writer names a library (a working D2XX
// library, whose loading leaves a mark), a device that is no terminal, an
// overlong or a binary value. Loading it warns once and uses auto, no
// operation loads what it names or finds a box behind a device that is no
// terminal, and the file keeps its bytes when written back.
struct HostileWriterCase {
    QByteArray writer;   // the raw bytes after "Writer="
    const char* reason;  // nullptr: taken, but its port is opened only if a terminal
};

TEST_F(SettingsBindingTest, HostileWriterIsRefusedOnceAndKeptOnDisk) {
    const QByteArray fake = ORIOLE_FAKE_FTD2XX;
    const HostileWriterCase cases[] = {
        {"d2xx:" + fake, text::kFileWriterNamesLibrary},
        {"d2xx,sn=A1," + fake, text::kFileWriterNamesLibrary},
        {"d2xx:/" + QByteArray(400, 'a') + ".so", text::kFileWriterNamesLibrary},
        {"d2xx:\x01\x7f\xff\xfe\x81" + fake, text::kFileWriterNotAllowed},
        {"serial:/tmp/x/../../dev/null", text::kFileWriterNotDevice},
        {"\"d2xx:" + fake + "\"", text::kFileWriterNamesLibrary},
        {"serial:/dev/null", nullptr},
    };
    const QString mark = Path("mark");
    qputenv("ORIOLE_FAKE_FTD2XX_MARK", mark.toLocal8Bit());
    for (const bool setting : {false, true}) {
        for (const HostileWriterCase& c : cases) {
            SCOPED_TRACE(c.writer.left(40).toStdString() +
                         (setting ? " (setting file)" : " (INI)"));
            const QByteArray line = "Writer=" + c.writer + "\r\n";
            const QString path = Path(setting ? "hostile.set" : "ORIOLE.ini");
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("[Device]\r\n" + line + "[FLASH]\r\nFile=C:\\x.hex\r\n");
            f.close();

            Window w;
            w.binding.LoadSettings(path, setting);
            const auto& said = w.host.recorder.messages;
            if (c.reason != nullptr && said.size() != 1) {
                ADD_FAILURE() << said.size() << " messages instead of one warning";
            } else if (c.reason != nullptr) {
                EXPECT_EQ(said[0].kind, MsgKind::Warning);
                EXPECT_NE(said[0].text.find(c.reason), std::string::npos) << said[0].text;
                EXPECT_EQ(said[0].text.find('\x01'), std::string::npos);
                EXPECT_EQ(w.core.WriterSpec(), "auto");
            } else {
                EXPECT_TRUE(said.empty());
            }

            // The first operation makes the driver and opens the link.
            w.window.Controls().SetCheck(ctl_id::kAutoDetect, true);
            EXPECT_FALSE(w.core.CheckDevice(false));
            EXPECT_EQ(w.host.recorder.Texts().back(), text::kWriterNotFound);
            EXPECT_FALSE(QFile::exists(mark)) << "the library was loaded";

            ASSERT_TRUE(w.binding.SaveSettings(path, setting));
            const QByteArray saved = Read(path);
            EXPECT_TRUE(saved.contains("\r\n" + line)) << saved.toStdString();
            EXPECT_EQ(saved.count("Writer="), 1);
        }
    }
    qunsetenv("ORIOLE_FAKE_FTD2XX_MARK");
}

// A settings file refused on reading is said once, at the load, and its
// save is refused without a second word; a setting file saved where it
// cannot go says why.
TEST_F(SettingsBindingTest, RefusedFilesAreSaidOnceAndNeverWrittenOver) {
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("fifo.set")).constData(), 0600), 0);
    QFile big(Path("ORIOLE.ini"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(CIniFile::kMaxFileSize + 1));
    big.close();
    const struct {
        const char* name;
        const char* message;
        bool loadFirst;  // ORIOLE.ini: loaded at the start, saved at the end
        bool named;      // the message names the file after it
    } cases[] = {
        {"ORIOLE.ini", text::kSettingsTooLarge, true, false},
        {"fifo.set", text::kSettingsNotRegular, false, false},
        {"missing/a.set", text::kFileCreateFailed, false, true},
        {"missing/ORIOLE.ini", text::kFileCreateFailed, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        const QFileInfo before(path);
        Window w;
        if (c.loadFirst) w.binding.LoadSettings(path, false);
        EXPECT_FALSE(w.binding.SaveSettings(path, !c.loadFirst && !path.endsWith("ORIOLE.ini")));
        const std::string said = c.named ? std::string(c.message) + ": " + path.toStdString()
                                         : FormatText(c.message, path.toUtf8().constData());
        EXPECT_EQ(w.host.recorder.Texts(), std::vector<std::string>{said});
        const QFileInfo after(path);
        EXPECT_EQ(std::tuple(after.exists(), after.isFile(), after.size(), after.lastModified()),
                  std::tuple(before.exists(), before.isFile(), before.size(), before.lastModified()));
    }
}

TEST(DeviceListTest, RowsAreAutoThenEveryDeviceSortedByName) {
    const auto rows = DeviceListRows();
    ASSERT_EQ(rows.size(), size_t{kDeviceCount} + 1);
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(DeviceListText(0), U(text::kAutoDetectList));
    std::vector<bool> seen(kDeviceCount + 1, false);
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_GE(rows[i], 1);
        ASSERT_LE(rows[i], kDeviceCount);
        EXPECT_EQ(DeviceListText(rows[i]), U(DeviceAt(rows[i]).name));
        EXPECT_FALSE(seen[size_t(rows[i])]);
        seen[size_t(rows[i])] = true;
        if (i > 1) {
            EXPECT_LT(DeviceListText(rows[i - 1]).compare(DeviceListText(rows[i]), Qt::CaseInsensitive),
                      0);
        }
    }
    EXPECT_EQ(FindDeviceListEntry(U("no such")), -1);
}

}  // namespace
}  // namespace oriole
