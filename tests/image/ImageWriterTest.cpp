#include "image/ImageWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "base/TextCodec.h"
#include "image/FileSizeLimit.h"
#include "res/Texts.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Erased(size_t n) {
    return Bytes(n, 0xFF);
}

// 16 zero bytes at address 0: count 10, address 0000, type 00, 32 zero
// figures, checksum F0.
const std::string kSixteenZeros = ":10000000" + std::string(32, '0') + "F0";

// Splits at CR LF; the part after the last CR LF is the last element.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// ---- single records -------------------------------------------------------

struct IntelCase {
    int type;
    uint32_t address;
    Bytes bytes;
    std::string line;
};

TEST(ImageWriter, IntelHexRecords) {
    const IntelCase cases[] = {
        {0, 0, Bytes(16, 0x00), kSixteenZeros + "\r\n"},
        {0,
         0x0100,
         {0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01, 0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19,
          0x01},
         ":10010000214601360121470136007EFE09D2190140\r\n"},
        {0, 0x12340, {0xAB}, ":01234000ABF1\r\n"},  // only the low 16 address bits
        {4, 0, {0x00, 0x00}, ":020000040000FA\r\n"},
        {4, 0, {0x00, 0x01}, ":020000040001F9\r\n"},
        {1, 0, {}, ":00000001FF\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatIntelHexRecord(c.type, c.address, static_cast<int>(c.bytes.size()),
                                       c.bytes.data()),
                  c.line);
    }
    EXPECT_EQ(FormatIntelHexRecord(256, 0, 0, nullptr), "");
    EXPECT_EQ(FormatIntelHexRecord(-1, 0, 0, nullptr), "");
}

struct SCase {
    int type;
    uint32_t address;
    Bytes bytes;
    std::string line;
};

