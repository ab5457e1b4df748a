#include "production/ProductionRun.h"

#include <QCryptographicHash>
#include <QStringList>
#include <algorithm>
#include <thread>

#include "base/FileNode.h"
#include "base/FormatText.h"
#include "devices/Devices.h"
#include "link/WriterFinder.h"
#include "ops/Job.h"
#include "production/BoxRun.h"
#include "res/Texts.h"

namespace oriole {

namespace {

constexpr qint64 kMaxImageFile = 64 * 1024 * 1024;

std::string Utf8(const QString& text) { return text.toStdString(); }

// The SHA-256 of a regular file's bytes; empty when it cannot be read.
QByteArray HashOf(const QString& path) {
    QByteArray bytes;
    if (ReadRegularFile(path, kMaxImageFile, bytes) != ReadFile::Ok) return {};
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

uint32_t MemorySize(const AVR_DEVICE& device, bool flash) {
    return static_cast<uint32_t>(flash ? device.FlashBytes() : device.eepromBytes);
}

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

CProductionRun::CProductionRun(ProductionJob job, ProductionOptions options, ProductionEvents events)
    : m_job(std::move(job)), m_options(std::move(options)), m_events(std::move(events)) {
    if (m_options.writers.empty()) {
        m_options.writers.push_back(m_job.writer);
        m_options.writersFromUser = !m_job.writerFromFile;
    }
}

CProductionRun::~CProductionRun() = default;

void CProductionRun::Say(const std::string& box, MsgKind kind, const std::string& text) const {
    if (m_events.onMessage) m_events.onMessage(box, kind, text);
}

void CProductionRun::State(const std::string& box, BoxState state) const {
    if (m_events.onState) m_events.onState(box, state);
}

void CProductionRun::ChipStart(const std::string& box, const std::string& serial) const {
    if (m_events.onChipStart) m_events.onChipStart(box, serial);
}

void CProductionRun::Step(const std::string& box, const JobStep& step, bool done, bool ok) const {
    if (m_events.onStep) m_events.onStep(box, step, done, ok);
}

void CProductionRun::Progress(const std::string& box, int percent) const {
    if (m_events.onProgress) m_events.onProgress(box, percent);
}

bool CProductionRun::Prepare() {
    std::string error;
    if (m_job.deviceRow == 0) {
        error = text::kProductionNoDevice;
    } else if (LoadImages(error) && CheckSerialRule(error) && CheckCalibration(error)) {
        // What the job refuses whatever the chip (a risky fuse value, an
        // image without data) is said once, before the first chip.
        CBoxHost relay(*this, {});
        oriole::Job check = ChipJob();
        if (m_job.serial) StampSerial(check.images, SerialNumber{.bytes = std::vector<uint8_t>(static_cast<size_t>(m_job.serial->width), 0)});
        if (!CheckJob(check, DeviceAt(m_job.deviceRow), relay).ok) return false;
        QStringList names;
        for (const ProductionImage& image : m_images) names << image.name;
        if (m_log.Open(LogFileOf(m_job), names, error) && LogInterrupted(error)) return true;
    }
    if (!error.empty()) Say({}, MsgKind::Error, error);
    return false;
}

bool CProductionRun::LogInterrupted(std::string& error) {
    if (!m_serials) return true;
    std::vector<JournalEntry> entries;
    if (!m_serials->Interrupted(entries, error)) return false;
    QStringList serials;
    for (const JournalEntry& e : entries) {
        if (e.serial.isEmpty()) continue;  // its number was never spent
        ChipRecord record;
        record.time = e.time;
        record.settingFile = e.settingFile;
        record.box = e.box;
        record.serial = e.serial;
        record.interrupted = true;
        record.hashes.resize(m_images.size());
        if (!m_log.Append(record, error)) return false;
        serials << e.serial;
    }
    if (!serials.isEmpty())
        Say({}, MsgKind::Warning,
            FormatText(text::kProductionInterruptedChips, static_cast<int>(serials.size()),
                       Utf8(serials.join(", ")).c_str()));
    return entries.empty() || m_serials->Forget(entries, error);
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
        image.sha256 = HashOf(*in.path);
        const std::string path = Utf8(*in.path);
        const bool loaded = in.flash ? core.LoadFlashImage(path, image.image) : core.LoadEepromImage(path, image.image);
        if (!loaded) return false;  // the load said why
        if (image.sha256.isEmpty() || HashOf(*in.path) != image.sha256) {
            error = FormatText(text::kProductionImageChanged, path.c_str());
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
        if (HashOf(image.path) != image.sha256) {
            error = FormatText(text::kProductionImageChanged, Utf8(image.path).c_str());
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

bool CProductionRun::Record(const ChipRecord& record) {
    (record.passed ? m_passed : m_failed).fetch_add(1);
    if (m_events.onChip) m_events.onChip(record);
    std::string error;
    if (m_log.Append(record, error)) return true;
    Break(Utf8(record.box), error);
    return false;
}

void CProductionRun::Break(const std::string& box, const std::string& why) {
    m_broken.store(true);
    m_stop.store(true);
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

void CProductionRun::Run() {
    std::vector<std::thread> threads;
    threads.reserve(m_options.writers.size());
    const std::vector<std::string> names = BoxNames(m_options.writers);
    for (size_t i = 0; i < names.size(); ++i)
        threads.emplace_back([this, spec = m_options.writers[i], name = names[i]] {
            CBoxRun(*this, spec, name).Run();
        });
    for (std::thread& t : threads) t.join();
}

}  // namespace oriole
