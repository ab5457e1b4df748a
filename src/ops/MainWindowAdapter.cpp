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
    bool anyFuse = false;
    for (const auto& f : fuses) {
        const bool present = DescribeMemory(device, f.memory).Present();
        m_controls.Enable(f.label, present);
        m_controls.Enable(f.edit, present);
        anyFuse = anyFuse || present;
    }
    m_controls.Enable(ctl_id::kFuseDetails, anyFuse);
    const bool calibration = DescribeMemory(device, Memory::Calibration).Present();
    for (int id : kCalibrationControls) m_controls.Enable(id, calibration);
}

bool CMainWindowAdapter::IsDeviceKnown() {
    if (m_core.IsAutoDetect() || m_controls.ListSelection() != 0) return true;
    m_core.Host().ShowFailure(Cause::NotDetected, MsgKind::Warning, text::kDeviceUnknown);
    return false;
}

// --- Jobs ---

JobResult CMainWindowAdapter::Run(std::vector<JobStep> steps, const OpOptions& options, std::vector<JobImage> images,
                                  const JobEvents& events) {
    Job job;
    job.steps = std::move(steps);
    job.images = std::move(images);
    job.options = options;
    job.fusePolicy = {.risky = RiskyFuses::Ask};
    // Options without the timing come from a caller that has just sent it
    // (and detected the device, where auto-detect is on) itself.
    job.detected = !options.timing;
    return RunJob(m_core, job, events);
}

bool CMainWindowAdapter::Detect() { return Run({JobStep{.kind = StepKind::Detect}}, {}).ok; }

bool CMainWindowAdapter::Erase(const OpOptions& options) {
    return Run({JobStep{.kind = StepKind::Erase}}, options).ok;
}

bool CMainWindowAdapter::WriteFile(Memory memory, const std::string& path, const OpOptions& options) {
    const StepKind kind = memory == Memory::Flash ? StepKind::WriteFlash : StepKind::WriteEeprom;
    // A quiet write verifies nothing of its own, as the core's.
    return Run({JobStep{.kind = kind, .image = 0, .verify = options.report && options.verify}}, options,
               {JobImage{.name = path, .path = path}})
        .ok;
}

bool CMainWindowAdapter::VerifyFile(Memory memory, const std::string& path, const OpOptions& options) {
    const StepKind kind = memory == Memory::Flash ? StepKind::VerifyFlash : StepKind::VerifyEeprom;
    return Run({JobStep{.kind = kind, .image = 0}}, options, {JobImage{.name = path, .path = path}}).ok;
}

bool CMainWindowAdapter::ReadMemory(Memory memory, std::vector<uint8_t>& bytes) {
    const bool flash = memory == Memory::Flash;
    bytes.clear();
    JobEvents events;
    events.onRead = [&](const JobStep&, std::span<const uint8_t> read) {
        // The device is the one the job detected.
        const size_t size = DescribeMemory(m_core.Device(), memory).size;
        bytes.assign(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(std::min(size, read.size())));
        return true;
    };
    return Run({JobStep{.kind = flash ? StepKind::ReadFlash : StepKind::ReadEeprom}}, {}, {}, events).ok;
}

bool CMainWindowAdapter::ReadFuseBytes(FuseBytes& fuses) {
    JobEvents events;
    events.onRead = [&](const JobStep&, std::span<const uint8_t> read) {
        fuses = {read[0], read[1], read[2]};
        return true;
    };
    return Run({JobStep{.kind = StepKind::ReadFuses}}, {}, {}, events).ok;
}

bool CMainWindowAdapter::WriteFuseBytes(const FuseBytes& fuses, const OpOptions& options) {
    return Run({JobStep{.kind = StepKind::WriteFuses, .verify = options.report && options.verify, .fuses = fuses}},
               options)
        .ok;
}

bool CMainWindowAdapter::VerifyFuseBytes(const FuseBytes& fuses, const OpOptions& options) {
    return Run({JobStep{.kind = StepKind::VerifyFuses, .fuses = fuses}}, options).ok;
}

bool CMainWindowAdapter::ReadLockByte(uint8_t& lock) {
    JobEvents events;
    events.onRead = [&](const JobStep&, std::span<const uint8_t> read) {
        lock = read[0];
        return true;
    };
    return Run({JobStep{.kind = StepKind::ReadLock}}, {}, {}, events).ok;
}

