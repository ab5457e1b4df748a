// oriole-cli with avrdude's options: the command lines the Arduino IDE and
// PlatformIO generate, with only the program name, -c and -P changed, run
// one after another against one simulated ATmega328P (oriole-sim on a
// pseudo-terminal, so the chip keeps its contents between invocations); the
// fuse guards of both command forms; avrdude's options and their errors.

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include "res/Texts.h"
#include "support/CliRun.h"

namespace {

using oriole::test::CliRun;
using oriole::test::RunCli;

// One Intel HEX data record.
QByteArray Record(uint32_t address, const QByteArray& data) {
    QByteArray bytes;
    bytes.append(static_cast<char>(data.size()));
    bytes.append(static_cast<char>(address >> 8));
    bytes.append(static_cast<char>(address));
    bytes.append('\0');
    bytes.append(data);
    uint8_t sum = 0;
    for (const char c : bytes) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    bytes.append(static_cast<char>(-sum));
    return ":" + bytes.toHex().toUpper() + "\r\n";
}

class CliAvrdudeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim.start(QStringLiteral(ORIOLE_SIM_EXE), {"ATmega328P,timing=off"});
        ASSERT_TRUE(m_sim.waitForStarted());
        QByteArray path;
        while (!path.contains('\n') && m_sim.waitForReadyRead(10000))
            path += m_sim.readAllStandardOutput();
        ASSERT_TRUE(path.contains('\n'));
        m_port = QString::fromLocal8Bit(path.left(path.indexOf('\n')));
    }
    void TearDown() override {
        kill(static_cast<pid_t>(m_sim.processId()), SIGINT);
        m_sim.waitForFinished(10000);
    }

    QString Write(const char* name, const QByteArray& content) {
        return oriole::test::WriteFile(m_dir, name, content);
    }
    // The values of a memory as avrdude's h format gives them.
    QString Read(const char* memory) {
        const CliRun r = RunCli(
            {"-qq", "-pm328p", "-coriole", "-P" + m_port, QString("-U%1:r:-:h").arg(memory)});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return r.out.trimmed();
    }
    QByteArray Flash() {
        const QString path = m_dir.filePath("flash.bin");
        EXPECT_EQ(RunCli({"-qq", "-pm328p", "-P" + m_port, "-Uflash:r:" + path + ":r"}).status, 0);
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString Fuses() { return Read("efuse") + " " + Read("hfuse") + " " + Read("lfuse"); }

    QProcess m_sim;
    QString m_port;
    QTemporaryDir m_dir;
};

const QByteArray kSketch = QByteArray::fromHex("0C9434000C9446000C9446000C944600");
const QByteArray kBoot = QByteArray::fromHex("112494E084BF14BE");

