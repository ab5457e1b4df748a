#pragma once
// The progress window of the long transfers (dialog resource 132): caption
// and message from the transfer, a bar, and Cancel. Modeless and always on
// top; the transfer keeps control and drives it. Its one effect on the
// transfer is the abort request: Cancel and the close box set the abort
// state to 1 and hide the window at once. The transfer destroys it.

#include <QPointer>
#include <cstdint>
#include <string_view>

#include "host/OperationHost.h"
#include "views/ResDialog.h"

namespace oriole {

class CProgressDlg final : public CResDialog {
    Q_OBJECT
public:
    static constexpr int kMessageId = 1052;
    static constexpr int kBarId = 1053;
    static constexpr int kCancelId = 1168;
    // Bar steps at most; longer ranges are scaled down to this many.
    static constexpr int32_t kMaxBarSteps = 1 << 20;

    // `owner` is the dialog in front, over which the window centres itself;
    // `abort` outlives the window.
    CProgressDlg(QWidget* owner, int32_t& abort);

    // The full 32-bit range; lower >= upper gives an empty bar.
    void SetRange(int32_t lower, int32_t upper);
    void SetPos(int32_t pos);
    void SetMessage(const QString& text);

    // The bar's steps as shown (for the tests and the screenshots).
    [[nodiscard]] int BarValue() const;
    [[nodiscard]] int BarMaximum() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The transfer dispatches events without the dialog keys: Enter and
    // Escape do nothing here, the space bar presses the focused Cancel.
    void keyPressEvent(QKeyEvent* event) override;
    void OnCancel() override;

private:
    int32_t& m_nAbort;
    int64_t m_nLower = 0;
    int64_t m_nSpan = 0;  // upper - lower, 0 for an empty range
    int m_nSteps = 1;
};

// The IProgress the transfers get: closes (deletes) the window when the
// transfer drops it, unless its owner went first.
class CProgressHandle final : public IProgress {
public:
    explicit CProgressHandle(CProgressDlg* dlg) : m_pDlg(dlg) {}
    ~CProgressHandle() override { delete m_pDlg.data(); }
    CProgressHandle(const CProgressHandle&) = delete;
    CProgressHandle& operator=(const CProgressHandle&) = delete;

    void SetRange(int32_t lower, int32_t upper) override {
        if (m_pDlg) m_pDlg->SetRange(lower, upper);
    }
    void SetPos(int32_t pos) override {
        if (m_pDlg) m_pDlg->SetPos(pos);
    }
    void SetMessage(std::string_view text) override;

private:
    QPointer<CProgressDlg> m_pDlg;
};

}  // namespace oriole
