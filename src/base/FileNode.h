#pragma once
// What a path names on disk, asked before any of the program's files is
// opened. Every reader and writer of files goes through NodeKindOf: a device
// node is never opened in place of a file (opening some of them acts: a
// watchdog arms, a tape rewinds), a FIFO is never opened where that could
// block, and a save replaces nothing but a regular file.

#include <QByteArray>
#include <QString>
#include <cstdint>

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

enum class ReadFile : uint8_t { Ok, Missing, NotRegular, TooLarge, Failed };

// The whole of a regular file of at most `limit` bytes. The file is opened
// only after NodeKindOf found a regular file, and without blocking, so a
// node swapped in between is refused too; nothing else is ever opened.
[[nodiscard]] ReadFile ReadRegularFile(const QString& path, qint64 limit, QByteArray& out);

}  // namespace oriole
