// The calibration dialog on the simulated box: the frequency list and the
// index the read sends, the key filter of its boxes, the write's range check
// and refusal, the verify, and what each way of closing hands back.

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <tuple>

#include "AppRig.h"
#include "ModalDialog.h"
#include "base/FormatText.h"
#include "res/Texts.h"
#include "views/CalibDlg.h"

namespace oriole::test {
namespace {

constexpr int kList = 1134;
constexpr int kValue = 1135;
constexpr int kAddress = 1136;
constexpr int kFlashRadio = 1137;
constexpr int kEepromRadio = 1138;
constexpr int kRead = 1056;
constexpr int kWrite = 1057;
constexpr int kVerify = 1159;
constexpr int kReturn = 1141;
constexpr int kCancel = 1142;

void Type(QWidget* edit, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

QStringList Items(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
    return out;
}

// The host's sends, one line each, that begin with this command byte.
int SentCommands(const AppRig& rig, const char* command) {
    int n = 0;
    for (const std::string& line : rig.box->Transcript().Lines())
        if (line.starts_with(std::string("> ") + command)) ++n;
    return n;
}

// A dialog of its own over the main window, on the detected device.
struct CalibRig : AppRig {
    explicit CalibRig(const std::string& device) : AppRig(device) {
        EXPECT_TRUE(Core().CheckDevice(true));
        calib = std::make_unique<CCalibDlg>(Window(), dlg.get());
        calib->show();
        box->Transcript().Clear();
    }
    void Set(int memoryRadio, const char* value, const char* address) {
        calib->SetChecked(memoryRadio, true);
        calib->SetText(kValue, QString::fromUtf8(value));
        calib->SetText(kAddress, QString::fromUtf8(address));
        messages.shown.clear();
        box->Transcript().Clear();
    }
    std::unique_ptr<CCalibDlg> calib;
};

TEST(CalibDlgTest, ListOfTheDetectedDeviceAndTheIndexTheReadSends) {
    AppRig rig("ATmega8");
    ASSERT_EQ(rig.Core().DeviceRow(), 0);
    const bool ran = WithModal<CCalibDlg>(rig.Button(ctl_id::kCalibDetails), [&](CCalibDlg& d) {
        // Opening detected the device (auto-detect on, none known yet).
        EXPECT_EQ(rig.Core().DeviceRow(), FindDeviceByName("ATmega8"));
        EXPECT_EQ(Items(d.ComboBox(kList)), (QStringList{"1.0MHz", "2.0MHz", "4.0MHz", "8.0MHz"}));
        EXPECT_EQ(d.ComboBox(kList)->currentIndex(), 0);
        d.ComboBox(kList)->setCurrentIndex(d.ComboBox(kList)->findText(QStringLiteral("4.0MHz")));
        rig.box->Transcript().Clear();
        d.Button(kRead)->click();
        const uint8_t expected = rig.box->Target().Calibration(2);
        EXPECT_EQ(SentCommands(rig, "4F 02"), 1);
        EXPECT_EQ(SentCommands(rig, "4F"), 1);
        EXPECT_EQ(d.Text(kValue), QString::asprintf("%02X", expected));
        d.Button(kReturn)->click();
    });
    ASSERT_TRUE(ran);
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_EQ(rig.Model().Text(ctl_id::kCalibFreq), "4.0MHz");
}

// A device without a calibration byte has an empty list, and its read is
// refused before the read command is sent.
TEST(CalibDlgTest, ListsFollowTheDeviceAndAnEmptyListReadsNothing) {
    struct Row {
        const char* device;
        QStringList items;
        const char* sent;
    };
    const Row rows[] = {
        {"ATtiny2313", {"8.0MHz", "4.0MHz"}, "4F 00"},
        {"ATtiny13", {"9.6MHz/4.8MHz"}, "4F 00"},
        {"AT90S2313", {}, nullptr},
    };
    for (const Row& row : rows) {
        CalibRig rig(row.device);
        EXPECT_EQ(Items(rig.calib->ComboBox(kList)), row.items) << row.device;
        rig.calib->Button(kRead)->click();
        EXPECT_EQ(SentCommands(rig, row.sent ? row.sent : "4F"), row.sent ? 1 : 0) << row.device;
        const std::vector<std::string> refused{
            FormatText(text::kMemoryMissing, row.device, text::kMemoryCalibration)};
        EXPECT_EQ(rig.Texts(), row.sent ? std::vector<std::string>{} : refused) << row.device;
    }
}

TEST(CalibDlgTest, ValueAndAddressBoxesTakeTwoAndFiveHexFigures) {
    CalibRig rig("ATmega8");
    QLineEdit* value = rig.calib->LineEdit(kValue);
    QLineEdit* address = rig.calib->LineEdit(kAddress);
    value->clear();
    address->clear();
    Type(value, QStringLiteral("1a7"));
    Type(address, QStringLiteral("0x1fffff"));
    EXPECT_EQ(value->text(), QStringLiteral("1A"));
    EXPECT_EQ(address->text(), QStringLiteral("01FFF"));
    // A character typed over a selection replaces it, whatever the limit.
    value->selectAll();
    Type(value, QStringLiteral("c"));
    EXPECT_EQ(value->text(), QStringLiteral("C"));
}

TEST(CalibDlgTest, WriteRefusesAddressesBeyondTheMemoryBeforeOpeningTheLink) {
    struct Row {
        int radio;
        const char* address;
    };
    // ATmega8: 8 KB of FLASH, 512 bytes of EEPROM.
    const Row rows[] = {{kFlashRadio, "2000"}, {kEepromRadio, "200"}};
    CalibRig rig("ATmega8");
    for (const Row& row : rows) {
        rig.Set(row.radio, "5A", row.address);
        const int opens = rig.Opens();
        rig.calib->Button(kWrite)->click();
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kAddressBeyondDevice}) << row.address;
        EXPECT_EQ(rig.Opens(), opens) << row.address;
    }
}

TEST(CalibDlgTest, FlashByteThatCannotTakeTheValueIsRefusedAndNothingIsWritten) {
    CalibRig rig("ATmega8");
    rig.box->Target().Flash()[0x101] = 0x00;
    rig.Set(kFlashRadio, "01", "101");
    rig.calib->Button(kWrite)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kCalibNotWritable});
    EXPECT_EQ(SentCommands(rig, "46"), 0);  // no page went out
    EXPECT_EQ(rig.box->Target().Flash()[0x101], 0x00);

    // An erased byte takes it; the page write keeps its neighbours.
    rig.box->Target().Flash()[0x100] = 0x12;
    rig.Set(kFlashRadio, "A5", "103");
    rig.calib->Button(kWrite)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kCalibWriteDone});
    EXPECT_EQ(rig.box->Target().Flash()[0x103], 0xA5);
    EXPECT_EQ(rig.box->Target().Flash()[0x100], 0x12);
}

