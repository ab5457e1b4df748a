#include "base/TextCodec.h"

#include <gtest/gtest.h>

#include "base/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace oriole {
namespace {

TEST(TextCodec, ShiftJisRoundTrip) {
    const QString text = QString::fromUtf8("保存先アドレス");
    const QByteArray sjis = ToShiftJis(text);
    // 7 double-byte characters.
    EXPECT_EQ(sjis.size(), 14);
    EXPECT_EQ(sjis.left(2), QByteArray("\x95\xdb", 2));  // 保
    EXPECT_EQ(FromShiftJis(sjis), text);
}

TEST(TextCodec, HalfWidthKatakanaIsOneByte) {
    const QByteArray sjis = ToShiftJis(QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ"));
    EXPECT_EQ(sjis, QByteArray("\xca\xde\xb0\xbc\xde\xae\xdd"));
}

TEST(TextCodec, CharactersOutsideTheCodePageBecomeAQuestionMark) {
    const struct {
        const char* text;
        QByteArray sjis;
    } cases[] = {
        {"jos\u00e9", "jos?"},
        {"M\u00fcller/\u00fc", "M?ller/?"},
        {"\u20acuro", "?uro"},
        {"a\U0001F600b", "a?b"},                     // one character, two UTF-16 units
        {"\u00a5\u8868", QByteArray("?\x95\x5c")},  // a look-alike is no mapping
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(ToShiftJis(text), c.sjis) << c.text;
        EXPECT_FALSE(ToShiftJisExact(text).has_value()) << c.text;
    }
    const QString fits = QString::fromUtf8("C:\\保存\\ｱ.hex");
    ASSERT_TRUE(ToShiftJisExact(fits).has_value());
    EXPECT_EQ(FromShiftJis(*ToShiftJisExact(fits)), fits);
}

TEST(AtomicFile, ReplacesWholeFileOrNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("a.txt");
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("second"));

    // A target inside a folder that does not exist cannot be saved, and a
    // folder cannot be replaced by a file.
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("missing/b.txt"), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("sub"), "x"));
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
    EXPECT_FALSE(WriteFileAtomically(QString(), "x"));
}

}  // namespace
}  // namespace oriole

namespace oriole {
namespace {

// Code page 932 maps every byte below 0x80 to the same code point; mixed text
// with control codes and double-byte characters (whose trail bytes can look
// like ASCII, as in ソ = 83 5C) survives both ways.
TEST(TextCodec, AsciiAndControlCodesMapToThemselves) {
    QByteArray all;
    for (int b = 0; b < 0x80; ++b) all.append(static_cast<char>(b));
    const QString decoded = FromShiftJis(all);
    ASSERT_EQ(decoded.size(), 0x80);
    for (int b = 0; b < 0x80; ++b) EXPECT_EQ(decoded[b].unicode(), b) << b;
    EXPECT_EQ(ToShiftJis(decoded), all);

    const QString mixed = QString::fromUtf8("a\x1a" "ソ\x7f" "表b\x1c" "ｱ");
    const QByteArray sjis = ToShiftJis(mixed);
    EXPECT_EQ(sjis, QByteArray("a\x1a\x83\x5c\x7f\x95\x5c" "b\x1c\xb1"));
    EXPECT_EQ(FromShiftJis(sjis), mixed);
}

// Text from a file anybody may have written, on its way to a terminal: only
// what a terminal takes as plain text stays.
TEST(TextCodec, EscapeControlsLeavesOnlyPlainText) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"open \"ORIOLE\" = 0\t|A.|", "open \"ORIOLE\" = 0\t|A.|"},
        {"\x1b[2J\x07\r\n\x7f", "\\x1B[2J\\x07\\x0D\\x0A\\x7F"},
        {"書き込み é", "書き込み é"},
        {"\xc2\x9b" "31m", "\\xC2\\x9B31m"},     // C1 CSI
        {"\xff\xfe\xc3", "\\xFF\\xFE\\xC3"},     // never UTF-8; a sequence cut short
        {"\xc0\xaf \xed\xa0\x80", "\\xC0\\xAF \\xED\\xA0\\x80"},  // an overlong form, a surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},              // past U+10FFFF
        {"\xf0\x9f\x94\x8c", "\xf0\x9f\x94\x8c"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace oriole
