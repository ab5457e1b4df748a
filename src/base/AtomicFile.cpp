#include "base/AtomicFile.h"

#include "base/FileNode.h"
#include "base/FileSync.h"
#include "base/SigPipeHeld.h"
#include "res/Texts.h"

#if defined(_WIN32)
#include <QFile>
#include <QSaveFile>
#else
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>
#endif

namespace oriole {
namespace {

bool Fail(const char** fault, const char* text) {
    if (fault != nullptr) *fault = text;
    return false;
}

}  // namespace

#if defined(_WIN32)

bool WriteFileAtomically(const QString& path, QByteArrayView data, const char** fault,
                         SaveTargets) {
    if (path.isEmpty()) return Fail(fault, text::kFileCreateFailed);
    const NodeKind kind = NodeKindOf(path);
    if (kind != NodeKind::Regular && kind != NodeKind::Missing)
        return Fail(fault, text::kSaveNotAFile);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Fail(fault, text::kFileCreateFailed);
    // Flush before commit: Qt 6.4's commit() ignores a failed flush of the last
    // buffered bytes (disk full, file size limit) and would put a truncated
    // file in place of the old one.
    if (file.write(data.data(), data.size()) != data.size() || !file.flush()) {
        file.cancelWriting();
        return Fail(fault, text::kFileCreateFailed);
    }
    return file.commit() || Fail(fault, text::kFileCreateFailed);
}

bool ReplaceOwnedFile(const QString& path, QByteArrayView data, const char** fault) {
    const OwnedNode node = OwnedNodeOf(path);
    if (node != OwnedNode::File && node != OwnedNode::Missing) return Fail(fault, text::kSaveNotAFile);
    return WriteFileAtomically(path, data, fault, SaveTargets::FilesOnly);
}

bool RemoveOwnedFile(const QString& path, const char** fault) {
    const OwnedNode node = OwnedNodeOf(path);
    if (node == OwnedNode::Missing) return true;
    if (node != OwnedNode::File) return Fail(fault, text::kSaveNotAFile);
    return QFile::remove(path) || Fail(fault, text::kFileCreateFailed);
}

#else

// Written with POSIX calls rather than QSaveFile: QSaveFile renames its
// temporary file over whatever the path names (a device node, a FIFO, the
// symbolic link itself), hands the new file to whoever saves it with the mode
// of a new file, and cannot write in place when a file has further names.

namespace {

constexpr int kMaxLinks = 40;  // the kernel's own limit on one path
// A pipe or terminal that takes no byte for this long is given up on.
constexpr int kStreamStallMs = 30000;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now; false when the system reports a late write error. Linux
    // has closed the descriptor also when close is interrupted.
    [[nodiscard]] bool Close() { return ::close(std::exchange(fd_, -1)) == 0 || errno == EINTR; }

private:
    int fd_;
};

QByteArray DirOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// Where a new file goes: `path` itself, or the end of the chain of symbolic
// links that starts there and leads nowhere yet, so that the links stay and
// lead to the new file. False for a loop.
bool EndOfLinks(QByteArray path, QByteArray& end) {
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            end = path;
            return true;
        }
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n =
            readlink(path.constData(), target.data(), static_cast<size_t>(target.size()));
        if (n <= 0 || n >= target.size()) return false;
        target.truncate(n);
        path = target.startsWith('/') ? target : DirOf(path) + '/' + target;
    }
    return false;
}

