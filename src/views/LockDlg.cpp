#include "views/LockDlg.h"

#include "image/BitFiles.h"
#include "ops/OrioleCore.h"
#include "res/Dialogs.h"

namespace oriole {
namespace {

using namespace lock_dlg;

// Bit 0 first: the bottom row up to bit 7 in the top row.
constexpr BitColumnIds kLockColumn{{1116, 1115, 1114, 1113, 1112, 1111, 1110, 1122},
                                   {1211, 1210, 1209, 1208, 1207, 1206, 1205, 1204},
                                   kLockEdit};

}  // namespace

CLockDlg::CLockDlg(CMainWindowAdapter& window, CMainSettings& settings, QWidget* parent)
    : CBitDlg(res::kLockDialog, window, settings, parent),
      m_pDevice(&window.Core().Device()),
      m_column(*this, kLockColumn) {
    ConnectBits(m_column, [this] { m_column.ShowValue(); });
    ConnectCommands({
        {kRead, Cursor::Wait, [this] { OnRead(); }},
        {kWrite, Cursor::Wait, [this] { OnWrite(); }},
        {kVerify, Cursor::Wait, [this] { OnVerify(); }},
        {kLoadFile, Cursor::Arrow, [this] { OnLoadFile(); }},
        {kSaveFile, Cursor::Arrow, [this] { OnSaveFile(); }},
    });
}

void CLockDlg::OnInitDialog() {
    m_pDevice = &m_core.Device();
    m_column.FillNames(m_pDevice->lockBits, LockBitName, 0);
    const QString text = QString::fromStdString(m_window.Controls().Text(ctl_id::kLockEdit));
    if (!text.isEmpty()) {
        m_column.SetText(text);
        m_column.SetFromValue(m_column.TextValue());
    } else {
        m_column.ShowValue();
    }
    Guarded(Cursor::Wait, [this] { OnRead(); });
}

void CLockDlg::HandBack(bool enable) {
    CMainControls& main = m_window.Controls();
    main.SetText(ctl_id::kLockEdit, m_column.Text().toStdString());
    main.Enable(ctl_id::kLockWrite, enable);
    main.Enable(ctl_id::kLockVerify, enable);
}

void CLockDlg::OnRead() {
    // Unlike the fuse dialog's, no new names: the bits keep those of the
    // device the dialog opened with.
    uint8_t lock = 0xFF;
    if (!m_window.ReadLockByte(lock)) return;
    m_column.SetFromValue(lock);
    m_column.ShowValue();
}

void CLockDlg::OnWrite() {
    if (m_window.WriteLockByte(m_column.TextValue())) HandBack(true);
}

void CLockDlg::OnVerify() {
    static_cast<void>(m_window.VerifyLockByte(m_column.TextValue()));
}

void CLockDlg::OnLoadFile() {
    if (!AskFile(false, kLockFileKind)) return;
    QString text;
    if (!LoadLockFile(m_core.Host(), RememberedPath(kLockFileKind), text)) return;
    m_column.SetText(text);
    // The byte text follows the bits, as the fuse dialog's does.
    m_column.SetFromValue(m_column.TextValue());
    m_column.ShowValue();
}

void CLockDlg::OnSaveFile() {
    if (!AskFile(true, kLockFileKind)) return;
    static_cast<void>(SaveLockFile(m_core.Host(), RememberedPath(kLockFileKind), m_column.Text()));
}

}  // namespace oriole
