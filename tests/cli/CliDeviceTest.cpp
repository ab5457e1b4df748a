// oriole-cli's device commands end to end: a simulated ATmega328P programmed
// in one invocation, in-process (--writer=sim) and through oriole-sim on a
// pseudo-terminal (--writer=serial), exit statuses, the batch stopping at its
// first failure, questions without a terminal, and Ctrl-C as Cancel.

#include <gtest/gtest.h>
#include <signal.h>

#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include "res/Texts.h"
#include "support/CliRun.h"

namespace {

using oriole::test::CliRun;
using oriole::test::RunCli;
using oriole::test::Finish;

class CliDeviceTest : public ::testing::Test {
protected:
    QString Write(const char* name, const QByteArray& content) {
        return oriole::test::WriteFile(m_dir, name, content);
    }
    QByteArray Read(const char* name) {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString Path(const char* name) const { return m_dir.filePath(name); }

    // A small program at 0x0000 and 0x0100, a gap between.
    QString Program() {
        return Write("prog.hex",
                     ":100000000C9434000C9446000C9446000C9446006A\r\n"
                     ":0401000001020304F1\r\n"
                     ":00000001FF\r\n");
    }

    // Everything the device offers, in one batch.
    QStringList FullBatch() {
        const QString eeprom = Write("data.hex", ":0300100011223387\r\n:00000001FF\r\n");
        return {"--yes",        "detect",        "erase",          "write-flash",
                Program(),      "--verify",      "read-flash",     Path("back.hex"),
                "write-eeprom", eeprom,          "--verify",       "read-eeprom",
                Path("e.srec"), "--format",      "srec",           "write-fuses",
                "FF:DA:E2",     "--verify",      "read-fuses",     "write-lock",
                "CF",           "--verify",      "read-lock",      "write-calibration",
                "A5",           "eeprom",        "20",             "--verify",
                "verify-flash", Program()};
    }

    void CheckFullBatch(const CliRun& r) {
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        // The fuses are read once, right after the run's detection and
        // before its first command, so that a clock change is refused there.
        const QStringList expected = {
            "現在のヒューズ (ATmega328P): Ext: FF  High: D9  Low: 62",
            "ATmega328P",
            "デバイスのデータを消去しました。",
            "FLASH ベリファイ OK!",
            "EEPROM ベリファイ OK!",
            "ヒューズ ベリファイ OK!",
            "Ext: FF  High: DA  Low: E2",
            "ロックビット ベリファイ OK!",
            "Lock: CF",
            "校正値 ベリファイ OK!",
            "FLASH ベリファイ OK!",
        };
        EXPECT_EQ(lines, expected) << r.out.toStdString();
        // Only the erase question went to standard error, answered by --yes.
        EXPECT_TRUE(r.err.contains("[yes]")) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("ERROR")) << r.err.toStdString();
        const QByteArray back = Read("back.hex");
        EXPECT_TRUE(back.startsWith(":100000000C9434000C9446000C9446000C9446006A\r\n")) << back.constData();
        EXPECT_TRUE(back.contains(":1001000001020304FFFFFFFFFFFFFFFFFFFFFFFFF1")) << back.constData();
        EXPECT_TRUE(Read("e.srec").contains("S11300101122")) << Read("e.srec").constData();
    }

