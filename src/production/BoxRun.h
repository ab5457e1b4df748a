#pragma once
// One box of a production run: its host (messages to the run's front end,
// named by the box; no questions asked; the system clock) and its loop (wait for a chip, program it, wait for it to be taken
// out), on the box's own thread.

#include <cstdint>
#include <string>
#include <vector>

#include "host/OperationHost.h"
#include "ops/OrioleCore.h"

namespace oriole {

class CProductionRun;
struct SerialNumber;
struct ChipRecord;
struct Job;

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
    enum class Removal { Removed, Swapped, Ended };
    // Bytes the chip just programmed holds, to tell it from the next one.
    struct MarkSpan {
        bool flash = true;
        uint32_t address = 0;
        std::vector<uint8_t> bytes;
    };
    // Asks the box once whether a chip is on the socket, without a word.
    Socket Probe();
    // Polls until a chip is on the socket; false when the run stops or the box fails.
    [[nodiscard]] bool WaitForChip();
    // Polls until the chip just programmed is gone: taken out, or put back
    // by another before a poll saw the socket empty.
    [[nodiscard]] Removal WaitForRemoval();
    // Reports a box that stopped answering; false.
    bool Lost();
    // Programs the chip now on the socket and records it. False when the
    // box went away before the chip was found (nothing recorded).
    [[nodiscard]] bool ProgramChip();
    // The mark of the chip just programmed: the serial's bytes and the
    // first bytes written, as a passed chip holds them, or as read back
    // from a failed one. Empty when nothing tells two chips apart.
    void TakeMark(const Job& chip, const std::vector<uint8_t>& serial, bool passed);
    // Reads the spans' bytes from the chip on the socket, without a word.
    [[nodiscard]] bool ReadMark(std::vector<MarkSpan>& spans);
    // The chip on the socket is not the one just programmed.
    [[nodiscard]] bool AnotherChip();

    CProductionRun& m_run;
    std::string m_writer;
    CBoxHost m_host;
    COrioleCore m_core;
    bool m_repeat = false;  // the box waits for each chip's removal and the next
    std::vector<MarkSpan> m_mark;
    std::vector<std::vector<uint8_t>> m_unlike;  // the last poll's bytes, when they were not the mark's
    int m_markDevice = 0;   // the device id of the chip just programmed; 0 unknown
};

}  // namespace oriole
