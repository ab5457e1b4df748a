// The memory views' dumps: lines, the nine-line window, scrolling, the
// address label and the bounded two-pass load of a data file.

#include "image/MemoryDump.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <numeric>
#include <string>
#include <vector>

#include "image/ImageBuffer.h"
#include "image/ImageWriter.h"
#include "res/Texts.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

const QString kFlashHeader =
    QStringLiteral(" Addr  +0    +2    +4    +6    +8    +A    +C    +E\r\n");
const QString kEepromHeader = QStringLiteral(" Addr  +0    +2    +4    +6     ASCII\r\n");

TEST(MemoryDump, LinesShowAddressesBytesAndTheCharacterColumn) {
    std::vector<uint8_t> flash(48, 0x5A);
    std::iota(flash.begin() + 0x20, flash.end(), uint8_t{0});
    std::vector<uint8_t> eeprom(16, 0xFF);
    const uint8_t row[] = {0x41, 0x42, 0x00, 0x7E, 0x7F, 0x20, 0xFF, 0x31};
    std::copy(std::begin(row), std::end(row), eeprom.begin() + 8);
    // Both ends of the printable range and their neighbours.
    const std::vector<uint8_t> edges = {0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x00, 0x61};
    // Counts that are no whole lines.
    std::vector<uint8_t> shortFlash(16, 0x00);
    shortFlash.push_back(0x41);
    const std::vector<uint8_t> shortEeprom = {1, 2, 3, 4, 5, 6, 7, 8, 0x30, 0x0A};

    struct Row {
        const char* what;
        std::vector<uint8_t> bytes;
        DumpLayout layout;
        int line;
        const char* expected;
    };
    const Row rows[] = {
        {"flash first", flash, DumpLayout::Flash, 0,
         "000000 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A "},
        {"flash at 0x20", flash, DumpLayout::Flash, 2,
         "000020 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "},
        {"eeprom erased", eeprom, DumpLayout::Eeprom, 0, "000000 FF FF FF FF FF FF FF FF ........"},
        {"eeprom at 8", eeprom, DumpLayout::Eeprom, 1, "000008 41 42 00 7E 7F 20 FF 31 AB.~. .1"},
        {"printable range", edges, DumpLayout::Eeprom, 0,
         "000000 1F 20 7E 7F 80 FF 00 61 . ~....a"},
        // A count that is no whole line still shows every byte, the EEPROM
        // character column in its place.
        {"short flash line", shortFlash, DumpLayout::Flash, 1, "000010 41 "},
        {"short eeprom line", shortEeprom, DumpLayout::Eeprom, 1,
         "000008 30 0A                   0."},
    };
    for (const Row& r : rows) {
        const QStringList lines = FormatDumpLines(std::span<const uint8_t>(r.bytes), r.layout);
        const auto perLine = static_cast<size_t>(DumpBytesPerLine(r.layout));
        ASSERT_EQ(static_cast<size_t>(lines.size()), (r.bytes.size() + perLine - 1) / perLine)
            << r.what;
        EXPECT_EQ(lines[r.line].toStdString(), r.expected) << r.what;
    }
    EXPECT_EQ(FormatDumpLines(std::span<const uint8_t>(flash), DumpLayout::Flash)[2].size(), 55);
    EXPECT_EQ(FormatDumpLines(std::span<const uint8_t>(eeprom), DumpLayout::Eeprom)[1].size(), 39);
    EXPECT_TRUE(FormatDumpLines(std::span<const uint8_t>(), DumpLayout::Flash).isEmpty());
}

TEST(MemoryDump, CellsWithoutDataShowAsErasedBytes) {
    std::vector<int16_t> cells(128, kNoData);
    for (int a = 0x10; a <= 0x73; ++a) cells[a] = static_cast<int16_t>(a);
    const QStringList flash = FormatDumpLines(std::span<const int16_t>(cells), DumpLayout::Flash);
    ASSERT_EQ(flash.size(), 8);
    EXPECT_EQ(flash[0], QStringLiteral("000000 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "));
    EXPECT_EQ(flash[7], QStringLiteral("000070 70 71 72 73 FF FF FF FF FF FF FF FF FF FF FF FF "));
    const QStringList eeprom = FormatDumpLines(std::span<const int16_t>(cells), DumpLayout::Eeprom);
    ASSERT_EQ(eeprom.size(), 16);
    EXPECT_EQ(eeprom[8], QStringLiteral("000040 40 41 42 43 44 45 46 47 @ABCDEFG"));
    EXPECT_EQ(eeprom[14], QStringLiteral("000070 70 71 72 73 FF FF FF FF pqrs...."));
    EXPECT_EQ(eeprom[15], QStringLiteral("000078 FF FF FF FF FF FF FF FF ........"));
}

