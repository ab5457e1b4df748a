#include "production/BoxRun.h"

#include <QDateTime>
#include <chrono>

#include "base/FormatText.h"
#include "devices/Devices.h"
#include "ops/BatchRunner.h"
#include "production/ProductionRun.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// How long a waiting box sleeps at a time, so that a stop is seen at once.
constexpr auto kStopSlice = std::chrono::milliseconds(50);

QString HexBytes(std::span<const uint8_t> bytes) {
    QStringList figures;
    for (uint8_t b : bytes) figures << QStringLiteral("%1").arg(b, 2, 16, QChar('0')).toUpper();
    return figures.join(' ');
}

// "FLASH ベリファイ... " as the log's step column shows it.
QString StepName(const char* log) { return QString::fromUtf8(log).remove("...").trimmed(); }

}  // namespace

// --- The box's host ---

CBoxHost::CBoxHost(const CProductionRun& run, std::string box)
    : m_run(run), m_box(std::move(box)) {}

Answer CBoxHost::ShowMessage(MsgKind kind, std::string_view text, Answer /*defaultAnswer*/) {
    if (kind == MsgKind::Error || kind == MsgKind::Warning) m_lastFailure = text;
    // Nobody stands by a production run to answer: every question is No.
    if (!m_bMuted) m_run.Say(m_box, kind, std::string(text));
    return kind == MsgKind::Question ? Answer::No : Answer::Ok;
}

void CBoxHost::Sleep(std::chrono::milliseconds pause) { SystemClock().SleepFor(pause); }

// --- The box's loop ---

CBoxRun::CBoxRun(CProductionRun& run, const std::string& writer, std::string name)
    : m_run(run), m_writer(std::move(name)), m_host(run, m_writer), m_core(m_host) {
    const ProductionJob& job = run.Job();
    m_core.SetWriterSpec(writer, run.Options().writersFromUser ? WriterSpecSource::User
                                                                 : WriterSpecSource::SettingsFile);
    CLinkState& state = m_core.LinkState();
    state.m_nSysFreq = job.clock;
    state.m_nUsbTiming = job.usbTiming;
    state.m_nDataSpeed = job.dataSpeed;
    m_core.SelectDevice(job.deviceRow);
}

void CBoxRun::Run() {
    const ProductionOptions& options = m_run.Options();
    const bool repeat = options.repeat || options.count > 0;
    if (!repeat) {
        if (m_run.ClaimChip()) ProgramChip();
    } else {
        while (m_run.MoreChips() && WaitFor(Socket::Chip) && m_run.ClaimChip()) {
            ProgramChip();
            if (!m_run.MoreChips() || !WaitFor(Socket::Empty)) break;
        }
    }
    if (m_run.m_events.onWait) m_run.m_events.onWait(m_writer, BoxWait::Ended);
}

CBoxRun::Socket CBoxRun::Probe() {
    m_host.SetMuted(true);
    m_host.LastFailure().clear();
    m_core.SetAutoDetect(true);
    const bool present = m_core.CheckDevice(false);
    m_host.SetMuted(false);
    if (present) return Socket::Chip;
    const std::string& why = m_host.LastFailure();
    return why == text::kProgrammingRefused || why == text::kDeviceNotDetected ? Socket::Empty : Socket::BoxFailed;
}

bool CBoxRun::WaitFor(Socket wanted) {
    if (m_run.m_events.onWait)
        m_run.m_events.onWait(m_writer, wanted == Socket::Chip ? BoxWait::ForChip : BoxWait::ForRemoval);
    while (m_run.MoreChips()) {
        const Socket socket = Probe();
        if (socket == wanted) return true;
        if (socket == Socket::BoxFailed) {
            m_run.Say(m_writer, MsgKind::Error, m_host.LastFailure());
            return false;
        }
        // A modest rate: the box is asked a few times a second, and sleeps between.
        const auto until = SystemClock().Now() + m_run.Options().poll;
        while (SystemClock().Now() < until && !m_run.Stopping()) SystemClock().SleepFor(kStopSlice);
    }
    return false;
}