TEST(ImageWriter, SRecords) {
    const SCase cases[] = {
        {0,
         0,
         {'h', 'e', 'l', 'l', 'o', ' ', ' ', ' ', ' ', ' ', 0, 0},
         "S00F000068656C6C6F202020202000003C\r\n"},
        {0, 0, {'a', '.', 'h', 'e', 'x'}, "S0080000612E68657823\r\n"},
        {1,
         0x7AF0,
         {0x0A, 0x0A, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "S1137AF00A0A0D0000000000000000000000000061\r\n"},
        {2, 0x012340, {0xAB}, "S205012340ABEB\r\n"},
        {3, 0x01000000, {0x55}, "S3060100000055A3\r\n"},
        {9, 0, {}, "S9030000FC\r\n"},
        {8, 0, {}, "S804000000FB\r\n"},
        {7, 0, {}, "S70500000000FA\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            FormatSRecord(c.type, c.address, static_cast<int>(c.bytes.size()), c.bytes.data()),
            c.line);
    }
    EXPECT_EQ(FormatSRecord(10, 0, 0, nullptr), "");
    // A count beyond the count byte is cut: 2 address bytes + 252 + checksum.
    const Bytes many(300, 0x11);
    const std::string s0 = FormatSRecord(0, 0, 300, many.data());
    EXPECT_EQ(s0.substr(0, 4), "S0FF");
    EXPECT_EQ(s0.size(), 2 + 2 + 4 + 2 * 252 + 2 + 2u);
}

// ---- whole files ----------------------------------------------------------

TEST(ImageWriter, ErasedMemoryWritesOnlyTheFrame) {
    const Bytes flash = Erased(8 * 1024);
    EXPECT_EQ(WriteIntelHex(false, flash.data(), 8192), ":00000001FF");
    EXPECT_EQ(WriteSRecord("a.hex", false, flash.data(), 8192),
              "S0080000612E68657823\r\nS9030000FC\r\n");
}

TEST(ImageWriter, SaveAllWritesEveryBlockInOrder) {
    const Bytes flash = Erased(8 * 1024);
    const auto intel = Lines(WriteIntelHex(true, flash.data(), 8192));
    ASSERT_EQ(intel.size(), 513u);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(
            intel[i],
            FormatIntelHexRecord(0, static_cast<uint32_t>(i * 16), 16, flash.data()).substr(0, 43));
    EXPECT_EQ(intel.back(), ":00000001FF");

    const auto srec = Lines(WriteSRecord("a.hex", true, flash.data(), 8192));
    ASSERT_EQ(srec.size(), 515u);  // S0, 512 data, S9, empty rest after the last CR LF
    EXPECT_EQ(srec[512], FormatSRecord(1, 511 * 16, 16, flash.data()).substr(0, 42));
    EXPECT_EQ(srec[513], "S9030000FC");
    EXPECT_EQ(srec[514], "");
}

TEST(ImageWriter, LeavesOutOnlyAllErasedBlocks) {
    Bytes mem = Erased(64);
    std::fill_n(mem.begin(), 16, 0x00);  // block 0: zeros
    mem[47] = 0xFE;                      // block 2: one programmed bit
    EXPECT_EQ(
        WriteIntelHex(false, mem.data(), 64),
        kSixteenZeros + "\r\n" + FormatIntelHexRecord(0, 32, 16, mem.data() + 32) + ":00000001FF");
}

// Above 64 KB each segment starts with its upper address, even when the
// segment's first block is left out; up to 0xFFFF bytes there is none.
TEST(ImageWriter, ExtendedAddressRecords) {
    Bytes flash = Erased(128 * 1024);
    flash[0x10010] = 0x12;
    EXPECT_EQ(WriteIntelHex(false, flash.data(), 128 * 1024),
              ":020000040000FA\r\n:020000040001F9\r\n" +
                  FormatIntelHexRecord(0, 0x10, 16, flash.data() + 0x10010) + ":00000001FF");

    EXPECT_EQ(WriteIntelHex(false, flash.data(), 0x10000), ":020000040000FA\r\n:00000001FF");

    const Bytes small(32 * 1024, 0x00);
    for (const auto& line : Lines(WriteIntelHex(true, small.data(), 32 * 1024)))
        ASSERT_NE(line.substr(7, 2), "04") << line;
    EXPECT_EQ(WriteIntelHex(false, flash.data(), 0xFFF0), ":00000001FF");
}

struct SRecordSizeCase {
    uint32_t length;
    std::string dataPrefix;  // type and count of a 16-byte data record
    std::string end;
};

TEST(ImageWriter, SRecordTypeFollowsLength) {
    const SRecordSizeCase cases[] = {
        {32 * 1024, "S113", "S9030000FC"},     {0xFFF0, "S113", "S9030000FC"},
        {0x10000, "S214", "S804000000FB"},     {128 * 1024, "S214", "S804000000FB"},
        {0x1000010, "S315", "S70500000000FA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes mem = Erased(c.length);
        mem[c.length - 1] = 0x00;
        mem[16] = 0x00;
        const auto lines = Lines(WriteSRecord("x", false, mem.data(), c.length));
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1].substr(0, 4), c.dataPrefix);
        EXPECT_EQ(lines[2].substr(0, 4), c.dataPrefix);
        EXPECT_EQ(lines[3], c.end);
    }
}

TEST(ImageWriter, ShortLastBlockNeverReadsBeyondLength) {
    const Bytes mem = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0xA0, 0xA1, 0xA2};
    const auto intel = Lines(WriteIntelHex(false, mem.data(), 19));
    ASSERT_EQ(intel.size(), 3u);
    EXPECT_EQ(intel[1], ":03001000A0A1A20A");
    const auto srec = Lines(WriteSRecord("", false, mem.data(), 19));
    EXPECT_EQ(srec[0], "S0030000FC");
    EXPECT_EQ(srec[2], "S1060010A0A1A206");
    const Bytes erasedTail = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(WriteIntelHex(false, erasedTail.data(), 3), ":00000001FF");
    EXPECT_EQ(WriteIntelHex(false, nullptr, 0), ":00000001FF");
}

