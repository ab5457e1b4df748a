// The ftdi backend on emulated FT232R chips: what the chip is told when the
// link opens, device operations end to end, several boxes, and the USB
// failures a user meets.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "link/Backends.h"
#include "link/LinkTestSupport.h"
#include "link/WriterFinder.h"
#include "link/WriterLink.h"
#include "ops/OpsTestSupport.h"
#include "res/Texts.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

TEST(UsbChip, DecodesTheDivisorsOfTheBoxRates) {
    // Divisors as libftdi computes them for an FT232R (3 MHz / rate, in eighths).
    const struct {
        uint16_t value, index;
        uint32_t baud;
    } cases[] = {{0xC04E, 0, 38400}, {0xC068, 0, 28812},   {0x809C, 0, 19200},
                 {0x00D0, 1, 14397}, {0x0000, 0, 3000000}, {0x0001, 0, 2000000}};
    for (const auto& c : cases) EXPECT_EQ(DecodeFt232rBaud(c.value, c.index), c.baud) << c.value;
}

TEST(UsbLink, OpenTellsTheChipTheBoxLineSettings) {
    CUsbTestbed bed;
    CEmulatedFtdi& chip = bed.Plug({});
    std::string error;
    auto driver = CreateFtdiDriver({}, error);
    CLinkState state;
    state.m_nUsbTiming = 1;
    state.m_nDataSpeed = 3;
    TestOperationHost host(SystemClock());
    CWriterLink link(*driver, state, host);
    ASSERT_TRUE(link.OpenLink());
    EXPECT_TRUE(link.CloseLink());
    EXPECT_TRUE(host.Texts().empty());
    const auto log = chip.ChipLog();
    // libftdi's own opening (reset, 9600) comes first; then ours.
    const std::vector<std::string> ours = {"purge to box", "purge to host", "latency 16", "flow 0",
                                           "baud 19200",   "data 8N1",      "dtr 1"};
    ASSERT_GE(log.size(), ours.size());
    EXPECT_EQ(
        std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(ours.size()), log.end()),
        ours);
    EXPECT_EQ(chip.DroppedBytes(), 0u);
}

// The core on the ftdi backend with a real clock; fast USB timing (2 ms).
struct UsbRig {
    explicit UsbRig(const std::string& spec = {}) : host(SystemClock()), core(host) {
        std::string error;
        core.SetDriver(CreateFtdiDriver(spec, error));
        core.LinkState().m_nUsbTiming = 0;
    }
    std::string Image(const std::string& name, const Cells& cells) {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        const std::string text = SRecordFile(cells);
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path;
    }
    std::vector<std::string> TakeTexts() {
        auto texts = host.Texts();
        host.recorder.messages.clear();
        return texts;
    }
    OpsHost host;
    COrioleCore core;
    QTemporaryDir dir;
};

Cells Random(size_t size, std::mt19937& rng, bool sparse) {
    Cells cells(size, kNoData);
    for (size_t i = 0; i < size; ++i)
        if (!sparse || (i / 100) % 3 == 1) cells[i] = static_cast<int16_t>(rng() & 0xFF);
    return cells;
}

std::vector<uint8_t> Over(const Cells& cells, std::vector<uint8_t> under) {
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i] != kNoData) under[i] = static_cast<uint8_t>(cells[i]);
    return under;
}

class UsbRoundTrip : public testing::TestWithParam<const char*> {};

