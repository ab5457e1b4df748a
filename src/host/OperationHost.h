#pragma once
// What a running device operation needs from its surroundings besides
// messages: a way to let pending events through while it waits for the writer
// (so Cancel and repaints keep working), the clock its time-outs run on, the
// fixed pauses of the wire protocol, the wait cursor, and the progress window
// of long transfers. The window, the command-line tool and the tests each
// supply their own.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "host/Clock.h"
#include "host/MessageHost.h"

namespace oriole {

// One progress window: a caption naming the memory, a one-line message, a bar
// and a Cancel button. The transfer drives it; destroying the object closes
// the window, whether the transfer succeeded, failed or was cancelled.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetRange(int32_t lower, int32_t upper) = 0;
    virtual void SetPos(int32_t pos) = 0;  // callers only ever move it forward
    virtual void SetMessage(std::string_view text) = 0;
};

// What a host without a progress window shows: nothing.
class CNoProgress final : public IProgress {
public:
    void SetRange(int32_t, int32_t) override {}
    void SetPos(int32_t) override {}
    void SetMessage(std::string_view) override {}
};

class IOperationHost : public IMessageHost {
public:
    // Handles at most one pending event (a click on Cancel, a repaint) and
    // returns. Never waits for an event to come.
    virtual void PumpOneMessage() = 0;

    // The clock a wait's time-out runs on: the system clock, unless the host
    // keeps time of its own (a virtual clock in tests). The link counts its
    // ticks from it whatever the pump does.
    virtual IClock& Clock() { return SystemClock(); }

    // Blocks for a fixed pause (100 ms, 10 ms, 1 ms between writer requests).
    virtual void Sleep(std::chrono::milliseconds pause) = 0;

    // Shows the wait cursor again; a dispatched event may have changed it.
    virtual void ShowWaitCursor() = 0;

    // Shows a progress window over the dialog in front, with `caption`,
    // `message` and a bar from `lower` to `upper`, and returns at once. Its
    // Cancel (and its close box) sets `abort` to 1; the transfer sees it at
    // its next test. `abort` outlives the window.
    virtual std::unique_ptr<IProgress> CreateProgressDlg(int32_t /*lower*/, int32_t /*upper*/,
                                                         std::string_view /*caption*/,
                                                         std::string_view /*message*/,
                                                         int32_t& /*abort*/) {
        return std::make_unique<CNoProgress>();
    }
};

}  // namespace oriole
