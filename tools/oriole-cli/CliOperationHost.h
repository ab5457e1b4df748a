#pragma once
// The device operations' host on a terminal: information to standard output,
// errors and warnings to standard error, questions answered by --yes, asked
// on a terminal, or answered No without one; a progress bar on standard
// error when it is a terminal; Ctrl-C while it pumps as the progress
// window's Cancel (CliInterrupt.h); the one-second timer driven by the
// system clock from the pump.

#include <optional>

#include "host/Clock.h"
#include "host/OperationHost.h"
#include "link/LinkState.h"

namespace oriole::cli {

class CliOperationHost final : public IOperationHost {
public:
    explicit CliOperationHost(bool assumeYes);
    ~CliOperationHost() override;
    CliOperationHost(const CliOperationHost&) = delete;
    CliOperationHost& operator=(const CliOperationHost&) = delete;

    // The state whose time-out counter the timer counts down and whose abort
    // flag Ctrl-C sets.
    void Attach(CLinkState& state) { m_state = &state; }
    // Information messages shown (the default) or left out (a quiet run).
    void SetInformationShown(bool shown) { m_bShowInformation = shown; }

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override;
    void PumpOneMessage() override;
    void Sleep(std::chrono::milliseconds pause) override;
    void ShowWaitCursor() override {}
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper, std::string_view caption,
                                                 std::string_view message, int32_t& abort) override;

private:
    class Bar;
    void ClearBar();

    bool m_bAssumeYes;
    bool m_bTerminal;      // standard error is a terminal: draw the bar
    bool m_bAskable;       // standard input is a terminal: ask questions
    bool m_bShowInformation = true;
    CLinkState* m_state = nullptr;
    CSecondTicker m_ticker;
    Bar* m_pBar = nullptr;  // the bar on screen, if any
};

}  // namespace oriole::cli
