#include "link/WriterLink.h"

#include <algorithm>
#include <array>

#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// Line numbers the driver error messages have always carried; users quote
// them in support requests.
constexpr int kLineConfig = 480;
constexpr int kLineWrite = 503;
constexpr int kLineRead = 528;
constexpr int kLineQueue = 556;

}  // namespace

CWriterLink::~CWriterLink() {
    if (m_open) CloseLink();
}

bool CWriterLink::OpenLink() {
    if (m_open) CloseLink();
    if (const DriverStatus s = m_driver.OpenByDescription(kLinkDescription); s != kFtOk) {
        // A box that is missing and one this user may not open need other
        // fixes; one in use or a port that refused it was there all the same.
        if (s == kLinkAccessDenied)
            m_host.ShowFailure(Cause::NoAccess, MsgKind::Error, text::kWriterAccessDenied);
        else if (s == kLinkInUse)
            m_host.ShowFailure(Cause::Driver, MsgKind::Error, text::kWriterInUse);
        else if (s == kLinkPortRefused)
            m_host.ShowFailure(Cause::Driver, MsgKind::Error, text::kWriterPortRefused);
        else
            m_host.ShowFailure(Cause::NoBox, MsgKind::Error, text::kWriterNotFound);
        return false;
    }
    // Configuration steps with the step code their failure reports.
    struct Step {
        int code;
        DriverStatus status;
    };
    auto configure = [&]() -> Step {
        DriverStatus s = m_driver.SetLatencyTimer(LatencyForUsbTiming(m_state.m_nUsbTiming));
        if (s != kFtOk) return {2, s};
        if ((s = m_driver.SetFlowControl(0, 0, 0)) != kFtOk) return {2, s};
        if ((s = m_driver.SetBaudRate(BaudForDataSpeed(m_state.m_nDataSpeed))) != kFtOk) return {3, s};
        if ((s = m_driver.SetDataCharacteristics(8, 0, 0)) != kFtOk) return {4, s};
        if ((s = m_driver.SetDtr()) != kFtOk) return {5, s};
        return {0, kFtOk};
    };
    const Step failed = configure();
    if (failed.status != kFtOk) {
        m_host.ShowFailure(Cause::Driver, MsgKind::Error,
                           FormatText(text::kDriverConfigError, kLineConfig, failed.code,
                                      static_cast<int>(failed.status)));
        // The handle is given back: left open, the box could not be opened
        // again until the program ends.
        m_driver.Close();
        return false;
    }
    m_open = true;
    return true;
}

bool CWriterLink::CloseLink() {
    if (!m_open) return false;
    m_open = false;
    if (m_state.m_nAbort != kAbortNone) SettleInterruptedBox();
    return m_driver.Close() == kFtOk;
}

// A cancel or a time-out may leave the box in the middle of a command (a
// page half sent) or of a reply nobody reads any more. The frame's closing B
// has ended a reply; the pause outlasts the firmware's gap, after which it
// has dropped a half-received command; what the box sent meanwhile is read
// and dropped. So the next opening starts with a box that waits for a
// command and with nothing stale to read.
void CWriterLink::SettleInterruptedBox() {
    static_assert(kBoxSettleWait > kBoxCommandGap);
    m_host.Sleep(kBoxSettleWait);
    std::array<uint8_t, 256> sink{};
    for (int pass = 0; pass < 1024; ++pass) {
        uint32_t queued = 0;
        uint32_t read = 0;
        if (m_driver.GetQueueStatus(queued) != kFtOk || queued == 0) return;
        const size_t wanted = std::min<size_t>(queued, sink.size());
        if (m_driver.Read(std::span(sink).first(wanted), read) != kFtOk || read == 0) return;
    }
}

// The rest of a reply cut short by a driver error, a reply that came after
// its wait gave up, a byte the line doubled: whatever an earlier exchange
// left behind must not be read as an answer of the next. The receive side
// is purged, and what is still arriving is read away until nothing has come
// for a latency period and a little more, within a bound. No byte goes to
// the box; a purge the driver refuses still leaves the reading away.
void CWriterLink::DiscardStaleBytes() {
    constexpr int kMostPasses = 150;  // some 300 ms at most
    const int quietPasses = LatencyForUsbTiming(m_state.m_nUsbTiming) / static_cast<int>(kWaitSlice.count()) + 2;
    m_driver.PurgeReceive();
    std::array<uint8_t, 256> sink{};
    int quiet = 0;
    for (int pass = 0; pass < kMostPasses && quiet < quietPasses; ++pass) {
        m_driver.WaitForData(kWaitSlice);
        uint32_t queued = 0;
        uint32_t read = 0;
        if (m_driver.GetQueueStatus(queued) != kFtOk) return;
        if (queued == 0) {
            ++quiet;
            continue;
        }
        quiet = 0;
        if (m_driver.Read(std::span(sink).first(std::min<size_t>(queued, sink.size())), read) != kFtOk) return;
    }
}

void CWriterLink::ShowDriverError(int line, DriverStatus status) {
    m_host.ShowFailure(Cause::Driver, MsgKind::Error,
                       FormatText(text::kDriverCallError, line, static_cast<int>(status)));
}

