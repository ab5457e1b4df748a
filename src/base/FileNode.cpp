#include "base/FileNode.h"

#include <QFile>
#include <QFileInfo>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#endif

namespace oriole {

#if defined(_WIN32)

NodeKind NodeKindOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return NodeKind::Missing;
    if (info.isDir()) return NodeKind::Directory;
    return info.isFile() ? NodeKind::Regular : NodeKind::CharDevice;
}

OutputTarget OutputTargetOf(const QString& path, NodeKind* kind) {
    const NodeKind k = NodeKindOf(path);
    if (kind != nullptr) *kind = k;
    if (k == NodeKind::Missing || k == NodeKind::Regular) return OutputTarget::File;
    // Nothing tells a terminal here without opening it.
    return k == NodeKind::CharDevice ? OutputTarget::Device : OutputTarget::NotAFile;
}

ReadFile ReadRegularFile(const QString& path, qint64 limit, QByteArray& out) {
    out.clear();
    const NodeKind kind = NodeKindOf(path);
    if (kind == NodeKind::Missing) return ReadFile::Missing;
    if (kind != NodeKind::Regular) return ReadFile::NotRegular;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return ReadFile::Failed;
    out = file.read(limit + 1);
    if (out.size() > limit) return ReadFile::TooLarge;
    return file.error() == QFileDevice::NoError ? ReadFile::Ok : ReadFile::Failed;
}

OwnedNode OwnedNodeOf(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) return OwnedNode::Link;
    if (!info.exists()) return OwnedNode::Missing;
    return info.isFile() ? OwnedNode::File : OwnedNode::NotRegular;
}

ReadFile ReadOwnedFile(const QString& path, qint64 limit, QByteArray& out) {
    if (OwnedNodeOf(path) == OwnedNode::Link) return ReadFile::NotRegular;
    return ReadRegularFile(path, limit, out);
}

#else

namespace {

NodeKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return NodeKind::Regular;
    if (S_ISDIR(mode)) return NodeKind::Directory;
    if (S_ISCHR(mode)) return NodeKind::CharDevice;
    if (S_ISBLK(mode)) return NodeKind::BlockDevice;
    if (S_ISFIFO(mode)) return NodeKind::Fifo;
    return NodeKind::Socket;  // and whatever else a system may have
}

}  // namespace

NodeKind NodeKindOf(const QString& path) {
    if (path.isEmpty()) return NodeKind::Missing;
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) == 0) return KindOfMode(st.st_mode);
    return errno == ENOENT ? NodeKind::Missing : NodeKind::Unreachable;
}

bool IsNullOrTerminal(dev_t device) {
    const unsigned maj = major(device);
    if (maj == 1 && minor(device) == 3) return true;
    // Pseudo-terminals (Unix98 slaves, majors 136 to 143) have no entry in
    // the kernel's table below.
    if (maj >= 136 && maj <= 143) return true;
    std::error_code ec;
    const auto subsystem = std::filesystem::read_symlink(
        "/sys/dev/char/" + std::to_string(maj) + ":" + std::to_string(minor(device)) + "/subsystem", ec);
    return !ec && subsystem.filename() == "tty";
}

OutputTarget OutputTargetOf(const QString& path, NodeKind* kind) {
    NodeKind k = NodeKind::Missing;
    struct stat st {};
    if (!path.isEmpty()) {
        if (stat(QFile::encodeName(path).constData(), &st) == 0)
            k = KindOfMode(st.st_mode);
        else if (errno != ENOENT)
            k = NodeKind::Unreachable;
    }
    if (kind != nullptr) *kind = k;
    switch (k) {
        case NodeKind::Missing:
        case NodeKind::Regular:
            return OutputTarget::File;
        case NodeKind::Fifo:
            return OutputTarget::Stream;
        case NodeKind::CharDevice:
            return IsNullOrTerminal(st.st_rdev) ? OutputTarget::Stream : OutputTarget::Device;
        case NodeKind::Unreachable:
            return OutputTarget::Unreachable;
        case NodeKind::Directory:
        case NodeKind::BlockDevice:
        case NodeKind::Socket:
            break;
    }
    return OutputTarget::NotAFile;
}

namespace {

OwnedNode OwnedOfStat(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return OwnedNode::Link;
    if (!S_ISREG(st.st_mode)) return OwnedNode::NotRegular;
    return st.st_nlink > 1 ? OwnedNode::HardLinked : OwnedNode::File;
}

// Reads what `fd` holds, at most `limit` bytes; TooLarge past that.
ReadFile ReadFd(int fd, qint64 limit, QByteArray& out) {
    ReadFile result = ReadFile::Ok;
    // One byte past the limit tells a file that is just too large.
    constexpr qint64 kChunk = qint64{64} * 1024;
    for (;;) {
        const qsizetype before = out.size();
        const qint64 want = std::min(kChunk, limit + 1 - before);
        if (want <= 0) break;
        out.resize(before + want);
        const ssize_t n = read(fd, out.data() + before, static_cast<size_t>(want));
        if (n < 0 && errno == EINTR) {
            out.resize(before);
            continue;
        }
        out.resize(before + std::max<qsizetype>(n, 0));
        if (n < 0) result = ReadFile::Failed;
        if (n <= 0) break;
    }
    if (result == ReadFile::Ok && out.size() > limit) result = ReadFile::TooLarge;
    return result;
}

}  // namespace

OwnedNode OwnedNodeOf(const QString& path) {
    struct stat st {};
    if (lstat(QFile::encodeName(path).constData(), &st) == 0) return OwnedOfStat(st);
    return errno == ENOENT ? OwnedNode::Missing : OwnedNode::Unreachable;
}

ReadFile ReadOwnedFile(const QString& path, qint64 limit, QByteArray& out) {
    out.clear();
    switch (OwnedNodeOf(path)) {
        case OwnedNode::Missing: return ReadFile::Missing;
        case OwnedNode::File: break;
        case OwnedNode::Unreachable: return ReadFile::Failed;
        default: return ReadFile::NotRegular;
    }
    const int fd = open(QFile::encodeName(path).constData(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadFile::Missing : errno == ELOOP ? ReadFile::NotRegular : ReadFile::Failed;
    struct stat st {};
    ReadFile result = ReadFile::Ok;
    if (fstat(fd, &st) != 0)
        result = ReadFile::Failed;
    else if (OwnedOfStat(st) != OwnedNode::File)
        result = ReadFile::NotRegular;
    else
        result = ReadFd(fd, limit, out);
    close(fd);
    if (result != ReadFile::Ok) out.clear();
    return result;
}

ReadFile ReadRegularFile(const QString& path, qint64 limit, QByteArray& out) {
    out.clear();
    switch (NodeKindOf(path)) {
        case NodeKind::Missing:
            return ReadFile::Missing;
        case NodeKind::Regular:
            break;
        case NodeKind::Unreachable:
            return ReadFile::Failed;
        default:
            return ReadFile::NotRegular;
    }
    const int fd =
        open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadFile::Missing : ReadFile::Failed;
    struct stat st {};
    ReadFile result = ReadFile::Ok;
    if (fstat(fd, &st) != 0) {
        result = ReadFile::Failed;
    } else if (!S_ISREG(st.st_mode)) {
        result = ReadFile::NotRegular;
    } else {
        result = ReadFd(fd, limit, out);
    }
    close(fd);
    if (result != ReadFile::Ok) out.clear();
    return result;
}

#endif

}  // namespace oriole