    QTemporaryDir m_dir;
};

TEST_F(CliDeviceTest, ProgramsASimulatedAtmega328pInOneInvocation) {
    QStringList args = {"--writer=sim:ATmega328P,fast"};
    args << FullBatch();
    CheckFullBatch(RunCli(args));
}

TEST_F(CliDeviceTest, ProgramsThroughOrioleSimOnTheSerialBackend) {
    QProcess sim;
    sim.start(QStringLiteral(ORIOLE_SIM_EXE), {"ATmega328P,timing=off"});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray path;
    while (!path.contains('\n') && sim.waitForReadyRead(10000)) path += sim.readAllStandardOutput();
    ASSERT_TRUE(path.contains('\n'));
    path = path.left(path.indexOf('\n'));

    QStringList args = {"--writer", "serial:" + QString::fromLocal8Bit(path)};
    args << FullBatch();
    CheckFullBatch(RunCli(args));
    kill(static_cast<pid_t>(sim.processId()), SIGINT);
    sim.waitForFinished(10000);
}

// avr-gcc's ELF straight into both memories, and FLASH read back raw equals
// avr-objcopy's binary; the image commands take the ELF too.
TEST_F(CliDeviceTest, ElfProgramsBothMemoriesAndBinaryReadsBack) {
#ifndef ORIOLE_AVR_DEMO_DIR
    GTEST_SKIP() << "avr-gcc was not found when the tests were built";
#else
    const QString dir = QStringLiteral(ORIOLE_AVR_DEMO_DIR);
    const QString elf = dir + "/demo.elf";
    const CliRun r = RunCli({"--writer=sim:ATmega328P,fast", "--yes", "erase", "write-flash", elf,
                             "--verify", "write-eeprom", elf, "--verify", "read-flash",
                             Path("back.bin"), "--format", "bin", "read-eeprom", Path("e.bin"),
                             "--format=bin", "--all"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("FLASH ベリファイ OK!") && r.out.contains("EEPROM ベリファイ OK!"));
    QFile objcopy(dir + "/flash.bin");
    ASSERT_TRUE(objcopy.open(QIODevice::ReadOnly));
    EXPECT_EQ(Read("back.bin"), objcopy.readAll());
    EXPECT_EQ(Read("e.bin").size(), 1024);  // --all: the whole EEPROM

    EXPECT_EQ(RunCli({"image", "convert", elf, Path("ee.bin"), "--format", "bin", "--eeprom"}).status, 0);
    EXPECT_EQ(Read("ee.bin"), Read("e.bin").left(Read("ee.bin").size()));
    const CliRun info = RunCli({"image", "info", elf, "--eeprom"});
    EXPECT_TRUE(info.out.contains("使用長: 0x00000018")) << info.out.toStdString();
#endif
}

// The command line keeps the power a settings file does not have: a library
// named by --writer is loaded (the fake D2XX library marks its loading) and
// reaches its box.
TEST_F(CliDeviceTest, WriterOptionLoadsTheLibraryItNames) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORIOLE_FAKE_FTD2XX_MARK"), Path("mark"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ORIOLE_CLI_PATH), {"--writer", "d2xx:" ORIOLE_FAKE_FTD2XX, "detect"});
    const CliRun r = Finish(p);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("ATmega328P\n"));
    EXPECT_EQ(Read("mark"), QByteArray("loaded\n"));
}

// writers asks D2XX's device list too, of the library --writer names; a
// library that does not load adds nothing and is no error.
TEST(CliWriters, ListsTheBoxesInD2xxsOwnList) {
    const QString fake = QStringLiteral("d2xx:" ORIOLE_FAKE_FTD2XX);
    struct Case {
        const char* devices;
        QString spec;
        int status;
        QStringList lines;  // the d2xx lines, in order
    };
    const Case cases[] = {
        {"ORB0000A|ORIOLE Ver.1.00|0x2111;ORB0000B|ORIOLE Ver.1.00|0x2112|1;|Odd\tname\n|0x10",
         fake + ",sn=ORB0000B",
         0,
         {"d2xx\tORB0000A\tORIOLE Ver.1.00\tLocId 0x2111", "d2xx\tORB0000B\tORIOLE Ver.1.00 (in use)\tLocId 0x2112",
          "d2xx\t-\tOdd?name?\tLocId 0x0010"}},
        {"", fake, 0, {}},
        {"ORB0000A", "d2xx:/nonexistent/libftd2xx.so", 0, {}},
        {"ORB0000A", "ftdi,sn=", 2, {}},
    };
    // The writer option after the command, or before it as the device commands take it.
    const auto orders = [](const QString& spec) {
        return std::vector<QStringList>{{"writers", "--writer", spec},
                                        {"--writer", spec, "writers"},
                                        {"--writer=" + spec, "writers"}};
    };
    for (const Case& c : cases) {
        for (const QStringList& args : orders(c.spec)) {
            SCOPED_TRACE(args.join(' ').toStdString());
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ORIOLE_FAKE_FTD2XX_DEVICES"), QString::fromUtf8(c.devices));
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(ORIOLE_CLI_PATH), args);
            const CliRun r = Finish(p);
            EXPECT_EQ(r.status, c.status) << r.err.toStdString();
            EXPECT_EQ(r.err.isEmpty(), c.status == 0) << r.err.toStdString();
            QStringList d2xx;
            for (const QString& line : r.out.split('\n'))
                if (line.startsWith("d2xx\t")) d2xx << line;
            EXPECT_EQ(d2xx.join('\n').toStdString(), c.lines.join('\n').toStdString()) << r.out.toStdString();
        }
    }
}

