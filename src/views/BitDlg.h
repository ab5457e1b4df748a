#pragma once
// What the fuse and lock bit dialogs share: the main window's adapter they
// run the device's jobs through and whose controls they hand their values
// back to, the settings that remember their file patterns and paths, the
// busy guard of their command handlers (the operations let clicks through
// while they wait for the writer) and the file dialog of their file buttons.

#include <QString>
#include <functional>

#include "ops/MainWindowAdapter.h"
#include "views/BusyGuard.h"
#include "views/DeviceDlg.h"
#include "views/ResDialog.h"

namespace oriole {

class CBitColumn;
struct CMainSettings;

// Which files a bit dialog loads and saves: the first filter's description,
// the settings fields of the patterns offered and of the path remembered, and
// the extension a name without one gets while those patterns are chosen.
struct BitFileKind {
    const char* description;
    QString CMainSettings::*patterns;
    QString CMainSettings::*path;
    const char* extension;
};

extern const BitFileKind kFuseFileKind;  // ".fus", m_strFuseExt, m_strFuseFile
extern const BitFileKind kLockFileKind;  // ".loc", m_strLockExt, m_strLockFile

// `path` with `extension` appended when the pattern filter was active and the
// file name has no extension; otherwise `path` as it is.
[[nodiscard]] QString WithBitFileExtension(const QString& path, bool patternFilterActive,
                                           const QString& extension);

class CBitDlg : public CResDialog {
    Q_OBJECT
public:
    // Replaces the file dialog (tests answer without one). The default is the
    // toolkit's open or save dialog, as the settings dialog uses it.
    void SetFileAsker(SettingFileAsker asker) { m_askFile = std::move(asker); }
    // A command handler of this dialog is running.
    [[nodiscard]] bool IsBusy() const { return m_busy.IsBusy(); }

    // The dialog's initialisation: takes over the main window's device and
    // values and reads the device. Call once, before exec().
    virtual void OnInitDialog() = 0;

protected:
    // `window` and `settings` are the main window's; both outlive the dialog.
    CBitDlg(const res::DialogDef& dialog, CMainWindowAdapter& window, CMainSettings& settings,
            QWidget* parent);

    enum class Cursor { Arrow, Wait };
    // Runs `handler` unless another handler of this dialog is running (then
    // the click is dropped), with the wait cursor when asked.
    void Guarded(Cursor cursor, const std::function<void()>& handler);
    // Connects each button of `ids` to its handler, under the guard.
    struct Command {
        int id;
        Cursor cursor;
        std::function<void()> handler;
    };
    void ConnectCommands(std::initializer_list<Command> commands);
    // Runs `update` after the user toggled a bit of `column`. A toggle that
    // arrives while a handler runs is undone: the handler is about to show
    // or hand back values that would no longer match the buttons.
    void ConnectBits(CBitColumn& column, const std::function<void()>& update);

    // The file dialog of a file button: on OK remembers the chosen path (with
    // the extension rule) in the settings, before anything opens it, and
    // returns true; false when cancelled.
    [[nodiscard]] bool AskFile(bool save, const BitFileKind& kind);
    [[nodiscard]] const QString& RememberedPath(const BitFileKind& kind) const {
        return m_settings.*kind.path;
    }

    // "戻る": the values go back to the main window; the dialog closes with 0.
    virtual void HandBack(bool enable) = 0;

    CMainWindowAdapter& m_window;
    COrioleCore& m_core;
    CMainSettings& m_settings;

private:
    CBusyGuard m_busy;
    SettingFileAsker m_askFile = AskSettingFileWithDialog;
};

}  // namespace oriole