TEST_F(CliAvrdudeTest, ArduinoAndPlatformIoCommandLines) {
    const QString conf = "-C/usr/share/arduino/hardware/tools/avr/etc/avrdude.conf";
    const QString sketch = Write("sketch.ino.hex", Record(0, kSketch) + ":00000001FF\r\n");
    const QString boot = Write("optiboot_atmega328.hex", Record(0x7E00, kBoot) + ":00000001FF\r\n");
    const QString eep = Write("firmware.eep", Record(0x10, "\x11\x22\x33") + ":00000001FF\r\n");
    const QString other = Write("other.hex", Record(0, QByteArray(16, '\x0F')) + ":00000001FF\r\n");
    const QString pioConf = "/root/.platformio/packages/tool-avrdude/avrdude.conf";
    const QString port = "-P" + m_port;
    const struct {
        const char* what;
        QStringList args;
        int status;
    } steps[] = {
        // Arduino IDE, Burn Bootloader: the erase pattern, then the bootloader pattern (Uno).
        {"arduino erase",
         {conf, "-v", "-patmega328p", "-coriole", port, "-e", "-Ulock:w:0x3F:m", "-Uefuse:w:0xFD:m",
          "-Uhfuse:w:0xDE:m", "-Ulfuse:w:0xFF:m"},
         0},
        {"arduino bootloader",
         {conf, "-v", "-patmega328p", "-coriole", port, "-Uflash:w:" + boot + ":i",
          "-Ulock:w:0x0F:m"},
         0},
        // Upload Using Programmer, quiet and without verify; then verbose with verify.
        {"arduino program -q -q -V",
         {conf, "-q", "-q", "-V", "-patmega328p", "-coriole", port, "-Uflash:w:" + sketch + ":i"},
         0},
        {"arduino program -v",
         {conf, "-v", "-patmega328p", "-coriole", port, "-Uflash:w:" + sketch + ":i"},
         0},
        // PlatformIO: its fuses command as the README's recipe makes it (upload_flags after its
        // own -p -C -e), its usual upload command, the README's upload_command, and uploadeep.
        {"pio fuses",
         {"-p", "atmega328p", "-C", pioConf, "-e", "-p", "atmega328p", "-c", "oriole", "-P", m_port,
          "-Ulock:w:0x0f:m", "-Uhfuse:w:0xDE:m", "-Ulfuse:w:0xFF:m", "-Uefuse:w:0xFD:m"},
         0},
        {"pio upload",
         {"-v", "-p", "atmega328p", "-C", pioConf, "-c", "oriole", "-P", m_port, "-U",
          "flash:w:" + sketch + ":i"},
         0},
        {"pio upload_command",
         {"-p", "atmega328p", "-c", "oriole", "-P", m_port, "-U", "flash:w:" + sketch + ":i"},
         0},
        {"pio uploadeep",
         {"-p", "atmega328p", "-C", pioConf, "-c", "oriole", "-P", m_port, "-U",
          "eeprom:w:" + eep + ":i"},
         0},
    };
    for (const auto& s : steps) {
        const CliRun r = RunCli(s.args);
        EXPECT_EQ(r.status, s.status) << s.what << "\n" << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("ERROR")) << s.what << "\n" << r.err.toStdString();
        if (QString(s.what) == "arduino bootloader") {
            EXPECT_EQ(Fuses(), "0xfd 0xde 0xff");
            EXPECT_EQ(Read("lock"), "0xcf");  // the two bits the chip lacks read as 1
            EXPECT_EQ(Flash().mid(0x7E00), kBoot);
        }
        // The program pattern has no -e: avrdude's automatic erase removed the bootloader.
        if (QString(s.what) == "arduino program -q -q -V") {
            EXPECT_EQ(Flash(), kSketch);
        }
    }
    EXPECT_EQ(Flash(), kSketch);
    EXPECT_EQ(Read("eeprom").split(',').mid(0x10, 3).join(','), "0x11,0x22,0x33");
    // -D: no erase, so other data over the sketch fail the verify.
    const CliRun noErase =
        RunCli({"-p", "m328p", "-c", "oriole", port, "-D", "-Uflash:w:" + other + ":i"});
    EXPECT_EQ(noErase.status, 1);
    EXPECT_TRUE(noErase.err.contains("FLASH ベリファイ エラー")) << noErase.err.toStdString();
}

TEST_F(CliAvrdudeTest, FuseGuardsOfBothForms) {
    const QStringList own = {"--writer", "serial:" + m_port, "--yes"};
    const QStringList dude = {"-p", "m328p", "-c", "oriole", "-P", m_port};
    const struct {
        QStringList args;
        int status;
        const char* err;    // part of the message on standard error
        const char* fuses;  // efuse hfuse lfuse afterwards
        bool readsChip;     // a value refused whatever the chip holds is refused unread
    } cases[] = {
        {own + QStringList{"write-fuses", "FF:D9:FF"}, 1, "--confirm-risky-fuses",
         "0xff 0xd9 0x62", true},
        {own + QStringList{"write-fuses", "FF:59:62"}, 1, "RSTDISBL", "0xff 0xd9 0x62", false},
        {own + QStringList{"write-fuses", "FF:99:62"}, 1, "DWEN", "0xff 0xd9 0x62", false},
        {own + QStringList{"--confirm-risky-fuses", "write-fuses", "FF:F9:62"}, 1, "SPIEN",
         "0xff 0xd9 0x62", false},
        {dude + QStringList{"-Uhfuse:w:0xF9:m"}, 1, "SPIEN", "0xff 0xd9 0x62", false},
        {own + QStringList{"write-fuses", "FF:D1:E2", "--verify"}, 0, "", "0xff 0xd1 0xe2", true},
        {own + QStringList{"--confirm-risky-fuses", "write-fuses", "FF:D9:FF"}, 0, "CKSEL",
         "0xff 0xd9 0xff", true},
        {dude + QStringList{"-Ulfuse:w:0x62:m"}, 0, "CKSEL",
         "0xff 0xd9 0x62", true},  // as avrdude: no question
    };
    for (const auto& c : cases) {
        const QString line = c.args.join(' ');
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << line.toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << line.toStdString() << "\n" << r.err.toStdString();
        // The values the write read are shown, so they can be written back
        // (on standard error in the avrdude form).
        EXPECT_EQ((r.out + r.err).contains("現在のヒューズ (ATmega328P): Ext: FF"), c.readsChip)
            << line.toStdString() << "\n" << r.out.toStdString();
        EXPECT_EQ(Fuses(), c.fuses) << line.toStdString();
    }
}

