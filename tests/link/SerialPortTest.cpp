// The serial backend's care for the ports it opens: which devices it may
// open at all (by the device number, against a sysfs tree of the test's
// own), that every port gets its settings back and its exclusive use
// released on every way out, and that the program's own terminal is never
// opened. (A port in use: tests/cli/CliEdgesTest.cpp.)
#include "link/SerialPorts.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <barrier>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

#include "link/Backends.h"
#include "link/LinkTestSupport.h"
#include "link/SerialPortsPrivate.h"
#include "link/TtySpeed.h"
#include "link/WriterLink.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

namespace fs = std::filesystem;

// A sysfs tree with the character devices the cases name: each entry links
// its subsystem and, through its device, a driver.
class FakeSysfs {
public:
    FakeSysfs() : m_root(m_dir.path().toStdString()) {}
    const fs::path& Root() const { return m_root; }

    void Add(unsigned ma, unsigned mi, const std::string& subsystem, const std::string& driver) {
        const std::string number = std::to_string(ma) + ":" + std::to_string(mi);
        const fs::path entry = m_root / "dev/char" / number;
        const fs::path device = m_root / "devices" / number;
        fs::create_directories(entry);
        fs::create_directories(device);
        fs::create_directories(m_root / "class" / subsystem);
        fs::create_directories(m_root / "bus/drivers" / driver);
        fs::create_symlink(m_root / "class" / subsystem, entry / "subsystem");
        fs::create_symlink(device, entry / "device");
        fs::create_symlink(m_root / "bus/drivers" / driver, device / "driver");
    }

private:
    QTemporaryDir m_dir;
    fs::path m_root;
};

TEST(SerialPorts, FilePortsNeedASerialDriverAndNoPortIsTheUsersTerminal) {
    FakeSysfs sys;
    sys.Add(188, 0, "tty", "ftdi_sio");      // /dev/ttyUSB0
    sys.Add(166, 0, "tty", "cdc_acm");       // /dev/ttyACM0
    sys.Add(4, 64, "tty", "serial8250");     // /dev/ttyS0
    sys.Add(188, 1, "tty", "usb-storage");   // a tty of no serial driver
    sys.Add(189, 0, "usb", "ftdi_sio");      // the converter's USB node: no tty
    sys.Add(188, 7, "tty", "ftdi_sio");      // serial, but this process's terminal
    const dev_t own[] = {makedev(188, 7)};
    using V = PortVerdict;
    const struct {
        unsigned ma, mi;
        V fromFile;
        V fromUser;
    } cases[] = {
        {188, 0, V::Allowed, V::Allowed},
        {166, 0, V::Allowed, V::Allowed},
        {4, 64, V::Allowed, V::Allowed},
        {188, 1, V::NoSerialDriver, V::Allowed},
        {189, 0, V::NoSerialDriver, V::Allowed},
        {1, 3, V::NoSerialDriver, V::Allowed},          // /dev/null
        {188, 7, V::OwnTerminal, V::OwnTerminal},
        {5, 0, V::OwnTerminal, V::OwnTerminal},          // /dev/tty
        {5, 1, V::Console, V::Allowed},                  // /dev/console
        {4, 1, V::Console, V::Allowed},                  // /dev/tty1
        {136, 3, V::PseudoTerminal, V::Allowed},         // /dev/pts/3
        {5, 2, V::PseudoTerminal, V::Allowed},           // /dev/ptmx
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.ma) + ":" + std::to_string(c.mi));
        const dev_t rdev = makedev(c.ma, c.mi);
        EXPECT_EQ(CheckSerialPort(rdev, PortOrigin::SettingsFile, sys.Root(), own), c.fromFile);
        EXPECT_EQ(CheckSerialPort(rdev, PortOrigin::User, sys.Root(), own), c.fromUser);
    }
}

// A pseudo-terminal pair whose slave starts with settings no box would use:
// line editing, echo, 9600 baud.
class PtyPair {
public:
    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        path = ptsname(master);
        slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (slave < 0 || tcgetattr(slave, &tio) != 0) return;
        tio.c_lflag |= ICANON | ECHO | ISIG;
        tio.c_iflag |= ICRNL | IXON;
        tio.c_oflag |= OPOST | ONLCR;
        cfsetspeed(&tio, B9600);
        tcsetattr(slave, TCSANOW, &tio);
        tcgetattr(slave, &before);
    }
    ~PtyPair() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }

    // The slave is as it was before, and free for others.
    void ExpectAsBefore() const {
        termios now{};
        ASSERT_EQ(tcgetattr(slave, &now), 0);
        // Field by field: the padding between them is anybody's.
        auto fields = [](const termios& t) {
            return std::tuple(t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag, t.c_line,
                              std::string(reinterpret_cast<const char*>(t.c_cc), sizeof t.c_cc));
        };
        EXPECT_EQ(fields(now), fields(before));
        EXPECT_EQ(TtyBaud(slave), 9600u);
        EXPECT_FALSE(Exclusive());
    }
    bool Exclusive() const {
        int exclusive = 0;
        EXPECT_EQ(ioctl(slave, TIOCGEXCL, &exclusive), 0);
        return exclusive != 0;
    }

    int master = -1;
    int slave = -1;
    std::string path;
    termios before{};
};

std::unique_ptr<IWriterDriver> Serial(const std::string& path) {
    std::string error;
    auto driver = CreateSerialDriver(path, error);
    EXPECT_TRUE(driver) << error;
    return driver;
}

