#include "BitDlgRig.h"

#include <QAbstractButton>

namespace oriole::test {

BitDlgRig::BitDlgRig(const std::string& simOptions, const QString& device) : app(simOptions) {
    if (device.isEmpty()) return;
    app.AutoDetectOff();
    app.ChooseDevice(device);
}

// As the main window's "詳細" buttons do: a device is found before the dialog opens.
void BitDlgRig::FindDevice() {
    COrioleCore& core = app.Core();
    if (core.IsAutoDetect() && core.DeviceRow() == 0) {
        ASSERT_TRUE(core.CheckDevice(true));
    }
}

std::unique_ptr<CFuseDlg> BitDlgRig::OpenFuse() {
    FindDevice();
    auto dlg = std::make_unique<CFuseDlg>(app.Window(), settings, app.dlg.get());
    Attach(*dlg);
    dlg->OnInitDialog();
    return dlg;
}

std::unique_ptr<CLockDlg> BitDlgRig::OpenLock() {
    FindDevice();
    auto dlg = std::make_unique<CLockDlg>(app.Window(), settings, app.dlg.get());
    Attach(*dlg);
    dlg->OnInitDialog();
    return dlg;
}

void BitDlgRig::AnswerFiles(const QString& path, int filterIndex) {
    m_answerPath = path;
    m_answerFilter = filterIndex;
}

void BitDlgRig::CancelFiles() {
    m_answerPath.clear();
}

void BitDlgRig::Attach(CBitDlg& dlg) {
    dlg.SetFileAsker([this](QWidget*, bool save, const QString& folder, const QStringList& filters,
                            SettingFileChoice& choice) {
        asked.push_back({save, folder, filters});
        if (m_answerPath.isEmpty()) return false;
        choice.path = m_answerPath;
        choice.filterIndex = m_answerFilter;
        return true;
    });
}

std::string ColumnState(const CBitColumn& column) {
    std::string out;
    for (int bit = 7; bit >= 0; --bit) {
        const QAbstractButton* b = column.Button(bit);
        const bool pressed = b->isChecked();
        // The caption always tells the state.
        EXPECT_EQ(b->text(), pressed ? QStringLiteral("0") : QStringLiteral("1")) << "bit " << bit;
        if (b->isEnabled()) {
            out += pressed ? 'P' : 'r';
        } else {
            out += pressed ? 'p' : '.';
        }
    }
    return out;
}

std::string ColumnLabels(const CControls& controls, const std::array<int, 8>& labelIds) {
    std::string out;
    for (size_t i = labelIds.size(); i-- > 0;) {
        if (!out.empty()) out += '|';
        out += controls.Text(labelIds[i]).toStdString();
    }
    return out;
}

}  // namespace oriole::test
