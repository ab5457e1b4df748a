// Production runs on the simulated box: serial numbers as the rules store
// them, the start refusing a rule that overlaps the image, a failing chip's
// number spent or given back as the setting file says, a changed image file
// stopping the run, several boxes at once, in this process and behind
// serial ports, sharing the numbers and the log, the rows of a run that
// died mid-chip, and chips swapped faster than the box is polled; how a run
// ends and what it counts, the log's columns and syncing, and the event stream.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "PtySimServer.h"
#include "support/ProductionFixture.h"
#include "production/ProductionRun.h"
#include "production/SerialNumbers.h"
#include "base/FileSync.h"
#include "link/WireTrace.h"
#include <sys/file.h>

namespace oriole {
namespace {

using Bytes = std::vector<uint8_t>;

// The file an open descriptor stands for.
QString PathOfFd(int fd) { return QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).canonicalFilePath(); }

TEST(SerialEncodingTest, StoresEachNumberAsItsRuleSays) {
    struct Case {
        SerialEncoding encoding;
        int width;
        bool bigEndian;
        uint64_t value;
        std::optional<Bytes> bytes;
    };
    const Case cases[] = {
        {SerialEncoding::Binary, 2, false, 0x1234, Bytes{0x34, 0x12}},
        {SerialEncoding::Binary, 2, true, 0x1234, Bytes{0x12, 0x34}},
        {SerialEncoding::Binary, 1, false, 0x100, std::nullopt},
        {SerialEncoding::Binary, 8, true, UINT64_MAX, Bytes(8, 0xFF)},
        {SerialEncoding::Bcd, 2, true, 1234, Bytes{0x12, 0x34}},
        {SerialEncoding::Bcd, 3, false, 1234, Bytes{0x34, 0x12, 0x00}},
        {SerialEncoding::Bcd, 1, true, 100, std::nullopt},
        {SerialEncoding::AsciiDecimal, 5, true, 42, Bytes{'0', '0', '0', '4', '2'}},
        // ASCII figures read left to right whatever the byte order.
        {SerialEncoding::AsciiDecimal, 3, false, 123, Bytes{'1', '2', '3'}},
        {SerialEncoding::AsciiDecimal, 8, false, 123458, Bytes{'0', '0', '1', '2', '3', '4', '5', '8'}},
        {SerialEncoding::AsciiHex, 4, false, 0xBEEF, Bytes{'B', 'E', 'E', 'F'}},
        {SerialEncoding::AsciiDecimal, 2, true, 100, std::nullopt},
        {SerialEncoding::AsciiHex, 4, true, 0xBEEF, Bytes{'B', 'E', 'E', 'F'}},
        {SerialEncoding::AsciiHex, 2, true, 0x100, std::nullopt},
    };
    for (const Case& c : cases) {
        SerialRule rule;
        rule.encoding = c.encoding;
        rule.width = c.width;
        rule.bigEndian = c.bigEndian;
        EXPECT_EQ(EncodeSerial(rule, c.value), c.bytes)
            << "encoding " << static_cast<int>(c.encoding) << " width " << c.width << " value " << c.value;
    }
}

TEST(SerialSpecTest, ParsesTheCommandLineForm) {
    struct Case {
        const char* spec;
        CalibMemory memory;
        uint32_t address;
        int width;
        bool bigEndian;
        SerialEncoding encoding;
    };
    const Case cases[] = {
        {"eeprom:10:4", CalibMemory::Eeprom, 0x10, 4, false, SerialEncoding::Binary},
        {"flash:0x7FF0:8:be:hex", CalibMemory::Flash, 0x7FF0, 8, true, SerialEncoding::AsciiHex},
        {"eeprom:0:3:bcd", CalibMemory::Eeprom, 0, 3, false, SerialEncoding::Bcd},
    };
    const char* const refused[] = {"eeprom:0:9", "eeprom:0:0", "ram:0:2", "eeprom:zz:2", "eeprom:0:2:ascii", "eeprom:0"};
    for (const char* spec : refused) {
        SerialRule rule;
        std::string error;
        EXPECT_FALSE(ParseSerialSpec(spec, rule, error)) << spec;
        EXPECT_FALSE(error.empty()) << spec;
    }
    for (const Case& c : cases) {
        SerialRule rule;
        std::string error;
        ASSERT_TRUE(ParseSerialSpec(c.spec, rule, error)) << c.spec;
        EXPECT_EQ(rule.memory, c.memory) << c.spec;
        EXPECT_EQ(rule.address, c.address) << c.spec;
        EXPECT_EQ(rule.width, c.width) << c.spec;
        EXPECT_EQ(rule.bigEndian, c.bigEndian) << c.spec;
        EXPECT_EQ(rule.encoding, c.encoding) << c.spec;
    }
}

// A setting file for an ATmega328P on a fast simulated box (the shared
// fixture), and what a run reports.
class ProductionTest : public test::ProductionFixture {};

TEST_F(ProductionTest, ARuleOverlappingTheImageIsRefusedAtTheStartNamingTheAddress) {
    struct Case {
        const char* rule;
        const char* steps;
        bool refused;
        const char* says;
    };
    const Case cases[] = {
        {"flash:8:2", "00000007", true, "0x0008"},
        {"flash:E:4", "00000007", true, "0x000E"},
        {"flash:10:4", "00000007", false, ""},
        {"eeprom:0:4", "0000001F", false, ""},
        {"eeprom:3FE:4", "0000001F", true, "0x03FE"},  // beyond the 1 KB EEPROM
        {"eeprom:0:4", "00000007", true, "EEPROM 書き込みの手順がありません"},
    };
    for (const Case& c : cases) {
        m_messages.clear();
        CProductionRun run(Job(c.steps, QByteArray("Serial=") + c.rule + "\r\n"), {}, Events());
        EXPECT_EQ(run.Prepare(), !c.refused) << c.rule;
        if (c.refused) {
            EXPECT_NE(Messages().find(c.says), std::string::npos) << c.rule << "\n" << Messages();
        }
    }
}

// What a setting file adds to the rules every front end's job follows (the
// refusals themselves are the contract suite's, tests/contract): the hint
// names AllowRiskyFuses, which lets a risky value through but never one that
// releases SPIEN, and a bad value of it is refused; LastAVR names the device
// the main window's list would, and an error the box reported while a chip
// ran fails that chip.
TEST_F(ProductionTest, TheJobsRulesHoldBeforeTheFirstChip) {
    struct Case {
        const char* what;
        QByteArray device, autoCheck, extra, production;
        const char* flashFile;  // written as prog.hex
        bool prepared;
        const char* says;
    };
    const QByteArray fuses = "[Fuse]\r\nFuseEnable=1\r\nFuseExt=FF\r\nFuseLow=62\r\nFuseHigh=";
    const Case cases[] = {
        {"RSTDISBL hint", "ATmega328P", "00000023", fuses + "59\r\n", "", nullptr, false, "AllowRiskyFuses=1"},
        {"RSTDISBL allowed", "ATmega328P", "00000023", fuses + "59\r\n", "AllowRiskyFuses=1\r\n", nullptr, true, ""},
        {"SPIEN even when allowed", "ATmega328P", "00000023", fuses + "FF\r\n", "AllowRiskyFuses=1\r\n", nullptr,
         false, "SPIEN"},
        {"a safe value", "ATmega328P", "00000023", fuses + "D9\r\n", "", nullptr, true, ""},
        {"a bad AllowRiskyFuses", "ATmega328P", "00000001", "", "AllowRiskyFuses=yes\r\n", nullptr, false,
         "AllowRiskyFuses"},
        // Every number by one rule: 0x is hexadecimal, what no rule reads is
        // refused naming key and value, never taken as 0.
        {"0x fuse values", "ATmega328P", "0x00000023", "[Fuse]\r\nFuseEnable=1\r\nFuseExt=0xFF\r\nFuseLow=0x62\r\nFuseHigh=0xD9\r\n",
         "", nullptr, true, ""},
        {"a fuse value no rule reads", "ATmega328P", "00000023", fuses + "D9h\r\n", "", nullptr, false,
         "[Fuse] FuseHigh の値を数として読めません: D9h"},
        {"AutoCheck no rule reads", "ATmega328P", "0x1G", "", "", nullptr, false, "[Device] AutoCheck の値を数として読めません: 0x1G"},
        // A job programs what it names, and its steps can pass.
        {"no AutoCheck: only the erase", "ATmega328P", "", "", "", nullptr, false, "FLASH のファイル"},
        {"a FLASH verify after the erase", "ATmega328P", "0x5", "", "", nullptr, false, "書き込まずにベリファイ"},
        {"an EEPROM verify after the erase", "ATmega328P", "0x13", "", "", nullptr, false, "EEPROM を消去した後"},
    };
    for (const Case& c : cases) {
        m_messages.clear();
        if (c.flashFile != nullptr) Write("prog.hex", c.flashFile);
        WriteSettingFile(c.autoCheck, c.production, c.extra, c.device);
        ProductionJob job;
        std::string error;
        const bool loaded = LoadProductionJob(Path("job.set"), job, error);
        if (!loaded) {
            EXPECT_FALSE(c.prepared) << c.what;
            EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
            continue;
        }
        CProductionRun run(job, {}, Events());
        EXPECT_EQ(run.Prepare(), c.prepared) << c.what << "\n" << Messages();
        EXPECT_NE(Messages().find(c.says), std::string::npos) << c.what << "\n" << Messages();
        Write("prog.hex", test::kProgramHex);
    }

    // LastAVR as the window's sorted list reads a prefix.
    Write("job.set", "[Device]\r\nLastAVR=AT90S443\r\n");
    ProductionJob job;
    std::string error;
    ASSERT_TRUE(LoadProductionJob(Path("job.set"), job, error)) << error;
    EXPECT_STREQ(DeviceAt(job.deviceRow).name, "AT90S4433");
}

// A setting file writes only inside its folder (or the data folder the
// command line names): a log or counter it names elsewhere, through a link
// (a dangling one too) or with another name (a hard link) is refused before
// the first chip, naming the key and the path, and nothing outside changes.
TEST_F(ProductionTest, ASettingFileWritesOnlyInsideItsJob) {
    QTemporaryDir outside;
    const QString away = outside.path();
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("logs"));
    ASSERT_TRUE(QFile::link(away, Path("elsewhere")));
    struct Case {
        const char* what;
        QByteArray production;
        const char* linkName;  // made in the job folder, to `linkTo` outside
        const char* linkTo;
        bool hard;
        bool dataDir;  // the outside folder given as --data-dir
        const char* says;  // empty: the run may start
    };
    const Case cases[] = {
        {"a log above the folder", "Log=../" + QFileInfo(away).fileName().toUtf8() + "/log.csv\r\n", nullptr, nullptr,
         false, false, "[Production] Log"},
        {"a log through a linked folder", "Log=elsewhere/log.csv\r\n", nullptr, nullptr, false, false, "[Production] Log"},
        {"a counter by its absolute path", "Serial=flash:100:4\r\nSerialCounter=" + away.toUtf8() + "/n\r\n", nullptr,
         nullptr, false, false, "[Production] SerialCounter"},
        {"a dangling link as the log", "", "job.set.log.csv", "made.csv", false, false, "job.set.log.csv"},
        {"a hard link as the log", "", "job.set.log.csv", "login", true, false, "job.set.log.csv"},
        {"a log in a subfolder", "Log=logs/run.csv\r\n", nullptr, nullptr, false, false, ""},
        {"the data folder", "Log=" + away.toUtf8() + "/log.csv\r\n", nullptr, nullptr, false, true, ""},
    };
    for (const Case& c : cases) {
        m_messages.clear();
        QFile::remove(Path("job.set.log.csv"));
        for (const QString& name : QDir(away).entryList(QDir::Files)) QFile::remove(away + '/' + name);
        {
            QFile login(away + "/login");
            ASSERT_TRUE(login.open(QIODevice::WriteOnly));
            login.write("echo hello\n");
        }
        if (c.linkName != nullptr) {
            const QString target = away + '/' + c.linkTo;
            ASSERT_TRUE(c.hard ? link(QFile::encodeName(target).constData(), QFile::encodeName(Path(c.linkName)).constData()) == 0
                               : QFile::link(target, Path(c.linkName)))
                << c.what;
        }
        ProductionJob job = Job("00000007", c.production);
        if (c.dataDir) job.dataDir = away;
        CProductionRun run(job, {}, Events());
        const bool may = *c.says == '\0';
        EXPECT_EQ(run.Prepare(), may) << c.what << "\n" << Messages();
        if (may) continue;
        EXPECT_NE(Messages().find(c.says), std::string::npos) << c.what << "\n" << Messages();
        EXPECT_EQ(QDir(away).entryList(QDir::Files), QStringList{"login"}) << c.what;
        EXPECT_EQ(Read(away + "/login"), "echo hello\n") << c.what;
    }
}