// The S0 count byte allows 252 name bytes; a longer name is cut without
// splitting a double-byte character.
TEST(ImageWriter, HeaderNameIsCutAtCharacterBoundary) {
    const std::string kanji = ToShiftJis(QString::fromUtf8("表")).toStdString();  // 95 5C
    ASSERT_EQ(kanji.size(), 2u);
    struct Case {
        std::string name;
        size_t kept;
        std::string count;
    };
    const Case cases[] = {
        {std::string(300, 'x'), 252, "FF"},
        {std::string(250, 'x') + kanji, 252, "FF"},
        {std::string(251, 'x') + kanji, 251, "FE"},
        {std::string(249, 'x') + kanji + kanji, 251, "FE"},
    };
    for (const auto& c : cases) {
        const std::string s0 = Lines(WriteSRecord(c.name, false, nullptr, 0))[0];
        EXPECT_EQ(s0.substr(2, 2), c.count);
        const auto* name = reinterpret_cast<const uint8_t*>(c.name.data());
        EXPECT_EQ(s0 + "\r\n", FormatSRecord(0, 0, static_cast<int>(c.kept), name));
    }
}

// Every record of random memories is well formed: CR LF after every line but
// the Intel end record, and a checksum that balances.
TEST(ImageWriter, RandomMemoriesGiveValidRecords) {
    std::mt19937 rng(1234);
    Bytes mem(0x20000 + 48);
    for (auto& b : mem) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
    const auto len = static_cast<uint32_t>(mem.size());
    const auto decode = [](const std::string& line, size_t from) {
        std::vector<unsigned> v;
        for (size_t i = from; i + 1 < line.size(); i += 2)
            v.push_back(static_cast<unsigned>(std::stoul(line.substr(i, 2), nullptr, 16)));
        return v;
    };
    const std::string intel = WriteIntelHex(false, mem.data(), len);
    const auto intelLines = Lines(intel);
    const auto count = [&](char c) {
        return static_cast<size_t>(std::count(intel.begin(), intel.end(), c));
    };
    EXPECT_EQ(count('\n'), intelLines.size() - 1);
    EXPECT_EQ(count('\r'), intelLines.size() - 1);
    for (const auto& line : intelLines) {
        ASSERT_EQ(line[0], ':');
        unsigned sum = 0;
        for (unsigned b : decode(line, 1)) sum += b;
        ASSERT_EQ(sum & 0xFF, 0u) << line;
    }
    const auto srecLines = Lines(WriteSRecord("name.mot", false, mem.data(), len));
    ASSERT_EQ(srecLines.back(), "");
    for (size_t i = 0; i + 1 < srecLines.size(); ++i) {
        const auto bytes = decode(srecLines[i], 2);
        ASSERT_EQ(bytes[0], bytes.size() - 1) << srecLines[i];
        unsigned sum = 0;
        for (unsigned b : bytes) sum += b;
        ASSERT_EQ(sum & 0xFF, 0xFFu) << srecLines[i];
    }
}

// ---- SaveImageFile --------------------------------------------------------

class SaveImageFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    test::RecordingHost host;
    Bytes mem = Bytes(256, 0x3C);
    // What the folder holds, to see that nothing half-written was left.
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
};

