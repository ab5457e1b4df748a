#include "image/ImageReader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/FormatText.h"
#include "image/InputFile.h"
#include "image/LineSource.h"
#include "res/Texts.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

constexpr uint32_t kUntouched = 0xA5A5A5A5u;  // preset outputs, never a loader result
constexpr int16_t kFresh = 0x1234;            // preset cells, never a loader value
constexpr uint32_t kScan = 0xFFFFFFFFu;       // capacity meaning "no cells"
constexpr uint32_t kNone = 0xFFFFFFFFu;

// Known good records (checksums worked out by hand or taken from the format's
// usual examples).
const std::string kEnd = ":00000001FF\n";
const std::string kAt100 = ":10010000214601360121470136007EFE09D2190140\n";  // 0x100..0x10F
const std::string kAt0 = ":10000000000102030405060708090A0B0C0D0E0F78\n";    // 0x00..0x0F
const std::string kAt10 = ":10001000101112131415161718191A1B1C1D1E1F68\n";   // 0x10..0x1F
const std::string kSrec16 = "S1130000285F245F2212226A000424290008237C2A\n";  // 0x00..0x0F
const std::string kS9 = "S9030000FC\n";

struct Outcome {
    bool ok = false;
    std::vector<std::string> messages;
    uint32_t count = 0;
    uint32_t lowest = kUntouched;
    uint32_t highest = kUntouched;
    std::vector<int16_t> cells;
    std::string path;  // the file loaded
};

class ImageReaderTest : public ::testing::Test {
protected:
    QString Write(const std::string& content, const char* name = "image.txt") {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(content.data(), static_cast<qint64>(content.size())),
                  static_cast<qint64>(content.size()));
        return path;
    }

    // Loads `content` into `capacity` fresh cells, or only scans it with kScan.
    Outcome LoadPath(const QString& path, uint32_t capacity) {
        test::RecordingHost host;
        Outcome out;
        out.path = path.toStdString();
        out.count = capacity;
        if (capacity != kScan) out.cells.assign(capacity, kFresh);
        out.ok = LoadImageFile(host, path, capacity == kScan ? nullptr : out.cells.data(),
                               out.count, out.lowest, out.highest);
        for (const auto& m : host.messages) EXPECT_EQ(m.kind, MsgKind::Warning) << m.text;
        out.messages = host.Texts();
        return out;
    }
    Outcome Load(const std::string& content, uint32_t capacity) {
        return LoadPath(Write(content), capacity);
    }

    QTemporaryDir dir;
};

std::vector<std::string> Msg(const char* text) {
    return text == nullptr ? std::vector<std::string>{} : std::vector<std::string>{text};
}

// One load and everything it reports. count == kUntouched means "left as the
// capacity was".
struct LoadCase {
    const char* name;
    std::string content;
    uint32_t capacity;
    bool ok;
    const char* message;
    uint32_t count;
    uint32_t lowest;
    uint32_t highest;
    bool named = false;  // the message is about the file as a whole and names it
};

void ExpectOutcome(const LoadCase& c, const Outcome& out) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(out.ok, c.ok);
    std::vector<std::string> expected = Msg(c.message);
    if (c.named) expected.front() += ": " + out.path;
    EXPECT_EQ(out.messages, expected);
    EXPECT_EQ(out.count, c.count == kUntouched ? c.capacity : c.count);
    EXPECT_EQ(out.lowest, c.lowest);
    EXPECT_EQ(out.highest, c.highest);
}

