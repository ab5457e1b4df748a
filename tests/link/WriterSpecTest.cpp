// Choosing a backend from a writer spec string, and the backends that can
// only fail here failing cleanly with the not-recognised message.
#include "link/WriterSpec.h"

#include <gtest/gtest.h>

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
    TestOperationHost host(state, SystemClock());
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
        TestOperationHost host(state, SystemClock());
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
        TestOperationHost host(state, SystemClock());
        CWriterLink link(*driver, state, host);
        EXPECT_FALSE(link.OpenLink());
        EXPECT_EQ(host.Texts(), std::vector<std::string>{text::kWriterNotFound});
        EXPECT_FALSE(link.IsOpen());
    }
}

}  // namespace
}  // namespace oriole::test
