// Choosing a backend from a writer spec string, and the backends that can
// only fail here failing cleanly with the not-recognised message; what a
// settings file may name, and the serial port such a spec opens.
#include "link/WriterSpec.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/Backends.h"
#include "link/LinkTestSupport.h"
#include "link/WriterLink.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

TEST(WriterSpec, TableListsEveryBackendOnce) {
    std::vector<std::string_view> names;
    for (const auto& b : WriterBackends()) names.push_back(b.name);
    EXPECT_EQ(names, (std::vector<std::string_view>{"auto", "d2xx", "ftdi", "serial", "sim"}));
}

TEST(WriterSpec, GoodAndBadSpecs) {
    const struct {
        const char* spec;
        bool made;
    } cases[] = {
        {"auto", true},       {"d2xx", true},          {"d2xx:/opt/lib/libftd2xx.so", true},
        {"ftdi", true},       {"serial", true},        {"serial:/dev/ttyUSB0", true},
        {"sim", true},        {"sim:ATmega8", true},   {"sim:ATmega8,fast,mute=D", true},
        {"sim,fast", true},   {"", false},             {"usb", false},
        {"auto:x", false},    {"ftdi:x", false},       {"sim:ATmega99", false},
        {"sim:ATmega8,bogus", false}, {"SIM", false},
        {"ftdi,sn=A1B2", true},  {"ftdi,sn=", false},     {"ftdi,sn=A,sn=B", false},
        {"d2xx,sn=A1B2", true},  {"d2xx:/opt/libftd2xx.so,sn=A1B2", true},
        {"serial,sn=A1B2", true}, {"serial:/dev/ttyUSB0,sn=A1B2", false},
    };
    for (const auto& c : cases) {
        std::string error;
        auto driver = CreateWriterDriver(c.spec, error);
        EXPECT_EQ(driver != nullptr, c.made) << c.spec;
        EXPECT_EQ(error.empty(), c.made) << c.spec << ": " << error;
    }
}

TEST(WriterSpec, SimSpecGivesAWorkingBox) {
    std::string error;
    auto driver = CreateWriterDriver("sim:ATtiny13,fast", error);
    ASSERT_TRUE(driver);
    CLinkState state;
    TestOperationHost host(SystemClock());
    CWriterLink link(*driver, state, host);
    TestSelector selector(0, true);
    ASSERT_TRUE(link.OpenLink());
    EXPECT_TRUE(link.BeginProgramming(selector, true));
    EXPECT_EQ(selector.device, FindDeviceByName("ATtiny13"));
}

// D2XX opens a box by its serial number when one is given.
TEST(WriterSpec, D2xxSerialNumberPicksTheBox) {
    for (const auto& [serial, opens] : {std::pair{"FAKE0001", true}, std::pair{"OTHER001", false}}) {
        std::string error;
        auto driver = CreateWriterDriver(std::string("d2xx:") + ORIOLE_FAKE_FTD2XX + ",sn=" + serial, error);
        ASSERT_TRUE(driver) << error;
        CLinkState state;
        TestOperationHost host(SystemClock());
        CWriterLink link(*driver, state, host);
        EXPECT_EQ(link.OpenLink(), opens) << serial;
        if (!opens) {
            EXPECT_EQ(host.Texts(), std::vector<std::string>{text::kWriterNotFound});
        }
    }
}

// Without a box or its library these can only report that nothing was
// found, once, and make no further call.
TEST(WriterSpec, BackendsWithoutABoxAreNotRecognised) {
    for (const char* spec : {"ftdi", "d2xx:/nonexistent/libftd2xx.so", "serial:/nonexistent/tty", "auto"}) {
        SCOPED_TRACE(spec);
        std::string error;
        auto driver = CreateWriterDriver(spec, error);
        ASSERT_TRUE(driver);
        CLinkState state;
        TestOperationHost host(SystemClock());
        CWriterLink link(*driver, state, host);
        EXPECT_FALSE(link.OpenLink());
        EXPECT_EQ(host.Texts(), std::vector<std::string>{text::kWriterNotFound});
        EXPECT_FALSE(link.IsOpen());
    }
}

