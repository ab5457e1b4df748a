// The hexadecimal key filter in front of a real edit box.

#include "views/HexEditFilter.h"

#include <gtest/gtest.h>

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "QtApp.h"
#include "base/HexKeyFilter.h"

namespace oriole {
namespace {

class HexEditFilterTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }

    void Type(QLineEdit& edit, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(&edit, &press);
        }
    }
    void Press(QLineEdit& edit, int key, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(&edit, &press);
    }
};

TEST_F(HexEditFilterTest, TypedCharactersGoThroughTheFilter) {
    struct Row {
        int limit;
        const char* preset;
        bool selectAll;
        const char* typed;
        const char* expected;
    };
    const Row rows[] = {
        {kCalibValueChars, "", false, "1a", "1A"},
        {kCalibValueChars, "", false, "1a7", "1A"},    // a third character is dropped
        {kCalibValueChars, "", false, "xg-Z f", "F"},  // others dropped
        {kCalibValueChars, "FF", true, "c", "C"},      // typing replaces the selection
        {kCalibValueChars, "FF", true, "cd9", "CD"},
        {kCalibAddressChars, "", false, "0fffe12", "0FFFE"},
        {kCalibAddressChars, "1", false, "abcdef", "1ABCD"},
    };
    for (const Row& r : rows) {
        QLineEdit edit;
        InstallHexKeyFilter(&edit, r.limit);
        edit.setText(QString::fromLatin1(r.preset));
        if (r.selectAll) edit.selectAll();
        Type(edit, QString::fromLatin1(r.typed));
        EXPECT_EQ(edit.text().toStdString(), r.expected) << r.preset << " + " << r.typed;
    }
}

TEST_F(HexEditFilterTest, EditingKeysStillWorkInAFullBox) {
    QLineEdit edit;
    InstallHexKeyFilter(&edit, kCalibValueChars);
    Type(edit, QStringLiteral("ab"));
    Press(edit, Qt::Key_Backspace, QStringLiteral("\b"));
    EXPECT_EQ(edit.text(), QStringLiteral("A"));
    Type(edit, QStringLiteral("5"));
    Press(edit, Qt::Key_Left);
    Press(edit, Qt::Key_Left);
    // Some systems give Delete the text DEL, which is no character for the box.
    Press(edit, Qt::Key_Delete, QStringLiteral("\x7f"));
    EXPECT_EQ(edit.text(), QStringLiteral("5"));
}

TEST_F(HexEditFilterTest, InputMethodTextIsFilteredToo) {
    QLineEdit edit;
    InstallHexKeyFilter(&edit, kCalibAddressChars);
    edit.setText(QStringLiteral("12"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("aｂ3x45"));
    QApplication::sendEvent(&edit, &commit);
    EXPECT_EQ(edit.text(), QStringLiteral("12A34"));
}

}  // namespace
}  // namespace oriole