QStringList NumberedLines(int count) {
    QStringList lines;
    for (int i = 0; i < count; ++i) lines << QStringLiteral("line %1").arg(i);
    return lines;
}

TEST(MemoryDump, TheWindowShowsTheHeaderAndAtMostNineLines) {
    const QStringList twenty = NumberedLines(20);
    struct Row {
        int lineCount;
        int first;
        int firstShown;  // -1: header alone
        int shown;
    };
    const Row rows[] = {
        {20, 0, 0, 9},    // start
        {20, 5, 5, 9},    // middle
        {20, 11, 11, 9},  // last full page
        {20, 15, 15, 5},  // fewer lines left than a page
        {20, 19, 19, 1},  // last line
        {20, 20, -1, 0},  // past the end
        {20, -1, -1, 0},  // before the start
        {4, 0, 0, 4},     // a dump shorter than a page
        {0, 0, -1, 0},    // nothing loaded
    };
    for (const Row& r : rows) {
        const QStringList lines = twenty.mid(0, r.lineCount);
        for (DumpLayout layout : {DumpLayout::Flash, DumpLayout::Eeprom}) {
            QString expected = layout == DumpLayout::Flash ? kFlashHeader : kEepromHeader;
            for (int i = 0; i < r.shown; ++i) expected += lines[r.firstShown + i] + "\r\n";
            EXPECT_EQ(RenderDumpWindow(layout, lines, r.first), expected)
                << r.lineCount << " lines from " << r.first;
        }
    }
    EXPECT_EQ(RenderDumpWindow(DumpLayout::Flash, NumberedLines(2), 0),
              kFlashHeader + "line 0\r\nline 1\r\n");
}

