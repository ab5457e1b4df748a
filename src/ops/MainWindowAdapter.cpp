#include "ops/MainWindowAdapter.h"

#include <QString>
#include <algorithm>

#include "base/Numbers.h"
#include "image/ImageReader.h"
#include "ops/Job.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// Controls that only make sense with a calibration byte to read and store.
constexpr int kCalibrationControls[] = {
    ctl_id::kCalibFreqLabel, ctl_id::kCalibFreq,   ctl_id::kCalibValueLabel, ctl_id::kCalibValue,
    ctl_id::kCalibMemory,    ctl_id::kCalibAddress, ctl_id::kCalibDetails,
};

}  // namespace

CMainWindowAdapter::CMainWindowAdapter(COrioleCore& core) : m_core(core) {
    m_core.SetAutoDetect(m_controls.IsChecked(ctl_id::kAutoDetect));
    m_controls.onModelChanged = [this](int id) {
        if (id == ctl_id::kAutoDetect) m_core.SetAutoDetect(m_controls.IsChecked(id));
    };
    m_core.onDeviceDetected = [this](int row, int previous) {
        // Every catalogue row has its item in the list.
        m_controls.SelectListRow(row);
        if (row != previous) ClearDeviceValues();
        if (row != 0) EnableDeviceControls(m_core.Device());
    };
}

CMainWindowAdapter::~CMainWindowAdapter() { m_core.onDeviceDetected = nullptr; }

// --- Device selection ---

void CMainWindowAdapter::SelectDevice(int row) {
    if (row != m_core.DeviceRow()) ClearDeviceValues();
    m_core.SelectDevice(row);
    // "(auto)" leaves the controls as the previous device set them.
    if (row != 0) EnableDeviceControls(m_core.Device());
}

void CMainWindowAdapter::ClearDeviceValues() {
    for (int id : {ctl_id::kExtEdit, ctl_id::kHighEdit, ctl_id::kLowEdit, ctl_id::kLockEdit,
                   ctl_id::kCalibFreq, ctl_id::kCalibValue, ctl_id::kCalibAddress})
        m_controls.SetText(id, {});
    m_controls.SetText(ctl_id::kCalibMemory, text::kCalibrationWriteMemoryDefault);
    for (int id : {ctl_id::kFuseWrite, ctl_id::kFuseVerify, ctl_id::kLockWrite, ctl_id::kLockVerify,
                   ctl_id::kCalibWrite, ctl_id::kCalibVerify})
        m_controls.Enable(id, false);
}

void CMainWindowAdapter::EnableDeviceControls(const AVR_DEVICE& device) {
    const struct {
        Memory memory;
        int label;
        int edit;
    } fuses[] = {{Memory::ExtFuse, ctl_id::kExtLabel, ctl_id::kExtEdit},
                 {Memory::HighFuse, ctl_id::kHighLabel, ctl_id::kHighEdit},
                 {Memory::LowFuse, ctl_id::kLowLabel, ctl_id::kLowEdit}};
    for (const auto& f : fuses) {
        const bool present = HasMemory(device, f.memory);
        m_controls.Enable(f.label, present);
        m_controls.Enable(f.edit, present);
    }
    m_controls.Enable(ctl_id::kFuseDetails, HasFuses(device));
    const bool calibration = HasMemory(device, Memory::Calibration);
    for (int id : kCalibrationControls) m_controls.Enable(id, calibration);
}

bool CMainWindowAdapter::IsDeviceKnown() {
    if (m_core.IsAutoDetect() || m_controls.ListSelection() != 0) return true;
    m_core.Host().ShowFailure(Cause::NotDetected, MsgKind::Warning, text::kDeviceUnknown);
    return false;
}

// --- Values of the window ---

bool CMainWindowAdapter::WriteFlash(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kFlashVerify);
    return m_core.WriteFlash(m_controls.Text(ctl_id::kFlashFile), o);
}

