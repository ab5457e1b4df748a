#include "image/BitFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

#include "image/FileSizeLimit.h"
#include "res/Texts.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct FuseParseCase {
    QByteArray file;
    FuseTexts texts;
};

TEST(BitFiles, ParseFuseFile) {
    const FuseParseCase cases[] = {
        {"FFD9E1\r\n", {"FF", "D9", "E1"}},
        {"FFD9E1", {"FF", "D9", "E1"}},
        {"FFD9E1\n", {"FF", "D9", "E1"}},
        {"D9E1\r\n", {"D9", "E1", "E1"}},
        {"D9E1", {"D9", "E1", "E1"}},
        {"FFD9E1\r\n000000\r\n", {"FF", "D9", "E1"}},  // only the first line
        {"ABC", {"AB", "C", "BC"}},
        {"F\r\n", {"F", "", "F"}},
        {"F", {"F", "", "F"}},
        {"", {"", "", ""}},
        {"\r\nFFD9E1", {"", "", ""}},
        {"FF\nD9E1", {"FF", "", "FF"}},
        {"FFD9E1xyz\r\n", {"FF", "D9", "yz"}},  // a long line: low from its end
        {"FF\r\r\n", {"FF", "\r", "F\r"}},      // one CR belongs to the line end
        // Shift-JIS: 表 is 95 5C, ｱ is B1; characters, not bytes, count.
        {"\x95\x5c"
         "1\xb1\xb2"
         "E1\r\n",
         {U("表1"), U("ｱｲ"), "E1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        EXPECT_EQ(ParseFuseFile(c.file), c.texts);
    }
}

TEST(BitFiles, ParseLockFile) {
    const std::pair<QByteArray, QString> cases[] = {
        {"FC", "FC"},
        {"FC\r\n", "FC"},
        {"FCX\r\nAB", "FC"},
        {"F\r\n", "F"},
        {"", ""},
        {"\r\nFC", ""},
        {"\x95\x5c"
         "F",
         U("表F")},
    };
    for (const auto& [file, text] : cases) EXPECT_EQ(ParseLockFile(file), text);
}

TEST(BitFiles, FormatWritesTextsUnchanged) {
    EXPECT_EQ(FormatFuseFile({"FF", "D9", "E1"}), QByteArray("FFD9E1\r\n"));
    EXPECT_EQ(FormatFuseFile({"0", "123", ""}), QByteArray("0123\r\n"));
    EXPECT_EQ(FormatFuseFile({U("表1"), U("ｱｲ"), "E1"}), QByteArray("\x95\x5c"
                                                                    "1\xb1\xb2"
                                                                    "E1\r\n"));
    EXPECT_EQ(FormatLockFile("FC"), QByteArray("FC"));
    EXPECT_EQ(FormatLockFile(""), QByteArray());
    // Two-character texts survive a format and parse.
    const FuseTexts texts{U("表1"), U("ｱｲ"), "E1"};
    EXPECT_EQ(ParseFuseFile(FormatFuseFile(texts)), texts);
}

class BitFilesFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    test::RecordingHost host;

    QByteArray ReadAll(const QString& name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void Put(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
};

TEST_F(BitFilesFileTest, SaveAndLoad) {
    ASSERT_TRUE(SaveFuseFile(host, dir.filePath("a.fus"), {"FF", "D9", "E1"}));
    EXPECT_EQ(ReadAll("a.fus"), QByteArray("FFD9E1\r\n"));
    FuseTexts fuses;
    ASSERT_TRUE(LoadFuseFile(host, dir.filePath("a.fus"), fuses));
    EXPECT_EQ(fuses, (FuseTexts{"FF", "D9", "E1"}));

    ASSERT_TRUE(SaveLockFile(host, dir.filePath("a.loc"), "FC"));
    EXPECT_EQ(ReadAll("a.loc"), QByteArray("FC"));
    QString lock;
    ASSERT_TRUE(LoadLockFile(host, dir.filePath("a.loc"), lock));
    EXPECT_EQ(lock, "FC");

    // Saving again replaces the file.
    ASSERT_TRUE(SaveLockFile(host, dir.filePath("a.loc"), "3"));
    EXPECT_EQ(ReadAll("a.loc"), QByteArray("3"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(BitFilesFileTest, LoadsShortAndLongFiles) {
    Put("empty.fus", "");
    FuseTexts fuses{"1", "2", "3"};
    ASSERT_TRUE(LoadFuseFile(host, dir.filePath("empty.fus"), fuses));
    EXPECT_EQ(fuses, (FuseTexts{"", "", ""}));
    QString lock = "x";
    ASSERT_TRUE(LoadLockFile(host, dir.filePath("empty.fus"), lock));
    EXPECT_EQ(lock, "");

    // A first line within the kept prefix; the second line is ignored.
    const qsizetype fill = kBitFileKeptBytes - 8;
    Put("long.fus", "12" + QByteArray(fill, 'A') + "EF\r\nGG");
    ASSERT_TRUE(LoadFuseFile(host, dir.filePath("long.fus"), fuses));
    EXPECT_EQ(fuses, (FuseTexts{"12", "AA", "EF"}));

    // Beyond the prefix nothing is read: the line counts as cut there, also
    // in the middle of a double-byte character ("表" = 95 5C).
    const QByteArray tail = QByteArray(3 << 20, 'B') + "EF\r\n";
    Put("big.fus", "12" + QByteArray(kBitFileKeptBytes - 4, 'A') + "E\x95\x5c" + tail);
    ASSERT_TRUE(LoadFuseFile(host, dir.filePath("big.fus"), fuses));
    EXPECT_EQ(fuses, (FuseTexts{"12", "AA", "AE"}));
    Put("big.fus", "12" + QByteArray(kBitFileKeptBytes - 5, 'A') + "E\x95\x5c" + tail);
    ASSERT_TRUE(LoadFuseFile(host, dir.filePath("big.fus"), fuses));
    EXPECT_EQ(fuses, (FuseTexts{"12", "AA", "E" + U("表")}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(BitFilesFileTest, LoadFailureLeavesTextsAlone) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    // A device node is refused unopened: /dev/zero would give a line of NULs.
    for (const QString& path :
         {dir.filePath("missing.fus"), dir.filePath("folder"), QString(), QString("/dev/zero")}) {
        host.messages.clear();
        FuseTexts fuses{"1", "2", "3"};
        EXPECT_FALSE(LoadFuseFile(host, path, fuses));
        EXPECT_EQ(fuses, (FuseTexts{"1", "2", "3"}));
        QString lock = "L";
        EXPECT_FALSE(LoadLockFile(host, path, lock));
        EXPECT_EQ(lock, "L");
        // Named, where there is a name.
        const std::string named = text::kFileOpenFailed + (path.isEmpty() ? "" : ": " + path.toStdString());
        EXPECT_EQ(host.Texts(), std::vector<std::string>(2, named));
    }
}

TEST_F(BitFilesFileTest, SaveFailureKeepsWhatWasThere) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    Put("folder/inside", "x");
    const std::pair<QString, const char*> targets[] = {
        {dir.filePath("missing/a.fus"), text::kFileCreateFailed},
        {dir.filePath("folder"), text::kSaveNotAFile},
        {QString(), text::kFileCreateFailed}};
    for (const auto& [path, message] : targets) {
        host.messages.clear();
        EXPECT_FALSE(SaveFuseFile(host, path, {"FF", "D9", "E1"}));
        EXPECT_FALSE(SaveLockFile(host, path, "FC"));
        EXPECT_EQ(host.Texts(), std::vector<std::string>(2, message));
    }
    EXPECT_EQ(ReadAll("folder/inside"), QByteArray("x"));

    // A write that fails half-way leaves the old file as it was.
    Put("old.fus", "OLD");
    host.messages.clear();
    {
        test::FileSizeLimit limit(4);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(SaveFuseFile(host, dir.filePath("old.fus"), {"FF", "D9", "E1"}));
    }
    EXPECT_EQ(host.Texts(), std::vector<std::string>{text::kFileCreateFailed});
    EXPECT_EQ(ReadAll("old.fus"), QByteArray("OLD"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.fus"});
}

}  // namespace
}  // namespace oriole
