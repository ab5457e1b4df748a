#include "views/KeyRepeatGuard.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace oriole {

bool CKeyRepeatGuard::IsRepeatedEnter(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
}

bool CKeyRepeatGuard::eventFilter(QObject* watched, QEvent* event) {
    if (IsRepeatedEnter(event)) {
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void GuardAgainstRepeatedEnter() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->findChild<CKeyRepeatGuard*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new CKeyRepeatGuard(app));
}

}  // namespace oriole
