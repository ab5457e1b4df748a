#pragma once
// The tool's host on a terminal, for every command: information to standard
// output, errors and warnings to standard error, exactly as the program's
// texts stand; questions answered by --yes, asked on a terminal, or answered
// No without one. For the device operations also a progress bar on standard
// error when it is a terminal, Ctrl-C while it pumps as the progress
// window's Cancel (CliInterrupt.h). The link's time-outs run on the system
// clock, the host's default.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "host/OperationHost.h"
#include "link/LinkState.h"
#include "link/WireTrace.h"

namespace oriole {
class COrioleCore;
}

namespace oriole::cli {

class CliOperationHost final : public IOperationHost {
public:
    explicit CliOperationHost(bool assumeYes);
    ~CliOperationHost() override;
    CliOperationHost(const CliOperationHost&) = delete;
    CliOperationHost& operator=(const CliOperationHost&) = delete;

    // The state whose abort flag Ctrl-C sets from now on.
    void Attach(CLinkState& state);
    // Information messages shown (the default) or left out (a quiet run).
    void SetInformationShown(bool shown) { m_bShowInformation = shown; }
    // Where information goes: standard output (the default), or standard
    // error where standard output carries only data (the avrdude form).
    void SetInformationStream(FILE* out) { m_information = out; }

    // How many errors and warnings were shown so far; lets a command add a
    // line of its own only where nothing said what went wrong.
    int FailureCount() const { return m_nFailures; }
    // The run's wire trace, whose failure Failed and Finished report.
    void SetTrace(std::shared_ptr<CWireTrace> trace) { m_trace = std::move(trace); }
    const CWireTrace* Trace() const { return m_trace.get(); }
    // The user pressed Ctrl-C during an operation.
    bool WasCancelled() const { return m_state != nullptr && m_state->m_nAbort == kAbortCancelled; }

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
    FILE* m_information = stdout;
    CLinkState* m_state = nullptr;
    Bar* m_pBar = nullptr;  // the bar on screen, if any
    int m_nFailures = 0;
    std::shared_ptr<CWireTrace> m_trace;
};

// The link as a command-line run sets it up.
struct LinkSetup {
    std::string writer = "auto";
    uint32_t clock = 1000000;
    int32_t usbTiming = 0;
    int32_t dataSpeed = 1;
    std::string trace;  // --trace FILE: every driver call goes there
};

// The core of a command-line run: the user's writer spec, the link settings,
// and the host attached to its link state.
// False, having said why, when the trace file cannot be opened.
[[nodiscard]] bool SetUpCore(COrioleCore& core, CliOperationHost& host, const LinkSetup& link);

// The exit status of a run that failed: 1, with a line of its own when no
// message said what went wrong (a cancel says so).
int Failed(const CliOperationHost& host);
// The exit status of a run whose steps all succeeded: 0 once standard output
// has taken everything written to it, else 1 with the reason.
int Finished(const CliOperationHost& host);

}  // namespace oriole::cli