TEST_F(ImageReaderTest, IntelHexRecordsAndResults) {
    const char* kFmt = text::kBadDataFormat;
    const char* kSum = text::kChecksumError;
    const LoadCase cases[] = {
        {"end record alone", kEnd, 256, true, nullptr, 0, kNone, kNone},
        {"lowest address from data, not from the end record", kAt100 + kEnd, 512, true, nullptr,
         0x110, 0x100, 0x10F},
        {"lower case", ":10010000214601360121470136007efe09d2190140\n" + kEnd, 512, true,
         nullptr, 0x110, 0x100, 0x10F},
        {"CR LF line ends", ":10010000214601360121470136007EFE09D2190140\r\n:00000001FF\r\n", 512,
         true, nullptr, 0x110, 0x100, 0x10F},
        {"no end record", kAt100, 512, false, text::kNoEndRecord, 0x110, 0x100, 0x10F, true},
        {"truncated end record", kAt0 + ":00000001F", 512, false, kSum, 0x10, 0, 0x0F},
        {"end record without line end", kAt0 + ":00000001FF", 512, true, nullptr, 0x10, 0, 0x0F},
        {"lines after the end are never decoded",
         kAt0 + kEnd + "\n#junk\n:0100000000FE\nS4\n" + kAt100, 512, true, nullptr, 0x10, 0, 0x0F},
        {"blank line between data", kAt0 + "\n" + kAt10 + kEnd, 512, false, kFmt, 0x10, 0, 0x0F},
        {"third line begins with S", kAt0 + kAt10 + kS9 + kEnd, 512, false, kFmt, 0x20, 0, 0x1F},
        {"bad checksum still counts its record",
         kAt0 + ":10001000101112131415161718191A1B1C1D1E1F69\n" + kEnd, 512, false, kSum, 0x20, 0,
         0x1F},
        {"bad checksum on the end record", ":00000001FE\n", 512, false, kSum, 0, kNone, kNone},
        {"type 06: format, checksum not looked at", kAt0 + ":00000006FF\n" + kEnd, 512, false, kFmt,
         0x10, 0, 0x0F},
        {"start addresses 03 and 05 are checked and ignored",
         ":0400000300003800C1\n:04000005000000CD2A\n" + kEnd, 512, true, nullptr, 0, kNone, kNone},
        {"wrong LL on a fixed-position record", ":010000040001F9\n" + kEnd, 512, false, kSum, 0,
         kNone, kNone},
        {"empty data record sets the used length", ":00010000FF\n" + kEnd, 512, true, nullptr,
         0x100, 0x100, 0xFF},
        {"empty data record below the data", kAt100 + ":00001000F0\n" + kEnd, 512, true, nullptr,
         0x110, 0x10, 0x10F},
        {"a colon alone is an empty data record at 0", ":\n" + kEnd, 512, true, nullptr, 0, 0,
         kNone},
        {"blank before a figure is skipped", ":01 1000005F9\n" + kEnd, 512, true, nullptr, 0x101,
         0x100, 0x100},
        {"a field stops at a non-figure", ":010000005GFA\n" + kEnd, 512, true, nullptr, 1, 0, 0},
        // Scanning: no capacity at all.
        {"scan never warns about size", ":02000004FFFFFC\n:0100000055AA\n" + kEnd, kScan, true,
         nullptr, 0xFFFF0001u, 0xFFFF0000u, 0xFFFF0000u},
        {"scan of a checksum error", ":0100000055AB\n", kScan, false, kSum, 1, 0, 0},
    };
    for (const auto& c : cases) ExpectOutcome(c, Load(c.content, c.capacity));
}

TEST_F(ImageReaderTest, SRecordRecordsAndResults) {
    const char* kFmt = text::kBadDataFormat;
    const char* kSum = text::kChecksumError;
    const LoadCase cases[] = {
        {"header, data, count, termination",
         "S00600004844521B\n" + kSrec16 + "S5030001FB\n" + kS9, 64, true, nullptr, 0x10, 0, 0x0F},
        {"S2 and S3 addresses", "S206010000ABCD80\nS3060002000011E6\n" + kS9, kScan, true, nullptr,
         0x20001, 0x10000, 0x20000},
        {"S8 ends", "S104001007E4\nS804000000FB\n", 64, true, nullptr, 0x11, 0x10, 0x10},
        {"S7 ends", "S104001007E4\nS70500000000FA\n", 64, true, nullptr, 0x11, 0x10, 0x10},
        {"lower case, CR LF", "S104001007e4\r\nS9030000fc\r\n", 64, true, nullptr, 0x11, 0x10,
         0x10},
        {"S4 is refused", kSrec16 + "S403000000FC\n" + kS9, 64, false, kFmt, 0x10, 0, 0x0F},
        {"S6 is refused", "S603000000FC\n", 64, false, kFmt, 0, kNone, kNone},
        {"no termination", kSrec16, 64, false, text::kNoEndRecord, 0x10, 0, 0x0F, true},
        {"bad checksum", "S104001007E5\n" + kS9, 64, false, kSum, 0x11, 0x10, 0x10},
        {"bad checksum on termination", kSrec16 + "S9030000FD\n", 64, false, kSum, 0x10, 0, 0x0F},
        {"odd type letter reads as a header", "SX030000FC\n" + kS9, 64, true, nullptr, 0, kNone,
         kNone},
        {"count of 3 in S1: no data, address still counts", "S1030100FB\n" + kS9, kScan, true,
         nullptr, 0x100, 0x100, 0xFF},
        {"fields past the line end read as 0", "S9FF\n", 64, true, nullptr, 0, kNone, kNone},
        {"an Intel line in an S-record file", kSrec16 + kEnd, 64, false, kFmt, 0x10, 0, 0x0F},
        {"lines after termination not decoded", kS9 + "\nS4\n" + kSrec16, 64, true, nullptr, 0,
         kNone, kNone},
    };
    for (const auto& c : cases) ExpectOutcome(c, Load(c.content, c.capacity));
}

