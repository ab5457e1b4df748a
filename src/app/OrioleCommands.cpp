// The main window's commands: detect, erase, the write buttons of every
// group, the file browsers and the buttons that open the other dialogs.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "app/OrioleDlg.h"
#include "res/Texts.h"
#include "views/FileFilters.h"

namespace oriole {

void COrioleDlg::RunCommand(Need need, Cursor cursor, const std::function<void()>& action) {
    // The waits of a running command let clicks through; they end here.
    if (m_bBusy) return;
    m_bBusy = 1;
    if (need == Need::Nothing || m_window.IsDeviceKnown()) {
        if (cursor == Cursor::Wait) QApplication::setOverrideCursor(Qt::WaitCursor);
        action();
        if (cursor == Cursor::Wait) QApplication::restoreOverrideCursor();
    }
    m_bBusy = 0;
}

void COrioleDlg::ConnectCommands() {
    struct Command {
        int id;
        Need need;
        Cursor cursor;
        void (COrioleDlg::*action)();
    };
    static constexpr Command kCommands[] = {
        {1046, Need::Nothing, Cursor::Wait, &COrioleDlg::DoDetect},
        {1005, Need::Device, Cursor::Wait, &COrioleDlg::DoErase},
        {1003, Need::Device, Cursor::Wait, &COrioleDlg::DoWriteFlash},
        {1012, Need::Device, Cursor::Wait, &COrioleDlg::DoWriteEeprom},
        {ctl_id::kFuseWrite, Need::Device, Cursor::Arrow, &COrioleDlg::DoWriteFuses},
        {ctl_id::kLockWrite, Need::Device, Cursor::Arrow, &COrioleDlg::DoWriteLock},
        {ctl_id::kCalibWrite, Need::Device, Cursor::Wait, &COrioleDlg::DoWriteCalibration},
        {1008, Need::Nothing, Cursor::Arrow, &COrioleDlg::DoBrowseFlash},
        {1010, Need::Nothing, Cursor::Arrow, &COrioleDlg::DoBrowseEeprom},
        {1038, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenFlashView},
        {1020, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenEepromView},
        {1068, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenBatch},
        {ctl_id::kFuseDetails, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenFuseDlg},
        {ctl_id::kLockDetails, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenLockDlg},
        {ctl_id::kCalibDetails, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenCalib},
        {1057, Need::Nothing, Cursor::Arrow, &COrioleDlg::DoOpenSettings},
    };
    for (const Command& c : kCommands) {
        connect(Button(c.id), &QAbstractButton::clicked, this,
                [this, c] { RunCommand(c.need, c.cursor, [this, c] { (this->*c.action)(); }); });
    }
}

void COrioleDlg::DoDetect() {
    if (m_core.CheckDevice(true)) {
        update();
    } else {
        // The list shows that no device is known; the core keeps its device.
        m_window.Controls().SelectListRow(0);
    }
}

void COrioleDlg::DoErase() { static_cast<void>(m_core.EraseDevice()); }

void COrioleDlg::DoWriteFlash() {
    const CMainControls& controls = m_window.Controls();
    const std::string path = controls.Text(ctl_id::kFlashFile);
    if (!QFileInfo(QString::fromStdString(path)).isFile()) {
        ShowMessage(MsgKind::Warning, text::kFileOpenFailed, Answer::Yes);
        return;
    }
    if (controls.IsChecked(ctl_id::kFlashErase)) {
        // The erase asks nothing and reports no success of its own here.
        const bool erased = m_core.EraseDevice(Quietly(true));
        if (!erased) {
            ShowMessage(MsgKind::Warning, text::kEraseBeforeWriteFailed, Answer::Yes);
            return;
        }
    }
    static_cast<void>(m_window.WriteFlash({}));
}

void COrioleDlg::DoWriteEeprom() {
    static_cast<void>(m_window.WriteEeprom({}));
}

void COrioleDlg::DoWriteFuses() { static_cast<void>(m_window.WriteFuses({})); }

void COrioleDlg::DoWriteLock() { static_cast<void>(m_window.WriteLockBits({})); }

void COrioleDlg::DoWriteCalibration() { static_cast<void>(m_window.WriteCalibration({})); }

void COrioleDlg::DoBrowseFlash() {
    Browse(ctl_id::kFlashFile, text::kFlashFileFilter, m_pSettings->FlashExtension());
}

void COrioleDlg::DoBrowseEeprom() {
    Browse(ctl_id::kEepromFile, text::kEepromFileFilter, m_pSettings->EepromExtension());
}

void COrioleDlg::Browse(int editId, const char* description, const QString& patterns) {
    const QString filter = DataFileFilter(description, patterns);
    const QString current = QString::fromStdString(m_window.Controls().Text(editId));
    // The folder of the file named in the box, else the user's home folder.
    const QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    QFileDialog dialog(this, QString(), folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(NameFiltersFromPipeList(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    m_window.Controls().SetText(editId, QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString());
}

void COrioleDlg::DoOpenSettings() {
    UseSettingsWriter();
    m_pSettings->RunSettingsDialog(this);
    UseRunWriter();
}

}  // namespace oriole
