// The core's state, the device selection, the operation frame, the device
// check and the chip erase.
#include "ops/OrioleCore.h"

#include "base/FormatText.h"
#include "link/WriterLink.h"
#include "link/WriterSpec.h"
#include "ops/FrameHost.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// Controls that only make sense with a calibration byte to read and store.
constexpr int kCalibrationControls[] = {
    ctl_id::kCalibFreqLabel, ctl_id::kCalibFreq,   ctl_id::kCalibValueLabel, ctl_id::kCalibValue,
    ctl_id::kCalibMemory,    ctl_id::kCalibAddress, ctl_id::kCalibDetails,
};

}  // namespace

COrioleCore::COrioleCore(IOperationHost& host)
    : m_pDevice(&DeviceAt(0)), m_host(host), m_strWriterSpec(kDefaultWriterSpec) {}

COrioleCore::~COrioleCore() = default;

void COrioleCore::SetWriterSpec(std::string spec, WriterSpecSource source) {
    if (spec == m_strWriterSpec && source == m_writerSource && m_pDriver) return;
    m_strWriterSpec = std::move(spec);
    m_writerSource = source;
    m_pDriver.reset();
}

void COrioleCore::SetDriver(std::unique_ptr<IWriterDriver> driver) { m_pDriver = std::move(driver); }

IWriterDriver* COrioleCore::Driver() {
    if (m_pDriver) return m_pDriver.get();
    std::string error;
    m_pDriver = CreateWriterDriver(m_strWriterSpec, error, m_writerSource);
    if (!m_pDriver) {
        const std::string what = m_strWriterSpec + " (" + error + ")";
        m_host.ShowMessage(MsgKind::Error, FormatText(text::kWriterSpecInvalid, what.c_str()));
    }
    return m_pDriver.get();
}

// --- Device selection ---

void COrioleCore::SelectDevice(int row) {
    if (row != m_nDevice) ClearDeviceValues();
    m_nDevice = row;
    m_pDevice = &DeviceAt(row);
    // "(auto)" leaves the controls as the previous device set them.
    if (row != 0) EnableDeviceControls(m_pDevice->fuseMask, m_pDevice->calibControls);
}

void COrioleCore::ClearDeviceValues() {
    for (int id : {ctl_id::kExtEdit, ctl_id::kHighEdit, ctl_id::kLowEdit, ctl_id::kLockEdit,
                   ctl_id::kCalibFreq, ctl_id::kCalibValue, ctl_id::kCalibAddress})
        m_controls.SetText(id, {});
    m_controls.SetText(ctl_id::kCalibMemory, text::kCalibrationWriteMemoryDefault);
    for (int id : {ctl_id::kFuseWrite, ctl_id::kFuseVerify, ctl_id::kLockWrite, ctl_id::kLockVerify,
                   ctl_id::kCalibWrite, ctl_id::kCalibVerify})
        m_controls.Enable(id, false);
}

void COrioleCore::EnableDeviceControls(int32_t fuseMask, bool calibration) {
    const bool ext = (fuseMask & kFuseExt) != 0;
    const bool high = (fuseMask & kFuseHigh) != 0;
    const bool low = (fuseMask & (kFuseLow | kFuseSingle)) != 0;
    m_controls.Enable(ctl_id::kExtLabel, ext);
    m_controls.Enable(ctl_id::kExtEdit, ext);
    m_controls.Enable(ctl_id::kHighLabel, high);
    m_controls.Enable(ctl_id::kHighEdit, high);
    m_controls.Enable(ctl_id::kLowLabel, low);
    m_controls.Enable(ctl_id::kLowEdit, low);
    m_controls.Enable(ctl_id::kFuseDetails, (fuseMask & 0x0F) != 0);
    for (int id : kCalibrationControls) m_controls.Enable(id, calibration);
}

bool COrioleCore::IsDeviceKnown() {
    if (IsAutoDetect() || m_controls.ListSelection() != 0) return true;
    m_host.ShowMessage(MsgKind::Warning, text::kDeviceUnknown);
    return false;
}

bool COrioleCore::SelectDetectedDevice(int row) {
    // Every catalogue row has its item in the list.
    m_controls.SelectListRow(row);
    SelectDevice(row);
    return true;
}

// --- The frame ---

bool COrioleCore::CanAddressDevice() {
    // Without a device and without detection the begin sequence would give the
    // box the timing of no device and the operation would address nothing.
    if (IsAutoDetect() || m_pDevice->id > 0) return true;
    m_host.ShowMessage(MsgKind::Warning, text::kDeviceUnknown);
    return false;
}

bool COrioleCore::RunFrame(bool timing, const Body& body, bool needsDevice) {
    if (needsDevice && !CanAddressDevice()) return false;
    IWriterDriver* driver = Driver();
    if (driver == nullptr) return false;
    CFrameHost frameHost(m_host);
    CFrameHost* const outer = m_pFrameHost;
    m_pFrameHost = &frameHost;
    CWriterLink link(*driver, m_state, frameHost);
    bool r = false;
    if (link.OpenLink()) {
        r = link.BeginProgramming(*this, timing);
        if (r && body) r = body(link);
        frameHost.MuteAfterFailure();
        link.EndProgramming();
        link.CloseLink();
    }
    m_pFrameHost = outer;
    return r;
}

std::unique_ptr<IProgress> COrioleCore::CreateProgressDlg(int32_t lower, int32_t upper,
                                                          const char* caption, const char* message) {
    return m_host.CreateProgressDlg(lower, upper, caption, message, m_state.m_nAbort);
}

// --- Check and erase ---

bool COrioleCore::CheckDevice(bool bTiming) { return RunFrame(bTiming, {}, false); }

bool COrioleCore::EraseDevice() {
    const bool quietly = (m_nQuietFlags & quiet::kErase) != 0;
    if (!quietly && m_host.ShowMessage(MsgKind::Question, text::kEraseConfirm) != Answer::Yes)
        return false;
    const bool r = RunFrame(true, [this](CWriterLink& link) {
        bool ok = link.ChipErase();
        if (!m_pDevice->eraseFollowUps.empty()) {
            ok = true;
            for (uint8_t value : m_pDevice->eraseFollowUps) {
                ok = link.EraseFollowUp(value);
                if (!ok) break;
            }
            if (ok) ok = link.ChipErase();
        }
        return ok;
    });
    if (r && !quietly) m_host.ShowMessage(MsgKind::Information, text::kEraseDone);
    return r;
}

}  // namespace oriole
