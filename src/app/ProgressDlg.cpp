#include "app/ProgressDlg.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "link/LinkState.h"
#include "res/Dialogs.h"

namespace oriole {

CProgressDlg::CProgressDlg(QWidget* owner, int32_t& abort)
    : CResDialog(res::kProgressDialog, owner), m_nAbort(abort) {
    // A child of the dialog in front, so that a modal view in front does not
    // block its Cancel; on top of every other window.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    connect(Button(kCancelId), &QAbstractButton::clicked, this, [this] { OnCancel(); });
    if (owner != nullptr) {
        // Client area over client area: both frames are the platform's.
        const QRect over(owner->mapToGlobal(QPoint(0, 0)), owner->size());
        QRect mine(QPoint(0, 0), size());
        mine.moveCenter(over.center());
        setGeometry(mine);
    }
    SetRange(0, 100);
}

void CProgressDlg::SetRange(int32_t lower, int32_t upper) {
    m_nLower = lower;
    m_nSpan = std::max<int64_t>(int64_t{upper} - lower, 0);
    // QProgressBar keeps its range in int and shows a busy animation for an
    // empty one; a 32-bit range can exceed both what int holds as a
    // difference and what a bar can show, so it is scaled to steps.
    m_nSteps = static_cast<int>(std::clamp<int64_t>(m_nSpan, 1, kMaxBarSteps));
    QProgressBar* bar = ProgressBar(kBarId);
    bar->setRange(0, m_nSteps);
    bar->setValue(0);
}

void CProgressDlg::SetPos(int32_t pos) {
    if (m_nSpan == 0) return;
    const int64_t offset = std::clamp<int64_t>(int64_t{pos} - m_nLower, 0, m_nSpan);
    ProgressBar(kBarId)->setValue(static_cast<int>(offset * m_nSteps / m_nSpan));
}

void CProgressDlg::SetMessage(const QString& text) { SetText(kMessageId, text); }

int CProgressDlg::BarValue() const { return ProgressBar(kBarId)->value(); }
int CProgressDlg::BarMaximum() const { return ProgressBar(kBarId)->maximum(); }

void CProgressDlg::OnCancel() {
    m_nAbort = kAbortCancelled;
    hide();
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    OnCancel();
    event->accept();
}

void CProgressDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->accept();
        return;
    }
    CResDialog::keyPressEvent(event);
}

void CProgressHandle::SetMessage(std::string_view text) {
    if (m_pDlg)
        m_pDlg->SetMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace oriole
