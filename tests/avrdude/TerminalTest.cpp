// The programming terminal on the simulated box: command lines in, the exact
// text out, what the chip holds and the files save wrote afterwards; the
// words and data items of a line as avrdude's terminal reads them.
#include <gtest/gtest.h>

#include <QDir>
#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "ops/OpsTestSupport.h"
#include "avrdude/TerminalSession.h"

// GCC 12 warns about members a designated initializer leaves to their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace oriole::test {
namespace {

using avrdude::CTerminalSession;

const std::string kEeLine0 = "0000  48 65 6c 6c 6f 09 57 01  72 6c 64 ff ff ff ff ff  |Hello W.rld.....|\n";
const std::string kFF16 = "ff ff ff ff ff ff ff ff  ff ff ff ff ff ff ff ff  |................|\n";

// A session's lines on the rig, the box refusing programming during the
// lines in `refused`: what it printed, its messages, how many lines failed.
struct Ran {
    std::string out;
    std::vector<std::string> messages;
    int failed = 0;
};

Ran RunLines(OpsRig& rig, const std::vector<std::string>& lines, const std::set<size_t>& refused = {}) {
    Ran ran;
    CTerminalSession session(
        rig.core, [&](std::string_view t) { ran.out += t; },
        [&](std::string_view t) { ran.messages.emplace_back(t); }, false);
    for (size_t i = 0; i < lines.size(); ++i) {
        rig.box->Faults().refuseProgramming = refused.contains(i);
        ran.failed += session.RunLine(lines[i]) ? 0 : 1;
    }
    return ran;
}

// Each message line holds the next of `parts`.
void ExpectMessages(const Ran& ran, const std::vector<std::string>& parts) {
    EXPECT_EQ(ran.messages.size(), parts.size()) << ::testing::PrintToString(ran.messages);
    for (size_t i = 0; i < std::min(ran.messages.size(), parts.size()); ++i)
        EXPECT_NE(ran.messages[i].find(parts[i]), std::string::npos) << ran.messages[i];
}

struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::string out;                      // standard output, exactly
    std::vector<std::string> messages;    // each message line contains the next of these
    int failedLines = 0;
    std::map<uint32_t, uint8_t> flash;    // the chip afterwards
    std::map<uint32_t, uint8_t> eeprom;
    std::optional<uint8_t> lfuse;
    std::map<std::string, std::string> given;                 // files there before the lines
    std::map<std::string, std::optional<std::string>> files;  // afterwards, exactly; null: none
};

std::optional<std::string> FileText(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll().toStdString();
}

// Include files l1.txt ... lN.txt in `dir`, each writing its level's number
// to EEPROM 0x100 + level, then including the next.
std::map<std::string, std::string> Nested(const std::string& dir, int levels) {
    std::map<std::string, std::string> files;
    for (int i = 1; i <= levels; ++i)
        files[dir + "/l" + std::to_string(i) + ".txt"] = "write ee " + std::to_string(0x100 + i) + " " +
                                                       std::to_string(i) + "\ninclude " + dir + "/l" +
                                                       std::to_string(i + 1) + ".txt\n";
    return files;
}

// top.txt includes half.txt (`lines` comment lines) twice, then writes 2 to
// EEPROM 0x301: its line 2 * lines + 3 counted over every level.
std::map<std::string, std::string> Wide(const std::string& dir, int64_t lines) {
    std::string half;
    for (int64_t i = 0; i < lines; ++i) half += "#\n";
    return {{dir + "/half.txt", half},
            {dir + "/top.txt", "include " + dir + "/half.txt\ninclude " + dir + "/half.txt\nwrite ee 0x301 2\n"}};
}

