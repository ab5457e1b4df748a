#include "ops/Doctor.h"

#include <algorithm>
#include <array>

#include "base/FormatText.h"
#include "devices/Devices.h"
#include "link/Requests.h"
#include "link/WriterLink.h"
#include "link/WriterSpec.h"
#include "res/DoctorTexts.h"

namespace oriole {

namespace {

namespace t = text::doctor;

// The doctor's waits end sooner than an operation's: its ticks last 100 ms,
// so a silent box is given up after about a second.
constexpr auto kDoctorTick = std::chrono::milliseconds(100);

// The link's host while the doctor runs: keeps the link's messages for the
// checks instead of showing them, and keeps time on the doctor's clock.
class DoctorHost final : public IOperationHost {
public:
    explicit DoctorHost(IClock& clock) : m_clock(clock) {}
    Answer ShowMessage(MsgKind, std::string_view text, Answer defaultAnswer) override {
        messages.emplace_back(text);
        return defaultAnswer;
    }
    void ShowFailure(Cause cause, MsgKind kind, std::string_view text) override {
        lastCause = cause;
        (void)ShowMessage(kind, text, Answer::Ok);
    }
    void PumpOneMessage() override {}
    IClock& Clock() override { return m_clock; }
    void Sleep(std::chrono::milliseconds pause) override { m_clock.SleepFor(pause); }
    void ShowWaitCursor() override {}
    std::string Last() const { return messages.empty() ? std::string() : messages.back(); }

