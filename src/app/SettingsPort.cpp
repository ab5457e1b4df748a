// The program's own settings: the binding of the settings file to the core
// and CMainSettings, and the settings dialog on top of them.
#include "app/SettingsPort.h"

#include "ops/MainSettings.h"
#include "ops/MainWindowAdapter.h"
#include "ops/OrioleCore.h"
#include "ops/SettingsBinding.h"
#include "views/DeviceDlg.h"

namespace oriole {
namespace {

class CSettingsPort final : public ISettingsPort {
public:
    explicit CSettingsPort(CMainWindowAdapter& window) : m_window(window), m_binding(window, m_settings) {}

    void LoadSettings(const QString& path, bool bWithValues) override {
        m_binding.LoadSettings(path, bWithValues);
    }
    void SaveSettings(const QString& path, bool bWithValues) override {
        // A file that cannot be written costs the settings of this run and
        // nothing else; the binding has said why.
        static_cast<void>(m_binding.SaveSettings(path, bWithValues));
    }
    QString FlashExtension() const override { return m_settings.m_strFlashExt; }
    QString EepromExtension() const override { return m_settings.m_strEepromExt; }
    CMainSettings& Settings() override { return m_settings; }

    void RunSettingsDialog(QWidget* parent) override {
        SettingFileCalls files;
        files.load = [this](const QString& path) { LoadSettings(path, true); };
        files.save = [this](const QString& path) { SaveSettings(path, true); };
        CDeviceDlg dlg(m_settings, m_window.Core().LinkState(), std::move(files), parent);
        dlg.exec();
    }

private:
    CMainWindowAdapter& m_window;
    CMainSettings m_settings;
    CSettingsBinding m_binding;
};

}  // namespace

std::unique_ptr<ISettingsPort> CreateSettingsPort(CMainWindowAdapter& window) {
    return std::make_unique<CSettingsPort>(window);
}

}  // namespace oriole
