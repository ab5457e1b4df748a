#pragma once
// The calibration dialog (resource 141): the user picks the frequency whose
// factory calibration byte to read, reads it, and chooses where in FLASH or
// EEPROM it goes. It takes the main window's calibration fields over when
// it opens and hands them back only through its return button; the main
// window's calibration write and verify then use them.

#include <cstdint>

#include "ops/MainWindowAdapter.h"
#include "views/BusyGuard.h"
#include "views/ResDialog.h"

class QCloseEvent;

namespace oriole {

class CCalibDlg final : public CResDialog {
    Q_OBJECT
public:
    // Results of exec(): the return button and the close box end with
    // kReturned (the main window then enables its calibration write), the
    // cancel button, Enter and Escape with kCancelled.
    static constexpr int kReturned = 0;
    static constexpr int kCancelled = 1;

    explicit CCalibDlg(CMainWindowAdapter& window, QWidget* parent = nullptr);

    // True while a read, write or verify runs.
    [[nodiscard]] bool IsBusy() const { return m_busy.IsBusy(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void OnCancel() override { done(kCancelled); }

private:
    void OnInitDialog();
    // The frame of the three commands: ignored while one of them runs (their
    // waits let clicks through), wait cursor while it runs.
    void RunGuarded(void (CCalibDlg::*action)());
    void OnRead();
    void OnWrite();
    void OnVerify();
    void OnReturn();
    // The value, address and memory of the boxes; false (after the warning
    // that says which) when the value or the address box is empty.
    [[nodiscard]] bool Collect(CalibTarget& target);

    CMainWindowAdapter& m_window;
    CBusyGuard m_busy;
};

}  // namespace oriole
