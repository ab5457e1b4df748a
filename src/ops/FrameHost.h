#pragma once
// Hosts that wrap another host: everything goes through to it, and each
// wrapper changes only what it must. The core hands its host on as a
// CFailureRecorder (every failure recorded); each operation frame sees it as
// a CFrameHost (messages counted, so that the closing B of a frame that has
// already reported its failure adds no second message for the same broken
// link).

#include <string>

#include "host/OperationHost.h"

namespace oriole {

class CForwardingHost : public IOperationHost {
public:
    explicit CForwardingHost(IOperationHost& outer) : m_outer(outer) {}

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        return m_outer.ShowMessage(kind, text, defaultAnswer);
    }
    void ShowFailure(Cause cause, MsgKind kind, std::string_view text) override {
        m_outer.ShowFailure(cause, kind, text);
    }
    void PumpOneMessage() override { m_outer.PumpOneMessage(); }
    IClock& Clock() override { return m_outer.Clock(); }
    void Sleep(std::chrono::milliseconds pause) override { m_outer.Sleep(pause); }
    void ShowWaitCursor() override { m_outer.ShowWaitCursor(); }
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper, std::string_view caption,
                                                 std::string_view message, int32_t& abort) override {
        return m_outer.CreateProgressDlg(lower, upper, caption, message, abort);
    }

private:
    IOperationHost& m_outer;
};

class CFrameHost final : public CForwardingHost {
public:
    using CForwardingHost::CForwardingHost;

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        if (m_bMuted && kind != MsgKind::Question) return Answer::Ok;
        ++m_nShown;
        return CForwardingHost::ShowMessage(kind, text, defaultAnswer);
    }
    void ShowFailure(Cause cause, MsgKind kind, std::string_view text) override {
        if (m_bMuted) return;
        ++m_nShown;
        CForwardingHost::ShowFailure(cause, kind, text);
    }

    int Shown() const { return m_nShown; }
    // From now on, when a message has been shown, further errors are dropped.
    void MuteAfterFailure() { m_bMuted = m_nShown > 0; }

private:
    int m_nShown = 0;
    bool m_bMuted = false;
};

// The failure an operation reported first, with its cause.
struct OpFailure {
    Cause cause = Cause::None;
    std::string text;
};

// Every failure recorded, so that a caller can ask what failed first (by
// cause) and whether anything failed at all. An error shown without a cause
// counts as Cause::Other.
class CFailureRecorder final : public CForwardingHost {
public:
    using CForwardingHost::CForwardingHost;

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        if (kind == MsgKind::Error) Note(Cause::Other, text);
        return CForwardingHost::ShowMessage(kind, text, defaultAnswer);
    }
    void ShowFailure(Cause cause, MsgKind kind, std::string_view text) override {
        Note(cause, text);
        CForwardingHost::ShowFailure(cause, kind, text);
    }

    // The first failure since the last Forget; Cause::None when there was none.
    const OpFailure& First() const { return m_first; }
    int Count() const { return m_nCount; }
    void Forget() {
        m_first = {};
        m_nCount = 0;
    }
    // Records a failure whose message the caller shows or has shown itself.
    void Note(Cause cause, std::string_view text) {
        ++m_nCount;
        if (m_first.cause == Cause::None) m_first = {cause, std::string(text)};
    }

private:
    OpFailure m_first;
    int m_nCount = 0;
};

}  // namespace oriole