bool WriteAll(int fd, QByteArrayView data) {
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

// A new file beside `target`, named after it, that nobody else has opened.
// -1 with errno set when none can be made.
int CreateTemp(const QByteArray& target, mode_t mode, QByteArray& name) {
    const QByteArray stem =
        DirOf(target) + "/." + target.mid(target.lastIndexOf('/') + 1).left(64) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
        const int fd =
            open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

enum class Replaced { Done, Failed, InPlace };

// Puts a temporary file with the data in place of `target`: a regular file
// described by `old`, or nothing (old null). InPlace when the file must be
// written in place instead: its owner cannot be given to the temporary file,
// or no file can be made in its folder.
Replaced ReplaceByTemp(const QByteArray& target, const struct stat* old, QByteArrayView data) {
    // A new file gets the mode any new file gets (0666 less the umask); an
    // existing one gets its own below, and until then only we may read it.
    QByteArray temp;
    Fd fd(CreateTemp(target, old != nullptr ? 0600 : 0666, temp));
    if (fd.get() < 0) {
        const bool folderClosed = errno == EACCES || errno == EPERM;
        return old != nullptr && folderClosed ? Replaced::InPlace : Replaced::Failed;
    }
    bool ok = WriteAll(fd.get(), data) && SyncFd(fd.get(), SyncKind::File) == 0;
    if (ok && old != nullptr) {
        // Saving as root must not hand a user's file to root; a user who may
        // write someone else's file writes it in place, where it stays theirs.
        struct stat now {};
        ok = fstat(fd.get(), &now) == 0;
        if (ok && (now.st_uid != old->st_uid || now.st_gid != old->st_gid) &&
            fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
            unlink(temp.constData());
            return Replaced::InPlace;
        }
        // After the owner: a change of owner clears the set-ID bits.
        ok = ok && fchmod(fd.get(), old->st_mode & 07777) == 0;
    }
    ok = fd.Close() && ok;
    ok = ok && rename(temp.constData(), target.constData()) == 0;
    if (!ok) unlink(temp.constData());
    return ok ? Replaced::Done : Replaced::Failed;
}

// Writes the data over the contents of the regular file `old` describes,
// keeping its inode, its other names, owner and mode. With `rehearse` the
// data go to a temporary file beside it first, so that a disk that cannot
// take them fails before the file is touched.
bool WriteInPlace(const QByteArray& path, const struct stat& old, QByteArrayView data,
                  bool rehearse, bool noFollow = false) {
    if (rehearse) {
        QByteArray temp;
        const int t = CreateTemp(path, 0600, temp);
        if (t >= 0) {
            Fd fd(t);
            const bool ok = WriteAll(t, data) && SyncFd(t, SyncKind::File) == 0;
            unlink(temp.constData());
            if (!ok) return false;
        }
    }
    // Non-blocking, in case a FIFO has taken the file's place meanwhile.
    Fd fd(open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0)));
    if (fd.get() < 0) return false;
    struct stat now {};
    if (fstat(fd.get(), &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != old.st_dev ||
        now.st_ino != old.st_ino) {
        return false;
    }
    // Over the old bytes first, then cut to the new length.
    const bool ok =
        WriteAll(fd.get(), data) && ftruncate(fd.get(), data.size()) == 0 && SyncFd(fd.get(), SyncKind::File) == 0;
    return fd.Close() && ok;
}

bool SaveRegular(const QByteArray& path, QByteArrayView data, const char** fault) {
    struct stat old {};
    if (stat(path.constData(), &old) != 0 || !S_ISREG(old.st_mode))
        return Fail(fault, text::kFileCreateFailed);
    // A read-only file stays as it is, although its folder would let us
    // replace it.
    if (access(path.constData(), W_OK) != 0) return Fail(fault, text::kFileCreateFailed);
    // The file itself, wherever links and linked folders put it: its
    // temporary file goes beside it, and the links stay as they are.
    char* real = realpath(path.constData(), nullptr);
    const QByteArray target = real != nullptr ? QByteArray(real) : QByteArray();
    std::free(real);
    struct stat there {};
    const bool found = !target.isEmpty() && stat(target.constData(), &there) == 0 &&
                       there.st_dev == old.st_dev && there.st_ino == old.st_ino;
    // A file with further names keeps its inode, so that every name shows
    // the new contents; so does one that no path of its own leads to (the
    // descriptor link in /proc of a deleted file).
    Replaced how = Replaced::InPlace;
    if (found && old.st_nlink == 1) how = ReplaceByTemp(target, &old, data);
    if (how == Replaced::InPlace && WriteInPlace(path, old, data, !found || old.st_nlink > 1))
        how = Replaced::Done;
    return how == Replaced::Done || Fail(fault, text::kFileCreateFailed);
}

// A terminal, pipe or character device, written where it is: opened without
// creating or truncating anything, and without waiting for a reader.
bool WriteStream(const QByteArray& path, NodeKind kind, QByteArrayView data, const char** fault) {
    Fd fd(open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        const bool noReader = kind == NodeKind::Fifo && errno == ENXIO;
        return Fail(fault, noReader ? text::kSaveNoReader : text::kFileCreateFailed);
    }
    struct stat st {};
    // The node opened is still one output may go to.
    const bool stream = fstat(fd.get(), &st) == 0 &&
                        (S_ISFIFO(st.st_mode) || (S_ISCHR(st.st_mode) && IsNullOrTerminal(st.st_rdev)));
    if (!stream) return Fail(fault, text::kSaveNotAFile);
    const SigPipeHeld held;
    const char* p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), p, static_cast<size_t>(left));
        if (n > 0) {
            p += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return Fail(fault, text::kFileCreateFailed);
        // Full: wait for the reader to take some, but not for ever.
        pollfd ready{fd.get(), POLLOUT, 0};
        const int r = poll(&ready, 1, kStreamStallMs);
        if (r == 0) return Fail(fault, text::kSaveStalled);
        if (r < 0 && errno != EINTR) return Fail(fault, text::kFileCreateFailed);
    }
    // Nothing to sync: a stream's bytes are with its reader or driver once
    // written. A device can still report a late error as it is closed.
    return fd.Close() || Fail(fault, text::kFileCreateFailed);
}

}  // namespace