TEST_F(ProductionTest, AnErrorTheBoxReportedFailsTheChip) {
    ProductionOptions options;
    options.writers = {"sim:ATmega328P,fast,dup=E"};
    ProductionJob job = Job("00000007", "");
    CProductionRun run(job, options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
    ASSERT_EQ(m_chips.size(), 1u) << Messages();
    EXPECT_FALSE(m_chips[0].passed) << Messages();
    EXPECT_EQ(run.Passed(), 0);
    EXPECT_EQ(m_chips[0].cause, Cause::WrongAnswer);
}

TEST_F(ProductionTest, AChipFailingVerifyIsLoggedFailedAndItsNumberIsNotReused) {
    // The FLASH verify finds the blank chip without the program: every chip
    // fails there, before anything was written (so the tray takes each one
    // out once it was left alone for a while).
    ProductionOptions options;
    options.writers = {"sim:ATmega328P,fast,swap=100:150:300"};
    options.count = 2;
    options.poll = std::chrono::milliseconds(40);
    ProductionJob job = Job("0000000D", "Serial=eeprom:10:2:be:bcd\r\nSerialFirst=7\r\nSerialStep=3\r\n");
    job.steps &= ~step_bit::kErase;  // as --steps flash-verify,eeprom gives them
    CProductionRun run(job, options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
    EXPECT_EQ(run.Failed(), 2);
    EXPECT_EQ(run.Passed(), 0);
    ASSERT_EQ(m_chips.size(), 2u) << Messages();
    EXPECT_EQ(m_chips[0].serial, "7");
    EXPECT_EQ(m_chips[1].serial, "10");
    EXPECT_EQ(m_chips[0].failedStep, "FLASH ベリファイ");
    EXPECT_EQ(Read(CounterFileOf(job)).trimmed(), "13");
    const auto lines = LogLines(job);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(",7,エラー,FLASH ベリファイ,")) << lines[0].constData();
    EXPECT_TRUE(lines[1].contains(",10,エラー,FLASH ベリファイ,")) << lines[1].constData();

    // A second run goes on after the numbers the failed chips took.
    m_chips.clear();
    CProductionRun again(job, options, Events());
    ASSERT_TRUE(again.Prepare());
    again.Run();
    ASSERT_EQ(m_chips.size(), 2u);
    EXPECT_EQ(m_chips[0].serial, "13");
    EXPECT_EQ(LogLines(job).size(), 4);
}

TEST_F(ProductionTest, AChangedImageFileStopsTheNextChip) {
    ProductionOptions options;
    options.writers = {"sim:ATmega328P,fast,swap=100:150"};
    options.count = 3;
    options.poll = std::chrono::milliseconds(40);
    ProductionJob job = Job("00000007", "Serial=flash:100:4\r\n");
    CProductionRun run(job, options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    // Between the first chip and the second, the program is rebuilt.
    onChip = [this](const ChipRecord&) {
        Write("prog.hex", ":1000000000000000000000000000000000000000F0\r\n:00000001FF\r\n");
    };
    run.Run();
    EXPECT_TRUE(run.Broken());
    ASSERT_EQ(m_chips.size(), 1u);
    EXPECT_TRUE(m_chips[0].passed) << Messages();
    EXPECT_NE(Messages().find("ファイルが変更されました"), std::string::npos) << Messages();
    EXPECT_NE(Messages().find("prog.hex"), std::string::npos) << Messages();
    EXPECT_EQ(LogLines(job).size(), 1);
    // The second chip's number was never taken.
    EXPECT_EQ(Read(CounterFileOf(job)).trimmed(), "2");
}

// An image past the size cap is said as too large, naming it, never taken
// for a changed file: found at the start (no chip), or grown between chips.
TEST_F(ProductionTest, AnImagePastItsCapIsSaidTooLarge) {
    const QByteArray hex = Read(Path("prog.hex"));
    for (const bool between : {false, true}) {
        SCOPED_TRACE(between ? "between chips" : "at the start");
        m_messages.clear();
        m_chips.clear();
        Write("prog.hex", hex);
        const auto grow = [this] { ASSERT_TRUE(QFile::resize(Path("prog.hex"), (qint64{64} << 20) + 1)); };
        if (!between) grow();
        onChip = [&](const ChipRecord&) { grow(); };
        CProductionRun run(Job("00000007", "Serial=flash:100:4\r\n"), Tray(3), Events());
        if (run.Prepare()) run.Run();
        EXPECT_EQ(m_chips.size(), between ? 1u : 0u);
        EXPECT_NE(Messages().find("64 MB"), std::string::npos) << Messages();
        EXPECT_NE(Messages().find("prog.hex"), std::string::npos) << Messages();
        EXPECT_EQ(Messages().find("変更"), std::string::npos) << Messages();
    }
    onChip = nullptr;
}

TEST_F(ProductionTest, ListLinesAreUsedOnceEachAndMarked) {
    Write("serials.txt", "A1B2\r\n# comment\r\nC3 D4\r\n");
    ProductionOptions options;
    options.writers = {"sim:ATmega328P,fast,swap=100:150"};
    options.count = 3;
    options.poll = std::chrono::milliseconds(40);
    ProductionJob job = Job("0000001F", "Serial=eeprom:20:2\r\nSerialList=serials.txt\r\n");
    CProductionRun run(job, options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
    ASSERT_EQ(m_chips.size(), 2u) << Messages();
    EXPECT_EQ(m_chips[0].serial, "A1B2");
    EXPECT_EQ(m_chips[1].serial, "C3 D4");
    EXPECT_TRUE(m_chips[1].passed) << Messages();
    EXPECT_TRUE(run.Broken());  // the third chip found the list used up
    EXPECT_NE(Messages().find("使い切りました"), std::string::npos) << Messages();
    EXPECT_EQ(Read(Path("serials.txt")), "#A1B2\r\n# comment\r\n#C3 D4\r\n");
}

// Four boxes on threads of their own: two simulated in this process (given
// the same spec, so told apart by their names) and two served on
// pseudo-terminals, reached through the serial backend, which reopens the
// port each time it asks for a chip. Every chip gets a number of its own,
// none is skipped, and the log has one whole line per chip.
TEST_F(ProductionTest, SeveralBoxesAtOnceTakeEachNumberOnceAndShareTheLog) {
    constexpr int kChips = 8;
    const char* const kBox = "ATmega328P,fast,swap=100:150";
    struct Served {
        sim::CPtySimServer server;
        std::thread thread;
    };
    std::vector<std::unique_ptr<Served>> served;
    ProductionOptions options;
    options.writers = {std::string("sim:") + kBox, std::string("sim:") + kBox};
    for (int i = 0; i < 2; ++i) {
        std::string error;
        const auto config = sim::ParseSimOptions(kBox, error);
        ASSERT_TRUE(config) << error;
        auto& s = served.emplace_back(std::make_unique<Served>());
        ASSERT_TRUE(s->server.Start(*config, error)) << error;
        s->thread = std::thread([&server = s->server] { server.Serve(); });
        options.writers.push_back("serial:" + s->server.Path());
    }
    options.count = kChips;
    options.poll = std::chrono::milliseconds(40);
    ProductionJob job = Job("0x7", "Serial=flash:100:4\r\n");
    // Each box in flight has its own line in the journal until its row is written.
    int noted = 0;
    onChip = [&](const ChipRecord& r) {
        noted += Read(CounterFileOf(job) + ".journal")
                     .contains(r.box.toUtf8() + '\t' + QByteArray::number(r.boxIndex) + '\t' + r.serial.toUtf8() + '\t');
    };
    CProductionRun run(job, options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
    EXPECT_EQ(noted, kChips);
    EXPECT_FALSE(QFile::exists(CounterFileOf(job) + ".journal"));
    for (auto& s : served) {
        s->server.Stop();
        s->thread.join();
    }

    EXPECT_EQ(run.Passed(), kChips) << Messages();
    EXPECT_EQ(run.Failed(), 0);
    EXPECT_FALSE(run.Broken()) << Messages();
    ASSERT_EQ(m_chips.size(), static_cast<size_t>(kChips)) << Messages();
    std::vector<int> numbers;
    for (const ChipRecord& chip : m_chips) {
        numbers.push_back(chip.serial.toInt());
        const QStringList names{"sim:ATmega328P,fast,swap=100:150#1", "sim:ATmega328P,fast,swap=100:150#2",
                                QString::fromStdString(options.writers[2]),
                                QString::fromStdString(options.writers[3])};
        EXPECT_TRUE(names.contains(chip.box)) << chip.box.toStdString();
    }
    std::sort(numbers.begin(), numbers.end());
    const std::vector<int> expected{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(numbers, expected);
    EXPECT_EQ(Read(CounterFileOf(job)).trimmed(), "9");
    const auto lines = LogLines(job);
    ASSERT_EQ(lines.size(), kChips);
    for (int n = 1; n <= kChips; ++n) {
        const QByteArray field = "," + QByteArray::number(n) + ",OK,";
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const QByteArray& l) { return l.contains(field); }), 1)
            << n;
    }
}


TEST(SerialValueTest, OneRuleForTheSettingFileAndTheCommandLine) {
    struct Case {
        const char* text;
        std::optional<uint64_t> value;
    };
    const Case cases[] = {
        {"100", 100},     {"000100", 100}, {"0900", 900}, {" 42 ", 42}, {"0x1F", 31}, {"0X1f", 31},
        {"", std::nullopt}, {"0x", std::nullopt}, {"-1", std::nullopt}, {"+1", std::nullopt},
        {"12a", std::nullopt}, {"0b11", std::nullopt}, {"1e3", std::nullopt},
    };
    for (const Case& c : cases) {
        uint64_t value = 0;
        EXPECT_EQ(ParseSerialValue(c.text, value), c.value.has_value()) << c.text;
        if (c.value) {
            EXPECT_EQ(value, *c.value) << c.text;
        }
    }
}

// A rule over 10..30 in steps of 5, its counter as a file holds it: Check
// before the first chip, and the number the next chip would get.
TEST_F(ProductionTest, TheCounterSaysWhatIsWrongWithIt) {
    struct Case {
        const char* counter;  // nullptr: no file yet
        const char* next;     // "" when refused
        const char* says;
    };
    const Case cases[] = {
        {nullptr, "10", ""},
        {"20\n", "20", ""},
        {"30\n", "30", ""},
        {"35\n", "", "使い切りました"},
        {"5\n", "", "次の番号 5 はシリアル番号の範囲にありません (最初 10、増分 5、最後 30)"},
        {"12\n", "", "次の番号 12 は"},
        {"40\n", "", "次の番号 40 は"},
        {"35\nfree 15 25\n", "15", ""},
        {"abc\n", "", "の 1 行目を読めません: abc"},
        // A number given back obeys the rule of every number, and comes before the next.
        {"20\nfree 25\n", "", "free の番号 25 は使えません"},
        {"20\nfree 20\n", "", "free の番号 20 は使えません"},
        {"20\nfree 5\n", "", "free の番号 5 は使えません"},
        {"20\nfree 12\n", "", "free の番号 12 は使えません"},
        {"35\nfree 15 40\n", "", "free の番号 40 は使えません"},
        {"20\nfree5\n", "", "の 2 行目を読めません: free5"},
    };
    for (const Case& c : cases) {
        SerialRule rule;
        rule.width = 2;
        rule.first = 10;
        rule.step = 5;
        rule.last = 30;
        const char* shown = c.counter != nullptr ? c.counter : "(none)";
        QFile::remove(Path("counter"));
        if (c.counter != nullptr) Write("counter", c.counter);
        CSerialAllocator serials(rule, Path("counter"));
        std::string error;
        EXPECT_EQ(serials.Check(error), *c.next != '\0') << shown << ": " << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << shown << ": " << error;
        EXPECT_EQ(serials.Next(), c.next) << shown;
        SerialNumber number;
        EXPECT_EQ(serials.Take(number, error), *c.next != '\0') << shown;
        if (*c.next != '\0') {
            EXPECT_EQ(number.text, c.next) << shown;
        }
    }
}

TEST_F(ProductionTest, AListHoldingANumberTwiceIsRefusedBeforeTheFirstChip) {
    struct Case {
        const char* list;
        const char* says;  // "" when taken
    };
    const Case cases[] = {
        {"0001\n00 01\n", "0001 と 00 01"},
        {"#0001\n0002\n0001\n", "0001 と 0001"},
        {"# remark\n0001\n0002\n", ""},
        {"0001\n01\n", "01"},
    };
    for (const Case& c : cases) {
        Write("list.txt", c.list);
        SerialRule rule;
        rule.width = 2;
        rule.listFile = Path("list.txt");
        std::string error;
        EXPECT_EQ(CSerialAllocator(rule, Path("counter")).Check(error), *c.says == '\0') << c.list;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.list << ": " << error;
    }
}

// One counter reached by two names, the file and a chain of two relative
// links to it from other folders: both allocators lock and write the same
// file, taking in turn and on threads at once, and no number comes twice.
TEST_F(ProductionTest, ACounterReachedByTwoNamesGivesEachNumberOnce) {
    QDir dir(m_dir.path());
    ASSERT_TRUE(dir.mkpath("a") && dir.mkpath("b") && dir.mkpath("c"));
    Write("a/counter", "1\n");
    ASSERT_TRUE(QFile::link("../a/counter", Path("c/link")));
    ASSERT_TRUE(QFile::link("../c/link", Path("b/counter")));  // b -> c -> a
    SerialRule rule;
    CSerialAllocator viaFile(rule, Path("a/counter"));
    CSerialAllocator viaLink(rule, Path("b/counter"));
    EXPECT_EQ(viaFile.LockFile(), viaLink.LockFile());
    std::vector<QString> taken;
    std::mutex mutex;
    auto take = [&](CSerialAllocator& serials, int times) {
        for (int i = 0; i < times; ++i) {
            SerialNumber number;
            std::string error;
            ASSERT_TRUE(serials.Take(number, error)) << error;
            const std::lock_guard lock(mutex);
            taken.push_back(number.text);
        }
    };
    for (int i = 0; i < 5; ++i) {
        take(viaFile, 1);
        take(viaLink, 1);
    }
    std::thread one([&] { take(viaFile, 40); });
    std::thread two([&] { take(viaLink, 40); });
    one.join();
    two.join();
    const std::set<QString> distinct(taken.begin(), taken.end());
    EXPECT_EQ(distinct.size(), taken.size());
    EXPECT_EQ(Read(Path("a/counter")).trimmed(), "91");
    EXPECT_TRUE(QFileInfo(Path("b/counter")).isSymLink());
}

// A journal as a run killed mid-chip leaves it, in the earlier form (box,
// number, time, setting file, pid, host): its box's line with the number it
// took. The next start writes the row that run never wrote, says so once,
// and goes on after the number; a line whose number the counter still
// gives (the run died before advancing it) needs no row.
TEST_F(ProductionTest, TheChipsOfARunThatDiedGetTheirRowsAtTheNextStart) {
    // A process id no process has: ids stay below the system's maximum.
    const QByteArray child = Read("/proc/sys/kernel/pid_max").trimmed();
    ASSERT_FALSE(child.isEmpty());
    const QString box = "sim:ATmega328P,fast,swap=100:150";
    ProductionJob job = Job("00000007", "Serial=flash:100:4\r\nSerialFirst=7\r\n");
    Write("job.set.counter", "10\n");
    const QByteArray host = JournalHost().toUtf8();
    const QByteArray set = job.settingFile.toUtf8();
    Write("job.set.counter.journal",
          "box-a\t8\t2026-01-02T03:04:05\t" + set + '\t' + child + '\t' + host + "\n" +
              "box-b\t9\t2026-01-02T03:04:06\t" + set + '\t' + child + '\t' + host + "\n" +
              "box-c\t10\t2026-01-02T03:04:07\t" + set + '\t' + child + '\t' + host + "\n" +
              // Another machine's run on a shared counter is its own to log, and said.
              "box-d\t7\t2026-01-02T03:04:08\t" + set + '\t' + child + "\telsewhere\n");
    auto journal = [&] {
        std::vector<JournalEntry> entries;
        int bad = 0;
        QByteArray text;
        EXPECT_TRUE(ParseJournal(Read(Path("job.set.counter.journal")), entries, bad, text)) << bad;
        return entries;
    };

    ProductionOptions options;
    options.writers = {box.toStdString()};
    ProductionEvents events = Events();
    // While a chip is on the socket its number is in the journal.
    std::vector<QByteArray> inFlight;
    events.onChipStart = [&](const std::string&, const std::string& serial) {
        if (!serial.empty()) inFlight.push_back(Read(Path("job.set.counter.journal")));
    };
    CProductionRun run(job, options, events);
    ASSERT_TRUE(run.Prepare()) << Messages();
    const auto lines = LogLines(job);
    ASSERT_EQ(lines.size(), 2) << Messages();
    EXPECT_TRUE(lines[0].contains(",box-a,,,,,8,中断,")) << lines[0].constData();
    // An earlier form's time as the log writes times: milliseconds and the zone.
    EXPECT_TRUE(lines[0].startsWith("2026-01-02T03:04:05.000") && QByteArray("+-Z").contains(lines[0][23]))
        << lines[0].constData();
    EXPECT_TRUE(lines[1].contains(",box-b,,,,,9,中断,")) << lines[1].constData();
    ASSERT_EQ(m_messages.size(), 2u) << Messages();
    EXPECT_NE(Messages().find("2 個のチップ"), std::string::npos) << Messages();
    EXPECT_NE(Messages().find("8, 9"), std::string::npos) << Messages();
    EXPECT_NE(Messages().find("別のマシン"), std::string::npos) << Messages();
    EXPECT_EQ(journal().size(), 1u);

    run.Run();
    ASSERT_EQ(m_chips.size(), 1u) << Messages();
    EXPECT_EQ(m_chips[0].serial, "10");
    ASSERT_EQ(inFlight.size(), 1u);
    EXPECT_TRUE(inFlight[0].contains(box.toUtf8() + "\t1\t10\t")) << inFlight[0].constData();
    const auto left = journal();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].box, "box-d");
    EXPECT_EQ(LogLines(job).size(), 3);
    // Started again, only the other machine's line is left to say.
    m_messages.clear();
    CProductionRun again(job, options, Events());
    ASSERT_TRUE(again.Prepare());
    EXPECT_EQ(m_messages.size(), 1u) << Messages();
    EXPECT_NE(Messages().find("(シリアル番号 7)"), std::string::npos) << Messages();
}

