#include "production/ProductionJob.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <array>
#include <tuple>

#include "base/FormatText.h"
#include "base/Numbers.h"
#include "devices/Devices.h"
#include "ops/Job.h"
#include "ops/DeviceList.h"
#include "production/ChipJournal.h"
#include "res/Texts.h"
#include "settings/IniFile.h"
#include "settings/SettingsKeys.h"

namespace oriole {

namespace {

constexpr char kSection[] = "Production";

// The values of one setting file, as the key table hands them over.
class CJobValues final : public ISettingValues {
public:
    int64_t GetNumber(SettingId id) const override { return m_numbers[Index(id)]; }
    void SetNumber(SettingId id, int64_t value) override { m_numbers[Index(id)] = value; }
    QString GetText(SettingId id) const override { return m_texts[Index(id)]; }
    void SetText(SettingId id, const QString& text) override { m_texts[Index(id)] = text; }

private:
    static size_t Index(SettingId id) { return static_cast<size_t>(id); }
    std::array<int64_t, kSettingCount> m_numbers{};
    std::array<QString, kSettingCount> m_texts{};
};

std::string Utf8(const QString& text) { return text.toStdString(); }

// The device as LastAVR names it, read as the main window reads it: the
// first entry of its device list that begins with it.
int DeviceRowOf(const QString& name) {
    if (name.isEmpty()) return 0;
    return std::max(FindDeviceListEntry(name), 0);
}

bool ParseUnsigned64(const QString& text, uint64_t& value) { return ParseSerialValue(text, value); }

bool ParseMemory(const QString& text, CalibMemory& memory) {
    if (text.compare("flash", Qt::CaseInsensitive) == 0) return memory = CalibMemory::Flash, true;
    if (text.compare("eeprom", Qt::CaseInsensitive) == 0) return memory = CalibMemory::Eeprom, true;
    return false;
}

bool ParseOrder(const QString& text, bool& bigEndian) {
    if (text == "le") return bigEndian = false, true;
    if (text == "be") return bigEndian = true, true;
    return false;
}

struct EncodingName {
    const char* name;
    SerialEncoding encoding;
};
constexpr EncodingName kEncodings[] = {{"bin", SerialEncoding::Binary},
                                       {"bcd", SerialEncoding::Bcd},
                                       {"dec", SerialEncoding::AsciiDecimal},
                                       {"hex", SerialEncoding::AsciiHex}};

bool ParseEncoding(const QString& text, SerialEncoding& encoding) {
    for (const EncodingName& e : kEncodings)
        if (text == QLatin1String(e.name)) return encoding = e.encoding, true;
    return false;
}

// The [Production] section: Serial=MEMORY:ADDRESS:WIDTH[:le|be][:encoding],
// SerialFirst, SerialStep, SerialLast (decimal or 0x...), SerialCounter,
// SerialList, FailedSerial=spend|reuse, Log. Relative paths are taken from
// the setting file's folder.
bool ReadProductionSection(const CIniFile& ini, const QString& folder, ProductionJob& job, std::string& error) {
    auto text = [&](const char* key) { return ini.GetString(kSection, key, {}).trimmed(); };
    auto path = [&](const char* key) {
        const QString p = text(key);
        return p.isEmpty() || QFileInfo(p).isAbsolute() ? p : folder + '/' + p;
    };
    job.logFile = path("Log");
    // Keys of 0 or 1; anything else is refused.
    for (auto [key, field, fallback] : {std::tuple{"AllowRiskyFuses", &job.allowRiskyFuses, false},
                                        std::tuple{"LogBom", &job.logBom, true}}) {
        const QString value = text(key);
        if (!value.isEmpty() && value != "0" && value != "1") {
            error = FormatText(text::kProductionBadKey, key, Utf8(value).c_str());
            return false;
        }
        *field = value.isEmpty() ? fallback : value == "1";
    }
    const QString spec = text("Serial");
    if (spec.isEmpty()) return true;
    SerialRule rule;
    if (!ParseSerialSpec(spec, rule, error)) return false;
    for (auto [key, field] : {std::pair{"SerialFirst", &rule.first}, std::pair{"SerialStep", &rule.step},
                              std::pair{"SerialLast", &rule.last}}) {
        const QString value = text(key);
        if (!value.isEmpty() && !ParseUnsigned64(value, *field)) {
            error = FormatText(text::kProductionBadKey, key, Utf8(value).c_str());
            return false;
        }
    }
    const QString failed = text("FailedSerial");
    if (failed == "reuse") {
        rule.failedSerial = FailedSerial::Reuse;
    } else if (!failed.isEmpty() && failed != "spend") {
        error = FormatText(text::kProductionBadKey, "FailedSerial", Utf8(failed).c_str());
        return false;
    }
    rule.counterFile = path("SerialCounter");
    rule.listFile = path("SerialList");
    job.serial = rule;
    return true;
}

}  // namespace

bool ParseSerialValue(const QString& text, uint64_t& value) {
    return ParseNumber(text.toStdString(), 10, UINT64_MAX, value);
}

bool ParseSerialSpec(const QString& spec, SerialRule& rule, std::string& error) {
    const QStringList parts = spec.split(':');
    bool ok = parts.size() >= 3 && parts.size() <= 5 && ParseMemory(parts[0], rule.memory);
    uint64_t address = 0;
    uint64_t width = 0;
    ok = ok && ParseNumber(parts[1].toStdString(), 16, UINT32_MAX, address) && ParseUnsigned64(parts[2], width) &&
         width >= 1 && width <= 8;
    for (int i = 3; ok && i < parts.size(); ++i)
        ok = ParseOrder(parts[i], rule.bigEndian) || ParseEncoding(parts[i], rule.encoding);
    if (!ok) {
        error = FormatText(text::kProductionBadSerial, Utf8(spec).c_str());
        return false;
    }
    rule.address = static_cast<uint32_t>(address);
    rule.width = static_cast<int>(width);
    return true;
}

bool ParseStepNames(const QString& names, uint32_t& mask, std::string& error) {
    mask = 0;
    for (const QString& name : names.split(',', Qt::SkipEmptyParts)) {
        const auto steps = StepTable();
        const auto found = std::find_if(steps.begin(), steps.end(), [&](const StepInfo& s) {
            return s.bit != 0 && name == QLatin1String(s.name);
        });
        if (found == steps.end()) {
            error = FormatText(text::kProductionBadStep, Utf8(name).c_str());
            return false;
        }
        mask |= found->bit;
    }
    return true;
}

bool LoadProductionJob(const QString& pathGiven, ProductionJob& job, std::string& error) {
    const QString path = pathGiven;  // may be the job's own field, reset below
    if (path.trimmed().isEmpty()) {
        error = text::kProductionSettingFileMissing;
        return false;
    }
    CIniFile ini;
    const char* refusal = nullptr;
    // A missing file would give every default: a production run of nothing.
    if (!ini.Load(path, &refusal)) {
        error = FormatText(refusal != nullptr ? refusal : text::kProductionNoSettingFile, Utf8(path).c_str());
        return false;
    }
    // A number no rule reads is refused, never taken as 0 (AutoCheck=0x1F
    // once ran the erase alone and passed blank chips).
    if (const UnreadableSetting bad = FirstUnreadableNumber(ini, true); bad.key != nullptr) {
        const std::string key = std::string("[") + bad.key->section + "] " + bad.key->name;
        error = FormatText(text::kProductionBadNumber, key.c_str(), Utf8(bad.text).c_str());
        return false;
    }
    CJobValues v;
    ReadSettingKeys(ini, true, v);
    job = ProductionJob{};
    job.settingFile = path;
    job.deviceRow = DeviceRowOf(v.GetText(SettingId::LastAvr));
    job.writer = Utf8(v.GetText(SettingId::Writer));
    job.clock = static_cast<uint32_t>(v.GetNumber(SettingId::SysFreq));
    job.usbTiming = static_cast<int32_t>(v.GetNumber(SettingId::UsbTiming));
    job.dataSpeed = static_cast<int32_t>(v.GetNumber(SettingId::DataSpeed));
    const QString folder = QFileInfo(path).absolutePath();
    auto file = [&](SettingId id) {
        const QString p = v.GetText(id);
        return p.isEmpty() || QFileInfo(p).isAbsolute() ? p : folder + '/' + p;
    };
    job.flashFile = file(SettingId::FlashFile);
    job.eepromFile = file(SettingId::EepromFile);
    job.steps = static_cast<uint32_t>(v.GetNumber(SettingId::AutoCheck)) | step_bit::kErase;
    job.fuseEnabled = v.GetNumber(SettingId::FuseEnable) != 0;
    job.lockEnabled = v.GetNumber(SettingId::LockEnable) != 0;
    job.calibEnabled = v.GetNumber(SettingId::CalibrationEnable) != 0;
    // The values of an enabled section, hexadecimal (or 0x...) by the one
    // rule; an empty one keeps 0, as it always did.
    uint8_t fuseBytes[3] = {};
    uint64_t address = 0;
    struct HexValue {
        SettingId id;
        bool enabled;
        uint64_t max;
        uint8_t* byte;
        uint64_t* wide;
    };
    const HexValue hexValues[] = {{SettingId::FuseExt, job.fuseEnabled, 0xFF, &fuseBytes[0], nullptr},
                                  {SettingId::FuseHigh, job.fuseEnabled, 0xFF, &fuseBytes[1], nullptr},
                                  {SettingId::FuseLow, job.fuseEnabled, 0xFF, &fuseBytes[2], nullptr},
                                  {SettingId::LockBits, job.lockEnabled, 0xFF, &job.lock, nullptr},
                                  {SettingId::WriteAddress, job.calibEnabled, UINT32_MAX, nullptr, &address}};
    for (const HexValue& h : hexValues) {
        const QString value = v.GetText(h.id).trimmed();
        uint64_t n = 0;
        if (h.enabled && !value.isEmpty() && !ParseNumber(Utf8(value), 16, h.max, n)) {
            const SettingKey& key = SettingKeyFor(h.id);
            const std::string name = std::string("[") + key.section + "] " + key.name;
            error = FormatText(text::kProductionBadNumber, name.c_str(), Utf8(value).c_str());
            return false;
        }
        if (h.byte != nullptr) *h.byte = h.enabled ? static_cast<uint8_t>(n) : ParseHexByte(Utf8(value));
        if (h.wide != nullptr) *h.wide = n;
    }
    job.fuses = {fuseBytes[0], fuseBytes[1], fuseBytes[2]};
    job.calibFrequency = v.GetText(SettingId::CalibrationFreq);
    job.calibMemoryKnown = CalibMemoryOfText(Utf8(v.GetText(SettingId::WriteMemory)), job.calibMemory);
    job.calibAddress = static_cast<uint32_t>(address);
    return ReadProductionSection(ini, folder, job, error);
}

BatchSettings BatchSettingsOf(const ProductionJob& job) {
    BatchSettings s;
    s.steps = job.steps;
    s.eraseAlways = false;  // a setting file's steps carry it already
    s.flashFile = Utf8(job.flashFile);
    s.eepromFile = Utf8(job.eepromFile);
    s.fuseEnabled = job.fuseEnabled;
    s.fuses = job.fuses;
    s.lockEnabled = job.lockEnabled;
    s.lock = job.lock;
    s.calibEnabled = job.calibEnabled;
    s.calib = {0xFF, job.calibAddress, job.calibMemory};
    return s;
}

bool CheckJobSteps(const ProductionJob& job, std::string& error) {
    const Job batch = BatchJob(BatchSettingsOf(job));
    const auto has = [&](StepKind kind) {
        return std::any_of(batch.steps.begin(), batch.steps.end(), [&](const JobStep& s) { return s.kind == kind; });
    };
    struct Target {
        const char* name;
        const QString& file;
        StepKind write, verify;
        bool serial;  // the serial number goes there: a write with no file is real
    };
    const bool serialFlash = job.serial && job.serial->memory == CalibMemory::Flash;
    const Target memories[] = {
        {"FLASH", job.flashFile, StepKind::WriteFlash, StepKind::VerifyFlash, serialFlash},
        {"EEPROM", job.eepromFile, StepKind::WriteEeprom, StepKind::VerifyEeprom, job.serial && !serialFlash},
    };
    for (const Target& m : memories) {
        if (!m.file.isEmpty() && !has(m.write) && !has(m.verify)) {
            error = FormatText(text::kProductionImageUnused, m.name, Utf8(m.file).c_str());
            return false;
        }
        // The erase leaves the memory blank: its verify alone fails every chip.
        if (has(StepKind::Erase) && has(m.verify) && !has(m.write)) {
            error = FormatText(text::kProductionVerifyAfterErase, m.name);
            return false;
        }
    }
    if (std::all_of(batch.steps.begin(), batch.steps.end(), [](const JobStep& s) { return s.kind == StepKind::Erase; })) {
        error = text::kProductionNothingToDo;
        return false;
    }
    return true;
}

namespace {

// `given` as the kernel would resolve it for a file made there: the folder
// by realpath, then the last name's links one by one, the last even when it
// dangles (the file made would be where it points). Empty when it cannot be.
std::string ResolvedPath(const QString& given) {
    std::string path = QFile::encodeName(QFileInfo(given).absoluteFilePath()).toStdString();
    for (int hops = 0; hops < 40; ++hops) {
        const size_t slash = path.rfind('/');
        const std::string dir = slash == 0 ? "/" : path.substr(0, slash);
        const std::string name = path.substr(slash + 1);
        char* resolved = realpath(dir.c_str(), nullptr);
        if (resolved == nullptr || name.empty() || name == "." || name == "..") {
            free(resolved);
            return {};
        }
        const std::string folder = resolved;
        free(resolved);
        const std::string real = (folder == "/" ? "" : folder) + "/" + name;
        struct stat st {};
        if (lstat(real.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return real;
        std::string target(4096, '\0');
        const ssize_t n = readlink(real.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return {};
        target.resize(static_cast<size_t>(n));
        path = target.front() == '/' ? target : folder + "/" + target;
    }
    return {};
}

}  // namespace

bool ResolvesInside(const QString& given, const QStringList& folders) {
    const std::string real = ResolvedPath(given);
    return !real.empty() && std::any_of(folders.begin(), folders.end(), [&](const QString& f) {
        char* resolved = realpath(QFile::encodeName(f).constData(), nullptr);
        const std::string allowed = resolved != nullptr ? resolved : "";
        free(resolved);
        return !allowed.empty() && real.starts_with(allowed == "/" ? allowed : allowed + "/");
    });
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    if (stat(QFile::encodeName(a).constData(), &sa) == 0 && stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    const std::string ra = ResolvedPath(a);
    return !ra.empty() && ra == ResolvedPath(b);
}

QString InputOfJob(const ProductionJob& job, const QString& path, bool withLog) {
    QStringList files{job.settingFile, job.flashFile, job.eepromFile};
    if (job.serial) {
        const QString numbers = job.serial->listFile.isEmpty() ? CounterFileOf(job) : job.serial->listFile;
        files << numbers << JournalFileOf(numbers);
    }
    if (withLog) files << LogFileOf(job);
    for (const QString& file : files)
        if (!file.isEmpty() && SameFile(file, path)) return file;
    return {};
}

bool CheckJobOutputs(const ProductionJob& job, std::string& error) {
    QStringList folders{QFileInfo(job.settingFile).absolutePath()};
    if (!job.dataDir.isEmpty()) folders << job.dataDir;
    struct Output {
        const char* key;
        QString path;
    };
    std::vector<Output> outputs;
    if (!job.logFromUser) outputs.push_back({"[Production] Log", LogFileOf(job)});
    if (job.serial) {
        const bool list = !job.serial->listFile.isEmpty();
        if (list ? !job.listFromUser : !job.counterFromUser) {
            const QString numbers = list ? job.serial->listFile : CounterFileOf(job);
            // Its journal beside it is an owned file, never a link or a
            // second name; the serial allocator refuses anything else there.
            outputs.push_back({list ? "[Production] SerialList" : "[Production] SerialCounter", numbers});
        }
    }
    for (const Output& out : outputs) {
        struct stat st {};
        // A file with another name elsewhere would be changed there too.
        const bool linked = stat(QFile::encodeName(out.path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                            st.st_nlink > 1;
        if (linked || !ResolvesInside(out.path, folders)) {
            error = FormatText(linked ? text::kProductionOtherName : text::kProductionOutsideFolder, out.key,
                               Utf8(out.path).c_str());
            return false;
        }
    }
    return true;
}

QString CounterFileOf(const ProductionJob& job) {
    if (job.serial && !job.serial->counterFile.isEmpty()) return job.serial->counterFile;
    return job.settingFile + ".counter";
}

QString LogFileOf(const ProductionJob& job) {
    return job.logFile.isEmpty() ? job.settingFile + ".log.csv" : job.logFile;
}

}  // namespace oriole
