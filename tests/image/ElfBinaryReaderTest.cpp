// ELF and raw binary loads: ELFs put together segment by segment here (good
// ones and hostile ones), binary files, and which format a file is read as.

#include <elf.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "image/ImageReader.h"
#include "image/MemoryDump.h"
#include "res/Texts.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5u;
constexpr int16_t kFresh = 0x1234;

struct Seg {
    uint32_t paddr;
    std::vector<uint8_t> bytes;
    uint32_t type = PT_LOAD;
};

// An ELF32 AVR executable with one program header per segment and the
// segments' bytes after the headers.
std::string MakeElf(const std::vector<Seg>& segs, uint16_t machine = EM_AVR) {
    Elf32_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS32;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_type = ET_EXEC;
    eh.e_machine = machine;
    eh.e_version = EV_CURRENT;
    eh.e_phoff = sizeof(Elf32_Ehdr);
    eh.e_ehsize = sizeof(Elf32_Ehdr);
    eh.e_phentsize = sizeof(Elf32_Phdr);
    eh.e_phnum = static_cast<Elf32_Half>(segs.size());
    std::string out(reinterpret_cast<const char*>(&eh), sizeof eh);
    auto offset = static_cast<uint32_t>(sizeof eh + segs.size() * sizeof(Elf32_Phdr));
    for (const Seg& s : segs) {
        Elf32_Phdr ph{};
        ph.p_type = s.type;
        ph.p_offset = offset;
        ph.p_vaddr = s.paddr;
        ph.p_paddr = s.paddr;
        ph.p_filesz = ph.p_memsz = static_cast<uint32_t>(s.bytes.size());
        out.append(reinterpret_cast<const char*>(&ph), sizeof ph);
        offset += static_cast<uint32_t>(s.bytes.size());
    }
    for (const Seg& s : segs) out.append(s.bytes.begin(), s.bytes.end());
    return out;
}

// Sets the field at `offset` of program header `index` (a hostile value).
template <typename T>
std::string WithPhdrField(std::string elf, size_t index, size_t offset, T value) {
    const size_t at = sizeof(Elf32_Ehdr) + index * sizeof(Elf32_Phdr) + offset;
    elf.replace(at, sizeof value, reinterpret_cast<const char*>(&value), sizeof value);
    return elf;
}
std::string WithFileSize(std::string elf, size_t index, uint32_t size) {
    return WithPhdrField(std::move(elf), index, offsetof(Elf32_Phdr, p_filesz), size);
}
// The ELF header's size of one program header entry.
std::string WithEntrySize(std::string elf, Elf32_Half size) {
    elf.replace(offsetof(Elf32_Ehdr, e_phentsize), sizeof size,
                reinterpret_cast<const char*>(&size), sizeof size);
    return elf;
}

// What an avr-gcc ELF of a small program holds: .text, .data placed after
// it in FLASH (its RAM address in vaddr does not matter), EEPROM, fuses,
// lock and signature, plus a .bss-like segment without file bytes.
std::vector<Seg> GoodSegments() {
    return {{0x0000, {0x0C, 0x94, 0x34, 0x00}},
            {0x0004, {'h', 'i'}},
            {0x810002, {0xAA, 0xBB}},
            {0x820000, {0xE2, 0xD9, 0xFD}},
            {0x830000, {0xFC}},
            {0x840000, {0x0F, 0x95, 0x1E}},
            {0x800200, {}}};
}

class ElfBinaryReaderTest : public ::testing::Test {
protected:
    QString Write(const std::string& content, const QString& name) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
        return path;
    }

    struct Outcome {
        bool ok = false;
        std::vector<std::string> messages;
        uint32_t count = 0, lowest = kUntouched, highest = kUntouched;
        std::vector<int16_t> cells;
        ElfConfigBytes config;
    };

    Outcome Load(const QString& path, uint32_t capacity, ImageLoadOptions options = {}) {
        test::RecordingHost host;
        Outcome out;
        out.count = capacity;
        out.cells.assign(capacity, kFresh);
        options.elfConfig = &out.config;
        out.ok = LoadImageFile(host, path, out.cells.data(), out.count, out.lowest, out.highest,
                               options);
        out.messages = host.Texts();
        return out;
    }

    QTemporaryDir dir;
};

