// What the calibration and batch dialogs look like in use: every control
// lies inside the dialog, and the batch log shows one line per step. Set
// ORIOLE_GRAB_DIR to also get both dialogs as PNG files there.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>

#include "AppRig.h"
#include "views/AutoDlg.h"
#include "views/CalibDlg.h"
#include "support/Grab.h"

namespace oriole::test {
namespace {

void ExpectInside(const QDialog& dlg, const CControls& controls) {
    const QRect client = dlg.rect();
    for (const CControls::Entry& e : controls.All())
        EXPECT_TRUE(client.contains(e.widget->geometry())) << e.def->text << " " << e.def->id;
}

TEST(CalibBatchLookTest, CalibrationDialogAfterARead) {
    AppRig rig("ATmega8");
    ASSERT_TRUE(rig.Core().CheckDevice(true));
    rig.Model().SetText(ctl_id::kCalibAddress, "1FF");
    rig.Model().SetText(ctl_id::kCalibMemory, "EEPROMアドレス");
    CCalibDlg dlg(rig.Window(), rig.dlg.get());
    dlg.ComboBox(1134)->setCurrentIndex(2);
    dlg.show();
    dlg.Button(1056)->click();
    QApplication::processEvents();
    EXPECT_EQ(dlg.Text(1135).size(), 2);
    ExpectInside(dlg, dlg);
    Grab(dlg, "calib-dialog.png");
}

TEST(CalibBatchLookTest, BatchDialogAfterARun) {
    AppRig rig;
    ASSERT_TRUE(rig.Core().CheckDevice(true));
    rig.Model().SetText(ctl_id::kFlashFile, rig.WriteHex("blink.hex", {0x0C, 0x94, 0x34, 0x00}));
    rig.Model().SetText(ctl_id::kLockEdit, "FC");
    rig.Model().Enable(ctl_id::kLockWrite, true);
    uint32_t mask = 0x187;  // FLASH write and verify, lock write and verify
    CAutoDlg dlg(rig.Window(), mask, {}, rig.dlg.get());
    dlg.show();
    dlg.Button(1056)->click();
    QApplication::processEvents();
    EXPECT_EQ(dlg.TextBox(1067)->blockCount(), 6);  // five lines and the empty last one
    ExpectInside(dlg, dlg);
    Grab(dlg, "batch-dialog.png");
}

}  // namespace
}  // namespace oriole::test
