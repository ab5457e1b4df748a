#include "CliInterrupt.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "link/SerialPorts.h"
#include "res/Texts.h"

namespace oriole::cli {

namespace {

// A pump this recent means an operation is waiting and will see the cancel;
// the pauses between its passes are far shorter (100 ms at most).
constexpr int64_t kPumpFreshNs = 250'000'000;

// Only what a signal handler may touch.
volatile sig_atomic_t g_cancelPending = 0;
volatile sig_atomic_t g_cancelTaken = 0;  // once a cancel was asked for, Ctrl-C ends the tool
volatile sig_atomic_t g_erase = 0;        // standard error is a terminal: clear the progress bar
std::atomic<int64_t> g_lastPump{INT64_MIN / 2};
static_assert(std::atomic<int64_t>::is_always_lock_free);

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

void Write(const char* text, size_t size) {
    while (size > 0) {
        const ssize_t n = write(STDERR_FILENO, text, size);
        if (n <= 0) return;
        text += n;
        size -= static_cast<size_t>(n);
    }
}

[[noreturn]] void EndNow(int sig) {
    RestoreOpenSerialPorts();
    if (g_erase) Write("\r\033[K", 4);
    Write(text::kInterrupted, sizeof text::kInterrupted - 1);
    Write("\n", 1);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);  // not reached
}

void OnSignal(int sig) {
    const int savedErrno = errno;
    if (sig == SIGINT && !g_cancelTaken && NowNs() - g_lastPump.load() < kPumpFreshNs) {
        g_cancelTaken = 1;
        g_cancelPending = 1;
        errno = savedErrno;
        return;
    }
    EndNow(sig);
}

}  // namespace

void InstallInterruptHandlers() {
    g_erase = isatty(STDERR_FILENO) ? 1 : 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void NotePump() { g_lastPump.store(NowNs()); }

bool TakeCancel() {
    if (g_cancelPending == 0) return false;
    g_cancelPending = 0;
    return true;
}

}  // namespace oriole::cli