bool CMainWindowAdapter::EraseAndWriteFlash(const OpOptions& options) {
    Job job;
    job.options = options;
    job.options.verify = false;
    const std::string path = m_controls.Text(ctl_id::kFlashFile);
    job.images = {JobImage{.name = path, .path = path}};
    // The file is loaded for the device (detected first where auto-detect
    // is on) before the erase: a file that cannot be programmed never
    // leaves an erased chip.
    job.steps = {JobStep{.kind = StepKind::Erase, .quiet = true},
                 JobStep{.kind = StepKind::WriteFlash, .image = 0,
                         .verify = options.verify || m_controls.IsChecked(ctl_id::kFlashVerify)}};
    IOperationHost& host = m_core.Host();
    JobEvents events;
    events.onEnd = [&host](const JobStep& step, bool ok) {
        if (!ok && step.kind == StepKind::Erase)
            host.ShowMessage(MsgKind::Warning, text::kEraseBeforeWriteFailed, Answer::Yes);
    };
    return RunJob(m_core, job, events).ok;
}

bool CMainWindowAdapter::WriteEeprom(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kEepromVerify);
    return m_core.WriteEeprom(m_controls.Text(ctl_id::kEepromFile), o);
}

FuseBytes CMainWindowAdapter::WindowFuses() const {
    return {ParseHexByte(m_controls.Text(ctl_id::kExtEdit)), ParseHexByte(m_controls.Text(ctl_id::kHighEdit)),
            ParseHexByte(m_controls.Text(ctl_id::kLowEdit))};
}

bool CMainWindowAdapter::WriteFuses(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kFuseVerify);
    // A risky value is asked about, No unless the user says Yes.
    return m_core.WriteFuses(WindowFuses(), o, {.risky = RiskyFuses::Ask});
}

bool CMainWindowAdapter::VerifyFuses(const OpOptions& options) {
    return m_core.VerifyFuses(WindowFuses(), options);
}

bool CMainWindowAdapter::WriteLockBits(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kLockVerify);
    return m_core.WriteLockBits(ParseHexByte(m_controls.Text(ctl_id::kLockEdit)), o);
}

bool CMainWindowAdapter::VerifyLockBits(const OpOptions& options) {
    return m_core.VerifyLockBits(ParseHexByte(m_controls.Text(ctl_id::kLockEdit)), options);
}

bool CMainWindowAdapter::CalibrationTarget(CalibTarget& target) {
    const std::string& value = m_controls.Text(ctl_id::kCalibValue);
    const std::string& address = m_controls.Text(ctl_id::kCalibAddress);
    const std::string& memory = m_controls.Text(ctl_id::kCalibMemory);
    IOperationHost& host = m_core.Host();
    if (value.empty()) {
        host.ShowFailure(Cause::EmptyInput, MsgKind::Warning, text::kCalibValueMissing);
        return false;
    }
    if (address.empty()) {
        host.ShowFailure(Cause::EmptyInput, MsgKind::Warning, text::kCalibAddressMissing);
        return false;
    }
    if (!CalibMemoryOfText(memory, target.memory)) {
        host.ShowFailure(Cause::EmptyInput, MsgKind::Warning, text::kCalibMemoryMissing);
        return false;
    }
    target.value = ParseHexByte(value);
    target.address = ParseHexLenient(address);
    return true;
}

bool CMainWindowAdapter::BatchSettingsOf(uint32_t mask, const std::string& flashFile,
                                         const std::string& eepromFile, bool fuses, bool lock, bool calibration,
                                         BatchSettings& out) {
    out = BatchSettings{};
    out.steps = mask;
    out.flashFile = flashFile;
    out.eepromFile = eepromFile;
    out.fuseEnabled = fuses;
    out.fuses = WindowFuses();
    out.lockEnabled = lock;
    out.lock = ParseHexByte(m_controls.Text(ctl_id::kLockEdit));
    const bool calibTicked = (mask & (step_bit::kWriteCalibration | step_bit::kVerifyCalibration)) != 0;
    out.calibEnabled = calibration && calibTicked;
    return !out.calibEnabled || CalibrationTarget(out.calib);
}

bool CMainWindowAdapter::WriteCalibration(const OpOptions& options) {
    CalibTarget target;
    if (!CalibrationTarget(target)) return false;
    CalibOptions o;
    static_cast<OpOptions&>(o) = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kCalibVerify);
    return m_core.WriteCalibration(target, o);
}

bool CMainWindowAdapter::VerifyCalibration(const OpOptions& options) {
    CalibTarget target;
    if (!CalibrationTarget(target)) return false;
    CalibOptions o;
    static_cast<OpOptions&>(o) = options;
    return m_core.VerifyCalibration(target, o);
}

}  // namespace oriole