TEST_F(CliAvrdudeTest, OptionsAndTheirErrors) {
    const QString sketch = Write("s.hex", Record(0, kSketch) + ":00000001FF\r\n");
    const QString sim = "-Psim:ATmega328P,fast";
    const QString endOnly = Write("end.hex", ":00000001FF\r\n");
    const struct {
        QStringList args;
        int status;
        const char* out;  // part of standard output
        const char* err;  // part of standard error
    } cases[] = {
        {{"-pm8", "-coriole", sim, "-Ulfuse:r:-:h"}, 1, "", "一致しません"},
        {{"-pm8", "-F", "-coriole", sim, "-Ulfuse:r:-:h"}, 0, "0x", ""},
        {{"-pm328p", "-cusbasp", sim, "-Ulfuse:r:-:h"}, 1, "", "oriole だけ"},
        {{"-pm9999", sim, "-Ulfuse:r:-:h"}, 1, "", "不明なデバイス"},
        {{"-pm328p", sim, "-Uflash:x:" + sketch}, 1, "", "r, w, v"},
        {{"-pm328p", sim, "-Uflash:r:" + sketch + ":m"}, 1, "", "形式 m"},
        {{"-pm328p", sim, "-Ufrob:r:-:h"}, 1, "", "メモリ名"},
        {{"-pm328p", sim, "-x", "foo", "-Ulfuse:r:-:h"}, 0, "0x62", "無視します: -x"},
        {{"-pm328p", sim, "-Y"}, 1, "", "-Y"},
        {{"-pm328p", sim, "-Uefuse:r:-:h", "-Usignature:r:-:d"}, 0, "0xff\n30,149,15", ""},
        {{"-pm328p", sim, "-n", "-Uflash:w:" + sketch + ":i", "-Uflash:r:-:h"}, 0, "", "-n:"},
        {{"-pm328p", sim, "-Uflash:w:" + sketch + ":i", "-U", "flash:r:-:h"},
         0,
         "0xc,0x94,0x34,0x0,0xc",
         ""},
        {{"-pm328p", sim, "-Uhfuse:w:0x1D9:m"}, 1, "", "値が正しくありません"},
        // A file with nothing for its memory is refused, also by -n, before anything is written.
        {{"-pm328p", sim, "-Uflash:w:" + endOnly + ":i", "-Ulfuse:r:-:h"}, 1, "", "FLASH のデータがありません"},
        {{"-pm328p", sim, "-n", "-Ueeprom:w:" + endOnly, "-Ulfuse:r:-:h"}, 1, "", "EEPROM のデータがありません"},
    };
    for (const auto& c : cases) {
        const QString line = c.args.join(' ');
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << line.toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << line.toStdString() << "\n" << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << line.toStdString() << "\n" << r.err.toStdString();
    }
    // The dry run wrote nothing: the FLASH read after it has no sketch in it.
    const CliRun dry =
        RunCli({"-pm328p", sim, "-n", "-Uflash:w:" + sketch + ":i", "-Uflash:r:-:h"});
    EXPECT_FALSE(dry.out.contains("0xc")) << dry.out.toStdString();
}