void CWriterLink::ShowNoAnswer() { m_host.ShowFailure(Cause::NoAnswer, MsgKind::Error, text::kWriterNoAnswer); }

bool CWriterLink::WriteBytes(std::span<const uint8_t> bytes) {
    uint32_t written = 0;
    const DriverStatus status = m_driver.Write(bytes, written);
    m_host.ShowWaitCursor();
    if (status != kFtOk) {
        ShowDriverError(kLineWrite, status);
        return false;
    }
    return true;
}

bool CWriterLink::QueuedBytes(uint32_t& queued) {
    queued = 0;
    const DriverStatus status = m_driver.GetQueueStatus(queued);
    if (status != kFtOk) {
        ShowDriverError(kLineQueue, status);
        return false;
    }
    return true;
}

bool CWriterLink::ReadBytes(std::span<uint8_t> buffer, uint32_t& read) {
    read = 0;
    uint32_t queued = 0;
    if (!QueuedBytes(queued)) return false;
    if (queued == 0) return true;
    const size_t wanted = std::min<size_t>(queued, buffer.size());
    const DriverStatus status = m_driver.Read(buffer.first(wanted), read);
    if (status != kFtOk) {
        ShowDriverError(kLineRead, status);
        return false;
    }
    read = std::min<uint32_t>(read, static_cast<uint32_t>(wanted));
    return true;
}

void CWriterLink::StartWaitTicks() {
    m_waitStart = m_clock.Now();
    m_state.m_nTimeoutTicks = kWaitTicks;
}

void CWriterLink::CountWaitTicks() {
    // Whole ticks since the start; the clock, not the pump, keeps the time,
    // so a host that never ticks still gets its time-out.
    const auto passed = (m_clock.Now() - m_waitStart) / m_waitTick;
    m_state.m_nTimeoutTicks = passed >= kWaitTicks ? 0 : kWaitTicks - static_cast<int32_t>(passed);
}

bool CWriterLink::PollOnce(std::span<uint8_t> buffer, uint32_t& read) {
    m_host.PumpOneMessage();
    CountWaitTicks();
    m_driver.WaitForData(kWaitSlice);
    return ReadBytes(buffer, read);
}

bool CWriterLink::ReadReply(std::span<uint8_t> buffer) {
    // The short replies have no Cancel; the same 11 ticks as an acknowledge
    // bound them, so a box that stays silent cannot hang the program.
    return Receive(buffer, ReadTimeOut::FromStart, {});
}

bool CWriterLink::Receive(std::span<uint8_t> buffer, ReadTimeOut timeOut,
                          const ReceiveProgress& onReceived) {
    // Like an acknowledge wait, a read fails at its first pass, without a
    // message, once an earlier wait has timed out or been cancelled: that
    // failure has been reported, and the box is not waited for twice.
    StartWaitTicks();
    size_t got = 0;
    bool ok = true;
    while (got < buffer.size()) {
        uint32_t read = 0;
        if (!PollOnce(buffer.subspan(got), read)) {
            ok = false;
            break;
        }
        if (read > 0) {
            got += read;
            if (timeOut == ReadTimeOut::SinceLastByte) StartWaitTicks();
            if (onReceived) onReceived(got);
        }
        if (m_state.m_nAbort != kAbortNone) {
            ok = false;
            break;
        }
        if (got < buffer.size() && m_state.m_nTimeoutTicks == 0) {
            m_state.m_nAbort = kAbortTimeout;
            ShowNoAnswer();
            ok = false;
            break;
        }
    }
    m_state.m_nTimeoutTicks = 0;
    return ok;
}

bool CWriterLink::WaitAck(uint8_t expected, bool otherIsAnswer) {
    StartWaitTicks();
    uint8_t ack = 0;
    bool arrived = false;
    bool readOk = true;
    while (true) {
        uint32_t read = 0;
        if (!PollOnce({&ack, 1}, read)) {
            readOk = false;
            break;
        }
        if (read > 0) arrived = true;
        m_host.ShowWaitCursor();
        // Both checks also follow the pass in which the byte came: a byte
        // that comes with the last tick is still a time-out.
        if (m_state.m_nAbort != kAbortNone) {
            m_state.m_nTimeoutTicks = 1;  // a cancel shows no time-out message
            break;
        }
        if (m_state.m_nTimeoutTicks == 0) {
            m_state.m_nAbort = kAbortTimeout;
            break;
        }
        if (arrived) break;
    }
    if (m_state.m_nTimeoutTicks == 0) ShowNoAnswer();
    const bool ok = readOk && m_state.m_nAbort == kAbortNone && arrived && ack == expected;
    if (readOk && m_state.m_nAbort == kAbortNone && arrived && !ok && !otherIsAnswer)
        m_host.ShowFailure(Cause::WrongAnswer, MsgKind::Error, FormatText(text::kWriterWrongAck, unsigned{expected},
                                                      unsigned{ack}));
    m_state.m_nTimeoutTicks = 0;
    return ok;
}

}  // namespace oriole
