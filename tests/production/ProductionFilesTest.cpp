// The files a production run owns: the counter, the list, their journal and
// lock. A planted link, hard link or foreign file is refused and left as it
// was; a second name of a counter that cannot share its lock is refused; a run is
// told dead or alive by its identity, not its pid; a dead run's chips get
// one row each, with their box and time, even when two starts race; every
// counter number obeys one rule; a held lock is waited for aloud; and each
// replaced file's folder is synced, as the sync calls themselves show.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <thread>

#include "base/FileSync.h"
#include "production/ChipJournal.h"
#include "production/ProductionLog.h"
#include "production/SerialNumbers.h"
#include "support/ProductionFiles.h"
#include "support/ProductionFixture.h"

namespace oriole {
namespace {

class ProductionFilesTest : public test::ProductionFixture {
protected:
    static constexpr const char* kRule = "Serial=flash:100:4\r\n";
    // A process id no process has: ids stay below the system's maximum.
    qint64 GonePid() { return Read("/proc/sys/kernel/pid_max").trimmed().toLongLong(); }
    // A line of a run on this machine that died mid-chip.
    JournalEntry Dead(const QString& box, int index, const QString& serial, const QString& time) {
        return {.box = box, .boxIndex = index, .serial = serial, .time = time, .settingFile = Path("job.set"),
                .run = {.host = JournalHost(), .bootId = BootId(), .pid = GonePid(), .pidStart = 7, .runId = "dead"}};
    }
    QList<QMap<QByteArray, QByteArray>> Rows() { return test::CsvRecords(Read(Path("job.set.log.csv"))); }
    int RowsOf(const QByteArray& serial, const QByteArray& result) {
        int n = 0;
        for (const auto& row : Rows()) n += row.value("シリアル番号") == serial && row.value("結果") == result;
        return n;
    }
};

// Whatever stands where the journal or the lock goes and is not a file the
// run wrote: the run does not start, says which file, and leaves it, and
// what it leads to, as it was.
TEST_F(ProductionFilesTest, APlantedJournalOrLockIsRefusedAndLeftAsItWas) {
    QTemporaryDir outside;
    const QString precious = outside.filePath("precious");
    struct Case {
        const char* what;
        const char* name;  // the file planted beside the counter
        std::function<bool(const QString& at)> plant;
        const char* says;
    };
    const Case cases[] = {
        {"a link to a file elsewhere", "job.set.counter.journal",
         [&](const QString& at) { return QFile::link(precious, at); }, "シンボリックリンク"},
        {"a dangling link", "job.set.counter.journal",
         [&](const QString& at) { return QFile::link(outside.filePath("made"), at); }, "シンボリックリンク"},
        {"a hard link", "job.set.counter.journal",
         [&](const QString& at) { return link(QFile::encodeName(precious), QFile::encodeName(at)) == 0; },
         "ハードリンク"},
        {"a file of other text", "job.set.counter.journal",
         [&](const QString& at) { return QFile::copy(precious, at); }, "の 1 行目を読めません: precious"},
        {"a FIFO", "job.set.counter.journal",
         [&](const QString& at) { return mkfifo(QFile::encodeName(at), 0600) == 0; }, "通常のファイルではありません"},
        {"the lock as a link", "job.set.counter.lock",
         [&](const QString& at) { return QFile::link(precious, at); }, "シンボリックリンク"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write("job.set.counter", "10\n");
        QFile::remove(Path(c.name));
        QFile::remove(outside.filePath("made"));
        QFile::remove(precious);
        {
            QFile f(precious);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("precious\n") == 9);
        }
        ASSERT_TRUE(c.plant(Path(c.name)));
        const QFileInfo before(Path(c.name));
        m_messages.clear();
        ProductionJob job = Job("00000007", kRule);
        CProductionRun run(job, Tray(1), Events());
        EXPECT_FALSE(run.Prepare());
        EXPECT_NE(Messages().find(Utf8Path(c.name)), std::string::npos) << Messages();
        EXPECT_NE(Messages().find(c.says), std::string::npos) << Messages();
        CSerialAllocator serials(*job.serial, CounterFileOf(job));
        SerialNumber number;
        std::string error;
        EXPECT_FALSE(serials.Take(number, error));
        EXPECT_EQ(Read(precious), "precious\n");
        EXPECT_FALSE(QFile::exists(outside.filePath("made")));
        EXPECT_EQ(Read(Path("job.set.counter")), "10\n") << "no number spent";
        const QFileInfo after(Path(c.name));
        EXPECT_TRUE(after.exists() || after.isSymLink());
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        QFile::remove(Path(c.name));
    }
}

// A second name of a counter that cannot share its lock: a link made before
// the counter exists, or a second hard link, is refused, and nothing is
// made or spent. (A chain of links shares it: ProductionTest.)
TEST_F(ProductionFilesTest, ANameOfACounterThatCannotShareItsLockIsRefused) {
    QDir dir(m_dir.path());
    ASSERT_TRUE(dir.mkpath("a") && dir.mkpath("b"));
    SerialRule rule;
    ASSERT_TRUE(QFile::link("../a/counter", Path("b/counter")));
    CSerialAllocator early(rule, Path("b/counter"));
    SerialNumber number;
    std::string error;
    EXPECT_FALSE(early.Check(error));
    EXPECT_NE(error.find("リンク先のファイルがありません"), std::string::npos) << error;
    EXPECT_FALSE(early.Take(number, error));
    EXPECT_FALSE(QFile::exists(Path("a/counter")));

    // A hard link in another folder makes the file no longer the run's, by either name.
    Write("a/counter", "61\n");
    CSerialAllocator before(rule, Path("a/counter"));
    ASSERT_EQ(link(QFile::encodeName(Path("a/counter")), QFile::encodeName(Path("b/hard"))), 0);
    for (const char* name : {"a/counter", "b/hard"}) {
        CSerialAllocator serials(rule, Path(name));
        EXPECT_FALSE(serials.Check(error)) << name;
        EXPECT_NE(error.find("ハードリンク"), std::string::npos) << error;
        EXPECT_FALSE(serials.Take(number, error)) << name;
    }
    EXPECT_FALSE(before.Take(number, error)) << "checked again at each number";
    EXPECT_EQ(Read(Path("a/counter")), "61\n");
}

// Near 2^64 - 1 the counter stops rather than wrap or stand still.
TEST_F(ProductionFilesTest, TheCounterNeverWrapsNorRepeatsAtItsTop) {
    SerialRule rule;
    rule.width = 8;
    rule.first = 0;
    Write("counter", "18446744073709551613\n");
    CSerialAllocator serials(rule, Path("counter"));
    SerialNumber number;
    std::string error;
    ASSERT_TRUE(serials.Take(number, error)) << error;
    EXPECT_EQ(number.text, "18446744073709551613");
    ASSERT_TRUE(serials.Take(number, error)) << error;
    EXPECT_EQ(number.text, "18446744073709551614");
    EXPECT_FALSE(serials.Take(number, error));
    EXPECT_NE(error.find("使い切りました"), std::string::npos) << error;
    EXPECT_FALSE(serials.Check(error));
    EXPECT_EQ(Read(Path("counter")), "18446744073709551615\n");
}

// Who wrote a line decides what it means, not its process id alone: a
// process id used again (a restarted container's pid 1, our own) with
// another start is a dead run's.
TEST(RunIdentityTest, ALineIsJudgedByItsRunNotByItsPid) {
    const RunIdentity self = NewRunIdentity();
    const qint64 parent = getppid();
    const quint64 parentStart = ProcessStart(parent).value_or(0);
    ASSERT_GT(parentStart, 0u);
    const QString now = LogTime();
    const QString longAgo = "2000-01-01T00:00:00.000+00:00";
    struct Case {
        const char* what;
        RunIdentity run;
        QString time;
        JournalLine judged;
    };
    const Case cases[] = {
        {"this run", self, now, JournalLine::Ours},
        {"a live run", {self.host, self.bootId, parent, parentStart, "other"}, now, JournalLine::Alive},
        {"our pid, another start", {self.host, self.bootId, self.pid, self.pidStart + 1, "other"}, now,
         JournalLine::Dead},
        {"a live pid, another start", {self.host, self.bootId, parent, parentStart + 1, "other"}, now,
         JournalLine::Dead},
        {"another machine", {"elsewhere", self.bootId, parent, parentStart, "other"}, now, JournalLine::Foreign},
        {"this name before its last boot", {self.host, "another-boot", parent, parentStart, "other"}, longAgo,
         JournalLine::Dead},
        {"this name, booted after us", {self.host, "another-boot", parent, parentStart, "other"}, now,
         JournalLine::Unknown},
        {"earlier form, our pid", {self.host, {}, self.pid, 0, {}}, now, JournalLine::Dead},
        {"earlier form, a live pid", {self.host, {}, parent, 0, {}}, now, JournalLine::Unknown},
    };
    for (const Case& c : cases) {
        const JournalEntry entry{.box = "b", .boxIndex = 1, .serial = "1", .time = c.time, .settingFile = "s",
                                 .run = c.run};
        EXPECT_EQ(JudgeJournalLine(entry, self), c.judged) << c.what;
        // Written and read back, a line means the same.
        std::vector<JournalEntry> back;
        int bad = 0;
        QByteArray text;
        ASSERT_TRUE(ParseJournal(JournalText({entry}), back, bad, text)) << c.what;
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(JudgeJournalLine(back[0], self), c.judged) << c.what;
    }
}

// The start after a crash: each chip of a dead run gets one 中断 row, with
// its box's number and its start to the millisecond with the zone, unless
// its number was never spent or the log holds its row already; a number the
// counter would give again that the log has as OK refuses the start.
TEST_F(ProductionFilesTest, ADeadRunsChipsGetOneRowEachWithTheirBoxAndTime) {
    const QString header = LogHeader({"FLASH"}).join(',');
    auto row = [&](const QString& serial, const QString& start, bool passed) {
        ChipRecord r;
        r.startTime = start;
        r.time = start;
        r.serial = serial;
        r.passed = passed;
        r.hashes = {"x"};
        return LogLine(r).toUtf8() + "\r\n";
    };
    const QString at = "2026-01-02T03:04:05.123+09:00";
    JournalEntry reused = Dead("box-a", 2, "8", at);
    reused.run.pid = getpid();  // a restarted container's pid 1, or ours
    struct Case {
        const char* what;
        std::vector<JournalEntry> journal;
        QByteArray earlier;  // the log's rows before the start
        QByteArray counter;
        int interrupted;     // 中断 rows of 8 after the start
        const char* says;    // a refusal; "" when the run starts
    };
    const Case cases[] = {
        {"a dead run", {Dead("box-a", 2, "8", at)}, "", "10\n", 1, ""},
        {"its pid used again", {reused}, "", "10\n", 1, ""},
        {"its number never spent", {Dead("box-a", 2, "10", at)}, "", "10\n", 0, ""},
        {"its row logged, the line left behind", {Dead("box-a", 2, "8", at)}, row("8", at, true), "10\n", 0, ""},
        {"an earlier chip of the number failed", {Dead("box-a", 2, "8", at)},
         row("8", "2026-01-02T03:00:00.000+09:00", false), "10\nfree 9\n", 1, ""},
        {"a free number logged OK", {}, row("9", at, true), "10\nfree 9\n", 0, "番号 9 には"},
        {"the next number logged OK", {}, row("10", at, true), "10\n", 0, "番号 10 には"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write("job.set.log.csv", header.toUtf8() + "\r\n" + c.earlier);
        Write("job.set.counter", c.counter);
        Write("job.set.counter.journal", JournalText(c.journal));
        m_messages.clear();
        CProductionRun run(Job("00000007", kRule + QByteArray("FailedSerial=reuse\r\n")), Tray(1), Events());
        EXPECT_EQ(run.Prepare(), *c.says == '\0') << Messages();
        EXPECT_NE(Messages().find(c.says), std::string::npos) << Messages();
        EXPECT_EQ(RowsOf("8", "中断"), c.interrupted);
        if (*c.says != '\0') continue;
        EXPECT_FALSE(QFile::exists(Path("job.set.counter.journal"))) << "the dead run's lines are forgotten";
        for (const auto& r : Rows()) {
            if (r.value("結果") != "中断") continue;
            EXPECT_EQ(r.value("開始日時"), at.toUtf8());
            EXPECT_EQ(r.value("ライタ番号"), "2");
        }
    }
    // A list's next line logged OK refuses the start too.
    Write("list.txt", "#0001\n0002\n");
    Write("job.set.log.csv", header.toUtf8() + "\r\n" + row("0002", at, true));
    CProductionRun run(Job("00000007", "Serial=flash:100:2\r\nSerialList=list.txt\r\n"), Tray(1), Events());
    EXPECT_FALSE(run.Prepare());
    EXPECT_NE(Messages().find("次の行 0002 には"), std::string::npos) << Messages();
}

// Two starts at once after a crash: the journal is read, the rows written
// and the lines forgotten under the lock, so each dead chip gets one row.
TEST_F(ProductionFilesTest, TwoStartsAtOnceAfterACrashWriteEachRowOnce) {
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        QFile::remove(Path("job.set.log.csv"));
        Write("job.set.counter", "20\n");
        Write("job.set.counter.journal", JournalText({Dead("box-a", 1, "11", LogTime()),
                                                      Dead("box-b", 2, "12", LogTime()),
                                                      Dead("box-c", 3, "13", LogTime())}));
        const ProductionJob job = Job("00000007", kRule);
        CProductionRun first(job, Tray(1), Events());
        CProductionRun second(job, Tray(1), Events());
        bool ok[2] = {};
        std::thread a([&] { ok[0] = first.Prepare(); });
        std::thread b([&] { ok[1] = second.Prepare(); });
        a.join();
        b.join();
        EXPECT_TRUE(ok[0] && ok[1]) << Messages();
        for (const char* serial : {"11", "12", "13"}) EXPECT_EQ(RowsOf(serial, "中断"), 1) << serial;
        EXPECT_FALSE(QFile::exists(Path("job.set.counter.journal")));
    }
}

// Another run holding the counter's lock: the wait is said at once, naming
// the counter, and given up after the set time with nothing spent.
TEST_F(ProductionFilesTest, AHeldLockIsWaitedForAloudAndGivenUp) {
    Write("counter", "5\n");
    SerialRule rule;
    CSerialAllocator serials(rule, Path("counter"));
    std::vector<std::string> said;
    serials.SetLockWait(std::chrono::milliseconds(1000), [&](const std::string& text) { said.push_back(text); });
    QFile other(serials.LockFile());
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    ASSERT_EQ(flock(other.handle(), LOCK_EX | LOCK_NB), 0);
    SerialNumber number;
    std::string error;
    EXPECT_FALSE(serials.Take(number, error));
    EXPECT_NE(error.find("1 秒待ちました"), std::string::npos) << error;
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(Utf8Path("counter")), std::string::npos) << said[0];
    EXPECT_EQ(Read(Path("counter")), "5\n");
    other.close();
    ASSERT_TRUE(serials.Take(number, error)) << error;
    EXPECT_EQ(number.text, "5");
}

// The real sync calls: each number taken replaces the journal and the
// counter (or list) and syncs their folder, and finishing the chip syncs
// it again; a folder sync that fails is a number not taken.
TEST_F(ProductionFilesTest, EachReplacedFileIsSyncedWithItsFolder) {
    Write("list.txt", "0001\n0002\n");
    SerialRule counter;
    SerialRule list;
    list.width = 2;
    list.listFile = Path("list.txt");
    const QString folder = QFileInfo(m_dir.path()).canonicalFilePath();
    for (const SerialRule& rule : {counter, list}) {
        const bool fromList = !rule.listFile.isEmpty();
        SCOPED_TRACE(fromList ? "list" : "counter");
        CSerialAllocator serials(rule, Path("counter"));
        std::map<SyncKind, int> synced;
        bool failFolder = false;
        const CSyncHookScope hook([&](int fd, SyncKind kind, CSyncHookScope::Real real) {
            if (kind == SyncKind::Folder) {
                const QString at = QFile::symLinkTarget("/proc/self/fd/" + QString::number(fd));
                if (at != folder) return real(fd, kind);
                if (failFolder) {
                    errno = EIO;
                    return -1;
                }
            }
            ++synced[kind];
            return real(fd, kind);
        });
        SerialNumber number;
        std::string error;
        ASSERT_TRUE(serials.Take(number, "box", 1, LogTime(), "job.set", error)) << error;
        EXPECT_EQ(synced[SyncKind::Folder], 2) << "the journal and the numbers replaced";
        EXPECT_GE(synced[SyncKind::File], 2);
        ASSERT_TRUE(serials.Finish("box", number.text, false, error)) << error;
        EXPECT_EQ(synced[SyncKind::Folder], 3) << "the journal removed";
        const QByteArray numbers = Read(serials.NumbersFile());
        failFolder = true;
        EXPECT_FALSE(serials.Take(number, "box", 1, LogTime(), "job.set", error));
        EXPECT_NE(error.find("書き込めません"), std::string::npos) << error;
        EXPECT_EQ(Read(serials.NumbersFile()), numbers) << "the numbers file not replaced after the failed journal";
    }
}

}  // namespace
}  // namespace oriole