// An avr-gcc ELF with initialised data, EEPROM data, fuses and lock bits: each
// memory takes its own part of the one file, as avr-objcopy would cut it.
TEST_F(CliAvrdudeTest, AvrGccElfProgramsEveryMemory) {
    if (QStandardPaths::findExecutable("avr-gcc").isEmpty() ||
        QStandardPaths::findExecutable("avr-objcopy").isEmpty())
        GTEST_SKIP() << "avr-gcc and avr-objcopy are needed (scripts/bootstrap installs them)";
    const QString source =
        Write("fw.c",
              "#include <avr/io.h>\n#include <avr/eeprom.h>\n#include <avr/fuse.h>\n"
              "#include <avr/lock.h>\n#include <avr/signature.h>\n"
              "FUSES = {.low = 0xE2, .high = 0xD1, .extended = 0xFD};\n"
              "LOCKBITS = 0x0F;\n"
              "uint8_t EEMEM table[5] = {9, 8, 7, 6, 5};\n"
              "volatile char text[] = \"initialised data\";\n"
              "int main(void) { for (;;) PORTB = text[PINB & 7]; }\n");
    const QString elf = m_dir.filePath("fw.elf");
    const auto tool = [&](const char* program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    };
    ASSERT_TRUE(tool("avr-gcc", {"-mmcu=atmega328p", "-Os", "-o", elf, source}));
    const QString flashBin = m_dir.filePath("fw.bin");
    const QString eepromBin = m_dir.filePath("fw-eeprom.bin");
    ASSERT_TRUE(tool("avr-objcopy", {"-O", "binary", "-R", ".eeprom", "-R", ".fuse", "-R", ".lock",
                                     "-R", ".signature", elf, flashBin}));
    ASSERT_TRUE(tool("avr-objcopy", {"-O", "binary", "-j", ".eeprom", "--change-section-lma",
                                     ".eeprom=0", elf, eepromBin}));
    QFile f(flashBin), e(eepromBin);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly) && e.open(QIODevice::ReadOnly));

    const CliRun r =
        RunCli({"-p", "atmega328p", "-c", "oriole", "-P", m_port, "-U", "flash:w:" + elf + ":e",
                "-U", "eeprom:w:" + elf + ":e", "-U", "lfuse:w:" + elf + ":e", "-U",
                "hfuse:w:" + elf + ":e", "-U", "efuse:w:" + elf + ":e", "-U", "lock:w:" + elf});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray flash = f.readAll();
    EXPECT_TRUE(flash.contains("initialised data"));
    EXPECT_EQ(Flash(), flash);
    EXPECT_EQ(Read("eeprom").split(',').mid(0, 5).join(','), "0x9,0x8,0x7,0x6,0x5");
    EXPECT_EQ(e.readAll(), QByteArray::fromHex("0908070605"));
    EXPECT_EQ(Fuses(), "0xfd 0xd1 0xe2");
    // LB1 and LB2 left unprogrammed: lock mode 3 would bar the reads above.
    EXPECT_EQ(Read("lock"), "0xcf");
}

// avrdude's command line on a fresh simulated chip per run.
QStringList Dude(const QString& part, const QStringList& rest) {
    return QStringList{"-c", "oriole", "-P", "sim:" + part + ",timing=off", "-p", part} + rest;
}

QByteArray Filled(QByteArray head, int size) { return head + QByteArray(size - head.size(), '\xFF'); }

