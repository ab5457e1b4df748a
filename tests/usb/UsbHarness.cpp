// The ftdi backend for the contract suite: libftdi1 and libusb on an
// emulated FT232R in front of the simulated box.
#include <atomic>

#include "link/BackendHarness.h"
#include "link/Backends.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

// The system clock, moved ahead at will: the box behind the chip and the
// test host's timer run on it, so that a time-out or an answer held back
// for seconds takes no real time. USB itself keeps real time.
class CSkippingClock final : public IClock {
public:
    ClockTime Now() const override { return SystemClock().Now() + ClockTime(m_ahead.load()); }
    void SleepUntil(ClockTime t) override { SystemClock().SleepUntil(t - ClockTime(m_ahead.load())); }
    void Skip(ClockTime span) { m_ahead += span.count(); }

private:
    std::atomic<ClockTime::rep> m_ahead{0};
};

class FtdiHarness : public BackendHarness {
public:
    bool Start(const std::string& options, std::string& why) override {
        m_driver.reset();
        m_bed.reset();
        if (!CUsbTestbed::Available(why)) return false;
        const auto config = sim::ParseSimOptions(options, why);
        if (!config) return false;
        m_bed = std::make_unique<CUsbTestbed>();
        UsbBoxSetup setup;
        setup.simOptions = options;
        m_chip = &m_bed->Plug(setup, std::make_shared<sim::CSimBox>(*config, m_clock));
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
    IClock& Clock() override { return m_clock; }
    bool CanSkipTime() const override { return true; }
    void SkipTime(ClockTime span) override { m_clock.Skip(span); }
    void ClearFaults() override {
        m_chip->WithBox([](sim::CSimBox& box) { box.Faults() = {}; });
    }
    // The chip of a box just plugged in holds one already (UsbBoxSetup).
    bool PutStrayByte() override { return true; }

private:
    CSkippingClock m_clock;  // outlives the boxes that keep time on it
    std::unique_ptr<CUsbTestbed> m_bed;
    CEmulatedFtdi* m_chip = nullptr;
    std::unique_ptr<IWriterDriver> m_driver;
};

}  // namespace

std::unique_ptr<BackendHarness> MakeFtdiHarness() {
    return std::make_unique<FtdiHarness>();
}

}  // namespace oriole::test