TEST(WriterSpec, WhatASettingsFileMayName) {
    using V = FileSpecVerdict;
    const struct {
        const char* spec;
        V verdict;
    } cases[] = {
        {"auto", V::Allowed},
        {"ftdi", V::Allowed},
        {"ftdi,sn=A12345", V::Allowed},
        {"d2xx", V::Allowed},
        {"d2xx,sn=A12345", V::Allowed},
        {"d2xx:sn=A1,sn=B2", V::Allowed},
        {"serial", V::Allowed},
        {"serial,sn=A1", V::Allowed},
        {"serial:/dev/ttyUSB0", V::Allowed},
        {"serial:/dev/serial/by-id/usb-ORIOLE-if00-port0,sn=A1", V::Allowed},
        {"sim:ATmega8,fast,mute=D", V::Allowed},
        {"d2xx:/tmp/evil/libftd2xx.so", V::NamesLibrary},
        {"d2xx:libftd2xx.so", V::NamesLibrary},
        {"d2xx:./libftd2xx.so", V::NamesLibrary},
        {"d2xx,sn=A1,/tmp/evil.so", V::NamesLibrary},
        {"d2xx:C:\\Users\\x\\FTD2XX.DLL", V::NamesLibrary},
        {"serial:/tmp/fifo", V::NotTerminalPath},
        {"serial:dev/ttyUSB0", V::NotTerminalPath},
        {"serial:/dev/../tmp/x", V::NotTerminalPath},
        {"serial:/dev/pts/..", V::NotTerminalPath},
        {"serial:/dev/tty", V::NotTerminalPath},
        {"serial:/dev/tty1", V::NotTerminalPath},
        {"serial:/dev/console", V::NotTerminalPath},
        {"serial:/dev/pts/3", V::NotTerminalPath},
        {"serial:/dev/ptmx", V::NotTerminalPath},
        {"serial:/dev/stdout", V::NotTerminalPath},
        {"serial:/dev/fd/0", V::NotTerminalPath},
        {"serial:/dev/ttyS0", V::Allowed},
        {"serial:/dev/ttyACM0,sn=A1", V::Allowed},
        {"serial,sn=A1,/dev/ttyUSB0", V::NotAllowed},
        {"d2xx,sn=/tmp/evil", V::NamesLibrary},
        {"d2xx,sn=../x", V::NamesLibrary},
        {"ftdi,sn=", V::NotAllowed},
        {"ftdi:/dev/bus/usb/001/002", V::NotAllowed},
        {"auto:/tmp/x", V::NotAllowed},
        {"usb", V::NotAllowed},
        {"", V::NotAllowed},
        {"sim\n", V::NotAllowed},
        {"serial:/dev/ttyUSB0\x01", V::NotAllowed},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckFileWriterSpec(c.spec), c.verdict) << c.spec;
}

// The fake D2XX library appends a line to this file each time it is loaded
// into a process.
class LibraryMark {
public:
    LibraryMark() {
        m_path = m_dir.filePath(QStringLiteral("mark")).toStdString();
        setenv("ORIOLE_FAKE_FTD2XX_MARK", m_path.c_str(), 1);
    }
    ~LibraryMark() { unsetenv("ORIOLE_FAKE_FTD2XX_MARK"); }
    bool Left() const { return QFile::exists(QString::fromStdString(m_path)); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};

// The user's --writer loads the library it names; the same spec from a
// file loads nothing, however it is spelt.
TEST(WriterSpec, LibraryPathLoadsOnlyForTheUser) {
    const std::string fake = ORIOLE_FAKE_FTD2XX;
    if (dlopen(fake.c_str(), RTLD_LAZY | RTLD_NOLOAD))
        GTEST_SKIP()
            << "an earlier test of this process loaded the library; CTest runs this one alone";
    for (const std::string& spec : {"d2xx:" + fake, "d2xx," + fake, "d2xx:sn=A1," + fake}) {
        LibraryMark mark;
        std::string error;
        EXPECT_FALSE(CreateWriterDriver(spec, error, WriterSpecSource::SettingsFile)) << spec;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(mark.Left()) << spec;
    }
    // The library stays loaded once loaded, so this comes last.
    LibraryMark mark;
    std::string error;
    auto driver = CreateWriterDriver("d2xx:" + fake, error, WriterSpecSource::User);
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->OpenByDescription("ORIOLE Ver.1.00"), kFtOk);
    EXPECT_EQ(driver->Close(), kFtOk);
    EXPECT_TRUE(mark.Left());
}

