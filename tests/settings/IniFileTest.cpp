#include "settings/IniFile.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <limits>
#include <string>
#include <vector>

#include "base/FileNode.h"
#include "base/TextCodec.h"
#include "image/FileSizeLimit.h"
#include "res/Texts.h"

namespace oriole {
namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Bytes of a literal that may hold NUL.
template <size_t N>
QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

CIniFile Parsed(QByteArrayView bytes) {
    CIniFile ini;
    EXPECT_TRUE(ini.Parse(bytes));
    return ini;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// ---- Reading -------------------------------------------------------------

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;  // "<def>" stands for the default
};

TEST(IniFileRead, FindsValuesAsWindowsDoes) {
    const ReadCase cases[] = {
        {"capital R found by the plain spelling", "[Calibration]\r\nCalibRationFreq=8000000\r\n",
         "Calibration", "CalibrationFreq", "8000000"},
        {"lower case by hand", "[calibration]\r\ncalibrationfreq=1\r\n", "CALIBRATION",
         "CalibRationFreq", "1"},
        {"missing key", "[A]\r\nk=1\r\n", "A", "j", "<def>"},
        {"missing section", "[A]\r\nk=1\r\n", "B", "k", "<def>"},
        {"empty value is a value", "[A]\r\nk=\r\n", "A", "k", ""},
        {"blanks around everything", "  [ Device ]  \r\n\t LastAVR  =  ATmega8 \t\r\n", "Device",
         "LastAVR", "ATmega8"},
        {"LF only", "[A]\nk=1\nj=2", "A", "j", "2"},
        {"double quotes dropped", "[A]\r\nk=\"C:\\a b.hex\"\r\n", "A", "k", "C:\\a b.hex"},
        {"single quotes dropped", "[A]\r\nk= 'x y' \r\n", "A", "k", "x y"},
        {"unpaired quote kept", "[A]\r\nk=\"x\r\n", "A", "k", "\"x"},
        {"'=' inside the value", "[A]\r\nk=a=b\r\n", "A", "k", "a=b"},
        {"first section of a name wins", "[A]\r\nk=1\r\n[a]\r\nk=2\r\nj=3\r\n", "A", "k", "1"},
        {"keys of the second duplicate are not seen", "[A]\r\nk=1\r\n[a]\r\nj=3\r\n", "A", "j",
         "<def>"},
        {"first key of a name wins", "[A]\r\nk=1\r\nK=2\r\n", "A", "k", "1"},
        {"comment is not a key", "[A]\r\n;k=9\r\n", "A", ";k", "<def>"},
        {"key before any section is not seen", "k=1\r\n[A]\r\n", "A", "k", "<def>"},
        {"key of the next section is not seen", "[A]\r\n[B]\r\nk=1\r\n", "A", "k", "<def>"},
        {"junk after the section name", "[A] ; note\r\nk=1\r\n", "A", "k", "1"},
        {"'[' without ']' is junk, not a section", "[A]\r\n[B\r\nk=1\r\n", "A", "k", "1"},
        {"NUL bytes stay in the value", Bytes("[A]\r\nk=a\0b\r\n"), "A", "k",
         QString::fromLatin1("a\0b", 3)},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CIniFile ini = Parsed(c.file);
        EXPECT_EQ(ini.GetString(U(c.section), U(c.key), QStringLiteral("<def>")), c.expected);
    }
}

TEST(IniFileRead, ShiftJisNamesAreNotFoldedOrSplitInsideCharacters) {
    // ゾ is 83 5D: its second byte is ']', which must not close the section
    // name. ア (83 41) and ヂ (83 61) differ only by a second byte that looks
    // like 'A' and 'a', which must not be folded.
    const CIniFile ini = Parsed(ToShiftJis(U("[ゾーン]\r\nア=1\r\n")));
    EXPECT_EQ(ini.GetString(U("ゾーン"), U("ア"), U("-")), U("1"));
    EXPECT_EQ(ini.GetString(U("ゾーン"), U("ヂ"), U("-")), U("-"));
}

TEST(IniFileRead, ValuesAndDefaultsAreCutTo259Bytes) {
    const QByteArray longAscii(300, 'x');
    const QString kanji = QString(200, QChar(0x4FDD));  // 保, two bytes each
    CIniFile ini = Parsed("[A]\r\nascii=" + longAscii + "\r\nkanji=" + ToShiftJis(kanji) +
                          "\r\nmixed=x" + ToShiftJis(kanji) + "\r\n");
    EXPECT_EQ(ini.GetString(U("A"), U("ascii"), {}), QString(259, QLatin1Char('x')));
    // 129 characters = 258 bytes: the 130th would straddle the limit.
    EXPECT_EQ(ini.GetString(U("A"), U("kanji"), {}), kanji.left(129));
    EXPECT_EQ(ini.GetString(U("A"), U("mixed"), {}), U("x") + kanji.left(129));

    EXPECT_EQ(ini.GetString(U("A"), U("none"), QString(300, QLatin1Char('d'))),
              QString(259, QLatin1Char('d')));
    EXPECT_EQ(ini.GetString(U("A"), U("none"), U("abc \t ")), U("abc"));
}

TEST(IniFileRead, NumbersAreReadLeniently) {
    const CIniFile ini = Parsed(
        "[N]\r\na=  42\r\nb=-17x\r\nc=abc\r\nd=\r\ne=99999999999\r\nf=+8\r\n"
        "h1=7ff\r\nh2=000007FF\r\nh3=zz\r\nh4= 1A2b\r\n");
    const struct {
        const char* key;
        int32_t dec;
        uint32_t hex;
    } cases[] = {
        {"a", 42, 0x42},
        {"b", -17, 0},
        {"c", 0, 0xABC},
        {"d", 0, 0},
        {"e", std::numeric_limits<int32_t>::max(), 0x99999999},
        {"f", 8, 0},
        {"h1", 7, 0x7FF},
        {"h2", 7, 0x7FF},
        {"h3", 0, 0},
        {"h4", 1, 0x1A2B},
        {"missing", -5, 0xDEAD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(ini.GetInt(U("N"), U(c.key), -5), c.dec);
        EXPECT_EQ(ini.GetHex(U("n"), U(c.key), 0xDEAD), c.hex);
    }
}

// ---- Writing -------------------------------------------------------------

struct Write {
    const char* section;
    const char* key;
    const char* value;
};

struct WriteCase {
    const char* name;
    QByteArray before;
    std::vector<Write> writes;
    QByteArray after;
};

TEST(IniFileWrite, EditsLikeOneKeyAtATimeProfileWrites) {
    const WriteCase cases[] = {
        {"from scratch, keys in write order",
         "",
         {{"A", "k", "1"}, {"B", "x", "2"}, {"A", "j", "3"}},
         "[A]\r\nk=1\r\nj=3\r\n[B]\r\nx=2\r\n"},
        {"value replaced in place, key spelling and blanks before '=' kept",
         "[A]\r\nCalibrationFreq = old\r\nj=2\r\n",
         {{"a", "CalibRationFreq", "new"}},
         "[A]\r\nCalibrationFreq =new\r\nj=2\r\n"},
        {"new key after the last non-blank line, blank lines stay before the next section",
         "[A]\r\nk=1\r\n; note\r\n\r\n\r\n[B]\r\nx=1\r\n",
         {{"A", "j", "2"}},
         "[A]\r\nk=1\r\n; note\r\nj=2\r\n\r\n\r\n[B]\r\nx=1\r\n"},
        {"new key into an empty section",
         "[A]\r\n\r\n[B]\r\n",
         {{"A", "k", "1"}, {"B", "k", "2"}},
         "[A]\r\nk=1\r\n\r\n[B]\r\nk=2\r\n"},
        {"new section at the end, no blank line before it",
         "[A]\r\nk=1\r\n\r\n",
         {{"B", "x", "1"}},
         "[A]\r\nk=1\r\n\r\n[B]\r\nx=1\r\n"},
        {"last line without line end gets one (new section)",
         "[A]\r\nk=1",
         {{"B", "x", "1"}},
         "[A]\r\nk=1\r\n[B]\r\nx=1\r\n"},
        {"last line without line end gets one (new key)",
         "[A]\r\nk=1",
         {{"A", "j", "2"}},
         "[A]\r\nk=1\r\nj=2\r\n"},
        {"replaced last line keeps having no line end",
         "[A]\r\nk=1",
         {{"A", "k", "22"}},
         "[A]\r\nk=22"},
        {"LF lines keep their LF, new lines get CR LF",
         "[A]\nk=1\n",
         {{"A", "k", "5"}, {"A", "j", "2"}},
         "[A]\nk=5\nj=2\r\n"},
        {"duplicate section: writes go to the first",
         "[A]\r\nk=1\r\n[a]\r\nk=2\r\n",
         {{"A", "k", "3"}, {"A", "j", "4"}},
         "[A]\r\nk=3\r\nj=4\r\n[a]\r\nk=2\r\n"},
        {"comments and junk survive byte for byte",
         Bytes("garbage \0\xff line\r\n;c=1\r\n[A]\r\n  weird [line \r\nk=1\r\n\tfoo\n"),
         {{"A", "k", "2"}, {"A", "n", "3"}},
         Bytes("garbage \0\xff line\r\n;c=1\r\n[A]\r\n  weird [line \r\nk=2\r\n\tfoo\nn=3\r\n")},
        {"empty value, and blanks kept as written",
         "",
         {{"A", "k", ""}, {"A", "j", " x "}},
         "[A]\r\nk=\r\nj= x \r\n"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        CIniFile ini = Parsed(c.before);
        for (const Write& w : c.writes) {
            EXPECT_TRUE(ini.WriteString(U(w.section), U(w.key), U(w.value)));
        }
        EXPECT_EQ(ini.Serialize(), c.after);
        // What was written reads back, also after a round trip through bytes.
        const CIniFile again = Parsed(ini.Serialize());
        const Write& last = c.writes.back();
        EXPECT_EQ(again.GetString(U(last.section), U(last.key), U("<def>")),
                  U(last.value).trimmed());
    }
}

TEST(IniFileWrite, TextsAreCodePage932OnDisk) {
    const QString values[] = {U("abc"),
                              U("C:\\dir~\\f.hex"),
                              U("a\x1a\x1c\x7f"
                                "b"),
                              U("保\x7f"),
                              U("ｱｲｳ"),
                              U("保存先アドレス")};
    for (const QString& value : values) {
        SCOPED_TRACE(value.toStdString());
        CIniFile ini;
        EXPECT_TRUE(ini.WriteString(U("A"), U("k"), value));
        EXPECT_EQ(ini.Serialize(), "[A]\r\nk=" + ToShiftJis(value) + "\r\n");
        EXPECT_EQ(ini.GetString(U("A"), U("k"), {}), value);
        EXPECT_EQ(Parsed(ini.Serialize()).GetString(U("a"), U("K"), {}), value);
    }
}

TEST(IniFileWrite, RefusesWhatWouldChangeTheFileStructure) {
    const Write refused[] = {
        {"", "k", "v"},   {"A]", "k", "v"},  {" A", "k", "v"},       {"A\n", "k", "v"},
        {"A", "", "v"},   {"A", "k=j", "v"}, {"A", ";k", "v"},       {"A", "[k]", "v"},
        {"A", "k ", "v"}, {"A", "k\r", "v"}, {"A", "k", "1\r\n[B]"}, {"A", "k", "a\rb"},
    };
    const QByteArray before = "[A]\r\nk=1\r\n";
    CIniFile ini = Parsed(before);
    for (const Write& w : refused) {
        SCOPED_TRACE(std::string(w.section) + "/" + w.key + "=" + w.value);
        EXPECT_FALSE(ini.WriteString(U(w.section), U(w.key), U(w.value)));
        EXPECT_EQ(ini.Serialize(), before);
    }
}

TEST(IniFileWrite, NumbersAreWrittenInDecimalAndHex8) {
    CIniFile ini;
    EXPECT_TRUE(ini.WriteHex8(U("Device"), U("AutoCheck"), 0x7FF));
    EXPECT_TRUE(ini.WriteInt(U("Device"), U("SysFreq"), -5));
    EXPECT_TRUE(ini.WriteHex8(U("Device"), U("Mask"), 0xDEADBEEF));
    EXPECT_TRUE(ini.WriteInt(U("Device"), U("Min"), std::numeric_limits<int32_t>::min()));
    EXPECT_EQ(ini.Serialize(),
              "[Device]\r\nAutoCheck=000007FF\r\nSysFreq=-5\r\nMask=DEADBEEF\r\n"
              "Min=-2147483648\r\n");
    EXPECT_EQ(ini.GetHex(U("device"), U("autocheck"), 0), 0x7FFu);
    EXPECT_EQ(ini.GetInt(U("device"), U("min"), 0), std::numeric_limits<int32_t>::min());
}

TEST(IniFileWrite, ManyRewritesKeepTheModelRight) {
    // Rewriting a key leaves the old text behind inside the store until it
    // compacts; whatever it does, every line must stay exactly right, also
    // the lines written once between the rewrites.
    CIniFile ini = Parsed("; head\r\n[A]\r\nk=0\r\n[B]\r\nx=1\r\n");
    const QString big(4000, QLatin1Char('v'));
    QByteArray sectionB = "[B]\r\nx=1\r\n";
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(ini.WriteString(U("A"), U("k"), big + QString::number(i)));
        if (i % 50 == 0) {
            const QByteArray key = "n" + QByteArray::number(i);
            ASSERT_TRUE(ini.WriteInt(U("B"), QString::fromLatin1(key), i));
            sectionB += key + "=" + QByteArray::number(i) + "\r\n";
        }
    }
    EXPECT_EQ(ini.Serialize(), "; head\r\n[A]\r\nk=" + big.toLatin1() + "1999\r\n" + sectionB);
    EXPECT_EQ(ini.GetInt(U("B"), U("n1950"), -1), 1950);
}

TEST(IniFileWrite, RefusesToGrowBeyondTheFileLimit) {
    CIniFile ini;
    const QString half(CIniFile::kMaxFileSize / 2, QLatin1Char('x'));
    EXPECT_TRUE(ini.WriteString(U("A"), U("a"), half));
    EXPECT_FALSE(ini.WriteString(U("A"), U("b"), half));
    EXPECT_FALSE(ini.WriteString(U("B"), U("b"), half));
    EXPECT_TRUE(ini.WriteString(U("A"), U("a"), half));  // same size replaces fine
    EXPECT_EQ(ini.GetString(U("A"), U("b"), U("-")), U("-"));
    EXPECT_LE(ini.Serialize().size(), CIniFile::kMaxFileSize);
}

// ---- Bytes and files -----------------------------------------------------

TEST(IniFileBytes, ParseThenSerializeGivesTheSameBytes) {
    const QByteArray inputs[] = {
        "",
        "\n",
        "\r\n\r\n",
        "[A]\r\nk=1",
        "[A]\nk=1\n\n",
        "a\rb\r\r\n\r",
        Bytes("\0\0\n[\0]\n=\0\n"),
        ToShiftJis(U("[ゾ]\r\n保存=先\r\n")),
        QByteArray("\x81", 1),
    };
    for (const QByteArray& input : inputs) {
        EXPECT_EQ(Parsed(input).Serialize(), input) << input.toHex().constData();
    }
}

TEST(IniFileBytes, HostileInputIsReadInFull) {
    // A million lines, one megabyte-long line and NUL bytes: every key is
    // still found where it is.
    QByteArray text;
    text.reserve(16 * 1024 * 1024 / 4);
    for (int i = 0; i < 1000000; ++i) text.append("[S]\n");
    text.append("[Last]\nlong=" + QByteArray(1 << 20, 'y') + "\nk=1\n");
    CIniFile ini = Parsed(text);
    EXPECT_EQ(ini.GetString(U("last"), U("long"), {}), QString(259, QLatin1Char('y')));
    EXPECT_EQ(ini.GetInt(U("last"), U("k"), 0), 1);
    EXPECT_TRUE(ini.WriteInt(U("S"), U("first"), 7));
    EXPECT_EQ(ini.Serialize().size(), text.size() + 9);
    EXPECT_TRUE(ini.Serialize().startsWith("[S]\nfirst=7\r\n[S]\n"));

    CIniFile tooBig;
    EXPECT_FALSE(tooBig.Parse(QByteArray(CIniFile::kMaxFileSize + 1, '\n')));
    EXPECT_TRUE(tooBig.Serialize().isEmpty());
}

TEST(IniFileDisk, JapaneseValueIsShiftJisWithCrLfOnDisk) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ORIOLE.ini");
    CIniFile ini;
    EXPECT_FALSE(ini.Load(path));  // missing: empty, every default
    EXPECT_EQ(ini.GetString(U("Calibration"), U("WriteMemory"), U("保存先アドレス")),
              U("保存先アドレス"));
    EXPECT_TRUE(ini.WriteString(U("Calibration"), U("WriteMemory"), U("保存先アドレス")));
    EXPECT_TRUE(ini.WriteString(U("Calibration"), U("Verify"), U("1")));
    ASSERT_TRUE(ini.Save(path));

    EXPECT_EQ(ReadAll(path),
              "[Calibration]\r\nWriteMemory=\x95\xdb\x91\xb6\x90\xe6\x83\x41\x83\x68\x83\x8c"
              "\x83\x58\r\nVerify=1\r\n");
    CIniFile loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(loaded.GetString(U("calibration"), U("writememory"), {}), U("保存先アドレス"));
}

TEST(IniFileDisk, TextsShiftJisCannotHoldTurnTheFileIntoUtf16) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ORIOLE.ini");
    const QString paths[] = {U("/home/jos\u00e9/fw.hex"), U("/data/M\u00fcller/\u00fc.hex"),
                             U("~/\u20acuro.mot"), U("/tmp/\U0001F600.hex")};
    CIniFile ini;
    ASSERT_TRUE(ini.Parse(ToShiftJis(U("; メモ\r\n[File]\r\nFlash=保存.hex\r\n"))));
    for (const QString& value : paths) {
        ASSERT_TRUE(ini.WriteString(U("File"), value.right(6), value));
        ASSERT_TRUE(ini.WriteString(U("\u00dcbersicht"), U("k\u00e9y"), value));
    }
    ASSERT_TRUE(ini.Save(path));
    const QByteArray disk = ReadAll(path);
    ASSERT_TRUE(disk.startsWith("\xFF\xFE"));
    QString expected = U("; メモ\r\n[File]\r\nFlash=保存.hex\r\n");
    for (const QString& value : paths) expected += value.right(6) + '=' + value + "\r\n";
    expected += U("[\u00dcbersicht]\r\nk\u00e9y=") + paths[3] + "\r\n";
    EXPECT_EQ(QString(QStringDecoder(QStringConverter::Utf16LE).decode(disk.sliced(2))), expected);