bool CMainWindowAdapter::WriteLockByte(uint8_t lock, const OpOptions& options) {
    return Run({JobStep{.kind = StepKind::WriteLock, .verify = options.report && options.verify, .lock = lock}},
               options)
        .ok;
}

bool CMainWindowAdapter::VerifyLockByte(uint8_t lock, const OpOptions& options) {
    return Run({JobStep{.kind = StepKind::VerifyLock, .lock = lock}}, options).ok;
}

bool CMainWindowAdapter::ReadCalibrationByte(uint8_t index, uint8_t& value) {
    JobEvents events;
    events.onRead = [&](const JobStep&, std::span<const uint8_t> read) {
        value = read[0];
        return true;
    };
    return Run({JobStep{.kind = StepKind::ReadCalibration, .calibIndex = index}}, {}, {}, events).ok;
}

bool CMainWindowAdapter::WriteCalibrationByte(const CalibTarget& target, const OpOptions& options, bool strict) {
    return Run({JobStep{.kind = StepKind::WriteCalibration,
                        .verify = options.report && options.verify,
                        .calib = target,
                        .strictCalibration = strict}},
               options)
        .ok;
}

bool CMainWindowAdapter::VerifyCalibrationByte(const CalibTarget& target, const OpOptions& options, bool strict) {
    return Run({JobStep{.kind = StepKind::VerifyCalibration, .calib = target, .strictCalibration = strict}}, options)
        .ok;
}

// --- Values of the window ---

bool CMainWindowAdapter::WriteFlash(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kFlashVerify);
    return WriteFile(Memory::Flash, m_controls.Text(ctl_id::kFlashFile), o);
}

bool CMainWindowAdapter::EraseAndWriteFlash(const OpOptions& options) {
    OpOptions o = options;
    o.verify = false;
    const std::string path = m_controls.Text(ctl_id::kFlashFile);
    // The file is loaded for the device (detected first where auto-detect
    // is on) before the erase: a file that cannot be programmed never
    // leaves an erased chip.
    const bool verify = options.verify || m_controls.IsChecked(ctl_id::kFlashVerify);
    IOperationHost& host = m_core.Host();
    JobEvents events;
    events.onEnd = [&host](const JobStep& step, bool ok) {
        if (!ok && step.kind == StepKind::Erase)
            host.ShowMessage(MsgKind::Warning, text::kEraseBeforeWriteFailed, Answer::Yes);
    };
    return Run({JobStep{.kind = StepKind::Erase, .quiet = true},
                JobStep{.kind = StepKind::WriteFlash, .image = 0, .verify = o.report && verify}},
               o, {JobImage{.name = path, .path = path}}, events)
        .ok;
}

bool CMainWindowAdapter::WriteEeprom(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kEepromVerify);
    return WriteFile(Memory::Eeprom, m_controls.Text(ctl_id::kEepromFile), o);
}

FuseBytes CMainWindowAdapter::WindowFuses() const {
    return {ParseHexByte(m_controls.Text(ctl_id::kExtEdit)), ParseHexByte(m_controls.Text(ctl_id::kHighEdit)),
            ParseHexByte(m_controls.Text(ctl_id::kLowEdit))};
}

bool CMainWindowAdapter::WriteFuses(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kFuseVerify);
    return WriteFuseBytes(WindowFuses(), o);
}

bool CMainWindowAdapter::VerifyFuses(const OpOptions& options) { return VerifyFuseBytes(WindowFuses(), options); }

bool CMainWindowAdapter::WriteLockBits(const OpOptions& options) {
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kLockVerify);
    return WriteLockByte(ParseHexByte(m_controls.Text(ctl_id::kLockEdit)), o);
}

bool CMainWindowAdapter::VerifyLockBits(const OpOptions& options) {
    return VerifyLockByte(ParseHexByte(m_controls.Text(ctl_id::kLockEdit)), options);
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
    OpOptions o = options;
    o.verify = o.verify || m_controls.IsChecked(ctl_id::kCalibVerify);
    return WriteCalibrationByte(target, o, false);
}

bool CMainWindowAdapter::VerifyCalibration(const OpOptions& options) {
    CalibTarget target;
    if (!CalibrationTarget(target)) return false;
    return VerifyCalibrationByte(target, options, false);
}

}  // namespace oriole
