#include "views/CalibDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>

#include "base/HexKeyFilter.h"
#include "base/Numbers.h"
#include "ops/Job.h"
#include "res/Dialogs.h"
#include "res/Texts.h"
#include "views/HexEditFilter.h"

namespace oriole {
namespace {

// Controls of resource 141.
constexpr int kFrequencyList = 1134;
constexpr int kValueEdit = 1135;
constexpr int kAddressEdit = 1136;
constexpr int kFlashRadio = 1137;
constexpr int kEepromRadio = 1138;
constexpr int kReadButton = 1056;
constexpr int kWriteButton = 1057;
constexpr int kVerifyButton = 1159;
constexpr int kReturnButton = 1141;
constexpr int kCancelButton = 1142;

// The calibration index sent when the device lists no frequency.
constexpr uint8_t kNoFrequencyIndex = 0xFF;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CCalibDlg::CCalibDlg(CMainWindowAdapter& window, QWidget* parent)
    : CResDialog(res::kCalibDialog, parent), m_window(window) {
    InstallHexKeyFilter(LineEdit(kValueEdit), kCalibValueChars);
    InstallHexKeyFilter(LineEdit(kAddressEdit), kCalibAddressChars);
    connect(Button(kReadButton), &QAbstractButton::clicked, this,
            [this] { RunGuarded(&CCalibDlg::OnRead); });
    connect(Button(kWriteButton), &QAbstractButton::clicked, this,
            [this] { RunGuarded(&CCalibDlg::OnWrite); });
    connect(Button(kVerifyButton), &QAbstractButton::clicked, this,
            [this] { RunGuarded(&CCalibDlg::OnVerify); });
    connect(Button(kReturnButton), &QAbstractButton::clicked, this, &CCalibDlg::OnReturn);
    connect(Button(kCancelButton), &QAbstractButton::clicked, this, [this] { done(kCancelled); });
    OnInitDialog();
}

void CCalibDlg::OnInitDialog() {
    // The list keeps the device's order: an item's index is the byte the
    // calibration read sends.
    for (const char* frequency : CalibrationFrequencies(m_window.Core().Device().id))
        AddListItem(kFrequencyList, QString::fromUtf8(frequency));
    QComboBox* list = ComboBox(kFrequencyList);
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);

    const CMainControls& main = m_window.Controls();
    const int chosen = list->findText(FromUtf8(main.Text(ctl_id::kCalibFreq)), Qt::MatchStartsWith);
    if (chosen >= 0) list->setCurrentIndex(chosen);
    SetText(kValueEdit, FromUtf8(main.Text(ctl_id::kCalibValue)));
    SetText(kAddressEdit, FromUtf8(main.Text(ctl_id::kCalibAddress)));
    CalibMemory memory = CalibMemory::Flash;
    static_cast<void>(CalibMemoryOfText(main.Text(ctl_id::kCalibMemory), memory));
    SetChecked(memory == CalibMemory::Eeprom ? kEepromRadio : kFlashRadio, true);
}

void CCalibDlg::RunGuarded(void (CCalibDlg::*action)()) {
    static_cast<void>(m_busy.Run([this, action] { (this->*action)(); }, CBusyGuard::Cursor::Wait));
}

void CCalibDlg::OnRead() {
    const int index = ComboBox(kFrequencyList)->currentIndex();
    const uint8_t sent = index < 0 ? kNoFrequencyIndex : static_cast<uint8_t>(index);
    uint8_t value = 0;
    if (m_window.ReadCalibrationByte(sent, value))
        SetText(kValueEdit, QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper());
}

bool CCalibDlg::Collect(CalibTarget& target) {
    const QString value = Text(kValueEdit);
    const QString address = Text(kAddressEdit);
    // Said as the main window's write says it, and nothing is sent.
    if (value.isEmpty() || address.isEmpty()) {
        m_window.Core().ReportFailure(Cause::EmptyInput, MsgKind::Warning,
                                      value.isEmpty() ? text::kCalibValueMissing : text::kCalibAddressMissing);
        return false;
    }
    target.value = ParseHexByte(value.toStdString());
    target.address = ParseHexLenient(address.toStdString());
    target.memory = IsChecked(kFlashRadio) ? CalibMemory::Flash : CalibMemory::Eeprom;
    return true;
}

void CCalibDlg::OnWrite() {
    CalibTarget t;
    if (!Collect(t)) return;
    // The dialog's write: the range checked first, no verify after it,
    // begun without the timing.
    static_cast<void>(m_window.WriteCalibrationByte(t, {.timing = false}, true));
}

void CCalibDlg::OnVerify() {
    CalibTarget t;
    if (!Collect(t)) return;
    static_cast<void>(m_window.VerifyCalibrationByte(t, {}, true));
}

void CCalibDlg::OnReturn() {
    // Handed back as they stand; the main window's write checks them.
    CMainControls& main = m_window.Controls();
    main.SetText(ctl_id::kCalibFreq, Text(kFrequencyList).toStdString());
    main.SetText(ctl_id::kCalibValue, Text(kValueEdit).toStdString());
    main.SetText(ctl_id::kCalibMemory,
                 IsChecked(kFlashRadio) ? text::kCalibFlashLabel : text::kCalibEepromLabel);
    main.SetText(ctl_id::kCalibAddress, Text(kAddressEdit).toStdString());
    done(kReturned);
}

void CCalibDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    done(kReturned);
}

}  // namespace oriole
