#include "production/ProductionRun.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QStringList>
#include <algorithm>
#include <thread>

#include "base/FileNode.h"
#include "base/FormatText.h"
#include "devices/Devices.h"
#include "link/WriterFinder.h"
#include "link/WriterSpec.h"
#include "ops/Job.h"
#include "production/BoxRun.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr qint64 kMaxImageFile = 64 * 1024 * 1024;

std::string Utf8(const QString& text) { return text.toStdString(); }

// The SHA-256 of a regular file's bytes; empty, with what happened in
// `error` (naming the file), when it cannot be read whole.
QByteArray HashOf(const QString& path, std::string& error) {
    QByteArray bytes;
    switch (ReadRegularFile(path, kMaxImageFile, bytes)) {
        case ReadFile::Ok:
            return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        case ReadFile::TooLarge:
            error = FormatText(text::kProductionImageTooLarge, static_cast<int>(kMaxImageFile >> 20),
                               path.toStdString().c_str());
            return {};
        case ReadFile::NotRegular:
            error = FormatText(text::kProductionImageNotFile, path.toStdString().c_str());
            return {};
        case ReadFile::Missing:
        case ReadFile::Failed:
            break;
    }
    error = FormatText(text::kProductionImageUnreadable, path.toStdString().c_str());
    return {};
}

uint32_t MemorySize(const AVR_DEVICE& device, bool flash) {
    return static_cast<uint32_t>(flash ? device.FlashBytes() : device.eepromBytes);
}

// A value from a setting file as a message may show it: control characters
// as '?', at most a line's worth.
std::string Shown(const std::string& value) {
    constexpr size_t kShown = 60;
    std::string shown = value.substr(0, kShown);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return value.size() > kShown ? shown + "..." : shown;
}

QJsonValue OrNull(const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

}  // namespace

std::vector<std::string> AllWriterSpecs() {
    std::vector<std::string> specs;
    for (const FoundWriter& w : FindWriters()) {
        if (!w.serial.empty())
            specs.push_back(w.backend + ",sn=" + w.serial);
        else if (w.backend == "serial")
            specs.push_back("serial:" + w.location);
    }
    return specs;
}

const char* RunEndName(RunEnd end) {
    constexpr const char* kNames[] = {"completed", "stopped", "broken", "boxes-lost"};
    return kNames[static_cast<size_t>(end)];
}

CProductionRun::CProductionRun(ProductionJob job, ProductionOptions options, ProductionEvents events)
    : m_job(std::move(job)), m_options(std::move(options)), m_events(std::move(events)) {
    if (m_options.writers.empty()) {
        m_options.writers.push_back(m_job.writer);
        m_options.writersFromUser = !m_job.writerFromFile;
    }
    if (!m_options.writersFromUser) {
        // A setting file's writer that a file may not name is not used: the
        // box is looked for with auto, as the main window does (said at Prepare).
        for (std::string& spec : m_options.writers) {
            const FileSpecVerdict verdict = spec.empty() ? FileSpecVerdict::Allowed : CheckFileWriterSpec(spec);
            if (verdict != FileSpecVerdict::Allowed) {
                const char* why = verdict == FileSpecVerdict::NamesLibrary      ? text::kFileWriterNamesLibrary
                                  : verdict == FileSpecVerdict::NotTerminalPath ? text::kFileWriterNotDevice
                                                                                : text::kFileWriterNotAllowed;
                m_writerIgnored = FormatText(text::kFileWriterIgnored, Shown(spec).c_str(), why);
            }
            if (spec.empty() || verdict != FileSpecVerdict::Allowed) spec = kDefaultWriterSpec;
        }
    }
    m_boxNames = BoxNames(m_options.writers);
}

CProductionRun::~CProductionRun() {
    // The stream may outlive the run; what it says no longer comes here.
    if (m_options.eventStream) m_options.eventStream->SetOnWait({});
}

