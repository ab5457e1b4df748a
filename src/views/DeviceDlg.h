#pragma once
// The settings dialog (resource 133): the device clock, the USB transfer
// timing, the file-name patterns, setting files and the window look. It
// edits the main window's settings in place: the clock and the look at
// once, the timing, data speed and patterns when it closes with "閉じる" or
// its close box (CommitControls). Nothing reaches the INI file before the
// main window closes.

#include <QString>
#include <QStringList>
#include <functional>

#include "views/BusyGuard.h"
#include "views/ResDialog.h"

class QCloseEvent;

namespace oriole {

struct CLinkState;
struct CMainSettings;

// Control ids of resource 133.
namespace device_dlg {
inline constexpr int kClockList = 1129;
inline constexpr int kUsbTiming = 1160;
inline constexpr int kDataSpeed1 = 1169;  // 1170, 1171, 1172: data speeds 2 to 4
inline constexpr int kFlashPatterns = 1126;
inline constexpr int kEepromPatterns = 1127;
inline constexpr int kFusePatterns = 1146;
inline constexpr int kLockPatterns = 1147;
inline constexpr int kLoadFile = 1056;
inline constexpr int kSaveFile = 1057;
inline constexpr int kClassicLook = 1212;
inline constexpr int kPlatformLook = 1213;
inline constexpr int kCancel = 1144;
inline constexpr int kClose = 1143;
}  // namespace device_dlg

// What a setting-file dialog answered: the path and the index of the filter
// that was active (0 is "*.set").
struct SettingFileChoice {
    QString path;
    int filterIndex = -1;
};

// Asks for a setting file to open (save false) or to save to, starting in
// `folder` with the first of `filters` active. False when cancelled.
using SettingFileAsker = std::function<bool(QWidget* parent, bool save, const QString& folder,
                                            const QStringList& filters, SettingFileChoice& choice)>;

// The main window's LoadSettings and SaveSettings with the values, on a
// setting file's path.
struct SettingFileCalls {
    std::function<void(const QString& path)> load;
    std::function<void(const QString& path)> save;
};

// The path a setting-file dialog's answer stands for: with the "*.set"
// filter active, a file name without any extension gets ".set".
[[nodiscard]] QString WithSettingFileExtension(const QString& path, bool setFilterActive);

// The toolkit's file dialog, as the settings dialog uses it by default.
[[nodiscard]] bool AskSettingFileWithDialog(QWidget* parent, bool save, const QString& folder,
                                            const QStringList& filters, SettingFileChoice& choice);

class CDeviceDlg : public CResDialog {
    Q_OBJECT
public:
    // `settings` and `link` are the main window's; both outlive the dialog.
    CDeviceDlg(CMainSettings& settings, CLinkState& link, SettingFileCalls files,
               QWidget* parent = nullptr);

    // Replaces the file dialog (tests answer without one).
    void SetFileAsker(SettingFileAsker asker) { m_askFile = std::move(asker); }

    // Shows the settings in the controls.
    void ShowSettings();
    // Takes the slider, the data speed and the patterns into the settings.
    void CommitControls();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FillClockList();
    void PlaceTimingScale();
    void OnClockChosen(int index);
    void OnLoadSettingFile();
    void OnSaveSettingFile();
    // Runs the file dialog and sets m_strSettingFile to the answer.
    bool AskSettingFile(bool save);

    CMainSettings& m_settings;
    CLinkState& m_link;
    SettingFileCalls m_files;
    SettingFileAsker m_askFile = AskSettingFileWithDialog;
    CBusyGuard m_busy;  // a setting-file button is running
};

}  // namespace oriole