TEST_F(ImageReaderTest, CapacityIsTestedPerFormat) {
    const LoadCase cases[] = {
        {"HEX ends exactly at the capacity", kAt100 + kEnd, 0x110, true, nullptr, 0x110, 0x100,
         0x10F},
        {"HEX one byte beyond", kAt100 + kEnd, 0x10F, false, text::kHexBeyondDevice, kUntouched,
         kUntouched, kUntouched},
        {"HEX first byte beyond", kAt100 + kEnd, 0x100, false,
         text::kHexBeyondDevice, kUntouched, kUntouched, kUntouched},
        {"S-record ends exactly at the capacity", kSrec16 + kS9, 0x10, true, nullptr, 0x10, 0, 0xF},
        {"S-record one byte beyond", kSrec16 + kS9, 0xF, false, text::kSrecBeyondDevice,
         kUntouched, kUntouched, kUntouched},
        // An empty record must not stretch the used length past the array.
        {"empty HEX record at the capacity", ":00010000FF\n" + kEnd, 0x100, true, nullptr, 0x100,
         0x100, 0xFF},
        {"empty HEX record past the capacity", ":00010000FF\n" + kEnd, 0xFF, false,
         text::kHexBeyondDevice, kUntouched, kUntouched, kUntouched},
        {"empty S1 record past the capacity", "S1030100FB\n" + kS9, 0x80, false,
         text::kSrecBeyondDevice, kUntouched, kUntouched, kUntouched},
    };
    for (const auto& c : cases) ExpectOutcome(c, Load(c.content, c.capacity));
}

TEST_F(ImageReaderTest, CellsKeepWhatWasStoredBeforeAnError) {
    const Outcome out = Load(kAt0 + "\n" + kAt100 + kEnd, 0x200);
    ASSERT_EQ(out.messages, Msg(text::kBadDataFormat));
    for (uint32_t a = 0; a < 0x200; ++a) EXPECT_EQ(out.cells[a], a < 0x10 ? int16_t(a) : -1) << a;

    const Outcome over = Load(kAt0 + kAt100 + kEnd, 0x108);
    ASSERT_EQ(over.messages, Msg(text::kHexBeyondDevice));
    EXPECT_EQ(over.cells[0x0F], 0x0F);
    EXPECT_EQ(over.cells[0x100], 0x21);
    EXPECT_EQ(over.cells[0x107], 0x01);
}

TEST_F(ImageReaderTest, ExtendedAddressesMoveTheData) {
    for (const char* upper : {":020000021000EC\n", ":020000040001F9\n"}) {
        SCOPED_TRACE(upper);
        const Outcome out = Load(std::string(upper) + ":020000000102FB\n" + kEnd, 0x10010);
        EXPECT_TRUE(out.ok);
        EXPECT_EQ(out.count, 0x10002u);
        EXPECT_EQ(out.lowest, 0x10000u);
        EXPECT_EQ(out.cells[0x10000], 0x01);
        EXPECT_EQ(out.cells[0x10001], 0x02);
        EXPECT_EQ(std::count(out.cells.begin(), out.cells.end(), kNoData), 0x10010 - 2);
    }
}