void CProductionRun::Say(const std::string& box, MsgKind kind, const std::string& text) const {
    if (m_events.onMessage) m_events.onMessage(box, kind, text);
    if (kind == MsgKind::Error || kind == MsgKind::Warning) {
        QJsonObject fields = BoxFields(box);
        fields.insert("kind", kind == MsgKind::Error ? "error" : "warning");
        fields.insert("text", QString::fromStdString(text));
        Emit("message", fields);
    }
}

void CProductionRun::State(const std::string& box, BoxState state) {
    bool lost = false;
    bool back = false;
    {
        const std::lock_guard lock(m_boxMutex);
        bool& wasLost = m_boxLost[box];
        lost = state == BoxState::Lost && !wasLost;
        if (state == BoxState::Lost) m_startPending[box] = false;
        back = state != BoxState::Lost && state != BoxState::Ended && wasLost;
        if (lost || back) wasLost = lost;
    }
    if (lost) m_lost.fetch_add(1);
    if (m_events.onState) m_events.onState(box, state);
    if (lost || back) Emit(lost ? "box-lost" : "box-back", BoxFields(box));
}

void CProductionRun::ChipStart(const std::string& box, const std::string& serial) const {
    if (m_events.onChipStart) m_events.onChipStart(box, serial);
    {
        // The stream's chip-start waits for the number, the first step or
        // the chip's end, whichever comes first: a box that goes away
        // before any of them started no chip.
        const std::lock_guard lock(m_boxMutex);
        m_startPending[box] = serial.empty();
        if (serial.empty()) return;
    }
    QJsonObject fields = BoxFields(box);
    fields.insert("serial", QString::fromStdString(serial));
    Emit("chip-start", fields);
}

void CProductionRun::FlushChipStart(const std::string& box) const {
    {
        const std::lock_guard lock(m_boxMutex);
        if (!std::exchange(m_startPending[box], false)) return;
    }
    QJsonObject fields = BoxFields(box);
    fields.insert("serial", QJsonValue());
    Emit("chip-start", fields);
}

void CProductionRun::Step(const std::string& box, const JobStep& step, bool done, bool ok) const {
    if (m_events.onStep) m_events.onStep(box, step, done, ok);
    FlushChipStart(box);
    QJsonObject fields = BoxFields(box);
    fields.insert("step", QString::fromLatin1(InfoOf(step.kind).name));
    if (done) fields.insert("ok", ok);
    Emit(done ? "step-end" : "step-start", fields);
}

int CProductionRun::BoxIndex(const std::string& box) const {
    const auto at = std::find(m_boxNames.begin(), m_boxNames.end(), box);
    return at == m_boxNames.end() ? 0 : static_cast<int>(at - m_boxNames.begin()) + 1;
}

QJsonObject CProductionRun::BoxFields(const std::string& box) const {
    QJsonObject fields;
    fields.insert("box", OrNull(QString::fromStdString(box)));
    if (const int index = BoxIndex(box); index > 0) fields.insert("boxIndex", index);
    return fields;
}

void CProductionRun::Emit(const char* event, QJsonObject fields) const {
    if (!m_options.eventStream) return;
    std::string error;
    // The stream failing is said once; the run stops as for its log.
    if (!m_options.eventStream->Write(event, std::move(fields), error) && !m_broken.exchange(true)) {
        m_stop.store(true);
        {
            const std::lock_guard lock(m_breakMutex);
            if (m_breakReason.empty()) m_breakReason = error;
        }
        if (m_events.onMessage) m_events.onMessage({}, MsgKind::Error, error);
    }
}

void CProductionRun::Progress(const std::string& box, int percent) const {
    if (m_events.onProgress) m_events.onProgress(box, percent);
}