// Scripts see what they see from avrdude 7.3: standard output carries only the
// data of reads to "-", in avrdude's number lists; a format is told by the
// content (raw binary by a byte above 127, value lists, text of no format
// refused before the erase); a file without its end record is taken; a file
// an earlier -U writes is read at its turn; a memory the part lacks is
// skipped; reads cover EEPROM whole and FLASH up to its last non-0xFF byte.
TEST_F(CliAvrdudeTest, ScriptsGetAvrdudesStatusAndStandardOutput) {
    const QString hex = Write("s.hex", Record(0, kSketch) + ":00000001FF\r\n");
    const QByteArray raw("\x01\x02\x03\xFF\x04", 5);
    const QString noEndHex = Write("noend.hex", Record(0, QByteArray("\x00\x0F", 2)));
    const QString noEndSrec = Write("noend.srec", "S0030000FC\nS1060000C0DE005B\n");
    const QString hello = Write("hello.txt", "hello\n");
    const QString unrecognised = QString::fromUtf8(oriole::text::kFileUnrecognised) + ": " + hello;
    const QString vals = Write("vals.txt", "0x12, 0x34 # two\n");
    const QString backup = Write("backup.hex", Record(0, "\x55") + ":00000001FF\r\n");  // an older one
    const QString fuse = m_dir.filePath("lfuse.txt"), missing = m_dir.filePath("missing.hex");
    const QString saved = m_dir.filePath("saved.bin");
    const struct {
        QStringList args;
        int status;
        QByteArray out;   // standard output, exactly
        QByteArray err;  // part of standard error
    } cases[] = {
        {Dude("m328p", {"-Ulfuse:r:-:h"}), 0, "0x62\n", "0x1e950f"},
        {Dude("m328p", {"-q", "-Uflash:w:" + hex + ":i", "-Ulfuse:r:-:h"}), 0, "0x62\n", "OK"},
        {Dude("m328p", {"-qq", "-Uhfuse:w:0xD9:m", "-Ulfuse:r:-:h"}), 0, "0x62\n", ""},
        {Dude("m328p", {"-Uflash:w:" + Write("app.raw", raw), "-Uflash:r:-:h"}), 0,
         "0x1,0x2,0x3,0xff,0x4,0xff\n", ""},
        {Dude("m328p", {"-Uflash:w:" + Write("app.dat", raw) + ":a", "-Uflash:r:-:d"}), 0,
         "1,2,3,255,4,255\n", ""},
        {Dude("m328p", {"-Uflash:w:" + Write("app", raw), "-Uflash:r:-:o"}), 0, "1,2,3,0377,4,0377\n", ""},
        {Dude("m328p", {"-Uflash:w:" + Write("late.raw", "# x\n\x80\x01"), "-Uflash:r:-:h"}), 0,
         "0x23,0x20,0x78,0xa,0x80,0x1\n", ""},
        {Dude("m328p", {"-Ueeprom:w:" + vals, "-Ueeprom:r:-:h"}), 0,
         "0x12,0x34" + QByteArray(",0xff").repeated(1022) + "\n", ""},
        {Dude("m328p", {"-Uflash:w:" + hello, "-Uflash:r:-:h"}), 1, "", unrecognised.toUtf8()},
        {Dude("m328p", {"-Uflash:w:" + hello + ":r", "-Uflash:r:-:h"}), 0, "0x68,0x65,0x6c,0x6c,0x6f,0xa\n", ""},
        {Dude("m328p", {"-Ueeprom:v:" + hello + ":a"}), 1, "", unrecognised.toUtf8()},
        {Dude("m328p", {"-Uflash:w:" + missing}), 1, "", "ファイルを開くことができません。: " + missing.toUtf8()},
        // Back up, then check the backup; a fuse read into a value list, then compared with it.
        {Dude("m328p", {"-q", "-Uflash:w:" + hex, "-Uflash:r:" + backup + ":i", "-Uflash:v:" + backup + ":i"}),
         0, "", "FLASH ベリファイ OK!\nFLASH ベリファイ OK!"},
        {Dude("m328p", {"-Ulfuse:r:" + fuse + ":h", "-Ulfuse:v:" + fuse, "-Ulfuse:r:-:d"}), 0, "98\n", ""},
        // A -T line that names the file may have saved it: it is read at its turn too.
        {Dude("m328p", {"-T", "save eeprom 0 4 " + saved + ":r", "-Ueeprom:v:" + saved + ":r"}), 0, "",
         "EEPROM ベリファイ OK!"},
        {Dude("m328p", {"-Uflash:w:" + noEndHex + ":i", "-Uflash:r:-:b"}), 0, "0b0,0b1111\n",
         "終了レコード"},
        {Dude("m328p", {"-Uflash:w:" + noEndSrec, "-Usignature:r:-:b"}), 0,
         "0b11110,0b10010101,0b1111\n", "終了レコード"},
        // No -U: connect, show the signature, succeed.
        {Dude("m328p", {}), 0, "", "0x1e950f"},
        {Dude("t13", {"-Uefuse:w:0xFF:m", "-Ulfuse:r:-:o"}), 0, "0152\n", "efuse"},
        {Dude("m8", {"-Uefuse:r:-:h", "-Ulock:r:-:d"}), 0, "255\n", "efuse"},
        {Dude("2313", {"-Ucalibration:w:0x55:m", "-Ucal:r:-:h", "-Usig:r:-:h"}), 0, "0x1e,0x91,0x1\n",
         "警告: AT90S2313 には calibration がありません。"},
        {Dude("2313", {"-Ulfuse:w:0x00:m", "-Uhfuse:r:-:h"}), 0, "", "警告: AT90S2313 には lfuse がありません。"},
        {Dude("2313", {"-T", "dump calibration"}), 1, "", "AT90S2313 には メモリ calibration がありません"},
        // FLASH to its last non-0xFF byte, on a whole word; all of it with -A, and with -D; EEPROM whole.
        {Dude("m328p", {"-Uflash:r:-:r"}), 0, "", ""},
        {Dude("m328p", {"-A", "-Uflash:w:" + hex, "-Uflash:r:-:r"}), 0, Filled(kSketch, 32768), ""},
        {Dude("m328p", {"-D", "-Uflash:r:-:r"}), 0, Filled({}, 32768), ""},
        {Dude("m328p", {"-Ueeprom:r:-:r"}), 0, Filled({}, 1024), ""},
    };
    for (const auto& c : cases) {
        const std::string line = c.args.join(' ').toStdString();
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err.toStdString();
        EXPECT_EQ(r.outBytes, c.out) << line << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << line << "\n" << r.err.toStdString();
        // A refused input erases nothing.
        if (c.status != 0) EXPECT_FALSE(r.err.contains("消去")) << line << "\n" << r.err.toStdString();
    }
}

