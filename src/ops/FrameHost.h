#pragma once
// The host as one operation frame sees it: everything goes through to the
// real host, and the messages shown are counted, so that the closing B of a
// frame that has already reported its failure adds no second message for the
// same broken link.

#include "host/OperationHost.h"

namespace oriole {

class CFrameHost final : public IOperationHost {
public:
    explicit CFrameHost(IOperationHost& outer) : m_outer(outer) {}

    Answer ShowMessage(MsgKind kind, std::string_view text, Answer defaultAnswer) override {
        if (m_bMuted && kind != MsgKind::Question) return Answer::Ok;
        ++m_nShown;
        return m_outer.ShowMessage(kind, text, defaultAnswer);
    }
    void PumpOneMessage() override { m_outer.PumpOneMessage(); }
    IClock& Clock() override { return m_outer.Clock(); }
    void Sleep(std::chrono::milliseconds pause) override { m_outer.Sleep(pause); }
    void ShowWaitCursor() override { m_outer.ShowWaitCursor(); }
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper,
                                                 std::string_view caption,
                                                 std::string_view message,
                                                 int32_t& abort) override {
        return m_outer.CreateProgressDlg(lower, upper, caption, message, abort);
    }

    int Shown() const { return m_nShown; }
    // From now on, when a message has been shown, further errors are dropped.
    void MuteAfterFailure() { m_bMuted = m_nShown > 0; }

private:
    IOperationHost& m_outer;
    int m_nShown = 0;
    bool m_bMuted = false;
};

}  // namespace oriole
