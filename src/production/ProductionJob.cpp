#include "production/ProductionJob.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <tuple>

#include "base/FormatText.h"
#include "base/Numbers.h"
#include "devices/Devices.h"
#include "ops/Job.h"
#include "ops/DeviceList.h"
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

bool AllFigures(const QString& text, int base) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [&](QChar c) {
        return c.isDigit() || (base == 16 && QStringLiteral("abcdefABCDEF").contains(c));
    });
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
    const QString t = text.trimmed();
    const bool hex = t.startsWith("0x", Qt::CaseInsensitive);
    const QString figures = hex ? t.mid(2) : t;
    if (!AllFigures(figures, hex ? 16 : 10)) return false;
    bool ok = false;
    value = figures.toULongLong(&ok, hex ? 16 : 10);
    return ok;
}

bool ParseSerialSpec(const QString& spec, SerialRule& rule, std::string& error) {
    const QStringList parts = spec.split(':');
    bool ok = parts.size() >= 3 && parts.size() <= 5 && ParseMemory(parts[0], rule.memory);
    uint64_t address = 0;
    uint64_t width = 0;
    ok = ok && ParseUnsigned64((parts[1].startsWith("0x") ? "" : "0x") + parts[1], address) &&
         address <= UINT32_MAX && ParseUnsigned64(parts[2], width) && width >= 1 && width <= 8;
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
    job.fuses = {ParseHexByte(Utf8(v.GetText(SettingId::FuseExt))), ParseHexByte(Utf8(v.GetText(SettingId::FuseHigh))),
                 ParseHexByte(Utf8(v.GetText(SettingId::FuseLow)))};
    job.lockEnabled = v.GetNumber(SettingId::LockEnable) != 0;
    job.lock = ParseHexByte(Utf8(v.GetText(SettingId::LockBits)));
    job.calibEnabled = v.GetNumber(SettingId::CalibrationEnable) != 0;
    job.calibFrequency = v.GetText(SettingId::CalibrationFreq);
    job.calibMemoryKnown = CalibMemoryOfText(Utf8(v.GetText(SettingId::WriteMemory)), job.calibMemory);
    job.calibAddress = ParseHexLenient(Utf8(v.GetText(SettingId::WriteAddress)));
    return ReadProductionSection(ini, folder, job, error);
}

BatchSettings BatchSettingsOf(const ProductionJob& job) {
    BatchSettings s;
    s.steps = job.steps;
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

QString CounterFileOf(const ProductionJob& job) {
    if (job.serial && !job.serial->counterFile.isEmpty()) return job.serial->counterFile;
    return job.settingFile + ".counter";
}

QString LogFileOf(const ProductionJob& job) {
    return job.logFile.isEmpty() ? job.settingFile + ".log.csv" : job.logFile;
}

}  // namespace oriole
