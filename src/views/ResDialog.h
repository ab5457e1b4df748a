#pragma once
// A dialog made from a resource table, and the plain area made from a child
// template. Both own their controls and reach them by id (CControls).

#include <QDialog>
#include <QWidget>

#include "res/DialogTypes.h"
#include "views/Controls.h"

namespace oriole {

class CResDialog : public QDialog, public CControls {
    Q_OBJECT
public:
    explicit CResDialog(const res::DialogDef& dialog, QWidget* parent = nullptr);

    [[nodiscard]] const res::DialogDef& Resource() const { return m_dialog; }

protected:
    // Enter and Escape, as the dialog manager sends them: Enter presses the
    // default button, else the OK command; Escape the Cancel command. Both do
    // nothing in dialogs whose table says they ignore these keys.
    void keyPressEvent(QKeyEvent* event) override;
    // Moves a secondary dialog down once, where its table says so.
    void showEvent(QShowEvent* event) override;

    // The OK and Cancel commands: press the button with that id when the
    // dialog has one, else accept or reject the dialog.
    virtual void OnOk();
    virtual void OnCancel();

private:
    const res::DialogDef& m_dialog;
    bool m_bMovedDown = false;
};

class CResWidget : public QWidget, public CControls {
    Q_OBJECT
public:
    explicit CResWidget(const res::DialogDef& dialog, QWidget* parent = nullptr);
};

}  // namespace oriole
