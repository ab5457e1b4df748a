// The save dialog with its format list, and the memory views' way through it.

#include "views/FileSaveDlg.h"

#include <gtest/gtest.h>

#include "image/ImageWriter.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "QtApp.h"
#include "res/Texts.h"
#include "views/FileFilters.h"
#include "views/ResDialog.h"

namespace oriole {
namespace {

const QString kFlashFilter = QStringLiteral(
    "FLASH ファイル (*.hex;*.srec;*.mot)|*.hex;*.srec;*.mot|すべてのファイル (*.*)|*.*|");

class FileSaveDlgTest : public testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureQtApp(); }

    // The user moves one entry down the format list with the keyboard.
    static void PickNextFormat(CFileSaveDlg& dialog) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(dialog.FormatList(), &down);
    }

    // Runs `act` on the save dialog once it is open and waiting for the user.
    static void WhenOpen(std::function<void(CFileSaveDlg&)> act) {
        QTimer::singleShot(0, [act] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<CFileSaveDlg*>(w);
                if (dialog && dialog->isVisible()) {
                    act(*dialog);
                    return;
                }
            }
            ADD_FAILURE() << "no save dialog open";
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
    }

    QTemporaryDir dir;
};

TEST_F(FileSaveDlgTest, TheFormatListHoldsTheFormatsInOrder) {
    CFileSaveDlg dialog(kFlashFilter, dir.path());
    QComboBox* list = dialog.FormatList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(SaveFormatCode(ImageFormat::Binary)), QStringLiteral("バイナリ フォーマット"));
    EXPECT_EQ(list->itemText(0), QString::fromUtf8(text::kSaveFormatIntelHex));
    EXPECT_EQ(list->itemText(1), QString::fromUtf8(text::kSaveFormatSRecord));
    EXPECT_EQ(list->itemText(0), QStringLiteral("インテル HEXファイル フォーマット"));
    EXPECT_EQ(list->itemText(1), QStringLiteral("モトローラ Sレコード フォーマット"));
    EXPECT_EQ(dialog.GetFormat(), 0);
    EXPECT_EQ(list->currentIndex(), 0);
}

TEST_F(FileSaveDlgTest, SetFormatPreselectsAndTheUsersPickIsStored) {
    CFileSaveDlg dialog(kFlashFilter, dir.path());
    dialog.SetFormat(1);
    EXPECT_EQ(dialog.FormatList()->currentIndex(), 1);
    EXPECT_EQ(dialog.GetFormat(), 1);
    dialog.SetFormat(0);
    EXPECT_EQ(dialog.FormatList()->currentIndex(), 0);
    PickNextFormat(dialog);
    EXPECT_EQ(dialog.GetFormat(), 1);

    // A stored number without an entry: no selection, the number is kept
    // until the user picks.
    dialog.SetFormat(5);
    EXPECT_EQ(dialog.FormatList()->currentIndex(), -1);
    EXPECT_EQ(dialog.GetFormat(), 5);
    PickNextFormat(dialog);
    EXPECT_EQ(dialog.GetFormat(), 0);
}

TEST_F(FileSaveDlgTest, FiltersAndStartFolderComeFromTheCaller) {
    CFileSaveDlg dialog(kFlashFilter, dir.path());
    const QStringList expected = {QStringLiteral("FLASH ファイル (*.hex *.srec *.mot)"),
                                  QStringLiteral("すべてのファイル (*)")};
    EXPECT_EQ(dialog.nameFilters(), expected);
    EXPECT_EQ(dialog.nameFilters(), NameFiltersFromPipeList(kFlashFilter));
    EXPECT_EQ(dialog.selectedNameFilter(), expected[0]);
    EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));

    EXPECT_EQ(SaveStartFolder(QString()), QDir::homePath());
    EXPECT_EQ(SaveStartFolder(QStringLiteral("  ")), QDir::homePath());
    EXPECT_EQ(SaveStartFolder(dir.filePath(QStringLiteral("blink.hex"))), dir.path());
}

TEST_F(FileSaveDlgTest, TheFormatListShowsUnderTheFileTypeList) {
    CFileSaveDlg dialog(kFlashFilter, dir.path());
    dialog.show();
    QApplication::processEvents();
    QComboBox* list = dialog.FormatList();
    ASSERT_TRUE(list->isVisible());
    const QRect listRect(list->mapTo(&dialog, QPoint(0, 0)), list->size());
    EXPECT_TRUE(dialog.rect().contains(listRect));

    // The dialog's own list of file types, found by its contents.
    QComboBox* types = nullptr;
    for (QComboBox* c : dialog.findChildren<QComboBox*>()) {
        if (c->count() == 2 && c->itemText(0) == dialog.nameFilters().value(0)) types = c;
    }
    ASSERT_NE(types, nullptr);
    const QRect typesRect(types->mapTo(&dialog, QPoint(0, 0)), types->size());
    EXPECT_GE(listRect.top(), typesRect.bottom());
    EXPECT_EQ(listRect.left(), typesRect.left());

    // The label is shown beside the list, and its mnemonic leads to it.
    QLabel* label = nullptr;
    for (const CControls::Entry& e : dialog.FormatArea().All())
        if (auto* l = qobject_cast<QLabel*>(e.widget)) label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), QStringLiteral("フォーマット(&F):"));
    EXPECT_EQ(label->buddy(), list);
    const QRect labelRect(label->mapTo(&dialog, QPoint(0, 0)), label->size());
    EXPECT_LT(labelRect.right(), listRect.left());
    EXPECT_TRUE(labelRect.intersects(QRect(0, listRect.top(), dialog.width(), listRect.height())));
}

TEST_F(FileSaveDlgTest, CancelLeavesTheCallersFormatAndPath) {
    int format = 0;
    QString path = QStringLiteral("unchanged");
    WhenOpen([](CFileSaveDlg& dialog) {
        EXPECT_EQ(dialog.FormatList()->currentIndex(), 0);
        PickNextFormat(dialog);
        EXPECT_EQ(dialog.GetFormat(), 1);
        dialog.reject();
    });
    EXPECT_FALSE(AskSavePath(nullptr, kFlashFilter, QString(), format, path));
    EXPECT_EQ(format, 0);
    EXPECT_EQ(path, QStringLiteral("unchanged"));
}

TEST_F(FileSaveDlgTest, OkGivesThePathAndThePickedFormat) {
    const QString last = dir.filePath(QStringLiteral("last.hex"));
    const QString chosen = dir.filePath(QStringLiteral("out.mot"));
    int format = 1;
    QString path;
    WhenOpen([&](CFileSaveDlg& dialog) {
        EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        EXPECT_EQ(dialog.FormatList()->currentIndex(), 1);
        QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
        QApplication::sendEvent(dialog.FormatList(), &up);
        dialog.selectFile(chosen);
        // The dialog's own Save button, as the user presses it.
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        for (QAbstractButton* b : buttons->buttons())
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) b->click();
    });
    ASSERT_TRUE(AskSavePath(nullptr, kFlashFilter, last, format, path));
    EXPECT_EQ(format, 0);
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).canonicalPath(),
              QDir(dir.path()).canonicalPath());
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("out.mot"));
}

}  // namespace
}  // namespace oriole
