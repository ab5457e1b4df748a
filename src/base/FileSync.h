#pragma once
// The calls that carry written bytes, and the names of files just made or
// replaced, to the disk. Every writer that promises its data survive a power
// cut goes through here (the production log's lines, the counter, the list
// and the chip journal, the atomic save), so a test can count the real calls
// or make them fail without a failing disk. The writes of lines that must
// land whole or not at all (the log, the event stream, the wire trace) go
// through WriteFd, so a test can fill the disk under them.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace oriole {

enum class SyncKind : uint8_t {
    Data,    // fdatasync: a file's bytes (and its size)
    File,    // fsync: a file's bytes and all of its metadata
    Folder,  // fsync of a folder: the names just made, replaced or removed in it
};

// Syncs the open descriptor `fd`: 0, or -1 with errno set.
[[nodiscard]] int SyncFd(int fd, SyncKind kind);

// Opens the folder `path` and syncs it: 0, or -1 with errno set.
[[nodiscard]] int SyncFolder(const char* path);

// For tests: while one lives, every SyncFd goes to its function instead,
// which may call `real` (the system's call) or fail with an errno of its own.
// One at a time; made and ended while no other thread syncs.
class CSyncHookScope {
public:
    using Real = int (*)(int fd, SyncKind kind);
    using Hook = std::function<int(int fd, SyncKind kind, Real real)>;
    explicit CSyncHookScope(Hook hook);
    ~CSyncHookScope();
    CSyncHookScope(const CSyncHookScope&) = delete;
    CSyncHookScope& operator=(const CSyncHookScope&) = delete;
};

// Writes `size` bytes at `data` to `fd` with one write: the count written
// (short when the disk took only part), or -1 with errno set.
[[nodiscard]] std::ptrdiff_t WriteFd(int fd, const void* data, size_t size);

// For tests: while one lives, every WriteFd goes to its function instead,
// which may call `real` (the system's call, with as many bytes as it likes)
// or fail with an errno of its own, as a full disk does (ENOSPC). One at a
// time; made and ended while no other thread writes.
class CWriteHookScope {
public:
    using Real = std::ptrdiff_t (*)(int fd, const void* data, size_t size);
    using Hook = std::function<std::ptrdiff_t(int fd, const void* data, size_t size, Real real)>;
    explicit CWriteHookScope(Hook hook);
    ~CWriteHookScope();
    CWriteHookScope(const CWriteHookScope&) = delete;
    CWriteHookScope& operator=(const CWriteHookScope&) = delete;
};

}  // namespace oriole
