#pragma once
// Hosts, a device selector and a scripted driver for the writer link tests.

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "host/Clock.h"
#include "host/OperationHost.h"
#include "link/DeviceSelector.h"
#include "link/WriterDriver.h"
#include "support/RecordingHost.h"

namespace oriole::test {

// Records messages, pauses and pumps. The pump only runs `onPump`, as a
// dispatched event would (a Cancel click sets m_nAbort there); it never
// ticks. The link's time-outs run on the host's clock: the given one (a
// virtual one that the simulated box advances, or any other), moved on by
// `ticksPerPump` seconds at every pump where each pass is to stand for that
// many ticks (for real-time backends and drivers that take no time).
class TestOperationHost : public IOperationHost {
public:
    explicit TestOperationHost(IClock& clock) : m_clock(clock) {}

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        return recorder.ShowMessage(kind, text, defaultAnswer);
    }
    void PumpOneMessage() override {
        ++pumps;
        if (onPump) onPump(pumps);
        m_clock.Skip(std::chrono::seconds(ticksPerPump));
    }
    IClock& Clock() override { return m_clock; }
    void Sleep(std::chrono::milliseconds pause) override {
        sleeps.push_back(pause);
        m_clock.SleepFor(pause);
    }
    void ShowWaitCursor() override { ++waitCursors; }

    std::vector<std::string> Texts() const { return recorder.Texts(); }

    RecordingHost recorder;
    std::function<void(int)> onPump;
    int ticksPerPump = 0;  // > 0: every pump moves the link's clock on by that many seconds
    int pumps = 0;
    int waitCursors = 0;
    std::vector<std::chrono::milliseconds> sleeps;

private:
    // The given clock, ahead by what the pumps have skipped.
    class SkippingClock final : public IClock {
    public:
        explicit SkippingClock(IClock& base) : m_base(base) {}
        ClockTime Now() const override { return m_base.Now() + m_ahead; }
        void SleepUntil(ClockTime t) override { m_base.SleepUntil(t - m_ahead); }
        void Skip(ClockTime d) { m_ahead += d; }

    private:
        IClock& m_base;
        ClockTime m_ahead{0};
    };
    SkippingClock m_clock;
};

// The main window's device selection, reduced to its fields.
class TestSelector : public IDeviceSelector {
public:
    explicit TestSelector(int row = 0, bool detect = true)
        : device(row), pDevice(row), listItem(row), autoDetect(detect) {}

    const AVR_DEVICE& SelectedDevice() const override { return DeviceAt(pDevice); }
    bool IsAutoDetect() const override { return autoDetect; }
    bool SelectDetectedDevice(int row) override {
        if (row == rowMissingFromList) {
            listItem = 0;
            device = 0;
            return false;
        }
        if (row != device) ++clears;
        device = pDevice = listItem = row;
        return true;
    }
    void ForgetDetectedDevice() override { device = 0; }

    int device;        // m_nDevice
    int pDevice;       // row of m_pDevice
    int listItem;      // row shown in the list (0 = "(auto)")
    bool autoDetect;
    int clears = 0;    // ClearDeviceValues calls
    int rowMissingFromList = -1;
};

// A driver whose every answer the test sets: bytes become readable when the
// pump with the given number runs, statuses fail on request.
class ScriptedDriver : public IWriterDriver {
public:
    DriverStatus OpenByDescription(std::string_view) override { return Log("open", openStatus); }
    DriverStatus SetLatencyTimer(uint8_t) override { return Log("latency", 0); }
    DriverStatus SetFlowControl(uint16_t, uint8_t, uint8_t) override { return Log("flow", 0); }
    DriverStatus SetBaudRate(uint32_t) override { return Log("baud", 0); }
    DriverStatus SetDataCharacteristics(uint8_t, uint8_t, uint8_t) override { return Log("data", 0); }
    DriverStatus SetDtr() override { return Log("dtr", 0); }
    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override {
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        written = static_cast<uint32_t>(bytes.size());
        return Log("write", writeStatus);
    }
    DriverStatus GetQueueStatus(uint32_t& queued) override {
        queued = static_cast<uint32_t>(queue.size());
        return Log("queue", queueStatus);
    }
    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override {
        read = 0;
        while (read < bytes.size() && !queue.empty()) {
            bytes[read++] = queue.front();
            queue.pop_front();
        }
        readSizes.push_back(bytes.size());
        return Log("read", readStatus);
    }
    DriverStatus PurgeReceive() override {
        queue.clear();
        return Log("purge", 0);
    }
    DriverStatus Close() override { return Log("close", 0); }
    void WaitForData(std::chrono::milliseconds) override { ++waits; }

    // Makes bytes readable (call from a host's onPump).
    void Arrive(std::initializer_list<uint8_t> bytes) { queue.insert(queue.end(), bytes); }

    std::vector<std::string> calls;
    std::vector<uint8_t> sent;
    std::deque<uint8_t> queue;
    std::vector<size_t> readSizes;
    int waits = 0;
    DriverStatus openStatus = 0, writeStatus = 0, queueStatus = 0, readStatus = 0;

private:
    DriverStatus Log(const char* name, DriverStatus status) {
        calls.emplace_back(name);
        return status;
    }
};

}  // namespace oriole::test