// The inotify events of `path` while `action` runs.
uint32_t InotifyEvents(const QString& path, uint32_t mask, const std::function<void()>& action) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, path.toLocal8Bit().constData(), mask) < 0) {
        ADD_FAILURE() << "inotify on " << path.toStdString();
        return 0;
    }
    action();
    alignas(inotify_event) char buffer[4096];
    uint32_t seen = 0;
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        for (char* p = buffer; p < buffer + n;
             p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
            seen |= reinterpret_cast<inotify_event*>(p)->mask;
    close(fd);
    return seen;
}

// What the serial backend opens, by who named the port. A FIFO of our own
// stands for a device that acts on being opened (a watchdog arms): the
// port for a file's spec looks at it and never opens it; the user's is
// opened, found to be no terminal, and closed without a byte written. A
// pseudo-terminal is the user's to name (oriole-sim serves one), never a
// file's; /dev/tty, the user's own terminal, is nobody's.
TEST(WriterSpec, SerialPortFromAFileIsOpenedOnlyWhenItIsASerialDevice) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString pty = QString::fromLocal8Bit(ptsname(master));
    const struct {
        QString path;
        bool fromFile;
        DriverStatus status;
        bool opened;
    } cases[] = {
        {fifo, true, kFtDeviceNotFound, false},
        {fifo, false, kFtDeviceNotFound, true},
        {QStringLiteral("/dev/null"), true, kFtDeviceNotFound, false},
        {pty, true, kLinkPortRefused, false},
        {pty, false, kFtOk, true},
        {QStringLiteral("/dev/tty"), true, kLinkPortRefused, false},
        {QStringLiteral("/dev/tty"), false, kLinkPortRefused, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + (c.fromFile ? " from a file" : " from the user"));
        std::string error;
        const std::string path = c.path.toStdString();
        auto driver =
            c.fromFile ? CreateSettingsSerialDriver(path, error) : CreateSerialDriver(path, error);
        ASSERT_TRUE(driver);
        DriverStatus status = kFtOk;
        const uint32_t seen = InotifyEvents(c.path, IN_OPEN | IN_MODIFY, [&] {
            status = driver->OpenByDescription("ORIOLE Ver.1.00");
        });
        EXPECT_EQ(status, c.status);
        EXPECT_EQ((seen & IN_OPEN) != 0, c.opened);
        EXPECT_EQ(seen & IN_MODIFY, 0u);
        driver->Close();
    }
    close(master);
}

// Without a path the library is looked for only where the system keeps its
// libraries: copies of a working one in the current folder are not found.
TEST(WriterSpec, D2xxLibraryIsNotTakenFromTheCurrentFolder) {
    if (D2xxLibraryLoads({})) GTEST_SKIP() << "a D2XX library is installed on this machine";
    QTemporaryDir dir;
    for (const char* name : {"libftd2xx.so", "ftd2xx", "ftd2xx.so", "FTD2XX.DLL"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORIOLE_FAKE_FTD2XX),
                                dir.filePath(QString::fromLatin1(name))));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    LibraryMark mark;
    const bool loads = D2xxLibraryLoads({});
    QDir::setCurrent(before);
    EXPECT_FALSE(loads);
    EXPECT_FALSE(mark.Left());
}

}  // namespace
}  // namespace oriole::test