// Detection, erase, FLASH and EEPROM written, verified and read back, fuses,
// lock bits and the calibration byte, all through libftdi1 and libusb.
TEST_P(UsbRoundTrip, MemoriesFusesLockAndCalibration) {
    const int row = FindDeviceByName(GetParam());
    const AVR_DEVICE& d = DeviceAt(row);
    CUsbTestbed bed;
    UsbBoxSetup setup;
    setup.simOptions = std::string(GetParam()) + ",fast";
    CEmulatedFtdi& chip = bed.Plug(setup);
    UsbRig rig;
    std::mt19937 rng(static_cast<uint32_t>(row));

    ASSERT_TRUE(rig.core.EraseDevice(Quietly(true)));
    EXPECT_EQ(rig.core.DeviceRow(), row);  // found by its signature

    const Cells flash = Random(static_cast<size_t>(d.FlashBytes()), rng, true);
    const std::string flashFile = rig.Image("flash.s", flash);
    ASSERT_TRUE(rig.core.WriteFlash(flashFile, {.timing = true, .verify = true}));
    EXPECT_EQ(rig.TakeTexts(), std::vector<std::string>{text::kFlashVerifyOk});
    ASSERT_TRUE(rig.core.ReadFlash(0, true));
    const auto flashBytes = Over(flash, std::vector<uint8_t>(flash.size(), 0xFF));
    EXPECT_TRUE(rig.core.FlashRead() == flashBytes);
    EXPECT_TRUE(chip.WithBox([](sim::CSimBox& box) { return box.Target().Flash(); }) == flashBytes);

    const Cells eeprom = Random(d.eepromBytes, rng, false);
    const std::string eepromFile = rig.Image("eeprom.s", eeprom);
    ASSERT_TRUE(rig.core.WriteEeprom(eepromFile, {.timing = true, .verify = true}));
    EXPECT_EQ(rig.TakeTexts(), std::vector<std::string>{text::kEepromVerifyOk});
    ASSERT_TRUE(rig.core.ReadEeprom(0));
    EXPECT_TRUE(rig.core.EepromRead() == Over(eeprom, std::vector<uint8_t>(eeprom.size(), 0xFF)));

    const uint8_t low = static_cast<uint8_t>(rng() | 0x40);
    // SPIEN stays programmed; a new clock source is allowed with its warning.
    ASSERT_TRUE(rig.core.WriteFuses({0xFF, 0xD9, low}, {.timing = true, .verify = false}, {.risky = RiskyFuses::Allow}));
    uint8_t re = 0, rh = 0, rl = 0;
    ASSERT_TRUE(ReadFuseBytes(rig.core, re, rh, rl, true));
    EXPECT_EQ(rl, chip.WithBox([](sim::CSimBox& box) { return box.Target().ReadFuse(1); }));
    ASSERT_TRUE(rig.core.WriteLockBits(0xFC, {.timing = true, .verify = false}));
    uint8_t lock = 0;
    ASSERT_TRUE(rig.core.ReadLockBits(lock, true));
    EXPECT_EQ(chip.WithBox([](sim::CSimBox& box) { return box.Target().LockBits(); }) & 0x03, 0x00);
    uint8_t calibration = 0;
    ASSERT_TRUE(rig.core.ReadCalibrationByte(0, calibration, true));
    EXPECT_EQ(calibration,
              chip.WithBox([](sim::CSimBox& box) { return box.Target().Calibration(0); }));
    rig.TakeTexts();
    EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortNone);
    EXPECT_EQ(chip.DroppedBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Usb, UsbRoundTrip, testing::Values("ATmega328P", "ATtiny13"));

// Reads the signature through the core; empty when nothing answered.
std::string DetectedName(UsbRig& rig) {
    const bool ok = rig.core.EraseDevice(Quietly(true));
    return ok ? DeviceAt(rig.core.DeviceRow()).name : std::string();
}

// Box faults reach the user as they do over every other backend.
TEST(UsbFaults, RefusalAndUnknownSignature) {
    const struct {
        const char* options;
        const char* message;
    } cases[] = {{"ATmega8,fast,refuse", text::kProgrammingRefused},
                 {"ATmega8,fast,signature=1E0000", text::kDeviceNotDetected}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        CUsbTestbed bed;
        UsbBoxSetup setup;
        setup.simOptions = c.options;
        bed.Plug(setup);
        UsbRig rig;
        EXPECT_EQ(DetectedName(rig), "");
        EXPECT_EQ(rig.TakeTexts(), std::vector<std::string>{c.message});
    }
}

