#pragma once
// The settings file bound to the main window: every key of the table goes
// to its place in the core (link settings, controls, device selection) or
// in CMainSettings. The window calls LoadSettings when it opens and
// SaveSettings when it closes; the settings dialog calls both, with the
// values, for setting files.

#include <QString>
#include <QStringList>
#include <string>

#include "ops/MainSettings.h"
#include "settings/SettingsKeys.h"

namespace oriole {

class CMainWindowAdapter;

class CSettingsBinding final : public ISettingValues {
public:
    CSettingsBinding(CMainWindowAdapter& window, CMainSettings& settings);

    // Reads every key (the fuse, lock and calibration values and their
    // enable states only with bWithValues) in table order, each with its
    // default when `path` lacks it or cannot be read. A file that is refused
    // (no regular file, too large, unreadable) is one warning. LastAVR selects the
    // first list entry beginning with the stored name, before the values
    // are read, so that selecting a device cannot wipe them.
    void LoadSettings(const QString& path, bool bWithValues);

    // Writes every key (values-only keys with bWithValues) into `path`,
    // keeping whatever else the file holds. False when the file could not
    // be written (one warning) or some value could not be stored in it. A
    // refused file is never written over; the warning is left out when the
    // load of the same file gave it already.
    [[nodiscard]] bool SaveSettings(const QString& path, bool bWithValues) const;

    // ISettingValues: where each key lives while the program runs.
    int64_t GetNumber(SettingId id) const override;
    void SetNumber(SettingId id, int64_t value) override;
    QString GetText(SettingId id) const override;
    void SetText(SettingId id, const QString& text) override;
    bool KeepsStoredValue(SettingId id) const override;

private:
    // Device/Writer from a file: a spec the file may hold becomes the
    // settings' writer; any other is refused with one warning, the writer is
    // "auto", and the file's value is left on disk as it is.
    void SetFileWriter(const QString& text);

    CMainWindowAdapter& m_window;
    CMainSettings& m_settings;
    bool m_bWriterRefused = false;  // the last file's writer was refused
    QStringList m_refusedFiles;     // settings files refused on load: said once
};

}  // namespace oriole
