// The main window's commands: detect, erase, the write buttons of every
// group, the file browsers and the buttons that open the other dialogs.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "app/OrioleDlg.h"
#include "image/ImageReader.h"
#include "res/Texts.h"
#include "views/FileFilters.h"

namespace oriole {

namespace {

// The command buttons of the main window that the operations' model does not name.
constexpr int kDetectButton = 1046;
constexpr int kEraseButton = 1005;
constexpr int kFlashWriteButton = 1003;
constexpr int kEepromWriteButton = 1012;
constexpr int kFlashBrowseButton = 1008;
constexpr int kEepromBrowseButton = 1010;
constexpr int kFlashViewButton = 1038;
constexpr int kEepromViewButton = 1020;
constexpr int kBatchButton = 1068;
constexpr int kSettingsButton = 1057;

}  // namespace

void COrioleDlg::RunCommand(Need need, Cursor cursor, const std::function<void()>& action) {
    // The waits of a running command let clicks through; they end here. The
    // device check comes first, without the wait cursor.
    static_cast<void>(m_busy.Run([&] {
        if (need != Need::Nothing && !m_window.IsDeviceKnown()) return;
        if (cursor == Cursor::Wait) QApplication::setOverrideCursor(Qt::WaitCursor);
        action();
        if (cursor == Cursor::Wait) QApplication::restoreOverrideCursor();
    }));
}

void COrioleDlg::ConnectCommands() {
    struct Command {
        int id;
        Need need;
        Cursor cursor;
        void (COrioleDlg::*action)();
    };
    static constexpr Command kCommands[] = {
        {kDetectButton, Need::Nothing, Cursor::Wait, &COrioleDlg::DoDetect},
        {kEraseButton, Need::Device, Cursor::Wait, &COrioleDlg::DoErase},
        {kFlashWriteButton, Need::Device, Cursor::Wait, &COrioleDlg::DoWriteFlash},
        {kEepromWriteButton, Need::Device, Cursor::Wait, &COrioleDlg::DoWriteEeprom},
        {ctl_id::kFuseWrite, Need::Device, Cursor::Arrow, &COrioleDlg::DoWriteFuses},
        {ctl_id::kLockWrite, Need::Device, Cursor::Arrow, &COrioleDlg::DoWriteLock},
        {ctl_id::kCalibWrite, Need::Device, Cursor::Wait, &COrioleDlg::DoWriteCalibration},
        {kFlashBrowseButton, Need::Nothing, Cursor::Arrow, &COrioleDlg::DoBrowseFlash},
        {kEepromBrowseButton, Need::Nothing, Cursor::Arrow, &COrioleDlg::DoBrowseEeprom},
        {kFlashViewButton, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenFlashView},
        {kEepromViewButton, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenEepromView},
        {kBatchButton, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenBatch},
        {ctl_id::kFuseDetails, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenFuseDlg},
        {ctl_id::kLockDetails, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenLockDlg},
        {ctl_id::kCalibDetails, Need::Device, Cursor::Arrow, &COrioleDlg::DoOpenCalib},
        {kSettingsButton, Need::Nothing, Cursor::Arrow, &COrioleDlg::DoOpenSettings},
    };
    for (const Command& c : kCommands) {
        connect(Button(c.id), &QAbstractButton::clicked, this,
                [this, c] { RunCommand(c.need, c.cursor, [this, c] { (this->*c.action)(); }); });
    }
}

void COrioleDlg::DoDetect() {
    if (m_window.Detect()) {
        update();
    } else {
        // The list shows that no device is known; the core keeps its device.
        m_window.Controls().SelectListRow(0);
    }
}

void COrioleDlg::DoErase() { static_cast<void>(m_window.Erase()); }

void COrioleDlg::DoWriteFlash() {
    const CMainControls& controls = m_window.Controls();
    const std::string path = controls.Text(ctl_id::kFlashFile);
    // Nothing is sent for a file that is not there, not even the detection.
    if (path.empty()) {
        m_core.ReportFailure(Cause::EmptyInput, MsgKind::Warning, text::kInputMissing);
        return;
    }
    if (!QFileInfo(QString::fromStdString(path)).isFile()) {
        m_core.ReportFailure(Cause::File, MsgKind::Warning, NameInText(text::kFileOpenFailed, path));
        return;
    }
    // The erase asks nothing and reports no success of its own here.
    if (controls.IsChecked(ctl_id::kFlashErase))
        static_cast<void>(m_window.EraseAndWriteFlash({}));
    else
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