// FailedSerial: with spend every failed chip's number is gone; with reuse
// the next chip gets it, from a counter or a list, across a restart, and
// two boxes never hold one number at once. Every chip fails its FLASH
// verify (the erase and the serial's EEPROM write run, the program does not).
TEST_F(ProductionTest, AFailedChipsNumberIsSpentOrReusedAsTheSettingFileSays) {
    struct Case {
        const char* what;
        QByteArray production;
        int boxes;
        std::vector<QString> serials;  // of the first run's chips, in order (one box)
        QByteArray counter;            // the counter file after the run
        QString next;                  // NextSerialText after it
    };
    const QByteArray rule = "Serial=eeprom:10:2:be:bcd\r\nSerialFirst=7\r\nSerialStep=3\r\n";
    Write("list.txt", "A1B2\nC3D4\n");
    const Case cases[] = {
        {"spend", rule, 1, {"7", "10", "13"}, "25\n", "25"},
        {"spend by default", rule + "FailedSerial=spend\r\n", 1, {"7", "10", "13"}, "25\n", "25"},
        {"reuse", rule + "FailedSerial=reuse\r\n", 1, {"7", "7", "7"}, "10\nfree 7\n", "7"},
        // Whether the second box takes 10 depends on the boxes' pace; 7 comes back last whatever.
        {"reuse, two boxes", rule + "FailedSerial=reuse\r\n", 2, {}, "", "7"},
        {"reuse a list", "Serial=eeprom:10:2\r\nSerialList=list.txt\r\nFailedSerial=reuse\r\n", 1,
         {"A1B2", "A1B2", "A1B2"}, "", "A1B2"},
    };
    for (const Case& c : cases) {
        QFile::remove(Path("job.set.counter"));
        m_chips.clear();
        ProductionOptions options;
        // Chips the job leaves unchanged are taken out after a while.
        for (int i = 0; i < c.boxes; ++i) options.writers.push_back("sim:ATmega328P,fast,swap=30:30:150");
        options.count = 6;
        options.poll = std::chrono::milliseconds(20);
        ProductionJob job = Job("0000000D", c.production);
        job.steps &= ~step_bit::kErase;
        ProductionEvents events = Events();
        std::set<std::string> held;
        bool twice = false;
        events.onChipStart = [&](const std::string&, const std::string& serial) {
            const std::lock_guard lock(m_mutex);
            if (!serial.empty()) twice = !held.insert(serial).second || twice;
        };
        events.onChip = [&](const ChipRecord& r) {
            const std::lock_guard lock(m_mutex);
            held.erase(r.serial.toStdString());
            m_chips.push_back(r);
        };
        CProductionRun run(job, options, events);
        ASSERT_TRUE(run.Prepare()) << c.what << "\n" << Messages();
        run.Run();
        EXPECT_EQ(run.Failed(), 6) << c.what << "\n" << Messages();
        EXPECT_FALSE(twice) << c.what;
        ASSERT_EQ(m_chips.size(), 6u) << c.what;
        for (size_t i = 0; i < c.serials.size(); ++i) EXPECT_EQ(m_chips[i].serial, c.serials[i]) << c.what << " " << i;
        if (!c.counter.isEmpty()) {
            EXPECT_EQ(Read(CounterFileOf(job)), c.counter) << c.what;
        }
        EXPECT_EQ(NextSerialText(job), c.next) << c.what;
    }
    // The list gave its line back: nothing is marked used.
    EXPECT_EQ(Read(Path("list.txt")), "A1B2\nC3D4\n");

    // After a restart, a chip that passes gets the number given back first.
    m_chips.clear();
    ProductionOptions options;
    options.writers = {"sim:ATmega328P,fast"};
    CProductionRun run(Job("0000000F", rule + "FailedSerial=reuse\r\n"), options, Events());
    Write("job.set.counter", "13\nfree 7 10\n");
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
    ASSERT_EQ(m_chips.size(), 1u);
    EXPECT_TRUE(m_chips[0].passed) << Messages();
    EXPECT_EQ(m_chips[0].serial, "7");
    EXPECT_EQ(Read(Path("job.set.counter")), "13\nfree 10\n");
}

