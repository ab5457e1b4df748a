#include "PtySimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "link/Requests.h"
#include "link/TtySpeed.h"

namespace oriole::sim {

// A terminal carries no latency request: the box keeps the one the host
// asks for by default.
static_assert(kDefaultSimLatencyMs == kLatencyTable[0]);

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

CPtySimServer::~CPtySimServer() {
    CloseFd(m_watch);
    CloseFd(m_master);
    CloseFd(m_slave);
    CloseFd(m_stopPipe[0]);
    CloseFd(m_stopPipe[1]);
}

bool CPtySimServer::Start(const SimConfig& config, std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = "no pseudo-terminal available";
        return false;
    }
    const char* name = ptsname(m_master);
    if (name == nullptr) {
        error = "pseudo-terminal has no name";
        return false;
    }
    m_path = name;
    m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0) {
        error = "cannot open " + m_path;
        return false;
    }
    cfmakeraw(&tio);  // no echo, no line editing until a client sets its own
    tcsetattr(m_slave, TCSANOW, &tio);
    m_raw = tio;
    // Our own opening of the terminal came before the watch: every event is
    // a client's.
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch < 0 ||
        inotify_add_watch(m_watch, m_path.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = "cannot watch " + m_path;
        return false;
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (pipe(m_stopPipe) != 0) {
        error = "no pipe";
        return false;
    }
    fcntl(m_stopPipe[1], F_SETFL, fcntl(m_stopPipe[1], F_GETFL) | O_NONBLOCK);
    m_box = std::make_unique<CSimBox>(config, SystemClock());
    return true;
}

void CPtySimServer::Stop() {
    if (m_stopPipe[1] < 0) return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_stopPipe[1], &byte, 1);
}

bool CPtySimServer::PutStrayBytes(const std::string& bytes) {
    if (::write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return false;
    // The terminal passes what its master side is given on a little later.
    for (int pass = 0; pass < 100; ++pass) {
        int waiting = 0;
        if (ioctl(m_slave, FIONREAD, &waiting) != 0) return false;
        if (waiting >= static_cast<int>(bytes.size())) return true;
        poll(nullptr, 0, 10);
    }
    return false;
}

bool CPtySimServer::PassToBox() {
    uint8_t buffer[4096];
    while (true) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            std::lock_guard lock(m_mutex);
            // The client's line settings are the box's: a pseudo-terminal
            // carries the speed without keeping to it, the timing model does.
            if (const uint32_t baud = TtyBaud(m_slave)) m_box->SetBaud(baud);
            // No driver calls come through a terminal to move the tray on.
            m_box->FollowTray();
            m_box->HostWrite({buffer, static_cast<size_t>(n)});
            continue;
        }
        if (n == 0 || errno == EAGAIN || errno == EINTR) return true;
        return false;
    }
}

bool CPtySimServer::PassToHost() {
    {
        std::lock_guard lock(m_mutex);
        uint8_t buffer[4096];
        size_t n;
        while ((n = m_box->HostRead(buffer)) > 0) m_pending.append(reinterpret_cast<char*>(buffer), n);
    }
    while (!m_pending.empty()) {
        const ssize_t n = ::write(m_master, m_pending.data(), m_pending.size());
        if (n > 0) {
            m_pending.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
        return false;
    }
    return true;
}

void CPtySimServer::CountClients() {
    alignas(inotify_event) char buffer[4096];
    bool closed = false;
    ssize_t n;
    while ((n = ::read(m_watch, buffer, sizeof buffer)) > 0) {
        for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len) {
            const uint32_t mask = reinterpret_cast<inotify_event*>(p)->mask;
            if (mask & IN_OPEN) ++m_clients;
            if (mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                m_clients = std::max(0, m_clients - 1);
                closed = true;
            }
        }
    }
    if (closed && m_clients == 0) ClientsGone();
}

// A client that ends normally gives the terminal back itself; one that was
// killed leaves it locked (TIOCEXCL: every later opening by a normal user
// fails), in its settings, and with the rest of a reply on its way.
void CPtySimServer::ClientsGone() {
    std::lock_guard lock(m_mutex);
    m_box->DropOutgoing();
    m_pending.clear();
    tcflush(m_slave, TCIOFLUSH);
    tcsetattr(m_slave, TCSANOW, &m_raw);
    ioctl(m_slave, TIOCNXCL);
}

bool CPtySimServer::Serve() {
    while (true) {
        // To the nanosecond: a wait rounded up to whole milliseconds made
        // every reply late by up to one, some thousand times a chip.
        std::optional<timespec> timeout;
        {
            std::lock_guard lock(m_mutex);
            if (const auto next = m_box->NextDelivery()) {
                const int64_t wait = std::max<int64_t>(0, (*next - m_box->Clock().Now()).count());
                timeout = timespec{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
            }
        }
        pollfd fds[3] = {{m_master, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}, {m_watch, POLLIN, 0}};
        if (!m_pending.empty()) fds[0].events |= POLLOUT;
        const int ready = ppoll(fds, 3, timeout ? &*timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) return false;
        if (fds[1].revents & POLLIN) return true;
        if (fds[2].revents & POLLIN) CountClients();
        if ((fds[0].revents & POLLIN) && !PassToBox()) return false;
        if (!PassToHost()) return false;
    }
}

}  // namespace oriole::sim
