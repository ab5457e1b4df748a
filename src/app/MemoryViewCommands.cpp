// The main window's "詳細" buttons of its FLASH and EEPROM groups: each runs
// its memory view over the window, which the progress windows then centre on.
#include "app/OrioleDlg.h"
#include "app/SettingsPort.h"
#include "views/MemoryViewDlg.h"

namespace oriole {

void COrioleDlg::DoOpenFlashView() {
    CFlashDlg view(m_window, m_pSettings->Settings(), this);
    RunMemoryView(view);
}

void COrioleDlg::DoOpenEepromView() {
    CEEPROMDlg view(m_window, m_pSettings->Settings(), this);
    RunMemoryView(view);
}

void COrioleDlg::RunMemoryView(CMemoryViewDlg& view) {
    SetCurrentDlg(&view);
    view.exec();
    SetCurrentDlg(this);
}

}  // namespace oriole