TEST_F(ElfBinaryReaderTest, ElfGivesFlashAndEepromByLoadAddressAndItsConfigurationBytes) {
    const QString path = Write(MakeElf(GoodSegments()), "prog.elf");

    const Outcome flash = Load(path, 64);
    ASSERT_TRUE(flash.ok) << testing::PrintToString(flash.messages);
    EXPECT_EQ(flash.count, 6u);
    EXPECT_EQ(flash.lowest, 0u);
    EXPECT_EQ(flash.highest, 5u);
    const std::vector<int16_t> text = {0x0C, 0x94, 0x34, 0x00, 'h', 'i', kNoData};
    EXPECT_EQ(std::vector<int16_t>(flash.cells.begin(), flash.cells.begin() + 7), text);
    EXPECT_EQ(flash.config.fuses, (std::array<int16_t, 3>{0xE2, 0xD9, 0xFD}));
    EXPECT_EQ(flash.config.lock, 0xFC);
    // Stored last byte first; kept in the order command C reports.
    EXPECT_EQ(flash.config.signature, (std::array<int16_t, 3>{0x1E, 0x95, 0x0F}));

    const Outcome eeprom = Load(path, 16, {.space = ImageSpace::Eeprom});
    ASSERT_TRUE(eeprom.ok);
    EXPECT_EQ(eeprom.count, 4u);
    EXPECT_EQ(eeprom.lowest, 2u);
    EXPECT_EQ(std::vector<int16_t>(eeprom.cells.begin(), eeprom.cells.begin() + 5),
              (std::vector<int16_t>{kNoData, kNoData, 0xAA, 0xBB, kNoData}));

    // The memory view shows the same parts.
    test::RecordingHost host;
    FileDump dump;
    ASSERT_TRUE(LoadFileDump(host, path, DumpLayout::Eeprom, dump, ImageSpace::Eeprom));
    EXPECT_EQ(dump.label, QString(" 000002 - 000003"));
}

// Every hostile or unusable ELF is refused with one clear message, before a
// cell or an output changes.
TEST_F(ElfBinaryReaderTest, HostileElfIsRefusedWholeWithItsMessage) {
    const std::string good = MakeElf(GoodSegments());
    const struct {
        const char* name;
        std::string content;
        const char* message;
        uint32_t capacity = 64;
    } cases[] = {
        {"header only, cut", good.substr(0, 30), text::kElfBroken},
        {"segment bytes cut off", good.substr(0, good.size() - 3), text::kElfBroken},
        {"huge segment", WithFileSize(good, 0, 0x7FFFFFFF), text::kElfBroken},
        {"not an ELF at all", "just text, named .elf", text::kElfBroken},
        {"another machine", MakeElf({{0, {1, 2}}}, EM_386), text::kElfNotAvr},
        {"nothing to load", MakeElf({{0x800100, {}}, {0, {1}, PT_NOTE}}), text::kElfNoSegments},
        {"overlapping FLASH", MakeElf({{0, {1, 2, 3, 4}}, {2, {5, 6}}}), text::kElfOverlap},
        {"overlapping fuses", MakeElf({{0x820000, {1, 2}}, {0x820001, {3}}}), text::kElfOverlap},
        {"RAM address", MakeElf({{0x800100, {1}}}), text::kElfOutsideSpaces},
        {"past the signature", MakeElf({{0x850000, {1}}}), text::kElfOutsideSpaces},
        {"FLASH into RAM", MakeElf({{0x7FFFFF, {1, 2}}}), text::kElfOutsideSpaces},
        {"four fuse bytes", MakeElf({{0x820000, {1, 2, 3, 4}}}), text::kHexBeyondDevice},
        {"beyond the device", MakeElf({{60, {1, 2, 3, 4, 5}}}), text::kHexBeyondDevice},
        {"EEPROM part beyond", MakeElf({{0x810000 + 64, {1}}}), nullptr},  // FLASH load: fine
        {"file bytes beyond the memory size",
         WithPhdrField(good, 1, offsetof(Elf32_Phdr, p_memsz), uint32_t{1}), text::kElfBroken},
        {"larger program header entries", WithEntrySize(good, sizeof(Elf32_Phdr) + 8), text::kElfBroken},
        {"smaller program header entries", WithEntrySize(good, sizeof(Elf32_Phdr) - 4), text::kElfBroken},
        // The signature check before a write would have nothing to compare.
        {"two signature bytes", MakeElf({{0, {1}}, {0x840000, {0x0F, 0x95}}}), text::kElfSignatureSize},
        {"last signature byte only", MakeElf({{0, {1}}, {0x840002, {0x1E}}}), text::kElfSignatureSize},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome out = Load(Write(c.content, "bad.elf"), c.capacity);
        if (c.message == nullptr) {
            EXPECT_TRUE(out.ok);
            EXPECT_FALSE(Load(Write(c.content, "bad.elf"), 64, {.space = ImageSpace::Eeprom}).ok);
            continue;
        }
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(out.count, c.capacity);
        EXPECT_EQ(out.lowest, kUntouched);
        EXPECT_EQ(out.cells, std::vector<int16_t>(c.capacity, kFresh));
    }
}

TEST_F(ElfBinaryReaderTest, BinaryLoadsFromZeroAndIsBoundedByTheCapacity) {
    const QString path = Write(std::string("\x00\xFF\x42", 3), "raw.bin");
    const Outcome out = Load(path, 4);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.count, 3u);
    EXPECT_EQ(out.lowest, 0u);
    EXPECT_EQ(out.cells, (std::vector<int16_t>{0x00, 0xFF, 0x42, kNoData}));

    const Outcome tooBig = Load(path, 2);
    EXPECT_FALSE(tooBig.ok);
    EXPECT_EQ(tooBig.messages, std::vector<std::string>{text::kHexBeyondDevice});
    EXPECT_EQ(tooBig.lowest, kUntouched);

    const Outcome empty = Load(Write("", "empty.bin"), 4);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.count, 0u);
    EXPECT_EQ(empty.lowest, 0xFFFFFFFFu);
}

