#pragma once
// The main window's side of the core: the one place that reads the window's
// controls (CMainControls) and turns them into the values the operations
// take, and that mirrors what the core decides (a detected device, the
// controls a device enables) back into them. The Qt window, the dialogs
// that work on the main window's values and the settings binding go through
// it; the command-line tool never does.

#include <cstdint>
#include <string>
#include <vector>

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

    // --- Jobs of the window's buttons and of its dialogs ---
    // Each runs as a job of one step or a few (ops/Job.h), so the job's rules
    // hold for it as for every other front end: a memory the device lacks,
    // a file without data for its memory or a fuse value that releases SPIEN
    // is refused before the chip is touched, the files are loaded for the
    // device detected first where auto-detect is on, and so on. `options`
    // say what is asked and shown; options without the timing mean that
    // the box holds it (a later step of the caller's own): then the job
    // neither sends it nor detects the device itself.
    [[nodiscard]] bool Detect();
    // The chip erase (asked first and reported unless `options` say otherwise).
    [[nodiscard]] bool Erase(const OpOptions& options = {});
    // FLASH or EEPROM (Memory::Flash, Memory::Eeprom) and a file: written
    // (verified after it with options.verify) or verified.
    [[nodiscard]] bool WriteFile(Memory memory, const std::string& path, const OpOptions& options = {});
    [[nodiscard]] bool VerifyFile(Memory memory, const std::string& path, const OpOptions& options = {});
    // The whole memory read; `bytes` gets as many as the device has.
    [[nodiscard]] bool ReadMemory(Memory memory, std::vector<uint8_t>& bytes);
    // The fuse bytes and the lock byte as values (the bit dialogs'). A fuse
    // value that could shut this writer out is asked about, No unless the
    // user says Yes.
    [[nodiscard]] bool ReadFuseBytes(FuseBytes& fuses);
    [[nodiscard]] bool WriteFuseBytes(const FuseBytes& fuses, const OpOptions& options = {});
    [[nodiscard]] bool VerifyFuseBytes(const FuseBytes& fuses, const OpOptions& options = {});
    [[nodiscard]] bool ReadLockByte(uint8_t& lock);
    [[nodiscard]] bool WriteLockByte(uint8_t lock, const OpOptions& options = {});
    [[nodiscard]] bool VerifyLockByte(uint8_t lock, const OpOptions& options = {});
    // The calibration byte of frequency `index` (the calibration dialog's
    // list), and the calibration write and verify of a target; `strict`:
    // the calibration dialog's checks (JobStep::strictCalibration).
    [[nodiscard]] bool ReadCalibrationByte(uint8_t index, uint8_t& value);
    [[nodiscard]] bool WriteCalibrationByte(const CalibTarget& target, const OpOptions& options, bool strict);
    [[nodiscard]] bool VerifyCalibrationByte(const CalibTarget& target, const OpOptions& options, bool strict);

    // --- The write buttons with the window's values ---
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
    // Runs `steps` as a job with `options` (see above) and the window's fuse policy.
    JobResult Run(std::vector<JobStep> steps, const OpOptions& options, std::vector<JobImage> images = {},
                  const JobEvents& events = {});

    COrioleCore& m_core;
    CMainControls m_controls;
};

}  // namespace oriole