    CIniFile loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(loaded.GetString(U("file"), U("FLASH"), {}), U("保存.hex"));
    for (const QString& value : paths) EXPECT_EQ(loaded.GetString(U("File"), value.right(6), {}), value);
    EXPECT_EQ(loaded.GetString(U("\u00dcbersicht"), U("k\u00e9y"), {}), paths[3]);
    // A Unicode file stays Unicode, also for texts that would fit.
    ASSERT_TRUE(loaded.WriteString(U("File"), U("Flash"), U("a.hex")));
    EXPECT_TRUE(loaded.Serialize().startsWith("\xFF\xFE"));

    // A file with a UTF-8 byte-order mark is read as Unicode and kept so.
    const QByteArray utf8 = "\xEF\xBB\xBF[File]\r\nEeprom=" + paths[1].toUtf8() + "\r\n";
    CIniFile fromUtf8 = Parsed(utf8);
    EXPECT_EQ(fromUtf8.GetString(U("File"), U("Eeprom"), {}), paths[1]);
    EXPECT_EQ(fromUtf8.Serialize(), utf8);
}

TEST(IniFileDisk, FailedLoadsGiveAnEmptyStore) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString big = dir.filePath("big.ini");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(CIniFile::kMaxFileSize + 1));
    }
    const QString paths[] = {dir.filePath("missing.ini"), dir.path(), big};
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        CIniFile ini = Parsed("[A]\r\nk=1\r\n");
        EXPECT_FALSE(ini.Load(path));
        EXPECT_EQ(ini.GetString(U("A"), U("k"), U("def")), U("def"));
        EXPECT_TRUE(ini.Serialize().isEmpty());
    }
}

