// Dialog behaviour from the table: Enter and Escape, and the move down of
// the secondary dialogs when they open.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPushButton>

#include "QtApp.h"
#include "res/Dialogs.h"
#include "views/ResDialog.h"

namespace oriole {
namespace {

class ResDialogTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }
};

void Press(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(target, &press);
}

// Counts clicks of one button.
struct ClickCounter {
    int clicks = 0;
    explicit ClickCounter(QAbstractButton* b) {
        QObject::connect(b, &QAbstractButton::clicked, [this] { ++clicks; });
    }
};

TEST_F(ResDialogTest, DialogsThatIgnoreEnterAndEscapeStayOpen) {
    for (const res::DialogDef* d : res::AllDialogs()) {
        if (!(d->style & res::dlg::kIgnoreEnterEscape)) continue;
        for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Escape)}) {
            CResDialog dialog(*d);
            dialog.setResult(-7);
            dialog.show();
            Press(&dialog, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            EXPECT_TRUE(dialog.isVisible()) << d->resourceId << " key " << key;
            EXPECT_EQ(dialog.result(), -7) << d->resourceId << " key " << key;
        }
    }
}

TEST_F(ResDialogTest, EnterAndEscapePressTheOkAndCancelButtons) {
    for (const res::DialogDef* d : {&res::kFuseDialog, &res::kLockDialog}) {
        CResDialog dialog(*d);
        dialog.show();
        ClickCounter ok(dialog.Button(res::kIdOk));
        ClickCounter cancel(dialog.Button(res::kIdCancel));
        EXPECT_TRUE(static_cast<QPushButton*>(dialog.Button(res::kIdOk))->isDefault());
        Press(&dialog, Qt::Key_Return);
        EXPECT_EQ(ok.clicks, 1) << d->resourceId;
        Press(&dialog, Qt::Key_Escape);
        EXPECT_EQ(cancel.clicks, 1) << d->resourceId;
        // A disabled OK button is not pressed, and the dialog does not close.
        dialog.Enable(res::kIdOk, false);
        Press(&dialog, Qt::Key_Return);
        EXPECT_EQ(ok.clicks, 1) << d->resourceId;
        EXPECT_TRUE(dialog.isVisible());
        // Modified keys are not the dialog's commands.
        Press(&dialog, Qt::Key_Escape, Qt::ShiftModifier);
        EXPECT_EQ(cancel.clicks, 1);
    }
}

TEST_F(ResDialogTest, WithoutOkAndCancelButtonsEnterAcceptsAndEscapeRejects) {
    {
        CResDialog dialog(res::kCalibDialog);
        dialog.show();
        Press(&dialog, Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    {
        CResDialog dialog(res::kCalibDialog);
        dialog.show();
        Press(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
}

TEST_F(ResDialogTest, EnterOnAFocusedCommandButtonPressesIt) {
    // Also where the dialog ignores Enter: the button, not the dialog, takes it.
    CResDialog main(res::kMainDialog);
    main.show();
    QAbstractButton* detect = main.Button(1046);
    ClickCounter clicks(detect);
    detect->setFocus();
    ASSERT_EQ(main.focusWidget(), detect);
    Press(&main, Qt::Key_Return);
    EXPECT_EQ(clicks.clicks, 1);
    EXPECT_TRUE(main.isVisible());

    // A bit toggle is no command: Enter on it is the dialog's OK command.
    CResDialog fuse(res::kFuseDialog);
    fuse.show();
    ClickCounter ok(fuse.Button(res::kIdOk));
    fuse.Button(1074)->setFocus();
    Press(&fuse, Qt::Key_Return);
    EXPECT_FALSE(fuse.IsChecked(1074));
    EXPECT_EQ(ok.clicks, 1);
}

constexpr res::ControlDef kDefaultControls[] = {
    {1, res::Kind::PushButton, "OK", {4, 4, 40, 14}, res::ctl::kTabStop},
    {5, res::Kind::DefPushButton, "Go", {50, 4, 40, 14}, res::ctl::kTabStop},
    {6, res::Kind::Edit, "", {4, 24, 80, 14}, res::ctl::kTabStop},
};
constexpr res::DialogDef kWithDefault{.resourceId = 901,
                                      .caption = "default",
                                      .width = 100,
                                      .height = 44,
                                      .fontFace = "MS UI Gothic",
                                      .fontPoints = 9,
                                      .style = res::dlg::kCaption,
                                      .controls = kDefaultControls};

TEST_F(ResDialogTest, ATableDefaultButtonTakesEnterBeforeTheOkCommand) {
    CResDialog dialog(kWithDefault);
    dialog.show();
    ClickCounter ok(dialog.Button(1));
    ClickCounter go(dialog.Button(5));
    dialog.Control(6)->setFocus();
    Press(&dialog, Qt::Key_Return);
    EXPECT_EQ(go.clicks, 1);
    EXPECT_EQ(ok.clicks, 0);
    EXPECT_FALSE(static_cast<QPushButton*>(dialog.Button(1))->isDefault());
}

TEST_F(ResDialogTest, SecondaryDialogsOpenThirtyEightPixelsLower) {
    QWidget owner;
    owner.setGeometry(100, 100, 900, 900);
    owner.show();
    for (const res::DialogDef* d : res::AllDialogs()) {
        if (d->style & res::dlg::kChild) continue;
        // The same table without the flag shows where the platform puts it.
        res::DialogDef unmoved = *d;
        unmoved.style &= ~res::dlg::kMoveDownOnOpen;
        CResDialog reference(unmoved, &owner);
        reference.show();
        CResDialog dialog(*d, &owner);
        dialog.show();
        const int expected = (d->style & res::dlg::kMoveDownOnOpen) ? res::kMoveDownPixels : 0;
        EXPECT_EQ(dialog.pos(), reference.pos() + QPoint(0, expected)) << d->resourceId;
        // Showing it again does not move it further.
        const QPoint first = dialog.pos();
        dialog.hide();
        dialog.show();
        EXPECT_EQ(dialog.pos(), first) << d->resourceId;
    }
}

}  // namespace
}  // namespace oriole
