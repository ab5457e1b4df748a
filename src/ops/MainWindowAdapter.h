#pragma once
// The main window's side of the core: the one place that reads the window's
// controls (CMainControls) and turns them into the values the operations
// take, and that mirrors what the core decides (a detected device, the
// controls a device enables) back into them. The Qt window, the dialogs
// that work on the main window's values and the settings binding go through
// it; the command-line tool never does.

#include <string>

#include "ops/MainControls.h"
#include "ops/Job.h"
#include "ops/OrioleCore.h"

namespace oriole {

class CMainWindowAdapter {
public:
    // Hooks itself into the core's detection; one adapter per core.
    explicit CMainWindowAdapter(COrioleCore& core);
    ~CMainWindowAdapter();
    CMainWindowAdapter(const CMainWindowAdapter&) = delete;
    CMainWindowAdapter& operator=(const CMainWindowAdapter&) = delete;

    COrioleCore& Core() { return m_core; }
    const COrioleCore& Core() const { return m_core; }
    CMainControls& Controls() { return m_controls; }
    const CMainControls& Controls() const { return m_controls; }

    // --- Device selection ---
    // The device list's selection becomes the core's device.
    void OnSelectDevice() { SelectDevice(m_controls.ListSelection()); }
    // Selects `row` in the core; another device than before clears the
    // device's values, and a device (not "(auto)") enables its controls.
    void SelectDevice(int row);
    void ClearDeviceValues();
    // The fuse edits of the bytes the device has, the calibration controls
    // when it has a calibration byte.
    void EnableDeviceControls(const AVR_DEVICE& device);
    // Auto-detect on, or a device chosen in the list; otherwise the warning.
    [[nodiscard]] bool IsDeviceKnown();

    // --- The write buttons and the batch steps that use the window's values ---
    // FLASH: the file in edit 1007, verified when box 1054 is ticked (the
    // erase before it is the command's own business).
    [[nodiscard]] bool WriteFlash(const OpOptions& options);
    // The same after a quiet chip erase ("erase before write"): the file is
    // loaded and checked before the chip is touched, so a file that cannot
    // be programmed never leaves an erased chip. A failed erase is reported
    // as the reason the write did not run.
    [[nodiscard]] bool EraseAndWriteFlash(const OpOptions& options);
    [[nodiscard]] bool WriteEeprom(const OpOptions& options);
    // Values from edits 1015-1017 and 1023, verify from boxes 1123 and 1124
    // unless `options` turns the verify off.
    [[nodiscard]] bool WriteFuses(const OpOptions& options);
    [[nodiscard]] bool VerifyFuses(const OpOptions& options);
    [[nodiscard]] bool WriteLockBits(const OpOptions& options);
    [[nodiscard]] bool VerifyLockBits(const OpOptions& options);
    // The target in fields 1135, 1149 and 1150 (the warning when one is
    // missing), verify from box 1158.
    [[nodiscard]] bool CalibrationTarget(CalibTarget& target);
    // The batch dialog's run with the window's values: the steps of `mask`,
    // the fuse, lock and calibration steps only where the dialog enables
    // them. False when a calibration step is ticked without its values
    // (the message shown).
    [[nodiscard]] bool BatchSettingsOf(uint32_t mask, const std::string& flashFile, const std::string& eepromFile,
                                       bool fuses, bool lock, bool calibration, BatchSettings& out);
    [[nodiscard]] bool WriteCalibration(const OpOptions& options);
    [[nodiscard]] bool VerifyCalibration(const OpOptions& options);

    FuseBytes WindowFuses() const;

private:
    COrioleCore& m_core;
    CMainControls m_controls;
};

}  // namespace oriole
