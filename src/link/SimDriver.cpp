#include "link/SimDriver.h"

#include <algorithm>

namespace oriole {

using sim::DriverCall;

CSimDriver::CSimDriver(std::shared_ptr<sim::CSimBox> box) : m_box(std::move(box)) {}

std::unique_ptr<CSimDriver> CSimDriver::WithOwnBox(const sim::SimConfig& config) {
    return std::make_unique<CSimDriver>(std::make_shared<sim::CSimBox>(config, SystemClock()));
}

DriverStatus CSimDriver::Check(DriverCall call) const {
    if (!m_open) {
        m_box->Call(call);
        return kFtInvalidHandle;
    }
    return m_box->Call(call);
}

DriverStatus CSimDriver::OpenByDescription(std::string_view description) {
    m_box->LogCall("open " + std::string(description));
    if (const DriverStatus s = m_box->Call(DriverCall::Open)) return s;
    if (m_open || description != "ORIOLE Ver.1.00") return kFtDeviceNotFound;
    m_open = true;
    return kFtOk;
}

DriverStatus CSimDriver::SetLatencyTimer(uint8_t milliseconds) {
    m_box->LogCall("latency " + std::to_string(milliseconds));
    if (const DriverStatus s = Check(DriverCall::Latency)) return s;
    if (milliseconds < 1) return kFtInvalidParameter;
    m_box->SetLatency(milliseconds);
    return kFtOk;
}

DriverStatus CSimDriver::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    m_box->LogCall("flow " + std::to_string(flow) + " " + std::to_string(xon) + " " + std::to_string(xoff));
    return Check(DriverCall::Flow);
}

DriverStatus CSimDriver::SetBaudRate(uint32_t baud) {
    m_box->LogCall("baud " + std::to_string(baud));
    if (const DriverStatus s = Check(DriverCall::Baud)) return s;
    if (baud == 0) return kFtInvalidBaudRate;
    m_box->SetBaud(baud);
    return kFtOk;
}

DriverStatus CSimDriver::SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    m_box->LogCall("data " + std::to_string(wordLength) + " " + std::to_string(stopBits) + " " +
                   std::to_string(parity));
    return Check(DriverCall::Data);
}

DriverStatus CSimDriver::SetDtr() {
    m_box->LogCall("dtr");
    return Check(DriverCall::Dtr);
}

DriverStatus CSimDriver::Write(std::span<const uint8_t> bytes, uint32_t& written) {
    written = 0;
    if (const DriverStatus s = Check(DriverCall::Write)) return s;
    m_box->HostWrite(bytes);
    if (!m_box->Connected()) return kFtIoError;
    written = static_cast<uint32_t>(bytes.size());
    return kFtOk;
}

DriverStatus CSimDriver::GetQueueStatus(uint32_t& queued) {
    queued = 0;
    if (const DriverStatus s = Check(DriverCall::Queue)) return s;
    queued = static_cast<uint32_t>(m_box->Queued());
    return kFtOk;
}

DriverStatus CSimDriver::Read(std::span<uint8_t> bytes, uint32_t& read) {
    read = 0;
    if (const DriverStatus s = Check(DriverCall::Read)) return s;
    read = static_cast<uint32_t>(m_box->HostRead(bytes));
    return kFtOk;
}

DriverStatus CSimDriver::PurgeReceive() {
    m_box->LogCall("purge rx");
    if (const DriverStatus s = Check(DriverCall::Purge)) return s;
    m_box->PurgeReceived();
    return kFtOk;
}

DriverStatus CSimDriver::Close() {
    m_box->LogCall("close");
    const bool wasOpen = m_open;
    const DriverStatus s = m_box->Call(DriverCall::Close);
    m_open = false;  // the handle is gone whatever the driver said
    if (!wasOpen) return kFtInvalidHandle;
    return s;
}

void CSimDriver::WaitForData(std::chrono::milliseconds timeout) {
    IClock& clock = m_box->Clock();
    const ClockTime deadline = clock.Now() + timeout;
    const auto next = m_box->NextDelivery();
    // Nothing else feeds an in-process box, so sleeping until its next packet
    // is due (or the time-out) is all the waiting there is.
    clock.SleepUntil(next ? std::min(*next, deadline) : deadline);
}

}  // namespace oriole

#include "link/Backends.h"

namespace oriole {

std::unique_ptr<IWriterDriver> CreateSimDriver(std::string_view argument, std::string& error) {
    const auto config = sim::ParseSimOptions(argument, error);
    if (!config) return nullptr;
    return CSimDriver::WithOwnBox(*config);
}

}  // namespace oriole
