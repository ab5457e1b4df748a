// What the bit dialogs look like once filled from a device: every label's
// name fits beside its button, every button shows its caption inside its
// column's frame. Set ORIOLE_GRAB_DIR to also get the dialogs as PNG files.

#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>

#include "BitDlgRig.h"
#include "views/TextFit.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

// Each text fits its control, and each bit button lies inside the frame
// whose column it belongs to.
void ExpectTidy(CResDialog& dlg, std::initializer_list<int> frames) {
    dlg.show();
    for (const CControls::Entry& e : dlg.All()) {
        if (qobject_cast<QLabel*>(e.widget) == nullptr &&
            qobject_cast<QAbstractButton*>(e.widget) == nullptr)
            continue;
        EXPECT_LE(TextOverflow(e.widget), 0)
            << "control " << e.def->id << " " << WidgetText(e.widget).toStdString();
    }
    for (const int frame : frames) {
        QWidget* box = dlg.Control(frame);
        ASSERT_NE(box, nullptr) << frame;
        int inside = 0;
        for (const CControls::Entry& e : dlg.All()) {
            auto* b = qobject_cast<QAbstractButton*>(e.widget);
            if (b == nullptr || !b->isCheckable()) continue;
            if (box->geometry().contains(b->geometry())) ++inside;
        }
        EXPECT_EQ(inside, 8) << "frame " << frame;
    }
}

TEST(BitDlgLookTest, FuseDialogOnAtmega328P) {
    BitDlgRig rig("ATmega328P");
    auto dlg = rig.OpenFuse();
    ExpectTidy(*dlg, {1095, 1096, 1097});
    Grab(*dlg, "fuse-atmega328p.png");
}

TEST(BitDlgLookTest, FuseDialogOnAttiny13) {
    BitDlgRig rig("ATtiny13");
    auto dlg = rig.OpenFuse();
    ExpectTidy(*dlg, {1095, 1096, 1097});
    Grab(*dlg, "fuse-attiny13.png");
}

TEST(BitDlgLookTest, LockDialogOnAtmega8) {
    BitDlgRig rig("ATmega8");
    auto dlg = rig.OpenLock();
    dlg->Column().Button(0)->click();
    dlg->Column().Button(1)->click();
    ExpectTidy(*dlg, {});
    Grab(*dlg, "lock-atmega8.png");
}

}  // namespace
}  // namespace oriole::test
