// An ELF built by avr-gcc (initialised data, EEPROM data, fuses, lock bits,
// signature) programmed through the simulated box and read back, against
// the images avr-objcopy makes of the same file.
#include <gtest/gtest.h>

#include <QFile>

#include "image/ImageReader.h"
#include "image/ImageWriter.h"
#include "base/FormatText.h"
#include "ops/OpsTestSupport.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace ctl_id;

#ifdef ORIOLE_AVR_DEMO_DIR
constexpr const char* kDemoDir = ORIOLE_AVR_DEMO_DIR;
#else
constexpr const char* kDemoDir = nullptr;
#endif

std::string Demo(const char* name) {
    return std::string(kDemoDir) + "/" + name;
}

QByteArray ReadAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll();
}

std::vector<uint8_t> Bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}

// A whole memory as a HEX file of avr-objcopy's programs it: 0xFF where the
// file has no data.
std::vector<uint8_t> MemoryFromHex(const std::string& path, size_t size) {
    ImageBuffer image;
    image.Allocate(static_cast<uint32_t>(size));
    RecordingHost host;
    uint32_t lowest = 0, highest = 0;
    EXPECT_TRUE(LoadImageFile(host, QString::fromStdString(path), image, lowest, highest));
    std::vector<uint8_t> out(size, 0xFF);
    for (size_t i = 0; i < size; ++i)
        if (image.cells[i] != kNoData) out[i] = static_cast<uint8_t>(image.cells[i]);
    return out;
}

class AvrElfTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (kDemoDir == nullptr) GTEST_SKIP() << "avr-gcc was not found when the tests were built";
    }
};

TEST_F(AvrElfTest, OneElfProgramsFlashAndEepromAsAvrObjcopysImagesSay) {
    OpsRig rig;
    const std::string elf = Demo("demo.elf");
    const AVR_DEVICE& d = DeviceAt(Row("ATmega328P"));
    // The main window's boxes both name the ELF: the FLASH box takes its
    // FLASH part, the EEPROM box its EEPROM part.
    rig.window.Controls().SetText(kFlashFile, elf);
    rig.window.Controls().SetText(kEepromFile, elf);
    ASSERT_TRUE(rig.core.WriteFlash(elf, {.timing = true, .verify = true}));
    ASSERT_TRUE(rig.core.WriteEeprom(elf, {.timing = true, .verify = true}));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kFlashVerifyOk, text::kEepromVerifyOk}));

    const auto flash = MemoryFromHex(Demo("flash.hex"), static_cast<size_t>(d.FlashBytes()));
    EXPECT_TRUE(rig.Target().Flash() == flash);
    EXPECT_TRUE(rig.Target().Eeprom() ==
                MemoryFromHex(Demo("eeprom.hex"), static_cast<size_t>(d.eepromBytes)));
    // The initialised data came from their place in FLASH, not their RAM address.
    const QByteArray banner("ORIOLE elf demo");
    EXPECT_TRUE(QByteArray(reinterpret_cast<const char*>(flash.data()),
                           static_cast<qsizetype>(flash.size()))
                    .contains(banner));

    // Read back and saved raw, FLASH is avr-objcopy's binary byte for byte.
    ASSERT_TRUE(rig.core.ReadFlash(0, true));
    const QString saved = rig.dir.filePath("read.bin");
    ASSERT_TRUE(SaveImageFile(rig.host, saved, ImageFormat::Binary, false, rig.core.FlashRead().data(),
                              static_cast<uint32_t>(rig.core.FlashRead().size())));
    EXPECT_EQ(ReadAll(saved.toStdString()), ReadAll(Demo("flash.bin")));

    // The fuse and lock bytes are avr-objcopy's; the fuses program as given.
    ElfConfigBytes config;
    ASSERT_TRUE(rig.core.ReadElfConfig(elf, config));
    const auto fuses = Bytes(ReadAll(Demo("fuse.bin")));
    ASSERT_EQ(fuses.size(), 3u);
    EXPECT_EQ(config.fuses, (std::array<int16_t, 3>{fuses[0], fuses[1], fuses[2]}));
    EXPECT_EQ(config.lock, static_cast<uint8_t>(ReadAll(Demo("lock.bin")).at(0)));
    EXPECT_EQ(config.signature,
              (std::array<int16_t, 3>{d.signature[0], d.signature[1], d.signature[2]}));
    const auto low = static_cast<uint8_t>(config.fuses[0]),
               high = static_cast<uint8_t>(config.fuses[1]),
               ext = static_cast<uint8_t>(config.fuses[2]);
    ASSERT_TRUE(rig.core.WriteFuses({ext, high, low}, {.timing = true, .confirm = false, .report = false, .verify = false}));
    uint8_t re = 0, rh = 0, rl = 0;
    ASSERT_TRUE(ReadFuseBytes(rig.core, re, rh, rl, true));
    EXPECT_EQ((std::array<uint8_t, 3>{rl, rh, re}), (std::array<uint8_t, 3>{low, high, ext}));
}

TEST_F(AvrElfTest, ObjcopysRawBinaryProgramsTheSameFlash) {
    OpsRig rig;
    const std::string bin = Demo("flash.bin");
    rig.window.Controls().SetText(kFlashFile, bin);
    ASSERT_TRUE(rig.core.WriteFlash(bin, {.timing = true, .verify = true}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashVerifyOk});
    const auto expected = MemoryFromHex(Demo("flash.hex"), rig.Target().Flash().size());
    EXPECT_TRUE(rig.Target().Flash() == expected);
}

// An ELF built for another device is refused before a byte is sent, for
// FLASH and EEPROM alike, whatever format was forced on the loads.
TEST_F(AvrElfTest, ElfOfAnotherDeviceIsRefusedAndNothingIsProgrammed) {
    OpsRig rig("ATmega8");
    const std::string elf = Demo("demo.elf");
    const AVR_DEVICE& d = DeviceAt(Row("ATmega8"));
    rig.core.SetFileFormat(ImageFormat::Elf);
    // The file is named at the end of the first line.
    std::string refusal =
        FormatText(text::kElfSignatureMismatch, 0x1Eu, 0x95u, 0x0Fu, "ATmega8",
                   unsigned(d.signature[0]), unsigned(d.signature[1]), unsigned(d.signature[2]));
    refusal.insert(refusal.find('\n'), ": " + elf);
    EXPECT_FALSE(rig.core.WriteFlash(elf, {.timing = true, .verify = true}));
    EXPECT_FALSE(rig.core.WriteEeprom(elf, {.timing = true, .verify = true}));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{refusal, refusal}));
    EXPECT_TRUE(rig.Target().Flash() == std::vector<uint8_t>(rig.Target().Flash().size(), 0xFF));
    EXPECT_TRUE(rig.Target().Eeprom() == std::vector<uint8_t>(rig.Target().Eeprom().size(), 0xFF));
    for (const std::string& line : rig.Sent()) {
        EXPECT_NE(line.rfind("> 46", 0), 0u) << line;  // no F
        EXPECT_NE(line.rfind("> 49", 0), 0u) << line;  // no I
    }
}

}  // namespace
}  // namespace oriole::test