bool CProductionRun::Prepare() {
    std::string error;
    if (m_job.deviceRow == 0) {
        error = text::kProductionNoDevice;
    } else if (CheckJobSteps(m_job, error) && CheckJobOutputs(m_job, error) && LoadImages(error) && CheckSerialRule(error) && CheckCalibration(error)) {
        // What the job refuses whatever the chip (a risky fuse value, an
        // image without data) is said once, before the first chip.
        CBoxHost relay(*this, {});
        oriole::Job check = ChipJob();
        if (m_job.serial) StampSerial(check.images, SerialNumber{.bytes = std::vector<uint8_t>(static_cast<size_t>(m_job.serial->width), 0)});
        if (!CheckJob(check, DeviceAt(m_job.deviceRow), relay).ok) return false;
        QStringList names;
        for (const ProductionImage& image : m_images) names << image.name;
        std::string note;
        // Another program's lock on the log is waited for a while, said within a second.
        m_log.SetLockWait({.onWait = [this](const std::string& text) { Say({}, MsgKind::Warning, text); }});
        // Said to the front end only: the stream waits under its own lock.
        if (m_options.eventStream)
            m_options.eventStream->SetOnWait([this](const std::string& text) {
                if (m_events.onMessage) m_events.onMessage({}, MsgKind::Warning, text);
            });
        if (m_log.Open(LogFileOf(m_job), names, m_job.logBom, error, note)) {
            if (!note.empty()) Say({}, MsgKind::Warning, note);
            if (!m_writerIgnored.empty()) Say({}, MsgKind::Warning, m_writerIgnored);
            EmitRunStart();
            if (!LogInterrupted(error)) {
                Say({}, MsgKind::Error, error);
                return false;
            }
            return !m_broken.load();
        }
    }
    if (!error.empty()) Say({}, MsgKind::Error, error);
    return false;
}

bool CProductionRun::LogInterrupted(std::string& error) {
    if (!m_serials) return true;
    QStringList serials;
    std::string kept;
    // Under the counter's lock: two starts at once write each row once.
    const bool recovered = m_serials->Recover(
        m_log.Path(),
        [&](const JournalEntry& e, std::string& why) {
            ChipRecord record;
            record.startTime = JournalTimeForLog(e.time);  // its end is unknown
            record.settingFile = e.settingFile;
            record.boxIndex = e.boxIndex;
            record.box = e.box;
            record.serial = e.serial;
            record.interrupted = true;
            record.hashes.resize(m_images.size());
            if (!m_log.Append(record, why)) return false;
            Emit("chip-end", QJsonObject{{"box", e.box}, {"result", "interrupted"}, {"serial", e.serial},
                                         {"start", record.startTime}});
            serials << e.serial;
            return true;
        },
        kept, error);
    if (!kept.empty()) Say({}, MsgKind::Warning, kept);
    if (!serials.isEmpty())
        Say({}, MsgKind::Warning,
            FormatText(text::kProductionInterruptedChips, static_cast<int>(serials.size()),
                       Utf8(serials.join(", ")).c_str()));
    return recovered;
}

