// The progress window: its bar over the full 32-bit range, Cancel and the
// close box as the abort request, the keys that do nothing, its place and
// its end with the transfer.

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <climits>

#include "AppRig.h"
#include "app/ProgressDlg.h"
#include "link/LinkState.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

class ProgressDlgTest : public testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    int32_t abort = 0;
};

struct BarCase {
    int32_t lower, upper, pos;
    int value, maximum;
};

TEST_F(ProgressDlgTest, BarShowsThePositionWithinTheRange) {
    const BarCase kCases[] = {
        {0, 32, 0, 0, 32},
        {0, 32, 16, 16, 32},
        {0, 32, 32, 32, 32},
        {0, 32, 40, 32, 32},  // beyond the end: full, never past it
        {10, 20, 5, 0, 10},   // below the start: empty
        {-100, 100, 0, 100, 200},
        {0, 0, 0, 0, 1},  // empty range: an empty bar, not a busy one
        {5, 3, 4, 0, 1},
        {INT32_MIN, INT32_MAX, 0, CProgressDlg::kMaxBarSteps / 2, CProgressDlg::kMaxBarSteps},
        {0, INT32_MAX, INT32_MAX, CProgressDlg::kMaxBarSteps, CProgressDlg::kMaxBarSteps},
    };
    for (const BarCase& c : kCases) {
        CProgressDlg dlg(nullptr, abort);
        dlg.SetRange(c.lower, c.upper);
        dlg.SetPos(c.pos);
        EXPECT_EQ(dlg.BarMaximum(), c.maximum) << c.lower << ".." << c.upper;
        EXPECT_EQ(dlg.BarValue(), c.value) << c.lower << ".." << c.upper << " at " << c.pos;
        EXPECT_EQ(dlg.ProgressBar(CProgressDlg::kBarId)->minimum(), 0);
    }
}

TEST_F(ProgressDlgTest, CancelAndTheCloseBoxRequestTheAbortAndHideAtOnce) {
    for (bool closeBox : {false, true}) {
        abort = 0;
        CProgressDlg dlg(nullptr, abort);
        dlg.show();
        if (closeBox) {
            EXPECT_TRUE(dlg.close());
        } else {
            dlg.Button(CProgressDlg::kCancelId)->click();
        }
        EXPECT_EQ(abort, kAbortCancelled) << closeBox;
        EXPECT_FALSE(dlg.isVisible()) << closeBox;
    }
}

TEST_F(ProgressDlgTest, EnterAndEscapeDoNothing) {
    CProgressDlg dlg(nullptr, abort);
    dlg.show();
    PressEnterAndEscape({&dlg, dlg.Control(CProgressDlg::kCancelId)},
                        [&](QWidget*, int key) { EXPECT_TRUE(dlg.isVisible()) << key; });
    EXPECT_EQ(abort, 0);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(ProgressDlgTest, TransferGetsTopmostWindowCentredOverTheDialogInFront) {
    AppRig rig;
    QDialog front(rig.dlg.get());
    front.setGeometry(300, 200, 400, 300);
    front.show();
    rig.dlg->SetCurrentDlg(&front);
    {
        int32_t flag = 0;
        std::unique_ptr<IProgress> progress =
            rig.dlg->CreateProgressDlg(0, 32, "FLASH", "FLASH 読み出し中...", flag);
        ASSERT_EQ(ProgressWindowCount(), 1);
        CProgressDlg* dlg = nullptr;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* p = qobject_cast<CProgressDlg*>(w)) dlg = p;
        ASSERT_NE(dlg, nullptr);
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_FALSE(dlg->isModal());
        EXPECT_TRUE(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(dlg->windowTitle(), QStringLiteral("FLASH"));
        EXPECT_EQ(dlg->Text(CProgressDlg::kMessageId), QStringLiteral("FLASH 読み出し中..."));
        EXPECT_EQ(dlg->geometry().center(), front.geometry().center());
        progress->SetPos(8);
        EXPECT_EQ(dlg->BarValue(), 8);
        dlg->Button(CProgressDlg::kCancelId)->click();
        EXPECT_EQ(flag, kAbortCancelled);
        progress->SetPos(9);  // still alive, only hidden
    }
    EXPECT_EQ(ProgressWindowCount(), 0);
    rig.dlg->SetCurrentDlg(nullptr);
    EXPECT_EQ(rig.dlg->CurrentDlg(), rig.dlg.get());
}

TEST_F(ProgressDlgTest, HandleOutlivingItsWindowDoesNoHarm) {
    auto owner = std::make_unique<QWidget>();
    auto* dlg = new CProgressDlg(owner.get(), abort);
    CProgressHandle handle(dlg);
    owner.reset();  // takes the window with it
    handle.SetRange(0, 10);
    handle.SetPos(3);
    handle.SetMessage("x");
    EXPECT_EQ(ProgressWindowCount(), 0);
}

}  // namespace
}  // namespace oriole::test