// The 32-bit address of a record plus its offsets must not wrap to 0.
TEST_F(ImageReaderTest, AddressesNearTheTopDoNotWrap) {
    const std::string nearTop = ":02000004FFFFFC\n:10FFF800000102030405060708090A0B0C0D0E0F81\n" + kEnd;
    const std::string toTop = ":02000004FFFFFC\n:10FFF000000102030405060708090A0B0C0D0E0F89\n" + kEnd;
    const LoadCase cases[] = {
        // The used length saturates; the highest address is the last one.
        {"HEX scan past 2^32 saturates", nearTop, kScan, true, nullptr, 0xFFFFFFFFu, 0xFFFFFFF8u,
         0xFFFFFFFFu},
        {"HEX scan ending at 2^32 saturates", toTop, kScan, true, nullptr, 0xFFFFFFFFu, 0xFFFFFFF0u,
         0xFFFFFFFFu},
        {"S3 scan at the last address", "S307FFFFFFFF0102F9\n" + kS9, kScan, true, nullptr,
         0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"HEX scan ending just below the top", ":02000004FFFFFC\n:01FFFE00AA58\n" + kEnd, kScan,
         true, nullptr, 0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFEu},
        {"HEX load past 2^32 is beyond the device", nearTop, 64, false, text::kHexBeyondDevice,
         kUntouched, kUntouched, kUntouched},
        {"S3 load at the last address is beyond the device", "S307FFFFFFFF0102F9\n" + kS9, 64,
         false, text::kSrecBeyondDevice, kUntouched, kUntouched, kUntouched},
        {"scan far out", "S307123456780908D3\n" + kS9, kScan, true, nullptr, 0x1234567Au,
         0x12345678u, 0x12345679u},
    };
    for (const auto& c : cases) {
        const Outcome out = Load(c.content, c.capacity);
        ExpectOutcome(c, out);
        // Nothing may have landed in the low cells by wrapping around.
        for (int16_t v : out.cells) EXPECT_EQ(v, kNoData);
    }
}

TEST_F(ImageReaderTest, UnknownFormatSaysSoAndTouchesNothing) {
    const std::string contents[] = {"", "\n" + kEnd, "\r\n" + kEnd, " " + kEnd,
                                    "s9030000FC\n", std::string("\0:00000001FF\n", 13), "#\n"};
    for (const auto& content : contents) {
        SCOPED_TRACE(content);
        const Outcome out = Load(content, 32);
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.messages, std::vector<std::string>{text::kFileUnrecognised + (": " + out.path)});
        EXPECT_EQ(out.count, 32u);
        EXPECT_EQ(out.lowest, kUntouched);
        EXPECT_EQ(out.highest, kUntouched);
        EXPECT_EQ(std::count(out.cells.begin(), out.cells.end(), kFresh), 32);
    }
}

// A stand-in for the terminal's grammar of data items: decimal bytes
// separated by blanks or commas, '#' to the line's end a comment.
bool DecimalItems(std::string_view text, std::vector<uint8_t>& out, std::string& error,
                  std::vector<std::string>& /*warnings*/) {
    size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '#') {
            at = std::min(text.find('\n', at), text.size());
        } else if (c == ' ' || c == ',' || c == '\n' || c == '\r') {
            ++at;
        } else {
            const size_t end = std::min(text.find_first_of(" ,\r\n#", at), text.size());
            const std::string word(text.substr(at, end - at));
            if (word.find_first_not_of("0123456789") != std::string::npos || word.size() > 3 || std::stoi(word) > 255) {
                error = word + ": no byte";
                return false;
            }
            out.push_back(static_cast<uint8_t>(std::stoi(word)));
            at = end;
        }
    }
    if (out.empty()) error = "no items";
    return !out.empty();
}

