#pragma once
// The batch execution dialog (resource 134): erases the device and then runs
// the ticked steps (FLASH, EEPROM, fuses, lock bits, calibration byte, each
// written and verified) in a fixed order, one log line per step, stopping at
// the first failure. The operations run quietly, so the log takes the place
// of their confirmations and success messages; failures still show their own
// message.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "ops/MainWindowAdapter.h"
#include "views/BusyGuard.h"
#include "views/ResDialog.h"

class QCloseEvent;

namespace oriole {

class CAutoDlg final : public CResDialog {
    Q_OBJECT
public:
    struct Options {
        // The file patterns the two browse buttons offer ("*.hex;*.mot").
        QString flashExt;
        QString eepromExt;
        // Asks for an existing file, starting in `folder`; empty when the user
        // cancels. Null: the platform's open dialog.
        std::function<QString(QWidget* parent, const QString& folder, const QStringList& filters)>
            chooseFile;
    };

    // `autoCheck`: the main window's step mask, shown when the dialog opens
    // and changed at every click on a step box and by the toggle.
    CAutoDlg(CMainWindowAdapter& window, uint32_t& autoCheck, Options options, QWidget* parent = nullptr);

    // The log of the current or last run, lines ending in CR LF.
    [[nodiscard]] const QString& Log() const { return m_strLog; }
    [[nodiscard]] bool IsRunning() const { return m_busy.IsBusy(); }
    // 0 while the toggle's next click ticks every step, 1 while it clears them.
    [[nodiscard]] int32_t AllOn() const { return m_bAllOn; }

public slots:
    // Nothing but the return button and the close box ends the dialog.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnInitDialog();
    void OnStart();
    void RunBatch();
    uint32_t CalibBitsUnlessTicked() const;
    void AppendLog(const char* text);
    void AppendResult(bool r);
    void OnStepBox(int id);
    // The mask bits of a pair of step boxes from the boxes, and for the
    // FLASH and EEPROM pairs the path box and browse button enabled when
    // either is ticked.
    void ApplyPairRule(size_t pair);  // index in the pair table
    void OnToggleAll();
    void Browse(int editId, const char* description, const QString& patterns);
    void OnReturn();

    CMainWindowAdapter& m_window;
    uint32_t& m_nAutoCheck;
    Options m_options;
    QString m_strLog;
    int32_t m_bAllOn = 0;
    CBusyGuard m_busy;
};

}  // namespace oriole