bool CProductionRun::LoadImages(std::string& error) {
    const bool serialFlash = m_job.serial && m_job.serial->memory == CalibMemory::Flash;
    const bool serialEeprom = m_job.serial && m_job.serial->memory == CalibMemory::Eeprom;
    struct Input {
        const char* name;
        const QString* path;
        uint32_t bits;
        bool flash;
        bool serial;
    };
    const Input inputs[] = {
        {"FLASH", &m_job.flashFile, step_bit::kWriteFlash | step_bit::kVerifyFlash, true, serialFlash},
        {"EEPROM", &m_job.eepromFile, step_bit::kWriteEeprom | step_bit::kVerifyEeprom, false, serialEeprom},
    };
    // The loads report their own failures through this host.
    CBoxHost relay(*this, {});
    COrioleCore core(relay);
    core.SelectDevice(m_job.deviceRow);
    for (const Input& in : inputs) {
        if ((m_job.steps & in.bits) == 0) continue;
        ProductionImage image;
        image.name = in.name;
        image.path = *in.path;
        image.flash = in.flash;
        if (in.path->isEmpty() && in.serial) {
            // Only the serial number goes into this memory.
            image.image.Allocate(MemorySize(core.Device(), in.flash));
            m_images.push_back(std::move(image));
            continue;
        }
        // The file is hashed before and after the load: the bytes loaded are the bytes hashed.
        if (in.path->isEmpty() || NodeKindOf(*in.path) != NodeKind::Regular) {
            error = in.path->isEmpty() ? FormatText("%s (%s)", text::kFileOpenFailed, in.name)
                                       : FormatText(text::kProductionImageNotFile, Utf8(*in.path).c_str());
            return false;
        }
        // A file that cannot be hashed is said as it is, never taken for a changed one.
        image.sha256 = HashOf(*in.path, error);
        if (image.sha256.isEmpty()) return false;
        const std::string path = Utf8(*in.path);
        const bool loaded = in.flash ? core.LoadFlashImage(path, image.image) : core.LoadEepromImage(path, image.image);
        if (!loaded) return false;  // the load said why
        if (const QByteArray after = HashOf(*in.path, error); after != image.sha256) {
            if (!after.isEmpty()) error = FormatText(text::kProductionImageChanged, path.c_str());
            return false;
        }
        m_images.push_back(std::move(image));
    }
    return true;
}

bool CProductionRun::CheckSerialRule(std::string& error) {
    if (!m_job.serial) return true;
    const SerialRule& rule = *m_job.serial;
    const bool flash = rule.memory == CalibMemory::Flash;
    const uint32_t write = flash ? step_bit::kWriteFlash : step_bit::kWriteEeprom;
    if ((m_job.steps & write) == 0) {
        error = flash ? text::kProductionSerialNoFlashStep : text::kProductionSerialNoEepromStep;
        return false;
    }
    const uint32_t size = MemorySize(DeviceAt(m_job.deviceRow), flash);
    const uint64_t end = uint64_t{rule.address} + static_cast<uint64_t>(rule.width);
    if (end > size) {
        error = FormatText(text::kProductionSerialBeyond, rule.address, static_cast<unsigned>(size));
        return false;
    }
    for (const ProductionImage& image : m_images) {
        if (image.flash != flash) continue;
        for (uint32_t a = rule.address; a < end; ++a) {
            if (a < image.image.cells.size() && a < image.image.count && image.image.cells[a] != kNoData) {
                error = FormatText(text::kProductionSerialOverlap, a, Utf8(image.path).c_str());
                return false;
            }
        }
    }
    m_serials = std::make_unique<CSerialAllocator>(rule, CounterFileOf(m_job));
    // A wait for another run's lock is said, not silent.
    m_serials->SetLockWait(std::chrono::seconds(60), [this](const std::string& text) { Say({}, MsgKind::Warning, text); });
    return m_serials->Check(error);
}

bool CProductionRun::CheckCalibration(std::string& error) {
    if ((m_job.steps & (step_bit::kWriteCalibration | step_bit::kVerifyCalibration)) == 0 || !m_job.calibEnabled)
        return true;
    const auto frequencies = CalibrationFrequencies(DeviceAt(m_job.deviceRow).id);
    for (size_t i = 0; i < frequencies.size(); ++i)
        if (m_job.calibFrequency == QString::fromUtf8(frequencies[i])) m_calibIndex = static_cast<int>(i);
    if (m_calibIndex < 0) {
        error = FormatText(text::kProductionNoCalibFrequency, Utf8(m_job.calibFrequency).c_str());
        return false;
    }
    if (!m_job.calibMemoryKnown) {
        error = text::kCalibMemoryMissing;
        return false;
    }
    return true;
}

