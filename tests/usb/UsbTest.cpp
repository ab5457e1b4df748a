// The ftdi backend on emulated FT232R chips: what the chip is told when the
// link opens, device operations end to end, several boxes, and the USB
// failures a user meets.
#include <gtest/gtest.h>

#include "link/Backends.h"
#include "link/LinkTestSupport.h"
#include "link/WriterLink.h"
#include "res/Texts.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

TEST(UsbChip, DecodesTheDivisorsOfTheBoxRates) {
    // Divisors as libftdi computes them for an FT232R (3 MHz / rate, in eighths).
    const struct {
        uint16_t value, index;
        uint32_t baud;
    } cases[] = {{0xC04E, 0, 38400}, {0xC068, 0, 28812}, {0x809C, 0, 19200}, {0x00D0, 1, 14397},
                   {0x0000, 0, 3000000}, {0x0001, 0, 2000000}};
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
    TestOperationHost host(state, SystemClock());
    CWriterLink link(*driver, state, host);
    ASSERT_TRUE(link.OpenLink());
    EXPECT_TRUE(link.CloseLink());
    EXPECT_TRUE(host.Texts().empty());
    const auto log = chip.ChipLog();
    // libftdi's own opening (reset, 9600) comes first; then ours.
    const std::vector<std::string> ours = {"purge to box", "purge to host", "latency 16", "flow 0", "baud 19200",
                                           "data 8N1", "dtr 1"};
    ASSERT_GE(log.size(), ours.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(ours.size()), log.end()), ours);
    EXPECT_EQ(chip.DroppedBytes(), 0u);
}

}  // namespace
}  // namespace oriole::test