TEST_F(CliDeviceTest, UsageErrorsExitTwoAndSendNothing) {
    const QString hex = Program();
    const QStringList cases[] = {
        {"--writer=sim:ATmega328P,fast"},                                  // no command
        {"--writer=sim:ATmega328P,fast", "frobnicate"},                    // unknown command
        {"--bogus", "detect"},                                             // unknown option
        {"--device", "ATmega9999", "detect"},                              // unknown device
        {"--clock", "0", "detect"},
        {"--usb-timing", "6", "detect"},
        {"--data-speed", "0", "detect"},
        {"write-flash"},                                                   // missing FILE
        {"write-flash", hex, "--all"},                                     // option of another command
        {"read-flash", Path("x.hex"), "--format", "elf"},
        {"write-fuses", "FF:DA"},
        {"write-fuses", "FF:DA:1E2"},
        {"write-lock", "XY"},
        {"read-calibration", "256"},
        {"write-calibration", "A5", "sram", "10"},
        {"write-calibration", "A5", "flash", "12345G"},
        {"detect", "erase", "--verify"},
    };
    for (const QStringList& args : cases) {
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_EQ(RunCli({"--help-device"}).status, 0);
    EXPECT_EQ(RunCli({"--writer=sim", "--help"}).status, 0);
}

TEST_F(CliDeviceTest, BatchStopsAtTheFirstFailure) {
    // The box is new, its FLASH erased: the verify fails, read-lock never runs.
    const CliRun r = RunCli({"--writer=sim:ATmega328P,fast", "verify-flash", Program(), "read-lock"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("FLASH ベリファイ エラー: 000000")) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("Lock:")) << r.out.toStdString();
}

TEST_F(CliDeviceTest, VerifiesAfterDetectionAndOnlyWhatCanBeRead) {
    const struct {
        QStringList args;
        int status;
        const char* out;  // expected on standard output
        const char* err;  // expected on standard error ("" = nothing)
    } cases[] = {
        // No --device: the write's detection empties the window's fields.
        {{"--writer=sim:ATmega8,timing=off", "write-calibration", "A5", "flash", "1FFF", "--verify"},
         0, "校正値 ベリファイ OK!", ""},
        // Lock bits that can be written but not read back.
        {{"--writer=sim:AT90S8515,fast", "write-lock", "F9", "--verify"},
         0, "ロックビット 書き込み終了。", "このデバイスのロックビットは読み出せないため、ベリファイしていません。"},
        {{"--writer=sim:AT90S8515,fast", "read-lock"}, 1, "", "このデバイスのロックビットは読み出すことができません。"},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCli(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString() + "\n" + r.out.toStdString() + r.err.toStdString());
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.trimmed(), QString::fromUtf8(c.out));
        EXPECT_EQ(r.err.trimmed(), QString::fromUtf8(c.err));
    }
}

// A file's format is told by its content as avrdude tells it: raw binary
// (a byte above 127) under any name but a record format's, value lists of
// data items; text of no format is refused, and so is a HEX file without its
// end record, each message naming the file. A file an earlier command writes
// is read when its turn comes, not the older one there at the start.
TEST_F(CliDeviceTest, WriteFilesAreToldByTheirContent) {
    const QByteArray raw("\x0C\x94\x34\x00\xFF\x01", 6);
    const QString unrecognised = QString::fromUtf8(oriole::text::kFileUnrecognised) + ": FILE";
    const QStringList writeFlash = {"write-flash", "FILE", "--verify"};
    const struct {
        const char* name;
        QByteArray content;  // null: no such file
        QStringList args;    // FILE: the file
        int status;
        QString err;  // all of standard error, FILE: the file
    } cases[] = {
        {"app.raw", raw, writeFlash, 0, ""},
        {"app.dat", raw, writeFlash, 0, ""},
        {"app", raw, writeFlash, 0, ""},
        {"noend.hex", ":0100000022DD\n", writeFlash, 1, "ファイルに終了レコードがありません。: FILE"},
        {"hello.txt", "hello\n", writeFlash, 1, unrecognised},
        {"empty.dat", "", writeFlash, 1, unrecognised},
        {"hello.bin", "hello\n", writeFlash, 0, ""},
        {"raw.hex", raw, writeFlash, 1, unrecognised},
        {"vals.txt", "# two words\n\n0x0C, 0x94 # jmp\n'4' 0\n", writeFlash, 0, ""},
        {"bad.txt", "0x0C, 0x94 # a value list\nzz\n", writeFlash, 1, "値が正しくありません (zz: "},
        {"missing.hex", QByteArray(), writeFlash, 1, "ファイルを開くことができません。: FILE"},
        {"b.hex", ":0100000066AA\n:00000001FF\n",
         {"write-flash", "PROGRAM", "read-flash", "FILE", "verify-flash", "FILE"}, 0, ""},
        {"e.hex", QByteArray(), {"read-eeprom", "FILE", "--all", "verify-eeprom", "FILE"}, 0, ""},
    };
    for (const auto& c : cases) {
        const QString file = c.content.isNull() ? Path(c.name) : Write(c.name, c.content);
        QStringList args = QStringList{"--writer=sim:ATmega328P,timing=off", "--yes"} + c.args;
        args.replaceInStrings("FILE", file).replaceInStrings("PROGRAM", Program());
        const CliRun r = RunCli(args);
        SCOPED_TRACE(std::string(c.name) + "\n" + r.out.toStdString() + r.err.toStdString());
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.contains("ベリファイ OK!"), c.status == 0);
        QString err = c.err;
        if (c.status == 0) EXPECT_TRUE(r.err.trimmed().isEmpty());
        else EXPECT_TRUE(r.err.trimmed().startsWith(err.replace("FILE", file)));
    }
}

