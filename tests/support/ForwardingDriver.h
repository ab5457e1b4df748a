#pragma once
// A test driver in front of the simulated box's: every call goes on to the
// box unchanged, so a test overrides only the calls whose fault it injects.

#include <memory>

#include "link/SimDriver.h"

namespace oriole::test {

class ForwardingDriver : public IWriterDriver {
public:
    explicit ForwardingDriver(std::shared_ptr<sim::CSimBox> box) : m_inner(std::move(box)) {}

    DriverStatus OpenByDescription(std::string_view d) override { return m_inner.OpenByDescription(d); }
    DriverStatus SetLatencyTimer(uint8_t ms) override { return m_inner.SetLatencyTimer(ms); }
    DriverStatus SetFlowControl(uint16_t f, uint8_t on, uint8_t off) override {
        return m_inner.SetFlowControl(f, on, off);
    }
    DriverStatus SetBaudRate(uint32_t baud) override { return m_inner.SetBaudRate(baud); }
    DriverStatus SetDataCharacteristics(uint8_t w, uint8_t s, uint8_t p) override {
        return m_inner.SetDataCharacteristics(w, s, p);
    }
    DriverStatus SetDtr() override { return m_inner.SetDtr(); }
    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override {
        return m_inner.Write(bytes, written);
    }
    DriverStatus GetQueueStatus(uint32_t& queued) override { return m_inner.GetQueueStatus(queued); }
    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override { return m_inner.Read(bytes, read); }
    DriverStatus PurgeReceive() override { return m_inner.PurgeReceive(); }
    DriverStatus Close() override { return m_inner.Close(); }
    void WaitForData(std::chrono::milliseconds timeout) override { m_inner.WaitForData(timeout); }

protected:
    CSimDriver m_inner;
};

}  // namespace oriole::test
