// Fuzzes the INI store: arbitrary bytes are parsed, read, written to and
// written out; the result must parse again and give back what was written.
//
// The whole input is the file. Its last bytes double as a script of writes
// (which section, which key, which value), so the seed corpus can be plain
// INI files.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <utility>

#include "base/TextCodec.h"
#include "settings/IniFile.h"
#include "settings/SettingsKeys.h"

namespace {

using oriole::CIniFile;

const char* const kSections[] = {"Device", "device", "FLASH", "Calibration", "A", "保存", "ゾーン"};
const char* const kKeys[] = {"File",   "file", "k",  "CalibRationFreq", "calibrationfreq",
                             "Verify", "ア",   "ヂ", "SaveFile"};
// Characters for values; no line breaks. Blanks and quotes make some values
// read back differently from how they were written, which is checked for
// consistency only. The last three are not in code page 932 and turn the file
// into UTF-16.
const char* const kValueChars[] = {"a",  "Z", "0",  "9",  " ",  "\t", "=", ";",    "[",    "]",
                                   "\"", "'", "\\", "保", "ゾ", "ア", "ｱ", "\x01", "\x7f", "#",
                                   "\u00e9", "\u20ac", "\U0001F600"};

template <typename T, size_t N>
const T& Pick(const T (&items)[N], uint8_t b) {
    return items[b % N];
}

void Check(bool condition) {
    if (!condition) std::abort();
}

// Values that come back exactly as written: no blanks at either end, not
// wrapped in a pair of quotes, within the 259-byte read buffer.
bool ReadsBackUnchanged(const QString& value) {
    if (value.isEmpty()) return true;
    if (value.trimmed() != value) return false;
    const QChar first = value.front();
    if (value.size() >= 2 && (first == QLatin1Char('"') || first == QLatin1Char('\'')) &&
        value.back() == first) {
        return false;
    }
    return oriole::ToShiftJis(value).size() <= CIniFile::kMaxValueBytes;
}

// Takes what the settings load hands over and checks the texts' length.
class CheckedValues : public oriole::ISettingValues {
public:
    int64_t GetNumber(oriole::SettingId) const override { return 0; }
    void SetNumber(oriole::SettingId, int64_t) override {}
    QString GetText(oriole::SettingId) const override { return {}; }
    void SetText(oriole::SettingId, const QString& text) override {
        // 259 bytes of Shift-JIS, or 259 UTF-16 units in a Unicode file.
        Check(text.size() <= CIniFile::kMaxValueBytes);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CIniFile ini;
    if (!ini.Parse(input)) return 0;
    // A file that is only read serializes to its own bytes.
    Check(ini.Serialize() == input);

    // Every settings key read as the program reads them; no text comes back
    // longer than the read buffer.
    CheckedValues values;
    oriole::ReadSettingKeys(ini, true, values);

    // The script: up to 16 writes of 4 bytes each, from the end of the input.
    const size_t writes = std::min<size_t>(size / 4, 16);
    const uint8_t* script = data + size - writes * 4;
    std::map<std::pair<QString, QString>, QString> written;  // by folded names
    for (size_t i = 0; i < writes; ++i) {
        const uint8_t* op = script + i * 4;
        const QString section = QString::fromUtf8(Pick(kSections, op[0]));
        const QString key = QString::fromUtf8(Pick(kKeys, op[1]));
        QString value;
        uint32_t seed = static_cast<uint32_t>(op[2]) * 31u + op[3];
        const int length = op[3] % 40;
        for (int c = 0; c < length; ++c) {
            value += QString::fromUtf8(Pick(kValueChars, static_cast<uint8_t>(seed >> 3)));
            seed = seed * 1103515245u + 12345u;
        }
        if (op[2] == 0xFF) value += QLatin1Char('\n');  // must be refused

        const QByteArray before = ini.Serialize();
        if (!ini.WriteString(section, key, value)) {
            Check(ini.Serialize() == before);
            continue;
        }
        Check(!value.contains(QLatin1Char('\n')));
        const QString got = ini.GetString(section, key, QStringLiteral("\x02missing"));
        Check(got != QStringLiteral("\x02missing"));
        if (ReadsBackUnchanged(value)) Check(got == value);
        written[{section.toLower(), key.toLower()}] = got;
    }

    // Written out and parsed again, every written key reads the same.
    const QByteArray bytes = ini.Serialize();
    CIniFile again;
    Check(again.Parse(bytes));
    Check(again.Serialize() == bytes);
    for (const auto& [names, value] : written) {
        Check(again.GetString(names.first, names.second, QStringLiteral("\x02missing")) == value);
        Check(ini.GetString(names.first, names.second, QStringLiteral("\x02missing")) == value);
    }
    return 0;
}