// The bytes an Intel HEX or S-record file gives, by address.
std::map<uint32_t, uint8_t> Cells(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    std::map<uint32_t, uint8_t> cells;
    uint32_t base = 0;
    for (const QByteArray& text : f.readAll().split('\n')) {
        const QByteArray line = text.trimmed();
        if (line.size() < 4) continue;
        const QByteArray b = QByteArray::fromHex(line.mid(line[0] == ':' ? 1 : 2));
        const auto u = [&](int i) { return uint32_t{static_cast<uint8_t>(b[i])}; };
        if (line[0] == ':' && u(3) == 4) base = (u(4) << 24) | (u(5) << 16);
        if (line[0] == ':' && u(3) == 0)
            for (uint32_t i = 0; i < u(0); ++i) cells[base + (u(1) << 8 | u(2)) + i] = b[4 + i];
        if (line.startsWith("S1"))
            for (uint32_t i = 0; i + 3 < u(0); ++i) cells[(u(1) << 8 | u(2)) + i] = b[3 + i];
    }
    return cells;
}

// Output files hold avrdude's addresses and bytes, so a backup restores what
// it saw: every EEPROM address, FLASH up to the last non-0xFF byte.
TEST_F(CliAvrdudeTest, ReadFilesHoldEveryByteAvrdudeWrites) {
    const QString ee55 = Write("ee55.hex", Record(0, QByteArray(16, '\x55')) + ":00000001FF\r\n");
    const QString backup = m_dir.filePath("backup.eep");
    ASSERT_EQ(RunCli(Dude("m328p", {"-Ueeprom:r:" + backup + ":i"})).status, 0);
    const CliRun restored = RunCli(Dude(
        "m328p", {"-Ueeprom:w:" + ee55 + ":i", "-Ueeprom:w:" + backup + ":i", "-Ueeprom:r:-:h"}));
    EXPECT_EQ(restored.out, QStringList(1024, "0xff").join(',') + "\n") << restored.err.toStdString();

    const QString fw = Write("fw.hex", Record(0, kSketch) + Record(0x40, "\x11\x22") + ":00000001FF\r\n");
    std::map<uint32_t, uint8_t> expected;
    for (uint32_t a = 0; a < 0x42; ++a)
        expected[a] = a < 16 ? static_cast<uint8_t>(kSketch[a]) : a == 0x40 ? 0x11 : a == 0x41 ? 0x22 : 0xFF;
    const QString hexOut = m_dir.filePath("f.hex"), srecOut = m_dir.filePath("f.srec");
    const QString rawOut = m_dir.filePath("f.raw");
    const CliRun r = RunCli(Dude("m328p", {"-Uflash:w:" + fw, "-Uflash:r:" + hexOut + ":i",
                                           "-Uflash:r:" + srecOut + ":s", "-Uflash:r:" + rawOut}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Cells(hexOut), expected);
    EXPECT_EQ(Cells(srecOut), expected);
    QFile f(rawOut);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), Filled(kSketch, 0x40) + "\x11\x22");
}

