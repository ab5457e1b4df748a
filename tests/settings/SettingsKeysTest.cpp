#include "settings/SettingsKeys.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/TextCodec.h"

namespace oriole {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Settings values as the main window would hold them, recording the order in
// which the load hands them over.
class FakeValues : public ISettingValues {
public:
    int64_t GetNumber(SettingId id) const override {
        const auto it = numbers.find(id);
        return it == numbers.end() ? 0 : it->second;
    }
    void SetNumber(SettingId id, int64_t value) override {
        numbers[id] = value;
        order.push_back(id);
    }
    QString GetText(SettingId id) const override {
        const auto it = texts.find(id);
        return it == texts.end() ? QString() : it->second;
    }
    void SetText(SettingId id, const QString& text) override {
        texts[id] = text;
        order.push_back(id);
    }

    std::map<SettingId, int64_t> numbers;
    std::map<SettingId, QString> texts;
    std::vector<SettingId> order;
};

CIniFile Parsed(QByteArrayView bytes) {
    CIniFile ini;
    EXPECT_TRUE(ini.Parse(bytes));
    return ini;
}

// The file the first close writes when there was no INI file: every row's
// default, values-only rows left out.
constexpr char kFreshIni[] =
    "[Application]\r\nWindowStyle=0\r\n"
    "[Device]\r\nSettingFile=\r\nLastAVR=(auto)\r\nSysFreq=1000000\r\nAutoCheck=00000001\r\n"
    "USBTiming=0\r\nDataSpeed=1\r\nWriter=auto\r\n"
    "[FLASH]\r\nFileExtension=*.hex;*.srec;*.mot\r\nFile=\r\nErase=1\r\nVerify=1\r\n"
    "SaveFormat=0\r\nSaveName=\r\nSaveAll=0\r\n"
    "[EEPROM]\r\nFileExtension=*.hex;*.srec;*.mot;*.eep\r\nFile=\r\nVerify=1\r\n"
    "SaveFormat=0\r\nSaveName=\r\nSaveAll=0\r\n"
    "[Fuse]\r\nFileExtension=*.fus\r\nFile=\r\nSaveFile=\r\nVerify=1\r\n"
    "[Lock]\r\nFileExtension=*.loc\r\nFile=\r\nSaveFile=\r\nVerify=1\r\n"
    "[Calibration]\r\nVerify=1\r\n";

TEST(SettingsKeys, FreshFileHasEverySectionInOrderAndNoValueKeys) {
    CIniFile ini;
    EXPECT_TRUE(WriteSettingDefaults(ini, false));
    EXPECT_EQ(ini.Serialize(), QByteArray(kFreshIni));

    // Writing the same again over the file changes nothing.
    EXPECT_TRUE(WriteSettingDefaults(ini, false));
    EXPECT_EQ(ini.Serialize(), QByteArray(kFreshIni));
}

TEST(SettingsKeys, SettingFileCarriesTheValueKeysWithCapitalR) {
    CIniFile ini;
    EXPECT_TRUE(WriteSettingDefaults(ini, true));
    const QByteArray text = ini.Serialize();
    const QByteArray fuse =
        "[Fuse]\r\nFuseEnable=0\r\nFuseExt=\r\nFuseHigh=\r\nFuseLow=\r\n"
        "FileExtension=*.fus\r\n";
    const QByteArray lock = "[Lock]\r\nLockEnable=0\r\nLockBits=\r\nFileExtension=*.loc\r\n";
    const QByteArray calibration =
        "[Calibration]\r\nCalibrationEnable=0\r\nCalibRationFreq=\r\n"
        "CalibRationByte=\r\nWriteMemory=\r\nWriteAddress=\r\nVerify=1\r\n";
    EXPECT_TRUE(text.contains(fuse));
    EXPECT_TRUE(text.contains(lock));
    EXPECT_TRUE(text.endsWith(calibration)) << text.constData();
    EXPECT_FALSE(text.contains("CalibrationFreq"));
}

TEST(SettingsKeys, TableRows) {
    const std::set<SettingId> valuesOnly = {
        SettingId::FuseEnable,        SettingId::FuseExt,         SettingId::FuseHigh,
        SettingId::FuseLow,           SettingId::LockEnable,      SettingId::LockBits,
        SettingId::CalibrationEnable, SettingId::CalibrationFreq, SettingId::CalibrationByte,
        SettingId::WriteMemory,       SettingId::WriteAddress};
    ASSERT_EQ(SettingKeys().size(), kSettingCount);
    std::set<std::pair<std::string, std::string>> seen;
    for (const SettingKey& key : SettingKeys()) {
        SCOPED_TRACE(std::string(key.section) + "/" + key.name);
        EXPECT_EQ(&SettingKeyFor(key.id), &key);
        EXPECT_EQ(key.valuesOnly, valuesOnly.count(key.id) == 1);
        // One row per key, the write spelling being the same key.
        EXPECT_TRUE(seen.insert({QString::fromLatin1(key.section).toLower().toStdString(),
                                 QString::fromLatin1(key.name).toLower().toStdString()})
                        .second);
        EXPECT_EQ(QString::fromLatin1(key.name).compare(QString::fromLatin1(key.writeName),
                                                        Qt::CaseInsensitive),
                  0);
    }
    EXPECT_STREQ(SettingKeyFor(SettingId::CalibrationFreq).writeName, "CalibRationFreq");
    EXPECT_STREQ(SettingKeyFor(SettingId::CalibrationByte).writeName, "CalibRationByte");
    EXPECT_EQ(QByteArray(SettingKeyFor(SettingId::EepromFileExtension).defaultText),
              QByteArray(SettingKeyFor(SettingId::FlashFileExtension).defaultText) + ";*.eep");
}

TEST(SettingsKeys, LoadWithoutFileGivesDefaultsInTableOrder) {
    const CIniFile empty;
    FakeValues values;
    ReadSettingKeys(empty, true, values);
    ASSERT_EQ(values.order.size(), kSettingCount);
    for (size_t i = 0; i < kSettingCount; ++i) EXPECT_EQ(values.order[i], SettingKeys()[i].id);

    const struct {
        SettingId id;
        int64_t number;
    } numbers[] = {
        {SettingId::WindowStyle, 0},  {SettingId::SysFreq, 1000000},     {SettingId::AutoCheck, 1},
        {SettingId::UsbTiming, 0},    {SettingId::DataSpeed, 1},         {SettingId::FlashErase, 1},
        {SettingId::FlashVerify, 1},  {SettingId::EepromVerify, 1},      {SettingId::FuseVerify, 1},
        {SettingId::LockVerify, 1},   {SettingId::CalibrationVerify, 1}, {SettingId::FuseEnable, 0},
        {SettingId::FlashSaveAll, 0},
    };
    for (const auto& n : numbers) {
        EXPECT_EQ(values.numbers.at(n.id), n.number) << SettingKeyFor(n.id).name;
    }
    EXPECT_EQ(values.texts.at(SettingId::LastAvr), U("(auto)"));
    EXPECT_EQ(values.texts.at(SettingId::Writer), U("auto"));
    EXPECT_EQ(values.texts.at(SettingId::WriteMemory), QString());
    EXPECT_EQ(values.texts.at(SettingId::FuseFileExtension), U("*.fus"));
}

TEST(SettingsKeys, ValueKeysAreIgnoredWithoutValues) {
    // Keys of a setting file added to the INI file by hand, lower case too.
    const CIniFile ini = Parsed(
        "[Fuse]\r\nFuseEnable=1\r\nFuseLow=E1\r\n[calibration]\r\ncalibrationfreq=8000000\r\n");
    FakeValues without;
    ReadSettingKeys(ini, false, without);
    EXPECT_EQ(without.numbers.count(SettingId::FuseEnable), 0u);
    EXPECT_EQ(without.texts.count(SettingId::FuseLow), 0u);
    EXPECT_EQ(without.texts.count(SettingId::CalibrationFreq), 0u);

    FakeValues with;
    ReadSettingKeys(ini, true, with);
    EXPECT_EQ(with.numbers.at(SettingId::FuseEnable), 1);
    EXPECT_EQ(with.texts.at(SettingId::FuseLow), U("E1"));
    EXPECT_EQ(with.texts.at(SettingId::CalibrationFreq), U("8000000"));
}

TEST(SettingsKeys, ValuesSurviveSaveAndLoad) {
    FakeValues out;
    out.numbers = {{SettingId::WindowStyle, 1},    {SettingId::SysFreq, 8000000},
                   {SettingId::AutoCheck, 0x7FF},  {SettingId::UsbTiming, -3},
                   {SettingId::DataSpeed, 4},      {SettingId::FlashErase, 0},
                   {SettingId::FlashVerify, 1},    {SettingId::FuseEnable, 5},
                   {SettingId::LockEnable, 0},     {SettingId::CalibrationEnable, 1},
                   {SettingId::FlashSaveFormat, 1}};
    out.texts = {{SettingId::LastAvr, U("ATmega8")},
                 {SettingId::FlashFile, U("C:\\作業\\main.hex")},
                 {SettingId::FuseLow, U("E1")},
                 {SettingId::CalibrationFreq, U("8.0MHz")},
                 {SettingId::WriteMemory, U("EEPROM アドレス")},
                 {SettingId::Writer, U("sim:atmega8")}};
    CIniFile ini;
    EXPECT_TRUE(WriteSettingKeys(ini, true, out));
    const QByteArray text = ini.Serialize();
    EXPECT_TRUE(text.contains("\r\nAutoCheck=000007FF\r\n"));
    EXPECT_TRUE(text.contains("\r\nUSBTiming=-3\r\n"));
    EXPECT_TRUE(text.contains("\r\nFuseEnable=1\r\n"));  // an enable state is 0 or 1
    EXPECT_TRUE(text.contains("\r\nCalibRationFreq=8.0MHz\r\n"));

    FakeValues in;
    ReadSettingKeys(Parsed(text), true, in);
    for (const SettingKey& key : SettingKeys()) {
        SCOPED_TRACE(key.name);
        if (key.kind == SettingKind::Text || key.kind == SettingKind::Label) {
            EXPECT_EQ(in.texts.at(key.id), out.GetText(key.id));
        } else {
            const int64_t written = out.GetNumber(key.id);
            const bool zeroOrOne =
                key.kind == SettingKind::Check || key.kind == SettingKind::Enable;
            EXPECT_EQ(in.numbers.at(key.id), zeroOrOne ? int64_t{written != 0} : written);
        }
    }
}

TEST(SettingsKeys, HandWrittenHexAndUnknownKeysSurviveLoadAndSave) {
    CIniFile ini = Parsed(
        "; my notes\r\n[Device]\r\nAutoCheck=7ff\r\nMine=keep\r\n[Fuse]\r\nSaveFile=C:\\f.fus\r\n");
    FakeValues values;
    ReadSettingKeys(ini, false, values);
    EXPECT_EQ(values.numbers.at(SettingId::AutoCheck), 0x7FF);
    EXPECT_EQ(values.texts.at(SettingId::FuseSaveFile), U("C:\\f.fus"));

    EXPECT_TRUE(WriteSettingKeys(ini, false, values));
    const QByteArray text = ini.Serialize();
    EXPECT_TRUE(text.startsWith("; my notes\r\n[Device]\r\nAutoCheck=000007FF\r\nMine=keep\r\n"));
    EXPECT_TRUE(text.contains("[Fuse]\r\nSaveFile=C:\\f.fus\r\nFileExtension=*.fus\r\n"));
}

// Numbers by the one rule: 0x is hexadecimal in every number row, never 0;
// the first row that rule cannot read is named with its text (what a
// production run refuses), while the window still reads it leniently.
TEST(SettingsKeys, NumbersReadByOneRuleAndTheUnreadableNamed) {
    struct Case {
        const char* ini;
        SettingId id;
        int64_t value;
        const char* unreadable;  // the key FirstUnreadableNumber names, or null
    };
    const Case cases[] = {
        {"[Device]\r\nAutoCheck=0x1F\r\n", SettingId::AutoCheck, 0x1F, nullptr},
        {"[Device]\r\nAutoCheck=0x0000001F\r\n", SettingId::AutoCheck, 0x1F, nullptr},
        {"[Device]\r\nAutoCheck=0000001F\r\n", SettingId::AutoCheck, 0x1F, nullptr},
        {"[Device]\r\nSysFreq=0x10\r\n", SettingId::SysFreq, 16, nullptr},
        {"[Device]\r\nSysFreq=8000000\r\n", SettingId::SysFreq, 8000000, nullptr},
        {"[Device]\r\nAutoCheck=0x1G\r\n", SettingId::AutoCheck, 0, "AutoCheck"},
        {"[Device]\r\nSysFreq=1F\r\n", SettingId::SysFreq, 1, "SysFreq"},
        {"[Fuse]\r\nFuseEnable=yes\r\n", SettingId::FuseEnable, 0, "FuseEnable"},
    };
    for (const Case& c : cases) {
        const CIniFile ini = Parsed(c.ini);
        FakeValues values;
        ReadSettingKeys(ini, true, values);
        EXPECT_EQ(values.numbers.at(c.id), c.value) << c.ini;
        const UnreadableSetting bad = FirstUnreadableNumber(ini, true);
        EXPECT_STREQ(bad.key != nullptr ? bad.key->name : nullptr, c.unreadable) << c.ini;
    }
}

TEST(SettingsKeys, UnstorableTextIsReportedAndTheRestWritten) {
    FakeValues values;
    values.texts[SettingId::FlashFile] = U("a\r\n[Device]\r\nSysFreq=0");
    CIniFile ini;
    EXPECT_FALSE(WriteSettingKeys(ini, false, values));
    EXPECT_EQ(ini.GetString(U("FLASH"), U("File"), U("<none>")), U("<none>"));
    EXPECT_EQ(ini.GetString(U("FLASH"), U("Erase"), U("<none>")), U("0"));
    EXPECT_EQ(ini.GetString(U("Calibration"), U("Verify"), U("<none>")), U("0"));
}

TEST(SettingsKeys, FormatsNumbersByKind) {
    const struct {
        SettingKind kind;
        int64_t value;
        const char* text;
    } cases[] = {
        {SettingKind::Number, 0, "0"},
        {SettingKind::Number, -12, "-12"},
        {SettingKind::Number, 1000000, "1000000"},
        {SettingKind::Hex8, 0x7FF, "000007FF"},
        {SettingKind::Hex8, 0xFFFFFFFF, "FFFFFFFF"},
        {SettingKind::Check, 1, "1"},
        {SettingKind::Check, 0, "0"},
        {SettingKind::Enable, 7, "1"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSettingNumber(c.kind, c.value), U(c.text));
}

}  // namespace
}  // namespace oriole
