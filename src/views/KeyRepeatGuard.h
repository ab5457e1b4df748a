#pragma once
// A held Enter key repeats. The first press does what the window in front
// says (closes a result box, answers a question, presses a button); the
// repeats would then reach whatever has the focus next, typically the
// operation button the user just ran, and run it again. The guard drops
// auto-repeated Enter presses everywhere in the application, message boxes
// and file dialogs included; a deliberate press is never touched. (The space
// bar needs no guard: Qt's buttons click on its release and ignore repeats.)

#include <QObject>

class QEvent;

namespace oriole {

class CKeyRepeatGuard final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether `event` is an auto-repeated press of Enter or Return.
    [[nodiscard]] static bool IsRepeatedEnter(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Installs one guard on the running application (it owns the guard).
void GuardAgainstRepeatedEnter();

}  // namespace oriole
