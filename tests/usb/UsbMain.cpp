// The USB tests run under the umockdev preload library; started without it,
// the program starts itself again with it.
#include <gtest/gtest.h>

#include "usb/EmulatedFtdi.h"

namespace {

class UsbEnvironment : public testing::Environment {
public:
    void SetUp() override {
        std::string why;
        if (!oriole::test::CUsbTestbed::Available(why)) GTEST_SKIP() << why;
    }
};

}  // namespace

int main(int argc, char** argv) {
    oriole::test::ReexecUnderPreload(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new UsbEnvironment);
    return RUN_ALL_TESTS();
}
