#pragma once
// What a path names on disk, asked before any of the program's files is
// opened. Every reader and writer of files goes through NodeKindOf: a device
// node is never opened in place of a file (opening some of them acts: a
// watchdog arms, a tape rewinds), a FIFO is never opened where that could
// block, and a save replaces nothing but a regular file.

#include <QByteArray>
#include <QString>
#include <cstdint>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

namespace oriole {

enum class NodeKind : uint8_t {
    Missing,  // nothing there; also the end of a dangling symbolic link
    Regular,
    Directory,
    CharDevice,  // terminals, /dev/null, serial ports
    BlockDevice,
    Fifo,
    Socket,
    Unreachable,  // cannot be looked at: a loop of links, a folder we may not search
};

// The kind of node at `path` once symbolic links are followed.
[[nodiscard]] NodeKind NodeKindOf(const QString& path);

// Terminals, pipes and character devices: what can be written in place but
// never replaced.
[[nodiscard]] inline bool IsStream(NodeKind kind) {
    return kind == NodeKind::CharDevice || kind == NodeKind::Fifo;
}

// Where the program's output may go, one rule for every writer of it (saved
// images and files, the wire trace, the doctor's report, the terminal's
// save): a regular file or a new one, or, written in place, a FIFO, a
// terminal or /dev/null. Any other device node is refused unopened (opening
// one may act: a watchdog arms, a modem hangs up, a tape rewinds), and so
// are folders, block devices and sockets.
enum class OutputTarget : uint8_t {
    File,         // a regular file, or nothing there yet
    Stream,       // a FIFO, a terminal, /dev/null
    Device,       // another character device
    NotAFile,     // a folder, a block device, a socket
    Unreachable,  // cannot be looked at
};
// `kind`, when given, is what NodeKindOf says of the path.
[[nodiscard]] OutputTarget OutputTargetOf(const QString& path, NodeKind* kind = nullptr);

#if !defined(_WIN32)
// A character device output may go to: /dev/null or a terminal (a virtual
// console, a serial line's tty, a pseudo-terminal). Known by its device
// number, so nothing is opened to find out.
[[nodiscard]] bool IsNullOrTerminal(dev_t device);
#endif

enum class ReadFile : uint8_t { Ok, Missing, NotRegular, TooLarge, Failed };

// The whole of a regular file of at most `limit` bytes. The file is opened
// only after NodeKindOf found a regular file, and without blocking, so a
// node swapped in between is refused too; nothing else is ever opened.
[[nodiscard]] ReadFile ReadRegularFile(const QString& path, qint64 limit, QByteArray& out);

// A file the program keeps as its own (a production run's counter, list
// and journal) is looked at without following links: only a regular file
// with one name, or nothing, may be read, replaced or removed. A link, a
// second name made elsewhere or any other node is someone else's.
enum class OwnedNode : uint8_t {
    Missing,
    File,        // a regular file with this one name
    Link,        // a symbolic link (dangling or not)
    HardLinked,  // a regular file with further names
    NotRegular,  // a folder, device, FIFO, socket
    Unreachable,
};
[[nodiscard]] OwnedNode OwnedNodeOf(const QString& path);

// The whole of an owned file of at most `limit` bytes: opened without
// following a link and checked again once open. NotRegular also for a link
// or a file with further names.
[[nodiscard]] ReadFile ReadOwnedFile(const QString& path, qint64 limit, QByteArray& out);

}  // namespace oriole