// A settings file that is not ours: refused for reading with its reason,
// without being opened (a FIFO would block, a device might act), and never
// written, so that nothing of the user's is replaced.
TEST(IniFileDisk, FilesThatAreNotOursAreRefusedWithTheirReason) {
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    const auto native = [&](const char* name) { return QFile::encodeName(path(name)); };
    const auto sized = [&](const char* name, qint64 size) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
    };
    ASSERT_EQ(mkfifo(native("fifo").constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_EQ(symlink("loop", native("loop").constData()), 0);
    sized("huge.ini", 2 * CIniFile::kMaxFileSize + 3);  // more than even a UTF-16 file may take
    sized("big.ini", CIniFile::kMaxFileSize + 1);
    // At the limit and one byte over it, in each encoding: a text of `size`
    // bytes whose last line holds the key, so that a file read whole shows it.
    const auto text = [](qsizetype size) {
        const QByteArray tail = "[A]\r\nk=1\r\n";
        return ";" + QByteArray(size - tail.size() - 3, 'x') + "\r\n" + tail;
    };
    const auto put = [&](const char* name, const QByteArray& bytes) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    };
    const auto utf16 = [](const QByteArray& ascii) {
        QByteArray out("\xFF\xFE");
        for (const char c : ascii) out.append(c).append('\0');
        return out;
    };
    put("edge.ini", text(CIniFile::kMaxFileSize));
    put("over.ini", text(CIniFile::kMaxFileSize + 1));
    put("edge-utf8.ini", "\xEF\xBB\xBF" + text(CIniFile::kMaxFileSize));
    put("over-utf8.ini", "\xEF\xBB\xBF" + text(CIniFile::kMaxFileSize + 1));
    put("edge-utf16.ini", utf16(text(CIniFile::kMaxFileSize)));  // also the most bytes read
    put("over-utf16.ini", utf16(text(CIniFile::kMaxFileSize + 1)));
    QFile ok(path("ok.ini"));
    ASSERT_TRUE(ok.open(QIODevice::WriteOnly) && ok.write("[A]\r\nk=1\r\n") == 10);
    ok.close();
    ASSERT_EQ(symlink("ok.ini", native("link.ini").constData()), 0);
    const bool root = geteuid() == 0;  // only root may make a device node
    if (root) {
        ASSERT_EQ(mknod(native("null").constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(symlink("null", native("ORIOLE.ini").constData()), 0);
    }
    const struct {
        const char* name;
        const char* refusal;  // null: read, or missing
        bool loads;
        bool node;  // no file at all: a save is refused too
    } cases[] = {
        {"missing.ini", nullptr, false, false},
        {"link.ini", nullptr, true, false},
        {"fifo", text::kSettingsNotRegular, false, true},
        {"folder", text::kSettingsNotRegular, false, true},
        {"ORIOLE.ini", text::kSettingsNotRegular, false, true},  // a link to a device node
        {"huge.ini", text::kSettingsTooLarge, false, false},
        {"big.ini", text::kSettingsTooLarge, false, false},
        {"edge.ini", nullptr, true, false},
        {"over.ini", text::kSettingsTooLarge, false, false},
        {"edge-utf8.ini", nullptr, true, false},
        {"over-utf8.ini", text::kSettingsTooLarge, false, false},
        {"edge-utf16.ini", nullptr, true, false},
        {"over-utf16.ini", text::kSettingsTooLarge, false, false},
        {"loop", text::kSettingsUnreadable, false, false},
    };
    for (const auto& c : cases) {
        if (!root && c.name == std::string("ORIOLE.ini")) continue;
        SCOPED_TRACE(c.name);
        CIniFile ini = Parsed("[A]\r\nk=old\r\n");
        const char* refusal = "unset";
        EXPECT_EQ(ini.Load(path(c.name), &refusal), c.loads);
        EXPECT_STREQ(refusal, c.refusal);
        EXPECT_EQ(ini.GetString(U("A"), U("k"), U("def")), c.loads ? U("1") : U("def"));
        if (!c.node) continue;
        const NodeKind kind = NodeKindOf(path(c.name));
        const char* fault = nullptr;
        EXPECT_FALSE(ini.Save(path(c.name), &fault));
        EXPECT_STREQ(fault, text::kSaveNotAFile);
        EXPECT_EQ(NodeKindOf(path(c.name)), kind);
    }
}

TEST(IniFileDisk, FailedSaveKeepsTheOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("a.ini");
    CIniFile ini;
    ASSERT_TRUE(ini.WriteString(U("A"), U("k"), U("old")));
    ASSERT_TRUE(ini.Save(path));
    const QByteArray old = ReadAll(path);

    ASSERT_TRUE(ini.WriteString(U("A"), U("k"), QString(4096, QLatin1Char('n'))));
    EXPECT_FALSE(ini.Save(dir.filePath("missing/a.ini")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_FALSE(ini.Save(dir.filePath("sub")));
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
    {
        // The disk gives up half-way through the new file.
        test::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(ini.Save(path));
    }
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.ini"});
}

}  // namespace
}  // namespace oriole
