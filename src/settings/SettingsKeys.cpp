#include "settings/SettingsKeys.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/Numbers.h"

namespace oriole {

namespace {

constexpr char kApplication[] = "Application";
constexpr char kDevice[] = "Device";
constexpr char kFlash[] = "FLASH";
constexpr char kEeprom[] = "EEPROM";
constexpr char kFuse[] = "Fuse";
constexpr char kLock[] = "Lock";
constexpr char kCalibration[] = "Calibration";

constexpr char kImagePatterns[] = "*.hex;*.srec;*.mot";
// The FLASH patterns followed by ";*.eep", whatever the FLASH key holds.
constexpr char kEepromPatterns[] = "*.hex;*.srec;*.mot;*.eep";

using K = SettingKind;
using I = SettingId;

// clang-format off
constexpr std::array<SettingKey, kSettingCount> kKeys = {{
    {I::WindowStyle,         kApplication, "WindowStyle",       "WindowStyle",       "0",          K::Number, false},
    {I::SettingFile,         kDevice,      "SettingFile",       "SettingFile",       "",           K::Text,   false},
    {I::LastAvr,             kDevice,      "LastAVR",           "LastAVR",           "(auto)",     K::Text,   false},
    {I::SysFreq,             kDevice,      "SysFreq",           "SysFreq",           "1000000",    K::Number, false},
    {I::AutoCheck,           kDevice,      "AutoCheck",         "AutoCheck",         "00000001",   K::Hex8,   false},
    {I::UsbTiming,           kDevice,      "USBTiming",         "USBTiming",         "0",          K::Number, false},
    {I::DataSpeed,           kDevice,      "DataSpeed",         "DataSpeed",         "1",          K::Number, false},
    // The writer backend: "auto" or a backend's spec string.
    {I::Writer,              kDevice,      "Writer",            "Writer",            "auto",       K::Text,   false},
    {I::FlashFileExtension,  kFlash,       "FileExtension",     "FileExtension",     kImagePatterns, K::Text, false},
    {I::FlashFile,           kFlash,       "File",              "File",              "",           K::Text,   false},
    {I::FlashErase,          kFlash,       "Erase",             "Erase",             "1",          K::Check,  false},
    {I::FlashVerify,         kFlash,       "Verify",            "Verify",            "1",          K::Check,  false},
    {I::FlashSaveFormat,     kFlash,       "SaveFormat",        "SaveFormat",        "0",          K::Number, false},
    {I::FlashSaveName,       kFlash,       "SaveName",          "SaveName",          "",           K::Text,   false},
    {I::FlashSaveAll,        kFlash,       "SaveAll",           "SaveAll",           "0",          K::Number, false},
    {I::EepromFileExtension, kEeprom,      "FileExtension",     "FileExtension",     kEepromPatterns, K::Text, false},
    {I::EepromFile,          kEeprom,      "File",              "File",              "",           K::Text,   false},
    {I::EepromVerify,        kEeprom,      "Verify",            "Verify",            "1",          K::Check,  false},
    {I::EepromSaveFormat,    kEeprom,      "SaveFormat",        "SaveFormat",        "0",          K::Number, false},
    {I::EepromSaveName,      kEeprom,      "SaveName",          "SaveName",          "",           K::Text,   false},
    {I::EepromSaveAll,       kEeprom,      "SaveAll",           "SaveAll",           "0",          K::Number, false},
    {I::FuseEnable,          kFuse,        "FuseEnable",        "FuseEnable",        "0",          K::Enable, true},
    {I::FuseExt,             kFuse,        "FuseExt",           "FuseExt",           "",           K::Text,   true},
    {I::FuseHigh,            kFuse,        "FuseHigh",          "FuseHigh",          "",           K::Text,   true},
    {I::FuseLow,             kFuse,        "FuseLow",           "FuseLow",           "",           K::Text,   true},
    {I::FuseFileExtension,   kFuse,        "FileExtension",     "FileExtension",     "*.fus",      K::Text,   false},
    {I::FuseFile,            kFuse,        "File",              "File",              "",           K::Text,   false},
    {I::FuseSaveFile,        kFuse,        "SaveFile",          "SaveFile",          "",           K::Text,   false},
    {I::FuseVerify,          kFuse,        "Verify",            "Verify",            "1",          K::Check,  false},
    {I::LockEnable,          kLock,        "LockEnable",        "LockEnable",        "0",          K::Enable, true},
    {I::LockBits,            kLock,        "LockBits",          "LockBits",          "",           K::Text,   true},
    {I::LockFileExtension,   kLock,        "FileExtension",     "FileExtension",     "*.loc",      K::Text,   false},
    {I::LockFile,            kLock,        "File",              "File",              "",           K::Text,   false},
    {I::LockSaveFile,        kLock,        "SaveFile",          "SaveFile",          "",           K::Text,   false},
    {I::LockVerify,          kLock,        "Verify",            "Verify",            "1",          K::Check,  false},
    {I::CalibrationEnable,   kCalibration, "CalibrationEnable", "CalibrationEnable", "0",          K::Enable, true},
    // Written with a capital R since the first version; the same key when read.
    {I::CalibrationFreq,     kCalibration, "CalibrationFreq",   "CalibRationFreq",   "",           K::Text,   true},
    {I::CalibrationByte,     kCalibration, "CalibrationByte",   "CalibRationByte",   "",           K::Text,   true},
    // The memory the calibration label names, "FLASH" or "EEPROM"; none yet.
    {I::WriteMemory,         kCalibration, "WriteMemory",       "WriteMemory",       "",           K::Label,  true},
    {I::WriteAddress,        kCalibration, "WriteAddress",      "WriteAddress",      "",           K::Text,   true},
    {I::CalibrationVerify,   kCalibration, "Verify",            "Verify",            "1",          K::Check,  false},
}};
// clang-format on

constexpr bool IdsMatchRows() {
    for (size_t i = 0; i < kKeys.size(); ++i) {
        if (static_cast<size_t>(kKeys[i].id) != i) return false;
    }
    return true;
}
static_assert(IdsMatchRows(), "row i of the settings table must have id i");

bool IsNumberKind(SettingKind kind) {
    return kind != K::Text && kind != K::Label;
}

// The text a key holds in the file; nullopt when the file lacks it.
std::optional<QString> StoredText(const CIniFile& ini, const SettingKey& key) {
    const QString section = QString::fromLatin1(key.section);
    const QString name = QString::fromLatin1(key.name);
    // Two defaults apart: a key present gives the same text for both.
    const QString a = ini.GetString(section, name, QStringLiteral("\x01a"));
    if (a != ini.GetString(section, name, QStringLiteral("\x01b"))) return std::nullopt;
    return a;
}

// A number row's text by the strict rule: hexadecimal for Hex8 rows, decimal
// for the others, "0x" hexadecimal in both.
std::optional<int64_t> StrictNumber(const SettingKey& key, const QString& text) {
    const bool hex = key.kind == K::Hex8;
    uint64_t value = 0;
    if (!ParseNumber(text.toStdString(), hex ? 16 : 10, hex ? UINT32_MAX : INT32_MAX, value)) return std::nullopt;
    return static_cast<int64_t>(value);
}

}  // namespace

std::span<const SettingKey> SettingKeys() {
    return kKeys;
}

const SettingKey& SettingKeyFor(SettingId id) {
    return kKeys.at(static_cast<size_t>(id));
}

QString FormatSettingNumber(SettingKind kind, int64_t value) {
    switch (kind) {
        case K::Hex8:
            return QString::asprintf("%08X", static_cast<unsigned>(static_cast<uint32_t>(value)));
        case K::Check:
        case K::Enable:
            return QString::number(value != 0 ? 1 : 0);
        case K::Number:
        case K::Text:
        case K::Label:
            break;
    }
    return QString::number(value);
}

void ReadSettingKeys(const CIniFile& ini, bool bWithValues, ISettingValues& values) {
    ForEachSettingKey(bWithValues, [&](const SettingKey& key) {
        const QString section = QString::fromLatin1(key.section);
        const QString name = QString::fromLatin1(key.name);
        const std::string_view def = key.defaultText;
        // What the strict rule reads ("0x1F" too) is that number; other
        // texts are read leniently, as they always were.
        if (const auto text = IsNumberKind(key.kind) ? StoredText(ini, key) : std::nullopt)
            if (const auto strict = StrictNumber(key, *text))
                return values.SetNumber(key.id, key.kind == K::Enable ? (*strict != 0 ? 1 : 0) : *strict);
        switch (key.kind) {
            case K::Text:
            case K::Label:
                values.SetText(key.id, ini.GetString(section, name, QString::fromUtf8(def)));
                return;
            case K::Hex8:
                values.SetNumber(key.id, ini.GetHex(section, name, ParseHexLenient(def)));
                return;
            case K::Enable:
                values.SetNumber(key.id,
                                 ini.GetInt(section, name, ParseDecLenient(def)) != 0 ? 1 : 0);
                return;
            case K::Number:
            case K::Check:
                values.SetNumber(key.id, ini.GetInt(section, name, ParseDecLenient(def)));
                return;
        }
    });
}

UnreadableSetting FirstUnreadableNumber(const CIniFile& ini, bool bWithValues) {
    UnreadableSetting found;
    ForEachSettingKey(bWithValues, [&](const SettingKey& key) {
        if (found.key != nullptr || !IsNumberKind(key.kind)) return;
        const auto text = StoredText(ini, key);
        if (text && !StrictNumber(key, *text)) found = {&key, *text};
    });
    return found;
}

bool WriteSettingKeys(CIniFile& ini, bool bWithValues, const ISettingValues& values) {
    bool all = true;
    ForEachSettingKey(bWithValues, [&](const SettingKey& key) {
        if (values.KeepsStoredValue(key.id)) return;
        const QString text = IsNumberKind(key.kind)
                                 ? FormatSettingNumber(key.kind, values.GetNumber(key.id))
                                 : values.GetText(key.id);
        all = ini.WriteString(QString::fromLatin1(key.section), QString::fromLatin1(key.writeName),
                              text) &&
              all;
    });
    return all;
}

bool WriteSettingDefaults(CIniFile& ini, bool bWithValues) {
    bool all = true;
    ForEachSettingKey(bWithValues, [&](const SettingKey& key) {
        all = ini.WriteString(QString::fromLatin1(key.section), QString::fromLatin1(key.writeName),
                              QString::fromUtf8(key.defaultText)) &&
              all;
    });
    return all;
}

}  // namespace oriole