TEST_F(CliDeviceTest, QuestionWithoutTerminalIsAnsweredNo) {
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(ORIOLE_CLI_PATH), {"--writer=sim:ATmega328P,fast", "erase", "detect"});
    const CliRun r = Finish(p);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("よろしいですか？ [no]")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
}

TEST_F(CliDeviceTest, FailuresOfTheWriterExitOneWithOneMessage) {
    const struct {
        const char* writer;
        const char* message;
    } cases[] = {
        {"--writer=nonsense", "AVRライタの指定が正しくありません"},
        {"--writer=sim:none", "デバイスがプログラミング命令を受け付けません。"},
        {"--writer=sim:ATmega328P,fast,mute=K", "デバイスまたはAVRライタからの応答がありません。"},
        {"--writer=sim:ATmega328P,fast,wrongack=T",
         "デバイスまたはAVRライタからの応答が正しくありません (94 を待ちましたが 14 を受信しました)。"},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCli({c.writer, "read-fuses"});
        EXPECT_EQ(r.status, 1) << c.writer;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
}

// Every failure is one line on standard error and exit 1; an input that
// cannot be programmed is found before the chip is erased, and output lost
// on the way to standard output is a failure.
TEST_F(CliDeviceTest, FailuresSayWhatWentWrongBeforeTheChipIsTouched) {
    const QString text = Write("text.hex", "hello\r\n");
    const QString big = Write("big.bin", QByteArray(40000, '\x11'));
    const struct {
        QStringList args;
        QString stdoutFile;  // empty: captured
        const char* message;
    } rows[] = {
        {{"--yes", "erase", "write-flash", text}, {}, "ファイルの形式を認識できません"},
        {{"--yes", "erase", "write-flash", Path("missing.hex")}, {}, "ファイルを開くことができません。"},
        {{"--yes", "erase", "write-flash", big}, {}, "ファイルデータがデバイスのサイズを越えています。"},
        {{"--yes", "erase", "write-flash", Write("end.hex", ":00000001FF\r\n")}, {}, "FLASH のデータがありません。"},
        {{"--writer=sim:AT90S2313", "--yes", "write-fuses", "00:00:00", "--verify"}, {},
         "AT90S2313 にはヒューズがありません。"},
        {{"--writer=sim:AT90S2313", "read-fuses"}, {}, "AT90S2313 にはヒューズがありません。"},
        {{"read-fuses"}, "/dev/full", "標準出力に書き込めません"},
        // --device pins the device: another chip is refused before the erase.
        {{"--writer=sim:ATmega328P,fast", "--device", "ATmega168", "--yes", "erase", "write-flash", Program()}, {},
         "別のデバイスです (ATmega328P) (見つかったデバイスのまま実行するには --force を付けてください)"},
    };
    for (const auto& r : rows) {
        QStringList args = r.args;
        if (!args.first().startsWith("--writer")) args.prepend("--writer=sim");
        QProcess p;
        if (!r.stdoutFile.isEmpty()) p.setStandardOutputFile(r.stdoutFile);
        p.start(QStringLiteral(ORIOLE_CLI_PATH), args);
        const CliRun run = Finish(p);
        const std::string what = args.join(' ').toStdString();
        EXPECT_EQ(run.status, 1) << what;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(r.message))) << what << ": " << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << what << ": nothing ran, so nothing was reported: " << run.out.toStdString();
    }
}

// --force goes on with the device found, as avrdude's -F does; the help
// says what --device, --force and --no-auto-detect do.
TEST_F(CliDeviceTest, ForceRunsOnTheDeviceFound) {
    const CliRun r = RunCli({"--writer=sim:ATmega328P,fast", "--device", "ATmega168", "--force", "detect"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "ATmega328P");
    const CliRun help = RunCli({"--writer=sim", "--help"});
    for (const char* option : {"--force", "--no-auto-detect", "--device"})
        EXPECT_TRUE(help.out.contains(QString::fromUtf8(option) + " ")) << option;
}

TEST_F(CliDeviceTest, CtrlCCancelsATransfer) {
    // With the timing model on, reading 128 KB takes half a minute.
    QProcess p;
    p.start(QStringLiteral(ORIOLE_CLI_PATH), {"--writer=sim:ATmega128", "read-flash", Path("all.hex")});
    ASSERT_TRUE(p.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(1500);
    kill(static_cast<pid_t>(p.processId()), SIGINT);
    const CliRun r = Finish(p);
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("all.hex")));
    // One line says why the run ended.
    EXPECT_EQ(r.err, QStringLiteral("oriole-cli: 中断しました。\n"));
}

}  // namespace