// The command line's rule, as avrdude looks at a file: line by line until
// one decides (a byte above 127 or a NUL: raw binary; an Intel HEX record;
// an S-record; a line of data items); blank lines, comments and other text
// are passed over; no line deciding, or raw bytes under a record format's
// name, is no format. The failures name the file.
TEST_F(ImageReaderTest, ContentDecidesLineByLineAsAvrdudeDoes) {
    const struct {
        const char* name;
        std::string content;
        ImageFormat format;        // with the grammar of value lists
        int16_t first;             // the first cell after the load; kFresh when it fails
        const char* message;       // the load's one message, named; null for none
    } cases[] = {
        {"v.txt", "12, 34 # two\r\n", ImageFormat::ValueList, 12, nullptr},
        {"c.txt", "# made by hand\n\n  \n12\n", ImageFormat::ValueList, 12, nullptr},
        {"v.hex", "12 34", ImageFormat::ValueList, 12, nullptr},
        {"late.txt", std::string(5000, '#') + "\n7\n", ImageFormat::ValueList, 7, nullptr},
        {"hello.txt", "hello\n12\n", ImageFormat::ValueList, kFresh, "値が正しくありません (hello: no byte)。"},
        {"b.dat", "hello\n\x80", ImageFormat::Binary, 'h', nullptr},
        {"nul.dat", std::string("12\0\n", 4), ImageFormat::Binary, '1', nullptr},
        // Found by a later line, but the reader wants records from the first on.
        {"h.dat", "\r\n" + kAt0 + kEnd, ImageFormat::IntelHex, kNoData, text::kBadDataFormat},
        {"s.dat", kSrec16 + kS9, ImageFormat::SRecord, 0x28, nullptr},
        {"short.dat", ":0100000022\n", ImageFormat::Auto, kFresh, text::kFileUnrecognised},
        {"blank.dat", " " + kEnd, ImageFormat::Auto, kFresh, text::kFileUnrecognised},
        {"hello.dat", "hello\n", ImageFormat::Auto, kFresh, text::kFileUnrecognised},
        {"empty.dat", "", ImageFormat::Auto, kFresh, text::kFileUnrecognised},
        {"raw.hex", "\x80\x01", ImageFormat::Auto, kFresh, text::kFileUnrecognised},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write(c.content, c.name);
        EXPECT_EQ(DetectImageFormat(path, true, DecimalItems), c.format);
        // Without the grammar a value list is no format.
        EXPECT_EQ(DetectImageFormat(path, true), c.format == ImageFormat::ValueList ? ImageFormat::Auto : c.format);
        test::RecordingHost host;
        std::vector<int16_t> cells(64, kFresh);
        uint32_t count = 64, lowest = kUntouched, highest = kUntouched;
        const bool ok = LoadImageFile(host, path, cells.data(), count, lowest, highest,
                                      {.byContent = true, .valueList = DecimalItems});
        EXPECT_EQ(ok, c.message == nullptr);
        EXPECT_EQ(cells[0], c.first);
        const bool named = c.message != nullptr && std::string_view(c.message) != text::kBadDataFormat;
        EXPECT_EQ(host.Texts(), c.message == nullptr ? std::vector<std::string>{}
                                                     : std::vector<std::string>{c.message + (named ? ": " + path.toStdString() : "")});
    }
}

// A value list and any other input are read whole up to their bound and
// refused, as too large and naming the file, one byte beyond it.
TEST_F(ImageReaderTest, InputsAtTheirSizeLimits) {
    const auto items = static_cast<size_t>(kMaxValueListBytes / 2);
    const auto bytes = static_cast<size_t>(kMaxInputBytes);
    const struct {
        const char* name;
        std::string content;
        uint32_t count;   // the used length when read whole
        int megabytes;    // the bound of the refusal; 0 when read whole
    } cases[] = {
        {"at.txt", [&] { std::string t; t.reserve(2 * items); for (size_t i = 0; i < items; ++i) t += "1 "; return t; }(),
         static_cast<uint32_t>(items), 0},
        {"over.txt", [&] { std::string t(2 * items + 1, ' '); for (size_t i = 0; i < items; ++i) t[2 * i] = '1'; return t; }(),
         0, 16},
        {"at.bin", std::string(bytes, '\x80'), static_cast<uint32_t>(bytes), 0},
        {"over.bin", std::string(bytes + 1, '\x80'), 0, 64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Write(c.content, c.name);
        test::RecordingHost host;
        uint32_t count = kUntouched, lowest = kUntouched, highest = kUntouched;
        const bool ok = LoadImageFile(host, path, nullptr, count, lowest, highest,
                                      {.byContent = true, .valueList = DecimalItems});
        EXPECT_EQ(ok, c.megabytes == 0);
        if (c.megabytes == 0) {
            EXPECT_TRUE(host.messages.empty());
            EXPECT_EQ(count, c.count);
        } else {
            EXPECT_EQ(host.Texts(), std::vector<std::string>{FormatText(text::kInputTooLarge, c.megabytes) + ": " +
                                                             path.toStdString()});
        }
    }
}

TEST_F(ImageReaderTest, UnopenablePathsWarnAndTouchNothing) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    // Device nodes are refused unopened: an image is never a device.
    for (const QString& path :
         {dir.filePath(QStringLiteral("missing.hex")), dir.filePath(QStringLiteral("folder")),
          QString(), QStringLiteral("/dev/null"), QStringLiteral("/dev/zero"),
          QStringLiteral("/dev/urandom"), QStringLiteral("/dev/tty")}) {
        SCOPED_TRACE(path.toStdString());
        const Outcome out = LoadPath(path, 16);
        EXPECT_FALSE(out.ok);
        // The file is named, where there is a name.
        EXPECT_EQ(out.messages,
                  std::vector<std::string>{text::kFileOpenFailed + (path.isEmpty() ? "" : ": " + out.path)});
        EXPECT_EQ(out.count, 16u);
        EXPECT_EQ(out.lowest, kUntouched);
        EXPECT_EQ(std::count(out.cells.begin(), out.cells.end(), kFresh), 16);
    }
}

