// End-to-end runs of oriole-cli: exit statuses, where the messages go, and
// conversions cross-checked with an independent tool (srecord's srec_cmp).

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include "support/CliRun.h"

namespace {

using oriole::test::CliRun;
using oriole::test::RunCli;

class CliTest : public ::testing::Test {
protected:
    QString Write(const char* name, const QByteArray& content) {
        return oriole::test::WriteFile(m_dir, name, content);
    }
    QString Path(const char* name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

TEST_F(CliTest, DevicesListsTheWholeCatalogue) {
    const CliRun r = RunCli({"devices"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    // Header plus one line per device.
    EXPECT_EQ(r.out.count('\n'), 65);
    EXPECT_TRUE(r.out.contains("ATmega328P"));
    EXPECT_TRUE(r.out.contains("1E 95 0F"));
    EXPECT_TRUE(r.out.contains("AT90USB1286/1287"));
}

struct UsageCase {
    QStringList args;
    int status;
};

TEST_F(CliTest, UsageErrorsAndHelp) {
    const QString hex = Write("a.hex", ":00000001FF\r\n");
    const UsageCase cases[] = {
        {{}, 2},
        {{"frobnicate"}, 2},
        {{"--help"}, 0},
        {{"devices", "--help"}, 0},
        {{"devices", "extra"}, 2},
        {{"devices", "--bogus"}, 2},
        {{"image"}, 2},
        {{"image", "info", "--help"}, 0},
        {{"image", "convert", "--help"}, 0},
        {{"image", "info"}, 2},
        {{"image", "info", hex, "--capacity", "abc"}, 2},
        {{"image", "info", hex, "--capacity", "0x2000000"}, 2},
        {{"image", "convert", hex, Path("b.hex")}, 2},
        {{"image", "convert", hex, Path("b.hex"), "--format", "elf"}, 2},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString();
    }
    // The option parser's own words come in Japanese, like the tool's.
    const CliRun bogus = RunCli({"devices", "--bogus"});
    EXPECT_TRUE(bogus.err.contains(QString::fromUtf8("未知のオプション"))) << bogus.err.toStdString();
    EXPECT_TRUE(RunCli({"devices", "--help"}).out.contains(QString::fromUtf8("オプション:")));
}

TEST_F(CliTest, InfoReportsTheLoadersAddresses) {
    const QString hex = Write("a.hex",
                              ":0401000001020304F1\r\n"
                              ":00000001FF\r\n");
    CliRun r = RunCli({"image", "info", hex});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("0x00000104")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("0x00000100"));
    EXPECT_TRUE(r.out.contains("0x00000103"));

    // Data in the very last cell: its address, and a length one past 32 bits.
    r = RunCli({"image", "info", Write("top.hex", ":02000004FFFFFC\r\n:01FFFF00AA57\r\n:00000001FF\r\n")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("最高アドレス: 0xFFFFFFFF"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QString::fromUtf8("使用長: 0x100000000 (4294967296)")));

    // With a capacity too small for the data: the loader's size message.
    r = RunCli({"image", "info", hex, "--capacity", "0x100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("ファイルデータがデバイスのサイズを越えています。")))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliTest, ConvertNamesTheSizeMessageOfTheInputFormat) {
    // Data at 32 MB, beyond any image.
    const struct {
        const char* name;
        QByteArray content;
        const char* message;
    } cases[] = {
        {"far.srec", "S30602000000AA4D\r\nS70500000000FA\r\n", "データがデバイスのサイズを越えています。"},
        {"far.hex", ":020000040200F8\r\n:01000000AA55\r\n:00000001FF\r\n",
         "ファイルデータがデバイスのサイズを越えています。"},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCli({"image", "convert", Write(c.name, c.content), Path("out.hex"), "--format", "ihex"});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err.trimmed(), QString::fromUtf8(c.message)) << r.err.toStdString();
    }
}

struct FailureCase {
    const char* content;
    const char* message;  // on standard error
};

TEST_F(CliTest, InfoFailuresPrintOneMessageAndExitOne) {
    const FailureCase cases[] = {
        {":0401000001020304F2\r\n:00000001FF\r\n", "チェックサムエラー"},
        {":0401000001020304F1\r\n\r\n:00000001FF\r\n", "データフォーマットが不正です。"},
        {"hello\r\n", "ファイルの形式を認識できません"},
        {":0401000001020304F1\r\n", "ファイルに終了レコードがありません。"},
    };
    for (const auto& c : cases) {
        const QString path = Write("bad.hex", c.content);
        const CliRun r = RunCli({"image", "info", path});
        EXPECT_EQ(r.status, 1) << c.content;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
    const CliRun missing = RunCli({"image", "info", Path("missing.hex")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QString::fromUtf8("ファイルを開くことができません。")));
}

TEST_F(CliTest, ConvertFillsGapsAndAgreesWithSrecord) {
    // Two records with a gap; the converted file carries the gap as 0xFF only
    // where a 16-byte block holds some data.
    const QString hex = Write("in.hex",
                              ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                              ":02002000AA55DF\r\n"
                              ":00000001FF\r\n");
    CliRun r = RunCli({"image", "convert", hex, Path("out.srec"), "--format", "srec"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = RunCli({"image", "convert", Path("out.srec"), Path("back.hex"), "--format", "ihex"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    QFile back(Path("back.hex"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    const QByteArray text = back.readAll();
    EXPECT_TRUE(text.startsWith(":10000000000102030405060708090A0B0C0D0E0F78\r\n"));
    EXPECT_TRUE(text.contains(":10002000AA55FFFFFFFFFFFFFFFFFFFFFFFFFFFF"));
    EXPECT_TRUE(text.endsWith(":00000001FF"));
    // The block at 0x10 holds only 0xFF and is left out.
    EXPECT_FALSE(text.contains(":10001000"));

    const QString cmp = QStandardPaths::findExecutable("srec_cmp");
    if (cmp.isEmpty()) GTEST_SKIP() << "srec_cmp (package srecord) not installed";
    QProcess p;
    p.start(cmp, {Path("out.srec"), "-motorola", Path("back.hex"), "-intel"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

}  // namespace