// The simulated tray takes a chip out 40 ms after it was first changed and
// puts the next one in at once: far faster than the box is polled, so the
// socket never looks empty. The chip on it is told from the one programmed by
// what it holds, with a serial number and without one. With the timing model
// the job lasts longer than that, and chips are swapped mid-job: the chip
// left on the socket holds part of the program or none of it, its job fails
// and is logged with its step, and the wait for its removal still ends.
TEST_F(ProductionTest, AChipSwappedBetweenTwoPollsOrMidJobIsProgrammedOrFailed) {
    const struct {
        const char* box;
        QByteArray autoCheck, rule;
        bool allPass;
    } cases[] = {
        {"sim:ATmega328P,fast,swap=40:0", "0000000F", "Serial=eeprom:10:2\r\n", true},
        {"sim:ATmega328P,fast,swap=40:0", "00000007", "", true},
        {"sim:ATmega328P,swap=40:10:1000", "00000007", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.box) + " " + c.rule.constData());
        m_chips.clear();
        ProductionOptions options;
        options.writers = {c.box};
        options.count = 3;
        options.poll = std::chrono::milliseconds(200);
        ProductionJob job = Job(c.autoCheck, c.rule);
        CProductionRun run(job, options, Events());
        ASSERT_TRUE(run.Prepare()) << Messages();
        // Not a measure: only so that a run that waits for good ends.
        std::atomic<bool> stopped{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 1200 && run.Passed() + run.Failed() < 3; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (run.Passed() + run.Failed() < 3) stopped = true, run.Stop();
        });
        run.Run();
        watchdog.join();
        EXPECT_FALSE(stopped) << Messages();
        EXPECT_EQ(run.Passed() + run.Failed(), 3) << Messages();
        if (c.allPass) {
            EXPECT_EQ(run.Passed(), 3) << Messages();
        }
        ASSERT_EQ(m_chips.size(), 3u);
        for (const ChipRecord& r : m_chips) {
            if (r.passed) continue;
            EXPECT_FALSE(r.failedStep.isEmpty());
            EXPECT_NE(r.cause, Cause::None);
        }
    }
}

