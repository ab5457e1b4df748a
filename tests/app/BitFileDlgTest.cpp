// The file buttons of the fuse and lock bit dialogs: the file formats as the
// dialogs write and read them, the extension a bare name gets, the folder
// and filters offered, the remembered path, and the buttons after a failure.

#include <QAbstractButton>
#include <QDir>
#include <QFile>

#include "BitDlgRig.h"
#include "res/Texts.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

TEST(BitFileDlgTest, FuseFileRoundTrip) {
    BitDlgRig rig("ATmega328P");
    rig.app.box->Target().SetFuse(4, 0xFF);
    rig.app.box->Target().SetFuse(2, 0xD9);
    rig.app.box->Target().SetFuse(1, 0xE1);
    auto dlg = rig.OpenFuse();
    const QString path = rig.FilePath("board.fus");
    rig.AnswerFiles(path, 0);
    dlg->Button(fuse_dlg::kSaveFile)->click();
    EXPECT_EQ(ReadAll(path), QByteArray("FFD9E1\r\n"));

    // Loaded into a dialog showing other values: boxes and named bits follow.
    BitDlgRig other("none", QStringLiteral("ATmega328P"));
    auto second = other.OpenFuse();
    other.AnswerFiles(path, 0);
    second->Button(fuse_dlg::kLoadFile)->click();
    EXPECT_EQ(second->Column(fuse_dlg::kExt).Text(), "FF");
    EXPECT_EQ(second->Column(fuse_dlg::kHigh).Text(), "D9");
    EXPECT_EQ(second->Column(fuse_dlg::kLow).Text(), "E1");
    EXPECT_EQ(ColumnState(second->Column(fuse_dlg::kHigh)), "rrprrPPr");  // D9
    EXPECT_EQ(ColumnState(second->Column(fuse_dlg::kLow)), "rrrPPPPr");   // E1
}

// How a file's line splits into the three texts is ParseFuseFile's
// (tests/image/BitFilesTest.cpp); here the boxes and the bits show them.
TEST(BitFileDlgTest, FuseFileLinesAsTheyLoad) {
    BitDlgRig rig("none", QStringLiteral("ATmega328P"));
    auto dlg = rig.OpenFuse();
    const QString path = rig.FilePath("case.fus");
    WriteAll(path, "D9E1");
    rig.AnswerFiles(path, 0);
    dlg->Button(fuse_dlg::kLoadFile)->click();
    // Four characters: the low text is the last two. The extended byte has
    // three named bits on an ATmega328P: D9's 0 bits among them are pressed,
    // and each text is what the bits give (the bits the device lacks read 1,
    // SPIEN stays programmed).
    const char* const texts[] = {"F9", "C1", "E1"};
    for (int col = 0; col < fuse_dlg::kColumnCount; ++col)
        EXPECT_EQ(dlg->Column(static_cast<fuse_dlg::Column>(col)).Text(), texts[col]);
    EXPECT_EQ(ColumnState(dlg->Column(fuse_dlg::kExt)), ".....PPr");
    // SPIEN stays pressed, whatever a file says, and the text says so: what
    // the box shows is what the bits show and what a write sends.
    WriteAll(rig.FilePath("case.fus"), "FFFFFF");
    dlg->Button(fuse_dlg::kLoadFile)->click();
    EXPECT_TRUE(dlg->Column(fuse_dlg::kHigh).Button(5)->isChecked());
    for (int col = 0; col < fuse_dlg::kColumnCount; ++col) {
        const CBitColumn& column = dlg->Column(static_cast<fuse_dlg::Column>(col));
        EXPECT_EQ(column.TextValue(), column.Value()) << col;
    }
    EXPECT_EQ(dlg->Column(fuse_dlg::kHigh).Text(), "DF");
    Grab(*dlg, "fuse-file-ffffff.png");
}

TEST(BitFileDlgTest, LockFileHoldsTheTwoFiguresAlone) {
    BitDlgRig rig("ATmega8");
    auto dlg = rig.OpenLock();
    dlg->Column().Button(0)->click();
    dlg->Column().Button(1)->click();
    const QString path = rig.FilePath("board.loc");
    rig.AnswerFiles(path, 0);
    dlg->Button(lock_dlg::kSaveFile)->click();
    EXPECT_EQ(ReadAll(path), QByteArray("FC"));

    // The text follows the bits, as the fuse dialog's: the two bits the
    // device lacks read 1.
    WriteAll(path, "3C\r\nFF");
    dlg->Button(lock_dlg::kLoadFile)->click();
    EXPECT_EQ(dlg->Column().Text(), "FC");
    EXPECT_EQ(ColumnState(dlg->Column()), "..rrrrPP");
}

