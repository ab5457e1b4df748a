#pragma once
// SIGPIPE would end the program when the reader of a pipe or FIFO goes away.
// It is held back while a stream is written; one raised meanwhile is taken
// back, so the write fails with EPIPE instead.

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace oriole {

class SigPipeHeld {
public:
    SigPipeHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~SigPipeHeld() {
        const timespec now{};
        if (!m_wasPending) sigtimedwait(&m_pipe, nullptr, &now);
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigPipeHeld(const SigPipeHeld&) = delete;
    SigPipeHeld& operator=(const SigPipeHeld&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_old{};
    bool m_wasPending = false;
};

}  // namespace oriole