TEST(SerialPorts, EveryWayOutGivesThePortBack) {
    const struct {
        const char* name;
        // Leaves the driver (opened by then) in whatever state the way out leaves it.
        std::function<void(std::unique_ptr<IWriterDriver>&, PtyPair&)> leave;
    } cases[] = {
        {"a whole operation's open and close",
         [](std::unique_ptr<IWriterDriver>& d, PtyPair&) {
             CLinkState state;
             TestOperationHost host(SystemClock());
             CWriterLink link(*d, state, host);
             ASSERT_TRUE(link.OpenLink());
             link.CloseLink();
         }},
        {"a configuration call that fails",
         [](std::unique_ptr<IWriterDriver>& d, PtyPair& pty) {
             ASSERT_EQ(d->OpenByDescription(kLinkDescription), kFtOk);
             ASSERT_EQ(d->SetBaudRate(38400), kFtOk);
             // Meanwhile a second program, root's too, finds the port in use.
             EXPECT_EQ(Serial(pty.path)->OpenByDescription(kLinkDescription), kLinkInUse);
             EXPECT_EQ(d->SetDataCharacteristics(9, 0, 0), kFtInvalidParameter);
             d->Close();
         }},
        {"a driver destroyed while open",
         [](std::unique_ptr<IWriterDriver>& d, PtyPair&) {
             ASSERT_EQ(d->OpenByDescription(kLinkDescription), kFtOk);
             ASSERT_EQ(d->SetBaudRate(38400), kFtOk);
             d.reset();
         }},
        {"a signal that ends the program",
         [](std::unique_ptr<IWriterDriver>& d, PtyPair& pty) {
             ASSERT_EQ(d->OpenByDescription(kLinkDescription), kFtOk);
             ASSERT_EQ(d->SetBaudRate(38400), kFtOk);
             EXPECT_TRUE(pty.Exclusive());
             RestoreOpenSerialPorts();  // what oriole-cli's handler does
             pty.ExpectAsBefore();
             d->Close();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair pty;
        ASSERT_GE(pty.slave, 0);
        auto driver = Serial(pty.path);
        c.leave(driver, pty);
        pty.ExpectAsBefore();
        // And the port opens again.
        auto again = Serial(pty.path);
        EXPECT_EQ(again->OpenByDescription(kLinkDescription), kFtOk);
        EXPECT_EQ(again->Close(), kFtOk);
    }
}

// The boxes of a production run open and close their ports on threads of
// their own, several times a second each. Every port remembered is put back
// with its own settings, never another port's, however the threads meet;
// a port forgotten is left alone; and no two ports ever share a slot.
TEST(SerialPorts, PortsRememberedFromManyThreadsAreEachPutBackWithTheirOwnSettings) {
    constexpr uint32_t kDirty = 115200;
    constexpr int kRounds = 200;
    struct Port {
        PtyPair pty;
        uint32_t baud = 0;
        TtySettings saved{};
    };
    std::vector<Port> ports(kOpenPortSlots + 1);
    for (size_t i = 0; i < ports.size(); ++i) {
        Port& p = ports[i];
        ASSERT_GE(p.pty.slave, 0);
        p.baud = 1200 * static_cast<uint32_t>(i + 1);
        ASSERT_TRUE(SetTtyBaud(p.pty.slave, p.baud));
        ASSERT_TRUE(SaveTtySettings(p.pty.slave, p.saved));
    }
    auto baudOf = [&](const Port& p) { return TtyBaud(p.pty.slave); };
    auto runThreads = [&](size_t count, const std::function<void(Port&)>& body) {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < count; ++i) threads.emplace_back([&, i] { body(ports[i]); });
        for (std::thread& t : threads) t.join();
    };

    // As many threads as slots, each remembering, restoring everything and
    // forgetting its own port over and over.
    std::atomic<int> wrong{0};
    runThreads(kOpenPortSlots, [&](Port& p) {
        for (int round = 0; round < kRounds; ++round) {
            SetTtyBaud(p.pty.slave, kDirty);
            RememberOpenPort(p.pty.slave, p.saved);
            RestoreOpenSerialPorts();
            // Another thread may be putting this port back just now; once
            // it is forgotten, nobody is.
            ForgetOpenPort(p.pty.slave);
            if (baudOf(p) != p.baud) wrong.fetch_add(1);
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    // Every slot is free again: nothing is put back any more.
    for (Port& p : ports) ASSERT_TRUE(SetTtyBaud(p.pty.slave, kDirty));
    RestoreOpenSerialPorts();
    for (const Port& p : ports) EXPECT_EQ(baudOf(p), kDirty);

    // One thread more than slots, all at once: every slot holds one port,
    // the one left over is not put back.
    std::barrier start(static_cast<std::ptrdiff_t>(ports.size()));
    runThreads(ports.size(), [&](Port& p) {
        start.arrive_and_wait();
        RememberOpenPort(p.pty.slave, p.saved);
    });
    RestoreOpenSerialPorts();
    int restored = 0;
    for (const Port& p : ports) {
        const uint32_t baud = baudOf(p);
        EXPECT_TRUE(baud == p.baud || baud == kDirty) << baud;
        restored += baud == p.baud;
        ForgetOpenPort(p.pty.slave);
    }
    EXPECT_EQ(restored, kOpenPortSlots);
}

// The controlling terminal is refused by its path and by /dev/tty: a child
// in a session of its own takes a pseudo-terminal as its terminal and tries.
TEST(SerialPorts, TheControllingTerminalIsNeverOpened) {
    PtyPair pty;
    ASSERT_GE(pty.slave, 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setsid() < 0 || ioctl(pty.slave, TIOCSCTTY, 0) != 0) _exit(10);
        int failures = 0;
        for (const std::string& path : {pty.path, std::string("/dev/tty")}) {
            std::string error;
            auto driver = CreateSerialDriver(path, error);
            if (!driver || driver->OpenByDescription(kLinkDescription) != kLinkPortRefused) ++failures;
        }
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    pty.ExpectAsBefore();
}

}  // namespace
}  // namespace oriole::test
