#pragma once
// What the main window needs from the settings: loading and saving them
// (the store binds every key to the core's fields and controls), the file
// patterns of the two browse buttons, and the settings dialog. The window
// holds one of these; tests give it one that records the calls.

#include <QString>
#include <memory>

class QWidget;

namespace oriole {

class CMainWindowAdapter;
struct CMainSettings;

class ISettingsPort {
public:
    virtual ~ISettingsPort() = default;

    // bWithValues: also the fuse, lock and calibration values (setting files).
    virtual void LoadSettings(const QString& path, bool bWithValues) = 0;
    virtual void SaveSettings(const QString& path, bool bWithValues) = 0;

    // The patterns the FLASH and EEPROM file browsers offer ("*.hex;*.mot").
    [[nodiscard]] virtual QString FlashExtension() const = 0;
    [[nodiscard]] virtual QString EepromExtension() const = 0;

    // The settings that no operation reads (file patterns, remembered names
    // and formats, the batch mask), for the dialogs that use and change them.
    [[nodiscard]] virtual CMainSettings& Settings() = 0;

    // Runs the settings dialog modally over `parent`.
    virtual void RunSettingsDialog(QWidget* parent) = 0;
};

// The settings of the running program, bound to `core`.
[[nodiscard]] std::unique_ptr<ISettingsPort> CreateSettingsPort(CMainWindowAdapter& window);

}  // namespace oriole
