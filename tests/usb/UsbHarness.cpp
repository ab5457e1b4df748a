// The ftdi backend for the contract suite: libftdi1 and libusb on an
// emulated FT232R in front of the simulated box.
#include "link/BackendHarness.h"
#include "link/Backends.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

class FtdiHarness : public BackendHarness {
public:
    bool Start(const std::string& options, std::string& why) override {
        m_driver.reset();
        m_bed.reset();
        if (!CUsbTestbed::Available(why)) return false;
        m_bed = std::make_unique<CUsbTestbed>();
        UsbBoxSetup setup;
        setup.simOptions = options;
        m_chip = &m_bed->Plug(setup);
        m_driver = CreateFtdiDriver({}, why);
        return m_driver != nullptr;
    }
    IWriterDriver& Driver() override { return *m_driver; }
    std::vector<std::string> Transcript() override {
        return m_chip->WithBox([](sim::CSimBox& box) { return box.Transcript().Lines(); });
    }
    void ClearTranscript() override {
        m_chip->WithBox([](sim::CSimBox& box) { box.Transcript().Clear(); });
    }
    // The chip's own log is checked by the USB tests; its vocabulary is the
    // chip's, not the driver calls'.
    std::vector<std::string> CallLog() override { return {}; }
    bool InjectsCallFaults() const override { return false; }
    IClock& Clock() override { return SystemClock(); }

private:
    std::unique_ptr<CUsbTestbed> m_bed;
    CEmulatedFtdi* m_chip = nullptr;
    std::unique_ptr<IWriterDriver> m_driver;
};

}  // namespace

std::unique_ptr<BackendHarness> MakeFtdiHarness() {
    return std::make_unique<FtdiHarness>();
}

}  // namespace oriole::test