TEST(BitFileDlgTest, BareNameGetsTheExtensionOnlyWithThePatternFilter) {
    BitDlgRig rig("ATmega8");
    auto fuse = rig.OpenFuse();
    auto lock = rig.OpenLock();
    struct Case {
        QAbstractButton* save;
        const char* name;
        int filter;
        const char* written;
        QString CMainSettings::*remembered;
    };
    const Case cases[] = {
        {fuse->Button(fuse_dlg::kSaveFile), "f1", 0, "f1.fus", &CMainSettings::m_strFuseFile},
        {fuse->Button(fuse_dlg::kSaveFile), "f2", 1, "f2", &CMainSettings::m_strFuseFile},
        {lock->Button(lock_dlg::kSaveFile), "l1", 0, "l1.loc", &CMainSettings::m_strLockFile},
        {lock->Button(lock_dlg::kSaveFile), "l2", 1, "l2", &CMainSettings::m_strLockFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.AnswerFiles(rig.FilePath(c.name), c.filter);
        c.save->click();
        EXPECT_TRUE(QFile::exists(rig.FilePath(c.written)));
        EXPECT_EQ(rig.settings.*c.remembered, rig.FilePath(c.written));
    }
}

TEST(BitFileDlgTest, DialogsOfferTheirPatternsInTheLastFolder) {
    BitDlgRig rig("ATmega8");
    rig.settings.m_strFuseExt = QStringLiteral("*.fus;*.txt");
    auto dlg = rig.OpenFuse();
    rig.CancelFiles();
    dlg->Button(fuse_dlg::kLoadFile)->click();
    ASSERT_EQ(rig.asked.size(), 1u);
    EXPECT_FALSE(rig.asked[0].save);
    EXPECT_EQ(rig.asked[0].folder, QDir::homePath());
    EXPECT_EQ(rig.asked[0].filters, (QStringList{QStringLiteral("Fuse Bits ファイル (*.fus *.txt)"),
                                                 QStringLiteral("すべてのファイル (*)")}));
    // Cancelled: nothing remembered, nothing shown.
    EXPECT_TRUE(rig.settings.m_strFuseFile.isEmpty());
    EXPECT_TRUE(rig.app.messages.shown.empty());

    rig.AnswerFiles(rig.FilePath("x.fus"), 0);
    dlg->Button(fuse_dlg::kSaveFile)->click();
    rig.CancelFiles();
    dlg->Button(fuse_dlg::kSaveFile)->click();
    ASSERT_EQ(rig.asked.size(), 3u);
    EXPECT_TRUE(rig.asked[2].save);
    EXPECT_EQ(QDir(rig.asked[2].folder), QDir(rig.app.dir.path()));

    auto lock = rig.OpenLock();
    lock->Button(lock_dlg::kLoadFile)->click();
    EXPECT_TRUE(
        rig.asked.back().filters.first().startsWith(QStringLiteral("Lock Bits ファイル (")));
}

TEST(BitFileDlgTest, ButtonsStillRespondAfterAFailedLoadOrSave) {
    BitDlgRig rig("ATmega328P");
    auto fuse = rig.OpenFuse();
    auto lock = rig.OpenLock();
    const QString high = fuse->Column(fuse_dlg::kHigh).Text();
    const QString missing = rig.FilePath("missing.fus");
    const QString unwritable = rig.FilePath("no/such/folder/x.loc");
    struct Case {
        CBitDlg* dlg;
        int button;
        QString path;
        std::string message;
        int verify;
        const char* verified;
    };
    const Case cases[] = {
        {fuse.get(), fuse_dlg::kLoadFile, missing, text::kFileOpenFailed + (": " + missing.toStdString()),
         fuse_dlg::kVerify, text::kFuseVerifyOk},
        {fuse.get(), fuse_dlg::kSaveFile, unwritable, text::kFileCreateFailed, fuse_dlg::kVerify,
         text::kFuseVerifyOk},
        {lock.get(), lock_dlg::kLoadFile, missing, text::kFileOpenFailed + (": " + missing.toStdString()),
         lock_dlg::kVerify, text::kLockVerifyOk},
        {lock.get(), lock_dlg::kSaveFile, unwritable, text::kFileCreateFailed, lock_dlg::kVerify,
         text::kLockVerifyOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        rig.app.messages.shown.clear();
        rig.AnswerFiles(c.path, 1);
        c.dlg->Button(c.button)->click();
        EXPECT_EQ(rig.app.Texts(), std::vector<std::string>{c.message});
        EXPECT_FALSE(c.dlg->IsBusy());
        // The path stays remembered though it failed.
        const bool isFuse = c.dlg == fuse.get();
        EXPECT_EQ(isFuse ? rig.settings.m_strFuseFile : rig.settings.m_strLockFile, c.path);
        // The device buttons run again.
        rig.app.messages.shown.clear();
        c.dlg->Button(c.verify)->click();
        EXPECT_EQ(rig.app.Texts(), std::vector<std::string>{c.verified});
    }
    EXPECT_EQ(fuse->Column(fuse_dlg::kHigh).Text(), high);
    EXPECT_FALSE(QFile::exists(unwritable));
}

}  // namespace
}  // namespace oriole::test
