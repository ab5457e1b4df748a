#pragma once
// The "sim" backend: the simulated writer box in this process. Several
// drivers may share one box (its memories outlive a link opening, as a real
// box's target does).

#include <memory>

#include "link/WriterDriver.h"
#include "link/sim/SimBox.h"

namespace oriole {

class CSimDriver final : public IWriterDriver {
public:
    explicit CSimDriver(std::shared_ptr<sim::CSimBox> box);
    // A box of its own on the system clock, for "--writer=sim:...".
    static std::unique_ptr<CSimDriver> WithOwnBox(const sim::SimConfig& config);

    sim::CSimBox& Box() { return *m_box; }

    DriverStatus OpenByDescription(std::string_view description) override;
    DriverStatus SetLatencyTimer(uint8_t milliseconds) override;
    DriverStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override;
    DriverStatus SetBaudRate(uint32_t baud) override;
    DriverStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override;
    DriverStatus SetDtr() override;
    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override;
    DriverStatus GetQueueStatus(uint32_t& queued) override;
    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override;
    DriverStatus PurgeReceive() override;
    DriverStatus Close() override;
    void WaitForData(std::chrono::milliseconds timeout) override;

private:
    DriverStatus Check(sim::DriverCall call) const;

    std::shared_ptr<sim::CSimBox> m_box;
    bool m_open = false;
};

}  // namespace oriole
