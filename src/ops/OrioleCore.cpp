// The core's state, the device selection, the operation frame, the device
// check and the chip erase.
#include "ops/OrioleCore.h"

#include "base/FormatText.h"
#include "link/WriterLink.h"
#include "link/WriterSpec.h"
#include "ops/FrameHost.h"
#include "res/Texts.h"

namespace oriole {

COrioleCore::COrioleCore(IOperationHost& host)
    : m_pDevice(&DeviceAt(0)), m_recorder(host), m_host(m_recorder), m_strWriterSpec(kDefaultWriterSpec) {}

COrioleCore::~COrioleCore() = default;

void COrioleCore::SetWriterSpec(std::string spec, WriterSpecSource source) {
    if (spec == m_strWriterSpec && source == m_writerSource && m_pDriver) return;
    m_strWriterSpec = std::move(spec);
    m_writerSource = source;
    m_pDriver.reset();
}

void COrioleCore::SetDriver(std::unique_ptr<IWriterDriver> driver) {
    m_pDriver = std::move(driver);
    if (m_pDriver && m_pTrace) m_pDriver = std::make_unique<CTracingDriver>(std::move(m_pDriver), m_pTrace);
}

void COrioleCore::SetTrace(std::shared_ptr<CWireTrace> trace) {
    m_pTrace = std::move(trace);
    if (m_pDriver && m_pTrace) m_pDriver = std::make_unique<CTracingDriver>(std::move(m_pDriver), m_pTrace);
}

IWriterDriver* COrioleCore::Driver() {
    if (m_pDriver) return m_pDriver.get();
    std::string error;
    m_pDriver = CreateWriterDriver(m_strWriterSpec, error, m_writerSource);
    if (!m_pDriver) {
        const std::string what = m_strWriterSpec + " (" + error + ")";
        m_host.ShowFailure(Cause::Driver, MsgKind::Error, FormatText(text::kWriterSpecInvalid, what.c_str()));
    } else if (m_pTrace) {
        m_pTrace->Remark("writer " + m_strWriterSpec);
        m_pDriver = std::make_unique<CTracingDriver>(std::move(m_pDriver), m_pTrace);
    }
    return m_pDriver.get();
}

// --- Device selection ---

void COrioleCore::SelectDevice(int row) {
    m_nDevice = row;
    m_pDevice = &DeviceAt(row);
}

bool COrioleCore::SelectDetectedDevice(int row) {
    const int previous = m_nDevice;
    SelectDevice(row);
    if (onDeviceDetected) onDeviceDetected(row, previous);
    return true;
}

void COrioleCore::ForgetMemories() {
    m_pFlashRead.clear();
    m_pEepromRead.clear();
    m_imgFlash = ImageBuffer{};
    m_imgEeprom = ImageBuffer{};
}

// --- The frame ---

void COrioleCore::Message(MsgKind kind, const std::string& text) {
    IOperationHost& host = m_pFrameHost ? static_cast<IOperationHost&>(*m_pFrameHost) : m_host;
    host.ShowMessage(kind, text);
}

void COrioleCore::Failure(Cause cause, MsgKind kind, const std::string& text) {
    IOperationHost& host = m_pFrameHost ? static_cast<IOperationHost&>(*m_pFrameHost) : m_host;
    host.ShowFailure(cause, kind, text);
}

bool COrioleCore::CanAddressDevice() {
    // Without a device and without detection the begin sequence would give the
    // box the timing of no device and the operation would address nothing.
    if (IsAutoDetect() || m_pDevice->id > 0) return true;
    m_host.ShowFailure(Cause::NotDetected, MsgKind::Warning, text::kDeviceUnknown);
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
    const char* missing = nullptr;
    if (link.OpenLink()) {
        r = link.BeginProgramming(*this, timing);
        if (r) missing = MissingMemory();
        r = r && missing == nullptr && (!body || body(link));
        frameHost.MuteAfterFailure();
        link.EndProgramming();
        link.CloseLink();
    }
    m_pFrameHost = outer;
    if (missing != nullptr)
        m_host.ShowFailure(Cause::NoSuchMemory, MsgKind::Warning, FormatText(text::kMemoryMissing, m_pDevice->name, missing));
    return r;
}

const char* COrioleCore::MissingMemory() const {
    switch (m_needs) {
        case Needs::Nothing: return nullptr;
        case Needs::Fuses: return HasFuses(*m_pDevice) ? nullptr : text::kMemoryFuses;
        case Needs::Calibration:
            return HasMemory(*m_pDevice, Memory::Calibration) ? nullptr : text::kMemoryCalibration;
    }
    return nullptr;
}

std::unique_ptr<IProgress> COrioleCore::CreateProgressDlg(int32_t lower, int32_t upper,
                                                          const char* caption, const char* message) {
    return m_host.CreateProgressDlg(lower, upper, caption, message, m_state.m_nAbort);
}

// --- Check and erase ---

bool COrioleCore::CheckDevice(bool timing) { return RunFrame(timing, {}, false); }

bool COrioleCore::EraseDevice(const OpOptions& options) {
    if (options.confirm && m_host.ShowMessage(MsgKind::Question, text::kEraseConfirm) != Answer::Yes)
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
    if (r && options.report) m_host.ShowMessage(MsgKind::Information, text::kEraseDone);
    return r;
}

}  // namespace oriole