// Every case starts from one chip: FLASH with a 0x00 at 0x200 and 0x12 at
// 0x300, "Hello\tW\1rld" at the start of the EEPROM, the factory fuses.
// The files of save and include are in D.
TEST(Terminal, CommandLinesGiveAvrdudesOutputAndProgramTheChip) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string D = dir.path().toStdString();
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const std::string longLine(CTerminalSession::kMaxLine + 1, ' ');
    std::string fullLine = "write ee 0 0x42; flush";
    fullLine.resize(CTerminalSession::kMaxLine, ' ');
    const Case cases[] = {
        {.what = "dump: 16 bytes a line, a short last line padded",
         .lines = {"dump eeprom 0 20"},
         .out = kEeLine0 + "0010  ff ff ff ff                                       |....            |\n"},
        {.what = "dump wraps at the end and goes on where it stopped; alone it repeats the memory",
         .lines = {"dump ee 0x3f8 16", "dump ee", "read"},
         .out = "03f8  ff ff ff ff ff ff ff ff                           |........        |\n"
                "0000  48 65 6c 6c 6f 09 57 01                           |Hello W.        |\n"
                "0008  72 6c 64 ff ff ff ff ff  ff ff ff ff ff ff ff ff  |rld.............|\n"
                "0018  " + kFF16},
        {.what = "dump: negative address and length, the ellipsis, a fuse",
         .lines = {"dump ee -2 -1", "dump flash 0x7ff0 ...", "dump lfuse"},
         .out = "03fe  ff ff                                             |..              |\n"
                "7ff0  " + kFF16 + "0000  62                                                |b               |\n"},
        {.what = "write is cached: the dump shows it, the chip has it after flush",
         .lines = {"write flash 0x100 0xdeadbeef 'A' \"hi\"", "dump fl 0x100 8", "flush"},
         .out = "0100  ef be ad de 41 68 69 00                           |....Ahi.        |\n",
         .flash = {{0x100, 0xEF}, {0x103, 0xDE}, {0x104, 0x41}, {0x106, 0x69}, {0x107, 0x00}, {0x200, 0x00}}},
        {.what = "fill form repeats the last item; quit flushes",
         .lines = {"write ee 0x10 10 0x12 0x3456 ...", "quit"},
         .eeprom = {{0x10, 0x12}, {0x11, 0x56}, {0x12, 0x34}, {0x13, 0x56}, {0x19, 0x56}, {0x1A, 0xFF}}},
        {.what = "sizes of integers: suffixes, leading zeros, signs",
         .lines = {"write ee 0 0x0001 -1 255 256 1HH 2S 0b1L; dump ee 0 14"},
         .out = "0000  01 00 ff ff 00 01 01 02  00 01 00 00 00 ff        |..............  |\n"},
        {.what = "abort drops the cached writes",
         .lines = {"write ee 0 1 2 3; abort", "quit"},
         .eeprom = {{0, 0x48}, {1, 0x65}, {2, 0x6C}}},
        {.what = "a FLASH bit back to 1 erases and rewrites FLASH and EEPROM",
         .lines = {"write flash 0x200 0xff", "flush"},
         .messages = {"消去"},
         .flash = {{0x200, 0xFF}, {0x300, 0x12}},
         .eeprom = {{0, 0x48}, {5, 0x09}}},
        {.what = "erase <mem> fills it with 0xff through the cache; erase alone erases the chip",
         .lines = {"erase ee 1 2", "flush", "dump ee 0 4", "erase"},
         .out = "0000  48 ff ff 6c                                       |H..l            |\n"
                "チップを消去します ...\n",
         .flash = {{0x200, 0xFF}, {0x300, 0xFF}},
         .eeprom = {{0, 0xFF}, {3, 0xFF}}},
        {.what = "prefixes of commands, memories and properties",
         .lines = {"du si", "si", "conf cksel", "config CKDIV8=1", "w lf 0 0xE2"},
         .out = "0000  1e 95 0f                                          |...             |\n"
                "Device signature = 0x1e950f\n"
                "config CKSEL3=0 # lfuse ビット 3\nconfig CKSEL2=0 # lfuse ビット 2\n"
                "config CKSEL1=1 # lfuse ビット 1\nconfig CKSEL0=0 # lfuse ビット 0\n",
         .lfuse = 0xE2},
        {.what = "config name= shows both values; a write that releases SPIEN is refused",
         .lines = {"config spien=", "config SPIEN=1", "config BOOT=1"},
         .out = "config SPIEN=0 # hfuse ビット 5\n# conf SPIEN=1 # hfuse ビット 5\n",
         .messages = {"あいまい"},
         .failedLines = 2,
         .lfuse = 0x62},
        {.what = "bad commands and arguments: one line each, the session goes on",
         .lines = {"read", "qu", "frob", "dump nosuch", "write ee 0x400 1", "write ee 0 1.5", "write ee 5",
                   "write ee 0 4 ...", "write signature 0 1", "dump ee 0 1 2", "!ls",
                   "write ee 0 \"ok\" # note", "flush"},
         .messages = {"使い方", "quell, quit", "不明", "nosuch", "範囲", "浮動小数点", "データがありません",
                      "埋められません", "読み出し専用", "使い方", "シェル"},
         .failedLines = 10,
         .eeprom = {{0, 'o'}, {1, 'k'}, {2, 0x00}}},
        {.what = "save: raw bytes by default, segments at their addresses, the cache's writes, - for output",
         .lines = {"save ee 0 4 " + D + "/ee.bin", "write ee 1 0x41", "save ee 0 2 5 3 " + D + "/ee.hex:i",
                   "save eeprom 0 2 -2 -1 -:h", "save sig -:d", "save lfuse " + D + "/lfuse.txt:R",
                   "save ee " + D + "/ee.srec:s"},
         .out = "0x48,0x41\n0xff,0xff\n30,149,15\n",
         .files = {{D + "/ee.bin", "Hell"},
                   {D + "/ee.hex", ":02000000484175\n:020000040000FA\n:0300050009570197\n:00000001FF\n"},
                   {D + "/lfuse.txt", "XCVIII\n"}}},
        {.what = "save refuses what avrdude refuses, a segment past the end and a device; nothing written",
         .lines = {"save ee 0 " + D + "/a.bin", "save ee " + D + "/a.bin:m", "save ee 0x3ff 2 " + D + "/a.bin",
                   "save ee 0 0 " + D + "/a.bin", "save ee /dev/zero", "save ee " + D + "/folder", "save ee",
                   "save nosuch " + D + "/a.bin"},
         .messages = {"組", ":m", "収まりません", "空", "/dev/zero", "folder", "使い方", "nosuch"},
         .failedLines = 7,
         .files = {{D + "/a.bin", std::nullopt}}},
        {.what = "include runs a file's lines, -e shows them; a failed line fails it; quit ends it",
         .lines = {"include -e " + D + "/a.txt", "include " + D + "/q.txt", "include -x " + D + "/a.txt",
                   "include " + D + "/none.txt", "include /dev/zero"},
         .out = "# dump ee 0 1\n0000  48                                                |H               |\n# frob\n",
         .messages = {"不明", "-x", "none.txt", "/dev/zero"},
         .failedLines = 4,
         .eeprom = {{0, 0x5A}, {1, 0x65}},
         .given = {{D + "/a.txt", "dump ee 0 1\r\nfrob"}, {D + "/q.txt", "write ee 0 0x5a\nquit\nwrite ee 1 0x5a\n"}}},
        {.what = "include nests only so deep",
         .lines = {"include " + D + "/self.txt"},
         .messages = {"8 段"},
         .failedLines = 1,
         .given = {{D + "/self.txt", "include " + D + "/self.txt\n"}}},
        {.what = "include nests 8 deep: the 8th level runs, the 9th does not",
         .lines = {"include " + D + "/l1.txt", "flush"},
         .messages = {"8 段"},
         .failedLines = 1,
         .eeprom = {{0x101, 1}, {0x104, 4}, {0x108, 8}, {0x109, 0xFF}},
         .given = Nested(D, 9)},
        {.what = "include counts the lines of every level: the last within the bound runs",
         .lines = {"include " + D + "/top.txt", "flush"},
         .eeprom = {{0x301, 2}},
         .given = Wide(D, (CTerminalSession::kMaxIncludeLines - 3) / 2)},
        {.what = "include counts the lines of every level: the first past the bound does not run",
         .lines = {"include " + D + "/top.txt", "flush"},
         .messages = {"行に達した"},
         .failedLines = 1,
         .eeprom = {{0x301, 0xFF}},
         .given = Wide(D, (CTerminalSession::kMaxIncludeLines - 3) / 2 + 1)},
        {.what = "save writes no more than the memory holds, however many segments",
         .lines = {"save ee 0 0x400 0 1 " + D + "/big.bin", "save ee 0 0x200 0x200 0x200 " + D + "/all.bin"},
         .messages = {"大きさ (1024 バイト)"},
         .failedLines = 1,
         .files = {{D + "/big.bin", std::nullopt}}},
        {.what = "verbose: a dump without its length says first what it shows; include -e numbers lines",
         .lines = {"verbose 1", "dump ee 0 2", "dump ee", "verbose", "verbose -1", "include -e " + D + "/v.txt"},
         .out = "新しい verbose レベル: 1\n"
                "0000  48 65                                             |He              |\n"
                ">>> dump eeprom 0x2 0x2\n"
                "0002  6c 6c                                             |ll              |\n"
                "# 1: sig\nDevice signature = 0x1e950f\n",
         .messages = {"verbose レベル: 1", "負"},
         .failedLines = 1,
         .given = {{D + "/v.txt", "sig\n"}}},
        {.what = "a line longer than the bound is refused whole, one at the bound runs",
         .lines = {longLine + "; write ee 0 0x41", fullLine},
         .messages = {"64 KiB"},
         .failedLines = 1,
         .eeprom = {{0, 0x42}}},
        {.what = "part: the device and its memories",
         .lines = {"part"},
         .out = "ATmega328P\nメモリ      サイズ ページ\n"
                "flash        32768    128\neeprom        1024      4\nlfuse            1      -\n"
                "hfuse            1      -\nefuse            1      -\nlock             1      -\n"
                "calibration      1      -\nsignature        3      -\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpsRig rig("ATmega328P", "ATmega328P");
        rig.Target().Flash()[0x200] = 0x00;
        rig.Target().Flash()[0x300] = 0x12;
        const std::string hello = "Hello\tW\1rld";
        std::copy(hello.begin(), hello.end(), rig.Target().Eeprom().begin());
        for (const auto& [path, text] : c.given) {
            QFile f(QString::fromStdString(path));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text.data(), static_cast<qint64>(text.size())) ==
                                                                static_cast<qint64>(text.size()));
        }
        const Ran ran = RunLines(rig, c.lines);
        EXPECT_EQ(ran.out, c.out);
        EXPECT_EQ(ran.failed, c.failedLines);
        ExpectMessages(ran, c.messages);
        for (const auto& [a, v] : c.flash) EXPECT_EQ(rig.Target().ReadFlash(a), v) << "FLASH " << a;
        for (const auto& [a, v] : c.eeprom) EXPECT_EQ(rig.Target().ReadEeprom(a), v) << "EEPROM " << a;
        if (c.lfuse) {
            EXPECT_EQ(rig.Target().ReadFuse(1), *c.lfuse);
        }
        for (const auto& [path, text] : c.files) EXPECT_EQ(FileText(path), text) << path;
    }
}

