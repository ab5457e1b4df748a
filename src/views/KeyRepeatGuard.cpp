#include "views/KeyRepeatGuard.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>

namespace oriole {
namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Keys that press a button: Enter everywhere, the space bar on buttons.
bool IsGuarded(const QObject* receiver, int key) {
    if (IsEnter(key)) return true;
    return (key == Qt::Key_Space || key == Qt::Key_Select) &&
           qobject_cast<const QAbstractButton*>(receiver) != nullptr;
}

}  // namespace

bool CKeyRepeatGuard::Drops(const QObject* receiver, const QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (!IsGuarded(receiver, key->key())) return false;
    if (type == QEvent::KeyRelease) {
        // Events made by the program itself carry no time.
        if (key->timestamp() != 0) m_lastRelease.insert(key->key(), key->timestamp());
        return false;
    }
    if (key->isAutoRepeat()) return true;
    const auto last = m_lastRelease.constFind(key->key());
    return key->timestamp() != 0 && last != m_lastRelease.constEnd() && *last == key->timestamp();
}

bool CKeyRepeatGuard::eventFilter(QObject* watched, QEvent* event) {
    if (Drops(watched, event)) {
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void GuardAgainstRepeatedKeys() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->findChild<CKeyRepeatGuard*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new CKeyRepeatGuard(app));
}

}  // namespace oriole