TEST(MemoryDump, ScrollRequestsKeepTheLastPageFull) {
    using R = ScrollRequest;
    struct Row {
        R request;
        int position;
        int lineCount;
        int expected;
    };
    constexpr int kTrack = 7;
    const Row rows[] = {
        // 20 lines: M = 19, the last page starts at 11.
        {R::LineUp, 0, 20, 0},
        {R::LineUp, 5, 20, 4},
        {R::LineDown, 0, 20, 1},
        {R::LineDown, 10, 20, 11},
        {R::LineDown, 11, 20, 11},  // lines M-8 .. M shown
        {R::PageUp, 5, 20, 0},
        {R::PageUp, 8, 20, 0},
        {R::PageUp, 9, 20, 0},
        {R::PageUp, 11, 20, 2},
        {R::PageDown, 0, 20, 9},
        {R::PageDown, 1, 20, 10},
        {R::PageDown, 2, 20, 11},
        {R::PageDown, 9, 20, 11},
        {R::PageDown, 11, 20, 11},
        {R::ThumbTrack, 3, 20, kTrack},
        {R::ThumbPosition, 3, 20, kTrack},
        {R::Top, 5, 20, 5},
        {R::Bottom, 5, 20, 5},
        {R::EndScroll, 5, 20, 5},
        // 10 lines: one step down, no more.
        {R::LineDown, 0, 10, 1},
        {R::LineDown, 1, 10, 1},
        {R::PageDown, 0, 10, 1},
        {R::PageUp, 1, 10, 0},
        // 9 lines or fewer (a 64-byte EEPROM has 8): only the thumb moves it.
        {R::LineDown, 0, 9, 0},
        {R::PageDown, 0, 9, 0},
        {R::LineUp, 0, 9, 0},
        {R::PageUp, 0, 9, 0},
        {R::LineDown, 0, 8, 0},
        {R::PageDown, 0, 8, 0},
        {R::PageDown, 0, 1, 0},
        {R::ThumbTrack, 0, 8, kTrack},
        // Nothing loaded.
        {R::LineDown, 0, 0, 0},
        {R::PageDown, 0, 0, 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(
            ScrollDumpPosition(r.request, r.position, r.lineCount - 1, kDumpPageLines, kTrack),
            r.expected)
            << "request " << static_cast<int>(r.request) << " from " << r.position << " of "
            << r.lineCount << " lines";
    }
}

TEST(MemoryDump, AddressLabelAndRounding) {
    EXPECT_EQ(FormatAddressLabel(0x10, 0x73), QStringLiteral(" 000010 - 000073"));
    EXPECT_EQ(FormatAddressLabel(0, 0xFFFFFF), QStringLiteral(" 000000 - FFFFFF"));
    // A file without data bytes: six figures are a minimum width.
    EXPECT_EQ(FormatAddressLabel(0xFFFFFFFF, 0xFFFFFFFF), QStringLiteral(" FFFFFFFF - FFFFFFFF"));

    const std::pair<uint32_t, uint64_t> rounding[] = {
        {0, 0},
        {1, 16},
        {16, 16},
        {17, 32},
        {0x73 + 1, 0x80},
        {0xFFFFFFF0u, 0xFFFFFFF0u},
        {0xFFFFFFF1u, 0x100000000u},  // 32 bits would wrap to 0
        {0xFFFFFFFFu, 0x100000000u},
    };
    for (const auto& [used, expected] : rounding)
        EXPECT_EQ(RoundUpToDumpBlock(used), expected) << used;
}

std::string HexRecord(int type, uint32_t address, std::vector<uint8_t> bytes) {
    return FormatIntelHexRecord(type, address, static_cast<int>(bytes.size()), bytes.data());
}

std::string SRecord(int type, uint32_t address, std::vector<uint8_t> bytes) {
    return FormatSRecord(type, address, static_cast<int>(bytes.size()), bytes.data());
}

const std::string kHexEnd = ":00000001FF\r\n";
const std::string kS7 = "S70500000000FA\r\n";

class LoadFileDumpTest : public testing::Test {
protected:
    QString Write(const std::string& content) {
        const QString path = dir.filePath(QStringLiteral("file%1.txt").arg(++files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(content.data(), static_cast<qint64>(content.size())),
                  static_cast<qint64>(content.size()));
        return path;
    }

    // A dump that a failed load must leave as it is.
    static FileDump Previous() {
        return {{QStringLiteral("previous line")}, QStringLiteral(" old")};
    }

    QTemporaryDir dir;
    int files = 0;
    test::RecordingHost host;
};

TEST_F(LoadFileDumpTest, HundredBytesFromSixteenFillEightFlashOrSixteenEepromLines) {
    std::string file;
    std::vector<uint8_t> bytes(100);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0x10});
    for (size_t at = 0; at < bytes.size(); at += 16) {
        const std::vector<uint8_t> part(bytes.begin() + at,
                                        bytes.begin() + std::min(at + 16, bytes.size()));
        file += HexRecord(0, static_cast<uint32_t>(0x10 + at), part);
    }
    const QString path = Write(file + kHexEnd);

    FileDump flash;
    ASSERT_TRUE(LoadFileDump(host, path, DumpLayout::Flash, flash));
    EXPECT_EQ(flash.label, QStringLiteral(" 000010 - 000073"));
    ASSERT_EQ(flash.lines.size(), 8);
    EXPECT_EQ(flash.lines[0],
              QStringLiteral("000000 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "));
    EXPECT_EQ(flash.lines[1],
              QStringLiteral("000010 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F "));
    EXPECT_EQ(flash.lines[7],
              QStringLiteral("000070 70 71 72 73 FF FF FF FF FF FF FF FF FF FF FF FF "));

    FileDump eeprom;
    ASSERT_TRUE(LoadFileDump(host, path, DumpLayout::Eeprom, eeprom));
    ASSERT_EQ(eeprom.lines.size(), 16);
    EXPECT_EQ(eeprom.lines[15], QStringLiteral("000078 FF FF FF FF FF FF FF FF ........"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(LoadFileDumpTest, SRecordsLoadAndAFileOfNoDataShowsTheHeaderAlone) {
    FileDump srec;
    ASSERT_TRUE(LoadFileDump(host, Write(SRecord(1, 0x20, {0x41, 0x42}) + "S9030000FC\r\n"),
                             DumpLayout::Eeprom, srec));
    EXPECT_EQ(srec.label, QStringLiteral(" 000020 - 000021"));
    ASSERT_EQ(srec.lines.size(), 6);
    EXPECT_EQ(srec.lines[4], QStringLiteral("000020 41 42 FF FF FF FF FF FF AB......"));

    FileDump empty = Previous();
    ASSERT_TRUE(LoadFileDump(host, Write(kHexEnd), DumpLayout::Flash, empty));
    EXPECT_EQ(empty.label, QStringLiteral(" FFFFFFFF - FFFFFFFF"));
    EXPECT_TRUE(empty.lines.isEmpty());
    EXPECT_EQ(RenderDumpWindow(DumpLayout::Flash, empty.lines, 0), kFlashHeader);
    EXPECT_TRUE(host.messages.empty());
}

// Files whose data lie far up: the view would size its image from them.
TEST_F(LoadFileDumpTest, DataBeyondSixteenMebibytesAreRefusedWithTheFormatsSizeWarning) {
    const test::RecordedMessage hexSize{MsgKind::Warning, text::kHexBeyondDevice};
    const test::RecordedMessage srecSize{MsgKind::Warning, text::kSrecBeyondDevice};
    struct Row {
        const char* what;
        std::string content;
        test::RecordedMessage message;
    };
    const Row rows[] = {
        {"HEX at 0xFFFFFF00", HexRecord(4, 0, {0xFF, 0xFF}) + HexRecord(0, 0xFF00, {1}) + kHexEnd,
         hexSize},
        // Used length 0x100000000 reported as 0xFFFFFFFF; 32-bit rounding gives 0.
        {"HEX at 0xFFFFFFFF", HexRecord(4, 0, {0xFF, 0xFF}) + HexRecord(0, 0xFFFF, {1}) + kHexEnd,
         hexSize},
        {"HEX one byte past", HexRecord(4, 0, {0x01, 0x00}) + HexRecord(0, 0, {1}) + kHexEnd,
         hexSize},
        {"HEX empty record far up", HexRecord(4, 0, {0x10, 0x00}) + HexRecord(0, 0, {}) + kHexEnd,
         hexSize},
        {"S3 at 0xFFFFFF00", SRecord(3, 0xFFFFFF00u, {1, 2, 3}) + kS7, srecSize},
        {"S2 one byte past", SRecord(2, 0xFFFFFF, {1, 2}) + "S804000000FB\r\n", srecSize},
    };
    for (const Row& r : rows) {
        test::RecordingHost rowHost;
        FileDump dump = Previous();
        EXPECT_FALSE(LoadFileDump(rowHost, Write(r.content), DumpLayout::Flash, dump)) << r.what;
        EXPECT_EQ(rowHost.messages, std::vector<test::RecordedMessage>{r.message}) << r.what;
        EXPECT_EQ(dump.lines, Previous().lines) << r.what;
        EXPECT_EQ(dump.label, Previous().label) << r.what;
    }
}

TEST_F(LoadFileDumpTest, DataEndingAtSixteenMebibytesStillLoad) {
    FileDump dump;
    const std::string file = HexRecord(4, 0, {0x00, 0xFF}) + HexRecord(0, 0xFFF0, {0xAB, 0xCD}) +
                             HexRecord(0, 0xFFFF, {0x7E}) + kHexEnd;
    ASSERT_TRUE(LoadFileDump(host, Write(file), DumpLayout::Flash, dump));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(dump.label, QStringLiteral(" FFFFF0 - FFFFFF"));
    ASSERT_EQ(dump.lines.size(), static_cast<qsizetype>(kMaxDumpBytes / 16));
    EXPECT_EQ(dump.lines.back(),
              QStringLiteral("FFFFF0 AB CD FF FF FF FF FF FF FF FF FF FF FF FF FF 7E "));
}

TEST_F(LoadFileDumpTest, AFailedLoadKeepsThePreviousDumpAndSaysOneThing) {
    const std::string badSum = ":0100000001FF\r\n" + kHexEnd;
    struct Row {
        const char* what;
        QString path;
        std::vector<std::string> messages;
    };
    // The messages about the file as a whole name it.
    const auto named = [](const char* text, const QString& path) { return text + (": " + path.toStdString()); };
    const QString missing = dir.filePath(QStringLiteral("none.hex"));
    const QString noEnd = Write(HexRecord(0, 0, {1, 2})), hello = Write("hello\r\n");
    const Row rows[] = {
        {"missing file", missing, {named(text::kFileOpenFailed, missing)}},
        {"checksum", Write(badSum), {text::kChecksumError}},
        {"no end record", noEnd, {named(text::kNoEndRecord, noEnd)}},
        {"not a data file", hello, {named(text::kFileUnrecognised, hello)}},
    };
    for (const Row& r : rows) {
        test::RecordingHost rowHost;
        FileDump dump = Previous();
        EXPECT_FALSE(LoadFileDump(rowHost, r.path, DumpLayout::Eeprom, dump)) << r.what;
        EXPECT_EQ(rowHost.Texts(), r.messages) << r.what;
        EXPECT_EQ(dump.lines, Previous().lines) << r.what;
        EXPECT_EQ(dump.label, Previous().label) << r.what;
    }
}

}  // namespace
}  // namespace oriole
