#include "base/FileSync.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#else
#include <io.h>
#endif

#include <cerrno>
#include <utility>

namespace oriole {

namespace {

int RealSync(int fd, SyncKind kind) {
#if defined(_WIN32)
    (void)kind;
    return _commit(fd);
#else
    return kind == SyncKind::Data ? fdatasync(fd) : fsync(fd);
#endif
}

std::ptrdiff_t RealWrite(int fd, const void* data, size_t size) {
#if defined(_WIN32)
    return _write(fd, data, static_cast<unsigned>(size));
#else
    return ::write(fd, data, size);
#endif
}

// Set only while no other thread syncs (CSyncHookScope's promise).
CSyncHookScope::Hook* g_hook = nullptr;
// Set only while no other thread writes (CWriteHookScope's promise).
CWriteHookScope::Hook* g_writeHook = nullptr;

}  // namespace

int SyncFd(int fd, SyncKind kind) {
    if (g_hook != nullptr) return (*g_hook)(fd, kind, &RealSync);
    return RealSync(fd, kind);
}

int SyncFolder(const char* path) {
#if defined(_WIN32)
    (void)path;
    return 0;  // a folder cannot be opened for syncing there; NTFS logs its names
#else
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int result = SyncFd(fd, SyncKind::Folder);
    const int saved = errno;
    close(fd);
    errno = saved;
    return result;
#endif
}

CSyncHookScope::CSyncHookScope(Hook hook) { g_hook = new Hook(std::move(hook)); }

CSyncHookScope::~CSyncHookScope() {
    delete std::exchange(g_hook, nullptr);
}

std::ptrdiff_t WriteFd(int fd, const void* data, size_t size) {
    if (g_writeHook != nullptr) return (*g_writeHook)(fd, data, size, &RealWrite);
    return RealWrite(fd, data, size);
}

CWriteHookScope::CWriteHookScope(Hook hook) { g_writeHook = new Hook(std::move(hook)); }

CWriteHookScope::~CWriteHookScope() {
    delete std::exchange(g_writeHook, nullptr);
}

}  // namespace oriole