// -V means no verify: a -D write over other data exits 0 and says nothing of a verify.
TEST_F(CliAvrdudeTest, NoVerifyMeansNoVerify) {
    const QString a = Write("a.hex", Record(0, QByteArray(16, '\x0F')) + ":00000001FF\r\n");
    const QString b = Write("b.hex", Record(0, QByteArray(16, '\xF0')) + ":00000001FF\r\n");
    const CliRun r = RunCli(Dude("m328p", {"-D", "-V", "-Uflash:w:" + a, "-Uflash:w:" + b}));
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("ベリファイ")) << r.err.toStdString();
    EXPECT_EQ(RunCli(Dude("m328p", {"-D", "-Uflash:w:" + a, "-Uflash:w:" + b})).status, 1);
}

// -U, -T and -t run in the order given, on one chip that keeps its contents
// between the runs: the terminal's cached writes reach the chip before a -U
// and at the end, a -U write is seen by the next -T, -t reads a pipe without
// a prompt up to quit or the end, and a failed -T ends the run with 1.
TEST_F(CliAvrdudeTest, TerminalStepsRunInTheOrderGiven) {
    const auto dude = [&](const QStringList& rest) {
        return QStringList{"-pm328p", "-coriole", "-P" + m_port} + rest;
    };
    const struct {
        QStringList args;
        QByteArray in;  // standard input
        int status;
        QByteArray out;
    } cases[] = {
        {dude({"-T", "write ee 0 0x33 0x34", "-Ueeprom:w:0x11:m", "-T", "dump ee 0 2"}), "", 0,
         "0000  11 34                                             |.4              |\n"},
        {dude({"-Ueeprom:w:0x44:m", "-T", "dump ee 0 1", "-Ueeprom:w:0x55:m", "-Tdump ee 0 1"}), "", 0,
         "0000  44                                                |D               |\n"
         "0000  55                                                |U               |\n"},
        {dude({"-t", "-T", "dump ee 0 3"}), "write ee 0 1 2\nfrob\ndump ee 0 2\n", 0,
         "0000  01 02                                             |..              |\n"
         "0000  01 02 ff                                          |...             |\n"},
        {dude({"-T", "dump ee 0 2"}), "", 0, "0000  01 02                                             |..              |\n"},
        {dude({"-t", "-T", "dump ee 0 2"}), "write ee 0 9; quit\nwrite ee 1 9\n", 0,
         "0000  09 02                                             | .              |\n"},
        {dude({"-T", "frob", "-Ulfuse:r:-:h"}), "", 1, ""},
        // -v is the terminal's verbose level: a dump without a length says what it shows.
        {dude({"-v", "-T", "dump lfuse"}), "", 0,
         ">>> dump lfuse 0x0 0x1\n0000  62                                                |b               |\n"},
    };
    for (const auto& c : cases) {
        const std::string line = c.args.join(' ').toStdString();
        QProcess p;
        p.start(QStringLiteral(ORIOLE_CLI_PATH), c.args);
        p.write(c.in);
        p.closeWriteChannel();
        const CliRun r = oriole::test::Finish(p);
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err.toStdString();
        EXPECT_EQ(r.outBytes, c.out) << line << "\n" << r.err.toStdString();
        EXPECT_EQ(r.err.contains("frob"), c.args.contains("frob") || c.in.contains("frob")) << line;
    }
}