    std::vector<std::string> messages;
    Cause lastCause = Cause::None;  // of the last failure shown

private:
    IClock& m_clock;
};

std::string Hex4(uint16_t value) { return FormatText("%04X", unsigned{value}); }

// One line per check: a message of the link's that runs over several lines
// has them joined with spaces.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c != '\n') line += c;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    }
    return line;
}

void Add(DoctorResult& r, bool ok, std::string title, std::string detail, std::string fix) {
    r.checks.push_back({ok, std::move(title), OneLine(detail), ok ? std::string() : OneLine(fix)});
}

void CheckBackends(DoctorResult& r) {
    const BackendFacts facts = GetBackendFacts();
    std::string detail = "libftdi1 " + (facts.libftdi.empty() ? std::string("-") : facts.libftdi) + ", libusb " +
                         (facts.libusb.empty() ? std::string("-") : facts.libusb) + ", D2XX " +
                         (facts.d2xx ? "あり" : "なし");
    for (const FoundWriter& port : facts.serialPorts)
        detail += ", " + port.location + " (" + port.description + ")";
    const bool any = !facts.libftdi.empty() || facts.d2xx || !facts.serialPorts.empty();
    Add(r, any, t::kBackends, any ? detail : std::string(t::kBackendsNone) + " (" + detail + ")", t::kBackendsFix);
}

void CheckUsb(DoctorResult& r, const UsbRoots& roots) {
    const std::vector<FtdiUsbDevice> devices = ListFtdiUsbDevices(roots);
    if (devices.empty()) {
        Add(r, false, t::kUsbDevice, t::kNoUsbDevice, t::kNoUsbDeviceFix);
        return;
    }
    for (const FtdiUsbDevice& d : devices) {
        const std::string where = FormatText("bus %03d device %03d", d.bus, d.address);
        Add(r, true, t::kUsbDevice,
            where + ": " + Hex4(d.vendor) + ":" + Hex4(d.product) + " bcdDevice " + Hex4(d.bcdDevice) + " \"" +
                d.productString + "\" serial " + d.serial,
            {});
        const bool bound = !d.kernelDriver.empty() && d.kernelDriver != "?";
        Add(r, !bound, t::kKernelDriver,
            where + ": " +
                (bound ? d.kernelDriver
                       : std::string(d.kernelDriver.empty() ? t::kKernelDriverNone : t::kKernelDriverUnknown)),
            t::kKernelDriverFix);
        if (!d.nodeSeen) {
            Add(r, false, t::kPermission, d.node + ": " + t::kNodeMissing, t::kPermissionRuleFix);
            continue;
        }
        const std::string group = GroupName(d.group);
        const std::string detail =
            FormatText("%s: owner %u group %s mode %04o", d.node.c_str(), d.owner, group.c_str(), d.mode);
        // A group with read and write that this user is not in: joining it
        // helps, unless it is root's own group (no rule has set the node up).
        const bool groupWould = (d.mode & 060) == 060 && d.group != 0 && !InGroup(d.group);
        Add(r, d.mayOpen, t::kPermission, detail,
            groupWould ? FormatText(t::kPermissionGroupFix, group.c_str()) : std::string(t::kPermissionRuleFix));
    }
    const std::string rule = FindBoxUdevRule(roots, kLinkDescription);
    Add(r, !rule.empty(), t::kUdevRule, rule.empty() ? std::string(t::kUdevRuleMissing) : rule, t::kUdevRuleFix);
}

double Ms(ClockTime d) { return std::chrono::duration<double, std::milli>(d).count(); }

// After the doctor's wait has given up, how long it listens on for a late
// answer: a box that answers after two seconds and one that stays silent
// need different fixes.
constexpr auto kLateListen = std::chrono::seconds(2);

// The first byte that still comes within kLateListen, with the time since
// `sent`; false when none comes.
bool LateAnswer(CWriterLink& link, IWriterDriver& driver, IClock& clock, ClockTime sent, uint8_t& byte,
                double& afterMs) {
    const ClockTime until = clock.Now() + kLateListen;
    while (clock.Now() < until) {
        driver.WaitForData(kWaitSlice);
        uint32_t read = 0;
        if (!link.ReadBytes({&byte, 1}, read)) return false;
        if (read > 0) {
            afterMs = Ms(clock.Now() - sent);
            return true;
        }
    }
    return false;
}

// The box: open and set up, the generic T and its acknowledge, the
// round-trip time, the chip. Stops at the first check that fails.
void CheckBox(DoctorResult& r, const DoctorSetup& setup) {
    std::string error;
    std::unique_ptr<IWriterDriver> driver = CreateWriterDriver(setup.writer, error);
    if (!driver) {
        Add(r, false, t::kOpen, setup.writer + ": " + error, t::kOpenNotFoundFix);
        return;
    }
    if (setup.trace) driver = std::make_unique<CTracingDriver>(std::move(driver), setup.trace);
    IClock& clock = *setup.clock;
    CLinkState state;
    state.m_nUsbTiming = setup.usbTiming;
    state.m_nDataSpeed = setup.dataSpeed;
    state.m_nSysFreq = setup.deviceClock;
    DoctorHost host(clock);
    CWriterLink link(*driver, state, host);
    link.SetWaitTick(kDoctorTick);
    const uint8_t latency = LatencyForUsbTiming(setup.usbTiming);
    const uint32_t baud = BaudForDataSpeed(setup.dataSpeed);
    if (!link.OpenLink()) {
        const std::string said = host.Last();
        if (host.lastCause == Cause::NoBox || host.lastCause == Cause::NoAccess) {
            Add(r, false, t::kOpen, setup.writer + ": " + said,
                host.lastCause == Cause::NoAccess ? t::kOpenDeniedFix : t::kOpenNotFoundFix);
        } else {
            Add(r, true, t::kOpen, setup.writer, {});
            Add(r, false, t::kLineSetup, said, t::kLineSetupFix);
        }
        return;
    }
    Add(r, true, t::kOpen, setup.writer, {});
    Add(r, true, t::kLineSetup, FormatText("latency %u ms, %u baud, 8N1, フロー制御なし", unsigned{latency}, baud), {});

    const auto timing = BuildGenericTimingRequest(setup.deviceClock);
    const auto sendTiming = [&]() { return timing && link.WriteBytes(*timing) && link.WaitAck(Ack(kCmdTiming)); };
    const ClockTime sent = clock.Now();
    const bool answered = sendTiming();
    if (!answered) {
        const double waitedMs = Ms(clock.Now() - sent);
        uint8_t late = 0;
        double afterMs = 0;
        if (state.m_nAbort == kAbortTimeout && LateAnswer(link, *driver, clock, sent, late, afterMs))
            Add(r, false, t::kTimingAck, FormatText(t::kTimingLate, unsigned{late}, afterMs, waitedMs),
                t::kTimingLateFix);
        else
            Add(r, false, t::kTimingAck, host.Last(), t::kTimingAckFix);
        return;
    }
    Add(r, true, t::kTimingAck, "94", {});
    r.boxAnswered = true;

    std::vector<double> trips;
    for (int i = 0; i < setup.roundTrips; ++i) {
        const ClockTime start = clock.Now();
        if (!sendTiming()) break;
        trips.push_back(Ms(clock.Now() - start));
    }
    const std::string title = FormatText(t::kRoundTrip, setup.roundTrips);
    if (trips.size() != static_cast<size_t>(setup.roundTrips)) {
        Add(r, false, title, host.Last(), t::kTimingAckFix);
        return;
    }
    std::sort(trips.begin(), trips.end());
    // Ten bytes on the line, and a short packet waits for the latency timer.
    const double predicted = latency + 10.0 * 10.0 * 1000.0 / baud;
    const double median = trips[trips.size() / 2];
    const bool inTime = median <= 2 * predicted + 20.0;
    Add(r, inTime, title, FormatText(t::kRoundTripDetail, trips.front(), median, trips.back(), predicted),
        t::kRoundTripFix);

    // The chip: the programming enable, then the signature.
    std::array<uint8_t, 1> enable{};
    std::array<uint8_t, 3> sig{};
    const bool enabled = link.WriteBytes(std::array<uint8_t, 2>{kCmdEnterProgramming, 0}) && link.ReadReply(enable) &&
                         enable[0] != kRefusedAck;
    if (!enabled) {
        Add(r, false, t::kChip, host.messages.empty() ? std::string(t::kChipRefused) : host.Last(), t::kChipFix);
    } else if (!link.WriteBytes(std::array<uint8_t, 1>{kCmdReadSignature}) || !link.ReadReply(sig)) {
        Add(r, false, t::kChip, host.Last(), t::kChipFix);
    } else if (const int row = FindDeviceBySignature(sig[0], sig[1], sig[2]); row == 0) {
        Add(r, false, t::kChip, FormatText(t::kChipUnknown, unsigned{sig[0]}, unsigned{sig[1]}, unsigned{sig[2]}),
            t::kChipUnknownFix);
    } else {
        Add(r, true, t::kChip,
            FormatText("%02X %02X %02X %s", unsigned{sig[0]}, unsigned{sig[1]}, unsigned{sig[2]}, DeviceAt(row).name),
            {});
    }
    link.EndProgramming();
    link.CloseLink();
}

}  // namespace

DoctorResult Diagnose(const DoctorSetup& setup) {
    DoctorResult r;
    CheckBackends(r);
    if (!setup.writer.starts_with("sim")) CheckUsb(r, setup.roots);
    CheckBox(r, setup);
    return r;
}

}  // namespace oriole