bool CProductionRun::ImagesUnchanged(std::string& error) const {
    for (const ProductionImage& image : m_images) {
        if (image.path.isEmpty()) continue;
        // Grown past the cap or gone unreadable is a change too, but said as what it is.
        if (const QByteArray now = HashOf(image.path, error); now != image.sha256) {
            if (!now.isEmpty()) error = FormatText(text::kProductionImageChanged, Utf8(image.path).c_str());
            return false;
        }
    }
    return true;
}

oriole::Job CProductionRun::ChipJob() const {
    oriole::Job job = BatchJob(BatchSettingsOf(m_job));
    // The images are the ones loaded and hashed at the start.
    for (JobImage& in : job.images) {
        const bool flash = &in == &job.images[0];
        in = JobImage{.name = flash ? Utf8(m_job.flashFile) : Utf8(m_job.eepromFile)};
        for (const ProductionImage& image : m_images) {
            if (image.flash != flash) continue;
            in.image = image.image;
            in.loaded = true;
        }
    }
    job.deviceRow = m_job.deviceRow;
    // The byte the calibration steps write is the chip's own, and the CSV
    // keeps it. A job without those steps sends what every other front end
    // sends for it: no calibration read.
    if (m_calibIndex >= 0) job.calibFromChip = static_cast<uint8_t>(m_calibIndex);
    job.fusePolicy = {.risky = m_job.allowRiskyFuses ? RiskyFuses::Allow : RiskyFuses::Refuse,
                      .hint = text::kProductionRiskyFusesHint};
    return job;
}

void CProductionRun::StampSerial(std::vector<JobImage>& images, const SerialNumber& serial) const {
    if (!m_job.serial) return;
    ImageBuffer& merged = images[m_job.serial->memory == CalibMemory::Flash ? 0 : 1].image;
    const uint32_t address = m_job.serial->address;
    const auto end = static_cast<uint32_t>(address + serial.bytes.size());
    if (merged.cells.size() < end) merged.cells.resize(end, kNoData);
    for (size_t i = 0; i < serial.bytes.size(); ++i) merged.cells[address + i] = serial.bytes[i];
    merged.count = std::max(merged.count, end);
}

bool CProductionRun::ClaimChip() {
    if (m_stop.load()) return false;
    const int limit = m_options.count;
    if (limit <= 0) return true;
    if (m_claimed.fetch_add(1) < limit) return true;
    return false;
}

bool CProductionRun::Record(const ChipRecord& given) {
    ChipRecord record = given;
    const std::string box = Utf8(record.box);
    record.boxIndex = BoxIndex(box);
    record.lot = m_options.lot;
    record.operatorName = m_options.operatorName;
    record.workOrder = m_options.workOrder;
    // The line is in the log, synced, before the chip counts or is shown,
    // and before this box looks for its next chip.
    std::string error;
    const bool logged = m_log.Append(record, error);
    (record.passed ? m_passed : m_failed).fetch_add(1);
    if (m_events.onChip) m_events.onChip(record);
    FlushChipStart(box);
    QJsonObject fields = BoxFields(box);
    fields.insert("result", record.passed ? "ok" : "fail");
    fields.insert("cause", record.cause == Cause::None ? QJsonValue() : QJsonValue(CauseName(record.cause)));
    fields.insert("failedStep", OrNull(record.failedStep));
    fields.insert("serial", OrNull(record.serial));
    fields.insert("serialBytes", OrNull(record.serialBytes));
    fields.insert("device", OrNull(record.device));
    fields.insert("signature", OrNull(record.signature));
    fields.insert("durationMs", record.durationMs);
    fields.insert("start", record.startTime);
    fields.insert("end", record.time);
    Emit("chip-end", fields);
    if (logged) return true;
    Break(box, error);
    return false;
}

void CProductionRun::Break(const std::string& box, const std::string& why) const {
    m_broken.store(true);
    m_stop.store(true);
    {
        const std::lock_guard lock(m_breakMutex);
        if (m_breakReason.empty()) m_breakReason = why;
    }
    Say(box, MsgKind::Error, why);
}

