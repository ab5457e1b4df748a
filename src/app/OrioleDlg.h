#pragma once
// The main window (dialog resource 102): a view of the core. It mirrors the
// core's control model both ways (every user edit goes into the model at
// once; the model's changes are drawn as they happen), and is the core's
// host: message boxes, the event pump of the waits, the wait cursor and the
// progress windows; the waits' time-outs run on the system clock. Every
// command handler runs under the busy guard, because the waits let clicks
// through while an operation runs.

#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "app/SettingsPort.h"
#include "host/OperationHost.h"
#include "ops/MainWindowAdapter.h"
#include "ops/OrioleCore.h"
#include "views/BusyGuard.h"
#include "views/ResDialog.h"

class QAction;

namespace oriole {

class CMemoryViewDlg;

class COrioleDlg final : public CResDialog, public IOperationHost {
    Q_OBJECT
public:
    struct Options {
        // Overrides the settings' writer for this run only; empty: the settings'.
        std::string writerSpec;
        // Where messages go; null: message boxes over the window.
        IMessageHost* messages = nullptr;
        // The settings; null: the program's own, bound to the core.
        std::function<std::unique_ptr<ISettingsPort>(CMainWindowAdapter&)> makeSettings;
        // The settings file; empty: "ORIOLE.ini" in the current folder.
        QString iniPath;
    };

    explicit COrioleDlg(Options options, QWidget* parent = nullptr);
    ~COrioleDlg() override;

    COrioleCore& Core() { return m_core; }
    CMainWindowAdapter& Window() { return m_window; }
    [[nodiscard]] bool IsBusy() const { return m_busy.IsBusy(); }
    [[nodiscard]] const QString& IniPath() const { return m_strIniPath; }
    QAction* AboutAction() const { return m_pAboutAction; }
    // The text of the About box: the version and the writer in use.
    [[nodiscard]] QString AboutText() const;

    // The dialog in front, over which progress windows centre: this window,
    // or a view or the batch dialog while it runs.
    [[nodiscard]] QWidget* CurrentDlg() const;
    void SetCurrentDlg(QWidget* dlg) { m_pCurrentDlg = dlg; }

    // IOperationHost
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override;
    void PumpOneMessage() override;
    void Sleep(std::chrono::milliseconds pause) override;
    void ShowWaitCursor() override;
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper,
                                                 std::string_view caption,
                                                 std::string_view message,
                                                 int32_t& abort) override;

public slots:
    // Enter, Escape and everything else that would end the dialog without
    // the close box do nothing.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void OnOk() override {}
    void OnCancel() override {}

private:
    // Start-up and shut-down.
    void OnInitDialog();
    void OnClose();
    void OnAbout();
    void SetLogo();
    // A writer given for the run (--writer) is in use everywhere except
    // while the settings are loaded, saved or edited: those see and keep
    // the settings' own.
    void UseSettingsWriter();
    void UseRunWriter();

    // The control model, both ways.
    void ConnectControls();
    void RedrawControl(int id);
    void RedrawAll();
    void FillDeviceList();

    // Device selection.
    void OnDeviceActivated(int index);
    void OnAutoDetect(bool checked);
    void OnVerifyBoxClicked(int id, bool checked);

    // Commands.
    enum class Need { Nothing, Device };
    enum class Cursor { Arrow, Wait };
    // The frame of every command: the busy guard, the device check when the
    // command needs a device, the wait cursor.
    void RunCommand(Need need, Cursor cursor, const std::function<void()>& action);
    void ConnectCommands();
    void DoDetect();
    void DoErase();
    void DoWriteFlash();
    void DoWriteEeprom();
    void DoWriteFuses();
    void DoWriteLock();
    void DoWriteCalibration();
    void DoBrowseFlash();
    void DoBrowseEeprom();
    // The FLASH and EEPROM views (MemoryViewCommands.cpp).
    void DoOpenFlashView();
    void DoOpenEepromView();
    void RunMemoryView(CMemoryViewDlg& view);
    void DoOpenSettings();
    // CalibBatchCommands.cpp
    void DoOpenCalib();
    void DoOpenBatch();
    // BitDlgCommands.cpp
    void DoOpenFuseDlg();
    void DoOpenLockDlg();
    void Browse(int editId, const char* description, const QString& patterns);

    Options m_options;
    COrioleCore m_core;
    CMainWindowAdapter m_window{m_core};
    std::unique_ptr<IMessageHost> m_pOwnMessages;
    IMessageHost* m_pMessages;
    std::unique_ptr<ISettingsPort> m_pSettings;
    QString m_strIniPath;
    std::string m_strSettingsWriter;  // the settings' writer, kept over a run's override
    CBusyGuard m_busy;
    QPointer<QWidget> m_pCurrentDlg;
    QAction* m_pAboutAction = nullptr;
};

}  // namespace oriole
