#include "CliOperationHost.h"

#include "avrdude/Requests.h"
#include "CliCommon.h"
#include "ops/OrioleCore.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <iostream>
#include <string>

#include "CliInterrupt.h"

namespace oriole::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

class CliOperationHost::Bar final : public IProgress {
public:
    Bar(CliOperationHost& host, std::string caption) : m_host(host), m_caption(std::move(caption)) {}
    ~Bar() override {
        if (m_host.m_pBar == this) {
            m_host.ClearBar();
            m_host.m_pBar = nullptr;
        }
    }
    void SetRange(int32_t lower, int32_t upper) override {
        m_lower = lower;
        m_upper = upper;
        Draw();
    }
    void SetPos(int32_t pos) override {
        m_pos = pos;
        Draw();
    }
    void SetMessage(std::string_view text) override {
        m_message = text;
        Draw();
    }
    void Draw() const {
        if (!m_host.m_bTerminal) return;
        const int64_t span = std::max<int64_t>(int64_t{m_upper} - m_lower, 1);
        const int64_t done = std::clamp<int64_t>(int64_t{m_pos} - m_lower, 0, span);
        const auto filled = static_cast<int>(done * kBarWidth / span);
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(kBarWidth - filled), '.');
        std::fprintf(stderr, "\r\033[K%s [%s] %3d%%", m_message.c_str(), bar.c_str(),
                     static_cast<int>(done * 100 / span));
        std::fflush(stderr);
    }

private:
    CliOperationHost& m_host;
    std::string m_caption;
    std::string m_message;
    int32_t m_lower = 0;
    int32_t m_upper = 0;
    int32_t m_pos = 0;
};

CliOperationHost::CliOperationHost(bool assumeYes)
    : m_bAssumeYes(assumeYes),
      m_bTerminal(isatty(STDERR_FILENO) != 0),
      m_bAskable(isatty(STDIN_FILENO) != 0) {}

CliOperationHost::~CliOperationHost() = default;

void CliOperationHost::Attach(CLinkState& state) { m_state = &state; }

void CliOperationHost::ClearBar() {
    if (m_bTerminal && m_pBar != nullptr) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
}

Answer CliOperationHost::ShowMessage(MsgKind kind, std::string_view text, Answer /*defaultAnswer*/) {
    ClearBar();
    const std::string line(text);
    Answer answer = Answer::Ok;
    switch (kind) {
        case MsgKind::Information:
            if (!m_bShowInformation) break;
            std::fprintf(m_information, "%s\n", line.c_str());
            std::fflush(m_information);
            break;
        case MsgKind::Error:
        case MsgKind::Warning:
            ++m_nFailures;
            std::fprintf(stderr, "%s\n", line.c_str());
            break;
        case MsgKind::Question:
            if (m_bAssumeYes || !m_bAskable) {
                answer = m_bAssumeYes ? Answer::Yes : Answer::No;
                std::fprintf(stderr, "%s [%s]\n", line.c_str(), m_bAssumeYes ? "yes" : "no");
                break;
            }
            std::fprintf(stderr, "%s [y/N] ", line.c_str());
            std::fflush(stderr);
            {
                std::string reply;
                std::getline(std::cin, reply);
                answer = (reply == "y" || reply == "Y" || reply == "yes") ? Answer::Yes : Answer::No;
            }
            break;
    }
    if (m_pBar != nullptr) m_pBar->Draw();
    return answer;
}

void CliOperationHost::PumpOneMessage() {
    if (m_state == nullptr) return;
    NotePump();
    if (TakeCancel()) m_state->m_nAbort = kAbortCancelled;  // as the progress window's Cancel
}

void CliOperationHost::Sleep(std::chrono::milliseconds pause) { SystemClock().SleepFor(pause); }

std::unique_ptr<IProgress> CliOperationHost::CreateProgressDlg(int32_t lower, int32_t upper,
                                                               std::string_view caption,
                                                               std::string_view message, int32_t& /*abort*/) {
    auto bar = std::make_unique<Bar>(*this, std::string(caption));
    m_pBar = bar.get();
    bar->SetRange(lower, upper);
    bar->SetMessage(message);
    return bar;
}

bool SetUpCore(COrioleCore& core, CliOperationHost& host, const LinkSetup& link) {
    host.Attach(core.LinkState());
    // A file's format is told by its content, whatever its name, value
    // lists of the terminal's data items included.
    core.SetLoadRules(true, false);
    core.SetValueListParser(avrdude::DataItemParser());
    if (!link.trace.empty()) {
        std::string error;
        std::shared_ptr<CWireTrace> trace = CWireTrace::Open(link.trace, error);
        if (!trace) {
            host.ShowMessage(MsgKind::Error, "トレースファイルを開けません: " + link.trace + " (" + error + ")",
                             Answer::Ok);
            return false;
        }
        trace->Remark("oriole-cli wire trace");
        core.SetTrace(trace);
        host.SetTrace(std::move(trace));
    }
    core.SetWriterSpec(link.writer, WriterSpecSource::User);
    CLinkState& state = core.LinkState();
    state.m_nSysFreq = link.clock;
    state.m_nUsbTiming = link.usbTiming;
    state.m_nDataSpeed = link.dataSpeed;
    return true;
}

namespace {

// A trace that stopped early is said once, at the end of the run.
void ReportTrace(const CliOperationHost& host) {
    if (host.Trace() != nullptr && !host.Trace()->Failure().empty())
        std::fprintf(stderr, "oriole-cli: トレースは途中で止まりました: %s\n", host.Trace()->Failure().c_str());
}

}  // namespace

int Failed(const CliOperationHost& host) {
    ReportTrace(host);
    if (host.WasCancelled())
        std::fprintf(stderr, "oriole-cli: 中断しました。\n");
    else if (host.FailureCount() == 0)
        std::fprintf(stderr, "oriole-cli: 処理に失敗しました。\n");
    return kExitFailed;
}

int Finished(const CliOperationHost& host) {
    ReportTrace(host);
    // A full disk or a closed pipe behind standard output loses what was
    // printed: that is not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "oriole-cli: 標準出力に書き込めません: %s\n", std::strerror(errno));
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace oriole::cli