TEST(UsbBoxes, SerialNumberPicksTheBoxElseTheFirstInBusOrder) {
    CUsbTestbed bed;
    UsbBoxSetup a, b, other;
    a.simOptions = "ATmega8,fast";
    a.serial = "ORB0000A";
    b.simOptions = "ATtiny13,fast";
    b.serial = "ORB0000B";
    other.product = "Some FT232R cable";
    other.serial = "CABLE001";
    bed.Plug(other);
    bed.Plug(a);
    bed.Plug(b);
    {
        UsbRig rig("sn=ORB0000B");
        EXPECT_EQ(DetectedName(rig), "ATtiny13");
    }
    {
        UsbRig rig;
        EXPECT_EQ(DetectedName(rig), "ATmega8");
    }
    {
        UsbRig rig("sn=CABLE001");  // not a writer box
        EXPECT_EQ(DetectedName(rig), "");
        EXPECT_EQ(rig.TakeTexts(), std::vector<std::string>{text::kWriterNotFound});
    }
    const auto found = FindWriters();
    ASSERT_GE(found.size(), 3u);
    EXPECT_EQ(found[0].serial, "CABLE001");
    EXPECT_EQ(found[1].serial, "ORB0000A");
    EXPECT_EQ(found[1].description, "ORIOLE Ver.1.00");
    EXPECT_EQ(found[1].location, "bus 001 device 003");
    EXPECT_EQ(found[2].serial, "ORB0000B");
}

TEST(UsbBoxes, DeniedBoxIsNamedAndAnOpenableOneStillWins) {
    CUsbTestbed bed;
    UsbBoxSetup a, b;
    a.serial = "ORB0000A";
    b.simOptions = "ATtiny13,fast";
    b.serial = "ORB0000B";
    CEmulatedFtdi& denied = bed.Plug(a);
    bed.Plug(b);
    bed.Deny(denied);
    WithoutFileOverride asUser;
    {
        UsbRig rig("sn=ORB0000A");
        EXPECT_EQ(DetectedName(rig), "");
        EXPECT_EQ(rig.TakeTexts(), std::vector<std::string>{text::kWriterAccessDenied});
    }
    {
        UsbRig rig;  // the first box is denied; the second one is used
        EXPECT_EQ(DetectedName(rig), "ATtiny13");
    }
    const auto found = FindWriters();
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found[0].description, "ORIOLE Ver.1.00 (no permission)");
}

TEST(UsbBoxes, KernelDriverIsDetachedAndTheBoxWorks) {
    CUsbTestbed bed;
    UsbBoxSetup setup;
    setup.simOptions = "ATmega8,fast";
    setup.kernelDriverBound = true;
    CEmulatedFtdi& chip = bed.Plug(setup);
    UsbRig rig;
    EXPECT_EQ(DetectedName(rig), "ATmega8");
    EXPECT_FALSE(chip.KernelDriverBound());
    const auto log = chip.ChipLog();
    EXPECT_EQ(log.front(), "driver detached");
}

// The plug comes out in the middle of a FLASH read: one message, the link
// closed, no hang; plugged in again, the next operation works.
TEST(UsbBoxes, UnplugMidTransferGivesOneMessageAndTheBoxWorksAgain) {
    CUsbTestbed bed;
    UsbBoxSetup setup;
    setup.simOptions = "ATmega328P";  // real timing: a whole read takes seconds
    CEmulatedFtdi& chip = bed.Plug(setup);
    UsbRig rig;
    std::thread puller([&] {
        // Once the read has begun (the signature has come back), a little later.
        const auto started = [&] {
            return chip.WithBox([](sim::CSimBox& b) { return b.Transcript().Lines().size(); });
        };
        for (int i = 0; i < 3000 && started() < 8; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        bed.Unplug(chip);
    });
    EXPECT_FALSE(rig.core.ReadFlash(0, true));
    puller.join();
    const auto texts = rig.TakeTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].starts_with("line ")) << texts[0];
    EXPECT_FALSE(rig.core.LinkState().m_nAbort == kAbortTimeout);

    bed.Plug(setup);  // powered up again: the firmware starts afresh
    EXPECT_EQ(DetectedName(rig), "ATmega328P");
    EXPECT_EQ(rig.TakeTexts(), std::vector<std::string>{});
}

}  // namespace
}  // namespace oriole::test