// Chips the job must leave alone: one whose signature is another device's
// fails at the detection, is counted and logged with that step's name (a
// name, never the message) and its cause as values, and gets neither
// a number nor any write; steps the mask asks for but the setting file
// switches off (fuse, lock, calibration enables 0) neither run nor show.
TEST_F(ProductionTest, WhatTheJobMustNotTouchStaysUntouched) {
    struct Case {
        const char* what;
        const char* box;
        QByteArray autoCheck, sections;
        bool passed;
        const char* failedStep;
        QByteArray noWrites;  // command bytes that never reach the wire
    };
    const QByteArray off = "[Fuse]\r\nFuseEnable=0\r\nFuseExt=FF\r\nFuseHigh=D9\r\nFuseLow=62\r\n"
                           "[Lock]\r\nLockEnable=0\r\nLockBits=FC\r\n"
                           "[Calibration]\r\nCalibrationEnable=0\r\nCalibRationFreq=8.0MHz\r\n";
    const Case cases[] = {
        {"another device", "sim:ATmega328P,fast,signature=1E9406", "0000000F", "", false, "デバイス検出", "DFGIJLNQ"},
        {"steps switched off", "sim:ATmega328P,fast", "000007EF", off, true, "", "LN"},
    };
    for (const Case& c : cases) {
        m_chips.clear();
        m_messages.clear();
        WriteSettingFile(c.autoCheck, "Serial=eeprom:10:2\r\n", c.sections);
        ProductionJob job;
        std::string error;
        ASSERT_TRUE(LoadProductionJob(Path("job.set"), job, error)) << error;
        std::string traceError;
        ProductionOptions options;
        options.writers = {c.box};
        options.trace = CWireTrace::Open(Utf8Path("trace.txt"), traceError);
        ASSERT_TRUE(options.trace) << traceError;
        std::vector<JobStep> steps;
        CProductionRun run(job, options, Events(&steps));
        ASSERT_TRUE(run.Prepare()) << c.what << "\n" << Messages();
        run.Run();
        options.trace.reset();
        EXPECT_EQ(run.Passed(), c.passed ? 1 : 0) << c.what << "\n" << Messages();
        EXPECT_EQ(run.Failed(), c.passed ? 0 : 1) << c.what;
        ASSERT_EQ(m_chips.size(), 1u) << c.what;
        EXPECT_EQ(m_chips[0].failedStep.toStdString(), c.failedStep) << c.what;
        EXPECT_EQ(m_chips[0].cause, c.passed ? Cause::None : Cause::OtherDevice) << c.what;
        const auto lines = LogLines(job);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(lines.back().contains(c.passed ? ",OK," : ",エラー," + QByteArray(c.failedStep)))
            << lines.back().constData();
        EXPECT_TRUE(lines.back().trimmed().endsWith(c.passed ? "," : ",other-device")) << lines.back().constData();
        // A chip that failed before its number never took one.
        EXPECT_EQ(Read(CounterFileOf(job)).trimmed(), c.passed ? "2" : "") << c.what;
        for (const JobStep& step : steps) {
            EXPECT_FALSE(step.kind >= StepKind::WriteFuses && step.kind <= StepKind::VerifyCalibration)
                << c.what << ": step " << static_cast<int>(step.kind);
        }
        for (const QByteArray& line : Read(Path("trace.txt")).split('\n')) {
            const qsizetype at = line.indexOf(" write ");
            const qsizetype bytes = line.indexOf("> ", at);
            if (at < 0 || bytes < 0) continue;
            const char command = static_cast<char>(line.mid(bytes + 2, 2).toUInt(nullptr, 16));
            EXPECT_FALSE(c.noWrites.contains(command)) << c.what << ": " << line.constData();
        }
        QFile::remove(CounterFileOf(job));
        QFile::remove(LogFileOf(job));
    }
}