TEST_F(SaveImageFileTest, WritesBothFormats) {
    const QString hexPath = dir.filePath("data.hex");
    ASSERT_TRUE(SaveImageFile(host, hexPath, ImageFormat::IntelHex, false, mem.data(), 256));
    EXPECT_EQ(ReadAll(hexPath).toStdString(), WriteIntelHex(false, mem.data(), 256));

    // The header holds the name without the folder, in Shift-JIS.
    const QString name = QString::fromUtf8("データ.mot");
    ASSERT_TRUE(SaveImageFile(host, dir.filePath(name), ImageFormat::SRecord, false, mem.data(), 256));
    EXPECT_EQ(ReadAll(dir.filePath(name)).toStdString(),
              WriteSRecord(ToShiftJis(name).toStdString(), false, mem.data(), 256));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SaveImageFileTest, ReplacesAnExistingFile) {
    const QString path = dir.filePath("a.hex");
    ASSERT_TRUE(SaveImageFile(host, path, ImageFormat::IntelHex, true, mem.data(), 256));
    ASSERT_TRUE(SaveImageFile(host, path, ImageFormat::SRecord, false, mem.data(), 16));
    EXPECT_EQ(ReadAll(path).toStdString(), WriteSRecord("a.hex", false, mem.data(), 16));
}

TEST_F(SaveImageFileTest, LongNameThroughTheFileSystem) {
    // 255 bytes of UTF-8 (the usual limit), 253 bytes of Shift-JIS.
    const QString name = QString(249, QChar('x')) + QString::fromUtf8("表表");
    ASSERT_TRUE(SaveImageFile(host, dir.filePath(name), ImageFormat::SRecord, false, mem.data(), 0));
    const std::string expected =
        ToShiftJis(QString(249, QChar('x')) + QString::fromUtf8("表")).toStdString();
    EXPECT_EQ(Lines(ReadAll(dir.filePath(name)).toStdString())[0] + "\r\n",
              FormatSRecord(0, 0, 251, reinterpret_cast<const uint8_t*>(expected.data())));
}

TEST_F(SaveImageFileTest, UnknownFormatCreatesNothingAndKeepsOldFile) {
    const QString path = dir.filePath("old.hex");
    for (int format : {-1, 3, 100}) {
        EXPECT_FALSE(SaveImageFile(host, dir.filePath("new.hex"), SaveFormatOfCode(format), false, mem.data(), 256));
    }
    EXPECT_EQ(host.Texts(), std::vector<std::string>(3, text::kFileCreateFailed));
    EXPECT_FALSE(QFile::exists(dir.filePath("new.hex")));

    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    EXPECT_FALSE(SaveImageFile(host, path, SaveFormatOfCode(7), true, mem.data(), 256));
    EXPECT_EQ(ReadAll(path), QByteArray("keep me"));
}

TEST_F(SaveImageFileTest, UnwritableTargetFailsWithoutLeftovers) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const struct {
        QString target;
        const char* message;
    } targets[] = {{dir.filePath("missing/a.hex"), text::kFileCreateFailed},
                   {dir.filePath("folder"), text::kSaveNotAFile},
                   {QString(), text::kFileCreateFailed}};
    for (const auto& t : targets) {
        for (ImageFormat format : {ImageFormat::IntelHex, ImageFormat::SRecord}) {
            host.messages.clear();
            EXPECT_FALSE(SaveImageFile(host, t.target, format, false, mem.data(), 256));
            EXPECT_EQ(host.Texts(), std::vector<std::string>{t.message});
        }
    }
    EXPECT_EQ(Entries(), QStringList{"folder"});
    EXPECT_TRUE(QDir(dir.filePath("folder")).isEmpty());
}

// A disk that fills up half-way is a failure, and the old file survives.
TEST_F(SaveImageFileTest, WriteFailureKeepsExistingFile) {
    const QString path = dir.filePath("flash.hex");
    Bytes big(64 * 1024, 0x00);
    ASSERT_TRUE(SaveImageFile(host, path, ImageFormat::IntelHex, false, mem.data(), 16));
    const QByteArray before = ReadAll(path);
    {
        test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(SaveImageFile(host, path, ImageFormat::IntelHex, false, big.data(), 65536));
        EXPECT_FALSE(SaveImageFile(host, path, ImageFormat::SRecord, false, big.data(), 65536));
    }
    EXPECT_EQ(host.Texts(), std::vector<std::string>(2, text::kFileCreateFailed));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(Entries(), QStringList{"flash.hex"});
}

}  // namespace
}  // namespace oriole