bool ReplaceOwnedFile(const QString& path, QByteArrayView data, const char** fault) {
    if (fault != nullptr) *fault = nullptr;
    const QByteArray native = QFile::encodeName(path);
    struct stat old {};
    const bool exists = lstat(native.constData(), &old) == 0;
    if (!exists && errno != ENOENT) return Fail(fault, text::kFileCreateFailed);
    // The name itself, never what a link or another name leads to.
    if (exists && (!S_ISREG(old.st_mode) || old.st_nlink != 1)) return Fail(fault, text::kSaveNotAFile);
    Replaced how = ReplaceByTemp(native, exists ? &old : nullptr, data);
    // A file of another owner in a folder we may write: written where it is.
    if (how == Replaced::InPlace && WriteInPlace(native, old, data, true, true)) how = Replaced::Done;
    if (how != Replaced::Done) return Fail(fault, text::kFileCreateFailed);
    return SyncFolder(DirOf(native).constData()) == 0 || Fail(fault, text::kFileCreateFailed);
}

bool RemoveOwnedFile(const QString& path, const char** fault) {
    if (fault != nullptr) *fault = nullptr;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (lstat(native.constData(), &st) != 0) return errno == ENOENT || Fail(fault, text::kFileCreateFailed);
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) return Fail(fault, text::kSaveNotAFile);
    if (unlink(native.constData()) != 0) return Fail(fault, text::kFileCreateFailed);
    return SyncFolder(DirOf(native).constData()) == 0 || Fail(fault, text::kFileCreateFailed);
}

bool WriteFileAtomically(const QString& path, QByteArrayView data, const char** fault,
                         SaveTargets targets) {
    if (fault != nullptr) *fault = nullptr;
    if (path.isEmpty()) return Fail(fault, text::kFileCreateFailed);
    const QByteArray native = QFile::encodeName(path);
    NodeKind kind = NodeKind::Missing;
    // A device other than a terminal or /dev/null is never opened.
    if (OutputTargetOf(path, &kind) == OutputTarget::Device) return Fail(fault, text::kSaveNotAFile);
    switch (kind) {
        case NodeKind::Missing: {
            QByteArray end;
            if (EndOfLinks(native, end) && ReplaceByTemp(end, nullptr, data) == Replaced::Done)
                return true;
            return Fail(fault, text::kFileCreateFailed);
        }
        case NodeKind::Regular:
            return SaveRegular(native, data, fault);
        case NodeKind::CharDevice:
        case NodeKind::Fifo:
            if (targets == SaveTargets::FilesOnly) return Fail(fault, text::kSaveNotAFile);
            return WriteStream(native, kind, data, fault);
        case NodeKind::Unreachable:
            return Fail(fault, text::kFileCreateFailed);
        case NodeKind::Directory:
        case NodeKind::BlockDevice:
        case NodeKind::Socket:
            break;
    }
    return Fail(fault, text::kSaveNotAFile);
}

#endif

}  // namespace oriole