TEST_F(ImageReaderTest, HugeLinesAndNulBytes) {
    const std::string tail(24u << 20, 'x');
    const std::string nuls(3u << 20, '\0');
    const LoadCase cases[] = {
        // Only the first characters of a line are fields; the rest is not looked at.
        {"24 MB of junk after a record", ":0100000055AA" + tail + "\r\n" + kEnd, 16, true, nullptr,
         1, 0, 0},
        {"NUL bytes after a record", ":0100000055AA" + nuls + "\n" + kEnd, 16, true, nullptr, 1, 0,
         0},
        {"a line of NUL bytes", kAt0 + nuls + "\n" + kEnd, 16, false, text::kBadDataFormat, 0x10, 0,
         0xF},
        {"a huge line after the end", kEnd + tail + nuls, 16, true, nullptr, 0, kNone, kNone},
        {"a huge last line without end record", kAt0 + ":" + tail, 16, false, text::kNoEndRecord, 0x10, 0,
         0xF, true},
    };
    for (const auto& c : cases) ExpectOutcome(c, Load(c.content, c.capacity));
}

TEST_F(ImageReaderTest, BinaryGarbageNeverCrashes) {
    uint32_t seed = 12345;
    for (int round = 0; round < 50; ++round) {
        std::string content(static_cast<size_t>(round) * 97 + 1, '\0');
        for (char& ch : content) {
            seed = seed * 1103515245u + 12345u;
            ch = static_cast<char>(seed >> 24);
        }
        content[0] = round % 2 == 0 ? ':' : 'S';
        const Outcome out = Load(content, 64);
        EXPECT_LE(out.messages.size(), 1u);
        EXPECT_LE(out.count, 64u);
        for (int16_t v : out.cells) EXPECT_TRUE(v >= -1 && v <= 255) << v;
    }
}

// A device that hands out some bytes and then fails, like a file on a
// vanishing network share.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(std::string data) : data_(std::move(data)) {
        open(ReadOnly | Unbuffered);
    }

protected:
    qint64 readData(char* out, qint64 max) override {
        if (pos_ >= data_.size()) return -1;
        const size_t n = std::min(static_cast<size_t>(max), data_.size() - pos_);
        std::copy_n(data_.data() + pos_, n, out);
        pos_ += n;
        return static_cast<qint64>(n);
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    std::string data_;
    size_t pos_ = 0;
};

TEST_F(ImageReaderTest, ReadErrorsCountAsUnreadableFile) {
    for (const std::string& before : {std::string(), kAt0, kAt0 + ":0100"}) {
        SCOPED_TRACE(before);
        FailingDevice device(before);
        test::RecordingHost host;
        uint32_t count = 8, lowest = kUntouched, highest = kUntouched;
        EXPECT_FALSE(LoadImageData(host, device, nullptr, count, lowest, highest));
        EXPECT_EQ(host.Texts(), Msg(text::kFileOpenFailed));
        EXPECT_EQ(count, 8u);
        EXPECT_EQ(lowest, kUntouched);
    }
}

// Splits the way the loader's lines are defined, the slow and obvious way.
std::vector<std::string> ReferenceLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > LineSource::kKeptChars) line.resize(LineSource::kKeptChars);
        lines.push_back(line);
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    return lines;
}

TEST(LineSource, SplitsLikeTheReferenceAtEveryChunkSize) {
    const size_t k = LineSource::kKeptChars;
    std::string text = "a\r\n\r\n\nb\rc\n\r\r\n" + std::string(k, 'k') + "\r\n" +
                       std::string(k + 1, 'l') + "\r\n" + std::string(k - 1, 'm') + "\r\n" +
                       std::string(k + 5, 'n') + "\n" + std::string("z\0y\r\n", 5) + "last\r";
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, k - 1, k, k + 1, k + 2,
                         size_t{4096}, LineSource::kDefaultChunk}) {
        SCOPED_TRACE(chunk);
        QByteArray bytes = QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        LineSource source(buffer, chunk);
        char first = 0;
        ASSERT_TRUE(source.PeekFirst(first));
        EXPECT_EQ(first, 'a');
        std::vector<std::string> lines;
        std::string_view line;
        while (source.Next(line)) lines.emplace_back(line);
        EXPECT_EQ(lines, ReferenceLines(text));
        EXPECT_FALSE(source.Failed());
    }
}

}  // namespace
}  // namespace oriole