TEST(CalibDlgTest, EepromWriteNeverRefusesAndVerifyReportsBothWays) {
    CalibRig rig("ATmega8");
    rig.box->Target().Eeprom()[0x10] = 0x00;  // an EEPROM byte is replaced
    rig.Set(kEepromRadio, "5A", "10");
    rig.calib->Button(kWrite)->click();
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kCalibWriteDone});
    EXPECT_EQ(rig.box->Target().ReadEeprom(0x10), 0x5A);

    // OK is an information, ERROR a warning.
    for (const char* value : {"5A", "5B"}) {
        rig.Set(kEepromRadio, value, "10");
        rig.calib->Button(kVerify)->click();
        const bool equal = value == std::string("5A");
        ASSERT_EQ(rig.messages.shown.size(), 1u) << value;
        EXPECT_EQ(rig.messages.shown[0].kind, equal ? MsgKind::Information : MsgKind::Warning);
        EXPECT_EQ(rig.messages.shown[0].text,
                  FormatText(text::kCalibVerify, equal ? text::kCalibOk : text::kCalibError));
    }

    // An empty box: the commands say which, as the main window's write
    // does, and send nothing.
    const int opens = rig.Opens();
    for (const auto& [value, address, said] : {std::tuple{"", "10", text::kCalibValueMissing},
                                                std::tuple{"A5", "", text::kCalibAddressMissing}}) {
        rig.Set(kEepromRadio, value, address);
        rig.calib->Button(kWrite)->click();
        rig.calib->Button(kVerify)->click();
        EXPECT_EQ(rig.Texts(), (std::vector<std::string>{said, said}));
    }
    EXPECT_EQ(rig.Opens(), opens);
}