// What differs from device to device, and a flush the box refuses: the
// cache keeps the writes, and the next flush brings them to the chip.
TEST(Terminal, DevicesAndRefusedFlushes) {
    const struct {
        const char* device;
        std::vector<std::string> lines;
        std::string out;
        std::vector<std::string> messages;
        int failedLines;
        std::set<size_t> refused;  // lines during which the box refuses programming
        std::map<uint32_t, uint8_t> eeprom;
    } cases[] = {
        {"ATmega128",
         {"dump flash -8 16", "save flash 0xfff0 0x20 -:i", "save flash 0 2 0x10000 1 -:s"},
         "1fff8  ff ff ff ff ff ff ff ff                           |........        |\n"
         "00000  ff ff ff ff ff ff ff ff                           |........        |\n"
         // Intel HEX: no record crosses 64 KB, a type 04 record starts the next.
         ":10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF11\n:020000040001F9\n"
         ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\n:00000001FF\n"
         // S-records: three address bytes for 128 KB, the count of all segments' records.
         "S00D00006F72696F6C652D636C6903\nS206000000FFFFFB\nS205010000FFFA\nS5030002FA\nS804000000FB\n",
         {},
         0,
         {},
         {}},
        {"ATtiny13",
         {"part", "dump efuse", "config SELF"},
         "ATtiny13\nメモリ      サイズ ページ\n"
         "flash         1024     32\neeprom          64      4\nlfuse            1      -\n"
         "hfuse            1      -\nlock             1      -\ncalibration      1      -\n"
         "signature        3      -\n"
         "config SELFPRGEN=1 # hfuse ビット 4\n",
         {"efuse"},
         1,
         {},
         {}},
        {"ATtiny12",  // factory fuse 0x52
         {"config", "dump lock"},
         "config BODLEVEL=0 # fuse ビット 7\nconfig BODEN=1 # fuse ビット 6\n"
         "config SPIEN=0 # fuse ビット 5\nconfig RSTDISBL=1 # fuse ビット 4\n"
         "config CKSEL3=0 # fuse ビット 3\nconfig CKSEL2=0 # fuse ビット 2\n"
         "config CKSEL1=1 # fuse ビット 1\nconfig CKSEL0=0 # fuse ビット 0\n"
         "config LB2=1 # lock ビット 2\nconfig LB1=1 # lock ビット 1\n"
         "0000  ff                                                |.               |\n",
         {},
         0,
         {},
         {}},
        {"AT90S2313",
         {"part", "dump calibration", "dump lfuse"},
         "AT90S2313\nメモリ      サイズ ページ\n"
         "flash         2048      -\neeprom         128      -\nlock             1      -\n"
         "signature        3      -\n",
         {"AT90S2313 には メモリ calibration", "AT90S2313 には メモリ lfuse"},
         2,
         {},
         {}},
        {"AT90S8515",
         {"config", "dump lock", "dump fuse"},
         "",
         {"ロックビットを読み出せません", "ロックビットを読み出せません", "fuse"},
         2,
         {},
         {}},
        {"ATmega328P",  // the flush stops at its FLASH part; the EEPROM stays cached
         {"write flash 0 0", "write ee 2 0x5a", "flush", "flush"},
         "",
         {"FLASH"},
         1,
         {2},
         {{2, 0x5A}}},
        {"ATmega328P",
         {"write ee 2 0x5a", "flush", "dump ee 2 1", "flush"},
         "0002  5a                                                |Z               |\n",
         {"EEPROM"},
         1,
         {1},
         {{2, 0x5A}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        OpsRig rig(c.device, c.device);
        const Ran ran = RunLines(rig, c.lines, c.refused);
        EXPECT_EQ(ran.out, c.out);
        EXPECT_EQ(ran.failed, c.failedLines);
        ExpectMessages(ran, c.messages);
        for (const auto& [a, v] : c.eeprom) EXPECT_EQ(rig.Target().ReadEeprom(a), v) << "EEPROM " << a;
    }
}

// The flush as a value: the job the cache plans for what the lines wrote,
// nothing written while it plans, and the chip as the job leaves it.
TEST(Terminal, FlushIsAJobOfTheCachedBytes) {
    using K = StepKind;
    const struct {
        const char* what;
        std::vector<std::string> lines;
        std::vector<StepKind> steps;
        bool erases;
        std::map<uint32_t, int16_t> cells;  // of the last image: address, value (-1 no data)
        uint32_t count;                     // of the last image
    } cases[] = {
        {"nothing cached", {}, {}, false, {}, 0},
        {"FLASH bits cleared only: the pages over what is there",
         {"write flash 0x100 0x12"}, {K::WriteFlash}, false, {{0x100, 0x12}, {0xFF, -1}}, 0x101},
        {"a FLASH bit back to 1: erase, the EEPROM as it is, the whole FLASH",
         {"write flash 0x200 0xff", "write ee 1 0x33"}, {K::Erase, K::WriteEeprom, K::WriteFlash}, true,
         {{0x200, -1}, {0x300, 0x12}}, 0x8000},
        {"the EEPROM alone, up to its last byte written",
         {"write ee 3 7"}, {K::WriteEeprom}, false, {{3, 7}, {2, -1}}, 4},
        {"both, FLASH first", {"write flash 0 0", "write ee 0 1"}, {K::WriteFlash, K::WriteEeprom}, false,
         {{0, 1}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpsRig rig("ATmega328P", "ATmega328P");
        rig.Target().ProgramFlash(0x200, 0x00);
        rig.Target().ProgramFlash(0x300, 0x12);
        const auto before = rig.Target().ReadEeprom(1);
        CTerminalSession session(rig.core, [](std::string_view) {}, [](std::string_view) {}, false);
        for (const std::string& line : c.lines) ASSERT_TRUE(session.RunLine(line));
        avrdude::CByteCache::Flush plan;
        ASSERT_TRUE(session.FlushJob(plan));
        std::vector<StepKind> kinds;
        for (const JobStep& step : plan.job.steps) {
            kinds.push_back(step.kind);
            EXPECT_TRUE(step.kind == K::Erase || step.verify) << "every write verified";
        }
        EXPECT_EQ(kinds, c.steps);
        EXPECT_EQ(plan.erases, c.erases);
        EXPECT_EQ(rig.Target().ReadEeprom(1), before) << "planning writes nothing";
        if (c.steps.empty()) {
            EXPECT_FALSE(session.HasPendingWrites());
            continue;
        }
        const ImageBuffer& last = plan.job.images.back().image;
        EXPECT_EQ(last.count, c.count);
        for (const auto& [a, v] : c.cells) EXPECT_EQ(last.cells[a], v) << a;
        ASSERT_TRUE(session.Flush());
        EXPECT_FALSE(session.HasPendingWrites());
        if (c.erases) {
            EXPECT_EQ(rig.Target().ReadFlash(0x200), 0xFF);
            EXPECT_EQ(rig.Target().ReadEeprom(1), 0x33);
        }
    }
}

// A write the device cannot take is refused as the job refuses it, before
// anything is sent: one refusal, whichever front end asks.
TEST(Terminal, LockWritesAreRefusedAsTheJobRefusesThem) {
    for (const char* device : {"AT90S2313", "AT90S8515", "ATmega328P"}) {
        SCOPED_TRACE(device);
        OpsRig byJob(device, device);
        byJob.ClearLog();
        Job job;
        JobStep& step = job.steps.emplace_back();
        step.kind = StepKind::WriteLock;
        step.lock = 0xFC;
        step.verify = DescribeMemory(byJob.core.Device(), Memory::Lock).readable;
        job.detected = true;
        const JobResult r = RunJob(byJob.core, job);

        OpsRig byTerminal(device, device);
        byTerminal.ClearLog();
        const Ran ran = RunLines(byTerminal, {"write lock 0 0xfc"});
        EXPECT_EQ(ran.failed, r.ok ? 0 : 1);
        EXPECT_EQ(byTerminal.Texts(), byJob.Texts());
        EXPECT_EQ(byTerminal.core.FirstFailure().cause, r.cause);
        EXPECT_EQ(byTerminal.Sent(), byJob.Sent());
        EXPECT_EQ(byTerminal.Target().LockBits(), byJob.Target().LockBits());
    }
}

// Lines from a stream: a line past the bound keeps only what the session
// needs to refuse it, and the next line is read whole; a NUL stays in its
// line, which is refused alone, and the line after it runs.
TEST(Terminal, InputLinesKeepNoMoreThanTheBoundAndRefuseANul) {
    const std::string huge(3 * CTerminalSession::kMaxLine, 'x');
    QByteArray text = QByteArray::fromStdString("sig\n" + huge + "\r\n\nlast");
    QBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    avrdude::CLineInput input(buffer);
    std::vector<std::string> lines;
    for (std::string line; input.Next(line);) lines.push_back(line);
    EXPECT_TRUE(input.Failure().empty());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "sig");
    EXPECT_EQ(lines[1], std::string(CTerminalSession::kMaxLine + 1, 'x'));
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "last");

    OpsRig rig("ATmega328P", "ATmega328P");
    QByteArray typed("write ee 0 0x11\0; write ee 2 0x22\nwrite ee 1 0x33\nquit\n", 55);
    QBuffer typing(&typed);
    ASSERT_TRUE(typing.open(QIODevice::ReadOnly));
    avrdude::CLineInput nul(typing);
    std::vector<std::string> read;
    for (std::string line; nul.Next(line);) read.push_back(line);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].size(), 33u);
    const Ran ran = RunLines(rig, read);
    EXPECT_EQ(ran.failed, 1);
    ExpectMessages(ran, {"NUL"});
    EXPECT_EQ(rig.Target().ReadEeprom(0), 0xFF);
    EXPECT_EQ(rig.Target().ReadEeprom(2), 0xFF);
    EXPECT_EQ(rig.Target().ReadEeprom(1), 0x33);
}

