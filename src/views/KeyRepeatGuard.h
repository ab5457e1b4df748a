#pragma once
// A held key repeats. The first press of Enter does what the window in front
// says (closes a result box, answers a question, presses a button); the
// repeats would then reach whatever has the focus next, typically the
// operation button the user just ran, and run it again. The guard drops
// repeated presses of Enter (anywhere: message boxes and file dialogs too)
// and of the space bar on buttons; a deliberate press is never touched.
//
// Qt marks a repeat with QKeyEvent::isAutoRepeat(), but on X11 it only
// recognises one when the server's release and the next press are already
// both queued; under load (and always under Xvfb) most repeats arrive marked
// as fresh presses, each after a release. The server gives both events of a
// repeat the same time stamp, while a person cannot release and press a key
// within the same millisecond; so a press stamped with the time of the
// key's last release is a repeat as well.

#include <QHash>
#include <QObject>

class QEvent;

namespace oriole {

class CKeyRepeatGuard final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether the guard drops `event` sent to `receiver`; remembers releases.
    bool Drops(const QObject* receiver, const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHash<int, quint64> m_lastRelease;  // key -> time stamp of its last release
};

// Installs one guard on the running application (it owns the guard).
void GuardAgainstRepeatedKeys();

}  // namespace oriole
