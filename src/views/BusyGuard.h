#pragma once
// One command at a time. The operations let clicks through while they wait
// for the writer (the event pump runs inside them), so a second command
// started from inside the first would open the writer link again in the
// middle of the running transfer. Every window and dialog that runs
// operations sends its commands through one of these: a click that arrives
// while a command runs is dropped.

#include <QCursor>
#include <QGuiApplication>
#include <functional>

namespace oriole {

class CBusyGuard {
public:
    enum class Cursor { Arrow, Wait };

    // Runs `action` unless an action of this guard is running, with the
    // wait cursor when asked. False when the click was dropped.
    bool Run(const std::function<void()>& action, Cursor cursor = Cursor::Arrow) {
        if (m_bBusy) return false;
        m_bBusy = true;
        if (cursor == Cursor::Wait) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        action();
        if (cursor == Cursor::Wait) QGuiApplication::restoreOverrideCursor();
        m_bBusy = false;
        return true;
    }

    [[nodiscard]] bool IsBusy() const { return m_bBusy; }
    // Busy without an action: a view that has not finished opening.
    void SetBusy(bool busy) { m_bBusy = busy; }

private:
    bool m_bBusy = false;
};

}  // namespace oriole
