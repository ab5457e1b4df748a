// Saving over every kind of node a path can name: files are replaced whole,
// links kept, devices and pipes written in place, everything else refused,
// and a failure leaves what was there.

#include "base/AtomicFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>

#include "base/FileNode.h"
#include "image/FileSizeLimit.h"
#include "res/Texts.h"

namespace oriole {
namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override { folder = top.path(); }
    // Starts over in an empty folder.
    void Fresh(int run) {
        folder = top.filePath(QString::number(run));
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    QString Path(const char* name) const { return QDir(folder).filePath(QString::fromLatin1(name)); }
    QByteArray Native(const char* name) const { return QFile::encodeName(Path(name)); }
    void Put(const char* name, const QByteArray& bytes) const {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray Read(const char* name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    struct stat Lstat(const char* name) const {
        struct stat st {};
        EXPECT_EQ(lstat(Native(name).constData(), &st), 0) << name;
        return st;
    }
    // Every name in the folder, hidden ones too: a temporary file left
    // behind shows here.
    QStringList Entries() const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                          QDir::NoDotAndDotDot, QDir::Name);
    }
    bool MakeNode(const char* name, mode_t mode, dev_t dev = 0) const {
        return mknod(Native(name).constData(), mode | 0666, dev) == 0;
    }

    QTemporaryDir top;
    QString folder;
};

// What each kind of node becomes when "new" is saved to "target".
TEST_F(AtomicFileTest, EveryKindOfNodeIsSavedKeptOrRefusedAsItMustBe) {
    if (geteuid() != 0) GTEST_SKIP() << "device nodes need root";
    struct Case {
        const char* what;
        std::function<void()> make;   // puts "target" (and whatever it needs) in place
        const char* fault;            // null: saved
        bool stream;                  // FilesOnly refuses it
        std::function<void()> check;  // after a successful save
    };
    const auto regularWithNew = [this](const char* name) {
        EXPECT_TRUE(S_ISREG(Lstat(name).st_mode)) << name;
        EXPECT_EQ(Read(name), "new") << name;
    };
    const auto linkTo = [this](const char* name, const char* target) {
        ASSERT_EQ(symlink(target, Native(name).constData()), 0);
    };
    const Case cases[] = {
        {"regular file", [&] { Put("target", "old contents"); }, nullptr, false,
         [&] { regularWithNew("target"); }},
        {"new path", [] {}, nullptr, false, [&] { regularWithNew("target"); }},
        {"symbolic link to a file", [&] { Put("file", "old"); linkTo("target", "file"); },
         nullptr, false,
         [&] {
             EXPECT_TRUE(S_ISLNK(Lstat("target").st_mode));
             regularWithNew("file");
         }},
        {"chain of links into a linked folder",
         [&] {
             ASSERT_TRUE(QDir(folder).mkdir("real"));
             linkTo("folder", "real");
             Put("real/file", "old");
             linkTo("middle", "folder/file");
             linkTo("target", "middle");
         },
         nullptr, false,
         [&] {
             EXPECT_TRUE(S_ISLNK(Lstat("target").st_mode));
             EXPECT_TRUE(S_ISLNK(Lstat("middle").st_mode));
             regularWithNew("real/file");
             EXPECT_EQ(QDir(Path("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"file"});
         }},
        {"dangling symbolic link", [&] { linkTo("target", "made"); }, nullptr, false,
         [&] {
             EXPECT_TRUE(S_ISLNK(Lstat("target").st_mode));
             regularWithNew("made");
         }},
        {"hard link", [&] { Put("target", "old"); ASSERT_EQ(link(Native("target").constData(), Native("other").constData()), 0); },
         nullptr, false,
         [&] {
             regularWithNew("other");
             EXPECT_EQ(Lstat("target").st_ino, Lstat("other").st_ino);
         }},
        {"character device like /dev/null", [&] { ASSERT_TRUE(MakeNode("target", S_IFCHR, makedev(1, 3))); },
         nullptr, true, [&] { EXPECT_TRUE(S_ISCHR(Lstat("target").st_mode)); }},
        {"FIFO without a reader", [&] { ASSERT_TRUE(MakeNode("target", S_IFIFO)); },
         text::kSaveNoReader, true, {}},
        {"directory", [&] { ASSERT_TRUE(QDir(folder).mkdir("target")); }, text::kSaveNotAFile,
         false, {}},
        {"block device", [&] { ASSERT_TRUE(MakeNode("target", S_IFBLK, makedev(7, 0))); },
         text::kSaveNotAFile, false, {}},
        {"socket",
         [&] {
             const int s = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, Native("target").constData(), sizeof address.sun_path - 1);
             ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             close(s);
         },
         text::kSaveNotAFile, false, {}},
    };
    int run = 0;
    for (const Case& c : cases) {
        for (const SaveTargets targets : {SaveTargets::FilesAndStreams, SaveTargets::FilesOnly}) {
            SCOPED_TRACE(std::string(c.what) + (targets == SaveTargets::FilesOnly ? ", files only" : ""));
            Fresh(++run);
            c.make();
            const QStringList before = Entries();
            struct stat was {};
            lstat(Native("target").constData(), &was);
            const char* fault = nullptr;
            const bool saved = WriteFileAtomically(Path("target"), "new", &fault, targets);
            const char* expected = c.stream && targets == SaveTargets::FilesOnly ? text::kSaveNotAFile : c.fault;
            EXPECT_EQ(saved, expected == nullptr);
            EXPECT_STREQ(fault, expected);
            if (expected != nullptr) {
                EXPECT_EQ(Lstat("target").st_mode, was.st_mode);
            } else if (c.check) {
                c.check();
            }
            // No temporary file stays behind, and nothing new but a new file.
            QStringList after = Entries();
            if (!before.contains("target")) after.removeAll("target");
            if (c.what == std::string("dangling symbolic link")) after.removeAll("made");
            EXPECT_EQ(after, before);
        }
    }
}

// A reader that takes its time: the writer waits for it instead of failing
// or blocking, and the reader gets every byte.
TEST_F(AtomicFileTest, PipeWithAReaderGetsEverything) {
    ASSERT_EQ(mkfifo(Native("pipe").constData(), 0600), 0);
    const int reader = open(Native("pipe").constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const QByteArray data(1 << 20, 'x');  // far beyond a pipe's buffer
    auto drained = std::async(std::launch::async, [reader] {
        QByteArray got;
        char buffer[65536];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{reader, POLLIN, 0};
            poll(&p, 1, 100);
            const ssize_t n = read(reader, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, n);
            if (n == 0 && !got.isEmpty()) break;  // the writer has closed
        }
        return got;
    });
    const char* fault = nullptr;
    EXPECT_TRUE(WriteFileAtomically(Path("pipe"), data, &fault)) << (fault ? fault : "");
    EXPECT_EQ(drained.get(), data);
    close(reader);
    EXPECT_EQ(NodeKindOf(Path("pipe")), NodeKind::Fifo);
}

// Saving as root must not hand a user's file to root.
TEST_F(AtomicFileTest, ReplacedFileKeepsOwnerGroupAndMode) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
    Put("mine", "old");
    ASSERT_EQ(chown(Native("mine").constData(), 1234, 1234), 0);
    ASSERT_EQ(chmod(Native("mine").constData(), 02640), 0);
    const struct stat was = Lstat("mine");
    ASSERT_TRUE(WriteFileAtomically(Path("mine"), "new"));
    const struct stat now = Lstat("mine");
    EXPECT_EQ(Read("mine"), "new");
    EXPECT_EQ(now.st_uid, 1234u);
    EXPECT_EQ(now.st_gid, 1234u);
    EXPECT_EQ(now.st_mode, was.st_mode);
    EXPECT_NE(now.st_ino, was.st_ino);  // replaced whole, not written in place
}

// Every write is checked: a disk that gives up, or a device that takes
// nothing, is one message, and what was there stays as it was.
TEST_F(AtomicFileTest, FailedWritesLeaveWhatWasThere) {
    Put("file", "old");
    Put("linked", "old");
    ASSERT_EQ(link(Native("linked").constData(), Native("second").constData()), 0);
    ASSERT_EQ(symlink("file", Native("link").constData()), 0);
    const QByteArray big(64 * 1024, 'n');
    for (const char* name : {"file", "linked", "link"}) {
        SCOPED_TRACE(name);
        const char* fault = nullptr;
        {
            test::FileSizeLimit limit(16);
            ASSERT_TRUE(limit.Active());
            EXPECT_FALSE(WriteFileAtomically(Path(name), big, &fault));
        }
        EXPECT_STREQ(fault, text::kFileCreateFailed);
        EXPECT_EQ(Read(name), "old");
    }
    EXPECT_EQ(Entries(), (QStringList{"file", "link", "linked", "second"}));

    if (geteuid() == 0) {  // /dev/full: every write fails with "no space"
        ASSERT_TRUE(MakeNode("full", S_IFCHR, makedev(1, 7)));
        const char* fault = nullptr;
        EXPECT_FALSE(WriteFileAtomically(Path("full"), "x", &fault));
        EXPECT_STREQ(fault, text::kFileCreateFailed);
    }
    const char* fault = nullptr;
    EXPECT_FALSE(WriteFileAtomically(Path("missing/file"), "x", &fault));
    EXPECT_STREQ(fault, text::kFileCreateFailed);
}

}  // namespace
}  // namespace oriole
