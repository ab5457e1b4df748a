#include "views/ResDialog.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPushButton>
#include <algorithm>

#include "views/DialogBuilder.h"

namespace oriole {
namespace {

Qt::WindowFlags FlagsFor(const res::DialogDef& dialog) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (dialog.style & res::dlg::kCaption) flags |= Qt::WindowTitleHint;
    if (dialog.style & res::dlg::kSysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

}  // namespace

CResDialog::CResDialog(const res::DialogDef& dialog, QWidget* parent)
    : QDialog(parent, FlagsFor(dialog)), m_dialog(dialog) {
    CDialogBuilder(dialog).Build(this, *this);
    // Without a default button of its own, a dialog's OK button looks the
    // default, since Enter presses it.
    const bool hasDefault =
        std::any_of(dialog.controls.begin(), dialog.controls.end(),
                    [](const res::ControlDef& c) { return c.kind == res::Kind::DefPushButton; });
    if (auto* ok = qobject_cast<QPushButton*>(Button(res::kIdOk)); ok && !hasDefault)
        ok->setDefault(true);
}

void CResDialog::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool escape = key == Qt::Key_Escape;
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((!enter && !escape) || mods != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    // Enter on a command button presses that button, in every dialog.
    if (enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && !focused->isCheckable() && focused->isEnabled()) {
            focused->click();
            return;
        }
    }
    if (m_dialog.style & res::dlg::kIgnoreEnterEscape) return;
    if (escape) {
        OnCancel();
        return;
    }
    // A default button of the table takes Enter before the OK command.
    for (const res::ControlDef& def : m_dialog.controls) {
        if (def.kind != res::Kind::DefPushButton) continue;
        if (QAbstractButton* b = Button(def.id); b && b->isVisible()) {
            if (b->isEnabled()) b->click();
            return;
        }
    }
    OnOk();
}

void CResDialog::OnOk() {
    if (QAbstractButton* b = Button(res::kIdOk)) {
        b->click();  // does nothing while the button is disabled
        return;
    }
    accept();
}

void CResDialog::OnCancel() {
    if (QAbstractButton* b = Button(res::kIdCancel)) {
        b->click();
        return;
    }
    reject();
}

void CResDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_bMovedDown || !(m_dialog.style & res::dlg::kMoveDownOnOpen)) return;
    m_bMovedDown = true;
    move(x(), y() + res::kMoveDownPixels);
}

CResWidget::CResWidget(const res::DialogDef& dialog, QWidget* parent) : QWidget(parent) {
    CDialogBuilder(dialog).Build(this, *this);
}

}  // namespace oriole
