// Saving over every kind of node a path can name: files are replaced whole
// with their owner and mode, links kept, pipes and /dev/null written in
// place, everything else refused, and a failure leaves what was there.

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
#include <cstring>
#include <functional>
#include <future>
#include <optional>
#include <tuple>

#include "base/FileNode.h"
#include "base/FileSync.h"
#include "image/FileSizeLimit.h"
#include "res/Texts.h"

namespace oriole {
namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    QString Path(const char* name) const {
        return QDir(folder).filePath(QString::fromLatin1(name));
    }
    QByteArray N(const char* name) const { return QFile::encodeName(Path(name)); }
    void Put(const char* name, const QByteArray& bytes) const {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QByteArray Read(const char* name) const {
        QFile f(Path(name));
        return NodeKindOf(Path(name)) == NodeKind::Regular && f.open(QIODevice::ReadOnly)
                   ? f.readAll()
                   : QByteArray("<no file>");
    }
    struct stat Stat(const char* name, bool follow = false) const {
        struct stat st {};
        follow ? stat(N(name).constData(), &st) : lstat(N(name).constData(), &st);
        return st;
    }
    // Every name in the folder, hidden ones too: a temporary file left
    // behind shows here.
    QStringList Entries() const {
        return QDir(folder).entryList(
            QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    void Link(const char* name, const char* target) const {
        ASSERT_EQ(symlink(target, N(name).constData()), 0);
    }
    void Node(const char* name, mode_t kind, dev_t dev = 0) const {
        ASSERT_EQ(mknod(N(name).constData(), kind | 0666, dev), 0);
    }

    QTemporaryDir top;
    QString folder = top.path();
};

// What saving to "target" does to each kind of node.
TEST_F(AtomicFileTest, EveryKindOfNodeIsSavedKeptOrRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "device nodes and other owners need root";
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* fault;     // null: saved
        bool stream;           // written in place, but refused for settings files
        const char* holder;    // the regular file that holds the data afterwards
        rlim_t diskLimit = 0;  // a disk that takes only this many bytes
    };
    const Case cases[] = {
        {"regular file", [&] { Put("target", "old"); }, nullptr, false, "target"},
        {"new path", [] {}, nullptr, false, "target"},
        {"someone else's file",
         [&] {
             Put("target", "old");
             ASSERT_EQ(chown(N("target").constData(), 1234, 1234), 0);
             ASSERT_EQ(chmod(N("target").constData(), 02640), 0);
         },
         nullptr, false, "target"},
        {"link to a file",
         [&] {
             Put("file", "old");
             Link("target", "file");
         },
         nullptr, false, "file"},
        {"chain of links through a linked folder",
         [&] {
             ASSERT_TRUE(QDir(folder).mkdir("real"));
             Put("real/file", "old");
             Link("folder", "real");
             Link("middle", "folder/file");
             Link("target", "middle");
         },
         nullptr, false, "real/file"},
        {"dangling link", [&] { Link("target", "made"); }, nullptr, false, "made"},
        {"hard link",
         [&] {
             Put("target", "old");
             ASSERT_EQ(link(N("target").constData(), N("other").constData()), 0);
         },
         nullptr, false, "other"},
        {"like /dev/null", [&] { Node("target", S_IFCHR, makedev(1, 3)); }, nullptr, true, nullptr},
        {"FIFO without a reader", [&] { Node("target", S_IFIFO); }, text::kSaveNoReader, true,
         nullptr},
        {"directory", [&] { ASSERT_TRUE(QDir(folder).mkdir("target")); }, text::kSaveNotAFile,
         false, nullptr},
        {"block device", [&] { Node("target", S_IFBLK, makedev(7, 0)); }, text::kSaveNotAFile,
         false, nullptr},
        {"socket",
         [&] {
             const int s = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, N("target").constData(), sizeof address.sun_path - 1);
             ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             close(s);
         },
         text::kSaveNotAFile, false, nullptr},
        {"full disk", [&] { Put("target", "old"); }, text::kFileCreateFailed, false, nullptr, 16},
        {"hard link, full disk",
         [&] {
             Put("target", "old");
             ASSERT_EQ(link(N("target").constData(), N("other").constData()), 0);
         },
         text::kFileCreateFailed, false, nullptr, 16},
        // A device that is neither a terminal nor /dev/null is never opened.
        {"like /dev/full", [&] { Node("target", S_IFCHR, makedev(1, 7)); }, text::kSaveNotAFile,
         false, nullptr},
        {"like a watchdog", [&] { Node("target", S_IFCHR, makedev(10, 130)); }, text::kSaveNotAFile,
         false, nullptr},
    };
    const QByteArray data(64 * 1024, 'n');
    int run = 0;
    for (const Case& c : cases) {
        for (const SaveTargets targets : {SaveTargets::FilesAndStreams, SaveTargets::FilesOnly}) {
            SCOPED_TRACE(std::string(c.what) +
                         (targets == SaveTargets::FilesOnly ? ", files only" : ""));
            folder = top.filePath(QString::number(++run));
            ASSERT_TRUE(QDir().mkpath(folder));
            c.make();
            const QStringList before = Entries();
            const struct stat was = Stat("target");
            const struct stat file = Stat(c.holder ? c.holder : "target", true);
            const QByteArray old = Read("target");
            const char* fault = nullptr;
            bool saved = false;
            {
                std::optional<test::FileSizeLimit> limit;
                if (c.diskLimit != 0) limit.emplace(c.diskLimit);
                saved = WriteFileAtomically(Path("target"), data, &fault, targets);
            }
            const char* expected =
                c.stream && targets == SaveTargets::FilesOnly ? text::kSaveNotAFile : c.fault;
            EXPECT_EQ(saved, expected == nullptr);
            EXPECT_STREQ(fault, expected);
            // The path names what it named; links stay links.
            EXPECT_EQ(Stat("target").st_mode & S_IFMT,
                      was.st_ino != 0 ? was.st_mode & S_IFMT : S_IFREG);
            if (expected != nullptr) {
                EXPECT_EQ(Read("target"), old);
            }
            if (saved && c.holder != nullptr) {
                EXPECT_EQ(Read(c.holder), data);
                const struct stat now = Stat(c.holder);
                if (file.st_ino != 0) {
                    EXPECT_EQ(std::tie(now.st_uid, now.st_gid, now.st_mode),
                              std::tie(file.st_uid, file.st_gid, file.st_mode));
                    // Replaced whole, unless other names must keep seeing it.
                    EXPECT_EQ(now.st_ino == file.st_ino, file.st_nlink > 1);
                }
            }
            // No temporary file stays behind, and nothing new but the saved file.
            QStringList expectedNames = before;
            const QString made = QString::fromLatin1(c.holder ? c.holder : "").section('/', 0, 0);
            if (saved && !made.isEmpty() && !before.contains(made)) expectedNames.append(made);
            expectedNames.sort();
            EXPECT_EQ(Entries(), expectedNames);
            if (before.contains("real")) {
                EXPECT_EQ(QDir(Path("real")).entryList(QDir::Files | QDir::Hidden),
                          QStringList{"file"});
            }
        }
    }
}

// The program's own files: only a regular file of one name (or nothing) is
// replaced or removed, its folder synced after; a link, a second name or
// another node is refused and stays as it was, and so does what it leads
// to. A sync that fails (the real calls, through the seam) fails the save.
TEST_F(AtomicFileTest, AnOwnedFileIsReplacedOrRemovedOnlyWhenItIsOne) {
    struct Case {
        const char* what;
        std::function<void()> make;
        bool owned;
        bool failSync = false;
    };
    const Case cases[] = {
        {"regular file", [&] { Put("target", "old"); }, true},
        {"new path", [] {}, true},
        {"link to a file", [&] { Put("file", "old"); Link("target", "file"); }, false},
        {"dangling link", [&] { Link("target", "made"); }, false},
        {"hard link",
         [&] {
             Put("target", "old");
             ASSERT_EQ(link(N("target").constData(), N("other").constData()), 0);
         },
         false},
        {"FIFO", [&] { ASSERT_EQ(mkfifo(N("target").constData(), 0600), 0); }, false},
        {"a sync that fails", [&] { Put("target", "old"); }, false, true},
    };
    int run = 0;
    for (const Case& c : cases) {
        for (const bool remove : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (remove ? ", removed" : ", replaced"));
            folder = top.filePath("owned" + QString::number(++run));
            ASSERT_TRUE(QDir().mkpath(folder));
            c.make();
            if (c.owned && !remove) ASSERT_EQ(chmod(N("target").constData(), 0640) == 0, QFile::exists(Path("target")));
            const QStringList before = Entries();
            const struct stat was = Stat("target");
            const QByteArray old = Read("target");
            const QByteArray oldFile = Read("file");
            int folderSyncs = 0;
            bool saved = false;
            {
                const CSyncHookScope hook([&](int fd, SyncKind kind, CSyncHookScope::Real real) {
                    if (c.failSync) {
                        errno = EIO;
                        return -1;
                    }
                    folderSyncs += kind == SyncKind::Folder;
                    return real(fd, kind);
                });
                saved = remove ? RemoveOwnedFile(Path("target")) : ReplaceOwnedFile(Path("target"), "new");
            }
            EXPECT_EQ(saved, c.owned);
            EXPECT_EQ(Read("file"), oldFile);
            EXPECT_FALSE(QFile::exists(Path("made")));
            if (!c.owned) {
                // A name removed before its folder's sync failed cannot come back.
                if (!(c.failSync && remove)) {
                    EXPECT_EQ(Stat("target").st_ino, was.st_ino);
                    EXPECT_EQ(Read("target"), old);
                }
                continue;
            }
            EXPECT_EQ(folderSyncs, was.st_ino != 0 || !remove ? 1 : 0);
            if (remove) {
                EXPECT_FALSE(QFile::exists(Path("target")));
            } else {
                EXPECT_EQ(Read("target"), "new");
                if (was.st_ino != 0) {
                    EXPECT_EQ(Stat("target").st_mode & 07777, 0640u);
                }
                QStringList expected = before;
                if (!expected.contains("target")) expected.append("target");
                expected.sort();
                EXPECT_EQ(Entries(), expected) << "no temporary file left";
            }
        }
    }
}

// A reader that takes its time: the writer waits for it instead of failing
// or blocking, and the reader gets every byte.
TEST_F(AtomicFileTest, PipeWithAReaderGetsEverything) {
    ASSERT_EQ(mkfifo(N("pipe").constData(), 0600), 0);
    const int reader = open(N("pipe").constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const QByteArray data(1 << 20, 'x');  // far beyond a pipe's buffer
    auto drained = std::async(std::launch::async, [reader] {
        QByteArray got;
        char buffer[65536];
        for (int idle = 0; idle < 200;) {  // 20 s without a byte at most
            pollfd p{reader, POLLIN, 0};
            idle = poll(&p, 1, 100) > 0 ? 0 : idle + 1;
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

}  // namespace
}  // namespace oriole
