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
    } cases[] = {
        {own + QStringList{"write-fuses", "FF:D9:FF"}, 1, "--confirm-risky-fuses",
         "0xff 0xd9 0x62"},
        {own + QStringList{"write-fuses", "FF:59:62"}, 1, "RSTDISBL", "0xff 0xd9 0x62"},
        {own + QStringList{"write-fuses", "FF:99:62"}, 1, "DWEN", "0xff 0xd9 0x62"},
        {own + QStringList{"--confirm-risky-fuses", "write-fuses", "FF:F9:62"}, 1, "SPIEN",
         "0xff 0xd9 0x62"},
        {dude + QStringList{"-Uhfuse:w:0xF9:m"}, 1, "SPIEN", "0xff 0xd9 0x62"},
        {own + QStringList{"write-fuses", "FF:D1:E2", "--verify"}, 0, "", "0xff 0xd1 0xe2"},
        {own + QStringList{"--confirm-risky-fuses", "write-fuses", "FF:D9:FF"}, 0, "CKSEL",
         "0xff 0xd9 0xff"},
        {dude + QStringList{"-Ulfuse:w:0x62:m"}, 0, "CKSEL",
         "0xff 0xd9 0x62"},  // as avrdude: no question
    };
    for (const auto& c : cases) {
        const QString line = c.args.join(' ');
        const CliRun r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status) << line.toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << line.toStdString() << "\n" << r.err.toStdString();
        // The values before the write are always shown, so they can be written back.
        EXPECT_TRUE(r.out.contains("現在のヒューズ (ATmega328P): Ext: FF")) << r.out.toStdString();
        EXPECT_EQ(Fuses(), c.fuses) << line.toStdString();
    }
}

TEST_F(CliAvrdudeTest, OptionsAndTheirErrors) {
    const QString sketch = Write("s.hex", Record(0, kSketch) + ":00000001FF\r\n");
    const QString sim = "-Psim:ATmega328P,fast";
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
        {{"-pm328p", sim, "-Uflash:w:" + sketch + ":h"}, 1, "", "形式 h"},
        {{"-pm328p", sim, "-Ufrob:r:-:h"}, 1, "", "メモリ名"},
        {{"-pm328p", sim, "-x", "foo", "-Ulfuse:r:-:h"}, 1, "", "-x"},
        {{"-pm328p", sim}, 1, "", "-U"},
        {{"-pm328p", sim, "-Uefuse:r:-:h", "-Usignature:r:-:d"}, 0, "0xff\n30,149,15", ""},
        {{"-pm8", "-Psim:m8,fast", "-Uefuse:r:-:h"}, 1, "", "efuse がありません"},
        {{"-pm328p", sim, "-n", "-Uflash:w:" + sketch + ":i", "-Uflash:r:-:h"}, 0, "-n:", ""},
        {{"-pm328p", sim, "-Uflash:w:" + sketch + ":i", "-U", "flash:r:-:h"},
         0,
         "0x0c,0x94,0x34,0x00,0x0c",
         ""},
        {{"-pm328p", sim, "-Uhfuse:w:0x1D9:m"}, 1, "", "値が正しくありません"},
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
    EXPECT_FALSE(dry.out.contains("0x0c")) << dry.out.toStdString();
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
              "LOCKBITS = 0x3C;\n"
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
    EXPECT_EQ(Read("eeprom").split(',').mid(0, 5).join(','), "0x09,0x08,0x07,0x06,0x05");
    EXPECT_EQ(e.readAll(), QByteArray::fromHex("0908070605"));
    EXPECT_EQ(Fuses(), "0xfd 0xd1 0xe2");
    EXPECT_EQ(Read("lock"), "0xfc");
}

}  // namespace
