#pragma once
// One box of a production run: its host (messages to the run's front end,
// named by the box; no questions asked; the system clock) and its loop (wait for a chip, program it, wait for it to be taken
// out), on the box's own thread.

#include <cstdint>
#include <string>

#include "host/OperationHost.h"
#include "ops/OrioleCore.h"

namespace oriole {

class CProductionRun;
struct SerialNumber;
struct ChipRecord;

class CBoxHost final : public IOperationHost {
public:
    CBoxHost(const CProductionRun& run, std::string box);

    // Muted: messages are only kept (a poll for the chip), not shown.
    void SetMuted(bool muted) { m_bMuted = muted; }

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override;
    void PumpOneMessage() override {}
    void Sleep(std::chrono::milliseconds pause) override;
    void ShowWaitCursor() override {}
    // A transfer's bar: its percentage goes to the run's front end.
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper, std::string_view caption,
                                                 std::string_view message, int32_t& abort) override;

private:
    const CProductionRun& m_run;
    std::string m_box;
    bool m_bMuted = false;
};

class CBoxRun {
public:
    // `name` stands for the box in messages and the log.
    CBoxRun(CProductionRun& run, const std::string& writer, std::string name);
    void Run();

private:
    enum class Socket { Chip, Empty, BoxFailed };
    // Asks the box once whether a chip is on the socket, without a word.
    Socket Probe();
    // Polls until the socket is as wanted; false when the run stops or the box fails.
    [[nodiscard]] bool WaitFor(Socket wanted);
    // Programs the chip now on the socket and records it. False when the
    // box went away before the chip was found (nothing recorded).
    [[nodiscard]] bool ProgramChip();

    CProductionRun& m_run;
    std::string m_writer;
    CBoxHost m_host;
    COrioleCore m_core;
};

}  // namespace oriole
