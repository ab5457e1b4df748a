#pragma once
// Works with a dialog that a click opens modally: the body runs inside the
// dialog's own event loop and must end the dialog.

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <functional>

namespace oriole::test {

// Clicks `opener`; when that opens a modal dialog of type T, runs `body` on
// it. False when no such dialog came up (the body did not run).
template <class T>
bool WithModal(QAbstractButton* opener, const std::function<void(T&)>& body) {
    bool ran = false;
    // Owned here, so that a click that opens nothing leaves no timer behind.
    // It keeps looking: the opener's own waits (a device check) run events
    // before the dialog is there.
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dlg == nullptr || ran) return;
        timer.stop();
        ran = true;
        body(*dlg);
        // A body that failed half-way still ends the dialog.
        if (dlg->isVisible()) dlg->done(-1);
    });
    timer.start();
    opener->click();
    return ran;
}

}  // namespace oriole::test