// The content decides for an ELF, else the extension, else the first
// character; a forced format overrides all of it. The command line's rule
// (byContent) looks at the lines as avrdude does (ImageReaderTest has its
// cases): raw binary only by a byte above 127 or a NUL.
TEST_F(ElfBinaryReaderTest, FormatByMagicThenExtensionThenFirstCharacterUnlessForced) {
    const std::string elf = MakeElf({{0, {0x11}}});
    const std::string hex = ":0100000022DD\n:00000001FF\n";
    const struct {
        const char* name;
        std::string content;
        ImageFormat detected;
        int16_t firstCell;  // after an automatic load; kFresh when it fails
        ImageFormat byContent;
    } cases[] = {
        {"a.hex", elf, ImageFormat::Elf, 0x11, ImageFormat::Elf},
        {"a.bin", elf, ImageFormat::Elf, 0x11, ImageFormat::Elf},
        {"a.bin", hex, ImageFormat::Binary, ':', ImageFormat::Binary},
        {"a.BIN", "S", ImageFormat::Binary, 'S', ImageFormat::Binary},
        {"a.elf", hex, ImageFormat::Elf, kFresh, ImageFormat::Elf},
        {"a.hex", hex, ImageFormat::IntelHex, 0x22, ImageFormat::IntelHex},
        {"a.dat", hex, ImageFormat::IntelHex, 0x22, ImageFormat::IntelHex},
        {"a", "S1040000AA51", ImageFormat::SRecord, 0xAA, ImageFormat::SRecord},
        {"a.dat", "\x01\x02", ImageFormat::Auto, kFresh, ImageFormat::Auto},
        {"a.dat", "\x01\x82", ImageFormat::Auto, kFresh, ImageFormat::Binary},
        {"a.raw", ":\x01\x02", ImageFormat::IntelHex, kNoData, ImageFormat::Auto},
        {"a", std::string("Sx\0", 3), ImageFormat::SRecord, kNoData, ImageFormat::Binary},
        {"a.dat", "", ImageFormat::Auto, kFresh, ImageFormat::Auto},
        {"a.hex", "hello\r\n", ImageFormat::Auto, kFresh, ImageFormat::Auto},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.content.substr(0, 4));
        const QString path = Write(c.content, QString::fromLatin1(c.name));
        EXPECT_EQ(DetectImageFormat(path), c.detected);
        EXPECT_EQ(DetectImageFormat(path, true), c.byContent);
        EXPECT_EQ(Load(path, 64).cells[0], c.firstCell);
        QFile::remove(path);
    }
    // Forced: the HEX text as raw bytes, and the ELF as binary.
    EXPECT_EQ(Load(Write(hex, "a.hex"), 64, {.format = ImageFormat::Binary}).cells[0], ':');
    const Outcome raw = Load(Write(elf, "b.elf"), 256, {.format = ImageFormat::Binary});
    EXPECT_EQ(raw.count, elf.size());
    EXPECT_EQ(Load(Write(elf, "c.bin"), 64, {.format = ImageFormat::IntelHex}).messages,
              std::vector<std::string>{text::kBadDataFormat});
    const Outcome byContent = Load(Write("\x01\x82", "d.raw"), 64, {.byContent = true});
    EXPECT_TRUE(byContent.ok);
    EXPECT_EQ(byContent.cells[1], 0x82);
}

// A file that stops without its end record is refused with the reason, or
// (acceptMissingEnd) taken with it as a warning; a damaged one never.
TEST_F(ElfBinaryReaderTest, MissingEndRecordRefusedOrTakenWithAWarning) {
    const std::string kNoEnd = text::kNoEndRecord + (": " + dir.filePath("e.txt").toStdString());
    const struct {
        std::string content;
        bool accept;
        bool ok;
        std::string message;
    } cases[] = {
        {":0100000022DD\n", false, false, kNoEnd},
        {":0100000022DD\n", true, true, kNoEnd},
        {"S1040000AA51\n", true, true, kNoEnd},
        {"S1040000AA51\nS9030000FC\n", true, true, ""},
        {":0100000022DE\n", true, false, text::kChecksumError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const Outcome o = Load(Write(c.content, "e.txt"), 64, {.acceptMissingEnd = c.accept});
        EXPECT_EQ(o.ok, c.ok);
        EXPECT_EQ(o.messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        if (c.ok) {
            EXPECT_EQ(o.cells[0], c.content[0] == ':' ? 0x22 : 0xAA);
        }
    }
}

}  // namespace
}  // namespace oriole
