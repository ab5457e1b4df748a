#pragma once
// The core on a simulated writer box and a virtual clock: a host that records
// messages and progress windows and can press Cancel at a chosen bar
// position, and helpers that write image files.

#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/Clock.h"
#include "link/SimDriver.h"
#include "ops/MainWindowAdapter.h"
#include "ops/OrioleCore.h"
#include "support/RecordingHost.h"

namespace oriole::test {

struct ProgressRecord {
    std::string caption;
    std::string message;
    int32_t lower = 0;
    int32_t upper = 0;
    std::vector<int32_t> positions;
    bool destroyed = false;
};

class OpsHost : public IOperationHost {
public:
    explicit OpsHost(IClock& clock) : m_clock(clock) {}

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        return recorder.ShowMessage(kind, text, defaultAnswer);
    }
    void PumpOneMessage() override;
    IClock& Clock() override { return m_clock; }
    void Sleep(std::chrono::milliseconds pause) override {
        sleeps.push_back(pause);
        m_clock.SleepFor(pause);
    }
    void ShowWaitCursor() override {}
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper, std::string_view caption,
                                                 std::string_view message, int32_t& abort) override;

    // Presses Cancel in the next progress window: at the first pump after it
    // shows (pos -1) or at the first pump after its bar reached `pos`.
    void CancelAt(int32_t pos) { m_cancelAt = pos; }
    void RequestCancel() { m_cancelPending = true; }

    std::vector<std::string> Texts() const { return recorder.Texts(); }
    const ProgressRecord& LastProgress() const { return *progress.back(); }

    RecordingHost recorder;
    std::vector<std::shared_ptr<ProgressRecord>> progress;
    std::vector<std::chrono::milliseconds> sleeps;
    std::function<void(int)> onPump;
    int pumps = 0;

private:
    class Progress;
    void OnPos(int32_t pos);

    IClock& m_clock;
    int32_t* m_abort = nullptr;
    std::optional<int32_t> m_cancelAt;
    bool m_cancelPending = false;
};

// A device memory as the file gives it: -1 where the file has no data.
using Cells = std::vector<int16_t>;

// S3 records for every run of data in `cells`, then the end record.
std::string SRecordFile(const Cells& cells);

struct OpsRig {
    // The box holds the device `simDevice` ("" for an empty socket); the core
    // detects it (auto-detect on) unless `selected` names the device to
    // select with auto-detect off.
    explicit OpsRig(const std::string& simDevice = "ATmega328P", const char* selected = nullptr);
    // The box as the option text after "sim:" makes it (timing off unless it says).
    OpsRig(const sim::SimConfig& config, const char* selected);

    std::vector<std::string> Lines() const { return box->Transcript().Lines(); }
    // What the host sent, one line per send.
    std::vector<std::string> Sent() const;
    void ClearLog();
    std::vector<std::string> Texts() const { return host.Texts(); }
    sim::CSimTarget& Target() { return box->Target(); }
    std::string WriteText(const std::string& name, const std::string& content);
    std::string WriteImage(const std::string& name, const Cells& cells) {
        return WriteText(name, SRecordFile(cells));
    }
    int Opens() const { return box->CallCount(sim::DriverCall::Open); }
    int Closes() const { return box->CallCount(sim::DriverCall::Close); }

    CVirtualClock clock;
    std::shared_ptr<sim::CSimBox> box;
    OpsHost host;
    COrioleCore core;
    CMainWindowAdapter window{core};
    QTemporaryDir dir;
};

inline int Row(const char* name) { return FindDeviceByName(name); }

// The three fuse bytes of a read, one by one.
inline bool ReadFuseBytes(COrioleCore& core, uint8_t& ext, uint8_t& high, uint8_t& low, bool timing) {
    FuseBytes fuses;
    const bool read = core.ReadFuses(fuses, timing);
    ext = fuses.ext;
    high = fuses.high;
    low = fuses.low;
    return read;
}

// The begin sequence without timing and detection, and the close.
inline const std::vector<std::string> kEnter = {"> 41 00", "< 53"};
inline const std::vector<std::string> kLeave = {"> 42", "< 82"};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts);

// The transcript without the timing requests and their acknowledges.
std::vector<std::string> WithoutTiming(const std::vector<std::string>& lines);

}  // namespace oriole::test
