#include "ops/MainControls.h"

#include "res/Texts.h"

namespace oriole {

namespace {

// Write buttons and verify boxes that stay disabled until the fuse, lock and
// calibration dialogs or a setting file put values into their fields.
constexpr int kDisabledAtStart[] = {
    ctl_id::kFuseWrite, ctl_id::kFuseVerify,  ctl_id::kLockWrite,
    ctl_id::kLockVerify, ctl_id::kCalibWrite, ctl_id::kCalibVerify,
};

}  // namespace

CMainControls::CMainControls() {
    for (int id : kDisabledAtStart) m_controls[id].enabled = false;
    m_controls[ctl_id::kCalibMemory].text = text::kCalibrationWriteMemoryDefault;
    m_controls[ctl_id::kAutoDetect].checked = true;
}

const CMainControls::Control& CMainControls::Get(int id) const {
    static const Control kUntouched;
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? kUntouched : it->second;
}

void CMainControls::Changed(int id) {
    if (onModelChanged) onModelChanged(id);
    if (onChanged) onChanged(id);
}

const std::string& CMainControls::Text(int id) const { return Get(id).text; }

void CMainControls::SetText(int id, std::string text) {
    Control& c = m_controls[id];
    if (c.text == text) return;
    c.text = std::move(text);
    Changed(id);
}

bool CMainControls::IsChecked(int id) const { return Get(id).checked; }

void CMainControls::SetCheck(int id, bool checked) {
    Control& c = m_controls[id];
    if (c.checked == checked) return;
    c.checked = checked;
    Changed(id);
}

bool CMainControls::IsEnabled(int id) const { return Get(id).enabled; }

void CMainControls::Enable(int id, bool enabled) {
    Control& c = m_controls[id];
    if (c.enabled == enabled) return;
    c.enabled = enabled;
    Changed(id);
}

void CMainControls::SelectListRow(int row) {
    if (m_nListRow == row) return;
    m_nListRow = row;
    Changed(ctl_id::kDeviceList);
}

}  // namespace oriole
