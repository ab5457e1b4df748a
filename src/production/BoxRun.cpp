#include "production/BoxRun.h"

#include <algorithm>
#include <chrono>

#include "base/FormatText.h"
#include "devices/Devices.h"
#include "ops/Job.h"
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

// The detection failed for want of the box, not of a chip: the box is lost.
bool BoxWentAway(const JobResult& result) {
    return !result.ok && std::string_view(result.stage) == "detect" && result.cause != Cause::Refused &&
           result.cause != Cause::NotDetected && result.cause != Cause::OtherDevice;
}

}  // namespace

// --- The box's host ---

CBoxHost::CBoxHost(const CProductionRun& run, std::string box)
    : m_run(run), m_box(std::move(box)) {}

Answer CBoxHost::ShowMessage(MsgKind kind, std::string_view text, Answer /*defaultAnswer*/) {
    // Nobody stands by a production run to answer: every question is No.
    if (!m_bMuted) m_run.Say(m_box, kind, std::string(text));
    return kind == MsgKind::Question ? Answer::No : Answer::Ok;
}

void CBoxHost::Sleep(std::chrono::milliseconds pause) { SystemClock().SleepFor(pause); }

namespace {

// A transfer's progress, handed on as a percentage when it moves by one.
class CBoxProgress final : public IProgress {
public:
    CBoxProgress(const CProductionRun& run, const std::string& box, int32_t lower, int32_t upper)
        : m_run(run), m_box(box), m_lower(lower), m_upper(upper) {}
    void SetRange(int32_t lower, int32_t upper) override { m_lower = lower; m_upper = upper; }
    void SetPos(int32_t pos) override {
        const int64_t span = int64_t{m_upper} - m_lower;
        const int percent = span <= 0 ? 100 : static_cast<int>((int64_t{pos} - m_lower) * 100 / span);
        if (percent == m_last) return;
        m_last = percent;
        m_run.Progress(m_box, std::clamp(percent, 0, 100));
    }
    void SetMessage(std::string_view) override {}

private:
    const CProductionRun& m_run;
    const std::string& m_box;
    int32_t m_lower, m_upper;
    int m_last = -1;
};

}  // namespace

std::unique_ptr<IProgress> CBoxHost::CreateProgressDlg(int32_t lower, int32_t upper, std::string_view,
                                                      std::string_view, int32_t&) {
    if (m_bMuted) return std::make_unique<CNoProgress>();
    return std::make_unique<CBoxProgress>(m_run, m_box, lower, upper);
}

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
    if (run.Options().trace) m_core.SetTrace(run.Options().trace);
}

void CBoxRun::Run() {
    const ProductionOptions& options = m_run.Options();
    const bool repeat = options.repeat || options.count > 0;
    if (!repeat) {
        if (m_run.ClaimChip()) (void)ProgramChip();
    } else {
        while (m_run.MoreChips() && WaitFor(Socket::Chip) && m_run.ClaimChip()) {
            if (!ProgramChip() || !m_run.MoreChips() || !WaitFor(Socket::Empty)) break;
        }
    }
    m_run.State(m_writer, BoxState::Ended);
}

CBoxRun::Socket CBoxRun::Probe() {
    m_host.SetMuted(true);
    m_core.ForgetFailures();
    m_core.SetAutoDetect(true);
    const bool present = m_core.CheckDevice(false);
    m_host.SetMuted(false);
    if (present) return Socket::Chip;
    const Cause why = m_core.FirstFailure().cause;
    return why == Cause::Refused || why == Cause::NotDetected ? Socket::Empty : Socket::BoxFailed;
}

bool CBoxRun::WaitFor(Socket wanted) {
    m_run.State(m_writer, wanted == Socket::Chip ? BoxState::Insert : BoxState::Remove);
    while (m_run.MoreChips()) {
        const Socket socket = Probe();
        if (socket == wanted) return true;
        if (socket == Socket::BoxFailed) {
            m_run.Say(m_writer, MsgKind::Error, m_core.FirstFailure().text);
            m_run.State(m_writer, BoxState::Lost);
            return false;
        }
        // A modest rate: the box is asked a few times a second, and sleeps between.
        const auto until = SystemClock().Now() + m_run.Options().poll;
        while (SystemClock().Now() < until && !m_run.Stopping()) SystemClock().SleepFor(kStopSlice);
    }
    return false;
}

bool CBoxRun::ProgramChip() {
    const ProductionJob& job = m_run.Job();
    ChipRecord record;
    record.settingFile = job.settingFile;
    record.box = QString::fromStdString(m_writer);
    for (const ProductionImage& image : m_run.Images()) record.hashes.push_back(QString::fromLatin1(image.sha256));
    const auto start = std::chrono::steady_clock::now();
    record.startTime = LogTime();

    // A file that changed is not programmed into this chip or any later one.
    if (std::string error; !m_run.ImagesUnchanged(error)) {
        m_run.Break(m_writer, error);
        return true;
    }
    Job chip = m_run.ChipJob();
    m_run.State(m_writer, BoxState::Working);
    m_run.ChipStart(m_writer, "");
    // The number is taken, and its file synced, after the chip was found
    // and before anything is written; a run that cannot take one ends.
    bool broken = false;
    chip.stamp = [&](std::vector<JobImage>& images) {
        if (!m_run.m_serials) return true;
        SerialNumber serial;
        if (std::string error; !m_run.m_serials->Take(serial, error)) {
            m_run.Break(m_writer, error);
            broken = true;
            return false;
        }
        record.serial = serial.text;
        record.serialBytes = HexBytes(serial.bytes);
        m_run.ChipStart(m_writer, serial.text.toStdString());
        m_run.StampSerial(images, serial);
        return true;
    };
    m_core.SetAutoDetect(true);
    JobEvents steps;
    steps.onStart = [&](const JobStep& step) { m_run.Step(m_writer, step, false, false); };
    steps.onEnd = [&](const JobStep& step, bool ok) { m_run.Step(m_writer, step, true, ok); };
    const JobResult result = RunJob(m_core, chip, steps);
    if (broken) return true;
    if (BoxWentAway(result)) {
        // No chip was touched and no number taken: the box is lost, not the chip.
        m_run.Unclaim();
        m_run.State(m_writer, BoxState::Lost);
        return false;
    }
    const AVR_DEVICE& device = m_core.Device();
    if (device.id > 0) {
        record.device = QString::fromUtf8(device.name);
        record.signature = HexBytes(device.signature);
    }
    if (result.calibration) record.calibration = HexBytes(std::span(&*result.calibration, 1));
    if (!result.ok) {
        record.cause = QString::fromLatin1(CauseName(result.cause));
        record.failedStep = result.failedStep >= 0 ? StepName(InfoOf(chip.steps[static_cast<size_t>(result.failedStep)].kind).log)
                                                   : QString::fromStdString(result.message);
    }
    // A chip of another device leaves the job's device selected for the next.
    m_core.SelectDevice(job.deviceRow);
    record.time = LogTime();
    record.passed = result.ok;
    record.durationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    m_run.Record(record);
    return true;
}

}  // namespace oriole