TEST(CalibDlgTest, EachWayOfClosingHandsBackOrNot) {
    enum class How { Return, Cancel, CloseBox, Escape };
    struct Row {
        How how;
        bool copied;
        bool enabled;  // the main window's calibration write and verify box
    };
    const Row rows[] = {
        {How::Return, true, true},
        {How::Cancel, false, false},
        {How::CloseBox, false, true},
        {How::Escape, false, false},
    };
    for (const Row& row : rows) {
        AppRig rig("ATtiny2313");
        // Detected first: a newly found device empties the calibration fields.
        ASSERT_TRUE(rig.Core().CheckDevice(true));
        CMainControls& main = rig.Model();
        main.SetText(ctl_id::kCalibFreq, "4.0");
        main.SetText(ctl_id::kCalibValue, "3C");
        main.SetText(ctl_id::kCalibAddress, "7F");
        main.SetText(ctl_id::kCalibMemory, text::kCalibEepromLabel);
        ASSERT_FALSE(main.IsEnabled(ctl_id::kCalibWrite));
        const bool ran = WithModal<CCalibDlg>(rig.Button(ctl_id::kCalibDetails), [&](CCalibDlg& d) {
            // Taken over from the main window.
            EXPECT_EQ(d.ComboBox(kList)->currentText(), QStringLiteral("4.0MHz"));
            EXPECT_EQ(d.Text(kValue), QStringLiteral("3C"));
            EXPECT_EQ(d.Text(kAddress), QStringLiteral("7F"));
            EXPECT_TRUE(d.IsChecked(kEepromRadio));
            d.ComboBox(kList)->setCurrentIndex(0);
            d.SetText(kValue, QStringLiteral("A1"));
            d.SetText(kAddress, QStringLiteral("40"));
            d.SetChecked(kFlashRadio, true);
            switch (row.how) {
                case How::Return:
                    d.Button(kReturn)->click();
                    break;
                case How::Cancel:
                    d.Button(kCancel)->click();
                    break;
                case How::CloseBox:
                    d.close();
                    break;
                case How::Escape: {
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(&d, &escape);
                    break;
                }
            }
            EXPECT_FALSE(d.isVisible());
        });
        ASSERT_TRUE(ran);
        const int how = static_cast<int>(row.how);
        EXPECT_EQ(main.Text(ctl_id::kCalibFreq), row.copied ? "8.0MHz" : "4.0") << how;
        EXPECT_EQ(main.Text(ctl_id::kCalibValue), row.copied ? "A1" : "3C") << how;
        EXPECT_EQ(main.Text(ctl_id::kCalibAddress), row.copied ? "40" : "7F") << how;
        EXPECT_EQ(main.Text(ctl_id::kCalibMemory),
                  row.copied ? text::kCalibFlashLabel : text::kCalibEepromLabel)
            << how;
        EXPECT_EQ(main.IsEnabled(ctl_id::kCalibWrite), row.enabled) << how;
        EXPECT_EQ(main.IsEnabled(ctl_id::kCalibVerify), row.enabled) << how;
        EXPECT_EQ(rig.dlg->Control(ctl_id::kCalibWrite)->isEnabled(), row.enabled) << how;
    }
}

TEST(CalibDlgTest, ValuesHandedBackAreWhatTheMainWindowWrites) {
    AppRig rig("ATmega8");
    const bool ran = WithModal<CCalibDlg>(rig.Button(ctl_id::kCalibDetails), [&](CCalibDlg& d) {
        d.Button(kRead)->click();
        d.SetChecked(kEepromRadio, true);
        d.SetText(kAddress, QStringLiteral("1F0"));
        d.Button(kReturn)->click();
    });
    ASSERT_TRUE(ran);
    const uint8_t factory = rig.box->Target().Calibration(0);
    rig.messages.shown.clear();
    rig.Model().SetCheck(ctl_id::kCalibVerify, true);
    rig.Button(ctl_id::kCalibWrite)->click();
    EXPECT_EQ(rig.Texts(),
              std::vector<std::string>{FormatText(text::kCalibVerify, text::kCalibOk)});
    EXPECT_EQ(rig.box->Target().ReadEeprom(0x1F0), factory);
}

}  // namespace
}  // namespace oriole::test
