// The main window's fuse and lock "詳細" buttons: the bit dialogs they open.
#include "app/OrioleDlg.h"
#include "views/FuseDlg.h"
#include "views/LockDlg.h"

namespace oriole {
namespace {

// The bit dialogs name the bits of the device itself: with auto-detect on
// and none found yet, it is detected first, and the dialog opens only when
// that worked.
bool DeviceForDetails(CMainWindowAdapter& window) {
    const COrioleCore& core = window.Core();
    return !(core.IsAutoDetect() && core.DeviceRow() == 0) || window.Detect();
}

}  // namespace

void COrioleDlg::DoOpenFuseDlg() {
    if (!DeviceForDetails(m_window)) return;
    CFuseDlg dlg(m_window, m_pSettings->Settings(), this);
    m_pCurrentDlg = &dlg;
    dlg.OnInitDialog();
    dlg.exec();
    m_pCurrentDlg = this;
}

void COrioleDlg::DoOpenLockDlg() {
    if (!DeviceForDetails(m_window)) return;
    CLockDlg dlg(m_window, m_pSettings->Settings(), this);
    m_pCurrentDlg = &dlg;
    dlg.OnInitDialog();
    dlg.exec();
    m_pCurrentDlg = this;
}

}  // namespace oriole
