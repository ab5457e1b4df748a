// oriole-cli as a child process of the testbed: umockdev hands the child's
// ioctls to the chips emulated here, so the unmodified program runs over
// libftdi1 and libusb as it would on a real bus.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <thread>

#include "support/CliRun.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

// The testbed and the preload travel to the child in the environment.
void Start(QProcess& p, const QStringList& args) {
    p.start(QStringLiteral(ORIOLE_CLI_PATH), args);
}

UsbBoxSetup Box(const char* serial, const char* device = "ATmega328P") {
    UsbBoxSetup setup;
    setup.serial = serial;
    setup.simOptions = std::string(device) + ",fast";
    return setup;
}

TEST(UsbCli, WritersListsEveryBoxOneLineEach) {
    CUsbTestbed bed;
    {
        const CliRun none = RunCli({"writers"});
        EXPECT_EQ(none.status, 0) << qPrintable(none.err);
        EXPECT_FALSE(none.out.contains("ftdi\t"));
    }
    bed.Plug(Box("ORB0000A"));
    bed.Plug(Box("ORB0000B"));
    bed.Plug(Box("ORB\t\n0C"));  // a rewritten EEPROM cannot split a line
    const CliRun r = RunCli({"writers"});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains("ftdi\tORB0000A\tORIOLE Ver.1.00\tbus 001 device 002\n"))
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains("ftdi\tORB0000B\tORIOLE Ver.1.00\tbus 001 device 003\n"))
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.contains("ftdi\tORB??0C\tORIOLE Ver.1.00\tbus 001 device 004\n"))
        << qPrintable(r.out);
}

// Two programs at once, each on the box its serial number names.
TEST(UsbCli, TwoProcessesProgramTwoBoxesAtOnce) {
    CUsbTestbed bed;
    CEmulatedFtdi& a = bed.Plug(Box("ORB0000A"));
    CEmulatedFtdi& b = bed.Plug(Box("ORB0000B", "ATmega8"));
    QTemporaryDir dir;
    const QString progA = WriteFile(dir, "a.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    const QString progB = WriteFile(dir, "b.hex", ":04000000A1A2A3A472\r\n:00000001FF\r\n");
    QProcess pa, pb;
    Start(pa, {"--writer=ftdi,sn=ORB0000A", "--usb-timing", "0", "--yes", "erase", "write-flash",
               progA, "--verify"});
    // The second program starts once the first has its box open. Started at
    // the same instant, one of the two libusb_init() calls fails now and then
    // under the emulation ("failed to enable the udev monitor": umockdev's
    // stand-in for the udev netlink socket), which real udev does not do.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline && pa.state() != QProcess::NotRunning) {
        const std::vector<std::string> chipLog = a.ChipLog();
        if (std::find(chipLog.begin(), chipLog.end(), "reset") != chipLog.end()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Start(pb, {"--writer=ftdi,sn=ORB0000B", "--usb-timing", "0", "--yes", "erase", "write-flash",
               progB, "--verify"});
    const CliRun ra = Finish(pa);
    const CliRun rb = Finish(pb);
    const auto log = [](CEmulatedFtdi& chip) {
        std::string text;
        for (const std::string& line : chip.ChipLog()) text += line + '\n';
        return text;
    };
    EXPECT_EQ(ra.status, 0) << qPrintable(ra.err) << log(a);
    EXPECT_EQ(rb.status, 0) << qPrintable(rb.err) << log(b);
    const auto head = [](CEmulatedFtdi& chip) {
        return chip.WithBox([](sim::CSimBox& box) {
            const auto& f = box.Target().Flash();
            return std::vector<uint8_t>(f.begin(), f.begin() + 5);
        });
    };
    EXPECT_EQ(head(a), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0xFF}));
    EXPECT_EQ(head(b), (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4, 0xFF}));
}

// --wait: the box is plugged in after the program started.
TEST(UsbCli, WaitTakesABoxPluggedInLate) {
    CUsbTestbed bed;
    QProcess p;
    Start(p, {"--writer=ftdi", "--wait", "20", "detect"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    bed.Plug(Box("ORB0000A", "ATtiny13"));
    const CliRun r = Finish(p);
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains("ATtiny13")) << qPrintable(r.out);
}

TEST(UsbCli, WithoutWaitAMissingBoxIsNotRecognised) {
    CUsbTestbed bed;
    bed.Plug(Box("ORB0000A"));
    const CliRun r = RunCli({"--writer=ftdi,sn=NOSUCHSN", "detect"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("AVRライタが認識できません")))
        << qPrintable(r.err);
}

}  // namespace
}  // namespace oriole::test