std::vector<std::string> CProductionRun::BoxNames(const std::vector<std::string>& writers) {
    std::vector<std::string> names;
    for (size_t i = 0; i < writers.size(); ++i) {
        // Two boxes given the same spec still need names of their own.
        const bool twice = std::count(writers.begin(), writers.end(), writers[i]) > 1;
        names.push_back(twice ? writers[i] + "#" + std::to_string(i + 1) : writers[i]);
    }
    return names;
}

void CProductionRun::EmitRunStart() const {
    QJsonObject fields;
    fields.insert("settingFile", m_job.settingFile);
    fields.insert("device", QString::fromUtf8(DeviceAt(m_job.deviceRow).name));
    QJsonArray writers;
    for (const std::string& name : m_boxNames) writers.append(QString::fromStdString(name));
    fields.insert("writers", writers);
    QJsonArray images;
    for (const ProductionImage& image : m_images) {
        images.append(QJsonObject{{"name", image.name},
                                  {"path", OrNull(image.path)},
                                  {"sha256", OrNull(QString::fromLatin1(image.sha256))}});
    }
    fields.insert("images", images);
    fields.insert("lot", OrNull(m_options.lot));
    fields.insert("operator", OrNull(m_options.operatorName));
    fields.insert("workOrder", OrNull(m_options.workOrder));
    fields.insert("count", m_options.count);
    fields.insert("repeat", m_options.repeat);
    fields.insert("log", m_log.Path());
    Emit("run-start", fields);
}

bool CProductionRun::GoalReached() const {
    const int chips = Passed() + Failed();
    if (m_options.count > 0) return chips >= m_options.count;
    // Without a count: one chip per box, or (repeating) until stopped.
    return !m_options.repeat && chips >= static_cast<int>(m_boxNames.size());
}

bool CProductionRun::Succeeded() const {
    if (Failed() > 0) return false;
    const bool endless = m_options.repeat && m_options.count <= 0;
    return m_end == RunEnd::Completed || (m_end == RunEnd::Stopped && endless);
}

std::string CProductionRun::Shortfall() const {
    if (Succeeded()) return {};
    const int chips = Passed() + Failed();
    switch (m_end) {
        case RunEnd::Broken: {
            const std::lock_guard lock(m_breakMutex);
            std::string why = m_breakReason.substr(0, m_breakReason.find('\n'));
            return FormatText(text::kProductionShortBroken, why.c_str());
        }
        case RunEnd::BoxesLost: return FormatText(text::kProductionShortLost, BoxesLost(), chips);
        case RunEnd::Stopped:
            if (Failed() == 0) return FormatText(text::kProductionShortStopped, chips);
            break;
        case RunEnd::Completed: break;
    }
    return FormatText(text::kProductionShortFailed, Failed());
}

void CProductionRun::Run() {
    std::vector<std::thread> threads;
    threads.reserve(m_options.writers.size());
    for (size_t i = 0; i < m_options.writers.size(); ++i) {
        threads.emplace_back(
            [this, spec = m_options.writers[i], name = m_boxNames[i]] { CBoxRun(*this, spec, name).Run(); });
    }
    for (std::thread& t : threads) t.join();

    if (m_broken.load())
        m_end = RunEnd::Broken;
    else if (GoalReached())
        m_end = RunEnd::Completed;
    else if (BoxesLost() > 0)
        m_end = RunEnd::BoxesLost;
    else
        m_end = RunEnd::Stopped;
    QJsonObject fields{{"passed", Passed()},
                       {"failed", Failed()},
                       {"boxesLost", BoxesLost()},
                       {"end", RunEndName(m_end)},
                       {"reason", OrNull(QString::fromStdString(Shortfall()))}};
    Emit("run-end", fields);
}

}  // namespace oriole
