#pragma once
// The persistent settings as one table: one row per key, in the order in
// which the settings are both loaded and saved. Loading and saving walk this
// table; the main window only maps each row's id to its field or control.
//
// Order matters: keys are written one at a time, so a file written from
// scratch has its sections and keys in table order; and on load the device
// (LastAVR) is selected before the fuse, lock and calibration values are
// read, so that selecting it cannot wipe them.

#include <QString>
#include <cstdint>
#include <span>

#include "settings/IniFile.h"

namespace oriole {

enum class SettingKind : uint8_t {
    Number,  // decimal, read leniently
    Hex8,    // written "%08X", read as hexadecimal
    Text,    // a text as it stands (field or edit box)
    Check,   // check-box state: written "0"/"1", read as a number
    Enable,  // enable state of a button and its check box: "0"/"1", read as "not 0"
    Label,   // text of a label
};

enum class SettingId : uint8_t {
    WindowStyle,
    SettingFile,
    LastAvr,
    SysFreq,
    AutoCheck,
    UsbTiming,
    DataSpeed,
    Writer,
    FlashFileExtension,
    FlashFile,
    FlashErase,
    FlashVerify,
    FlashSaveFormat,
    FlashSaveName,
    FlashSaveAll,
    EepromFileExtension,
    EepromFile,
    EepromVerify,
    EepromSaveFormat,
    EepromSaveName,
    EepromSaveAll,
    FuseEnable,
    FuseExt,
    FuseHigh,
    FuseLow,
    FuseFileExtension,
    FuseFile,
    FuseSaveFile,
    FuseVerify,
    LockEnable,
    LockBits,
    LockFileExtension,
    LockFile,
    LockSaveFile,
    LockVerify,
    CalibrationEnable,
    CalibrationFreq,
    CalibrationByte,
    WriteMemory,
    WriteAddress,
    CalibrationVerify,
    Count
};

inline constexpr size_t kSettingCount = static_cast<size_t>(SettingId::Count);

struct SettingKey {
    SettingId id;
    const char* section;
    const char* name;         // spelling used to read
    const char* writeName;    // spelling used to write (same key, case aside)
    const char* defaultText;  // UTF-8, in the form the key is written in
    SettingKind kind;
    bool valuesOnly;  // only in setting files: read and written with bWithValues
};

// Every row, in load and save order; row i has id i.
std::span<const SettingKey> SettingKeys();
const SettingKey& SettingKeyFor(SettingId id);

template <typename Fn>
void ForEachSettingKey(bool bWithValues, Fn&& fn) {
    for (const SettingKey& key : SettingKeys()) {
        if (bWithValues || !key.valuesOnly) fn(key);
    }
}

// Where the values live while the program runs. Number, Hex8, Check and
// Enable rows go through the number calls (Hex8 as its unsigned 32 bits,
// Enable as 0 or 1), Text and Label rows through the text calls.
class ISettingValues {
public:
    virtual ~ISettingValues() = default;
    virtual int64_t GetNumber(SettingId id) const = 0;
    virtual void SetNumber(SettingId id, int64_t value) = 0;
    virtual QString GetText(SettingId id) const = 0;
    virtual void SetText(SettingId id, const QString& text) = 0;
    // True for a key whose value read from the file was refused: a save
    // leaves it as the file holds it instead of writing it.
    virtual bool KeepsStoredValue(SettingId /*id*/) const { return false; }
};

// The text a number row is written as: decimal, "%08X" of the low 32 bits,
// or "0"/"1" for check and enable states.
QString FormatSettingNumber(SettingKind kind, int64_t value);

// Reads every row (values-only rows only with bWithValues) in table order,
// each with its default, and hands it to `values`.
void ReadSettingKeys(const CIniFile& ini, bool bWithValues, ISettingValues& values);

// A number row whose text in a file the strict rule (ParseNumber) cannot
// read: "0x1F" reads as hexadecimal in every number row, and "1F" in a
// decimal row, "1 F" or "" in any are refused.
struct UnreadableSetting {
    const SettingKey* key = nullptr;
    QString text;
};
// The first such row of `ini` (values-only rows only with bWithValues); an
// absent key reads as its default. Null key when every one reads.
UnreadableSetting FirstUnreadableNumber(const CIniFile& ini, bool bWithValues);

// Writes every row in table order from `values`, except those it keeps as
// stored. False when some key could
// not be stored (a text with a line break, a file grown too large); the
// other keys are written all the same.
[[nodiscard]] bool WriteSettingKeys(CIniFile& ini, bool bWithValues, const ISettingValues& values);

// Writes every row's default text in table order.
[[nodiscard]] bool WriteSettingDefaults(CIniFile& ini, bool bWithValues);

}  // namespace oriole