void CBoxRun::ProgramChip() {
    const ProductionJob& job = m_run.Job();
    ChipRecord record;
    record.settingFile = job.settingFile;
    record.box = QString::fromStdString(m_writer);
    for (const ProductionImage& image : m_run.Images()) record.hashes.push_back(QString::fromLatin1(image.sha256));
    const auto start = std::chrono::steady_clock::now();
    auto finish = [&](bool passed) {
        record.time = QDateTime::currentDateTime().toString(Qt::ISODate);
        record.passed = passed;
        record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start).count();
        m_run.Record(record);
    };

    // A file that changed is not programmed into this chip or any later one.
    if (std::string error; !m_run.ImagesUnchanged(error)) {
        m_run.Break(m_writer, error);
        return;
    }
    m_core.SetAutoDetect(true);
    if (!m_core.CheckDevice(true)) {
        record.failedStep = QString::fromUtf8(text::kProductionStepDetect);
        return finish(false);
    }
    m_core.SetAutoDetect(false);
    const AVR_DEVICE& device = m_core.Device();
    record.device = QString::fromUtf8(device.name);
    record.signature = HexBytes(device.signature);
    if (m_core.DeviceRow() != job.deviceRow) {
        record.failedStep = QString::fromStdString(FormatText(text::kProductionWrongDevice, device.name));
        m_core.SelectDevice(job.deviceRow);
        return finish(false);
    }
    uint8_t calibration = 0xFF;
    if (!CalibrationFrequencies(device.id).empty()) {
        const auto index = static_cast<uint8_t>(std::max(m_run.m_calibIndex, 0));
        if (!m_core.ReadCalibrationByte(index, calibration, false)) {
            record.failedStep = QString::fromUtf8(text::kProductionStepCalibRead);
            return finish(false);
        }
        record.calibration = HexBytes(std::span(&calibration, 1));
    }
    // The number is taken, and its file synced, before anything is written.
    SerialNumber serial;
    if (m_run.m_serials) {
        if (std::string error; !m_run.m_serials->Take(serial, error)) {
            m_run.Break(m_writer, error);
            return;
        }
        record.serial = serial.text;
    }
    const bool passed = RunSteps(m_run.m_serials ? &serial : nullptr, calibration, record);
    finish(passed);
}

bool CBoxRun::RunSteps(const SerialNumber* serial, uint8_t calibration, ChipRecord& record) {
    const ProductionJob& job = m_run.Job();
    ImageBuffer flash;
    ImageBuffer eeprom;
    for (const ProductionImage& image : m_run.Images())
        (image.flash ? flash : eeprom) = m_run.MergedImage(image, serial);
    const CalibTarget target{calibration, job.calibAddress, job.calibMemory};
    auto calib = [](const OpOptions& o) {
        CalibOptions c;
        static_cast<OpOptions&>(c) = o;
        return c;
    };
    struct Row {
        uint32_t bit;
        bool enabled;
        const char* log;
        std::function<bool(const OpOptions&)> run;
    };
    const Row rows[] = {
        {step_bit::kErase, true, text::kBatchErase, [&](const OpOptions& o) { return m_core.EraseDevice(o); }},
        {step_bit::kWriteFlash, true, text::kBatchFlashWrite, [&](const OpOptions& o) { return m_core.WriteFlash(flash, o); }},
        {step_bit::kVerifyFlash, true, text::kBatchFlashVerify, [&](const OpOptions& o) { return m_core.VerifyFlash(flash, o); }},
        {step_bit::kWriteEeprom, true, text::kBatchEepromWrite, [&](const OpOptions& o) { return m_core.WriteEeprom(eeprom, o); }},
        {step_bit::kVerifyEeprom, true, text::kBatchEepromVerify, [&](const OpOptions& o) { return m_core.VerifyEeprom(eeprom, o); }},
        {step_bit::kWriteFuses, job.fuseEnabled, text::kBatchFuseWrite, [&](const OpOptions& o) { return m_core.WriteFuses(job.fuses, o); }},
        {step_bit::kVerifyFuses, job.fuseEnabled, text::kBatchFuseVerify, [&](const OpOptions& o) { return m_core.VerifyFuses(job.fuses, o); }},
        {step_bit::kWriteLock, job.lockEnabled, text::kBatchLockWrite, [&](const OpOptions& o) { return m_core.WriteLockBits(job.lock, o); }},
        {step_bit::kVerifyLock, job.lockEnabled, text::kBatchLockVerify, [&](const OpOptions& o) { return m_core.VerifyLockBits(job.lock, o); }},
        {step_bit::kWriteCalibration, job.calibEnabled, text::kBatchCalibWrite, [&](const OpOptions& o) { return m_core.WriteCalibration(target, calib(o)); }},
        {step_bit::kVerifyCalibration, job.calibEnabled, text::kBatchCalibVerify, [&](const OpOptions& o) { return m_core.VerifyCalibration(target, calib(o)); }},
    };
    std::vector<BatchStep> steps;
    for (const Row& row : rows) {
        if ((job.steps & row.bit) == 0 || !row.enabled) continue;
        steps.push_back({.log = row.log, .run = row.run, .keepsFirst = row.bit == step_bit::kErase});
    }
    BatchEvents events;
    events.onEnd = [&record](const BatchStep& step, bool ok) {
        if (!ok) record.failedStep = StepName(step.log);
    };
    return RunBatch(steps, Quietly(true), events);
}

}  // namespace oriole
