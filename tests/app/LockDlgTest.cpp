// The lock bits dialog over the main window and the simulated writer, and
// the main window's two "詳細" buttons that open the bit dialogs.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>

#include "BitDlgRig.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace lock_dlg;

constexpr std::array<int, 8> kLockLabels{1211, 1210, 1209, 1208, 1207, 1206, 1205, 1204};

struct LockCase {
    const char* device;
    const char* state;  // bit 7 first, see ColumnState
    const char* labels;
};

const LockCase kLockCases[] = {
    {"ATmega8", "..rrrrrr", "7: |6: |5: BLB12|4: BLB11|3: BLB02|2: BLB01|1: LB2|0: LB1"},
    {"AT90S1200", ".....rr.", "7: |6: |5: |4: |3: |2: LB2|1: LB1|0: "},
};

TEST(LockDlgTest, BitsFollowTheDevicesNames) {
    for (const LockCase& c : kLockCases) {
        SCOPED_TRACE(c.device);
        BitDlgRig rig("none", QString::fromUtf8(c.device));
        auto dlg = rig.OpenLock();
        EXPECT_EQ(ColumnState(dlg->Column()), c.state);
        EXPECT_EQ(ColumnLabels(*dlg, kLockLabels), c.labels);
        for (int bit = 0; bit < 8; ++bit)
            EXPECT_EQ(dlg->IsEnabled(kLockLabels[size_t(bit)]),
                      dlg->Column().Button(bit)->isEnabled());
    }
}

TEST(LockDlgTest, DeviceThatDoesNotAnswerShowsFF) {
    BitDlgRig rig("none", QStringLiteral("ATmega8"));
    auto dlg = rig.OpenLock();
    EXPECT_EQ(rig.app.messages.shown.size(), 1u);
    EXPECT_EQ(dlg->Column().Text(), "FF");
    EXPECT_EQ(ColumnState(dlg->Column()), "..rrrrrr");
}

TEST(LockDlgTest, FailedReadKeepsTheMainWindowsValue) {
    BitDlgRig rig("none", QStringLiteral("ATmega8"));
    rig.app.Model().SetText(ctl_id::kLockEdit, "fc");
    auto dlg = rig.OpenLock();
    // The text as it came; the named bits follow it.
    EXPECT_EQ(dlg->Column().Text(), "fc");
    EXPECT_EQ(ColumnState(dlg->Column()), "..rrrrPP");
}

TEST(LockDlgTest, LockBitsPressedAreWrittenAndHandedBack) {
    BitDlgRig rig("ATmega8");
    auto dlg = rig.OpenLock();
    ASSERT_TRUE(rig.app.messages.shown.empty());
    ASSERT_EQ(dlg->Column().Text(), "FF");
    dlg->Column().Button(0)->click();
    dlg->Column().Button(1)->click();
    EXPECT_EQ(dlg->Column().Text(), "FC");
    EXPECT_EQ(dlg->Column().Button(0)->text(), "0");
    EXPECT_EQ(dlg->Column().Button(1)->text(), "0");
    // No lock bit asks anything.
    EXPECT_TRUE(rig.app.messages.shown.empty());

    dlg->Button(kWrite)->click();
    EXPECT_EQ(rig.app.Texts(), std::vector<std::string>{text::kLockWriteDone});
    EXPECT_EQ(rig.MainText(ctl_id::kLockEdit), "FC");
    EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kLockWrite));
    EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kLockVerify));

    // What the device holds now comes back with a read and passes the verify.
    dlg->Column().Button(0)->click();
    dlg->Button(kRead)->click();
    EXPECT_EQ(dlg->Column().Text(), "FC");
    rig.app.messages.shown.clear();
    dlg->Button(kVerify)->click();
    EXPECT_EQ(rig.app.Texts(), std::vector<std::string>{text::kLockVerifyOk});
}

TEST(LockDlgTest, ReturnHandsBackAndCancelDoesNot) {
    {
        BitDlgRig rig("none", QStringLiteral("ATmega8"));
        auto dlg = rig.OpenLock();
        dlg->Button(res::kIdOk)->click();
        EXPECT_EQ(rig.MainText(ctl_id::kLockEdit), "FF");
        EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kLockWrite));
        EXPECT_TRUE(rig.app.Model().IsEnabled(ctl_id::kLockVerify));
    }
    {
        BitDlgRig rig("none", QStringLiteral("ATmega8"));
        auto dlg = rig.OpenLock();
        dlg->Column().Button(0)->click();
        dlg->Button(res::kIdCancel)->click();
        EXPECT_EQ(rig.MainText(ctl_id::kLockEdit), "");
        EXPECT_FALSE(rig.app.Model().IsEnabled(ctl_id::kLockWrite));
    }
}

// Runs `handle` on the first modal dialog of type Dlg that comes up. The
// dialog reads the device before it runs modally, and that read lets timers
// through, so this keeps looking until the dialog is really in front.
template <typename Dlg, typename Handle>
void WhenModal(QObject* context, Handle handle) {
    auto* timer = new QTimer(context);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, context, [timer, handle] {
        auto* dlg = qobject_cast<Dlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr) return;
        timer->stop();
        timer->deleteLater();
        handle(*dlg);
    });
    timer->start();
}

// The main window's "詳細" buttons run the dialogs modally: they come up
// initialised, and "戻る" hands back to the window.
template <typename Dlg>
void ExpectDetailsOpen(int buttonId, int mainEdit, uint8_t (*deviceValue)(sim::CSimTarget&),
                       int opens) {
    AppRig rig("ATmega8");
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", deviceValue(rig.box->Target()));
    bool seen = false;
    WhenModal<Dlg>(rig.dlg.get(), [&](Dlg& dlg) {
        seen = true;
        EXPECT_STREQ(dlg.Device().name, "ATmega8");
        dlg.Button(res::kIdOk)->click();
    });
    rig.Button(buttonId)->click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(rig.Model().Text(mainEdit), expected);
    // The device was detected first, then read by the dialog.
    EXPECT_EQ(rig.Opens(), opens);
    EXPECT_FALSE(rig.dlg->IsBusy());
}

TEST(BitDetailsTest, FuseDetailsButtonOpensTheFuseDialog) {
    ExpectDetailsOpen<CFuseDlg>(
        ctl_id::kFuseDetails, ctl_id::kHighEdit, [](sim::CSimTarget& t) { return t.ReadFuse(2); },
        3);  // the read's job detects the device again
}

TEST(BitDetailsTest, LockDetailsButtonOpensTheLockDialog) {
    ExpectDetailsOpen<CLockDlg>(
        ctl_id::kLockDetails, ctl_id::kLockEdit,
        [](sim::CSimTarget& t) { return t.ReadLockCommand(); }, 3);
}

TEST(BitDetailsTest, NoDialogWhenDetectionFails) {
    AppRig rig("none");
    // Were a dialog to come up anyway, it is closed again.
    WhenModal<QDialog>(rig.dlg.get(), [](QDialog& dlg) { dlg.close(); });
    rig.Button(ctl_id::kFuseDetails)->click();
    rig.Button(ctl_id::kLockDetails)->click();
    QApplication::processEvents();
    // One detection failure each; no read of a dialog followed.
    EXPECT_EQ(rig.messages.shown.size(), 2u);
    EXPECT_EQ(rig.Opens(), 2);
}

}  // namespace
}  // namespace oriole::test
