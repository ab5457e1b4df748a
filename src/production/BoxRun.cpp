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

// A cause of the box (it went away, stopped answering, could not be
// opened), not of the chip on it or of the job.
bool IsBoxCause(Cause cause) {
    switch (cause) {
        case Cause::NoAnswer:
        case Cause::WrongAnswer:
        case Cause::Driver:
        case Cause::NoBox:
        case Cause::NoAccess:
        case Cause::Other:
            return true;
        case Cause::None:
        case Cause::Cancelled:
        case Cause::Refused:
        case Cause::NotDetected:
        case Cause::OtherDevice:
        case Cause::VerifyMismatch:
        case Cause::Policy:
        case Cause::EmptyInput:
        case Cause::NoSuchMemory:
        case Cause::TooLarge:
        case Cause::File:
            return false;
    }
    return false;
}

// The job failed for want of the box before its first step and before the
// chip's number was taken (the detection, or the calibration byte's read
// after it): nothing was written, the box is lost, not the chip.
bool BoxWentAway(const JobResult& result, bool numbered) {
    return !result.ok && result.failedStep < 0 && !numbered && IsBoxCause(result.cause);
}

// The log's step column for a job that failed before its first step: the
// detection for a chip not found or of another device, else the preparation.
QString StepBeforeSteps(Cause cause) {
    const bool detection = cause == Cause::Refused || cause == Cause::NotDetected || cause == Cause::OtherDevice;
    return QString::fromUtf8(detection ? text::kProductionStepDetect : text::kProductionStepPrepare);
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
    m_repeat = repeat;
    if (!repeat) {
        if (m_run.ClaimChip()) (void)ProgramChip();
    } else {
        bool swapped = false;  // the next chip is on the socket already
        while (m_run.MoreChips() && (swapped || WaitForChip()) && m_run.ClaimChip()) {
            if (!ProgramChip() || !m_run.MoreChips()) break;
            const Removal removal = WaitForRemoval();
            if (removal == Removal::Ended) break;
            swapped = removal == Removal::Swapped;
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

bool CBoxRun::Lost() {
    m_run.Say(m_writer, MsgKind::Error, m_core.FirstFailure().text);
    m_run.State(m_writer, BoxState::Lost);
    return false;
}

namespace {

// Sleeps one poll's time, waking for a stop.
void PollPause(const CProductionRun& run) {
    // A modest rate: the box is asked a few times a second, and sleeps between.
    const auto until = SystemClock().Now() + run.Options().poll;
    while (SystemClock().Now() < until && !run.Stopping()) SystemClock().SleepFor(kStopSlice);
}

}  // namespace

bool CBoxRun::WaitForChip() {
    m_run.State(m_writer, BoxState::Insert);
    while (m_run.MoreChips()) {
        const Socket socket = Probe();
        if (socket == Socket::Chip) return true;
        if (socket == Socket::BoxFailed) return Lost();
        PollPause(m_run);
    }
    return false;
}

CBoxRun::Removal CBoxRun::WaitForRemoval() {
    m_run.State(m_writer, BoxState::Remove);
    while (m_run.MoreChips()) {
        const Socket socket = Probe();
        if (socket == Socket::Empty) return Removal::Removed;
        if (socket == Socket::BoxFailed) return Lost(), Removal::Ended;
        // Taken out and another put in between two polls: the socket never
        // looked empty, but the chip is not the one programmed.
        if (AnotherChip()) return Removal::Swapped;
        PollPause(m_run);
    }
    return Removal::Ended;
}

void CBoxRun::TakeMark(const Job& chip, const std::vector<uint8_t>& serial, bool passed) {
    m_unlike.clear();
    // A few bytes: enough to tell a programmed chip from a blank one (or
    // from one with another number), cheap enough to read at every poll.
    constexpr size_t kMarkBytes = 4;
    m_mark.clear();
    const ProductionJob& job = m_run.Job();
    if (job.serial && !serial.empty())
        m_mark.push_back({job.serial->memory == CalibMemory::Flash, job.serial->address, serial});
    const uint32_t writes[] = {step_bit::kWriteFlash, step_bit::kWriteEeprom};
    // The first written bytes of an image, or its last ones.
    const auto spanOf = [&](size_t i, bool last) {
        const ImageBuffer& image = chip.images[i].image;
        MarkSpan span{.flash = i == 0, .address = 0, .bytes = {}};
        const uint32_t end = std::min<uint32_t>(image.count, static_cast<uint32_t>(image.cells.size()));
        for (uint32_t n = 0; n < end && span.bytes.size() < kMarkBytes; ++n) {
            const uint32_t a = last ? end - 1 - n : n;
            if (image.cells[a] == kNoData) {
                if (!span.bytes.empty()) break;
                continue;
            }
            span.address = a;
            span.bytes.push_back(static_cast<uint8_t>(image.cells[a]));
        }
        if (last) std::reverse(span.bytes.begin(), span.bytes.end());
        else span.address -= static_cast<uint32_t>(span.bytes.empty() ? 0 : span.bytes.size() - 1);
        return span;
    };
    for (size_t i = 0; i < chip.images.size() && i < 2 && m_mark.size() < 2; ++i) {
        if ((job.steps & writes[i]) == 0) continue;
        if (MarkSpan span = spanOf(i, false); !span.bytes.empty()) m_mark.push_back(std::move(span));
    }
    // What a failed chip holds is whatever the failure left, and a chip
    // whose lock bits were just written may answer other bytes than it was
    // given (reads are barred in lock mode 3): read what it answers, so the
    // same chip is never taken for a new one.
    const bool locked = (job.steps & step_bit::kWriteLock) != 0 && job.lockEnabled;
    if ((passed && !locked) || m_mark.empty()) return;
    if (!ReadMark(m_mark)) return m_mark.clear();
    if (passed) return;
    // A chip put in part-way through the job holds only its later pages and
    // reads blank where it began: its FLASH's last written bytes tell it from
    // a blank one put in for it. A chip blank there too is told from one by
    // nothing but the socket found empty.
    const auto blank = [](const MarkSpan& s) {
        return std::all_of(s.bytes.begin(), s.bytes.end(), [](uint8_t b) { return b == 0xFF; });
    };
    if (!std::all_of(m_mark.begin(), m_mark.end(), blank) || chip.images.empty() ||
        (job.steps & step_bit::kWriteFlash) == 0)
        return;
    std::vector<MarkSpan> tail{spanOf(0, true)};
    if (!tail[0].bytes.empty() && ReadMark(tail) && !blank(tail[0])) m_mark.push_back(std::move(tail[0]));
}

bool CBoxRun::ReadMark(std::vector<MarkSpan>& spans) {
    // Spans near the start come in one read from address 0; others byte by byte.
    constexpr uint32_t kWholeRead = 1024;
    m_host.SetMuted(true);
    m_core.SetAutoDetect(true);
    bool ok = true;
    for (MarkSpan& span : spans) {
        const uint32_t end = span.address + static_cast<uint32_t>(span.bytes.size());
        if (end <= kWholeRead) {
            ok = span.flash ? m_core.ReadFlash(end, false) : m_core.ReadEeprom(end);
            const std::vector<uint8_t>& read = span.flash ? m_core.FlashRead() : m_core.EepromRead();
            ok = ok && read.size() >= end;
            if (ok) std::copy(read.begin() + span.address, read.begin() + end, span.bytes.begin());
        } else {
            for (size_t i = 0; ok && i < span.bytes.size(); ++i) {
                const uint32_t a = span.address + static_cast<uint32_t>(i);
                ok = span.flash ? m_core.ReadFlashByte(a, span.bytes[i], false) : m_core.ReadEepromByte(a, span.bytes[i]);
            }
        }
        if (!ok) break;
    }
    m_host.SetMuted(false);
    m_core.ForgetFailures();
    return ok;
}

bool CBoxRun::AnotherChip() {
    if (m_markDevice != 0 && m_core.Device().id != m_markDevice) return true;
    if (m_mark.empty()) return false;
    std::vector<MarkSpan> read = m_mark;
    // A read that fails says nothing; the next poll asks again.
    if (!ReadMark(read)) return false;
    std::vector<std::vector<uint8_t>> seen;
    for (const MarkSpan& span : read) seen.push_back(span.bytes);
    bool differs = false;
    for (size_t i = 0; i < read.size(); ++i) differs = differs || read[i].bytes != m_mark[i].bytes;
    // Other bytes twice alike: a loose contact that reads a byte wrong once
    // does not make the same chip a new one.
    const bool another = differs && seen == m_unlike;
    m_unlike = differs ? seen : std::vector<std::vector<uint8_t>>{};
    return another;
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
    bool numbered = false;  // the stamp ran: the chip was found and may take a number
    std::vector<uint8_t> serialBytes;
    chip.stamp = [&](std::vector<JobImage>& images) {
        numbered = true;
        if (!m_run.m_serials) return true;
        SerialNumber serial;
        // The journal notes the chip's start as its row will show it.
        if (std::string error; !m_run.m_serials->Take(serial, record.box, m_run.BoxIndex(m_writer),
                                                       record.startTime, job.settingFile, error)) {
            m_run.Break(m_writer, error);
            broken = true;
            return false;
        }
        record.serial = serial.text;
        serialBytes = serial.bytes;
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
    if (BoxWentAway(result, numbered)) {
        // No chip was touched and no number taken: the box is lost, not the chip.
        m_run.Unclaim();
        m_run.State(m_writer, BoxState::Lost);
        return false;
    }
    const AVR_DEVICE& device = m_core.Device();
    m_markDevice = device.id;
    if (device.id > 0) {
        record.device = QString::fromUtf8(device.name);
        record.signature = HexBytes(device.signature);
    }
    if (result.calibration) record.calibration = HexBytes(std::span(&*result.calibration, 1));
    if (!result.ok) {
        record.cause = result.cause;
        record.failedStep = result.failedStep >= 0 ? StepName(InfoOf(chip.steps[static_cast<size_t>(result.failedStep)].kind).log)
                                                   : StepBeforeSteps(result.cause);
    }
    // A chip of another device leaves the job's device selected for the next.
    m_core.SelectDevice(job.deviceRow);
    record.time = LogTime();
    record.passed = result.ok;
    record.durationMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (!m_run.Record(record)) return true;
    // The row is in the log: the journal's note goes, and under
    // FailedSerial=reuse a failed chip's number comes back for the next.
    if (std::string error; !record.serial.isEmpty() && !m_run.m_serials->Finish(record.box, record.serial, !result.ok, error)) {
        m_run.Break(m_writer, error);
        return true;
    }
    // Only a box that waits for the chip's removal needs its mark.
    if (m_repeat && m_run.MoreChips()) TakeMark(chip, serialBytes, result.ok);
    return true;
}

}  // namespace oriole
