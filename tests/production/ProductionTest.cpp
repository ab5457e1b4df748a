// Production runs on the simulated box: serial numbers as the rules store
// them, the start refusing a rule that overlaps the image, a failing chip's
// number never handed out again, a changed image file stopping the run, and
// several boxes at once, in this process and behind serial ports, sharing
// the numbers and the log.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include "PtySimServer.h"
#include "production/ProductionRun.h"
#include "production/SerialNumbers.h"

namespace oriole {
namespace {

using Bytes = std::vector<uint8_t>;

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
        {SerialEncoding::AsciiDecimal, 3, false, 123, Bytes{'3', '2', '1'}},
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

// A setting file for an ATmega328P on a fast simulated box, a program of 16
// bytes at 0, and what a run reports.
class ProductionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write("prog.hex", ":100000000C9434000C9446000C9446000C9446006A\r\n:00000001FF\r\n");
    }
    QString Path(const char* name) const { return m_dir.filePath(name); }
    void Write(const char* name, const QByteArray& bytes) {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The job of a setting file with these extra lines under [Production].
    ProductionJob Job(const QByteArray& autoCheck, const QByteArray& production) {
        Write("job.set", "[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=" + autoCheck +
                             "\r\n[FLASH]\r\nFile=prog.hex\r\n[Production]\r\n" + production);
        ProductionJob job;
        std::string error;
        EXPECT_TRUE(LoadProductionJob(Path("job.set"), job, error)) << error;
        return job;
    }
    ProductionEvents Events() {
        ProductionEvents e;
        e.onMessage = [this](const std::string& box, MsgKind, const std::string& text) {
            const std::lock_guard lock(m_mutex);
            m_messages.push_back(box + ": " + text);
        };
        e.onChip = [this](const ChipRecord& r) {
            const std::lock_guard lock(m_mutex);
            m_chips.push_back(r);
            if (onChip) onChip(r);
        };
        return e;
    }
    std::string Messages() {
        std::string all;
        for (const std::string& m : m_messages) all += m + "\n";
        return all;
    }
    // The log's lines after the header.
    QList<QByteArray> LogLines(const ProductionJob& job) {
        QList<QByteArray> lines = Read(LogFileOf(job)).split('\n');
        lines.removeAll(QByteArray());
        if (!lines.isEmpty()) lines.removeFirst();
        return lines;
    }

    QTemporaryDir m_dir;
    std::mutex m_mutex;
    std::vector<std::string> m_messages;
    std::vector<ChipRecord> m_chips;
    std::function<void(const ChipRecord&)> onChip;
};

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
        {"RSTDISBL hint", "ATmega328P", "00000021", fuses + "59\r\n", "", nullptr, false, "AllowRiskyFuses=1"},
        {"RSTDISBL allowed", "ATmega328P", "00000021", fuses + "59\r\n", "AllowRiskyFuses=1\r\n", nullptr, true, ""},
        {"SPIEN even when allowed", "ATmega328P", "00000021", fuses + "FF\r\n", "AllowRiskyFuses=1\r\n", nullptr,
         false, "SPIEN"},
        {"a safe value", "ATmega328P", "00000021", fuses + "D9\r\n", "", nullptr, true, ""},
        {"a bad AllowRiskyFuses", "ATmega328P", "00000001", "", "AllowRiskyFuses=yes\r\n", nullptr, false,
         "AllowRiskyFuses"},
    };
    for (const Case& c : cases) {
        m_messages.clear();
        if (c.flashFile != nullptr) Write("prog.hex", c.flashFile);
        Write("job.set", "[Device]\r\nLastAVR=" + c.device + "\r\nAutoCheck=" + c.autoCheck +
                             "\r\n[FLASH]\r\nFile=prog.hex\r\n" + c.extra + "[Production]\r\n" + c.production);
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
        Write("prog.hex", ":100000000C9434000C9446000C9446000C9446006A\r\n:00000001FF\r\n");
    }

    // LastAVR as the window's sorted list reads a prefix.
    Write("job.set", "[Device]\r\nLastAVR=AT90S443\r\n");
    ProductionJob job;
    std::string error;
    ASSERT_TRUE(LoadProductionJob(Path("job.set"), job, error)) << error;
    EXPECT_STREQ(DeviceAt(job.deviceRow).name, "AT90S4433");
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
    EXPECT_EQ(m_chips[0].cause, "wrong-answer");
}

TEST_F(ProductionTest, AChipFailingVerifyIsLoggedFailedAndItsNumberIsNotReused) {
    // The erase and the serial's EEPROM write run, then the FLASH verify
    // finds the blank chip without the program: every chip fails there.
    ProductionOptions options;
    options.writers = {"sim:ATmega328P,fast,swap=100:150"};
    options.count = 2;
    options.poll = std::chrono::milliseconds(40);
    ProductionJob job = Job("0000000D", "Serial=eeprom:10:2:be:bcd\r\nSerialFirst=7\r\nSerialStep=3\r\n");
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
    ProductionJob job = Job("00000007", "Serial=flash:100:4\r\n");
    CProductionRun run(job, options, Events());
    ASSERT_TRUE(run.Prepare()) << Messages();
    run.Run();
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

}  // namespace
}  // namespace oriole