// The box of this job (16 bytes of FLASH and a 4-byte number at 0x100)
// goes away in its first look for the removal of the first chip.
constexpr char kLostAfterOneChip[] = ",disconnect=378";

// How a run ends: the count reached, or every box's one chip; a box lost
// before that is counted apart, fails no chip and spends no number; a stop
// ends a run short of its count, but is how a repeat run without one ends.
TEST_F(ProductionTest, HowARunEndsAndWhatItCounts) {
    struct Case {
        const char* what;
        std::vector<std::string> writers;
        int count;
        bool repeat;
        bool stopAfterFirst;
        RunEnd end;
        int passed, failed, lost;
        bool succeeded;
        const char* counter;  // the counter file after the run
    };
    const std::string tray = "sim:ATmega328P,fast,swap=100:150";
    const Case cases[] = {
        {"three chips", {tray}, 3, false, false, RunEnd::Completed, 3, 0, 0, true, "4"},
        {"the box lost between chips", {tray + kLostAfterOneChip}, 3, false, false, RunEnd::BoxesLost, 1, 0, 1,
         false, "2"},
        {"a box never reached", {tray + ",fail=open"}, 0, false, false, RunEnd::BoxesLost, 0, 0, 1, false, ""},
        {"one box of two lost, the other reaches the count", {tray + kLostAfterOneChip, tray}, 4, false, false,
         RunEnd::Completed, 4, 0, 1, true, "5"},
        {"stopped short of the count", {tray}, 3, false, true, RunEnd::Stopped, 1, 0, 0, false, "2"},
        {"a repeat run ended by a stop", {tray}, 0, true, true, RunEnd::Stopped, 1, 0, 0, true, "2"},
        {"a chip failing", {tray + ",dup=E"}, 1, false, false, RunEnd::Completed, 0, 1, 0, false, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A new job: no number of it is logged yet.
        QFile::remove(Path("job.set.counter"));
        QFile::remove(Path("job.set.log.csv"));
        m_messages.clear();
        ProductionOptions options = Tray(c.count);
        options.writers = c.writers;
        options.repeat = c.repeat;
        CProductionRun run(Job("00000007", "Serial=flash:100:4\r\n"), options, Events());
        ASSERT_TRUE(run.Prepare()) << Messages();
        onChip = [&](const ChipRecord&) {
            if (c.stopAfterFirst) run.Stop();
        };
        run.Run();
        onChip = nullptr;
        EXPECT_EQ(run.End(), c.end) << RunEndName(run.End()) << "\n" << Messages();
        EXPECT_EQ(run.Passed(), c.passed) << Messages();
        EXPECT_EQ(run.Failed(), c.failed) << Messages();
        EXPECT_EQ(run.BoxesLost(), c.lost) << Messages();
        EXPECT_EQ(run.Succeeded(), c.succeeded);
        EXPECT_EQ(run.Shortfall().empty(), c.succeeded) << run.Shortfall();
        EXPECT_EQ(Read(Path("job.set.counter")).trimmed(), c.counter) << "a number spent for nothing";
    }
}

// A setting file's writer that a file may not name is not used, as in the
// main window: the run says so once and looks for the box with auto.
TEST_F(ProductionTest, AWriterTheSettingFileMayNotNameFallsBackToAuto) {
    ProductionJob job = Job("00000007", "");
    job.writer = "d2xx:/tmp/libnot-there.so";
    job.writerFromFile = true;
    CProductionRun run(job, {}, Events());
    EXPECT_EQ(run.Options().writers, std::vector<std::string>{"auto"});
    ASSERT_TRUE(run.Prepare()) << Messages();
    EXPECT_NE(Messages().find("Writer=d2xx:/tmp/libnot-there.so"), std::string::npos) << Messages();
}

// The log's header decides where its lines go: a new file gets the header
// (after a byte-order mark unless LogBom=0), a file with this header is
// appended to, and one begun under other columns is left as it was while
// the lines go to a file beside it, named after the columns.
TEST_F(ProductionTest, ALogBegunUnderOtherColumnsKeepsItsColumns) {
    const QByteArray header = LogHeader({"FLASH"}).join(',').toUtf8();
    const QByteArray oldHeader = "日時,設定ファイル,ライタ,デバイス,シグネチャ,校正値,シリアル番号,結果,失敗した手順,時間(ms),FLASH SHA-256,原因";
    const QByteArray oldLine = "2026-01-01T00:00:00,job.set,sim,ATmega328P,1E 95 0F,,,OK,,10,ab,";
    struct Case {
        const char* what;
        QByteArray before;    // the log before the run; empty: none
        const char* logBom;
        bool sideways;        // the lines go to the file beside it
        QByteArray starts;    // the file written starts so
    };
    const Case cases[] = {
        {"a new log", "", "", false, "\xEF\xBB\xBF" + header + "\r\n"},
        {"a new log without the mark", "", "LogBom=0\r\n", false, header + "\r\n"},
        {"our header with the mark", "\xEF\xBB\xBF" + header + "\r\n", "", false, "\xEF\xBB\xBF" + header + "\r\n"},
        {"our header without it", header + "\r\n", "", false, header + "\r\n"},
        {"an older header", oldHeader + "\r\n" + oldLine + "\r\n", "", true, "\xEF\xBB\xBF" + header + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_messages.clear();
        ProductionJob job = Job("00000007", c.logBom);
        const QString log = LogFileOf(job);
        const QString beside = SiblingLogPath(log, QString::fromUtf8(header));
        QFile::remove(log);
        QFile::remove(beside);
        if (!c.before.isEmpty()) Write("job.set.log.csv", c.before);
        CProductionRun run(job, Tray(1), Events());
        ASSERT_TRUE(run.Prepare()) << Messages();
        run.Run();
        EXPECT_EQ(run.LogPath(), c.sideways ? beside : log);
        const QByteArray written = Read(run.LogPath());
        EXPECT_TRUE(written.startsWith(c.starts)) << written.toStdString();
        EXPECT_EQ(written.count("\r\n"), 2) << written.toStdString();
        if (c.sideways) {
            EXPECT_EQ(Read(log), c.before) << "the old log was changed";
            EXPECT_NE(Messages().find(beside.toStdString()), std::string::npos) << Messages();
        }
    }
    EXPECT_EQ(LogField("=1+1"), "'=1+1");
    EXPECT_EQ(LogField("-3,4"), "\"'-3,4\"");
    EXPECT_EQ(LogField("a \"b\""), "\"a \"\"b\"\"\"");
}

// Each chip's line is synced before its box looks for the next chip, and a
// line that cannot be synced stops the run, naming the log.
TEST_F(ProductionTest, EachLineIsSyncedBeforeTheNextChipAndAFailedSyncStopsTheRun) {
    CProductionRun run(Job("00000007", "Serial=flash:100:4\r\n"), Tray(4), Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    std::vector<size_t> chipsAtSync;
    // The log's real fdatasync, seen through the file-system seam.
    const QString log = QFileInfo(LogFileOf(run.Job())).canonicalFilePath();
    const CSyncHookScope hook([&](int fd, SyncKind kind, CSyncHookScope::Real real) {
        if (kind != SyncKind::Data || PathOfFd(fd) != log) return real(fd, kind);
        chipsAtSync.push_back(m_chips.size());
        if (chipsAtSync.size() < 2) return real(fd, kind);
        errno = EIO;
        return -1;
    });
    run.Run();
    EXPECT_EQ(chipsAtSync, (std::vector<size_t>{0, 1})) << "a line synced after its chip was shown";
    EXPECT_EQ(run.End(), RunEnd::Broken);
    EXPECT_EQ(run.Passed(), 2);
    EXPECT_NE(run.Shortfall().find("job.set.log.csv"), std::string::npos) << run.Shortfall();
    EXPECT_EQ(Read(CounterFileOf(run.Job())).trimmed(), "3") << "a chip started after the failed sync";
}

// A full disk under the log, the event stream or the trace (a write that
// takes half a line, then ENOSPC, through the file-system seam): the torn
// line is cut back, so the file ends at a whole line, and the run stops
// naming the file (the trace says why it stopped; the tool fails on it).
TEST_F(ProductionTest, AFullDiskLeavesWholeLinesAndStopsTheRun) {
    enum Target { kLog, kEvents, kTrace };
    for (const Target target : {kLog, kEvents, kTrace}) {
        SCOPED_TRACE(target);
        const QString name = QString::fromLatin1(target == kEvents ? "events%1.jsonl" : "trace%1.txt").arg(target);
        ProductionOptions options = Tray(4);
        std::string error;
        if (target == kEvents) options.eventStream = CEventStream::Open(Path(qPrintable(name)), error);
        if (target == kTrace) options.trace = CWireTrace::Open(Utf8Path(qPrintable(name)), error);
        const ProductionJob job = Job("00000007", "Serial=flash:100:4\r\n");
        CProductionRun run(job, options, Events());
        ASSERT_TRUE(run.Prepare()) << Messages() << error;
        const QString file = QFileInfo(target == kLog ? LogFileOf(job) : Path(qPrintable(name))).canonicalFilePath();
        const int cutAt = target == kLog ? 2 : 5;  // the log's header is in: its second row is torn
        const qsizetype linesBefore = Read(file).count('\n');
        int writes = 0;
        {
            const CWriteHookScope full([&](int fd, const void* data, size_t size, CWriteHookScope::Real real) {
                if (PathOfFd(fd) != file || ++writes < cutAt) return real(fd, data, size);
                if (writes == cutAt) return real(fd, data, size / 2);
                errno = ENOSPC;
                return std::ptrdiff_t{-1};
            });
            run.Run();
        }
        ASSERT_GE(writes, cutAt) << "the disk never filled";
        if (target == kTrace) {
            EXPECT_NE(options.trace->Failure().find(std::strerror(ENOSPC)), std::string::npos) << options.trace->Failure();
        } else {
            EXPECT_EQ(run.End(), RunEnd::Broken);
            EXPECT_NE(run.Shortfall().find(QFileInfo(file).fileName().toStdString()), std::string::npos)
                << run.Shortfall();
        }
        const QByteArray text = Read(file);
        EXPECT_TRUE(text.endsWith('\n')) << text.right(80).toStdString();
        if (target == kLog) EXPECT_EQ(LogLines(job).size(), 1) << text.toStdString();
        if (target == kEvents) EXPECT_EQ(text.count('\n'), linesBefore + cutAt - 1) << text.toStdString();
    }
}

// A run whose event stream another program holds locked says which file it
// waits for; once the lock is let go (here on hearing that) the run goes on.
TEST_F(ProductionTest, ARunSaysItWaitsForTheEventStreamsLock) {
    std::string error;
    ProductionOptions options = Tray(2);
    options.eventStream = CEventStream::Open(Path("events.jsonl"), error);
    ASSERT_TRUE(options.eventStream) << error;
    const int held = open(QFile::encodeName(Path("events.jsonl")).constData(), O_RDWR);
    ProductionEvents events = Events();
    events.onMessage = [held, say = events.onMessage](const std::string& box, MsgKind kind, const std::string& text) {
        say(box, kind, text);
        if (text.find("events.jsonl") != std::string::npos) flock(held, LOCK_UN);
    };
    CProductionRun run(Job("00000007", "Serial=flash:100:4\r\n"), options, events);
    ASSERT_TRUE(run.Prepare()) << Messages();
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    run.Run();
    close(held);
    EXPECT_EQ(run.End(), RunEnd::Completed) << Messages();
    EXPECT_NE(Messages().find(Path("events.jsonl").toStdString()), std::string::npos) << Messages();
    EXPECT_TRUE(Read(Path("events.jsonl")).contains("\"run-end\"")) << "the run's last event";
}

// The event stream of a run whose box goes away after its first chip: one
// JSON object per line, in the order things happened.
TEST_F(ProductionTest, TheEventStreamHoldsEachEventInOrder) {
    std::string error;
    Write("events.jsonl", "{\"event\":\"from-before\"}\n");
    ProductionOptions options = Tray(3, kLostAfterOneChip);
    options.lot = "L-7";
    options.eventStream = CEventStream::Open(Path("events.jsonl"), error);
    ASSERT_TRUE(options.eventStream) << error;
    CProductionRun run(Job("00000007", "Serial=flash:100:4\r\n"), options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
    options.eventStream.reset();

    std::vector<QJsonObject> events;
    for (const QByteArray& line : Read(Path("events.jsonl")).split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError parsed{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &parsed);
        ASSERT_EQ(parsed.error, QJsonParseError::NoError) << line.toStdString();
        events.push_back(doc.object());
    }
    QStringList names;
    for (const QJsonObject& e : events)
        if (e["event"] != "message") names << e["event"].toString();
    EXPECT_EQ(names.join(' '), "from-before run-start chip-start step-start step-end step-start step-end step-start "
                               "step-end chip-end box-lost run-end");
    ASSERT_EQ(events.size(), 13u) << "one message, that the box went away";
    const QJsonObject start = events[1];
    EXPECT_EQ(start["lot"], "L-7");
    EXPECT_EQ(start["device"], "ATmega328P");
    EXPECT_EQ(start["images"].toArray()[0].toObject()["sha256"].toString().toLatin1(), run.Images()[0].sha256);
    EXPECT_EQ(events[2]["serial"], "1");
    EXPECT_EQ(events[3]["step"], "erase");
    EXPECT_EQ(events[4]["ok"], true);
    const QJsonObject chip = events[9];
    EXPECT_EQ(chip["result"], "ok");
    EXPECT_EQ(chip["serialBytes"], "01 00 00 00");
    EXPECT_EQ(chip["boxIndex"], 1);
    EXPECT_EQ(events[10]["event"], "message");
    const QJsonObject end = events.back();
    EXPECT_EQ(end["end"], "boxes-lost");
    EXPECT_EQ(end["passed"], 1);
    EXPECT_EQ(end["boxesLost"], 1);
    // Every event but the one from before carries its time.
    for (size_t i = 1; i < events.size(); ++i)
        EXPECT_TRUE(events[i]["time"].toString().contains('T')) << events[i]["event"].toString().toStdString();
}

// The stream never waits for good and never goes where it was not meant to:
// a FIFO without a reader fails after a while, one whose reader went away
// fails its next line (the program goes on), and device nodes are refused.
// Whole lines or none: a last line a crash cut (here written by hand) is
// moved aside, whole, into a file beside the log or the stream before
// anything is appended, and the next line starts a line of its own.
TEST(WholeLinesTest, ACutLastLineGoesAsideBeforeTheNextLine) {
    for (const bool events : {false, true}) {
        SCOPED_TRACE(events ? "event stream" : "log");
        QTemporaryDir dir;
        const QString path = dir.filePath(events ? "events.jsonl" : "job.log.csv");
        const QByteArray whole = events ? QByteArray("{\"event\":\"run-start\"}\n")
                                        : LogHeader({"FLASH"}).join(',').toUtf8() + "\r\n";
        const QByteArray cut = events ? "{\"event\":\"chip-e" : "2026-12-10T10:00:00+09:00,2026-12";
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(whole + cut);
        }
        std::string error, note;
        CProductionLog log;
        std::shared_ptr<CEventStream> stream;
        if (events) {
            stream = CEventStream::Open(path, error, CEventStream::kDefaultPatience, &note);
            ASSERT_TRUE(stream) << error;
            ASSERT_TRUE(stream->Write("chip-end", QJsonObject{{"serial", "7"}}, error)) << error;
        } else {
            ASSERT_TRUE(log.Open(path, {"FLASH"}, false, error, note)) << error;
            ChipRecord record;
            record.serial = "7";
            record.hashes = {"ab"};
            ASSERT_TRUE(log.Append(record, error)) << error;
        }
        const QStringList aside = QDir(dir.path()).entryList({QFileInfo(path).fileName() + ".cut-*"});
        ASSERT_EQ(aside.size(), 1) << note;
        EXPECT_NE(note.find(aside[0].toStdString()), std::string::npos) << note;
        QFile moved(dir.filePath(aside[0]));
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
        EXPECT_EQ(moved.readAll(), cut);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        ASSERT_TRUE(text.startsWith(whole));
        const QByteArray next = text.mid(whole.size());
        EXPECT_TRUE(next.endsWith('\n'));
        if (events)
            EXPECT_EQ(QJsonDocument::fromJson(next).object()["serial"], "7") << next.constData();
        else
            EXPECT_EQ(next.trimmed().split(',').size(), LogHeader({"FLASH"}).size()) << next.constData();
    }
}

// Runs that make one new log at once write one header; a run that finds the
// log locked by another program says so, naming it, and gives up after a while.
TEST(WholeLinesTest, OneHeaderAndAHeldLockSaidAndGivenUp) {
    QTemporaryDir dir;
    for (int round = 0; round < 20; ++round) {
        const QString path = dir.filePath(QStringLiteral("log%1.csv").arg(round));
        CProductionLog logs[2];
        bool opened[2] = {};
        std::thread other([&] {
            std::string error, note;
            opened[1] = logs[1].Open(path, {"FLASH"}, true, error, note);
        });
        std::string error, note;
        opened[0] = logs[0].Open(path, {"FLASH"}, true, error, note);
        other.join();
        ASSERT_TRUE(opened[0] && opened[1]);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().count("SHA-256"), 1) << "round " << round;
    }

    // The log, the event stream at its open and at a write (as a run hears it).
    for (const bool events : {false, true}) {
        const QString held = dir.filePath(events ? "held.jsonl" : "held.csv");
        const int fd = open(QFile::encodeName(held).constData(), O_RDWR | O_CREAT, 0644);
        std::vector<std::string> said;
        const auto onWait = [&](const std::string& t) { said.push_back(t); };
        constexpr std::chrono::milliseconds kPatience(1500);
        std::string error, note;
        const auto stream = events ? CEventStream::Open(held, error, kPatience) : nullptr;
        ASSERT_EQ(flock(fd, LOCK_EX), 0);
        if (events) {
            ASSERT_TRUE(stream) << error;
            stream->SetOnWait(onWait);
            EXPECT_FALSE(stream->Write("run-start", {}, error));
            EXPECT_FALSE(CEventStream::Open(held, error, kPatience, &note, onWait));
        } else {
            CProductionLog log;
            log.SetLockWait({.patience = kPatience, .onWait = onWait});
            EXPECT_FALSE(log.Open(held, {"FLASH"}, true, error, note));
        }
        ASSERT_EQ(said.size(), events ? 2u : 1u);
        for (const std::string& s : said) EXPECT_NE(s.find(held.toStdString()), std::string::npos) << s;
        EXPECT_NE(error.find(held.toStdString()), std::string::npos) << error;
        struct stat st {};
        ASSERT_EQ(fstat(fd, &st), 0);
        EXPECT_EQ(st.st_size, 0) << "a line went into a file another program held";
        close(fd);
    }
}

TEST(EventStreamTest, AFifoOrAFileOnlyAndNeverForGood) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("events.fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::string error;
    EXPECT_FALSE(CEventStream::Open(fifo, error, std::chrono::milliseconds(100)));
    EXPECT_NE(error.find("events.fifo"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(CEventStream::Open("/dev/null", error));
    EXPECT_NE(error.find("/dev/null"), std::string::npos) << error;

    const int reader = open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto stream = CEventStream::Open(fifo, error, std::chrono::milliseconds(100));
    ASSERT_TRUE(stream) << error;
    EXPECT_TRUE(stream->Write("run-start", QJsonObject{{"lot", "L1"}}, error)) << error;
    char line[256] = {};
    ASSERT_GT(read(reader, line, sizeof line - 1), 0);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray(line).trimmed()).object()["lot"], "L1") << line;
    close(reader);
    EXPECT_FALSE(stream->Write("run-end", {}, error));
    EXPECT_NE(error.find("events.fifo"), std::string::npos) << error;
}

}  // namespace
}  // namespace oriole
