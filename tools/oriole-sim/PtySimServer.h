#pragma once
// The simulated writer box served on a pseudo-terminal: whatever opens the
// terminal's path talks to the box as to a serial port. oriole-sim runs one
// in the foreground; tests run one on a thread of their own. When the last
// client has closed the terminal, also one killed before it could clean up,
// the terminal is made free and raw again and nothing of the last client's
// traffic is left for the next one.

#include <termios.h>

#include <atomic>
#include <mutex>
#include <string>

#include "link/sim/SimBox.h"

namespace oriole::sim {

class CPtySimServer {
public:
    CPtySimServer() = default;
    ~CPtySimServer();
    CPtySimServer(const CPtySimServer&) = delete;
    CPtySimServer& operator=(const CPtySimServer&) = delete;

    // Creates the terminal and the box (on the system clock); false with a
    // reason when the system gives no pseudo-terminal.
    [[nodiscard]] bool Start(const SimConfig& config, std::string& error);

    // The path a client opens, for example /dev/pts/3.
    const std::string& Path() const { return m_path; }

    // Passes bytes both ways until Stop() is called; waits in poll(), never
    // spinning. Returns false if the terminal fails.
    bool Serve();

    // Makes Serve() return; safe from another thread and from a signal
    // handler.
    void Stop();

    // Puts bytes in the terminal for the next client to read before it
    // sends anything, as line noise or the rest of an earlier client's
    // exchange would be; returns once the terminal holds them, false if it
    // has not taken them within a second.
    bool PutStrayBytes(const std::string& bytes);

    // Runs f on the box while Serve() is kept from touching it.
    template <typename F>
    auto WithBox(F f) {
        std::lock_guard lock(m_mutex);
        return f(*m_box);
    }

private:
    bool PassToBox();
    bool PassToHost();
    void CountClients();
    void ClientsGone();

    int m_master = -1;
    int m_slave = -1;        // held open so the terminal survives its clients
    int m_stopPipe[2] = {-1, -1};
    int m_watch = -1;        // inotify: clients opening and closing the terminal
    int m_clients = 0;
    struct termios m_raw {};  // the terminal's settings between clients
    std::string m_path;
    std::string m_pending;   // box bytes the terminal has not taken yet
    std::unique_ptr<CSimBox> m_box;
    std::mutex m_mutex;
};

}  // namespace oriole::sim
