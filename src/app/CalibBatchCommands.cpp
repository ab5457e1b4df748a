// The main window's calibration "詳細" button and its batch button: the
// dialogs they open and what the window does when those close.
#include "app/OrioleDlg.h"
#include "ops/MainSettings.h"
#include "views/AutoDlg.h"
#include "views/CalibDlg.h"

namespace oriole {

void COrioleDlg::DoOpenCalib() {
    // The dialog's list and range check need the device itself.
    if (m_core.IsAutoDetect() && m_core.DeviceRow() == 0 && !m_window.Detect()) return;
    CCalibDlg dlg(m_window, this);
    if (dlg.exec() != CCalibDlg::kReturned) return;
    // Values were handed back: the window's calibration write may use them.
    m_window.Controls().Enable(ctl_id::kCalibWrite, true);
    m_window.Controls().Enable(ctl_id::kCalibVerify, true);
}

void COrioleDlg::DoOpenBatch() {
    CAutoDlg::Options options;
    options.flashExt = m_pSettings->FlashExtension();
    options.eepromExt = m_pSettings->EepromExtension();
    CAutoDlg dlg(m_window, m_pSettings->Settings().m_nAutoCheck, std::move(options), this);
    m_pCurrentDlg = &dlg;
    dlg.exec();
    m_pCurrentDlg = this;
}

}  // namespace oriole
