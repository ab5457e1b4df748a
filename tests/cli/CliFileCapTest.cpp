// Every file the program reads has a size it will not read past: a file one
// byte over its reader's cap is refused, nothing of it is used, and one
// message names the file. Most files are sparse, a valid start and a hole,
// so a 64 MB one costs nothing on disk; the serial list and counter, whose
// readers would refuse the hole's zeros for what they are, go on with blank
// lines, which they take, so that only the cap refuses them.

#include <gtest/gtest.h>

#include <QDir>
#include <QSet>
#include <QTemporaryDir>

#include "base/FormatText.h"
#include "res/Texts.h"
#include "support/CliRun.h"

namespace {

using oriole::test::CliRun;
using oriole::test::Finish;

constexpr qint64 kMB = 1024 * 1024;
constexpr char kProgram[] = ":100000000C9434000C9446000C9446000C9446006A\r\n:00000001FF\r\n";

// The messages naming `name`, each once, without the wrappers that repeat
// a run's refusal as its last line.
QSet<QString> MessagesNaming(const CliRun& r, const QString& name) {
    const QString notStarted = QString::fromUtf8(oriole::FormatText(oriole::text::kProductionNotStarted, ""));
    QSet<QString> messages;
    for (QString line : (r.out + r.err).split('\n')) {
        if (!line.contains(name)) continue;
        if (line.startsWith("oriole-cli: ")) line.remove(0, 12);
        if (line.startsWith(notStarted)) line.remove(0, notStarted.size());
        messages << line;
    }
    return messages;
}

TEST(CliFileCap, EachReaderRefusesAFileOverItsCapNamingIt) {
    const QString box = "sim:ATmega328P,fast";
    const QStringList dude{"-p", "m328p", "-c", "oriole", "-P", box};
    const struct {
        const char* what;
        const char* name;
        QByteArray start;  // the file's first bytes
        char filler;       // to its size: '\0' a hole, '\n' blank lines
        qint64 size;       // one byte over the reader's cap
        QStringList args;
        QByteArray input;  // standard input
        int status;
    } cases[] = {
        {"setting file", "big.set", "[Device]\r\n", 0, 16 * kMB + 3, {"run", "big.set", "--writer", box}, {}, 1},
        {"serial list", "big.list", "A1B2C3D4\n", '\n', 16 * kMB + 1,
         {"run", "job.set", "--writer", box, "--serial-list", "big.list"}, {}, 1},
        {"serial counter", "big.counter", "1000\n", '\n', 16 * kMB + 1,
         {"run", "job.set", "--writer", box, "--serial-counter", "big.counter"}, {}, 1},
        {"a production job's image", "big.hex", kProgram, 0, 64 * kMB + 1,
         {"run", "bigimage.set", "--writer", box}, {}, 1},
        {"Intel HEX", "big.hex", "", 0, 64 * kMB + 1, dude + QStringList{"-U", "flash:w:big.hex:i"}, {}, 1},
        {"S records", "big.srec", "", 0, 64 * kMB + 1, dude + QStringList{"-U", "flash:w:big.srec:s"}, {}, 1},
        {"ELF", "big.elf", "\x7f" "ELF\x01\x01\x01", 0, 64 * kMB + 1,
         {"--writer", box, "write-flash", "big.elf"}, {}, 1},
        {"value list", "big.txt", "", 0, 16 * kMB + 1, dude + QStringList{"-U", "eeprom:w:big.txt:b"}, {}, 1},
        {"I file", "big.ihex", "", 0, 16 * kMB + 1, dude + QStringList{"-U", "flash:w:big.ihex:I"}, {}, 1},
        // An interactive session goes on after a failed command; what the
        // file begins with never runs.
        {"terminal include", "big.inc", "write ee 0 0x55\n", 0, 16 * kMB + 1, dude + QStringList{"-t"},
         "include big.inc\ndump ee 0 1\n", 0},
        {"wire trace", "big.trace", "# oriole-cli run wire trace\n", 0, 64 * kMB + 4097,
         {"trace", "diff", "big.trace", "small.trace"}, {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        oriole::test::WriteFile(dir, "prog.hex", kProgram);
        const QByteArray job = "[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=0000001F\r\n[FLASH]\r\nFile=prog.hex\r\n"
                               "[Production]\r\nSerial=eeprom:10:4:be:dec\r\n";
        oriole::test::WriteFile(dir, "job.set", job);
        oriole::test::WriteFile(dir, "bigimage.set", QByteArray(job).replace("prog.hex", "big.hex"));
        oriole::test::WriteFile(dir, "small.trace", "# oriole-cli run wire trace\n");
        QFile big(oriole::test::WriteFile(dir, c.name, c.start));
        if (c.filler == 0) {
            ASSERT_TRUE(big.resize(c.size));  // ftruncate: a hole, not data
        } else {
            ASSERT_TRUE(big.open(QIODevice::Append));
            big.write(QByteArray(c.size - c.start.size(), c.filler));
            big.close();
        }

        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(ORIOLE_CLI_PATH), c.args);
        p.write(c.input);
        p.closeWriteChannel();
        const CliRun r = Finish(p);

        EXPECT_EQ(r.status, c.status) << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(MessagesNaming(r, QString::fromUtf8(c.name)).size(), 1) << r.out.toStdString() << r.err.toStdString();
        EXPECT_FALSE(r.out.contains(" 55 ")) << "the include ran: " << r.out.toStdString();
        EXPECT_FALSE(QDir(dir.path()).exists("job.set.log.csv") || QDir(dir.path()).exists("bigimage.set.log.csv"))
            << "no chip is logged";
        EXPECT_EQ(QFileInfo(big.fileName()).size(), c.size) << "the file is left as it was";
    }
}

}  // namespace