// Words of a line and data items, where avrdude's rules are easy to get wrong.
TEST(Terminal, WordsAndDataItemsAsAvrdudeReadsThem) {
    using avrdude::SplitLine;
    using W = std::vector<std::vector<std::string>>;
    // ';' ends a command only at the end of a word.
    EXPECT_EQ(SplitLine("  write ee 0 \"a b\" 'c'; dump ee;  # comment ; sig"),
              (W{{"write", "ee", "0", "\"a b\"", "'c'"}, {"dump", "ee"}}));
    EXPECT_EQ(SplitLine("write ee 0 a\\ b ; sig"), (W{{"write", "ee", "0", "a b"}, {"sig"}}));
    EXPECT_EQ(SplitLine("write ee 0 'a;b' x;y"), (W{{"write", "ee", "0", "'a;b'", "x;y"}}));
    EXPECT_EQ(SplitLine("!ls -l; sig"), (W{{"!ls -l; sig"}}));
    EXPECT_EQ(SplitLine("# only a comment"), W{});

    const struct {
        const char* word;
        std::vector<uint8_t> bytes;  // empty: refused
        bool warns = false;
    } items[] = {
        {"0x12,", {0x12}},
        {"0x0012", {0x12, 0x00}},
        {"-0x1", {0xFF}},
        {"-129", {0x7F, 0xFF}},
        {"65536", {0x00, 0x00, 0x01, 0x00}},
        {"017", {0x0F}},
        {"0b100000000", {0x00, 0x01}},
        {"1U", {0x01}},
        {"1LL", {1, 0, 0, 0, 0, 0, 0, 0}},
        {"300HH", {0x2C}, true},
        {"'\\n'", {0x0A}},
        {"'ab'", {'a'}, true},
        {"\"A\\x41\\101\\e\"", {'A', 'A', 'A', 0x1B, 0x00}},
        {"\"\\u00e9\"", {0xC3, 0xA9, 0x00}},
        {"1UU", {}},
        {"078", {}},
        {"1.5", {}},
        {"2F", {}},
        {"file.hex", {}},
        {"", {}},
    };
    for (const auto& item : items) {
        const avrdude::DataItem d = avrdude::ParseData(item.word);
        EXPECT_EQ(d.bytes, item.bytes) << item.word << " " << d.error;
        EXPECT_EQ(d.error.empty(), !item.bytes.empty()) << item.word;
        EXPECT_EQ(d.warning.empty(), !item.warns) << item.word << " " << d.warning;
    }
    int32_t v = 0;
    std::string why;
    EXPECT_TRUE(avrdude::ParseInt32("0xffffffff", v, why) && v == -1);
    EXPECT_TRUE(avrdude::ParseInt32("'A'", v, why) && v == 65);
    EXPECT_FALSE(avrdude::ParseInt32("0x100000000", v, why));
    EXPECT_FALSE(avrdude::ParseInt32("\"s\"", v, why));
}

}  // namespace
}  // namespace oriole::test