// avrdude's other formats, memory names by unique prefix, the options that
// mean nothing here, -l and what -n tells.
TEST_F(CliAvrdudeTest, FormatsNamesAndOptionsAsAvrdudeTakesThem) {
    const QString commented = Write("c.hex", ":0400000001020304FF // any text\n:00000001FF\n");
    const QString log = m_dir.filePath("log.txt");
    QByteArray counting;
    for (char b = 1; b <= 40; ++b) counting += b;
    const struct {
        QStringList args;
        int status;
        QByteArray out;
        const char* err;
    } cases[] = {
        // Value lists read alike whatever their letter, as the terminal's data items.
        {Dude("m328p", {"-Uee:w:" + Write("v.h", "# a list\n0x12, 34 # two\n017,'A',\"hi\",0x0102") + ":h",
                        "-Ueeprom:r:-:d"}),
         0, "18,34,15,65,104,105,0,2,1" + QByteArray(",255").repeated(1015) + "\n", ""},
        {Dude("m328p", {"-Uee:w:" + Write("ff.h", "ff") + ":h"}), 1, "", "ff"},
        {Dude("m328p", {"-Ulf:w:" + Write("v.R", "CCXXVI") + ":R", "-Ulfuse:r:-:h"}), 0, "0xe2\n", ""},
        {Dude("m328p", {"-Ulock:w:" + Write("v.o", "077") + ":o", "-Ulock:r:-:h"}), 0, "0xff\n", ""},
        {Dude("m328p", {"-Uhf:w:" + Write("v.b", "0b11011001") + ":b", "-Usig:r:-:h", "-Ucal:r:-:d"}),
         0, "0x1e,0x95,0xf\n152\n", ""},
        // A name that starts several of the part's memories is skipped, as avrdude does; on a
        // part with only one of them it names that one.
        {Dude("m328p", {"-Ul:r:-:h", "-Ue:w:0x11:m", "-Ulfuse:r:-:h"}), 0, "0x62\n",
         "-U のメモリ名 e は eeprom, efuse のどれか決まりません。-U e:w:0x11:m を飛ばします。"},
        {Dude("m8", {"-Ue:w:0x11,0x22:m", "-Ueeprom:r:-:h"}), 0,
         "0x11,0x22" + QByteArray(",0xff").repeated(510) + "\n", ""},
        {Dude("m328p", {"-Ufl:w:" + commented + ":I", "-Uflash:r:-:I"}), 0,
         ":0400000001020304F2" + QByteArray(56, ' ') + " // 00000> ....\n:00000001FF\n", ""},
        {Dude("m328p", {"-Uflash:w:" + commented + ":i"}), 1, "", "チェックサムエラー"},
        // avrdude's Intel HEX: 32-byte records, LF.
        {Dude("m328p", {"-Uflash:w:" + Write("40.raw", counting) + ":r", "-Uflash:r:-:i"}), 0,
         ":200000000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20D0\n"
         ":080020002122232425262728B4\n:00000001FF\n",
         ""},
        {Dude("m328p", {"-x", "foo", "-E", "reset", "-r", "-i", "5", "-N"}), 0, "",
         "無視します: -x -E -r -i -N"},
        {Dude("m328p", {"-l", log, "-Ulfuse:r:-:h"}), 0, "0x62\n", ""},
        // avrdude's S-records: the address width follows the memory's size.
        {Dude("m328p", {"-Uflash:w:" + Write("40.raw", counting) + ":r", "-Uflash:r:-:s"}), 0,
         "S00D00006F72696F6C652D636C6903\n"
         "S12300000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20CC\n"
         "S10B00202122232425262728B0\nS5030002FA\nS9030000FC\n",
         ""},
        {Dude("m128", {"-Uflash:w:0x01,2:m", "-Uflash:r:-:s"}), 0,
         "S00D00006F72696F6C652D636C6903\nS2060000000102F6\nS5030001FB\nS804000000FB\n", ""},
        {Dude("m328p", {"-Ulfuse:r:-:R", "-Usig:r:-:R"}), 0, "XCVIII\nXXX,CXLIX,XV\n", ""},
        // -n: what would be written, as Intel HEX on standard output.
        {Dude("m328p", {"-n", "-Uflash:w:" + commented + ":I", "-Ulfuse:w:0xE2:m"}), 0,
         ":0400000001020304F2\n:00000001FF\n:01000000E21D\n:00000001FF\n",
         "-n: FLASH に 4 バイト (0x0000 - 0x0003)"},
        {Dude("m328p", {"-n", "-e"}), 0, "", "-e と -n が両方"},
    };
    for (const auto& c : cases) {
        const std::string line = c.args.join(' ').toStdString();
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err.toStdString();
        if (!c.out.isEmpty() || c.status != 0) {
            EXPECT_EQ(r.outBytes, c.out) << line << "\n" << r.err.toStdString();
        }
        EXPECT_TRUE(r.err.contains(c.err)) << line << "\n" << r.err.toStdString();
    }
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("0x1e950f"));
}

}  // namespace
